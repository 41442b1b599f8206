#include "procedure/run_plan.h"
#include "protocol/flow_table.h"
#include "rig/json_file.h"
#include <QJsonArray>
#include <QJsonDocument>
#include <cmath>

namespace {

const char FormatName[] = "kestrolink-run-plan";
constexpr double MinTemperatureSpan = 10.0;
constexpr int MaxRunsPerPoint = 10;
constexpr double MinRunSeconds = 1.0;

// The numeric fields: their file names and where they live in the plan.
struct NumberField
{
    const char *key;
    double RunPlan::*value;
};
constexpr NumberField NumberFields[] = {
    {"tolerance_percent", &RunPlan::tolerancePercent},
    {"averaging_seconds", &RunPlan::averagingSeconds},
    {"sample_period_seconds", &RunPlan::samplePeriodSeconds},
    {"stability_window_seconds", &RunPlan::stabilityWindowSeconds},
    {"stability_sigma_percent", &RunPlan::stabilitySigmaPercent},
    {"stability_drift_percent", &RunPlan::stabilityDriftPercent},
    {"flow_tolerance_percent", &RunPlan::flowTolerancePercent},
    {"settle_timeout_seconds", &RunPlan::settleTimeoutSeconds},
    {"max_as_found_error_percent", &RunPlan::maxAsFoundErrorPercent},
    {"low_temperature", &RunPlan::lowTemperature},
    {"high_temperature", &RunPlan::highTemperature},
    {"temperature_tolerance", &RunPlan::temperatureTolerance},
    {"temperature_sigma", &RunPlan::temperatureSigma},
    {"temperature_drift", &RunPlan::temperatureDrift},
    {"temperature_timeout_seconds", &RunPlan::temperatureTimeoutSeconds},
    {"thermometer_check_tolerance", &RunPlan::thermometerCheckTolerance},
    {"zero_limit_ns", &RunPlan::zeroLimitNs},
    {"zero_averaging_seconds", &RunPlan::zeroAveragingSeconds},
    {"zero_check_seconds", &RunPlan::zeroCheckSeconds},
    {"zero_stability_percent", &RunPlan::zeroStabilityPercent},
    {"repeatability_limit_percent", &RunPlan::repeatabilityLimitPercent},
};

struct CountField
{
    const char *key;
    int RunPlan::*value;
};
constexpr CountField CountFields[] = {
    {"runs_per_point", &RunPlan::runsPerPoint},
    {"max_runs_per_point", &RunPlan::maxRunsPerPoint},
};

// The fields that name one of a few choices, with the plan's value as its key.
struct ChoiceField
{
    const char *key;
    QStringList choices;
    QString (*get)(const RunPlan &);
    void (*set)(RunPlan &, const QString &);
};
const ChoiceField ChoiceFields[] = {
    {"zero_check", {QStringLiteral("stop"), QStringLiteral("report"), QStringLiteral("off")},
     [](const RunPlan &p) { return RunPlanFile::ZeroCheckKey(p.zeroCheck); },
     [](RunPlan &p, const QString &v) { p.zeroCheck = *RunPlanFile::ZeroCheckFromKey(v); }},
    {"decision_rule", {QStringLiteral("simple"), QStringLiteral("guarded")},
     [](const RunPlan &p) { return p.decisionRule; }, [](RunPlan &p, const QString &v) { p.decisionRule = v; }},
};

struct BoolField
{
    const char *key;
    bool RunPlan::*value;
};
constexpr BoolField BoolFields[] = {
    {"thermometer_phase", &RunPlan::thermometerPhase},
    {"zero_phase", &RunPlan::zeroPhase},
    {"flow_phase", &RunPlan::flowPhase},
    {"verification_phase", &RunPlan::verificationPhase},
};

struct ListField
{
    const char *key;
    QList<double> RunPlan::*values;
};
constexpr ListField ListFields[] = {
    {"verification_percent", &RunPlan::verificationPercent},
    {"calibration_percent", &RunPlan::calibrationPercent},
};

bool refuse(QString *error, const QString &field, const QString &why)
{
    if (error)
        *error = field + QStringLiteral(": ") + why;
    return false;
}

QString num(double v)
{
    return QString::number(v, 'g', 10);
}

// lo < v <= hi, or lo <= v <= hi; false for NaN as well.
bool within(double v, double lo, double hi, bool loOpen = false)
{
    return (loOpen ? v > lo : v >= lo) && v <= hi;
}

bool checkPercents(const QList<double> &values, const QString &key, QString *error)
{
    for (qsizetype i = 0; i < values.size(); ++i) {
        if (!std::isfinite(values[i]) || !within(values[i], -100, 100))
            return refuse(error, QStringLiteral("%1[%2]").arg(key).arg(i),
                          QStringLiteral("%1 вне пределов от -100 до 100 %").arg(num(values[i])));
    }
    return true;
}

} // namespace

