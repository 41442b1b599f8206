#include "records/record_json.h"

namespace RecordJson {

QJsonValue Utc(const QDateTime &t)
{
    return t.isValid() ? QJsonValue(t.toUTC().toString(Qt::ISODateWithMs)) : QJsonValue();
}

QJsonValue Date(const QDate &d)
{
    return d.isValid() ? QJsonValue(d.toString(Qt::ISODate)) : QJsonValue();
}

bool Reader::fail(const QString &field, const QString &what)
{
    if (m_error.isEmpty())
        m_error = QStringLiteral("%1%2: %3").arg(m_prefix, field, what);
    return false;
}

QJsonValue Reader::value(const char *field, QJsonValue::Type type, const char *what)
{
    const QJsonValue v = m_o.value(QLatin1String(field));
    if (!ok() || v.isUndefined() || v.isNull())
        return QJsonValue(QJsonValue::Undefined);
    if (v.type() != type) {
        fail(QString::fromLatin1(field), QString::fromUtf8(what));
        return QJsonValue(QJsonValue::Undefined);
    }
    return v;
}

double Reader::number(const char *field, double fallback)
{
    return optionalNumber(field).value_or(fallback);
}

std::optional<double> Reader::optionalNumber(const char *field)
{
    const QJsonValue v = value(field, QJsonValue::Double, "ожидалось число");
    return v.isDouble() ? std::optional<double>(v.toDouble()) : std::nullopt;
}

std::optional<bool> Reader::optionalBool(const char *field)
{
    const QJsonValue v = value(field, QJsonValue::Bool, "ожидалось true или false");
    return v.isBool() ? std::optional<bool>(v.toBool()) : std::nullopt;
}

bool Reader::boolean(const char *field, bool fallback)
{
    return optionalBool(field).value_or(fallback);
}

int Reader::integer(const char *field, int fallback)
{
    const std::optional<double> v = optionalNumber(field);
    if (!v)
        return fallback;
    if (*v != double(int(*v))) {
        fail(QString::fromLatin1(field), QStringLiteral("ожидалось целое число"));
        return fallback;
    }
    return int(*v);
}

QString Reader::text(const char *field)
{
    return value(field, QJsonValue::String, "ожидался текст").toString();
}

QDateTime Reader::utc(const char *field)
{
    const QString t = text(field);
    if (t.isEmpty())
        return {};
    QDateTime d = QDateTime::fromString(t, Qt::ISODateWithMs);
    if (!d.isValid()) {
        fail(QString::fromLatin1(field), QStringLiteral("ожидалось время ISO 8601"));
        return {};
    }
    return d.toUTC();
}

QDate Reader::date(const char *field)
{
    const QString t = text(field);
    if (t.isEmpty())
        return {};
    const QDate d = QDate::fromString(t, Qt::ISODate);
    if (!d.isValid())
        fail(QString::fromLatin1(field), QStringLiteral("ожидалась дата ГГГГ-ММ-ДД"));
    return d;
}

QJsonObject Reader::object(const char *field)
{
    return value(field, QJsonValue::Object, "ожидался объект").toObject();
}

QJsonArray Reader::array(const char *field)
{
    return value(field, QJsonValue::Array, "ожидался массив").toArray();
}

} // namespace RecordJson
