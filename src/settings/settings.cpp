#include "settings/settings.h"

#include <windows.h>

#include "entry/context.h"
#include "text/text.h"

static const char kSection[] = "kavo";

void LoadSettings()
{
    ServiceConfig& config = ProgramContext.Config;
    char end[TEXT_SIZE];
    config.programPath[0] = config.options[0] = config.serviceName[0] = '\0';
    config.exitMethod = 0;
    // An empty IniPath means the path did not fit: read nothing rather than
    // letting the profile functions pick some other file.
    if (ProgramContext.IniPath[0] == '\0')
        return;
    const char* ini = ProgramContext.IniPath;
    GetPrivateProfileStringA(kSection, "exe", "", config.programPath, sizeof config.programPath, ini);
    GetPrivateProfileStringA(kSection, "option", "", config.options, sizeof config.options, ini);
    GetPrivateProfileStringA(kSection, "name", "", config.serviceName, sizeof config.serviceName, ini);
    GetPrivateProfileStringA(kSection, "end", "", end, sizeof end, ini);
    config.exitMethod = ParseDecimal(end);
}

void SaveSettings()
{
    const ServiceConfig& config = ProgramContext.Config;
    char end[16];
    if (ProgramContext.IniPath[0] == '\0')
        return;
    const char* ini = ProgramContext.IniPath;
    wsprintfA(end, "%d", config.exitMethod);
    WritePrivateProfileStringA(kSection, "exe", config.programPath, ini);
    WritePrivateProfileStringA(kSection, "option", config.options, ini);
    WritePrivateProfileStringA(kSection, "name", config.serviceName, ini);
    WritePrivateProfileStringA(kSection, "end", end, ini);
}
