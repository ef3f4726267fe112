// The path functions on any bytes, in the code page the input's first byte
// chooses: paths up to and past 259 bytes, lead bytes right before the
// terminator, double-byte characters whose second byte is a backslash,
// slashes for backslashes; and the comparisons of two paths, each against a
// second text and against itself with other case, separators and quotes.
#include "fuzz_support.h"

#include <ctype.h>

#include "settings/settings.h"
#include "text/sjis_path.h"

static bool IsSingleByteAt(const std::string& path, const std::vector<bool>& starts, size_t i, char byte)
{
    return starts[i] && path[i] == byte;
}

// A backslash or a slash that is a character of its own.
static bool IsSeparatorAt(const std::string& path, const std::vector<bool>& starts, size_t i)
{
    return IsSingleByteAt(path, starts, i, '\\') || IsSingleByteAt(path, starts, i, '/');
}

static void CheckCutLastPathComponent(const std::string& path, const std::vector<bool>& starts)
{
    TextBlock cut(path);
    CutLastPathComponent(cut.bytes);
    std::string result = cut.Text();

    // Never lengthens, only cuts: what is left is the front of the path.
    FUZZ_CHECK(result.size() <= path.size());
    FUZZ_CHECK(StartsWith(path, result));
    size_t at = result.size();
    if (at < path.size()) {
        // Cut at a separator that is a character of its own, never inside a
        // double-byte character, and at the last one.
        FUZZ_CHECK(IsSeparatorAt(path, starts, at));
        for (size_t i = at + 1; i < path.size(); ++i)
            FUZZ_CHECK(!IsSeparatorAt(path, starts, i));
    } else {
        for (size_t i = 0; i < path.size(); ++i)
            FUZZ_CHECK(!IsSeparatorAt(path, starts, i));
    }
}

static void CheckGetBaseNameNoExt(const std::string& path, const std::vector<bool>& starts)
{
    // The name starts after the last single-byte separator or colon and ends at its first dot.
    size_t nameStart = 0;
    for (size_t i = 0; i < path.size(); ++i)
        if (IsSeparatorAt(path, starts, i) || IsSingleByteAt(path, starts, i, ':'))
            nameStart = i + 1;
    std::string name = path.substr(nameStart);
    name = name.substr(0, name.find('.'));

    TextBlock source(path);
    for (size_t size : SizesAround(name.size(), TEXT_SIZE)) {
        Block destination(size);
        GetBaseNameNoExt(destination.bytes, destination.size, source.bytes);
        if (size == 0)
            continue;
        std::string result = destination.Text();
        FUZZ_CHECK(result.size() < size);
        FUZZ_CHECK(StartsWith(name, result));
        FUZZ_CHECK(result.find('.') == std::string::npos);
        if (size > name.size()) {
            FUZZ_CHECK(result == name);
        } else {
            // Cut to fit: at most one double-byte character short, never inside one.
            FUZZ_CHECK(result.size() + 2 >= size);
            FUZZ_CHECK(starts[nameStart + result.size()]);
        }
    }
}

static void CheckGetExtension(const std::string& path, const std::vector<bool>& starts)
{
    TextBlock source(path);
    const char* extension = GetExtension(source.bytes);
    FUZZ_CHECK(extension >= source.bytes && extension <= source.bytes + path.size());

    // Of the characters after the first, the last dot or separator decides;
    // none at all makes the whole path the extension.
    size_t expected = 0;
    for (size_t i = path.size(); i-- > 1;) {
        if (IsSingleByteAt(path, starts, i, '.')) {
            expected = i + 1;
            break;
        }
        if (IsSeparatorAt(path, starts, i) || IsSingleByteAt(path, starts, i, ':')) {
            expected = path.size();
            break;
        }
    }
    FUZZ_CHECK((size_t)(extension - source.bytes) == expected);
}

// The text with the case of its single-byte ASCII letters flipped where
// flip says; a second byte of a double-byte character is never touched.
static std::string FlipCase(const std::string& text, const std::vector<bool>& starts, uint8_t flip)
{
    std::string flipped = text;
    for (size_t i = 0; i < text.size(); ++i) {
        bool single = starts[i] && (i + 1 >= text.size() || starts[i + 1]);
        if (single && isalpha((unsigned char)text[i]) && ((flip >> (i % 8)) & 1))
            flipped[i] = (char)(text[i] ^ 0x20);
    }
    return flipped;
}

