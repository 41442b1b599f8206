#pragma once
// What the records, the restore engine and a calibration run need of one meter's link:
// frames handed over under the recovery rule, the port's state, the registers its
// answers reported, and which meter it is. The data module is the real one; a test may
// stand in a scripted one. Several links live side by side, one per meter.
#include "link/register_image.h"
#include "protocol/frame_sink.h"
#include <QObject>
#include <QString>
#include <functional>

class TMeterLink : public QObject, public FrameSink
{
    Q_OBJECT
public:
    using QObject::QObject;
    ~TMeterLink() override = default;

    virtual bool isPortOpen() const = 0;
    // The port's name as its candidate list gives it: where the meter sits.
    virtual QString portName() const = 0;
    // The USB serial number of the open port's device: which meter this is. Empty when unknown.
    virtual QString portSerialNumber() const = 0;
    // The meter's registers as its answers on this connection reported them.
    virtual const TRegisterImage &registerImage() const = 0;
    // Port open: runs send, recovering on any error; closed: recovers without sending
    // (only when recoverWhenClosed). True when send ran to the end.
    virtual bool sendUnderRecoveryRule(const std::function<void()> &send, bool recoverWhenClosed = true) = 0;
    // Close the port and look for the meter again. Never shows anything.
    virtual void applyRecoveryRule() = 0;

Q_SIGNALS:
    // The port was closed (after a port error, a hang-up or on request).
    void portClosedSignal();
    // An accepted answer put these registers into the image (space: RegisterSpace).
    void registersTaken(int space, int first, int count);
    // Every accepted answer frame, after its data event.
    void answerAccepted(const QByteArray &frame);
    // A frame went out on the wire; isRead tells a counted read from a write.
    void frameWritten(const QByteArray &frame, bool isRead);
};
