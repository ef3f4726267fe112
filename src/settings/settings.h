// The four settings of one hosted service and their INI file beside the program.
#pragma once

// Room for one path or text, terminator included (MAX_PATH).
enum { TEXT_SIZE = 260 };

// How the hosted program is asked to close: 1 sends WM_SYSCOMMAND/SC_CLOSE,
// every other value (0, or -1 when nothing was chosen) sends WM_CLOSE.
typedef int ExitMethod;

struct ServiceConfig {
    char programPath[TEXT_SIZE];
    char options[TEXT_SIZE];
    char serviceName[TEXT_SIZE];
    ExitMethod exitMethod;
};

// Fills ProgramContext.Config from the INI file; missing values read as empty
// texts and exit method 0. Never fails.
void LoadSettings();

// Writes ProgramContext.Config to the INI file, key by key; stops at the first
// write that fails. 1 when every key was written, 0 otherwise.
int SaveSettings();
