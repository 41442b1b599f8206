#include "rig/rig_temperature.h"

#include <cmath>

namespace RigTemperature {

QString Refusal(double celsius)
{
    if (!std::isfinite(celsius))
        return QStringLiteral("температура не число");
    if (celsius < MinCelsius || celsius > MaxCelsius)
        return QStringLiteral("температура вне пределов %1…%2 °C").arg(MinCelsius).arg(MaxCelsius);
    return {};
}

QString Text(double celsius)
{
    return QString::number(celsius, 'g', 6).replace(QLatin1Char('.'), QLatin1Char(',')) + QStringLiteral(" °C");
}

} // namespace RigTemperature
