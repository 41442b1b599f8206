// The system's candidates on Linux: Qt's port list filtered by USB ID, descriptions
// read from sysfs (the USB interface string, else the device's product string).
#include "link/candidate_ports.h"
#include <QFile>
#include <QFileInfo>
#include <QSerialPort>
#include <QSerialPortInfo>
#include <algorithm>
#include <dirent.h>
#include <unistd.h>

namespace {

QString readSysfsText(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(file.readAll()).trimmed();
}

class SystemPortEnumerator : public PortEnumerator
{
public:
    // Asked every poll while the meter is away: Qt's full port scan costs thousands of
    // system calls, so it runs only when the set of tty devices has changed.
    QStringList ListPortsByVidPid(const QString &vid, const QString &pid) override
    {
        const QStringList ttys = TtyDeviceNames(QStringLiteral("/sys/class/tty"));
        const QString key = vid + QLatin1Char(':') + pid;
        if (!m_cachedTtys.isEmpty() && ttys == m_cachedTtys && key == m_cachedKey)
            return m_cachedPorts;
        m_cachedPorts = scan(vid, pid);
        m_cachedTtys = ttys;
        m_cachedKey = key;
        return m_cachedPorts;
    }

private:
    QStringList scan(const QString &vid, const QString &pid) const
    {
        bool vidOk = false;
        bool pidOk = false;
        const quint16 vendor = quint16(vid.toUInt(&vidOk, 16));
        const quint16 product = quint16(pid.toUInt(&pidOk, 16));
        if (!vidOk || !pidOk)
            return {};
        QStringList names;
        const auto ports = QSerialPortInfo::availablePorts();
        for (const QSerialPortInfo &info : ports) {
            if (info.hasVendorIdentifier() && info.hasProductIdentifier()
                && info.vendorIdentifier() == vendor && info.productIdentifier() == product)
                names.append(info.portName());
        }
        SortPortNames(names);
        return names;
    }

    QStringList m_cachedTtys;
    QString m_cachedKey;
    QStringList m_cachedPorts;

public:
    QString GetPortDeviceDesc(const QString &portName) override
    {
        return SysfsPortDescription(QStringLiteral("/sys"), portName);
    }

    bool IsPortFree(const QString &portName) override { return TryExclusiveOpen(portName); }
    bool LacksPermission(const QString &portName) override { return PortLacksPermission(portName); }
    QString SerialNumber(const QString &portName) override { return QSerialPortInfo(portName).serialNumber(); }
};

} // namespace

std::unique_ptr<PortEnumerator> CreateSystemPortEnumerator()
{
    return std::make_unique<SystemPortEnumerator>();
}

QString SysfsPortDescription(const QString &sysRoot, const QString &portName)
{
    // device/ is the tty's USB interface; its parent is the USB device.
    const QString base = sysRoot + QStringLiteral("/class/tty/") + QFileInfo(portName).fileName()
                         + QStringLiteral("/device/");
    QString text = readSysfsText(base + QStringLiteral("interface"));
    if (text.isEmpty())
        text = readSysfsText(base + QStringLiteral("../product"));
    return text.isEmpty() ? Discovery::NotFoundDescription : text;
}

void SortPortNames(QStringList &names)
{
    const auto split = [](const QString &name) {
        qsizetype digits = name.size();
        while (digits > 0 && name.at(digits - 1).isDigit())
            --digits;
        return std::pair(name.left(digits), name.mid(digits).toULongLong());
    };
    std::sort(names.begin(), names.end(), [&](const QString &a, const QString &b) {
        const auto ka = split(a);
        const auto kb = split(b);
        return ka != kb ? ka < kb : a < b; // "ttyS01" and "ttyS1" still get one order
    });
}

bool TryExclusiveOpen(const QString &portName)
{
    // QSerialPort takes the port's lock file and TIOCEXCL; any refusal (busy, no
    // permission without dialout, gone) is "not free".
    QSerialPort port;
    port.setPortName(portName);
    if (!port.open(QIODevice::ReadWrite))
        return false;
    port.close();
    return true;
}

bool PortLacksPermission(const QString &portName)
{
    const QString path = portName.startsWith(QLatin1Char('/')) ? portName : QStringLiteral("/dev/") + portName;
    const QByteArray native = QFile::encodeName(path);
    return ::access(native.constData(), F_OK) == 0 && ::access(native.constData(), R_OK | W_OK) != 0;
}

QStringList TtyDeviceNames(const QString &sysClassTty)
{
    QStringList names;
    DIR *dir = ::opendir(QFile::encodeName(sysClassTty).constData());
    if (!dir)
        return names;
    while (const dirent *entry = ::readdir(dir)) {
        if (entry->d_name[0] != '.')
            names.append(QString::fromLocal8Bit(entry->d_name));
    }
    ::closedir(dir);
    names.sort();
    return names;
}
