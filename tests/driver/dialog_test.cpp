// kavo's configuration dialog as a person uses it: kavo.exe started from its own
// folder, its dialog read and worked from this process. Nothing here registers
// a service (see dialog_service_test.cpp).
#include <gtest/gtest.h>

#include <algorithm>

#include "dialog_texts.h"
#include "resources/resource.h"
#include "support/dialog_driver.h"

namespace {

const WORD kJapanese = MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT);

// ---- The template, read back from the built kavo.exe ----

struct TemplateControl {
    DWORD style = 0, exStyle = 0;
    short x = 0, y = 0, width = 0, height = 0;
    WORD id = 0;
    std::wstring className;   // the predefined classes by name
    std::wstring text;
};

struct DialogTemplateView {
    DWORD style = 0, exStyle = 0;
    short x = 0, y = 0, width = 0, height = 0;
    std::wstring menu, className, caption, fontName;
    WORD pointSize = 0;
    std::vector<TemplateControl> controls;
};

// A name or an ordinal of a classic template; ordinals as "#n", the
// predefined control classes by their names.
const WORD* ReadNameOrOrdinal(const WORD* p, std::wstring* out)
{
    if (*p == 0xFFFF) {
        WORD ordinal = p[1];
        const wchar_t* known[] = {L"BUTTON", L"EDIT", L"STATIC", L"LISTBOX", L"SCROLLBAR", L"COMBOBOX"};
        if (ordinal >= 0x80 && ordinal <= 0x85)
            *out = known[ordinal - 0x80];
        else
            *out = L"#" + std::to_wstring(ordinal);
        return p + 2;
    }
    out->clear();
    while (*p)
        *out += (wchar_t)*p++;
    return p + 1;
}

const WORD* AlignDword(const WORD* p, const BYTE* base)
{
    size_t offset = (const BYTE*)p - base;
    return (const WORD*)(base + ((offset + 3) & ~(size_t)3));
}

DialogTemplateView ParseTemplate(const std::string& bytes)
{
    DialogTemplateView view;
    const BYTE* base = (const BYTE*)bytes.data();
    const DLGTEMPLATE* head = (const DLGTEMPLATE*)base;
    view.style = head->style;
    view.exStyle = head->dwExtendedStyle;
    view.x = head->x;
    view.y = head->y;
    view.width = head->cx;
    view.height = head->cy;
    const WORD* p = (const WORD*)(head + 1);
    p = ReadNameOrOrdinal(p, &view.menu);
    p = ReadNameOrOrdinal(p, &view.className);
    p = ReadNameOrOrdinal(p, &view.caption);
    if (view.style & DS_SETFONT) {
        view.pointSize = *p++;
        p = ReadNameOrOrdinal(p, &view.fontName);
    }
    for (WORD i = 0; i < head->cdit; ++i) {
        p = AlignDword(p, base);
        if ((const BYTE*)p + sizeof(DLGITEMTEMPLATE) > base + bytes.size())
            break;
        const DLGITEMTEMPLATE* item = (const DLGITEMTEMPLATE*)p;
        TemplateControl control;
        control.style = item->style;
        control.exStyle = item->dwExtendedStyle;
        control.x = item->x;
        control.y = item->y;
        control.width = item->cx;
        control.height = item->cy;
        control.id = item->id;
        p = (const WORD*)(item + 1);
        p = ReadNameOrOrdinal(p, &control.className);
        p = ReadNameOrOrdinal(p, &control.text);
        WORD extra = *p++;
        p = (const WORD*)((const BYTE*)p + extra);
        view.controls.push_back(control);
    }
    return view;
}

