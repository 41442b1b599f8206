#pragma once
// Request frames as a client sends them, built independently of the program's
// encoders: header MSB first, data as little-endian memory images.
#include <QByteArray>
#include <cstring>
#include <initializer_list>

namespace simtest {
inline QByteArray header(quint8 fn, quint16 addr, quint16 count)
{
    QByteArray f;
    f.append(char(0x1F)).append(char(fn)).append(char(addr >> 8)).append(char(addr & 0xFF));
    f.append(char(count >> 8)).append(char(count & 0xFF));
    return f;
}

inline QByteArray readReq(quint8 fn, quint16 addr, quint16 count)
{
    return header(fn, addr, count).append(char(0x55));
}

inline QByteArray writeFloats(quint16 addr, std::initializer_list<float> values)
{
    QByteArray f = header(0x02, addr, quint16(2 * values.size()));
    for (float v : values) {
        char image[4];
        std::memcpy(image, &v, 4); // the host is little-endian, like the program's writer
        f.append(image, 4);
    }
    return f.append(char(0x55));
}

inline QByteArray writeWord(quint16 addr, quint16 value)
{
    return header(0x02, addr, 1).append(char(value & 0xFF)).append(char(value >> 8)).append(char(0x55));
}

inline QByteArray hex(const char *spaced)
{
    return QByteArray::fromHex(QByteArray(spaced).replace(' ', ""));
}
} // namespace simtest
