#include "entry/load_proc.h"

#include "settings/settings.h"
#include "text/text.h"

HMODULE LoadSystemLibrary(const char* fileName)
{
    char systemDir[TEXT_SIZE];
    char path[TEXT_SIZE];
    UINT length = GetSystemDirectoryA(systemDir, sizeof systemDir);
    if (length == 0 || length >= sizeof systemDir || !FormPathInDirectory(path, sizeof path, systemDir, fileName))
        return NULL;
    // With a full path this flag has the DLLs it needs looked for in the
    // system directory before any other, not in kavo's own folder.
    return LoadLibraryExA(path, NULL, LOAD_WITH_ALTERED_SEARCH_PATH);
}
