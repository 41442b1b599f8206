#include "app/app_main.h"
#include "records/plant_sync.h"
#include "app/app_guard.h"
#include "app/demo_meter.h"
#include "app/demo_rig.h"
#include "app/demo_rig_window.h"
#include "app/unit_about.h"
#include "app/unit_splash.h"
#include "link/candidate_ports.h"
#include "link/dm1.h"
#include "records/calibration_records.h"
#include "link/link_log.h"
#include "app/maker_info.h"
#include "app/qt_translations.h"
#include "sim/quit_on_signal.h"
#include "ui/common/window_guard.h"
#include "ui/main/form_main.h"
#include <QApplication>
#include <QPointer>
#include <QTimer>
#include <cstdio>

namespace {

// The demo meter's clock runs this much faster than the wall clock, so that a whole
// step-by-step calibration with the default plan takes minutes, not half an hour.
constexpr double DemoTimeScale = 8.0;

SimOptions demoOptions()
{
    SimOptions options;
    options.timeScale = DemoTimeScale;
    return options;
}

void showSplash(QPointer<QWidget> &front)
{
    TFormSplash splash;
    front = &splash;
    bool ok = false;
    const int autoContinueMs = qEnvironmentVariableIntValue("KESTRO_TEST_SPLASH_CONTINUE_MS", &ok);
    if (ok)
        QTimer::singleShot(qMax(0, autoContinueMs), &splash, &TFormSplash::ButtonContinueClick);
    // The application's loop has not started: its quit would do nothing here.
    setTerminationHook([&splash] { splash.reject(); });
    // The result does not matter: the close box starts the program as well.
    splash.exec();
    setTerminationHook({});
}

} // namespace

int RunKestroLink(const AppOptions &options)
{
    AppGuard guard(RuntimeDirectory());
    if (!guard.acquire()) {
        guard.sendActivate();
        return 0;
    }

    // Another start raises what this copy shows: the splash, then the main window.
    QPointer<QWidget> front;
    QObject::connect(&guard, &AppGuard::activateRequested, &guard, [&front] { BringToFront(front); });

    showSplash(front);
    if (terminationRequested()) {
        // Ended during the splash: nothing else was made; the lock goes with the guard.
        guard.release();
        return 0;
    }

    DemoMeter demo(demoOptions());
    QList<VirtualPort> virtuals = options.virtualPorts;
    if (options.demo) {
        QString error;
        if (demo.start(&error))
            virtuals.append({demo.devicePath(), DemoMeter::Description});
        else
            std::fprintf(stderr, "kestrolink: the demo meter cannot start: %s\n", qPrintable(error));
    }

    {
        TDM_1 dm(std::make_unique<CandidatePorts>(virtuals, CreateSystemPortEnumerator()));
        TCalibrationRecords records(dm, std::make_unique<TRecordStore>());
        // Records go to the plant's store after the local file, while the program runs.
        std::unique_ptr<TPlantSync> plant;
        const QString plantUrl = TPlantSync::ConfiguredUrl(options.recordsUrl);
        if (!plantUrl.isEmpty()) {
            plant = std::make_unique<TPlantSync>(TRecordStore::DefaultPath(), plantUrl);
            QObject::connect(plant.get(), &TPlantSync::lastErrorChanged, plant.get(), [](const QString &error) {
                if (!error.isEmpty())
                    std::fprintf(stderr, "kestrolink: records kept locally, not yet uploaded: %s\n", qPrintable(error));
            });
            plant->start();
        }
        TForm_Main form(dm);
        form.setRecords(&records);
        if (plant) {
            QObject::connect(plant.get(), &TPlantSync::waitingCountChanged, &form, &TForm_Main::showPlantWaiting);
            form.showPlantWaiting(plant->waitingCount());
        }
        form.setAboutWindow([] { return std::make_unique<TFormAbout>(); });
        if (demo.isRunning()) {
            RunWindowSetup runSetup;
            runSetup.builtInRigs.append({QStringLiteral("Встроенный стенд демонстрации"),
                                         [&demo](QObject *parent) -> std::unique_ptr<TRig> {
                                             return std::make_unique<TDemoRig>(demo, parent);
                                         },
                                         DemoTimeScale});
            form.setRunWindowSetup(runSetup);
        }
        front = &form;
        QObject::connect(&form, &TForm_Main::formClosed, qApp, &QCoreApplication::quit, Qt::QueuedConnection);
        form.show();
        // The simulated rig stands beside the meter it drives; it goes with the main window.
        std::unique_ptr<TFormDemoRig> rig;
        if (demo.isRunning()) {
            rig = std::make_unique<TFormDemoRig>(demo);
            // Placed once shown: its layout has then settled its size.
            rig->show();
            rig->placeBeside(form);
        }
        QApplication::exec();
    }
    demo.stop();
    guard.release();
    return 0;
}

int KestroLinkMain(int argc, char **argv)
{
    // Help and version need no display.
    if (AsksOnlyForText(argc, argv)) {
        QStringList arguments;
        for (int i = 0; i < argc; ++i)
            arguments << QString::fromLocal8Bit(argv[i]);
        AppOptions ignored;
        std::fputs(qPrintable(ParseAppOptions(arguments, ignored).text), stdout);
        return 0;
    }

    // QApplication takes Qt's own options (-platform, -style, -reverse, ...) first.
    QApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kestrolink"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KESTRO_VERSION));
    if (!InstallQtTranslations())
        std::fputs("kestrolink: Qt's Russian texts are missing (package qt6-translations-l10n); "
                   "its dialogs and standard buttons stay in English\n",
                   stderr);
    // The main window ends the program when it closes, whatever else is open.
    QApplication::setQuitOnLastWindowClosed(false);
    // A session that ends, or a kill, closes the windows as the engineer would.
    quitOnTerminationSignals(&app);

    // The windows carry the icon of the desktop entry they are started from.
    QGuiApplication::setDesktopFileName(QStringLiteral("example.velnor.KestroLink"));
    QApplication::setWindowIcon(ApplicationIcon());

    AppOptions options;
    const OptionsOutcome outcome = ParseAppOptions(QCoreApplication::arguments(), options);
    for (const QString &warning : outcome.warnings)
        std::fprintf(stderr, "kestrolink: %s\n", qPrintable(warning));
    if (options.trace)
        EnableLinkTrace();
    return RunKestroLink(options);
}
