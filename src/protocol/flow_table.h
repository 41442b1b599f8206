#pragma once
// The meter's flow calibration table as data: Q Max and thirteen points of
// reference flow and Δt at -100 % .. +100 % of Q Max. No widgets here.
#include <QString>
#include <QStringList>
#include <array>

namespace FlowTable {

constexpr int Points = 13;
constexpr int CentrePoint = 7;
// The 27 values of a save, in this order: Q Max, Etalon 1..13, Pribor 1..13.
constexpr int Values = 1 + 2 * Points;
constexpr int QMaxIndex = 0;
constexpr int etalonIndex(int n) { return n; }          // n = 1..13
constexpr int priborIndex(int n) { return Points + n; } // n = 1..13

constexpr quint16 TableRegister = 21;     // Q Max, then the points
constexpr quint16 TableCount = 54;
constexpr quint16 CoefficientsRegister = 36; // A, B, C, D
constexpr quint16 CoefficientsCount = 8;
constexpr int WritePauseMs = 100; // after each write of a save, on top of the usual 50

// Seven writes of four floats cover the 27 values; the seventh starts at
// Pribor 10 again, so that one is written twice.
struct Write
{
    quint16 addr;
    std::array<int, 4> values; // indices into the 27 values
};
const std::array<Write, 7> &SaveWrites();

// Share of Q Max of point n (1..13): -1 .. 1.
long double PointFactor(int n);
// Row captions: percent captions while Q Max is not above 0, else the flow of
// each point in kg/h, rounded half to even, a zero flow with no digits.
QStringList PointLabels(float qMax);

// Mirror fill: the mirrored reference flow and the mirrored Δt (z: the zero
// point's Δt as a 32-bit value), as general-format texts.
QString MirroredReference(double etalon);
QString MirroredDeltaT(float z, double pribor);

} // namespace FlowTable
