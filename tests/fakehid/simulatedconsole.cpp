#include "simulatedconsole.h"

#include "surroundings.h"

#include <hidapi.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <thread>

namespace fakehid {

namespace {

wchar_t* copyOf(const wchar_t* text)
{
    const std::size_t length = std::wcslen(text) + 1;
    auto* copy = static_cast<wchar_t*>(std::malloc(length * sizeof(wchar_t)));
    std::wmemcpy(copy, text, length);
    return copy;
}

hid_device_info* describeConsole()
{
    auto* info = static_cast<hid_device_info*>(std::calloc(1, sizeof(hid_device_info)));
    info->path = strdup(consolePath);
    info->vendor_id = consoleVendorId;
    info->product_id = consoleProductId;
    info->serial_number = copyOf(consoleSerial);
    info->release_number = 0x0100;
    info->manufacturer_string = copyOf(consoleManufacturer);
    info->product_string = copyOf(consoleProduct);
    info->interface_number = 3;
    info->bus_type = HID_API_BUS_USB;
    return info;
}

void freeList(hid_device_info* devices)
{
    while (devices) {
        hid_device_info* next = devices->next;
        std::free(devices->path);
        std::free(devices->serial_number);
        std::free(devices->manufacturer_string);
        std::free(devices->product_string);
        std::free(devices);
        devices = next;
    }
}

bool matches(unsigned short vendorId, unsigned short productId)
{
    return (vendorId == 0 || vendorId == consoleVendorId) && (productId == 0 || productId == consoleProductId);
}

} // namespace

void misuse(const char* function, const char* what)
{
    std::fprintf(stderr, "fakehid: misuse of the simulated console: %s: %s\n", function, what);
    std::fflush(stderr);
    std::abort();
}

void SimulatedConsole::reset()
{
    for (hid_device_info* devices : enumerations)
        freeList(devices);
    // The ring goes on where it was, so that a handle from before the reset is not handed out again at once; a
    // read still waiting finds its handle stale when it wakes.
    const std::size_t slot = nextSlot;
    const int inFlight = reads;
    const int waiting = waitingReads;
    *this = SimulatedConsole();
    nextSlot = slot;
    reads = inFlight;
    waitingReads = waiting;
}

void SimulatedConsole::plug()
{
    plugged = true;
}

void SimulatedConsole::unplug()
{
    plugged = false;
    if (open)
        lost = true;
}

void SimulatedConsole::refuseOpen(bool refuse)
{
    refused = refuse;
}

void SimulatedConsole::refuseWrites(bool refuse, bool held)
{
    writesRefused = refuse;
    writesHeld = refuse && held;
}

void SimulatedConsole::queueInput(Report report)
{
    input.push_back(std::move(report));
}

Report SimulatedConsole::switchReport(bool level) const
{
    return fakehid::switchReport(level, lastLedByte);
}

void SimulatedConsole::failNextRead(int result)
{
    readFault = result;
}

void SimulatedConsole::ensureInit()
{
    if (!initialized)
        init();
}

int SimulatedConsole::init()
{
    if (!initialized) {
        initialized = true;
        ++count.inits;
        eventHappened("init", monotonicNs());
    }
    return 0;
}

int SimulatedConsole::exit()
{
    // On Windows and with libusb, shutting the library down under an open handle leaves that handle dangling.
    if (reads > 0)
        misuse("hid_exit", "a read is still in flight");
    if (open)
        misuse("hid_exit", "a device is still open; close it first");
    initialized = false;
    ++count.exits;
    eventHappened("exit", monotonicNs());
    return 0;
}

hid_device_info* SimulatedConsole::enumerate(unsigned short vendorId, unsigned short productId)
{
    ensureInit();
    if (!plugged || !matches(vendorId, productId))
        return nullptr;
    enumerations.push_back(describeConsole());
    return enumerations.back();
}

void SimulatedConsole::freeEnumeration(hid_device_info* devices)
{
    if (!devices)
        return;
    const auto known = std::find(enumerations.begin(), enumerations.end(), devices);
    if (known == enumerations.end())
        misuse("hid_free_enumeration", "not a list from hid_enumerate, or freed twice");
    enumerations.erase(known);
    freeList(devices);
}

hid_device_* SimulatedConsole::openById(unsigned short vendorId, unsigned short productId, const wchar_t* serial)
{
    ensureInit();
    ++count.openAttempts;
    if (!matches(vendorId, productId) || vendorId == 0 || productId == 0 ||
        (serial && std::wcscmp(serial, consoleSerial) != 0)) {
        lastError = L"No such device";
        return nullptr;
    }
    return openIfAllowed();
}

hid_device_* SimulatedConsole::openByPath(const char* path)
{
    ensureInit();
    ++count.openAttempts;
    if (!path || std::strcmp(path, consolePath) != 0) {
        lastError = L"No such device";
        return nullptr;
    }
    return openIfAllowed();
}

hid_device_* SimulatedConsole::openIfAllowed()
{
    if (!plugged) {
        lastError = L"No such device";
        return nullptr;
    }
    if (refused) {
        lastError = L"Permission denied";
        return nullptr;
    }
    // One program, one handle: a second open while one is held is refused as busy.
    if (open) {
        lastError = L"Device or resource busy";
        return nullptr;
    }
    open = &slots[nextSlot];
    open->slot = static_cast<int>(nextSlot);
    nextSlot = (nextSlot + 1) % slots.size();
    lost = false;
    nonblocking = false;
    // Linux drops what the console sent while nobody read it (usbhid discards it when the device is opened).
    input.clear();
    ++count.opens;
    lastError = L"Success";
    eventHappened("open", monotonicNs());
    return open;
}

void SimulatedConsole::requireLive(hid_device_* device, const char* function) const
{
    if (!device)
        misuse(function, "null device handle");
    if (device != open)
        misuse(function, "stale handle: closed, from before a reset, or never opened");
}

void SimulatedConsole::close(hid_device_* device)
{
    requireLive(device, "hid_close");
    if (reads > 0)
        misuse("hid_close", "a read on the device is still in flight");
    open = nullptr;
    lost = false;
    ++count.closes;
    eventHappened("close", monotonicNs());
}

int SimulatedConsole::setNonblocking(hid_device_* device, int value)
{
    requireLive(device, "hid_set_nonblocking");
    nonblocking = value != 0;
    return 0;
}

int SimulatedConsole::read(std::unique_lock<std::mutex>& held, hid_device_* device, unsigned char* data,
                           std::size_t length)
{
    return readTimeout(held, device, data, length, nonblocking ? 0 : -1);
}

int SimulatedConsole::readTimeout(std::unique_lock<std::mutex>& held, hid_device_* device, unsigned char* data,
                                  std::size_t length, int timeoutMs)
{
    requireLive(device, "hid_read");
    if (!data && length > 0)
        misuse("hid_read", "null buffer");
    ++reads;
    struct Leaving
    {
        int& reads;
        ~Leaving() { --reads; }
    } leaving{reads};
    const std::int64_t deadline = monotonicNs() + std::int64_t(std::max(timeoutMs, 0)) * 1000000;
    for (;;) {
        if (const std::optional<int> result = readAtOnce(data, length))
            return *result;
        const std::int64_t leftMs = (deadline - monotonicNs() + 999999) / 1000000;
        if (timeoutMs >= 0 && leftMs <= 0)
            return 0;
        ++waitingReads;
        held.unlock();
        const Wait waited = waitForOutside(timeoutMs < 0 ? -1 : static_cast<int>(leftMs));
        held.lock();
        --waitingReads;
        lookAround(*this);
        requireLive(device, "hid_read (woken)");
        if (waited == Wait::Interrupted) {
            lastError = L"Interrupted system call";
            return -1;
        }
    }
}

std::optional<int> SimulatedConsole::readAtOnce(unsigned char* data, std::size_t length)
{
    if (lost) {
        lastError = L"No such device";
        return -1;
    }
    if (readFault) {
        const int result = *readFault;
        readFault.reset();
        // A short or long read carries zeros: were it taken for a report, it would look like a press.
        if (result > 0)
            std::memset(data, 0, std::min(length, static_cast<std::size_t>(result)));
        return result;
    }
    if (input.empty())
        return std::nullopt;
    const Report report = std::move(input.front());
    input.pop_front();
    eventHappened("input", monotonicNs(), &report);
    const std::size_t copied = std::min(length, report.size());
    std::memcpy(data, report.data(), copied);
    return static_cast<int>(copied);
}

int SimulatedConsole::write(std::unique_lock<std::mutex>& held, hid_device_* device, const unsigned char* data,
                            std::size_t length)
{
    requireLive(device, "hid_write");
    if (!data || length == 0)
        misuse("hid_write", "empty report");
    if (writesHeld && !lost) {
        held.unlock();
        std::this_thread::sleep_for(std::chrono::milliseconds(2000));
        held.lock();
        requireLive(device, "hid_write (held)");
    }
    if (lost || writesRefused) {
        lastError = lost ? L"No such device" : L"Broken pipe";
        if (!lost)
            eventHappened("refused", monotonicNs());
        return -1;
    }
    Report report(data, data + length);
    if (report.size() > 2)
        lastLedByte = report[2];
    outputWritten(report, monotonicNs());
    return static_cast<int>(length);
}

const wchar_t* SimulatedConsole::error(hid_device_* device)
{
    if (device)
        requireLive(device, "hid_error");
    return lastError;
}

} // namespace fakehid
