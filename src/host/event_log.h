// kavo's entries in the Application event log, written by the service, and
// the event source that lets Event Viewer show their texts (the message table
// of event_messages.mc in this program file).
//
// The source is named after the service and is kavo's when its registry key
// carries the value "kavo"; a source of that name that is not kavo's (another
// program's, in this log or another) is never changed or removed: the entries
// then go under the source "NAME (kavo)" instead, and when that too is another
// program's, nowhere.
//
// Writing an entry never blocks or fails the service: an entry that cannot be
// written is left out.
#pragma once

#include <windows.h>

// Makes the service's source (or its stand-in) point at this program file,
// unless it is another program's, and remembers which one the entries go
// under (ProgramContext.EventSource; empty: none). Called when the dialog
// registers the service, and by the service at each start, which so mends a
// source that is missing or points at another kavo.exe.
void InstallEventSource(const char* serviceName);

// Removes the service's sources that are kavo's; 1 when there was one.
int RemoveEventSource(const char* serviceName);

// The close protocol counts each window it asks to close, and names it, for
// the entry of the stop.
void NoteWindowAsked(HWND window);

// The entries, one for each way a service's program starts and ends.
// jobError: why the program is in no job of kavo's (NO_ERROR: it is).
void LogProgramStarted(DWORD processId, DWORD jobError);
// Ended by itself; its exit code decides the entry (and the entry's type).
// atStop: a stop was requested before the service's final report, which is
// then no failure.
void LogProgramEnded(HANDLE process, int atStop);
// A requested stop: the program closed (with that exit code), or was ended at the bound.
void LogProgramClosed(DWORD exitCode);
void LogProgramEndedByForce();
// Ended by force, but still not gone waitedMs later.
void LogProgramNotEnded(DWORD processId, DWORD waitedMs);
// The launch failed with that error (an empty program path: nothing to start).
void LogLaunchFailed(DWORD error);
// The start was refused: others may change path; account, who, and note one
// of kavo's texts put after it (see FindPathWritableByOthers).
void LogStartRefused(const char* path, const char* account, const char* note);
// The start was refused: the path is no text of the system's ANSI code page.
void LogPathNotInCodePage(const char* path);
// The start was refused: the program is a batch file (path).
void LogScriptRefused(const char* path);
// The start was refused: path lies on a share or a removable drive.
void LogDriveRefused(const char* path);
// The process made was not the file checked; it was ended before it ran.
void LogImageNotCheckedFile();