TEST(DialogTemplate, MatchesTheLayout)
{
    HMODULE exe = LoadLibraryExA(ExaminedExePath().c_str(), NULL, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_TRUE(exe);
    HRSRC found = FindResourceExA(exe, RT_DIALOG, MAKEINTRESOURCEA(101), kJapanese);
    ASSERT_TRUE(found) << "no Japanese dialog template 101";
    std::string bytes((const char*)LockResource(LoadResource(exe, found)), SizeofResource(exe, found));
    FreeLibrary(exe);
    ASSERT_GE(bytes.size(), sizeof(DLGTEMPLATE));
    ASSERT_NE(0xFFFF0001u, *(const DWORD*)bytes.data()) << "an extended template, not a classic one";

    DialogTemplateView view = ParseTemplate(bytes);
    EXPECT_EQ((DWORD)(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_CENTER | DS_SETFONT), view.style);
    EXPECT_EQ(0u, view.exStyle);
    EXPECT_EQ(0, view.x);
    EXPECT_EQ(0, view.y);
    EXPECT_EQ(178, view.width);
    EXPECT_EQ(130, view.height);
    EXPECT_EQ(L"", view.menu);
    EXPECT_EQ(L"", view.className);
    EXPECT_EQ(L"kavo \u8d77\u52d5\u30d7\u30ed\u30b0\u30e9\u30e0\u8a2d\u5b9a", view.caption);
    EXPECT_EQ(9, view.pointSize);
    EXPECT_EQ(L"\uff2d\uff33 \uff30\u30b4\u30b7\u30c3\u30af", view.fontName);   // ＭＳ Ｐゴシック

    const DWORD child = WS_CHILD | WS_VISIBLE;
    const DWORD label = child | WS_GROUP;
    const DWORD edit = child | WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL;
    const DWORD button = child | WS_TABSTOP;
    const struct {
        const wchar_t* className;
        WORD id;
        const wchar_t* text;
        short x, y, width, height;
        DWORD style;
    } expected[] = {
        {L"STATIC", 0xFFFF, L"\u30d7\u30ed\u30b0\u30e9\u30e0\u540d(&N)", 3, 3, 51, 8, label},
        {L"EDIT", IDC_PROGRAM, L"", 3, 12, 134, 13, edit},
        {L"BUTTON", IDC_BROWSE, L"\u53c2\u7167...", 140, 11, 34, 14, button},
        {L"STATIC", 0xFFFF, L"\u8d77\u52d5\u6642\u30aa\u30d7\u30b7\u30e7\u30f3(&O)", 3, 29, 65, 8, label},
        {L"EDIT", IDC_OPTIONS, L"", 3, 38, 134, 13, edit},
        {L"STATIC", 0xFFFF, L"\u30b5\u30fc\u30d3\u30b9\u540d(&S)", 3, 55, 106, 8, label},
        {L"EDIT", IDC_SERVICE_NAME, L"", 3, 64, 134, 13, edit},
        {L"STATIC", 0xFFFF, L"\u7d42\u4e86\u65b9\u6cd5(&E)", 3, 81, 40, 8, label},
        {L"COMBOBOX", IDC_EXIT_METHOD, L"", 3, 90, 134, 41, child | WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST},
        {L"BUTTON", IDOK, L"OK", 90, 111, 40, 14, button | BS_DEFPUSHBUTTON},
        {L"BUTTON", IDCANCEL, L"\uff77\uff6c\uff9d\uff7e\uff99", 134, 111, 40, 14, button},
        {L"BUTTON", IDC_TEST_DELETE, L"\u30c6\u30b9\u30c8\u8d77\u52d5(&T)", 3, 111, 50, 14, button},
    };
    ASSERT_EQ(12u, view.controls.size());
    for (size_t i = 0; i < 12; ++i) {
        SCOPED_TRACE("control " + std::to_string(i + 1));
        const TemplateControl& control = view.controls[i];
        EXPECT_EQ(expected[i].className, control.className);
        EXPECT_EQ(expected[i].id, control.id);
        EXPECT_EQ(expected[i].text, control.text);
        EXPECT_EQ(expected[i].x, control.x);
        EXPECT_EQ(expected[i].y, control.y);
        EXPECT_EQ(expected[i].width, control.width);
        EXPECT_EQ(expected[i].height, control.height);
        EXPECT_EQ(expected[i].style, control.style) << std::hex << control.style;
        EXPECT_EQ(0u, control.exStyle);
    }
    // The ids of resource.h are the ids of the layout.
    EXPECT_EQ(101, IDD_SETTINGS);
    EXPECT_EQ(102, IDI_APP);
}

// ---- The dialog on screen ----

struct ControlView {
    std::string className, text;
    int id;
    bool enabled;
};

// The dialog's controls in z-order (the template's order), as a user sees them.
std::vector<ControlView> Controls(HWND dialog)
{
    std::vector<ControlView> controls;
    for (HWND control = GetWindow(dialog, GW_CHILD); control; control = GetWindow(control, GW_HWNDNEXT)) {
        ControlView view;
        char name[64];
        GetClassNameA(control, name, sizeof name);
        view.className = name;
        char text[512];
        DWORD_PTR length = 0;
        SendWithDeadline(control, WM_GETTEXT, sizeof text, (LPARAM)text, &length);
        view.text.assign(text, length < sizeof text ? length : 0);
        view.id = (short)GetDlgCtrlID(control);
        view.enabled = IsWindowEnabled(control) != 0;
        controls.push_back(view);
    }
    return controls;
}

const std::vector<std::string> kExitMethodItems = {"WM_CLOSE", "WM_SYSCOMMAND/SC_CLOSE"};

// From its own folder kavo opens its dialog, also when that folder is a
// drive's root, which the shell gives as "K:\" and kavo's own path as "K:".
// DLLs placed beside kavo.exe under the names of those the system's DLLs load
// for the dialog are not loaded (the ones from the system folder are), and the
// common controls are version 6, from the side-by-side store.
TEST(Startup, FromItsOwnFolderTheDialogAppears)
{
    const char* planted[] = {"uxtheme.dll", "compstui.dll", "shcore.dll", "winspool.drv"};
    char systemDir[MAX_PATH];
    UINT length = GetSystemDirectoryA(systemDir, sizeof systemDir);
    ASSERT_TRUE(length > 0 && length < sizeof systemDir);
    auto lower = [](std::string text) {
        std::transform(text.begin(), text.end(), text.begin(), ::tolower);
        return text;
    };
    for (bool driveRoot : {false, true}) {
        SCOPED_TRACE(driveRoot ? "a drive's root folder" : "a folder");
        std::string dir = MakeWorkDir(driveRoot ? "startup_drive_root" : "startup_own_folder");
        MappedDrive drive;
        if (driveRoot) {
            ASSERT_TRUE(MapDrive(drive, 'K', dir));
        }
        std::string exe = (driveRoot ? drive.root : dir + "\\") + "kavo.exe";
        ASSERT_TRUE(CopyFileTo(KavoExePath(), exe));
        std::string folder = exe.substr(0, exe.rfind('\\') + 1);
        for (const char* dll : planted)
            ASSERT_TRUE(CopyFileTo(std::string(systemDir) + "\\" + dll, folder + dll));
        Program kavo;
        ASSERT_TRUE(StartProgram(kavo, "\"" + exe + "\"", driveRoot ? drive.root : dir));
        HWND window = WaitForWindow(kavo.id, "#32770", kKavoDialogCaption);
        ASSERT_TRUE(window != NULL);
        EXPECT_EQ(kKavoDialogCaption, WindowText(window)) << Escaped(WindowText(window));
        std::string commonControls;
        for (const std::string& path : ModulesOfProcess(kavo.id)) {
            EXPECT_TRUE(path == lower(exe) || path.find(lower(folder)) != 0) << path;
            if (path.size() > 13 && path.substr(path.size() - 13) == "\\comctl32.dll")
                commonControls = path;
        }
        EXPECT_NE(std::string::npos, commonControls.find("\\winsxs\\")) << commonControls;
        EXPECT_NE(std::string::npos, commonControls.find("common-controls_6595b64144ccf1df_6.")) << commonControls;
        ClickButton(window, IDCANCEL);
        EXPECT_EQ(0u, WaitForExit(kavo));
    }
}

// In a folder whose name ends in a letter of the system's code page (whose
// last byte a fixed lead-byte table would take for the first half of a
// character, swallowing the backslash after it), kavo still knows its own
// folder and opens its dialog.
TEST(CodePageStartup, InAFolderNamedInTheCodePageTheDialogAppears)
{
    std::string dir = MakeWorkDir("startup_" + CodePageLetters());
    ASSERT_TRUE(CopyFileTo(KavoExePath(), dir + "\\kavo.exe"));
    Program kavo;
    ASSERT_TRUE(StartProgram(kavo, "\"" + dir + "\\kavo.exe\"", dir));
    HWND window = WaitForWindow(kavo.id, "#32770", NULL);
    ASSERT_TRUE(window != NULL) << Escaped(dir);
    EXPECT_TRUE(GetDlgItem(window, IDC_PROGRAM) != NULL);
    ClickButton(window, IDCANCEL);
    EXPECT_EQ(0u, WaitForExit(kavo));
}

TEST(Dialog, UnregisteredFace)
{
    const struct {
        const char* ini;
        const char* program;
        const char* options;
        const char* service;
        int selection;
    } cases[] = {
        // No settings file: empty fields and the first exit method.
        {"", "", "", "", 0},
        {"[kavo]\r\nexe=C:\\Tools\\MyServer.exe\r\noption=-quiet \"a b\"\r\nname=MyServer\r\nend=1\r\n",
         "C:\\Tools\\MyServer.exe", "-quiet \"a b\"", "MyServer", 1},
        // Outside the list: nothing selected.
        {"[kavo]\r\nexe=\r\noption=\r\nname=kavo_face_7\r\nend=7\r\n", "", "", "kavo_face_7", -1},
        {"[kavo]\r\nexe=C:\\\x95\x5c\\app.exe\r\nname=\x95\x5c\r\nend=-1\r\n", "C:\\\x95\x5c\\app.exe", "",
         "\x95\x5c", -1},
    };
    int index = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(Escaped(c.ini));
        KavoDialog kavo;
        ASSERT_TRUE(OpenKavoDialog(kavo, "dialog_face_" + std::to_string(index++), c.ini));
        std::vector<ControlView> controls = Controls(kavo.window);
        ASSERT_EQ(12u, controls.size());
        const struct {
            const char* className;
            int id;
            std::string text;
        } expected[] = {
            {"Static", -1, "\x83\x76\x83\x8d\x83\x4f\x83\x89\x83\x80\x96\xbc(&N)"},
            {"Edit", IDC_PROGRAM, c.program},
            {"Button", IDC_BROWSE, "\x8e\x51\x8f\xc6..."},
            {"Static", -1, "\x8b\x4e\x93\xae\x8e\x9e\x83\x49\x83\x76\x83\x56\x83\x87\x83\x93(&O)"},
            {"Edit", IDC_OPTIONS, c.options},
            {"Static", -1, "\x83\x54\x81\x5b\x83\x72\x83\x58\x96\xbc(&S)"},
            {"Edit", IDC_SERVICE_NAME, c.service},
            {"Static", -1, "\x8f\x49\x97\xb9\x95\xfb\x96\x40(&E)"},
            {"ComboBox", IDC_EXIT_METHOD, controls[8].text},
            {"Button", IDOK, "OK"},
            {"Button", IDCANCEL, "\xb7\xac\xdd\xbe\xd9"},
            {"Button", IDC_TEST_DELETE, kTestStartButton},
        };
        for (size_t i = 0; i < 12; ++i) {
            EXPECT_STRCASEEQ(expected[i].className, controls[i].className.c_str()) << i;
            EXPECT_EQ(expected[i].id, controls[i].id) << i;
            EXPECT_EQ(expected[i].text, controls[i].text) << i << " " << Escaped(controls[i].text);
            EXPECT_TRUE(controls[i].enabled) << i;
        }
        EXPECT_EQ(kExitMethodItems, ComboItems(kavo.window, IDC_EXIT_METHOD));
        EXPECT_EQ(c.selection, ComboSelection(kavo.window, IDC_EXIT_METHOD));
        ClickButton(kavo.window, IDCANCEL);
        EXPECT_EQ(0u, WaitForExit(kavo.program));
    }
}

