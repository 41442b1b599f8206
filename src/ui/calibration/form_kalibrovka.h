#pragma once
// The calibration window: tool bar with the meter's recalculate and restart
// commands, five calibration tabs, the one 500 ms timer that polls the live
// blocks the tabs have switched on, and the status bar.
#include "protocol/lib_types.h"
#include "ui/calibration/sred_sdvig.h"
#include "ui/common/timed_note.h"
#include "ui/common/window_guard.h"
#include <QHash>
#include <QPointer>
#include <functional>
#include <memory>

class QAction;
class QFrame;
class QMenu;
class QTabWidget;
class QTimer;
class TCalibrationRecords;
class TDM_1;
class TPanelStatusBar;
class TPlacementStore;
class TSnapshotNote;
class TBackupAction;
class TDialog_Certificate;
class TLiveLog;
class TForm_History;
class TTabPoverka;
class TTabRashodKalibr;
class TTabTermo;
class TTabZeroFreq;
class TTabZeroTermo;
class TToolBar;
class TToolButton;

class TForm_Kalibrovka : public TGuardedForm
{
    Q_OBJECT
public:
    static constexpr int ClientWidth = 1020;
    static constexpr int ClientHeight = 742;
    static constexpr int PollIntervalMs = 500;
    static constexpr int StripHeight = 18;

    // Throws FormAlreadyOpenError while another calibration window is open.
    // records: snapshots before writes and read-back checks; none without.
    explicit TForm_Kalibrovka(TDM_1 &dm, QWidget *owner = nullptr, TCalibrationRecords *records = nullptr);
    ~TForm_Kalibrovka() override;

    // Handlers.
    void FormCreate();
    void FormShow();
    void Timer_1Timer();
    void ToolButton_Kf_RecalcClick();
    void ToolButton_ResetClick();
    void ToolButton_ExitClick();
    // Records: a manual backup, the history window.
    void ToolButton_BackupClick();
    void ToolButton_HistoryClick();
    // The history window brought forward on a run, its result opened ("Открыть запись").
    void showRunRecord(qint64 runId);
    // The step-by-step calibration run window, opened by whoever made this window.
    void setRunWindowOpener(std::function<void()> open);
    void ToolButton_RunClick();
    // The live log the main window keeps: started or stopped here too.
    void setLiveLog(TLiveLog *log);
    void ToolButton_LogClick();
    // The verification certificate: asks, writes the PDF, opens it.
    void Button_CertificateClick();
    bool saveCertificate(const TDialog_Certificate &answers, const QString &path, QString *error);
    void ToolBar1Resize();
    void StatusBar1Resize();
    // The flow table and the live flow values, for the flow and verification tabs.
    void ShowKalibrQKoeff(QObject *Sender, const TQ_Rashod_Kf &Q);
    void ShowKalibrQNs(QObject *Sender, const TQ_kalibr_Rashod &Q);
    // The verification tab's averaging buttons: start (also polls), stop.
    void Button2Click();
    void Button11Click();
    // Mirror fill of the flow points from the context menu; the choice dialog
    // returns 0 cancel, 1 forward flow from reverse, 2 reverse from forward.
    void N1Click();
    int AskMirrorDirection();

    // What the tabs poll: their "Старт" sets a flag, "Стоп" clears it.
    bool Opros_Termo_ADC_enable = false;
    bool Opros_Termo_0_enable = false;
    bool Opros_Rashod_Kalibr_enable = false;
    bool Opros_Rashod_Poverka_enable = false;

    // 15 s moving averages: thermometer ADC code, zero-tab temperature and Δt.
    TSredSdvig SredTermoADC;
    TSredSdvig Sred0Temp;
    TSredSdvig Sred0Ns;

    // Controls, named as in the window's layout.
    TToolBar *ToolBar1;
    TToolButton *ToolButton_Kf_Recalc;
    QWidget *ToolButton2;
    TToolButton *ToolButton_Reset;
    QWidget *ToolButton3;
    TToolButton *ToolButton_Backup;
    TToolButton *ToolButton_History;
    TToolButton *ToolButton_Run;
    TToolButton *ToolButton_Log;
    QWidget *ToolButton_Separator_w;
    QWidget *ToolButton1;
    TToolButton *ToolButton_Exit;
    QFrame *Bevel1;
    QTabWidget *PageControl1;
    TTabTermo *TabSheet1;
    TTabZeroFreq *TabSheet5;
    TTabZeroTermo *TabSheet2;
    TTabRashodKalibr *TabSheet3;
    TTabPoverka *TabSheet4;
    TPanelStatusBar *StatusBar1;
    QTimer *Timer_1;
    QMenu *PopupMenu1;
    QAction *Copy1;
    QAction *Paste1;
    QAction *Cut1;
    QAction *N1;

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void buildControls();
    void buildPopupMenu();
    void connectHandlers();
    void sendCommand(quint16 command);
    void attachPointMenu();
    // The link status with the window's notes.
    void showStatus();
    void setNote(const QString &text);
    void onOwnReadTaken(const QByteArray &frame);
    void onRestoreWrote(bool restored);
    // While a run owns the meter the window neither polls nor averages, and says why.
    void showMeterOwnership(bool owned, const QString &reason);

    TDM_1 &m_dm;
    TCalibrationRecords *m_records;
    TSnapshotNote *m_recordsNote = nullptr;
    TBackupAction *m_backup = nullptr;
    TLiveLog *m_liveLog = nullptr;
    QPointer<TForm_History> m_history;
    // The last recalculation, or what a restore did to the meter behind the tabs.
    TTimedNote m_actionNote;
    // Coefficient reads of the last recalculation still unanswered.
    QList<QByteArray> m_recalcReads;
    std::unique_ptr<TPlacementStore> m_placement;
    std::function<void()> m_openRun;
    // The tool tips of the controls stood down while a run owns the meter.
    QHash<QWidget *, QString> m_ownedTips;
};
