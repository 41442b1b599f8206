#include "ui/result/run_certificate.h"
#include "procedure/verification_table.h"
#include "protocol/number_text.h"
#include "ui/result/pdf_page.h"
#include "ui/result/run_error_plot.h"
#include "ui/result/run_metrology_text.h"
#include "ui/result/run_result_text.h"
#include <QLocale>
#include <QPdfWriter>
#include <qcustomplot.h>

namespace {

using PdfPage::mm;
using PdfPage::Writer;

const QColor UnfitInk(170, 0, 0);

void drawPhase(Writer &w, const RunRecord &run, RunPhase phase)
{
    const QList<RunPoint> points = run.pointsOf(phase);
    // A heading never stays alone at the foot of a page.
    w.room(mm(20));
    QString title = PhaseTitle(phase);
    title[0] = title[0].toUpper();
    w.text(title, 11, true);
    if (points.isEmpty()) {
        w.text(QStringLiteral("Точки не сняты"), 9);
    } else {
        // Only U of the metrology's columns: the page has room for one more.
        RunResultText::TableColumns columns;
        columns.uncertainty = RunResultText::ColumnsOf(run).uncertainty;
        // Millimetres: 152 in all, 170 with U, whose verdict may be "не определено".
        const QList<double> widths = columns.uncertainty ? QList<double>{8, 16, 28, 28, 20, 20, 20, 30}
                                                         : QList<double>{8, 18, 30, 30, 22, 22, 22};
        PdfPage::Row(w, RunResultText::TableHeadings(columns), widths, true);
        for (const RunPoint &p : points) {
            const bool unfit = RecordedConformity(p) == Conformity::Fail;
            PdfPage::Row(w, RunResultText::PointCells(p, columns), widths, unfit, {}, unfit ? UnfitInk : QColor(Qt::black));
        }
    }
    w.gap(1);
    w.text(RunResultText::VerdictLine(run, phase), 10, true);
    w.gap(2);
}

void drawCoefficients(Writer &w, const RunRecord &run)
{
    const QList<double> widths{30, 40, 40};
    w.room(mm(36));
    w.text(QStringLiteral("Коэффициенты расхода"), 11, true);
    PdfPage::Row(w, {QStringLiteral("Коэффициент"), QStringLiteral("До калибровки"), QStringLiteral("После калибровки")},
                 widths, true, {0});
    const char names[] = {'A', 'B', 'C', 'D'};
    for (int i = 0; i < 4; ++i)
        PdfPage::Row(w, {QString(QLatin1Char(names[i])), RunResultText::Coefficient(run.coefficientsBefore, i),
                         RunResultText::Coefficient(run.coefficientsAfter, i)},
                     widths, false, {0});
    w.gap(3);
}

void drawAdjustments(Writer &w, const RunRecord &run)
{
    for (const RunResultText::AdjustmentSection &s : RunResultText::AdjustmentSections(run)) {
        w.room(mm(s.rows.isEmpty() ? 24 : 48));
        w.text(s.title, 11, true);
        if (!s.rows.isEmpty()) {
            QStringList headings = RunResultText::AdjustmentHeadings();
            headings[0] = QStringLiteral("Величина");
            const QList<double> widths{50, 40, 40};
            PdfPage::Row(w, headings, widths, true, {0});
            for (const QStringList &row : s.rows)
                PdfPage::Row(w, row, widths, false, {0});
        }
        if (!s.checks.isEmpty()) {
            w.gap(1);
            w.text(QStringLiteral("Проверка после записи"), 10, true);
            const QList<double> widths{8, 26, 26, 26, 30, 24};
            PdfPage::Row(w, RunResultText::CheckHeadings(), widths, true);
            for (int i = 0; i < s.checks.size(); ++i) {
                const bool unfit = s.checkUnfit[i];
                PdfPage::Row(w, s.checks[i], widths, unfit, {}, unfit ? UnfitInk : QColor(Qt::black));
            }
        }
        w.gap(1);
        w.text(QStringLiteral("%1: %2").arg(s.title, s.line), 10, true);
        w.gap(2);
    }
}

QImage errorChart(const RunRecord &run)
{
    QCustomPlot plot;
    plot.resize(800, 320);
    PlotRunErrors(plot, run);
    return plot.toPixmap(800, 320, 2.0).toImage();
}

bool drawRun(QIODevice &device, const RunRecord &run)
{
    using namespace RunResultText;
    QPdfWriter pdf(&device);
    pdf.setResolution(PdfPage::Dpi);
    pdf.setPageSize(QPageSize(QPageSize::A4));
    pdf.setPageMargins(QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter);
    pdf.setTitle(QStringLiteral("Протокол калибровки %1").arg(run.meterSerial));
    pdf.setCreator(QStringLiteral("KestroLink ") + run.programVersion);
    const QImage chart = errorChart(run);
    QPainter p;
    if (!p.begin(&pdf))
        return false;
    Writer w(p, pdf.width(), &pdf, pdf.height());
    w.text(QStringLiteral("Протокол калибровки массового расходомера"), 15, true, Qt::AlignHCenter);
    w.gap(3);
    const QString reference = ReferenceLine(run);
    const QString temperature = TubeTemperatureRange(run);
    const QString snapshot = QStringLiteral("№%1");
    const QStringList lines{
        QStringLiteral("Заводской номер: %1").arg(run.meterSerial),
        QStringLiteral("Дата и время калибровки: %1 — %2").arg(When(run.startedUtc), When(run.endedUtc)),
        QStringLiteral("Программа: KestroLink %1, рабочее место %2").arg(run.programVersion, run.workstation),
        QStringLiteral("Стенд: %1 (%2)").arg(RigLine(run), run.rigKind),
        QStringLiteral("Эталон: %1").arg(reference.isEmpty() ? QStringLiteral("не указан") : reference),
        QStringLiteral("Запись калибровки: №%1, UUID %2").arg(run.id).arg(run.uuid),
        QStringLiteral("Снимки калибровки прибора: до — %1, после — %2")
            .arg(run.snapshotBeforeId ? snapshot.arg(run.snapshotBeforeId) : QStringLiteral("нет"),
                 run.snapshotAfterId ? snapshot.arg(run.snapshotAfterId) : QStringLiteral("нет")),
        QStringLiteral("Максимальный расход Q Max: %1 кг/ч").arg(FormatFloatPattern(double(run.qMax), NumPattern::P0_hhh)),
        QStringLiteral("Допускаемая погрешность: ±%1 %").arg(QLocale().toString(run.tolerancePercent, 'g', 6)),
        QStringLiteral("Температура трубки во время калибровки: %1")
            .arg(temperature.isEmpty() ? QStringLiteral("не измерялась") : temperature),
    };
    for (const QString &line : lines)
        w.text(line);
    w.gap(1);
    w.text(EndLine(run), 10, run.end != RunEnd::Completed);
    w.gap(2);
    drawAdjustments(w, run);
    w.text(QStringLiteral("Погрешности: относительная и приведённая к Q Max (%)"), 8);
    for (const QString &note : {RuleStatement(run), CoverageNote(run)}) {
        if (!note.isEmpty())
            w.text(note, 8);
    }
    drawPhase(w, run, RunPhase::AsFound);
    drawPhase(w, run, RunPhase::AsLeft);
    drawCoefficients(w, run);

    // The chart gives way to the signatures rather than leave them a page of their own.
    const int signatures = mm(30);
    int room = pdf.height() - w.y() - signatures;
    if (room < mm(45)) {
        w.room(pdf.height());
        room = pdf.height() - signatures;
    }
    const QSize size = chart.size().scaled(w.width(), qMin(mm(70), room), Qt::KeepAspectRatio);
    p.drawImage(QRect(QPoint(0, w.y()), size), chart);
    w.moveTo(w.y() + size.height() + mm(4));

    w.room(mm(22));
    w.moveTo(qMax(w.y(), pdf.height() - mm(22)));
    w.text(QStringLiteral("Поверитель: ____________________ / %1 /").arg(run.operatorName), 10);
    w.gap(4);
    w.text(QStringLiteral("Руководитель: ____________________ / ____________ /"), 10);
    return p.end();
}

} // namespace

namespace RunCertificate {

bool Write(const RunRecord &run, const QString &path, QString *error)
{
    return PdfPage::Save(path, [&run](QIODevice &device) { return drawRun(device, run); }, error);
}

} // namespace RunCertificate
