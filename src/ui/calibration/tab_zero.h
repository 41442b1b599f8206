#pragma once
// "Калибровка 0 по температуре": the zero point (Δt) at two temperatures, its
// coefficients, live Δt and temperature with their 15 s averages and a chart of
// both. "Калибровка 0 по частоте" has the same layout but no data of its own: its
// buttons act on the temperature tab.
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

class TTabZeroTermo : public QWidget
{
    Q_OBJECT
public:
    // pollFlag and the two averages belong to the calibration window.
    TTabZeroTermo(TDM_1 &dm, bool &pollFlag, TSredSdvig &tempAverage, TSredSdvig &nsAverage,
                  QWidget *parent = nullptr);
    ~TTabZeroTermo() override;

    // Temperature on the left axis, Δt on the right.
    void prepareChart();
    void setRecords(TCalibrationRecords *records);
    // The read and save of the points and coefficients (the recalculation re-reads through it).
    TTwoPointCalibration &calibration() { return *m_points; }

    // Handlers.
    void Button_read_0_Kf_termoClick();
    void Button_save_0_Kf_termoClick();
    void Button_Start_opros_0_TermoClick();
    void Button_Stop_opros_0_TermoClick();
    void Button_Copy_NS_0Click();
    void Button_Copy_NS_0_sredClick();
    void Button_Copy_T_0Click();
    void Button_Copy_T_0_sredClick();
    void Button_Reset_Chart_0_TermoClick();
    void ShowKalibr0Termo(QObject *Sender, const TQ_kalibr_0_Termo &Q);
    void ShowKalibr0TermoNs(QObject *Sender, const TQ_kalibr_Termo_ns &Q);

    QLineEdit *Edit_0_T_A, *Edit_0_T_B;
    QLineEdit *Edit_0_T_20, *Edit_0_T_ns_20, *Edit_0_T_60, *Edit_0_T_ns_60;
    QPushButton *Button_read_0_Kf_termo, *Button_save_0_Kf_termo;
    QLineEdit *Edit_0_Termo_ns, *Edit_0_Termo_ns_Sred, *Edit_0_Termo_temp, *Edit_0_Termo_temp_sred;
    TStabilityIndicator *Stability_NS, *Stability_T; // beside the averages
    QToolButton *Button_Copy_NS_0, *Button_Copy_NS_0_sred, *Button_Copy_T_0, *Button_Copy_T_0_sred;
    QPushButton *Button_Start_opros_0_Termo, *Button_Stop_opros_0_Termo;
    TLiveChart *Chart_0_Termo;
    QPushButton *Button_Reset_Chart_0_Termo;

private:
    bool &m_pollFlag;
    TSredSdvig &m_tempAverage;
    TSredSdvig &m_nsAverage;
    std::unique_ptr<TTwoPointCalibration> m_points;
};

class TTabZeroFreq : public QWidget
{
    Q_OBJECT
public:
    explicit TTabZeroFreq(TTabZeroTermo &byTemperature, QWidget *parent = nullptr);

    QLineEdit *Edit6, *Edit5;                 // A, B: never filled
    QLineEdit *Edit3, *Edit4, *Edit2, *Edit1; // air and water points: never read or filled
    QPushButton *Button15, *Button16;
    QLineEdit *Edit11, *Edit7, *Edit8, *Edit9, *Edit10;
    QToolButton *Button24, *Button17, *Button18, *Button21, *Button22;
    QPushButton *Button19, *Button20;
    TLiveChart *Chart1;
    QPushButton *Button23;
};
