// Bounded copies and appends, and the forming of the program's own directory
// and INI path from its module path, on any bytes and any destination size.
#include "fuzz_support.h"

#include "settings/settings.h"
#include "text/sjis_path.h"
#include "text/portable_fill_in.h"
#include "text/text.h"

// A copy of the front of source (at most limit bytes) into size bytes.
static void CheckCopy(const std::string& source, size_t limit, size_t size)
{
    std::string wanted = source.substr(0, limit);
    std::vector<bool> starts = CharacterStarts(source);
    TextBlock from(source);
    Block destination(size);
    int whole = limit == std::string::npos ? CopyText(destination.bytes, size, from.bytes)
                                           : CopyTextPart(destination.bytes, size, from.bytes, limit);
    if (size == 0) {
        FUZZ_CHECK(whole == 0);
        return;
    }
    std::string result = destination.Text();
    FUZZ_CHECK(result.size() < size);
    FUZZ_CHECK(StartsWith(wanted, result));
    FUZZ_CHECK(whole == (result == wanted ? 1 : 0));
    FUZZ_CHECK(whole == (wanted.size() < size ? 1 : 0));
    if (!whole) {
        // Cut at most one double-byte character short, never inside one.
        FUZZ_CHECK(result.size() + 2 >= size);
        FUZZ_CHECK(starts[result.size()]);
    }
}

static void CheckAppend(const std::string& before, const std::string& added, size_t size)
{
    Block destination(size);
    // A text that does not fit in the destination stands there unterminated:
    // the append must notice without reading past the block.
    memcpy(destination.bytes, before.data(), before.size() < size ? before.size() : size);
    if (before.size() < size)
        destination.bytes[before.size()] = '\0';
    TextBlock source(added);
    int fits = AppendText(destination.bytes, size, source.bytes);
    FUZZ_CHECK(fits == (before.size() + added.size() < size ? 1 : 0));
    if (fits)
        FUZZ_CHECK(destination.Text() == before + added);
    else if (before.size() < size)
        FUZZ_CHECK(destination.Text() == before);
}

static void CheckFormPath(const std::string& directory, const std::string& fileName, size_t size)
{
    TextBlock dir(directory);
    TextBlock name(fileName);
    Block destination(size);
    int fits = FormPathInDirectory(destination.bytes, size, dir.bytes, name.bytes);
    std::string wanted = directory + "\\" + fileName;
    FUZZ_CHECK(fits == (wanted.size() < size ? 1 : 0));
    if (size > 0)
        FUZZ_CHECK(destination.Text() == (fits ? wanted : std::string()));
}

// What start-up does with the module path: its directory, and kavo.ini in it.
static void CheckProgramPaths(const std::string& moduleFromSystem)
{
    char modulePath[TEXT_SIZE];
    char moduleDir[TEXT_SIZE];
    char iniPath[TEXT_SIZE];
    TextBlock source(moduleFromSystem);
    CopyText(modulePath, sizeof modulePath, source.bytes);
    CopyText(moduleDir, sizeof moduleDir, modulePath);
    CutLastPathComponent(moduleDir);
    FormPathInDirectory(iniPath, sizeof iniPath, moduleDir, "kavo.ini");

    // The INI file is kavo.ini in the program's own directory or, when that
    // does not fit, no file at all; never a file of another name or place.
    std::string ini = iniPath;
    if (ini.empty()) {
        FUZZ_CHECK(strlen(moduleDir) + 9 >= sizeof iniPath);
        return;
    }
    FUZZ_CHECK(ini == std::string(moduleDir) + "\\kavo.ini");
    // A full path holds a backslash; the directory then never ends in a lead
    // byte waiting for its second half, so the added backslash stays one.
    if (strcmp(moduleDir, modulePath) == 0)
        return;
    char again[TEXT_SIZE];
    memcpy(again, iniPath, sizeof again);
    CutLastPathComponent(again);
    FUZZ_CHECK(strcmp(again, moduleDir) == 0);
}

// The filled text, as a model: the first conversion takes the insertion,
// every later one nothing.
static std::string FillInOnce(const std::string& format, const std::string& insertion)
{
    std::string filled;
    int used = 0;
    for (size_t i = 0; i < format.size(); ++i) {
        std::string rest = format.substr(i);
        if (rest.compare(0, 2, "%%") == 0) {
            filled += '%';
            ++i;
        } else if (rest.compare(0, 2, "%s") == 0 || rest.compare(0, 2, "%d") == 0 ||
                   rest.compare(0, 3, "%lu") == 0 || rest.compare(0, 3, "%ld") == 0) {
            filled += used++ == 0 ? insertion : "";
            i += rest[1] == 'l' ? 2 : 1;
        } else {
            filled += format[i];
        }
    }
    return filled;
}

// A text with its insertions: never past the destination, always ended, and
// whole exactly when it fit; an insertion's bytes are copied, never read as a
// format.
static void CheckFillIn(const std::string& format, const std::string& insertion, size_t size)
{
    TextBlock from(format);
    TextBlock piece(insertion);
    const char* insertions[] = {piece.bytes, NULL};
    Block destination(size);
    int whole = FillInText(destination.bytes, size, from.bytes, insertions, 2);
    if (size == 0) {
        FUZZ_CHECK(whole == 0);
        return;
    }
    std::string result = destination.Text();
    FUZZ_CHECK(result.size() < size);
    std::string first = FillInOnce(format, insertion);
    FUZZ_CHECK(whole == (first.size() < size ? 1 : 0));
    FUZZ_CHECK(StartsWith(first, result));
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    InputReader input{data, size};
    size_t destinationSize = input.Byte();
    uint8_t high = input.Byte();
    destinationSize |= (size_t)(high & 1) << 8;
    UseFuzzedCodePage(high >> 1);
    size_t limit = input.Byte() | (size_t)(input.Byte() & 1) << 8;
    std::string first = input.Text();
    std::string second = input.Text();

    for (size_t destination : {destinationSize, (size_t)TEXT_SIZE}) {
        CheckCopy(first, std::string::npos, destination);
        CheckCopy(first, limit, destination);
        CheckAppend(first, second, destination);
        CheckFormPath(first, second, destination);
        CheckFillIn(first, second, destination);
    }
    CheckProgramPaths(first);
    return 0;
}
