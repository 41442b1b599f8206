#include "link/register_image.h"
#include <bit>

void TRegisterImage::take(QByteArrayView frame, const QDateTime &receivedUtc)
{
    if (frame.size() < 7)
        return;
    const auto byte = [&](qsizetype i) { return quint8(frame.at(i)); };
    const RegisterSpace space = byte(1) == 0x00 ? RegisterSpace::Data : RegisterSpace::Params;
    const int first = byte(2) << 8 | byte(3);
    const int count = byte(4) << 8 | byte(5);
    if (frame.size() < 7 + 2 * count)
        return;
    for (int i = 0; i < count; ++i)
        m_registers.insert(key(space, first + i), {quint16(byte(6 + 2 * i) << 8 | byte(7 + 2 * i)), receivedUtc});
}

std::optional<TRegisterImage::Reading> TRegisterImage::reading(RegisterSpace space, int reg) const
{
    const auto it = m_registers.constFind(key(space, reg));
    if (it == m_registers.cend())
        return std::nullopt;
    return *it;
}

std::optional<QVector<quint16>> TRegisterImage::range(RegisterSpace space, int reg, int count) const
{
    QVector<quint16> values;
    values.reserve(count);
    for (int i = 0; i < count; ++i) {
        const auto it = m_registers.constFind(key(space, reg + i));
        if (it == m_registers.cend())
            return std::nullopt;
        values.append(it->raw);
    }
    return values;
}

std::optional<float> TRegisterImage::floatAt(RegisterSpace space, int reg) const
{
    const auto raw = range(space, reg, 2);
    if (!raw)
        return std::nullopt;
    return floatAt(*raw, 0);
}

float TRegisterImage::floatAt(const QVector<quint16> &raw, int first)
{
    return std::bit_cast<float>(quint32(raw[first]) | quint32(raw[first + 1]) << 16);
}
