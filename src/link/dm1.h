#pragma once
// The data module: owns the serial port object, the stream decoder, the transmit
// pacer, the data events and the link status. Everything runs on the UI thread.
#include "link/meter_link.h"
#include "link/port_discovery.h"
#include "link/register_image.h"
#include "link/rx_tx_cnt.h"
#include "link/transmit_pacer.h"
#include "protocol/data_events.h"
#include "protocol/stream_decoder.h"
#include <QElapsedTimer>
#include <QObject>
#include <QSerialPort>
#include <QTimer>
#include <functional>
#include <memory>

// How the link has fared since the program started.
struct LinkHealth
{
    qint64 framesSent = 0;   // every frame the pacer wrote, reads and writes
    qint64 answersAccepted = 0;
    qint64 droppedBytes = 0; // bytes the decoder could not place in an answer
    int reconnects = 0;      // opens after the first
    QDateTime lastAnswerUtc; // invalid before the first answer
};

class TDM_1 : public TMeterLink, public TDataEvents, public PortOpener
{
    Q_OBJECT
public:
    static constexpr int BaudRate = 19200;
    static constexpr int BufferSize = 4096;

    // ports null: the system's ports only.
    explicit TDM_1(std::unique_ptr<PortEnumerator> ports, QObject *parent = nullptr);
    ~TDM_1() override;

    TUSBWork &USBWork() { return m_usbWork; }
    const TUSBWork &USBWork() const { return m_usbWork; }

    // Serial port object.
    bool isPortOpen() const override;
    QString portName() const override;
    QString portSerialNumber() const override;
    void openPort(const QString &portName) override; // throws LinkError
    void closePort() override;

    // FrameSink: queue through the pacer; throws LinkError when the port is closed.
    void sendFrame(const QByteArray &frame, FrameKind kind, int extraPauseMs = 0) override;

    // FindDevicePort over this module's candidate list and port.
    QString findDevicePort();
    // Close the port, run discovery, store its text in USBWork. Never shows anything.
    void applyRecoveryRule() override;
    // The senders' rule: port open -> run send inside a guard, recover on any error;
    // port closed -> recover without sending (only when recoverWhenClosed).
    // Returns true when send ran to the end.
    bool sendUnderRecoveryRule(const std::function<void()> &send, bool recoverWhenClosed = true) override;

    // Real port errors reported by the serial port object since creation; a hang-up
    // must give a handful, not a storm.
    int portErrorCount() const { return m_portErrorCount; }

    PortEnumerator &ports() { return *m_ports; }
    const StreamDecoder &decoder() const { return m_decoder; }
    // The meter's registers as its answers on this connection reported them.
    const TRegisterImage &registerImage() const override { return m_image; }
    TransmitPacer &pacer() { return m_pacer; }
    LinkHealth health() const;

Q_SIGNALS:
    // A data handler raised an error; the UI shows it in its error box.
    void handlerError(const QString &message);
    // The port was closed after a port error and discovery ran again.
    void linkRecovered(const QString &statusText);
    void portOpened(const QString &portName);
    // Discovery found the meter's port but this user may not open it; once per port.
    void permissionDenied(const QString &portName);

private:
    void onReadyRead();
    void checkQuietLine();
    // Runs one decoder step, then drains the rest past any handler's error.
    void deliver(const std::function<void(const StreamDecoder::FrameHandler &)> &step);
    void armQuietCheck();
    void onPortError(QSerialPort::SerialPortError error);
    void scheduleRecovery();
    QString discover();
    void dispatch(const AnyRecord &record);
    bool writeToPort(const QByteArray &frame);

    std::unique_ptr<PortEnumerator> m_ports;
    QSerialPort m_port;
    StreamDecoder m_decoder;
    TRegisterImage m_image;
    LinkHealth m_health;
    int m_opens = 0;
    TransmitPacer m_pacer;
    TUSBWork m_usbWork;
    QElapsedTimer m_clock;
    // Fires the quiet time after the last byte while a partial answer waits.
    QTimer m_quietCheck;
    QString m_portName;
    int m_portErrorCount = 0;
    bool m_recoveryPending = false;
    QStringList m_deniedReported;
};
