#include "app/demo_rig.h"

#include "app/demo_meter.h"
#include "rig/rig_temperature.h"

#include <QMetaObject>
#include <cmath>

TDemoRig::TDemoRig(DemoMeter &meter, QObject *parent) : TRig(parent), m_meter(meter) {}

QString TDemoRig::kind() const
{
    return QStringLiteral("sim");
}

QString TDemoRig::description() const
{
    return QStringLiteral("Встроенный стенд демонстрации");
}

QJsonObject TDemoRig::settings() const
{
    return {}; // nothing to reach: the rig lives inside the program
}

void TDemoRig::answerLater(std::function<void()> emitIt)
{
    QMetaObject::invokeMethod(this, std::move(emitIt), Qt::QueuedConnection);
}

void TDemoRig::failLater(const QString &message)
{
    answerLater([this, message] { Q_EMIT failed(message); });
}

void TDemoRig::open()
{
    if (!m_meter.isRunning())
        return failLater(QStringLiteral("Встроенный стенд не запущен"));
    m_open = true;
    answerLater([this] { Q_EMIT opened(); });
}

void TDemoRig::close()
{
    m_open = false;
}

void TDemoRig::setFlow(double kgPerHour)
{
    if (!m_open)
        return failLater(QStringLiteral("Стенд не открыт"));
    if (!m_meter.setRigSetpoint(kgPerHour))
        return failLater(QStringLiteral("Стенд не принял расход %1 кг/ч").arg(kgPerHour));
    answerLater([this, kgPerHour] { Q_EMIT flowSet(kgPerHour); });
}

void TDemoRig::setTemperature(double celsius)
{
    if (!m_open)
        return failLater(QStringLiteral("Стенд не открыт"));
    if (const QString why = RigTemperature::Refusal(celsius); !why.isEmpty())
        return failLater(QStringLiteral("Уставка температуры %1: %2").arg(RigTemperature::Text(celsius), why));
    m_meter.setFluidTemperature(celsius);
    answerLater([this, celsius] { Q_EMIT temperatureSet(celsius); });
}

void TDemoRig::readReference()
{
    if (!m_open)
        return failLater(QStringLiteral("Стенд не открыт"));
    const DemoMeter::RigReadings rig = m_meter.readRig();
    const RigReading now{rig.instantReference, rig.rigFlow, rig.referenceTemperature};
    answerLater([this, now] { Q_EMIT reading(now); });
}
