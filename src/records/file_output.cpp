#include "records/file_output.h"
#include <QSaveFile>

namespace FileOutput {

bool WriteAll(QFileDevice &file, const QByteArray &bytes, QString *error)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const qint64 n = file.write(bytes.constData() + done, bytes.size() - done);
        if (n <= 0) {
            // A write that took nothing and set no error would loop for ever.
            *error = file.error() != QFileDevice::NoError ? file.errorString() : QStringLiteral("запись не идёт");
            return false;
        }
        done += qsizetype(n);
    }
    if (!file.flush()) {
        *error = file.errorString();
        return false;
    }
    return true;
}

bool Save(const QString &path, const QByteArray &bytes, QString *error)
{
    QSaveFile file(path);
    // Unbuffered: every write meets the disk at once, so its failure is seen here.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        *error = file.errorString();
        return false;
    }
    if (!WriteAll(file, bytes, error)) {
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        *error = file.errorString();
        return false;
    }
    return true;
}

} // namespace FileOutput