// Every way of closing the dialog without OK saves nothing.
TEST(Dialog, CancelSavesNothing)
{
    const std::string ini = KavoIni("C:\\Tools\\old.exe", "-old", "kavo_cancel_old", "0");
    const struct {
        const char* how;
        UINT message;
        WPARAM wParam;
    } cases[] = {
        {"cancel button", WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED)},
        {"close box", WM_SYSCOMMAND, SC_CLOSE},
        {"Esc", WM_KEYDOWN, VK_ESCAPE},
    };
    int index = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.how);
        KavoDialog kavo;
        ASSERT_TRUE(OpenKavoDialog(kavo, "dialog_cancel_" + std::to_string(index++), ini));
        SetControlText(kavo.window, IDC_PROGRAM, "C:\\Tools\\new.exe");
        SetControlText(kavo.window, IDC_SERVICE_NAME, "kavo_cancel_new");
        SelectComboItem(kavo.window, IDC_EXIT_METHOD, 1);
        HWND target = c.message == WM_KEYDOWN ? GetDlgItem(kavo.window, IDC_OPTIONS) : kavo.window;
        PostMessageA(target, c.message, c.wParam, 0);
        EXPECT_EQ(0u, WaitForExit(kavo.program));
        EXPECT_EQ(ini, ReadFileBytes(kavo.IniPath()));
    }
}

