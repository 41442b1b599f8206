// The settings window against the simulated meter.
#include "gui/meter_rig.h"
#include "records/calibration_records.h"
#include "support/locale_guard.h"
#include "ui/common/labeled_edit.h"
#include "ui/common/link_status_bar.h"
#include "ui/common/tool_bar.h"
#include "ui/settings/form_settings.h"
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

const QByteArray FlagOn = Proto::writeWordFrame(4, 1);
const QByteArray FlagOff = Proto::writeWordFrame(4, 0);

class SettingsWindow : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(rig.started);
        ASSERT_TRUE(rig.connect());
    }
    // Opens the window polling five times as fast, and waits for its first answer.
    void open()
    {
        form = new TForm_Settings(*rig.dm);
        form->Timer1->setInterval(200);
        ASSERT_TRUE(ShowActive(*form));
        ASSERT_TRUE(EventuallyTrue([&] { return !edit()->text().isEmpty(); }, 2000));
    }
    void TearDown() override { delete form.data(); }

    QLineEdit *edit() const { return form->LE_Plotnost->edit(); }
    float meterDensity() { return rig.server.model().paramFloat(2); }
    int settingsAnswers() const { return rig.received(Proto::readFrame(Proto::FnReadParams, 2, 3)); }
    void waitAnswers(int n)
    {
        const int until = settingsAnswers() + n;
        ASSERT_TRUE(EventuallyTrue([&] { return settingsAnswers() >= until; }, 3000));
        QTest::qWait(60);
    }

    MeterRig rig;
    QPointer<TForm_Settings> form;
};

} // namespace

TEST_F(SettingsWindow, LaidOutAsDesignedWithTheFocusOnTheToolBar)
{
    open();
    EXPECT_EQ(form->windowTitle(), "Настройка прибора");
    EXPECT_EQ(form->Timer1->isActive(), true);
    EXPECT_EQ(form->LE_Plotnost->caption(), "Фиксированая плотность (кг/м³)");
    EXPECT_TRUE(form->LE_Plotnost->edit()->font().bold());
    EXPECT_FALSE(form->LE_Plotnost->edit()->isReadOnly());
    EXPECT_EQ(form->CB_plotnost->text(), "Использовать");
    EXPECT_EQ(form->ToolButton_Exit->hint(), "Выход");
    EXPECT_EQ(form->ToolButton_Exit->imageIndex(), 4);
    EXPECT_TRUE(form->ToolBar1->hasFocus());
    // The gap pushes "Выход" to the right edge.
    EXPECT_EQ(form->ToolButton_Separator_w->width(), form->ToolBar1->width() - 70 - 8 - 2);
    EXPECT_EQ(form->ToolButton_Exit->geometry().right(), form->ToolBar1->width() - 3);
    const int counters = CountersPanelWidth(*form->StatusBar1);
    EXPECT_EQ(form->StatusBar1->panelWidth(1), counters);
    EXPECT_EQ(form->StatusBar1->panelWidth(0), form->StatusBar1->width() - counters);
    EXPECT_TRUE(Eventually([&] { return form->StatusBar1->panelText(0); }, rig.openedText()));
    EXPECT_EQ(edit()->text(), "998.20");
}

TEST_F(SettingsWindow, DensityIsWrittenOnceTheFocusLeavesTheEdit)
{
    const struct
    {
        QLocale locale;
        const char *typed;
        bool enter; // else a click elsewhere
        float written;
        const char *shown;
    } cases[] = {
        {LocaleGuard::comma(), "998.5", true, 998.5f, "998,50"},
        {LocaleGuard::comma(), "997,25", false, 997.25f, "997,25"},
        {LocaleGuard::point(), "996.5", true, 996.5f, "996.50"},
        {LocaleGuard::point(), "1001", false, 1001.0f, "1001.00"},
    };
    open();
    for (const auto &c : cases) {
        SCOPED_TRACE(c.typed);
        LocaleGuard locale(c.locale);
        TypeInto(edit(), QString::fromUtf8(c.typed));
        waitAnswers(1);
        EXPECT_EQ(edit()->text(), QString::fromUtf8(c.typed)) << "refreshed while focused";
        EXPECT_NE(meterDensity(), c.written) << "written while focused";
        if (c.enter)
            QTest::keyClick(edit(), Qt::Key_Return);
        else
            form->CB_plotnost->setFocus();
        EXPECT_FALSE(edit()->hasFocus());
        EXPECT_EQ(form->ToolBar1->hasFocus(), c.enter);
        EXPECT_TRUE(EventuallyTrue([&] { return meterDensity() == c.written; }));
        EXPECT_EQ(rig.received(WriteFloatFrame(2, c.written)), 1);
        // The answer after that shows the meter's value in the locale's format.
        EXPECT_TRUE(Eventually([&] { return edit()->text(); }, QString::fromUtf8(c.shown)));
        EXPECT_FALSE(edit()->isModified());
    }
    EXPECT_TRUE(rig.boxes.requests.isEmpty());
}

