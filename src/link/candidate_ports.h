#pragma once
// The candidate list used by every program: ports given on the command line with
// --virtual-port PATH[=[DESCRIPTION][@SERIAL]] first, in the order given, then the system's.
#include "link/port_discovery.h"
#include <QList>
#include <memory>

struct VirtualPort
{
    QString path;
    QString description; // empty -> "NOT_FOUND"
    QString serial = {}; // stands for the USB serial number; empty: none
};

// Parses "PATH[=[DESCRIPTION][@SERIAL]]": the serial stands for the USB serial
// number the port's device reports (after the last '@').
VirtualPort ParseVirtualPortArg(const QString &arg);

class CandidatePorts : public PortEnumerator
{
public:
    // system may be null (virtual candidates only).
    CandidatePorts(QList<VirtualPort> virtuals, std::unique_ptr<PortEnumerator> system);
    ~CandidatePorts() override;

    QStringList ListPortsByVidPid(const QString &vid, const QString &pid) override;
    QString GetPortDeviceDesc(const QString &portName) override;
    bool IsPortFree(const QString &portName) override;
    bool LacksPermission(const QString &portName) override;
    QString SerialNumber(const QString &portName) override;

    void addVirtual(const VirtualPort &port) { m_virtuals.append(port); }

private:
    QList<VirtualPort> m_virtuals;
    std::unique_ptr<PortEnumerator> m_system;
};

// The system's ports: QSerialPortInfo filtered by USB ID, descriptions from sysfs.
std::unique_ptr<PortEnumerator> CreateSystemPortEnumerator();
// Port names in the order a user expects: by stem, then by number (ttyACM2 before ttyACM10).
void SortPortNames(QStringList &names);
// Exclusive-open test shared by the system and virtual candidates.
bool TryExclusiveOpen(const QString &portName);
// True when the port exists but the user may not read and write it.
bool PortLacksPermission(const QString &portName);
// The names in a folder like /sys/class/tty, sorted: one cheap look at which tty
// devices exist now.
QStringList TtyDeviceNames(const QString &sysClassTty);
// A tty's bus-reported description from a sysfs tree ("/sys" on a running system):
// the USB interface string, else the device's product string, else "NOT_FOUND".
QString SysfsPortDescription(const QString &sysRoot, const QString &portName);
