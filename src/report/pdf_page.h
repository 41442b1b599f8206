#pragma once
// What the PDF certificates share: A4 at 300 dpi drawn top down in millimetres,
// drawn in memory and then saved whole.
#include <QByteArray>
#include <QPainter>
#include <QString>
#include <functional>

class QIODevice;
class QPagedPaintDevice;

namespace PdfPage {

constexpr int Dpi = 300;
int mm(double millimetres);

// Draws lines of text from the top down and keeps the position; with a page
// device it starts a new page where there is no room left.
class Writer
{
public:
    Writer(QPainter &p, int width, QPagedPaintDevice *pages = nullptr, int height = 0)
        : m_p(p), m_width(width), m_pages(pages), m_height(height)
    {
    }
    void text(const QString &t, int pointSize = 10, bool bold = false, Qt::Alignment align = Qt::AlignLeft);
    void gap(double millimetres) { m_y += mm(millimetres); }
    void setFont(int pointSize, bool bold);
    // A new page when less than height is left below the position.
    void room(int height);
    int y() const { return m_y; }
    void moveTo(int y) { m_y = y; }
    QPainter &painter() { return m_p; }
    int width() const { return m_width; }

private:
    QPainter &m_p;
    int m_width;
    QPagedPaintDevice *m_pages;
    int m_height;
    int m_y = 0;
};

// One table row of cells as wide as widths (millimetres), right-aligned except
// the columns in leftAligned; the text elided to its cell and written in ink.
void Row(Writer &w, const QStringList &cells, const QList<double> &widths, bool bold, const QList<int> &leftAligned = {},
         const QColor &ink = Qt::black);

// Draws into a PDF in memory through draw (false: nothing to save), then saves it
// whole at path: a full disk shows as a failure, never as a cut-off PDF, and a
// file already at that path stays until the new one is there. False with the reason.
bool Save(const QString &path, const std::function<bool(QIODevice &)> &draw, QString *error);

} // namespace PdfPage