TEST_F(SettingsWindow, EnterWithoutTypingWritesNothingAndRefreshes)
{
    open();
    edit()->setFocus();
    QTest::keyClick(edit(), Qt::Key_Return);
    rig.server.model().setParamFloat(2, 990.0f);
    EXPECT_TRUE(Eventually([&] { return edit()->text(); }, QStringLiteral("990.00")));
    for (const QByteArray &frame : rig.frames())
        EXPECT_NE(quint8(frame.at(1)), Proto::FnWriteParams) << frame.toHex().toStdString();
}

TEST_F(SettingsWindow, FocusedEditKeepsItsTextWhileTheCheckBoxFollowsTheMeter)
{
    open();
    TypeInto(edit(), QStringLiteral("777"));
    rig.server.model().setParamWord(4, 1);
    EXPECT_TRUE(EventuallyTrue([&] { return form->CB_plotnost->isChecked(); }));
    // Set from the answer, the box writes the flag it just got, once.
    waitAnswers(2);
    EXPECT_EQ(rig.received(FlagOn), 1);
    EXPECT_EQ(edit()->text(), "777");
    EXPECT_TRUE(edit()->isModified());
    EXPECT_EQ(meterDensity(), 998.2f);
}

// Mended: a text that does not convert used to bring a new box with every answer.
TEST_F(SettingsWindow, TextThatDoesNotConvertIsReportedOnceAndKept)
{
    open();
    TypeInto(edit(), QString());
    QTest::keyClick(edit(), Qt::Key_Return);
    rig.server.model().setParamWord(4, 1);
    waitAnswers(3);
    ASSERT_EQ(rig.boxes.requests.size(), 1);
    EXPECT_EQ(rig.boxes.requests[0].text, "'' is not a valid floating point value");
    EXPECT_EQ(rig.boxes.requests[0].icon, QMessageBox::Critical);
    EXPECT_EQ(edit()->text(), QString());
    EXPECT_TRUE(edit()->isModified());
    EXPECT_TRUE(form->CB_plotnost->isChecked());

    TypeInto(edit(), QStringLiteral("9.9.9"));
    form->ToolBar1->setFocus();
    waitAnswers(2);
    ASSERT_EQ(rig.boxes.requests.size(), 2);
    EXPECT_EQ(rig.boxes.requests[1].text, "'9.9.9' is not a valid floating point value");

    TypeInto(edit(), QStringLiteral("1000.5"));
    form->ToolBar1->setFocus();
    EXPECT_TRUE(EventuallyTrue([&] { return meterDensity() == 1000.5f; }));
    EXPECT_EQ(rig.boxes.requests.size(), 2);
    for (const QByteArray &frame : rig.frames()) {
        if (frame.startsWith(QByteArray::fromHex("1f020002"))) {
            EXPECT_EQ(frame, WriteFloatFrame(2, 1000.5f));
        }
    }
}

// Mended: an answer asked for before a click still carries the old flag.
TEST_F(SettingsWindow, ClickIsNotUndoneByAnAnswerFromBeforeIt)
{
    open();
    ASSERT_FALSE(form->CB_plotnost->isChecked());
    QTest::mouseClick(form->CB_plotnost, Qt::LeftButton);
    ASSERT_TRUE(form->CB_plotnost->isChecked());
    form->ShowSettings(rig.dm.get(), TQ_settings{QStringLiteral("998.20"), false});
    EXPECT_TRUE(form->CB_plotnost->isChecked());
    EXPECT_TRUE(EventuallyTrue([&] { return rig.server.model().paramWord(4) == 1; }));
    waitAnswers(2);
    EXPECT_TRUE(form->CB_plotnost->isChecked());
    EXPECT_EQ(rig.received(FlagOff), 0);

    // Once the meter has agreed, the box follows it again.
    rig.server.model().setParamWord(4, 0);
    EXPECT_TRUE(EventuallyTrue([&] { return !form->CB_plotnost->isChecked(); }));
}

