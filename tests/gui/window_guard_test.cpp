// Guarded secondary windows and their opener, driven through the main window's buttons.
#include "gui/gui_support.h"
#include "ui/common/tool_bar.h"
#include "ui/common/window_guard.h"
#include <QApplication>
#include <QPointer>
#include <QTest>
#include <gtest/gtest.h>

namespace {

// A guarded window like the settings window: builds, checks its guard, then
// subscribes to a data event in FormCreate.
class TestGuardedWindow : public TGuardedForm
{
public:
    static inline int formCreates = 0;

    TestGuardedWindow(const QString &guard, TDM_1 &dm, QWidget *owner) : TGuardedForm(guard, owner), m_dm(dm)
    {
        setWindowTitle(guard);
        resize(200, 100);
        ClaimGuard();
        FormCreate();
    }
    ~TestGuardedWindow() override
    {
        if (m_subscribed)
            m_dm.OnSettingTextChange = nullptr;
    }

    int settingsReceived = 0;

private:
    void FormCreate()
    {
        ++formCreates;
        m_subscribed = true;
        m_dm.OnSettingTextChange = [this](QObject *, const TQ_settings &) { ++settingsReceived; };
    }

    TDM_1 &m_dm;
    bool m_subscribed = false;
};

class GuardedWindows : public testing::Test
{
protected:
    void SetUp() override
    {
        TestGuardedWindow::formCreates = 0;
        for (const QString &guard : {WindowGuards::SettingsName, WindowGuards::KalibrovkaName}) {
            auto door = TForm_Main::SecondaryWindow{
                guard, [this, guard](QWidget *owner) { return new TestGuardedWindow(guard, rig.dm, owner); }};
            if (guard == WindowGuards::SettingsName)
                rig.form.setSettingsWindow(door);
            else
                rig.form.setKalibrWindow(door);
        }
    }

    QList<TestGuardedWindow *> openWindows() const { return rig.form.findChildren<TestGuardedWindow *>(); }

    MainWindowRig rig;
};

} // namespace

TEST_F(GuardedWindows, SecondRequestBringsTheOpenWindowForwardWithoutMessage)
{
    rig.form.ToolButton_Settings->click();
    ASSERT_EQ(openWindows().size(), 1);
    QPointer<TestGuardedWindow> first = openWindows().constFirst();
    EXPECT_TRUE(first->isVisible());
    EXPECT_TRUE(first->isWindow());
    EXPECT_EQ(first->parentWidget(), &rig.form);
    EXPECT_NE(first->guardHandle(), 0u);
    EXPECT_EQ(FindGuardedWindow(WindowGuards::SettingsName), first.data());

    rig.form.activateWindow();
    EXPECT_TRUE(Eventually([&] { return QApplication::activeWindow(); }, &rig.form));
    rig.form.ToolButton_Settings->click();

    EXPECT_EQ(openWindows().size(), 1);
    EXPECT_TRUE(rig.boxes.requests.isEmpty());
    EXPECT_TRUE(Eventually([&] { return QApplication::activeWindow(); }, first.data()));
}

TEST_F(GuardedWindows, RefusedWindowNeverSubscribes)
{
    rig.form.ToolButton_Settings->click();
    ASSERT_EQ(openWindows().size(), 1);
    TestGuardedWindow *first = openWindows().constFirst();
    rig.form.ToolButton_Settings->click();
    rig.form.ToolButton_Settings->click();
    EXPECT_EQ(TestGuardedWindow::formCreates, 1);

    // The open window still gets its data.
    rig.dm.OnSettingTextChange(&rig.dm, TQ_settings{});
    EXPECT_EQ(first->settingsReceived, 1);
}

TEST_F(GuardedWindows, ClosedWindowFreesItsGuardForAFreshOne)
{
    rig.form.ToolButton_Settings->click();
    QPointer<TestGuardedWindow> first = openWindows().constFirst();
    first->close();
    EXPECT_TRUE(EventuallyTrue([&] { return first.isNull(); }));
    EXPECT_EQ(FindGuardedWindow(WindowGuards::SettingsName), nullptr);

    rig.form.ToolButton_Settings->click();
    ASSERT_EQ(openWindows().size(), 1);
    EXPECT_EQ(TestGuardedWindow::formCreates, 2);
}

TEST_F(GuardedWindows, SettingsAndCalibrationEachOpenOnce)
{
    for (int round = 0; round < 2; ++round) {
        rig.form.ToolButton_Settings->click();
        rig.form.ToolButton_Kalibr->click();
    }
    EXPECT_EQ(openWindows().size(), 2);
    EXPECT_EQ(TestGuardedWindow::formCreates, 2);
    EXPECT_NE(FindGuardedWindow(WindowGuards::SettingsName), FindGuardedWindow(WindowGuards::KalibrovkaName));
}

TEST_F(GuardedWindows, MinimisedWindowIsNotRestored)
{
    rig.form.ToolButton_Kalibr->click();
    TestGuardedWindow *window = openWindows().constFirst();
    window->showMinimized();
    rig.form.ToolButton_Kalibr->click();
    EXPECT_TRUE(window->windowState().testFlag(Qt::WindowMinimized));
}

TEST(WindowGuardOpener, AnyCreationErrorShowsNothing)
{
    RecordingPresenter boxes;
    ScopedMessagePresenter scope(boxes);
    const QWidget *result = OpenGuardedWindow(QStringLiteral("test-guard"), []() -> QWidget * {
        throw std::runtime_error("cannot build");
    });
    EXPECT_EQ(result, nullptr);
    EXPECT_TRUE(boxes.requests.isEmpty());
    EXPECT_EQ(FindGuardedWindow(QStringLiteral("test-guard")), nullptr);
}
