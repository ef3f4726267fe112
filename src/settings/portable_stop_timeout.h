// The bound of a stop: how long the hosted program is given to close after a
// stop request before it is ended, read from kavo.ini's "stoptimeout", and the
// time left of it. No windows.h here: this file builds natively as well as for
// Windows.
#pragma once

#include <stdint.h>

enum {
    // What an absent, empty or unreadable value gives: as long as Windows gives
    // services at shutdown by default.
    STOP_TIMEOUT_DEFAULT_SECONDS = 20,
    // The longest bound: the Services tool waits 125 s for a stop it asked for,
    // so a bound within it always lets that stop end there.
    STOP_TIMEOUT_LIMIT_SECONDS = 120,
};

// The bound in seconds for the text of "stoptimeout": decimal digits and
// nothing else (no sign, no space, no unit) give their value, raised to 1 and
// cut to the limit; any other text, the empty one included, gives the default.
int ParseStopTimeout(const char* text);

// Milliseconds left of boundMs counted from startTick, at nowTick; 0 once the
// bound has run out. The ticks are the system's 32-bit millisecond counter,
// which wraps.
uint32_t MillisecondsLeft(uint32_t startTick, uint32_t nowTick, uint32_t boundMs);
