#include "dialog/dialog.h"

#include <commdlg.h>
#include <shellapi.h>
#include <string.h>

#include "dialog/test_launch.h"
#include "entry/code_page.h"
#include "entry/context.h"
#include "entry/display.h"
#include "entry/load_proc.h"
#include "host/launch.h"
#include "host/program_checks.h"
#include "host/write_access.h"
#include "resources/messages.h"
#include "resources/resource.h"
#include "scm/scm.h"
#include "text/sjis_path.h"
#include "text/text.h"

// Drag and drop (shell32) and the open-file dialog (comdlg32) serve the dialog
// alone. Their DLLs, and the many more they pull in, are loaded from the system
// directory when the dialog opens, so that a service process never maps them.
// A function that could not be loaded stays NULL: Browse then does nothing, or
// drops are not accepted.
static struct {
    HMODULE Shell;
    HMODULE CommonDialogs;
    void(WINAPI* DragAcceptFiles)(HWND, BOOL);
    UINT(WINAPI* DragQueryFileW)(HDROP, UINT, LPWSTR, UINT);
    void(WINAPI* DragFinish)(HDROP);
    BOOL(WINAPI* GetOpenFileNameW)(LPOPENFILENAMEW);
} DialogLibraries;

static void LoadDialogLibraries()
{
    DialogLibraries.Shell = LoadSystemLibrary("shell32.dll");
    DialogLibraries.CommonDialogs = LoadSystemLibrary("comdlg32.dll");
    LoadProc(&DialogLibraries.DragAcceptFiles, DialogLibraries.Shell, "DragAcceptFiles");
    LoadProc(&DialogLibraries.DragQueryFileW, DialogLibraries.Shell, "DragQueryFileW");
    LoadProc(&DialogLibraries.DragFinish, DialogLibraries.Shell, "DragFinish");
    LoadProc(&DialogLibraries.GetOpenFileNameW, DialogLibraries.CommonDialogs, "GetOpenFileNameW");
}

static void FreeDialogLibraries()
{
    if (DialogLibraries.CommonDialogs)
        FreeLibrary(DialogLibraries.CommonDialogs);
    if (DialogLibraries.Shell)
        FreeLibrary(DialogLibraries.Shell);
    ZeroMemory(&DialogLibraries, sizeof DialogLibraries);
}

// The fields that show a text of kavo.ini, with its key.
static const struct {
    int Id;
    const char* Key;
} kTextFields[] = {{IDC_PROGRAM, "exe"}, {IDC_OPTIONS, "option"}, {IDC_SERVICE_NAME, "name"}};
enum { TEXT_FIELD_COUNT = sizeof kTextFields / sizeof kTextFields[0] };

// The values of kavo.ini that kavo could not read as they are (bytes that the
// ANSI code page does not hold, from a file saved under another), with what
// their field showed instead: OK must not save that over the value.
static struct {
    int IsUnreadable[TEXT_FIELD_COUNT];
    char Shown[TEXT_FIELD_COUNT][TEXT_SIZE];
} UnreadableValues;

// The controls that a registered service locks, in the order they unlock.
static const int kEditableControls[] = {IDC_PROGRAM, IDC_OPTIONS, IDC_SERVICE_NAME, IDC_EXIT_METHOD, IDC_BROWSE};

// A setting is one line of kavo.ini: text pasted with a line break keeps only
// its first line, as a one-line field would show it.
static void ReadControlText(HWND dialog, int id, char* buffer, int size)
{
    buffer[0] = '\0';
    GetWindowTextA(GetDlgItem(dialog, id), buffer, size);
    for (char* p = buffer; *p; ++p)
        if (*p == '\r' || *p == '\n') {
            *p = '\0';
            break;
        }
}

static int IsProgramFile(const char* path)
{
    return path[0] != '\0' && lstrcmpiA(GetExtension(path), "exe") == 0;
}

static void EnableEditing(HWND dialog, BOOL enable)
{
    for (int id : kEditableControls)
        EnableWindow(GetDlgItem(dialog, id), enable);
}

