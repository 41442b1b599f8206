#include "tools/ctl_calibrate.h"
#include "report/run_certificate.h"
#include "records/certificate_issue.h"
#include "link/dm1.h"
#include "procedure/calibration_run.h"
#include "procedure/reference_check.h"
#include "procedure/run_plan.h"
#include "records/calibration_records.h"
#include "records/file_output.h"
#include "records/record_text.h"
#include "records/record_store.h"
#include "rig/rig.h"
#include "rig/rig_factory.h"
#include "tools/ctl_interrupt.h"
#include "tools/ctl_runner.h"
#include "tools/run_printer.h"
#include "tools/terminal_input.h"
#include <QEventLoop>
#include <QJsonDocument>
#include <QTimer>
#include <cmath>

namespace {

QString number(double v, int decimals)
{
    return QString::number(v, 'f', decimals);
}

QString percentOrDash(const std::optional<double> &v)
{
    return v ? number(*v, 3) + QLatin1Char('%') : QStringLiteral("-");
}

QString verdictText(const std::optional<bool> &fit)
{
    if (!fit)
        return QStringLiteral("-");
    return *fit ? QStringLiteral("годен") : QStringLiteral("не годен");
}

} // namespace

CtlCalibrate::CtlCalibrate(TDM_1 &dm, CtlRunner &runner, TRecordStore &store, QTextStream &out, QTextStream &err,
                           const CtlCalibrateOptions &options)
    : m_dm(dm), m_runner(runner), m_store(store), m_out(out), m_err(err), m_options(options)
{
}

int CtlCalibrate::fail(int code, const QString &message)
{
    m_err << "kestroctl: " << message << Qt::endl;
    return code;
}

QString CtlCalibrate::PointLine(const RunPoint &p)
{
    if (p.temperature) {
        const PointTemperature &t = *p.temperature;
        return QStringLiteral("%1\t%2\tset %3 °C\treference %4 °C\ttube %5 °C\tadc %6\tdt %7 ns\terror %8\t%9%10")
            .arg(PhaseKey(p.phase))
            .arg(p.index)
            .arg(number(t.setpoint, 1), number(t.referenceTemperature, 3), number(t.tubeTemperature, 3),
                 t.adcCode ? number(*t.adcCode, 2) : QStringLiteral("-"), t.deltaT ? number(*t.deltaT, 4) : QStringLiteral("-"),
                 t.error ? number(*t.error, 4) : QStringLiteral("-"), verdictText(t.fits))
            .arg(t.computed ? QStringLiteral("\tfrom the coefficients") : QString());
    }
    return QStringLiteral("%1\t%2\t%3 %\t%4 kg/h\treference %5\tmeter %6\tdt %7 ns\tabs %8\trel %9\tred %10\t%11%12")
        .arg(PhaseKey(p.phase))
        .arg(p.index)
        .arg(number(p.targetPercent, 1), number(p.targetFlow, 1), number(p.referenceFlow, 3), number(p.meterFlow, 3),
             number(p.deltaT, 3), number(p.absoluteError, 3), percentOrDash(p.relativeError))
        .arg(percentOrDash(p.reducedError), RunPrinter::PointVerdict(p),
             p.settled ? QString() : QStringLiteral("\tunsettled (accepted)"));
}

