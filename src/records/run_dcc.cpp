#include "records/run_dcc.h"
#include <QJsonObject>
#include <QLocale>
#include <QXmlStreamWriter>
#include <algorithm>
#include <cmath>

namespace {

const QString Dcc = QStringLiteral("https://ptb.de/dcc");
const QString Si = QStringLiteral("https://ptb.de/si");
const QString Lang = QStringLiteral("ru");
const QString Placeholder = QStringLiteral("не указано");

struct Unit
{
    const char *flow = "\\kilogram\\hour\\tothe{-1}";
    const char *percent = "\\percent";
    const char *celsius = "\\degreecelsius";
    const char *nanosecond = "\\nano\\second";
    const char *density = "\\kilogram\\metre\\tothe{-3}";
} const Units;

QString orPlaceholder(const QString &s) { return s.trimmed().isEmpty() ? Placeholder : s; }

QString conformityValue(Conformity c)
{
    // The schema has no "undetermined": such a verdict is a declaration without a conformity.
    return c == Conformity::Pass ? QStringLiteral("pass") : c == Conformity::Fail ? QStringLiteral("fail") : QString();
}

std::optional<Conformity> phaseConformity(std::optional<Conformity> verdict, std::optional<bool> fit)
{
    if (verdict)
        return verdict;
    if (fit)
        return *fit ? Conformity::Pass : Conformity::Fail;
    return std::nullopt;
}

class Writer
{
public:
    explicit Writer(QByteArray *out) : x(out) { x.setAutoFormatting(true); }

    QXmlStreamWriter x;
    QString error;

