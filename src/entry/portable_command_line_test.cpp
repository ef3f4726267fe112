#include "entry/portable_command_line.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// ASCII as it is, every other unit as \uXXXX.
std::string Shown(const std::u16string& text)
{
    std::string shown;
    for (char16_t unit : text) {
        char hex[8];
        snprintf(hex, sizeof hex, "\\u%04X", (unsigned)unit);
        shown += unit >= 0x20 && unit < 0x7F ? std::string(1, (char)unit) : std::string(hex);
    }
    return shown;
}

// What a command line gives, in one line.
std::string Describe(const CommandLine& c)
{
    static const char* const verbs[] = {"none", "help", "install", "uninstall"};
    std::string text = verbs[c.verb];
    if (c.fault != kFaultNone)
        return text + " fault " + std::to_string(c.fault) + " of " + std::to_string(c.faultValue);
    if (c.verb == kCommandInstall)
        text += " [" + Shown(c.name) + "] [" + Shown(c.program) + "] option [" + Shown(c.options) + "] end " +
                std::to_string(c.exitMethod) + " folder [" + Shown(c.folder) + "] stop " +
                std::to_string(c.stopTimeout);
    if (c.verb == kCommandUninstall)
        text += " [" + Shown(c.name) + "]";
    return text;
}

std::string Fault(const char* verb, CommandFault fault, CommandValue value)
{
    return std::string(verb) + " fault " + std::to_string(fault) + " of " + std::to_string(value);
}

