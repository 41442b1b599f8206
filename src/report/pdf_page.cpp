#include "report/pdf_page.h"
#include "records/file_output.h"
#include <QBuffer>
#include <QPagedPaintDevice>

namespace PdfPage {

int mm(double v)
{
    constexpr double MmPerInch = 25.4;
    return int(v * Dpi / MmPerInch);
}

void Writer::text(const QString &t, int pointSize, bool bold, Qt::Alignment align)
{
    setFont(pointSize, bold);
    const QRect r = m_p.boundingRect(QRect(0, m_y, m_width, mm(200)), int(align) | Qt::TextWordWrap, t);
    room(r.height());
    m_p.drawText(QRect(0, m_y, m_width, r.height()), int(align) | Qt::TextWordWrap, t);
    m_y += r.height() + mm(1);
}

void Writer::setFont(int pointSize, bool bold)
{
    QFont f(QStringLiteral("DejaVu Sans"), pointSize);
    f.setBold(bold);
    m_p.setFont(f);
}

void Writer::room(int height)
{
    if (!m_pages || m_y == 0 || m_y + height <= m_height)
        return;
    m_pages->newPage();
    m_y = 0;
}

void Row(Writer &w, const QStringList &cells, const QList<double> &widths, bool bold, const QList<int> &leftAligned,
         const QColor &ink)
{
    const int rowHeight = mm(6);
    w.room(rowHeight);
    QPainter &p = w.painter();
    const QPen frame = p.pen();
    w.setFont(8, bold);
    int x = 0;
    for (int c = 0; c < cells.size() && c < widths.size(); ++c) {
        const QRect cell(x, w.y(), mm(widths[c]), rowHeight);
        p.setPen(frame);
        p.drawRect(cell);
        p.setPen(ink);
        p.drawText(cell.adjusted(mm(0.8), 0, -mm(0.8), 0),
                   int(Qt::AlignVCenter | (leftAligned.contains(c) ? Qt::AlignLeft : Qt::AlignRight)),
                   p.fontMetrics().elidedText(cells[c], Qt::ElideRight, cell.width() - mm(1.6)));
        x += cell.width();
    }
    p.setPen(frame);
    w.moveTo(w.y() + rowHeight);
}

bool Save(const QString &path, const std::function<bool(QIODevice &)> &draw, QString *error)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    if (!draw(buffer)) {
        *error = QStringLiteral("Файл %1 не записан: протокол не построен").arg(path);
        return false;
    }
    QString why;
    if (!FileOutput::Save(path, buffer.data(), &why)) {
        *error = QStringLiteral("Файл %1 не создан: %2").arg(path, why);
        return false;
    }
    return true;
}

} // namespace PdfPage
