#include "procedure/decision_rule.h"
#include <QLocale>
#include <algorithm>
#include <cmath>

namespace {

// a ≤ b, with a sum that equals the limit in decimals kept on it.
bool atMost(double a, double b) { return a <= b + 1e-9 * std::max(std::abs(b), 1e-9); }

QString number(double v)
{
    // The typographic minus, as the certificate prints it.
    return QLocale().toString(v, 'g', 6).replace(QLatin1Char('-'), QChar(0x2212));
}

} // namespace

Conformity Judge(DecisionRule rule, double errorPercent, double expandedPercent, double tolerancePercent)
{
    if (!std::isfinite(errorPercent))
        return Conformity::Fail;
    const double e = std::abs(errorPercent);
    if (rule == DecisionRule::Simple)
        return atMost(e, tolerancePercent) ? Conformity::Pass : Conformity::Fail;
    const double u = std::isfinite(expandedPercent) ? std::max(expandedPercent, 0.0) : 0.0;
    if (atMost(e + u, tolerancePercent))
        return Conformity::Pass;
    if (!atMost(e - u, tolerancePercent))
        return Conformity::Fail;
    return Conformity::Undetermined;
}

QString UndeterminedExplanation(int pointNumber, double flowPercent, double errorPercent, double expandedPercent,
                                double tolerancePercent)
{
    if (Judge(DecisionRule::Guarded, errorPercent, expandedPercent, tolerancePercent) != Conformity::Undetermined)
        return {};
    const double e = std::abs(errorPercent);
    const QString err = QStringLiteral("|%1|").arg(number(errorPercent));
    const QString u = number(expandedPercent), t = number(tolerancePercent);
    return QStringLiteral("точка %1 (%2 %): %3 + %4 = %5 % > %6 % (на %7 %), но %3 − %4 = %8 % ≤ %6 % — %9")
        .arg(pointNumber)
        .arg(number(flowPercent), err, u, number(e + expandedPercent), t, number(e + expandedPercent - tolerancePercent),
             number(e - expandedPercent), ConformityTitle(Conformity::Undetermined));
}

QString DecisionRuleStatement(DecisionRule rule)
{
    if (rule == DecisionRule::Simple)
        return QStringLiteral("Соответствие установлено по правилу простого принятия: точка признаётся годной, "
                              "если модуль её погрешности не превышает допускаемой погрешности, без учёта "
                              "неопределённости измерений.");
    return QStringLiteral("Соответствие установлено по правилу с защитной полосой, равной расширенной "
                          "неопределённости U (ILAC-G8): точка годна, если |δ| + U ≤ Δ, не годна, если "
                          "|δ| − U > Δ, в остальных случаях соответствие не определено.");
}
