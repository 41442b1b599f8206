// A short unplug soak: every unplug ends in readings again, without a single box.
#include "bench/unplug_soak.h"
#include <gtest/gtest.h>

TEST(UnplugSoak, EveryReplugReconnectsWithoutABox)
{
    const SoakFigures f = RunUnplugSoak(5, 500);
    EXPECT_EQ(f.cycles, 5);
    EXPECT_EQ(f.reconnects, f.cycles);
    EXPECT_EQ(f.messageBoxes, 0);
}
