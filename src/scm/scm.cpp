#include "scm/scm.h"

// The service control manager is not consulted yet: the service counts as not registered.
void ProbeRegisteredService()
{
}