TEST(CommandLine, VerbsArgumentsAndRefusedValues)
{
    const std::u16string k = u"\"C:\\Program Files\\kavo.exe\" ";
    const std::u16string i = k + u"/install ";
    const std::u16string longName(257, u'n');
    const std::u16string name256(256, u'n');
    const std::u16string long260(260, u'o');
    const std::u16string hyo = u"\u8868";   // 表: in code page 932 its second byte is a backslash
    const struct {
        std::u16string line;
        std::string gives;
    } cases[] = {
        {u"kavo.exe", "none"},
        {k, "none"},
        {k + u"  \t ", "none"},
        {u"\"C:\\a b\\kavo.exe\"/?", "help"},   // the name ends at its closing quote
        {u"kavo.exe /?", "help"},
        {u"kavo.exe /install", Fault("install", kFaultUsage, kValueName)},
        {u"kavo.exe /INSTALL a C:\\a.exe", "install [a] [C:\\a.exe] option [] end 0 folder [] stop 0"},
        {u"kavo.exe -install a C:\\a.exe", Fault("help", kFaultUsage, kValueName)},
        {u"kavo.exe /installer a C:\\a.exe", Fault("help", kFaultUsage, kValueName)},
        {u"kavo.exe install a C:\\a.exe", Fault("help", kFaultUsage, kValueName)},
        {i + u"a", Fault("install", kFaultUsage, kValueName)},
        {i + u"a C:\\a.exe extra", Fault("install", kFaultUsage, kValueName)},
        {i + u"a C:\\a.exe /end:1 /END:0", Fault("install", kFaultUsage, kValueName)},
        {i + u"a C:\\a.exe /start:auto", Fault("install", kFaultUsage, kValueName)},
        {i + u"a C:\\a.exe /option", Fault("install", kFaultUsage, kValueName)},
        // Every switch, any order, in any case; quoted parts anywhere in an argument.
        {i + u"\"My Server\" \"C:\\Program Files\\My Server\\server.exe\" /Folder:\"D:\\svc\\my server\" "
             u"/option:\"-port 8080\" /end:1 /stoptimeout:45",
         "install [My Server] [C:\\Program Files\\My Server\\server.exe] option [-port 8080] end 1 "
         "folder [D:\\svc\\my server] stop 45"},
        // "" inside quotes is one quotation mark, as cmd keeps & and > inside them.
        {i + u"a C:\\a.exe \"/option:-config \"\"C:\\R&D (x86)\\app.ini\"\"\"",
         "install [a] [C:\\a.exe] option [-config \"C:\\R&D (x86)\\app.ini\"] end 0 folder [] stop 0"},
        {i + u"a C:\\a.exe /option:\\\"x\\\" /folder:\"D:\\x\\\\\"",
         "install [a] [C:\\a.exe] option [\"x\"] end 0 folder [D:\\x\\] stop 0"},
        {i + u"a C:\\a.exe /option:a\\\\\\\"b\\c",
         "install [a] [C:\\a.exe] option [a\\\"b\\c] end 0 folder [] stop 0"},
        {i + u"a C:\\a.exe \"/option:\"", "install [a] [C:\\a.exe] option [] end 0 folder [] stop 0"},
        {i + u"a C:\\a.exe \"/option:\t-x\"", "install [a] [C:\\a.exe] option [\\u0009-x] end 0 folder [] stop 0"},
        {i + u"\"x\"\"&type nul>pwn.txt&\"\"y\" C:\\a.exe /folder:D:\\x",
         "install [x\"&type nul>pwn.txt&\"y] [C:\\a.exe] option [] end 0 folder [D:\\x] stop 0"},
        {i + u"'q' C:\\a.exe /option:%PATH%^!()",
         "install ['q'] [C:\\a.exe] option [%PATH%^!()] end 0 folder [] stop 0"},
        {i + u"a" + hyo + u" C:\\" + hyo + u"\\a.exe",
         "install [a\\u8868] [C:\\\\u8868\\a.exe] option [] end 0 folder [] stop 0"},
        {i + name256 + u" C:\\a.exe /folder:D:\\x",
         "install [" + std::string(256, 'n') + "] [C:\\a.exe] option [] end 0 folder [D:\\x] stop 0"},
        // Refused values, the first one found.
        {i + u"\"\" C:\\a.exe", Fault("install", kFaultNameEmpty, kValueName)},
        {i + u"..\\..\\trav C:\\a.exe", Fault("install", kFaultNameCharacter, kValueName)},
        {i + u"a/b C:\\a.exe", Fault("install", kFaultNameCharacter, kValueName)},
        {i + u"\"a\nb\" C:\\a.exe", Fault("install", kFaultNameCharacter, kValueName)},
        {i + longName + u" C:\\a.exe /folder:D:\\x", Fault("install", kFaultNameLong, kValueName)},
        {i + long260 + u" C:\\a.exe /folder:D:\\x", Fault("install", kFaultNameLong, kValueName)},
        {i + u"a C:\\a.exe /option:" + long260, Fault("install", kFaultTooLong, kValueOption)},
        {i + u"a C:\\a.exe /folder:" + long260, Fault("install", kFaultTooLong, kValueFolder)},
        {i + u"a C:\\" + long260 + u".exe", Fault("install", kFaultTooLong, kValueProgram)},
        {i + u"a C:\\a.cmd", Fault("install", kFaultProgram, kValueProgram)},
        {i + u"a C:\\app*.exe", Fault("install", kFaultProgram, kValueProgram)},
        {i + u"a .exe", Fault("install", kFaultProgram, kValueProgram)},
        {i + u"a \"C:\\a.exe\"\"&x.exe\"", Fault("install", kFaultProgram, kValueProgram)},
        {i + u"a C:\\a.exe \"/option:a\r\nexe=C:\\evil.exe\"", Fault("install", kFaultOptions, kValueOption)},
        {i + u"a C:\\a.exe /end:2", Fault("install", kFaultEnd, kValueEnd)},
        {i + u"a C:\\a.exe /end:", Fault("install", kFaultEnd, kValueEnd)},
        {i + u"a C:\\a.exe /end:01", Fault("install", kFaultEnd, kValueEnd)},
        {i + u"a C:\\a.exe \"/end:0&type nul>pwn.txt\"", Fault("install", kFaultEnd, kValueEnd)},
        {i + u"a C:\\a.exe /stoptimeout:110", "install [a] [C:\\a.exe] option [] end 0 folder [] stop 110"},
        {i + u"a C:\\a.exe /stoptimeout:1", "install [a] [C:\\a.exe] option [] end 0 folder [] stop 1"},
        {i + u"a C:\\a.exe /stoptimeout:111", Fault("install", kFaultStopTimeout, kValueStopTimeout)},
        {i + u"a C:\\a.exe /stoptimeout:0", Fault("install", kFaultStopTimeout, kValueStopTimeout)},
        {i + u"a C:\\a.exe /stoptimeout:045", Fault("install", kFaultStopTimeout, kValueStopTimeout)},
        {i + u"a C:\\a.exe /stoptimeout:1000", Fault("install", kFaultStopTimeout, kValueStopTimeout)},
        {i + u"a C:\\a.exe /stoptimeout:", Fault("install", kFaultStopTimeout, kValueStopTimeout)},
        {i + u"a C:\\a.exe \"/stoptimeout:9 \"", Fault("install", kFaultStopTimeout, kValueStopTimeout)},
        // Without FOLDER the name makes the folder's name.
        {i + u"a: C:\\a.exe", Fault("install", kFaultNameNotFolder, kValueName)},
        {i + u"a. C:\\a.exe", Fault("install", kFaultNameNotFolder, kValueName)},
        {i + u"\"a \" C:\\a.exe", Fault("install", kFaultNameNotFolder, kValueName)},
        {i + u".. C:\\a.exe", Fault("install", kFaultNameNotFolder, kValueName)},
        {i + u"a<b C:\\a.exe /folder:D:\\x", "install [a<b] [C:\\a.exe] option [] end 0 folder [D:\\x] stop 0"},
        {k + u"/uninstall \"My Server\"", "uninstall [My Server]"},
        {k + u"/uninstall", Fault("uninstall", kFaultUsage, kValueName)},
        {k + u"/uninstall a b", Fault("uninstall", kFaultUsage, kValueName)},
        {k + u"/uninstall /option:x", Fault("uninstall", kFaultUsage, kValueName)},
        {k + u"/uninstall \"\"", Fault("uninstall", kFaultNameEmpty, kValueName)},
        {k + u"/uninstall a\\b", Fault("uninstall", kFaultNameCharacter, kValueName)},
        {k + u"/uninstall " + longName, Fault("uninstall", kFaultNameLong, kValueName)},
        {k + u"/uninstall " + long260, Fault("uninstall", kFaultNameLong, kValueName)},
    };
    for (const auto& c : cases) {
        CommandLine command;
        ParseCommandLine(c.line.c_str(), &command);
        EXPECT_EQ(c.gives, Describe(command)) << Shown(c.line);
    }
    // The name above that held cmd's operators cannot name a folder of its own.
    CommandLine command;
    ParseCommandLine((i + u"\"x\"\"&y\" C:\\a.exe").c_str(), &command);
    EXPECT_EQ(kFaultNameNotFolder, command.fault);
}

