#include "sim/calibration_fit.h"

#include <algorithm>
#include <cmath>

std::optional<Line> lineThrough(double x1, double y1, double x2, double y2)
{
    const double dx = x2 - x1;
    if (dx == 0.0)
        return std::nullopt;
    Line l;
    l.b = (y2 - y1) / dx;
    l.a = y1 - l.b * x1;
    if (!std::isfinite(l.a) || !std::isfinite(l.b))
        return std::nullopt;
    return l;
}

std::optional<std::array<double, 4>> fitCubic(const std::vector<double> &x, const std::vector<double> &y)
{
    const size_t n = std::min(x.size(), y.size());
    double scale = 0.0;
    for (size_t i = 0; i < n; ++i) {
        if (!std::isfinite(x[i]) || !std::isfinite(y[i]))
            return std::nullopt;
        scale = std::max(scale, std::abs(x[i]));
    }
    if (n < 4 || scale == 0.0)
        return std::nullopt;

    // Normal equations in x / scale keep the powers near 1, so plain
    // elimination stays well conditioned for Δt in the thousands of ns.
    double m[4][5] = {};
    for (size_t i = 0; i < n; ++i) {
        const double u = x[i] / scale;
        const double p[4] = {1.0, u, u * u, u * u * u};
        for (int r = 0; r < 4; ++r) {
            for (int c = 0; c < 4; ++c)
                m[r][c] += p[r] * p[c];
            m[r][4] += p[r] * y[i];
        }
    }
    double largest = 0.0;
    for (int r = 0; r < 4; ++r)
        largest = std::max(largest, m[r][r]);
    for (int col = 0; col < 4; ++col) {
        int pivot = col;
        for (int r = col + 1; r < 4; ++r)
            if (std::abs(m[r][col]) > std::abs(m[pivot][col]))
                pivot = r;
        // Fewer than four distinct abscissae leave a (numerically) singular matrix.
        if (std::abs(m[pivot][col]) <= 1e-12 * largest)
            return std::nullopt;
        if (pivot != col)
            for (int c = 0; c < 5; ++c)
                std::swap(m[pivot][c], m[col][c]);
        for (int r = 0; r < 4; ++r) {
            if (r == col)
                continue;
            const double f = m[r][col] / m[col][col];
            for (int c = col; c < 5; ++c)
                m[r][c] -= f * m[col][c];
        }
    }
    std::array<double, 4> k{};
    double power = 1.0;
    for (int i = 0; i < 4; ++i) {
        k[i] = m[i][4] / m[i][i] / power;
        power *= scale;
        if (!std::isfinite(k[i]))
            return std::nullopt;
    }
    return k;
}
