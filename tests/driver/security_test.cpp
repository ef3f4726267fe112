// What an administrator relies on: paths with spaces quoted wherever the
// system splits a command line, no file written but kavo.ini beside the
// program file, nothing started that others may change, the instance mutex
// open to administrators only, and no window from the service process.
#include <gtest/gtest.h>

#include <windows.h>
#include <sddl.h>

#include <algorithm>
#include <map>

#include "dialog_texts.h"
#include "resources/resource.h"
#include "support/dialog_driver.h"
#include "support/kavo_service.h"

namespace {

// ---- Files on disk, before and after ----

struct FileState {
    bool directory = false;
    ULONGLONG size = 0;
    FILETIME written = {};
};
typedef std::map<std::string, FileState> Snapshot;

// Every file and folder under dir. A folder's own time changes with what is
// made in it, so only its existence counts. Links are not followed: Wine links
// the user's Desktop, Documents and the like to the Unix home folder.
void TakeSnapshot(const std::string& dir, Snapshot& snapshot)
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((dir + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        std::string name = found.cFileName;
        if (name == "." || name == "..")
            continue;
        std::string path = dir + "\\" + name;
        FileState& state = snapshot[path];
        state.directory = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        if (state.directory) {
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
                TakeSnapshot(path, snapshot);
        } else {
            state.size = (ULONGLONG)found.nFileSizeHigh << 32 | found.nFileSizeLow;
            state.written = found.ftLastWriteTime;
        }
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

// "added", "changed" or "removed", and the path, for each difference.
std::vector<std::string> Changes(const Snapshot& before, const Snapshot& after)
{
    std::vector<std::string> changes;
    for (const auto& entry : after) {
        auto old = before.find(entry.first);
        if (old == before.end()) {
            changes.push_back("added " + entry.first);
        } else if (old->second.directory != entry.second.directory || old->second.size != entry.second.size ||
                   CompareFileTime(&old->second.written, &entry.second.written) != 0) {
            changes.push_back("changed " + entry.first);
        }
    }
    for (const auto& entry : before)
        if (!after.count(entry.first))
            changes.push_back("removed " + entry.first);
    return changes;
}

// Drive C: (the system's folders) and the test's own folder.
Snapshot TakeSnapshots(const std::string& dir)
{
    Snapshot snapshot;
    TakeSnapshot("C:", snapshot);
    TakeSnapshot(dir, snapshot);
    return snapshot;
}

// kavo.exe in "Program Files", the hosted program in "my tools", and beside
// both the programs an unquoted path would start instead. Set up, registered
// and started from kavo's own dialog, then stopped and deleted from it: the
// service runs kavo.exe itself, kavo runs the hosted program itself, and the
// only files written are kavo.ini beside kavo.exe and the log the hosted
// program was told to write.
TEST(SecurityService, PathsWithSpacesAndTheOnlyFileWritten)
{
    ServiceGuard guard("kavo_security_paths");
    std::string dir = MakeWorkDir("security paths");
    KavoDialog kavo;
    kavo.dir = dir + "\\Program Files";
    std::string programDir = dir + "\\my tools";
    std::string program = programDir + "\\hosted_child.exe";
    std::string log = dir + "\\child.log";
    ASSERT_TRUE(CreateDirectoryA(kavo.dir.c_str(), NULL));
    ASSERT_TRUE(CreateDirectoryA(programDir.c_str(), NULL));
    ASSERT_TRUE(CopyFileTo(KavoExePath(), kavo.dir + "\\kavo.exe"));
    ASSERT_TRUE(CopyFileTo(HostedChildPath(), program));
    ASSERT_TRUE(CopyFileTo(HostedChildPath(), dir + "\\Program.exe"));
    ASSERT_TRUE(CopyFileTo(HostedChildPath(), dir + "\\my.exe"));
    Snapshot before = TakeSnapshots(dir);

    ASSERT_TRUE(StartKavoDialog(kavo));
    SetControlText(kavo.window, IDC_PROGRAM, program);
    std::string options = "\"" + log + "\" -x";
    SetControlText(kavo.window, IDC_OPTIONS, options);
    SetControlText(kavo.window, IDC_SERVICE_NAME, guard.name);
    SelectComboItem(kavo.window, IDC_EXIT_METHOD, 0);
    ClickButton(kavo.window, IDOK);
    AnswerDialogMessage(kavo.program.id, kavo.window, "kavo", kAskRegister, MB_YESNO, IDYES);
    AnswerDialogMessage(kavo.program.id, kavo.window, "kavo", kAskStart, MB_YESNO, IDYES);
    EXPECT_EQ(0u, WaitForExit(kavo.program));

    EXPECT_EQ("\"" + kavo.dir + "\\kavo.exe\"", ReadServiceRegistration(guard.name).binaryPath);
    WaitForLogLine(log, "ready");
    EXPECT_EQ("command-line \"" + program + "\" " + options, WaitForLogLine(log, "command-line "));
    EXPECT_EQ(1u, LogLinesStartingWith(log, "start ").size());

    // Opened again, the dialog stops the service; its delete button removes it.
    ASSERT_TRUE(StartKavoDialog(kavo));
    WaitForServiceState(guard.name, SERVICE_STOPPED);
    EXPECT_EQ("exit 0", WaitForLogLine(log, "exit "));
    ClickButton(kavo.window, IDC_TEST_DELETE);
    AnswerDialogMessage(kavo.program.id, kavo.window, "kavo", kAskRemove, MB_YESNO, IDYES);
    AnswerDialogMessage(kavo.program.id, kavo.window, "kavo", kRemoved, MB_OK, IDOK);
    ClickButton(kavo.window, IDCANCEL);
    EXPECT_EQ(0u, WaitForExit(kavo.program));
    EXPECT_FALSE(ReadServiceRegistration(guard.name).found);

    std::vector<std::string> expected = {"added " + kavo.dir + "\\kavo.ini", "added " + log};
    std::vector<std::string> changes = Changes(before, TakeSnapshots(dir));
    std::sort(expected.begin(), expected.end());
    std::sort(changes.begin(), changes.end());
    EXPECT_EQ(expected, changes);
}

// ---- What users other than administrators may change ----

// kavo.exe, kavo's folder, kavo.ini, the hosted program, its folder, or a
// folder above either writable by others (under Wine: by Everyone): the
// service starts nothing, stops with ERROR_INVALID_ACL, the code the security
// notes name, and its event log entry names the path (a folder with its
// backslash) and the account. With none of them, the program runs.
TEST(SecurityService, NothingOthersMayChangeIsStarted)
{
    const char* cases[] = {"nothing",     "kavo.exe",    "kavo's folder",        "kavo.ini",
                           "the program", "the program's folder", "the folder above the program's",
                           "the folder above both"};
    for (int writable = 0; writable < 8; ++writable) {
        SCOPED_TRACE(cases[writable]);
        KavoService service("kavo_security_writable", "security_writable", "kavo");
        std::string top = service.dir.substr(0, service.dir.find_last_of('\\'));
        std::string toolsDir = top + "\\tools";
        std::string programDir = toolsDir + "\\bin";
        std::string program = programDir + "\\hosted_child.exe";
        ASSERT_TRUE(CreateDirectoryA(toolsDir.c_str(), NULL));
        ASSERT_TRUE(CreateDirectoryA(programDir.c_str(), NULL));
        ASSERT_TRUE(CopyFileTo(HostedChildPath(), program));
        // Were it started, the program would end by itself.
        std::string options = service.log + " -exit-after=300";
        ASSERT_TRUE(RegisterKavo(service, KavoIni(program, options, service.guard.name, "0")));
        const std::string paths[] = {"", service.ExePath(), service.dir, service.IniPath(), program,
                                     programDir, toolsDir, top};
        const std::string named[] = {"", service.ExePath(), service.dir + "\\", service.IniPath(), program,
                                     programDir + "\\", toolsDir + "\\", top + "\\"};
        if (writable) {
            ASSERT_TRUE(AllowOthersToWrite(paths[writable]));
        }

        size_t mark = EventLogMark();
        SERVICE_STATUS_PROCESS reported = {};
        ASSERT_TRUE(StartUntilStopped(service.guard.name, &reported));
        EXPECT_EQ((DWORD)SERVICE_STOPPED, reported.dwCurrentState);
        EXPECT_EQ(writable ? (DWORD)ERROR_INVALID_ACL : 0u, reported.dwWin32ExitCode);
        EXPECT_EQ(0u, reported.dwServiceSpecificExitCode);
        EXPECT_EQ(!writable, FileExists(service.log));
        if (writable) {
            std::vector<EventEntry> entries = EventEntriesSince(mark, service.guard.name);
            EXPECT_EQ("112 error", BriefOf(entries));
            if (entries.size() == 1) {
                EXPECT_EQ((std::vector<std::string>{named[writable], "Everyone"}), entries[0].strings);
            }
        }
    }
}

// ---- What is never started, whoever may change it ----

// A batch file (cmd.exe would read the & of "R&D" as a second command), a
// program on a share, and one on a removable drive (Wine's R:, a floppy
// drive): the service starts nothing, stops with its own exit code, and its
// event names the file. anyDrive=1 in kavo.ini lets the drives pass; a batch
// file in an .exe's name is no program, and the system does not run it.
TEST(SecurityService, ScriptsSharesAndRemovableDrivesAreNotStarted)
{
    const DWORD kNotTold = 1;   // the exit code is the system's launch failure, whichever it is
    const struct {
        const char* what;
        const char* program;   // in the row's folder unless it names a drive or share
        bool script;
        const char* extraIni;
        DWORD exitCode;
        const char* entry;
    } cases[] = {
        {"a batch file in R&D", "R&D\\run.bat", true, "", ERROR_NOT_SUPPORTED, "114 error"},
        {"a command script", "R&D\\RUN.CMD", true, "", ERROR_NOT_SUPPORTED, "114 error"},
        {"a batch file with a trailing dot", "R&D\\run.bat.", true, "", ERROR_NOT_SUPPORTED, "114 error"},
        {"a batch file named .exe", "R&D\\run.exe", true, "", kNotTold, "111 error"},
        {"a share", "\\\\kavo-no-server\\share\\hosted_child.exe", false, "", ERROR_ACCESS_DISABLED_BY_POLICY,
         "115 error"},
        {"a share, every drive allowed", "\\\\kavo-no-server\\share\\hosted_child.exe", false, "anyDrive=1\r\n",
         kNotTold, "111 error"},
        {"a removable drive", "R:", false, "", ERROR_ACCESS_DISABLED_BY_POLICY, "115 error"},
        {"a removable drive, every drive allowed", "R:", false, "anyDrive=1\r\n", 0, "100 information"},
    };
    int row = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        KavoService service("kavo_security_place", "security_place_" + std::to_string(row++));
        std::string marker = service.dir + "\\ran.txt";
        std::string program = c.program;
        if (program == "R:") {
            std::string folder = "R:\\" + service.guard.name + std::to_string(row);
            CreateDirectoryA(folder.c_str(), NULL);
            program = folder + "\\hosted_child.exe";
            ASSERT_TRUE(CopyFileTo(HostedChildPath(), program));
        } else if (program[0] != '\\') {
            ASSERT_TRUE(CreateDirectoryA((service.dir + "\\R&D").c_str(), NULL));
            program = service.dir + "\\" + program;
            std::string file = program.substr(0, program.find_last_not_of('.') + 1);
            ASSERT_TRUE(WriteFileBytes(file, "echo ran > \"" + marker + "\"\r\n"));
        }
        std::string options = service.log + " -exit-after=300";
        ASSERT_TRUE(RegisterKavo(service, KavoIni(program, options, service.guard.name, "0") + c.extraIni));
        size_t mark = EventLogMark();
        SERVICE_STATUS_PROCESS reported = {};
        ASSERT_TRUE(StartUntilStopped(service.guard.name, &reported));
        if (c.exitCode == kNotTold)
            EXPECT_NE(0u, reported.dwWin32ExitCode);
        else
            EXPECT_EQ(c.exitCode, reported.dwWin32ExitCode);
        EXPECT_FALSE(FileExists(marker));
        EXPECT_EQ(c.exitCode == 0, FileExists(service.log));
        std::vector<EventEntry> entries = EventEntriesSince(mark, service.guard.name);
        ASSERT_FALSE(entries.empty());
        EXPECT_EQ(c.entry, BriefOf({entries[0]}));
        if (c.exitCode == ERROR_NOT_SUPPORTED) {
            // The path as the system reads it: without the trailing dot.
            EXPECT_EQ(std::vector<std::string>{program.substr(0, program.find_last_not_of('.') + 1)},
                      entries[0].strings);
        }
        if (c.exitCode == ERROR_ACCESS_DISABLED_BY_POLICY) {
            EXPECT_EQ((std::vector<std::string>{program, service.IniPath()}), entries[0].strings);
        }
    }
}

// A program path whose security cannot be read (a file name with a trailing
// backslash) counts as changeable; the entry says why no account is named in
// kavo's own Japanese words, stored as such on every code page.
TEST(CodePageSecurityService, AnUnreadablePathIsNamedInJapanese)
{
    KavoService service("kavo_cp_unreadable", "cp_security_unreadable");
    std::string program = service.dir + "\\hosted_child.exe\\";
    ASSERT_TRUE(CopyFileTo(HostedChildPath(), service.dir + "\\hosted_child.exe"));
    ASSERT_TRUE(RegisterKavo(service, KavoIni(program, service.log, service.guard.name, "0")));
    size_t mark = EventLogMark();
    SERVICE_STATUS_PROCESS reported = {};
    ASSERT_TRUE(StartUntilStopped(service.guard.name, &reported));
    EXPECT_EQ((DWORD)ERROR_INVALID_ACL, reported.dwWin32ExitCode);
    EXPECT_FALSE(FileExists(service.log));
    std::vector<EventEntry> entries = EventEntriesSince(mark, service.guard.name);
    ASSERT_EQ("112 error", BriefOf(entries));
    // 「（アクセス許可を読み取れません）」
    EXPECT_EQ((std::vector<std::wstring>{FromCodePage(CP_ACP, program),
                                         L"\uff08\u30a2\u30af\u30bb\u30b9\u8a31\u53ef\u3092\u8aad\u307f"
                                         L"\u53d6\u308c\u307e\u305b\u3093\uff09"}),
              entries[0].wideStrings);
}

// A folder named in the code page's own letters that others may change holds
// the program's folder: the service starts nothing and names that folder,
// however the path is written (with "..", or with slashes, which the system
// takes for backslashes); the same path runs when only administrators may
// change it.
TEST(CodePageSecurityService, AFolderNamedInTheCodePageIsJudged)
{
    enum Written { kAsIs, kWithDots, kWithSlashes };
    const struct {
        const char* what;
        Written written;
        bool writable;
    } cases[] = {
        {"with dots, only administrators", kWithDots, false},
        {"as is", kAsIs, true},
        {"with dots", kWithDots, true},
        {"with slashes", kWithSlashes, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        KavoService service("kavo_cp_writable", "cp_writable", "kavo");
        std::string top = service.dir.substr(0, service.dir.find_last_of('\\'));
        std::string namedDir = top + "\\" + CodePageLetters();
        std::string programDir = namedDir + "\\bin";
        ASSERT_TRUE(CreateDirectoryA(namedDir.c_str(), NULL));
        ASSERT_TRUE(CreateDirectoryA(programDir.c_str(), NULL));
        ASSERT_TRUE(CopyFileTo(HostedChildPath(), programDir + "\\hosted_child.exe"));
        std::string written = c.written == kWithDots      ? programDir + "\\..\\bin\\.\\hosted_child.exe"
                              : c.written == kWithSlashes ? top + "/" + CodePageLetters() + "/bin/hosted_child.exe"
                                                          : programDir + "\\hosted_child.exe";
        ASSERT_TRUE(RegisterKavo(service, KavoIni(written, service.log + " -exit-after=300", service.guard.name, "0")));
        if (c.writable) {
            ASSERT_TRUE(AllowOthersToWrite(namedDir));
        }

        size_t mark = EventLogMark();
        SERVICE_STATUS_PROCESS reported = {};
        ASSERT_TRUE(StartUntilStopped(service.guard.name, &reported));
        EXPECT_EQ(c.writable ? (DWORD)ERROR_INVALID_ACL : 0u, reported.dwWin32ExitCode);
        EXPECT_EQ(!c.writable, FileExists(service.log));
        std::vector<EventEntry> entries = EventEntriesSince(mark, service.guard.name);
        if (c.writable) {
            EXPECT_EQ("112 error", BriefOf(entries));
            if (entries.size() == 1) {
                EXPECT_EQ((std::vector<std::string>{namedDir + "\\", "Everyone"}), entries[0].strings)
                    << Escaped(entries[0].strings[0]);
            }
        } else {
            EXPECT_EQ("100 information, 101 information", BriefOf(entries));
        }
    }
}

// ---- The mutex and the windows of the service process ----

std::string MutexName(const std::string& serviceName)
{
    return "$$kavo$$" + serviceName + "$$";
}

// The object's owner and DACL as SDDL, as an administrator's tools show them.
std::string OwnerAndDacl(HANDLE object)
{
    char buffer[1024];
    DWORD needed = 0;
    char* text = NULL;
    const SECURITY_INFORMATION wanted = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
    if (!GetKernelObjectSecurity(object, wanted, (PSECURITY_DESCRIPTOR)buffer, sizeof buffer, &needed) ||
        !ConvertSecurityDescriptorToStringSecurityDescriptorA((PSECURITY_DESCRIPTOR)buffer, SDDL_REVISION_1, wanted,
                                                              &text, NULL))
        return "cannot be read: error " + std::to_string(GetLastError());
    std::string sddl = text;
    LocalFree(text);
    return sddl;
}

// The id of the account this process runs as, "S-1-5-...".
std::string OwnAccountId()
{
    HANDLE token = NULL;
    char buffer[256];
    DWORD needed = 0;
    char* text = NULL;
    std::string id;
    if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token) &&
        GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &needed) &&
        ConvertSidToStringSidA(((TOKEN_USER*)buffer)->User.Sid, &text)) {
        id = text;
        LocalFree(text);
    }
    if (token)
        CloseHandle(token);
    return id;
}

