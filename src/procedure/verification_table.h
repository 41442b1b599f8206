#pragma once
// The verification table's arithmetic and its spreadsheet text, over cells
// addressed as the grid shows them: columns 1..7, rows 1..15. No widgets here.
#include <QString>
#include <optional>

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

// One point's errors from the reference and the meter's reading: absolute
// (meter - reference), relative to the reference and reduced to Q Max, in percent;
// no relative error at a zero reference, no reduced one while Q Max is 0.
struct PointErrors
{
    float absolute = 0;
    std::optional<float> relative;
    std::optional<float> reduced;
};
PointErrors ErrorsOf(float etalon, float pribor, float qMax);
// The verdict the grid gives the same point: the relative error, else the reduced
// one, as its three-decimal text, within the tolerance; none without either.
std::optional<bool> PointFits(const PointErrors &errors, double tolerancePercent);

// Fills the three error columns. Returns the message to show when a value does
// not convert (the rows before it keep their new errors), or an empty text.
QString RecalculateErrors(Cells &cells, const QString &qMaxText);
// A row's verdict against a tolerance in percent, read from the grid's own error
// texts: the relative error, or the reduced one where there is no relative error
// (zero flow); none for a row without either. An error exactly on the tolerance passes.
std::optional<bool> RowVerdict(const Cells &cells, int row, double tolerancePercent);
// "годен" when every judged row passes and at least one was judged, else "не годен".
struct Summary
{
    int judged = 0;
    int passed = 0;
    bool fit() const { return judged > 0 && passed == judged; }
};
Summary Summarize(const Cells &cells, double tolerancePercent);
QString VerdictText(bool fit);
// "Итог: годен — 15 из 15 точек в пределах ±0,2 %".
QString SummaryLine(const Summary &summary, double tolerancePercent);

// Header line and all 15 rows, tab-separated, each line ended by CR LF.
QString SpreadsheetText(const Cells &cells);

} // namespace Verification
