// Functions looked up at run time, for system DLLs or functions that not
// every Windows version has.
#pragma once

#include <windows.h>

// GetProcAddress's answer as the function type of the destination; NULL
// without a module or such a function.
template <typename Function>
static void LoadProc(Function* destination, HMODULE module, const char* name)
{
    *destination = module ? (Function)(void*)GetProcAddress(module, name) : NULL;
}

// The DLL of that name in the system directory, never one found on the search
// path; NULL when it cannot be loaded. The caller frees it.
HMODULE LoadSystemLibrary(const char* fileName);
