// The main window against peers that are not a meter: stalls, CPU, memory, decoder
// buffer, false readings, and whether a meter is read right afterwards. Prints figures.
#include "bench/hostile_peers.h"
#include <QApplication>
#include <cstdio>

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(1, atoi(argv[1])) : 10;
    std::printf("%-30s %9s %9s %7s %8s %9s %8s %7s\n", "peer", "stall p99", "stall max", "CPU %", "buffered",
                "readings", "RSS +MiB", "after");
    for (Hostility h : {Hostility::RandomBytes, Hostility::StartBytes, Hostility::HeaderThenNothing,
                        Hostility::ByteEvery90ms, Hostility::Flood}) {
        const HostileFigures f = RunHostilePeer(h, seconds * 1000);
        std::printf("%-30s %9.2f %9.2f %7.1f %8d %9d %8.2f %7s   (%lld bytes)\n", HostilityName(h), f.stallP99Ms,
                    f.stallMaxMs, f.cpuPercent, f.bufferedMax, f.readingsShown, f.residentGrowthMiB,
                    f.meterReadAfterwards ? "read" : "MISSED", static_cast<long long>(f.bytesSent));
    }
    return 0;
}
