// kavo.exe's command line: the verb, its arguments and the checks of their
// values, read from the command line as UTF-16 (so that no code page splits a
// character). No windows.h here: this file builds natively as well as for
// Windows.
//
//   kavo.exe /install NAME PROGRAM [/option:TEXT] [/end:0|1] [/folder:FOLDER] [/stoptimeout:SECONDS]
//   kavo.exe /uninstall NAME
//   kavo.exe /?
//
// Arguments are split as the C runtime splits them: at spaces and tabs
// outside quotation marks; a quotation mark starts or ends a quoted part; two
// quotation marks inside one stand for one; 2n backslashes before a quotation
// mark stand for n, 2n+1 for n and a quotation mark; other backslashes are
// themselves. Verb and switches are read without regard to case.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "settings/settings.h"

enum CommandVerb {
    kCommandNone,        // no arguments: the dialog or the service, as ever
    kCommandHelp,        // /?
    kCommandInstall,
    kCommandUninstall,
};

// What is wrong with the command line, the first thing found.
enum CommandFault {
    kFaultNone,
    kFaultUsage,          // not understood: the usage is shown
    kFaultNameEmpty,
    kFaultNameCharacter,  // \ / or a control character
    kFaultNameLong,       // more than 256 characters
    kFaultTooLong,        // a value longer than 259 characters (faultValue says which)
    kFaultProgram,        // not a path of an .exe file (wildcards, control characters)
    kFaultOptions,        // a line break or another control character but the tab
    kFaultEnd,            // not 0 or 1
    kFaultStopTimeout,    // not 1 to the largest stop timeout in plain digits
    kFaultNameNotFolder,  // no FOLDER, and the name cannot name one
};

// The values, as the messages name them.
enum CommandValue { kValueName, kValueProgram, kValueOption, kValueEnd, kValueFolder, kValueStopTimeout };

struct CommandLine {
    CommandVerb verb;
    CommandFault fault;
    CommandValue faultValue;
    char16_t name[TEXT_SIZE];
    char16_t program[TEXT_SIZE];
    char16_t options[TEXT_SIZE];
    char16_t folder[TEXT_SIZE];   // empty: the default folder
    ExitMethod exitMethod;        // 0 unless /end:1
    int stopTimeout;              // 0: not given (kavo.ini then holds none)
};

// Reads the whole command line, the program's own name first (skipped as
// Windows skips it: up to the next quotation mark when it starts with one,
// else to the first space or tab). Verb kCommandNone when nothing follows it.
void ParseCommandLine(const char16_t* line, CommandLine* command);

// What is wrong with FOLDER once made a full path (GetFullPathName), whose
// backslashes at the end go: kavo serves from a folder of a drive, "X:\..."
// without a stream (":") or wildcards, and never from a drive's root, which
// made administrators-only would take every folder of the drive along.
enum FolderFault { kFolderFine, kFolderNotOnDrive, kFolderRoot, kFolderCharacter };
FolderFault CheckFolderPath(char16_t* fullPath);

// 1 when a folder on FOLDER's path, by its attributes (FILE_ATTRIBUTE_*), may
// hold kavo: a folder, and no junction, symbolic link or other reparse point,
// which would send what is made below it elsewhere.
int IsPlainFolder(uint32_t attributes);

// 1 when a service's registered path (spaces around it and the quotation
// marks that enclose it are no part of it) names a kavo.exe or kavo64.exe
// and nothing after it; the path alone goes to file (size units).
int FormKavoServiceFile(char16_t* file, size_t size, const char16_t* registeredPath);
