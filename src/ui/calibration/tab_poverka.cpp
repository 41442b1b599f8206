#include "ui/calibration/tab_poverka.h"
#include "ui/records/dialog_certificate.h"
#include "ui/calibration/stability_indicator.h"
#include <QLabel>
#include "protocol/number_text.h"
#include "ui/calibration/form_dialog_add_row.h"
#include "ui/calibration/live_chart.h"
#include "ui/calibration/tab_widgets.h"
#include "ui/calibration/verification_grid.h"
#include "ui/common/clipboard_text.h"
#include "ui/common/handler_connect.h"
#include "ui/common/message_presenter.h"
#include <QClipboard>
#include <QComboBox>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QToolButton>
#include <QVBoxLayout>

using namespace TabWidgets;

namespace {
constexpr int PanelWidth = 500;

// Both questions are about losing what is in the table: Enter keeps it.
QMessageBox::StandardButton ask(QWidget *parent, const QString &question)
{
    return ShowMessage(parent, {QMessageBox::Warning, parent->window()->windowTitle(), question,
                                QMessageBox::Ok | QMessageBox::No, QMessageBox::No});
}

void tell(QWidget *parent, const QString &message)
{
    ShowMessage(parent, {QMessageBox::NoIcon, parent->window()->windowTitle(), message, QMessageBox::Ok,
                         QMessageBox::Ok});
}
} // namespace

TTabPoverka::TTabPoverka(bool &pollFlag, QWidget *parent) : QWidget(parent), m_pollFlag(pollFlag)
{
    buildControls();
    ConnectClicks<TTabPoverka>(this, {
        {BT_export_to_StringGrid, &TTabPoverka::BT_export_to_StringGridClick},
        {BT_Recalc, &TTabPoverka::BT_RecalcClick},
        {Button12, &TTabPoverka::Button12Click},
        {Button9, &TTabPoverka::Button9Click},
        {Button3, &TTabPoverka::Button3Click},
        {Button4, &TTabPoverka::Button4Click},
        {Button5, &TTabPoverka::Button5Click},
        {Button6, &TTabPoverka::Button6Click},
        {Button8, &TTabPoverka::Button8Click},
        {Button10, &TTabPoverka::Button10Click},
    });
}

