// What the Modbus rig says about itself and its failures, for people.
#include "rig/modbus_exception.h"
#include "rig/modbus_rig.h"

#include <QModbusClient>
#include <QModbusReply>

QString TModbusRig::description() const
{
    const QString unit = QStringLiteral(", устройство %1").arg(config_.map.unitId);
    const QString tcp = QStringLiteral("Modbus TCP %1:%2").arg(config_.host).arg(config_.port);
    switch (config_.kind) {
    case RigConfig::Kind::ModbusRtu: {
        const auto &s = config_.map.serial;
        const char parity = s.parity == SerialParity::None ? 'N' : s.parity == SerialParity::Even ? 'E' : 'O';
        return QStringLiteral("Modbus RTU %1, %2 %3%4%5")
                   .arg(config_.device)
                   .arg(s.baud)
                   .arg(s.dataBits)
                   .arg(QLatin1Char(parity))
                   .arg(s.stopBits)
               + unit;
    }
    case RigConfig::Kind::Sim: return QStringLiteral("Симулятор стенда, ") + tcp + unit;
    default: return tcp + unit;
    }
}

QString TModbusRig::exceptionName(int code)
{
    switch (code) {
    case QModbusPdu::IllegalFunction: return QStringLiteral("недопустимая функция");
    case QModbusPdu::IllegalDataAddress: return QStringLiteral("недопустимый адрес данных");
    case QModbusPdu::IllegalDataValue: return QStringLiteral("недопустимое значение данных");
    case QModbusPdu::ServerDeviceFailure: return QStringLiteral("отказ устройства");
    case QModbusPdu::Acknowledge: return QStringLiteral("запрос принят, выполняется долго");
    case QModbusPdu::ServerDeviceBusy: return QStringLiteral("устройство занято");
    case QModbusPdu::NegativeAcknowledge: return QStringLiteral("запрос не может быть выполнен");
    case QModbusPdu::MemoryParityError: return QStringLiteral("ошибка чётности памяти");
    case QModbusPdu::GatewayPathUnavailable: return QStringLiteral("шлюз: путь недоступен");
    case QModbusPdu::GatewayTargetDeviceFailedToRespond: return QStringLiteral("шлюз: устройство не ответило");
    default: return QStringLiteral("неизвестный код");
    }
}

QString TModbusRig::replyFailure(const QModbusReply *reply, quint16 address) const
{
    const QString attempts = QStringLiteral("попыток: %1").arg(config_.map.retries + 1);
    switch (reply->error()) {
    case QModbusDevice::ProtocolError:
        if (const auto code = ModbusExceptionCode(reply->rawResult())) {
            const bool busy = *code == QModbusPdu::Acknowledge || *code == QModbusPdu::ServerDeviceBusy;
            return QStringLiteral("Modbus: исключение %1 — %2 (регистр %3%4)")
                .arg(*code)
                .arg(exceptionName(*code))
                .arg(address)
                .arg(busy ? QStringLiteral(", ") + attempts : QString());
        }
        return QStringLiteral("Modbus: ошибка протокола (%1)").arg(reply->errorString());
    case QModbusDevice::TimeoutError:
        return QStringLiteral("стенд не ответил за %1 мс (%2)").arg(config_.map.responseTimeoutMs).arg(attempts);
    case QModbusDevice::ReplyAbortedError:
    case QModbusDevice::ConnectionError: return lossText();
    default: return QStringLiteral("Modbus: %1").arg(reply->errorString());
    }
}

QString TModbusRig::connectFailure() const
{
    const QString why = client_->errorString();
    return QStringLiteral("Нет связи со стендом (%1): %2")
        .arg(description(), why.isEmpty() ? QStringLiteral("соединение не установлено") : why);
}

QString TModbusRig::lossText() const
{
    return QStringLiteral("связь со стендом потеряна (%1)").arg(description());
}

