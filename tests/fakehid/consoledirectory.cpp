#include "consoledirectory.h"

#include <algorithm>
#include <cstdio>

namespace fakehid {

namespace {

constexpr long tailSize = 512;

} // namespace

std::string plugState(const std::string& pluggedContent)
{
    const auto first = pluggedContent.find_first_not_of(" \t\r\n");
    const auto last = pluggedContent.find_last_not_of(" \t\r\n");
    return first == std::string::npos ? std::string() : pluggedContent.substr(first, last - first + 1);
}

bool appendLine(const std::string& file, const std::string& line)
{
    std::FILE* stream = std::fopen(file.c_str(), "ab");
    if (!stream)
        return false;
    // A line is far shorter than the stream's buffer, so it reaches the file in one write when the stream closes.
    const std::string text = line + '\n';
    const bool written = std::fwrite(text.data(), 1, text.size(), stream) == text.size();
    return std::fclose(stream) == 0 && written;
}

bool readWholeFile(const std::string& file, std::string& content)
{
    std::FILE* stream = std::fopen(file.c_str(), "rb");
    if (!stream)
        return false;
    content.clear();
    char buffer[4096];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, stream)) > 0)
        content.append(buffer, got);
    const bool complete = !std::ferror(stream);
    std::fclose(stream);
    return complete;
}

std::string lastLine(const std::string& file)
{
    std::FILE* stream = std::fopen(file.c_str(), "rb");
    if (!stream)
        return {};
    std::string tail;
    if (std::fseek(stream, 0, SEEK_END) == 0) {
        const long size = std::ftell(stream);
        const long start = std::max(0L, size - tailSize);
        if (size >= 0 && std::fseek(stream, start, SEEK_SET) == 0) {
            tail.resize(static_cast<std::size_t>(size - start));
            tail.resize(std::fread(tail.data(), 1, tail.size(), stream));
        }
    }
    std::fclose(stream);
    const auto end = tail.rfind('\n');
    if (end == std::string::npos)
        return {};
    tail.resize(end);
    const auto newline = tail.rfind('\n');
    return newline == std::string::npos ? tail : tail.substr(newline + 1);
}

} // namespace fakehid
