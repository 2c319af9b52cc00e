#include "app/windowlibrary.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <dlfcn.h>
#include <link.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr char libraryName[] = "libparlink-window.so";

// The folder of the running executable, symbolic links resolved: where the build tree keeps the library, and
// where the package's folder is found from. None when it cannot be known (no /proc): the current folder in its
// place would load whatever library lies there.
std::optional<std::string> executableFolder(std::string& error)
{
    char path[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0) {
        error = std::string("the program's own folder cannot be found: /proc/self/exe: ") + std::strerror(errno);
        return std::nullopt;
    }
    const std::string executable(path, static_cast<size_t>(length));
    return executable.substr(0, executable.rfind('/'));
}

// A library cut short (an interrupted copy, a full disk) makes the loader fault on pages the file does not have:
// every segment the loader maps must lie within the file.
bool wholeLibrary(const std::string& path)
{
    struct stat status;
    std::FILE* file =
        ::stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode) ? std::fopen(path.c_str(), "rb") : nullptr;
    if (!file)
        return true; // the loader says why it cannot be read, or what it is instead of a file
    ElfW(Ehdr) header;
    bool whole = std::fread(&header, sizeof header, 1, file) == 1;
    if (whole && std::memcmp(header.e_ident, ELFMAG, SELFMAG) == 0 && std::fseek(file, 0, SEEK_END) == 0) {
        const auto size = static_cast<ElfW(Off)>(std::ftell(file));
        for (int index = 0; whole && index < header.e_phnum; ++index) {
            ElfW(Phdr) segment;
            whole = std::fseek(file, long(header.e_phoff + ElfW(Off)(index) * header.e_phentsize), SEEK_SET) == 0 &&
                    std::fread(&segment, sizeof segment, 1, file) == 1 &&
                    (segment.p_type != PT_LOAD || segment.p_offset + segment.p_filesz <= size);
        }
    }
    std::fclose(file);
    return whole;
}

} // namespace

WindowModeEntry loadWindowMode(std::string& error)
{
    const std::optional<std::string> found = executableFolder(error);
    if (!found)
        return nullptr;
    const std::string& folder = *found;
    const std::string candidates[] = {folder + '/' + libraryName,
                                      folder + '/' + PARLINK_PRIVATE_LIBDIR_FROM_BINDIR + '/' + libraryName};
    for (const std::string& path : candidates) {
        if (::access(path.c_str(), F_OK) != 0)
            continue;
        if (!wholeLibrary(path)) {
            error = path + " is damaged (cut short); install Parlink again";
            return nullptr;
        }
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
