#pragma once
// Modbus requests for tests: each waits for its own reply with a generous deadline,
// so a busy CI machine only makes them slower.
#include "rig/modbus_exception.h"
#include <QModbusTcpClient>
#include <QTest>
#include <QVariant>
#include <bit>
#include <memory>

namespace modbustest {
constexpr int DeadlineMs = 20000;

struct Answer
{
    bool done = false; // false: no reply within the deadline
    QModbusDevice::Error error = QModbusDevice::NoError;
    QModbusPdu::ExceptionCode exception = QModbusPdu::ExtendedException;
    QList<quint16> values;
};

inline bool connectTo(QModbusTcpClient &client, quint16 port)
{
    client.setConnectionParameter(QModbusDevice::NetworkAddressParameter, QStringLiteral("127.0.0.1"));
    client.setConnectionParameter(QModbusDevice::NetworkPortParameter, port);
    client.setTimeout(DeadlineMs / 2);
    client.setNumberOfRetries(0);
    return client.connectDevice()
           && QTest::qWaitFor([&] { return client.state() == QModbusDevice::ConnectedState; }, DeadlineMs);
}

inline Answer await(QModbusReply *sent)
{
    Answer a;
    if (!sent)
        return a;
    std::unique_ptr<QModbusReply> reply(sent);
    a.done = QTest::qWaitFor([&] { return reply->isFinished(); }, DeadlineMs);
    a.error = reply->error();
    if (reply->error() == QModbusDevice::ProtocolError)
        a.exception = QModbusPdu::ExceptionCode(ModbusExceptionCode(reply->rawResult()).value_or(0));
    a.values = reply->result().values();
    return a;
}

inline Answer read(QModbusTcpClient &client, QModbusDataUnit::RegisterType table, int start, int count, int unit = 1)
{
    return await(client.sendReadRequest(QModbusDataUnit(table, start, quint16(count)), unit));
}

inline Answer writeHolding(QModbusTcpClient &client, int start, const QList<quint16> &words, int unit = 1)
{
    return await(client.sendWriteRequest(QModbusDataUnit(QModbusDataUnit::HoldingRegisters, start, words), unit));
}

// The rig's floats: high word first.
inline QList<quint16> floatWords(float v)
{
    const quint32 bits = std::bit_cast<quint32>(v);
    return {quint16(bits >> 16), quint16(bits & 0xFFFF)};
}

inline float wordsFloat(const QList<quint16> &words, int at = 0)
{
    return std::bit_cast<float>(quint32(words.value(at)) << 16 | words.value(at + 1));
}
} // namespace modbustest
