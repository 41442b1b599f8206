#include "records/calibration_areas.h"

int AreaSpec::registerCount() const
{
    int n = 0;
    for (const RegisterRange &r : ranges)
        n += r.count;
    return n;
}

const std::vector<AreaSpec> &CalibrationAreas()
{
    using S = RegisterSpace;
    static const std::vector<AreaSpec> areas{
        {CalibrationArea::Density, "density", "Фиксированная плотность", {{S::Params, 2, 3}}, true},
        {CalibrationArea::Thermometer, "thermometer", "Термометр", {{S::Params, 5, 8}}, true},
        {CalibrationArea::Zero, "zero", "Калибровка 0", {{S::Params, 13, 8}}, true},
        {CalibrationArea::FlowTable, "flow-table", "Калибровка расхода", {{S::Params, 21, 54}}, true},
        {CalibrationArea::Coefficients,
         "coefficients",
         "Коэффициенты",
         {{S::Data, 16, 4}, {S::Data, 32, 4}, {S::Data, 36, 8}},
         false},
    };
    return areas;
}

QList<CalibrationArea> AllCalibrationAreas()
{
    QList<CalibrationArea> all;
    for (const AreaSpec &desc : CalibrationAreas())
        all << desc.area;
    return all;
}

QList<CalibrationArea> WritableCalibrationAreas()
{
    QList<CalibrationArea> writable;
    for (const AreaSpec &desc : CalibrationAreas()) {
        if (desc.writable)
            writable << desc.area;
    }
    return writable;
}

const AreaSpec &AreaSpecOf(CalibrationArea area)
{
    for (const AreaSpec &desc : CalibrationAreas()) {
        if (desc.area == area)
            return desc;
    }
    return CalibrationAreas().front();
}

const AreaSpec *AreaSpecByKey(const QString &key)
{
    for (const AreaSpec &desc : CalibrationAreas()) {
        if (key == QLatin1String(desc.key))
            return &desc;
    }
    return nullptr;
}

std::optional<QVector<quint16>> AreaFromImage(const TRegisterImage &image, CalibrationArea area)
{
    QVector<quint16> values;
    for (const RegisterRange &r : AreaSpecOf(area).ranges) {
        const auto part = image.range(r.space, r.first, r.count);
        if (!part)
            return std::nullopt;
        values += *part;
    }
    return values;
}