namespace RunPlanFile {

QString ZeroCheckKey(RunPlan::ZeroCheckMode mode)
{
    switch (mode) {
    case RunPlan::ZeroCheckMode::Stop:
        return QStringLiteral("stop");
    case RunPlan::ZeroCheckMode::Report:
        return QStringLiteral("report");
    case RunPlan::ZeroCheckMode::Off:
        return QStringLiteral("off");
    }
    return {};
}

std::optional<RunPlan::ZeroCheckMode> ZeroCheckFromKey(const QString &key)
{
    for (auto mode : {RunPlan::ZeroCheckMode::Stop, RunPlan::ZeroCheckMode::Report, RunPlan::ZeroCheckMode::Off}) {
        if (key == ZeroCheckKey(mode))
            return mode;
    }
    return std::nullopt;
}

RunPlan Default()
{
    RunPlan plan;
    plan.name = QStringLiteral("По умолчанию");
    plan.verificationPercent = {100, 50, 25, 10, -10, -25, -50, -100};
    for (int n = 1; n <= FlowTable::Points; ++n)
        plan.calibrationPercent << double(FlowTable::PointFactor(n) * 100);
    return plan;
}

bool Check(const RunPlan &p, QString *error)
{
    const qsizetype verification = p.verificationPercent.size();
    if (verification < 1 || verification > 32)
        return refuse(error, QStringLiteral("verification_percent"),
                      QStringLiteral("нужно от 1 до 32 точек, задано %1").arg(verification));
    if (!checkPercents(p.verificationPercent, QStringLiteral("verification_percent"), error))
        return false;
    if (p.calibrationPercent.size() != FlowTable::Points)
        return refuse(error, QStringLiteral("calibration_percent"),
                      QStringLiteral("нужно ровно %1 точек таблицы расхода, задано %2")
                          .arg(FlowTable::Points)
                          .arg(p.calibrationPercent.size()));
    if (!checkPercents(p.calibrationPercent, QStringLiteral("calibration_percent"), error))
        return false;
    for (qsizetype i = 1; i < p.calibrationPercent.size(); ++i) {
        if (!(p.calibrationPercent[i] > p.calibrationPercent[i - 1]))
            return refuse(error, QStringLiteral("calibration_percent[%1]").arg(i),
                          QStringLiteral("%1 не больше предыдущей точки (%2): точки идут строго по возрастанию")
                              .arg(num(p.calibrationPercent[i]), num(p.calibrationPercent[i - 1])));
    }
    const struct
    {
        const char *key;
        double value, lo, hi;
        bool loOpen;
        const char *limits;
    } ranges[] = {
        {"tolerance_percent", p.tolerancePercent, 0, 100, true, "больше 0 и не больше 100 %"},
        {"averaging_seconds", p.averagingSeconds, 1, 3600, false, "от 1 до 3600 с"},
        {"sample_period_seconds", p.samplePeriodSeconds, 0.05, 10, false, "от 0,05 до 10 с"},
        {"stability_sigma_percent", p.stabilitySigmaPercent, 0, 10, true, "больше 0 и не больше 10 %"},
        {"stability_drift_percent", p.stabilityDriftPercent, 0, 10, true, "больше 0 и не больше 10 %"},
        {"flow_tolerance_percent", p.flowTolerancePercent, 0, 20, true, "больше 0 и не больше 20 %"},
        {"low_temperature", p.lowTemperature, -20, 150, false, "от -20 до 150 °C"},
        {"high_temperature", p.highTemperature, -20, 150, false, "от -20 до 150 °C"},
        {"temperature_tolerance", p.temperatureTolerance, 0, 10, true, "больше 0 и не больше 10 °C"},
        {"temperature_sigma", p.temperatureSigma, 0, 5, true, "больше 0 и не больше 5 °C"},
        {"temperature_drift", p.temperatureDrift, 0, 5, true, "больше 0 и не больше 5 °C"},
        {"thermometer_check_tolerance", p.thermometerCheckTolerance, 0, 5, true, "больше 0 и не больше 5 °C"},
        {"zero_limit_ns", p.zeroLimitNs, 0, 10, true, "больше 0 и не больше 10 нс"},
        {"zero_averaging_seconds", p.zeroAveragingSeconds, 1, 3600, false, "от 1 до 3600 с"},
        {"zero_check_seconds", p.zeroCheckSeconds, 1, 3600, false, "от 1 до 3600 с"},
        {"zero_stability_percent", p.zeroStabilityPercent, 0, 10, true, "больше 0 и не больше 10 %"},
        {"repeatability_limit_percent", p.repeatabilityLimitPercent, 0, 10, true, "больше 0 и не больше 10 %"},
    };
    for (const auto &r : ranges) {
        if (!within(r.value, r.lo, r.hi, r.loOpen))
            return refuse(error, QString::fromLatin1(r.key),
                          QStringLiteral("%1 вне пределов: нужно %2").arg(num(r.value), QString::fromUtf8(r.limits)));
    }
    // The window must hold enough samples to judge, and a point must have time to settle in it.
    const double minWindow = 3 * p.samplePeriodSeconds;
    // Limits made by arithmetic are met by the numbers a person writes for them (3 × 0.05 is not 0.15 in binary).
    const auto atLeast = [](double v, double limit) { return v >= limit - 1e-9 * std::abs(limit); };
    if (!atLeast(p.stabilityWindowSeconds, minWindow) || !within(p.stabilityWindowSeconds, 0, 600))
        return refuse(error, QStringLiteral("stability_window_seconds"),
                      QStringLiteral("%1 вне пределов: нужно от трех периодов опроса (%2 с) до 600 с")
                          .arg(num(p.stabilityWindowSeconds), num(minWindow)));
    const double minTimeout = p.stabilityWindowSeconds + 1;
    if (!atLeast(p.settleTimeoutSeconds, minTimeout) || !within(p.settleTimeoutSeconds, 0, 3600))
        return refuse(error, QStringLiteral("settle_timeout_seconds"),
                      QStringLiteral("%1 вне пределов: нужно от окна устойчивости плюс 1 с (%2 с) до 3600 с")
                          .arg(num(p.settleTimeoutSeconds), num(minTimeout)));
    if (!(p.thermometerPhase || p.zeroPhase || p.flowPhase || p.verificationPhase))
        return refuse(error, QStringLiteral("thermometer_phase"),
                      QStringLiteral("все этапы выключены: прогону нечего делать"));
    // Two points on one temperature give no line, and closer than this the slope is noise.
    if (!(p.highTemperature - p.lowTemperature >= MinTemperatureSpan))
        return refuse(error, QStringLiteral("high_temperature"),
                      QStringLiteral("%1 °C: нужно не меньше чем на %2 °C выше low_temperature (%3 °C)")
                          .arg(num(p.highTemperature), num(MinTemperatureSpan), num(p.lowTemperature)));
    const double minTemperatureTimeout = p.stabilityWindowSeconds + 1;
    if (!atLeast(p.temperatureTimeoutSeconds, minTemperatureTimeout) || !within(p.temperatureTimeoutSeconds, 0, 7200))
        return refuse(error, QStringLiteral("temperature_timeout_seconds"),
                      QStringLiteral("%1 вне пределов: нужно от окна устойчивости плюс 1 с (%2 с) до 7200 с")
                          .arg(num(p.temperatureTimeoutSeconds), num(minTemperatureTimeout)));
    if (!(p.runsPerPoint >= 1 && p.runsPerPoint <= MaxRunsPerPoint))
        return refuse(error, QStringLiteral("runs_per_point"),
                      QStringLiteral("%1 вне пределов: нужно от 1 до %2").arg(p.runsPerPoint).arg(MaxRunsPerPoint));
    if (!(p.maxRunsPerPoint >= p.runsPerPoint && p.maxRunsPerPoint <= 2 * MaxRunsPerPoint))
        return refuse(error, QStringLiteral("max_runs_per_point"),
                      QStringLiteral("%1 вне пределов: нужно от runs_per_point (%2) до %3")
                          .arg(p.maxRunsPerPoint)
                          .arg(p.runsPerPoint)
                          .arg(2 * MaxRunsPerPoint));
    // A run shorter than this is mostly the commands that open and close it.
    if (!atLeast(p.averagingSeconds / p.runsPerPoint, MinRunSeconds))
        return refuse(error, QStringLiteral("runs_per_point"),
                      QStringLiteral("%1 прогонов делят интервал усреднения %2 с на части короче %3 с")
                          .arg(p.runsPerPoint)
                          .arg(num(p.averagingSeconds), num(MinRunSeconds)));
    if (!ZeroCheckFromKey(ZeroCheckKey(p.zeroCheck)))
        return refuse(error, QStringLiteral("zero_check"), QStringLiteral("неизвестный режим"));
    if (p.decisionRule != QLatin1String("simple") && p.decisionRule != QLatin1String("guarded"))
        return refuse(error, QStringLiteral("decision_rule"),
                      QStringLiteral("«%1»: нужно \"simple\" или \"guarded\"").arg(p.decisionRule.left(40)));
    // Under the verdict's own tolerance a meter that is fit would stop the run.
    if (!within(p.maxAsFoundErrorPercent, p.tolerancePercent, 100))
        return refuse(error, QStringLiteral("max_as_found_error_percent"),
                      QStringLiteral("%1 вне пределов: нужно от допуска погрешности (%2 %) до 100 %")
                          .arg(num(p.maxAsFoundErrorPercent), num(p.tolerancePercent)));
    return true;
}

std::optional<RunPlan> Parse(const QByteArray &json, QString *error)
{
    JsonFile::Refusal refusal;
    const std::optional<QJsonObject> top = JsonFile::ParseObject(json, &refusal);
    if (!top) {
        const QString where = refusal.offset >= 0 ? QStringLiteral(" (символ %1)").arg(refusal.offset) : QString();
        refuse(error, refusal.field.isEmpty() ? QStringLiteral("JSON") : refusal.field, refusal.why + where);
        return std::nullopt;
    }
    const QJsonObject o = *top;
    if (!o.contains(QLatin1String("format")) || o["format"] != QLatin1String(FormatName)) {
        refuse(error, QStringLiteral("format"),
               QStringLiteral("нужно \"%1\": это не план калибровки KestroLink").arg(QLatin1String(FormatName)));
        return std::nullopt;
    }
    const QJsonValue version = o["version"];
    if (!version.isDouble() || version.toDouble() != std::floor(version.toDouble()) || version.toDouble() < 1) {
        refuse(error, QStringLiteral("version"), QStringLiteral("нужно целое число не меньше 1"));
        return std::nullopt;
    }
    if (version.toDouble() > RunPlan::FormatVersion) {
        refuse(error, QStringLiteral("version"),
               QStringLiteral("версия %1 новее известной этой программе (%2): обновите программу")
                   .arg(num(version.toDouble()))
                   .arg(RunPlan::FormatVersion));
        return std::nullopt;
    }

    RunPlan plan = Default();
    for (auto it = o.begin(); it != o.end(); ++it) {
        const QString key = it.key();
        const QJsonValue value = it.value();
        if (key == QLatin1String("format") || key == QLatin1String("version"))
            continue;
        if (key == QLatin1String("name")) {
            if (!value.isString())
                return refuse(error, key, QStringLiteral("нужна строка")), std::nullopt;
            plan.name = value.toString();
            continue;
        }
        const auto number = std::find_if(std::begin(NumberFields), std::end(NumberFields),
                                          [&](const NumberField &f) { return key == QLatin1String(f.key); });
        if (number != std::end(NumberFields)) {
            if (!value.isDouble())
                return refuse(error, key, QStringLiteral("нужно число")), std::nullopt;
            plan.*(number->value) = value.toDouble();
            continue;
        }
        const auto count = std::find_if(std::begin(CountFields), std::end(CountFields),
                                        [&](const CountField &f) { return key == QLatin1String(f.key); });
        if (count != std::end(CountFields)) {
            const double v = value.toDouble();
            if (!value.isDouble() || v != std::floor(v) || std::abs(v) > 1e6)
                return refuse(error, key, QStringLiteral("нужно целое число")), std::nullopt;
            plan.*(count->value) = int(v);
            continue;
        }
        const auto choice = std::find_if(std::begin(ChoiceFields), std::end(ChoiceFields),
                                         [&](const ChoiceField &f) { return key == QLatin1String(f.key); });
        if (choice != std::end(ChoiceFields)) {
            if (!value.isString() || !choice->choices.contains(value.toString()))
                return refuse(error, key, QStringLiteral("нужно одно из: \"%1\"").arg(choice->choices.join(QStringLiteral("\", \"")))),
                       std::nullopt;
            choice->set(plan, value.toString());
            continue;
        }
        const auto flag = std::find_if(std::begin(BoolFields), std::end(BoolFields),
                                       [&](const BoolField &f) { return key == QLatin1String(f.key); });
        if (flag != std::end(BoolFields)) {
            if (!value.isBool())
                return refuse(error, key, QStringLiteral("нужно true или false")), std::nullopt;
            plan.*(flag->value) = value.toBool();
            continue;
        }
        const auto list = std::find_if(std::begin(ListFields), std::end(ListFields),
                                       [&](const ListField &f) { return key == QLatin1String(f.key); });
        if (list == std::end(ListFields))
            return refuse(error, key, QStringLiteral("неизвестное поле")), std::nullopt;
        if (!value.isArray())
            return refuse(error, key, QStringLiteral("нужен список чисел [ … ]")), std::nullopt;
        QList<double> values;
        const QJsonArray array = value.toArray();
        for (qsizetype i = 0; i < array.size(); ++i) {
            if (!array[i].isDouble())
                return refuse(error, QStringLiteral("%1[%2]").arg(key).arg(i), QStringLiteral("нужно число")),
                       std::nullopt;
            values << array[i].toDouble();
        }
        plan.*(list->values) = values;
    }
    if (!Check(plan, error))
        return std::nullopt;
    return plan;
}

std::optional<RunPlan> Load(const QString &path, QString *error)
{
    QString why;
    const std::optional<QByteArray> bytes = JsonFile::ReadSmall(path, &why);
    if (!bytes) {
        if (error)
            *error = QStringLiteral("Файл плана %1 не читается: %2").arg(path, why);
        return std::nullopt;
    }
    auto plan = Parse(*bytes, &why);
    if (!plan && error)
        *error = QStringLiteral("План %1 не принят: %2").arg(path, why);
    return plan;
}

QJsonObject ToJson(const RunPlan &plan)
{
    QJsonObject o;
    o["format"] = QLatin1String(FormatName);
    o["version"] = RunPlan::FormatVersion;
    o["name"] = plan.name;
    for (const ListField &f : ListFields) {
        QJsonArray a;
        for (double v : plan.*(f.values))
            a.append(v);
        o[QLatin1String(f.key)] = a;
    }
    for (const NumberField &f : NumberFields)
        o[QLatin1String(f.key)] = plan.*(f.value);
    for (const BoolField &f : BoolFields)
        o[QLatin1String(f.key)] = plan.*(f.value);
    for (const CountField &f : CountFields)
        o[QLatin1String(f.key)] = plan.*(f.value);
    for (const ChoiceField &f : ChoiceFields)
        o[QLatin1String(f.key)] = f.get(plan);
    return o;
}

} // namespace RunPlanFile