// A program path must be a text of the code page as it is. An option or a
// name may hold '?' and '*' of its own, judged as any other letter: there a
// value read on a code page other than its own is told only by the bytes
// (on 65001, U+FFFD).
static void FindUnreadableValues(HWND dialog)
{
    const ServiceConfig& config = ProgramContext.Config;
    const char* values[TEXT_FIELD_COUNT] = {config.programPath, config.options, config.serviceName};
    for (int i = 0; i < TEXT_FIELD_COUNT; ++i) {
        ReadControlText(dialog, kTextFields[i].Id, UnreadableValues.Shown[i], sizeof UnreadableValues.Shown[i]);
        char judged[TEXT_SIZE];
        CopyText(judged, sizeof judged, values[i]);
        for (char* letter = judged; kTextFields[i].Id != IDC_PROGRAM && *letter; ++letter)
            if (*letter == '?' || *letter == '*')
                *letter = '_';
        UnreadableValues.IsUnreadable[i] = !IsValidAnsiText(judged);
    }
}

// 1, after saying so, when a field still shows what stands for a value it
// could not read.
static int RefuseUnreadableValues(HWND dialog)
{
    for (int i = 0; i < TEXT_FIELD_COUNT; ++i) {
        char shown[TEXT_SIZE];
        ReadControlText(dialog, kTextFields[i].Id, shown, sizeof shown);
        if (UnreadableValues.IsUnreadable[i] && strcmp(shown, UnreadableValues.Shown[i]) == 0) {
            const TextInsertion key = {kTextFields[i].Key, NULL};
            ShowFormattedMessage(dialog, kTextValueUnreadable, &key, 1, kCaptionError, MB_OK);
            return 1;
        }
    }
    return 0;
}

static void InitDialog(HWND dialog)
{
    const ServiceConfig& config = ProgramContext.Config;
    HICON icon = LoadIconA(ProgramContext.InstanceHandle, MAKEINTRESOURCEA(IDI_APP));
    if (icon) {
        SendMessageA(dialog, WM_SETICON, ICON_SMALL, (LPARAM)icon);
        SendMessageA(dialog, WM_SETICON, ICON_BIG, (LPARAM)icon);
    }
    SetWindowTextA(GetDlgItem(dialog, IDC_PROGRAM), config.programPath);
    SetWindowTextA(GetDlgItem(dialog, IDC_OPTIONS), config.options);
    SetWindowTextA(GetDlgItem(dialog, IDC_SERVICE_NAME), config.serviceName);
    FindUnreadableValues(dialog);
    HWND list = GetDlgItem(dialog, IDC_EXIT_METHOD);
    SendMessageA(list, CB_ADDSTRING, 0, (LPARAM)kExitMethodClose);
    SendMessageA(list, CB_ADDSTRING, 0, (LPARAM)kExitMethodSysCommand);
    // A value outside the list leaves it without a selection.
    SendMessageA(list, CB_SETCURSEL, (WPARAM)config.exitMethod, 0);
    EnableEditing(dialog, !ProgramContext.IsRegistered);
    if (ProgramContext.IsRegistered)
        SetKavoWindowText(GetDlgItem(dialog, IDC_TEST_DELETE), kButtonRemove);
}

// The message for a name whose service kavo leaves alone: another file's
// service (named by its registered path), or one whose registration may not
// be read. 1 when the name's service is such a one and the message was shown.
static int ShowServiceNotOurs(HWND dialog, ServiceOwner owner, const char* name, const char* otherPath,
                              const char* otherText, const char* unreadableText)
{
    const char* format = owner == kOtherService ? otherText : owner == kUnreadableService ? unreadableText : NULL;
    if (!format)
        return 0;
    const TextInsertion insertions[] = {{name, NULL}, {otherPath, NULL}};
    ShowFormattedMessage(dialog, format, insertions, 2, kCaptionKavo, MB_OK);
    return 1;
}

// A question whose Yes starts or registers something others may change:
// No is the default button, so that Enter goes no further.
static const UINT kAskNoAsDefault = MB_YESNO | MB_DEFBUTTON2;

