// Waiting for a service to reach a state, as a program that controls one
// should: for as long as the service shows progress (a new state or check
// point) within the wait hint it gave plus a margin, and never past a limit.
// No windows.h here: this file builds natively as well as for Windows.
#pragma once

#include <stdint.h>

struct ServiceWait {
    uint32_t startTick;      // the system's 32-bit millisecond counter, which wraps
    uint32_t limitMs;        // the wait never lasts longer
    uint32_t progressTick;   // when the service last showed progress
    uint32_t state;          // what it showed then (0: nothing seen yet)
    uint32_t checkPoint;
    uint32_t waitHintMs;
};

void BeginServiceWait(ServiceWait* wait, uint32_t nowTick, uint32_t limitMs);

// Takes a status read at nowTick: 1 while the wait may go on, 0 once the limit
// has run out or the service has shown no progress for longer than its last
// wait hint and the margin (STOP_WAIT_MARGIN_MS).
int ServiceWaitGoesOn(ServiceWait* wait, uint32_t state, uint32_t checkPoint, uint32_t waitHintMs, uint32_t nowTick);

// How long to sleep before the next look: a tenth of the time waited so far,
// within 10 and 500 ms, so that a quick stop is seen at once and a long one is
// not asked after a hundred times a second.
uint32_t ServiceWaitPollMs(const ServiceWait* wait, uint32_t nowTick);
