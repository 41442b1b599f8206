#pragma once
// A calibration point's uncertainty budget: each source as a standard uncertainty in
// percent of the reading, combined by root sum of squares (every sensitivity is 1,
// since every component is already relative to the same reading), with the effective
// degrees of freedom by Welch–Satterthwaite and the coverage factor for 95.45 %.
#include "records/run_metrology.h"
#include <QList>
#include <optional>

// Coverage factor for 95.45 % from JCGM 100 table G.2, linear in 1/ν between its rows
// (ν = 100 to ∞ included), so a non-integer ν is fine. None or +∞ gives 2.000. ν < 1
// lies outside the table and is clamped to ν = 1 (13.97), the largest factor, so a
// damaged ν never narrows the interval; NaN is treated the same way.
double StudentT95(std::optional<double> dof);

// ν_eff = u_c⁴ / Σ(u_i⁴/ν_i). None (infinite) when no component with a nonzero
// uncertainty has a finite ν, or when everything is zero. A ν_i ≤ 0 counts as 1.
std::optional<double> WelchSatterthwaite(const QList<UncertaintyComponent> &components);

// Rounded up, never down, to two significant figures, as GUM 7.2.6 allows: 0.0561 →
// 0.057, 0.23 → 0.23, 0.2301 → 0.24. A value within 1e-9 of a two-figure number is
// that number, so a product that is 0.23 in decimals isn't bumped by binary rounding.
double RoundUpTwoSignificant(double value);

// u_c, ν_eff, k = StudentT95(ν_eff), p = 0.9545 and U = k·u_c rounded up as above.
UncertaintyBudget Combine(const QList<UncertaintyComponent> &components);

inline constexpr double CoverageProbability95 = 0.9545;

// The sources a flow point's budget is built from. None where the source can't be
// stated (no certificate U, fewer than two runs, no flow to relate a zero to).

// The reference's certificate: U/k, its ν or infinite, normal.
std::optional<UncertaintyComponent> ReferenceComponent(const ReferenceInstrument &reference);
// Type A: s/√n of the runs' relative errors, n − 1 degrees of freedom, Student's t.
// Runs without an error don't count.
std::optional<UncertaintyComponent> RepeatabilityComponent(const QList<PointRun> &runs);
// The rig's flow moving during the interval: half of max − min of the reference's
// readings, relative to their mean, as the half-width of a rectangular distribution.
std::optional<UncertaintyComponent> FlowChangeComponent(const QList<double> &referenceKgH);
// The zero's instability against the flow: the larger of its σ and its |mean| (both
// kg/h), taken as a standard uncertainty, in percent of the flow.
std::optional<UncertaintyComponent> ZeroComponent(double zeroSigmaKgH, double zeroMeanKgH, double flowKgH);
// The meter's reported value known only to its last digit: step/(2√3) of the value.
std::optional<UncertaintyComponent> ResolutionComponent(double lastDigit, double reportedValue);
