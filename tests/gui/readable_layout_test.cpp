// Layouts a user can read: nothing the engineer needs is cut off, and what must
// stay narrow keeps its whole text in a tool tip.
#include "gui/kalibr_window_fixture.h"
#include "records/calibration_records.h"
#include "records/live_log.h"
#include "support/locale_guard.h"
#include "ui/calibration/form_show_curve.h"
#include "ui/calibration/live_chart.h"
#include "ui/common/link_status_bar.h"
#include "ui/common/ui_fonts.h"
#include "ui/records/form_history.h"
#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QToolButton>
#include <qcustomplot.h>

namespace {

const QString Ellipsis = QStringLiteral("…");

} // namespace

TEST(StatusPanels, TheFileNameGivesWayInItsMiddleAndTheRestStays)
{
    const QFontMetrics fm(UiFont(8));
    const QString before = QStringLiteral(" /dev/ttyACM0 открыт и доступен · запись: ");
    const QString name = QStringLiteral("kestrolink-20261210-031500.csv");
    const QString after = QStringLiteral(", строк: 12345");
    const QString text = before + name + after;
    const int whole = fm.horizontalAdvance(text);
    const int rest = fm.horizontalAdvance(before + after);

    const QString roomy = TPanelStatusBar::FitText(fm, text, name, whole);
    EXPECT_EQ(roomy, text);

    const QString tight = TPanelStatusBar::FitText(fm, text, name, rest + fm.horizontalAdvance(name) / 2);
    EXPECT_TRUE(tight.startsWith(before + "kes")) << tight.toStdString();
    EXPECT_TRUE(tight.endsWith(".csv" + after)) << tight.toStdString();
    EXPECT_TRUE(tight.contains(Ellipsis));
    EXPECT_LE(fm.horizontalAdvance(tight), rest + fm.horizontalAdvance(name) / 2);

    // No room even for a part of the name: the whole text gives way in its middle,
    // its start and the end of the note stay.
    const QString narrow = TPanelStatusBar::FitText(fm, text, name, rest / 2);
    EXPECT_TRUE(narrow.startsWith(" /dev/")) << narrow.toStdString();
    EXPECT_TRUE(narrow.endsWith("12345")) << narrow.toStdString();
    EXPECT_TRUE(narrow.contains(Ellipsis));
    EXPECT_LE(fm.horizontalAdvance(narrow), rest / 2);
    const QString plain = TPanelStatusBar::FitText(fm, text, QString(), whole - 1);
    EXPECT_TRUE(plain.contains(Ellipsis) && plain.startsWith(" /dev/") && plain.endsWith("12345")) << plain.toStdString();
}

TEST(StatusPanels, MainWindowShowsFiveDigitCountsAndTheLogsName)
{
    MainWindowRig rig;
    QTemporaryDir dir;
    QString error;
    ASSERT_TRUE(rig.form.liveLog().start(dir.filePath("kestrolink-20261210-031500.csv"), &error)) << error.toStdString();
    for (int i = 0; i < 99999; ++i) {
        rig.counters().IncTx();
        rig.counters().IncRx();
    }
    TPanelStatusBar &bar = *rig.form.StatusBar1;
    for (int width : {416, 900}) {
        SCOPED_TRACE(width);
        rig.form.resize(width, 435);
        rig.form.Timer1Timer();
        EXPECT_EQ(bar.panelText(1), "Tx:99999  Rx:99999  ");
        EXPECT_EQ(bar.panelShownText(1), bar.panelText(1));
        const QString shown = bar.panelShownText(0);
        EXPECT_LE(bar.fontMetrics().horizontalAdvance(shown), bar.panelWidth(0) - TPanelStatusBar::TextInset);
        // The name whole, or its end with the count after it.
        EXPECT_TRUE(shown.endsWith(".csv, строк: 0")) << shown.toStdString();
        EXPECT_TRUE(shown.contains(Ellipsis) || shown.contains("запись: kestrolink-20261210-031500.csv"))
            << shown.toStdString();
        EXPECT_EQ(shown.contains(Ellipsis), width < 600) << shown.toStdString();
    }
    EXPECT_EQ(bar.panelToolTip(0), bar.panelText(0).trimmed());
    rig.form.liveLog().stop();
}