int AskAboutWritablePath(HWND dialog, const char* format, const char* path, const char* account, const char* note)
{
    // Room for the longest path and account (the note fits in the account's room).
    static_assert(sizeof kTextWritableByOthers + 2 * TEXT_SIZE <= MESSAGE_SIZE &&
                      sizeof kTextTestWritableByOthers + 2 * TEXT_SIZE <= MESSAGE_SIZE,
                  "the message must fit its buffer");
    const TextInsertion insertions[] = {{path, NULL}, {account, note}};
    return ShowFormattedMessage(dialog, format, insertions, 2, kCaptionKavo, kAskNoAsDefault) == IDYES;
}

int AskAboutNotLocalPath(HWND dialog, const char* format, const char* path)
{
    const TextInsertion insertion = {path, NULL};
    return ShowFormattedMessage(dialog, format, &insertion, 1, kCaptionKavo, kAskNoAsDefault) == IDYES;
}

void ShowScriptRefused(HWND dialog, const char* path)
{
    const TextInsertion insertion = {path, NULL};
    ShowFormattedMessage(dialog, kTextScriptRefused, &insertion, 1, kCaptionError, MB_OK);
}

// Refuses a batch file; names the first file the service would depend on that
// lies on a share or a removable drive, then the first file or folder that
// someone other than administrators may change, and who, and asks whether to
// save all the same. 1 when there is none or each answer is Yes.
static int AcceptProgramAndPaths(HWND dialog)
{
    const ServiceConfig& config = ProgramContext.Config;
    HeldProgram launch;
    char finalPath[TEXT_SIZE];
    int finalPathRead = ReadFinalPathOfLaunch(&launch, config.programPath, config.options, finalPath, sizeof finalPath);
    char path[TEXT_SIZE];
    char account[TEXT_SIZE];
    const char* note;
    PlaceFinding place = CheckProgramPlace(&launch, finalPath, 1, config.anyDrive, path, sizeof path);
    if (place == kPlaceScript) {
        ShowScriptRefused(dialog, path);
        return 0;
    }
    if (place == kPlaceNotLocal && !AskAboutNotLocalPath(dialog, kTextNotLocalDrive, path))
        return 0;
    return !FindPathWritableByOthers(launch.file, finalPathRead < 0 ? NULL : finalPath, path, sizeof path,
                                     account, sizeof account, &note) ||
           AskAboutWritablePath(dialog, kTextWritableByOthers, path, account, note);
}

// Validates, checks the name's service and what others may change, saves,
// offers registration and then the start; the dialog closes whatever the
// answers, but stays open after a validation message, a value of kavo.ini it
// could not read and would save over, a name that another service holds, a No
// to the warning, or a save that failed, so that nothing is registered with
// settings that were not kept.
static void OnOk(HWND dialog)
{
    ServiceConfig& config = ProgramContext.Config;
    if (ProgramContext.IsRegistered) {
        DestroyWindow(dialog);
        return;
    }
    if (RefuseUnreadableValues(dialog))
        return;
    ReadControlText(dialog, IDC_SERVICE_NAME, config.serviceName, sizeof config.serviceName);
    if (config.serviceName[0] == '\0') {
        ShowMessage(dialog, kTextSetServiceName, kCaptionError, MB_OK);
        return;
    }
    ReadControlText(dialog, IDC_PROGRAM, config.programPath, sizeof config.programPath);
    if (!IsProgramFile(config.programPath)) {
        ShowMessage(dialog, kTextSetProgramName, kCaptionError, MB_OK);
        return;
    }
    ReadControlText(dialog, IDC_OPTIONS, config.options, sizeof config.options);
    config.exitMethod = (ExitMethod)SendMessageA(GetDlgItem(dialog, IDC_EXIT_METHOD), CB_GETCURSEL, 0, 0);
    // Asked now, not at start-up: the name may have been typed since.
    char otherPath[TEXT_SIZE];
    ServiceOwner owner = FindServiceOwner(config.serviceName, otherPath, sizeof otherPath);
    if (ShowServiceNotOurs(dialog, owner, config.serviceName, otherPath, kTextOtherServiceAtOk,
                           kTextUnreadableServiceAtOk))
        return;
    if (!AcceptProgramAndPaths(dialog))
        return;
    if (!SaveSettings()) {
        ShowMessage(dialog, kTextSaveFailed, kCaptionKavo, MB_OK);
        return;
    }

    if (ShowMessage(dialog, kTextAskRegister, kCaptionKavo, MB_YESNO) == IDYES) {
        if (RegisterAsService(SERVICE_DEMAND_START)) {
            if (!SetRestartOnFailure())
                ShowMessage(dialog, kTextRestartNotSet, kCaptionKavo, MB_OK);
            if (ShowMessage(dialog, kTextAskStart, kCaptionKavo, MB_YESNO) == IDYES)
                StartRegisteredService();
        } else {
            ShowMessage(dialog, kTextRegisterFailed, kCaptionKavo, MB_OK);
        }
    }
    DestroyWindow(dialog);
}

