// The hosted program's command line and program file, and the name of the
// per-service mutex. No windows.h here: this file builds natively as well as for Windows.
#pragma once

#include <stddef.h>

#include "host/portable_write_access.h"

// The longest command line: a 259-byte program path in quotes, a space and
// 259 bytes of options, with the terminator.
enum { COMMAND_LINE_SIZE = 259 + 2 + 1 + 259 + 1 };

// Forms the command line: the program path, quoted when it holds a space and
// does not already start with a quote, a space, the options. 1 when it fits;
// 0 (and an empty destination) otherwise. Nothing is ever written past it.
int BuildChildLaunch(const char* programPath, const char* options, char* commandLine, size_t commandLineSize);

// Forms the program file that the system starts for the command line: the
// command line's first name as the system reads it (up to the closing
// quotation mark when the line opens with one, otherwise up to the first
// space or tab), with ".exe" added when its last component has no dot. Made
// a full path, it is the file kavo checks, holds and names to CreateProcess,
// and its folder the working directory. 1 when it fits;
// 0 (and an empty destination) otherwise, or when the name is empty.
int FormProgramFile(const char* commandLine, char* programFile, size_t size);

// Forms "$$kavo$$<serviceName>$$"; 1 when it fits, 0 (and an empty destination) otherwise.
int FormMutexName(char* destination, size_t size, const char* serviceName);

// 1 when a mutex of the service's name, owned by owner (NULL: it has none),
// was made by a kavo that serves the name: its owner is SYSTEM, the
// Administrators group or ownAccount, the account this process runs as (NULL
// when it could not be read). A mutex of any other owner was made by someone
// who took the name first.
int IsInstanceGuardOwner(const AccountId* owner, const AccountId* ownAccount);
