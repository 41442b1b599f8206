#include "records/run_metrology.h"
#include "records/record_json.h"
#include <QJsonArray>

using namespace RecordJson;

namespace {

template <typename E>
struct Named
{
    E value;
    const char *key;
    const char *title;
};
constexpr Named<DecisionRule> Rules[] = {
    {DecisionRule::Simple, "simple", "простое принятие"},
    {DecisionRule::Guarded, "guarded", "с защитной полосой"},
};
constexpr Named<Conformity> Conformities[] = {
    {Conformity::Pass, "pass", "годен"},
    {Conformity::Fail, "fail", "не годен"},
    {Conformity::Undetermined, "undetermined", "не определено"},
};

template <typename E, std::size_t N>
const Named<E> *find(const Named<E> (&table)[N], E value)
{
    for (const Named<E> &n : table) {
        if (n.value == value)
            return &n;
    }
    return nullptr;
}

template <typename E, std::size_t N>
std::optional<E> fromKey(const Named<E> (&table)[N], const QString &key)
{
    for (const Named<E> &n : table) {
        if (key == QLatin1String(n.key))
            return n.value;
    }
    return std::nullopt;
}

QJsonValue conformity(const std::optional<Conformity> &c)
{
    return c ? QJsonValue(ConformityKey(*c)) : QJsonValue();
}

bool readConformity(Reader &r, const char *field, std::optional<Conformity> &out)
{
    const QString key = r.text(field);
    out.reset();
    if (key.isEmpty())
        return r.ok();
    out = ConformityFromKey(key);
    return out ? true : r.fail(QString::fromLatin1(field), QStringLiteral("неизвестный вердикт «%1»").arg(key.left(40)));
}

QJsonObject budgetJson(const UncertaintyBudget &b)
{
    QJsonArray components;
    for (const UncertaintyComponent &c : b.components) {
        components.append(QJsonObject{{"key", c.key},
                                      {"title", c.title},
                                      {"distribution", c.distribution},
                                      {"standard_percent", c.standardPercent},
                                      {"degrees_of_freedom", OrNull(c.degreesOfFreedom)}});
    }
    return QJsonObject{{"components", components},
                       {"combined_percent", b.combinedPercent},
                       {"effective_degrees_of_freedom", OrNull(b.effectiveDegreesOfFreedom)},
                       {"coverage_factor", b.coverageFactor},
                       {"coverage_probability", b.coverageProbability},
                       {"expanded_percent", b.expandedPercent}};
}

std::optional<UncertaintyBudget> readBudget(Reader &parent)
{
    const QJsonObject o = parent.object("budget");
    if (!parent.ok() || o.isEmpty())
        return std::nullopt;
    Reader r(o, QStringLiteral("budget."));
    UncertaintyBudget b;
    const QJsonArray components = r.array("components");
    for (qsizetype i = 0; r.ok() && i < components.size(); ++i) {
        Reader c(components.at(i).toObject(), QStringLiteral("budget.components[%1].").arg(i));
        UncertaintyComponent u;
        u.key = c.text("key");
        u.title = c.text("title");
        u.distribution = c.text("distribution");
        u.standardPercent = c.number("standard_percent");
        u.degreesOfFreedom = c.optionalNumber("degrees_of_freedom");
        if (!components.at(i).isObject())
            c.fail(QString(), QStringLiteral("ожидался объект"));
        if (!c.ok())
            r.fail(QString(), c.error());
        b.components << u;
    }
    b.combinedPercent = r.number("combined_percent");
    b.effectiveDegreesOfFreedom = r.optionalNumber("effective_degrees_of_freedom");
    b.coverageFactor = r.number("coverage_factor", 2.0);
    b.coverageProbability = r.number("coverage_probability", 0.95);
    b.expandedPercent = r.number("expanded_percent");
    if (!r.ok()) {
        parent.fail(QString(), r.error());
        return std::nullopt;
    }
    return b;
}

} // namespace

QString DecisionRuleKey(DecisionRule rule)
{
    const auto *n = find(Rules, rule);
    return n ? QString::fromLatin1(n->key) : QString();
}

QString DecisionRuleTitle(DecisionRule rule)
{
    const auto *n = find(Rules, rule);
    return n ? QString::fromUtf8(n->title) : QString();
}

std::optional<DecisionRule> DecisionRuleFromKey(const QString &key)
{
    return fromKey(Rules, key);
}

QString ConformityKey(Conformity c)
{
    const auto *n = find(Conformities, c);
    return n ? QString::fromLatin1(n->key) : QString();
}

QString ConformityTitle(Conformity c)
{
    const auto *n = find(Conformities, c);
    return n ? QString::fromUtf8(n->title) : QString();
}

std::optional<Conformity> ConformityFromKey(const QString &key)
{
    return fromKey(Conformities, key);
}

QString VerdictTitle(const std::optional<Conformity> &conformity, const std::optional<bool> &fit)
{
    if (conformity)
        return ConformityTitle(*conformity);
    if (fit)
        return ConformityTitle(*fit ? Conformity::Pass : Conformity::Fail);
    return QStringLiteral("—");
}

