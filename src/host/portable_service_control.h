// What the service's control handler does with a control, which controls the
// service says it accepts, and what Windows version gives which: pure rules
// over the system's numbers. No windows.h here: this file builds natively as
// well as for Windows.
#pragma once

#include <stdint.h>

// The system's values (winsvc.h), named here so that the rules need no windows.h.
enum {
    KAVO_CONTROL_STOP = 1,          // SERVICE_CONTROL_STOP
    KAVO_CONTROL_INTERROGATE = 4,   // SERVICE_CONTROL_INTERROGATE
    KAVO_CONTROL_SHUTDOWN = 5,      // SERVICE_CONTROL_SHUTDOWN
    KAVO_CONTROL_PRESHUTDOWN = 15,  // SERVICE_CONTROL_PRESHUTDOWN (Vista and later)
    KAVO_ACCEPT_STOP = 0x1,
    KAVO_ACCEPT_SHUTDOWN = 0x4,
    KAVO_ACCEPT_PRESHUTDOWN = 0x100,
    KAVO_STATE_START_PENDING = 2,
};

// A Windows version as major * 256 + minor (GetVersionEx: 5.0 is 2000, 5.1 XP,
// 5.2 2003, 6.0 Vista, 6.2 8 and every later one without a manifest that
// claims it).
#define KAVO_WINDOWS_VERSION(major, minor) ((uint32_t)(major) * 256u + (uint32_t)(minor))

enum ControlAction {
    kControlNotHandled,   // not a control kavo takes (the extended handler answers ERROR_CALL_NOT_IMPLEMENTED)
    kControlAnswered,     // nothing to do: an interrogation, a stop under way, or the final report made
    kControlBeginsStop,   // the stop: report STOP_PENDING, record the request; the main function stops the program
    // The program has ended, or could not be started, and the main function is
    // about to make its final report: the request is recorded, so that the
    // final report is no failure, and answered with STOP_PENDING.
    kControlJoinsEnd,
};

// The handler's decision. stopTaken: the stop has been taken (by the handler
// or by the main function); stopRecorded: a stop request has been recorded;
// finalReported: the main function has made, or is making, its final report.
// A stop, a shutdown and a preshutdown are one and the same request; a
// shutdown after a preshutdown changes nothing.
ControlAction DecideControl(uint32_t control, int stopTaken, int stopRecorded, int finalReported);

// The controls a service in that state accepts on that Windows version:
// none while it starts (as Microsoft asks), otherwise stop and shutdown, and
// preshutdown from Vista on (a service must not accept it on XP or 2003).
uint32_t ControlsAccepted(uint32_t state, uint32_t windowsVersion);

// 1 from Windows 8 on, where a process may be in more than one job.
int NestsJobs(uint32_t windowsVersion);

// The preshutdown allowance to ask for: the longest a stop of that bound may
// take, so that the shutdown never cuts a close within stoptimeout, the wait
// after a forced end, or the margin.
uint32_t PreshutdownTimeoutMs(int stopTimeoutSeconds);
