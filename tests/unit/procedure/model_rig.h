#pragma once
// The simulated rig over a meter model: holds the set flow at once; its reference reads
// the true flow with the reference meter's own scatter. catchUp brings the model's
// physics to now before a reading.
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
        setPoints << kgPerHour;
        if (silent)
            return;
        if (setFlows == failAtSetFlow || refuseAll)
            return later([this] { emit failed(QStringLiteral("Modbus: исключение 4")); });
        m_model.setRigFlow(kgPerHour);
        later([this, kgPerHour] { ++flowSetAnswers, emit flowSet(kgPerHour); });
    }
    double idleSetpoint() const override { return idle; }
    // The connection goes for a moment and comes back.
    void drop()
    {
        later([this] { emit connectionLost(QStringLiteral("связь со стендом потеряна (модель)")); });
        QTimer::singleShot(300, this, [this] { emit reconnected(); });
    }
    bool setsTemperature() const override { return temperature; }
    bool readsTemperature() const override { return temperature; }
    void setTemperature(double celsius) override
    {
        temperatureSetPoints << celsius;
        m_model.setFluidTemperature(celsius);
        later([this, celsius] { emit temperatureSet(celsius); });
    }
    void readReference() override
    {
        later([this] {
            m_catchUp();
            const double flow = m_model.trueFlow();
            std::optional<double> t;
            if (temperature) {
                ++temperatureReads;
                if (stuckTemperatureAfter == 0 || temperatureReads <= stuckTemperatureAfter)
                    m_lastTemperature = m_model.referenceTemperature();
                t = m_lastTemperature;
            }
            emit reading({m_model.instantReference(), flow + (setFlows <= offsetSetFlows ? 100.0 : 0.0), t});
        });
    }

    int setFlows = 0;
    int failAtSetFlow = 0;   // this set point is refused
    int offsetSetFlows = 0;  // up to this set point the rig runs 10 % of Q Max off it
    bool refuseAll = false;  // every set point from now on is refused
    bool silent = false;     // set points from now on are never answered
    double idle = 0.0;
    QList<double> setPoints;
    int flowSetAnswers = 0;
    // A fluid temperature set point and a reference thermometer; off: the operator's.
    bool temperature = false;
    int stuckTemperatureAfter = 0; // from this reading on the thermometer repeats itself (0: never)
    int temperatureReads = 0;
    QList<double> temperatureSetPoints;

private:
    void later(std::function<void()> f) { QTimer::singleShot(0, this, std::move(f)); }
    MeterModel &m_model;
    std::function<void()> m_catchUp;
    bool m_open = false;
    double m_lastTemperature = 0;
};
