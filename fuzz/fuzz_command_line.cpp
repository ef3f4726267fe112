// kavo.exe's command line: any line is read without a fault of its own, and
// values quoted as the C runtime expects come back as they were.
#include "fuzz_support.h"

#include "entry/portable_command_line.h"

// A byte below 0xF8 is the unit of that value; 0xF8 or more starts a unit
// of the two bytes after it (zero bytes never come: Text() stops there).
static std::u16string Units(const std::string& bytes)
{
    std::u16string units;
    for (size_t i = 0; i < bytes.size(); ++i) {
        unsigned char byte = (unsigned char)bytes[i];
        if (byte >= 0xF8 && i + 2 < bytes.size()) {
            units += (char16_t)((unsigned char)bytes[i + 1] << 8 | (unsigned char)bytes[i + 2]);
            i += 2;
        } else {
            units += (char16_t)byte;
        }
    }
    return units;
}

static size_t Length(const char16_t* text, size_t size)
{
    size_t length = 0;
    while (length < size && text[length])
        ++length;
    FUZZ_CHECK(length < size);
    return length;
}

// As Microsoft's C runtime reads it back: in quotes, each run of backslashes
// doubled before a quotation mark and at the end.
static std::u16string Quoted(const std::u16string& value)
{
    std::u16string quoted = u"\"";
    size_t backslashes = 0;
    for (char16_t unit : value) {
        if (unit == u'\\') {
            ++backslashes;
            continue;
        }
        quoted.append(unit == u'"' ? 2 * backslashes + 1 : backslashes, u'\\');
        backslashes = 0;
        quoted += unit;
    }
    quoted.append(2 * backslashes, u'\\');
    return quoted + u"\"";
}

static bool HasControl(const std::u16string& text)
{
    for (char16_t unit : text)
        if (unit < 0x20 && unit != u'\t')
            return true;
    return false;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    InputReader input{data, size};
    std::u16string line = Units(input.Text());
    CommandLine command;
    ParseCommandLine(line.c_str(), &command);
    size_t nameLength = Length(command.name, TEXT_SIZE);
    Length(command.program, TEXT_SIZE);
    Length(command.options, TEXT_SIZE);
    Length(command.folder, TEXT_SIZE);
    if (command.fault == kFaultNone && command.verb == kCommandInstall) {
        FUZZ_CHECK(nameLength > 0 && nameLength <= 256);
        FUZZ_CHECK(command.exitMethod == 0 || command.exitMethod == 1);
        FUZZ_CHECK(command.stopTimeout >= 0 && command.stopTimeout <= 120);
    }

    // A name of letters, a program, and options and a folder of any units.
    std::u16string options = Units(input.Text());
    std::u16string folder = Units(input.Text());
    std::u16string quotedLine = u"kavo.exe /install \"My Server\" \"C:\\a b\\app.exe\" " +
                                Quoted(u"/option:" + options) + u" " + Quoted(u"/folder:" + folder);
    ParseCommandLine(quotedLine.c_str(), &command);
    bool fits = options.size() <= 259 && folder.size() <= 259;
    FUZZ_CHECK((command.fault == kFaultNone) == (fits && !HasControl(options)));
    if (command.fault == kFaultNone) {
        FUZZ_CHECK(options == command.options);
        FUZZ_CHECK(folder == command.folder);
    }

    std::u16string path = folder;
    path.resize(path.size() + 1);
    FolderFault fault = CheckFolderPath(&path[0]);
    FUZZ_CHECK(fault >= kFolderFine && fault <= kFolderCharacter);
    Length(path.c_str(), path.size());

    uint32_t attributes = input.Byte() | (uint32_t)input.Byte() << 8;
    FUZZ_CHECK(IsPlainFolder(attributes) == ((attributes & 0x10) && !(attributes & 0x400)));

    size_t fileSize = input.Byte() | (size_t)(input.Byte() & 1) << 8;
    std::vector<char16_t> file(fileSize + 1, u'x');
    if (FormKavoServiceFile(file.data(), fileSize, folder.c_str())) {
        size_t length = Length(file.data(), fileSize);
        FUZZ_CHECK(length >= 9 && length < fileSize);
    }
    return 0;
}
