// kavo's dialog run inside this process, on a thread of its own, for what
// cannot be done across processes: a dropped file (the HDROP is memory of the
// receiving process), the icons (WM_GETICON answers nothing across processes),
// and a dialog that cannot be created. This program carries kavo's resources.
#include <gtest/gtest.h>
#include <shlobj.h>
#include <stdlib.h>
#include <string.h>

#include "dialog/dialog.h"
#include "dialog_texts.h"
#include "entry/code_page.h"
#include "entry/context.h"
#include "entry/display.h"
#include "scm/scm.h"
#include "resources/resource.h"
#include "support/dialog_driver.h"

namespace {

// RunSettingsDialog on a thread, with kavo's state set as the start-up probe
// would have left it.
struct DialogThread {
    HANDLE thread = NULL;
    HWND window = NULL;

    static DWORD WINAPI Run(void*)
    {
        RunSettingsDialog();
        return 0;
    }

    bool StartAt(Where where, HINSTANCE resources, int isRegistered, const char* program, const char* service,
                 bool waitForWindow = true, int wasRunning = 0)
    {
        // Wine's loader can deadlock when the dialog's thread loads a DLL while
        // this thread calls into user32: load here first what the dialog loads
        // (shell32, comdlg32, and the common controls its manifest names).
        static const HMODULE preloaded[] = {LoadLibraryA("shell32.dll"), LoadLibraryA("comdlg32.dll"),
                                            LoadLibraryA("comctl32.dll")};
        (void)preloaded;
        ProgramContext.InstanceHandle = resources;
        ProgramContext.IsRegistered = isRegistered;
        ProgramContext.WasRunning = wasRunning;
        strcpy(ProgramContext.Config.programPath, program);
        strcpy(ProgramContext.Config.options, "");
        strcpy(ProgramContext.Config.serviceName, service);
        ProgramContext.Config.exitMethod = 0;
        DWORD threadId = 0;
        thread = CreateThread(NULL, 0, Run, NULL, 0, &threadId);
        if (!thread) {
            ADD_FAILURE_AT(where.file, where.line) << "cannot start the dialog's thread";
            return false;
        }
        if (!waitForWindow)
            return true;
        bool found = PollUntil(
            [&] {
                for (HWND candidate : WindowsOfProcess(GetCurrentProcessId(), "#32770")) {
                    if (GetWindowThreadProcessId(candidate, NULL) == threadId && IsWindowVisible(candidate))
                        window = candidate;
                }
                return window != NULL;
            },
            kWindowDeadline);
        if (!found)
            ADD_FAILURE_AT(where.file, where.line) << "the dialog did not appear";
        return found;
    }

    // True when the dialog's loop has ended and its thread returned.
    bool WaitForEnd(DWORD deadlineMs = kExitDeadline)
    {
        return WaitForSingleObject(thread, deadlineMs) == WAIT_OBJECT_0;
    }

