#include "rig/modbus_rig.h"
#include "rig/modbus_exception.h"

#include <QDataStream>
#include <QLoggingCategory>
#include <QModbusRtuSerialClient>
#include <QModbusTcpClient>
#include <QSerialPort>
#include <cmath>

namespace {

Q_LOGGING_CATEGORY(lcRig, "kestro.rig", QtWarningMsg)

// A TCP connect to a silent host would otherwise wait for the system's own timeout (minutes).
constexpr int ConnectDeadlineMs = 5000;

QModbusDataUnit::RegisterType registerType(RegisterTable t)
{
    return t == RegisterTable::Input ? QModbusDataUnit::InputRegisters : QModbusDataUnit::HoldingRegisters;
}

QString kgPerHourText(double v)
{
    return QString::number(v, 'g', 7) + QStringLiteral(" кг/ч");
}

} // namespace

TModbusRig::TModbusRig(RigConfig config, QObject *parent)
    : TRig(parent), config_(std::move(config))
{
    connectDeadline_.setSingleShot(true);
    connectDeadline_.setInterval(ConnectDeadlineMs);
    connect(&connectDeadline_, &QTimer::timeout, this, [this] {
        if (!opening_)
            return;
        opening_ = false;
        ++generation_;
        client_->disconnectDevice();
        fail(QStringLiteral("Нет связи со стендом (%1): соединение не установлено за %2 с")
                 .arg(description())
                 .arg(ConnectDeadlineMs / 1000));
    });
}

TModbusRig::~TModbusRig()
{
    ++generation_;
    if (client_) {
        client_->disconnect(this);
        client_->disconnectDevice();
    }
}

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

void TModbusRig::open()
{
    if (open_ || opening_) {
        if (open_)
            post([this] { Q_EMIT opened(); });
        return;
    }
    if (client_) {
        // A connection lost earlier: its replies must not answer for the new one.
        ++generation_;
        pending_ = 0;
        client_->disconnect(this);
        client_->disconnectDevice();
        client_->deleteLater();
    }
    if (config_.kind == RigConfig::Kind::ModbusRtu) {
        auto *rtu = new QModbusRtuSerialClient(this);
        const auto &s = config_.map.serial;
        const auto parity = s.parity == SerialParity::None ? QSerialPort::NoParity
                            : s.parity == SerialParity::Even ? QSerialPort::EvenParity
                                                             : QSerialPort::OddParity;
        rtu->setConnectionParameter(QModbusDevice::SerialPortNameParameter, config_.device);
        rtu->setConnectionParameter(QModbusDevice::SerialBaudRateParameter, s.baud);
        rtu->setConnectionParameter(QModbusDevice::SerialParityParameter, parity);
        rtu->setConnectionParameter(QModbusDevice::SerialDataBitsParameter, s.dataBits);
        rtu->setConnectionParameter(QModbusDevice::SerialStopBitsParameter, s.stopBits);
        client_ = rtu;
    } else {
        auto *tcp = new QModbusTcpClient(this);
        tcp->setConnectionParameter(QModbusDevice::NetworkAddressParameter, config_.host);
        tcp->setConnectionParameter(QModbusDevice::NetworkPortParameter, config_.port);
        client_ = tcp;
    }
    client_->setTimeout(config_.map.responseTimeoutMs);
    client_->setNumberOfRetries(config_.map.retries);
    connect(client_, &QModbusDevice::stateChanged, this, &TModbusRig::onStateChanged);
    connect(client_, &QModbusDevice::errorOccurred, this, [this](QModbusDevice::Error e) {
        qCDebug(lcRig) << "client error" << e << client_->errorString();
    });
    opening_ = true;
    lossNamed_ = false;
    qCDebug(lcRig) << "connecting" << description();
    if (!client_->connectDevice()) {
        // The state change may already have named the cause.
        if (!opening_)
            return;
        opening_ = false;
        fail(connectFailure());
        return;
    }
    if (opening_)
        connectDeadline_.start();
}

void TModbusRig::close()
{
    ++generation_;
    opening_ = false;
    open_ = false;
    pending_ = 0;
    connectDeadline_.stop();
    if (client_)
        client_->disconnectDevice();
}

void TModbusRig::onStateChanged(QModbusDevice::State state)
{
    qCDebug(lcRig) << "state" << state;
    if (state == QModbusDevice::ConnectedState && opening_) {
        opening_ = false;
        open_ = true;
        connectDeadline_.stop();
        post([this] { Q_EMIT opened(); });
    } else if (state == QModbusDevice::UnconnectedState) {
        if (opening_) {
            opening_ = false;
            connectDeadline_.stop();
            // The client reports its error only after this state change.
            const quint64 generation = generation_;
            post([this, generation] {
                if (generation == generation_)
                    fail(connectFailure());
            });
        } else if (open_) {
            open_ = false;
            // Replies still waiting name the loss themselves.
            if (pending_ == 0 && !lossNamed_)
                fail(QStringLiteral("Связь со стендом потеряна (%1)").arg(description()));
        }
    }
}

void TModbusRig::setFlow(double kgPerHour)
{
    const QString what = QStringLiteral("Уставка %1").arg(kgPerHourText(kgPerHour));
    if (!config_.map.setpoint) {
        fail(what + QStringLiteral(": у стенда нет регистра уставки, расход задаёт оператор"));
        return;
    }
    const RigRegister &reg = *config_.map.setpoint;
    const float raw = float(kgPerHour / reg.scale);
    if (!std::isfinite(raw)) {
        fail(what + QStringLiteral(": значение не помещается в регистры стенда"));
        return;
    }
    if (!requireOpen(what))
        return;
    const auto words = FloatToRegisters(raw, config_.map.wordOrder);
    const QModbusDataUnit unit(QModbusDataUnit::HoldingRegisters, reg.address, QList<quint16>{words[0], words[1]});
    await(client_->sendWriteRequest(unit, config_.map.unitId), what, reg.address,
          [this, kgPerHour](const QModbusDataUnit &) { Q_EMIT flowSet(kgPerHour); });
}