QStringList CtlCalibrate::ResultTable(const RunRecord &run)
{
    QStringList lines;
    for (RunPhase phase : {RunPhase::AsFound, RunPhase::Calibration, RunPhase::AsLeft}) {
        const QList<RunPoint> points = run.pointsOf(phase);
        if (points.isEmpty())
            continue;
        // The metrology's columns after the verdict, so the columns before it stay where they were.
        const bool metrology = RunPrinter::HasPointMetrology(run);
        lines << QStringLiteral("%1 (%2):").arg(PhaseTitle(phase), PhaseKey(phase));
        lines << QStringLiteral("  #\ttarget %\treference kg/h\tmeter kg/h\tdt ns\trelative\treduced\tverdict")
                     + (metrology ? QStringLiteral("\t") + RunPrinter::PointHeadings() : QString());
        for (const RunPoint &p : points) {
            lines << QStringLiteral("  %1\t%2\t%3\t%4\t%5\t%6\t%7\t%8")
                             .arg(p.index)
                             .arg(number(p.targetPercent, 1), number(p.referenceFlow, 3), number(p.meterFlow, 3),
                                  number(p.deltaT, 3), percentOrDash(p.relativeError), percentOrDash(p.reducedError),
                                  RunPrinter::PointVerdict(p))
                         + (metrology ? QStringLiteral("\t") + RunPrinter::PointCells(p) : QString());
        }
    }
    auto coefficients = [](const std::optional<std::array<float, 4>> &c) {
        if (!c)
            return QStringLiteral("-");
        return QStringLiteral("A=%1 B=%2 C=%3 D=%4")
            .arg(double((*c)[0]), 0, 'g', 9)
            .arg(double((*c)[1]), 0, 'g', 9)
            .arg(double((*c)[2]), 0, 'g', 9)
            .arg(double((*c)[3]), 0, 'g', 9);
    };
    lines << QStringLiteral("coefficients before: %1").arg(coefficients(run.coefficientsBefore));
    lines << QStringLiteral("coefficients after:  %1").arg(coefficients(run.coefficientsAfter));
    lines << QStringLiteral("as found: %1 (max error %2), as left: %3 (max error %4), tolerance ±%5 %")
                 .arg(RunPrinter::PhaseVerdict(run, RunPhase::AsFound), percentOrDash(run.asFoundMaxError),
                      RunPrinter::PhaseVerdict(run, RunPhase::AsLeft), percentOrDash(run.asLeftMaxError),
                      number(run.tolerancePercent, 3));
    lines << RunPrinter::MetrologyLines(run);
    if (const QString rig = RigSafeText(run); !rig.isEmpty())
        lines << rig;
    lines << QStringLiteral("run %1 (%2): %3%4")
                 .arg(run.id)
                 .arg(run.uuid, EndKey(run.end),
                      run.endReason.isEmpty() ? QString() : QStringLiteral(": ") + run.endReason);
    return lines;
}

int CtlCalibrate::writeJson(const RunRecord &run)
{
    if (m_options.json.isEmpty())
        return CtlExit::Done;
    QString error;
    if (!FileOutput::Save(m_options.json, QJsonDocument(RunToJson(run)).toJson(QJsonDocument::Indented), &error))
        return fail(CtlExit::RecordsError, QStringLiteral("%1 не записан: %2; запись прогона осталась в базе").arg(m_options.json, error));
    return CtlExit::Done;
}

