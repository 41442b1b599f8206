#include "ui/calibration/tab_zero.h"
#include "ui/calibration/stability_indicator.h"
#include "protocol/number_text.h"
#include "ui/calibration/calib_tab_layout.h"
#include "ui/calibration/live_chart.h"
#include "ui/calibration/sred_sdvig.h"
#include "ui/common/clipboard_text.h"
#include "ui/common/handler_connect.h"
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>

namespace {
constexpr int TemperatureSeries = 0;
constexpr int DeltaTSeries = 1;
} // namespace

TTabZeroTermo::TTabZeroTermo(TDM_1 &dm, bool &pollFlag, TSredSdvig &tempAverage, TSredSdvig &nsAverage,
                             QWidget *parent)
    : QWidget(parent), m_pollFlag(pollFlag), m_tempAverage(tempAverage), m_nsAverage(nsAverage)
{
    const CalibTabNames names{
        "Коэффициенты калибровки 0 по температуре",
        "Температура (°C)", "Δt (нс)", "~ 20 °C", "~ 60 °C",
        "Edit_0_T_A", "Edit_0_T_B", "Edit_0_T_20", "Edit_0_T_ns_20", "Edit_0_T_60", "Edit_0_T_ns_60",
        "Button_read_0_Kf_termo", "Button_save_0_Kf_termo",
        {{"Δt (нс) текущее", "Edit_0_Termo_ns", "Button_Copy_NS_0"},
         {"Δt (нс) сред. (15 сек)", "Edit_0_Termo_ns_Sred", "Button_Copy_NS_0_sred"},
         {"T (°C) текущее", "Edit_0_Termo_temp", "Button_Copy_T_0"},
         {"T (°C) сред. (15 сек)", "Edit_0_Termo_temp_sred", "Button_Copy_T_0_sred"}},
        "Button_Start_opros_0_Termo", "Button_Stop_opros_0_Termo",
        "Chart_0_Termo", "Button_Reset_Chart_0_Termo",
    };
    const CalibTabWidgets w = BuildCalibTab(this, names);
    Edit_0_T_A = w.a;
    Edit_0_T_B = w.b;
    Edit_0_T_20 = w.p1T;
    Edit_0_T_ns_20 = w.p1X;
    Edit_0_T_60 = w.p2T;
    Edit_0_T_ns_60 = w.p2X;
    Button_read_0_Kf_termo = w.read;
    Button_save_0_Kf_termo = w.save;
    Edit_0_Termo_ns = w.live[0];
    Edit_0_Termo_ns_Sred = w.live[1];
    Edit_0_Termo_temp = w.live[2];
    Edit_0_Termo_temp_sred = w.live[3];
    Stability_NS = new TStabilityIndicator(ZeroDeltaTStability(), this);
    Stability_T = new TStabilityIndicator(ZeroTemperatureStability(), this);
    w.liveGrid->addWidget(Stability_NS, 1, 3);
    w.liveGrid->addWidget(Stability_T, 3, 3);
    Button_Copy_NS_0 = w.copy[0];
    Button_Copy_NS_0_sred = w.copy[1];
    Button_Copy_T_0 = w.copy[2];
    Button_Copy_T_0_sred = w.copy[3];
    Button_Start_opros_0_Termo = w.start;
    Button_Stop_opros_0_Termo = w.stop;
    Chart_0_Termo = w.chart;
    Button_Reset_Chart_0_Termo = w.reset;

    m_points = std::make_unique<TTwoPointCalibration>(
        dm, CalibrationArea::Zero,
        TwoPointBoxes{Edit_0_T_20, Edit_0_T_ns_20, Edit_0_T_60, Edit_0_T_ns_60, Edit_0_T_A, Edit_0_T_B});

    using Z = TTabZeroTermo;
    ConnectClicks<Z>(this, {
        {Button_read_0_Kf_termo, &Z::Button_read_0_Kf_termoClick},
        {Button_save_0_Kf_termo, &Z::Button_save_0_Kf_termoClick},
        {Button_Start_opros_0_Termo, &Z::Button_Start_opros_0_TermoClick},
        {Button_Stop_opros_0_Termo, &Z::Button_Stop_opros_0_TermoClick},
        {Button_Copy_NS_0, &Z::Button_Copy_NS_0Click},
        {Button_Copy_NS_0_sred, &Z::Button_Copy_NS_0_sredClick},
        {Button_Copy_T_0, &Z::Button_Copy_T_0Click},
        {Button_Copy_T_0_sred, &Z::Button_Copy_T_0_sredClick},
        {Button_Reset_Chart_0_Termo, &Z::Button_Reset_Chart_0_TermoClick},
    });
}

TTabZeroTermo::~TTabZeroTermo() = default;

void TTabZeroTermo::setRecords(TCalibrationRecords *records)
{
    m_points->setRecords(records, SnapshotReason::BeforeZeroSave);
}

void TTabZeroTermo::prepareChart()
{
    Chart_0_Termo->addSeries(QStringLiteral("Температура (°C)"));
    Chart_0_Termo->addSeries(QStringLiteral("Δt(нс)"), true);
}

