#pragma once
// The calibration window on a data module talking to the simulated meter.
#include "gui/meter_rig.h"
#include "ui/calibration/form_kalibrovka.h"
#include "ui/calibration/tab_flow.h"
#include "ui/calibration/tab_poverka.h"
#include "ui/calibration/tab_termo.h"
#include "ui/calibration/tab_zero.h"
#include <QPointer>
#include <array>
#include <functional>
#include <gtest/gtest.h>


inline QByteArray data(quint16 addr, quint16 count)
{
    return Proto::readFrame(Proto::FnReadData, addr, count);
}
inline QByteArray params(quint16 addr, quint16 count)
{
    return Proto::readFrame(Proto::FnReadParams, addr, count);
}
inline QByteArray write4(quint16 addr, std::array<float, 4> v)
{
    return Proto::writeFloatsFrame(addr, v.data(), 4);
}

// What the meter receives from the action on until the wire is quiet again.
inline QList<QByteArray> SentDuring(MeterRig &rig, const std::function<void()> &action)
{
    rig.server.clearReceived();
    action();
    (void)QTest::qWaitFor([&] { return rig.dm->pacer().waiting() == 0; }, 3000);
    QTest::qWait(60);
    return rig.frames();
}

class KalibrWindow : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(rig.started);
        ASSERT_TRUE(rig.connect());
        form = new TForm_Kalibrovka(*rig.dm);
        form->Timer_1->stop(); // ticks are run by hand where they matter
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form));
    }
    void TearDown() override { delete form.data(); }

    QList<QByteArray> sent(const std::function<void()> &action) { return SentDuring(rig, action); }
    int tx() const { return rig.dm->USBWork().CntRxTx.tx(); }
    TTabTermo *termo() const { return form->TabSheet1; }
    TTabZeroTermo *zero() const { return form->TabSheet2; }
    TTabZeroFreq *freq() const { return form->TabSheet5; }
    TTabRashodKalibr *flow() const { return form->TabSheet3; }
    TTabPoverka *poverka() const { return form->TabSheet4; }

    MeterRig rig;
    QPointer<TForm_Kalibrovka> form;
};

