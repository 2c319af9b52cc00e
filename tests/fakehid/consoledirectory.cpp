#include "consoledirectory.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

namespace fakehid {

namespace {

constexpr off_t tailSize = 512;

} // namespace

bool saysRefused(const std::string& pluggedContent)
{
    const auto first = pluggedContent.find_first_not_of(" \t\r\n");
    const auto last = pluggedContent.find_last_not_of(" \t\r\n");
    return first != std::string::npos && pluggedContent.substr(first, last - first + 1) == "refused";
}

bool appendLine(const std::string& file, const std::string& line)
{
    const int fd = ::open(file.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    const std::string text = line + '\n';
    const bool written = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    ::close(fd);
    return written;
}

bool readWholeFile(const std::string& file, std::string& content)
{
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    content.clear();
    char buffer[4096];
    ssize_t got = 0;
    while ((got = ::read(fd, buffer, sizeof buffer)) > 0)
        content.append(buffer, static_cast<std::size_t>(got));
    ::close(fd);
    return got == 0;
}

std::string lastLine(const std::string& file)
{
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return {};
    struct stat status = {};
    std::string tail;
    if (::fstat(fd, &status) == 0) {
        const off_t start = std::max<off_t>(0, status.st_size - tailSize);
        tail.resize(static_cast<std::size_t>(status.st_size - start));
        const ssize_t got = ::pread(fd, tail.data(), tail.size(), start);
        tail.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    }
    ::close(fd);
    const auto end = tail.rfind('\n');
    if (end == std::string::npos)
        return {};
    tail.resize(end);
    const auto newline = tail.rfind('\n');
    return newline == std::string::npos ? tail : tail.substr(newline + 1);
}

} // namespace fakehid
