// kavo.exe as a service: a copy of it in a folder of its own, with the
// kavo.ini a test gives it, registered under a name of the test's own as
// `sc create` would; the hosted test program's log in the same folder.
#pragma once

#include "support.h"

// The path as a command line or a registration needs it: in quotes when it holds a space.
std::string QuotedPath(const std::string& path);

struct KavoService {
    ServiceGuard guard;
    std::string dir;   // holds kavo.exe and kavo.ini
    std::string log;   // where the hosted test program is told to log
    // kavo.exe in a work folder of its own, or in a sub-folder of it when sub is given.
    KavoService(const std::string& name, const std::string& folder, const std::string& sub = "");
    // Writes ini as kavo.ini (none when empty) and registers kavo.exe; fails the test if refused.
    bool RegisterAt(Where where, const std::string& ini);
    // Registers it hosting the hosted test program, which logs to log and gets
    // the further options, with that exit method and, when not empty, that
    // stoptimeout text.
    bool RegisterHostingAt(Where where, const std::string& options, int exitMethod,
                           const std::string& stopTimeout = "");
    // The hosted program's process id, from its log.
    DWORD ChildIdAt(Where where);
    std::string ExePath() const { return dir + "\\kavo.exe"; }
    std::string IniPath() const { return dir + "\\kavo.ini"; }
};
#define RegisterKavo(service, ...) (service).RegisterAt(HERE, __VA_ARGS__)
#define RegisterHosting(service, ...) (service).RegisterHostingAt(HERE, __VA_ARGS__)
#define ChildIdOf(service) (service).ChildIdAt(HERE)

// The process that serves the service while it runs, 0 when none.
DWORD ServiceProcessId(const std::string& name);

// Runs work on a thread of its own that is switched to the window station and
// desktop where services run (where the hosted program's windows and message
// boxes are); the process's window station is restored afterwards. False,
// after failing the test, when the switch is refused.
bool OnServiceDesktopAt(Where where, void (*work)(void* context), void* context);
#define OnServiceDesktop(...) OnServiceDesktopAt(HERE, __VA_ARGS__)

// Message-only windows of a process (EnumWindows does not report them).
std::vector<HWND> MessageOnlyWindowsOfProcess(DWORD processId);