void TModbusRig::readReference()
{
    const QString what = QStringLiteral("Чтение эталона");
    if (!requireOpen(what))
        return;
    const RigRegisterMap &map = config_.map;
    auto value = [&map](const QModbusDataUnit &unit, int offset, const RigRegister &reg) {
        return double(RegistersToFloat(unit.value(offset), unit.value(offset + 1), map.wordOrder)) * reg.scale;
    };
    auto deliver = [this, what](RigReading r) {
        if (!std::isfinite(r.referenceFlow) || (r.rigFlow && !std::isfinite(*r.rigFlow))) {
            fail(what + QStringLiteral(": стенд вернул не число"));
            return;
        }
        Q_EMIT reading(r);
    };
    const auto &ref = map.reference;
    // Neighbouring pairs in one table come in one request, read at the same moment.
    if (map.rigFlow && map.rigFlow->table == ref.table && std::abs(int(map.rigFlow->address) - int(ref.address)) == 2) {
        const RigRegister first = map.rigFlow->address < ref.address ? *map.rigFlow : ref;
        const int refOffset = ref.address - first.address;
        const int flowOffset = 2 - refOffset;
        readPair(first, 4, what, [=, rigFlow = *map.rigFlow](const QModbusDataUnit &unit) {
            deliver(RigReading{value(unit, refOffset, ref), value(unit, flowOffset, rigFlow)});
        });
        return;
    }
    readPair(ref, 2, what, [=, this](const QModbusDataUnit &unit) {
        RigReading r{value(unit, 0, ref), std::nullopt};
        if (!config_.map.rigFlow) {
            deliver(r);
            return;
        }
        const RigRegister rigFlow = *config_.map.rigFlow;
        readPair(rigFlow, 2, QStringLiteral("Чтение расхода стенда"), [=](const QModbusDataUnit &unit) {
            RigReading both = r;
            both.rigFlow = value(unit, 0, rigFlow);
            deliver(both);
        });
    });
}

void TModbusRig::readPair(const RigRegister &reg, int count, const QString &what, Done done)
{
    if (!requireOpen(what))
        return;
    const QModbusDataUnit unit(registerType(reg.table), reg.address, quint16(count));
    await(client_->sendReadRequest(unit, config_.map.unitId), what, reg.address,
          [this, count, what, done = std::move(done)](const QModbusDataUnit &result) {
              if (result.valueCount() < qsizetype(count)) {
                  fail(what + QStringLiteral(": стенд вернул %1 регистров вместо %2").arg(result.valueCount()).arg(count));
                  return;
              }
              done(result);
          });
}

void TModbusRig::await(QModbusReply *reply, const QString &what, quint16 address, Done done)
{
    if (!reply) {
        fail(what + QStringLiteral(": запрос не отправлен (%1)").arg(client_->errorString()));
        return;
    }
    ++pending_;
    const quint64 generation = generation_;
    auto finish = [this, reply, what, address, generation, done = std::move(done)] {
        reply->deleteLater();
        if (generation != generation_)
            return;
        --pending_;
        if (reply->error() != QModbusDevice::NoError) {
            fail(what + QStringLiteral(": ") + replyFailure(reply, address));
            return;
        }
        done(reply->result());
    };
    if (reply->isFinished())
        post(std::move(finish));
    else
        connect(reply, &QModbusReply::finished, this, std::move(finish));
}

QString TModbusRig::replyFailure(const QModbusReply *reply, quint16 address)
{
    switch (reply->error()) {
    case QModbusDevice::ProtocolError:
        if (const auto code = ModbusExceptionCode(reply->rawResult())) {
            return QStringLiteral("Modbus: исключение %1 — %2 (регистр %3)").arg(*code).arg(exceptionName(*code)).arg(address);
        }
        return QStringLiteral("Modbus: ошибка протокола (%1)").arg(reply->errorString());
    case QModbusDevice::TimeoutError:
        return QStringLiteral("стенд не ответил за %1 мс (попыток: %2)")
            .arg(config_.map.responseTimeoutMs)
            .arg(config_.map.retries + 1);
    case QModbusDevice::ReplyAbortedError:
    case QModbusDevice::ConnectionError:
        lossNamed_ = true;
        return QStringLiteral("связь со стендом потеряна (%1)").arg(description());
    default: return QStringLiteral("Modbus: %1").arg(reply->errorString());
    }
}

QString TModbusRig::connectFailure() const
{
    const QString why = client_->errorString();
    return QStringLiteral("Нет связи со стендом (%1): %2")
        .arg(description(), why.isEmpty() ? QStringLiteral("соединение не установлено") : why);
}

bool TModbusRig::requireOpen(const QString &what)
{
    if (open_ && client_ && client_->state() == QModbusDevice::ConnectedState)
        return true;
    fail(what + QStringLiteral(": нет связи со стендом (%1)").arg(description()));
    return false;
}

void TModbusRig::post(std::function<void()> f)
{
    QMetaObject::invokeMethod(this, std::move(f), Qt::QueuedConnection);
}

void TModbusRig::fail(const QString &message)
{
    qCWarning(lcRig) << message;
    // Queued, so that a failure found inside a call never re-enters the caller.
    post([this, message] { Q_EMIT failed(message); });
}
