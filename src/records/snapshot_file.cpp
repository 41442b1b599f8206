#include "records/snapshot_file.h"
#include "records/snapshot_check.h"
#include "link/register_image.h"
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <cmath>

namespace {

constexpr qsizetype MaxTextLength = 4096;

QJsonArray areasToJson(const QMap<CalibrationArea, QVector<quint16>> &areas)
{
    QJsonArray list;
    for (auto it = areas.cbegin(); it != areas.cend(); ++it) {
        QJsonArray registers, values;
        for (quint16 r : it.value())
            registers.append(QStringLiteral("%1").arg(r, 4, 16, QLatin1Char('0')));
        for (double v : AreaNumbers(it.key(), it.value()))
            values.append(std::isfinite(v) ? QJsonValue(v) : QJsonValue(QJsonValue::Null));
        list.append(QJsonObject{{QStringLiteral("area"), QString::fromLatin1(AreaSpecOf(it.key()).key)},
                                {QStringLiteral("registers"), registers},
                                {QStringLiteral("values"), values}});
    }
    return list;
}

bool areasFromJson(const QJsonValue &json, QMap<CalibrationArea, QVector<quint16>> &areas, QString *error)
{
    static const QRegularExpression hex(QStringLiteral("^[0-9a-fA-F]{4}$"));
    if (!json.isArray())
        return *error = QStringLiteral("области должны быть списком"), false;
    for (const QJsonValue &item : json.toArray()) {
        const QJsonObject o = item.toObject();
        const AreaSpec *desc = AreaSpecByKey(o.value(QStringLiteral("area")).toString());
        if (!item.isObject() || !desc)
            return *error = QStringLiteral("неизвестная область «%1»").arg(o.value(QStringLiteral("area")).toString().left(40)),
                   false;
        if (areas.contains(desc->area))
            return *error = QStringLiteral("область «%1» указана дважды").arg(QLatin1String(desc->key)), false;
        const QJsonArray registers = o.value(QStringLiteral("registers")).toArray();
        if (!o.value(QStringLiteral("registers")).isArray() || registers.size() != desc->registerCount())
            return *error = QStringLiteral("в области «%1» должно быть %2 регистров")
                                .arg(QLatin1String(desc->key))
                                .arg(desc->registerCount()),
                   false;
        QVector<quint16> values;
        for (const QJsonValue &r : registers) {
            if (!r.isString() || !hex.match(r.toString()).hasMatch())
                return *error = QStringLiteral("регистр области «%1» не четыре шестнадцатеричные цифры")
                                    .arg(QLatin1String(desc->key)),
                       false;
            values.append(quint16(r.toString().toUShort(nullptr, 16)));
        }
        // The numbers must say what the registers say: a file edited by hand in one
        // place only is refused rather than half believed.
        const QVector<double> expected = AreaNumbers(desc->area, values);
        const QJsonArray numbers = o.value(QStringLiteral("values")).toArray();
        if (numbers.size() != expected.size())
            return *error = QStringLiteral("в области «%1» числа не совпадают с регистрами").arg(QLatin1String(desc->key)),
                   false;
        for (qsizetype i = 0; i < numbers.size(); ++i) {
            const bool finite = std::isfinite(expected[i]);
            const bool same = finite ? numbers[i].isDouble() && float(numbers[i].toDouble()) == float(expected[i])
                                     : numbers[i].isNull();
            if (!same)
                return *error = QStringLiteral("в области «%1» числа не совпадают с регистрами")
                                    .arg(QLatin1String(desc->key)),
                       false;
        }
        areas.insert(desc->area, values);
    }
    return true;
}

QString text(const QJsonObject &o, const char *name, bool *ok)
{
    const QJsonValue v = o.value(QLatin1String(name));
    if (!v.isString() || v.toString().size() > MaxTextLength)
        *ok = false;
    return v.toString();
}

} // namespace

QVector<double> AreaNumbers(CalibrationArea area, const QVector<quint16> &registers)
{
    QVector<double> numbers;
    const int floats = area == CalibrationArea::Density ? 1 : int(registers.size()) / 2;
    for (int i = 0; i < floats && 2 * i + 1 < registers.size(); ++i)
        numbers.append(double(TRegisterImage::floatAt(registers, 2 * i)));
    if (area == CalibrationArea::Density && registers.size() == 3)
        numbers.append(double(registers[2]));
    return numbers;
}