struct ServiceWindows {
    DWORD servicePid;
    DWORD childPid;
    std::vector<HWND> service, serviceMessageOnly, child;
};

void LookAtServiceWindows(void* context)
{
    ServiceWindows* look = (ServiceWindows*)context;
    look->service = WindowsOfProcess(look->servicePid, NULL);
    look->serviceMessageOnly = MessageOnlyWindowsOfProcess(look->servicePid);
    look->child = WindowsOfProcess(look->childPid, NULL);
}

// Looks at the services' desktop: the service process has no window there,
// while the hosted program's windows are seen (so the look is in the right place).
void ExpectNoServiceWindowAt(Where where, DWORD servicePid, DWORD childPid)
{
    ServiceWindows look = {servicePid, childPid, {}, {}, {}};
    if (!OnServiceDesktopAt(where, LookAtServiceWindows, &look))
        return;
    EXPECT_TRUE(look.service.empty()) << where.file << ":" << where.line;
    EXPECT_TRUE(look.serviceMessageOnly.empty()) << where.file << ":" << where.line;
    EXPECT_FALSE(look.child.empty()) << where.file << ":" << where.line;
    EXPECT_TRUE(WindowsOfProcess(servicePid, NULL).empty()) << "on the test's own desktop";
}
#define ExpectNoServiceWindow(...) ExpectNoServiceWindowAt(HERE, __VA_ARGS__)