void TTabPoverka::buildControls()
{
    auto *panel = new QWidget(this);
    panel->setFixedWidth(PanelWidth);
    auto *column = new QVBoxLayout(panel);
    column->setContentsMargins(8, 6, 8, 6);
    column->setSpacing(6);
    column->addWidget(Title(panel, QStringLiteral("Поверка прибора")));

    auto *qMax = new QHBoxLayout;
    Edit_Poverka_Q_Max = Box(panel, "Edit_Poverka_Q_Max", QStringLiteral("Q Max (кг/ч)"), false);
    Button1 = Button(panel, "Button1", QStringLiteral("Прочитать"), QStringLiteral("Прочитать Q Max и таблицу"));
    qMax->addWidget(Caption(panel, QStringLiteral("Q Max (кг/ч)"), Edit_Poverka_Q_Max));
    qMax->addWidget(Edit_Poverka_Q_Max, 1);
    qMax->addWidget(Button1);
    column->addLayout(qMax);

    StringGrid1 = new QTableWidget(panel);
    StringGrid1->setObjectName(QStringLiteral("StringGrid1"));
    StringGrid1->setAccessibleName(QStringLiteral("Таблица поверки"));
    column->addWidget(StringGrid1, 1);

    Button12 = Button(panel, "Button12", QStringLiteral("Очистить"), QStringLiteral("Очистить таблицу"));
    BT_Recalc = Button(panel, "BT_Recalc", QStringLiteral("Пересчитать"), QStringLiteral("Пересчитать погрешности"));
    Button9 = Button(panel, "Button9", QStringLiteral("Скопировать (для excel)"));
    column->addLayout(Row({Button12, BT_Recalc, Button9}));
    Label_Verdict = new QLabel(panel);
    Label_Verdict->setObjectName(QStringLiteral("Label_Verdict"));
    Label_Verdict->setWordWrap(true);
    Button_Certificate = Button(panel, "Button_Certificate", QStringLiteral("Протокол поверки…"),
                                QStringLiteral("Протокол поверки в PDF"));
    column->addLayout(Row({Label_Verdict, Button_Certificate}));

    auto *live = new QGridLayout;
    live->setVerticalSpacing(2);
    std::vector<QLineEdit *> boxes;
    std::vector<QToolButton *> copies;
    AddLiveRows(panel, live,
                {{"Δt (нс)", "Edit_Q_Poverka_Ns", nullptr},
                 {"Δt средн.", "Edit_Q_Poverka_Ns_usred", "Button5"},
                 {"Q (кг/ч)", "Edit_Q_Poverka_Qm", nullptr},
                 {"Q средн.", "Edit_Q_Poverka_Qm_Sred", "Button6"},
                 {"время усреднения (сек)", "Edit_Q_Poverka_time", "Button8"}},
                boxes, copies, false);
    Edit_Q_Poverka_Ns = boxes[0];
    Edit_Q_Poverka_Ns_usred = boxes[1];
    Edit_Q_Poverka_Qm = boxes[2];
    Edit_Q_Poverka_Qm_Sred = boxes[3];
    Stability_Flow_Qm = new TStabilityIndicator(FlowMassStability(), panel);
    live->addWidget(Stability_Flow_Qm, 3, 3);
    Edit_Q_Poverka_time = boxes[4];
    Button5 = copies[1];
    Button6 = copies[3];
    Button8 = copies[4];
    column->addLayout(live);

    Button2 = Button(panel, "Button2", QStringLiteral("Старт усред."), QStringLiteral("Старт усреднения"));
    Button11 = Button(panel, "Button11", QStringLiteral("Стоп усред."), QStringLiteral("Стоп усреднения"));
    Button7 = Button(panel, "Button7", QStringLiteral("Сброс усреднения"));
    column->addLayout(Row({Button2, Button11, Button7}));

    auto *write = new QHBoxLayout;
    BT_export_to_StringGrid =
        Button(panel, "BT_export_to_StringGrid", QStringLiteral("Записать данные в таблицу. Строка №"));
    ComboBox1 = new QComboBox(panel);
    ComboBox1->setObjectName(QStringLiteral("ComboBox1"));
    ComboBox1->setAccessibleName(QStringLiteral("Строка №"));
    for (int r = 1; r <= Verification::Rows; ++r)
        ComboBox1->addItem(QString::number(r));
    write->addWidget(BT_export_to_StringGrid, 1);
    write->addWidget(ComboBox1);
    column->addLayout(write);

    Chart_Rashod_Poverka = new TLiveChart(QStringLiteral("Chart_Rashod_Poverka"), this);
    Button3 = Button(Chart_Rashod_Poverka, "Button3", QStringLiteral("Старт опрос"));
    Button4 = Button(Chart_Rashod_Poverka, "Button4", QStringLiteral("Стоп опрос"));
    Button10 = Button(Chart_Rashod_Poverka, "Button10", QStringLiteral("Сброс графика"));
    Chart_Rashod_Poverka->setCornerButtons({Button3, Button4, Button10});

    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(panel);
    row->addWidget(Chart_Rashod_Poverka, 1);
}

void TTabPoverka::prepareGrid()
{
    PrepareVerificationGrid(*StringGrid1);
}

void TTabPoverka::prepareChart()
{
    Chart_Rashod_Poverka->addSeries(QStringLiteral("Расход массовый"));
}

QString TTabPoverka::cell(int column, int row) const
{
    const QTableWidgetItem *item = StringGrid1->item(row - 1, column - 1);
    return item ? item->text() : QString();
}

