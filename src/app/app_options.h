#pragma once
// The program's command line.
#include "link/candidate_ports.h"
#include <QList>
#include <QStringList>

struct AppOptions
{
    QList<VirtualPort> virtualPorts; // --virtual-port PATH[=DESCRIPTION], in the order given
    bool demo = false;               // --demo: serve a simulated meter inside the program
    bool trace = false;              // --trace: log the link and every frame to standard error
    QString recordsUrl;              // --records URL: the plant's record store
};

struct OptionsOutcome
{
    enum Action {
        Run,      // start the program with the options
        ShowText, // print text on standard output and exit 0 (--help, --version)
    };
    Action action = Run;
    QString text;
    // What was not understood, one line each: the program says so and carries on.
    QStringList warnings;
};

// arguments[0] is the program name. Needs no application object. Qt's own options
// are taken by QApplication before this sees the arguments.
OptionsOutcome ParseAppOptions(const QStringList &arguments, AppOptions &options);
// True when the arguments ask only for a text (help, version): then no window is
// needed, nor a display.
bool AsksOnlyForText(int argc, char **argv);

// "kestrolink 1.0.0"
QString VersionText();
