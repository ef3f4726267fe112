#include "scm/install.h"

#include <aclapi.h>

#include "entry/console.h"
#include "entry/context.h"
#include "entry/display.h"
#include "entry/portable_command_line.h"
#include "host/event_log.h"
#include "host/launch.h"
#include "host/program_checks.h"
#include "host/write_access.h"
#include "resources/messages.h"
#include "scm/scm.h"
#include "settings/portable_stop_timeout.h"
#include "text/sjis_path.h"
#include "text/text.h"

// How long a started service must stay RUNNING before the install counts.
// kavo reports RUNNING once the program is ready for input; a program that
// fails soon after (a refused argument, a missing file) has ended by then.
static const DWORD kSettleMs = 2000;
// The longest a start may take: kavo's start steps take at most 40 s and its
// wait for the program to be ready 15 s, with room for a loaded machine.
static const DWORD kStartLimitMs = 60000;
// How often the state is read meanwhile.
static const DWORD kPollMs = 100;
// The most folders on FOLDER's path, its drive's root included; a path of 259
// characters has at most 128.
enum { FOLDER_DEPTH = 130 };

static const char* const kValueNames[] = {"NAME", "PROGRAM", "/option", "/end", "/folder", "/stoptimeout"};
static const char kKavoFileName[] = "kavo.exe";

// One command's state: what it was given, what it holds, and what it made, for the undo.
static struct {
    HANDLE Own;                     // this kavo.exe, open without write sharing since the start
    DWORD OwnError;                 // why it could not be opened
    char Name[TEXT_SIZE];
    char Program[TEXT_SIZE];
    char Options[TEXT_SIZE];
    WCHAR WideFolder[TEXT_SIZE];
    char Folder[TEXT_SIZE];
    char Kavo[TEXT_SIZE];           // FOLDER\kavo.exe
    size_t Ends[FOLDER_DEPTH];      // the length of each folder of the path, root first
    int Depth;
    HANDLE Held[FOLDER_DEPTH];      // the folders that were there, held so that none is moved or deleted
    int HeldCount;
    int MadeFrom;                   // the first folder this command made; Depth when none
    int MadeCount;
    int SecuredExisting, CopiedKavo, WroteIni, Registered, Started;
    AdministratorsOnly Security;
} Run;

static void SayStepFailed(const char* step, DWORD error)
{
    char text[MESSAGE_SIZE];
    char reason[MESSAGE_SIZE] = "";
    wsprintfA(text, kCommandStepFailed, step, error);
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_MAX_WIDTH_MASK, NULL,
                   error, 0, reason, sizeof reason, NULL);
    Say(text, reason);
}

// Who may change a path: the account (ANSI) and kavo's note on it (its own
// text), each shown from its own code page.
static void SayAccount(const char* account, const char* note)
{
    if (account[0] || !note[0])
        Say(kCommandAccount, account);
    if (note[0])
        Say(note, NULL);
}

// A value in the ANSI code page, as kavo.ini holds it; 0 and the reason said
// when that code page lacks a character of it or it takes more than 259 bytes.
static int TakeAnsi(const WCHAR* wide, char* ansi, CommandValue value)
{
    if (ConvertToAnsiText(wide, ansi, TEXT_SIZE))
        return 1;
    char longer[MESSAGE_SIZE];
    char text[MESSAGE_SIZE];
    wsprintfA(text, ConvertToAnsiText(wide, longer, sizeof longer) ? kCommandTooLong : kCommandNotAnsi,
              kValueNames[value]);
    Say(text, NULL);
    return 0;
}

// The refused value, named, and shown where the command line holds it as given.
static void SayFault(const CommandLine* command)
{
    const char16_t* shown[] = {command->name, command->program, command->options, NULL, command->folder, NULL};
    CommandValue value = command->faultValue;
    char text[MESSAGE_SIZE];
    wsprintfA(text,
              command->fault == kFaultTooLong         ? kCommandTooLong
              : command->fault == kFaultNameNotFolder ? kCommandNameNotFolder
                                                      : kCommandBadValue,
              kValueNames[value]);
    SayWide(text, command->fault == kFaultTooLong ? NULL : (const WCHAR*)shown[value]);
}

