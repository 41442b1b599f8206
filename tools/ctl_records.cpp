#include "tools/ctl_records.h"
#include "link/dm1.h"
#include "records/calibration_restorer.h"
#include "records/file_output.h"
#include "records/record_text.h"
#include "records/snapshot_compare.h"
#include "records/snapshot_file.h"
#include "tools/ctl_interrupt.h"
#include "tools/ctl_runner.h"
#include <QEventLoop>
#include <QFile>

namespace {

QString areaKeys(const Snapshot &s)
{
    QStringList keys;
    for (CalibrationArea a : s.areas.keys())
        keys << QString::fromLatin1(AreaSpecOf(a).key);
    return keys.join(QLatin1Char(','));
}

} // namespace

CtlRecords::CtlRecords(TDM_1 &dm, CtlRunner &runner, TRecordStore &store, QTextStream &out, QTextStream &err,
                       const CtlRecordsOptions &options)
    : m_dm(dm), m_runner(runner), m_store(store), m_out(out), m_err(err), m_options(options)
{
}

int CtlRecords::recordsError(const QString &message)
{
    m_err << "kestroctl: " << message << Qt::endl;
    return CtlExit::RecordsError;
}

std::optional<Snapshot> CtlRecords::load(const QString &idOrFile)
{
    bool isId = false;
    const qint64 id = idOrFile.toLongLong(&isId);
    if (isId) {
        std::optional<Snapshot> s = m_store.get(id);
        if (!s)
            recordsError(m_store.lastError().isEmpty() ? QStringLiteral("нет снимка %1").arg(id) : m_store.lastError());
        return s;
    }
    return loadFile(idOrFile);
}

std::optional<Snapshot> CtlRecords::loadFile(const QString &fileName)
{
    const QString &idOrFile = fileName;
    QFile file(idOrFile);
    if (!file.open(QIODevice::ReadOnly)) {
        recordsError(QStringLiteral("%1: %2").arg(idOrFile, file.errorString()));
        return std::nullopt;
    }
    QString error;
    std::optional<Snapshot> s = SnapshotFile::Import(file.read(SnapshotFile::MaxFileSize + 1), &error);
    if (!s)
        recordsError(QStringLiteral("%1: %2").arg(idOrFile, error));
    return s;
}

std::optional<Snapshot> CtlRecords::readMeter(int *code)
{
    if (!m_runner.connectMeter()) {
        *code = m_runner.cannotOpenCode();
        return std::nullopt;
    }
    TCalibrationReader reader(m_dm, m_options.timeoutMs);
    QEventLoop loop;
    QObject::connect(&reader, &TCalibrationReader::finished, &loop, [&] { loop.exit(CtlExit::Done); });
    QObject::connect(&reader, &TCalibrationReader::failed, &loop, [&](const QString &message) {
        m_err << "kestroctl: " << message << Qt::endl;
        loop.exit(CtlExit::Timeout);
    });
    reader.start(AllCalibrationAreas());
    *code = loop.exec();
    if (*code != CtlExit::Done)
        return std::nullopt;
    return reader.snapshot(SnapshotReason::ManualBackup, m_options.note);
}

int CtlRecords::backup()
{
    if (const QString problem = RecordTextProblem(QStringLiteral("--note"), m_options.note); !problem.isEmpty()) {
        m_err << "kestroctl: " << problem << Qt::endl;
        return CtlExit::Usage;
    }
    int code = CtlExit::Done;
    const std::optional<Snapshot> s = readMeter(&code);
    if (!s)
        return code;
    const qint64 id = m_store.add(*s);
    if (id == 0)
        return recordsError(m_store.lastError());
    m_out << "snapshot " << id << Qt::endl;
    if (!m_options.output.isEmpty())
        return exportSnapshot(QString::number(id), m_options.output);
    return CtlExit::Done;
}

int CtlRecords::history(const QString &serial, TRecordStore *from)
{
    TRecordStore &store = from ? *from : m_store;
    if (!store.open())
        return recordsError(store.lastError());
    const QList<Snapshot> snapshots = store.list(serial);
    if (!store.lastError().isEmpty())
        return recordsError(store.lastError());
    for (const Snapshot &s : snapshots) {
        m_out << s.id << '\t' << s.takenUtc.toLocalTime().toString(Qt::ISODate) << '\t' << ReasonKey(s.reason) << '\t'
              << s.port << '\t' << areaKeys(s) << '\t' << s.note << '\t' << s.meterSerial << '\n';
    }
    m_out.flush();
    // Restores cut short on this workstation: the meter may be half written until one
    // of these is run.
    for (const RestoreRecord &r : from ? QList<RestoreRecord>() : m_store.restores(true)) {
        QStringList keys;
        for (CalibrationArea a : r.areas)
            keys << QString::fromLatin1(AreaSpecOf(a).key);
        m_err << "unfinished restore " << r.id << " of snapshot " << r.targetId << " ("
              << keys.join(QLatin1Char(',')) << "), started " << r.startedUtc.toLocalTime().toString(Qt::ISODate)
              << "; the meter may be half written. Finish: kestroctl restore " << r.targetId << " --areas "
              << keys.join(QLatin1Char(',')) << " --yes; undo: kestroctl restore " << r.wayBackId << " --areas "
              << keys.join(QLatin1Char(',')) << " --yes" << Qt::endl;
    }
    return CtlExit::Done;
}

