// The control directory shared by the preloaded double and fakehid-ctl (see preload.cpp for its layout).
#pragma once

#include <string>

namespace fakehid {

struct ConsoleDirectory
{
    std::string path;

    std::string plugged() const { return path + "/plugged"; }
    std::string input() const { return path + "/input"; }
    std::string output() const { return path + "/output"; }
    std::string events() const { return path + "/events"; }
};

// The content of `plugged` that means "present but access refused", "opens, but takes no output report", and
// "takes none, each write failing only after the USB timeout".
inline constexpr char refusedOpen[] = "refused";
inline constexpr char refusedWrites[] = "refuses writes";
inline constexpr char heldWrites[] = "holds writes";
// What `plugged` says, without the blanks around it.
std::string plugState(const std::string& pluggedContent);

// Appends one line with a single write, so that lines from several processes never interleave.
bool appendLine(const std::string& file, const std::string& line);
// False when the file cannot be read (most often: it does not exist).
bool readWholeFile(const std::string& file, std::string& content);
// The last complete line, or "" when there is none.
std::string lastLine(const std::string& file);

} // namespace fakehid
