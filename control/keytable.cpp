#include "control/keytable.h"

namespace {

struct Key
{
    const char* name;
    quint8 code;
};

const Key keys[KeyTable::count] = {
    {"none", 0x00},        {"Esc", 0x1B},         {"Tab", 0x09},          {"L_Ctrl", 0xA2},
    {"L_Alt", 0xA4},       {"L_Shift", 0xA0},     {"L_Win", 0x5B},        {"R_Ctrl", 0xA3},
    {"R_Alt", 0xA5},       {"R_Shift", 0xA1},     {"R_Win", 0x5C},        {"Space", 0x20},
    {"Enter", 0x0D},       {"Arrow Left", 0x25},  {"Arrow Right", 0x27},  {"Arrow Up", 0x26},
    {"Arrow Down", 0x28},  {"Scroll Lock", 0x91}, {"Print Screen", 0x2C}, {"Insert", 0x2D},
    {"Pause/Break", 0x13}, {"Home", 0x24},        {"End", 0x23},          {"Delete", 0x2E},
    {"Page Up", 0x21},     {"Page Down", 0x22},   {"F1", 0x70},           {"F2", 0x71},
    {"F3", 0x72},          {"F4", 0x73},          {"F5", 0x74},           {"F6", 0x75},
    {"F7", 0x76},          {"F8", 0x77},          {"F9", 0x78},           {"F10", 0x79},
    {"F11", 0x7A},         {"F12", 0x7B},         {"KEY_0", 0x30},        {"KEY_1", 0x31},
    {"KEY_2", 0x32},       {"KEY_3", 0x33},       {"KEY_4", 0x34},        {"KEY_5", 0x35},
    {"KEY_6", 0x36},       {"KEY_7", 0x37},       {"KEY_8", 0x38},        {"KEY_9", 0x39},
    {"-", 0xBD},           {"+", 0xBB},           {"Backspace", 0x08},    {"KEY_A", 0x41},
    {"KEY_B", 0x42},       {"KEY_C", 0x43},       {"KEY_D", 0x44},        {"KEY_E", 0x45},
    {"KEY_F", 0x46},       {"KEY_G", 0x47},       {"KEY_H", 0x48},        {"KEY_I", 0x49},
    {"KEY_J", 0x4A},       {"KEY_K", 0x4B},       {"KEY_L", 0x4C},        {"KEY_M", 0x4D},
    {"KEY_N", 0x4E},       {"KEY_O", 0x4F},       {"KEY_P", 0x50},        {"KEY_Q", 0x51},
    {"KEY_R", 0x52},       {"KEY_S", 0x53},       {"KEY_T", 0x54},        {"KEY_U", 0x55},
    {"KEY_V", 0x56},       {"KEY_W", 0x57},       {"KEY_X", 0x58},        {"KEY_Y", 0x59},
    {"KEY_Z", 0x5A},       {"Numpad 0", 0x60},    {"Numpad 1", 0x61},     {"Numpad 2", 0x62},
    {"Numpad 3", 0x63},    {"Numpad 4", 0x64},    {"Numpad 5", 0x65},     {"Numpad 6", 0x66},
    {"Numpad 7", 0x67},    {"Numpad 8", 0x68},    {"Numpad 9", 0x69},     {"Numpad /", 0x6F},
    {"Numpad *", 0x6A},    {"Numpad -", 0x6D},    {"Numpad +", 0x6B},     {"Numpad .", 0x6E},
};

} // namespace

QString KeyTable::name(int index)
{
    return index >= 0 && index < count ? QString::fromLatin1(keys[index].name) : QString();
}

quint8 KeyTable::code(int index)
{
    return index >= 0 && index < count ? keys[index].code : 0;
}
