#include "recordingkeysender.h"

#include "control/keysender.h"

namespace {

std::vector<RecordedKey> recorded;
int flushCount = 0;

} // namespace

namespace keysender {

const char* unavailableReason()
{
    return nullptr;
}

void press(std::uint8_t virtualKey)
{
    recorded.push_back({virtualKey, false});
}

void release(std::uint8_t virtualKey)
{
    recorded.push_back({virtualKey, true});
}

void flush()
{
    ++flushCount;
}

} // namespace keysender

namespace recordingkeysender {

const std::vector<RecordedKey>& events()
{
    return recorded;
}

int flushes()
{
    return flushCount;
}

void clear()
{
    recorded.clear();
    flushCount = 0;
}

} // namespace recordingkeysender
