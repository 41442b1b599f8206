#include "records/run_record.h"
#include <QJsonArray>

namespace {

struct PhaseName
{
    RunPhase phase;
    const char *key;
    const char *title;
};
constexpr PhaseName Phases[] = {
    {RunPhase::Thermometer, "thermometer", "термометр"},
    {RunPhase::ThermometerCheck, "thermometer_check", "проверка термометра"},
    {RunPhase::Zero, "zero", "ноль по температуре"},
    {RunPhase::ZeroTemperatureCheck, "zero_temperature_check", "проверка нуля по температуре"},
    {RunPhase::ZeroCheck, "zero_check", "проверка нуля"},
    {RunPhase::AsFound, "as_found", "как найден"},
    {RunPhase::Calibration, "calibration", "калибровка"},
    {RunPhase::AsLeft, "as_left", "как оставлен"},
};

struct EndName
{
    RunEnd end;
    const char *key;
    const char *title;
};
constexpr EndName Ends[] = {
    {RunEnd::Running, "running", "идёт"},
    {RunEnd::Completed, "completed", "завершена"},
    {RunEnd::Aborted, "aborted", "прервана"},
    {RunEnd::Failed, "failed", "не удалась"},
};

const PhaseName *phaseName(RunPhase phase)
{
    for (const PhaseName &p : Phases) {
        if (p.phase == phase)
            return &p;
    }
    return nullptr;
}

const EndName *endName(RunEnd end)
{
    for (const EndName &e : Ends) {
        if (e.end == end)
            return &e;
    }
    return nullptr;
}

QJsonValue utc(const QDateTime &t)
{
    return t.isValid() ? QJsonValue(t.toUTC().toString(Qt::ISODateWithMs)) : QJsonValue();
}

template <typename T>
QJsonValue orNull(const std::optional<T> &v)
{
    return v ? QJsonValue(*v) : QJsonValue();
}

QJsonValue verdict(const std::optional<bool> &fit)
{
    return fit ? QJsonValue(*fit ? QStringLiteral("годен") : QStringLiteral("не годен")) : QJsonValue();
}

// A float as the double of the same value: read back and narrowed, it is the same float.
QJsonArray floats(const float *begin, const float *end)
{
    QJsonArray a;
    for (const float *v = begin; v != end; ++v)
        a.append(double(*v));
    return a;
}

QJsonValue coefficients(const std::optional<std::array<float, 4>> &c)
{
    if (!c)
        return QJsonValue();
    return QJsonObject{{"a", double((*c)[0])}, {"b", double((*c)[1])}, {"c", double((*c)[2])}, {"d", double((*c)[3])}};
}

QJsonValue table(const std::optional<std::array<float, 27>> &t)
{
    if (!t)
        return QJsonValue();
    // Q Max, then the thirteen reference flows, then the thirteen Δt.
    return QJsonObject{{"q_max", double((*t)[0])},
                       {"reference", floats(t->data() + 1, t->data() + 14)},
                       {"delta_t", floats(t->data() + 14, t->data() + 27)}};
}

QJsonObject pointJson(const RunPoint &p)
{
    QJsonObject o;
    o["phase"] = PhaseKey(p.phase);
    o["index"] = p.index;
    o["target_percent"] = p.targetPercent;
    o["target_flow"] = p.targetFlow;
    o["reference_flow"] = p.referenceFlow;
    o["meter_flow"] = p.meterFlow;
    o["delta_t"] = p.deltaT;
    o["averaging_seconds"] = p.averagingSeconds;
    o["reference_samples"] = p.referenceSamples;
    o["absolute_error"] = p.absoluteError;
    o["relative_error"] = orNull(p.relativeError);
    o["reduced_error"] = orNull(p.reducedError);
    o["fits"] = orNull(p.fits);
    o["settle_seconds"] = p.settleSeconds;
    o["tube_temperature"] = p.tubeTemperature ? QJsonValue(*p.tubeTemperature) : QJsonValue();
    o["meter_sigma"] = p.meterSigma;
    o["meter_drift"] = p.meterDrift;
    o["reference_sigma"] = p.referenceSigma;
    o["reference_drift"] = p.referenceDrift;
    o["attempts"] = p.attempts;
    o["settled"] = p.settled;
    o["started_utc"] = utc(p.startedUtc);
    o["taken_utc"] = utc(p.takenUtc);
    const QJsonObject details = PointDetailsToJson(p);
    for (auto it = details.constBegin(); it != details.constEnd(); ++it)
        o[it.key()] = it.value();
    return o;
}

} // namespace

QString PhaseKey(RunPhase phase)
{
    const PhaseName *p = phaseName(phase);
    return p ? QString::fromLatin1(p->key) : QString();
}

QString PhaseTitle(RunPhase phase)
{
    const PhaseName *p = phaseName(phase);
    return p ? QString::fromUtf8(p->title) : QString();
}

