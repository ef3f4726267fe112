// The text kavo writes to kavo.ini for a value, from any value: read back the
// way the profile functions read (white space off both ends, then one pair of
// enclosing quotation marks dropped), it gives the value again.
#include "fuzz_support.h"

#include "settings/portable_profile_value.h"
#include "settings/settings.h"

// White space to the profile functions, which work on the text in UTF-16:
// C white space, ^Z, and the ideographic space (0x81 0x40 in code page 932).
static size_t SpaceAt(const std::string& text, const std::vector<bool>& starts, size_t i)
{
    if (i >= text.size() || !starts[i])
        return 0;
    unsigned char byte = (unsigned char)text[i];
    if (strchr(" \t\n\v\f\r\x1a", byte) && byte != 0)
        return 1;
    if (byte == 0x81 && i + 1 < text.size() && (unsigned char)text[i + 1] == 0x40)
        return 2;
    return 0;
}

static std::string ReadBack(const std::string& written)
{
    std::vector<bool> starts = CharacterStarts(written);
    size_t begin = 0;
    while (size_t space = SpaceAt(written, starts, begin))
        begin += space;
    size_t end = written.size();
    for (;;) {
        size_t last = end;
        while (last > begin && !starts[last - 1])
            --last;
        if (last == begin || last == 0)
            break;
        size_t space = SpaceAt(written, starts, last - 1);
        if (!space || last - 1 + space != end)
            break;
        end = last - 1;
    }
    std::string value = written.substr(begin, end - begin);
    if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0])
        value = value.substr(1, value.size() - 2);
    return value;
}

static void CheckValue(const std::string& value, size_t size)
{
    TextBlock source(value);
    Block destination(size);
    int formed = FormProfileValue(destination.bytes, size, source.bytes);
    if (size == 0) {
        FUZZ_CHECK(formed == 0);
        return;
    }
    std::string written = destination.Text();
    if (!formed) {
        FUZZ_CHECK(written.empty());
        FUZZ_CHECK(value.size() + 3 > size);
        return;
    }
    FUZZ_CHECK(written == value || written == "\"" + value + "\"");
    // A line break would end the line in the file: such values are not kavo's to keep.
    if (value.find_first_of("\r\n") == std::string::npos)
        FUZZ_CHECK(ReadBack(written) == value);
    // Plain values stay plain, as the five-line file shows them.
    if (ReadBack(value) == value)
        FUZZ_CHECK(written == value);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    InputReader input{data, size};
    size_t destinationSize = input.Byte() | (size_t)(input.Byte() & 1) << 8;
    std::string value = input.Text();

    // The fields hold at most 259 bytes, and always fit the product's size quoted.
    if (value.size() < TEXT_SIZE) {
        char written[PROFILE_VALUE_SIZE];
        FUZZ_CHECK(FormProfileValue(written, sizeof written, value.c_str()) == 1);
    }
    CheckValue(value, PROFILE_VALUE_SIZE);
    CheckValue(value, destinationSize);
    CheckValue(value, value.size() + 1);
    CheckValue(value, value.size() + 3);
    return 0;
}
