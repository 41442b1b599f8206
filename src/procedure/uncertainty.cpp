#include "procedure/uncertainty.h"
#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <numeric>

namespace {

struct TRow
{
    double dof;
    double k;
};

// JCGM 100:2008 table G.2, p = 95.45 %.
constexpr std::array<TRow, 27> TableG2{{
    {1, 13.97}, {2, 4.53},  {3, 3.31},  {4, 2.87},  {5, 2.65},  {6, 2.52},  {7, 2.43},
    {8, 2.37},  {9, 2.32},  {10, 2.28}, {11, 2.25}, {12, 2.23}, {13, 2.21}, {14, 2.20},
    {15, 2.18}, {16, 2.17}, {17, 2.16}, {18, 2.15}, {19, 2.14}, {20, 2.13}, {25, 2.11},
    {30, 2.09}, {35, 2.07}, {40, 2.06}, {45, 2.06}, {50, 2.05}, {100, 2.025},
}};
constexpr double KInfinite = 2.000;

UncertaintyComponent component(const char *key, const char *title, const char *distribution, double standardPercent,
                               std::optional<double> dof)
{
    return UncertaintyComponent{QString::fromLatin1(key), QString::fromUtf8(title), QString::fromLatin1(distribution),
                                standardPercent, dof};
}

bool usable(double v) { return std::isfinite(v); }

} // namespace

double StudentT95(std::optional<double> dof)
{
    if (!dof || std::isinf(*dof))
        return KInfinite;
    const double nu = std::isnan(*dof) ? 1.0 : std::max(*dof, 1.0);
    const double x = 1.0 / nu;
    for (std::size_t i = 0; i + 1 < TableG2.size(); ++i) {
        const TRow a = TableG2[i], b = TableG2[i + 1];
        if (nu <= b.dof) {
            const double xa = 1.0 / a.dof, xb = 1.0 / b.dof;
            return a.k + (b.k - a.k) * (x - xa) / (xb - xa);
        }
    }
    // Past the last row: towards ∞, where 1/ν is 0.
    const TRow last = TableG2.back();
    return KInfinite + (last.k - KInfinite) * x * last.dof;
}

std::optional<double> WelchSatterthwaite(const QList<UncertaintyComponent> &components)
{
    double sumSquares = 0, denominator = 0;
    for (const auto &c : components) {
        const double u2 = c.standardPercent * c.standardPercent;
        sumSquares += u2;
        if (c.degreesOfFreedom && std::isfinite(*c.degreesOfFreedom) && u2 > 0)
            denominator += u2 * u2 / std::max(*c.degreesOfFreedom, 1.0);
    }
    if (denominator <= 0 || sumSquares <= 0)
        return std::nullopt;
    return sumSquares * sumSquares / denominator;
}

double RoundUpTwoSignificant(double value)
{
    if (!(value > 0) || std::isinf(value))
        return value;
    // Two figures: an integer 10..99 times 10^(e−1).
    int e = static_cast<int>(std::floor(std::log10(value)));
    double scaled = value / std::pow(10.0, e - 1);
    if (scaled < 10) { // log10 rounded a hair below a power of ten
        --e;
        scaled *= 10;
    }
    double n = std::round(scaled);
    if (std::abs(scaled - n) > 1e-9 * scaled)
        n = std::ceil(scaled);
    // Divide by an exact power of ten where there is one, so 23/100 is the double nearest 0.23.
    return e - 1 < 0 ? n / std::pow(10.0, 1 - e) : n * std::pow(10.0, e - 1);
}

UncertaintyBudget Combine(const QList<UncertaintyComponent> &components)
{
    double sumSquares = 0;
    for (const auto &c : components)
        sumSquares += c.standardPercent * c.standardPercent;
    const double combined = std::sqrt(sumSquares);
    const auto dof = WelchSatterthwaite(components);
    const double k = StudentT95(dof);
    return UncertaintyBudget{components, combined, dof, k, CoverageProbability95, RoundUpTwoSignificant(k * combined)};
}

std::optional<UncertaintyComponent> ReferenceComponent(const ReferenceInstrument &reference)
{
    if (!reference.expandedUncertaintyPercent || !usable(*reference.expandedUncertaintyPercent) ||
        *reference.expandedUncertaintyPercent < 0 || !(reference.coverageFactor > 0))
        return std::nullopt;
    return component("reference", "эталон", "normal", *reference.expandedUncertaintyPercent / reference.coverageFactor,
                     reference.degreesOfFreedom);
}

std::optional<UncertaintyComponent> RepeatabilityComponent(const QList<PointRun> &runs)
{
    QList<double> errors;
    for (const auto &r : runs)
        if (r.relativeError && usable(*r.relativeError))
            errors.append(*r.relativeError);
    const auto n = errors.size();
    if (n < 2)
        return std::nullopt;
    const double mean = std::accumulate(errors.begin(), errors.end(), 0.0) / n;
    double squares = 0;
    for (double e : errors)
        squares += (e - mean) * (e - mean);
    const double s = std::sqrt(squares / (n - 1));
    return component("repeatability", "повторяемость", "t", s / std::sqrt(double(n)), double(n - 1));
}

std::optional<UncertaintyComponent> FlowChangeComponent(const QList<double> &referenceKgH)
{
    if (referenceKgH.isEmpty() || !std::all_of(referenceKgH.begin(), referenceKgH.end(), usable))
        return std::nullopt;
    const auto [lo, hi] = std::minmax_element(referenceKgH.begin(), referenceKgH.end());
    const double mean = std::accumulate(referenceKgH.begin(), referenceKgH.end(), 0.0) / referenceKgH.size();
    // A reverse flow is as much a flow: relative to its size.
    if (!(std::abs(mean) > 0))
        return std::nullopt;
    const double halfWidthPercent = (*hi - *lo) / 2.0 / std::abs(mean) * 100.0;
    return component("flow_change", "изменение расхода установки", "rectangular", halfWidthPercent / std::sqrt(3.0),
                     std::nullopt);
}

std::optional<UncertaintyComponent> ZeroComponent(double zeroSigmaKgH, double zeroMeanKgH, double flowKgH)
{
    if (!usable(zeroSigmaKgH) || !usable(zeroMeanKgH) || !usable(flowKgH) || flowKgH == 0)
        return std::nullopt;
    const double zero = std::max(std::abs(zeroSigmaKgH), std::abs(zeroMeanKgH));
    return component("zero", "стабильность нуля", "normal", zero / std::abs(flowKgH) * 100.0, std::nullopt);
}

std::optional<UncertaintyComponent> ResolutionComponent(double lastDigit, double reportedValue)
{
    if (!usable(lastDigit) || !(lastDigit > 0) || !usable(reportedValue) || reportedValue == 0)
        return std::nullopt;
    return component("resolution", "разрешение показаний", "rectangular",
                     lastDigit / (2.0 * std::sqrt(3.0)) / std::abs(reportedValue) * 100.0, std::nullopt);
}
