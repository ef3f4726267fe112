// kavo.exe's commands, the command-line face of what the dialog does:
// /install registers a service as the dialog does (through the same
// registration, recovery settings, event source, write check and settings
// file), in a folder made administrators-only first, and starts it;
// /uninstall stops and removes a kavo service. The syntax is in
// entry/portable_command_line.h.
#pragma once

// What a command ends with, as kavo.exe's exit code.
enum CommandExit {
    kExitDone = 0,        // installed and running, removed, or the help that was asked for
    kExitUsage = 1,       // the command line was not understood: the usage was shown
    kExitRefused = 2,     // refused before anything was changed
    kExitFailed = 3,      // a step failed: what was made is removed, what could not be is named
    kExitNoRestart = 4,   // installed and running, but the restarts on failure were not all set
};

// With arguments on kavo.exe's command line: runs the command, puts its exit
// code in *exitCode and returns 1. Without: 0, and kavo.exe is the dialog or
// the service, as the current folder says. Called first thing, with
// ProgramContext's paths set.
int RunCommandLine(int* exitCode);
