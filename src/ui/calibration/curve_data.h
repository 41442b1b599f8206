#pragma once
// What the curve viewer plots: the flow table on screen and the coefficients,
// as 32-bit floats. No widgets here.
#include <QPointF>
#include <QString>
#include <array>
#include <vector>

struct TFormCurveCreateData
{
    float A = 0, B = 0, C = 0, D = 0;
    float Qmax = 0;
    std::array<float, 13> Et{}; // reference flow of points 1..13
    std::array<float, 13> Pr{}; // the meter's Δt at points 1..13
};

namespace Curve {
constexpr int PolynomialPoints = 101;

// A + B·x + C·x² + D·x³ in extended precision, rounded to a float.
float Polynomial(const TFormCurveCreateData &d, float x);
// 101 points from Pr 1 to Pr 13 in equal single-precision steps.
std::vector<QPointF> PolynomialCurve(const TFormCurveCreateData &d);
// The deviation of a point from the polynomial in % of Q Max, "##0.000" + "%";
// with Q Max 0 there is no deviation to show: "—".
QString DeviationLabel(const TFormCurveCreateData &d, double x, double y);
} // namespace Curve
