#include "link/dm1.h"
#include "link/candidate_ports.h"
#include "link/link_log.h"
#include "protocol/protokol_usb.h"
#include <QMetaMethod>
#include <QMetaObject>
#include <algorithm>

TDM_1::TDM_1(std::unique_ptr<PortEnumerator> ports, QObject *parent)
    : TMeterLink(parent),
      m_ports(ports ? std::move(ports) : CreateSystemPortEnumerator()),
      m_pacer([this](const QByteArray &frame) { return writeToPort(frame); })
{
    m_clock.start();
    // Set once; QSerialPort applies them at every open.
    m_port.setBaudRate(BaudRate);
    m_port.setDataBits(QSerialPort::Data8);
    m_port.setParity(QSerialPort::NoParity);
    m_port.setStopBits(QSerialPort::OneStop);
    m_port.setFlowControl(QSerialPort::NoFlowControl);
    // Only the input side can be sized; QSerialPort's output buffer grows as needed,
    // and the pacer keeps it to one frame at a time anyway.
    m_port.setReadBufferSize(BufferSize);

    connect(&m_port, &QSerialPort::readyRead, this, &TDM_1::onReadyRead);
    connect(&m_port, &QSerialPort::errorOccurred, this, &TDM_1::onPortError);
    connect(&m_pacer, &TransmitPacer::writeFailed, this, &TDM_1::scheduleRecovery);
    // Sent means sent: a read the queue dropped or never wrote is not counted.
    connect(&m_pacer, &TransmitPacer::frameWritten, this, [this](const QByteArray &frame, bool isRead) {
        ++m_health.framesSent;
        if (isRead)
            m_usbWork.CntRxTx.IncTx();
        // Named by port: several meters' links may trace side by side.
        qCDebug(lcLinkFrames, "%s %8lld ms TX %s", qPrintable(m_portName), m_clock.elapsed(), frame.toHex(' ').constData());
        emit frameWritten(frame, isRead);
    });

    m_quietCheck.setSingleShot(true);
    m_quietCheck.setTimerType(Qt::PreciseTimer);
    connect(&m_quietCheck, &QTimer::timeout, this, &TDM_1::checkQuietLine);
}

TDM_1::~TDM_1()
{
    // Members go before the QObject base: no signal of the port may reach us meanwhile.
    QObject::disconnect(&m_port, nullptr, this, nullptr);
    QObject::disconnect(&m_pacer, nullptr, this, nullptr);
    m_quietCheck.stop();
    m_pacer.clear();
    m_port.close();
}

LinkHealth TDM_1::health() const
{
    LinkHealth h = m_health;
    h.droppedBytes = m_decoder.droppedBytes();
    return h;
}

bool TDM_1::isPortOpen() const
{
    return m_port.isOpen();
}

QString TDM_1::portName() const
{
    return m_portName;
}

QString TDM_1::portSerialNumber() const
{
    return m_port.isOpen() ? m_ports->SerialNumber(m_portName) : QString();
}

void TDM_1::openPort(const QString &portName)
{
    closePort();
    m_portName = portName;
    // Names starting with '/' are taken as paths (pseudo-terminals, symlinks); others
    // are looked up in /dev.
    m_port.setPortName(portName);
    if (!m_port.open(QIODevice::ReadWrite)) {
        m_portName.clear();
        throw LinkError(Discovery::openFailedText(portName, m_port.error()));
    }
    m_recoveryPending = false;
    // A pseudo-terminal has no modem lines and refuses these; a real port takes them.
    m_port.setDataTerminalReady(true);
    m_port.setRequestToSend(true);
    m_port.clearError();
    if (++m_opens > 1)
        ++m_health.reconnects;
    qCInfo(lcLink) << "opened" << portName;
    emit portOpened(portName);
}

void TDM_1::closePort()
{
    // An explicit close also cancels a recovery still waiting in the event queue.
    m_recoveryPending = false;
    const bool wasOpen = m_port.isOpen();
    if (wasOpen)
        m_port.close();
    m_pacer.clear();
    // Safe inside a data handler too: the decoder then finds nothing left to hand out.
    m_decoder.clear();
    m_image.clear();
    m_quietCheck.stop();
    if (wasOpen) {
        qCInfo(lcLink) << "closed" << m_portName;
        emit portClosedSignal();
    }
}

void TDM_1::sendFrame(const QByteArray &frame, FrameKind kind, int extraPauseMs)
{
    if (!m_port.isOpen())
        throw LinkError(QStringLiteral("Порт не открыт"));
    const bool isRead = kind == FrameKind::CountedRead;
    const int pause = (isRead ? TransmitPacer::PauseAfterReadMs : TransmitPacer::PauseAfterWriteMs)
                      + std::max(0, extraPauseMs);
    if (!m_pacer.enqueue(frame, pause, isRead))
        throw LinkError(QStringLiteral(" %1: не удалось передать запрос").arg(m_portName));
}

bool TDM_1::writeToPort(const QByteArray &frame)
{
    if (!m_port.isOpen())
        return false;
    return m_port.write(frame) == frame.size();
}

