#pragma once
// The main window: connect and disconnect, the 333 ms live poll, the nine live
// readings, link status and counters, and the doors to the other windows.
#include "protocol/lib_types.h"
#include "ui/run/form_calibration_run.h"
#include <QWidget>
#include <functional>
#include <memory>

class QAction;
class QDialog;
class QFrame;
class QMenu;
class QTimer;
class TCalibrationRecords;
class TDM_1;
class TLiveLog;
class TLabeledEdit;
class TPanelStatusBar;
class TToolBar;
class TPlacementStore;
class TToolButton;

class TForm_Main : public QWidget
{
    Q_OBJECT
public:
    static constexpr int ClientWidth = 400;
    static constexpr int ClientHeight = 396;
    static constexpr int PollIntervalMs = 333;
    static constexpr int MenuItemHeight = 20;

    // A guarded secondary window: its guard name and how to build it with the
    // main window as owner.
    struct SecondaryWindow
    {
        QString guardName;
        std::function<QWidget *(QWidget *owner)> create;
    };

    explicit TForm_Main(TDM_1 &dm, QWidget *parent = nullptr);
    ~TForm_Main() override;

    void setSettingsWindow(SecondaryWindow window) { m_settingsWindow = std::move(window); }
    void setKalibrWindow(SecondaryWindow window) { m_kalibrWindow = std::move(window); }
    // The rigs the program itself offers to a step-by-step calibration run (the demo's).
    void setRunWindowSetup(const RunWindowSetup &setup) { m_runSetup = setup; }
    // Snapshots and read-back checks for the windows that write calibration; a
    // value the meter did not take is said once in a message box.
    void setRecords(TCalibrationRecords *records);
    // Records kept here that the plant's store has not taken yet (0 or less: none shown).
    void showPlantWaiting(int count);
    void setAboutWindow(std::function<std::unique_ptr<QDialog>()> create) { m_aboutWindow = std::move(create); }

    // Handlers. Errors they raise reach the error box at the signal boundary.
    void FormCreate();
    void ShowMainReadings(QObject *Sender, const TQ_main &Q);
    void Timer1Timer();
    void ToolButton_PortClick();
    void ToolButton_SettingsClick();
    void ToolButton_KalibrClick();
    void ToolButton_RunClick();
    void ToolButtonAboutClick();
    void ToolButton_ExitClick();
    void N1Click();
    // Starts or stops the live log (the pop-up item after "Сбросить").
    void N_LogClick();
    TLiveLog &liveLog() { return *m_liveLog; }
    void StatusBar1MouseDown(Qt::MouseButton Button, int X, int Y);
    void StatusBar1Resize();
    void ToolBar1Resize();
    QRect GetPanelRect(int Index) const;

    // Controls, named as in the window's layout.
    TToolBar *ToolBar1;
    TToolButton *ToolButton_Port;
    TToolButton *ToolButton_Settings;
    TToolButton *ToolButton_Kalibr;
    TToolButton *ToolButton_Run;
    TToolButton *ToolButton_Exit;
    TToolButton *ToolButtonAbout;
    QFrame *Bevel1;
    TLabeledEdit *LE_Status;
    TLabeledEdit *LE_Rashod_M;
    TLabeledEdit *LE_Rashod_O;
    TLabeledEdit *LE_Plotnost;
    TLabeledEdit *LE_TempTube;
    TLabeledEdit *LE_TempMCU;
    TLabeledEdit *LE_FRQ;
    TLabeledEdit *LE_TimePostCer0;
    TLabeledEdit *LE_ARU;
    TPanelStatusBar *StatusBar1;
    QMenu *PopupMenuRxTx;
    QAction *N1;
    QAction *N_Log;
    QTimer *Timer1;

Q_SIGNALS:
    // The window was closed; the program ends.
    void formClosed();
    // The counters menu is about to pop up at this screen point.
    void popupRequested(const QPoint &globalPos);

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void buildControls();
    void connectHandlers();
    void setPortButton(bool connected);
    void refreshStatusBar();
    void openSecondary(const SecondaryWindow &window);

    TDM_1 &m_dm;
    TCalibrationRecords *m_records = nullptr;
    TLiveLog *m_liveLog;
    SecondaryWindow m_settingsWindow;
    SecondaryWindow m_kalibrWindow;
    SecondaryWindow m_runWindow;
    RunWindowSetup m_runSetup;
    std::function<std::unique_ptr<QDialog>()> m_aboutWindow;
    int m_plantWaiting = 0;
    bool m_inTimer = false;
    std::unique_ptr<TPlacementStore> m_placement;
};
