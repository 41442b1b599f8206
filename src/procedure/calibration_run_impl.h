#pragma once
// The calibration run's inner state, shared by its source files only.
#include "procedure/calibration_run.h"
#include "link/meter_link.h"
#include "procedure/run_plausibility.h"
#include "procedure/stability.h"
#include "records/calibration_reader.h"
#include "records/calibration_records.h"
#include "records/calibration_restorer.h"
#include "records/two_point_save.h"
#include "rig/rig.h"
#include <QElapsedTimer>
#include <QLoggingCategory>
#include <QTimer>
#include <bit>
#include <cmath>
#include <functional>

Q_DECLARE_LOGGING_CATEGORY(lcRun)

namespace RunDetail {
// The calibration window's live reads: mass flow at data 2, Δt at 14; the meter's
// own averages: Δt at 44, the averaging time at 46, the mass flow at 48.
constexpr quint16 LiveAddr = 2, LiveCount = 14;
constexpr quint16 LiveFlowReg = 2, LiveDensityReg = 6, LiveTubeReg = 10, LiveDeltaTReg = 14;
constexpr quint16 AveragesAddr = 44, AveragesCount = 6;
constexpr quint16 AvgDeltaTReg = 44, AvgSecondsReg = 46, AvgFlowReg = 48;
// The zero tab's live read: the tube temperature at 10, the thermometer's ADC code at 28,
// the raw Δt before the zero is subtracted at 30; the coefficients A, B of the
// thermometer at 16 and of the zero at 32.
constexpr quint16 TempLiveAddr = 10, TempLiveCount = 22;
constexpr quint16 AdcReg = 28, RawDeltaTReg = 30;
constexpr quint16 ThermometerCoefficientsReg = 16, ZeroCoefficientsReg = 32;
constexpr int ReconnectTryMs = 500;
// The meter's measuring cycle (s): how often the reference is read while both average.
constexpr double ReferenceAveragingPeriod = 0.1;
// Fewest samples a stability window is judged on.
constexpr int MinWindowSamples = 3;
// The seven writes with their pauses and the table's read-back, with room for a slow line.
constexpr int TableCheckMs = 15000;
// How long the end of a run waits for the rig to take its idle set point (clock ms).
constexpr int RigSafeMs = 5000;

inline std::optional<float> ImageFloat(const TRegisterImage &image, RegisterSpace space, int reg)
{
    return image.floatAt(space, reg);
}

inline std::optional<std::array<float, 4>> ImageCoefficients(const TRegisterImage &image)
{
    std::array<float, 4> c{};
    for (int i = 0; i < 4; ++i) {
        const auto v = ImageFloat(image, RegisterSpace::Data, FlowTable::CoefficientsRegister + 2 * i);
        if (!v)
            return std::nullopt;
        c[size_t(i)] = *v;
    }
    return c;
}

inline bool Covers(int first, int count, int addr, int n)
{
    return first <= addr && addr + n <= first + count;
}

inline QString Kg(double v)
{
    return QString::number(v, 'f', 1).replace(QLatin1Char('.'), QLatin1Char(','));
}
} // namespace RunDetail

struct TCalibrationRun::Impl
{
    // Where the run is within its state: what the next event is awaited for.
    enum class Stage {
        None,
        ReadBefore,
        OpenRig,
        SetTemperature, // the rig or the operator is setting the fluid temperature
        ZeroFlow,     // a point at no flow: the rig or the operator stops the flow
        SetFlow,      // the rig or the operator is setting the flow
        Settle,       // sampling until settled
        AvgStart,     // 37 and 38 queued; the interval opens when 38 leaves
        Avg,          // the interval runs
        AvgStop,      // 39 queued
        AvgRead,      // the meter's averages asked for
        OperatorRef,  // the operator types the reference
        OperatorRefTemperature, // the operator types the reference thermometer
        Paused,
        AwaitConfirm,
        WriteRead,    // a fresh read of the table before it is overwritten
        WriteFrames,  // seven writes and the read-back check
        Recalc,       // command 24
        ReadCoefficients,
        ReadAfter,
        WaitLink,     // the meter's port is lost; resumeStage is taken up when it returns
        WaitRig,      // the rig's connection is being re-opened; the point is taken again after
        RigSafe,      // ended; the rig's idle set point is awaited
        Restoring,
        Done,
    };
    // What a step of the run does: a flow point, a point at a fluid temperature, or the
    // write of a two-point calibration (which yields its check at the first temperature).
    enum class Step { Flow, Temperature, WriteThermometer, WriteZero };
    struct Planned
    {
        RunPhase phase;
        int index;
        double percent;
        Step step;
        double setpoint; // °C, a temperature point's
    };