int CtlCalibrate::calibrate()
{
    if (m_options.serial.trimmed().isEmpty())
        return fail(CtlExit::Usage, QStringLiteral("для calibrate нужен --serial"));
    if (m_options.operatorName.trimmed().isEmpty())
        return fail(CtlExit::Usage, QStringLiteral("для calibrate нужен --operator"));
    if (m_options.rig.isEmpty())
        return fail(CtlExit::Usage, QStringLiteral("для calibrate нужен --rig"));
    for (const auto &[field, text] : {std::pair{QStringLiteral("--serial"), m_options.serial},
                                      std::pair{QStringLiteral("--operator"), m_options.operatorName}}) {
        if (const QString problem = RecordTextProblem(field, text); !problem.isEmpty())
            return fail(CtlExit::Usage, problem + QStringLiteral("; ничего не отправлено"));
    }
    // A reference past its due date cannot calibrate anything; the window refuses it alike.
    if (const CtlReference &ref = m_options.reference; ref.due.isValid()) {
        const ReferenceDue due = ReferenceDueCheck(ref.due, QDate::currentDate());
        if (due.kind == ReferenceDueKind::Lapsed)
            return fail(CtlExit::RecordsError, due.message + QStringLiteral("; ничего не отправлено"));
        if (due.kind == ReferenceDueKind::DueSoon)
            m_err << "kestroctl: внимание: " << due.message << Qt::endl;
    }

    // Everything the run depends on is checked before anything is sent.
    QString error;
    std::optional<RunPlan> plan = m_options.plan.isEmpty() ? RunPlanFile::Default()
                                                           : RunPlanFile::Load(m_options.plan, &error);
    if (!plan)
        return fail(CtlExit::RecordsError, error + QStringLiteral("; ничего не отправлено"));
    // A rig that is not named right is a usage fault; a map file refused is a file's, as a plan's is.
    const std::optional<RigConfig> rigName = ParseRigName(m_options.rig, &error);
    if (!rigName)
        return fail(CtlExit::Usage, error);
    const std::optional<RigConfig> rigConfig = MakeRigConfig(m_options.rig, m_options.rigMap, &error);
    if (!rigConfig)
        return fail(rigName->usesMap() ? CtlExit::RecordsError : CtlExit::Usage,
                    error + QStringLiteral("; ничего не отправлено"));
    if (const QString refusal = m_options.json.isEmpty() ? QString() : FileOutput::Refusal(m_options.json);
        !refusal.isEmpty())
        return fail(CtlExit::RecordsError, refusal + QStringLiteral("; ничего не отправлено"));
    if (!m_store.open())
        return fail(CtlExit::RecordsError, m_store.lastError());

    if (!m_runner.connectMeter())
        return m_runner.cannotOpenCode();
    // Both serials go into the record; a mismatch is said before anything is written.
    if (const QString mismatch = SerialMismatchText(m_options.serial.trimmed(), m_dm.portSerialNumber());
        !mismatch.isEmpty())
        m_err << "kestroctl: внимание: " << mismatch << Qt::endl;
    std::unique_ptr<TRig> rig = MakeRig(*rigConfig, nullptr);
    QEventLoop loop;
    // Until the run starts a signal ends the wait for the rig; then the run takes it.
    std::function<void(int)> onSignal;
    const CtlInterrupt::Handler handler(m_options.interrupt, [&](int signo) {
        if (onSignal)
            onSignal(signo);
    });
    {
        QString rigError;
        onSignal = [&](int signo) {
            rigError = QStringLiteral("прервано: %1").arg(TSignalWatch::SignalName(signo));
            loop.exit(CtlExit::RunIncomplete);
        };
        QObject::connect(rig.get(), &TRig::opened, &loop, [&] { loop.exit(CtlExit::Done); });
        QObject::connect(rig.get(), &TRig::failed, &loop, [&](const QString &message) {
            rigError = message;
            loop.exit(CtlExit::RunIncomplete);
        });
        rig->open();
        if (loop.exec() != CtlExit::Done)
            return fail(CtlExit::RunIncomplete,
                        QStringLiteral("стенд %1: %2; ничего не отправлено").arg(rig->description(), rigError));
        rig->disconnect(&loop);
        onSignal = nullptr;
    }
    m_out << "rig: " << rig->description() << Qt::endl;

    TCalibrationRecords records(m_dm, std::make_unique<TRecordStore>(m_store.path()));
    TCalibrationRun run(m_dm, records, *rig);
    TerminalInput terminal;
    bool stoppedBeforeWrite = false;
    std::optional<RunPhase> shownPhase;
    // Each write is named once, when it begins.
    QString writeName;

    QObject::connect(&run, &TCalibrationRun::pointStarted, &loop, [&](RunPhase phase, int index, double flow) {
        if (shownPhase != phase) {
            m_out << "== " << PhaseTitle(phase) << " (" << PhaseKey(phase) << ")" << Qt::endl;
            shownPhase = phase;
        }
        const bool atTemperature = phase == RunPhase::Thermometer || phase == RunPhase::ThermometerCheck
                                   || phase == RunPhase::Zero || phase == RunPhase::ZeroTemperatureCheck;
        if (atTemperature)
            m_out << "point " << index << Qt::endl;
        else
            m_out << "point " << index << ": " << number(flow, 1) << " kg/h" << Qt::endl;
    });
    QObject::connect(&run, &TCalibrationRun::pointTaken, &loop,
                     [&](const RunPoint &p) { m_out << PointLine(p) << Qt::endl; });
    QObject::connect(&run, &TCalibrationRun::tableReady, &loop, [&](const FlowTableSave::Values &v) {
        writeName = QStringLiteral("flow table");
        m_out << "flow table to write: Q Max " << double(v[FlowTable::QMaxIndex]) << " kg/h" << Qt::endl;
        for (int n = 1; n <= FlowTable::Points; ++n)
            m_out << "  point " << n << "\treference " << double(v[size_t(FlowTable::etalonIndex(n))]) << "\tdt "
                  << double(v[size_t(FlowTable::priborIndex(n))]) << Qt::endl;
        if (m_options.yes) {
            run.confirmTableWrite();
            return;
        }
        m_out << "nothing written; add --yes to write the table" << Qt::endl;
        stoppedBeforeWrite = true;
        run.abort(QStringLiteral("таблица не записана: запуск без --yes"));
    });
    QObject::connect(&run, &TCalibrationRun::twoPointReady, &loop,
                     [&](CalibrationArea area, const TwoPointSave::Points &p) {
                         writeName = QString::fromLatin1(AreaSpecOf(area).key) + QStringLiteral(" points");
                         m_out << AreaSpecOf(area).key << " points to write: " << double(p[0]) << " °C\t" << double(p[1])
                               << "\t" << double(p[2]) << " °C\t" << double(p[3]) << Qt::endl;
                         if (m_options.yes) {
                             run.confirmTableWrite();
                             return;
                         }
                         m_out << "nothing written; add --yes to write the " << AreaSpecOf(area).key << " points"
                               << Qt::endl;
                         stoppedBeforeWrite = true;
                         run.abort(QStringLiteral("калибровка не записана: запуск без --yes"));
                     });
    QObject::connect(&run, &TCalibrationRun::operatorNeeded, &loop,
                     [&](OperatorRequest request, double, const QString &text) {
                         m_out << text << Qt::endl;
                         if (request == OperatorRequest::SetFlow || request == OperatorRequest::SetTemperature) {
                             m_out << (request == OperatorRequest::SetFlow ? "press Enter when the flow is set: "
                                                                           : "press Enter when the temperature is set: ")
                                   << Qt::flush;
                             terminal.ask([&, request](const std::optional<QString> &line) {
                                 if (!line)
                                     run.abort(QStringLiteral("оператор не ответил: ввод закрыт"));
                                 else if (request == OperatorRequest::SetFlow)
                                     run.operatorFlowSet();
                                 else
                                     run.operatorTemperatureSet();
                             });
                             return;
                         }
                         const bool temperature = request == OperatorRequest::EnterReferenceTemperature;
                         m_out << (temperature ? "reference thermometer, °C: " : "reference reading, kg/h: ") << Qt::flush;
                         terminal.askNumber(m_out, [&, temperature](const std::optional<double> &value) {
                             if (!value)
                                 run.abort(QStringLiteral("оператор не ответил: ввод закрыт"));
                             else if (temperature)
                                 run.operatorReferenceTemperature(*value);
                             else
                                 run.operatorReference(*value);
                         });
                     });
    // A shell has no one to ask: a pause ends the run, and the record says why.
    QObject::connect(&run, &TCalibrationRun::paused, &loop, [&](const QString &reason) {
        m_err << "kestroctl: " << reason << Qt::endl;
        run.fail(reason);
    });
    QObject::connect(&run, &TCalibrationRun::finished, &loop, [&] { loop.quit(); });
    QObject::connect(&run, &TCalibrationRun::stateChanged, &loop, [&](RunState state) {
        if (state == RunState::Writing && !writeName.isEmpty()) {
            m_out << "writing the " << writeName << Qt::endl;
            writeName.clear();
        }
    });
    onSignal = [&](int signo) {
        const QString name = TSignalWatch::SignalName(signo);
        switch (run.state()) {
        case RunState::Writing:
            // The table goes in whole; the run ends right after it.
            m_err << "kestroctl: " << name << ": идёт запись таблицы в прибор; прогон прервётся, когда она закончится"
                  << Qt::endl;
            break;
        case RunState::StoppingRig:
            m_err << "kestroctl: " << name << ": стенд переводится на уставку покоя, дождитесь" << Qt::endl;
            return;
        case RunState::Restoring:
            m_err << "kestroctl: " << name << ": идёт восстановление калибровки прибора; дождитесь окончания"
                  << Qt::endl;
            return;
        case RunState::Finished: return;
        default: break;
        }
        run.abort(QStringLiteral("прервана сигналом %1").arg(name));
    };

    RunOptions options;
    options.plan = *plan;
    options.meterSerial = m_options.serial.trimmed();
    options.operatorName = m_options.operatorName.trimmed();
    options.timeScale = m_options.timeScale;
    options.acceptUnsettled = m_options.acceptUnsettled;
    options.referenceName = m_options.reference.name;
    options.referenceCertificate = m_options.reference.certificate;
    options.referenceDueDate = m_options.reference.due;
    options.referenceUncertaintyPercent = m_options.reference.uncertaintyPercent;
    options.referenceCoverageFactor = m_options.reference.coverageFactor;
    options.referenceDegreesOfFreedom = m_options.reference.degreesOfFreedom;
    options.parties = m_options.parties;
    run.start(options);
    if (run.state() != RunState::Finished)
        loop.exec();
    const RunRecord record = run.record();

    int code = CtlExit::Done;
    if (record.end != RunEnd::Completed && m_options.restoreOnAbort && run.canRestoreBefore()) {
        m_out << "restoring the calibration the run found (snapshot " << record.snapshotBeforeId << ")" << Qt::endl;
        bool restored = false;
        QObject::connect(&run, &TCalibrationRun::restoreFinished, &loop, [&](bool ok, const QString &message) {
            restored = ok;
            (ok ? m_out : m_err) << message << Qt::endl;
            loop.quit();
        });
        run.restoreBefore();
        if (run.state() == RunState::Restoring)
            loop.exec();
        if (!restored)
            code = CtlExit::NotRestored;
    } else if (record.end != RunEnd::Completed && run.canRestoreBefore()) {
        m_err << "kestroctl: the meter holds the table this run wrote; put the old one back with: kestroctl restore "
              << record.snapshotBeforeId << " --yes" << Qt::endl;
    }

    for (const QString &line : ResultTable(record))
        m_out << line << '\n';
    m_out.flush();
    const int jsonCode = writeJson(record);
    if (code != CtlExit::Done)
        return code;
    if (stoppedBeforeWrite)
        return CtlExit::Differences;
    if (!record.storeError.isEmpty())
        m_err << "kestroctl: запись прогона в базе неполна: " << record.storeError << Qt::endl;
    // The certificate is kept as issued; the run's result stands whatever the store says.
    if (record.end == RunEnd::Completed) {
        QString issueError;
        const QByteArray pdf = RunCertificate::Pdf(record, &issueError);
        if (pdf.isEmpty())
            m_err << "kestroctl: PDF сертификата не построен: " << issueError << "; выдан только DCC" << Qt::endl;
        if (!IssueRunCertificate(m_store, record, pdf, &issueError))
            m_err << "kestroctl: сертификат не выдан: " << issueError << Qt::endl;
    }
    if (record.end != RunEnd::Completed)
        return fail(CtlExit::RunIncomplete,
                    QStringLiteral("калибровка %1: %2").arg(EndTitle(record.end), record.endReason));
    if (jsonCode != CtlExit::Done)
        return jsonCode;
    return record.asLeftFit.value_or(false) ? CtlExit::Done : CtlExit::NotFit;
}

