#include "scm/portable_service_wait.h"

#include <gtest/gtest.h>

namespace {

// A wait of 20 s begun at tick 1000, then statuses read one after another.
TEST(ServiceWait, GoesOnWhileTheServiceShowsProgressWithinTheLimit)
{
    const struct {
        const char* what;
        struct {
            uint32_t state, checkPoint, waitHint, now;
            int goesOn;
        } reads[4];
    } cases[] = {
        {"progress within each hint",
         {{3, 1, 5000, 1000, 1}, {3, 2, 3000, 6000, 1}, {3, 3, 3000, 12000, 1}, {1, 0, 0, 12500, 1}}},
        {"no progress for the hint and the margin",
         {{3, 1, 5000, 1000, 1}, {3, 1, 5000, 8999, 1}, {3, 1, 5000, 9000, 0}, {3, 1, 5000, 9000, 0}}},
        {"a new state is progress",
         {{4, 0, 0, 1000, 1}, {3, 1, 1000, 3999, 1}, {3, 1, 1000, 7998, 1}, {3, 1, 1000, 7999, 0}}},
        {"the limit ends it whatever the progress",
         {{3, 1, 3000, 1000, 1}, {3, 2, 3000, 20999, 1}, {3, 3, 3000, 21000, 0}, {3, 4, 3000, 21000, 0}}},
        {"a hint past the limit counts as the limit",
         {{3, 1, 0xFFFFFFFFu, 1000, 1}, {3, 1, 0xFFFFFFFFu, 20999, 1}, {3, 1, 0xFFFFFFFFu, 21000, 0}, {3, 1, 0, 21000, 0}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ServiceWait wait;
        BeginServiceWait(&wait, 1000, 20000);
        for (const auto& read : c.reads)
            EXPECT_EQ(read.goesOn, ServiceWaitGoesOn(&wait, read.state, read.checkPoint, read.waitHint, read.now))
                << "at " << read.now;
    }
}

TEST(ServiceWait, LooksAgainSoonAtFirstAndLessOftenLater)
{
    const struct {
        uint32_t start, now, pollMs;
    } cases[] = {{1000, 1000, 10}, {1000, 3000, 200}, {1000, 60000, 500}, {0xFFFFFF00u, 0x00000100u, 51}};
    for (const auto& c : cases) {
        ServiceWait wait;
        BeginServiceWait(&wait, c.start, 20000);
        EXPECT_EQ(c.pollMs, ServiceWaitPollMs(&wait, c.now)) << c.start << " " << c.now;
    }
}

}  // namespace
