#include "ui/calibration/curve_data.h"
#include "protocol/number_text.h"

namespace Curve {

float Polynomial(const TFormCurveCreateData &d, float x)
{
    using L = long double;
    const L X = x;
    const L sum = (L(d.B) * X + L(d.A)) + (L(d.C) * X) * X + ((L(d.D) * X) * X) * X;
    return float(sum);
}

std::vector<QPointF> PolynomialCurve(const TFormCurveCreateData &d)
{
    using L = long double;
    const float first = d.Pr.front();
    const float step = float((L(d.Pr.back()) - L(first)) / 100);
    std::vector<QPointF> points;
    points.reserve(PolynomialPoints);
    for (int i = 0; i < PolynomialPoints; ++i) {
        const float x = float(L(i) * L(step) + L(first));
        points.emplace_back(double(x), double(Polynomial(d, x)));
    }
    return points;
}

QString DeviationLabel(const TFormCurveCreateData &d, double x, double y)
{
    if (d.Qmax == 0)
        return QStringLiteral("—");
    using L = long double;
    const L deviation = (L(y) - L(Polynomial(d, float(x)))) / L(d.Qmax) * 100;
    return FormatFloatPattern(double(deviation), NumPattern::P0_000) + QStringLiteral("%");
}

} // namespace Curve