void AnswerYes(void* context)
{
    MessageBoxView box = WaitForMessageBox(*(DWORD*)context);
    if (box.window)
        AnswerMessageBox(box, IDYES);
}

DWORD WINAPI RequestStop(void* name)
{
    StopServiceNow(*(std::string*)name);
    return 0;
}

// The mutex that guards the service exists while the service runs, owned by
// the service's account (under Wine the one account every process runs as) and
// open to it, SYSTEM and Administrators alone, so that no other user can hold
// it; it is gone when the service has stopped. The service process makes no
// window, neither while it runs nor while its stop sends the close messages.
TEST(SecurityService, MutexForAdministratorsOnlyAndNoServiceWindow)
{
    KavoService service("kavo_security_mutex", "security_mutex");
    ASSERT_TRUE(RegisterHosting(service, "-ask", 0));
    ASSERT_TRUE(StartServiceNow(service.guard.name));
    WaitForLogLine(service.log, "ready");
    DWORD childPid = ChildIdOf(service);
    DWORD servicePid = ServiceProcessId(service.guard.name);
    ASSERT_NE(0u, servicePid);

    HANDLE mutex = OpenMutexA(MUTEX_ALL_ACCESS, FALSE, MutexName(service.guard.name).c_str());
    ASSERT_TRUE(mutex != NULL) << "error " << GetLastError();
    std::string account = OwnAccountId();
    EXPECT_EQ("O:" + account + "D:(A;;0x1f0001;;;SY)(A;;0x1f0001;;;BA)(A;;0x1f0001;;;" + account + ")",
              OwnerAndDacl(mutex));
    CloseHandle(mutex);

    ExpectNoServiceWindow(servicePid, childPid);

    // The stop waits in the close message while the hosted program asks.
    HANDLE stop = CreateThread(NULL, 0, RequestStop, &service.guard.name, 0, NULL);
    ASSERT_TRUE(stop != NULL);
    WaitForLogLine(service.log, "question");
    ExpectNoServiceWindow(servicePid, childPid);
    OnServiceDesktop(AnswerYes, &childPid);
    EXPECT_EQ((DWORD)WAIT_OBJECT_0, WaitForSingleObject(stop, kExitDeadline));
    CloseHandle(stop);
    WaitForServiceState(service.guard.name, SERVICE_STOPPED);
    EXPECT_EQ("exit 0", WaitForLogLine(service.log, "exit "));

    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, servicePid);
    if (process) {
        EXPECT_EQ((DWORD)WAIT_OBJECT_0, WaitForSingleObject(process, kExitDeadline));
        CloseHandle(process);
    }
    EXPECT_TRUE(OpenMutexA(SYNCHRONIZE, FALSE, MutexName(service.guard.name).c_str()) == NULL);
}

