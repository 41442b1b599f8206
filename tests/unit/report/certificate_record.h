#pragma once
// A run as a workstation with a guarded rule would store it: as found off, a table
// written, as left within the tolerance, one point undetermined, every point with its
// budget, a zero check, the reference and the parties.
#include "procedure/decision_rule.h"
#include "records/run_record.h"
#include <QJsonObject>

namespace CertificateRecord {

constexpr double Tolerance = 0.2;

inline RunPoint point(RunPhase phase, int index, double percent, double error, double u, double k = 2.0)
{
    RunPoint p;
    p.phase = phase;
    p.index = index;
    p.targetPercent = percent;
    p.targetFlow = percent * 10;
    p.referenceFlow = percent * 10;
    p.meterFlow = p.referenceFlow * (1 + error / 100);
    p.absoluteError = p.meterFlow - p.referenceFlow;
    p.relativeError = error;
    p.reducedError = p.absoluteError / 1000 * 100;
    p.fits = std::abs(error) <= Tolerance;
    p.tubeTemperature = 20.4 + index * 0.1;
    UncertaintyBudget b;
    b.expandedPercent = u;
    b.coverageFactor = k;
    b.coverageProbability = 0.95;
    p.metrology.budget = b;
    p.metrology.conformity = Judge(DecisionRule::Guarded, error, u, Tolerance);
    return p;
}

inline RunRecord completed()
{
    RunRecord r;
    r.id = 42;
    r.uuid = QStringLiteral("5b0e6c1a-3f7d-4c1e-9a55-0d2f3e4a5b6c");
    r.meterSerial = QStringLiteral("КС-0042");
    r.portSerial = QStringLiteral("206A36A45345");
    r.operatorName = QStringLiteral("Иванов И. И.");
    r.workstation = QStringLiteral("stand-1");
    r.programVersion = QStringLiteral("1.0.0");
    r.rigKind = QStringLiteral("modbus-tcp");
    r.rigSettings = QJsonObject{{"kind", "modbus-tcp"}, {"host", "10.0.0.5"}, {"port", 502}, {"density", 998.2}};
    r.plan = QJsonObject{{"name", "Поверочный, 5 точек"}, {"tolerance_percent", Tolerance}, {"points", 5}};
    r.startedUtc = QDateTime(QDate(2026, 12, 9), QTime(7, 0), Qt::UTC);
    r.endedUtc = r.startedUtc.addSecs(3600);
    r.end = RunEnd::Completed;
    r.qMax = 1000;
    r.tolerancePercent = Tolerance;
    const double percents[] = {10, 25, 50, 75, 100};
    const double found[] = {3.9, 4.02, 4.1, 4.05, 3.98};
    const double left[] = {0.04, -0.04, 0.17, 0.05, -0.02}; // the third: 0.17 + 0.06 > 0.2, undetermined
    for (int i = 0; i < 5; ++i)
        r.points << point(RunPhase::AsFound, i + 1, percents[i], found[i], 0.06);
    for (int i = 0; i < 5; ++i)
        r.points << point(RunPhase::AsLeft, i + 1, percents[i], left[i], 0.06);
    r.coefficientsBefore = std::array<float, 4>{1.0f, 0.5f, 0.0f, 0.0f};
    r.coefficientsAfter = std::array<float, 4>{0.9612f, 0.5f, 0.0f, 0.0f};
    std::array<float, 27> table{};
    table[0] = 1000;
    for (int n = 1; n <= 13; ++n) {
        table[n] = -1000.0f + 1000.0f * float(n - 1) / 6;
        table[13 + n] = -2000.0f + 4000.0f * float(n - 1) / 12 + 1.25f;
    }
    r.writtenTable = table;
    r.tableWrite = TableWrite::Done;
    r.snapshotBeforeId = 7;
    r.snapshotAfterId = 9;
    r.asFoundFit = false;
    r.asFoundMaxError = 4.1;
    r.asLeftFit = true;
    r.asLeftMaxError = 0.17;
    r.metrology.rule = DecisionRule::Guarded;
    r.metrology.asFound = Conformity::Fail;
    r.metrology.asLeft = Conformity::Undetermined;
    ReferenceInstrument ref;
    ref.name = QStringLiteral("Эталонный расходомер R-1");
    ref.certificate = QStringLiteral("C-77/2026");
    ref.dueDate = QDate(2027, 6, 1);
    ref.expandedUncertaintyPercent = 0.05;
    r.metrology.reference = ref;
    ZeroCheckResult zero;
    zero.meanKgH = 0.012;
    zero.sigmaKgH = 0.004;
    zero.limitKgH = 0.5;
    zero.seconds = 30;
    zero.samples = 3;
    zero.fits = true;
    zero.storedZeroNs = 1.875;
    zero.tubeTemperature = 20.5;
    r.metrology.zeroCheck = zero;
    r.parties.laboratoryName = QStringLiteral("Лаборатория расходометрии «Кестро»");
    r.parties.laboratoryAddress = QStringLiteral("г. Казань, ул. Техническая, 12");
    r.parties.customerName = QStringLiteral("ООО «Нефтехим»");
    r.parties.customerAddress = QStringLiteral("г. Самара, ул. Заводская, 3");
    r.parties.signatoryName = QStringLiteral("Петров П. П.");
    r.parties.signatoryRole = QStringLiteral("Начальник лаборатории");
    return r;
}

// The same run as a program before budgets and parties kept it.
inline RunRecord older()
{
    RunRecord r = completed();
    r.metrology = RunMetrology();
    r.parties = CertificateParties();
    for (RunPoint &p : r.points)
        p.metrology = PointMetrology();
    r.rigSettings.remove(QStringLiteral("density"));
    r.rigSettings.insert(QStringLiteral("reference_instrument"),
                         QJsonObject{{"name", "Эталон ЭМР-2"}, {"certificate", "С-77/2026"}, {"due_date", "2027-03-01"}});
    r.asLeftFit = true;
    return r;
}

} // namespace CertificateRecord
