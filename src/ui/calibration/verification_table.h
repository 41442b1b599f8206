#pragma once
// The verification table's arithmetic and its spreadsheet text, over cells
// addressed as the grid shows them: columns 1..7, rows 1..15. No widgets here.
#include <QString>

namespace Verification {

constexpr int Rows = 15;
constexpr int Columns = 7;
enum Column { Etalon = 1, Pribor = 2, DeltaT = 3, Absolute = 4, Relative = 5, Reduced = 6, Comment = 7 };

class Cells
{
public:
    virtual ~Cells() = default;
    virtual QString cell(int column, int row) const = 0;
    virtual void setCell(int column, int row, const QString &text) = 0;
};

// Fills the three error columns. Returns the message to show when a value does
// not convert (the rows before it keep their new errors), or an empty text.
QString RecalculateErrors(Cells &cells, const QString &qMaxText);
// Header line and all 15 rows, tab-separated, each line ended by CR LF.
QString SpreadsheetText(const Cells &cells);

} // namespace Verification
