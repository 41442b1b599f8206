#include "ui/calibration/verification_grid.h"
#include "procedure/verification_table.h"
#include <QHeaderView>
#include <QPainter>
#include <QTableWidget>

void TVerificationCellPainter::paint(QPainter *painter, const QStyleOptionViewItem &option,
                                     const QModelIndex &index) const
{
    painter->save();
    painter->fillRect(option.rect, Qt::white);
    painter->setClipRect(option.rect);
    painter->setPen(option.palette.color(QPalette::Text));
    painter->setFont(option.font);
    painter->drawText(option.rect, int(Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap), index.data().toString());
    painter->restore();
}

namespace {

// The columns are narrow on purpose; a cell's whole text is its tool tip.
class TTextTipItem : public QTableWidgetItem
{
public:
    using QTableWidgetItem::QTableWidgetItem;
    QVariant data(int role) const override
    {
        return QTableWidgetItem::data(role == Qt::ToolTipRole ? Qt::DisplayRole : role);
    }
    QTableWidgetItem *clone() const override { return new TTextTipItem(*this); }
};

} // namespace

void PrepareVerificationGrid(QTableWidget &grid)
{
    using namespace Verification;
    grid.setColumnCount(Columns);
    grid.setRowCount(Rows);
    grid.setHorizontalHeaderLabels({QStringLiteral("Эталон"), QStringLiteral("Прибор"), QStringLiteral("Δt"),
                                    QStringLiteral("Погрешн.\nабсолют."), QStringLiteral("Погрешн.\nотносит. %"),
                                    QStringLiteral("Погрешн.\nпривед. %"), QStringLiteral("примечание")});
    QStringList numbers;
    for (int r = 1; r <= Rows; ++r)
        numbers << QString::number(r);
    grid.setVerticalHeaderLabels(numbers);

    // The header row and the number column are the grid's fixed cells.
    const QString fixed = QStringLiteral("QHeaderView::section { background-color: rgb(166, 202, 240);"
                                         " padding: 0px; border: 0px; border-right: 1px solid gray;"
                                         " border-bottom: 1px solid gray; }");
    grid.horizontalHeader()->setStyleSheet(fixed);
    grid.verticalHeader()->setStyleSheet(fixed);
    grid.horizontalHeader()->setDefaultAlignment(Qt::AlignHCenter | Qt::AlignTop);
    grid.verticalHeader()->setDefaultAlignment(Qt::AlignHCenter | Qt::AlignTop);
    grid.horizontalHeader()->setMinimumSectionSize(1);
    grid.verticalHeader()->setMinimumSectionSize(1);
    grid.horizontalHeader()->setFixedHeight(30);
    grid.verticalHeader()->setFixedWidth(30);
    grid.horizontalHeader()->setDefaultSectionSize(66);
    grid.verticalHeader()->setDefaultSectionSize(17);
    grid.verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    grid.horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    for (int c : {Etalon, Pribor, DeltaT})
        grid.setColumnWidth(c - 1, 50);
    grid.setColumnWidth(Comment - 1, 100);
    grid.setShowGrid(true);
    grid.setWordWrap(true);
    grid.setItemDelegate(new TVerificationCellPainter(&grid));
    grid.setSelectionMode(QAbstractItemView::SingleSelection);
    grid.setEditTriggers(QAbstractItemView::CurrentChanged | QAbstractItemView::DoubleClicked
                         | QAbstractItemView::AnyKeyPressed | QAbstractItemView::SelectedClicked);

    for (int r = 0; r < Rows; ++r) {
        for (int c = 0; c < Columns; ++c) {
            auto *item = new TTextTipItem;
            const bool error = c + 1 == Absolute || c + 1 == Relative || c + 1 == Reduced;
            // The error columns are the program's: they can be neither selected nor typed in.
            if (error)
                item->setFlags(Qt::ItemIsEnabled);
            grid.setItem(r, c, item);
        }
    }
}
