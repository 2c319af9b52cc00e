#include "control/x11keysyms.h"

#include <X11/X.h>
#include <X11/keysym.h>

namespace {

struct Mapping
{
    std::uint8_t virtualKey;
    unsigned long keysym;
};

// The left-hand keysym for each modifier; main-block "-" and "+" (really "="), not the numeric pad's.
const Mapping mappings[] = {
    {0x1B, XK_Escape},      {0x09, XK_Tab},         {0xA2, XK_Control_L},  {0xA4, XK_Alt_L},     {0xA0, XK_Shift_L},
    {0x5B, XK_Super_L},     {0xA3, XK_Control_R},   {0xA5, XK_Alt_R},      {0xA1, XK_Shift_R},   {0x5C, XK_Super_R},
    {0x20, XK_space},       {0x0D, XK_Return},      {0x25, XK_Left},       {0x27, XK_Right},     {0x26, XK_Up},
    {0x28, XK_Down},        {0x91, XK_Scroll_Lock}, {0x2C, XK_Print},      {0x2D, XK_Insert},    {0x13, XK_Pause},
    {0x24, XK_Home},        {0x23, XK_End},         {0x2E, XK_Delete},     {0x21, XK_Prior},     {0x22, XK_Next},
    {0xBD, XK_minus},       {0xBB, XK_equal},       {0x08, XK_BackSpace},  {0x6F, XK_KP_Divide}, {0x6A, XK_KP_Multiply},
    {0x6D, XK_KP_Subtract}, {0x6B, XK_KP_Add},      {0x6E, XK_KP_Decimal},
};

} // namespace

unsigned long keysymForVirtualKey(std::uint8_t virtualKey)
{
    if (virtualKey >= 0x70 && virtualKey <= 0x7B)
        return XK_F1 + (virtualKey - 0x70);
    if (virtualKey >= 0x30 && virtualKey <= 0x39)
        return XK_0 + (virtualKey - 0x30);
    if (virtualKey >= 0x41 && virtualKey <= 0x5A)
        return XK_a + (virtualKey - 0x41);
    if (virtualKey >= 0x60 && virtualKey <= 0x69)
        return XK_KP_0 + (virtualKey - 0x60);
    for (const Mapping& mapping : mappings) {
        if (mapping.virtualKey == virtualKey)
            return mapping.keysym;
    }
    return NoSymbol;
}
