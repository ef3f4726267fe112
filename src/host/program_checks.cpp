#include "host/program_checks.h"

#include <winternl.h>

#include "entry/context.h"
#include "entry/display.h"
#include "entry/load_proc.h"
#include "text/text.h"

// Room for a name the system writes in UTF-16: the longest path there is.
enum { WIDE_NAME_SIZE = 32768 };

int ReadFinalPath(const HeldProgram* program, char* path, size_t size)
{
    if (size)
        path[0] = '\0';
    DWORD(WINAPI * getFinalPathNameByHandle)(HANDLE, LPWSTR, DWORD, DWORD);
    LoadProc(&getFinalPathNameByHandle, GetModuleHandleA("kernel32.dll"), "GetFinalPathNameByHandleW");
    if (!getFinalPathNameByHandle || program->handle == INVALID_HANDLE_VALUE)
        return 0;
    WCHAR* wide = (WCHAR*)LocalAlloc(LMEM_FIXED, WIDE_NAME_SIZE * sizeof(WCHAR));
    if (!wide)
        return -1;
    DWORD length = getFinalPathNameByHandle(program->handle, wide, WIDE_NAME_SIZE,
                                            FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    // A volume without a drive letter (mounted in a folder) is named by its GUID.
    if (length == 0 && GetLastError() == ERROR_PATH_NOT_FOUND)
        length = getFinalPathNameByHandle(program->handle, wide, WIDE_NAME_SIZE,
                                          FILE_NAME_NORMALIZED | VOLUME_NAME_GUID);
    // The code page must hold every character: a character changed to a
    // look-alike would name another file.
    // Room for the longest path kavo judges and the "\\?\UNC" before it.
    char finalPath[TEXT_SIZE + 8];
    int converted = length > 0 && length < WIDE_NAME_SIZE && ConvertToAnsiText(wide, finalPath, sizeof finalPath);
    DWORD error = GetLastError();
    LocalFree(wide);
    // A file system that cannot tell (a driver without the query) leaves
    // the path as written, as on the systems without the function; a path
    // that exists but cannot be named cannot be judged.
    if (length == 0)
        return error == ERROR_PATH_NOT_FOUND ? -1 : 0;
    if (!converted || !FormPathOfFinalPath(finalPath, path, size))
        return -1;
    if (lstrcmpiA(path, program->file) == 0) {
        path[0] = '\0';
        return 0;
    }
    return 1;
}

int ReadFinalPathOfLaunch(HeldProgram* launch, const char* programPath, const char* options, char* path,
                          size_t size)
{
    HoldProgram(launch, programPath, options);
    int read = ReadFinalPath(launch, path, size);
    ReleaseProgram(launch);
    return read;
}

static DriveKind ReadDriveKind(const char* path)
{
    char root[TEXT_SIZE];
    switch (FormDriveRoot(path, root, sizeof root)) {
    case kRemoteByForm:
        return kDriveRemote;
    case kUnknownByForm:
        return kDriveUnknown;
    default:
        return KindOfDriveType(GetDriveTypeA(root[0] ? root : NULL));
    }
}

int CheckDrive(const char* path, int anyDriveAllowed, char* found, size_t foundSize)
{
    if (path[0] == '\0' || IsDriveAllowed(ReadDriveKind(path), anyDriveAllowed))
        return 1;
    CopyText(found, foundSize, path);
    return 0;
}

PlaceFinding CheckProgramPlace(const HeldProgram* program, const char* finalPath, int withKavo,
                               int anyDriveAllowed, char* found, size_t foundSize)
{
    if (foundSize)
        found[0] = '\0';
    if (IsScriptProgram(program->file)) {
        CopyText(found, foundSize, program->file);
        return kPlaceScript;
    }
    int local = (!withKavo || CheckDrive(ProgramContext.ModulePath, anyDriveAllowed, found, foundSize)) &&
                CheckDrive(program->file, anyDriveAllowed, found, foundSize) &&
                CheckDrive(finalPath, anyDriveAllowed, found, foundSize);
    return local ? kPlaceAllowed : kPlaceNotLocal;
}

// The functions that name a process's image and a file handle in the
// system's own form, looked up: QueryFullProcessImageNameW since Vista, the
// ntdll queries since XP. Windows 2000 has neither image query.
static struct {
    BOOL(WINAPI* QueryFullProcessImageNameW)(HANDLE, DWORD, LPWSTR, PDWORD);
    DWORD(WINAPI* GetFinalPathNameByHandleW)(HANDLE, LPWSTR, DWORD, DWORD);
    NTSTATUS(WINAPI* NtQueryInformationProcess)(HANDLE, PROCESSINFOCLASS, PVOID, ULONG, PULONG);
    NTSTATUS(WINAPI* NtQueryObject)(HANDLE, OBJECT_INFORMATION_CLASS, PVOID, ULONG, PULONG);
} NameFunctions;

static void LoadNameFunctions()
{
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    LoadProc(&NameFunctions.QueryFullProcessImageNameW, kernel, "QueryFullProcessImageNameW");
    LoadProc(&NameFunctions.GetFinalPathNameByHandleW, kernel, "GetFinalPathNameByHandleW");
    LoadProc(&NameFunctions.NtQueryInformationProcess, ntdll, "NtQueryInformationProcess");
    LoadProc(&NameFunctions.NtQueryObject, ntdll, "NtQueryObject");
}

// Two names of one form, each wide[WIDE_NAME_SIZE]; lengths in units, 0 when not read.
struct NamePair {
    WCHAR* held;
    WCHAR* image;
    DWORD heldLength;
    DWORD imageLength;
};

// The documented pair (Vista and later): the image's and the handle's names
// as device paths ("\Device\HarddiskVolume2\...").
static void ReadWin32Names(HANDLE process, HANDLE held, NamePair* names)
{
    const DWORD kProcessNameNative = 1;   // PROCESS_NAME_NATIVE
    DWORD size = WIDE_NAME_SIZE;
    if (!NameFunctions.QueryFullProcessImageNameW || !NameFunctions.GetFinalPathNameByHandleW ||
        !NameFunctions.QueryFullProcessImageNameW(process, kProcessNameNative, names->image, &size))
        return;
    DWORD length = NameFunctions.GetFinalPathNameByHandleW(held, names->held, WIDE_NAME_SIZE,
                                                           FILE_NAME_OPENED | VOLUME_NAME_NT);
    if (length == 0 || length >= WIDE_NAME_SIZE)
        return;
    names->imageLength = size;
    names->heldLength = length;
}

// The ntdll pair (XP and later): the image's and the handle's names in the
// system's own form ("\Device\HarddiskVolume2\..."; Wine: "\??\C:\...").
static void ReadNtNames(HANDLE process, HANDLE held, NamePair* names)
{
    const ULONG bufferSize = WIDE_NAME_SIZE * sizeof(WCHAR);
    const PROCESSINFOCLASS kProcessImageFileName = (PROCESSINFOCLASS)27;
    const OBJECT_INFORMATION_CLASS kObjectNameInformation = (OBJECT_INFORMATION_CLASS)1;
    if (!NameFunctions.NtQueryInformationProcess || !NameFunctions.NtQueryObject)
        return;
    UNICODE_STRING* image = (UNICODE_STRING*)LocalAlloc(LMEM_FIXED, bufferSize);
    UNICODE_STRING* heldName = (UNICODE_STRING*)LocalAlloc(LMEM_FIXED, bufferSize);
    ULONG returned = 0;
    if (image && heldName &&
        NT_SUCCESS(NameFunctions.NtQueryInformationProcess(process, kProcessImageFileName, image,
                                                           bufferSize - sizeof(WCHAR), &returned)) &&
        NT_SUCCESS(NameFunctions.NtQueryObject(held, kObjectNameInformation, heldName, bufferSize - sizeof(WCHAR),
                                               &returned)) &&
        image->Buffer && heldName->Buffer && image->Length / sizeof(WCHAR) < WIDE_NAME_SIZE &&
        heldName->Length / sizeof(WCHAR) < WIDE_NAME_SIZE) {
        names->imageLength = image->Length / sizeof(WCHAR);
        names->heldLength = heldName->Length / sizeof(WCHAR);
        CopyMemory(names->image, image->Buffer, image->Length);
        CopyMemory(names->held, heldName->Buffer, heldName->Length);
    }
    if (heldName)
        LocalFree(heldName);
    if (image)
        LocalFree(image);
}

static int ReadIdentity(HANDLE file, FileIdentity* id)
{
    BY_HANDLE_FILE_INFORMATION information;
    if (!GetFileInformationByHandle(file, &information))
        return 0;
    id->volumeSerial = information.dwVolumeSerialNumber;
    id->indexHigh = information.nFileIndexHigh;
    id->indexLow = information.nFileIndexLow;
    return 1;
}

// The file the image's device path names now, opened for its attributes only
// (which no sharing refuses): "\\?\GLOBALROOT" before a device path, "\\?\"
// for "\??\".
static int ReadIdentityOfName(const WCHAR* name, DWORD length, FileIdentity* id)
{
    static const WCHAR kGlobalRoot[] = L"\\\\?\\GLOBALROOT";
    const DWORD kRootLength = sizeof kGlobalRoot / sizeof(WCHAR) - 1;
    WCHAR* path = (WCHAR*)LocalAlloc(LMEM_FIXED, (WIDE_NAME_SIZE + kRootLength + 1) * sizeof(WCHAR));
    if (!path)
        return 0;
    if (length >= 4 && name[0] == L'\\' && name[1] == L'?' && name[2] == L'?' && name[3] == L'\\') {
        CopyMemory(path, name, length * sizeof(WCHAR));
        path[1] = L'\\';
        path[length] = L'\0';
    } else {
        CopyMemory(path, kGlobalRoot, kRootLength * sizeof(WCHAR));
        CopyMemory(path + kRootLength, name, length * sizeof(WCHAR));
        path[kRootLength + length] = L'\0';
    }
    HANDLE file = CreateFileW(path, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              NULL, OPEN_EXISTING, 0, NULL);
    LocalFree(path);
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    int read = ReadIdentity(file, id);
    CloseHandle(file);
    return read;
}

// One way to name the image and the held file, in the same form.
typedef void (*NameReader)(HANDLE process, HANDLE held, NamePair* names);

ImageFinding CheckImageIsHeld(HANDLE process, const HeldProgram* program)
{
    LoadNameFunctions();
    int systemNamesImages = NameFunctions.QueryFullProcessImageNameW || NameFunctions.NtQueryInformationProcess;
    NamePair names = {NULL, NULL, 0, 0};
    names.held = (WCHAR*)LocalAlloc(LMEM_FIXED, WIDE_NAME_SIZE * sizeof(WCHAR));
    names.image = (WCHAR*)LocalAlloc(LMEM_FIXED, WIDE_NAME_SIZE * sizeof(WCHAR));
    FileIdentity heldId, imageId;
    int heldRead = names.held && names.image && ReadIdentity(program->handle, &heldId);
    int imageRead = 0;
    // The ntdll pair first: its device paths open again on every system
    // (Wine opens no "\\?\GLOBALROOT" path); the other where it fails.
    const NameReader readers[] = {ReadNtNames, ReadWin32Names};
    for (int i = 0; heldRead && !imageRead && i < 2; ++i) {
        names.heldLength = names.imageLength = 0;
        readers[i](process, program->handle, &names);
        imageRead = names.imageLength && ReadIdentityOfName(names.image, names.imageLength, &imageId);
    }
    SystemName held = {names.heldLength ? (const uint16_t*)names.held : NULL, names.heldLength};
    SystemName image = {names.imageLength ? (const uint16_t*)names.image : NULL, names.imageLength};
    ImageFinding finding = JudgeImage(systemNamesImages, held, image, heldRead ? &heldId : NULL,
                                      imageRead ? &imageId : NULL);
    if (names.image)
        LocalFree(names.image);
    if (names.held)
        LocalFree(names.held);
    return finding;
}