    Impl(TCalibrationRun &run, TMeterLink &dm, TCalibrationRecords &records, TRig &rig)
        : q(run), dm(dm), records(records), rig(rig), reader(dm)
    {
    }

    TCalibrationRun &q;
    TMeterLink &dm;
    TCalibrationRecords &records;
    TRig &rig;
    RunOptions opt;
    TCalibrationReader reader;
    std::unique_ptr<TCalibrationRestorer> restorer;
    QTimer sampleTimer, settleTimer, averagingTimer, reconnectTimer, tableCheckTimer, rigSafeTimer;
    QElapsedTimer pointClock, waitingClock, intervalClock;

    Stage stage = Stage::None;
    Stage resumeStage = Stage::None; // what a returning link takes up again
    QList<Planned> points;
    qsizetype current = 0;
    int attempts = 1;
    float qMax = 0;
    bool pauseRequested = false;
    bool abortRequested = false;
    QString abortReason;
    RunEnd abortAs = RunEnd::Aborted;
    bool tableSent = false;

    // The point in progress.
    RunPoint point;
    QList<double> meterValues, referenceValues;
    QList<double> sampleTimes; // simulated seconds since the point began
    double meterFlow = 0, referenceFlow = 0;
    std::optional<double> tubeTemperature;
    std::optional<double> fluidDensity;
    std::optional<double> rigFlow;
    bool meterPending = false, liveWritten = false, haveMeter = false;
    bool refPending = false, dropNextReading = false, haveRef = false;
    StabilityState meterState, referenceState;
    bool averagingOpen = false, averagesWritten = false;
    double refSum = 0;
    int refCount = 0;
    double avgDeltaT = 0, avgFlow = 0, avgSeconds = 0;
    // What the plausibility rules judge besides the means: the interval the run held
    // open and the reference's extremes over the stability window and the interval.
    double openedSeconds = 0;
    int refReadings = 0;
    double refLow = 0, refHigh = 0;
    // The point's interval is split into consecutive runs (point.metrology.runs); the
    // reference readings of all of them, and when the run in progress opened.
    int refSamplesTotal = 0;
    QDateTime runOpenedUtc;

    std::optional<FlowTableSave::Values> table;
    qint64 writeSnapshotId = 0;
    // What the write in progress writes: the flow table or a two-point calibration.
    CalibrationArea writeArea = CalibrationArea::FlowTable;
    std::optional<std::array<float, 4>> twoPoints;

    // A temperature point in progress: the latest live figures, the stability window's
    // values (beside sampleTimes) and the interval's sums.
    double tubeNow = 0, adcNow = 0, refTempNow = 0;
    QList<double> tubeValues, refTempValues;
    StabilityState tubeState, refTempState;
    struct TemperatureSums
    {
        int meterSamples = 0;
        double tube = 0, adc = 0;
        int refSamples = 0;
        double ref = 0;
    } tsum;

    // Clock milliseconds of a time of the plan.
    int clockMs(double simulatedSeconds) const
    {
        return int(std::max(1.0, std::round(simulatedSeconds * 1000.0 / std::max(opt.timeScale, 1e-6))));
    }
    double simulatedSeconds(qint64 clockMs) const { return double(clockMs) / 1000.0 * opt.timeScale; }
    double ofQMax(double percent) const { return percent * double(qMax) / 100.0; }
    const Planned &planned() const { return points[current]; }
    bool temperaturePoint() const { return current < points.size() && planned().step == Step::Temperature; }
    // A point of the zero's phase is taken at no flow.
    bool atNoFlow() const
    {
        return temperaturePoint() && (planned().phase == RunPhase::Zero || planned().phase == RunPhase::ZeroTemperatureCheck);
    }
    double intervalSeconds() const
    {
        if (atNoFlow())
            return opt.plan.zeroAveragingSeconds;
        if (current < points.size() && planned().phase == RunPhase::ZeroCheck)
            return opt.plan.zeroCheckSeconds;
        return opt.plan.averagingSeconds;
    }
    // A flow point against a rig that reads its reference is taken in the plan's runs;
    // a temperature point, or a reference the operator types once, in one.
    int runsWanted() const { return temperaturePoint() || !rig.readsReference() ? 1 : opt.plan.runsPerPoint; }
    double runSeconds() const { return intervalSeconds() / runsWanted(); }
    bool inPoint() const
    {
        return stage == Stage::SetFlow || stage == Stage::Settle || stage == Stage::AvgStart || stage == Stage::Avg
               || stage == Stage::AvgStop || stage == Stage::AvgRead || stage == Stage::OperatorRef
               || stage == Stage::WaitRig || stage == Stage::SetTemperature || stage == Stage::ZeroFlow
               || stage == Stage::OperatorRefTemperature;
    }
    bool writing() const
    {
        return stage == Stage::WriteRead || stage == Stage::WriteFrames || stage == Stage::Recalc
               || stage == Stage::ReadCoefficients;
    }

