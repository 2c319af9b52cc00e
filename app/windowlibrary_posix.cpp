#include "app/windowlibrary.h"

#include <climits>
#include <cstdio>
#include <dlfcn.h>
#include <unistd.h>

namespace {

constexpr char libraryName[] = "libparlink-window.so";

// The folder of the running executable, symbolic links resolved: where the build tree keeps the library, and
// where the package's folder is found from.
std::string executableFolder()
{
    char path[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0)
        return ".";
    const std::string executable(path, static_cast<size_t>(length));
    return executable.substr(0, executable.rfind('/'));
}

} // namespace

WindowModeEntry loadWindowMode(std::string& error)
{
    const std::string folder = executableFolder();
    const std::string candidates[] = {folder + '/' + libraryName,
                                      folder + '/' + PARLINK_PRIVATE_LIBDIR_FROM_BINDIR + '/' + libraryName};
    for (const std::string& path : candidates) {
        if (::access(path.c_str(), F_OK) != 0)
            continue;
        // Bound lazily, as a linked library would be: binding all of the toolkit's symbols up front slows the start.
        void* library = ::dlopen(path.c_str(), RTLD_LAZY | RTLD_LOCAL);
        if (!library) {
            error = ::dlerror();
            return nullptr;
        }
        if (void* entry = ::dlsym(library, windowModeEntryName))
            return reinterpret_cast<WindowModeEntry>(entry);
        error = path + " has no " + windowModeEntryName;
        return nullptr;
    }
    error = std::string(libraryName) + " is neither in " + candidates[0].substr(0, candidates[0].rfind('/')) +
            " nor in " + candidates[1].substr(0, candidates[1].rfind('/'));
    return nullptr;
}

void reportWindowModeMissing(const std::string& error)
{
    std::fprintf(stderr, "parlink: cannot start the tray program: %s\n", error.c_str());
}
