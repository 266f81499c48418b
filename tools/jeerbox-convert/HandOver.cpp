#include "HandOver.h"

#include "framework/Exception.h"
#include "sound/SoundFile.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A file that is not a regular one (a pipe, a device) is read only by the run itself, as it
// may be read once: the run that loads libraries takes it as it takes any file.
bool NeedsSndfileOrMayWait(const std::string& fileName)
{
    struct stat info;
    return ::stat(fileName.c_str(), &info) != 0 || !S_ISREG(info.st_mode) || NeedsSndfile(fileName);
}

}

bool NeedsLoadedLibraries(const TConvertOptions& options)
{
    return options.Check || options.Recipe.Loudness ||
        std::any_of(options.Files.begin(), options.Files.end(), NeedsSndfileOrMayWait);
}

void HandOver(char** argv)
{
    char self[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", self, sizeof self - 1);
    std::string folder = length > 0 ? std::string(self, size_t(length)) : std::string(argv[0]);
    folder.erase(folder.find_last_of('/') + 1);
    const std::string installed = folder + "../libexec/jeerbox/jeerbox-convert";
    ::execv(installed.c_str(), argv);
    const int error = errno;
    ::execv((folder + "libexec/jeerbox/jeerbox-convert").c_str(), argv);
    throw std::runtime_error("this run needs the build of jeerbox-convert that loads libraries, " + installed +
                             ", which cannot be started: " + SystemErrorText(error));
}