// The characters of the text with single-byte ASCII letters upper-cased,
// and without the real backslashes at its end when trimmed.
static std::string Folded(const std::string& text, bool trimBackslashes)
{
    std::vector<bool> starts = CharacterStarts(text);
    size_t end = text.size();
    while (trimBackslashes && end > 0) {
        size_t last = end - 1;
        while (!starts[last])
            --last;
        if (end - last != 1 || (text[last] != '\\' && text[last] != '/'))
            break;
        end = last;
    }
    std::string folded = text.substr(0, end);
    for (size_t i = 0; i < end; ++i) {
        if (!starts[i] || (i + 1 < end && !starts[i + 1]))
            continue;
        if (folded[i] >= 'a' && folded[i] <= 'z')
            folded[i] = (char)(folded[i] - 'a' + 'A');
        else if (folded[i] == '/')
            folded[i] = '\\';
    }
    return folded;
}

static void CheckSameFolder(const std::string& folder, const std::string& other)
{
    TextBlock a(folder);
    TextBlock b(other);
    FUZZ_CHECK(IsSameFolder(a.bytes, b.bytes) == (Folded(folder, true) == Folded(other, true) ? 1 : 0));
}

static void CheckPathOfProgram(const std::string& registered, const std::string& program)
{
    // Spaces around it, then one opening and one closing quotation mark, are no part of the path.
    size_t start = registered.find_first_not_of(' ');
    std::string path = start == std::string::npos ? "" : registered.substr(start);
    path = path.substr(0, path.find_last_not_of(' ') + 1);
    if (!path.empty() && path[0] == '"')
        path = path.substr(1);
    if (!path.empty() && path.back() == '"')
        path.pop_back();
    TextBlock a(registered);
    TextBlock b(program);
    FUZZ_CHECK(IsPathOfProgram(a.bytes, b.bytes) == (Folded(path, false) == Folded(program, false) ? 1 : 0));
}

// The folder of a path and the folders above it, up to a root.
static void CheckFolders(const std::string& path, const std::vector<bool>& starts)
{
    size_t lastBackslash = std::string::npos;
    for (size_t i = 0; i < path.size(); ++i)
        if (IsSeparatorAt(path, starts, i))
            lastBackslash = i;
    TextBlock source(path);
    for (size_t size : SizesAround(path.size() + 1, TEXT_SIZE)) {
        Block folder(size);
        int formed = FormFolderOfPath(folder.bytes, size, source.bytes);
        FUZZ_CHECK(formed == (lastBackslash != std::string::npos && path.size() < size ? 1 : 0));
        if (size)
            FUZZ_CHECK(folder.Text() == (formed ? path.substr(0, lastBackslash) + "\\" : ""));
    }
    char folder[TEXT_SIZE];
    if (!FormFolderOfPath(folder, sizeof folder, source.bytes))
        return;
    // Each step goes to the last real backslash before the folder's own end,
    // until only a drive's or a share's root is left.
    for (int steps = 0;; ++steps) {
        std::string before = folder;
        std::vector<bool> at = CharacterStarts(before);
        std::string trimmed = Folded(before, true);
        std::vector<size_t> backslashes;
        for (size_t i = 0; i < trimmed.size(); ++i)
            if (IsSeparatorAt(before, at, i))
                backslashes.push_back(i);
        size_t ofRoot = before.size() > 1 && (before[0] == '\\' || before[0] == '/') &&
                                (before[1] == '\\' || before[1] == '/')
                            ? 3
                            : 0;
        int cut = CutToFolderAbove(folder);
        FUZZ_CHECK(cut == (backslashes.size() > ofRoot ? 1 : 0));
        if (!cut) {
            FUZZ_CHECK(before == folder);
            break;
        }
        FUZZ_CHECK(std::string(folder) == before.substr(0, backslashes.back() + 1));
        FUZZ_CHECK(steps < TEXT_SIZE);
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // The path is the input up to its first zero byte, as it would stand in a buffer.
    InputReader input{data, size};
    UseFuzzedCodePage(input.Byte());
    std::string path = input.Text();
    std::vector<bool> starts = CharacterStarts(path);

    for (size_t i = 0; i < path.size(); ++i)
        FUZZ_CHECK(IsLeadByte((unsigned char)path[i]) == (IsLeadByteModel((unsigned char)path[i]) ? 1 : 0));
    CheckCutLastPathComponent(path, starts);
    CheckGetBaseNameNoExt(path, starts);
    // The callers never pass an empty path.
    if (!path.empty())
        CheckGetExtension(path, starts);
    CheckFolders(path, starts);

    std::string other = input.Text();
    uint8_t flip = input.Byte();
    CheckSameFolder(path, other);
    CheckSameFolder(path, FlipCase(path, starts, flip) + std::string(flip & 3, flip & 4 ? '/' : '\\'));
    CheckPathOfProgram(other, path);
    CheckPathOfProgram(std::string(flip & 3, ' ') + "\"" + FlipCase(path, starts, flip) + "\"" +
                           std::string(flip >> 6, ' '),
                       path);
    return 0;
}
