// The program shell: command line, single-instance guard, demo meter, start-up order.
#include "app/app_guard.h"
#include "app/app_main.h"
#include "app/app_options.h"
#include "app/demo_meter.h"
#include "app/demo_rig_window.h"
#include "app/window_beside.h"
#include "sim/meter_model.h"
#include "support/locale_guard.h"
#include <QCheckBox>
#include <QClipboard>
#include <QDoubleSpinBox>
#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QAccessible>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include "gui/gui_support.h"
#include "protocol/protokol_usb.h"
#include "ui/common/tool_bar.h"
#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <csignal>
#include <gtest/gtest.h>

TEST(AppOptions, CommandLinesAndTheirOutcome)
{
    const struct
    {
        QStringList args;
        OptionsOutcome::Action action;
        QList<std::pair<QString, QString>> ports;
        bool demo;
        int warnings; // what is not understood is said, and the program starts all the same
    } cases[] = {
        {{}, OptionsOutcome::Run, {}, false, 0},
        {{"--demo"}, OptionsOutcome::Run, {}, true, 0},
        {{"--virtual-port", "/dev/pts/7=KESTRO DEBUG PORT", "--virtual-port=/tmp/m", "--demo"},
         OptionsOutcome::Run,
         {{"/dev/pts/7", "KESTRO DEBUG PORT"}, {"/tmp/m", ""}},
         true,
         0},
        {{"--version"}, OptionsOutcome::ShowText, {}, false, 0},
        {{"-v"}, OptionsOutcome::ShowText, {}, false, 0},
        {{"--help"}, OptionsOutcome::ShowText, {}, false, 0},
        {{"--virtual-port"}, OptionsOutcome::Run, {}, false, 1},
        {{"--virtual-port", "=only description", "--demo"}, OptionsOutcome::Run, {}, true, 1},
        {{"--bogus", "--demo"}, OptionsOutcome::Run, {}, true, 1},
        {{"stray", "--bogus"}, OptionsOutcome::Run, {}, false, 2},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        AppOptions options;
        const OptionsOutcome outcome = ParseAppOptions(QStringList{"kestrolink"} + c.args, options);
        EXPECT_EQ(outcome.action, c.action);
        if (c.action != OptionsOutcome::Run) {
            EXPECT_FALSE(outcome.text.isEmpty());
            continue;
        }
        EXPECT_EQ(outcome.warnings.size(), c.warnings) << outcome.warnings.join('|').toStdString();
        EXPECT_EQ(options.demo, c.demo);
        ASSERT_EQ(options.virtualPorts.size(), c.ports.size());
        for (int i = 0; i < c.ports.size(); ++i) {
            EXPECT_EQ(options.virtualPorts[i].path, c.ports[i].first);
            EXPECT_EQ(options.virtualPorts[i].description, c.ports[i].second);
        }
    }
    AppOptions ignored;
    EXPECT_EQ(ParseAppOptions({"kestrolink", "--version"}, ignored).text, "kestrolink 1.0.0\n");
    EXPECT_TRUE(ParseAppOptions({"kestrolink", "--help"}, ignored).text.contains("--virtual-port"));
}

TEST(AppGuard, SecondCopyIsRefusedAndActivatesTheFirst)
{
    QTemporaryDir dir;
    AppGuard first(dir.path());
    ASSERT_TRUE(first.acquire());
    EXPECT_TRUE(first.holdsLock());
    QSignalSpy activations(&first, &AppGuard::activateRequested);

    AppGuard second(dir.path());
    EXPECT_FALSE(second.acquire());
    EXPECT_TRUE(second.sendActivate());
    EXPECT_TRUE(activations.wait(10000));

    // When the first copy ends, the next start is a first copy again.
    first.release();
    AppGuard third(dir.path());
    EXPECT_TRUE(third.acquire());
}

