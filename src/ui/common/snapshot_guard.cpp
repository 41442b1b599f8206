#include "ui/common/snapshot_guard.h"
#include "records/calibration_records.h"
#include "ui/common/message_presenter.h"

bool AskWriteWithoutSnapshot(QWidget *parent, const QString &reason)
{
    MessageBoxRequest box;
    box.icon = QMessageBox::Warning;
    box.title = QStringLiteral("Запись без снимка");
    box.text = QStringLiteral("Снимок перед записью не сохранён: %1. Записать без снимка?").arg(reason);
    box.buttons = QMessageBox::Yes | QMessageBox::No;
    box.defaultButton = QMessageBox::No;
    return ShowMessage(parent, box) == QMessageBox::Yes;
}

std::optional<qint64> KeepSnapshotOrAsk(TCalibrationRecords *records, SnapshotReason reason,
                                        const QList<CalibrationArea> &areas, QWidget *parent)
{
    if (!records)
        return 0;
    const qint64 id = records->keepBefore(reason, areas);
    if (id != 0)
        return id;
    if (!AskWriteWithoutSnapshot(parent, records->store().lastError()))
        return std::nullopt;
    return 0;
}
