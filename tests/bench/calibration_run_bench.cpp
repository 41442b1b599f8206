// How long a calibration run keeps a meter at the rig: the default plan against the
// simulated meter and rig (time-scaled), with points taken when the flow is stable
// against fixed waits as an operator would use them (60 s settle, 60 s averaging), and
// the whole calibration with the thermometer and the zero by temperature before the flow.
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
#include <cmath>
#include <cstdio>

namespace {

struct Outcome
{
    double rigMinutes = 0;
    double asFound = 0, asLeft = 0;
    QString end;
    double thermometerCheck = NAN, zeroCheck = NAN; // the worst measured check, °C and ns
    double worstU = NAN;                             // %, the largest U of an as-left point
};

// Stable: the default plan (runs per point, the zero check); OneRun: one run a point and
// no zero check, as runs were taken before.
enum class Mode { Stable, OneRun, Fixed, AllPhases };

Outcome runOnce(double timeScale, Mode mode)
{
    const bool fixedWaits = mode == Mode::Fixed;
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
    options.plan.thermometerPhase = options.plan.zeroPhase = mode == Mode::AllPhases;
    options.meterSerial = QStringLiteral("BENCH");
    options.operatorName = QStringLiteral("bench");
    options.timeScale = timeScale;
    options.writeWithoutConfirmation = true;
    if (mode == Mode::OneRun || fixedWaits) {
        options.plan.runsPerPoint = 1;
        options.plan.zeroCheck = RunPlan::ZeroCheckMode::Off;
    }
    options.referenceName = QStringLiteral("эталон стенда");
    options.referenceUncertaintyPercent = 0.05;
    options.referenceDueDate = QDate::currentDate().addYears(1);
    if (fixedWaits) {
        options.fixedSettleSeconds = 60;
        options.plan.averagingSeconds = 60;
    }
    QEventLoop loop;
    QObject::connect(&run, &TCalibrationRun::finished, &loop, &QEventLoop::quit);
    QObject::connect(&run, &TCalibrationRun::paused, &loop, [&](const QString &why) { run.abort(why); });
    QObject::connect(&run, &TCalibrationRun::operatorNeeded, &loop,
                     [&](OperatorRequest, double, const QString &text) { run.abort(QStringLiteral("спрошен оператор: ") + text); });
    QObject::connect(&rig, &TRig::opened, &loop, [&] { run.start(options); });
    QElapsedTimer clock;
    clock.start();
    rig.open();
    loop.exec();
    Outcome o;
    o.rigMinutes = double(clock.elapsed()) / 1000.0 * timeScale / 60.0;
    o.asFound = run.record().asFoundMaxError.value_or(-1);
    o.asLeft = run.record().asLeftMaxError.value_or(-1);
    for (const RunPoint &p : run.record().pointsOf(RunPhase::AsLeft)) {
        const double u = p.metrology.budget ? p.metrology.budget->expandedPercent : NAN;
        if (!std::isnan(u) && (std::isnan(o.worstU) || u > o.worstU))
            o.worstU = u;
        std::printf("    as left %6.1f %%: reference %9.3f meter %9.3f error %7.4f %% U %6.4f %%, %d runs, settled in %5.1f s\n",
                    p.targetPercent, p.referenceFlow, p.meterFlow, p.relativeError.value_or(p.reducedError.value_or(0)), u,
                    int(p.metrology.runs.size()), p.settleSeconds);
    }
    if (const auto &z = run.record().metrology.zeroCheck)
        std::printf("    zero check: mean %.4f kg/h, sigma %.4f kg/h, limit %.4f kg/h, %s\n", z->meanKgH, z->sigmaKgH,
                    z->limitKgH, z->fits ? "fits" : "outside");
    for (const RunPoint &p : run.record().points) {
        if (!p.temperature || p.temperature->computed || !p.temperature->error)
            continue;
        double &worst = p.phase == RunPhase::ThermometerCheck ? o.thermometerCheck : o.zeroCheck;
        if (std::isnan(worst) || std::abs(*p.temperature->error) > std::abs(worst))
            worst = *p.temperature->error;
    }
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
    const QString only = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString(); // some of "abcd", e.g. "ad"
    std::printf("calibration_run_bench: default plan, simulated rig, time scale %.0f\n", scale);
    std::printf("%-34s %12s %11s %10s %9s %12s %10s  %s\n", "run", "rig minutes", "as found %", "as left %", "max U %",
                "thermometer", "zero ns", "end");
    const struct
    {
        const char *key, *title;
        Mode mode;
    } runs[] = {
        {"a", "(a) flow only, when stable", Mode::Stable},
        {"b", "(b) flow only, fixed 60 s + 60 s", Mode::Fixed},
        {"c", "(c) thermometer, zero and flow", Mode::AllPhases},
        {"d", "(d) as (a), one run, no zero check", Mode::OneRun},
    };
    double minutes[4] = {0, 0, 0, 0};
    for (int i = 0; i < 4; ++i) {
        if (!only.isEmpty() && !only.contains(QLatin1String(runs[i].key)))
            continue;
        const Outcome o = runOnce(scale, runs[i].mode);
        minutes[i] = o.rigMinutes;
        std::printf("%-34s %12.1f %11.3f %10.4f %9.4f %12.3f %10.4f  %s\n", runs[i].title, o.rigMinutes, o.asFound,
                    o.asLeft, o.worstU, o.thermometerCheck, o.zeroCheck, qPrintable(o.end));
    }
    if (minutes[0] > 0 && minutes[1] > 0)
        std::printf("rig time (b)/(a): %.2f; goal: at least 2, and (a) under 20 minutes\n", minutes[1] / minutes[0]);
    if (minutes[0] > 0 && minutes[3] > 0)
        std::printf("runs per point and the zero check: (a)/(d) = %.3f; goal: within 10 %%\n", minutes[0] / minutes[3]);
    if (minutes[0] > 0 && minutes[2] > 0)
        std::printf("the thermometer and the zero add %.1f rig minutes to the flow-only run\n", minutes[2] - minutes[0]);
    return 0;
}