namespace RunMetrologyJson {

QJsonObject ToJson(const PointMetrology &m)
{
    QJsonArray runs;
    for (const PointRun &r : m.runs) {
        runs.append(QJsonObject{{"reference_flow", r.referenceFlow},
                                {"meter_flow", r.meterFlow},
                                {"delta_t", r.deltaT},
                                {"seconds", r.seconds},
                                {"relative_error", OrNull(r.relativeError)},
                                {"opened_utc", Utc(r.openedUtc)},
                                {"closed_utc", Utc(r.closedUtc)}});
    }
    return QJsonObject{{"runs", runs},
                       {"repeatability_percent", OrNull(m.repeatabilityPercent)},
                       {"budget", m.budget ? QJsonValue(budgetJson(*m.budget)) : QJsonValue()},
                       {"conformity", conformity(m.conformity)}};
}

bool FromJson(const QJsonObject &o, PointMetrology &m, QString *error)
{
    Reader r(o, QStringLiteral("metrology."));
    m = {};
    const QJsonArray runs = r.array("runs");
    for (qsizetype i = 0; r.ok() && i < runs.size(); ++i) {
        Reader one(runs.at(i).toObject(), QStringLiteral("metrology.runs[%1].").arg(i));
        PointRun run;
        run.referenceFlow = one.number("reference_flow");
        run.meterFlow = one.number("meter_flow");
        run.deltaT = one.number("delta_t");
        run.seconds = one.number("seconds");
        run.relativeError = one.optionalNumber("relative_error");
        run.openedUtc = one.utc("opened_utc");
        run.closedUtc = one.utc("closed_utc");
        if (!runs.at(i).isObject())
            one.fail(QString(), QStringLiteral("ожидался объект"));
        if (!one.ok())
            r.fail(QString(), one.error());
        m.runs << run;
    }
    m.repeatabilityPercent = r.optionalNumber("repeatability_percent");
    m.budget = readBudget(r);
    readConformity(r, "conformity", m.conformity);
    if (!r.ok() && error)
        *error = r.error();
    return r.ok();
}

QJsonObject ToJson(const RunMetrology &m)
{
    QJsonValue reference;
    if (m.reference) {
        const ReferenceInstrument &i = *m.reference;
        reference = QJsonObject{{"name", i.name},
                                {"certificate", i.certificate},
                                {"due_date", Date(i.dueDate)},
                                {"expanded_uncertainty_percent", OrNull(i.expandedUncertaintyPercent)},
                                {"coverage_factor", i.coverageFactor},
                                {"degrees_of_freedom", OrNull(i.degreesOfFreedom)}};
    }
    QJsonValue zero;
    if (m.zeroCheck) {
        const ZeroCheckResult &z = *m.zeroCheck;
        zero = QJsonObject{{"mean_kg_h", z.meanKgH},
                           {"sigma_kg_h", z.sigmaKgH},
                           {"limit_kg_h", z.limitKgH},
                           {"seconds", z.seconds},
                           {"samples", z.samples},
                           {"fits", z.fits},
                           {"stops_run", z.stopsRun},
                           {"stored_zero_ns", OrNull(z.storedZeroNs)},
                           {"tube_temperature", OrNull(z.tubeTemperature)}};
    }
    return QJsonObject{{"decision_rule", DecisionRuleKey(m.rule)},
                       {"reference", reference},
                       {"as_found", conformity(m.asFound)},
                       {"as_left", conformity(m.asLeft)},
                       {"zero_check", zero}};
}

bool FromJson(const QJsonObject &o, RunMetrology &m, QString *error)
{
    Reader r(o, QStringLiteral("metrology."));
    m = {};
    const QString rule = r.text("decision_rule");
    if (!rule.isEmpty()) {
        if (const auto known = DecisionRuleFromKey(rule))
            m.rule = *known;
        else
            r.fail(QStringLiteral("decision_rule"), QStringLiteral("неизвестное правило «%1»").arg(rule.left(40)));
    }
    const QJsonObject ref = r.object("reference");
    if (r.ok() && !ref.isEmpty()) {
        Reader i(ref, QStringLiteral("metrology.reference."));
        ReferenceInstrument inst;
        inst.name = i.text("name");
        inst.certificate = i.text("certificate");
        inst.dueDate = i.date("due_date");
        inst.expandedUncertaintyPercent = i.optionalNumber("expanded_uncertainty_percent");
        inst.coverageFactor = i.number("coverage_factor", 2.0);
        inst.degreesOfFreedom = i.optionalNumber("degrees_of_freedom");
        if (!i.ok())
            r.fail(QString(), i.error());
        m.reference = inst;
    }
    readConformity(r, "as_found", m.asFound);
    readConformity(r, "as_left", m.asLeft);
    const QJsonObject zero = r.object("zero_check");
    if (r.ok() && !zero.isEmpty()) {
        Reader z(zero, QStringLiteral("metrology.zero_check."));
        ZeroCheckResult c;
        c.meanKgH = z.number("mean_kg_h");
        c.sigmaKgH = z.number("sigma_kg_h");
        c.limitKgH = z.number("limit_kg_h");
        c.seconds = z.number("seconds");
        c.samples = int(z.number("samples"));
        c.fits = z.boolean("fits");
        c.stopsRun = z.boolean("stops_run");
        c.storedZeroNs = z.optionalNumber("stored_zero_ns");
        c.tubeTemperature = z.optionalNumber("tube_temperature");
        if (!z.ok())
            r.fail(QString(), z.error());
        m.zeroCheck = c;
    }
    if (!r.ok() && error)
        *error = r.error();
    return r.ok();
}

} // namespace RunMetrologyJson