    // False when a slot of the face moved the run on (paused, aborted) meanwhile.
    bool setState(RunState state, const QString &text = QString());
    // Sends under the link's rule; false (and the link's loss taken up) when it did not go.
    bool send(const std::function<void()> &frames);

    // Preparing.
    void start(const RunOptions &options);
    void readBefore();
    void beforeRead();

    // A point.
    void startPoint();
    void flowSet();
    void sample();
    void onReading(const RigReading &r);
    void onRegistersTaken(int space, int first, int count);
    void completeSample();
    void settleTimedOut();
    void beginAveraging(bool settled);
    void onFrameWritten(const QByteArray &frame, bool isRead);
    void averagingElapsed();
    void averagesTaken();
    // Sends 37 and 38: the next run of the point opens when 38 leaves.
    void openRun();
    // A run's averages against the reference's: another run, the point, or a retake.
    void runTaken(double reference, int samples);
    void finishPoint();
    // The zero check's verdict into the record; false when the run stopped on it.
    bool keepZeroCheck(const RunPoint &p);
    void noteReference(double value);
    Plausibility::Limits plausibilityLimits() const;
    QList<Plausibility::TablePoint> calibrationTable() const;
    // A point that failed is taken once more, then the run pauses with the reason.
    void retryOrPause(const QString &reason);
    // Stops what the point has going; an interval the meter runs is stopped too.
    void stopPoint(bool stopAveraging);
    void enterPaused(const QString &reason);

    // A point at a fluid temperature (calibration_run_temperature.cpp).
    void planTemperatures();
    void startTemperaturePoint();
    void temperatureSet();
    void settleTemperature();
    void sampleTemperature();
    void onTemperatureReading(const RigReading &r);
    void onTemperatureRegisters();
    void completeTemperatureSample();
    void averagesTakenAtTemperature();
    void finishTemperaturePoint(double reference);

    // A two-point calibration's write (calibration_run_two_point.cpp).
    void startTwoPointWrite(CalibrationArea area);
    void writeTwoPoint();
    void twoPointRecalculated();
    TwoPointAdjustment &adjustmentOf(CalibrationArea area);
    bool keepPoint(RunPoint &p);

    // The table.
    void tableDone();
    void startWrite();
    void writeTable();
    void onReadBackChecked(qint64 snapshotId, CalibrationArea area, bool matched);
    void coefficientsRead();

    // The record (calibration_run_record.cpp): false, and lastError() of the store, when
    // the header was not taken; the verdict of a phase into the record.
    bool keepHeader();
    // Who, what and with which reference, from the options, before anything is sent.
    void recordHeader();
    QString storeFault(const QString &what) const;
    void judgePhase(RunPhase phase);
    // A control character in a text of the options, named; empty when there is none.
    QString textProblem() const;

    // The end.
    void readAfter();
    void afterRead();
    void end(RunEnd how, const QString &reason);
    // Every end passes here: the rig to its idle set point, then finished().
    void leaveRigSafe();
    void rigSafeAnswered(bool confirmed, const QString &why);
    void finishEnd(const RigSafeState &safe);

    // The link.
    void linkLost();
    void tryReconnect();
    void onReaderFinished();
    void onReaderFailed(const QString &message);
    void onRigFailed(const QString &message);
    void onRigLost(const QString &message);
    void onRigBack();
    void connectRig();
};