// OK checks the service name first, then the program; after the message the
// dialog stays with what the user typed, and nothing is written.
TEST(Dialog, OkValidation)
{
    KavoDialog kavo;
    ASSERT_TRUE(OpenKavoDialog(kavo, "dialog_validation", ""));
    const struct {
        const char* program;
        const char* service;
        const char* message;
    } cases[] = {
        {"C:\\Tools\\app.exe", "", kSetServiceName},
        {"", "", kSetServiceName},
        {"", "kavo_valid", kSetProgramName},
        {"C:\\Tools\\app.txt", "kavo_valid", kSetProgramName},
        {"C:\\Tools.exe\\app", "kavo_valid", kSetProgramName},
        {"C:\\Tools\\app.exe.", "kavo_valid", kSetProgramName},
        {"C:\\Tools\\app.ex", "kavo_valid", kSetProgramName},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.program) + " / " + c.service);
        SetControlText(kavo.window, IDC_PROGRAM, c.program);
        SetControlText(kavo.window, IDC_OPTIONS, "-x");
        SetControlText(kavo.window, IDC_SERVICE_NAME, c.service);
        ClickButton(kavo.window, IDOK);
        AnswerDialogMessage(kavo.program.id, kavo.window, "Error", c.message, MB_OK, IDOK);
        ASSERT_TRUE(WaitUntilResponding(kavo.window));
        EXPECT_TRUE(IsWindowVisible(kavo.window));
        EXPECT_EQ(c.program, ControlText(kavo.window, IDC_PROGRAM));
        EXPECT_EQ("-x", ControlText(kavo.window, IDC_OPTIONS));
        EXPECT_EQ(c.service, ControlText(kavo.window, IDC_SERVICE_NAME));
        EXPECT_FALSE(FileExists(kavo.IniPath()));
    }
    ClickButton(kavo.window, IDCANCEL);
    EXPECT_EQ(0u, WaitForExit(kavo.program));
    EXPECT_FALSE(FileExists(kavo.IniPath()));
}

