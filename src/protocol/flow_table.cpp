#include "protocol/flow_table.h"
#include "protocol/number_text.h"
#include <cmath>

namespace FlowTable {

const std::array<Write, 7> &SaveWrites()
{
    static const std::array<Write, 7> writes{{
        {21, {QMaxIndex, etalonIndex(1), etalonIndex(2), etalonIndex(3)}},
        {29, {etalonIndex(4), etalonIndex(5), etalonIndex(6), etalonIndex(7)}},
        {37, {etalonIndex(8), etalonIndex(9), etalonIndex(10), etalonIndex(11)}},
        {45, {etalonIndex(12), etalonIndex(13), priborIndex(1), priborIndex(2)}},
        {53, {priborIndex(3), priborIndex(4), priborIndex(5), priborIndex(6)}},
        {61, {priborIndex(7), priborIndex(8), priborIndex(9), priborIndex(10)}},
        {67, {priborIndex(10), priborIndex(11), priborIndex(12), priborIndex(13)}},
    }};
    return writes;
}

long double PointFactor(int n)
{
    // Extended constants: 10 x 0.05 must be exactly the half that rounds to 0.
    static constexpr long double factors[Points] = {-1.0L, -0.75L, -0.45L, -0.25L, -0.1L, -0.05L, 0.0L,
                                                    0.05L, 0.1L,   0.25L,  0.45L,  0.75L, 1.0L};
    return n >= 1 && n <= Points ? factors[n - 1] : 0.0L;
}

QStringList PointLabels(float qMax)
{
    static const QStringList percent{"-100%", "-75%", "-45%", "-25%", "-10%", "-5%", "0%",
                                     "5%",    "10%",  "25%",  "45%",  "75%",  "100%"};
    if (!(qMax > 0))
        return percent;
    QStringList labels;
    for (int n = 1; n <= Points; ++n) {
        // Extended precision, and the default rounding mode rounds halves to even.
        const long double flow = std::nearbyint(static_cast<long double>(qMax) * PointFactor(n));
        const QString digits = flow == 0 ? QString() : QString::number(double(flow), 'f', 0);
        labels << (n == CentrePoint ? QStringLiteral("0") : digits) + QStringLiteral(" кг/ч");
    }
    return labels;
}

QString MirroredReference(double etalon)
{
    return FormatGeneral(-etalon);
}

QString MirroredDeltaT(float z, double pribor)
{
    return FormatGeneral(double(static_cast<long double>(z) - pribor));
}

} // namespace FlowTable
