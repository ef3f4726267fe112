// The configuration dialog of interactive mode.
#pragma once

#include <windows.h>

// Shows the dialog and runs its message loop until it is closed. If the dialog
// cannot be created, makes the start request that closing it would have made
// and returns.
void RunSettingsDialog();

// The dialog procedure; it returns 0 for every message.
INT_PTR CALLBACK SettingsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// The common step of Browse and drag-and-drop: a program file fills the program
// field and proposes its name as the service name; any other file is refused
// with a message.
void ApplyChosenProgram(HWND dialog, const char* path);

// Names a path that someone other than administrators may change and who
// (format: a text with two %s, the path and the account with kavo's note
// after it, see FindPathWritableByOthers), owned by the dialog with caption
// "kavo", and asks whether to go on; 1 on Yes. No is the default button:
// Enter goes no further.
int AskAboutWritablePath(HWND dialog, const char* format, const char* path, const char* account, const char* note);

// The same for a path on a share or a removable drive (format: one %s, the path).
int AskAboutNotLocalPath(HWND dialog, const char* format, const char* path);

// Says, with caption "Error", that the program file is a batch file, which
// is never started.
void ShowScriptRefused(HWND dialog, const char* path);
