// Test backend of the key sender: remembers every key event instead of sending it.
#pragma once

#include <cstdint>
#include <vector>

struct RecordedKey
{
    std::uint8_t virtualKey;
    bool released;
    bool operator==(const RecordedKey& other) const
    {
        return virtualKey == other.virtualKey && released == other.released;
    }
};

namespace recordingkeysender {

const std::vector<RecordedKey>& events();
int flushes();
void clear();

} // namespace recordingkeysender