TEST_F(SettingsWindow, ClosedPortIsReopenedByTheWindowAloneAndClosingDetaches)
{
    rig.dm->closePort();
    rig.dm->USBWork().FStatusString.clear();
    open();
    EXPECT_TRUE(rig.dm->isPortOpen());
    EXPECT_FALSE(rig.dm->USBWork().FBtnConnectOn);
    EXPECT_TRUE(Eventually([&] { return form->StatusBar1->panelText(0); }, rig.openedText()));

    form->ToolButton_Exit->click();
    EXPECT_TRUE(EventuallyTrue([&] { return form.isNull(); }));
    EXPECT_FALSE(rig.dm->OnSettingTextChange);
}

TEST_F(SettingsWindow, MainWindowOpensItOnceThroughItsGuard)
{
    TForm_Main main(*rig.dm);
    main.ToolButton_Settings->click();
    main.ToolButton_Settings->click();
    const QList<TForm_Settings *> open = main.findChildren<TForm_Settings *>();
    ASSERT_EQ(open.size(), 1);
    EXPECT_TRUE(open[0]->isVisible());
    EXPECT_TRUE(open[0]->isWindow());
    EXPECT_TRUE(rig.dm->OnSettingTextChange);
}

// Mended: a density confirmed with Enter waited for the next answer, and a window
// closed before that answer never wrote it.
TEST_F(SettingsWindow, ConfirmedDensityIsWrittenWhenTheWindowClosesBeforeTheNextAnswer)
{
    QTemporaryDir dir;
    TCalibrationRecords records(*rig.dm, std::make_unique<TRecordStore>(dir.filePath("s.sqlite")));
    const struct
    {
        const char *typed;
        bool enter;
        bool written; // with a snapshot first
        const char *message;
    } cases[] = {
        {"1002.5", true, true, nullptr},
        {"1003,5", false, false, nullptr}, // still in the edit: not confirmed
        {"1O04", true, false, "'1O04' is not a valid floating point value"},
    };
    LocaleGuard locale(LocaleGuard::comma());
    for (const auto &c : cases) {
        SCOPED_TRACE(c.typed);
        rig.boxes.requests.clear();
        form = new TForm_Settings(*rig.dm, nullptr, &records);
        ASSERT_TRUE(ShowActive(*form));
        ASSERT_TRUE(EventuallyTrue([&] { return !edit()->text().isEmpty(); }, 10000));
        // No answer may come between the Enter and the close.
        form->Timer1->stop();
        ASSERT_TRUE(EventuallyTrue([&] { return rig.dm->pacer().waiting() == 0; }, 10000));
        QTest::qWait(150);
        QVector<quint16> previous;
        for (int r = 2; r <= 4; ++r)
            previous << rig.server.model().paramWord(r);
        const qsizetype kept = records.store().list().size();
        rig.server.clearReceived();

        TypeInto(edit(), QString::fromUtf8(c.typed));
        if (c.enter)
            QTest::keyClick(edit(), Qt::Key_Return);
        form->close();
        ASSERT_TRUE(EventuallyTrue([&] { return form.isNull(); }, 10000));
        ASSERT_TRUE(EventuallyTrue([&] { return rig.dm->pacer().waiting() == 0; }, 10000));
        if (c.written) {
            EXPECT_TRUE(EventuallyTrue([&] { return meterDensity() == 1002.5f; }, 10000)) << meterDensity();
        }
        QTest::qWait(150);
        int densityWrites = 0;
        for (const QByteArray &frame : rig.frames())
            densityWrites += frame.startsWith(WriteFloatFrame(2, 0.0f).left(6)) ? 1 : 0;
        EXPECT_EQ(densityWrites, c.written ? 1 : 0);
        const QList<Snapshot> snapshots = records.store().list(); // newest first
        ASSERT_EQ(snapshots.size(), kept + (c.written ? 1 : 0));
        if (c.written) {
            EXPECT_EQ(snapshots.first().reason, SnapshotReason::BeforeDensityWrite);
            EXPECT_EQ(snapshots.first().areas.value(CalibrationArea::Density), previous);
        }
        ASSERT_EQ(rig.boxes.requests.size(), c.message ? 1 : 0);
        if (c.message) {
            EXPECT_EQ(rig.boxes.requests[0].text, QString::fromUtf8(c.message));
        }
    }
}
