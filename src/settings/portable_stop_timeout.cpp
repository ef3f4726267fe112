#include "settings/portable_stop_timeout.h"

// What the Services tool waits for a stop it asked for.
enum { SERVICES_TOOL_STOP_WAIT_MS = 125000 };
static_assert(STOP_TIMEOUT_LIMIT_SECONDS * 1000 + FORCED_END_WAIT_MS + STOP_WAIT_MARGIN_MS <= SERVICES_TOOL_STOP_WAIT_MS,
              "the longest stop must end within the Services tool's wait");

int ParseStopTimeout(const char* text)
{
    if (!*text)
        return STOP_TIMEOUT_DEFAULT_SECONDS;
    int seconds = 0;
    for (const char* p = text; *p; ++p) {
        if (*p < '0' || *p > '9')
            return STOP_TIMEOUT_DEFAULT_SECONDS;
        // Past the limit the value no longer matters; stopping there keeps it from overflowing.
        if (seconds <= STOP_TIMEOUT_LIMIT_SECONDS)
            seconds = seconds * 10 + (*p - '0');
    }
    if (seconds < 1)
        return 1;
    return seconds > STOP_TIMEOUT_LIMIT_SECONDS ? STOP_TIMEOUT_LIMIT_SECONDS : seconds;
}

uint32_t MillisecondsLeft(uint32_t startTick, uint32_t nowTick, uint32_t boundMs)
{
    uint32_t elapsed = nowTick - startTick;
    return elapsed < boundMs ? boundMs - elapsed : 0;
}

uint32_t StopWaitHintMs(int seconds)
{
    return (uint32_t)seconds * 1000u + STOP_WAIT_MARGIN_MS;
}

uint32_t StopWaitLimitMs(int seconds)
{
    return StopWaitHintMs(seconds) + FORCED_END_WAIT_MS;
}
