// Path functions for ANSI byte strings in the system's ANSI code page.
//
// In the double-byte code pages (932 Shift-JIS, 936, 949, 950) the second byte
// of a character can be 0x5C, the backslash, so a path is never split by a plain
// byte search. Which bytes start a double-byte character is data, handed in once
// at start (SetLeadByteRanges). No windows.h here: this file builds natively as
// well as for Windows.
#pragma once

#include <stddef.h>

// The most bytes of lead-byte ranges a code page has (CPINFO's LeadByte).
enum { LEAD_BYTE_RANGES_SIZE = 12 };

// Makes the lead bytes those of ranges (size bytes, as GetCPInfo gives them:
// pairs of the first and the last byte of a range, ended by a pair of zeros or
// by the end; at most LEAD_BYTE_RANGES_SIZE bytes are read, a pair whose
// first byte is above its last holds none). Until it is called, the lead bytes
// are those of code page 932 (0x81-0x9F, 0xE0-0xFC). No ranges: no byte starts
// a double-byte character, as on the single-byte code pages and on 65001.
void SetLeadByteRanges(const unsigned char* ranges, size_t size);

// 1 if the byte starts a double-byte character in the code page's ranges, else
// 0. The terminator never does.
int IsLeadByte(unsigned char byte);

// Ends the path at its last backslash (a real one, not the second byte of a
// double-byte character). A path without one stays as it is.
void CutLastPathComponent(char* path);

// Writes the file name of the path, without directory and without anything from
// its first dot, into destination (size bytes, always terminated).
void GetBaseNameNoExt(char* destination, size_t size, const char* path);

// The position in path where the extension text starts, or the terminator when
// the last component has none. Walks backwards byte by byte; the first byte is
// never looked at, so a path without dot and separator is all extension.
const char* GetExtension(const char* path);

// 1 when the two folder paths name the same folder, as the texts stand: ASCII
// letters match without regard to case, a double-byte character only itself,
// and backslashes at the end do not count ("D:" and "D:\" are the same folder).
int IsSameFolder(const char* folder, const char* otherFolder);

// 1 when a service's registered path names the program file at programPath:
// spaces around it and the quotation marks that enclose it are no part of the
// path, and letters match as in IsSameFolder. Anything after the path (an
// argument) makes it another command, not this file.
int IsPathOfProgram(const char* registeredPath, const char* programPath);

// Forms the folder that holds path, with its backslash ("C:\Tools\",
// "C:\"), in folder (size bytes). 1 when path names a folder and it fits; 0
// (and an empty folder) when path has no backslash or the folder does not fit.
int FormFolderOfPath(char* folder, size_t size, const char* path);

// Cuts a folder formed by FormFolderOfPath to the folder above it, with its
// backslash ("C:\Tools\kavo\" becomes "C:\Tools\"); 1 when there is one. 0,
// and the folder unchanged, for a root: a drive's ("C:\"), a share's
// ("\\server\share\"), or a relative folder's first component.
int CutToFolderAbove(char* folder);
