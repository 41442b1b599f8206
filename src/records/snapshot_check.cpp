#include "records/snapshot_check.h"
#include "records/snapshot_compare.h"
#include "records/snapshot_file.h"
#include <QLocale>
#include <cmath>

namespace SnapshotCheck {

namespace {

struct Limit
{
    double min, max;
};

// The range of the area's n-th value.
Limit limitOf(CalibrationArea area, int n)
{
    constexpr double Any = HUGE_VAL;
    switch (area) {
    case CalibrationArea::Density:
        return n == 0 ? Limit{0.0, MaxDensity} : Limit{0.0, 1.0};
    case CalibrationArea::Thermometer:
        // (t1, code1, t2, code2)
        return n % 2 == 0 ? Limit{MinTemperature, MaxTemperature} : Limit{0.0, MaxAdcCode};
    case CalibrationArea::Zero:
        // (t1, Δt1, t2, Δt2)
        return n % 2 == 0 ? Limit{MinTemperature, MaxTemperature} : Limit{-MaxDeltaT, MaxDeltaT};
    case CalibrationArea::FlowTable:
        // Q Max, 13 reference flows, 13 Δt
        if (n == 0)
            return {0.0, MaxFlow};
        return n <= 13 ? Limit{-MaxFlow, MaxFlow} : Limit{-MaxDeltaT, MaxDeltaT};
    case CalibrationArea::Coefficients:
        break;
    }
    return {-Any, Any};
}

QString areaName(CalibrationArea area)
{
    const AreaSpec &desc = AreaSpecOf(area);
    return QStringLiteral("«%1» (%2)").arg(QString::fromUtf8(desc.title), QLatin1String(desc.key));
}

bool shapeOf(const QMap<CalibrationArea, QVector<quint16>> &areas, const QString &what, QString *error)
{
    for (auto it = areas.cbegin(); it != areas.cend(); ++it) {
        const int expected = AreaSpecOf(it.key()).registerCount();
        if (it.value().size() != expected) {
            *error = QStringLiteral("%1 %2: %3 регистров вместо %4")
                         .arg(what, areaName(it.key()))
                         .arg(it.value().size())
                         .arg(expected);
            return false;
        }
    }
    return true;
}

} // namespace

bool Shape(const Snapshot &s, QString *error)
{
    return shapeOf(s.areas, QStringLiteral("область"), error)
           && shapeOf(s.refused, QStringLiteral("отвергнутые прибором значения области"), error);
}

bool Values(CalibrationArea area, const QVector<quint16> &registers, QString *error)
{
    if (registers.size() != AreaSpecOf(area).registerCount())
        return shapeOf({{area, registers}}, QStringLiteral("область"), error);
    const QVector<double> numbers = AreaNumbers(area, registers);
    QLocale locale;
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    for (int n = 0; n < numbers.size(); ++n) {
        const double v = numbers[n];
        const QString field = QStringLiteral("область %1, «%2»").arg(areaName(area), AreaValueName(area, n));
        if (!std::isfinite(v)) {
            *error = QStringLiteral("%1: %2 — не число").arg(field, ComparedNumberText(v));
            return false;
        }
        const Limit limit = limitOf(area, n);
        const bool flag = area == CalibrationArea::Density && n == 1;
        if (flag && v != 0.0 && v != 1.0) {
            *error = QStringLiteral("%1: %2, а может быть только 0 или 1").arg(field, locale.toString(v, 'g', 9));
            return false;
        }
        if (v < limit.min || v > limit.max) {
            *error = QStringLiteral("%1: %2 вне допустимого (от %3 до %4)")
                         .arg(field, locale.toString(v, 'g', 9), locale.toString(limit.min, 'g', 9),
                              locale.toString(limit.max, 'g', 9));
            return false;
        }
    }
    return true;
}

bool Complete(const Snapshot &s, QString *error)
{
    if (!Shape(s, error))
        return false;
    for (auto it = s.areas.cbegin(); it != s.areas.cend(); ++it) {
        if (!Values(it.key(), it.value(), error))
            return false;
    }
    return true;
}

} // namespace SnapshotCheck