// The folder of the path at depth (0: the drive's root), in the ANSI code page.
static void FormFolderAt(int depth, char* path)
{
    WCHAR wide[TEXT_SIZE];
    lstrcpynW(wide, Run.WideFolder, (int)Run.Ends[depth] + 1);
    ConvertToAnsiText(wide, path, TEXT_SIZE);
}

// FOLDER as a full path of a drive, checked, with the length of each folder on its path.
static int TakeFolder(const CommandLine* command)
{
    WCHAR given[3 * TEXT_SIZE];
    DWORD length = 0;
    if (command->folder[0]) {
        lstrcpynW(given, (const WCHAR*)command->folder, TEXT_SIZE);
    } else {
        // Program Files of the system's own kind, also for the 32-bit kavo.exe on 64-bit Windows.
        length = GetEnvironmentVariableW(L"ProgramW6432", given, TEXT_SIZE);
        if (length == 0 || length >= TEXT_SIZE)
            length = GetEnvironmentVariableW(L"ProgramFiles", given, TEXT_SIZE);
        if (length == 0 || length >= TEXT_SIZE)
            length = 0;
        // Each piece fits in given: the folder, "\kavo\" and NAME.
        const WCHAR kKavoPiece[] = L"\\kavo\\";
        lstrcpynW(given + length, kKavoPiece, sizeof kKavoPiece / sizeof kKavoPiece[0]);
        lstrcpynW(given + length + sizeof kKavoPiece / sizeof kKavoPiece[0] - 1, (const WCHAR*)command->name, TEXT_SIZE);
    }
    length = GetFullPathNameW(given, TEXT_SIZE, Run.WideFolder, NULL);
    if (length == 0 || length >= TEXT_SIZE) {
        char text[MESSAGE_SIZE];
        wsprintfA(text, kCommandTooLong, kValueNames[kValueFolder]);
        Say(text, NULL);
        return 0;
    }
    if (CheckFolderPath((char16_t*)Run.WideFolder) != kFolderFine) {
        SayWide(kCommandBadFolder, Run.WideFolder);
        return 0;
    }
    if (!TakeAnsi(Run.WideFolder, Run.Folder, kValueFolder))
        return 0;
    Run.Depth = 0;
    Run.Ends[Run.Depth++] = 3;
    for (int i = 3; Run.WideFolder[i] && Run.Depth < FOLDER_DEPTH; ++i)
        if (Run.WideFolder[i] == L'\\')
            Run.Ends[Run.Depth++] = i;
    Run.Ends[Run.Depth++] = lstrlenW(Run.WideFolder);
    Run.MadeFrom = Run.Depth;
    char ini[TEXT_SIZE];
    const char* refusal = NULL;
    // The system folders cannot tell a service from a person; the installing
    // kavo.exe's own folder would be copied onto itself.
    if (IsSystemOrWindowsFolder(Run.Folder) || IsSameFolder(Run.Folder, ProgramContext.ModuleDir) ||
        !FormPathInDirectory(Run.Kavo, sizeof Run.Kavo, Run.Folder, kKavoFileName) ||
        !FormPathInDirectory(ini, sizeof ini, Run.Folder, "kavo.ini"))
        refusal = kCommandBadFolder;
    // One kavo.ini serves one service: another's is never overwritten.
    else if (GetFileAttributesA(ini) != INVALID_FILE_ATTRIBUTES || GetFileAttributesA(Run.Kavo) != INVALID_FILE_ATTRIBUTES)
        refusal = kCommandIniExists;
    if (refusal)
        Say(refusal, Run.Folder);
    return !refusal;
}

