// The calibration window with its records: a snapshot of the previous values before
// each save or density write, not one frame more on the wire, and a save the meter
// did not take named.
#include "gui/kalibr_window_fixture.h"
#include "records/calibration_records.h"
#include "ui/common/labeled_edit.h"
#include "ui/common/panel_status_bar.h"
#include "ui/settings/form_settings.h"
#include <QCheckBox>
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
        records = std::make_unique<TCalibrationRecords>(*rig.dm, std::make_unique<TRecordStore>(dbPath));
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
    QVector<quint16> meterParams(int first, int last)
    {
        QVector<quint16> regs;
        for (int r = first; r <= last; ++r)
            regs << rig.server.model().paramWord(r);
        return regs;
    }
    QVector<quint16> meterPoints() { return meterParams(5, 12); }
    // Saves and waits for the read that follows to refill the tab; what the
    // records said the meter did not take, by then.
    QStringList refusalsOfSave(QPushButton *save, QLineEdit *refilled)
    {
        QSignalSpy refused(records.get(), &TCalibrationRecords::readBackRefused);
        sent([&] { save->click(); });
        EXPECT_TRUE(EventuallyTrue([&] { return !refilled->text().isEmpty(); }, 10000)) << "no read-back";
        QCoreApplication::processEvents();
        QStringList messages;
        for (const QList<QVariant> &signal : refused)
            messages << signal.first().toString();
        return messages;
    }
    // Q Max 1000 and thirteen points, all typed (Etalon n, Pribor n = Etalon / 2 + shift).
    QList<float> typeFlowTable(float shift)
    {
        TTabRashodKalibr *f = form->TabSheet3;
        QList<float> values{1000.0f};
        for (int n = 1; n <= 13; ++n)
            values << float(-1000 + 2000 * (n - 1) / 12);
        for (int n = 1; n <= 13; ++n)
            values << values[n] / 2 + shift;
        f->Edit_Q_Max->setText(QString::number(double(values[0])));
        for (int n = 1; n <= 13; ++n) {
            f->Edit_Q_Etalon[size_t(n - 1)]->setText(QString::number(double(values[n])));
            f->Edit_Q_Pribor[size_t(n - 1)]->setText(QString::number(double(values[13 + n])));
        }
        return values;
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
    const QStringList said = refusalsOfSave(t->Button_save_Kf_termo, t->Edit_T_20);
    ASSERT_EQ(said.size(), 1);
    EXPECT_TRUE(said.first().contains("регистры 7, 8")) << said.first().toStdString();
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

TEST_F(RecordsWindow, FlowSaveKeepsThePreviousTableAndNamesAPointTheMeterDidNotTake)
{
    open(dir.filePath("s.sqlite"));
    TTabRashodKalibr *f = form->TabSheet3;
    sent([&] { f->Button_read_Rashod_Kf->click(); });
    ASSERT_TRUE(EventuallyTrue([&] { return !f->Edit_Q_Max->text().isEmpty(); }, 10000));

    const struct
    {
        const char *name;
        int ignoredFirst, ignoredLast;
        float shift; // each save writes other values than the meter holds
        const char *named; // in the one message; none when the meter took everything
    } cases[] = {
        {"taken", 1, 0, 0.25f, nullptr},
        {"Pribor 1 kept by the meter", 49, 50, 50.3f, "регистры 49, 50"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const QVector<quint16> previous = meterParams(21, 74);
        rig.server.model().setIgnoredWrites(c.ignoredFirst, c.ignoredLast);
        const QList<float> typed = typeFlowTable(c.shift);
        const QStringList said = refusalsOfSave(f->Button_save_Rashod_Kf, f->Edit_Q_Max);

        const Snapshot kept = records->store().list().value(0);
        EXPECT_EQ(kept.reason, SnapshotReason::BeforeFlowSave);
        EXPECT_EQ(kept.areas.value(CalibrationArea::FlowTable), previous);
        if (!c.named) {
            EXPECT_TRUE(said.isEmpty()) << said.join('|').toStdString();
            EXPECT_TRUE(kept.refused.isEmpty());
            EXPECT_EQ(meterParams(21, 74), TCalibrationRecords::FloatRegisters(typed));
            continue;
        }
        ASSERT_EQ(said.size(), 1);
        EXPECT_TRUE(said.first().startsWith("Прибор не принял записанные значения")) << said.first().toStdString();
        EXPECT_TRUE(said.first().contains(c.named)) << said.first().toStdString();
        EXPECT_EQ(kept.refused.value(CalibrationArea::FlowTable), TCalibrationRecords::FloatRegisters(typed));
    }
    EXPECT_EQ(records->store().list().size(), 2);
}

TEST_F(RecordsWindow, DensityAndItsFlagAreKeptBeforeEachWrite)
{
    ASSERT_TRUE(rig.started);
    ASSERT_TRUE(rig.connect());
    records = std::make_unique<TCalibrationRecords>(*rig.dm, std::make_unique<TRecordStore>(dir.filePath("s.sqlite")));
    QPointer<TForm_Settings> settings = new TForm_Settings(*rig.dm, nullptr, records.get());
    settings->Timer1->setInterval(200);
    ASSERT_TRUE(ShowActive(*settings));
    QLineEdit *density = settings->LE_Plotnost->edit();
    ASSERT_TRUE(EventuallyTrue([&] { return !density->text().isEmpty(); }, 10000));

    const struct
    {
        const char *name;
        std::function<void()> write;
        std::function<bool()> written;
    } cases[] = {
        {"density typed and confirmed",
         [&] {
             TypeInto(density, "997.5");
             QTest::keyClick(density, Qt::Key_Return);
         },
         [&] { return rig.server.model().paramFloat(2) == 997.5f; }},
        {"flag switched on", [&] { settings->CB_plotnost->click(); }, [&] { return rig.server.model().paramWord(4) == 1; }},
    };
    int snapshots = 0;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const QVector<quint16> previous = meterParams(2, 4);
        // The image knows the area: the window has polled it since the last write.
        ASSERT_TRUE(EventuallyTrue([&] {
            return rig.dm->registerImage().range(RegisterSpace::Params, 2, 3) == std::optional(previous);
        }, 10000));
        c.write();
        ASSERT_TRUE(EventuallyTrue(c.written, 10000));
        const QList<Snapshot> kept = records->store().list();
        ASSERT_EQ(kept.size(), ++snapshots);
        EXPECT_EQ(kept[0].reason, SnapshotReason::BeforeDensityWrite);
        EXPECT_EQ(kept[0].areas.keys(), QList<CalibrationArea>{CalibrationArea::Density});
        EXPECT_EQ(kept[0].areas.value(CalibrationArea::Density), previous);
    }
    delete settings.data();
}
