#pragma once
// kestroctl's calibration records: backup, history, diff, restore, export, import,
// over the program's own snapshot store and with its own reads and writes.
#include "records/record_store.h"
#include <QTextStream>

class CtlRunner;
class TDM_1;

class CtlInterrupt;

struct CtlRecordsOptions
{
    QString note;
    QString output;
    QString areas; // comma-separated area keys; empty: every writable area
    bool yes = false;
    int timeoutMs = 1000;
    bool otherMeter = false; // restore a snapshot taken from another meter
    // A restore, once writing, finishes before a signal is taken up.
    CtlInterrupt *interrupt = nullptr;
};

class CtlRecords
{
public:
    CtlRecords(TDM_1 &dm, CtlRunner &runner, TRecordStore &store, QTextStream &out, QTextStream &err,
               const CtlRecordsOptions &options);

    int backup();
    // serial empty: every snapshot; from: another store to read (the plant's).
    int history(const QString &serial = QString(), TRecordStore *from = nullptr);
    int diff(const QString &idOrFile);
    int restore(const QString &idOrFile);
    int exportSnapshot(const QString &id, const QString &file);
    int importSnapshot(const QString &file);

private:
    // A stored snapshot by its number, or one read from a snapshot file.
    std::optional<Snapshot> load(const QString &idOrFile);
    std::optional<Snapshot> loadFile(const QString &fileName);
    // Every calibration area as the meter holds it now.
    std::optional<Snapshot> readMeter(int *code);
    int recordsError(const QString &message);

    TDM_1 &m_dm;
    CtlRunner &m_runner;
    TRecordStore &m_store;
    QTextStream &m_out;
    QTextStream &m_err;
    CtlRecordsOptions m_options;
};
