#include "ui/records/backup_action.h"
#include "link/dm1.h"
#include "records/calibration_reader.h"
#include "records/calibration_records.h"
#include "ui/common/message_presenter.h"
#include <QInputDialog>
#include <QProgressDialog>

namespace {
const QString Title = QStringLiteral("Резервная копия");
}

TBackupAction::TBackupAction(TDM_1 &dm, TCalibrationRecords &records, QWidget *window)
    : QObject(window), m_dm(dm), m_records(records), m_window(window), m_reader(new TCalibrationReader(dm))
{
    m_reader->setParent(this);
    connect(m_reader, &TCalibrationReader::progress, this, [this](int answered, int total) {
        if (m_progress) {
            m_progress->setMaximum(total);
            m_progress->setValue(answered);
        }
    });
    connect(m_reader, &TCalibrationReader::finished, this, [this] {
        const qint64 id = m_records.keep(m_reader->snapshot(SnapshotReason::ManualBackup, m_note));
        finish(id, id ? QStringLiteral("Резервная копия сохранена: снимок №%1").arg(id)
                      : QStringLiteral("Резервная копия не сохранена: %1").arg(m_records.store().lastError()));
    });
    connect(m_reader, &TCalibrationReader::failed, this, [this](const QString &message) {
        finish(0, QStringLiteral("Резервная копия не сохранена: %1").arg(message));
    });
}

bool TBackupAction::isRunning() const
{
    return m_reader->isRunning();
}

bool TBackupAction::start()
{
    if (isRunning())
        return false;
    bool ok = false;
    const QString note = QInputDialog::getText(m_window, Title, QStringLiteral("Примечание к копии (необязательно):"),
                                               QLineEdit::Normal, QString(), &ok);
    if (!ok)
        return false;
    startWithNote(note);
    return true;
}

void TBackupAction::startWithNote(const QString &note)
{
    if (!m_dm.isPortOpen()) {
        finish(0, QStringLiteral("Резервная копия не сохранена: прибор не подключен"));
        return;
    }
    m_note = note;
    m_progress = new QProgressDialog(QStringLiteral("Чтение калибровки прибора…"), QStringLiteral("Отмена"), 0, 0, m_window);
    m_progress->setObjectName(QStringLiteral("Progress_Backup"));
    m_progress->setWindowTitle(Title);
    m_progress->setWindowModality(Qt::WindowModal);
    m_progress->setMinimumDuration(0);
    m_progress->setAutoClose(false);
    m_progress->setAutoReset(false);
    connect(m_progress, &QProgressDialog::canceled, this, [this] {
        if (!m_reader->isRunning())
            return;
        m_reader->cancel();
        finish(0, QStringLiteral("Резервная копия отменена: ничего не сохранено"));
    });
    m_progress->show();
    m_reader->start(AllCalibrationAreas());
}

void TBackupAction::finish(qint64 id, const QString &message)
{
    if (m_progress) {
        m_progress->blockSignals(true);
        m_progress->close();
        m_progress->deleteLater();
    }
    emit done(id, message);
    // Outside the decoder's delivery.
    QMetaObject::invokeMethod(
        this,
        [this, id, message] {
            ShowMessage(m_window, {id ? QMessageBox::Information : QMessageBox::Warning, Title, message, QMessageBox::Ok,
                                   QMessageBox::Ok});
        },
        Qt::QueuedConnection);
}
