// The dialog's test start: the hosted program started and closed as the
// service would, on the texts of the dialog's fields.
#pragma once

#include <windows.h>

#include "settings/settings.h"

// Starts the program, tells the user, and after the user's OK closes it with
// the close protocol of exitMethod. Blocks the dialog's thread while it runs;
// shows nothing when the program cannot be started.
void TestLaunch(HWND dialog, const char* programPath, const char* options, ExitMethod exitMethod);
