#include "ui/calibration/tab_flow.h"
#include "records/flow_table_save.h"
#include "link/dm1.h"
#include "protocol/number_text.h"
#include "protocol/protokol_usb.h"
#include "records/calibration_records.h"
#include "protocol/flow_table.h"
#include "ui/calibration/filled_fields.h"
#include "ui/calibration/form_show_curve.h"
#include "ui/calibration/live_chart.h"
#include "ui/calibration/stability_indicator.h"
#include "ui/calibration/tab_widgets.h"
#include "ui/common/clipboard_text.h"
#include "ui/common/handler_connect.h"
#include "ui/common/snapshot_guard.h"
#include "ui/common/ui_fonts.h"
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

using namespace TabWidgets;

namespace {
constexpr int PanelWidth = 409;
constexpr quint16 CmdStart = Proto::CmdAverageStart;
constexpr quint16 CmdStop = Proto::CmdAverageStop;
constexpr quint16 CmdReset = Proto::CmdAverageReset;
} // namespace

TTabRashodKalibr::TTabRashodKalibr(TDM_1 &dm, bool &pollFlag, QLineEdit *poverkaQMax, QWidget *parent)
    : QWidget(parent), m_dm(dm), m_pollFlag(pollFlag), m_poverkaQMax(poverkaQMax), m_reads(dm),
      m_tableRead(Proto::readFrame(Proto::FnReadParams, FlowTable::TableRegister, FlowTable::TableCount)),
      m_coefficientsRead(Proto::readFrame(Proto::FnReadData, FlowTable::CoefficientsRegister, FlowTable::CoefficientsCount))
{
    buildControls();
    connectHandlers();
    ShowQPointLabels(0);
    // What the engineer types wins over a table answer still on its way.
    for (QLineEdit *field : tableFields())
        connect(field, &QLineEdit::textEdited, &m_reads, [this] { m_reads.forget(m_tableRead); });
}

