#pragma once
// The simulated rig over Modbus TCP (map in rig/sim_rig_map.h): the reference
// meter, the rig's flow and the reference thermometer as input registers, the flow
// and fluid temperature set points as holding registers. Every read brings the meter's model up to the server's clock first.
// Lives in, and is served from, the thread that serves the MeterServer: it
// touches that server's model directly.
#include <QModbusTcpServer>
#include <QString>
#include <optional>

class MeterServer;

class RigModbusServer : public QModbusTcpServer
{
    Q_OBJECT
public:
    explicit RigModbusServer(MeterServer *meter, QObject *parent = nullptr);

    // Listens on 127.0.0.1:port (0: a free port). False with a message on failure.
    bool listen(quint16 port, QString *error = nullptr);
    // The port listened on, once listening.
    quint16 port() const;

    // Faults a real rig has now and then, each once: after the Nth flow set-point
    // write, the next read answers "busy" (exception 6), or every connection is
    // dropped and nothing listens for dropMs; after the Nth read of the reference
    // thermometer it keeps reading what it read then. 0: never.
    struct Faults
    {
        int busyAfterWrite = 0;
        int dropAfterWrite = 0;
        int dropMs = 300;
        int stuckTemperatureAfterReads = 0;
    };
    void setFaults(const Faults &faults) { m_faults = faults; }

protected:
    QModbusResponse processRequest(const QModbusPdu &request) override;
    bool readData(QModbusDataUnit *newData) const override;
    bool writeData(const QModbusDataUnit &unit) override;

private:
    MeterServer *m_meter;
    // Set by writeData when a set point is refused, so the answer names the value
    // (exception 3) rather than a device failure.
    bool m_refused = false;
    Faults m_faults;
    int m_writes = 0;
    // Reads are const to the server; the thermometer's count and frozen value are not the model's.
    mutable int m_temperatureReads = 0;
    mutable std::optional<double> m_stuckTemperature;
    bool m_busyDone = false, m_dropDone = false;
    // Answers the fault due now, if any (an invalid response: none due).
    QModbusResponse fault(const QModbusPdu &request);
    double thermometer(const QModbusDataUnit &read) const;
};
