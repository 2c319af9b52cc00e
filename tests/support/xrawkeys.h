// Listens to every key event an X server processes, whichever window has the focus: X Input 2 raw key
// events on the root window, recorded in order with the time they were read.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

typedef struct _XDisplay Display;

struct RawKeyEvent
{
    int keycode;
    bool pressed;
    // CLOCK_MONOTONIC, in nanoseconds, when the listener read the event from the server.
    std::int64_t monotonicNs;
};

class XRawKeyListener
{
public:
    // Connects to the given display (null: DISPLAY); see isValid().
    explicit XRawKeyListener(const char* displayName);
    ~XRawKeyListener();
    XRawKeyListener(const XRawKeyListener&) = delete;
    XRawKeyListener& operator=(const XRawKeyListener&) = delete;

    bool isValid() const { return display != nullptr; }
    // Why the listener could not start.
    const std::string& errorString() const { return error; }
    // The listener's own connection, for keymap look-ups.
    Display* connection() const { return display; }

    // Reads whatever has arrived without waiting; returns everything recorded since the last clear().
    const std::vector<RawKeyEvent>& receive();
    // A round trip to the server first, so that events it generated before this call have arrived.
    const std::vector<RawKeyEvent>& sync();
    // Waits at most timeoutMs until count events are recorded; false if they did not come.
    bool waitFor(std::size_t count, int timeoutMs);
    void clear() { events.clear(); }

    // Whether the server holds any key down right now.
    bool anyKeyDown();

private:
    void readQueued();

    Display* display = nullptr;
    int inputOpcode = 0;
    std::string error;
    std::vector<RawKeyEvent> events;
};
