#include "tools/ctl_reference.h"
#include "records/record_text.h"
#include <QLocale>
#include <QRegularExpression>

namespace {

// Digits with at most one decimal mark, a point or a comma; nothing else around them.
std::optional<double> strictNumber(const QString &text)
{
    static const QRegularExpression shape(QStringLiteral("^[+-]?[0-9]+([.,][0-9]+)?$"));
    if (!shape.match(text).hasMatch())
        return std::nullopt;
    bool ok = false;
    const double v = QLocale::c().toDouble(QString(text).replace(QLatin1Char(','), QLatin1Char('.')), &ok);
    return ok ? std::optional<double>(v) : std::nullopt;
}

bool inRange(const std::optional<QString> &text, const char *option, double min, double max, const char *range,
             std::optional<double> &value, QString *error)
{
    if (!text)
        return true;
    value = strictNumber(*text);
    if (value && *value >= min && *value <= max)
        return true;
    *error = QStringLiteral("--%1 «%2»: %3").arg(QLatin1String(option), *text, QString::fromUtf8(range));
    return false;
}

} // namespace

std::optional<CtlReference> ParseCtlReference(const CtlReferenceArgs &args, QString *error)
{
    CtlReference r;
    for (const auto &[option, text, into] :
         {std::tuple{"--reference-name", args.name, &r.name}, std::tuple{"--reference-certificate", args.certificate, &r.certificate}}) {
        if (!text)
            continue;
        if (const QString problem = RecordTextProblem(QLatin1String(option), *text); !problem.isEmpty()) {
            *error = problem;
            return std::nullopt;
        }
        *into = text->trimmed();
    }
    if (args.due) {
        static const QRegularExpression iso(QStringLiteral("^[0-9]{4}-[0-9]{2}-[0-9]{2}$"));
        r.due = QDate::fromString(*args.due, QStringLiteral("yyyy-MM-dd"));
        if (!iso.match(*args.due).hasMatch() || !r.due.isValid()) {
            *error = QStringLiteral("--reference-due «%1»: нужна дата ГГГГ-ММ-ДД").arg(*args.due);
            return std::nullopt;
        }
    }
    std::optional<double> coverage;
    if (!inRange(args.uncertainty, "reference-u", 0, 10, "нужно число от 0 до 10 (% от показания)",
                 r.uncertaintyPercent, error)
        || !inRange(args.coverage, "reference-k", 1, 10, "нужно число от 1 до 10", coverage, error)
        || !inRange(args.dof, "reference-dof", 1, 1e9, "нужно число не меньше 1", r.degreesOfFreedom, error))
        return std::nullopt;
    if (coverage)
        r.coverageFactor = *coverage;
    return r;
}
