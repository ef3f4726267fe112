#include "host/launch.h"

// Not built yet: nothing is started and nothing is closed.
int LaunchChild(const char*, const char*, PROCESS_INFORMATION*)
{
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return 0;
}

void CloseChildWindows(ExitMethod)
{
}
