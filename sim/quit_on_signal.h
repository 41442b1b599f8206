#pragma once
#include <QObject>

// Quits the application's event loop on SIGINT and SIGTERM, so that the
// normal shutdown runs (the simulator removes its symlink).
bool quitOnTerminationSignals(QObject *parent);
