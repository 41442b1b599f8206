#pragma once
// Writing a file so that "saved" is only said when every byte reached the disk.
// QSaveFile alone does not do it: a buffered write that fails at flush still
// commits, and a short write leaves no error to report.
#include <QByteArray>
#include <QString>

class QFileDevice;

namespace FileOutput {
// Writes all of bytes, retrying a short write so the system says why it stopped.
// False, with the system's reason, when not everything was written.
bool WriteAll(QFileDevice &file, const QByteArray &bytes, QString *error);
// Empty when path may be replaced (a regular file, or nothing there yet), else why not.
QString Refusal(const QString &path);
// Replaces path with bytes in one step: the old file stays as it was unless the new
// one was written whole, and only a regular file is replaced. False, with the reason.
bool Save(const QString &path, const QByteArray &bytes, QString *error);
} // namespace FileOutput