TEST(CommandLine, FolderPathsKavoServesFrom)
{
    const struct {
        std::u16string path;
        FolderFault fault;
        std::u16string trimmed;
    } cases[] = {
        {u"C:\\Program Files\\kavo\\a", kFolderFine, u"C:\\Program Files\\kavo\\a"},
        {u"d:\\x\\\\", kFolderFine, u"d:\\x"},
        {u"C:\\", kFolderRoot, u"C:\\"},
        {u"C:\\\\", kFolderRoot, u"C:\\"},
        {u"\\\\server\\share\\x", kFolderNotOnDrive, u"\\\\server\\share\\x"},
        {u"\\\\.\\CON", kFolderNotOnDrive, u"\\\\.\\CON"},
        {u"\\\\?\\C:\\x", kFolderNotOnDrive, u"\\\\?\\C:\\x"},
        {u"1:\\x", kFolderNotOnDrive, u"1:\\x"},
        {u"C:x", kFolderNotOnDrive, u"C:x"},
        {u"C:\\x:stream", kFolderCharacter, u"C:\\x:stream"},
        {u"C:\\x*", kFolderCharacter, u"C:\\x*"},
        {u"C:\\x\"y", kFolderCharacter, u"C:\\x\"y"},
        {u"C:\\x\ty", kFolderCharacter, u"C:\\x\ty"},
    };
    for (const auto& c : cases) {
        std::u16string path = c.path;
        EXPECT_EQ(c.fault, CheckFolderPath(&path[0])) << Shown(c.path);
        EXPECT_EQ(Shown(c.trimmed), Shown(path.c_str())) << Shown(c.path);
    }
}

// Wine shows no folder as a reparse point (a Unix link reads as the folder it
// points to) and makes no junctions: the rule is proven here.
TEST(CommandLine, FoldersThatMayHoldKavo)
{
    const struct {
        uint32_t attributes;
        int plain;
    } cases[] = {
        {0x10, 1},           // a folder
        {0x10 | 0x20 | 0x4, 1},   // archived, system
        {0x10 | 0x400, 0},   // a junction or a symbolic link to a folder
        {0x400, 0},          // a link to a file
        {0x20, 0},           // a file
        {0x80, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.plain, IsPlainFolder(c.attributes)) << std::hex << c.attributes;
}

TEST(CommandLine, WhichServicesAreKavos)
{
    const struct {
        std::u16string registered;
        std::u16string file;   // empty: not kavo's
    } cases[] = {
        {u"\"C:\\Program Files\\kavo\\a\\kavo.exe\"", u"C:\\Program Files\\kavo\\a\\kavo.exe"},
        {u"  C:\\kavo\\KAVO64.EXE ", u"C:\\kavo\\KAVO64.EXE"},
        {u"C:\\a b\\kavo.exe", u"C:\\a b\\kavo.exe"},
        {u"\"C:\\kavo\\kavo.exe\" -x", u""},
        {u"\"C:\\kavo\\kavo.exe", u""},
        {u"C:\\kavo\\app.exe", u""},
        {u"C:\\kavo\\mykavo.exe", u""},
        {u"C:\\kavo\\kavo.exe.bak", u""},
        {u"kavo.exe", u""},
        {u"", u""},
    };
    for (const auto& c : cases) {
        char16_t file[TEXT_SIZE] = u"unchanged";
        int kavo = FormKavoServiceFile(file, TEXT_SIZE, c.registered.c_str());
        EXPECT_EQ(!c.file.empty(), kavo != 0) << Shown(c.registered);
        if (kavo)
            EXPECT_EQ(Shown(c.file), Shown(file)) << Shown(c.registered);
    }
    char16_t small[10];
    EXPECT_EQ(0, FormKavoServiceFile(small, sizeof small / sizeof small[0], u"C:\\kavo.exe"));
}

}  // namespace