// OK with valid fields, "register?" answered No: the five lines are written,
// nothing is registered, the dialog closes.
TEST(Dialog, OkAnsweredNoSavesOnly)
{
    const struct {
        const char* ini;        // before
        const char* program;
        const char* options;
        const char* service;
        int select;             // -2: leave the list as it is
        const char* expected;   // after
        bool enter = false;     // OK by the Enter key rather than the button
    } cases[] = {
        {"", "C:\\Tools\\MyServer.exe", "-quiet", "kavo_no_MyServer", 1,
         "[kavo]\r\nexe=C:\\Tools\\MyServer.exe\r\noption=-quiet\r\nname=kavo_no_MyServer\r\nend=1\r\n"},
        // The whole text counts as the extension when there is no directory.
        {"", "exe", "", "kavo_no_bare", 0, "[kavo]\r\nexe=exe\r\noption=\r\nname=kavo_no_bare\r\nend=0\r\n",
         true},
        {"", "C:\\Tools\\Server.EXE", "a \"b c\"", "kavo no space", -2,
         "[kavo]\r\nexe=C:\\Tools\\Server.EXE\r\noption=a \"b c\"\r\nname=kavo no space\r\nend=0\r\n"},
        // end=7 shows no selection; OK without a choice saves -1.
        {"[kavo]\r\nexe=C:\\a.exe\r\noption=\r\nname=kavo_no_seven\r\nend=7\r\n", "C:\\a.exe", "", "kavo_no_seven",
         -2, "[kavo]\r\nexe=C:\\a.exe\r\noption=\r\nname=kavo_no_seven\r\nend=-1\r\n"},
        // A name the service manager would refuse is only checked for being non-empty.
        {"", "C:\\a.exe", "", "kavo\\slash", 0, "[kavo]\r\nexe=C:\\a.exe\r\noption=\r\nname=kavo\\slash\r\nend=0\r\n"},
    };
    int index = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.service);
        KavoDialog kavo;
        ASSERT_TRUE(OpenKavoDialog(kavo, "dialog_ok_no_" + std::to_string(index++), c.ini));
        SetControlText(kavo.window, IDC_PROGRAM, c.program);
        SetControlText(kavo.window, IDC_OPTIONS, c.options);
        SetControlText(kavo.window, IDC_SERVICE_NAME, c.service);
        if (c.select != -2)
            SelectComboItem(kavo.window, IDC_EXIT_METHOD, c.select);
        if (c.enter)
            PostMessageA(GetDlgItem(kavo.window, IDC_OPTIONS), WM_KEYDOWN, VK_RETURN, 0);
        else
            ClickButton(kavo.window, IDOK);
        AnswerDialogMessage(kavo.program.id, kavo.window, "kavo", kAskRegister, MB_YESNO, IDNO);
        EXPECT_EQ(0u, WaitForExit(kavo.program));
        EXPECT_EQ(c.expected, ReadFileBytes(kavo.IniPath()));
        EXPECT_FALSE(ReadServiceRegistration(c.service).found);
    }
}

