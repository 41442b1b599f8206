#pragma once
// Unplugs and replugs the simulated meter again and again while the main window
// polls it (with the settings and calibration windows open and polling too), and
// measures what an engineer would notice: reconnects, the time to readings again,
// CPU while the meter is away, memory, and message boxes.
#include "bench/bench_support.h"
#include "ui/common/message_presenter.h"
#include "ui/main/form_main.h"
#include "sim/meter_server.h"
#include "ui/calibration/form_kalibrovka.h"
#include "ui/calibration/tab_termo.h"
#include "ui/common/tool_bar.h"
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

// Answers every box at once and counts it.
class CountingPresenter : public MessagePresenter
{
public:
    QMessageBox::StandardButton present(QWidget *, const MessageBoxRequest &) override
    {
        ++count;
        return QMessageBox::Ok;
    }
    int count = 0;
};

struct SoakFigures
{
    int cycles = 0;
    int reconnects = 0;
    double longestToReadingsMs = 0;
    double cpuWhileUnpluggedPercent = 0;
    double residentStartMiB = 0;
    double residentEndMiB = 0;
    int messageBoxes = 0;
};

inline SoakFigures RunUnplugSoak(int cycles, int unpluggedMs = 1500)
{
    SoakFigures f;
    QTemporaryDir dir;
    SimOptions options;
    options.linkPath = dir.filePath(QStringLiteral("meter")); // the port path disappears and comes back
    options.returnAfterMs = unpluggedMs;
    MeterServer meter(options);
    if (!meter.start())
        return f;
    CountingPresenter boxes;
    ScopedMessagePresenter presenter(boxes);
    // The system's ports are scanned as well, as on an engineer's machine.
    TDM_1 dm(std::make_unique<CandidatePorts>(QList<VirtualPort>{{meter.devicePath(), QStringLiteral("KESTRO SIM")}},
                                              CreateSystemPortEnumerator()));
    TForm_Main main(dm);
    main.show();
    main.ToolButton_Port->click();
    main.ToolButton_Settings->click();
    main.ToolButton_Kalibr->click();
    if (auto *kalibr = main.findChild<TForm_Kalibrovka *>())
        kalibr->TabSheet1->Button_Start_opros_ADC_Termo->click();

    int readings = 0;
    const auto show = dm.OnMainTextChange;
    dm.OnMainTextChange = [&](QObject *s, const TQ_main &q) {
        ++readings;
        show(s, q);
    };
    (void)QTest::qWaitFor([&] { return readings > 0; }, 3000);
    f.residentStartMiB = ResidentMiB();

    double cpuAway = 0, wallAway = 0;
    for (int i = 0; i < cycles; ++i) {
        ++f.cycles;
        meter.hangUp();
        // Away: every window looks for the meter on each of its ticks.
        QElapsedTimer away;
        away.start();
        const double cpu0 = CpuSeconds();
        (void)QTest::qWaitFor([&] { return meter.isServing(); }, unpluggedMs + 2000);
        cpuAway += CpuSeconds() - cpu0;
        wallAway += double(away.nsecsElapsed()) / 1e9;
        // Back: how long until the main window shows readings again.
        QElapsedTimer back;
        back.start();
        const int before = readings;
        if (QTest::qWaitFor([&] { return readings > before; }, 5000)) {
            ++f.reconnects;
            f.longestToReadingsMs = std::max(f.longestToReadingsMs, double(back.nsecsElapsed()) / 1e6);
        }
    }
    f.residentEndMiB = ResidentMiB();
    f.cpuWhileUnpluggedPercent = wallAway > 0 ? 100.0 * cpuAway / wallAway : 0;
    f.messageBoxes = boxes.count;
    dm.OnMainTextChange = show;
    return f;
}
