#include "report/run_result_text.h"
#include "procedure/verification_table.h"
#include "report/run_metrology_text.h"
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
    // -0.0004 is "0,000", not "-0,000": a sign on nothing reads as an error that is not there.
    QString text = FormatFloatPattern(value, NumPattern::P0_000);
    if (text.startsWith(QLatin1Char('-'))
        && std::all_of(text.cbegin() + 1, text.cend(), [](QChar c) { return c == QLatin1Char('0') || !c.isDigit(); }))
        text.remove(0, 1);
    return text;
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

TableColumns ColumnsOf(const RunRecord &run)
{
    TableColumns c;
    for (const RunPoint &p : run.points) {
        if (p.phase != RunPhase::AsFound && p.phase != RunPhase::AsLeft)
            continue;
        c.uncertainty |= p.metrology.budget.has_value();
        c.repeatability |= p.metrology.repeatabilityPercent.has_value();
        c.runs |= !p.metrology.runs.isEmpty();
    }
    return c;
}

QStringList TableHeadings(const TableColumns &extra)
{
    QStringList h{QStringLiteral("№"),        QStringLiteral("Цель, %"),  QStringLiteral("Эталон, кг/ч"),
                  QStringLiteral("Прибор, кг/ч"), QStringLiteral("Отн., %"), QStringLiteral("Прив., %")};
    if (extra.uncertainty)
        h << QStringLiteral("± U, %");
    if (extra.repeatability)
        h << QStringLiteral("Повтор., %");
    if (extra.runs)
        h << QStringLiteral("Измерений");
    return h << QStringLiteral("Вывод");
}

QStringList PointCells(const RunPoint &p, const TableColumns &extra)
{
    QStringList cells{QString::number(p.index),
                      FormatFloatPattern(p.targetPercent, NumPattern::P0_hhh),
                      Fixed3(p.referenceFlow),
                      Fixed3(p.meterFlow),
                      orDash(p.relativeError),
                      orDash(p.reducedError)};
    const PointMetrology &m = p.metrology;
    if (extra.uncertainty)
        cells << (m.budget ? QStringLiteral("±") + Significant(m.budget->expandedPercent, 2) : QStringLiteral("—"));
    if (extra.repeatability)
        cells << orDash(m.repeatabilityPercent);
    if (extra.runs)
        cells << (m.runs.isEmpty() ? QStringLiteral("—") : QString::number(m.runs.size()));
    const std::optional<Conformity> verdict = RecordedConformity(p);
    return cells << (verdict ? ConformityTitle(*verdict) : QString());
}

std::optional<Conformity> PhaseConformity(const RunRecord &run, RunPhase phase)
{
    const bool asFound = phase == RunPhase::AsFound;
    const std::optional<Conformity> &rule = asFound ? run.metrology.asFound : run.metrology.asLeft;
    if (rule)
        return rule;
    const std::optional<bool> &fit = asFound ? run.asFoundFit : run.asLeftFit;
    if (fit)
        return *fit ? Conformity::Pass : Conformity::Fail;
    return std::nullopt;
}

QString VerdictLine(const RunRecord &run, RunPhase phase)
{
    const bool asFound = phase == RunPhase::AsFound;
    const std::optional<Conformity> verdict = PhaseConformity(run, phase);
    const std::optional<double> &worst = asFound ? run.asFoundMaxError : run.asLeftMaxError;
    QString title = PhaseTitle(phase);
    title[0] = title[0].toUpper();
    if (!verdict)
        return QStringLiteral("%1: не проверен").arg(title);
    QString line = QStringLiteral("%1: %2").arg(title, ConformityTitle(*verdict));
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
    // The run's metrology names it as the budget used it; older records only in the rig's settings.
    const QJsonObject ref = run.rigSettings.value(QStringLiteral("reference_instrument")).toObject();
    QStringList parts;
    QString name = ref.value(QStringLiteral("name")).toString();
    QString certificate = ref.value(QStringLiteral("certificate")).toString();
    QDate due = QDate::fromString(ref.value(QStringLiteral("due_date")).toString(), Qt::ISODate);
    QString uncertainty;
    if (const std::optional<ReferenceInstrument> &r = run.metrology.reference) {
        name = r->name;
        certificate = r->certificate;
        due = r->dueDate;
        if (r->expandedUncertaintyPercent)
            uncertainty = QStringLiteral("U = %1 % (k = %2)")
                              .arg(Significant(*r->expandedUncertaintyPercent, 2), CoverageFactor(r->coverageFactor));
    }
    if (!name.isEmpty())
        parts << name;
    if (!certificate.isEmpty())
        parts << QStringLiteral("свидетельство № %1").arg(certificate);
    if (!uncertainty.isEmpty())
        parts << uncertainty;
    if (due.isValid())
        parts << QStringLiteral("действительно до %1").arg(due.toString(QStringLiteral("dd.MM.yyyy")));
    return parts.join(QStringLiteral(", "));
}

namespace {

QString rangeText(const std::optional<PointRange> &range, NumPattern pattern, const QString &unit)
{
    if (!range)
        return {};
    const QString from = FormatFloatPattern(range->low, pattern);
    const QString to = FormatFloatPattern(range->high, pattern);
    return (from == to ? from : QStringLiteral("%1 … %2").arg(from, to)) + unit;
}

} // namespace