int CtlRecords::diff(const QString &idOrFile)
{
    const std::optional<Snapshot> stored = load(idOrFile);
    if (!stored)
        return CtlExit::RecordsError;
    int code = CtlExit::Done;
    const std::optional<Snapshot> now = readMeter(&code);
    if (!now)
        return code;
    const QList<AreaComparison> comparison = CompareSnapshots(*stored, *now);
    for (const QString &line : ComparisonLines(comparison))
        m_out << line << '\n';
    m_out.flush();
    for (const AreaComparison &c : comparison) {
        if (c.differs)
            return CtlExit::Differences;
    }
    return CtlExit::Done;
}

int CtlRecords::restore(const QString &idOrFile)
{
    QList<CalibrationArea> wanted;
    for (const QString &key : m_options.areas.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const AreaSpec *desc = AreaSpecByKey(key.trimmed());
        if (!desc || !desc->writable) {
            m_err << "kestroctl: unknown area '" << key << "'; one of: density, thermometer, zero, flow-table"
                  << Qt::endl;
            return CtlExit::Usage;
        }
        wanted << desc->area;
    }
    if (wanted.isEmpty())
        wanted = WritableCalibrationAreas();
    const std::optional<Snapshot> target = load(idOrFile);
    if (!target)
        return CtlExit::RecordsError;
    QString why;
    if (!TCalibrationRestorer::CheckRestorable(*target, TCalibrationRestorer::RestorableAreas(*target, wanted), &why))
        return recordsError(QStringLiteral("%1: %2; ничего не записано").arg(idOrFile, why));
    if (!m_options.yes) {
        int code = CtlExit::Done;
        const std::optional<Snapshot> now = readMeter(&code);
        if (!now)
            return code;
        if (FromOtherMeter(*target, now->meterSerial))
            m_out << OtherMeterText(*target, now->meterSerial) << '\n';
        // Only the areas that would be written, the meter's present values first.
        Snapshot chosen = *target, present = *now;
        const QList<CalibrationArea> restorable = TCalibrationRestorer::RestorableAreas(*target, wanted);
        for (CalibrationArea a : AllCalibrationAreas()) {
            if (!restorable.contains(a)) {
                chosen.areas.remove(a);
                present.areas.remove(a);
            }
        }
        for (const QString &line : ComparisonLines(CompareSnapshots(present, chosen)))
            m_out << line << '\n';
        m_out << "nothing written; add --yes to restore" << Qt::endl;
        return CtlExit::Differences;
    }
    if (!m_runner.connectMeter())
        return m_runner.cannotOpenCode();
    if (FromOtherMeter(*target, m_dm.portSerialNumber()) && !m_options.otherMeter) {
        m_err << "kestroctl: " << OtherMeterText(*target, m_dm.portSerialNumber())
              << "; nothing written; add --other-meter to restore it into this one" << Qt::endl;
        return CtlExit::Differences;
    }
    // A signal before the first write stops everything; one after it waits for the last.
    if (m_options.interrupt && m_options.interrupt->signal())
        return m_options.interrupt->exitCode(CtlExit::Done);
    std::optional<CtlInterrupt::Write> writing;
    if (m_options.interrupt)
        writing.emplace(*m_options.interrupt, QStringLiteral("восстановление калибровки прибора"));
    TCalibrationRestorer restorer(m_dm, m_store, m_options.timeoutMs);
    QEventLoop loop;
    RestoreOutcome outcome;
    QObject::connect(&restorer, &TCalibrationRestorer::finished, &loop, [&](const RestoreOutcome &o) {
        outcome = o;
        loop.quit();
    });
    restorer.start(*target, wanted);
    if (restorer.isRunning())
        loop.exec();
    if (outcome.beforeRestoreId != 0)
        m_out << "before-restore snapshot " << outcome.beforeRestoreId << '\n';
    (outcome.restored ? m_out : m_err) << outcome.message << Qt::endl;
    return outcome.restored ? CtlExit::Done : CtlExit::NotRestored;
}

int CtlRecords::exportSnapshot(const QString &id, const QString &fileName)
{
    bool isId = false;
    id.toLongLong(&isId);
    if (!isId)
        return recordsError(QStringLiteral("«%1» — не номер снимка").arg(id));
    const std::optional<Snapshot> s = load(id);
    if (!s)
        return CtlExit::RecordsError;
    QString error;
    if (!FileOutput::Save(fileName, SnapshotFile::Export(*s), &error))
        return recordsError(QStringLiteral("%1: %2; снимок не выгружен").arg(fileName, error));
    m_out << "exported " << s->id << " to " << fileName << Qt::endl;
    return CtlExit::Done;
}

int CtlRecords::importSnapshot(const QString &fileName)
{
    const std::optional<Snapshot> s = loadFile(fileName);
    if (!s)
        return CtlExit::RecordsError;
    const qint64 id = m_store.add(*s);
    if (id == 0)
        return recordsError(m_store.lastError());
    m_out << "snapshot " << id << Qt::endl;
    return CtlExit::Done;
}
