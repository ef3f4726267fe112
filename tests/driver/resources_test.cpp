// The version block, the icon, the manifest and the event log's texts, read
// back from the built kavo.exe.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/support.h"

namespace {

const WORD kJapanese = MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT);

struct LoadedExe {
    HMODULE module = LoadLibraryExA(ExaminedExePath().c_str(), NULL, LOAD_LIBRARY_AS_DATAFILE);
    ~LoadedExe()
    {
        if (module)
            FreeLibrary(module);
    }
    std::string Resource(LPCSTR type, LPCSTR name, WORD language = kJapanese) const
    {
        HRSRC found = FindResourceExA(module, type, name, language);
        if (!found)
            return std::string();
        const char* data = (const char*)LockResource(LoadResource(module, found));
        return std::string(data, SizeofResource(module, found));
    }
};

// One node of a version block: key, value, children.
struct VersionNode {
    std::wstring key;
    std::string value;   // raw bytes
    bool text = false;
    std::vector<VersionNode> children;

    std::wstring Text() const { return std::wstring((const wchar_t*)value.data()).c_str(); }
    const VersionNode* Child(const std::wstring& name) const
    {
        for (const VersionNode& child : children)
            if (child.key == name)
                return &child;
        return NULL;
    }
};

size_t Align4(size_t offset)
{
    return (offset + 3) & ~(size_t)3;
}

VersionNode ParseVersionNode(const std::string& block, size_t start)
{
    VersionNode node;
    const BYTE* base = (const BYTE*)block.data();
    WORD length = *(const WORD*)(base + start);
    WORD valueLength = *(const WORD*)(base + start + 2);
    node.text = *(const WORD*)(base + start + 4) == 1;
    size_t offset = start + 6;
    for (const wchar_t* key = (const wchar_t*)(base + offset); *key; ++key)
        node.key += *key;
    offset = Align4(offset + (node.key.size() + 1) * 2);
    size_t valueBytes = node.text ? valueLength * 2 : valueLength;
    node.value.assign((const char*)base + offset, valueBytes);
    node.value.append(2, '\0');
    offset = Align4(offset + valueBytes);
    while (offset + 6 <= start + length && offset + 6 <= block.size()) {
        WORD childLength = *(const WORD*)(base + offset);
        if (childLength == 0)
            break;
        node.children.push_back(ParseVersionNode(block, offset));
        offset = Align4(offset + childLength);
    }
    return node;
}

TEST(Resources, VersionBlock)
{
    LoadedExe exe;
    ASSERT_TRUE(exe.module);
    std::string block = exe.Resource(RT_VERSION, MAKEINTRESOURCEA(VS_VERSION_INFO));
    ASSERT_GE(block.size(), 92u) << "no Japanese version resource";
    VersionNode root = ParseVersionNode(block, 0);
    EXPECT_EQ(L"VS_VERSION_INFO", root.key);

    ASSERT_EQ(sizeof(VS_FIXEDFILEINFO) + 2, root.value.size());
    const VS_FIXEDFILEINFO* fixed = (const VS_FIXEDFILEINFO*)root.value.data();
    EXPECT_EQ(0xFEEF04BDu, fixed->dwSignature);
    EXPECT_EQ(0u, fixed->dwFileVersionMS);
    EXPECT_EQ(2u, fixed->dwFileVersionLS);
    EXPECT_EQ(0u, fixed->dwProductVersionMS);
    EXPECT_EQ(2u, fixed->dwProductVersionLS);
    EXPECT_EQ(0u, fixed->dwFileFlagsMask | fixed->dwFileFlags | fixed->dwFileOS | fixed->dwFileType |
                      fixed->dwFileSubtype);

    const VersionNode* strings = root.Child(L"StringFileInfo");
    ASSERT_TRUE(strings);
    const VersionNode* table = strings->Child(L"041103a4");
    ASSERT_TRUE(table);
    const std::pair<std::wstring, std::wstring> expected[] = {
        {L"CompanyName", L""},          {L"FileDescription", L"kavo"}, {L"FileVersion", L"0.02"},
        {L"InternalName", L"kavo"},     {L"LegalTrademarks", L" "},    {L"OriginalFilename", L"kavo.exe"},
        {L"ProductName", L"kavo"},      {L"ProductVersion", L"0.02"},
    };
    ASSERT_EQ(8u, table->children.size());
    for (size_t i = 0; i < 8; ++i) {
        EXPECT_EQ(expected[i].first, table->children[i].key) << "entry " << i;
        EXPECT_EQ(expected[i].second, table->children[i].Text()) << "entry " << i;
    }

    const VersionNode* variables = root.Child(L"VarFileInfo");
    ASSERT_TRUE(variables);
    const VersionNode* translation = variables->Child(L"Translation");
    ASSERT_TRUE(translation);
    const WORD* pair = (const WORD*)translation->value.data();
    EXPECT_EQ(0x0411, pair[0]);
    EXPECT_EQ(0x03A4, pair[1]);
}