namespace SnapshotFile {

QByteArray Export(const Snapshot &s)
{
    QJsonObject o{{QStringLiteral("format"), QString::fromLatin1(Format)},
                  {QStringLiteral("format_version"), FormatVersion},
                  {QStringLiteral("taken_utc"), s.takenUtc.toUTC().toString(Qt::ISODateWithMs)},
                  {QStringLiteral("port"), s.port},
                  {QStringLiteral("reason"), ReasonKey(s.reason)},
                  {QStringLiteral("note"), s.note},
                  {QStringLiteral("program_version"), s.programVersion},
                  {QStringLiteral("areas"), areasToJson(s.areas)},
                  {QStringLiteral("refused"), areasToJson(s.refused)}};
    // Which meter it came from, when known; files without it stay as they were.
    if (!s.meterSerial.isEmpty())
        o.insert(QStringLiteral("meter_serial"), s.meterSerial);
    return QJsonDocument(o).toJson(QJsonDocument::Indented);
}

std::optional<Snapshot> Import(const QByteArray &file, QString *error)
{
    QString reason;
    const auto refuse = [&](const QString &why) {
        if (error)
            *error = QStringLiteral("Файл снимка не принят: ") + why;
        return std::nullopt;
    };
    if (file.size() > MaxFileSize)
        return refuse(QStringLiteral("он больше %1 байт").arg(MaxFileSize));
    QJsonParseError parse;
    const QJsonDocument doc = QJsonDocument::fromJson(file, &parse);
    if (parse.error != QJsonParseError::NoError || !doc.isObject())
        return refuse(QStringLiteral("это не JSON-объект (%1)").arg(parse.errorString()));
    const QJsonObject o = doc.object();
    if (o.value(QStringLiteral("format")).toString() != QLatin1String(Format))
        return refuse(QStringLiteral("это не снимок KestroLink"));
    const QJsonValue version = o.value(QStringLiteral("format_version"));
    if (!version.isDouble())
        return refuse(QStringLiteral("поле format_version должно быть числом (%1), а в файле %2")
                          .arg(FormatVersion)
                          .arg(version.isString() ? QStringLiteral("строка «%1»").arg(version.toString().left(20))
                                                  : QStringLiteral("не число")));
    if (version.toInt(-1) != FormatVersion)
        return refuse(QStringLiteral("версия формата %1 не поддерживается").arg(o.value(QStringLiteral("format_version")).toVariant().toString().left(20)));
    Snapshot s;
    bool ok = true;
    s.takenUtc = QDateTime::fromString(text(o, "taken_utc", &ok), Qt::ISODateWithMs);
    s.port = text(o, "port", &ok);
    s.note = text(o, "note", &ok);
    s.programVersion = text(o, "program_version", &ok);
    if (o.contains(QStringLiteral("meter_serial")))
        s.meterSerial = text(o, "meter_serial", &ok);
    if (!ok)
        return refuse(QStringLiteral("поля времени, порта, примечания и версии должны быть строками разумной длины"));
    if (!s.takenUtc.isValid())
        return refuse(QStringLiteral("неверное время снимка"));
    const auto why = ReasonFromKey(o.value(QStringLiteral("reason")).toString());
    if (!why)
        return refuse(QStringLiteral("неизвестная причина снимка"));
    s.reason = *why;
    if (!areasFromJson(o.value(QStringLiteral("areas")), s.areas, &reason))
        return refuse(reason);
    if (o.contains(QStringLiteral("refused")) && !areasFromJson(o.value(QStringLiteral("refused")), s.refused, &reason))
        return refuse(reason);
    if (s.areas.isEmpty())
        return refuse(QStringLiteral("в поле areas нет ни одной области"));
    // Nothing a meter must never hold gets into the store.
    if (!SnapshotCheck::Complete(s, &reason))
        return refuse(reason);
    return s;
}

} // namespace SnapshotFile
