#pragma once
// Test doubles for the operating system's side of discovery and for the port.
#include "link/port_discovery.h"
#include "protocol/frame_sink.h"
#include <QList>
#include <QStringList>
#include <ostream>

// Readable failure messages for texts.
inline void PrintTo(const QString &s, std::ostream *os)
{
    *os << '"' << s.toStdString() << '"';
}

struct FakePort
{
    QString name;
    QString description;
    bool free;
};

class FakeEnumerator : public PortEnumerator
{
public:
    explicit FakeEnumerator(QList<FakePort> ports = {}) : ports(std::move(ports)) {}

    QStringList ListPortsByVidPid(const QString &vid, const QString &pid) override
    {
        listedIds.append(vid + QLatin1Char(':') + pid);
        QStringList names;
        for (const FakePort &p : ports)
            names.append(p.name);
        return names;
    }
    QString GetPortDeviceDesc(const QString &portName) override
    {
        described.append(portName);
        const FakePort *p = find(portName);
        return p ? p->description : QStringLiteral("NOT_FOUND");
    }
    bool IsPortFree(const QString &portName) override
    {
        freeAsked.append(portName);
        const FakePort *p = find(portName);
        return p && p->free;
    }

    QList<FakePort> ports;
    QStringList listedIds;
    QStringList described;
    QStringList freeAsked;

private:
    const FakePort *find(const QString &name) const
    {
        for (const FakePort &p : ports) {
            if (p.name == name)
                return &p;
        }
        return nullptr;
    }
};

// Records close/open calls in order; opening a name in failOpen throws like a real port.
class FakeOpener : public PortOpener
{
public:
    void closePort() override { calls.append(QStringLiteral("close")); }
    void openPort(const QString &portName) override
    {
        calls.append(QStringLiteral("open:") + portName);
        if (failOpen.contains(portName))
            throw LinkError(QStringLiteral("cannot open ") + portName);
    }

    QStringList calls;
    QStringList failOpen;
};
