#include "ui/common/snapshot_note.h"
#include "records/calibration_records.h"

TSnapshotNote::TSnapshotNote(TCalibrationRecords &records, QObject *parent) : QObject(parent)
{
    connect(&records, &TCalibrationRecords::snapshotKept, this, [this] { m_text.clear(); });
    connect(&records, &TCalibrationRecords::snapshotFailed, this, [this](const QString &reason) {
        m_text = QStringLiteral("снимок перед записью не сохранён: %1").arg(reason);
    });
}
