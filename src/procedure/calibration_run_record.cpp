// The run's record in the store: every header write is checked, a verdict is kept
// as soon as its phase ends.
#include "procedure/calibration_run_impl.h"
#include "records/record_text.h"

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
    bool all = true;
    double worst = 0;
    for (const RunPoint &p : taken) {
        all = all && p.fits.value_or(false);
        if (const auto e = p.relativeError ? p.relativeError : p.reducedError)
            worst = std::max(worst, std::abs(*e));
    }
    (phase == RunPhase::AsFound ? r.asFoundFit : r.asLeftFit) = all;
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
