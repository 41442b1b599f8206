// The run's record in the store: every header write is checked, a verdict is kept
// as soon as its phase ends.
#include "procedure/calibration_run_impl.h"
#include "procedure/point_metrology.h"
#include "records/record_text.h"
#include <QSysInfo>
#include <algorithm>

void TCalibrationRun::Impl::recordHeader()
{
    RunRecord &r = q.m_record;
    r.meterSerial = opt.meterSerial;
    r.portSerial = dm.portSerialNumber();
    r.operatorName = opt.operatorName;
    r.workstation = QSysInfo::machineHostName();
    r.programVersion = QStringLiteral(KESTRO_VERSION);
    r.rigKind = rig.kind();
    r.rigSettings = rig.settings();
    // What people read on the certificate, whichever driver it was.
    if (!r.rigSettings.contains(QStringLiteral("description")))
        r.rigSettings.insert(QStringLiteral("description"), rig.description());
    if (!opt.referenceName.isEmpty() || !opt.referenceCertificate.isEmpty() || opt.referenceDueDate.isValid())
        r.rigSettings.insert(QStringLiteral("reference_instrument"),
                             QJsonObject{{QStringLiteral("name"), opt.referenceName},
                                         {QStringLiteral("certificate"), opt.referenceCertificate},
                                         {QStringLiteral("due_date"), opt.referenceDueDate.isValid()
                                                                          ? opt.referenceDueDate.toString(Qt::ISODate)
                                                                          : QString()}});
    r.metrology.rule = DecisionRuleFromKey(opt.plan.decisionRule).value_or(DecisionRule::Simple);
    if (!opt.referenceName.isEmpty() || opt.referenceDueDate.isValid() || opt.referenceUncertaintyPercent) {
        ReferenceInstrument ref;
        ref.name = opt.referenceName;
        ref.certificate = opt.referenceCertificate;
        ref.dueDate = opt.referenceDueDate;
        ref.expandedUncertaintyPercent = opt.referenceUncertaintyPercent;
        ref.coverageFactor = opt.referenceCoverageFactor;
        ref.degreesOfFreedom = opt.referenceDegreesOfFreedom;
        r.metrology.reference = ref;
    }
    r.parties = opt.parties;
    r.plan = RunPlanFile::ToJson(opt.plan);
    r.tolerancePercent = opt.plan.tolerancePercent;
}

bool TCalibrationRun::Impl::keepHeader()
{
    if (records.store().updateRun(q.m_record))
        return true;
    qCWarning(lcRun) << "run header not stored:" << records.store().lastError();
    return false;
}

QString TCalibrationRun::Impl::storeFault(const QString &what) const
{
    return QStringLiteral("%1 — не сохранено в базе: %2").arg(what, records.store().lastError());
}

void TCalibrationRun::Impl::judgePhase(RunPhase phase)
{
    RunRecord &r = q.m_record;
    const QList<RunPoint> taken = r.pointsOf(phase);
    if (taken.isEmpty())
        return;
    double worst = 0;
    for (const RunPoint &p : taken) {
        if (const auto e = p.relativeError ? p.relativeError : p.reducedError)
            worst = std::max(worst, std::abs(*e));
    }
    // A point without a verdict of its own (no error to judge) is no pass.
    std::optional<Conformity> c = PhaseConformity(taken);
    if (std::any_of(taken.begin(), taken.end(), [](const RunPoint &p) { return !p.metrology.conformity; }))
        c = Conformity::Fail;
    (phase == RunPhase::AsFound ? r.metrology.asFound : r.metrology.asLeft) = c;
    std::optional<bool> fit;
    if (c != Conformity::Undetermined)
        fit = c == Conformity::Pass;
    (phase == RunPhase::AsFound ? r.asFoundFit : r.asLeftFit) = fit;
    (phase == RunPhase::AsFound ? r.asFoundMaxError : r.asLeftMaxError) = worst;
}

QString TCalibrationRun::Impl::textProblem() const
{
    const struct
    {
        const char *field;
        QString text;
    } fields[] = {
        {"серийный номер", opt.meterSerial},
        {"оператор", opt.operatorName},
        {"эталон", opt.referenceName},
        {"свидетельство эталона", opt.referenceCertificate},
        {"имя плана", opt.plan.name},
    };
    for (const auto &f : fields) {
        const QString problem = RecordTextProblem(QString::fromUtf8(f.field), f.text);
        if (!problem.isEmpty())
            return problem;
    }
    return {};
}
