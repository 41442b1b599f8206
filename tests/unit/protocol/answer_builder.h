#pragma once
// Builds meter answers byte by byte, laid out as the meter sends them. The block
// headers are written out here again on purpose, so a wrong entry in the decoder's
// table shows up as a failing test rather than being copied into the expectation.
#include <QByteArray>
#include <array>
#include <bit>

struct BlockHeader
{
    int number;
    quint8 function;
    quint8 addr;
    quint8 count;
    int length() const { return 7 + 2 * count; }
};

inline constexpr std::array<BlockHeader, 12> blockHeaders{{
    {1, 0x00, 0x01, 0x18},
    {2, 0x01, 0x02, 0x03},
    {3, 0x01, 0x05, 0x08},
    {4, 0x00, 0x10, 0x04},
    {5, 0x00, 0x1C, 0x02},
    {6, 0x01, 0x0D, 0x08},
    {7, 0x00, 0x20, 0x04},
    {8, 0x00, 0x0A, 0x16},
    {9, 0x00, 0x24, 0x08},
    {10, 0x01, 0x15, 0x36},
    {11, 0x00, 0x02, 0x0E},
    {12, 0x00, 0x2C, 0x06},
}};

class Answer
{
public:
    Answer(quint8 function, quint8 addr, quint8 count) : m_bytes(7 + 2 * count, '\0')
    {
        m_bytes[0] = char(0x1F);
        m_bytes[1] = char(function);
        m_bytes[3] = char(addr);
        m_bytes[5] = char(count);
        m_bytes[m_bytes.size() - 1] = char(0x55);
    }
    explicit Answer(const BlockHeader &h) : Answer(h.function, h.addr, h.count) {}
    explicit Answer(int blockNumber) : Answer(blockHeaders.at(size_t(blockNumber - 1))) {}

    // Positions are 1-based. A float goes low register first, each register MSB first.
    Answer &floatAt(int pos, float value)
    {
        const quint32 bits = std::bit_cast<quint32>(value);
        return byteAt(pos, quint8(bits >> 8))
            .byteAt(pos + 1, quint8(bits))
            .byteAt(pos + 2, quint8(bits >> 24))
            .byteAt(pos + 3, quint8(bits >> 16));
    }
    Answer &wordAt(int pos, quint16 value)
    {
        return byteAt(pos, quint8(value >> 8)).byteAt(pos + 1, quint8(value));
    }
    Answer &byteAt(int pos, quint8 value)
    {
        m_bytes[pos - 1] = char(value);
        return *this;
    }
    // Every data slot of four bytes gets a distinct float, so fields cannot be confused.
    Answer &filled()
    {
        for (int pos = 7; pos + 3 < int(m_bytes.size()); pos += 4)
            floatAt(pos, float(pos) + 0.25f);
        return *this;
    }

    QByteArray bytes() const { return m_bytes; }
    operator QByteArray() const { return m_bytes; }

private:
    QByteArray m_bytes;
};