// A folder the service would depend on that others may change (here the
// program's): OK names it, and who may change it, before saving. No goes back to the dialog with
// nothing saved; Yes saves and goes on.
TEST(Dialog, OkNamesWhatOthersMayChange)
{
    KavoDialog kavo;
    ASSERT_TRUE(OpenKavoDialog(kavo, "dialog_writable", ""));
    std::string programDir = kavo.dir + "\\tools";
    std::string program = programDir + "\\app.exe";
    ASSERT_TRUE(CreateDirectoryA(programDir.c_str(), NULL));
    ASSERT_TRUE(AllowOthersToWrite(programDir));
    SetControlText(kavo.window, IDC_PROGRAM, program);
    SetControlText(kavo.window, IDC_OPTIONS, "-x");
    SetControlText(kavo.window, IDC_SERVICE_NAME, "kavo_writable");
    SelectComboItem(kavo.window, IDC_EXIT_METHOD, 1);
    std::string warning = WritableByOthersWarning(programDir + "\\", "Everyone", kWritableByOthersAfter);

    ClickButton(kavo.window, IDOK);
    AnswerDialogMessage(kavo.program.id, kavo.window, "kavo", warning, MB_YESNO | MB_DEFBUTTON2, IDNO);
    ASSERT_TRUE(WaitUntilResponding(kavo.window));
    EXPECT_TRUE(IsWindowVisible(kavo.window));
    EXPECT_FALSE(FileExists(kavo.IniPath()));

    ClickButton(kavo.window, IDOK);
    AnswerDialogMessage(kavo.program.id, kavo.window, "kavo", warning, MB_YESNO | MB_DEFBUTTON2, IDYES);
    AnswerDialogMessage(kavo.program.id, kavo.window, "kavo", kAskRegister, MB_YESNO, IDNO);
    EXPECT_EQ(0u, WaitForExit(kavo.program));
    EXPECT_EQ(KavoIni(program, "-x", "kavo_writable", "1"), ReadFileBytes(kavo.IniPath()));
}

