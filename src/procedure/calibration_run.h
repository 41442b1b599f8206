#pragma once
// A calibration run: as found, calibration, as left, against a rig, as a state
// machine driven by timers, link events and rig signals (no nested loops, no
// sleeps). The run window and kestroctl are two faces of this one object. It
// writes the meter only through the flow table's save, command 24 and the restore
// engine, and keeps its record in the store point by point.
#include "procedure/run_plan.h"
#include "records/flow_table_save.h"
#include "records/two_point_save.h"
#include "records/restore_report.h"
#include "records/run_record.h"
#include <QDate>
#include <QObject>
#include <memory>

class TMeterLink;
class TCalibrationRecords;
class TRig;
struct RestoreOutcome;

struct RunOptions
{
    RunPlan plan;
    QString meterSerial;
    QString operatorName;
    // Simulated seconds per second of the clock: every time of the plan is divided by it
    // (the simulator's --time-scale). 1 at a real rig.
    double timeScale = 1.0;
    // A point that never settled in its two attempts is taken as it is (and marked so)
    // instead of pausing the run.
    bool acceptUnsettled = false;
    // Every write (the table, the thermometer's and the zero's points) waits for
    // confirmTableWrite() unless this is set.
    bool writeWithoutConfirmation = false;
    // How long an unplugged meter is waited for before the run fails (clock ms).
    int reconnectMs = 30000;
    // The rig's reference instrument as its certificate names it; kept with the rig's
    // settings in the record ("reference_instrument": name, certificate, due_date).
    QString referenceName, referenceCertificate;
    QDate referenceDueDate;
    // The reference's expanded uncertainty from its certificate (% of reading) and its
    // coverage factor; degrees of freedom none: infinite.
    std::optional<double> referenceUncertaintyPercent;
    double referenceCoverageFactor = 2.0;
    std::optional<double> referenceDegreesOfFreedom;
    // Who issues the certificate and for whom; kept in the record.
    CertificateParties parties;
    // Set: no stability is judged; each point waits this long (simulated seconds) after
    // the flow is set, as an operator with a stopwatch would. For comparison runs.
    std::optional<double> fixedSettleSeconds;
};

enum class RunState {
    Idle,
    Preparing,        // reading Q Max, the coefficients and the before-run snapshot
    Settling,         // the rig is set (or the operator asked) and the readings settle
    Averaging,        // the meter and the reference average over the same interval
    WaitingForOperator, // a set flow or a reference reading is asked of the operator
    AwaitingWrite,    // the table is ready; confirmTableWrite() writes it
    Writing,          // the seven writes, their read-back, command 24, the coefficients
    Paused,
    WaitingForMeter,  // the meter's port was lost; the point is taken again when it returns
    Restoring,        // the before-run snapshot is put back
    StoppingRig,      // the run has ended; the rig is set to its idle set point
    Finished,
};
QString RunStateTitle(RunState state); // "усреднение", ...

enum class OperatorRequest { SetFlow, EnterReference, SetTemperature, EnterReferenceTemperature };

class TCalibrationRun : public QObject
{
    Q_OBJECT
public:
    TCalibrationRun(TMeterLink &dm, TCalibrationRecords &records, TRig &rig, QObject *parent = nullptr);
    ~TCalibrationRun() override;

    // Checks the plan (nothing is sent on a bad one: finished() with RunEnd::Failed and the
    // reason) and starts.
    void start(const RunOptions &options);
    void pause();
    void resume();
    // Before the table write: the meter is left untouched. After it: the run ends
    // aborted and restoreBefore() may put the before-run snapshot back.
    void abort(const QString &reason = QString());
    // The same, recorded as failed: a face with nobody to ask ends a paused run so.
    void fail(const QString &reason);
    // Drops the current point's samples and takes it again.
    void retakePoint();
    void confirmTableWrite();
    // Answers to operatorNeeded().
    void operatorFlowSet();
    void operatorReference(double kgPerHour);
    void operatorTemperatureSet();
    void operatorReferenceTemperature(double celsius);
    // After a run that wrote the table and did not complete: the before-run snapshot
    // back through the restore engine; restoreFinished() tells how it went.
    bool canRestoreBefore() const;
    void restoreBefore();

    RunState state() const { return m_state; }
    const RunRecord &record() const { return m_record; }
    // The table that will be (or was) written, once the calibration points are taken.
    std::optional<FlowTableSave::Values> table() const;

Q_SIGNALS:
    void stateChanged(RunState state, const QString &text);
    void pointStarted(RunPhase phase, int index, double targetFlow);
    // While settling: the latest figures, for a chart or a terminal line.
    void settling(double meterFlow, double referenceFlow, double meterSigma, double referenceSigma);
    // While a temperature settles (°C): the set point, the meter's tube and the reference
    // thermometer, with their σ over the stability window.
    void temperatureSettling(double setpoint, double tube, double reference, double tubeSigma, double referenceSigma);
    void pointTaken(const RunPoint &point);
    void tableReady(const FlowTableSave::Values &values);
    // The thermometer's or the zero's four points are ready (register order); like the
    // table they are written on confirmTableWrite() unless the options say otherwise.
    void twoPointReady(CalibrationArea area, const TwoPointSave::Points &points);
    // target: kg/h of a flow to set, °C of a temperature to set.
    void operatorNeeded(OperatorRequest request, double targetFlow, const QString &text);
    void paused(const QString &reason);
    // Progress through every point of the plan: done of total.
    void progress(int done, int total);
    void finished(const RunRecord &record);
    void restoreFinished(bool restored, const QString &message);

private:
    void stop(RunEnd how, const QString &why);
    // The run holds its meter's link from its first state to its end, and again while it
    // restores, so every face stands its own polling and averaging down meanwhile.
    void holdMeter(RunState state);
    struct Impl;
    std::unique_ptr<Impl> d;
    RunState m_state = RunState::Idle;
    RunRecord m_record;
};
