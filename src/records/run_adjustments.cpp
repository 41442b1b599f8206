#include "records/run_adjustments.h"
#include "records/record_json.h"

using namespace RecordJson;

namespace {

QJsonValue twoPoint(const std::optional<TwoPointAdjustment> &a)
{
    if (!a)
        return QJsonValue();
    return QJsonObject{{"points_before", Floats(a->pointsBefore)},
                       {"points_written", Floats(a->pointsWritten)},
                       {"coefficients_before", Floats(a->coefficientsBefore)},
                       {"coefficients_after", Floats(a->coefficientsAfter)},
                       {"written", a->written},
                       {"check_fits", OrNull(a->checkFits)}};
}

void readTwoPoint(Reader &parent, const char *field, std::optional<TwoPointAdjustment> &out)
{
    out.reset();
    const QJsonObject o = parent.object(field);
    if (!parent.ok() || o.isEmpty())
        return;
    Reader r(o, QString::fromLatin1(field) + QLatin1Char('.'));
    TwoPointAdjustment a;
    a.pointsBefore = r.floats<4>("points_before");
    a.pointsWritten = r.floats<4>("points_written");
    a.coefficientsBefore = r.floats<2>("coefficients_before");
    a.coefficientsAfter = r.floats<2>("coefficients_after");
    a.written = r.boolean("written");
    a.checkFits = r.optionalBool("check_fits");
    if (!r.ok()) {
        parent.fail(QString(), r.error());
        return;
    }
    out = a;
}

} // namespace

namespace RunAdjustmentsJson {

QJsonObject ToJson(const PointTemperature &p)
{
    return QJsonObject{{"setpoint", p.setpoint},
                       {"reference_temperature", p.referenceTemperature},
                       {"tube_temperature", p.tubeTemperature},
                       {"adc_code", OrNull(p.adcCode)},
                       {"delta_t", OrNull(p.deltaT)},
                       {"reference_sigma", p.referenceSigma},
                       {"tube_sigma", p.tubeSigma},
                       {"error", OrNull(p.error)},
                       {"fits", OrNull(p.fits)},
                       {"computed", p.computed}};
}

bool FromJson(const QJsonObject &o, PointTemperature &p, QString *error)
{
    Reader r(o, QStringLiteral("temperature."));
    p.setpoint = r.number("setpoint");
    p.referenceTemperature = r.number("reference_temperature");
    p.tubeTemperature = r.number("tube_temperature");
    p.adcCode = r.optionalNumber("adc_code");
    p.deltaT = r.optionalNumber("delta_t");
    p.referenceSigma = r.number("reference_sigma");
    p.tubeSigma = r.number("tube_sigma");
    p.error = r.optionalNumber("error");
    p.fits = r.optionalBool("fits");
    p.computed = r.boolean("computed");
    if (!r.ok() && error)
        *error = r.error();
    return r.ok();
}

QJsonObject ToJson(const RunAdjustments &a)
{
    QJsonObject o{{"thermometer", twoPoint(a.thermometer)}, {"zero", twoPoint(a.zero)}};
    if (a.zeroCheck) {
        const ZeroCheck &z = *a.zeroCheck;
        o["zero_check"] = QJsonObject{{"seconds", z.seconds},
                                      {"samples", z.samples},
                                      {"mean", z.meanKgPerHour},
                                      {"sigma", z.sigmaKgPerHour},
                                      {"limit", z.limitKgPerHour},
                                      {"stored_zero", OrNull(z.storedZero)},
                                      {"within_limit", OrNull(z.withinLimit)}};
    } else {
        o["zero_check"] = QJsonValue();
    }
    return o;
}

bool FromJson(const QJsonObject &o, RunAdjustments &a, QString *error)
{
    Reader r(o, QStringLiteral("adjustments."));
    a = {};
    readTwoPoint(r, "thermometer", a.thermometer);
    readTwoPoint(r, "zero", a.zero);
    const QJsonObject z = r.object("zero_check");
    if (r.ok() && !z.isEmpty()) {
        Reader zr(z, QStringLiteral("adjustments.zero_check."));
        ZeroCheck c;
        c.seconds = zr.number("seconds");
        c.samples = zr.integer("samples");
        c.meanKgPerHour = zr.number("mean");
        c.sigmaKgPerHour = zr.number("sigma");
        c.limitKgPerHour = zr.number("limit");
        if (const auto stored = zr.optionalNumber("stored_zero"))
            c.storedZero = float(*stored);
        c.withinLimit = zr.optionalBool("within_limit");
        if (!zr.ok()) {
            if (error)
                *error = zr.error();
            return false;
        }
        a.zeroCheck = c;
    }
    if (!r.ok() && error)
        *error = r.error();
    return r.ok();
}

} // namespace RunAdjustmentsJson
