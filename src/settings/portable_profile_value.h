// The text written to kavo.ini for one value, so that the profile functions
// read back exactly the value. No windows.h here: this file builds natively as
// well as for Windows.
#pragma once

#include <stddef.h>

// Room for a 259-byte value in quotes, with the terminator.
enum { PROFILE_VALUE_SIZE = 259 + 2 + 1 };

// On reading, the profile functions take white space off both ends of a value
// and drop a pair of quotation marks (" or ') that encloses it whole. A value
// they would change so is written inside one more pair of double quotes, which
// is all they drop; every other value is written as it is. 1 when the text
// fits in destination (size bytes); 0 and an empty destination otherwise.
int FormProfileValue(char* destination, size_t size, const char* value);
