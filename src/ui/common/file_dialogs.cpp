#include "ui/common/file_dialogs.h"
#include "records/save_folder.h"
#include "ui/common/message_presenter.h"
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QRegularExpression>
#include <QUrl>

QString AskSaveFileName(QWidget *parent, const QString &caption, const QString &fileName, const QString &filter)
{
    return QFileDialog::getSaveFileName(parent, caption, InSaveFolder(fileName), filter);
}

QString AskOpenFileName(QWidget *parent, const QString &caption, const QString &filter)
{
    return QFileDialog::getOpenFileName(parent, caption, SaveFolder(), filter);
}

QString FileNameFromTitle(const QString &title)
{
    static const QRegularExpression refused(QStringLiteral(R"([\\/:*?"<>|\x00-\x1f])"));
    QString name = QString(title).replace(refused, QStringLiteral("_")).simplified();
    // A leading dot would hide the file.
    while (name.startsWith(QLatin1Char('.')))
        name.remove(0, 1);
    return name;
}

void OpenSavedDocument(QWidget *parent, const QString &what, const QString &path)
{
    if (QDesktopServices::openUrl(QUrl::fromLocalFile(path)))
        return;
    ShowMessage(parent, {QMessageBox::Information, what,
                         QStringLiteral("%1 сохранён в файл\n%2\n\nПрограмма для его просмотра не найдена: "
                                        "откройте файл вручную.")
                             .arg(what, QDir::toNativeSeparators(path)),
                         QMessageBox::Ok, QMessageBox::Ok});
}
