#pragma once
// What the meter last reported, register by register: every accepted answer also
// lands here as the raw 16-bit values it carried, with the time it came. Raw values,
// not texts, so that a copy taken from here puts back exactly what was there.
// One image per connection: it is emptied when the port closes.
#include <QByteArray>
#include <QDateTime>
#include <QMap>
#include <QVector>
#include <optional>

enum class RegisterSpace : quint8 {
    Data = 0,   // read with function 0x00
    Params = 1, // read with 0x01, written with 0x02
};

class TRegisterImage
{
public:
    struct Reading
    {
        quint16 raw = 0;
        QDateTime receivedUtc;
    };

    // Takes the registers of one accepted answer frame.
    void take(QByteArrayView frame, const QDateTime &receivedUtc);
    void clear() { m_registers.clear(); }

    std::optional<Reading> reading(RegisterSpace space, int reg) const;
    // The raw values of reg .. reg + count - 1, or none unless every one is known.
    std::optional<QVector<quint16>> range(RegisterSpace space, int reg, int count) const;
    int size() const { return int(m_registers.size()); }

    // The float in reg and reg + 1, the lower address holding the low half; none
    // unless both are known.
    std::optional<float> floatAt(RegisterSpace space, int reg) const;
    // The same decode over raw values read elsewhere: raw[first] low, raw[first + 1] high.
    static float floatAt(const QVector<quint16> &raw, int first);

private:
    static quint32 key(RegisterSpace space, int reg) { return quint32(space) << 16 | quint32(quint16(reg)); }
    // Bounded by the register spaces: at most 2 x 65536 entries, in practice the ~150 the program reads.
    QMap<quint32, Reading> m_registers;
};
