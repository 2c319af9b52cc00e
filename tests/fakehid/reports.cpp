#include "reports.h"

#include <cstdio>
#include <ctime>
#include <sstream>

namespace fakehid {

std::int64_t monotonicNs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

Report switchReport(bool level, unsigned char lastLedByte)
{
    return {0x00, static_cast<unsigned char>((level ? 0x01 : 0x00) | (lastLedByte & ledMask)), 0x00, 0x00};
}

std::string hexBytes(const Report& report)
{
    std::string text;
    char byte[4];
    for (unsigned char value : report) {
        std::snprintf(byte, sizeof byte, text.empty() ? "%02x" : " %02x", value);
        text += byte;
    }
    return text;
}

bool parseHexByte(const std::string& token, unsigned char& value)
{
    std::string digits = token;
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X'))
        digits.erase(0, 2);
    if (digits.empty() || digits.size() > 2 || digits.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
        return false;
    value = static_cast<unsigned char>(std::stoul(digits, nullptr, 16));
    return true;
}

bool parseReportLine(const std::string& line, Report& report)
{
    report.clear();
    std::istringstream tokens(line);
    std::string token;
    bool first = true;
    while (tokens >> token) {
        const bool timestamp = first && token.size() > 2 && token.find_first_not_of("0123456789") == std::string::npos;
        first = false;
        if (timestamp)
            continue;
        unsigned char value = 0;
        if (!parseHexByte(token, value) || report.size() == maxReportSize)
            return false;
        report.push_back(value);
    }
    return !report.empty();
}

} // namespace fakehid
