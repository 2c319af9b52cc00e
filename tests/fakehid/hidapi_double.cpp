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

} // namespace fakehid

namespace {

fakehid::SimulatedConsole& console()
{
    fakehid::SimulatedConsole& console = fakehid::theConsole();
    console.countCall();
    fakehid::lookAround(console);
    return console;
}

fakehid::SimulatedConsole& consoleFor(hid_device* device, const char* function)
{
    fakehid::SimulatedConsole& simulated = console();
    simulated.requireLive(device, function);
    return simulated;
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
    return console().init();
}

int hid_exit(void)
{
    return console().exit();
}

hid_device_info* hid_enumerate(unsigned short vendor_id, unsigned short product_id)
{
    return console().enumerate(vendor_id, product_id);
}

void hid_free_enumeration(hid_device_info* devs)
{
    console().freeEnumeration(devs);
}

hid_device* hid_open(unsigned short vendor_id, unsigned short product_id, const wchar_t* serial_number)
{
    return console().openById(vendor_id, product_id, serial_number);
}

hid_device* hid_open_path(const char* path)
{
    return console().openByPath(path);
}

void hid_close(hid_device* dev)
{
    console().close(dev);
}

int hid_set_nonblocking(hid_device* dev, int nonblock)
{
    return console().setNonblocking(dev, nonblock);
}

int hid_read(hid_device* dev, unsigned char* data, size_t length)
{
    return console().read(dev, data, length);
}

int hid_read_timeout(hid_device* dev, unsigned char* data, size_t length, int milliseconds)
{
    return console().readTimeout(dev, data, length, milliseconds);
}

int hid_write(hid_device* dev, const unsigned char* data, size_t length)
{
    return console().write(dev, data, length);
}

const wchar_t* hid_error(hid_device* dev)
{
    return console().error(dev);
}

int hid_get_manufacturer_string(hid_device* dev, wchar_t* string, size_t maxlen)
{
    consoleFor(dev, "hid_get_manufacturer_string");
    return copyString(fakehid::consoleManufacturer, string, maxlen);
}

int hid_get_product_string(hid_device* dev, wchar_t* string, size_t maxlen)
{
    consoleFor(dev, "hid_get_product_string");
    return copyString(fakehid::consoleProduct, string, maxlen);
}

int hid_get_serial_number_string(hid_device* dev, wchar_t* string, size_t maxlen)
{
    consoleFor(dev, "hid_get_serial_number_string");
    return copyString(fakehid::consoleSerial, string, maxlen);
}
