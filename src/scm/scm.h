// Operations on the local service control manager for the service that
// ProgramContext.Config.serviceName names. Each opens its handles, does its
// work and closes them (service before manager); 1 success, 0 failure.
#pragma once

// At interactive start: sets IsRegistered and WasRunning, and asks a registered
// service to stop for the time of the configuration.
void ProbeRegisteredService();

// Registers this program file as the service (own process, on demand, local system).
int RegisterAsService();

// Asks the service control manager to start the service.
int StartRegisteredService();

// Stops the service if it runs, then deletes it.
int RemoveService();
