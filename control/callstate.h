// The window's call state. In internal mode the same value serves as the in-call flag (0 no call, 1 call).
#pragma once

using CallState = int;

enum : CallState
{
    CallIdle = 0,
    CallIncoming = 1,
    CallConnected = 2,
};