// Each folder of FOLDER's path that is there, from the root down, is held
// open (no one may move or delete it until the command ends) and must be a
// folder, no junction or other link, and owned by an administrator; FOLDER
// itself is opened so that its security can be set. The first missing one is
// where the making starts.
static int HoldFoldersOnPath()
{
    for (int depth = 0; depth < Run.Depth; ++depth) {
        char path[TEXT_SIZE];
        FormFolderAt(depth, path);
        DWORD access = READ_CONTROL | (depth == Run.Depth - 1 ? WRITE_DAC | WRITE_OWNER : 0);
        HANDLE folder = CreateFileA(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, NULL);
        if (folder == INVALID_HANDLE_VALUE) {
            DWORD error = GetLastError();
            if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
                Run.MadeFrom = depth;
                return 1;
            }
            SayStepFailed(path, error);
            return 0;
        }
        Run.Held[Run.HeldCount++] = folder;
        BY_HANDLE_FILE_INFORMATION information;
        char account[TEXT_SIZE];
        const char* note = "";
        const char* refusal = NULL;
        if (!GetFileInformationByHandle(folder, &information) || !IsPlainFolder(information.dwFileAttributes))
            refusal = kCommandLink;
        else if (FindOwnerNotAdministrator(folder, account, sizeof account, &note))
            refusal = kCommandOwner;
        if (refusal) {
            Say(refusal, path);
            if (refusal == kCommandOwner)
                SayAccount(account, note);
            return 0;
        }
    }
    return 1;
}

static int CheckService()
{
    char other[TEXT_SIZE];
    ServiceOwner owner = FindServiceOwner(Run.Name, other, sizeof other);
    if (owner != kNoService) {
        Say(kCommandRegistered, Run.Name);
        if (owner == kOtherService)
            Say(kCommandRuns, other);
        return 0;
    }
    // Opened as the registration will be: without the rights to register, stop
    // here. (A name that is another service's display name is refused by the
    // registration itself, and what was made is removed again.)
    SC_HANDLE manager = OpenSCManagerA(NULL, NULL, SC_MANAGER_CREATE_SERVICE);
    if (!manager)
        SayStepFailed("OpenSCManager", GetLastError());
    else
        CloseServiceHandle(manager);
    return manager != NULL;
}

// What would keep the service from starting the program, said: a script, a
// program on a share or a removable drive, or the first path the service
// would depend on that others may change. 1 when there is one.
static int SayWritableByOthers(int withKavo)
{
    HeldProgram launch;
    char finalPath[TEXT_SIZE];
    int finalPathRead = ReadFinalPathOfLaunch(&launch, Run.Program, Run.Options, finalPath, sizeof finalPath);
    char path[TEXT_SIZE];
    char account[TEXT_SIZE];
    const char* note;
    // The installed kavo.exe lies in FOLDER, which the service would refuse on
    // a share or a removable drive as well.
    PlaceFinding place = CheckProgramPlace(&launch, finalPath, 0, 0, path, sizeof path);
    if (place == kPlaceAllowed && !CheckDrive(Run.Folder, 0, path, sizeof path))
        place = kPlaceNotLocal;
    if (place != kPlaceAllowed) {
        Say(place == kPlaceScript ? kCommandScript : kCommandNotLocal, path);
        return 1;
    }
    const char* judgedFinalPath = finalPathRead < 0 ? NULL : finalPath;
    int writable = withKavo ? FindPathWritableByOthers(launch.file, judgedFinalPath, path, sizeof path, account,
                                                       sizeof account, &note)
                            : FindProgramPathWritableByOthers(launch.file, judgedFinalPath, path, sizeof path,
                                                              account, sizeof account, &note);
    if (writable) {
        Say(kCommandWritable, path);
        SayAccount(account, note);
    }
    return writable;
}

