#include "procedure/verification_table.h"
#include "protocol/number_text.h"
#include <QLocale>
#include <cmath>

namespace Verification {

namespace {

QString percent(float value)
{
    return FormatFloatPattern(double(value), NumPattern::P0_000) + QLatin1Char('%');
}

// The typed point becomes the locale's separator, in the cell too.
bool readCell(Cells &cells, int column, int row, float &value)
{
    QString text = cells.cell(column, row);
    text.replace(QLatin1Char('.'), QLocale().decimalPoint());
    cells.setCell(column, row, text);
    try {
        value = ParseLocaleFloat(text);
        return true;
    } catch (const EConvertError &) {
        return false;
    }
}

} // namespace

PointErrors ErrorsOf(float etalon, float pribor, float qMax)
{
    PointErrors e;
    e.absolute = pribor - etalon;
    if (etalon != 0)
        e.relative = float(double(e.absolute) / double(etalon) * 100);
    if (qMax != 0)
        e.reduced = float(double(e.absolute) / double(qMax) * 100);
    return e;
}

std::optional<bool> PointFits(const PointErrors &errors, double tolerancePercent)
{
    const std::optional<float> judged = errors.relative ? errors.relative : errors.reduced;
    if (!judged)
        return std::nullopt;
    // Through the grid's own text, so a run and the grid never disagree on a limit.
    QString text = FormatFloatPattern(double(*judged), NumPattern::P0_000);
    text.replace(QLocale().decimalPoint(), QStringLiteral("."));
    return std::abs(text.toFloat()) <= float(tolerancePercent);
}

QString RecalculateErrors(Cells &cells, const QString &qMaxText)
{
    float qMax = 0;
    try {
        qMax = ParseLocaleFloat(qMaxText);
    } catch (const EConvertError &) {
        return QStringLiteral("Правильно введите значение \"Q Max\".");
    }
    for (int r = 1; r <= Rows; ++r) {
        if (cells.cell(Etalon, r).isEmpty() && cells.cell(Pribor, r).isEmpty())
            continue;
        float et = 0, pr = 0;
        if (!readCell(cells, Etalon, r, et))
            return QStringLiteral("В строке № %1, столбец \"Эталон\" не число!").arg(r);
        if (!readCell(cells, Pribor, r, pr))
            return QStringLiteral("В строке № %1, столбец \"Прибор\" не число!").arg(r);
        const PointErrors e = ErrorsOf(et, pr, qMax);
        cells.setCell(Absolute, r, FormatFloatPattern(double(e.absolute), NumPattern::P0_000));
        cells.setCell(Relative, r, e.relative ? percent(*e.relative) : QString());
        cells.setCell(Reduced, r, e.reduced ? percent(*e.reduced) : QString());
    }
    return {};
}

std::optional<bool> RowVerdict(const Cells &cells, int row, double tolerancePercent)
{
    for (Column column : {Relative, Reduced}) {
        QString text = cells.cell(column, row);
        if (!text.endsWith(QLatin1Char('%')))
            continue;
        text.chop(1);
        try {
            // Both sides as floats: "0,200%" against ±0.2 % is on the limit, and
            // a double 0.2 is less than the float the text reads as.
            return std::abs(ParseLocaleFloat(text)) <= float(tolerancePercent);
        } catch (const EConvertError &) {
            return std::nullopt;
        }
    }
    return std::nullopt;
}

Summary Summarize(const Cells &cells, double tolerancePercent)
{
    Summary s;
    for (int r = 1; r <= Rows; ++r) {
        if (const std::optional<bool> fit = RowVerdict(cells, r, tolerancePercent)) {
            ++s.judged;
            s.passed += *fit ? 1 : 0;
        }
    }
    return s;
}

QString VerdictText(bool fit)
{
    return fit ? QStringLiteral("годен") : QStringLiteral("не годен");
}

QString SummaryLine(const Summary &summary, double tolerancePercent)
{
    if (summary.judged == 0)
        return QStringLiteral("Итог: нет рассчитанных точек");
    return QStringLiteral("Итог: %1 — %2 из %3 точек в пределах ±%4 %")
        .arg(VerdictText(summary.fit()))
        .arg(summary.passed)
        .arg(summary.judged)
        .arg(QLocale().toString(tolerancePercent, 'g', 6));
}

QString SpreadsheetText(const Cells &cells)
{
    const QString crlf = QStringLiteral("\r\n");
    QString text = QStringLiteral("Эталон\tПрибор\tΔt\tПогрешн. абсолют.\tПогрешн. относит. %\tПогрешн. привед. %\t"
                                  "Ппримечание")
                   + crlf;
    for (int r = 1; r <= Rows; ++r) {
        for (int c = 1; c <= Columns; ++c) {
            if (c > 1)
                text += QLatin1Char('\t');
            text += cells.cell(c, r);
        }
        text += crlf;
    }
    return text;
}

} // namespace Verification
