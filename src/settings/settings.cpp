#include "settings/settings.h"

#include <string.h>
#include <windows.h>

#include "entry/context.h"
#include "settings/portable_profile_value.h"
#include "settings/portable_stop_timeout.h"
#include "text/text.h"

static const char kSection[] = "kavo";

// A value kavo wrote in quotes is one byte longer on each side than the value:
// read with that room, then cut to the destination like any long value.
static void ReadValue(const char* key, char* destination, size_t size)
{
    char value[PROFILE_VALUE_SIZE];
    GetPrivateProfileStringA(kSection, key, "", value, sizeof value, ProgramContext.IniPath);
    CopyText(destination, size, value);
}

// Quoted when the profile functions would otherwise read back something else
// (a value wholly in quotes, or with white space at an end).
static int WriteValue(const char* key, const char* value)
{
    char written[PROFILE_VALUE_SIZE];
    if (!FormProfileValue(written, sizeof written, value))
        return 0;
    return WritePrivateProfileStringA(kSection, key, written, ProgramContext.IniPath) ? 1 : 0;
}

void LoadSettings()
{
    ServiceConfig& config = ProgramContext.Config;
    char end[TEXT_SIZE];
    char stopTimeout[TEXT_SIZE];
    char anyDrive[TEXT_SIZE];
    config.programPath[0] = config.options[0] = config.serviceName[0] = '\0';
    config.exitMethod = 0;
    config.stopTimeout = STOP_TIMEOUT_DEFAULT_SECONDS;
    config.anyDrive = 0;
    // An empty IniPath means the path did not fit: read nothing rather than
    // letting the profile functions pick some other file.
    if (ProgramContext.IniPath[0] == '\0')
        return;
    ReadValue("exe", config.programPath, sizeof config.programPath);
    ReadValue("option", config.options, sizeof config.options);
    ReadValue("name", config.serviceName, sizeof config.serviceName);
    ReadValue("end", end, sizeof end);
    config.exitMethod = ParseDecimal(end);
    ReadValue("stoptimeout", stopTimeout, sizeof stopTimeout);
    config.stopTimeout = ParseStopTimeout(stopTimeout);
    ReadValue("anyDrive", anyDrive, sizeof anyDrive);
    // Exactly "1": a value that only reads as 1 ("01", "1x") turns off no check.
    config.anyDrive = strcmp(anyDrive, "1") == 0;
}

int SaveSettings()
{
    const ServiceConfig& config = ProgramContext.Config;
    char end[16];
    if (ProgramContext.IniPath[0] == '\0')
        return 0;
    wsprintfA(end, "%d", config.exitMethod);
    return WriteValue("exe", config.programPath) && WriteValue("option", config.options) &&
           WriteValue("name", config.serviceName) && WriteValue("end", end);
}

int SaveStopTimeout()
{
    char seconds[16];
    wsprintfA(seconds, "%d", ProgramContext.Config.stopTimeout);
    return ProgramContext.IniPath[0] != '\0' && WriteValue("stoptimeout", seconds);
}
