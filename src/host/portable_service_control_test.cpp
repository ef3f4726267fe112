#include "host/portable_service_control.h"

#include <gtest/gtest.h>

namespace {

// Each control in each moment of the service's life. The preshutdown path is
// proven here: Wine's service manager never sends it.
TEST(ServiceControl, WhatTheHandlerDoes)
{
    const struct {
        uint32_t control;
        int stopTaken, stopRecorded, finalReported;
        ControlAction action;
    } cases[] = {
        // Running: a stop, a shutdown and a preshutdown each begin the stop.
        {KAVO_CONTROL_STOP, 0, 0, 0, kControlBeginsStop},
        {KAVO_CONTROL_SHUTDOWN, 0, 0, 0, kControlBeginsStop},
        {KAVO_CONTROL_PRESHUTDOWN, 0, 0, 0, kControlBeginsStop},
        // Stopping: a shutdown after the preshutdown, or a second stop, changes nothing.
        {KAVO_CONTROL_SHUTDOWN, 1, 1, 0, kControlAnswered},
        {KAVO_CONTROL_STOP, 1, 1, 0, kControlAnswered},
        // The program ended by itself, the final report not yet made: the stop
        // is recorded and answered, not lost.
        {KAVO_CONTROL_STOP, 1, 0, 0, kControlJoinsEnd},
        {KAVO_CONTROL_PRESHUTDOWN, 1, 0, 0, kControlJoinsEnd},
        // Once the final report is made, nothing more is reported.
        {KAVO_CONTROL_STOP, 1, 0, 1, kControlAnswered},
        {KAVO_CONTROL_INTERROGATE, 0, 0, 0, kControlAnswered},
        {KAVO_CONTROL_INTERROGATE, 1, 1, 1, kControlAnswered},
        {2, 0, 0, 0, kControlNotHandled},    // pause
        {0x40, 0, 0, 0, kControlNotHandled}, // time change
        {128, 1, 0, 0, kControlNotHandled},  // a user-defined control
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.action, DecideControl(c.control, c.stopTaken, c.stopRecorded, c.finalReported))
            << c.control << " " << c.stopTaken << c.stopRecorded << c.finalReported;
}

TEST(ServiceControl, AcceptedByWindowsVersion)
{
    const uint32_t stopAndShutdown = KAVO_ACCEPT_STOP | KAVO_ACCEPT_SHUTDOWN;
    const struct {
        uint32_t state, version, accepted;
        int nestsJobs;
    } cases[] = {
        {4, KAVO_WINDOWS_VERSION(4, 0), stopAndShutdown, 0},    // NT 4
        {4, KAVO_WINDOWS_VERSION(5, 0), stopAndShutdown, 0},    // 2000
        {4, KAVO_WINDOWS_VERSION(5, 2), stopAndShutdown, 0},    // XP x64, 2003
        {4, KAVO_WINDOWS_VERSION(6, 0), stopAndShutdown | KAVO_ACCEPT_PRESHUTDOWN, 0},   // Vista
        {3, KAVO_WINDOWS_VERSION(6, 1), stopAndShutdown | KAVO_ACCEPT_PRESHUTDOWN, 0},   // 7, stopping
        {4, KAVO_WINDOWS_VERSION(6, 2), stopAndShutdown | KAVO_ACCEPT_PRESHUTDOWN, 1},   // 8 and later
        {4, KAVO_WINDOWS_VERSION(10, 0), stopAndShutdown | KAVO_ACCEPT_PRESHUTDOWN, 1},
        {2, KAVO_WINDOWS_VERSION(10, 0), 0, 1},   // starting: nothing
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.accepted, ControlsAccepted(c.state, c.version)) << c.state << " " << c.version;
        EXPECT_EQ(c.nestsJobs, NestsJobs(c.version)) << c.version;
    }
}

}  // namespace
