// What a run will not take on trust at a fluid temperature: a reference thermometer out
// of any rig's range, stuck, or not following the set point, and a meter that did not
// measure over the interval. Nothing is written on a point these refuse.
#include "procedure/run_plausibility.h"
#include <QLocale>
#include <cmath>

namespace Plausibility {

namespace {

QString celsius(double v, int decimals = 2)
{
    if (!std::isfinite(v) || std::abs(v) >= 1e5)
        return QLocale().toString(v, 'g', 3);
    return QLocale().toString(v, 'f', decimals);
}

using Check = std::optional<QString> (*)(const TemperaturePoint &);

std::optional<QString> referenceInRange(const TemperaturePoint &p)
{
    if (std::isfinite(p.reference) && p.reference >= LowestTemperature && p.reference <= HighestTemperature)
        return std::nullopt;
    return QStringLiteral("эталонный термометр показывает %1 °C, а стенд держит от %2 до %3 °C: "
                          "проверьте карту регистров термометра")
        .arg(celsius(p.reference), celsius(LowestTemperature, 0), celsius(HighestTemperature, 0));
}

std::optional<QString> meterMeasured(const TemperaturePoint &p)
{
    if (p.meterSamples == 0 || !std::isfinite(p.tube))
        return QStringLiteral("прибор не дал ни одного показания температуры за интервал усреднения");
    if (!AveragingHappened(p.meterSeconds, p.openedSeconds))
        return QStringLiteral("прибор усреднял %1 с вместо %2 с: он не выполнил команды сброса и пуска усреднения")
            .arg(celsius(p.meterSeconds, 1), celsius(p.openedSeconds, 1));
    return std::nullopt;
}

// A thermometer in a thermostat still scatters in its last digits; one that gives the very
// same number for the whole window and interval is stuck or echoes a constant.
std::optional<QString> referenceNotFrozen(const TemperaturePoint &p)
{
    if (p.referenceReadings < FrozenMinReadings || p.referenceLow != p.referenceHigh)
        return std::nullopt;
    return QStringLiteral("эталонный термометр стоит на %1 °C без малейшего разброса (%2 показаний): "
                          "показание застыло")
        .arg(celsius(p.referenceLow, 3))
        .arg(p.referenceReadings);
}

std::optional<QString> followsSetpoint(const TemperaturePoint &p)
{
    if (!p.rigSetsTemperature || std::abs(p.reference - p.setpoint) <= p.tolerance)
        return std::nullopt;
    return QStringLiteral("эталонный термометр %1 °C не следует уставке %2 °C: нужно не дальше ±%3 °C от неё")
        .arg(celsius(p.reference), celsius(p.setpoint, 1), celsius(p.tolerance));
}

const struct
{
    const char *rule;
    Check check;
} Rules[] = {
    {"thermometer_range", referenceInRange},
    {"meter_temperature", meterMeasured},
    {"thermometer_frozen", referenceNotFrozen},
    {"thermometer_follows_setpoint", followsSetpoint},
};

} // namespace

std::optional<Refusal> CheckTemperature(const TemperaturePoint &point)
{
    for (const auto &r : Rules) {
        if (const std::optional<QString> why = r.check(point))
            return Refusal{r.rule, point.title + QStringLiteral(": ") + *why};
    }
    return std::nullopt;
}

} // namespace Plausibility
