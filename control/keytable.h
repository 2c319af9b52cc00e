// The keys a combination can be made of: the names shown in the key selectors and their Windows
// virtual-key codes. A key's index is also what the settings store, so the order never changes.
#pragma once

#include <QString>

class KeyTable
{
public:
    static constexpr int count = 92;

    // Index 0 is "none", no key.
    static QString name(int index);
    // 0 for any index outside the table.
    static quint8 code(int index);
};
