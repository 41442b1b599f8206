// The calibration window with its records: a snapshot of the previous values before
// each save, not one frame more on the wire, and a save the meter did not take named.
#include "gui/kalibr_window_fixture.h"
#include "records/calibration_records.h"
#include "ui/common/panel_status_bar.h"
#include <QSignalSpy>
#include <QTemporaryDir>

namespace {

class RecordsWindow : public testing::Test
{
protected:
    void open(const QString &dbPath)
    {
        ASSERT_TRUE(rig.started);
        ASSERT_TRUE(rig.connect());
        records = std::make_unique<TCalibrationRecords>(*rig.dm, std::make_unique<TSnapshotStore>(dbPath));
        form = new TForm_Kalibrovka(*rig.dm, nullptr, records.get());
        form->Timer_1->stop();
        form->show();
    }
    void TearDown() override { delete form.data(); }
    QList<QByteArray> sent(const std::function<void()> &action) { return SentDuring(rig, action); }
    void typePoints(std::array<float, 4> v)
    {
        TTabTermo *t = form->TabSheet1;
        const QList<QLineEdit *> boxes{t->Edit_T_20, t->Edit_T_ADC_20, t->Edit_T_60, t->Edit_T_ADC_60};
        for (int i = 0; i < 4; ++i)
            boxes[i]->setText(QString::number(double(v[size_t(i)])));
    }
    QVector<quint16> meterPoints()
    {
        QVector<quint16> regs;
        for (int r = 5; r <= 12; ++r)
            regs << rig.server.model().paramWord(r);
        return regs;
    }

    QTemporaryDir dir;
    MeterRig rig;
    std::unique_ptr<TCalibrationRecords> records;
    QPointer<TForm_Kalibrovka> form;
};

} // namespace

TEST_F(RecordsWindow, ThermometerSaveKeepsThePreviousPointsAndSendsOnlyItsFrames)
{
    open(dir.filePath("s.sqlite"));
    TTabTermo *t = form->TabSheet1;
    const QList<QByteArray> reads{params(5, 8), data(16, 4)};
    EXPECT_EQ(sent([&] { t->Button_read_Kf_termo->click(); }), reads);
    const QVector<quint16> previous = meterPoints();

    QSignalSpy refused(records.get(), &TCalibrationRecords::readBackRefused);
    typePoints({20.5f, 1111, 60.5f, 2222});
    EXPECT_EQ(sent([&] { t->Button_save_Kf_termo->click(); }), QList<QByteArray>{write4(5, {20.5f, 1111, 60.5f, 2222})} + reads);
    const QList<Snapshot> kept = records->store().list();
    ASSERT_EQ(kept.size(), 1);
    EXPECT_EQ(kept[0].reason, SnapshotReason::BeforeThermometerSave);
    EXPECT_EQ(kept[0].areas.keys(), QList<CalibrationArea>{CalibrationArea::Thermometer});
    EXPECT_EQ(kept[0].areas.value(CalibrationArea::Thermometer), previous);
    EXPECT_TRUE(refused.isEmpty()) << "the meter took the values";
}

TEST_F(RecordsWindow, ValuesTheMeterDidNotTakeAreNamedOnceAndKept)
{
    open(dir.filePath("s.sqlite"));
    rig.server.model().setIgnoredWrites(7, 8); // the first point's ADC code
    TTabTermo *t = form->TabSheet1;
    sent([&] { t->Button_read_Kf_termo->click(); });
    QSignalSpy refused(records.get(), &TCalibrationRecords::readBackRefused);
    typePoints({20.5f, 1111, 60.5f, 2222});
    sent([&] { t->Button_save_Kf_termo->click(); });
    ASSERT_TRUE(refused.count() == 1 || refused.wait(2000));
    EXPECT_TRUE(refused.first().first().toString().contains("регистры 7, 8")) << refused.first().first().toString().toStdString();
    const QList<Snapshot> kept = records->store().list();
    ASSERT_EQ(kept.size(), 1);
    EXPECT_EQ(kept[0].refused.value(CalibrationArea::Thermometer), TCalibrationRecords::FloatRegisters({20.5f, 1111, 60.5f, 2222}));
    // A later read of the same area is not a second report.
    sent([&] { t->Button_read_Kf_termo->click(); });
    QTest::qWait(100);
    EXPECT_EQ(refused.count(), 1);
}

TEST_F(RecordsWindow, AStoreThatCannotKeepLetsTheSaveGoAheadWhenAskedAndSaysSo)
{
    // A directory where the database file should be: it cannot be opened.
    ASSERT_TRUE(QDir(dir.path()).mkpath("taken.sqlite"));
    open(dir.filePath("taken.sqlite"));
    rig.boxes.setAnswer(QMessageBox::Yes);
    TTabTermo *t = form->TabSheet1;
    typePoints({21.5f, 1234, 61.5f, 4321});
    EXPECT_EQ(sent([&] { t->Button_save_Kf_termo->click(); }).value(0), write4(5, {21.5f, 1234, 61.5f, 4321}));
    EXPECT_EQ(rig.server.model().paramFloat(7), 1234.0f);
    form->Timer_1Timer();
    EXPECT_TRUE(form->StatusBar1->panelText(0).contains("снимок перед записью не сохранён"))
        << form->StatusBar1->panelText(0).toStdString();
    ASSERT_EQ(rig.boxes.requests.size(), 1) << "one question, no further dialog";
    EXPECT_TRUE(rig.boxes.requests[0].text.contains("Записать без снимка?"));
}
