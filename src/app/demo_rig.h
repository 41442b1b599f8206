#pragma once
// The --demo rig: the simulated meter's own rig, reached in-process through the
// DemoMeter (no network). Sets the flow and the fluid temperature and reads the
// reference and its thermometer like a real rig.
#include "rig/rig.h"
#include <functional>

class DemoMeter;

class TDemoRig : public TRig
{
    Q_OBJECT
public:
    explicit TDemoRig(DemoMeter &meter, QObject *parent = nullptr);

    QString kind() const override;
    QString description() const override;
    QJsonObject settings() const override;
    bool setsFlow() const override { return true; }
    bool readsReference() const override { return true; }
    bool setsTemperature() const override { return true; }
    bool readsTemperature() const override { return true; }

    void open() override;
    void close() override;
    bool isOpen() const override { return m_open; }
    void setFlow(double kgPerHour) override;
    void setTemperature(double celsius) override;
    void readReference() override;

private:
    // Answers go out from the event loop, never from inside the request.
    void answerLater(std::function<void()> emitIt);
    void failLater(const QString &message);

    DemoMeter &m_meter;
    bool m_open = false;
};
