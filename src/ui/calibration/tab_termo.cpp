#include "ui/calibration/tab_termo.h"
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

TTabTermo::TTabTermo(TDM_1 &dm, bool &pollFlag, TSredSdvig &adcAverage, QWidget *parent)
    : QWidget(parent), m_pollFlag(pollFlag), m_adcAverage(adcAverage)
{
    const CalibTabNames names{
        "Коэффициенты калибровки термометра",
        "Температура (°C)", "Коды АЦП", "~ 20 °C", "~ 60 °C",
        "Edit_T_A", "Edit_T_B", "Edit_T_20", "Edit_T_ADC_20", "Edit_T_60", "Edit_T_ADC_60",
        "Button_read_Kf_termo", "Button_save_Kf_termo",
        {{"АЦП текущее", "Edit_Termo_ADC", "Button_Copy_ADC"},
         {"АЦП сред. (15 сек)", "Edit_Termo_ADC_Sred", "Button_Copy_ADC_sred"}},
        "Button_Start_opros_ADC_Termo", "Button_Stop_opros_ADC_Termo",
        "Chart_Termo", "Button_Reset_Chart_Termo",
    };
    const CalibTabWidgets w = BuildCalibTab(this, names);
    Edit_T_A = w.a;
    Edit_T_B = w.b;
    Edit_T_20 = w.p1T;
    Edit_T_ADC_20 = w.p1X;
    Edit_T_60 = w.p2T;
    Edit_T_ADC_60 = w.p2X;
    Button_read_Kf_termo = w.read;
    Button_save_Kf_termo = w.save;
    Edit_Termo_ADC = w.live[0];
    Edit_Termo_ADC_Sred = w.live[1];
    Stability_ADC = new TStabilityIndicator(ThermometerAdcStability(), this);
    w.liveGrid->addWidget(Stability_ADC, 1, 3);
    Button_Copy_ADC = w.copy[0];
    Button_Copy_ADC_sred = w.copy[1];
    Button_Start_opros_ADC_Termo = w.start;
    Button_Stop_opros_ADC_Termo = w.stop;
    Chart_Termo = w.chart;
    Button_Reset_Chart_Termo = w.reset;

    m_points = std::make_unique<TTwoPointCalibration>(
        dm, CalibrationArea::Thermometer,
        TwoPointBoxes{Edit_T_20, Edit_T_ADC_20, Edit_T_60, Edit_T_ADC_60, Edit_T_A, Edit_T_B});

    ConnectClicks<TTabTermo>(this, {
        {Button_read_Kf_termo, &TTabTermo::Button_read_Kf_termoClick},
        {Button_save_Kf_termo, &TTabTermo::Button_save_Kf_termoClick},
        {Button_Start_opros_ADC_Termo, &TTabTermo::Button_Start_opros_ADC_TermoClick},
        {Button_Stop_opros_ADC_Termo, &TTabTermo::Button_Stop_opros_ADC_TermoClick},
        {Button_Copy_ADC, &TTabTermo::Button_Copy_ADCClick},
        {Button_Copy_ADC_sred, &TTabTermo::Button_Copy_ADC_sredClick},
        {Button_Reset_Chart_Termo, &TTabTermo::Button_Reset_Chart_TermoClick},
    });
}

TTabTermo::~TTabTermo() = default;

void TTabTermo::setRecords(TCalibrationRecords *records)
{
    m_points->setRecords(records, SnapshotReason::BeforeThermometerSave);
}

void TTabTermo::prepareChart()
{
    Chart_Termo->addSeries(QStringLiteral("ADC термометр"));
}

void TTabTermo::Button_read_Kf_termoClick()
{
    m_points->read();
}

void TTabTermo::Button_save_Kf_termoClick()
{
    m_points->save();
}

void TTabTermo::Button_Start_opros_ADC_TermoClick()
{
    m_pollFlag = true;
}

void TTabTermo::Button_Stop_opros_ADC_TermoClick()
{
    m_pollFlag = false;
}

void TTabTermo::Button_Copy_ADCClick()
{
    CopyToClipboard(Edit_Termo_ADC->text());
}

void TTabTermo::Button_Copy_ADC_sredClick()
{
    CopyToClipboard(Edit_Termo_ADC_Sred->text());
}

void TTabTermo::Button_Reset_Chart_TermoClick()
{
    // The average keeps its history.
    Chart_Termo->clearSeries();
}

void TTabTermo::ShowKalibrTermo(QObject *Sender, const TQ_kalibr_Termo &Q)
{
    Q_UNUSED(Sender);
    if (Q.Kf)
        m_points->showCoefficients(Q.A, Q.B);
    else
        m_points->showPoints(Q.Temp_20, Q.Temp_60, Q.ADC_20, Q.ADC_60);
}

void TTabTermo::ShowKalibrTermoADC(QObject *Sender, const TQ_kalibr_Termo_ADC &Q)
{
    Q_UNUSED(Sender);
    const QDateTime t = QDateTime::currentDateTime();
    Edit_Termo_ADC->setText(Q.ADC_str);
    Chart_Termo->append(0, t, double(Q.ADC_float));
    const float average = m_adcAverage.AddValue(Q.ADC_float);
    Edit_Termo_ADC_Sred->setText(FormatFloatPattern(double(average), NumPattern::P0_00));
    Stability_ADC->showState(m_adcAverage);
}
