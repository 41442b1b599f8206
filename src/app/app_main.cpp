#include "app/app_main.h"
#include "app/app_guard.h"
#include "app/demo_meter.h"
#include "app/demo_rig_window.h"
#include "app/unit_splash.h"
#include "link/candidate_ports.h"
#include "link/dm1.h"
#include "ui/common/window_guard.h"
#include "ui/main/form_main.h"
#include <QApplication>
#include <QPointer>
#include <QTimer>
#include <cstdio>

namespace {

void showSplash()
{
    TFormSplash splash;
    bool ok = false;
    const int autoContinueMs = qEnvironmentVariableIntValue("KESTRO_TEST_SPLASH_CONTINUE_MS", &ok);
    if (ok)
        QTimer::singleShot(qMax(0, autoContinueMs), &splash, &TFormSplash::ButtonContinueClick);
    // The result does not matter: the close box starts the program as well.
    splash.exec();
}

} // namespace

int RunKestroLink(const AppOptions &options)
{
    AppGuard guard(RuntimeDirectory());
    if (!guard.acquire()) {
        guard.sendActivate();
        return 0;
    }

    // Until the main window exists (the splash is still up) a request to come
    // forward finds nothing to raise.
    QPointer<QWidget> mainWindow;
    QObject::connect(&guard, &AppGuard::activateRequested, &guard, [&mainWindow] { BringToFront(mainWindow); });

    showSplash();

    DemoMeter demo;
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
        TForm_Main form(dm);
        mainWindow = &form;
        QObject::connect(&form, &TForm_Main::formClosed, qApp, &QCoreApplication::quit, Qt::QueuedConnection);
        form.show();
        // The simulated rig stands beside the meter it drives; it goes with the main window.
        std::unique_ptr<TFormDemoRig> rig;
        if (demo.isRunning()) {
            rig = std::make_unique<TFormDemoRig>(demo);
            rig->move(form.frameGeometry().topRight() + QPoint(8, 0));
            rig->show();
        }
        QApplication::exec();
    }
    demo.stop();
    guard.release();
    return 0;
}

int KestroLinkMain(int argc, char **argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    AppOptions options;
    const OptionsOutcome outcome = ParseAppOptions(arguments, options);
    if (outcome.action == OptionsOutcome::ShowText) {
        std::fputs(qPrintable(outcome.text), stdout);
        return 0;
    }
    if (outcome.action == OptionsOutcome::Fail) {
        std::fputs(qPrintable(outcome.text), stderr);
        return 1;
    }

    QApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kestrolink"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KESTRO_VERSION));
    // The main window ends the program when it closes, whatever else is open.
    QApplication::setQuitOnLastWindowClosed(false);
    return RunKestroLink(options);
}
