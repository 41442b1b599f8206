#include "app/demo_meter.h"
#include "app/demo_rig.h"

#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>
#include <cmath>

// The --demo rig drives the meter served from its own thread, answering by signals.
TEST(DemoRig, SetsTheFlowReadsTheReferenceAndRefusesWhatTheRigCannotRun)
{
    SimOptions o;
    o.timeScale = 20.0;
    DemoMeter meter(o);
    TDemoRig rig(meter);
    QSignalSpy failed(&rig, &TRig::failed), opened(&rig, &TRig::opened), set(&rig, &TRig::flowSet);
    rig.open();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !failed.isEmpty(); }, 20000)); // not started yet

    ASSERT_TRUE(meter.start());
    rig.open();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !opened.isEmpty(); }, 20000));
    rig.setFlow(-450.0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !set.isEmpty(); }, 20000));
    EXPECT_EQ(set.first().first().toDouble(), -450.0);

    RigReading last;
    QObject::connect(&rig, &TRig::reading, &rig, [&](const RigReading &r) { last = r; });
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            rig.readReference();
            QTest::qWait(20);
            return last.rigFlow && std::abs(*last.rigFlow + 450.0) < 5.0;
        },
        20000));
    EXPECT_NEAR(last.referenceFlow, -450.0, 7.0);

    rig.setFlow(NAN);
    ASSERT_TRUE(QTest::qWaitFor([&] { return failed.size() == 2; }, 20000));
    EXPECT_EQ(set.size(), 1);
    EXPECT_EQ(meter.readRig().setFlow, -450.0);
}
