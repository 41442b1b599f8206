#include "procedure/run_plausibility.h"
#include "procedure/verification_table.h"
#include <QLocale>
#include <cmath>

namespace Plausibility {

namespace {

// In the locale's form; what a broken register gives stays readable (3e+38).
QString number(double v, int decimals = 1)
{
    if (!std::isfinite(v) || std::abs(v) >= 1e7)
        return QLocale().toString(v, 'g', 3);
    return QLocale().toString(v, 'f', decimals);
}

double ofQMax(const Limits &l, double percent)
{
    return percent * l.qMax / 100.0;
}

using PointCheck = std::optional<QString> (*)(const Point &, const Limits &);

std::optional<QString> referenceInRange(const Point &p, const Limits &l)
{
    const double limit = ReferenceQMaxMultiple * l.qMax;
    if (std::isfinite(p.reference) && std::abs(p.reference) <= limit)
        return std::nullopt;
    return QStringLiteral("эталон показывает %1 кг/ч, а больше трёх Q Max (%2 кг/ч) стенд не даёт: "
                          "проверьте карту регистров эталона")
        .arg(number(p.reference), number(limit));
}

// Covers a meter that ignored the reset (37) or the start (38) of its averaging.
std::optional<QString> averagingHappened(const Point &p, const Limits &)
{
    if (AveragingHappened(p.meterSeconds, p.openedSeconds))
        return std::nullopt;
    return QStringLiteral("прибор усреднял %1 с вместо %2 с: он не выполнил команды сброса и пуска усреднения")
        .arg(number(p.meterSeconds), number(p.openedSeconds));
}

// A real flow has noise: a reference without any at a set flow is stuck or echoes a
// constant (the set point itself, read back). At no flow a reference may read a clean 0.
std::optional<QString> referenceNotFrozen(const Point &p, const Limits &)
{
    if (p.targetFlow == 0 || p.referenceReadings < FrozenMinReadings || p.referenceLow != p.referenceHigh)
        return std::nullopt;
    return QStringLiteral("эталон стоит на %1 кг/ч без малейшего разброса (%2 показаний): показание застыло")
        .arg(number(p.referenceLow, 3))
        .arg(p.referenceReadings);
}

std::optional<QString> followsSetpoint(const Point &p, const Limits &l)
{
    if (!p.rigSetsFlow)
        return std::nullopt;
    const double tolerance = ofQMax(l, l.flowTolerancePercent);
    const bool near = std::abs(p.reference - p.targetFlow) <= tolerance;
    const bool sameSign = p.targetFlow == 0 || p.reference * p.targetFlow > 0;
    if (near && sameSign)
        return std::nullopt;
    return QStringLiteral("эталон %1 кг/ч не следует уставке %2 кг/ч: нужно не дальше ±%3 кг/ч от неё "
                          "и того же знака")
        .arg(number(p.reference), number(p.targetFlow), number(tolerance));
}

// Judged as the verdict judges a point, except near zero flow, where an error relative
// to a reference of almost nothing says nothing: there it is reduced to Q Max.
std::optional<QString> meterAgrees(const Point &p, const Limits &l)
{
    if (!p.beforeWrite)
        return std::nullopt;
    const Verification::PointErrors e = Verification::ErrorsOf(float(p.reference), float(p.meterFlow), float(l.qMax));
    const bool nearZero = std::abs(p.targetFlow) <= ofQMax(l, l.flowTolerancePercent);
    const std::optional<float> judged = nearZero || !e.relative ? e.reduced : e.relative;
    if (judged && std::abs(double(*judged)) <= l.maxAsFoundErrorPercent)
        return std::nullopt;
    return QStringLiteral("прибор и эталон расходятся на %1 %: проверьте стенд")
        .arg(number(judged ? std::abs(double(*judged)) : double(NAN)));
}

// In this order: a reference out of range makes every other message about it nonsense,
// and a meter that did not average makes the meter's side nonsense.
const struct
{
    const char *rule;
    PointCheck check;
} PointRules[] = {
    {"reference_range", referenceInRange},
    {"meter_averaging", averagingHappened},
    {"reference_frozen", referenceNotFrozen},
    {"reference_follows_setpoint", followsSetpoint},
    {"meter_agrees_with_reference", meterAgrees},
};

using TableCheck = std::optional<QString> (*)(const QList<TablePoint> &, const Limits &);

std::optional<QString> referencesAscend(const QList<TablePoint> &t, const Limits &)
{
    for (qsizetype i = 1; i < t.size(); ++i) {
        if (!(t[i].reference > t[i - 1].reference))
            return QStringLiteral("эталон точки %1 (%2 кг/ч) не больше, чем у точки %3 (%4 кг/ч): эталоны растут "
                                  "вместе с точками плана")
                .arg(i + 1)
                .arg(number(t[i].reference))
                .arg(i)
                .arg(number(t[i - 1].reference));
    }
    return std::nullopt;
}

std::optional<QString> deltaTAscends(const QList<TablePoint> &t, const Limits &)
{
    for (qsizetype i = 1; i < t.size(); ++i) {
        if (!(t[i].deltaT > t[i - 1].deltaT))
            return QStringLiteral("Δt точки %1 (%2 нс) не больше, чем у точки %3 (%4 нс): Δt растёт вместе с расходом")
                .arg(i + 1)
                .arg(number(t[i].deltaT, 3))
                .arg(i)
                .arg(number(t[i - 1].deltaT, 3));
    }
    return std::nullopt;
}

// The sides of zero: a point the plan puts below zero has a negative reference, one above
// zero a positive one, and the zero point a reference within the flow tolerance of zero.
// Δt takes the reference's sign wherever the flow is off zero by more than that tolerance;
// nearer zero the meter's own zero offset may tip it. A reversed reference, a meter
// mounted the wrong way or a zero off by more than that flow fails here.
std::optional<QString> signsAboutZero(const QList<TablePoint> &t, const Limits &l)
{
    const double tolerance = ofQMax(l, l.flowTolerancePercent);
    for (qsizetype i = 0; i < t.size(); ++i) {
        const TablePoint &p = t[i];
        const bool referenceRight = p.percent < 0   ? p.reference < 0
                                    : p.percent > 0 ? p.reference > 0
                                                    : std::abs(p.reference) <= tolerance;
        if (!referenceRight)
            return QStringLiteral("точка %1 (%2 % Q Max): эталон %3 кг/ч не на той стороне нуля")
                .arg(i + 1)
                .arg(number(p.percent))
                .arg(number(p.reference));
        if (std::abs(p.reference) > tolerance && !(p.deltaT * p.reference > 0))
            return QStringLiteral("точка %1: Δt %2 нс при расходе %3 кг/ч не на той стороне нуля")
                .arg(i + 1)
                .arg(number(p.deltaT, 3))
                .arg(number(p.reference));
    }
    return std::nullopt;
}

const struct
{
    const char *rule;
    TableCheck check;
} TableRules[] = {
    {"table_signs", signsAboutZero},
    {"table_references_ascend", referencesAscend},
    {"table_delta_t_ascends", deltaTAscends},
};

} // namespace

bool AveragingHappened(double meterSeconds, double openedSeconds)
{
    const double margin = std::max(AveragingMarginShare * openedSeconds, AveragingMarginSeconds);
    return std::isfinite(meterSeconds) && std::abs(meterSeconds - openedSeconds) <= margin;
}

std::optional<Refusal> CheckPoint(const Point &point, const Limits &limits)
{
    for (const auto &r : PointRules) {
        if (const std::optional<QString> why = r.check(point, limits))
            return Refusal{r.rule, point.title + QStringLiteral(": ") + *why};
    }
    return std::nullopt;
}

std::optional<Refusal> CheckTable(const QList<TablePoint> &points, const Limits &limits)
{
    for (const auto &r : TableRules) {
        if (const std::optional<QString> why = r.check(points, limits))
            return Refusal{r.rule, QStringLiteral("Таблица расхода не записывается, ") + *why};
    }
    return std::nullopt;
}

} // namespace Plausibility
