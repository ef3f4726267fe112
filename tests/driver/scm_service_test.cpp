// The service control manager operations, called in-process on a copy of kavo.exe.
#include <gtest/gtest.h>
#include <string.h>

#include "entry/context.h"
#include "scm/scm.h"
#include "support/dialog_driver.h"
#include "support/kavo_service.h"
#include "support/support.h"

namespace {

// A copy of kavo.exe in a folder of its own, with kavo's paths and service name set to it.
struct KavoCopy : KavoService {
    KavoCopy(const std::string& name, const std::string& folder) : KavoService(name, folder)
    {
        SetProgramPaths(ExePath().c_str());
        strcpy(ProgramContext.Config.serviceName, name.c_str());
    }
};

TEST(ScmService, RegistrationParameters)
{
    const struct {
        const char* folder;
        bool quoted;
    } cases[] = {{"scm_register", false}, {"scm register with space", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.folder);
        KavoCopy kavo(std::string("kavo_reg_") + (c.quoted ? "space" : "plain"), c.folder);
        ASSERT_EQ(1, RegisterAsService(SERVICE_DEMAND_START));
        ServiceRegistration registration = ReadServiceRegistration(kavo.guard.name);
        ASSERT_TRUE(registration.found);
        EXPECT_EQ((DWORD)SERVICE_WIN32_OWN_PROCESS, registration.serviceType);
        EXPECT_EQ((DWORD)SERVICE_DEMAND_START, registration.startType);
        EXPECT_EQ((DWORD)SERVICE_ERROR_NORMAL, registration.errorControl);
        EXPECT_EQ(c.quoted ? "\"" + kavo.ExePath() + "\"" : kavo.ExePath(), registration.binaryPath);
        EXPECT_EQ("", registration.loadOrderGroup);
        EXPECT_EQ("", registration.dependencies);
        EXPECT_EQ("LocalSystem", registration.account);
        EXPECT_EQ(kavo.guard.name, registration.displayName);
        EXPECT_EQ(0u, registration.tagId);
    }
}

TEST(ScmService, NamesTheManagerRefuses)
{
    KavoCopy existing("kavo_exists", "scm_refused");
    ASSERT_EQ(1, RegisterAsService(SERVICE_DEMAND_START));
    EXPECT_EQ(0, RegisterAsService(SERVICE_DEMAND_START));

    ServiceGuard backslash("kavo\\slash");
    strcpy(ProgramContext.Config.serviceName, backslash.name.c_str());
    EXPECT_EQ(0, RegisterAsService(SERVICE_DEMAND_START));
    EXPECT_FALSE(ReadServiceRegistration(backslash.name).found);

    // Nothing to start or remove under a name that is not registered, nor
    // under one that another program file's service holds.
    strcpy(ProgramContext.Config.serviceName, "kavo_never_registered");
    EXPECT_EQ(0, StartRegisteredService());
    EXPECT_EQ(0, RemoveService());
    ServiceGuard others("kavo_others");
    ASSERT_TRUE(CreateServiceFor(others.name, "\"C:\\windows\\system32\\notepad.exe\""));
    strcpy(ProgramContext.Config.serviceName, others.name.c_str());
    EXPECT_EQ(0, RemoveService());
    EXPECT_TRUE(ReadServiceRegistration(others.name).found);
}

// Registered by RegisterAsService, hosting the hosted test program; started when asked.
struct HostingService : KavoCopy {
    HostingService(const std::string& name, bool start) : KavoCopy(name, "scm_" + name)
    {
        WriteFileBytes(IniPath(), KavoIni(HostedChildPath(), log, name, "0"));
        EXPECT_EQ(1, RegisterAsService(SERVICE_DEMAND_START));
        if (start) {
            EXPECT_EQ(1, StartRegisteredService());
            WaitForServiceState(name, SERVICE_RUNNING);
        }
    }
};

TEST(ScmService, ProbeAsksTheServiceToStop)
{
    const struct {
        bool running;
    } cases[] = {{true}, {false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.running ? "running" : "stopped");
        HostingService service(c.running ? "kavo_probe_running" : "kavo_probe_stopped", c.running);
        ProgramContext.IsRegistered = ProgramContext.WasRunning = 0;
        ProbeRegisteredService();
        EXPECT_EQ(1, ProgramContext.IsRegistered);
        EXPECT_EQ(c.running ? 1 : 0, ProgramContext.WasRunning);
        WaitForServiceState(service.guard.name, SERVICE_STOPPED);
    }

    strcpy(ProgramContext.Config.serviceName, "kavo_probe_missing");
    ProgramContext.IsRegistered = ProgramContext.WasRunning = 0;
    ProbeRegisteredService();
    EXPECT_EQ(0, ProgramContext.IsRegistered);
    EXPECT_EQ(0, ProgramContext.WasRunning);
}

TEST(ScmService, RemoveRunningAndStoppedServices)
{
    for (bool running : {true, false}) {
        SCOPED_TRACE(running ? "running" : "stopped");
        HostingService service(running ? "kavo_remove_running" : "kavo_remove_stopped", running);
        EXPECT_EQ(1, RemoveService());
        // A running service goes once it has stopped.
        EXPECT_TRUE(PollUntil([&] { return !ReadServiceRegistration(service.guard.name).found; }, kExitDeadline));
    }
}

}  // namespace
