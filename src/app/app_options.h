#pragma once
// The program's command line.
#include "link/candidate_ports.h"
#include <QList>
#include <QStringList>

struct AppOptions
{
    QList<VirtualPort> virtualPorts; // --virtual-port PATH[=DESCRIPTION], in the order given
    bool demo = false;               // --demo: serve a simulated meter inside the program
};

struct OptionsOutcome
{
    enum Action {
        Run,      // start the program with the options
        ShowText, // print text on standard output and exit 0 (--help, --version)
        Fail,     // print text on standard error and exit 1
    };
    Action action = Run;
    QString text;
};

// arguments[0] is the program name. Needs no application object.
OptionsOutcome ParseAppOptions(const QStringList &arguments, AppOptions &options);

// "kestrolink 1.0.0"
QString VersionText();
