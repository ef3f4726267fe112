// Shared helpers of the Windows-side tests: folders, files, processes, windows
// and message boxes of other processes, and waits with deadlines.
//
// Every helper that can fail takes the caller's file and line (use the macros),
// so that a failure points at the test that called it.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// Deadlines, in milliseconds.
enum {
    kWindowDeadline = 20000,   // a program's window or message box appears
    kExitDeadline = 30000,     // a program ends after it was answered
    kPollInterval = 20,        // how often a poll with a deadline looks again
};

struct Where {
    const char* file;
    int line;
};
#define HERE (Where{__FILE__, __LINE__})

// Folder of the test programs (and of kavo.exe and the hosted test program).
std::string BuildDir();
std::string KavoExePath();
std::string HostedChildPath();

// A fresh, empty folder for one test: BuildDir\wine\work\<name>.
std::string MakeWorkDir(const std::string& name);
bool CopyFileTo(const std::string& source, const std::string& destination);
std::string ReadFileBytes(const std::string& path);
bool WriteFileBytes(const std::string& path, const std::string& bytes);
bool FileExists(const std::string& path);

// Polls until done() is true or the deadline passes; true when done in time.
template <typename Done>
bool PollUntil(Done done, DWORD deadlineMs)
{
    DWORD start = GetTickCount();
    for (;;) {
        if (done())
            return true;
        if (GetTickCount() - start >= deadlineMs)
            return false;
        Sleep(kPollInterval);
    }
}

// A program started by a test. Ends it if the test did not wait for it.
struct Program {
    HANDLE process = NULL;
    DWORD id = 0;
    Program() = default;
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;
    ~Program();
};

// Starts commandLine in currentDirectory; fails the test if it cannot.
bool StartProgramAt(Where where, Program& program, const std::string& commandLine,
                    const std::string& currentDirectory);
#define StartProgram(...) StartProgramAt(HERE, __VA_ARGS__)

// Waits for the program to end; its exit code, or fails the test and ends it.
DWORD WaitForExitAt(Where where, Program& program, DWORD deadlineMs = kExitDeadline);
#define WaitForExit(...) WaitForExitAt(HERE, __VA_ARGS__)

// Visible or hidden top-level windows of a process with the given class (NULL: any).
std::vector<HWND> WindowsOfProcess(DWORD processId, const char* className);

// Waits for a top-level window of the process with that class and, when
// caption is not NULL, that caption (bytes as GetWindowTextA gives them).
HWND WaitForWindowAt(Where where, DWORD processId, const char* className, const char* caption,
                     DWORD deadlineMs = kWindowDeadline);
#define WaitForWindow(...) WaitForWindowAt(HERE, __VA_ARGS__)

// What a message box shows, read from another process.
struct MessageBoxView {
    HWND window = NULL;
    HWND owner = NULL;
    std::string caption;
    std::string text;
    std::vector<int> buttons;   // ids of the push buttons, in z-order
    bool hasIcon = false;
};
MessageBoxView ReadMessageBox(HWND box);

// Waits for a message box of the process and reads it.
MessageBoxView WaitForMessageBoxAt(Where where, DWORD processId, DWORD deadlineMs = kWindowDeadline);
#define WaitForMessageBox(...) WaitForMessageBoxAt(HERE, __VA_ARGS__)

// Presses a button of a message box (IDOK, IDYES, IDNO...) and waits until the box is gone.
void AnswerMessageBoxAt(Where where, const MessageBoxView& box, int buttonId);
#define AnswerMessageBox(...) AnswerMessageBoxAt(HERE, __VA_ARGS__)

// Window text read as bytes in the ANSI code page.
std::string WindowText(HWND window);

// Bytes as a C-style escaped text, for failure messages.
std::string Escaped(const std::string& bytes);

// Services. A service name is deleted before the test uses it and again when
// the guard goes (stopping it first if it runs).
struct ServiceGuard {
    std::string name;
    explicit ServiceGuard(const std::string& serviceName);
    ~ServiceGuard();
};
bool DeleteServiceNow(const std::string& name);

// The service's status, or false when it cannot be read.
bool QueryServiceState(const std::string& name, SERVICE_STATUS* status);

// Polls until the service is in the state; fails the test otherwise. The last
// status seen comes back in *last when asked for.
bool WaitForServiceStateAt(Where where, const std::string& name, DWORD state, SERVICE_STATUS* last = NULL,
                           DWORD deadlineMs = kExitDeadline);
#define WaitForServiceState(...) WaitForServiceStateAt(HERE, __VA_ARGS__)

// Registration as the service control manager holds it.
struct ServiceRegistration {
    bool found = false;
    DWORD serviceType = 0, startType = 0, errorControl = 0, tagId = 0;
    std::string binaryPath, loadOrderGroup, dependencies, account, displayName;
};
ServiceRegistration ReadServiceRegistration(const std::string& name);
