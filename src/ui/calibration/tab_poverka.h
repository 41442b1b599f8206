#pragma once
#include "ui/calibration/sred_sdvig.h"
// "Поверка": the 15-row verification table against a reference flow, with its
// errors and a copy for a spreadsheet, and the live and averaged mass flow.
#include "protocol/lib_types.h"
#include "procedure/verification_table.h"
#include <QDateTime>
#include <QWidget>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;
class QToolButton;
class TLiveChart;
class TStabilityIndicator;

class TTabPoverka : public QWidget, public Verification::Cells
{
    Q_OBJECT
public:
    // pollFlag belongs to the calibration window.
    explicit TTabPoverka(bool &pollFlag, QWidget *parent = nullptr);

    // Headers, widths, heights and options of the table.
    void prepareGrid();
    // One series, "Расход массовый", on the left axis.
    void prepareChart();

    // Handlers.
    void BT_export_to_StringGridClick();
    void BT_RecalcClick();
    void Button12Click();
    void Button9Click();
    void Button3Click();
    void Button4Click();
    void Button5Click();
    void Button6Click();
    void Button8Click();
    void Button10Click();
    // This tab's share of the live values (the window routes them by the flags).
    void showLiveNow(const TQ_kalibr_Rashod &Q, const QDateTime &t);
    void showLiveAverages(const TQ_kalibr_Rashod &Q);

    // Cells as the grid addresses them: column 0 and row 0 are the headers.
    QString cell(int column, int row) const override;
    void setCell(int column, int row, const QString &text) override;

    QLineEdit *Edit_Poverka_Q_Max;
    QPushButton *Button1;
    QTableWidget *StringGrid1;
    QPushButton *Button12, *BT_Recalc, *Button9;
    QLineEdit *Edit_Q_Poverka_Ns, *Edit_Q_Poverka_Ns_usred, *Edit_Q_Poverka_Qm, *Edit_Q_Poverka_Qm_Sred,
        *Edit_Q_Poverka_time;
    QToolButton *Button5, *Button6, *Button8;
    QPushButton *Button2, *Button11, *Button7;
    QPushButton *BT_export_to_StringGrid;
    QComboBox *ComboBox1;
    TLiveChart *Chart_Rashod_Poverka;
    // The verdict of the recalculated table, and the certificate (run by the window).
    QLabel *Label_Verdict;
    TStabilityIndicator *Stability_Flow_Qm; // the live mass flow over the last 15 s
    QPushButton *Button_Certificate;
    void showVerdict();
    QPushButton *Button3, *Button4, *Button10;

private:
    TSredSdvig m_liveRing;
    void buildControls();

    bool &m_pollFlag;
};
