#include "sim/rig_modbus_server.h"

#include "rig/sim_rig_map.h"
#include "sim/meter_server.h"

#include <QLoggingCategory>
#include <QTcpServer>
#include <QTimer>
#include <QVariant>
#include <bit>
#include <cmath>

Q_LOGGING_CATEGORY(lcRigModbus, "kestro.sim.rig")

namespace {
// The simulated thermostat's range, °C; it refuses a set point beyond it.
constexpr double FluidMinCelsius = -50.0;
constexpr double FluidMaxCelsius = 200.0;

bool acceptsFluid(double celsius)
{
    return std::isfinite(celsius) && celsius >= FluidMinCelsius && celsius <= FluidMaxCelsius;
}

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

// Whether registers start..start+count-1 take in part of the pair at reg.
bool touches(int start, qsizetype count, int reg)
{
    return start < reg + 2 && start + count > reg;
}

// A write's first register and count, from its request.
bool writtenRange(const QModbusPdu &request, int *start, int *count)
{
    const QByteArray d = request.data();
    if (d.size() < 4)
        return false;
    *start = quint8(d[0]) << 8 | quint8(d[1]);
    *count = request.functionCode() == QModbusPdu::WriteSingleRegister ? 1 : (quint8(d[2]) << 8 | quint8(d[3]));
    return true;
}
// The holding registers as they read now; no fluid set point reads as not a number.
void holdingImage(QList<quint16> *image, const MeterModel &model)
{
    putFloat(image, SimRigMap::FlowSetpoint, model.rigSetpoint());
    putFloat(image, SimRigMap::TemperatureSetpoint, model.fluidSetpoint().value_or(std::nan("")));
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
        int start = 0, count = 0;
        if (writtenRange(request, &start, &count) && touches(start, count, SimRigMap::FlowSetpoint))
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
        putFloat(&image, SimRigMap::ReferenceTemperature, thermometer(*newData));
        break;
    case QModbusDataUnit::HoldingRegisters:
        holdingImage(&image, model);
        break;
    default:
        return false;
    }
    if (!inImage(image, newData->startAddress(), newData->valueCount()))
        return false;
    newData->setValues(image.mid(newData->startAddress(), newData->valueCount()));
    return true;
}

double RigModbusServer::thermometer(const QModbusDataUnit &read) const
{
    const double now = m_meter->model().referenceTemperature();
    if (!touches(read.startAddress(), read.valueCount(), SimRigMap::ReferenceTemperature))
        return now;
    if (m_stuckTemperature)
        return *m_stuckTemperature;
    if (m_faults.stuckTemperatureAfterReads > 0 && ++m_temperatureReads >= m_faults.stuckTemperatureAfterReads) {
        qCInfo(lcRigModbus) << "thermometer stuck at" << now;
        m_stuckTemperature = now;
    }
    return now;
}

bool RigModbusServer::writeData(const QModbusDataUnit &unit)
{
    if (unit.registerType() != QModbusDataUnit::HoldingRegisters)
        return false;
    // The lag starts now, not at the last request.
    m_meter->catchUp();
    MeterModel &model = m_meter->model();
    QList<quint16> image;
    holdingImage(&image, model);
    const int start = unit.startAddress();
    const qsizetype count = unit.valueCount();
    if (!inImage(image, start, count))
        return false;
    for (qsizetype i = 0; i < count; ++i)
        image[start + i] = unit.value(int(i));
    // Only the pairs the write touched are set, and only when each is acceptable.
    const bool flow = touches(start, count, SimRigMap::FlowSetpoint);
    const bool fluid = touches(start, count, SimRigMap::TemperatureSetpoint);
    const double setpoint = floatAt(image, SimRigMap::FlowSetpoint);
    const double celsius = floatAt(image, SimRigMap::TemperatureSetpoint);
    if ((flow && !MeterModel::acceptsRigSetpoint(setpoint)) || (fluid && !acceptsFluid(celsius))) {
        qCInfo(lcRigModbus) << "set point refused:" << setpoint << "kg/h" << celsius << "°C";
        m_refused = true;
        return false;
    }
    if (flow)
        model.setRigSetpoint(setpoint);
    if (fluid)
        model.setFluidTemperature(celsius);
    qCDebug(lcRigModbus) << "set points" << setpoint << "kg/h" << celsius << "°C";
    return true;
}
