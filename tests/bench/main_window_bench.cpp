// Responsiveness of the main window against the simulated meter at 19200-baud byte
// timing: event-loop stalls, request-to-display time and CPU use. Prints figures.
#include "app/demo_meter.h"
#include "bench_support.h"
#include "link/candidate_ports.h"
#include "link/dm1.h"
#include "ui/main/form_main.h"
#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <QToolButton>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "records/live_log.h"
#include <QTemporaryDir>
#include <cstring>

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(1, atoi(argv[1])) : 20;

    BenchRig rig;
    if (!rig.start())
        return 1;
    TDM_1 &dm = *rig.dm;

    QElapsedTimer clock;
    clock.start();

    // Request leaves (handed to the port) -> nine texts in the edits.
    const QByteArray liveRequest = QByteArray::fromHex("1f000001001855");
    std::vector<double> latencies;
    qint64 sentAtNs = -1;
    QObject::connect(&dm.pacer(), &TransmitPacer::frameWritten, &app, [&](const QByteArray &frame, bool) {
        if (frame == liveRequest)
            sentAtNs = clock.nsecsElapsed();
    });
    auto showReadings = dm.OnMainTextChange;
    dm.OnMainTextChange = [&](QObject *sender, const TQ_main &q) {
        showReadings(sender, q);
        if (sentAtNs >= 0)
            latencies.push_back(double(clock.nsecsElapsed() - sentAtNs) / 1e6);
        sentAtNs = -1;
    };

    // "log" as the second argument: every answer also goes to a CSV file, as with
    // "Запись в файл…".
    QTemporaryDir logDir;
    TLiveLog log(dm);
    const bool logging = argc > 2 && std::strcmp(argv[2], "log") == 0;
    QString logError;
    if (logging && !log.start(logDir.filePath(QStringLiteral("live.csv")), &logError)) {
        std::fprintf(stderr, "%s\n", qPrintable(logError));
        return 1;
    }

    StallProbe probe;

    const double cpuBefore = CpuSeconds();
    QTimer::singleShot(seconds * 1000, &app, &QApplication::quit);
    app.exec();
    const double cpu = CpuSeconds() - cpuBefore;

    // 7-byte request + 55-byte answer, 10 bits a byte at 19200 baud.
    const double wireMs = (7 + 55) * 10.0 / 19200.0 * 1000.0;
    std::printf("main window against the simulated meter, 19200-baud byte timing, %d s%s\n", seconds,
                logging ? ", live log on" : "");
    if (logging) {
        std::printf("rows logged:              %lld\n", log.rows());
        // The cost of one row's text, apart from the wire and the disk.
        QElapsedTimer rowClock;
        rowClock.start();
        constexpr int RowRuns = 10000;
        qsizetype chars = 0;
        for (int i = 0; i < RowRuns; ++i)
            chars += LiveCsv::Row(QDateTime::currentDateTime(), {1, 2.5f, 3, 4, 5, 6, 7, 8, float(i)}, QLocale()).size();
        std::printf("one row's text (us):      %.2f (%lld chars)\n", double(rowClock.nsecsElapsed()) / RowRuns / 1000.0,
                    qint64(chars / RowRuns));
    }
    std::printf("answers shown:            %zu (Tx %d, Rx %d)\n", latencies.size(), dm.USBWork().CntRxTx.tx(),
                dm.USBWork().CntRxTx.rx());
    probe.print("event-loop stall (ms):   ");
    std::printf("request to display (ms):  p50 %.2f  p99 %.2f  (wire time %.1f)\n", Percentile(latencies, 50),
                Percentile(latencies, 99), wireMs);
    std::printf("CPU time (s):             %.3f over %d s (%.1f %%), simulator thread included\n", cpu, seconds,
                100.0 * cpu / seconds);
    dm.OnMainTextChange = nullptr;
    return 0;
}
