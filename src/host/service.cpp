#include "host/service.h"

// The service runtime is not built yet: no guard, and nothing to dispatch.
int InstanceAlreadyRunning()
{
    return 0;
}

void RunServiceDispatcher()
{
}
