// The calibration workbench under load: the main window and the calibration window
// with every live poll on, against the simulated meter at 19200-baud byte timing.
// Prints event-loop stalls, traffic and CPU; then fills every live chart with a
// 12-hour shift at full polling (two points a second: 86,400 a series, every point
// kept) and prints one append + redraw and the memory it took.
#include "app/demo_meter.h"
#include "bench_support.h"
#include "link/candidate_ports.h"
#include "link/dm1.h"
#include "ui/calibration/form_kalibrovka.h"
#include "ui/calibration/live_chart.h"
#include "ui/calibration/tab_termo.h"
#include "ui/calibration/tab_zero.h"
#include "ui/common/tool_bar.h"
#include "ui/main/form_main.h"
#include <QApplication>
#include <QEventLoop>
#include <QPushButton>
#include <QTabWidget>
#include <cmath>
#include <cstdio>

namespace {

constexpr int DayOfPoints = 86400; // 12 h at one point per 500 ms tick

struct ChartUnderTest
{
    const char *name;
    QWidget *tab;
    TLiveChart *chart;
};

// One more point on every series of the chart, then the redraw a user would see.
std::vector<double> appendAndRedraw(QTabWidget &pages, const ChartUnderTest &c, QDateTime &at, int rounds)
{
    pages.setCurrentWidget(c.tab);
    QApplication::processEvents();
    std::vector<double> ms;
    QElapsedTimer clock;
    for (int i = 0; i < rounds; ++i) {
        at = at.addSecs(1);
        clock.start();
        for (int s = 0; s < c.chart->seriesCount(); ++s)
            c.chart->append(s, at, 100.0 + std::sin(i * 0.1));
        c.chart->redrawNow();
        c.chart->repaint();
        ms.push_back(double(clock.nsecsElapsed()) / 1e6);
    }
    return ms;
}

} // namespace

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
    TForm_Main &main = *rig.window;
    main.ToolButton_Kalibr->click();
    auto *form = main.findChild<TForm_Kalibrovka *>();
    if (!form) {
        std::fprintf(stderr, "the calibration window did not open\n");
        return 1;
    }
    form->TabSheet1->Button_Start_opros_ADC_Termo->click();
    form->TabSheet2->Button_Start_opros_0_Termo->click();
    form->Opros_Rashod_Kalibr_enable = true;
    form->Opros_Rashod_Poverka_enable = true;
    form->PageControl1->setCurrentWidget(form->TabSheet2);

    StallProbe probe;
    const double cpuBefore = CpuSeconds();
    // A loop of its own: quitting the application would close the windows.
    QEventLoop loop;
    QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
    loop.exec();
    probe.stop();
    const double cpu = CpuSeconds() - cpuBefore;

    std::printf("main + calibration window, every live poll on, 19200-baud byte timing, %d s\n", seconds);
    std::printf("traffic:                  Tx %d, Rx %d\n", dm.USBWork().CntRxTx.tx(), dm.USBWork().CntRxTx.rx());
    probe.print("event-loop stall (ms):   ");
    std::printf("CPU time (s):             %.3f over %d s (%.1f %%), simulator thread included\n", cpu, seconds,
                100.0 * cpu / seconds);

    // Stop polling, so only the charts are measured from here on.
    main.ToolButton_PortClick();
    form->Timer_1->stop();
    const ChartUnderTest charts[] = {
        {"thermometer (1 series)", form->TabSheet1, form->TabSheet1->Chart_Termo},
        {"zero (2 series, 2 axes)", form->TabSheet2, form->TabSheet2->Chart_0_Termo},
    };
    QApplication::processEvents();
    const double before = ResidentMiB();
    QDateTime at = QDateTime::currentDateTime();
    for (const ChartUnderTest &c : charts) {
        for (int s = 0; s < c.chart->seriesCount(); ++s) {
            QDateTime t = at;
            for (int i = c.chart->pointCount(s); i < DayOfPoints; ++i) {
                t = t.addSecs(1);
                c.chart->append(s, t, 20.0 + 5.0 * std::sin(i * 0.001) + 0.01 * (i % 7));
            }
        }
    }
    at = at.addSecs(DayOfPoints);
    QApplication::processEvents();
    const double after = ResidentMiB();
    std::printf("a 12-hour shift in the charts, %d points a series: resident %.1f MiB -> %.1f MiB "
                "(+%.1f MiB for 3 series)\n",
                DayOfPoints, before, after, after - before);
    for (const ChartUnderTest &c : charts) {
        const std::vector<double> ms = appendAndRedraw(*form->PageControl1, c, at, 30);
        std::printf("append + redraw, %-24s p50 %.2f ms  max %.2f ms (%d points)\n", c.name, Percentile(ms, 50),
                    Maximum(ms), c.chart->pointCount(0));
    }
    return 0;
}
