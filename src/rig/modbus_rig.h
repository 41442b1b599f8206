#pragma once
// A rig reached over Modbus TCP or RTU (the simulated rig is a Modbus TCP one).
// Every request is one QModbusReply; its finished() answers with exactly one
// signal. Replies of a connection closed on purpose answer nothing.
#include "rig/rig.h"
#include "rig/rig_config.h"

#include <QModbusDevice>
#include <QTimer>
#include <functional>

class QModbusClient;
class QModbusDataUnit;
class QModbusReply;

class TModbusRig : public TRig
{
    Q_OBJECT
public:
    explicit TModbusRig(RigConfig config, QObject *parent = nullptr);
    ~TModbusRig() override;

    QString kind() const override { return config_.kindName(); }
    QString description() const override;
    QJsonObject settings() const override { return config_.toJson(); }
    bool setsFlow() const override { return config_.map.setpoint.has_value(); }
    bool readsReference() const override { return true; }

    void open() override;
    void close() override;
    bool isOpen() const override { return open_; }
    void setFlow(double kgPerHour) override;
    void readReference() override;

    // "недопустимый адрес данных" for 2; the standard's names in Russian.
    static QString exceptionName(int code);

private:
    using Done = std::function<void(const QModbusDataUnit &)>;
    void onStateChanged(QModbusDevice::State state);
    void await(QModbusReply *reply, const QString &what, quint16 address, Done done);
    void readPair(const RigRegister &reg, int count, const QString &what, Done done);
    QString replyFailure(const QModbusReply *reply, quint16 address);
    QString connectFailure() const;
    bool requireOpen(const QString &what);
    void post(std::function<void()> f);
    void fail(const QString &message);

    RigConfig config_;
    QModbusClient *client_ = nullptr;
    QTimer connectDeadline_;
    bool open_ = false;
    bool opening_ = false;
    int pending_ = 0;
    // A reply already told that the connection went, so the state change need not.
    bool lossNamed_ = false;
    // Raised by close(): replies of an older connection answer nothing.
    quint64 generation_ = 0;
};