void TTabZeroTermo::Button_read_0_Kf_termoClick()
{
    m_points->read();
}

void TTabZeroTermo::Button_save_0_Kf_termoClick()
{
    m_points->save();
}

void TTabZeroTermo::Button_Start_opros_0_TermoClick()
{
    m_pollFlag = true;
}

void TTabZeroTermo::Button_Stop_opros_0_TermoClick()
{
    m_pollFlag = false;
}

void TTabZeroTermo::Button_Copy_NS_0Click()
{
    CopyToClipboard(Edit_0_Termo_ns->text());
}

void TTabZeroTermo::Button_Copy_NS_0_sredClick()
{
    CopyToClipboard(Edit_0_Termo_ns_Sred->text());
}

void TTabZeroTermo::Button_Copy_T_0Click()
{
    CopyToClipboard(Edit_0_Termo_temp->text());
}

void TTabZeroTermo::Button_Copy_T_0_sredClick()
{
    CopyToClipboard(Edit_0_Termo_temp_sred->text());
}

void TTabZeroTermo::Button_Reset_Chart_0_TermoClick()
{
    // The averages keep their history.
    Chart_0_Termo->clearSeries();
}

void TTabZeroTermo::ShowKalibr0Termo(QObject *Sender, const TQ_kalibr_0_Termo &Q)
{
    Q_UNUSED(Sender);
    if (Q.Kf)
        m_points->showCoefficients(Q.A, Q.B);
    else
        m_points->showPoints(Q.Temp_20, Q.Temp_60, Q.t_20, Q.t_60);
}

void TTabZeroTermo::ShowKalibr0TermoNs(QObject *Sender, const TQ_kalibr_Termo_ns &Q)
{
    Q_UNUSED(Sender);
    const QDateTime t = QDateTime::currentDateTime();
    Edit_0_Termo_ns->setText(Q.ns_str);
    Edit_0_Termo_temp->setText(Q.T_str);
    Chart_0_Termo->append(TemperatureSeries, t, double(Q.T_float));
    Chart_0_Termo->append(DeltaTSeries, t, double(Q.ns_float));
    const float temperature = m_tempAverage.AddValue(Q.T_float);
    Edit_0_Termo_temp_sred->setText(FormatFloatPattern(double(temperature), NumPattern::P0_00));
    const float deltaT = m_nsAverage.AddValue(Q.ns_float);
    Edit_0_Termo_ns_Sred->setText(FormatFloatPattern(double(deltaT), NumPattern::P0_00));
    Stability_T->showState(m_tempAverage);
    Stability_NS->showState(m_nsAverage);
}

TTabZeroFreq::TTabZeroFreq(TTabZeroTermo &byTemperature, QWidget *parent) : QWidget(parent)
{
    const CalibTabNames names{
        "Коэффициенты калибровки 0 по частоте",
        "Частота (Гц)", "Δt (нс)", "Воздух", "Вода",
        "Edit6", "Edit5", "Edit3", "Edit4", "Edit2", "Edit1",
        "Button15", "Button16",
        {{"T (°C) текущее", "Edit11", "Button24"},
         {"Δt (нс) текущее", "Edit7", "Button17"},
         {"Δt (нс) сред. (15 сек)", "Edit8", "Button18"},
         {"Частота (Гц) текущее", "Edit9", "Button21"},
         {"Частота (Гц) сред. (15 сек)", "Edit10", "Button22"}},
        "Button19", "Button20",
        "Chart1", "Button23",
    };
    const CalibTabWidgets w = BuildCalibTab(this, names);
    Edit6 = w.a;
    Edit5 = w.b;
    Edit3 = w.p1T;
    Edit4 = w.p1X;
    Edit2 = w.p2T;
    Edit1 = w.p2X;
    Button15 = w.read;
    Button16 = w.save;
    Edit11 = w.live[0];
    Edit7 = w.live[1];
    Edit8 = w.live[2];
    Edit9 = w.live[3];
    Edit10 = w.live[4];
    Button24 = w.copy[0];
    Button17 = w.copy[1];
    Button18 = w.copy[2];
    Button21 = w.copy[3];
    Button22 = w.copy[4];
    Button19 = w.start;
    Button20 = w.stop;
    Chart1 = w.chart;
    Button23 = w.reset;

    // Every button runs the temperature tab's operation, on that tab's boxes.
    using Z = TTabZeroTermo;
    ConnectClicks<Z>(&byTemperature, {
        {Button15, &Z::Button_read_0_Kf_termoClick},
        {Button16, &Z::Button_save_0_Kf_termoClick},
        {Button19, &Z::Button_Start_opros_0_TermoClick},
        {Button20, &Z::Button_Stop_opros_0_TermoClick},
        {Button24, &Z::Button_Copy_T_0Click},
        {Button17, &Z::Button_Copy_NS_0Click},
        {Button18, &Z::Button_Copy_NS_0_sredClick},
        {Button21, &Z::Button_Copy_T_0Click},
        {Button22, &Z::Button_Copy_T_0_sredClick},
        {Button23, &Z::Button_Reset_Chart_0_TermoClick},
    });
}
