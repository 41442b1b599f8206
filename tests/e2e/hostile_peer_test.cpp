// Peers that are not a meter: no reading is made up, the decoder's buffer stays
// short, and a meter answering afterwards is read as it is.
#include "bench/hostile_peers.h"
#include <gtest/gtest.h>

namespace {
#if defined(__SANITIZE_ADDRESS__)
// The address sanitizer keeps freed memory in quarantine: resident size says nothing there.
constexpr double ResidentGrowthBoundMiB = 1e9;
#else
constexpr double ResidentGrowthBoundMiB = 20.0;
#endif
} // namespace

TEST(HostilePeer, NeitherNoiseNorSilenceIsTakenForAReading)
{
    for (Hostility h : {Hostility::RandomBytes, Hostility::StartBytes, Hostility::HeaderThenNothing,
                        Hostility::ByteEvery90ms, Hostility::Flood}) {
        SCOPED_TRACE(HostilityName(h));
        const HostileFigures f = RunHostilePeer(h, 1200);
        EXPECT_GT(f.bytesSent, 0);
        EXPECT_EQ(f.readingsShown, 0);
        EXPECT_LT(f.bufferedMax, 115);
        EXPECT_LT(f.residentGrowthMiB, ResidentGrowthBoundMiB);
        EXPECT_TRUE(f.meterReadAfterwards);
    }
}
