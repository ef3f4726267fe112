#include "scm/scm.h"

// The service control manager is not consulted yet: the service counts as not registered.
void ProbeRegisteredService()
{
}

int RegisterAsService()
{
    return 0;
}

int StartRegisteredService()
{
    return 0;
}

int RemoveService()
{
    return 0;
}
