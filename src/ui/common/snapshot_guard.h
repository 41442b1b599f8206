#pragma once
// Before a write that changes the meter's calibration: the snapshot of what it
// holds (the way back) and, when that cannot be kept, one question whether to
// write without it. "Нет" is the default: no way back, no write unless asked for.
#include "records/snapshot.h"
#include <optional>

class QWidget;
class TCalibrationRecords;

// The snapshot's id (0 without records, or when the engineer chose to write
// without one); none when the engineer declined: nothing may be sent.
std::optional<qint64> KeepSnapshotOrAsk(TCalibrationRecords *records, SnapshotReason reason,
                                        const QList<CalibrationArea> &areas, QWidget *parent);

// The question alone, for a write that cannot ask at the moment it fails (from an
// answer's handler): true when the engineer chose to write without a snapshot.
bool AskWriteWithoutSnapshot(QWidget *parent, const QString &reason);