void TTabRashodKalibr::buildControls()
{
    auto *panel = new QWidget(this);
    panel->setFixedWidth(PanelWidth);
    auto *column = new QVBoxLayout(panel);
    column->setContentsMargins(8, 6, 8, 6);
    column->setSpacing(5);
    column->addWidget(Title(panel, QStringLiteral("Коэффициенты калибровки расхода")));

    // Coefficients the meter computed (two to a row, so their long texts fit), and Q Max.
    auto *top = new QGridLayout;
    top->setVerticalSpacing(2);
    top->setColumnStretch(1, 1);
    top->setColumnStretch(3, 1);
    const char *coefficientNames[] = {"Edit_Rashod_A", "Edit_Rashod_B", "Edit_Rashod_C", "Edit_Rashod_D"};
    QLineEdit **coefficients[] = {&Edit_Rashod_A, &Edit_Rashod_B, &Edit_Rashod_C, &Edit_Rashod_D};
    for (int i = 0; i < 4; ++i) {
        const QString letter(QChar(u'A' + i));
        *coefficients[i] = Box(panel, coefficientNames[i], QStringLiteral("Коэффициент ") + letter, true);
        top->addWidget(Caption(panel, letter, *coefficients[i]), i / 2, 2 * (i % 2));
        top->addWidget(*coefficients[i], i / 2, 2 * (i % 2) + 1);
    }
    Edit_Q_Max = Box(panel, "Edit_Q_Max", QStringLiteral("Q Max (кг/ч)"), false);
    Edit_Q_Max->setContextMenuPolicy(Qt::NoContextMenu);
    top->addWidget(Caption(panel, QStringLiteral("Q Max (кг/ч)"), Edit_Q_Max), 2, 0, 1, 3, Qt::AlignRight);
    top->addWidget(Edit_Q_Max, 2, 3);
    column->addLayout(top);

    // The thirteen points: caption, reference flow, Δt.
    auto *points = new QGridLayout;
    points->setVerticalSpacing(1);
    points->addWidget(Caption(panel, QStringLiteral("точки проливки")), 0, 0, Qt::AlignRight);
    points->addWidget(Caption(panel, QStringLiteral("Проливная (кг/ч)")), 0, 1, Qt::AlignHCenter);
    points->addWidget(Caption(panel, QStringLiteral("Δt (нс)")), 0, 2, Qt::AlignHCenter);
    for (int n = 1; n <= FlowTable::Points; ++n) {
        const size_t i = size_t(n - 1);
        auto *label = new QLabel(panel);
        label->setObjectName(QStringLiteral("Label_Q_P_%1").arg(n));
        label->setFont(UiFont(8, true));
        label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        label->setMinimumWidth(90);
        Label_Q_P[i] = label;
        const QByteArray etalon = QStringLiteral("Edit_Q_Etalon_%1").arg(n).toUtf8();
        const QByteArray pribor = QStringLiteral("Edit_Q_Pribor_%1").arg(n).toUtf8();
        Edit_Q_Etalon[i] = Box(panel, etalon.constData(), QStringLiteral("Точка %1, проливная (кг/ч)").arg(n), false);
        Edit_Q_Pribor[i] = Box(panel, pribor.constData(), QStringLiteral("Точка %1, Δt (нс)").arg(n), false);
        label->setBuddy(Edit_Q_Etalon[i]);
        points->addWidget(label, n, 0);
        points->addWidget(Edit_Q_Etalon[i], n, 1);
        points->addWidget(Edit_Q_Pribor[i], n, 2);
    }
    column->addLayout(points);
    column->addWidget(RecalcNote(panel));

    Button_read_Rashod_Kf = Button(panel, "Button_read_Rashod_Kf", QStringLiteral("Прочитать"));
    Button_save_Rashod_Kf = Button(panel, "Button_save_Rashod_Kf", QStringLiteral("Сохранить"));
    Button_Show_Curve = Button(panel, "Button_Show_Curve", QStringLiteral("На графике"));
    column->addLayout(Row({Button_read_Rashod_Kf, Button_save_Rashod_Kf, Button_Show_Curve}));

    auto *live = new QGridLayout;
    live->setVerticalSpacing(2);
    std::vector<QLineEdit *> boxes;
    std::vector<QToolButton *> copies;
    AddLiveRows(panel, live,
                {{"Δt (нс) текущее", "Edit_Q_Kalibr_Ns", "Button_Copy_Q_Rashod_Ns"},
                 {"Δt (нс) среднее", "Edit_Q_Kalibr_Ns_usred", "Button_Copy_Q_Rashod_Ns_sred"},
                 {"время усреднения (сек)", "Edit_Q_Kalibr_time", "Button_Copy_Q_Rashod_Time"}},
                boxes, copies, false);
    Edit_Q_Kalibr_Ns = boxes[0];
    Edit_Q_Kalibr_Ns_usred = boxes[1];
    Edit_Q_Kalibr_time = boxes[2];
    Stability_Flow_NS = new TStabilityIndicator(FlowDeltaTStability(), panel);
    live->addWidget(Stability_Flow_NS, 1, 3);
    Button_Copy_Q_Rashod_Ns = copies[0];
    Button_Copy_Q_Rashod_Ns_sred = copies[1];
    Button_Copy_Q_Rashod_Time = copies[2];
    column->addLayout(live);

    Button14 = Button(panel, "Button14", QStringLiteral("Старт усред."), QStringLiteral("Старт усреднения"));
    Button13 = Button(panel, "Button13", QStringLiteral("Стоп усред."), QStringLiteral("Стоп усреднения"));
    Button_Reset_Rashod_kalibr = Button(panel, "Button_Reset_Rashod_kalibr", QStringLiteral("Сброс усреднения"));
    column->addLayout(Row({Button14, Button13, Button_Reset_Rashod_kalibr}));
    column->addStretch(1);

    Chart_Rashod_Kalibr = new TLiveChart(QStringLiteral("Chart_Rashod_Kalibr"), this);
    Button_Start_Rashod_kalibr = Button(Chart_Rashod_Kalibr, "Button_Start_Rashod_kalibr", QStringLiteral("Старт опрос"));
    Button_Stop_Rashod_kalibr = Button(Chart_Rashod_Kalibr, "Button_Stop_Rashod_kalibr", QStringLiteral("Стоп опрос"));
    Button_Reset_Q_Rashod_Kalibr =
        Button(Chart_Rashod_Kalibr, "Button_Reset_Q_Rashod_Kalibr", QStringLiteral("Сброс графика"));
    Chart_Rashod_Kalibr->setCornerButtons(
        {Button_Start_Rashod_kalibr, Button_Stop_Rashod_kalibr, Button_Reset_Q_Rashod_Kalibr});

    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(panel);
    row->addWidget(Chart_Rashod_Kalibr, 1);
}

