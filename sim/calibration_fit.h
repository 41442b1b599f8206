#pragma once
// The meter's coefficient arithmetic for command 24: straight lines through two
// points and a least-squares cubic through the flow table.
#include <array>
#include <optional>
#include <vector>

struct Line
{
    double a = 0.0; // y = a + b·x
    double b = 0.0;
};

// The line through (x1, y1) and (x2, y2); none when x1 == x2 or a value is not finite.
std::optional<Line> lineThrough(double x1, double y1, double x2, double y2);

// Least-squares y = c0 + c1·x + c2·x² + c3·x³; none when the points cannot fix
// four coefficients (fewer than four distinct x, or values not finite).
std::optional<std::array<double, 4>> fitCubic(const std::vector<double> &x, const std::vector<double> &y);
