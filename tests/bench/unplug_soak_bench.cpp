// The unplug soak: N cycles of unplugging and replugging the simulated meter while
// every window polls. Prints figures.
#include "bench/unplug_soak.h"
#include <QApplication>
#include <cstdio>

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int cycles = argc > 1 ? std::max(1, atoi(argv[1])) : 100;
    const SoakFigures f = RunUnplugSoak(cycles);
    std::printf("unplug soak, %d cycles, main + settings + calibration windows polling\n", f.cycles);
    std::printf("reconnects:               %d / %d\n", f.reconnects, f.cycles);
    std::printf("longest time to readings: %.0f ms after the meter came back\n", f.longestToReadingsMs);
    std::printf("CPU while unplugged:      %.2f %% of a core\n", f.cpuWhileUnpluggedPercent);
    std::printf("resident memory:          %.1f MiB -> %.1f MiB (%+.2f MiB)\n", f.residentStartMiB, f.residentEndMiB,
                f.residentEndMiB - f.residentStartMiB);
    std::printf("message boxes:            %d\n", f.messageBoxes);
    return 0;
}
