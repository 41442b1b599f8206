#pragma once
// A Modbus reply's exception code, read from the PDU's bytes: Qt's inline
// isException() loads the function code through an enum that cannot hold the
// exception bit (undefined behaviour).
#include <QByteArray>
#include <QDataStream>
#include <QModbusPdu>
#include <optional>

inline std::optional<int> ModbusExceptionCode(const QModbusPdu &pdu)
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out << pdu;
    if (bytes.size() < 2 || !(quint8(bytes[0]) & QModbusPdu::ExceptionByte))
        return std::nullopt;
    return quint8(bytes[1]);
}
