#pragma once
// Request frames: 1F, function code, address (MSB first), count (MSB first),
// data (little-endian memory images), 55. Encoders build the frame and hand it
// to a FrameSink; they never wait and never read.
#include "protocol/frame_sink.h"
#include <QByteArray>
#include <cstdint>

namespace Proto {
constexpr quint8 StartByte = 0x1F;
constexpr quint8 EndByte = 0x55;
constexpr quint8 FnReadData = 0x00;
constexpr quint8 FnReadParams = 0x01;
constexpr quint8 FnWriteParams = 0x02;

// Values of the command register (parameter register 1).
constexpr quint16 CommandRegister = 1;
constexpr quint16 CmdRestart = 11;
constexpr quint16 CmdRecalculate = 24;
constexpr quint16 CmdAverageReset = 37;
constexpr quint16 CmdAverageStart = 38;
constexpr quint16 CmdAverageStop = 39;

// Pure builders.
QByteArray readFrame(quint8 function, quint16 addr, quint16 count);
QByteArray writeFloatsFrame(quint16 addr, const float *values, int n);
QByteArray writeWordFrame(quint16 addr, quint16 value);
} // namespace Proto

void SendReadData(FrameSink &sink, quint16 Addr, quint16 Count);
void SendReadParams(FrameSink &sink, quint16 Addr, quint16 Count);
void SendWriteFloat(FrameSink &sink, quint16 Addr, float Value, int extraPauseMs = 0);
void SendWriteFloat4(FrameSink &sink, quint16 Addr, float V1, float V2, float V3, float V4,
                     int extraPauseMs = 0);
void SendWriteWord(FrameSink &sink, quint16 Addr, quint16 Value, int extraPauseMs = 0);
