#pragma once
// The configuration files a person writes by hand (a run's plan, a rig's register
// map): read only from a regular file of sane size, and parsed so that every
// refusal names the field it is about. QJsonDocument keeps the last of two equal
// keys without a word; a key given twice is refused here instead.
#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <optional>

namespace JsonFile {

constexpr qint64 MaxBytes = 1024 * 1024;

// The whole file; none, with the reason, for anything but a regular file (a FIFO or a
// device is refused without opening it) or a file over MaxBytes.
std::optional<QByteArray> ReadSmall(const QString &path, QString *error);

struct Refusal
{
    QString field; // "serial.parity", "calibration_percent[3]"; empty: the text as a whole
    QString why;
    qsizetype offset = -1; // where the text breaks, for a text that is not JSON
};

// The document's top object, or the refusal: text that is not JSON (with the field
// being read where it breaks), a top that is not an object, a key given twice.
std::optional<QJsonObject> ParseObject(const QByteArray &json, Refusal *refusal);

} // namespace JsonFile