// Everything checked before anything is written; 1 when it may go on.
static int CheckInstall(const CommandLine* command)
{
    WCHAR program[TEXT_SIZE];
    DWORD length = GetFullPathNameW((const WCHAR*)command->program, TEXT_SIZE, program, NULL);
    if (length == 0 || length >= TEXT_SIZE)
        lstrcpynW(program, (const WCHAR*)command->program, TEXT_SIZE);
    if (!TakeAnsi((const WCHAR*)command->name, Run.Name, kValueName) ||
        !TakeAnsi(program, Run.Program, kValueProgram) ||
        !TakeAnsi((const WCHAR*)command->options, Run.Options, kValueOption))
        return 0;
    DWORD attributes = GetFileAttributesA(Run.Program);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        Say(kCommandNoProgram, Run.Program);
        return 0;
    }
    if (Run.Own == INVALID_HANDLE_VALUE) {
        SayStepFailed(ProgramContext.ModulePath, Run.OwnError);
        return 0;
    }
    return TakeFolder(command) && CheckService() && !SayWritableByOthers(0) && HoldFoldersOnPath();
}

// The folders that are missing, made administrators-only from the top down,
// each before the next is made in it; FOLDER, when it was there, made so.
static int SecureFolder()
{
    SECURITY_ATTRIBUTES attributes;
    attributes.nLength = sizeof attributes;
    attributes.lpSecurityDescriptor = &Run.Security.Descriptor;
    attributes.bInheritHandle = FALSE;
    for (int depth = Run.MadeFrom; depth < Run.Depth; ++depth) {
        char path[TEXT_SIZE];
        FormFolderAt(depth, path);
        if (!CreateDirectoryA(path, &attributes)) {
            SayStepFailed(path, GetLastError());
            return 0;
        }
        ++Run.MadeCount;
    }
    if (Run.MadeCount)
        return 1;
    Run.SecuredExisting = 1;
    DWORD error = SetSecurityInfo(Run.Held[Run.HeldCount - 1], SE_FILE_OBJECT,
                                  OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION |
                                      PROTECTED_DACL_SECURITY_INFORMATION,
                                  Run.Security.Administrators, NULL, (PACL)Run.Security.Dacl, NULL);
    if (error != ERROR_SUCCESS)
        SayStepFailed(Run.Folder, error);
    return error == ERROR_SUCCESS;
}

// This running kavo.exe, read through the handle opened at the start, into a
// new FOLDER\kavo.exe that takes FOLDER's permissions.
static int CopyKavo()
{
    HANDLE copy = CreateFileA(Run.Kavo, GENERIC_WRITE, 0, NULL, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, NULL);
    if (copy == INVALID_HANDLE_VALUE)
        return 0;
    Run.CopiedKavo = 1;
    int copied = SetFilePointer(Run.Own, 0, NULL, FILE_BEGIN) == 0;
    for (;;) {
        char block[8192];
        DWORD read = 0;
        DWORD written = 0;
        if (!copied || !ReadFile(Run.Own, block, sizeof block, &read, NULL)) {
            copied = 0;
            break;
        }
        if (read == 0)
            break;
        copied = WriteFile(copy, block, read, &written, NULL) && written == read;
    }
    DWORD error = GetLastError();
    copied = CloseHandle(copy) && copied;
    SetLastError(error);
    return copied;
}

// Polls until the service has been RUNNING for kSettleMs; 0 when it leaves
// RUNNING, never gets there, or cannot be asked. status: the last seen.
static int WaitUntilSettled(SERVICE_STATUS* status)
{
    ZeroMemory(status, sizeof *status);
    SC_HANDLE manager = OpenSCManagerA(NULL, NULL, SC_MANAGER_CONNECT);
    SC_HANDLE service = manager ? OpenServiceA(manager, Run.Name, SERVICE_QUERY_STATUS) : NULL;
    DWORD since = GetTickCount();
    int running = 0;
    while (service && QueryServiceStatus(service, status)) {
        DWORD state = status->dwCurrentState;
        if (state == SERVICE_RUNNING && !running) {
            running = 1;
            since = GetTickCount();
        }
        if (running ? state != SERVICE_RUNNING || GetTickCount() - since >= kSettleMs
                    : state != SERVICE_START_PENDING || GetTickCount() - since >= kStartLimitMs)
            break;
        Sleep(kPollMs);
    }
    if (service)
        CloseServiceHandle(service);
    if (manager)
        CloseServiceHandle(manager);
    return running && status->dwCurrentState == SERVICE_RUNNING;
}

