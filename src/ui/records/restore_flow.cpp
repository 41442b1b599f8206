#include "ui/records/restore_flow.h"
#include "link/dm1.h"
#include "records/calibration_reader.h"
#include "records/calibration_restorer.h"
#include "ui/common/message_presenter.h"
#include "ui/records/dialog_restore.h"

TRestoreFlow::TRestoreFlow(TDM_1 &dm, TRecordStore &store, QWidget *window, const QString &title)
    : QObject(window), m_dm(dm), m_window(window), m_title(title),
      m_reader(new TCalibrationReader(dm, TCalibrationReader::DefaultAnswerTimeoutMs, this)),
      m_restorer(new TCalibrationRestorer(dm, store, TCalibrationReader::DefaultAnswerTimeoutMs, this))
{
    connect(m_reader, &TCalibrationReader::progress, this, &TRestoreFlow::readProgress);
    connect(m_reader, &TCalibrationReader::finished, this, [this] {
        if (!m_target)
            return;
        // Outside the decoder's delivery: a dialog follows.
        QMetaObject::invokeMethod(
            this,
            [this, target = *std::exchange(m_target, std::nullopt),
             now = m_reader->snapshot(SnapshotReason::ManualBackup)] { ask(target, now); },
            Qt::QueuedConnection);
    });
    connect(m_reader, &TCalibrationReader::failed, this, [this](const QString &message) {
        if (!m_target)
            return;
        m_target.reset();
        setBusy(false);
        emit failed(message);
    });
    connect(m_restorer, &TCalibrationRestorer::stageChanged, this, &TRestoreFlow::stageChanged);
    connect(m_restorer, &TCalibrationRestorer::finished, this, [this](const RestoreOutcome &outcome) {
        setBusy(false);
        emit finished(outcome);
    });
}

TRestoreFlow::~TRestoreFlow() = default;

bool TRestoreFlow::isRestoring() const
{
    return m_restorer->isRunning();
}

bool TRestoreFlow::canCancel() const
{
    return m_restorer->isRunning() ? m_restorer->canCancel() : m_busy;
}

bool TRestoreFlow::start(const Snapshot &target, QString *why)
{
    const auto refuse = [why](const QString &text) {
        if (why)
            *why = text;
        return false;
    };
    if (m_busy)
        return refuse(QStringLiteral("Восстановление уже идёт"));
    if (!m_dm.isPortOpen())
        return refuse(QStringLiteral("Прибор не подключен: порт не открыт"));
    m_target = target;
    setBusy(true);
    m_reader->start(AllCalibrationAreas());
    return true;
}

void TRestoreFlow::ask(const Snapshot &target, const Snapshot &now)
{
    emit meterRead(target, now);
    auto *dialog = new TDialog_Restore(target, now, m_window);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QDialog::finished, this, [this, dialog, target](int result) {
        const QList<CalibrationArea> areas = dialog->chosenAreas();
        setBusy(false);
        if (result != QDialog::Accepted) {
            emit declined();
            return;
        }
        // The dialog is gone before the next question.
        QMetaObject::invokeMethod(this, [this, target, areas] { restore(target, areas); }, Qt::QueuedConnection);
    });
    dialog->open();
}

bool TRestoreFlow::restore(const Snapshot &target, const QList<CalibrationArea> &areas)
{
    if (m_busy)
        return false;
    const QString serial = m_dm.portSerialNumber();
    if (FromOtherMeter(target, serial)) {
        const MessageBoxRequest box{QMessageBox::Warning, m_title,
                                    OtherMeterText(target, serial) + QStringLiteral(". Восстановить его в этот прибор?"),
                                    QMessageBox::Yes | QMessageBox::No, QMessageBox::No};
        if (ShowMessage(m_window, box) != QMessageBox::Yes) {
            emit declined();
            return false;
        }
    }
    setBusy(true);
    emit restoreStarted();
    m_restorer->start(target, areas);
    return true;
}

void TRestoreFlow::cancel()
{
    if (m_restorer->isRunning()) {
        m_restorer->cancel();
        return;
    }
    if (!m_target)
        return;
    m_reader->cancel();
    m_target.reset();
    setBusy(false);
}

void TRestoreFlow::setBusy(bool busy)
{
    if (busy == m_busy)
        return;
    m_busy = busy;
    emit busyChanged(busy);
}
