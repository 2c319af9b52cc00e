// Report bytes as the simulated console and its controllers exchange them, and the text form of a report line.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace fakehid {

using Report = std::vector<unsigned char>;

constexpr unsigned short consoleVendorId = 0x0D8C;
constexpr unsigned short consoleProductId = 0x0013;
// Byte 2 of an output report and byte 1 of an input report carry the incoming (bit 1) and connect (bit 2) LEDs.
constexpr unsigned char ledMask = 0x06;
constexpr std::size_t maxReportSize = 64;

std::int64_t monotonicNs();

// The input report of a switch at `level`; like a real console it echoes the LED bits it was last sent.
Report switchReport(bool level, unsigned char lastLedByte);

// "00 00 05 07 00"
std::string hexBytes(const Report& report);

// One or two hex digits, optionally after "0x".
bool parseHexByte(const std::string& token, unsigned char& value);

// Reads "[<ns>] hh hh ...": a leading all-digit token longer than two characters is a timestamp and is skipped.
// Gives false for an empty line, a malformed byte or more than maxReportSize bytes.
bool parseReportLine(const std::string& line, Report& report);

} // namespace fakehid
