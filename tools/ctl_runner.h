#pragma once
// Runs one command of the command-line tool against the data module.
#include "link/dm1.h"
#include <QEventLoop>
#include <QTextStream>
#include <QTimer>
#include <functional>

namespace CtlExit {
constexpr int Done = 0;
constexpr int NoPortFound = 1;
constexpr int CannotOpen = 2;
constexpr int Timeout = 3;
constexpr int NoPermission = 4;
constexpr int RecordsError = 5;  // the snapshot store, a snapshot file or an ID is not usable; a run's
                                 // reference is past its due date
constexpr int Differences = 6;   // differences printed, nothing written
constexpr int NotRestored = 7;   // a restore stopped midway or the meter did not take it
constexpr int RunIncomplete = 8; // a calibration run was aborted or failed (the record says why)
constexpr int NotFit = 9;        // a calibration run completed and the meter is not fit as left
constexpr int PlantUnreachable = 10; // the plant's store did not answer or refused us; records wait locally
constexpr int Usage = 64;
} // namespace CtlExit

class CtlRunner
{
public:
    static constexpr int LivePeriodMs = 333;

    CtlRunner(TDM_1 &dm, QTextStream &out, QTextStream &err, int timeoutMs);
    ~CtlRunner();

    int discover();
    int live(int count); // count <= 0: until interrupted
    int read(const QString &blockName);

    // Runs discovery; on failure writes the status text to err. True when the port is open.
    bool connectMeter();
    // Exit code of a failed discovery: no rights to the meter's port, or none open.
    int cannotOpenCode() const;

private:
    // Every data event hands its record to onRecord, which returns true when the command is done.
    void captureAllEvents(const std::function<bool(const AnyRecord &)> &onRecord);
    // Runs the event loop until an answer completes the command, no answer came for the
    // timeout, or the link was lost. Returns the exit code.
    int runLoop();
    void answered(bool done);

    TDM_1 &m_dm;
    QStringList m_denied;
    QTextStream &m_out;
    QTextStream &m_err;
    int m_timeoutMs;
    QEventLoop m_loop;
    QTimer m_watchdog;
};
