#pragma once
// A data module whose only candidate port is the simulated meter on a
// pseudo-terminal, and a presenter that answers message boxes.
#include "gui/gui_support.h"
#include "protocol/protokol_usb.h"
#include "sim/meter_server.h"
#include <QApplication>
#include <QLineEdit>
#include <QDialog>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <memory>

struct MeterRig
{
    // serial: the USB serial number the simulated meter's port stands for.
    explicit MeterRig(const SimOptions &options = {}, const QString &serial = {}) : server(options)
    {
        QString error;
        started = server.start(&error);
        EXPECT_TRUE(started) << error.toStdString();
        dm = std::make_unique<TDM_1>(std::make_unique<CandidatePorts>(
            QList<VirtualPort>{{server.devicePath(), QStringLiteral("KESTRO SIM"), serial}}, nullptr));
    }
    ~MeterRig() { dm.reset(); }

    QString openedText() const { return QStringLiteral(" %1 открыт и доступен").arg(server.devicePath()); }
    bool connect()
    {
        dm->USBWork().FStatusString = dm->findDevicePort();
        return dm->isPortOpen();
    }
    // How many times the meter received exactly this frame.
    int received(const QByteArray &frame) const
    {
        int n = 0;
        for (const ReceivedRequest &r : server.received())
            n += r.frame == frame ? 1 : 0;
        return n;
    }
    QList<QByteArray> frames() const
    {
        QList<QByteArray> out;
        for (const ReceivedRequest &r : server.received())
            out.append(r.frame);
        return out;
    }

    RecordingPresenter boxes;
    ScopedMessagePresenter presenterScope{boxes};
    MeterServer server;
    bool started = false;
    std::unique_ptr<TDM_1> dm;
};

inline QByteArray WriteFloatFrame(quint16 addr, float value)
{
    return Proto::writeFloatsFrame(addr, &value, 1);
}

// Shows a top-level window and makes it the active one, so focus works offscreen.
inline bool ShowActive(QWidget &window)
{
    window.show();
    QApplication::setActiveWindow(&window);
    return QTest::qWaitForWindowActive(&window, 2000);
}

// Types into a line edit the way the engineer does: focus, select all, keys.
inline void TypeInto(QLineEdit *edit, const QString &text)
{
    edit->setFocus();
    edit->selectAll();
    if (text.isEmpty())
        QTest::keyClick(edit, Qt::Key_Delete);
    else
        QTest::keyClicks(edit, text);
}

// Acts on the next modal dialog once it is up (from inside its own modal loop).
inline void WhenDialogShows(std::function<void(QDialog *)> act)
{
    auto *poll = new QTimer;
    poll->setInterval(10);
    auto tries = std::make_shared<int>(0);
    QObject::connect(poll, &QTimer::timeout, [poll, tries, act] {
        auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        if (dialog && dialog->isVisible()) {
            poll->stop();
            poll->deleteLater();
            act(dialog);
        } else if (++*tries > 300) {
            poll->stop();
            poll->deleteLater();
        }
    });
    poll->start();
}

// Clicks the dialog's button with this caption.
inline void ClickButton(QDialog *dialog, const QString &caption)
{
    for (QPushButton *button : dialog->findChildren<QPushButton *>()) {
        if (button->text() == caption) {
            button->click();
            return;
        }
    }
    ADD_FAILURE() << "no button " << caption.toStdString();
    dialog->reject();
}
