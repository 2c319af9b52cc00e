// The simulated mixing console behind the hidapi functions: plug state, queued input, the open handle, counters.
#pragma once

#include "reports.h"

#include <array>
#include <cstddef>
#include <deque>
#include <mutex>
#include <optional>

struct hid_device_
{
    int slot;
};
struct hid_device_info;

namespace fakehid {

inline constexpr char consolePath[] = "/dev/hidraw-simulated-console";
inline constexpr wchar_t consoleManufacturer[] = L"Simulated";
inline constexpr wchar_t consoleProduct[] = L"USB mixing console (simulated)";
inline constexpr wchar_t consoleSerial[] = L"SIM0001";

struct Counters
{
    int inits = 0;
    int exits = 0;
    int openAttempts = 0;
    int opens = 0;
    int closes = 0;
    long deviceCalls = 0;
};

// Every member is called with the console's lock (lockConsole) held: the program reads on a thread of its own
// while it opens, writes and closes on another, and tests drive the console from a third.
class SimulatedConsole
{
public:
    // Control side: what a test or the control directory does to the device.
    void reset();
    void plug();
    void unplug();
    void refuseOpen(bool refused);
    // As a console that stalls every output report: hid_write gives -1, reads go on. Held: as one that takes none,
    // each write fails only after the USB timeout (5 s on Linux, shortened here).
    void refuseWrites(bool refused, bool held = false);
    void queueInput(Report report);
    Report switchReport(bool level) const;
    void failNextRead(int result);

    bool isPlugged() const { return plugged; }
    bool isOpen() const { return open != nullptr; }
    const Counters& counters() const { return count; }
    std::size_t pendingInput() const { return input.size(); }
    // Everything queued has been handed over and a read is waiting for more.
    bool readerWaiting() const { return input.empty() && !readFault && !lost && waitingReads > 0; }
    int readsInFlight() const { return reads; }
    int liveEnumerations() const { return static_cast<int>(enumerations.size()); }

    // Device side: the hidapi calls, already checked for a live handle where they take one.
    int init();
    int exit();
    hid_device_info* enumerate(unsigned short vendorId, unsigned short productId);
    void freeEnumeration(hid_device_info* devices);
    hid_device_* openById(unsigned short vendorId, unsigned short productId, const wchar_t* serial);
    hid_device_* openByPath(const char* path);
    void close(hid_device_* device);
    int setNonblocking(hid_device_* device, int nonblocking);
    int read(std::unique_lock<std::mutex>& held, hid_device_* device, unsigned char* data, std::size_t length);
    // With nothing queued a read waits, unlocked, up to its timeout (timeout -1, or a blocking read: without end)
    // for input, an unplug or a signal (-1, as the real stack's read or poll gives). Closing the device or
    // shutting the library down while a read waits is a misuse.
    int readTimeout(std::unique_lock<std::mutex>& held, hid_device_* device, unsigned char* data, std::size_t length,
                    int timeoutMs);
    int write(std::unique_lock<std::mutex>& held, hid_device_* device, const unsigned char* data, std::size_t length);
    const wchar_t* error(hid_device_* device);

    void countCall() { ++count.deviceCalls; }
    void requireLive(hid_device_* device, const char* function) const;

private:
    void ensureInit();
    hid_device_* openIfAllowed();
    // The outcome of a read that need not wait, or nothing when the caller would have to wait for input.
    std::optional<int> readAtOnce(unsigned char* data, std::size_t length);

    bool plugged = false;
    bool refused = false;
    bool writesRefused = false;
    bool writesHeld = false;
    bool initialized = false;
    // Set by an unplug while open: the handle stays valid to close but every read and write fails.
    bool lost = false;
    bool nonblocking = false;
    std::deque<Report> input;
    std::optional<int> readFault;
    unsigned char lastLedByte = 0;
    Counters count;
    std::vector<hid_device_info*> enumerations;
    // Handles come from a ring of slots so that a stale handle differs from the next one for many opens.
    std::array<hid_device_, 64> slots{};
    std::size_t nextSlot = 0;
    hid_device_* open = nullptr;
    int reads = 0;
    int waitingReads = 0;
    const wchar_t* lastError = L"Success";
};

// The one simulated console of this process, and its lock.
SimulatedConsole& theConsole();
std::unique_lock<std::mutex> lockConsole();

// Aborts with a message naming the misuse, so a test that misuses hidapi dies loudly.
[[noreturn]] void misuse(const char* function, const char* what);

} // namespace fakehid
