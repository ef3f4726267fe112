// Bounded text copies and the decimal conversion used for the settings.
// No windows.h here: this file builds natively as well as for Windows.
#pragma once

#include <stddef.h>

// Copies source into destination (size bytes). Always terminates the
// destination when size > 0; when the source does not fit, the copy stops at a
// character boundary (a double-byte character is never split). Returns 1 when
// the whole source was copied, 0 when it was cut.
int CopyText(char* destination, size_t size, const char* source);

// As CopyText, for at most length bytes of source.
int CopyTextPart(char* destination, size_t size, const char* source, size_t length);

// Appends source to the text in destination; 1 when it fits whole. When it does
// not fit, destination is left unchanged and 0 comes back.
int AppendText(char* destination, size_t size, const char* source);

// The C library's atoi, without its undefined overflow: white space, one
// optional sign, decimal digits up to the first non-digit; the value wraps in
// 32 bits and the sign is applied last. No digits gives 0.
int ParseDecimal(const char* text);

// Forms directory + "\" + fileName in destination; 1 on success, 0 (and an
// empty destination) when the result does not fit.
int FormPathInDirectory(char* destination, size_t size, const char* directory, const char* fileName);