void TDM_1::onReadyRead()
{
    const QByteArray bytes = m_port.readAll();
    if (bytes.isEmpty())
        return;
    const qint64 now = m_clock.elapsed();
    qCDebug(lcLinkFrames, "%s %8lld ms RX %s", qPrintable(m_portName), now, bytes.toHex(' ').constData());
    deliver([&](const StreamDecoder::FrameHandler &onFrame) { m_decoder.feed(bytes, now, onFrame); });
    armQuietCheck();
}

void TDM_1::deliver(const std::function<void(const StreamDecoder::FrameHandler &)> &step)
{
    const auto onFrame = [this](const AnyRecord &record) { dispatch(record); };
    bool started = false;
    // A handler's error costs only its own frame: report it and go on with the rest.
    for (;;) {
        try {
            if (!started) {
                started = true;
                step(onFrame);
            } else {
                m_decoder.drain(onFrame);
            }
            break;
        } catch (const KestroError &e) {
            emit handlerError(e.message());
        } catch (const std::exception &e) {
            emit handlerError(QString::fromUtf8(e.what()));
        } catch (...) {
            emit handlerError(QStringLiteral("Unknown error in a data handler"));
        }
    }
}

void TDM_1::armQuietCheck()
{
    if (m_decoder.buffered() == 0 || !m_port.isOpen()) {
        m_quietCheck.stop();
        return;
    }
    const qint64 due = m_decoder.lastByteMs() + m_decoder.staleMs() - m_clock.elapsed();
    m_quietCheck.start(int(std::max<qint64>(0, due)));
}

void TDM_1::checkQuietLine()
{
    if (!m_port.isOpen())
        return;
    // The bytes may have come long ago while the event loop was busy: read what the
    // port holds first, so that only a line that really stayed quiet drops a partial answer.
    if (m_port.waitForReadyRead(0) && !m_port.isOpen())
        return;
    if (m_port.error() == QSerialPort::TimeoutError)
        m_port.clearError();
    const qint64 now = m_clock.elapsed();
    deliver([&](const StreamDecoder::FrameHandler &onFrame) { m_decoder.expireStale(now, onFrame); });
    armQuietCheck();
}

void TDM_1::dispatch(const AnyRecord &record)
{
    // The image first, so that a handler already sees what this answer reported.
    const QByteArrayView frame = m_decoder.currentFrame();
    m_health.lastAnswerUtc = QDateTime::currentDateTimeUtc();
    ++m_health.answersAccepted;
    m_image.take(frame, m_health.lastAnswerUtc);
    m_usbWork.CntRxTx.IncRx();
    raise(this, record);
    if (frame.size() >= 7)
        emit registersTaken(quint8(frame[1]) == Proto::FnReadData ? int(RegisterSpace::Data) : int(RegisterSpace::Params),
                            quint8(frame[2]) << 8 | quint8(frame[3]), quint8(frame[4]) << 8 | quint8(frame[5]));
    if (isSignalConnected(QMetaMethod::fromSignal(&TDM_1::answerAccepted)))
        emit answerAccepted(frame.toByteArray());
}

void TDM_1::onPortError(QSerialPort::SerialPortError error)
{
    // Not failures: open() reports NoError, a pseudo-terminal has no modem lines,
    // and there are no timeouts in asynchronous use.
    if (error == QSerialPort::NoError || error == QSerialPort::UnsupportedOperationError
        || error == QSerialPort::TimeoutError)
        return;
    ++m_portErrorCount;
    if (m_portErrorCount <= 10)
        qCInfo(lcLink) << m_portName << "port error" << error << m_port.errorString();
    // Errors of a closed port belong to a failed open, which reports itself; after the
    // first real error the port keeps firing until it is closed: act once.
    if (!m_port.isOpen() || m_recoveryPending)
        return;
    scheduleRecovery();
}

void TDM_1::scheduleRecovery()
{
    if (m_recoveryPending)
        return;
    m_recoveryPending = true;
    // Never close the port inside its own notification.
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (m_recoveryPending)
                applyRecoveryRule();
        },
        Qt::QueuedConnection);
}

void TDM_1::applyRecoveryRule()
{
    closePort();
    QString text;
    try {
        text = discover();
    } catch (const KestroError &e) {
        // The link shows no boxes: a failed open becomes the status text.
        text = e.message();
    } catch (const std::exception &e) {
        text = QString::fromUtf8(e.what());
    }
    m_usbWork.FStatusString = text;
    qCInfo(lcLink) << m_portName << "recovery:" << text;
    emit linkRecovered(text);
}

QString TDM_1::findDevicePort()
{
    return discover();
}

QString TDM_1::discover()
{
    QStringList denied;
    const QString text = FindDevicePort(*m_ports, *this, &denied);
    for (const QString &name : denied) {
        if (!m_deniedReported.contains(name)) {
            m_deniedReported.append(name);
            emit permissionDenied(name);
        }
    }
    return text;
}

bool TDM_1::sendUnderRecoveryRule(const std::function<void()> &send, bool recoverWhenClosed)
{
    if (!m_port.isOpen()) {
        if (recoverWhenClosed)
            applyRecoveryRule();
        return false;
    }
    try {
        send();
        return true;
    } catch (...) {
        // Any error of the send, the port's or not; the remaining requests are not sent.
    }
    applyRecoveryRule();
    return false;
}
