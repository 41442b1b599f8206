#pragma once
// A rig reached over Modbus TCP or RTU (the simulated rig is a Modbus TCP one).
// Every request answers with exactly one signal. A timeout or a "busy" or
// "acknowledge" exception sends it again (the map's retries, with a short
// back-off); a lost connection is re-opened for the map's reconnect_ms and the
// requests still unanswered are sent again. Replies of a connection closed on
// purpose answer nothing.
#include "rig/rig.h"
#include "rig/modbus_reading_plan.h"
#include "rig/rig_config.h"

#include <QElapsedTimer>
#include <QModbusDevice>
#include <QTimer>
#include <functional>
#include <memory>

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
    bool setsTemperature() const override { return config_.map.temperatureSetpoint.has_value(); }
    bool readsTemperature() const override { return config_.map.referenceTemperature.has_value(); }

    void open() override;
    void close() override;
    // Also while a lost connection is being re-opened: requests wait for it.
    bool isOpen() const override { return link_ == Link::Open || link_ == Link::Reconnecting; }
    void setFlow(double kgPerHour) override;
    // The set point's float is the °C ÷ its scale; refused beyond RigTemperature's limits.
    void setTemperature(double celsius) override;
    void readReference() override;
    double idleSetpoint() const override { return config_.map.idleSetpoint; }

    // "недопустимый адрес данных" for 2; the standard's names in Russian.
    static QString exceptionName(int code);

private:
    using Done = std::function<void(const QModbusDataUnit &)>;
    struct Request
    {
        QString what;
        quint16 address = 0;
        std::function<QModbusReply *(QModbusClient *)> send;
        Done done;
        int retried = 0;
    };
    using RequestPtr = std::shared_ptr<Request>;
    enum class Link { Closed, Opening, Open, Reconnecting };

    void connectClient();
    void onStateChanged(QModbusDevice::State state);
    void submit(const RequestPtr &request);
    void onReply(QModbusReply *reply, const RequestPtr &request);
    void readPair(RegisterTable table, quint16 address, int count, const QString &what, Done done);
    // Writes value ÷ the pair's scale; then() once the rig took it.
    void writePair(const RigRegister &reg, double value, const QString &what, std::function<void()> then);
    // The blocks from `next` on, each after the one before; one reading() or one failed().
    void readBlocks(QList<ReadingBlock> blocks, int next, RigReading sofar);
    void startReconnect(const QString &why);
    void reconnectAttemptFailed();
    void giveUp();
    QString replyFailure(const QModbusReply *reply, quint16 address) const;
    QString connectFailure() const;
    QString lossText() const;
    bool requireOpen(const QString &what);
    void post(std::function<void()> f);
    void fail(const QString &message);

    RigConfig config_;
    QModbusClient *client_ = nullptr;
    QTimer connectDeadline_, reconnectTimer_;
    QElapsedTimer reconnectClock_;
    Link link_ = Link::Closed;
    // Sent and not answered yet (or waiting out a back-off); sent again after a reconnect.
    QList<RequestPtr> inFlight_;
    // Asked while the connection is being re-opened.
    QList<RequestPtr> waiting_;
    // Raised with every new connection and by close(): older replies answer nothing.
    quint64 generation_ = 0;
};
