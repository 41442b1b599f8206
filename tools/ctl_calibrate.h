#pragma once
// kestroctl's calibration runs: calibrate a meter against a rig from a shell, list
// and show the run records.
#include "records/run_record.h"
#include "tools/ctl_reference.h"
#include <QString>
#include <QTextStream>

class CtlInterrupt;
class CtlRunner;
class TDM_1;
class TRecordStore;

struct CtlCalibrateOptions
{
    QString rig;        // sim[:PORT] | modbus:tcp://HOST:PORT | modbus:rtu:DEVICE | operator
    QString rigMap;     // a register map file for a Modbus rig
    QString plan;       // a plan file; empty: the built-in plan
    QString serial;
    QString operatorName;
    QString json;       // write the whole record here
    bool restoreOnAbort = false;
    bool yes = false;
    bool acceptUnsettled = false;
    double timeScale = 1.0;
    int timeoutMs = 1000;
    // Termination signals end the run as an abort does; none: the system's default.
    CtlInterrupt *interrupt = nullptr;
    // The rig's reference instrument, into the run's options.
    CtlReference reference;
    // The certificate's laboratory, customer and signatory.
    CertificateParties parties;
};

class CtlCalibrate
{
public:
    CtlCalibrate(TDM_1 &dm, CtlRunner &runner, TRecordStore &store, QTextStream &out, QTextStream &err,
                 const CtlCalibrateOptions &options);

    int calibrate();
    // from: another store to read (the plant's).
    int runs(const QString &meterSerial, TRecordStore *from = nullptr);
    int showRun(const QString &idOrUuid);

    // One line of a taken point: phase, number, target, reference, meter, Δt, errors, verdict.
    static QString PointLine(const RunPoint &point);
    // The points of a run as a table, phase by phase, with the verdicts under it.
    static QStringList ResultTable(const RunRecord &run);

private:
    int fail(int code, const QString &message);
    int writeJson(const RunRecord &run);

    TDM_1 &m_dm;
    CtlRunner &m_runner;
    TRecordStore &m_store;
    QTextStream &m_out;
    QTextStream &m_err;
    CtlCalibrateOptions m_options;
};
