#include "kavo_service.h"

#include <gtest/gtest.h>
#include <stdlib.h>

std::string QuotedPath(const std::string& path)
{
    return path.find(' ') == std::string::npos ? path : "\"" + path + "\"";
}

KavoService::KavoService(const std::string& name, const std::string& folder) : guard(name)
{
    dir = MakeWorkDir(folder);
    log = dir + "\\child.log";
    EXPECT_TRUE(CopyFileTo(KavoExePath(), ExePath())) << dir;
}

bool KavoService::RegisterAt(Where where, const std::string& ini)
{
    if (!ini.empty() && !WriteFileBytes(IniPath(), ini)) {
        ADD_FAILURE_AT(where.file, where.line) << "cannot write " << IniPath();
        return false;
    }
    return CreateServiceAt(where, guard.name, QuotedPath(ExePath()));
}

DWORD KavoService::ChildIdAt(Where where)
{
    std::string line = WaitForLogLineAt(where, log, "start ");
    return line.empty() ? 0 : strtoul(line.c_str() + 6, NULL, 10);
}

DWORD ServiceProcessId(const std::string& name)
{
    DWORD processId = 0;
    SC_HANDLE manager = OpenSCManagerA(NULL, NULL, SC_MANAGER_CONNECT);
    SC_HANDLE service = manager ? OpenServiceA(manager, name.c_str(), SERVICE_QUERY_STATUS) : NULL;
    SERVICE_STATUS_PROCESS status;
    DWORD needed = 0;
    if (service && QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, (BYTE*)&status, sizeof status, &needed))
        processId = status.dwProcessId;
    if (service)
        CloseServiceHandle(service);
    if (manager)
        CloseServiceHandle(manager);
    return processId;
}
