// How long a calibration run keeps a meter at the rig: the default plan against the
// simulated meter and rig (time-scaled), with points taken when the flow is stable
// against fixed waits as an operator would use them (60 s settle, 60 s averaging).
// Prints rig time in simulated minutes and the as-left error; never fails on speed.
#include "app/demo_meter.h"
#include "app/demo_rig.h"
#include "link/candidate_ports.h"
#include "link/dm1.h"
#include "procedure/calibration_run.h"
#include "records/calibration_records.h"
#include "records/record_store.h"
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <cstdio>

namespace {

struct Outcome
{
    double rigMinutes = 0;
    double asFound = 0, asLeft = 0;
    QString end;
};

Outcome runOnce(double timeScale, bool fixedWaits)
{
    SimOptions sim;
    sim.timeScale = timeScale;
    DemoMeter meter(sim);
    QString error;
    if (!meter.start(&error)) {
        std::fprintf(stderr, "simulator: %s\n", qPrintable(error));
        return {};
    }
    QTemporaryDir dir;
    TDM_1 dm(std::make_unique<CandidatePorts>(QList<VirtualPort>{{meter.devicePath(), DemoMeter::Description, {}}},
                                              CreateSystemPortEnumerator()));
    TCalibrationRecords records(dm, std::make_unique<TRecordStore>(dir.filePath("bench.sqlite")));
    records.store().open();
    dm.applyRecoveryRule();
    TDemoRig rig(meter);
    TCalibrationRun run(dm, records, rig);

    RunOptions options;
    options.plan = RunPlanFile::Default();
    options.meterSerial = QStringLiteral("BENCH");
    options.operatorName = QStringLiteral("bench");
    options.timeScale = timeScale;
    options.writeWithoutConfirmation = true;
    if (fixedWaits) {
        options.fixedSettleSeconds = 60;
        options.plan.averagingSeconds = 60;
    }
    QEventLoop loop;
    QObject::connect(&run, &TCalibrationRun::finished, &loop, &QEventLoop::quit);
    QObject::connect(&run, &TCalibrationRun::paused, &loop, [&](const QString &why) { run.abort(why); });
    QObject::connect(&rig, &TRig::opened, &loop, [&] { run.start(options); });
    QElapsedTimer clock;
    clock.start();
    rig.open();
    loop.exec();
    Outcome o;
    o.rigMinutes = double(clock.elapsed()) / 1000.0 * timeScale / 60.0;
    o.asFound = run.record().asFoundMaxError.value_or(-1);
    o.asLeft = run.record().asLeftMaxError.value_or(-1);
    for (const RunPoint &p : run.record().pointsOf(RunPhase::AsLeft))
        std::printf("    as left %6.1f %%: reference %9.3f meter %9.3f error %7.4f %%, settled in %5.1f s\n", p.targetPercent,
                    p.referenceFlow, p.meterFlow, p.relativeError.value_or(p.reducedError.value_or(0)), p.settleSeconds);
    o.end = EndKey(run.record().end) + (run.record().endReason.isEmpty() ? QString() : ": " + run.record().endReason);
    return o;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    // Above about 5 the link's own pace (50 ms between frames) stretches the simulated
    // sample period, and the figures stop being those of a real rig.
    const double scale = argc > 1 ? QString::fromLocal8Bit(argv[1]).toDouble() : 5.0;
    const QString only = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString(); // "a" or "b"
    std::printf("calibration_run_bench: default plan, simulated rig, time scale %.0f\n", scale);
    std::printf("%-28s %14s %12s %12s  %s\n", "point taking", "rig minutes", "as found %", "as left %", "end");
    Outcome stable, fixed;
    if (only != QLatin1String("b")) {
        stable = runOnce(scale, false);
        std::printf("%-28s %14.1f %12.3f %12.4f  %s\n", "(a) when stable", stable.rigMinutes, stable.asFound,
                    stable.asLeft, qPrintable(stable.end));
    }
    if (only != QLatin1String("a")) {
        fixed = runOnce(scale, true);
        std::printf("%-28s %14.1f %12.3f %12.4f  %s\n", "(b) fixed 60 s + 60 s", fixed.rigMinutes, fixed.asFound,
                    fixed.asLeft, qPrintable(fixed.end));
    }
    if (stable.rigMinutes > 0 && fixed.rigMinutes > 0)
        std::printf("rig time (b)/(a): %.2f; goal: at least 2, and (a) under 20 minutes\n",
                    fixed.rigMinutes / stable.rigMinutes);
    return 0;
}