std::optional<RunPhase> PhaseFromKey(const QString &key)
{
    for (const PhaseName &p : Phases) {
        if (key == QLatin1String(p.key))
            return p.phase;
    }
    return std::nullopt;
}

QString EndKey(RunEnd end)
{
    const EndName *e = endName(end);
    return e ? QString::fromLatin1(e->key) : QString();
}

QString EndTitle(RunEnd end)
{
    const EndName *e = endName(end);
    return e ? QString::fromUtf8(e->title) : QString();
}

std::optional<RunEnd> EndFromKey(const QString &key)
{
    for (const EndName &e : Ends) {
        if (key == QLatin1String(e.key))
            return e.end;
    }
    return std::nullopt;
}

QString TableWriteKey(TableWrite write)
{
    switch (write) {
    case TableWrite::Begun: return QStringLiteral("begun");
    case TableWrite::Done: return QStringLiteral("done");
    case TableWrite::None: break;
    }
    return QStringLiteral("");
}

std::optional<TableWrite> TableWriteFromKey(const QString &key)
{
    for (TableWrite w : {TableWrite::None, TableWrite::Begun, TableWrite::Done}) {
        if (key == TableWriteKey(w))
            return w;
    }
    return std::nullopt;
}

QString SerialMismatchText(const QString &given, const QString &port)
{
    if (port.isEmpty() || given.trimmed() == port)
        return {};
    return QStringLiteral("серийный номер %1 не совпадает с номером порта прибора %2: в записи будут оба").arg(given, port);
}

QList<RunPoint> RunRecord::pointsOf(RunPhase phase) const
{
    QList<RunPoint> of;
    for (const RunPoint &p : points) {
        if (p.phase == phase)
            of << p;
    }
    return of;
}

namespace {
const QString SafeStateKey = QStringLiteral("safe_state");
} // namespace

void SetRigSafe(RunRecord &run, const RigSafeState &state)
{
    run.rigSettings.insert(SafeStateKey, QJsonObject{{"setpoint", state.setpoint},
                                                     {"confirmed", state.confirmed},
                                                     {"message", state.message}});
}

std::optional<RigSafeState> RigSafeOf(const RunRecord &run)
{
    const QJsonValue v = run.rigSettings.value(SafeStateKey);
    if (!v.isObject())
        return std::nullopt;
    const QJsonObject o = v.toObject();
    return RigSafeState{o.value("setpoint").toDouble(), o.value("confirmed").toBool(), o.value("message").toString()};
}

QString RigSafeText(const RunRecord &run)
{
    const std::optional<RigSafeState> safe = RigSafeOf(run);
    if (!safe)
        return {};
    return QStringLiteral("Стенд: %1").arg(safe->message);
}

QJsonObject RunToJson(const RunRecord &run)
{
    QJsonObject o;
    o["uuid"] = run.uuid;
    o["id"] = run.id;
    o["meter_serial"] = run.meterSerial;
    o["port_serial"] = run.portSerial;
    o["operator"] = run.operatorName;
    o["workstation"] = run.workstation;
    o["program_version"] = run.programVersion;
    QJsonObject settings = run.rigSettings;
    const QJsonValue safe = settings.take(SafeStateKey);
    o["rig"] = QJsonObject{{"kind", run.rigKind}, {"settings", settings}};
    o["rig_safe"] = safe.isObject() ? safe : QJsonValue();
    o["plan"] = run.plan;
    o["started_utc"] = utc(run.startedUtc);
    o["ended_utc"] = utc(run.endedUtc);
    o["end"] = EndKey(run.end);
    o["end_reason"] = run.endReason;
    o["q_max"] = double(run.qMax);
    o["tolerance_percent"] = run.tolerancePercent;
    o["coefficients_before"] = coefficients(run.coefficientsBefore);
    o["coefficients_after"] = coefficients(run.coefficientsAfter);
    o["written_table"] = table(run.writtenTable);
    o["table_write"] = run.tableWrite == TableWrite::None ? QJsonValue() : QJsonValue(TableWriteKey(run.tableWrite));
    if (!run.storeError.isEmpty())
        o["store_error"] = run.storeError;
    o["snapshot_before"] = run.snapshotBeforeId > 0 ? QJsonValue(run.snapshotBeforeId) : QJsonValue();
    o["snapshot_after"] = run.snapshotAfterId > 0 ? QJsonValue(run.snapshotAfterId) : QJsonValue();
    o["verdict"] = QJsonObject{{"as_found", verdict(run.asFoundFit)},
                               {"as_left", verdict(run.asLeftFit)},
                               {"as_found_max_error", orNull(run.asFoundMaxError)},
                               {"as_left_max_error", orNull(run.asLeftMaxError)}};
    QJsonArray points;
    for (const RunPoint &p : run.points)
        points.append(pointJson(p));
    o["points"] = points;
    const QJsonObject details = RunDetailsToJson(run);
    for (auto it = details.constBegin(); it != details.constEnd(); ++it)
        o[it.key()] = it.value();
    return o;
}