// ---- Under every code page ----

// Waits for a message box beside the dialog, checks its caption and text as
// UTF-16 (what the screen shows whatever the code page) and presses answer.
void AnswerWideMessageAt(Where where, KavoDialog& kavo, const std::wstring& caption, const std::wstring& text,
                         int answer)
{
    MessageBoxView box = WaitForMessageBoxBesidesAt(where, kavo.program.id, kavo.window);
    EXPECT_TRUE(box.wideCaption == caption && box.wideText == text)
        << where.file << ":" << where.line << ": " << Escaped(ToCodePage(CP_UTF8, box.wideText));
    if (box.window)
        AnswerMessageBoxAt(where, box, answer);
}

std::wstring From932(const char* text)
{
    return FromCodePage(932, text);
}

// kavo's texts read as Japanese whatever the system's code page: a message of
// its own, and one with a path in the code page's own letters in it.
TEST(CodePageDialog, MessagesReadAsJapanese)
{
    KavoDialog kavo;
    ASSERT_TRUE(OpenKavoDialog(kavo, "cp_dialog_texts", ""));
    std::wstring programDir = FromCodePage(CP_ACP, kavo.dir + "\\tools_" + CodePageLetters());
    ASSERT_TRUE(CreateDirectoryW(programDir.c_str(), NULL));
    ASSERT_TRUE(AllowOthersToWrite(ToCodePage(CP_ACP, programDir)));
    SetControlText(kavo.window, IDC_PROGRAM, ToCodePage(CP_ACP, programDir + L"\\app.exe"));
    SetControlText(kavo.window, IDC_SERVICE_NAME, "");
    ClickButton(kavo.window, IDOK);
    AnswerWideMessageAt(HERE, kavo, L"Error", From932(kSetServiceName), IDOK);

    SetControlText(kavo.window, IDC_SERVICE_NAME, "kavo_cp_texts");
    ClickButton(kavo.window, IDOK);
    AnswerWideMessageAt(HERE, kavo, L"kavo",
                        From932(kWritableByOthersBefore) + programDir + L"\\" + From932(kWritableByOthersAccount) +
                            L"Everyone" + From932(kWritableByOthersAfter),
                        IDNO);
    ASSERT_TRUE(WaitUntilResponding(kavo.window));
    ClickButton(kavo.window, IDCANCEL);
    EXPECT_EQ(0u, WaitForExit(kavo.program));
    EXPECT_FALSE(FileExists(kavo.IniPath()));
}