void TTabRashodKalibr::connectHandlers()
{
    ConnectClicks<TTabRashodKalibr>(this, {
        {Button_read_Rashod_Kf, &TTabRashodKalibr::Button_read_Rashod_KfClick},
        {Button_save_Rashod_Kf, &TTabRashodKalibr::Button_save_Rashod_KfClick},
        {Button_Show_Curve, &TTabRashodKalibr::Button_Show_CurveClick},
        {Button_Start_Rashod_kalibr, &TTabRashodKalibr::Button_Start_Rashod_kalibrClick},
        {Button_Stop_Rashod_kalibr, &TTabRashodKalibr::Button_Stop_Rashod_kalibrClick},
        {Button14, &TTabRashodKalibr::Button14Click},
        {Button13, &TTabRashodKalibr::Button13Click},
        {Button_Reset_Rashod_kalibr, &TTabRashodKalibr::Button_Reset_Rashod_kalibrClick},
        {Button_Reset_Q_Rashod_Kalibr, &TTabRashodKalibr::Button_Reset_Q_Rashod_KalibrClick},
        {Button_Copy_Q_Rashod_Ns, &TTabRashodKalibr::Button_Copy_Q_Rashod_NsClick},
        {Button_Copy_Q_Rashod_Ns_sred, &TTabRashodKalibr::Button_Copy_Q_Rashod_Ns_sredClick},
        {Button_Copy_Q_Rashod_Time, &TTabRashodKalibr::Button_Copy_Q_Rashod_TimeClick},
    });

    // A save shows that it is working until its last write is on the wire.
    connect(&m_dm.pacer(), &TransmitPacer::frameWritten, this, [this](const QByteArray &frame, bool isRead) {
        if (!isRead && m_saveFrames.removeOne(frame) && m_saveFrames.isEmpty())
            saveFinished();
    });
    connect(&m_dm, &TDM_1::portClosedSignal, this, [this] {
        if (saving()) {
            m_saveFrames.clear();
            saveFinished();
        }
    });
}

void TTabRashodKalibr::prepareChart()
{
    Chart_Rashod_Kalibr->addSeries(QStringLiteral("Δt(нс)"));
}

QList<QLineEdit *> TTabRashodKalibr::pointFields() const
{
    QList<QLineEdit *> fields(Edit_Q_Etalon.begin(), Edit_Q_Etalon.end());
    fields.append(QList<QLineEdit *>(Edit_Q_Pribor.begin(), Edit_Q_Pribor.end()));
    return fields;
}

QList<QLineEdit *> TTabRashodKalibr::tableFields() const
{
    return QList<QLineEdit *>{Edit_Q_Max} + pointFields();
}

void TTabRashodKalibr::emptyTable()
{
    for (QLineEdit *field : tableFields())
        field->clear();
}

void TTabRashodKalibr::sendTableReads()
{
    m_reads.send(Proto::FnReadData, FlowTable::CoefficientsRegister, FlowTable::CoefficientsCount);
    m_reads.send(Proto::FnReadParams, FlowTable::TableRegister, FlowTable::TableCount);
}

QByteArray TTabRashodKalibr::readCoefficients()
{
    for (QLineEdit *field : {Edit_Rashod_A, Edit_Rashod_B, Edit_Rashod_C, Edit_Rashod_D})
        field->clear();
    return m_reads.send(Proto::FnReadData, FlowTable::CoefficientsRegister, FlowTable::CoefficientsCount);
}

void TTabRashodKalibr::Button_read_Rashod_KfClick()
{
    for (QLineEdit *field : {m_poverkaQMax, Edit_Rashod_A, Edit_Rashod_B, Edit_Rashod_C, Edit_Rashod_D})
        field->clear();
    emptyTable();
    m_dm.sendUnderRecoveryRule([this] { sendTableReads(); });
}

void TTabRashodKalibr::Button_save_Rashod_KfClick()
{
    if (saving())
        return;
    if (!m_dm.isPortOpen()) {
        m_dm.applyRecoveryRule();
        return;
    }
    // Every field converts before anything is sent: a typo must never leave half a
    // table in the meter, and a table never read must not go there as zeros.
    const QList<float> typed = ParseFilledFields(CalibrationArea::FlowTable, tableFields());
    FlowTableSave::Values values{};
    std::copy(typed.begin(), typed.end(), values.begin());
    // Declined: the engineer's texts stay exactly as typed.
    const std::optional<qint64> snapshot =
        KeepSnapshotOrAsk(m_records, SnapshotReason::BeforeFlowSave, {CalibrationArea::FlowTable}, window());
    if (!snapshot)
        return;

    m_saveFrames = FlowTableSave::Frames(values);
    Button_save_Rashod_Kf->setEnabled(false);
    setCursor(Qt::BusyCursor);
    m_dm.sendUnderRecoveryRule([&] {
        FlowTableSave::Send(m_dm, values);
        FlowTableSave::ExpectReadBack(m_records, *snapshot, values);
        emptyTable();
        sendTableReads();
    });
}

