#pragma once
// One stored state of the meter's calibration: the raw registers of every area that
// was known at that moment (an unknown area is absent, never zeros).
#include "records/calibration_areas.h"
#include <QDateTime>
#include <QMap>
#include <QVector>

enum class SnapshotReason {
    BeforeDensityWrite,
    BeforeThermometerSave,
    BeforeZeroSave,
    BeforeFlowSave,
    BeforeRecalculation,
    ManualBackup,
    BeforeRestore,
    BeforeRun, // the whole calibration as a calibration run found it
    AfterRun,  // and as the run left it
};

struct Snapshot
{
    qint64 id = 0; // 0 until stored
    QDateTime takenUtc;
    QString port;
    SnapshotReason reason = SnapshotReason::ManualBackup;
    QString note;
    QString programVersion;
    QString meterSerial; // the USB serial number of the meter's port; empty when unknown
    QString uuid;        // made when stored, if empty; the same on every store it reaches
    QString workstation; // the host name of the computer that took it; set when stored, if empty
    QMap<CalibrationArea, QVector<quint16>> areas;
    // Values a save wrote that the meter did not take, kept for reference.
    QMap<CalibrationArea, QVector<quint16>> refused;
};

QString ReasonKey(SnapshotReason reason);   // "before-flow-save", ...
QString ReasonTitle(SnapshotReason reason); // "перед сохранением расхода", ...
std::optional<SnapshotReason> ReasonFromKey(const QString &key);

// Whether the snapshot was taken from another meter than the one with this USB
// serial number; unknown on either side is not "another".
bool FromOtherMeter(const Snapshot &snapshot, const QString &meterSerial);
// "Снимок №5 снят с другого прибора (серийный номер A), подключён прибор с номером B"
QString OtherMeterText(const Snapshot &snapshot, const QString &meterSerial);

// A snapshot of the given areas as far as the image knows them.
Snapshot SnapshotFromImage(const TRegisterImage &image, const QList<CalibrationArea> &areas, SnapshotReason reason,
                           const QString &port, const QString &note = QString());
