#include "rig/modbus_float.h"

#include <bit>

std::array<quint16, 2> FloatToRegisters(float value, WordOrder order)
{
    const auto bits = std::bit_cast<quint32>(value);
    const auto high = quint16(bits >> 16);
    const auto low = quint16(bits & 0xFFFFu);
    return order == WordOrder::HighFirst ? std::array<quint16, 2>{high, low}
                                         : std::array<quint16, 2>{low, high};
}

float RegistersToFloat(quint16 first, quint16 second, WordOrder order)
{
    const quint32 high = order == WordOrder::HighFirst ? first : second;
    const quint32 low = order == WordOrder::HighFirst ? second : first;
    return std::bit_cast<float>(quint32((high << 16) | low));
}

QString WordOrderName(WordOrder order)
{
    return order == WordOrder::HighFirst ? QStringLiteral("ABCD") : QStringLiteral("CDAB");
}

std::optional<WordOrder> WordOrderFromName(const QString &name)
{
    if (name == QLatin1String("ABCD"))
        return WordOrder::HighFirst;
    if (name == QLatin1String("CDAB"))
        return WordOrder::LowFirst;
    return std::nullopt;
}
