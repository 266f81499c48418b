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
// Only where the folder takes no new file but the file itself may be written is the file
// written in place (there is no other way to write it); only regular files are written.
// The new content has no name of its own where the file system allows (it gets the file's
// name at Commit), so that a program that ends half-way leaves nothing behind; elsewhere it
// has a hidden name beside the file, which RemoveTemporariesOnSignals takes away.
class TReplacingFile {
public:
    // Raises EFCreateError, naming fileName, when the file cannot be written: an existing file
    // that may not be written or is no regular file, a folder that takes no new file.
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
    void OpenInPlace();
    void LinkUnnamed();

    bool FReplacing = false;
    bool FInPlace = false;
    bool FUnnamed = false;
    bool FCommitted = false;
};

// Lets SIGINT, SIGTERM and SIGHUP end the program as they always do, but only once every
// hidden file of a content not yet committed is removed. Call it before any thread starts.
void RemoveTemporariesOnSignals();
