#include "host/portable_service_control.h"

#include "settings/portable_stop_timeout.h"

ControlAction DecideControl(uint32_t control, int stopTaken, int stopRecorded, int finalReported)
{
    if (control == KAVO_CONTROL_INTERROGATE)
        return kControlAnswered;
    if (control != KAVO_CONTROL_STOP && control != KAVO_CONTROL_SHUTDOWN && control != KAVO_CONTROL_PRESHUTDOWN)
        return kControlNotHandled;
    if (finalReported || stopRecorded)
        return kControlAnswered;
    return stopTaken ? kControlJoinsEnd : kControlBeginsStop;
}

uint32_t ControlsAccepted(uint32_t state, uint32_t windowsVersion)
{
    if (state == KAVO_STATE_START_PENDING)
        return 0;
    uint32_t accepted = KAVO_ACCEPT_STOP | KAVO_ACCEPT_SHUTDOWN;
    if (windowsVersion >= KAVO_WINDOWS_VERSION(6, 0))
        accepted |= KAVO_ACCEPT_PRESHUTDOWN;
    return accepted;
}

int NestsJobs(uint32_t windowsVersion)
{
    return windowsVersion >= KAVO_WINDOWS_VERSION(6, 2);
}

uint32_t PreshutdownTimeoutMs(int stopTimeoutSeconds)
{
    return StopWaitLimitMs(stopTimeoutSeconds);
}