// A file chosen by Browse or dropped, named as the system has it. The dialog
// and kavo.ini hold names in the ANSI code page: a name it cannot hold as it
// is would come back as '?' or a look-alike, another file or none, and is
// refused.
static void ApplyChosenFile(HWND dialog, const WCHAR* path)
{
    char ansiPath[TEXT_SIZE];
    if (path[0] != 0 && !ConvertToAnsiText(path, ansiPath, sizeof ansiPath)) {
        ShowMessage(dialog, kTextNameNotInCodePage, kCaptionError, MB_OK);
        return;
    }
    ApplyChosenProgram(dialog, path[0] != 0 ? ansiPath : "");
}

static void OnBrowse(HWND dialog)
{
    WCHAR path[TEXT_SIZE] = L"";
    if (!DialogLibraries.GetOpenFileNameW)
        return;
    WCHAR title[TEXT_SIZE];
    WCHAR filter[TEXT_SIZE];
    ConvertKavoText(kBrowseTitle, title, TEXT_SIZE);
    ConvertKavoTextList(kBrowseFilter, sizeof kBrowseFilter, filter, TEXT_SIZE);
    OPENFILENAMEW chooser;
    ZeroMemory(&chooser, sizeof chooser);
    // The size of the original structure, which every version of the open-file
    // dialog accepts.
    chooser.lStructSize = OPENFILENAME_SIZE_VERSION_400W;
    chooser.hwndOwner = dialog;
    chooser.lpstrFilter = filter;
    chooser.lpstrFile = path;
    chooser.nMaxFile = TEXT_SIZE;
    chooser.lpstrTitle = title;
    chooser.Flags = OFN_FILEMUSTEXIST | OFN_NOCHANGEDIR | OFN_HIDEREADONLY;
    if (DialogLibraries.GetOpenFileNameW(&chooser))
        ApplyChosenFile(dialog, path);
}

static void OnTestStart(HWND dialog)
{
    char programPath[TEXT_SIZE];
    char options[TEXT_SIZE];
    ReadControlText(dialog, IDC_PROGRAM, programPath, sizeof programPath);
    ReadControlText(dialog, IDC_OPTIONS, options, sizeof options);
    ExitMethod exitMethod = (ExitMethod)SendMessageA(GetDlgItem(dialog, IDC_EXIT_METHOD), CB_GETCURSEL, 0, 0);
    TestLaunch(dialog, programPath, options, exitMethod);
}

static void OnRemove(HWND dialog)
{
    if (ShowMessage(dialog, kTextAskRemove, kCaptionKavo, MB_YESNO) != IDYES)
        return;
    if (!RemoveService()) {
        ShowMessage(dialog, kTextRemoveFailed, kCaptionKavo, MB_OK);
        return;
    }
    ShowMessage(dialog, kTextRemoved, kCaptionKavo, MB_OK);
    ProgramContext.IsRegistered = 0;
    EnableEditing(dialog, TRUE);
    SetKavoWindowText(GetDlgItem(dialog, IDC_TEST_DELETE), kButtonTestStart);
}

static void OnDropFiles(HWND dialog, HDROP drop)
{
    WCHAR path[TEXT_SIZE] = L"";
    if (!DialogLibraries.DragQueryFileW || !DialogLibraries.DragFinish)
        return;
    if (!DialogLibraries.DragQueryFileW(drop, 0, path, TEXT_SIZE))
        path[0] = 0;
    DialogLibraries.DragFinish(drop);
    if (!ProgramContext.IsRegistered)
        ApplyChosenFile(dialog, path);
    SetForegroundWindow(dialog);
}

