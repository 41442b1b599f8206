#include "records/restore_report.h"

QString RestoreStateTitle(AreaRestoreState state)
{
    switch (state) {
    case AreaRestoreState::Written:
        return QStringLiteral("записано");
    case AreaRestoreState::Partial:
        return QStringLiteral("частично");
    case AreaRestoreState::NotWritten:
        return QStringLiteral("не записано");
    case AreaRestoreState::Unchecked:
        return QStringLiteral("не проверено (нет связи)");
    }
    return {};
}

AreaRestoreState DecideAreaState(const QVector<quint16> &before, const QVector<quint16> &target,
                                 const QVector<quint16> &now)
{
    if (now == target)
        return AreaRestoreState::Written;
    if (now.size() != target.size())
        return AreaRestoreState::NotWritten;
    // Only registers the restore had to change tell whether it reached the meter.
    bool anyTaken = false;
    for (qsizetype i = 0; i < target.size(); ++i) {
        const bool hadToChange = i >= before.size() || before[i] != target[i];
        if (hadToChange && now[i] == target[i])
            anyTaken = true;
    }
    return anyTaken ? AreaRestoreState::Partial : AreaRestoreState::NotWritten;
}

QList<int> CoefficientIndicesOf(CalibrationArea area)
{
    // Data 16–19 follow from the thermometer, 32–35 from the zero points, 36–43
    // from the flow table (see the coefficients area's ranges).
    const auto span = [](int first, int count) {
        QList<int> indices;
        for (int i = 0; i < count; ++i)
            indices << first + i;
        return indices;
    };
    switch (area) {
    case CalibrationArea::Thermometer:
        return span(0, 4);
    case CalibrationArea::Zero:
        return span(4, 4);
    case CalibrationArea::FlowTable:
        return span(8, 8);
    case CalibrationArea::Density:
    case CalibrationArea::Coefficients:
        break;
    }
    return {};
}

int AreaRegisterAt(CalibrationArea area, int index)
{
    for (const RegisterRange &r : AreaSpecOf(area).ranges) {
        if (index < r.count)
            return r.first + index;
        index -= r.count;
    }
    return 0;
}

QString StatesSummary(const QList<CalibrationArea> &areas, const QMap<CalibrationArea, AreaRestoreState> &states)
{
    QStringList parts;
    for (AreaRestoreState state : {AreaRestoreState::Written, AreaRestoreState::Partial, AreaRestoreState::NotWritten,
                                   AreaRestoreState::Unchecked}) {
        QStringList titles;
        for (CalibrationArea a : areas) {
            if (states.value(a, AreaRestoreState::NotWritten) == state)
                titles << QString::fromUtf8(AreaSpecOf(a).title);
        }
        if (!titles.isEmpty())
            parts << QStringLiteral("%1: %2").arg(RestoreStateTitle(state), titles.join(QStringLiteral(", ")));
    }
    return parts.join(QStringLiteral("; "));
}
