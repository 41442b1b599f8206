#pragma once
// Finding the meter's port among the present serial ports.
#include <QString>
#include <QStringList>

namespace Discovery {
inline const QString MeterVid = QStringLiteral("0483");
inline const QString MeterPid = QStringLiteral("5740");
inline const QString DebugPortDescription = QStringLiteral("KESTRO DEBUG PORT");
inline const QString NotFoundDescription = QStringLiteral("NOT_FOUND");
QString notFoundText();            // "  Порт не найден!"
QString openedText(const QString &name); // " <name> открыт и доступен"
QString busyText(const QString &name);   // " <name> занят или недоступен"
// " <name> не открывается: <reason>", the reason in the program's language.
QString openFailedText(const QString &name, int serialPortError);
// What to do when the port exists but this user may not open it.
QString permissionHint(const QString &name);
} // namespace Discovery

// The operating system's side of discovery.
class PortEnumerator
{
public:
    virtual ~PortEnumerator() = default;
    // Present ports of USB devices with this vendor/product ID (four hex digits), stable order.
    virtual QStringList ListPortsByVidPid(const QString &vid, const QString &pid) = 0;
    // Bus-reported description, "NOT_FOUND" when there is none, or "ERROR: ..." text.
    virtual QString GetPortDeviceDesc(const QString &portName) = 0;
    // True when the port can be opened exclusively right now (opened and closed at once).
    virtual bool IsPortFree(const QString &portName) = 0;
    // True when the port is there but this user has no right to read and write it.
    virtual bool LacksPermission(const QString &portName)
    {
        Q_UNUSED(portName);
        return false;
    }
    // The USB serial number of the port's device; empty when it has none or is unknown.
    virtual QString SerialNumber(const QString &portName)
    {
        Q_UNUSED(portName);
        return {};
    }
};

// The link's side: the one serial port object.
class PortOpener
{
public:
    virtual ~PortOpener() = default;
    virtual void closePort() = 0;
    // Opens and configures the port; throws LinkError on failure.
    virtual void openPort(const QString &portName) = 0;
};

// Opens the first free non-debug candidate and returns the status text.
// An open failure after the free test propagates as LinkError. Candidates that
// were not free for lack of rights are added to denied, when given.
QString FindDevicePort(PortEnumerator &ports, PortOpener &opener, QStringList *denied = nullptr);

// "COM12" -> 12; anything else (COM0, COMX, com3, COM) -> -1.
int PortNumberFromName(const QString &name);
