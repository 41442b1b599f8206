#include "ui/records/verification_certificate.h"
#include "report/pdf_page.h"
#include <QLocale>
#include <QPainter>
#include <QPdfWriter>
#include <QUuid>

namespace {

using PdfPage::mm;
using PdfPage::Writer;

void drawTable(Writer &w, const Verification::Cells &grid, double tolerance)
{
    using namespace Verification;
    static const char *const headers[] = {"№", "Эталон", "Прибор", "Δt", "Абс.", "Отн., %", "Прив., %",
                                          "Примечание", "Вывод"};
    const QList<double> widths{6, 19, 19, 17, 17, 17, 17, 39, 15}; // millimetres, 166 in all
    auto drawRow = [&](const QStringList &cells, bool bold) { PdfPage::Row(w, cells, widths, bold, {7}); };
    w.text(QStringLiteral("Погрешности: абсолютная (кг/ч), относительная и приведённая к Q Max (%)"), 8);
    QStringList head;
    for (const char *h : headers)
        head << QString::fromUtf8(h);
    drawRow(head, true);
    for (int r = 1; r <= Rows; ++r) {
        QStringList cells{QString::number(r)};
        for (int c = 1; c <= Columns; ++c)
            cells << grid.cell(c, r);
        const std::optional<bool> fit = RowVerdict(grid, r, tolerance);
        cells << (fit ? VerdictText(*fit) : QString());
        drawRow(cells, false);
    }
    w.gap(2);
}

bool drawCertificate(QIODevice &device, const CertificateData &d, const Verification::Cells &grid)
{
    QPdfWriter pdf(&device);
    pdf.setResolution(PdfPage::Dpi);
    pdf.setPageSize(QPageSize(QPageSize::A4));
    pdf.setPageMargins(QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter);
    pdf.setTitle(QStringLiteral("Протокол поверки %1").arg(d.serialNumber));
    pdf.setCreator(QStringLiteral("KestroLink ") + d.programVersion);
    QPainter p;
    if (!p.begin(&pdf))
        return false;
    const QLocale locale;
    Writer w(p, pdf.width());
    // The table and the chart are sized to one page, so the page is always 1 of 1.
    w.text(QStringLiteral("Протокол поверки № %1 · стр. 1 из 1").arg(d.number), 7, false, Qt::AlignRight);
    w.text(QStringLiteral("Протокол поверки массового расходомера"), 15, true, Qt::AlignHCenter);
    w.gap(3);
    const QString tolerance = locale.toString(d.tolerancePercent, 'g', 6);
    const QStringList lines{
        QStringLiteral("Заводской номер: %1").arg(d.serialNumber),
        QStringLiteral("Заказчик: %1").arg(d.customer),
        QStringLiteral("Дата и время поверки: %1").arg(locale.toString(d.when, QStringLiteral("dd.MM.yyyy HH:mm"))),
        QStringLiteral("Программа: KestroLink %1, порт %2").arg(d.programVersion, d.port),
        QStringLiteral("Коэффициенты расхода: A = %1; B = %2; C = %3; D = %4")
            .arg(d.coefficients.value(0), d.coefficients.value(1), d.coefficients.value(2), d.coefficients.value(3)),
        QStringLiteral("Максимальный расход Q Max: %1 кг/ч").arg(d.qMax),
        QStringLiteral("Допускаемая погрешность: ±%1 %").arg(tolerance),
    };
    for (const QString &line : lines)
        w.text(line);
    if (!d.parties.laboratoryName.isEmpty()) {
        QStringList lab{d.parties.laboratoryName};
        if (!d.parties.laboratoryAddress.isEmpty())
            lab << d.parties.laboratoryAddress;
        w.text(QStringLiteral("Лаборатория: %1").arg(lab.join(QStringLiteral(", "))));
    }
    w.gap(2);
    drawTable(w, grid, d.tolerancePercent);
    const Verification::Summary summary = Verification::Summarize(grid, d.tolerancePercent);
    w.text(QStringLiteral("Заключение: %1").arg(Verification::VerdictText(summary.fit())), 12, true);
    w.text(Verification::SummaryLine(summary, d.tolerancePercent), 9);
    if (!d.comment.isEmpty())
        w.text(QStringLiteral("Примечание: %1").arg(d.comment), 9);
    w.gap(2);
    w.text(QStringLiteral("Результаты относятся только к калибруемому средству измерений"), 9);
    if (!d.chart.isNull()) {
        const QSize size = d.chart.size().scaled(w.width(), qMin(mm(70), pdf.height() - w.y() - mm(44)), Qt::KeepAspectRatio);
        if (size.height() > mm(20)) {
            p.drawImage(QRect(QPoint(0, w.y()), size), d.chart);
            w.moveTo(w.y() + size.height() + mm(4));
        }
    }
    const bool signatory = !d.parties.signatoryName.isEmpty();
    w.moveTo(qMax(w.y(), pdf.height() - mm(signatory ? 36 : 28)));
    w.text(QStringLiteral("Поверитель: ____________________ / %1 /").arg(d.operatorName), 10);
    w.gap(4);
    if (signatory) {
        const QString role = d.parties.signatoryRole.isEmpty() ? QStringLiteral("Утвердил") : d.parties.signatoryRole;
        w.text(QStringLiteral("%1: ____________________ / %2 /").arg(role, d.parties.signatoryName), 10);
        w.gap(4);
    }
    w.text(QStringLiteral("Представитель заказчика: ____________________ / ____________ /"), 10);
    w.gap(3);
    w.text(QStringLiteral("— Конец протокола —"), 9, true, Qt::AlignHCenter);
    return p.end();
}

} // namespace

bool WriteCertificatePdf(const QString &path, const CertificateData &d, const Verification::Cells &grid, QString *error)
{
    return PdfPage::Save(path, [&](QIODevice &device) { return drawCertificate(device, d, grid); }, error);
}

QString NewVerificationNumber()
{
    return QStringLiteral("KL-V-") + QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
}