TEST_F(KalibrWindow, VerificationCellsKeepTheirWholeTextInTheToolTip)
{
    const struct
    {
        int column;
        const char *text;
    } cells[] = {{Verification::Etalon, "12345,6789012"},
                 {Verification::DeltaT, "-1234,5678"},
                 {Verification::Comment, "длинное примечание о точке поверки"},
                 {Verification::Etalon, ""}};
    const QTableWidget *grid = poverka()->StringGrid1;
    for (const auto &c : cells) {
        const QString text = QString::fromUtf8(c.text);
        poverka()->setCell(c.column, 2, text);
        const QTableWidgetItem *item = grid->item(1, c.column - 1);
        EXPECT_EQ(item->data(Qt::ToolTipRole).toString(), text);
        // The column keeps its width: the tool tip is what shows the rest.
        EXPECT_EQ(grid->columnWidth(c.column - 1), c.column == Verification::Comment ? 100 : 50);
    }
}

TEST_F(KalibrWindow, ChartLegendsAreNeverCutByTheCornerButtons)
{
    form->PageControl1->setCurrentWidget(poverka());
    TLiveChart *chart = poverka()->Chart_Rashod_Poverka;
    for (int width : {700, 1000, 1600}) {
        SCOPED_TRACE(width);
        form->resize(width, 700);
        ASSERT_TRUE(EventuallyTrue([&] { return form->width() == width && chart->isVisible(); }, 10000));
        QTest::qWait(50);
        chart->redrawNow();
        const QRect legend = chart->legend->outerRect();
        const QSize content = chart->legend->item(0)->minimumOuterSizeHint();
        EXPECT_EQ(chart->legend->itemCount(), 1);
        EXPECT_TRUE(chart->rect().contains(legend)) << legend.x() << "," << legend.width();
        // The caption's own box lies whole inside the legend, clear of every button.
        const QRect caption = chart->legend->item(0)->outerRect();
        EXPECT_GE(caption.width(), content.width());
        EXPECT_TRUE(legend.contains(caption));
        for (QToolButton *b : chart->findChildren<QToolButton *>())
            EXPECT_FALSE(b->geometry().intersects(caption)) << b->objectName().toStdString();
        for (QPushButton *b : chart->findChildren<QPushButton *>())
            EXPECT_FALSE(b->geometry().intersects(caption)) << b->objectName().toStdString();
    }
}

TEST(CurveViewer, HasAxisTitlesAndExportsItsPointsAndPicture)
{
    LocaleGuard locale(LocaleGuard::comma());
    TFormCurveCreateData d;
    d.B = 1;
    d.Qmax = 100;
    for (int k = 0; k < 13; ++k) {
        d.Pr[size_t(k)] = float(-600 + 100 * k);
        d.Et[size_t(k)] = float(-600 + 100 * k);
    }
    d.Et[12] = 601;
    QWidget owner;
    auto *viewer = new TForm_Show_Curve(&owner);
    viewer->Initialize(d);
    viewer->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(viewer));
    EXPECT_EQ(viewer->Chart_Curve->xAxis->label(), "Δt (нс)");
    EXPECT_EQ(viewer->Chart_Curve->yAxis->label(), "Расход (кг/ч)");
    ASSERT_NE(viewer->Button_Export, nullptr);
    EXPECT_EQ(viewer->Button_Export->objectName(), "Chart_Curve_Export");
    EXPECT_EQ(viewer->Button_Export->text(), "Экспорт");
    EXPECT_TRUE(viewer->Button_Export->isVisible());
    EXPECT_EQ(viewer->Button_Export->menu()->actions().size(), 3);

    QTemporaryDir dir;
    QString error;
    ASSERT_TRUE(viewer->exportTo(dir.filePath("curve.csv"), &error)) << error.toStdString();
    QFile csv(dir.filePath("curve.csv"));
    ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
    const QByteArray bytes = csv.readAll();
    EXPECT_TRUE(bytes.startsWith("\xEF\xBB\xBF")) << "spreadsheets read UTF-8 by its mark";
    const QStringList lines = QString::fromUtf8(bytes.mid(3)).split("\r\n", Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 1 + 101 + 13);
    EXPECT_EQ(lines[0], "Ряд;Δt (нс);Расход (кг/ч);Отклонение от полинома (% Q Max)");
    EXPECT_EQ(lines[1], "полином;-600;-600;");
    EXPECT_EQ(lines[101], "полином;600;600;");
    EXPECT_EQ(lines[102], "исходные точки;-600;-600;0,000%");
    EXPECT_EQ(lines[114], "исходные точки;600;601;1,000%");
    ASSERT_TRUE(viewer->exportTo(dir.filePath("curve.png"), &error)) << error.toStdString();
    QFile png(dir.filePath("curve.png"));
    ASSERT_TRUE(png.open(QIODevice::ReadOnly));
    EXPECT_TRUE(png.read(4).startsWith("\x89PNG"));
}

