#pragma once
// Draws the data cells of the verification table: white, left-aligned, wrapped
// at word boundaries, from the cell's corner without padding, with no selection
// highlight. A text of any length stays inside its cell. (The header row and the
// number column are the header views, light blue and centred.)
#include <QStyledItemDelegate>

class QTableWidget;

class TVerificationCellPainter : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
};

// Header texts, widths, heights, the painter, the error columns 4–6 that
// cannot be selected, and cells whose tool tip is their whole text.
void PrepareVerificationGrid(QTableWidget &grid);
