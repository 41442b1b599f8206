#pragma once
// The calibration window connected to the simulated meter, with its records kept in
// a store of the test's own.
#include "gui/kalibr_window_fixture.h"
#include "records/calibration_records.h"
#include "records/record_store.h"
#include <QTemporaryDir>
#include <memory>

class KalibrWindowWithRecords : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(rig.started);
        ASSERT_TRUE(rig.connect());
        records = std::make_unique<TCalibrationRecords>(*rig.dm, std::make_unique<TRecordStore>(dir.filePath("s.sqlite")));
        form = new TForm_Kalibrovka(*rig.dm, nullptr, records.get());
        form->Timer_1->stop();
        form->show();
    }
    void TearDown() override { delete form.data(); }

    QTemporaryDir dir;
    MeterRig rig;
    std::unique_ptr<TCalibrationRecords> records;
    QPointer<TForm_Kalibrovka> form;
};
