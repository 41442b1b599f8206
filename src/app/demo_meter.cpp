#include "app/demo_meter.h"
#include "sim/meter_server.h"
#include <memory>

DemoMeter::DemoMeter(const SimOptions &options) : m_options(options)
{
    m_thread.setObjectName(QStringLiteral("demo-meter"));
}

DemoMeter::~DemoMeter()
{
    stop();
}

bool DemoMeter::start(QString *error)
{
    if (m_server)
        return true;
    m_context = new QObject;
    m_context->moveToThread(&m_thread);
    QObject::connect(&m_thread, &QThread::finished, m_context, &QObject::deleteLater);
    m_thread.start();

    bool ok = false;
    QString message;
    QMetaObject::invokeMethod(
        m_context,
        [&] {
            auto server = std::make_unique<MeterServer>(m_options);
            ok = server->start(&message);
            if (ok) {
                m_devicePath = server->devicePath();
                m_server = server.release();
            }
        },
        Qt::BlockingQueuedConnection);
    if (!ok) {
        stop();
        if (error)
            *error = message;
    }
    return ok;
}

void DemoMeter::stop()
{
    if (m_server) {
        QMetaObject::invokeMethod(
            m_context,
            [this] {
                m_server->stop();
                delete m_server;
                m_server = nullptr;
            },
            Qt::BlockingQueuedConnection);
    }
    if (m_thread.isRunning()) {
        m_thread.quit();
        m_thread.wait();
    }
    m_context = nullptr; // deleted by the thread as it finished
    m_devicePath.clear();
}

void DemoMeter::setRigFlow(std::optional<double> flow)
{
    if (!m_server)
        return;
    QMetaObject::invokeMethod(
        m_context, [this, flow] { m_server->model().setRigFlow(flow); }, Qt::BlockingQueuedConnection);
}

void DemoMeter::setFluidTemperature(std::optional<double> celsius)
{
    if (!m_server)
        return;
    QMetaObject::invokeMethod(
        m_context,
        [this, celsius] {
            m_server->catchUp(); // the fluid changes now, not at the last request
            m_server->model().setFluidTemperature(celsius);
        },
        Qt::BlockingQueuedConnection);
}

bool DemoMeter::setRigSetpoint(double kgPerHour)
{
    if (!m_server)
        return false;
    bool taken = false;
    QMetaObject::invokeMethod(
        m_context,
        [this, kgPerHour, &taken] {
            m_server->catchUp(); // the lag starts now, not at the last request
            taken = m_server->model().setRigSetpoint(kgPerHour);
        },
        Qt::BlockingQueuedConnection);
    return taken;
}

DemoMeter::RigReadings DemoMeter::readRig()
{
    RigReadings readings;
    if (!m_server)
        return readings;
    QMetaObject::invokeMethod(
        m_context,
        [this, &readings] {
            m_server->catchUp();
            const MeterModel &model = m_server->model();
            readings = {model.rigSetpoint(), model.referenceFlow(), model.referenceTemperature(),
                        model.instantReference(), model.trueFlow()};
        },
        Qt::BlockingQueuedConnection);
    return readings;
}
