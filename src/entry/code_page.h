// The system's ANSI code page: read once at start and handed to the path
// functions as data, and the test whether a text read from kavo.ini or the
// system is one that code page holds.
#pragma once

// Reads the ANSI code page (GetACP) into ProgramContext.AnsiCodePage and hands
// its lead bytes (GetCPInfo) to the path functions (SetLeadByteRanges): those
// of a double-byte code page, none for a single-byte one or 65001. Called once,
// first thing at start; where GetCPInfo fails the lead bytes stay those of 932.
void ReadSystemCodePage();

// 1 when the text is one the ANSI code page holds, as a path must be:
// - every byte of it is valid there: MultiByteToWideChar(CP_ACP,
//   MB_ERR_INVALID_CHARS) accepts it whole (where the system does not know
//   that flag, before Windows 2000 SP4, every text counts as valid);
// - it holds neither '?' nor '*': no file name holds either, and no second
//   byte of a double-byte character is one; a '?' is what a conversion to the
//   code page leaves for a character it cannot hold, a '*' a wildcard;
// - on 65001 it holds no U+FFFD (EF BF BD): what the system reads for bytes
//   that are no UTF-8, as the profile functions do from a kavo.ini saved
//   under another code page (which then reaches kavo as valid text).
// 0 otherwise.
int IsValidAnsiText(const char* text);
