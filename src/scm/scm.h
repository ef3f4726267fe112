// Operations on the local service control manager for the configured service.
// Each opens its handles, does its work and closes them; 1 success, 0 failure.
#pragma once

// At interactive start: sets IsRegistered and WasRunning, and asks a registered
// service to stop for the time of the configuration.
void ProbeRegisteredService();