// A start request, with the manager's answer; false and the error when refused.
bool TryStartService(const std::string& name, DWORD* error)
{
    SC_HANDLE manager = OpenSCManagerA(NULL, NULL, SC_MANAGER_CONNECT);
    SC_HANDLE service = manager ? OpenServiceA(manager, name.c_str(), SERVICE_START) : NULL;
    BOOL started = service && StartServiceA(service, 0, NULL);
    *error = started ? 0 : GetLastError();
    if (service)
        CloseServiceHandle(service);
    if (manager)
        CloseServiceHandle(manager);
    return started != FALSE;
}

// The mutex's existence is the signal that the service is served already: an
// administrator's process (under Wine every process) that keeps it open after
// the service stopped keeps the service from starting again (kavo ends at
// once, without reaching the service control manager, and starts nothing).
// Closed, the service starts again. The security notes tell administrators so.
TEST(SecurityService, AMutexKeptOpenKeepsTheServiceFromStarting)
{
    KavoService service("kavo_security_held", "security_held");
    ASSERT_TRUE(RegisterHosting(service, "", 0));
    ASSERT_TRUE(StartServiceNow(service.guard.name));
    WaitForLogLine(service.log, "ready");
    HANDLE mutex = OpenMutexA(SYNCHRONIZE, FALSE, MutexName(service.guard.name).c_str());
    ASSERT_TRUE(mutex != NULL);
    ASSERT_TRUE(StopServiceNow(service.guard.name));
    WaitForServiceState(service.guard.name, SERVICE_STOPPED);

    DWORD error = 0;
    EXPECT_FALSE(TryStartService(service.guard.name, &error));
    EXPECT_EQ((DWORD)ERROR_SERVICE_REQUEST_TIMEOUT, error);
    WaitForServiceState(service.guard.name, SERVICE_STOPPED);
    EXPECT_EQ(1u, LogLinesStartingWith(service.log, "start ").size());

    CloseHandle(mutex);
    ASSERT_TRUE(StartServiceNow(service.guard.name));
    EXPECT_TRUE(PollUntil([&] { return LogLinesStartingWith(service.log, "ready").size() == 2; }, kWindowDeadline));
    ASSERT_TRUE(StopServiceNow(service.guard.name));
    WaitForServiceState(service.guard.name, SERVICE_STOPPED);
}

}  // namespace