TEST(AppGuard, UnreadableLockIsTakenOverOnlyWhenItCannotBeAStartingCopys)
{
    const struct
    {
        const char *name;
        QByteArray content;
        qint64 ageMs;
        bool acquired;
    } cases[] = {
        {"empty, left by a crash", "", 60000, true},
        {"garbled, left by a full disk", QByteArray("\x01\xff#not a lock\n"), 60000, true},
        {"empty, a copy is writing it now", "", 0, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        AppGuard guard(dir.path());
        QFile lock(guard.lockFilePath());
        ASSERT_TRUE(lock.open(QIODevice::WriteOnly));
        lock.write(c.content);
        lock.close();
        ASSERT_TRUE(lock.open(QIODevice::ReadWrite));
        lock.setFileTime(QDateTime::currentDateTime().addMSecs(-c.ageMs), QFileDevice::FileModificationTime);
        lock.close();
        EXPECT_EQ(guard.acquire(), c.acquired);
    }
}

TEST(AppGuard, UnusableDirectoryRunsUnguarded)
{
    AppGuard guard(QStringLiteral("/proc/kestrolink-cannot-exist"));
    EXPECT_TRUE(guard.acquire());
    EXPECT_FALSE(guard.holdsLock());
    EXPECT_FALSE(guard.sendActivate(100));
}

TEST(DemoMeter, ServesTheMeterOnItsOwnTerminalUntilStopped)
{
    DemoMeter demo;
    QString error;
    ASSERT_TRUE(demo.start(&error)) << error.toStdString();
    const QString path = demo.devicePath();
    EXPECT_TRUE(QFileInfo::exists(path));

    {
        TDM_1 dm(std::make_unique<CandidatePorts>(QList<VirtualPort>{{path, DemoMeter::Description}}, nullptr));
        EXPECT_EQ(dm.findDevicePort(), QStringLiteral(" %1 открыт и доступен").arg(path));
        int readings = 0;
        dm.OnMainTextChange = [&](QObject *, const TQ_main &q) { readings += q.Plotnost.isEmpty() ? 0 : 1; };
        SendReadData(dm, 1, 24);
        EXPECT_TRUE(Eventually([&] { return readings; }, 1, 10000));
    }
    demo.stop();
    EXPECT_FALSE(demo.isRunning());
    EXPECT_FALSE(QFileInfo::exists(path) && QFileInfo(path).isSymLink());
}

TEST(DemoRig, SetsTheSimulatedFlowAndShowsTheReferenceMeter)
{
    LocaleGuard locale(LocaleGuard::point());
    DemoMeter demo;
    ASSERT_TRUE(demo.start());
    TFormDemoRig rig(demo);
    EXPECT_TRUE(rig.windowTitle().contains("симулятор"));
    // It starts holding no flow, not stepping.
    EXPECT_FALSE(rig.CB_Stepping->isChecked());
    EXPECT_EQ(rig.Edit_RigFlow->text(), "0.0");
    rig.PointButtons[9]->click(); // 25 %
    EXPECT_FALSE(rig.CB_Stepping->isChecked());
    EXPECT_EQ(rig.Edit_RigFlow->text(), "250.0");
    EXPECT_EQ(rig.Edit_Reference->text(), "250.000");
    rig.SE_Flow->setValue(-123.4);
    rig.Button_SetFlow->click();
    EXPECT_EQ(rig.Edit_Reference->text(), "-123.400");
    rig.Button_CopyReference->click();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "-123.400");

    // Stepping shows the calibration point it runs, not the flow set by hand.
    rig.CB_Stepping->click();
    ASSERT_TRUE(rig.CB_Stepping->isChecked());
    QStringList pointFlows;
    for (const double percent : MeterModel::FlowPointsPercent)
        pointFlows << QString::number(percent * 10.0, 'f', 1);
    EXPECT_TRUE(pointFlows.contains(rig.Edit_RigFlow->text())) << rig.Edit_RigFlow->text().toStdString();
    // Every control is named for the tests and for a screen reader.
    for (QWidget *w : rig.findChildren<QWidget *>()) {
        if (w->objectName().startsWith("qt_")
            || !(qobject_cast<QAbstractButton *>(w) || qobject_cast<QLineEdit *>(w) || qobject_cast<QAbstractSpinBox *>(w)))
            continue;
        EXPECT_FALSE(w->objectName().isEmpty()) << w->metaObject()->className();
        QAccessibleInterface *a = QAccessible::queryAccessibleInterface(w);
        ASSERT_NE(a, nullptr);
        EXPECT_FALSE(a->text(QAccessible::Name).isEmpty()) << w->objectName().toStdString();
    }
    demo.stop();
}

