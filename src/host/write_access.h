// Whether users other than administrators may change what the service runs:
// kavo's folder, kavo.ini, the hosted program and the hosted program's folder.
#pragma once

#include <stddef.h>
#include <windows.h>

#include "host/portable_write_access.h"

// The id as numbers; 0 when it is no valid id of at most size bytes.
int ReadAccountId(PSID sid, DWORD size, AccountId* id);

// 1 when a broad group may change the file or folder (see
// host/portable_write_access.h), or when its security cannot be read; 0 when
// no such group may change it, when it does not exist, or when the path is
// empty.
int IsWritableByOthers(const char* path);

// Checks, in this order, kavo's folder, kavo.ini, the hosted program of the
// settings and its folder. 1 and the first path found writable by others in
// found (size bytes); 0 and an empty found when none is.
int FindPathWritableByOthers(char* found, size_t size);
