// The X keysym of each Windows virtual-key code in the key table.
#pragma once

#include <cstdint>

// NoSymbol (0) for a code the table does not hold, including 0 ("none").
unsigned long keysymForVirtualKey(std::uint8_t virtualKey);
