#pragma once
// What makes a run's result a calibration: the runs each point is taken in and
// their repeatability, the uncertainty budget of each point, the decision rule its
// verdicts follow and the reference instrument they rest on.
#include <QDate>
#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <optional>

// One consecutive run of a point's averaging: the meter's own average against the
// reference's over the same interval.
struct PointRun
{
    double referenceFlow = 0; // kg/h
    double meterFlow = 0;     // kg/h
    double deltaT = 0;        // ns
    double seconds = 0;       // the interval's length
    std::optional<double> relativeError; // %
    QDateTime openedUtc, closedUtc;
};

// One line of a budget: a standard uncertainty in percent of the reading.
struct UncertaintyComponent
{
    QString key;          // "reference", "repeatability", "flow_change", "zero", "resolution", ...
    QString title;        // for people: "эталон", "повторяемость", ...
    QString distribution; // "normal", "rectangular", "t"
    double standardPercent = 0;
    std::optional<double> degreesOfFreedom; // none: infinite
};

struct UncertaintyBudget
{
    QList<UncertaintyComponent> components;
    double combinedPercent = 0;
    std::optional<double> effectiveDegreesOfFreedom; // none: infinite
    double coverageFactor = 2.0;
    double coverageProbability = 0.95;
    double expandedPercent = 0; // rounded to two significant figures
};

enum class DecisionRule { Simple, Guarded };
// "simple", "guarded"; "простое принятие", "с защитной полосой".
QString DecisionRuleKey(DecisionRule rule);
QString DecisionRuleTitle(DecisionRule rule);
std::optional<DecisionRule> DecisionRuleFromKey(const QString &key);

enum class Conformity { Pass, Fail, Undetermined };
// "pass", "fail", "undetermined"; "годен", "не годен", "не определено".
QString ConformityKey(Conformity c);
QString ConformityTitle(Conformity c);
std::optional<Conformity> ConformityFromKey(const QString &key);
// A point's or a phase's verdict for people: its conformity where the run judged one
// (an older record has none), else its fit; "—" without either.
QString VerdictTitle(const std::optional<Conformity> &conformity, const std::optional<bool> &fit);

struct PointMetrology
{
    QList<PointRun> runs;
    std::optional<double> repeatabilityPercent; // max − min of the runs' errors
    std::optional<UncertaintyBudget> budget;
    std::optional<Conformity> conformity;       // verification points, under the run's rule
    bool isEmpty() const { return runs.isEmpty() && !repeatabilityPercent && !budget && !conformity; }
};

// The reference as its certificate names it.
struct ReferenceInstrument
{
    QString name, certificate;
    QDate dueDate;
    std::optional<double> expandedUncertaintyPercent; // U of its certificate, % of reading
    double coverageFactor = 2.0;
    std::optional<double> degreesOfFreedom; // none: infinite
};

// The meter's mass flow averaged at no flow before the as found: its mean and σ against
// the plan's limit (of Q Max), with the zero the meter subtracts at that moment.
struct ZeroCheckResult
{
    double meanKgH = 0, sigmaKgH = 0;
    double limitKgH = 0;
    double seconds = 0;
    int samples = 0;                   // the runs averaged; with one, σ is of its live readings
    bool fits = false;                 // |mean| and σ both within the limit
    bool stopsRun = false;             // the plan said a zero outside stops the run
    std::optional<double> storedZeroNs; // A + B·T of the meter's zero at its tube temperature
    std::optional<double> tubeTemperature; // °C
};

struct RunMetrology
{
    DecisionRule rule = DecisionRule::Simple;
    std::optional<ReferenceInstrument> reference;
    std::optional<Conformity> asFound, asLeft;
    std::optional<ZeroCheckResult> zeroCheck;
    bool isEmpty() const { return rule == DecisionRule::Simple && !reference && !asFound && !asLeft && !zeroCheck; }
};

namespace RunMetrologyJson {
QJsonObject ToJson(const PointMetrology &m);
QJsonObject ToJson(const RunMetrology &m);
// False, and what is wrong, on a damaged object; an empty object gives the empty value.
bool FromJson(const QJsonObject &o, PointMetrology &m, QString *error);
bool FromJson(const QJsonObject &o, RunMetrology &m, QString *error);
} // namespace RunMetrologyJson
