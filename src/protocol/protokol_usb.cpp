#include "protocol/protokol_usb.h"

#include <bit>
#include <cstdint>

namespace {

QByteArray header(quint8 function, quint16 addr, quint16 count)
{
    QByteArray frame;
    frame.reserve(7 + 2 * count);
    frame.append(char(Proto::StartByte));
    frame.append(char(function));
    frame.append(char(addr >> 8));
    frame.append(char(addr & 0xFF));
    frame.append(char(count >> 8));
    frame.append(char(count & 0xFF));
    return frame;
}

// The meter takes written values as the little-endian image of the value in memory.
void appendLittleEndian(QByteArray &frame, quint32 bits, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        frame.append(char((bits >> (8 * i)) & 0xFF));
}

} // namespace

namespace Proto {

QByteArray readFrame(quint8 function, quint16 addr, quint16 count)
{
    QByteArray frame = header(function, addr, count);
    frame.append(char(EndByte));
    return frame;
}

QByteArray writeFloatsFrame(quint16 addr, const float *values, int n)
{
    QByteArray frame = header(FnWriteParams, addr, quint16(2 * n));
    for (int i = 0; i < n; ++i)
        appendLittleEndian(frame, std::bit_cast<quint32>(values[i]), 4);
    frame.append(char(EndByte));
    return frame;
}

QByteArray writeWordFrame(quint16 addr, quint16 value)
{
    QByteArray frame = header(FnWriteParams, addr, 1);
    appendLittleEndian(frame, value, 2);
    frame.append(char(EndByte));
    return frame;
}

} // namespace Proto

void SendReadData(FrameSink &sink, quint16 Addr, quint16 Count)
{
    sink.sendFrame(Proto::readFrame(Proto::FnReadData, Addr, Count), FrameKind::CountedRead);
}

void SendReadParams(FrameSink &sink, quint16 Addr, quint16 Count)
{
    sink.sendFrame(Proto::readFrame(Proto::FnReadParams, Addr, Count), FrameKind::CountedRead);
}

void SendWriteFloat(FrameSink &sink, quint16 Addr, float Value, int extraPauseMs)
{
    sink.sendFrame(Proto::writeFloatsFrame(Addr, &Value, 1), FrameKind::Write, extraPauseMs);
}

void SendWriteFloat4(FrameSink &sink, quint16 Addr, float V1, float V2, float V3, float V4,
                     int extraPauseMs)
{
    const float values[4] = {V1, V2, V3, V4};
    sink.sendFrame(Proto::writeFloatsFrame(Addr, values, 4), FrameKind::Write, extraPauseMs);
}

void SendWriteWord(FrameSink &sink, quint16 Addr, quint16 Value, int extraPauseMs)
{
    sink.sendFrame(Proto::writeWordFrame(Addr, Value), FrameKind::Write, extraPauseMs);
}
