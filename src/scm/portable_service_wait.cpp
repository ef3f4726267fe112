#include "scm/portable_service_wait.h"

#include "settings/portable_stop_timeout.h"

void BeginServiceWait(ServiceWait* wait, uint32_t nowTick, uint32_t limitMs)
{
    wait->startTick = nowTick;
    wait->limitMs = limitMs;
    wait->progressTick = nowTick;
    wait->state = 0;
    wait->checkPoint = 0;
    wait->waitHintMs = 0;
}

int ServiceWaitGoesOn(ServiceWait* wait, uint32_t state, uint32_t checkPoint, uint32_t waitHintMs, uint32_t nowTick)
{
    if (state != wait->state || checkPoint != wait->checkPoint) {
        wait->state = state;
        wait->checkPoint = checkPoint;
        wait->waitHintMs = waitHintMs;
        wait->progressTick = nowTick;
    }
    if (MillisecondsLeft(wait->startTick, nowTick, wait->limitMs) == 0)
        return 0;
    // A hint past the limit counts as the limit, so that adding the margin cannot wrap.
    uint32_t patience = (wait->waitHintMs < wait->limitMs ? wait->waitHintMs : wait->limitMs) + STOP_WAIT_MARGIN_MS;
    return MillisecondsLeft(wait->progressTick, nowTick, patience) != 0;
}

uint32_t ServiceWaitPollMs(const ServiceWait* wait, uint32_t nowTick)
{
    uint32_t interval = (nowTick - wait->startTick) / 10;
    return interval < 10 ? 10 : interval > 500 ? 500 : interval;
}
