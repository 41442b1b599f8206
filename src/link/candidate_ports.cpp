#include "link/candidate_ports.h"
#include <QFileInfo>

VirtualPort ParseVirtualPortArg(const QString &arg)
{
    const qsizetype eq = arg.indexOf(QLatin1Char('='));
    if (eq < 0)
        return {arg.trimmed(), QString(), QString()};
    const QString rest = arg.mid(eq + 1);
    const qsizetype at = rest.lastIndexOf(QLatin1Char('@'));
    if (at < 0)
        return {arg.left(eq).trimmed(), rest.trimmed(), QString()};
    return {arg.left(eq).trimmed(), rest.left(at).trimmed(), rest.mid(at + 1).trimmed()};
}

CandidatePorts::CandidatePorts(QList<VirtualPort> virtuals, std::unique_ptr<PortEnumerator> system)
    : m_virtuals(std::move(virtuals)), m_system(std::move(system))
{
}

CandidatePorts::~CandidatePorts() = default;

QStringList CandidatePorts::ListPortsByVidPid(const QString &vid, const QString &pid)
{
    QStringList result;
    // Ports given by hand stand for the meter, so they carry its USB ID. Like the
    // system's list they name only ports present now: a path that has gone (a
    // simulator that hung up) is no candidate.
    if (vid.compare(Discovery::MeterVid, Qt::CaseInsensitive) == 0
        && pid.compare(Discovery::MeterPid, Qt::CaseInsensitive) == 0) {
        for (const VirtualPort &port : m_virtuals) {
            if (!port.path.isEmpty() && !result.contains(port.path) && QFileInfo::exists(port.path))
                result.append(port.path);
        }
    }
    if (m_system) {
        for (const QString &name : m_system->ListPortsByVidPid(vid, pid)) {
            if (!result.contains(name))
                result.append(name);
        }
    }
    return result;
}

QString CandidatePorts::GetPortDeviceDesc(const QString &portName)
{
    for (const VirtualPort &port : m_virtuals) {
        if (port.path == portName)
            return port.description.isEmpty() ? Discovery::NotFoundDescription : port.description;
    }
    return m_system ? m_system->GetPortDeviceDesc(portName) : Discovery::NotFoundDescription;
}

bool CandidatePorts::IsPortFree(const QString &portName)
{
    for (const VirtualPort &port : m_virtuals) {
        if (port.path == portName)
            return TryExclusiveOpen(portName);
    }
    return m_system ? m_system->IsPortFree(portName) : false;
}

bool CandidatePorts::LacksPermission(const QString &portName)
{
    for (const VirtualPort &port : m_virtuals) {
        if (port.path == portName)
            return PortLacksPermission(portName);
    }
    return m_system && m_system->LacksPermission(portName);
}

QString CandidatePorts::SerialNumber(const QString &portName)
{
    for (const VirtualPort &port : m_virtuals) {
        if (port.path == portName)
            return port.serial;
    }
    return m_system ? m_system->SerialNumber(portName) : QString();
}
