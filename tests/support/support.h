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
// The program file whose resources are read: KAVO_EXAMINED_EXE when set (the
// 64-bit driver reads the 32-bit file that way), otherwise KavoExePath().
std::string ExaminedExePath();

// Letters of the system's ANSI code page, in its bytes, to end a folder's
// name with: テスト on 932 and 65001, Café on 1252, 服务器 on 936; "cp" on any other.
std::string CodePageLetters();

// A fresh, empty folder for one test: BuildDir\wine\work\<name>.
std::string MakeWorkDir(const std::string& name);
bool CopyFileTo(const std::string& source, const std::string& destination);
std::string ReadFileBytes(const std::string& path);
bool WriteFileBytes(const std::string& path, const std::string& bytes);
bool FileExists(const std::string& path);

// Lets every Unix user write the file or folder: chmod o+w on the Unix path
// behind it, which Wine shows as a DACL entry granting Everyone write access.
// Fails the test when that cannot be done.
bool AllowOthersToWriteAt(Where where, const std::string& path);
#define AllowOthersToWrite(...) AllowOthersToWriteAt(HERE, __VA_ARGS__)

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
        // Alertable, so that a service's status notification lands meanwhile.
        SleepEx(kPollInterval, TRUE);
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

// Full paths, in lower case, of the modules a process has loaded.
std::vector<std::string> ModulesOfProcess(DWORD processId);

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
    std::wstring wideCaption;   // the same, read as UTF-16: what every code page shows
    std::wstring wideText;
    std::vector<int> buttons;   // ids of the push buttons, in z-order
    int defaultButton = 0;      // the button Enter presses (BS_DEFPUSHBUTTON), 0 when none
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
// The same, read as UTF-16.
std::wstring WideWindowText(HWND window);

// Text between UTF-16 and the bytes of a code page (CP_ACP: the system's).
std::wstring FromCodePage(UINT codePage, const std::string& bytes);
std::string ToCodePage(UINT codePage, const std::wstring& text);

// Bytes as a C-style escaped text, for failure messages.
std::string Escaped(const std::string& bytes);

// Services. A service name is deleted before the test uses it and again when
// the guard goes (stopping it first if it runs), with the event sources of that
// name, kavo's and its stand-in (see host/event_log.h).
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

// The recovery settings that the install command and the dialog make: restarts after 5,
// 10 and 60 s, the count of failures reset after a day, and, when flag, the
// failure flag. Wine's service manager keeps none of them (QueryServiceConfig2A
// answers 124) and only says, in its debug output since the mark (see
// EventLogMark), that it was given the day: that is checked instead.
void ExpectRestartOnFailureAt(Where where, const std::string& name, bool flag, size_t mark);
#define ExpectRestartOnFailure(...) ExpectRestartOnFailureAt(HERE, __VA_ARGS__)

// Registration as the service control manager holds it.
struct ServiceRegistration {
    bool found = false;
    DWORD serviceType = 0, startType = 0, errorControl = 0, tagId = 0;
    std::string binaryPath, loadOrderGroup, dependencies, account, displayName;
};
ServiceRegistration ReadServiceRegistration(const std::string& name);
// The service's preshutdown allowance in milliseconds, 0 when it cannot be read.
DWORD ReadPreshutdownTimeout(const std::string& name);

// Registers binaryPath (as given: quote it yourself) as a service the way
// `sc create` does: own process, started on demand. Fails the test if refused.
bool CreateServiceAt(Where where, const std::string& name, const std::string& binaryPath);
#define CreateServiceFor(...) CreateServiceAt(HERE, __VA_ARGS__)

// Asks the service control manager to start the service, or to stop it (once
// it is no longer starting); fails the test when the request is refused.
bool StartServiceAt(Where where, const std::string& name);
#define StartServiceNow(...) StartServiceAt(HERE, __VA_ARGS__)
bool StopServiceAt(Where where, const std::string& name);
#define StopServiceNow(...) StopServiceAt(HERE, __VA_ARGS__)

