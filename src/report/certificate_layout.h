#pragma once
// What a run's calibration certificate says and in which order, as items a painter
// lays out top down: headings, lines, table rows, the error plot, the signature and
// the end mark. No painting here, so what the certificate says can be read as text.
#include "records/run_record.h"
#include <QDate>
#include <QList>
#include <QStringList>

namespace CertificateLayout {

enum class Kind { Title, Heading, Text, Note, TableHead, TableRow, Plot, Signature, EndMark };

struct Item
{
    Kind kind = Kind::Text;
    QString text;              // all but the table's
    QStringList cells;         // TableHead, TableRow
    QList<double> widths;      // millimetres, one per cell
    QList<int> leftAligned;    // cells read from the left; the rest are numbers
    bool bold = false;
    bool alert = false;        // a fail, drawn in red
    int table = -1;            // a row's table: its head repeats on the page the rows go on to
    bool keepWithNext = false; // a heading or a table's head never ends a page
};

// Every item of the certificate, issued on that date.
QList<Item> Items(const RunRecord &run, const QDate &issued);
// An item's words: its text, or its cells joined by " | ".
QString TextOf(const Item &item);

// Pages as the items' indices, given each item's height and the page's: an item goes
// to the next page where it does not fit, taking the headings kept with it along, and
// a table going on to a new page starts it with its head again.
QList<QList<int>> Paginate(const QList<Item> &items, const QList<int> &heights, int pageHeight);

// The certificate's number: the run's own, so two workstations never issue the same.
QString Number(const RunRecord &run);
// The line on top of every page: "Сертификат калибровки № … · стр. 2 из 3".
QString PageMark(const QString &number, int page, int pages);

// The table widths the certificate uses fit the page's 180 mm.
constexpr double PageWidthMm = 180;

} // namespace CertificateLayout