BOOL CALLBACK CollectName(HMODULE, LPCSTR, LPSTR name, LONG_PTR list)
{
    ((std::vector<ULONG_PTR>*)list)->push_back((ULONG_PTR)name);
    return TRUE;
}

#pragma pack(push, 2)
struct GroupIconEntry {
    BYTE width, height, colorCount, reserved;
    WORD planes, bitCount;
    DWORD bytesInRes;
    WORD id;
};
#pragma pack(pop)

TEST(Resources, TheOnlyIconIs102InSixteenColours)
{
    LoadedExe exe;
    ASSERT_TRUE(exe.module);
    std::vector<ULONG_PTR> groups;
    EnumResourceNamesA(exe.module, RT_GROUP_ICON, CollectName, (LONG_PTR)&groups);
    ASSERT_EQ(std::vector<ULONG_PTR>{102}, groups);

    std::string group = exe.Resource(RT_GROUP_ICON, MAKEINTRESOURCEA(102));
    ASSERT_EQ(6u + sizeof(GroupIconEntry), group.size());
    EXPECT_EQ(1, *(const WORD*)(group.data() + 4));
    const GroupIconEntry* entry = (const GroupIconEntry*)(group.data() + 6);
    EXPECT_EQ(32, entry->width);
    EXPECT_EQ(32, entry->height);
    EXPECT_EQ(16, entry->colorCount);
    EXPECT_EQ(4, entry->bitCount);

    std::string image = exe.Resource(RT_ICON, MAKEINTRESOURCEA(entry->id));
    ASSERT_EQ(40u + 64 + 512 + 128, image.size());
    const BITMAPINFOHEADER* header = (const BITMAPINFOHEADER*)image.data();
    EXPECT_EQ(32, header->biWidth);
    EXPECT_EQ(64, header->biHeight);
    EXPECT_EQ(4, header->biBitCount);

    // The picture: a grey window with a blue title bar, and the letters of "exe"
    // on the white face of the smaller window before it.
    auto colour = [&](int x, int y) {
        BYTE pair = (BYTE)image[40 + 64 + (31 - y) * 16 + x / 2];
        BYTE index = (x % 2 == 0) ? pair >> 4 : pair & 15;
        const BYTE* rgb = (const BYTE*)image.data() + 40 + index * 4;
        return RGB(rgb[2], rgb[1], rgb[0]);
    };
    EXPECT_EQ(RGB(0, 0, 128), colour(5, 4));          // title bar
    EXPECT_EQ(RGB(192, 192, 192), colour(5, 10));     // grey window
    EXPECT_EQ(RGB(255, 255, 255), colour(12, 25));    // face of the small window
    EXPECT_EQ(RGB(0, 0, 0), colour(14, 20));          // the first "e"
}

// The manifest Windows reads at start-up: resource 1 of type 24, language
// neutral. It asks for an administrator (which also turns file virtualization
// off), the common controls 6, and system DPI awareness.
TEST(Resources, ManifestAsksForAnAdministratorAndTheCommonControls6)
{
    LoadedExe exe;
    ASSERT_TRUE(exe.module);
    std::string manifest =
        exe.Resource(MAKEINTRESOURCEA(24), MAKEINTRESOURCEA(1), MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL));
    ASSERT_FALSE(manifest.empty()) << "no manifest";
    // White space between attributes is the writer's choice: compare without it.
    manifest.erase(std::remove_if(manifest.begin(), manifest.end(), ::isspace), manifest.end());
    const char* expected[] = {
        "<requestedExecutionLevellevel=\"requireAdministrator\"uiAccess=\"false\"/>",
        "<assemblyIdentitytype=\"win32\"name=\"Microsoft.Windows.Common-Controls\"version=\"6.0.0.0\""
        "processorArchitecture=\"*\"publicKeyToken=\"6595b64144ccf1df\"language=\"*\"/>",
        "<dpiAwarexmlns=\"http://schemas.microsoft.com/SMI/2005/WindowsSettings\">true</dpiAware>",
    };
    for (const char* part : expected)
        EXPECT_NE(std::string::npos, manifest.find(part)) << part;
}