TEST(HistoryColumns, FitTheirTextsAndTheNoteStaysInSight)
{
    QTemporaryDir dir;
    MeterRig rig;
    TCalibrationRecords records(*rig.dm, std::make_unique<TRecordStore>(dir.filePath("s.sqlite")));
    Snapshot s;
    s.takenUtc = QDateTime::currentDateTimeUtc();
    s.port = QStringLiteral("/dev/serial/by-id/usb-Velnor_KESTRO_0042-if00");
    s.reason = SnapshotReason::BeforeThermometerSave;
    s.note = QStringLiteral("перед заменой платы");
    for (CalibrationArea a : AllCalibrationAreas())
        s.areas.insert(a, QVector<quint16>(AreaSpecOf(a).registerCount(), 1));
    ASSERT_GT(records.store().add(s), 0);
    TForm_History history(*rig.dm, records);
    history.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&history));
    const QTableWidget *grid = history.Grid_Snapshots;
    const auto needs = [grid](int col) {
        return qMax(static_cast<const QAbstractItemView *>(grid)->sizeHintForColumn(col),
                    grid->horizontalHeader()->sectionSizeHint(col));
    };
    for (int width : {1400, 900, 640}) {
        SCOPED_TRACE(width);
        history.resize(width, 640);
        ASSERT_TRUE(EventuallyTrue([&] { return history.width() == width; }, 10000));
        QTest::qWait(50);
        const int noteLeft = grid->columnViewportPosition(5);
        EXPECT_LE(noteLeft + 100, grid->viewport()->width()) << "the note is out of sight";
        for (int col : {0, 1}) // short texts are never cut
            EXPECT_GE(grid->columnWidth(col), needs(col)) << col;
        for (int col = 0; col < 6; ++col)
            EXPECT_EQ(grid->item(0, col)->toolTip(), grid->item(0, col)->text());
    }
    // Room enough: every column as wide as its text.
    history.resize(2400, 640);
    ASSERT_TRUE(EventuallyTrue([&] { return history.width() == 2400; }, 10000));
    for (int col = 0; col < 5; ++col)
        EXPECT_GE(grid->columnWidth(col), needs(col)) << col;
}

TEST_F(KalibrWindow, MirrorQuestionIsWholeAndCentredOnTheCalibrationWindow)
{
    form->move(200, 100);
    form->resize(1000, 700);
    flow()->Edit_Q_Pribor[6]->setText(QStringLiteral("0"));
    QRect dialogRect, dialogFrame, labelRect;
    QSize labelNeeds;
    WhenDialogShows([&](QDialog *d) {
        dialogRect = d->geometry();
        dialogFrame = d->frameGeometry();
        const QLabel *label = d->findChild<QLabel *>();
        labelRect = label->geometry();
        labelNeeds = label->sizeHint();
        if (label->wordWrap())
            labelNeeds.setHeight(label->heightForWidth(label->width()));
        d->reject();
    });
    form->N1Click();
    ASSERT_TRUE(dialogRect.isValid());
    EXPECT_EQ(dialogRect.size(), QSize(300, 210));
    EXPECT_LE((dialogRect.center() - form->geometry().center()).manhattanLength(), 2);
    EXPECT_LE((dialogFrame.center() - form->frameGeometry().center()).manhattanLength(), 2);
    EXPECT_EQ(labelRect.topLeft(), QPoint(20, 20));
    EXPECT_TRUE(QRect(QPoint(0, 0), dialogRect.size()).contains(labelRect));
    EXPECT_LE(labelRect.bottom(), 50) << "the label runs into the first button";
    EXPECT_GE(labelRect.height(), labelNeeds.height());
    EXPECT_TRUE(labelRect.width() >= labelNeeds.width() || labelNeeds.width() > 260);
}