TEST(DemoRig, TemperatureIsSetAndTheReferenceThermometerShown)
{
    LocaleGuard locale(LocaleGuard::comma());
    DemoMeter demo;
    ASSERT_TRUE(demo.start());
    TFormDemoRig rig(demo);
    rig.Button_Temperature_60->click();
    EXPECT_EQ(rig.SE_Temperature->value(), 60.0);
    const auto reference = [&] { return rig.Edit_ReferenceTemperature->text().replace(',', '.').toDouble(); };
    EXPECT_NEAR(reference(), 60.0, 0.05);
    EXPECT_TRUE(rig.Edit_ReferenceTemperature->text().contains(',')) << "the locale's separator";
    rig.SE_Temperature->setValue(35.5);
    rig.Button_SetTemperature->click();
    EXPECT_NEAR(reference(), 35.5, 0.05);
    rig.Button_CopyReferenceTemperature->click();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), rig.Edit_ReferenceTemperature->text());
    demo.stop();
}

TEST(DemoRig, StandsBesideTheMainWindowAndOnTheScreen)
{
    const QRect area(0, 0, 1280, 800);
    const QSize rig(440, 600);
    const struct
    {
        const char *name;
        QRect anchor;
        QPoint corner;
        bool overlaps;
    } cases[] = {
        {"room on the right", {100, 50, 400, 500}, {508, 50}, false},
        {"no room on the right: on the left", {700, 50, 400, 500}, {252, 50}, false},
        {"room on neither side: on the screen's right edge", {300, 50, 700, 500}, {840, 50}, true},
        {"low anchor: pulled up to fit", {100, 600, 400, 500}, {508, 200}, false},
        {"anchor off the top-left", {-500, -300, 400, 500}, {0, 0}, false},
        {"anchor off the right", {2000, 100, 400, 500}, {840, 100}, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const QPoint corner = PlaceBeside(c.anchor, rig, area);
        EXPECT_EQ(corner, c.corner);
        EXPECT_TRUE(area.contains(QRect(corner, rig)));
        EXPECT_EQ(QRect(corner, rig).intersects(c.anchor), c.overlaps);
    }
    // Larger than the screen: its top-left corner (the title bar) stays on it.
    EXPECT_EQ(PlaceBeside({100, 50, 400, 500}, QSize(2000, 900), area), QPoint(0, 0));
    // A screen that does not start at 0, 0.
    EXPECT_EQ(PlaceBeside({1300, 10, 400, 500}, rig, QRect(1280, 0, 1920, 1080)), QPoint(1708, 10));
}

namespace {

// Runs one start of the whole sequence in this process and drives it from timers.
class StartSequence : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        qputenv("KESTRO_RUNTIME_DIR", dir.path().toLocal8Bit());
        qputenv("KESTRO_TEST_SPLASH_CONTINUE_MS", "300");
        QApplication::setQuitOnLastWindowClosed(false);
    }
    void TearDown() override
    {
        qunsetenv("KESTRO_RUNTIME_DIR");
        qunsetenv("KESTRO_TEST_SPLASH_CONTINUE_MS");
    }

    static TForm_Main *mainWindow()
    {
        for (QWidget *w : QApplication::topLevelWidgets()) {
            if (auto *form = qobject_cast<TForm_Main *>(w))
                return form;
        }
        return nullptr;
    }
    static QWidget *visibleSplash()
    {
        for (QWidget *w : QApplication::topLevelWidgets()) {
            if (w->objectName() == "FormSplash" && w->isVisible())
                return w;
        }
        return nullptr;
    }

    QTemporaryDir dir;
};

} // namespace