int CtlCalibrate::runs(const QString &meterSerial, TRecordStore *from)
{
    TRecordStore &store = from ? *from : m_store;
    if (!store.open())
        return fail(CtlExit::RecordsError, store.lastError());
    const QList<RunRecord> list = store.runs(meterSerial);
    if (!store.lastError().isEmpty())
        return fail(CtlExit::RecordsError, store.lastError());
    for (const RunRecord &r : list) {
        m_out << r.id << '\t' << r.startedUtc.toLocalTime().toString(Qt::ISODate) << '\t' << r.meterSerial << '\t'
              << r.operatorName << '\t' << r.rigKind << '\t' << EndKey(r.end) << '\t'
              << RunPrinter::PhaseVerdict(r, RunPhase::AsFound) << '\t' << RunPrinter::PhaseVerdict(r, RunPhase::AsLeft) << '\t' << percentOrDash(r.asLeftMaxError) << '\t' << r.uuid << '\n';
    }
    m_out.flush();
    return CtlExit::Done;
}

int CtlCalibrate::showRun(const QString &idOrUuid)
{
    if (!m_store.open())
        return fail(CtlExit::RecordsError, m_store.lastError());
    const std::optional<RunRecord> run = m_store.run(idOrUuid);
    if (!run)
        return fail(CtlExit::RecordsError,
                    m_store.lastError().isEmpty() ? QStringLiteral("нет калибровки %1").arg(idOrUuid) : m_store.lastError());
    m_out << "run " << run->id << " " << run->uuid << '\n'
          << "meter " << run->meterSerial << ", operator " << run->operatorName << ", workstation " << run->workstation
          << '\n'
          << "rig " << run->rigKind << ' ' << QString::fromUtf8(QJsonDocument(run->rigSettings).toJson(QJsonDocument::Compact))
          << '\n'
          << "started " << run->startedUtc.toLocalTime().toString(Qt::ISODate) << ", ended "
          << (run->endedUtc.isValid() ? run->endedUtc.toLocalTime().toString(Qt::ISODate) : QStringLiteral("-")) << '\n'
          << "snapshots: before " << run->snapshotBeforeId << ", after " << run->snapshotAfterId << '\n';
    for (const RunPoint &p : run->points)
        m_out << PointLine(p) << '\n';
    for (const QString &line : ResultTable(*run))
        m_out << line << '\n';
    m_out.flush();
    return writeJson(*run);
}
