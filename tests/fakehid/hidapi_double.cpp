// The hidapi functions the program calls, served by the simulated console instead of a USB device.
#include "simulatedconsole.h"
#include "surroundings.h"

#include <hidapi.h>

#include <cwchar>

namespace fakehid {

SimulatedConsole& theConsole()
{
    static SimulatedConsole console;
    return console;
}

std::unique_lock<std::mutex> lockConsole()
{
    static std::mutex mutex;
    return std::unique_lock<std::mutex>(mutex);
}

} // namespace fakehid

namespace {

// The console as one hidapi call finds it, locked for the length of the call.
struct Call
{
    std::unique_lock<std::mutex> held = fakehid::lockConsole();
    fakehid::SimulatedConsole& console = fakehid::theConsole();

    Call()
    {
        console.countCall();
        fakehid::lookAround(console);
    }
    fakehid::SimulatedConsole* operator->() { return &console; }
};

void requireLive(hid_device* device, const char* function)
{
    Call()->requireLive(device, function);
}

int copyString(const wchar_t* value, wchar_t* string, size_t maxLength)
{
    if (!string || maxLength == 0)
        return -1;
    std::wcsncpy(string, value, maxLength);
    string[maxLength - 1] = L'\0';
    return 0;
}

} // namespace

int hid_init(void)
{
    return Call()->init();
}

int hid_exit(void)
{
    return Call()->exit();
}

hid_device_info* hid_enumerate(unsigned short vendor_id, unsigned short product_id)
{
    return Call()->enumerate(vendor_id, product_id);
}

void hid_free_enumeration(hid_device_info* devs)
{
    Call()->freeEnumeration(devs);
}

hid_device* hid_open(unsigned short vendor_id, unsigned short product_id, const wchar_t* serial_number)
{
    return Call()->openById(vendor_id, product_id, serial_number);
}

hid_device* hid_open_path(const char* path)
{
    return Call()->openByPath(path);
}

void hid_close(hid_device* dev)
{
    Call()->close(dev);
}

int hid_set_nonblocking(hid_device* dev, int nonblock)
{
    return Call()->setNonblocking(dev, nonblock);
}

int hid_read(hid_device* dev, unsigned char* data, size_t length)
{
    Call call;
    return call->read(call.held, dev, data, length);
}

int hid_read_timeout(hid_device* dev, unsigned char* data, size_t length, int milliseconds)
{
    Call call;
    return call->readTimeout(call.held, dev, data, length, milliseconds);
}

int hid_write(hid_device* dev, const unsigned char* data, size_t length)
{
    Call call;
    return call->write(call.held, dev, data, length);
}

const wchar_t* hid_error(hid_device* dev)
{
    return Call()->error(dev);
}

int hid_get_manufacturer_string(hid_device* dev, wchar_t* string, size_t maxlen)
{
    requireLive(dev, "hid_get_manufacturer_string");
    return copyString(fakehid::consoleManufacturer, string, maxlen);
}

int hid_get_product_string(hid_device* dev, wchar_t* string, size_t maxlen)
{
    requireLive(dev, "hid_get_product_string");
    return copyString(fakehid::consoleProduct, string, maxlen);
}

int hid_get_serial_number_string(hid_device* dev, wchar_t* string, size_t maxlen)
{
    requireLive(dev, "hid_get_serial_number_string");
    return copyString(fakehid::consoleSerial, string, maxlen);
}
