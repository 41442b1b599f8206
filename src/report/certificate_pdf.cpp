// Paints the certificate's items (certificate_layout) on A4: measured first, so that
// every page can say how many there are, then drawn page by page.
#include "report/error_plot_painter.h"
#include "report/pdf_page.h"
#include "report/run_certificate.h"
#include <QBuffer>
#include <QFontMetricsF>
#include <QPainter>
#include <QPdfWriter>

namespace {

using CertificateLayout::Item;
using CertificateLayout::Kind;
using PdfPage::mm;

constexpr double HeaderMm = 10;
const QColor AlertInk(170, 0, 0);
const QColor Frame(90, 90, 90);

void setUp(QPdfWriter &pdf, const RunRecord &run)
{
    pdf.setResolution(PdfPage::Dpi);
    pdf.setPageSize(QPageSize(QPageSize::A4));
    pdf.setPageMargins(QMarginsF(15, 12, 15, 15), QPageLayout::Millimeter);
    pdf.setTitle(QStringLiteral("Сертификат калибровки %1").arg(CertificateLayout::Number(run)));
    pdf.setCreator(QStringLiteral("KestroLink ") + run.programVersion);
}

QFont fontOf(const Item &item)
{
    int size = 10;
    bool bold = item.bold;
    switch (item.kind) {
    case Kind::Title: size = 15; break;
    case Kind::Heading: size = 11; break;
    case Kind::Note: size = 8; break;
    case Kind::TableHead:
    case Kind::TableRow: size = 8; break;
    case Kind::Plot: size = 9; break;
    case Kind::EndMark: bold = true; break;
    default: break;
    }
    QFont f(QStringLiteral("DejaVu Sans"), size);
    f.setBold(bold);
    return f;
}

// Space above an item's text, so that a heading starts a section.
int above(const Item &item)
{
    switch (item.kind) {
    case Kind::Heading: return mm(3);
    case Kind::Title: return mm(0.5);
    case Kind::Plot: return mm(3);
    case Kind::Signature: return mm(14);
    case Kind::EndMark: return mm(6);
    default: return 0;
    }
}

int cellPad() { return mm(0.8); }

// The text as printed: a unit stays on the line of its number.
QString printed(const Item &item)
{
    QString text = item.text;
    return text.replace(QStringLiteral(" %"), QStringLiteral("\u00A0%"));
}

int textHeight(const QFontMetricsF &fm, const QString &text, int width, int flags = Qt::TextWordWrap)
{
    return int(std::ceil(fm.boundingRect(QRectF(0, 0, width, mm(250)), flags, text).height()));
}

constexpr double PlotMm = 72;

int heightOf(const QList<Item> &items, int i, int width, QPaintDevice *device)
{
    const Item &item = items[i];
    const QFontMetricsF fm(fontOf(item), device);
    switch (item.kind) {
    case Kind::TableHead:
    case Kind::TableRow: {
        int h = mm(5.5);
        if (item.kind == Kind::TableHead) {
            for (int c = 0; c < item.cells.size() && c < item.widths.size(); ++c)
                h = std::max(h, textHeight(fm, item.cells[c], mm(item.widths[c]) - 2 * cellPad()) + mm(1.6));
        }
        const bool lastRow = i + 1 >= items.size() || items[i + 1].table != item.table;
        return h + (lastRow ? mm(2) : 0);
    }
    case Kind::Plot: return above(item) + textHeight(fm, printed(item), width) + mm(PlotMm + 2);
    default: return above(item) + textHeight(fm, printed(item), width) + mm(1.2);
    }
}

void drawRow(QPainter &p, const Item &item, int y)
{
    const QFontMetricsF fm(fontOf(item), p.device());
    int h = mm(5.5);
    if (item.kind == Kind::TableHead) {
        for (int c = 0; c < item.cells.size() && c < item.widths.size(); ++c)
            h = std::max(h, textHeight(fm, item.cells[c], mm(item.widths[c]) - 2 * cellPad()) + mm(1.6));
    }
    int x = 0;
    for (int c = 0; c < item.cells.size() && c < item.widths.size(); ++c) {
        const QRect cell(x, y, mm(item.widths[c]), h);
        if (item.kind == Kind::TableHead)
            p.fillRect(cell, QColor(236, 236, 236));
        p.setPen(QPen(Frame, mm(0.15)));
        p.drawRect(cell);
        p.setPen(item.alert && c + 1 == item.cells.size() ? AlertInk : QColor(Qt::black));
        const QRect inside = cell.adjusted(cellPad(), 0, -cellPad(), 0);
        if (item.kind == Kind::TableHead) {
            p.drawText(inside, Qt::AlignCenter | Qt::TextWordWrap, item.cells[c]);
        } else {
            const int align = item.leftAligned.contains(c) ? Qt::AlignLeft : Qt::AlignRight;
            p.drawText(inside, align | Qt::AlignVCenter, fm.elidedText(item.cells[c], Qt::ElideRight, inside.width()));
        }
        x += cell.width();
    }
}

void drawItem(QPainter &p, const Item &item, int y, int width, const RunRecord &run)
{
    p.setFont(fontOf(item));
    if (item.kind == Kind::TableHead || item.kind == Kind::TableRow) {
        drawRow(p, item, y);
        return;
    }
    const QFontMetricsF fm(p.font(), p.device());
    y += above(item);
    const QString text = printed(item);
    const int flags = Qt::TextWordWrap
                      | (item.kind == Kind::Title || item.kind == Kind::EndMark || item.kind == Kind::Plot ? Qt::AlignHCenter
                                                                                                            : Qt::AlignLeft);
    const int h = textHeight(fm, text, width);
    p.setPen(item.alert ? AlertInk : QColor(Qt::black));
    if (item.kind == Kind::Plot) {
        ErrorPlotPainter::Draw(p, QRectF(0, y, width, mm(PlotMm)), mm(1), run);
        p.setFont(fontOf(item));
        p.setPen(Qt::black);
        p.drawText(QRect(0, y + mm(PlotMm + 1), width, h), flags, text);
        return;
    }
    p.drawText(QRect(0, y, width, h), flags, text);
    if (item.kind == Kind::Heading) {
        p.setPen(QPen(Frame, mm(0.15)));
        p.drawLine(0, y + h, width, y + h);
    }
}

void drawMark(QPainter &p, const QString &mark, int width)
{
    QFont f(QStringLiteral("DejaVu Sans"), 8);
    p.setFont(f);
    p.setPen(QColor(60, 60, 60));
    p.drawText(QRect(0, 0, width, mm(5)), Qt::AlignRight | Qt::AlignVCenter, mark);
    p.setPen(QPen(Frame, mm(0.25)));
    p.drawLine(0, mm(6), width, mm(6));
}

RunCertificate::Layout lay(const RunRecord &run, const QDate &issued, QPdfWriter &pdf, QList<int> &heights)
{
    RunCertificate::Layout layout;
    layout.items = CertificateLayout::Items(run, issued);
    for (int i = 0; i < layout.items.size(); ++i)
        heights << heightOf(layout.items, i, pdf.width(), &pdf);
    layout.pages = CertificateLayout::Paginate(layout.items, heights, pdf.height() - mm(HeaderMm));
    return layout;
}

bool draw(QIODevice &device, const RunRecord &run, const QDate &issued)
{
    QPdfWriter pdf(&device);
    setUp(pdf, run);
    QList<int> heights;
    const RunCertificate::Layout layout = lay(run, issued, pdf, heights);
    const QString number = CertificateLayout::Number(run);
    QPainter p;
    if (!p.begin(&pdf))
        return false;
    for (int page = 0; page < layout.pages.size(); ++page) {
        if (page > 0)
            pdf.newPage();
        drawMark(p, CertificateLayout::PageMark(number, page + 1, int(layout.pages.size())), pdf.width());
        int y = mm(HeaderMm);
        for (int i : layout.pages[page]) {
            drawItem(p, layout.items[i], y, pdf.width(), run);
            y += heights[i];
        }
    }
    return p.end();
}

} // namespace

namespace RunCertificate {

Layout Lay(const RunRecord &run, const QDate &issued)
{
    QBuffer sink;
    sink.open(QIODevice::WriteOnly);
    QPdfWriter pdf(&sink);
    setUp(pdf, run);
    QList<int> heights;
    return lay(run, issued, pdf, heights);
}

QByteArray Pdf(const RunRecord &run, QString *error, const QDate &issued)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    if (!draw(buffer, run, issued)) {
        *error = QStringLiteral("Сертификат не построен");
        return {};
    }
    return buffer.data();
}

bool Write(const RunRecord &run, const QString &path, QString *error)
{
    const QDate today = QDate::currentDate();
    return PdfPage::Save(path, [&](QIODevice &device) { return draw(device, run, today); }, error);
}

} // namespace RunCertificate
