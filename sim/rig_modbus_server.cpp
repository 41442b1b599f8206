#include "sim/rig_modbus_server.h"

#include "rig/sim_rig_map.h"
#include "sim/meter_server.h"

#include <QLoggingCategory>
#include <QTcpServer>
#include <QTimer>
#include <QVariant>
#include <bit>

Q_LOGGING_CATEGORY(lcRigModbus, "kestro.sim.rig")

namespace {
// A register image with the float at reg, high word first.
void putFloat(QList<quint16> *image, int reg, double value)
{
    const quint32 bits = std::bit_cast<quint32>(float(value));
    if (image->size() < reg + 2)
        image->resize(reg + 2);
    (*image)[reg] = quint16(bits >> 16);
    (*image)[reg + 1] = quint16(bits & 0xFFFF);
}

float floatAt(const QList<quint16> &image, int reg)
{
    return std::bit_cast<float>(quint32(image.at(reg)) << 16 | image.at(reg + 1));
}

bool inImage(const QList<quint16> &image, int start, qsizetype count)
{
    return start >= 0 && count >= 0 && start + count <= image.size();
}
} // namespace

RigModbusServer::RigModbusServer(MeterServer *meter, QObject *parent) : QModbusTcpServer(parent), m_meter(meter)
{
    setServerAddress(SimRigMap::UnitId);
}

bool RigModbusServer::listen(quint16 port, QString *error)
{
    setConnectionParameter(QModbusDevice::NetworkAddressParameter, QStringLiteral("127.0.0.1"));
    setConnectionParameter(QModbusDevice::NetworkPortParameter, port);
    if (connectDevice())
        return true;
    if (error)
        *error = errorString();
    return false;
}

quint16 RigModbusServer::port() const
{
    // The TCP server inside knows the port taken for 0.
    if (const auto *tcp = findChild<QTcpServer *>(); tcp && tcp->isListening())
        return tcp->serverPort();
    return quint16(connectionParameter(QModbusDevice::NetworkPortParameter).toUInt());
}

QModbusResponse RigModbusServer::fault(const QModbusPdu &request)
{
    const bool write = request.functionCode() == QModbusPdu::WriteMultipleRegisters
                       || request.functionCode() == QModbusPdu::WriteSingleRegister;
    if (write) {
        ++m_writes;
        return {};
    }
    if (m_faults.busyAfterWrite > 0 && !m_busyDone && m_writes >= m_faults.busyAfterWrite) {
        m_busyDone = true;
        qCInfo(lcRigModbus) << "busy, once";
        return QModbusExceptionResponse(request.functionCode(), QModbusExceptionResponse::ServerDeviceBusy);
    }
    if (m_faults.dropAfterWrite > 0 && !m_dropDone && m_writes >= m_faults.dropAfterWrite) {
        m_dropDone = true;
        const quint16 served = port();
        qCInfo(lcRigModbus) << "dropping every connection for" << m_faults.dropMs << "ms";
        // Not from inside the socket's own handler.
        QTimer::singleShot(0, this, [this, served] {
            disconnectDevice();
            QTimer::singleShot(m_faults.dropMs, this, [this, served] {
                QString error;
                if (!listen(served, &error))
                    qCWarning(lcRigModbus) << "cannot serve the rig again:" << error;
            });
        });
    }
    return {};
}

QModbusResponse RigModbusServer::processRequest(const QModbusPdu &request)
{
    if (const QModbusResponse f = fault(request); f.isValid())
        return f;
    m_refused = false;
    const QModbusResponse response = QModbusTcpServer::processRequest(request);
    if (!m_refused)
        return response;
    m_refused = false;
    return QModbusExceptionResponse(request.functionCode(), QModbusExceptionResponse::IllegalDataValue);
}

bool RigModbusServer::readData(QModbusDataUnit *newData) const
{
    m_meter->catchUp();
    const MeterModel &model = m_meter->model();
    QList<quint16> image;
    switch (newData->registerType()) {
    case QModbusDataUnit::InputRegisters:
        putFloat(&image, SimRigMap::ReferenceFlow, model.instantReference());
        putFloat(&image, SimRigMap::RigFlow, model.trueFlow());
        break;
    case QModbusDataUnit::HoldingRegisters:
        putFloat(&image, SimRigMap::FlowSetpoint, model.rigSetpoint());
        break;
    default:
        return false;
    }
    if (!inImage(image, newData->startAddress(), newData->valueCount()))
        return false;
    newData->setValues(image.mid(newData->startAddress(), newData->valueCount()));
    return true;
}

bool RigModbusServer::writeData(const QModbusDataUnit &unit)
{
    if (unit.registerType() != QModbusDataUnit::HoldingRegisters)
        return false;
    // The lag starts now, not at the last request.
    m_meter->catchUp();
    MeterModel &model = m_meter->model();
    QList<quint16> image;
    putFloat(&image, SimRigMap::FlowSetpoint, model.rigSetpoint());
    if (!inImage(image, unit.startAddress(), unit.valueCount()))
        return false;
    for (qsizetype i = 0; i < unit.valueCount(); ++i)
        image[unit.startAddress() + i] = unit.value(int(i));
    const double setpoint = floatAt(image, SimRigMap::FlowSetpoint);
    if (!model.setRigSetpoint(setpoint)) {
        qCInfo(lcRigModbus) << "set point refused:" << setpoint;
        m_refused = true;
        return false;
    }
    qCDebug(lcRigModbus) << "set point" << setpoint;
    return true;
}
