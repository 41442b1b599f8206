#include "records/file_output.h"
#include <QFileInfo>
#include <QSaveFile>

namespace {

// Everything the file still buffers onto the disk. A flush that wrote some of it
// leaves no error; the next one, with nothing going, says why.
bool flushAll(QFileDevice &file, QString *error)
{
    for (;;) {
        const qint64 before = file.bytesToWrite();
        if (file.flush())
            return true;
        if (before == 0 || file.bytesToWrite() >= before) {
            *error = file.error() != QFileDevice::NoError ? file.errorString() : QStringLiteral("запись не идёт");
            return false;
        }
        file.unsetError();
    }
}

// Hands all of bytes to the file, retrying a short write.
bool writeLoop(QFileDevice &file, const QByteArray &bytes, QString *error)
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
    return true;
}

// The buffer onto the disk, then the rename over the old file. QSaveFile's own
// flush at its commit does not fail the commit, so it is done here first.
bool commit(QSaveFile &file, QString *error)
{
    if (!flushAll(file, error)) {
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        *error = file.errorString();
        return false;
    }
    return true;
}

} // namespace

namespace FileOutput {

bool WriteAll(QFileDevice &file, const QByteArray &bytes, QString *error)
{
    return writeLoop(file, bytes, error) && flushAll(file, error);
}

QString Refusal(const QString &path)
{
    const QFileInfo info(path);
    // A link that leads nowhere would be made into a file wherever it points.
    if (info.isSymLink() && !info.exists())
        return QStringLiteral("%1 — ссылка, которая никуда не ведёт: она не заменяется").arg(path);
    if (info.exists() && !info.isFile())
        return QStringLiteral("%1 — не обычный файл (устройство, папка или канал): он не заменяется").arg(path);
    return {};
}

bool Save(const QString &path, const QByteArray &bytes, QString *error)
{
    // Only a regular file or none is replaced: a device node renamed over would be gone.
    *error = Refusal(path);
    if (!error->isEmpty())
        return false;
    QSaveFile file(path);
    // Buffered: a small file meets the disk only at the commit, and that is checked too.
    if (!file.open(QIODevice::WriteOnly)) {
        *error = file.errorString();
        return false;
    }
    if (!writeLoop(file, bytes, error)) {
        file.cancelWriting();
        return false;
    }
    return commit(file, error);
}

} // namespace FileOutput