// Catches the status record a service reports when it next enters a state
// (STOPPED unless another is named).
// Wine replaces the reported exit codes once the service process has ended,
// so the record is caught by a status-change notification armed beforehand:
// make the watch before the stop (or before the start).
struct StateReportWatch {
    explicit StateReportWatch(const std::string& name, DWORD state = SERVICE_STOPPED);
    ~StateReportWatch();
    StateReportWatch(const StateReportWatch&) = delete;
    StateReportWatch& operator=(const StateReportWatch&) = delete;
    // The reported record; fails the test when none comes within the deadline.
    bool WaitAt(Where where, SERVICE_STATUS_PROCESS* reported, DWORD deadlineMs = kExitDeadline);
    // Whether the state has been reported since the watch was made, without waiting.
    bool Seen();

    std::string name;
    DWORD state;
    SC_HANDLE manager = NULL;
    SC_HANDLE service = NULL;
    struct Notification* pending = NULL;
};

// Starts the service and catches the STOPPED record it reports when it ends by
// itself; fails the test when it cannot be started or reports nothing in time.
bool StartUntilStoppedAt(Where where, const std::string& name, SERVICE_STATUS_PROCESS* reported);
#define StartUntilStopped(...) StartUntilStoppedAt(HERE, __VA_ARGS__)

// What a service is doing, for a wait that ran out: its state, exit codes and
// process as the service control manager shows them now, the STOPPED record it
// reported when one was caught (Wine forgets the reported codes once the
// process has ended), and its hosted program: the process of the log's "start"
// line, or else the service process's children; running, or how it ended.
std::string DescribeService(const std::string& name);
// Ties a service to the hosted program's log, so that a wait on that log says
// what the service did; the service's first STOPPED report after this call is
// kept for the description. Ends with the guard.
void WatchServiceOf(const std::string& name, const std::string& log);
void ForgetServiceOf(const std::string& name);

// The hosted test program's log: one event per line (see tests/hosted).
std::vector<std::string> ReadLogLines(const std::string& path);
// The lines of the log that start with prefix.
std::vector<std::string> LogLinesStartingWith(const std::string& path, const std::string& prefix);
// Waits until the log holds a line starting with prefix; that line, or "" after failing the test.
std::string WaitForLogLineAt(Where where, const std::string& path, const std::string& prefix,
                             DWORD deadlineMs = kWindowDeadline);
#define WaitForLogLine(...) WaitForLogLineAt(HERE, __VA_ARGS__)

// kavo's entries in the event log, read back from the service processes'
// debug output, where Wine writes each (see tests/wine/winerun.sh.in). Wine
// cuts a string longer than about 290 characters (58 outside ASCII) and ends
// it with "...".
struct EventEntry {
    WORD type = 0;   // EVENTLOG_ERROR_TYPE, _WARNING_TYPE, _INFORMATION_TYPE
    DWORD id = 0;
    std::vector<std::string> strings;   // in the ANSI code page
    std::vector<std::wstring> wideStrings;   // as stored, in UTF-16
};
// Where the entries (and whatever else Wine's services write) from now on start.
size_t EventLogMark();
// The entries written under the source since the mark, oldest first.
std::vector<EventEntry> EventEntriesSince(size_t mark, const std::string& source);
// "100 information, 104 warning, 102 error".
std::string BriefOf(const std::vector<EventEntry>& entries);

// An event source as the registry holds it, "EventMessageFile=...;
// TypesSupported=7; kavo=1" (the values it has), or "missing".
std::string DescribeEventSource(const std::string& source, const std::string& log = "Application");

// Ends a process by its id if it still runs (a hosted program left behind on purpose).
void EndProcessById(DWORD processId);

// A Wine drive letter mapped to a folder for the time of a test, the way
// winecfg maps one: a link in the prefix's dosdevices folder. The link is
// removed when the mapping goes.
struct MappedDrive {
    std::string root;   // "K:\", empty until mapped
    std::string link;   // the link's Unix path
    MappedDrive() = default;
    MappedDrive(const MappedDrive&) = delete;
    MappedDrive& operator=(const MappedDrive&) = delete;
    ~MappedDrive();
};

// Maps the drive letter to the folder and waits until the drive answers;
// fails the test if it does not.
bool MapDriveAt(Where where, MappedDrive& drive, char letter, const std::string& folder);
#define MapDrive(...) MapDriveAt(HERE, __VA_ARGS__)
