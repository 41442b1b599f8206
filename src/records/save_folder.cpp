#include "records/save_folder.h"
#include <QDir>
#include <QStandardPaths>

QString SaveFolder()
{
    // The documents location is reported whether or not the folder exists.
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (!documents.isEmpty() && QDir(documents).exists())
        return documents;
    return QDir::homePath();
}

QString InSaveFolder(const QString &fileName)
{
    return QDir(SaveFolder()).filePath(fileName);
}
