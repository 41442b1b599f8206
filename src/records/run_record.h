#pragma once
// One calibration run as it is kept: who, which meter and rig, the plan, every
// point with its raw averages, the coefficients and snapshots before and after,
// the verdicts and how it ended. Written point by point as the run goes.
#include "records/run_adjustments.h"
#include "records/run_metrology.h"
#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <array>
#include <optional>

// In the order a run takes them. Thermometer and Zero are the points written to the
// meter, their checks the same temperatures judged after the write; ZeroCheck is the
// flow at no flow before the as found.
enum class RunPhase { Thermometer, ThermometerCheck, Zero, ZeroTemperatureCheck, ZeroCheck, AsFound, Calibration, AsLeft };
// "thermometer", "thermometer_check", "zero", "zero_temperature_check", "zero_check",
// "as_found", "calibration", "as_left"; "термометр", ..., "как найден", "калибровка", "как оставлен".
QString PhaseKey(RunPhase phase);
QString PhaseTitle(RunPhase phase);
std::optional<RunPhase> PhaseFromKey(const QString &key);

enum class RunEnd { Running, Completed, Aborted, Failed };
// "running", "completed", "aborted", "failed"; "идёт", "завершена", "прервана", "не удалась".
QString EndKey(RunEnd end);
QString EndTitle(RunEnd end);
std::optional<RunEnd> EndFromKey(const QString &key);

// How far a run's table write went: the record says "begun", with the table, before
// the first frame, so a run cut short there is known to have left the meter half written.
enum class TableWrite { None, Begun, Done };
// "", "begun", "done".
QString TableWriteKey(TableWrite write);
std::optional<TableWrite> TableWriteFromKey(const QString &key);

struct RunPoint
{
    RunPhase phase = RunPhase::AsFound;
    int index = 0;             // 1-based within its phase
    double targetPercent = 0;  // of Q Max
    double targetFlow = 0;     // kg/h
    // Averages over one and the same interval.
    double referenceFlow = 0;  // kg/h, the reference's mean
    double meterFlow = 0;      // kg/h, the meter's averaged mass flow
    double deltaT = 0;         // ns, the meter's averaged Δt
    double averagingSeconds = 0;
    int referenceSamples = 0;
    // The verification tab's errors; none where the formula has none.
    double absoluteError = 0;            // kg/h
    std::optional<double> relativeError; // %
    std::optional<double> reducedError;  // %
    std::optional<bool> fits;            // against the plan's tolerance (verification phases)
    // How the point was taken.
    double settleSeconds = 0;  // from the set point to the start of averaging
    double meterSigma = 0, meterDrift = 0;         // kg/h, when averaging began
    double referenceSigma = 0, referenceDrift = 0; // kg/h
    int attempts = 1;
    bool settled = true;       // false: taken unsettled because the run was told to accept it
    QDateTime startedUtc, takenUtc;
    std::optional<double> tubeTemperature; // °C, the meter's tube when averaging began
    std::optional<double> density;         // kg/m³, the meter's density reading then
    // A point taken at a fluid temperature (thermometer and zero phases); none for a flow point.
    std::optional<PointTemperature> temperature;
    PointMetrology metrology;
};

// Who issues a run's certificate and for whom, as the workstation's settings named them.
struct CertificateParties
{
    QString laboratoryName, laboratoryAddress;
    QString customerName, customerAddress;
    QString signatoryName, signatoryRole;
    bool isEmpty() const
    {
        return laboratoryName.isEmpty() && laboratoryAddress.isEmpty() && customerName.isEmpty()
               && customerAddress.isEmpty() && signatoryName.isEmpty() && signatoryRole.isEmpty();
    }
};

struct RunRecord
{
    qint64 id = 0;              // 0 until stored
    QString uuid;               // made when stored, if empty
    QString meterSerial;        // as given
    QString portSerial;         // the USB serial of the port the run talked to; empty: none known
    QString operatorName;       // as given
    QString workstation;        // the host name
    QString programVersion;
    QString rigKind;
    QJsonObject rigSettings;
    QJsonObject plan;           // the plan as run (its JSON form)
    QDateTime startedUtc, endedUtc;
    RunEnd end = RunEnd::Running;
    QString endReason;          // why it was aborted or failed; empty when completed
    float qMax = 0;             // kg/h, as the meter reported it
    double tolerancePercent = 0;
    QList<RunPoint> points;
    std::optional<std::array<float, 4>> coefficientsBefore, coefficientsAfter; // A, B, C, D
    // The flow table the run wrote (Q Max, Etalon 1..13, Pribor 1..13); none before the write.
    std::optional<std::array<float, 27>> writtenTable;
    TableWrite tableWrite = TableWrite::None;
    qint64 snapshotBeforeId = 0, snapshotAfterId = 0;
    std::optional<bool> asFoundFit, asLeftFit;
    std::optional<double> asFoundMaxError, asLeftMaxError; // largest |relative or reduced error|, %
    RunAdjustments adjustments;
    RunMetrology metrology;
    CertificateParties parties;

    // Not kept: why the store did not take this record as it is here (empty: it did).
    QString storeError;

    QList<RunPoint> pointsOf(RunPhase phase) const;
};

// The warning when the serial given for a run is not the one the meter's port
// reports; empty when they agree or the port names none.
QString SerialMismatchText(const QString &given, const QString &port);

// Where the run left the rig at its end: the set point asked for and whether the rig
// confirmed it (an operator rig is asked to stop the flow and confirms nothing).
// Kept with the rig's settings ("safe_state"), so every store carries it as it is.
struct RigSafeState
{
    double setpoint = 0.0; // kg/h
    bool confirmed = false;
    QString message;
};
void SetRigSafe(RunRecord &run, const RigSafeState &state);
std::optional<RigSafeState> RigSafeOf(const RunRecord &run);
// "Стенд: уставка 0 кг/ч подтверждена" and the like; empty when the run has none.
QString RigSafeText(const RunRecord &run);

// The number a run's certificate carries on every page and in its DCC: "KL-" and the
// run's UUID, upper case, so two workstations never issue the same one.
QString CertificateNumber(const RunRecord &run);
// The first 16 hex digits of the SHA-256 of the plan's compact JSON: names the method.
QString PlanDigest(const QJsonObject &plan);

// The documented JSON of a run record (kestroctl run --json, calibrate --json).
QJsonObject RunToJson(const RunRecord &run);

// What the store keeps of a point and a run beyond its columns, as one JSON object
// each ("details"); the reader names the first damaged field.
QJsonObject PointDetailsToJson(const RunPoint &point);
// The lowest and highest of a point figure over the points that have it; none where none.
struct PointRange
{
    double low, high;
};
std::optional<PointRange> RangeOverPoints(const QList<RunPoint> &points, std::optional<double> RunPoint::*figure);
bool PointDetailsFromJson(const QJsonObject &o, RunPoint &point, QString *error);
QJsonObject RunDetailsToJson(const RunRecord &run);
bool RunDetailsFromJson(const QJsonObject &o, RunRecord &run, QString *error);