TEST_F(StartSequence, SplashFirstThenMainWindowWhichComesForwardOnASecondStart)
{
    bool splashSeen = false;
    bool mainDuringSplash = false;
    bool activatedDuringSplash = false;
    bool mainCameForward = false;
    QWidget other;
    other.setWindowTitle("other");
    QTimer driver;
    driver.setInterval(20);
    QObject::connect(&driver, &QTimer::timeout, [&] {
        if (QWidget *splash = visibleSplash()) {
            splashSeen = true;
            EXPECT_EQ(splash->windowTitle(), "KESTRO_link");
            mainDuringSplash = mainDuringSplash || mainWindow();
            // A second start while the splash is up finds no main window to raise.
            if (!activatedDuringSplash)
                activatedDuringSplash = AppGuard(dir.path()).sendActivate();
            return;
        }
        TForm_Main *form = mainWindow();
        if (!form || !form->isVisible())
            return;
        if (!other.isVisible()) {
            other.show();
            other.activateWindow();
            return;
        }
        if (QApplication::activeWindow() == &other) {
            AppGuard second(dir.path());
            if (!second.acquire())
                second.sendActivate();
            return;
        }
        if (QApplication::activeWindow() == form) {
            mainCameForward = true;
            form->ToolButton_Exit->click();
        }
    });
    driver.start();
    QTimer::singleShot(8000, [] {
        if (TForm_Main *form = mainWindow())
            form->close();
    });

    EXPECT_EQ(RunKestroLink(AppOptions{}), 0);
    EXPECT_TRUE(splashSeen);
    EXPECT_FALSE(mainDuringSplash);
    EXPECT_TRUE(activatedDuringSplash);
    EXPECT_TRUE(mainCameForward);
    EXPECT_EQ(mainWindow(), nullptr);
    // The guard is released at the end: the next start is a first copy.
    EXPECT_TRUE(AppGuard(dir.path()).acquire());
}

namespace {

// The real program in child processes, sharing one private runtime directory.
class TwoProcesses : public testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    void TearDown() override
    {
        for (auto &p : processes) {
            p->kill();
            p->waitForFinished(2000);
        }
    }

    QProcess *start(const QStringList &arguments = {}, bool splashStays = false)
    {
        auto process = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("KESTRO_RUNTIME_DIR", dir.path());
        if (splashStays)
            env.remove("KESTRO_TEST_SPLASH_CONTINUE_MS");
        else
            env.insert("KESTRO_TEST_SPLASH_CONTINUE_MS", "0");
        env.insert("QT_QPA_PLATFORM", "offscreen");
        process->setProcessEnvironment(env);
        process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process->start(QStringLiteral(KESTROLINK_PATH), arguments);
        EXPECT_TRUE(process->waitForStarted(5000));
        processes.push_back(std::move(process));
        return processes.back().get();
    }

    // True once a running copy answers on the guard's socket.
    bool guardAnswers()
    {
        QLocalSocket socket;
        socket.connectToServer(QDir(dir.path()).filePath("kestrolink.socket"));
        return socket.waitForConnected(100);
    }

    QTemporaryDir dir;
    std::vector<std::unique_ptr<QProcess>> processes;
};

} // namespace

TEST_F(TwoProcesses, SecondStartExitsSilentlyWhileFirstRuns)
{
    QProcess *first = start();
    ASSERT_TRUE(EventuallyTrue([&] { return guardAnswers(); }, 20000));
    QProcess *second = start();
    ASSERT_TRUE(second->waitForFinished(20000));
    EXPECT_EQ(second->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second->exitCode(), 0);
    EXPECT_TRUE(second->readAllStandardOutput().isEmpty());
    EXPECT_EQ(first->state(), QProcess::Running);
}