INT_PTR CALLBACK SettingsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        InitDialog(dialog);
        break;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK:
            OnOk(dialog);
            break;
        case IDCANCEL:
            DestroyWindow(dialog);
            break;
        case IDC_BROWSE:
            OnBrowse(dialog);
            break;
        case IDC_TEST_DELETE:
            if (ProgramContext.IsRegistered)
                OnRemove(dialog);
            else
                OnTestStart(dialog);
            break;
        }
        break;
    case WM_DROPFILES:
        OnDropFiles(dialog, (HDROP)wParam);
        break;
    case WM_DESTROY:
        PostQuitMessage(0);
        break;
    }
    return 0;
}

void ApplyChosenProgram(HWND dialog, const char* path)
{
    if (!IsProgramFile(path)) {
        ShowMessage(dialog, kTextOnlyPrograms, kCaptionError, MB_OK);
        return;
    }
    char serviceName[TEXT_SIZE];
    GetBaseNameNoExt(serviceName, sizeof serviceName, path);
    SetWindowTextA(GetDlgItem(dialog, IDC_PROGRAM), path);
    SetWindowTextA(GetDlgItem(dialog, IDC_SERVICE_NAME), serviceName);
}

// The system's text for an error, on one line; empty when it has none.
static void FormSystemErrorText(DWORD error, char* text, DWORD size)
{
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS |
                                      FORMAT_MESSAGE_MAX_WIDTH_MASK,
                                  NULL, error, 0, text, size, NULL);
    if (length >= size)
        length = 0;
    while (length > 0 && (text[length - 1] == ' ' || text[length - 1] == '\r' || text[length - 1] == '\n'))
        --length;
    text[length] = '\0';
}

// When the dialog has closed: the service that ran when it opened is started
// again, once its stop has ended. The start goes to the name the settings hold
// now (OK may have changed it since the start-up probe), and to nothing but
// this file's own service. A start that fails is said, with the system's error.
static void StartServiceAgain()
{
    if (!ProgramContext.WasRunning)
        return;
    DWORD error = StartServiceOnceStopped();
    if (error == NO_ERROR)
        return;
    char reason[MESSAGE_SIZE / 2];
    FormSystemErrorText(error, reason, sizeof reason);
    char number[16];
    wsprintfA(number, "%lu", error);
    static_assert(sizeof kTextStartFailed + sizeof number + sizeof reason <= MESSAGE_SIZE,
                  "the message must fit its buffer");
    const TextInsertion insertions[] = {{number, NULL}, {reason, NULL}};
    ShowFormattedMessage(GetDesktopWindow(), kTextStartFailed, insertions, 2, kCaptionKavo, MB_OK);
}

void RunSettingsDialog()
{
    LoadDialogLibraries();
    HWND dialog = CreateDialogParamA(ProgramContext.InstanceHandle, MAKEINTRESOURCEA(IDD_SETTINGS),
                                     GetDesktopWindow(), SettingsDialogProc, 0);
    if (!dialog) {
        // Without a window there is nothing to wait for: do what closing the
        // dialog would have done.
        FreeDialogLibraries();
        StartServiceAgain();
        return;
    }
    ShowWindow(dialog, SW_SHOW);
    if (DialogLibraries.DragAcceptFiles && DialogLibraries.DragQueryFileW && DialogLibraries.DragFinish)
        DialogLibraries.DragAcceptFiles(dialog, TRUE);
    // Said over the open dialog, whose name field it is about.
    ShowServiceNotOurs(dialog, ProgramContext.NameOwner, ProgramContext.Config.serviceName,
                       ProgramContext.NameOwnerPath, kTextOtherServiceAtOpen, kTextUnreadableServiceAtOpen);

    MSG message;
    // GetMessageA answers -1 on an error; the loop ends then as well, rather
    // than spinning on a message that never comes.
    while (GetMessageA(&message, NULL, 0, 0) > 0) {
        if (IsDialogMessageA(dialog, &message))
            continue;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    FreeDialogLibraries();
    StartServiceAgain();
}