QString TubeTemperatureRange(const RunRecord &run)
{
    return rangeText(RangeOverPoints(run.points, &RunPoint::tubeTemperature), NumPattern::P0_0hh, QStringLiteral(" °C"));
}

QString DensityRange(const RunRecord &run)
{
    return rangeText(RangeOverPoints(run.points, &RunPoint::density), NumPattern::P0_0hh, QStringLiteral(" кг/м³"));
}

QString FloatText(float value)
{
    QLocale locale;
    locale.setNumberOptions(locale.numberOptions() | QLocale::OmitGroupSeparator);
    // The fewest digits that read back as the same float: 0.9612, not 0.961199999.
    for (int digits = 6;; ++digits) {
        const QString text = locale.toString(double(value), 'g', digits);
        if (digits >= 9 || locale.toFloat(text) == value)
            return text;
    }
}

QString Coefficient(const std::optional<std::array<float, 4>> &set, int index)
{
    if (!set || index < 0 || index >= 4)
        return QStringLiteral("—");
    return FloatText((*set)[size_t(index)]);
}

QString TemperatureError(const RunPoint &p)
{
    if (!p.temperature || !p.temperature->error)
        return QString();
    const bool zero = p.phase == RunPhase::Zero || p.phase == RunPhase::ZeroTemperatureCheck;
    return QStringLiteral("%1 %2").arg(Fixed3(*p.temperature->error), zero ? QStringLiteral("нс") : QStringLiteral("°C"));
}

QString TemperaturePointText(const RunPoint &p)
{
    if (!p.temperature)
        return QString();
    const PointTemperature &t = *p.temperature;
    QString text = QStringLiteral("эталон %1 °C, трубка %2 °C").arg(Fixed3(t.referenceTemperature), Fixed3(t.tubeTemperature));
    if (t.deltaT)
        text += QStringLiteral(", Δt %1 нс").arg(Fixed3(*t.deltaT));
    if (const QString error = TemperatureError(p); !error.isEmpty())
        text += QStringLiteral(", погрешность ") + error;
    if (t.fits)
        text += QStringLiteral(" — ") + Verification::VerdictText(*t.fits);
    return text;
}

QStringList AdjustmentHeadings()
{
    return {QString(), QStringLiteral("До"), QStringLiteral("Записано")};
}

QStringList CheckHeadings()
{
    return {QStringLiteral("№"),          QStringLiteral("Задано, °C"),  QStringLiteral("Эталон, °C"),
            QStringLiteral("Трубка, °C"), QStringLiteral("Погрешность"), QStringLiteral("Вывод")};
}

namespace {

template <size_t N>
QString entry(const std::optional<std::array<float, N>> &set, size_t i)
{
    return set ? FloatText((*set)[i]) : QStringLiteral("—");
}

AdjustmentSection section(const RunRecord &run, const std::optional<TwoPointAdjustment> &a, RunPhase check, bool zero)
{
    AdjustmentSection s;
    s.title = zero ? QStringLiteral("Ноль по температуре") : QStringLiteral("Термометр");
    if (a) {
        // Register order: the low temperature, its value, the high one, its value.
        const QString value = zero ? QStringLiteral("Ноль Δt в %1, нс") : QStringLiteral("Код АЦП в %1");
        const QStringList names{QStringLiteral("Нижняя точка, °C"), value.arg(QStringLiteral("нижней")),
                                QStringLiteral("Верхняя точка, °C"), value.arg(QStringLiteral("верхней"))};
        for (size_t i = 0; i < 4; ++i)
            s.rows.append({names[qsizetype(i)], entry(a->pointsBefore, i), entry(a->pointsWritten, i)});
        for (size_t i = 0; i < 2; ++i)
            s.rows.append({QString(QLatin1Char("AB"[i])), entry(a->coefficientsBefore, i), entry(a->coefficientsAfter, i)});
        s.fits = a->checkFits;
        s.line = a->written ? QStringLiteral("записан в прибор") : QStringLiteral("не записан");
        s.line += a->checkFits ? QStringLiteral("; проверка: ") + Verification::VerdictText(*a->checkFits)
                               : QStringLiteral("; проверка не проведена");
    }
    for (const RunPoint &p : run.pointsOf(check)) {
        const PointTemperature t = p.temperature.value_or(PointTemperature{});
        s.checks.append({QString::number(p.index), Fixed3(t.setpoint), Fixed3(t.referenceTemperature),
                         Fixed3(t.tubeTemperature), TemperatureError(p),
                         t.fits ? Verification::VerdictText(*t.fits) : QString()});
        s.checkUnfit.append(t.fits == false);
    }
    return s;
}

} // namespace

QList<AdjustmentSection> AdjustmentSections(const RunRecord &run)
{
    QList<AdjustmentSection> out;
    const RunAdjustments &a = run.adjustments;
    if (a.thermometer || !run.pointsOf(RunPhase::ThermometerCheck).isEmpty())
        out.append(section(run, a.thermometer, RunPhase::ThermometerCheck, false));
    if (a.zero || !run.pointsOf(RunPhase::ZeroTemperatureCheck).isEmpty())
        out.append(section(run, a.zero, RunPhase::ZeroTemperatureCheck, true));
    return out;
}

QString When(const QDateTime &utc)
{
    return utc.isValid() ? utc.toLocalTime().toString(QStringLiteral("dd.MM.yyyy HH:mm")) : QStringLiteral("—");
}

} // namespace RunResultText