    ~DialogThread()
    {
        if (!thread)
            return;
        if (window && IsWindow(window))
            PostMessageA(window, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        if (!WaitForEnd())
            ADD_FAILURE() << "the dialog's thread did not end";
        CloseHandle(thread);
    }
};

// A drop of files as the shell makes it: DROPFILES and a double-terminated list.
HDROP MakeDrop(const std::vector<std::string>& files)
{
    size_t size = sizeof(DROPFILES) + 1;
    for (const std::string& file : files)
        size += file.size() + 1;
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size);
    DROPFILES* drop = (DROPFILES*)GlobalLock(memory);
    drop->pFiles = sizeof(DROPFILES);
    drop->fWide = FALSE;
    char* name = (char*)(drop + 1);
    for (const std::string& file : files) {
        memcpy(name, file.c_str(), file.size() + 1);
        name += file.size() + 1;
    }
    GlobalUnlock(memory);
    return (HDROP)memory;
}

TEST(DialogDrop, FirstDroppedFile)
{
    const struct {
        int isRegistered;
        std::vector<std::string> files;
        const char* message;   // NULL: none
        const char* program;   // the fields afterwards
        const char* service;
    } cases[] = {
        {0, {"C:\\Tools\\MyServer.exe", "C:\\Other\\Second.exe"}, NULL, "C:\\Tools\\MyServer.exe", "MyServer"},
        {0, {"D:setup.beta.EXE"}, NULL, "D:setup.beta.EXE", "setup"},
        {0, {"C:\\\x95\x5c\\\x95\x5c.exe"}, NULL, "C:\\\x95\x5c\\\x95\x5c.exe", "\x95\x5c"},   // 表
        // Only the first file counts, and it is no program.
        {0, {"C:\\Tools\\readme.txt", "C:\\Tools\\MyServer.exe"}, kOnlyPrograms, "C:\\old.exe", "typed"},
        {0, {"C:\\Tools\\archive.exe.zip"}, kOnlyPrograms, "C:\\old.exe", "typed"},
        // The registered face takes nothing.
        {1, {"C:\\Tools\\MyServer.exe"}, NULL, "C:\\old.exe", "typed"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.files[0] + (c.isRegistered ? " on the registered face" : ""));
        DialogThread dialog;
        ASSERT_TRUE(dialog.StartAt(HERE, GetModuleHandleA(NULL), c.isRegistered, "C:\\old.exe", "typed"));
        HDROP drop = MakeDrop(c.files);
        if (c.message) {
            PostMessageA(dialog.window, WM_DROPFILES, (WPARAM)drop, 0);
            AnswerDialogMessage(GetCurrentProcessId(), dialog.window, "Error", c.message, MB_OK, IDOK);
            ASSERT_TRUE(WaitUntilResponding(dialog.window));
        } else {
            // Sent: it returns when the drop has been handled.
            ASSERT_TRUE(SendWithDeadline(dialog.window, WM_DROPFILES, (WPARAM)drop, 0, NULL));
            EXPECT_EQ(std::vector<HWND>{dialog.window}, WindowsOfProcess(GetCurrentProcessId(), "#32770"));
        }
        EXPECT_EQ(c.program, ControlText(dialog.window, IDC_PROGRAM));
        EXPECT_EQ(c.service, ControlText(dialog.window, IDC_SERVICE_NAME));
        EXPECT_EQ(dialog.window, GetForegroundWindow());
    }
}

// The same, with the names in UTF-16, as the shell drops them on NT.
HDROP MakeWideDrop(const std::wstring& file)
{
    size_t size = sizeof(DROPFILES) + (file.size() + 2) * sizeof(wchar_t);
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size);
    DROPFILES* drop = (DROPFILES*)GlobalLock(memory);
    drop->pFiles = sizeof(DROPFILES);
    drop->fWide = TRUE;
    memcpy(drop + 1, file.c_str(), (file.size() + 1) * sizeof(wchar_t));
    GlobalUnlock(memory);
    return (HDROP)memory;
}