// 1 when the path is still there, and then said.
static int SayIfLeft(const char* path)
{
    if (GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES)
        return 0;
    Say(kCommandLeftBehind, path);
    return 1;
}

// Removes what the install made, deepest first, and names what is left. A
// service that was started may have written entries that explain its end:
// its event source, and kavo.exe that holds their texts, stay.
static void UndoInstall()
{
    int keepSource = 0;
    int left = 0;
    if (Run.Registered) {
        RemoveService();
        char other[TEXT_SIZE];
        left = FindServiceOwner(Run.Name, other, sizeof other) != kNoService;
        if (left)
            Say(kCommandLeftBehind, Run.Name);
        if (Run.Started) {
            InstallEventSource(Run.Name);
            keepSource = ProgramContext.EventSource[0] != '\0';
        }
    }
    if (Run.WroteIni)
        DeleteFileA(ProgramContext.IniPath);
    if (Run.CopiedKavo && !keepSource)
        DeleteFileA(Run.Kavo);
    for (int depth = Run.MadeFrom + Run.MadeCount - 1; depth >= Run.MadeFrom && !keepSource; --depth) {
        char path[TEXT_SIZE];
        FormFolderAt(depth, path);
        RemoveDirectoryA(path);
        left |= SayIfLeft(path);
    }
    if (keepSource) {
        Say(kCommandKept, Run.Kavo);
        Say(kCommandKept, ProgramContext.EventSource);
        left = 1;
    }
    if (Run.WroteIni)
        left |= SayIfLeft(ProgramContext.IniPath);
    if (Run.CopiedKavo && !keepSource)
        left |= SayIfLeft(Run.Kavo);
    // Its permissions before are not known any more.
    if (Run.SecuredExisting)
        Say(kCommandPermissionsKept, Run.Folder);
    left |= Run.SecuredExisting;
    if (!left)
        Say(kCommandNothingLeft, NULL);
}

// The steps that change something, in order; each failure says which.
static int MakeInstall(const CommandLine* command, int* restartsSet)
{
    if (!BuildAdministratorsOnly(&Run.Security) || !SecureFolder())
        return 0;
    if (!CopyKavo()) {
        SayStepFailed(Run.Kavo, GetLastError());
        return 0;
    }
    SetProgramPaths(Run.Kavo);
    ServiceConfig& config = ProgramContext.Config;
    CopyText(config.programPath, sizeof config.programPath, Run.Program);
    CopyText(config.options, sizeof config.options, Run.Options);
    CopyText(config.serviceName, sizeof config.serviceName, Run.Name);
    config.exitMethod = command->exitMethod;
    config.stopTimeout = command->stopTimeout ? command->stopTimeout : STOP_TIMEOUT_DEFAULT_SECONDS;
    Run.WroteIni = 1;
    if (!SaveSettings() || (command->stopTimeout && !SaveStopTimeout())) {
        SayStepFailed(ProgramContext.IniPath, GetLastError());
        return 0;
    }
    // With everything in place, as the service checks it at each start.
    if (SayWritableByOthers(1))
        return 0;
    if (!RegisterAsService(SERVICE_AUTO_START)) {
        SayStepFailed("CreateService", GetLastError());
        return 0;
    }
    Run.Registered = 1;
    *restartsSet = SetRestartOnFailure();
    Run.Started = 1;
    if (!StartRegisteredService()) {
        SayStepFailed("StartService", GetLastError());
        return 0;
    }
    SERVICE_STATUS status;
    if (!WaitUntilSettled(&status)) {
        char text[MESSAGE_SIZE];
        wsprintfA(text, kCommandNotRunning, status.dwCurrentState, status.dwWin32ExitCode,
                  status.dwServiceSpecificExitCode);
        Say(text, NULL);
        SayStepFailed("RUNNING", status.dwWin32ExitCode == ERROR_SERVICE_SPECIFIC_ERROR
                                     ? status.dwServiceSpecificExitCode
                                     : status.dwWin32ExitCode);
        return 0;
    }
    return 1;
}

