#include "rig/modbus_rig.h"
#include "rig/modbus_exception.h"
#include "rig/rig_temperature.h"

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
// Between two attempts to re-open a lost connection.
constexpr int ReconnectTryMs = 200;
// A busy rig or a lost answer is asked again after this, times the attempt.
constexpr int BackoffMs = 100;

bool transient(const QModbusReply *reply)
{
    if (reply->error() == QModbusDevice::TimeoutError)
        return true;
    if (reply->error() != QModbusDevice::ProtocolError)
        return false;
    const auto code = ModbusExceptionCode(reply->rawResult());
    return code && (*code == QModbusPdu::Acknowledge || *code == QModbusPdu::ServerDeviceBusy);
}

bool connectionGone(const QModbusReply *reply)
{
    return reply->error() == QModbusDevice::ConnectionError || reply->error() == QModbusDevice::ReplyAbortedError;
}

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
        if (link_ == Link::Reconnecting) {
            ++generation_;
            client_->disconnect(this);
            client_->disconnectDevice();
            reconnectAttemptFailed();
            return;
        }
        if (link_ != Link::Opening)
            return;
        link_ = Link::Closed;
        ++generation_;
        client_->disconnectDevice();
        fail(QStringLiteral("Нет связи со стендом (%1): соединение не установлено за %2 с")
                 .arg(description())
                 .arg(ConnectDeadlineMs / 1000));
    });
    reconnectTimer_.setSingleShot(true);
    reconnectTimer_.setInterval(ReconnectTryMs);
    connect(&reconnectTimer_, &QTimer::timeout, this, [this] {
        if (link_ == Link::Reconnecting)
            connectClient();
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

void TModbusRig::open()
{
    if (link_ == Link::Open)
        post([this] { Q_EMIT opened(); });
    if (link_ != Link::Closed)
        return;
    link_ = Link::Opening;
    connectClient();
}

void TModbusRig::connectClient()
{
    if (client_) {
        // An earlier connection: its replies must not answer for the new one.
        ++generation_;
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
    // Retries are ours, with a back-off, and cover busy answers too.
    client_->setNumberOfRetries(0);
    connect(client_, &QModbusDevice::stateChanged, this, &TModbusRig::onStateChanged);
    connect(client_, &QModbusDevice::errorOccurred, this, [this](QModbusDevice::Error e) {
        qCDebug(lcRig) << "client error" << e << client_->errorString();
    });
    qCDebug(lcRig) << "connecting" << description();
    const Link before = link_;
    if (!client_->connectDevice()) {
        // The state change may already have taken it up.
        if (link_ != before)
            return;
        if (link_ == Link::Reconnecting) {
            reconnectAttemptFailed();
            return;
        }
        link_ = Link::Closed;
        fail(connectFailure());
        return;
    }
    if (link_ == before)
        connectDeadline_.start();
}

void TModbusRig::close()
{
    ++generation_;
    link_ = Link::Closed;
    inFlight_.clear();
    waiting_.clear();
    connectDeadline_.stop();
    reconnectTimer_.stop();
    if (client_)
        client_->disconnectDevice();
}

void TModbusRig::onStateChanged(QModbusDevice::State state)
{
    qCDebug(lcRig) << "state" << state;
    if (state == QModbusDevice::ConnectedState) {
        connectDeadline_.stop();
        if (link_ == Link::Opening) {
            link_ = Link::Open;
            post([this] { Q_EMIT opened(); });
        } else if (link_ == Link::Reconnecting) {
            link_ = Link::Open;
            qCInfo(lcRig) << "rig back after" << reconnectClock_.elapsed() << "ms";
            // Queued like the loss, so the two arrive in their order.
            post([this] { Q_EMIT reconnected(); });
            const QList<RequestPtr> again = std::exchange(waiting_, {});
            for (const RequestPtr &r : again)
                submit(r);
        }
        return;
    }
    if (state != QModbusDevice::UnconnectedState)
        return;
    if (link_ == Link::Opening) {
        link_ = Link::Closed;
        connectDeadline_.stop();
        // The client reports its error only after this state change.
        const quint64 generation = generation_;
        post([this, generation] {
            if (generation == generation_)
                fail(connectFailure());
        });
    } else if (link_ == Link::Reconnecting) {
        connectDeadline_.stop();
        reconnectAttemptFailed();
    } else if (link_ == Link::Open) {
        startReconnect(lossText());
    }
}

void TModbusRig::startReconnect(const QString &why)
{
    if (link_ != Link::Open)
        return;
    // What was sent on the lost connection goes again on the next one.
    ++generation_;
    waiting_ = inFlight_ + waiting_;
    inFlight_.clear();
    if (config_.map.reconnectMs <= 0) {
        giveUp();
        return;
    }
    qCWarning(lcRig) << why << "- reconnecting";
    link_ = Link::Reconnecting;
    reconnectClock_.start();
    post([this, why] { Q_EMIT connectionLost(why); });
    reconnectTimer_.start(0);
}

void TModbusRig::reconnectAttemptFailed()
{
    if (reconnectClock_.elapsed() + ReconnectTryMs < config_.map.reconnectMs)
        reconnectTimer_.start();
    else
        giveUp();
}

void TModbusRig::giveUp()
{
    ++generation_;
    link_ = Link::Closed;
    reconnectTimer_.stop();
    connectDeadline_.stop();
    if (client_)
        client_->disconnectDevice();
    QString why = lossText();
    if (config_.map.reconnectMs > 0)
        why += QStringLiteral(" и не восстановилась за %1 с").arg(config_.map.reconnectMs / 1000.0);
    const QList<RequestPtr> unanswered = std::exchange(waiting_, {});
    if (unanswered.isEmpty())
        fail(why.left(1).toUpper() + why.mid(1));
    for (const RequestPtr &r : unanswered)
        fail(r->what + QStringLiteral(": ") + why);
}

void TModbusRig::setFlow(double kgPerHour)
{
    const QString what = QStringLiteral("Уставка %1").arg(kgPerHourText(kgPerHour));
    if (!config_.map.setpoint) {
        fail(what + QStringLiteral(": у стенда нет регистра уставки, расход задаёт оператор"));
        return;
    }
    writePair(*config_.map.setpoint, kgPerHour, what, [this, kgPerHour] { Q_EMIT flowSet(kgPerHour); });
}

void TModbusRig::setTemperature(double celsius)
{
    const QString what = QStringLiteral("Уставка температуры %1").arg(RigTemperature::Text(celsius));
    if (!config_.map.temperatureSetpoint) {
        fail(what + QStringLiteral(": у стенда нет регистра уставки температуры, температуру задаёт оператор"));
        return;
    }
    if (const QString why = RigTemperature::Refusal(celsius); !why.isEmpty()) {
        fail(what + QStringLiteral(": ") + why);
        return;
    }
    writePair(*config_.map.temperatureSetpoint, celsius, what, [this, celsius] { Q_EMIT temperatureSet(celsius); });
}

void TModbusRig::writePair(const RigRegister &reg, double value, const QString &what, std::function<void()> then)
{
    const float raw = float(value / reg.scale);
    if (!std::isfinite(raw)) {
        fail(what + QStringLiteral(": значение не помещается в регистры стенда"));
        return;
    }
    if (!requireOpen(what))
        return;
    const auto words = FloatToRegisters(raw, config_.map.wordOrder);
    const QModbusDataUnit unit(QModbusDataUnit::HoldingRegisters, reg.address, QList<quint16>{words[0], words[1]});
    const int unitId = config_.map.unitId;
    submit(std::make_shared<Request>(Request{
        what, reg.address, [unit, unitId](QModbusClient *c) { return c->sendWriteRequest(unit, unitId); },
        [then = std::move(then)](const QModbusDataUnit &) { then(); }}));
}

void TModbusRig::readReference()
{
    if (requireOpen(QStringLiteral("Чтение эталона")))
        readBlocks(PlanReading(config_.map), 0, RigReading{});
}

void TModbusRig::readBlocks(QList<ReadingBlock> blocks, int next, RigReading sofar)
{
    if (next == blocks.size()) {
        const bool numbers = std::isfinite(sofar.referenceFlow) && (!sofar.rigFlow || std::isfinite(*sofar.rigFlow))
                             && (!sofar.referenceTemperature || std::isfinite(*sofar.referenceTemperature));
        if (!numbers)
            fail(QStringLiteral("Чтение эталона: стенд вернул не число"));
        else
            Q_EMIT reading(sofar);
        return;
    }
    const ReadingBlock block = blocks.at(next);
    readPair(block.table, block.address, block.count, block.what(),
             [this, blocks = std::move(blocks), next, sofar, block](const QModbusDataUnit &unit) mutable {
                 block.apply(unit, config_.map.wordOrder, &sofar);
                 readBlocks(std::move(blocks), next + 1, sofar);
             });
}

void TModbusRig::readPair(RegisterTable table, quint16 address, int count, const QString &what, Done done)
{
    if (!requireOpen(what))
        return;
    const QModbusDataUnit unit(registerType(table), address, quint16(count));
    const int unitId = config_.map.unitId;
    submit(std::make_shared<Request>(Request{
        what, address, [unit, unitId](QModbusClient *c) { return c->sendReadRequest(unit, unitId); },
        [this, count, what, done = std::move(done)](const QModbusDataUnit &result) {
            if (result.valueCount() < qsizetype(count)) {
                fail(what + QStringLiteral(": стенд вернул %1 регистров вместо %2").arg(result.valueCount()).arg(count));
                return;
            }
            done(result);
        }}));
}

void TModbusRig::submit(const RequestPtr &request)
{
    if (link_ == Link::Reconnecting) {
        waiting_ << request;
        return;
    }
    if (!requireOpen(request->what))
        return;
    QModbusReply *reply = request->send(client_);
    if (!reply) {
        if (client_->state() != QModbusDevice::ConnectedState) {
            // The socket went before its state change came: the request waits for the next one.
            inFlight_ << request;
            startReconnect(lossText());
            return;
        }
        fail(request->what + QStringLiteral(": запрос не отправлен (%1)").arg(client_->errorString()));
        return;
    }
    inFlight_ << request;
    const quint64 generation = generation_;
    auto finish = [this, reply, request, generation] {
        reply->deleteLater();
        if (generation == generation_)
            onReply(reply, request);
    };
    if (reply->isFinished())
        post(std::move(finish));
    else
        connect(reply, &QModbusReply::finished, this, std::move(finish));
}

void TModbusRig::onReply(QModbusReply *reply, const RequestPtr &request)
{
    if (reply->error() == QModbusDevice::NoError) {
        inFlight_.removeOne(request);
        request->done(reply->result());
        return;
    }
    if (connectionGone(reply)) {
        startReconnect(lossText());
        return;
    }
    if (transient(reply) && request->retried < config_.map.retries) {
        ++request->retried;
        qCWarning(lcRig) << request->what << replyFailure(reply, request->address) << "- again, attempt"
                      << request->retried + 1;
        // Kept in flight meanwhile, so that a reconnect takes it along.
        QTimer::singleShot(BackoffMs * request->retried, this, [this, request] {
            if (link_ == Link::Open && inFlight_.removeOne(request))
                submit(request);
        });
        return;
    }
    inFlight_.removeOne(request);
    fail(request->what + QStringLiteral(": ") + replyFailure(reply, request->address));
}

bool TModbusRig::requireOpen(const QString &what)
{
    if (link_ == Link::Reconnecting || (link_ == Link::Open && client_))
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