// A dropped name that the system's code page cannot hold as it is would come
// back as '?' or a look-alike: it is refused with a reason and changes nothing.
// The message reads as Japanese on every code page.
TEST(CodePageDialogDrop, NamesTheCodePageCannotHoldAreRefused)
{
    ReadSystemCodePage();
    ChooseTextDisplay();
    const UINT codePage = GetACP();
    const struct {
        std::wstring name;
        bool refused;
    } cases[] = {
        {CodePageLetters(), false},
        // The yen sign becomes '\' on 932 and 'Y' on 936 by best fit.
        {L"yen\u00a5", codePage == 932 || codePage == 936},
        {L"thai\u0e01", codePage != 65001},
        // A lone surrogate, which NTFS allows, has no UTF-8 either.
        {L"lone\xd800", true},
    };
    for (const auto& c : cases) {
        std::wstring file = L"C:\\Tools\\" + c.name + L".exe";
        SCOPED_TRACE(ToCodePage(CP_UTF8, file));
        DialogThread dialog;
        ASSERT_TRUE(dialog.StartAt(HERE, GetModuleHandleA(NULL), 0, "C:\\old.exe", "typed"));
        HDROP drop = MakeWideDrop(file);
        if (!c.refused) {
            // Sent: it returns when the drop has been handled.
            ASSERT_TRUE(SendWithDeadline(dialog.window, WM_DROPFILES, (WPARAM)drop, 0, NULL));
        } else {
            PostMessageA(dialog.window, WM_DROPFILES, (WPARAM)drop, 0);
            MessageBoxView box = WaitForMessageBoxBesides(GetCurrentProcessId(), dialog.window);
            EXPECT_TRUE(box.wideCaption == L"Error" && box.wideText == FromCodePage(932, kNameNotInCodePage))
                << Escaped(ToCodePage(CP_UTF8, box.wideText));
            if (box.window)
                AnswerMessageBox(box, IDOK);
            ASSERT_TRUE(WaitUntilResponding(dialog.window));
        }
        EXPECT_EQ(c.refused ? "C:\\old.exe" : ToCodePage(CP_ACP, file), ControlText(dialog.window, IDC_PROGRAM));
        EXPECT_EQ(c.refused ? "typed" : ToCodePage(CP_ACP, c.name), ControlText(dialog.window, IDC_SERVICE_NAME));
    }
}

TEST(DialogInProcess, TheIconIsSetSmallAndBig)
{
    DialogThread dialog;
    ASSERT_TRUE(dialog.StartAt(HERE, GetModuleHandleA(NULL), 0, "", ""));
    HICON icon = LoadIconA(GetModuleHandleA(NULL), MAKEINTRESOURCEA(IDI_APP));
    ASSERT_TRUE(icon);
    EXPECT_EQ((LRESULT)icon, SendMessageA(dialog.window, WM_GETICON, ICON_SMALL, 0));
    EXPECT_EQ((LRESULT)icon, SendMessageA(dialog.window, WM_GETICON, ICON_BIG, 0));
}

// A dialog that cannot be created does not leave the process waiting without
// a window (the start request it then makes is tested with a service).
TEST(DialogInProcess, WithoutATemplateTheDialogReturns)
{
    DialogThread dialog;
    // kernel32 has no dialog 101.
    ASSERT_TRUE(dialog.StartAt(HERE, GetModuleHandleA("kernel32.dll"), 0, "", "", false));
    EXPECT_TRUE(dialog.WaitForEnd());
    EXPECT_TRUE(WindowsOfProcess(GetCurrentProcessId(), "#32770").empty());
}

// ... and one that the start-up probe found running is started again.
TEST(DialogInProcessService, WithoutATemplateTheServiceIsStartedAgain)
{
    ServiceGuard guard("kavo_dlg_no_template");
    std::string dir = MakeWorkDir("dialog_no_template");
    std::string log = dir + "\\child.log";
    ASSERT_TRUE(CopyFileTo(KavoExePath(), dir + "\\kavo.exe"));
    ASSERT_TRUE(WriteFileBytes(dir + "\\kavo.ini", KavoIni(HostedChildPath(), log, guard.name, "0")));
    SetProgramPaths((dir + "\\kavo.exe").c_str());
    strcpy(ProgramContext.Config.serviceName, guard.name.c_str());
    ASSERT_EQ(1, RegisterAsService());

    DialogThread dialog;
    ASSERT_TRUE(dialog.StartAt(HERE, GetModuleHandleA("kernel32.dll"), 1, "", guard.name.c_str(), false, 1));
    EXPECT_TRUE(dialog.WaitForEnd());
    EXPECT_TRUE(WaitForServiceState(guard.name, SERVICE_RUNNING));
    EXPECT_NE("", WaitForLogLine(log, "ready"));
    DeleteServiceNow(guard.name);
    for (const std::string& line : LogLinesStartingWith(log, "start "))
        EndProcessById(strtoul(line.c_str() + 6, NULL, 10));
}

}  // namespace
