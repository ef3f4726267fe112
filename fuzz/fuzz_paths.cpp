// The Shift-JIS path functions on any bytes: paths up to and past 259 bytes,
// lead bytes right before the terminator, double-byte characters whose second
// byte is a backslash.
#include "fuzz_support.h"

#include "settings/settings.h"
#include "text/sjis_path.h"

static bool IsSingleByteAt(const std::string& path, const std::vector<bool>& starts, size_t i, char byte)
{
    return starts[i] && path[i] == byte;
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
        // Cut at a backslash that is a character of its own, never inside a
        // double-byte character, and at the last one.
        FUZZ_CHECK(IsSingleByteAt(path, starts, at, '\\'));
        for (size_t i = at + 1; i < path.size(); ++i)
            FUZZ_CHECK(!IsSingleByteAt(path, starts, i, '\\'));
    } else {
        for (size_t i = 0; i < path.size(); ++i)
            FUZZ_CHECK(!IsSingleByteAt(path, starts, i, '\\'));
    }
}

static void CheckGetBaseNameNoExt(const std::string& path, const std::vector<bool>& starts)
{
    // The name starts after the last single-byte backslash or colon and ends at its first dot.
    size_t nameStart = 0;
    for (size_t i = 0; i < path.size(); ++i)
        if (IsSingleByteAt(path, starts, i, '\\') || IsSingleByteAt(path, starts, i, ':'))
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

static void CheckGetExtension(const std::string& path)
{
    TextBlock source(path);
    const char* extension = GetExtension(source.bytes);
    FUZZ_CHECK(extension >= source.bytes && extension <= source.bytes + path.size());

    // Backwards, byte by byte, never looking at the first byte: the last dot or
    // separator decides; none at all makes the whole path the extension.
    size_t expected = 0;
    for (size_t i = path.size(); i-- > 1;) {
        char byte = path[i];
        if (byte == '.') {
            expected = i + 1;
            break;
        }
        if (byte == '\\' || byte == '/' || byte == ':') {
            expected = path.size();
            break;
        }
    }
    FUZZ_CHECK((size_t)(extension - source.bytes) == expected);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // The path is the input up to its first zero byte, as it would stand in a buffer.
    InputReader input{data, size};
    std::string path = input.Text();
    std::vector<bool> starts = CharacterStarts(path);

    for (size_t i = 0; i < path.size(); ++i)
        FUZZ_CHECK(IsSjisLeadByte((unsigned char)path[i]) == (IsLeadByteModel((unsigned char)path[i]) ? 1 : 0));
    CheckCutLastPathComponent(path, starts);
    CheckGetBaseNameNoExt(path, starts);
    // The callers never pass an empty path.
    if (!path.empty())
        CheckGetExtension(path);
    return 0;
}