void TTabRashodKalibr::saveFinished()
{
    Button_save_Rashod_Kf->setEnabled(true);
    unsetCursor();
}

void TTabRashodKalibr::Button_Show_CurveClick()
{
    TFormCurveCreateData data;
    // A text that does not convert is reported; the engineer's entries stay as they are.
    data.Qmax = ParseTypedFloat(Edit_Q_Max->text());
    for (size_t k = 0; k < data.Et.size(); ++k)
        data.Et[k] = ParseTypedFloat(Edit_Q_Etalon[k]->text());
    for (size_t k = 0; k < data.Pr.size(); ++k)
        data.Pr[k] = ParseTypedFloat(Edit_Q_Pribor[k]->text());
    data.A = ParseTypedFloat(Edit_Rashod_A->text());
    data.B = ParseTypedFloat(Edit_Rashod_B->text());
    data.C = ParseTypedFloat(Edit_Rashod_C->text());
    data.D = ParseTypedFloat(Edit_Rashod_D->text());
    auto *viewer = new TForm_Show_Curve(window());
    viewer->Initialize(data);
    viewer->show();
}

void TTabRashodKalibr::Button_Start_Rashod_kalibrClick()
{
    m_pollFlag = true;
}

void TTabRashodKalibr::Button_Stop_Rashod_kalibrClick()
{
    m_pollFlag = false;
}

void TTabRashodKalibr::sendAveragingCommand(quint16 command)
{
    m_dm.sendUnderRecoveryRule([&] { SendWriteWord(m_dm, Proto::CommandRegister, command); });
}

void TTabRashodKalibr::Button14Click()
{
    m_pollFlag = true;
    sendAveragingCommand(CmdStart);
}

void TTabRashodKalibr::Button13Click()
{
    sendAveragingCommand(CmdStop);
}

void TTabRashodKalibr::Button_Reset_Rashod_kalibrClick()
{
    sendAveragingCommand(CmdReset);
}

void TTabRashodKalibr::Button_Reset_Q_Rashod_KalibrClick()
{
    Chart_Rashod_Kalibr->clearSeries();
}

void TTabRashodKalibr::Button_Copy_Q_Rashod_NsClick()
{
    CopyToClipboard(Edit_Q_Kalibr_Ns->text());
}

void TTabRashodKalibr::Button_Copy_Q_Rashod_Ns_sredClick()
{
    CopyToClipboard(Edit_Q_Kalibr_Ns_usred->text());
}

void TTabRashodKalibr::Button_Copy_Q_Rashod_TimeClick()
{
    CopyToClipboard(Edit_Q_Kalibr_time->text());
}

void TTabRashodKalibr::ShowKalibrQKoeff(QObject *Sender, const TQ_Rashod_Kf &Q)
{
    Q_UNUSED(Sender);
    if (!m_reads.take(Q.Kf ? m_coefficientsRead : m_tableRead))
        return;
    if (Q.Kf) {
        Edit_Rashod_A->setText(Q.A);
        Edit_Rashod_B->setText(Q.B);
        Edit_Rashod_C->setText(Q.C);
        Edit_Rashod_D->setText(Q.D);
        return;
    }
    m_poverkaQMax->setText(Q.Q_Max);
    Edit_Q_Max->setText(Q.Q_Max);
    ShowQPointLabels(Q.Q_Max_Float);
    for (size_t i = 0; i < Edit_Q_Etalon.size(); ++i)
        Edit_Q_Etalon[i]->setText(Q.Etalon[i]);
    for (size_t i = 0; i < Edit_Q_Pribor.size(); ++i)
        Edit_Q_Pribor[i]->setText(Q.Pribor[i]);
}

void TTabRashodKalibr::ShowQPointLabels(float QMax)
{
    const QStringList labels = FlowTable::PointLabels(QMax);
    for (size_t i = 0; i < Label_Q_P.size(); ++i)
        Label_Q_P[i]->setText(labels[qsizetype(i)]);
}

void TTabRashodKalibr::showLiveNow(const TQ_kalibr_Rashod &Q, const QDateTime &t)
{
    Chart_Rashod_Kalibr->append(0, t, double(Q.Q_Ns_float));
    Edit_Q_Kalibr_Ns->setText(Q.Q_Ns_str);
    m_liveRing.AddValue(Q.Q_Ns_float);
    Stability_Flow_NS->showState(m_liveRing);
}

void TTabRashodKalibr::showLiveAverages(const TQ_kalibr_Rashod &Q)
{
    Edit_Q_Kalibr_Ns_usred->setText(Q.sred_times_val);
    Edit_Q_Kalibr_time->setText(Q.Time_ms);
}