    void begin(const char *name) { x.writeStartElement(Dcc, QLatin1String(name)); }
    void end() { x.writeEndElement(); }
    void leaf(const char *name, const QString &text) { x.writeTextElement(Dcc, QLatin1String(name), text); }
    void text(const char *name, const QString &content)
    {
        begin(name);
        x.writeStartElement(Dcc, QStringLiteral("content"));
        x.writeAttribute(QStringLiteral("lang"), Lang);
        x.writeCharacters(content);
        x.writeEndElement();
        end();
    }
    void rich(const char *name, const QString &content) { text(name, content); }
    QString number(double v, const char *what)
    {
        if (!std::isfinite(v) && error.isEmpty())
            error = QStringLiteral("В записи прогона не число: %1").arg(QString::fromUtf8(what));
        return RunDcc::Number(v);
    }
    // A D-SI real, with the budget's expanded uncertainty in the value's own unit.
    void real(double value, const char *unit, const char *what, const UncertaintyBudget *budget = nullptr)
    {
        x.writeStartElement(Si, QStringLiteral("real"));
        x.writeTextElement(Si, QStringLiteral("value"), number(value, what));
        x.writeTextElement(Si, QStringLiteral("unit"), QString::fromLatin1(unit));
        if (budget) {
            x.writeStartElement(Si, QStringLiteral("expandedUnc"));
            x.writeTextElement(Si, QStringLiteral("uncertainty"), number(budget->expandedPercent, what));
            x.writeTextElement(Si, QStringLiteral("coverageFactor"), number(budget->coverageFactor, what));
            QString p = number(budget->coverageProbability, what);
            if (p.contains(QLatin1Char('e'))) // the schema takes no exponent here
                p = QString::number(budget->coverageProbability, 'f', 17);
            x.writeTextElement(Si, QStringLiteral("coverageProbability"), p);
            x.writeEndElement();
        }
        x.writeEndElement();
    }
    void quantity(const char *ref, const QString &name, double value, const char *unit,
                  const UncertaintyBudget *budget = nullptr)
    {
        begin("quantity");
        x.writeAttribute(QStringLiteral("refType"), QString::fromLatin1(ref));
        text("name", name);
        real(value, unit, ref, budget);
        end();
    }
    void contact(const char *element, const QString &name, const QString &address)
    {
        begin(element);
        text("name", orPlaceholder(name));
        leaf("eMail", QString());
        begin("location");
        rich("further", orPlaceholder(address));
        end();
        end();
    }
    void identification(const char *issuer, const QString &value, const QString &name)
    {
        begin("identification");
        leaf("issuer", QString::fromLatin1(issuer));
        leaf("value", value);
        text("name", name);
        end();
    }
    void statement(const QString &ref, const QString &declaration, const QString &conformity = QString(),
                   const QDate &date = QDate())
    {
        begin("statement");
        x.writeAttribute(QStringLiteral("refType"), ref);
        rich("declaration", declaration);
        if (date.isValid())
            leaf("date", date.toString(Qt::ISODate));
        if (!conformity.isEmpty())
            leaf("conformity", conformity);
        end();
    }
};

QDate dateOf(const QDateTime &t, const QDateTime &fallback)
{
    const QDateTime use = t.isValid() ? t : fallback;
    return use.isValid() ? use.toUTC().date() : QDate(1970, 1, 1);
}

void writeAdministrative(Writer &w, const RunRecord &run)
{
    w.begin("administrativeData");
    w.begin("dccSoftware");
    w.begin("software");
    w.text("name", QStringLiteral("KestroLink"));
    w.leaf("release", run.programVersion);
    w.leaf("type", QStringLiteral("application"));
    w.end();
    w.end();

    const QDate begin = dateOf(run.startedUtc, run.endedUtc);
    const QDate end = dateOf(run.endedUtc, run.startedUtc);
    w.begin("coreData");
    w.leaf("countryCodeISO3166_1", QStringLiteral("RU"));
    w.leaf("usedLangCodeISO639_1", Lang);
    w.leaf("mandatoryLangCodeISO639_1", Lang);
    w.leaf("uniqueIdentifier", CertificateNumber(run));
    w.leaf("beginPerformanceDate", begin.toString(Qt::ISODate));
    w.leaf("endPerformanceDate", end.toString(Qt::ISODate));
    w.leaf("performanceLocation", QStringLiteral("laboratory"));
    w.end();

    w.begin("items");
    w.begin("item");
    w.text("name", QStringLiteral("Кориолисов массовый расходомер"));
    w.begin("manufacturer");
    w.text("name", QStringLiteral("Kestro"));
    w.end();
    w.begin("identifications");
    w.identification("customer", run.meterSerial, QStringLiteral("Заводской номер (указан)"));
    if (!run.portSerial.isEmpty())
        w.identification("manufacturer", run.portSerial, QStringLiteral("Серийный номер USB-порта"));
    w.identification("manufacturer", w.number(double(run.qMax), "q_max"), QStringLiteral("Q Max, кг/ч"));
    w.end();
    w.end();
    w.end();

    const CertificateParties &p = run.parties;
    w.begin("calibrationLaboratory");
    w.contact("contact", p.laboratoryName, p.laboratoryAddress);
    w.end();

    w.begin("respPersons");
    w.begin("respPerson");
    w.begin("person");
    w.text("name", orPlaceholder(p.signatoryName));
    w.end();
    if (!p.signatoryRole.isEmpty())
        w.leaf("role", p.signatoryRole);
    w.leaf("mainSigner", QStringLiteral("true"));
    w.end();
    if (!run.operatorName.isEmpty()) {
        w.begin("respPerson");
        w.begin("person");
        w.text("name", run.operatorName);
        w.end();
        w.leaf("role", QStringLiteral("оператор"));
        w.end();
    }
    w.end();

    w.contact("customer", p.customerName, p.customerAddress);

    w.begin("statements");
    w.statement(QStringLiteral("kestro_decisionRule_") + DecisionRuleKey(run.metrology.rule),
                QStringLiteral("Правило принятия решения: ") + DecisionRuleTitle(run.metrology.rule));
    const struct { const char *ref; RunPhase phase; std::optional<Conformity> verdict; } verdicts[] = {
        {"kestro_conformity_as_found", RunPhase::AsFound, phaseConformity(run.metrology.asFound, run.asFoundFit)},
        {"kestro_conformity_as_left", RunPhase::AsLeft, phaseConformity(run.metrology.asLeft, run.asLeftFit)},
    };
    for (const auto &v : verdicts) {
        if (!v.verdict)
            continue;
        w.statement(QString::fromLatin1(v.ref), PhaseTitle(v.phase) + QStringLiteral(": ") + ConformityTitle(*v.verdict),
                    conformityValue(*v.verdict));
    }
    QString ending = QStringLiteral("Прогон: ") + EndTitle(run.end);
    if (!run.endReason.isEmpty())
        ending += QStringLiteral(" (") + run.endReason + QStringLiteral(")");
    w.statement(QStringLiteral("kestro_runEnd"), ending);
    w.statement(QStringLiteral("kestro_issueDate"), QStringLiteral("Дата выдачи"), QString(), end);
    w.end();
    w.end();
}

// The reference as the run's metrology names it, else as the rig's settings kept it.
std::optional<ReferenceInstrument> referenceOf(const RunRecord &run)
{
    if (run.metrology.reference)
        return run.metrology.reference;
    const QJsonObject o = run.rigSettings.value(QStringLiteral("reference_instrument")).toObject();
    if (o.isEmpty())
        return std::nullopt;
    ReferenceInstrument r;
    r.name = o.value(QStringLiteral("name")).toString();
    r.certificate = o.value(QStringLiteral("certificate")).toString();
    r.dueDate = QDate::fromString(o.value(QStringLiteral("due_date")).toString(), Qt::ISODate);
    return r;
}

void writeEquipment(Writer &w, const RunRecord &run)
{
    const std::optional<ReferenceInstrument> ref = referenceOf(run);
    if (!ref)
        return;
    w.begin("measuringEquipments");
    w.begin("measuringEquipment");
    w.x.writeAttribute(QStringLiteral("refType"), QStringLiteral("kestro_reference"));
    w.text("name", orPlaceholder(ref->name));
    if (ref->dueDate.isValid())
        w.rich("description", QStringLiteral("Действителен до ") + ref->dueDate.toString(Qt::ISODate));
    if (!ref->certificate.isEmpty()) {
        w.begin("identifications");
        w.identification("calibrationLaboratory", ref->certificate, QStringLiteral("Свидетельство"));
        w.end();
    }
    if (ref->expandedUncertaintyPercent) {
        w.begin("measuringEquipmentQuantities");
        w.begin("measuringEquipmentQuantity");
        w.text("name", QStringLiteral("Расширенная неопределённость эталона"));
        w.real(*ref->expandedUncertaintyPercent, Units.percent, "reference_uncertainty");
        w.end();
        w.end();
    }
    w.end();
    w.end();
}

void writeRange(Writer &w, const char *refType, const QString &name, const PointRange &range, const char *unit)
{
    w.begin("influenceCondition");
    w.x.writeAttribute(QStringLiteral("refType"), QLatin1String(refType));
    w.text("name", name);
    w.begin("data");
    w.quantity("kestro_min", QStringLiteral("наименьшая"), range.low, unit);
    w.quantity("kestro_max", QStringLiteral("наибольшая"), range.high, unit);
    w.end();
    w.end();
}

void writeConditions(Writer &w, const RunRecord &run, const QList<RunPoint> &points)
{
    const std::optional<PointRange> temperature = RangeOverPoints(points, &RunPoint::tubeTemperature);
    const std::optional<PointRange> measured = RangeOverPoints(points, &RunPoint::density);
    const QJsonValue density = run.rigSettings.value(QStringLiteral("density"));
    if (!temperature && !measured && !density.isDouble())
        return;
    w.begin("influenceConditions");
    if (temperature)
        writeRange(w, "kestro_fluidTemperature", QStringLiteral("Температура жидкости"), *temperature, Units.celsius);
    if (measured) {
        writeRange(w, "kestro_density", QStringLiteral("Плотность жидкости (по прибору)"), *measured, Units.density);
    } else if (density.isDouble()) {
        w.begin("influenceCondition");
        w.x.writeAttribute(QStringLiteral("refType"), QStringLiteral("kestro_density"));
        w.text("name", QStringLiteral("Плотность жидкости"));
        w.begin("data");
        w.quantity("kestro_density", QStringLiteral("плотность"), density.toDouble(), Units.density);
        w.end();
        w.end();
    }
    w.end();
}

void writePoint(Writer &w, const RunPoint &p)
{
    w.begin("list");
    w.x.writeAttribute(QStringLiteral("refType"), QStringLiteral("kestro_point"));
    w.text("name", QStringLiteral("Точка %1").arg(p.index));
    if (p.temperature) {
        const PointTemperature &t = *p.temperature;
        w.quantity("kestro_setpoint", QStringLiteral("Уставка температуры"), t.setpoint, Units.celsius);
        w.quantity("kestro_referenceTemperature", QStringLiteral("Температура по эталону"), t.referenceTemperature, Units.celsius);
        w.quantity("kestro_tubeTemperature", QStringLiteral("Температура трубки"), t.tubeTemperature, Units.celsius);
        if (t.deltaT)
            w.quantity("kestro_deltaT", QStringLiteral("Δt при нулевом расходе"), *t.deltaT, Units.nanosecond);
        if (t.error && (p.phase == RunPhase::Thermometer || p.phase == RunPhase::ThermometerCheck))
            w.quantity("kestro_temperatureError", QStringLiteral("Погрешность термометра"), *t.error, Units.celsius);
    } else {
        const UncertaintyBudget *budget = p.metrology.budget ? &*p.metrology.budget : nullptr;
        w.quantity("kestro_referenceFlow", QStringLiteral("Расход по эталону"), p.referenceFlow, Units.flow);
        w.quantity("kestro_meterFlow", QStringLiteral("Расход по прибору"), p.meterFlow, Units.flow);
        if (p.relativeError)
            w.quantity("kestro_relativeError", QStringLiteral("Относительная погрешность"), *p.relativeError, Units.percent, budget);
        if (p.reducedError)
            w.quantity("kestro_reducedError", QStringLiteral("Приведённая погрешность"), *p.reducedError, Units.percent,
                       p.relativeError ? nullptr : budget);
    }
    w.end();
}

void writeResults(Writer &w, const RunRecord &run)
{
    w.begin("measurementResults");
    QList<RunPhase> phases;
    for (const RunPoint &p : run.points) {
        if (!phases.contains(p.phase))
            phases.append(p.phase);
    }
    if (phases.isEmpty()) {
        // The schema wants one result; a run that took no point says so.
        w.begin("measurementResult");
        w.text("name", QStringLiteral("Результаты"));
        writeEquipment(w, run);
        w.begin("results");
        w.begin("result");
        w.text("name", QStringLiteral("Точки"));
        w.begin("data");
        w.rich("text", QStringLiteral("Прогон не снял ни одной точки"));
        w.end();
        w.end();
        w.end();
        w.end();
    }
    for (RunPhase phase : phases) {
        const QList<RunPoint> points = run.pointsOf(phase);
        w.begin("measurementResult");
        w.x.writeAttribute(QStringLiteral("refType"), QStringLiteral("kestro_phase_") + PhaseKey(phase));
        w.text("name", PhaseTitle(phase));
        writeEquipment(w, run);
        writeConditions(w, run, points);
        w.begin("results");
        w.begin("result");
        w.text("name", QStringLiteral("Точки"));
        w.begin("data");
        for (const RunPoint &p : points)
            writePoint(w, p);
        w.end();
        w.end();
        w.end();
        w.end();
    }
    w.end();
}

} // namespace

namespace RunDcc {

QString Number(double v)
{
    return QString::number(v, 'g', QLocale::FloatingPointShortest);
}

QByteArray Write(const RunRecord &run, QString *error)
{
    QByteArray out;
    Writer w(&out);
    w.x.writeStartDocument();
    w.x.writeNamespace(Dcc, QStringLiteral("dcc"));
    w.x.writeNamespace(Si, QStringLiteral("si"));
    w.begin("digitalCalibrationCertificate");
    w.x.writeAttribute(QStringLiteral("schemaVersion"), QStringLiteral("3.1.2"));
    writeAdministrative(w, run);
    writeResults(w, run);
    w.end();
    w.x.writeEndDocument();
    if (!w.error.isEmpty()) {
        if (error)
            *error = w.error;
        return {};
    }
    return out;
}

} // namespace RunDcc
