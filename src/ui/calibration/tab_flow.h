#pragma once
#include "ui/calibration/sred_sdvig.h"
// "Калибровка расхода": the meter's flow calibration table (Q Max and thirteen
// points of reference flow and Δt), its coefficients A–D, the live Δt with the
// meter's own averaging, and the curve viewer.
#include "link/own_reads.h"
#include "protocol/lib_types.h"
#include <QDateTime>
#include <QList>
#include <QWidget>
#include <array>

class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;
class TCalibrationRecords;
class TDM_1;
class TLiveChart;
class TStabilityIndicator;

class TTabRashodKalibr : public QWidget
{
    Q_OBJECT
public:
    // pollFlag belongs to the calibration window; poverkaQMax is the verification
    // tab's Q Max, which the read empties and the table answer fills.
    TTabRashodKalibr(TDM_1 &dm, bool &pollFlag, QLineEdit *poverkaQMax, QWidget *parent = nullptr);

    // One series, "Δt(нс)", on the left axis.
    void prepareChart();
    // A snapshot before each save and a check of what the meter reports after it.
    void setRecords(TCalibrationRecords *records) { m_records = records; }

    // Handlers.
    void Button_read_Rashod_KfClick();
    void Button_save_Rashod_KfClick();
    void Button_Show_CurveClick();
    void Button_Start_Rashod_kalibrClick();
    void Button_Stop_Rashod_kalibrClick();
    void Button14Click();
    void Button13Click();
    void Button_Reset_Rashod_kalibrClick();
    void Button_Reset_Q_Rashod_KalibrClick();
    void Button_Copy_Q_Rashod_NsClick();
    void Button_Copy_Q_Rashod_Ns_sredClick();
    void Button_Copy_Q_Rashod_TimeClick();
    // Fills the table or the coefficients, only in answer to this tab's own reads.
    void ShowKalibrQKoeff(QObject *Sender, const TQ_Rashod_Kf &Q);
    // Empties the coefficient boxes and asks for them again (after a recalculation);
    // throws LinkError. The read's frame.
    QByteArray readCoefficients();
    const TOwnReads &ownReads() const { return m_reads; }
    void ShowQPointLabels(float QMax);
    // This tab's share of the live values (the window routes them by the flags).
    void showLiveNow(const TQ_kalibr_Rashod &Q, const QDateTime &t);
    void showLiveAverages(const TQ_kalibr_Rashod &Q);
    // Sends an averaging command (38 start, 39 stop, 37 reset) under the recovery rule.
    void sendAveragingCommand(quint16 command);

    // True while the frames of a save are still leaving.
    bool saving() const { return !m_saveFrames.isEmpty(); }
    // The 26 point fields: Etalon 1..13, then Pribor 1..13.
    QList<QLineEdit *> pointFields() const;

    QLineEdit *Edit_Rashod_A, *Edit_Rashod_B, *Edit_Rashod_C, *Edit_Rashod_D;
    QLineEdit *Edit_Q_Max;
    std::array<QLabel *, 13> Label_Q_P{};
    std::array<QLineEdit *, 13> Edit_Q_Etalon{};
    std::array<QLineEdit *, 13> Edit_Q_Pribor{};
    QPushButton *Button_read_Rashod_Kf, *Button_save_Rashod_Kf, *Button_Show_Curve;
    QLineEdit *Edit_Q_Kalibr_Ns, *Edit_Q_Kalibr_Ns_usred, *Edit_Q_Kalibr_time;
    TStabilityIndicator *Stability_Flow_NS; // the live Δt over the last 15 s
    QToolButton *Button_Copy_Q_Rashod_Ns, *Button_Copy_Q_Rashod_Ns_sred, *Button_Copy_Q_Rashod_Time;
    QPushButton *Button14, *Button13, *Button_Reset_Rashod_kalibr;
    TLiveChart *Chart_Rashod_Kalibr;
    QPushButton *Button_Start_Rashod_kalibr, *Button_Stop_Rashod_kalibr, *Button_Reset_Q_Rashod_Kalibr;

private:
    void buildControls();
    void connectHandlers();
    // Q Max, Etalon 1..13, Pribor 1..13: the fields of a save, in its order.
    QList<QLineEdit *> tableFields() const;
    void emptyTable();
    void sendTableReads();
    void saveFinished();

    TDM_1 &m_dm;
    bool &m_pollFlag;
    QLineEdit *m_poverkaQMax;
    TCalibrationRecords *m_records = nullptr;
    TSredSdvig m_liveRing;
    TOwnReads m_reads;
    QByteArray m_tableRead, m_coefficientsRead;
    // Write frames of the running save not yet on the wire.
    QList<QByteArray> m_saveFrames;
};
