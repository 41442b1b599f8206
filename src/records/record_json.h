#pragma once
// Small readers and writers shared by the record's JSON sections: optional numbers
// as null, times as ISO UTC text, and a reader that remembers the first field it
// could not take.
#include <QDate>
#include <QDateTime>
#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <array>
#include <optional>

namespace RecordJson {

template <typename T>
QJsonValue OrNull(const std::optional<T> &v)
{
    return v ? QJsonValue(double(*v)) : QJsonValue();
}
inline QJsonValue OrNull(const std::optional<bool> &v)
{
    return v ? QJsonValue(*v) : QJsonValue();
}
QJsonValue Utc(const QDateTime &t);
QJsonValue Date(const QDate &d);
template <std::size_t N>
QJsonValue Floats(const std::optional<std::array<float, N>> &v)
{
    if (!v)
        return QJsonValue();
    QJsonArray a;
    for (float f : *v)
        a.append(double(f));
    return a;
}

// Reads the fields of one object; the first that is there but of the wrong kind
// is named in error() and every later read is skipped.
class Reader
{
public:
    Reader(const QJsonObject &o, QString prefix = {}) : m_o(o), m_prefix(std::move(prefix)) {}
    bool ok() const { return m_error.isEmpty(); }
    const QString &error() const { return m_error; }
    bool fail(const QString &field, const QString &what);

    double number(const char *field, double fallback = 0);
    std::optional<double> optionalNumber(const char *field);
    std::optional<bool> optionalBool(const char *field);
    bool boolean(const char *field, bool fallback = false);
    int integer(const char *field, int fallback = 0);
    QString text(const char *field);
    QDateTime utc(const char *field);
    QDate date(const char *field);
    QJsonObject object(const char *field);
    QJsonArray array(const char *field);
    template <std::size_t N>
    std::optional<std::array<float, N>> floats(const char *field)
    {
        const QJsonValue v = m_o.value(QLatin1String(field));
        if (!ok() || v.isNull() || v.isUndefined())
            return std::nullopt;
        const QJsonArray a = v.toArray();
        if (!v.isArray() || a.size() != qsizetype(N)) {
            fail(QString::fromLatin1(field), QStringLiteral("ожидался массив из %1 чисел").arg(N));
            return std::nullopt;
        }
        std::array<float, N> out{};
        for (std::size_t i = 0; i < N; ++i) {
            if (!a.at(qsizetype(i)).isDouble()) {
                fail(QString::fromLatin1(field), QStringLiteral("ожидался массив чисел"));
                return std::nullopt;
            }
            out[i] = float(a.at(qsizetype(i)).toDouble());
        }
        return out;
    }

private:
    QJsonValue value(const char *field, QJsonValue::Type type, const char *what);
    QJsonObject m_o;
    QString m_prefix, m_error;
};

} // namespace RecordJson