// A value of kavo.ini that the system's code page cannot read as it is (here
// written under 932 and read under 65001) is never saved over: OK says so and
// keeps kavo.ini as it was, until the field is typed anew. A value the code
// page reads as it is, is saved back byte for byte.
TEST(CodePageDialog, OkKeepsValuesItCouldNotRead)
{
    const UINT codePage = GetACP();
    const struct {
        const char* key;
        int field;
        const char* value;
        bool refused;
    } cases[] = {
        {"exe", IDC_PROGRAM, "C:\\\x83\x65\x83\x58\x83\x67\\app.exe", codePage == 65001},   // テスト in 932
        {"option", IDC_OPTIONS, "-x \x83\x65\x83\x58\x83\x67 /?", codePage == 65001},
        {"name", IDC_SERVICE_NAME, "kavo_\x83\x65\x83\x58\x83\x67", codePage == 65001},
    };
    int index = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.key);
        std::string exe = c.field == IDC_PROGRAM ? c.value : "C:\\app.exe";
        std::string options = c.field == IDC_OPTIONS ? c.value : "";
        std::string name = c.field == IDC_SERVICE_NAME ? c.value : "kavo_cp_unread";
        std::string ini = KavoIni(exe, options, name, "0");
        KavoDialog kavo;
        ASSERT_TRUE(OpenKavoDialog(kavo, "cp_dialog_unread_" + std::to_string(index++), ini));
        ClickButton(kavo.window, IDOK);
        if (!c.refused) {
            AnswerWideMessageAt(HERE, kavo, L"kavo", From932(kAskRegister), IDNO);
            EXPECT_EQ(0u, WaitForExit(kavo.program));
            EXPECT_EQ(ini, ReadFileBytes(kavo.IniPath()));
            continue;
        }
        AnswerWideMessageAt(HERE, kavo, L"Error",
                            From932(kValueUnreadableBefore) + FromCodePage(CP_ACP, c.key) +
                                From932(kValueUnreadableAfter),
                            IDOK);
        ASSERT_TRUE(WaitUntilResponding(kavo.window));
        EXPECT_TRUE(IsWindowVisible(kavo.window));
        EXPECT_EQ(ini, ReadFileBytes(kavo.IniPath()));
        SetControlText(kavo.window, c.field, c.field == IDC_PROGRAM ? "C:\\new.exe" : "kavo_cp_new");
        ClickButton(kavo.window, IDOK);
        AnswerWideMessageAt(HERE, kavo, L"kavo", From932(kAskRegister), IDNO);
        EXPECT_EQ(0u, WaitForExit(kavo.program));
        EXPECT_EQ(KavoIni(c.field == IDC_PROGRAM ? "C:\\new.exe" : exe, c.field == IDC_OPTIONS ? "kavo_cp_new" : options,
                          c.field == IDC_SERVICE_NAME ? "kavo_cp_new" : name, "0"),
                  ReadFileBytes(kavo.IniPath()));
    }
}

// ---- Browse: the real open-file dialog ----

// The open-file dialog's file name box and file type list (Explorer style).
const int kFileNameControl = 1148;
const int kFileTypeControl = 1136;

TEST(Dialog, BrowseChoosesAProgram)
{
    KavoDialog kavo;
    ASSERT_TRUE(OpenKavoDialog(kavo, "dialog_browse", ""));
    std::string chosen = kavo.dir + "\\MyServer.v2.exe";
    ASSERT_TRUE(WriteFileBytes(chosen, "MZ"));
    SetControlText(kavo.window, IDC_SERVICE_NAME, "typed by the user");

    // Cancelled: nothing changes.
    ClickButton(kavo.window, IDC_BROWSE);
    HWND chooser = WaitForWindow(kavo.program.id, "#32770", kBrowseTitle);
    ASSERT_TRUE(chooser);
    EXPECT_EQ(kavo.window, GetWindow(chooser, GW_OWNER));
    EXPECT_EQ(std::vector<std::string>{kBrowseFilterText}, ComboItems(chooser, kFileTypeControl));
    ClickButton(chooser, IDCANCEL);
    ASSERT_TRUE(PollUntil([&] { return !IsWindow(chooser); }, kWindowDeadline));
    ASSERT_TRUE(WaitUntilResponding(kavo.window));
    EXPECT_EQ("", ControlText(kavo.window, IDC_PROGRAM));
    EXPECT_EQ("typed by the user", ControlText(kavo.window, IDC_SERVICE_NAME));

    // Chosen: the path fills the program field and its name up to the first
    // dot replaces the service name.
    ClickButton(kavo.window, IDC_BROWSE);
    chooser = WaitForWindow(kavo.program.id, "#32770", kBrowseTitle);
    ASSERT_TRUE(chooser);
    SetControlText(chooser, kFileNameControl, chosen);
    ClickButton(chooser, IDOK);
    ASSERT_TRUE(PollUntil([&] { return !IsWindow(chooser); }, kWindowDeadline));
    ASSERT_TRUE(WaitUntilResponding(kavo.window));
    EXPECT_EQ(chosen, ControlText(kavo.window, IDC_PROGRAM));
    EXPECT_EQ("MyServer", ControlText(kavo.window, IDC_SERVICE_NAME));

    ClickButton(kavo.window, IDCANCEL);
    EXPECT_EQ(0u, WaitForExit(kavo.program));
}

}  // namespace
