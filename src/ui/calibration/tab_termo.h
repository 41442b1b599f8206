#pragma once
// "Термометр": the thermometer's two points (reference temperature, ADC code),
// its coefficients, and the live ADC code with its 15 s average and chart.
#include "protocol/lib_types.h"
#include "ui/calibration/two_point_calibration.h"
#include <QWidget>
#include <memory>

class QLineEdit;
class QPushButton;
class QToolButton;
class TDM_1;
class TLiveChart;
class TCalibrationRecords;
class TSredSdvig;
class TStabilityIndicator;

class TTabTermo : public QWidget
{
    Q_OBJECT
public:
    // pollFlag and adcAverage belong to the calibration window.
    TTabTermo(TDM_1 &dm, bool &pollFlag, TSredSdvig &adcAverage, QWidget *parent = nullptr);
    ~TTabTermo() override;

    // One series, "ADC термометр", on the left axis.
    void prepareChart();
    void setRecords(TCalibrationRecords *records);
    // The read and save of the points and coefficients (the recalculation re-reads through it).
    TTwoPointCalibration &calibration() { return *m_points; }

    // Handlers.
    void Button_read_Kf_termoClick();
    void Button_save_Kf_termoClick();
    void Button_Start_opros_ADC_TermoClick();
    void Button_Stop_opros_ADC_TermoClick();
    void Button_Copy_ADCClick();
    void Button_Copy_ADC_sredClick();
    void Button_Reset_Chart_TermoClick();
    void ShowKalibrTermo(QObject *Sender, const TQ_kalibr_Termo &Q);
    void ShowKalibrTermoADC(QObject *Sender, const TQ_kalibr_Termo_ADC &Q);

    QLineEdit *Edit_T_A, *Edit_T_B;
    QLineEdit *Edit_T_20, *Edit_T_ADC_20, *Edit_T_60, *Edit_T_ADC_60;
    QPushButton *Button_read_Kf_termo, *Button_save_Kf_termo;
    QLineEdit *Edit_Termo_ADC, *Edit_Termo_ADC_Sred;
    TStabilityIndicator *Stability_ADC; // beside the average
    QToolButton *Button_Copy_ADC, *Button_Copy_ADC_sred;
    QPushButton *Button_Start_opros_ADC_Termo, *Button_Stop_opros_ADC_Termo;
    TLiveChart *Chart_Termo;
    QPushButton *Button_Reset_Chart_Termo;

private:
    bool &m_pollFlag;
    TSredSdvig &m_adcAverage;
    std::unique_ptr<TTwoPointCalibration> m_points;
};
