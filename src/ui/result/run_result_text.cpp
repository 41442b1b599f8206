#include "ui/result/run_result_text.h"
#include "procedure/verification_table.h"
#include "protocol/number_text.h"
#include <QJsonObject>
#include <QLocale>
#include <algorithm>

namespace RunResultText {

namespace {

QString orDash(const std::optional<double> &v)
{
    return v ? Fixed3(*v) : QStringLiteral("—");
}

QString tolerance(double percent)
{
    return QLocale().toString(percent, 'g', 6);
}

} // namespace

QString Fixed3(double value)
{
    return FormatFloatPattern(value, NumPattern::P0_000);
}

QString PointError(const RunPoint &p)
{
    const bool zero = p.targetPercent == 0.0;
    if (p.relativeError && !(zero && p.reducedError))
        return QStringLiteral("%1 %").arg(Fixed3(*p.relativeError));
    if (p.reducedError)
        return QStringLiteral("%1 % привед.").arg(Fixed3(*p.reducedError));
    return QString();
}

QStringList TableHeadings()
{
    return {QStringLiteral("№"),        QStringLiteral("Цель, %"),  QStringLiteral("Эталон, кг/ч"),
            QStringLiteral("Прибор, кг/ч"), QStringLiteral("Отн., %"), QStringLiteral("Прив., %"),
            QStringLiteral("Вывод")};
}

QStringList PointCells(const RunPoint &p)
{
    return {QString::number(p.index),
            FormatFloatPattern(p.targetPercent, NumPattern::P0_hhh),
            Fixed3(p.referenceFlow),
            Fixed3(p.meterFlow),
            orDash(p.relativeError),
            orDash(p.reducedError),
            p.fits ? Verification::VerdictText(*p.fits) : QString()};
}

QString VerdictLine(const RunRecord &run, RunPhase phase)
{
    const bool asFound = phase == RunPhase::AsFound;
    const std::optional<bool> &fit = asFound ? run.asFoundFit : run.asLeftFit;
    const std::optional<double> &worst = asFound ? run.asFoundMaxError : run.asLeftMaxError;
    QString title = PhaseTitle(phase);
    title[0] = title[0].toUpper();
    if (!fit)
        return QStringLiteral("%1: не проверен").arg(title);
    QString line = QStringLiteral("%1: %2").arg(title, Verification::VerdictText(*fit));
    if (worst)
        line += QStringLiteral(" — наибольшая погрешность %1 %").arg(Fixed3(*worst));
    return line + QStringLiteral(" при допуске ±%1 %").arg(tolerance(run.tolerancePercent));
}

QString EndLine(const RunRecord &run)
{
    // A record still "running" when shown was cut off: the program stopped under it.
    QString line = run.end == RunEnd::Running ? QStringLiteral("Калибровка не закончена")
                                              : QStringLiteral("Калибровка %1").arg(EndTitle(run.end));
    if (run.end == RunEnd::Completed)
        return line;
    if (!run.endReason.isEmpty())
        line += QStringLiteral(": ") + run.endReason;
    if (run.writtenTable)
        line += QStringLiteral(". Таблица расхода в приборе уже заменена");
    return line;
}

QString RigLine(const RunRecord &run)
{
    const QJsonObject &s = run.rigSettings;
    const QString described = s.value(QStringLiteral("description")).toString();
    if (!described.isEmpty())
        return described;
    const QString kind = run.rigKind.isEmpty() ? s.value(QStringLiteral("kind")).toString() : run.rigKind;
    if (kind == QLatin1String("operator"))
        return QStringLiteral("ручной: расход задаёт и эталон читает оператор");
    const QJsonObject map = s.value(QStringLiteral("map")).toObject();
    const QString unit = map.contains(QStringLiteral("unit_id"))
                             ? QStringLiteral(", устройство %1").arg(map.value(QStringLiteral("unit_id")).toInt())
                             : QString();
    const QString tcp = QStringLiteral("Modbus TCP %1:%2")
                            .arg(s.value(QStringLiteral("host")).toString())
                            .arg(s.value(QStringLiteral("port")).toInt());
    if (kind == QLatin1String("modbus-rtu"))
        return QStringLiteral("Modbus RTU %1").arg(s.value(QStringLiteral("device")).toString()) + unit;
    if (kind == QLatin1String("modbus-tcp"))
        return tcp + unit;
    if (kind == QLatin1String("sim"))
        return QStringLiteral("Симулятор стенда, ") + tcp + unit;
    return kind.isEmpty() ? QStringLiteral("не указан") : kind;
}

QString ReferenceLine(const RunRecord &run)
{
    const QJsonObject ref = run.rigSettings.value(QStringLiteral("reference_instrument")).toObject();
    QStringList parts;
    const QString name = ref.value(QStringLiteral("name")).toString();
    const QString certificate = ref.value(QStringLiteral("certificate")).toString();
    const QDate due = QDate::fromString(ref.value(QStringLiteral("due_date")).toString(), Qt::ISODate);
    if (!name.isEmpty())
        parts << name;
    if (!certificate.isEmpty())
        parts << QStringLiteral("свидетельство № %1").arg(certificate);
    if (due.isValid())
        parts << QStringLiteral("действительно до %1").arg(due.toString(QStringLiteral("dd.MM.yyyy")));
    return parts.join(QStringLiteral(", "));
}

QString TubeTemperatureRange(const RunRecord &run)
{
    std::optional<double> low, high;
    for (const RunPoint &p : run.points) {
        if (!p.tubeTemperature)
            continue;
        low = std::min(low.value_or(*p.tubeTemperature), *p.tubeTemperature);
        high = std::max(high.value_or(*p.tubeTemperature), *p.tubeTemperature);
    }
    if (!low)
        return {};
    const QString from = FormatFloatPattern(*low, NumPattern::P0_0hh);
    const QString to = FormatFloatPattern(*high, NumPattern::P0_0hh);
    return (from == to ? from : QStringLiteral("%1 … %2").arg(from, to)) + QStringLiteral(" °C");
}

QString Coefficient(const std::optional<std::array<float, 4>> &set, int index)
{
    if (!set || index < 0 || index >= 4)
        return QStringLiteral("—");
    QLocale locale;
    locale.setNumberOptions(locale.numberOptions() | QLocale::OmitGroupSeparator);
    // The fewest digits that read back as the same float: 0.9612, not 0.961199999.
    const float value = (*set)[size_t(index)];
    for (int digits = 6;; ++digits) {
        const QString text = locale.toString(double(value), 'g', digits);
        if (digits >= 9 || locale.toFloat(text) == value)
            return text;
    }
}

QString When(const QDateTime &utc)
{
    return utc.isValid() ? utc.toLocalTime().toString(QStringLiteral("dd.MM.yyyy HH:mm")) : QStringLiteral("—");
}

} // namespace RunResultText
