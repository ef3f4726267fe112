// Shared by the fuzz targets: property checks that stop the run with a message,
// texts in heap blocks of their exact size, the code page an input chooses, and
// a model of where the characters of a byte string in that code page start.
//
// Every text and every destination lives in a block of exactly its size, so
// AddressSanitizer stops the run at the first byte read or written past it.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "text/sjis_path.h"

#define FUZZ_CHECK(condition) \
    ((condition) ? (void)0 : FuzzFail(#condition, __FILE__, __LINE__))

[[noreturn]] inline void FuzzFail(const char* condition, const char* file, int line)
{
    fprintf(stderr, "%s:%d: property failed: %s\n", file, line, condition);
    abort();
}

// A block of exactly size bytes on the heap.
struct Block {
    char* bytes;
    size_t size;
    explicit Block(size_t blockSize) : bytes((char*)malloc(blockSize ? blockSize : 1)), size(blockSize)
    {
        // Not zero: a function that forgets to terminate is caught by the checks.
        memset(bytes, 0xA5, blockSize);
    }
    Block(const Block&) = delete;
    Block& operator=(const Block&) = delete;
    ~Block() { free(bytes); }
    // The text in the block; fails the run when no terminator lies inside it.
    std::string Text() const
    {
        const void* end = memchr(bytes, 0, size);
        FUZZ_CHECK(end != NULL);
        return std::string(bytes, (const char*)end - bytes);
    }
};

// A zero-terminated text in a block of exactly its length plus one.
struct TextBlock : Block {
    explicit TextBlock(const std::string& text) : Block(text.size() + 1)
    {
        memcpy(bytes, text.c_str(), text.size() + 1);
    }
};

// Takes bytes from the front of the fuzz input.
struct InputReader {
    const uint8_t* data;
    size_t left;
    uint8_t Byte()
    {
        if (left == 0)
            return 0;
        --left;
        return *data++;
    }
    // Bytes up to the next zero byte (which is consumed) or the end of the input.
    std::string Text()
    {
        const uint8_t* zero = (const uint8_t*)memchr(data, 0, left);
        size_t length = zero ? (size_t)(zero - data) : left;
        std::string text((const char*)data, length);
        data += length;
        left -= length;
        if (zero) {
            ++data;
            --left;
        }
        return text;
    }
};

// The code pages a fuzz input may choose: their lead bytes as GetCPInfo gives them.
enum FuzzedCodePage { kShiftJis, kEastAsian, kNoLeadBytes, FUZZED_CODE_PAGES };
inline FuzzedCodePage& CurrentCodePage()
{
    static FuzzedCodePage codePage = kShiftJis;
    return codePage;
}

// Sets the lead bytes of the code page a byte of the input chooses: 932
// (0x81-0x9F, 0xE0-0xFC, also before any is set), 936, 949 and 950 (0x81-0xFE),
// or none (1252 and the other single-byte code pages, 65001).
inline void UseFuzzedCodePage(uint8_t choice)
{
    static const unsigned char ranges[FUZZED_CODE_PAGES][LEAD_BYTE_RANGES_SIZE] = {
        {0x81, 0x9F, 0xE0, 0xFC}, {0x81, 0xFE}, {0}};
    CurrentCodePage() = (FuzzedCodePage)(choice % FUZZED_CODE_PAGES);
    SetLeadByteRanges(ranges[CurrentCodePage()], sizeof ranges[0]);
}

inline bool IsLeadByteModel(unsigned char byte)
{
    switch (CurrentCodePage()) {
    case kShiftJis:
        return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
    case kEastAsian:
        return byte >= 0x81 && byte <= 0xFE;
    default:
        return false;
    }
}

// starts[i] is true when a character starts at byte i, scanning from byte 0: a
// lead byte and the byte after it form one character. starts[length] is true
// (the terminator), even right after a lead byte.
inline std::vector<bool> CharacterStarts(const std::string& text)
{
    std::vector<bool> starts(text.size() + 1, false);
    for (size_t i = 0; i < text.size();) {
        starts[i] = true;
        i += (IsLeadByteModel((unsigned char)text[i]) && i + 1 < text.size()) ? 2 : 1;
    }
    starts[text.size()] = true;
    return starts;
}

inline bool StartsWith(const std::string& text, const std::string& prefix)
{
    return text.compare(0, prefix.size(), prefix) == 0;
}

// Destination sizes worth trying beside the product's own: the edges of the
// text's length and the smallest sizes.
inline std::vector<size_t> SizesAround(size_t length, size_t productSize)
{
    std::vector<size_t> sizes = {0, 1, 2, 3, productSize - 1, productSize, productSize + 1};
    for (size_t delta = 0; delta < 3; ++delta)
        sizes.push_back(length + delta);
    if (length > 0)
        sizes.push_back(length - 1);
    return sizes;
}