static int Install(const CommandLine* command)
{
    int restartsSet = 0;
    int result = kExitRefused;
    if (CheckInstall(command)) {
        result = kExitFailed;
        if (MakeInstall(command, &restartsSet)) {
            Say(restartsSet ? kCommandInstalled : kCommandNoRestart, Run.Name);
            result = restartsSet ? kExitDone : kExitNoRestart;
        } else {
            UndoInstall();
        }
    }
    while (Run.HeldCount > 0)
        CloseHandle(Run.Held[--Run.HeldCount]);
    return result;
}

// Only a kavo service goes: one whose registered path names a kavo.exe or
// kavo64.exe. A kavo event source left without its service goes too.
static int Uninstall(const CommandLine* command)
{
    if (!TakeAnsi((const WCHAR*)command->name, Run.Name, kValueName))
        return kExitRefused;
    char registered[TEXT_SIZE];
    ServiceOwner owner = FindServiceOwner(Run.Name, registered, sizeof registered);
    if (owner == kNoService) {
        int removed = RemoveEventSource(Run.Name);
        Say(removed ? kCommandRemoved : kCommandNotInstalled, Run.Name);
        return removed ? kExitDone : kExitRefused;
    }
    if (owner == kOtherService) {
        WCHAR wide[TEXT_SIZE];
        WCHAR file[TEXT_SIZE];
        char path[TEXT_SIZE];
        if (!ConvertAnsiText(registered, wide, TEXT_SIZE) ||
            !FormKavoServiceFile((char16_t*)file, TEXT_SIZE, (const char16_t*)wide) ||
            !ConvertToAnsiText(file, path, sizeof path)) {
            Say(kCommandNotKavo, Run.Name);
            Say(kCommandRuns, registered);
            return kExitRefused;
        }
        SetProgramPaths(path);
    } else if (owner == kUnreadableService) {
        Say(kCommandNotKavo, Run.Name);
        return kExitRefused;
    }
    // Its kavo.ini gives the bound its stop is waited for.
    LoadSettings();
    CopyText(ProgramContext.Config.serviceName, sizeof ProgramContext.Config.serviceName, Run.Name);
    if (!RemoveService()) {
        SayStepFailed("DeleteService", GetLastError());
        return kExitFailed;
    }
    Say(kCommandRemoved, Run.Name);
    return kExitDone;
}

int RunCommandLine(int* exitCode)
{
    static CommandLine command;
    ParseCommandLine((const char16_t*)GetCommandLineW(), &command);
    if (command.verb == kCommandNone)
        return 0;
    Run.Own = CreateFileA(ProgramContext.ModulePath, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    Run.OwnError = GetLastError();
    OpenCommandOutput();
    if (command.fault == kFaultUsage || command.verb == kCommandHelp) {
        Say(kCommandUsage, NULL);
        *exitCode = command.fault == kFaultUsage ? kExitUsage : kExitDone;
    } else if (command.fault != kFaultNone) {
        SayFault(&command);
        *exitCode = kExitRefused;
    } else {
        *exitCode = command.verb == kCommandInstall ? Install(&command) : Uninstall(&command);
    }
    CloseCommandOutput();
    if (Run.Own != INVALID_HANDLE_VALUE)
        CloseHandle(Run.Own);
    return 1;
}
