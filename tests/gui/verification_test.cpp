// The verification tab: errors, the spreadsheet copy, the add-row dialog, the grid.
#include "gui/kalibr_window_fixture.h"
#include "support/locale_guard.h"
#include "ui/calibration/form_dialog_add_row.h"
#include "procedure/verification_table.h"
#include "ui/common/labeled_edit.h"
#include <QClipboard>
#include <QComboBox>
#include <QHeaderView>
#include <QMap>
#include <QTableWidget>

namespace {

struct MapCells : Verification::Cells
{
    QMap<QPair<int, int>, QString> cells;
    QString cell(int c, int r) const override { return cells.value({c, r}); }
    void setCell(int c, int r, const QString &t) override { cells[{c, r}] = t; }
    QStringList row(int r) const
    {
        QStringList out;
        for (int c = 1; c <= 7; ++c)
            out << cell(c, r);
        return out;
    }
};

} // namespace

TEST(VerificationErrors, AbsoluteRelativeReducedAndWhereTheyStop)
{
    LocaleGuard locale(LocaleGuard::comma());
    const struct
    {
        const char *name;
        QString qMax;
        QStringList row1, row2; // columns 1..7 before
        QString message;
        QStringList after1, after2;
    } cases[] = {
        {"all three", "2000", {"1000", "1005", "", "", "", "", ""}, {}, "",
         {"1000", "1005", "", "5,000", "0,500%", "0,250%", ""}, {"", "", "", "", "", "", ""}},
        {"reference 0", "100", {"0", "3", "", "", "x", "", ""}, {}, "",
         {"0", "3", "", "3,000", "", "3,000%", ""}, {"", "", "", "", "", "", ""}},
        {"Q Max 0", "0", {"1000", "990", "", "", "", "y", ""}, {}, "",
         {"1000", "990", "", "-10,000", "-1,000%", "", ""}, {"", "", "", "", "", "", ""}},
        {"comment only, point typed", "100", {"", "", "", "", "", "", "note"}, {"10.5", "11", "", "", "", "", ""}, "",
         {"", "", "", "", "", "", "note"}, {"10,5", "11", "", "0,500", "4,762%", "0,500%", ""}},
        {"device empty stops", "100", {"5", "", "", "", "", "", ""}, {"1", "2", "", "", "", "", ""},
         "В строке № 1, столбец \"Прибор\" не число!",
         {"5", "", "", "", "", "", ""}, {"1", "2", "", "", "", "", ""}},
        {"reference bad stops there", "100", {"1", "2", "", "", "", "", ""}, {"a", "2", "", "", "", "", ""},
         "В строке № 2, столбец \"Эталон\" не число!",
         {"1", "2", "", "1,000", "100,000%", "1,000%", ""}, {"a", "2", "", "", "", "", ""}},
        {"Q Max takes no point", "1000.5", {"1", "2", "", "", "", "", ""}, {}, "Правильно введите значение \"Q Max\".",
         {"1", "2", "", "", "", "", ""}, {"", "", "", "", "", "", ""}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        MapCells cells;
        for (int col = 1; col <= 7; ++col) {
            cells.setCell(col, 1, c.row1.value(col - 1));
            cells.setCell(col, 2, c.row2.value(col - 1));
        }
        EXPECT_EQ(Verification::RecalculateErrors(cells, c.qMax), c.message);
        EXPECT_EQ(cells.row(1), c.after1);
        EXPECT_EQ(cells.row(2), c.after2);
    }
}

// An error shown exactly as large as the tolerance is within it: "0,200%" against
// ±0.2 % is "годен" (a float read of the text used to exceed the double 0.2).
TEST(VerificationErrors, VerdictOnTheToleranceIsFitAndJustOverIsNot)
{
    const struct
    {
        const char *relative, *reduced;
        double tolerance;
        std::optional<bool> fit;
    } cases[] = {
        {"0,200%", "", 0.2, true},   {"-0,200%", "", 0.2, true},  {"0,201%", "", 0.2, false},
        {"-0,201%", "", 0.2, false}, {"0,100%", "", 0.1, true},   {"0,101%", "", 0.1, false},
        {"0,300%", "9,000%", 0.3, true}, // the relative error decides where there is one
        {"", "0,300%", 0.3, true},       // zero flow: the reduced one
        {"", "-0,301%", 0.3, false},     {"1,000%", "", 1.0, true}, {"", "", 0.2, std::nullopt},
    };
    for (const QLocale &l : {LocaleGuard::comma(), LocaleGuard::point()}) {
        LocaleGuard locale(l);
        for (const auto &c : cases) {
            SCOPED_TRACE(std::string(c.relative) + "|" + c.reduced + " " + l.name().toStdString());
            MapCells cells;
            cells.setCell(Verification::Relative, 1, QString::fromUtf8(c.relative).replace(',', l.decimalPoint()));
            cells.setCell(Verification::Reduced, 1, QString::fromUtf8(c.reduced).replace(',', l.decimalPoint()));
            EXPECT_EQ(Verification::RowVerdict(cells, 1, c.tolerance), c.fit);
            EXPECT_EQ(Verification::Summarize(cells, c.tolerance).fit(), c.fit.value_or(false));
        }
    }
}

TEST(VerificationErrors, SpreadsheetTextHasAHeaderAndFifteenRows)
{
    MapCells cells;
    cells.setCell(1, 1, "1000,000");
    cells.setCell(7, 1, "первая");
    cells.setCell(4, 15, "x");
    const QString text = Verification::SpreadsheetText(cells);
    const QStringList lines = text.split("\r\n");
    ASSERT_EQ(lines.size(), 17); // 16 lines, each ended by CR LF
    EXPECT_EQ(lines[0], "Эталон\tПрибор\tΔt\tПогрешн. абсолют.\tПогрешн. относит. %\tПогрешн. привед. %\tПпримечание");
    EXPECT_EQ(lines[1], "1000,000\t\t\t\t\t\tпервая");
    EXPECT_EQ(lines[2], "\t\t\t\t\t\t");
    EXPECT_EQ(lines[15], "\t\t\tx\t\t\t");
    EXPECT_EQ(lines[16], "");
    EXPECT_EQ(text.count('\n'), 16);
}

TEST_F(KalibrWindow, VerificationGridIsLaidOutAndErrorColumnsCannotBeSelected)
{
    QTableWidget *grid = poverka()->StringGrid1;
    EXPECT_EQ(grid->columnCount(), 7);
    EXPECT_EQ(grid->rowCount(), 15);
    EXPECT_EQ(grid->horizontalHeaderItem(3)->text(), "Погрешн.\nабсолют.");
    EXPECT_EQ(grid->verticalHeaderItem(14)->text(), "15");
    const int widths[] = {50, 50, 50, 66, 66, 66, 100};
    for (int c = 0; c < 7; ++c) {
        EXPECT_EQ(grid->columnWidth(c), widths[c]) << c;
        EXPECT_EQ(bool(grid->item(0, c)->flags() & Qt::ItemIsSelectable), c < 3 || c == 6) << c;
    }
    EXPECT_EQ(grid->verticalHeader()->width(), 30);
    EXPECT_EQ(grid->horizontalHeader()->height(), 30);
    EXPECT_EQ(grid->rowHeight(0), 17);

    // A text of any length stays inside its cell.
    poverka()->setCell(1, 1, QString(300, 'W'));
    grid->resize(600, 400);
    const QImage image = grid->grab().toImage();
    const QRect next = grid->visualItemRect(grid->item(0, 1)).translated(grid->viewport()->pos());
    for (int x = next.left() + 2; x < next.right() - 1; ++x)
        EXPECT_EQ(image.pixelColor(x, next.center().y()), QColor(Qt::white)) << x;
}

TEST_F(KalibrWindow, WriteRowAsksOnlyOverDataAndTakesTheAverages)
{
    LocaleGuard locale(LocaleGuard::comma());
    poverka()->Edit_Q_Poverka_Qm_Sred->setText("1003,5");
    poverka()->Edit_Q_Poverka_Ns_usred->setText("2,01");
    poverka()->ComboBox1->setCurrentIndex(2);
    poverka()->setCell(7, 3, "old comment");
    // Empty reference, then a text, then 1000.5 typed with a point.
    WhenDialogShows([&](QDialog *d) {
        EXPECT_EQ(d->windowTitle(), "Добавление строки");
        auto *dialog = static_cast<TForm_dialog_add_row *>(d);
        dialog->Button_OK->click();
        dialog->LE_Etalon->setText("abc");
        dialog->Button_OK->click();
        dialog->LE_Etalon->setText("1000.5");
        dialog->LE_Comment->setText("  точка 3  ");
        dialog->Button_OK->click();
    });
    poverka()->BT_export_to_StringGrid->click();
    ASSERT_EQ(rig.boxes.requests.size(), 2); // a comment alone asks nothing
    EXPECT_EQ(rig.boxes.requests[0].text, "Ошибка: введите эталонный расход!");
    EXPECT_EQ(rig.boxes.requests[1].text, "Ошибка: Значение параметра \"Эталон\" не число!");
    EXPECT_EQ((QStringList{poverka()->cell(1, 3), poverka()->cell(2, 3), poverka()->cell(3, 3), poverka()->cell(7, 3)}),
              (QStringList{"1000,500", "1003,5", "2,01", "точка 3"}));

    // Over data: the question; "No" leaves the row, "OK" then "Отмена" too.
    rig.boxes.requests.clear();
    RecordingPresenter no(QMessageBox::No);
    {
        ScopedMessagePresenter scope(no);
        poverka()->BT_export_to_StringGrid->click();
    }
    ASSERT_EQ(no.requests.size(), 1);
    EXPECT_EQ(no.requests[0].text, "Строка № 3 будет перезаписана?");
    EXPECT_EQ(no.requests[0].icon, QMessageBox::Warning);
    EXPECT_EQ(no.requests[0].defaultButton, QMessageBox::No); // Enter keeps the row
    WhenDialogShows([](QDialog *d) { ClickButton(d, "Отмена"); });
    poverka()->BT_export_to_StringGrid->click();
    EXPECT_EQ(rig.boxes.requests.size(), 1);
    EXPECT_EQ(poverka()->cell(1, 3), "1000,500");
}

TEST_F(KalibrWindow, ClearAsksAndCopyPutsTheTableOnTheClipboard)
{
    poverka()->setCell(1, 1, "10");
    poverka()->setCell(7, 15, "end");
    poverka()->Button9->click();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), Verification::SpreadsheetText(*poverka()));
    EXPECT_TRUE(QGuiApplication::clipboard()->text().endsWith("\t\t\t\t\t\tend\r\n"));

    RecordingPresenter no(QMessageBox::No);
    {
        ScopedMessagePresenter scope(no);
        poverka()->Button12->click();
    }
    EXPECT_EQ(no.requests.at(0).text, "Будет очищена вся таблица. Продолжить");
    EXPECT_EQ(no.requests.at(0).defaultButton, QMessageBox::No);
    EXPECT_EQ(poverka()->cell(1, 1), "10");
    poverka()->Button12->click();
    EXPECT_EQ(poverka()->cell(1, 1), "");
    EXPECT_EQ(poverka()->cell(7, 15), "");
    EXPECT_EQ(poverka()->StringGrid1->verticalHeaderItem(0)->text(), "1");
}
