#pragma once
// The simulated rig over a meter model: holds the set flow at once; its reference reads
// the true flow. catchUp brings the model's physics to now before a reading.
#include "rig/rig.h"
#include "sim/meter_model.h"
#include <QTimer>
#include <functional>

class ModelRig : public TRig
{
public:
    ModelRig(MeterModel &model, std::function<void()> catchUp) : m_model(model), m_catchUp(std::move(catchUp)) {}
    QString kind() const override { return QStringLiteral("sim"); }
    QString description() const override { return QStringLiteral("модель"); }
    QJsonObject settings() const override { return {}; }
    bool setsFlow() const override { return true; }
    bool readsReference() const override { return true; }
    void open() override { m_open = true, later([this] { emit opened(); }); }
    void close() override { m_open = false; }
    bool isOpen() const override { return m_open; }
    void setFlow(double kgPerHour) override
    {
        ++setFlows;
        if (setFlows == failAtSetFlow)
            return later([this] { emit failed(QStringLiteral("Modbus: исключение 4")); });
        m_model.setRigFlow(kgPerHour);
        later([this, kgPerHour] { emit flowSet(kgPerHour); });
    }
    void readReference() override
    {
        later([this] {
            m_catchUp();
            const double flow = m_model.trueFlow();
            emit reading({flow, flow + (setFlows <= offsetSetFlows ? 100.0 : 0.0)});
        });
    }

    int setFlows = 0;
    int failAtSetFlow = 0;   // this set point is refused
    int offsetSetFlows = 0;  // up to this set point the rig runs 10 % of Q Max off it

private:
    void later(std::function<void()> f) { QTimer::singleShot(0, this, std::move(f)); }
    MeterModel &m_model;
    std::function<void()> m_catchUp;
    bool m_open = false;
};