// The texts of kavo's event log entries, as Event Viewer shows them: formatted
// by FormatMessageA from the file's message table in each language, with {1}...
// for the insertion strings. The Japanese ones come out in code page 932, as
// gcc (iconv) compiled the literals below: another converter than windmc's.
TEST(Resources, EventTextsInJapaneseAndEnglish)
{
    const struct {
        DWORD id;
        const char* english;
        const char* japanese;
    } texts[] = {
        {100,
         "The program was started.\r\nProgram: {1}\r\nOptions: {2}\r\nProcess ID: {3}\r\n"
         "A stop sends {5} to its windows and ends it by force when it has not closed after {4} seconds.\r\n"
         "Job: error {6} (0: the program is in kavo's job; otherwise it is ended alone at a forced end and "
         "outlives kavo).",
         "プログラムを起動しました。\r\nプログラム: {1}\r\nオプション: {2}\r\nプロセス ID: {3}\r\n"
         "停止のときはウィンドウに {5} を送り、{4} 秒たっても終了しなければ強制終了します。\r\n"
         "ジョブ: エラー {6}（0 ならプログラムは kavo のジョブの中にあります。"
         "それ以外では強制終了のときプログラムだけが終了し、kavo が終わっても動き続けます）。"},
        {101, "The program ended by itself with exit code 0, so the service stopped.\r\nProgram: {1}\r\n"
              "It ran for {2} seconds.",
         "プログラムが終了コード 0 で自分で終了したため、サービスを停止しました。\r\n"
         "プログラム: {1}\r\n実行時間: {2} 秒"},
        {102,
         "The program ended by itself with exit code {2} ({3}), so the service stopped with an error.\r\n"
         "Program: {1}\r\nIt ran for {4} seconds.",
         "プログラムが終了コード {2} ({3}) で自分で終了したため、サービスはエラーで停止しました。\r\n"
         "プログラム: {1}\r\n実行時間: {4} 秒"},
        {103,
         "On the stop request the program closed within {1} ms, with exit code {5}.\r\n{3} was sent to these "
         "windows ({2}): {4}",
         "停止の要求で、プログラムは {1} ミリ秒で終了しました (終了コード {5})。\r\n{3} を送ったウィンドウ ({2} 個): {4}"},
        {104,
         "The program did not close within {1} seconds of the stop request and was ended by force. Unsaved data "
         "may be lost.\r\n{3} was sent to these windows ({2}): {4}",
         "停止の要求から {1} 秒たってもプログラムが終了しなかったため、強制終了しました。"
         "保存されていないデータは失われた可能性があります。\r\n{3} を送ったウィンドウ ({2} 個): {4}"},
        {105,
         "The program (process ID {2}) was ended by force but had not gone {3} ms later. It may still be running: "
         "look for it, for example in Task Manager.\r\nProgram: {1}",
         "プログラム (プロセス ID {2}) を強制終了しましたが、{3} ミリ秒たっても終了しませんでした。"
         "まだ動いている可能性があります。タスク マネージャーなどで確かめてください。\r\nプログラム: {1}"},
        {106,
         "The program ended by itself with exit code {2} ({3}) just as a stop was requested, so the service "
         "stopped without an error.\r\nProgram: {1}\r\nIt ran for {4} seconds.",
         "停止の要求と同時に、プログラムが終了コード {2} ({3}) で自分で終了したため、サービスはエラーなしで"
         "停止しました。\r\nプログラム: {1}\r\n実行時間: {4} 秒"},
        {110, "There is no program to start: {1} is missing or names no program (exe=).",
         "起動するプログラムがありません。{1} がないか、プログラム (exe=) が書かれていません。"},
        {111, "The program could not be started.\r\nProgram: {1}\r\nError {2}: {3}",
         "プログラムを起動できませんでした。\r\nプログラム: {1}\r\nエラー {2}: {3}"},
        {112,
         "The program was not started because users other than administrators can change this file or folder:"
         "\r\n{1}\r\nAccount that can change it: {2}\r\nMake it changeable by administrators only, then start "
         "the service.",
         "管理者以外のユーザーも次のファイルまたはフォルダーを変更できるため、プログラムを起動しませんでした。"
         "\r\n{1}\r\n変更できるアカウント: {2}\r\n"
         "管理者だけが変更できるようにしてから、サービスを起動してください。"},
    };
    LoadedExe exe;
    ASSERT_TRUE(exe.module);
    const char* inserted[] = {"{1}", "{2}", "{3}", "{4}", "{5}", "{6}"};
    for (const auto& text : texts) {
        for (WORD language : {(WORD)MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), kJapanese}) {
            char formatted[2048] = "";
            DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ARGUMENT_ARRAY, exe.module,
                                          text.id, language, formatted, sizeof formatted, (va_list*)inserted);
            EXPECT_EQ(language == kJapanese ? text.japanese : text.english, std::string(formatted, length))
                << "event " << text.id << ", language " << std::hex << language << ", error " << std::dec
                << GetLastError();
        }
    }
}

}  // namespace
