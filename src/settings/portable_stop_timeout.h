// The bound of a stop: how long the hosted program is given to close after a
// stop request before it is ended, read from kavo.ini's "stoptimeout", the
// time left of it, and the longest a whole stop may take. No windows.h here:
// this file builds natively as well as for Windows.
#pragma once

#include <stdint.h>

enum {
    // What an absent, empty or unreadable value gives: as long as Windows gives
    // services at shutdown by default.
    STOP_TIMEOUT_DEFAULT_SECONDS = 20,
    // The longest bound: the Services tool waits 125 s for a stop it asked for,
    // and the longest stop, this bound with the wait after the forced end and
    // the margin (123 s), ends within it.
    STOP_TIMEOUT_LIMIT_SECONDS = 110,
    // What a busy machine is allowed beyond any wait a stop announces; also the
    // wait hint of a report that announces no longer wait.
    STOP_WAIT_MARGIN_MS = 3000,
    // TerminateProcess only starts a process's end, which waits for its pending
    // I/O: a process held in the kernel (a dead network share, a driver) may
    // never go. After the forced end the process is waited for this long more.
    FORCED_END_WAIT_MS = 10000,
};

// The bound in seconds for the text of "stoptimeout": decimal digits and
// nothing else (no sign, no space, no unit) give their value, raised to 1 and
// cut to the limit; any other text, the empty one included, gives the default.
int ParseStopTimeout(const char* text);

// Milliseconds left of boundMs counted from startTick, at nowTick; 0 once the
// bound has run out. The ticks are the system's 32-bit millisecond counter,
// which wraps.
uint32_t MillisecondsLeft(uint32_t startTick, uint32_t nowTick, uint32_t boundMs);

// The wait hint of a stop's first report: the close messages that follow it
// may take the whole bound of that many seconds.
uint32_t StopWaitHintMs(int seconds);

// The longest a stop with a bound of that many seconds may take, from the
// request to STOPPED: the bound, the wait after the forced end, the margin.
uint32_t StopWaitLimitMs(int seconds);
