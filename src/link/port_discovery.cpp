#include "link/port_discovery.h"
#include <QSerialPort>

namespace Discovery {
QString notFoundText()
{
    return QStringLiteral("  Порт не найден!");
}

QString openedText(const QString &name)
{
    return QLatin1Char(' ') + name + QStringLiteral(" открыт и доступен");
}

QString busyText(const QString &name)
{
    return QLatin1Char(' ') + name + QStringLiteral(" занят или недоступен");
}
} // namespace Discovery

QString FindDevicePort(PortEnumerator &ports, PortOpener &opener, QStringList *denied)
{
    QString result = Discovery::notFoundText();
    const QStringList candidates = ports.ListPortsByVidPid(Discovery::MeterVid, Discovery::MeterPid);
    for (const QString &name : candidates) {
        // The debug port shares the meter's USB ID; it must never be taken for the meter.
        if (ports.GetPortDeviceDesc(name) == Discovery::DebugPortDescription)
            continue;
        if (ports.IsPortFree(name)) {
            opener.closePort();
            opener.openPort(name); // a failure here is the caller's to handle
            return Discovery::openedText(name);
        }
        result = Discovery::busyText(name);
        if (denied && ports.LacksPermission(name))
            denied->append(name);
    }
    return result;
}

int PortNumberFromName(const QString &name)
{
    if (name.size() <= 3 || !name.startsWith(QLatin1String("COM"), Qt::CaseSensitive))
        return -1;
    const QStringView digits = QStringView(name).mid(3);
    // Digits only: no sign, no blanks, so "COM+5" or "COM 5" are not port names.
    for (QChar c : digits) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return -1;
    }
    bool ok = false;
    const int number = digits.toInt(&ok);
    return ok && number > 0 ? number : -1;
}

QString Discovery::openFailedText(const QString &name, int serialPortError)
{
    QString reason;
    switch (QSerialPort::SerialPortError(serialPortError)) {
    case QSerialPort::DeviceNotFoundError:
        reason = QStringLiteral("устройство не найдено");
        break;
    case QSerialPort::PermissionError:
        reason = QStringLiteral("нет прав доступа к порту");
        break;
    case QSerialPort::OpenError:
        reason = QStringLiteral("порт уже открыт");
        break;
    default:
        reason = QStringLiteral("ошибка открытия порта");
        break;
    }
    return QStringLiteral(" %1 не открывается: %2").arg(name, reason);
}

QString Discovery::permissionHint(const QString &name)
{
    return QStringLiteral("Нет прав на порт %1. Установите пакет kestrolink: его правило udev открывает порт "
                          "пользователю, вошедшему в систему. Или добавьте себя в группу dialout командой "
                          "«sudo usermod -aG dialout $USER» и войдите в систему заново.")
        .arg(name);
}
