#pragma once
#include <QObject>
#include <functional>

// Quits the application's event loop on SIGINT and SIGTERM, so that the
// normal shutdown runs (the simulator removes its symlink).
bool quitOnTerminationSignals(QObject *parent);

// True once SIGINT or SIGTERM has been handled.
bool terminationRequested();
// Called when the signal is handled, before the quit: a modal loop that runs before
// the application's own (where a quit does nothing) ends itself here. Empty: none.
void setTerminationHook(std::function<void()> hook);
