// The service side of the program: instance guard and service dispatcher.
#pragma once

// 1 when another process already serves this service name.
int InstanceAlreadyRunning();

// Connects to the service control manager and returns when the service has stopped.
void RunServiceDispatcher();
