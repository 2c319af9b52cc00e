// libFuzzer's entry: every input goes through the datagram harness.
#include "datagramharness.h"

#include <cstring>
#include <initializer_list>

namespace {

// With -jobs, -workers or -fork this process only starts others, which fuzz; it must leave port 6123 to them.
bool onlyStartsWorkers(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        for (const char* option : {"-jobs=", "-workers=", "-fork="}) {
            if (std::strncmp(argv[i], option, std::strlen(option)) == 0)
                return true;
        }
    }
    return false;
}

} // namespace

// The toolkit's one-time start-up (fonts, plugins) happens here, outside the inputs that are checked for leaks.
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    if (!onlyStartsWorkers(*argc, *argv))
        startDatagramHarness();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    return runDatagramInput(data, size);
}
