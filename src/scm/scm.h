// Operations on the local service control manager for the service that
// ProgramContext.Config.serviceName names. Each opens its handles, does its
// work and closes them (service before manager); 1 success, 0 failure.
//
// kavo acts only on its own service: one whose registered path names this very
// program file. A service of the same name that runs another file is never
// stopped, started or deleted.
#pragma once

#include <stddef.h>

#include "entry/context.h"

// At interactive start: sets NameOwner (and NameOwnerPath for another file's
// service), IsRegistered and WasRunning, and asks the service, when it is this
// file's own, to stop for the time of the configuration; returns once it has
// stopped, or says that it cannot be stopped once its stop has taken longer
// than it may.
void ProbeRegisteredService();

// Whose the service of that name is. For another file's service its registered
// path goes to otherPath (size bytes, cut to fit).
ServiceOwner FindServiceOwner(const char* name, char* otherPath, size_t size);

// Registers this program file as the service (own process, on demand, local
// system), with its event source and its preshutdown allowance.
int RegisterAsService();

// Sets the preshutdown allowance of the service of that name (Vista and later)
// to the longest stop of kavo.ini's bound, so that a shutdown gives the
// program its whole bound: at each registration, and by the service at each
// start, so that a changed bound counts. 1 when set.
int SetPreshutdownTimeout(const char* serviceName);

// Sets the service's recovery: restarts after a failure, a stop with an error
// counting as one where Windows knows that setting (Vista and later). 1 when
// set; 0 where Windows has no recovery settings (NT 4) or refuses them.
int SetRestartOnFailure();

// Asks the service control manager to start the service, if it is this file's own.
int StartRegisteredService();

// Starts the service (this file's own; another's, or none, is left alone) once
// a stop under way has ended; one that runs already is left running.
// NO_ERROR, or the system's error: the start's, or ERROR_SERVICE_REQUEST_TIMEOUT
// when the stop took longer than it may.
DWORD StartServiceOnceStopped();

// Stops the service if it runs and waits until it has, then deletes it, with
// its event source; only
// this file's own.
int RemoveService();
