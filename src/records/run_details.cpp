// A point's and a run's figures beyond the store's columns: the temperature phases'
// and the metrology's, one JSON object each, the same in the store and in RunToJson.
#include "records/run_record.h"
#include <QCryptographicHash>
#include <QJsonDocument>
#include <QUuid>
#include <algorithm>
#include <cmath>

QString CertificateNumber(const RunRecord &run)
{
    const QUuid uuid(run.uuid);
    if (uuid.isNull())
        return {};
    return QStringLiteral("KL-") + uuid.toString(QUuid::WithoutBraces).toUpper();
}

QString PlanDigest(const QJsonObject &plan)
{
    const QByteArray json = QJsonDocument(plan).toJson(QJsonDocument::Compact);
    return QString::fromLatin1(QCryptographicHash::hash(json, QCryptographicHash::Sha256).toHex().left(16));
}

QJsonObject PointDetailsToJson(const RunPoint &point)
{
    QJsonObject o;
    o["temperature"] = point.temperature ? QJsonValue(RunAdjustmentsJson::ToJson(*point.temperature)) : QJsonValue();
    o["metrology"] = point.metrology.isEmpty() ? QJsonValue() : QJsonValue(RunMetrologyJson::ToJson(point.metrology));
    o["density"] = point.density ? QJsonValue(*point.density) : QJsonValue();
    return o;
}

std::optional<PointRange> RangeOverPoints(const QList<RunPoint> &points, std::optional<double> RunPoint::*figure)
{
    std::optional<PointRange> range;
    for (const RunPoint &p : points) {
        if (const std::optional<double> v = p.*figure; v && std::isfinite(*v))
            range = range ? PointRange{std::min(range->low, *v), std::max(range->high, *v)} : PointRange{*v, *v};
    }
    return range;
}

bool PointDetailsFromJson(const QJsonObject &o, RunPoint &point, QString *error)
{
    point.temperature.reset();
    point.metrology = {};
    point.density.reset();
    // Records kept before the density was have none.
    if (const QJsonValue d = o.value("density"); d.isDouble()) {
        point.density = d.toDouble();
    } else if (!d.isNull() && !d.isUndefined()) {
        if (error)
            *error = QStringLiteral("density: ожидалось число");
        return false;
    }
    const QJsonValue t = o.value("temperature"), m = o.value("metrology");
    if (t.isObject()) {
        PointTemperature temperature;
        if (!RunAdjustmentsJson::FromJson(t.toObject(), temperature, error))
            return false;
        point.temperature = temperature;
    } else if (!t.isNull() && !t.isUndefined()) {
        if (error)
            *error = QStringLiteral("temperature: ожидался объект");
        return false;
    }
    if (m.isObject())
        return RunMetrologyJson::FromJson(m.toObject(), point.metrology, error);
    if (!m.isNull() && !m.isUndefined()) {
        if (error)
            *error = QStringLiteral("metrology: ожидался объект");
        return false;
    }
    return true;
}

namespace {

QJsonObject partiesJson(const CertificateParties &p)
{
    return QJsonObject{{"laboratory_name", p.laboratoryName}, {"laboratory_address", p.laboratoryAddress},
                       {"customer_name", p.customerName},     {"customer_address", p.customerAddress},
                       {"signatory_name", p.signatoryName},   {"signatory_role", p.signatoryRole}};
}

bool partiesFrom(const QJsonValue &v, CertificateParties &p, QString *error)
{
    p = {};
    if (v.isUndefined() || v.isNull())
        return true;
    const QJsonObject o = v.toObject();
    QString *fields[] = {&p.laboratoryName, &p.laboratoryAddress, &p.customerName,
                         &p.customerAddress, &p.signatoryName, &p.signatoryRole};
    const char *keys[] = {"laboratory_name", "laboratory_address", "customer_name",
                          "customer_address", "signatory_name", "signatory_role"};
    for (int i = 0; i < 6; ++i) {
        const QJsonValue f = o.value(QLatin1String(keys[i]));
        if (!v.isObject() || (!f.isUndefined() && !f.isString())) {
            if (error)
                *error = QStringLiteral("parties.%1: ожидался текст").arg(QLatin1String(keys[i]));
            return false;
        }
        *fields[i] = f.toString();
    }
    return true;
}

} // namespace

QJsonObject RunDetailsToJson(const RunRecord &run)
{
    return QJsonObject{{"adjustments", RunAdjustmentsJson::ToJson(run.adjustments)},
                       {"metrology", RunMetrologyJson::ToJson(run.metrology)},
                       {"parties", partiesJson(run.parties)}};
}

bool RunDetailsFromJson(const QJsonObject &o, RunRecord &run, QString *error)
{
    run.adjustments = {};
    run.metrology = {};
    run.parties = {};
    const QJsonValue a = o.value("adjustments"), m = o.value("metrology");
    if ((!a.isUndefined() && !a.isObject()) || (!m.isUndefined() && !m.isObject())) {
        if (error)
            *error = QStringLiteral("adjustments, metrology: ожидались объекты");
        return false;
    }
    return RunAdjustmentsJson::FromJson(a.toObject(), run.adjustments, error)
           && RunMetrologyJson::FromJson(m.toObject(), run.metrology, error)
           && partiesFrom(o.value("parties"), run.parties, error);
}
