#pragma once

#include "framework/Streams.h"

#include <memory>
#include <string>

// The new content of a file, written beside it and put in its place only once it is
// complete: until Commit succeeds, the file as it was stays untouched, and a content that
// failed half-way is removed. An existing file keeps its permissions; a link keeps
// pointing at the file that gets the new content. The new content of an existing file is
// on the disk before it takes the file's place, so that even a crash leaves the old or the
// new file; a file that did not exist before has nothing to lose and is not waited for.
class TReplacingFile {
public:
    // Raises EFCreateError, naming fileName, when the file may not be written: an existing
    // file that may not be written, a folder that takes no new file.
    explicit TReplacingFile(const std::string& fileName);
    ~TReplacingFile();
    TReplacingFile(const TReplacingFile&) = delete;
    TReplacingFile& operator=(const TReplacingFile&) = delete;

    TStream& Stream() { return *FStream; }

    // Puts the written content in the file's place. Raises EWriteError when the content could
    // not be written completely, and EFCreateError, naming the file, when it could not take
    // the file's place; either way the file is as it was.
    void Commit();

private:
    std::string FFileName;
    std::string FTarget;
    std::string FTemporary;
    std::unique_ptr<TFileStream> FStream;
    bool FReplacing = false;
    bool FCommitted = false;
};
