#include "host/portable_launch.h"

// Not built yet.
int BuildChildLaunch(const char*, const char*, char* commandLine, size_t commandLineSize, char* workingDirectory,
                     size_t workingDirectorySize)
{
    if (commandLineSize)
        commandLine[0] = '\0';
    if (workingDirectorySize)
        workingDirectory[0] = '\0';
    return 0;
}

int FormMutexName(char* destination, size_t size, const char*)
{
    if (size)
        destination[0] = '\0';
    return 0;
}
