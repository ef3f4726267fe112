// The settings of one hosted service and their INI file beside the program: the
// four the dialog shows and saves, and the stop's bound and the drives
// allowed, set in the file only.
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
    int stopTimeout;   // seconds from a stop request to the forced end ("stoptimeout")
    // 1: the program and kavo.exe may lie on a share or a removable drive
    // ("anyDrive=1"); otherwise they must lie on a local fixed drive.
    int anyDrive;
};

// Fills ProgramContext.Config from the INI file; missing values read as empty
// texts, exit method 0 and the default stop bound. Never fails.
void LoadSettings();

// Writes the four settings of ProgramContext.Config to the INI file, key by
// key, leaving every other key as it was; stops at the first write that fails.
// 1 when every key was written, 0 otherwise.
int SaveSettings();

// Writes the stop's bound ("stoptimeout"), which the dialog leaves as it is;
// 1 when written.
int SaveStopTimeout();
