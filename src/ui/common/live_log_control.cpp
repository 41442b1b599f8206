#include "ui/common/live_log_control.h"
#include "records/live_log.h"
#include "ui/common/error_box.h"
#include "ui/common/file_dialogs.h"
#include <QFileInfo>

void ToggleLiveLog(QWidget *parent, TLiveLog &log)
{
    if (log.isRunning()) {
        log.stop();
        return;
    }
    const QString path = AskSaveFileName(parent, QStringLiteral("Запись в файл"),
                                         LiveCsv::DefaultPath(QDateTime::currentDateTime()),
                                         QStringLiteral("Таблица CSV (*.csv)"));
    if (path.isEmpty())
        return;
    QString error;
    if (!log.start(path, &error))
        ShowErrorBox(parent, error);
}

QString LiveLogNote(const TLiveLog *log)
{
    if (!log || !log->isRunning())
        return {};
    return QStringLiteral("запись: %1, строк: %2").arg(LiveLogName(log)).arg(log->rows());
}

QString LiveLogName(const TLiveLog *log)
{
    return log && log->isRunning() ? QFileInfo(log->path()).fileName() : QString();
}

QString JoinNotes(const QStringList &notes)
{
    QStringList present;
    for (const QString &n : notes) {
        if (!n.isEmpty())
            present << n;
    }
    return present.join(QStringLiteral(" · "));
}