TEST_F(TwoProcesses, ATerminationSignalDuringTheSplashEndsTheProgramAndFreesTheLock)
{
    const QString lock = QDir(dir.path()).filePath("kestrolink.lock");
    for (const int signal : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(signal);
        QProcess *copy = start({}, true);
        // The guard is taken and the signals are watched before the splash shows.
        ASSERT_TRUE(EventuallyTrue([&] { return guardAnswers(); }, 10000));
        ASSERT_EQ(::kill(pid_t(copy->processId()), signal), 0);
        ASSERT_TRUE(copy->waitForFinished(20000)) << "still running after the signal";
        EXPECT_EQ(copy->exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(copy->exitCode(), 0);
        // Released, not merely left to be taken over from a dead process.
        EXPECT_FALSE(QFileInfo::exists(lock));
        AppGuard next(dir.path());
        EXPECT_TRUE(next.acquire());
        next.release();
    }
}

TEST_F(TwoProcesses, LockOfAKilledCopyIsTakenOver)
{
    QProcess *killed = start();
    ASSERT_TRUE(EventuallyTrue([&] { return guardAnswers(); }, 20000));
    killed->kill();
    ASSERT_TRUE(killed->waitForFinished(2000));
    ASSERT_TRUE(QFileInfo::exists(QDir(dir.path()).filePath("kestrolink.lock")));
    EXPECT_FALSE(guardAnswers());

    QProcess *next = start();
    ASSERT_TRUE(EventuallyTrue([&] { return guardAnswers(); }, 20000));
    EXPECT_EQ(next->state(), QProcess::Running);
    // And it guards in turn.
    QProcess *refused = start();
    ASSERT_TRUE(refused->waitForFinished(20000));
    EXPECT_EQ(refused->exitCode(), 0);
}

TEST_F(TwoProcesses, QtsOwnAndUnknownArgumentsNeitherStopAStartNorASecondCopy)
{
    QProcess *first = start({"-platform", "offscreen", "--bogus", "-reverse"});
    ASSERT_TRUE(EventuallyTrue([&] { return guardAnswers(); }, 20000));
    QProcess *second = start({"stray"});
    ASSERT_TRUE(second->waitForFinished(20000));
    EXPECT_EQ(second->exitCode(), 0);
    // A session's end closes the windows and leaves with 0.
    first->terminate();
    ASSERT_TRUE(first->waitForFinished(20000));
    EXPECT_EQ(first->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(first->exitCode(), 0);
}

// Copies started at the same moment: exactly one runs, every time.
TEST_F(TwoProcesses, CopiesStartedTogetherLeaveExactlyOneRunning)
{
    for (int round = 0; round < 12; ++round) {
        SCOPED_TRACE(round);
        std::vector<QProcess *> copies;
        for (int i = 0; i < 3; ++i)
            copies.push_back(start());
        ASSERT_TRUE(EventuallyTrue([&] { return guardAnswers(); }, 20000));
        // On a busy machine a refused copy may take seconds to leave: wait for the
        // two exits, then the one left must still be the copy that answers.
        const auto running = [&] {
            return std::count_if(copies.begin(), copies.end(),
                                 [](QProcess *p) { return p->state() != QProcess::NotRunning; });
        };
        EXPECT_TRUE(EventuallyTrue([&] { return running() <= 1; }, 20000)) << running() << " copies run";
        EXPECT_EQ(running(), 1);
        for (QProcess *p : copies) {
            if (p->state() == QProcess::NotRunning) {
                EXPECT_EQ(p->exitCode(), 0);
            }
        }
        EXPECT_TRUE(guardAnswers());
        for (QProcess *p : copies) {
            p->kill();
            p->waitForFinished(2000);
        }
        QFile::remove(QDir(dir.path()).filePath("kestrolink.lock"));
        QFile::remove(QDir(dir.path()).filePath("kestrolink.socket"));
    }
}
