#include "report/certificate_sections.h"
#include "procedure/decision_rule.h"
#include "protocol/flow_table.h"
#include "protocol/number_text.h"
#include "report/run_metrology_text.h"
#include "report/run_result_text.h"
#include <QJsonObject>
#include <QLocale>
#include <QSet>

namespace CertificateSections {

using CertificateLayout::Item;
using CertificateLayout::Kind;
using RunResultText::Fixed3;

namespace {

QString general(double v, int digits = 6)
{
    return QLocale().toString(v, 'g', digits);
}

QString date(const QDate &d)
{
    return QLocale().toString(d, QStringLiteral("dd.MM.yyyy"));
}

QString joined(const QString &a, const QString &b)
{
    return a.isEmpty() || b.isEmpty() ? a + b : a + QStringLiteral(", ") + b;
}

QList<RunPoint> verified(const RunRecord &run)
{
    return run.pointsOf(RunPhase::AsFound) + run.pointsOf(RunPhase::AsLeft);
}

// The coverage factors of the points' budgets, each once.
QList<double> factors(const RunRecord &run)
{
    QList<double> ks;
    for (const RunPoint &p : verified(run)) {
        if (p.metrology.budget && !ks.contains(p.metrology.budget->coverageFactor))
            ks << p.metrology.budget->coverageFactor;
    }
    return ks;
}

QString capitalized(QString s)
{
    if (!s.isEmpty())
        s[0] = s[0].toUpper();
    return s;
}

Item item(Kind kind, const QString &text, bool bold = false, bool alert = false)
{
    Item i;
    i.kind = kind;
    i.text = text;
    i.bold = bold;
    i.alert = alert;
    return i;
}

} // namespace

void Builder::title(const QString &t)
{
    m_items << item(Kind::Title, t, true);
}

void Builder::heading(const QString &t)
{
    Item i = item(Kind::Heading, t, true);
    i.keepWithNext = true;
    m_items << i;
}

void Builder::text(const QString &t, bool bold, bool alert)
{
    m_items << item(Kind::Text, t, bold, alert);
}

void Builder::note(const QString &t, bool keep)
{
    Item i = item(Kind::Note, t);
    i.keepWithNext = keep;
    m_items << i;
}

void Builder::lead(const QString &t)
{
    Item i = item(Kind::Text, t);
    i.keepWithNext = true;
    m_items << i;
}

int Builder::table(const QStringList &head, const QList<double> &widths, const QList<int> &leftAligned)
{
    Item i = item(Kind::TableHead, {}, true);
    i.cells = head;
    i.widths = widths;
    i.leftAligned = leftAligned;
    i.table = ++m_tables;
    i.keepWithNext = true;
    m_items << i;
    return m_tables;
}

void Builder::row(int table, const QStringList &cells, bool alert)
{
    for (auto it = m_items.crbegin(); it != m_items.crend(); ++it) {
        if (it->kind == Kind::TableHead && it->table == table) {
            Item i = item(Kind::TableRow, {}, false, alert);
            i.cells = cells;
            i.widths = it->widths;
            i.leftAligned = it->leftAligned;
            i.table = table;
            // The head never goes to a page's foot with fewer than three rows under it.
            const qsizetype head = m_items.crend() - it - 1;
            i.keepWithNext = m_items.size() - head - 1 < 2;
            m_items << i;
            return;
        }
    }
}

void Builder::keepTogether(int table)
{
    int last = -1;
    for (int i = 0; i < m_items.size(); ++i) {
        if (m_items[i].table == table) {
            m_items[i].keepWithNext = true;
            last = i;
        }
    }
    if (last >= 0)
        m_items[last].keepWithNext = false;
}

void Parties(Builder &b, const RunRecord &run)
{
    const CertificateParties &who = run.parties;
    b.heading(QStringLiteral("Лаборатория"));
    const QString lab = joined(who.laboratoryName, who.laboratoryAddress);
    b.text(lab.isEmpty() ? QStringLiteral("Рабочее место %1").arg(run.workstation) : lab);
    b.heading(QStringLiteral("Заказчик"));
    const QString customer = joined(who.customerName, who.customerAddress);
    b.text(customer.isEmpty() ? QStringLiteral("________________________________________________________________")
                              : customer);
}

void Instrument(Builder &b, const RunRecord &run)
{
    b.heading(QStringLiteral("Калибруемое средство измерений"));
    b.text(QStringLiteral("Кориолисов массовый расходомер, заводской номер %1").arg(run.meterSerial));
    b.text(QStringLiteral("Максимальный расход Q Max: %1 кг/ч").arg(FormatFloatPattern(double(run.qMax), NumPattern::P0_hhh)));
    b.text(QStringLiteral("Серийный номер USB-порта: %1")
               .arg(run.portSerial.isEmpty() ? QStringLiteral("не известен") : run.portSerial));
    const QString mismatch = SerialMismatchText(run.meterSerial, run.portSerial);
    if (!mismatch.isEmpty())
        b.text(mismatch, false, true);
    const QString found = VerdictTitle(run.metrology.asFound, run.asFoundFit);
    b.text(QStringLiteral("Состояние при получении (как найден): %1").arg(found), false, found == ConformityTitle(Conformity::Fail));
}

void Method(Builder &b, const RunRecord &run, const QDate &issued)
{
    using namespace RunResultText;
    b.heading(QStringLiteral("Методика и даты"));
    const QString plan = run.plan.value(QStringLiteral("name")).toString();
    b.text(QStringLiteral("План калибровки: «%1», отпечаток содержания (SHA-256): %2")
               .arg(plan.isEmpty() ? QStringLiteral("без имени") : plan, PlanDigest(run.plan)));
    b.text(QStringLiteral("Допускаемая погрешность: ±%1 % измеренного значения").arg(general(run.tolerancePercent)));
    b.text(QStringLiteral("Дата калибровки: %1 (%2 — %3)")
               .arg(date(run.startedUtc.toLocalTime().date()), When(run.startedUtc), When(run.endedUtc)));
    b.text(QStringLiteral("Дата выдачи: %1").arg(date(issued)));
    b.text(QStringLiteral("Калибровку выполнил: %1").arg(run.operatorName));
    b.text(QStringLiteral("Стенд: %1; программа KestroLink %2, рабочее место %3")
               .arg(RigLine(run), run.programVersion, run.workstation));
    const QString snapshot = QStringLiteral("№%1");
    b.note(QStringLiteral("Запись калибровки №%1, UUID %2").arg(run.id).arg(run.uuid.isEmpty() ? QStringLiteral("нет") : run.uuid));
    b.note(QStringLiteral("Снимки калибровки прибора: до — %1, после — %2")
               .arg(run.snapshotBeforeId ? snapshot.arg(run.snapshotBeforeId) : QStringLiteral("нет"),
                    run.snapshotAfterId ? snapshot.arg(run.snapshotAfterId) : QStringLiteral("нет")));
}

void Reference(Builder &b, const RunRecord &run)
{
    b.heading(QStringLiteral("Эталон и прослеживаемость"));
    if (!run.metrology.reference) {
        const QString line = RunResultText::ReferenceLine(run);
        b.text(line.isEmpty() ? QStringLiteral("Эталон не указан") : line);
        return;
    }
    const ReferenceInstrument &r = *run.metrology.reference;
    QStringList parts{r.name.isEmpty() ? QStringLiteral("эталон без имени") : r.name};
    if (!r.certificate.isEmpty())
        parts << QStringLiteral("сертификат калибровки № %1").arg(r.certificate);
    if (r.expandedUncertaintyPercent)
        parts << QStringLiteral("U = %1 % (k = %2)").arg(general(*r.expandedUncertaintyPercent, 3), general(r.coverageFactor, 3));
    if (r.dueDate.isValid())
        parts << QStringLiteral("действителен до %1").arg(date(r.dueDate));
    b.text(parts.join(QStringLiteral(", ")));
}

void Environment(Builder &b, const RunRecord &run)
{
    const QString temperature = RunResultText::TubeTemperatureRange(run);
    const QString measured = RunResultText::DensityRange(run);
    const QJsonValue density = run.rigSettings.value(QStringLiteral("density"));
    if (temperature.isEmpty() && measured.isEmpty() && !density.isDouble())
        return;
    b.heading(QStringLiteral("Условия калибровки"));
    if (!temperature.isEmpty())
        b.text(QStringLiteral("Температура жидкости (трубки прибора): %1").arg(temperature));
    if (!measured.isEmpty())
        b.text(QStringLiteral("Плотность жидкости (по прибору): %1").arg(measured));
    else if (density.isDouble())
        b.text(QStringLiteral("Плотность жидкости: %1 кг/м³").arg(general(density.toDouble())));
}

void ZeroAtNoFlow(Builder &b, const RunRecord &run)
{
    if (!run.metrology.zeroCheck)
        return;
    const ZeroCheckResult &z = *run.metrology.zeroCheck;
    b.heading(QStringLiteral("Проверка нуля при нулевом расходе"));
    b.text(QStringLiteral("Среднее %1 кг/ч, σ %2 кг/ч при пределе %3 кг/ч; %4 с, прогонов: %5 — %6")
               .arg(Fixed3(z.meanKgH), Fixed3(z.sigmaKgH), Fixed3(z.limitKgH), general(z.seconds, 4))
               .arg(z.samples)
               .arg(VerdictTitle(std::nullopt, z.fits)),
           false, !z.fits);
    if (z.storedZeroNs) {
        QString line = QStringLiteral("Ноль, вычитаемый прибором: %1 нс").arg(Fixed3(*z.storedZeroNs));
        if (z.tubeTemperature)
            line += QStringLiteral(" при температуре трубки %1 °C").arg(general(*z.tubeTemperature, 4));
        b.text(line);
    }
}

QString CoverageLine(const RunRecord &run)
{
    const QList<double> ks = factors(run);
    if (ks.isEmpty())
        return {};
    double p = 0;
    for (const RunPoint &point : verified(run)) {
        if (point.metrology.budget)
            p = point.metrology.budget->coverageProbability;
    }
    const QString probability = QStringLiteral("P ≈ %1 %").arg(general(p * 100, 3));
    if (ks.size() == 1)
        return QStringLiteral("U — расширенная неопределённость, % измеренного значения: U при k = %1, %2.")
            .arg(general(ks.first(), 3), probability);
    return QStringLiteral("U — расширенная неопределённость, % измеренного значения, при k, указанном для точки, %1.")
        .arg(probability);
}

void Results(Builder &b, const RunRecord &run, RunPhase phase)
{
    const QList<RunPoint> points = run.pointsOf(phase);
    b.heading(capitalized(PhaseTitle(phase)));
    if (points.isEmpty()) {
        b.text(QStringLiteral("Точки не сняты"));
    } else {
        bool withU = false;
        for (const RunPoint &p : points)
            withU = withU || p.metrology.budget.has_value();
        const bool perPointK = factors(run).size() > 1;
        QStringList head{QStringLiteral("№"), QStringLiteral("Расход, % Q Max"), QStringLiteral("Эталон, кг/ч"),
                         QStringLiteral("Прибор, кг/ч"), QStringLiteral("Погрешность, %"), QStringLiteral("Привед., %")};
        QList<double> widths{8, 20, 27, 27, 24, 20};
        if (withU) {
            head << QStringLiteral("U, %");
            widths << 16;
            if (perPointK) {
                head << QStringLiteral("k");
                widths << 10;
            }
        }
        head << QStringLiteral("Вывод");
        widths << 26;
        const int table = b.table(head, widths, {int(head.size()) - 1});
        for (const RunPoint &p : points) {
            QStringList cells = RunResultText::PointCells(p);
            cells.removeLast(); // the verdict, under the run's rule below
            const std::optional<UncertaintyBudget> &u = p.metrology.budget;
            if (withU) {
                cells << (u ? RunResultText::Significant(u->expandedPercent, 2) : QStringLiteral("—"));
                if (perPointK)
                    cells << (u ? general(u->coverageFactor, 3) : QStringLiteral("—"));
            }
            const QString verdict = VerdictTitle(p.metrology.conformity, p.fits);
            cells << verdict;
            b.row(table, cells, verdict == ConformityTitle(Conformity::Fail));
        }
        for (const RunPoint &p : points) {
            if (p.metrology.conformity != Conformity::Undetermined || !p.metrology.budget || !p.relativeError)
                continue;
            b.note(UndeterminedExplanation(p.index, p.targetPercent, *p.relativeError, p.metrology.budget->expandedPercent,
                                           run.tolerancePercent));
        }
    }
    const bool asFound = phase == RunPhase::AsFound;
    const QString verdict = asFound ? VerdictTitle(run.metrology.asFound, run.asFoundFit) : VerdictTitle(run.metrology.asLeft, run.asLeftFit);
    const std::optional<double> &worst = asFound ? run.asFoundMaxError : run.asLeftMaxError;
    QString line = QStringLiteral("%1: %2").arg(capitalized(PhaseTitle(phase)), verdict);
    if (worst)
        line += QStringLiteral(" — наибольшая погрешность %1 % при допуске ±%2 %").arg(Fixed3(*worst), general(run.tolerancePercent));
    b.text(line, true, verdict == ConformityTitle(Conformity::Fail));
}

void Adjustment(Builder &b, const RunRecord &run)
{
    using namespace RunResultText;
    b.heading(QStringLiteral("Регулировка между «как найден» и «как оставлен»"));
    if (run.writtenTable) {
        const std::array<float, 27> &t = *run.writtenTable;
        b.lead(QStringLiteral("Записана таблица расхода, Q Max = %1 кг/ч:").arg(FloatText(t[FlowTable::QMaxIndex])));
        // Two halves side by side: the thirteen points on seven rows.
        const QStringList half{QStringLiteral("Точка"), QStringLiteral("Эталон, кг/ч"), QStringLiteral("Δt, нс")};
        const int table = b.table(half + half, {14, 37, 37, 14, 37, 37});
        constexpr int Rows = (FlowTable::Points + 1) / 2;
        for (int n = 1; n <= Rows; ++n) {
            QStringList cells{QString::number(n), FloatText(t[FlowTable::etalonIndex(n)]), FloatText(t[FlowTable::priborIndex(n)])};
            const int m = n + Rows;
            if (m <= FlowTable::Points)
                cells << QString::number(m) << FloatText(t[FlowTable::etalonIndex(m)]) << FloatText(t[FlowTable::priborIndex(m)]);
            else
                cells << QString() << QString() << QString();
            b.row(table, cells);
        }
        b.keepTogether(table);
    } else {
        b.text(QStringLiteral("Таблица расхода не записывалась"));
    }
    if (run.coefficientsBefore || run.coefficientsAfter) {
        b.lead(QStringLiteral("Коэффициенты расхода:"));
        const int table = b.table({QStringLiteral("Коэффициент"), QStringLiteral("До калибровки"), QStringLiteral("После калибровки")},
                                  {30, 40, 40}, {0});
        const char names[] = {'A', 'B', 'C', 'D'};
        for (int i = 0; i < 4; ++i)
            b.row(table, {QString(QLatin1Char(names[i])), Coefficient(run.coefficientsBefore, i), Coefficient(run.coefficientsAfter, i)});
        b.keepTogether(table);
    }
    for (const AdjustmentSection &s : AdjustmentSections(run)) {
        b.heading(s.title);
        if (!s.rows.isEmpty()) {
            QStringList headings = AdjustmentHeadings();
            headings[0] = QStringLiteral("Величина");
            const int table = b.table(headings, {50, 40, 40}, {0});
            for (const QStringList &row : s.rows)
                b.row(table, row);
            b.keepTogether(table);
        }
        if (!s.checks.isEmpty()) {
            b.lead(QStringLiteral("Проверка после записи"));
            const int table = b.table(CheckHeadings(), {8, 26, 26, 26, 30, 24});
            for (int i = 0; i < s.checks.size(); ++i)
                b.row(table, s.checks[i], s.checkUnfit[i]);
        }
        b.text(QStringLiteral("%1: %2").arg(s.title, s.line), true, s.fits == false);
    }
}

} // namespace CertificateSections