void TTabPoverka::setCell(int column, int row, const QString &text)
{
    if (QTableWidgetItem *item = StringGrid1->item(row - 1, column - 1))
        item->setText(text);
}

void TTabPoverka::BT_export_to_StringGridClick()
{
    using namespace Verification;
    const int r = ComboBox1->currentIndex() + 1;
    const bool taken = !cell(Etalon, r).isEmpty() || !cell(Pribor, r).isEmpty() || !cell(DeltaT, r).isEmpty();
    if (taken && ask(this, QStringLiteral("Строка № %1 будет перезаписана?").arg(r)) != QMessageBox::Ok)
        return;
    TForm_dialog_add_row dialog(window());
    if (dialog.exec() != QDialog::Accepted)
        return;
    setCell(Etalon, r, FormatFloatPattern(double(dialog.FEtalon), NumPattern::P0_000_7h));
    setCell(Pribor, r, Edit_Q_Poverka_Qm_Sred->text());
    setCell(DeltaT, r, Edit_Q_Poverka_Ns_usred->text());
    setCell(Comment, r, dialog.FComment);
}

void TTabPoverka::BT_RecalcClick()
{
    const QString message = Verification::RecalculateErrors(*this, Edit_Poverka_Q_Max->text());
    showVerdict();
    if (!message.isEmpty())
        tell(this, message);
}

void TTabPoverka::showVerdict()
{
    const double tolerance = TDialog_Certificate::RememberedTolerance();
    Label_Verdict->setText(Verification::SummaryLine(Verification::Summarize(*this, tolerance), tolerance));
}

void TTabPoverka::Button12Click()
{
    if (ask(this, QStringLiteral("Будет очищена вся таблица. Продолжить")) != QMessageBox::Ok)
        return;
    for (int r = 1; r <= Verification::Rows; ++r) {
        for (int c = 1; c <= Verification::Columns; ++c)
            setCell(c, r, QString());
    }
    Label_Verdict->clear();
}

void TTabPoverka::Button9Click()
{
    const QString text = Verification::SpreadsheetText(*this);
    CopyToClipboard(text);
    // The clipboard can refuse silently (no display, another owner): say so.
    if (QGuiApplication::clipboard()->text() != text)
        tell(this, QStringLiteral("Ошибка при работе с буфером: ") + QStringLiteral("текст не попал в буфер обмена"));
}

void TTabPoverka::Button3Click()
{
    m_pollFlag = true;
}

void TTabPoverka::Button4Click()
{
    m_pollFlag = false;
}

void TTabPoverka::Button5Click()
{
    CopyToClipboard(Edit_Q_Poverka_Ns_usred->text());
}

void TTabPoverka::Button6Click()
{
    CopyToClipboard(Edit_Q_Poverka_Qm_Sred->text());
}

void TTabPoverka::Button8Click()
{
    CopyToClipboard(Edit_Q_Poverka_time->text());
}

void TTabPoverka::Button10Click()
{
    Chart_Rashod_Poverka->clearSeries();
}

void TTabPoverka::showLiveNow(const TQ_kalibr_Rashod &Q, const QDateTime &t)
{
    Chart_Rashod_Poverka->append(0, t, double(Q.Q_Qm_float));
    Edit_Q_Poverka_Qm->setText(Q.Q_Qm_str);
    m_liveRing.AddValue(Q.Q_Qm_float);
    Stability_Flow_Qm->showState(m_liveRing);
    Edit_Q_Poverka_Ns->setText(Q.Q_Ns_str);
}

void TTabPoverka::showLiveAverages(const TQ_kalibr_Rashod &Q)
{
    Edit_Q_Poverka_Qm_Sred->setText(Q.sred_Qm_val);
    Edit_Q_Poverka_Ns_usred->setText(Q.sred_times_val);
    Edit_Q_Poverka_time->setText(Q.Time_ms);
}
