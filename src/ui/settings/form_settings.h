#pragma once
// The settings window: the meter's fixed density and the flag that makes the
// meter use it, polled once a second and written when the engineer changes them.
#include "protocol/lib_types.h"
#include "ui/common/window_guard.h"
#include <QElapsedTimer>
#include <memory>
#include <optional>

class QCheckBox;
class QKeyEvent;
class QTimer;
class TCalibrationRecords;
class TDM_1;
class TSnapshotNote;
class TLabeledEdit;
class TPanelStatusBar;
class TPlacementStore;
class TToolBar;
class TToolButton;

class TForm_Settings : public TGuardedForm
{
    Q_OBJECT
public:
    static constexpr int ClientWidth = 360;
    static constexpr int ClientHeight = 170;
    static constexpr int PollIntervalMs = 1000;
    // How long a click on the check box outweighs answers that still carry the
    // meter's previous flag.
    static constexpr int ClickConfirmMs = 3000;

    // Throws FormAlreadyOpenError while another settings window is open.
    // records: a snapshot before each density or flag write; none without.
    explicit TForm_Settings(TDM_1 &dm, QWidget *owner = nullptr, TCalibrationRecords *records = nullptr);
    ~TForm_Settings() override;

    // Handlers.
    void FormCreate();
    void FormShow();
    void Timer1Timer();
    void ShowSettings(QObject *Sender, const TQ_settings &Q);
    void LE_PlotnostKeyPress(QKeyEvent *Key);
    void CB_plotnostClick();
    void ToolButton_ExitClick();
    void StatusBar1Resize();
    void ToolBar1Resize();

    // Controls, named as in the window's layout.
    TToolBar *ToolBar1;
    QWidget *ToolButton_Separator_w;
    QWidget *ToolButton1;
    TToolButton *ToolButton_Exit;
    TLabeledEdit *LE_Plotnost;
    QCheckBox *CB_plotnost;
    TPanelStatusBar *StatusBar1;
    QTimer *Timer1;

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildControls();
    void connectHandlers();
    // How a text that does not convert is reported: queued from an answer's
    // delivery, at once where a modal box is safe.
    enum Refusal { Deferred, AtOnce };
    void commitDensity(Refusal refusal);
    void followMeterFlag(bool flag);
    // True when the write may go: the snapshot is kept, or the engineer chose to
    // write without one (asked only when mayAsk).
    bool keepSnapshot(bool mayAsk);
    void askDensityWithoutSnapshot();

    TDM_1 &m_dm;
    TCalibrationRecords *m_records;
    TSnapshotNote *m_recordsNote = nullptr;
    // The conversion message was shown for the edit's present text.
    bool m_rejectionShown = false;
    // No snapshot could be kept: the question is on its way, or was answered "Нет" for this text.
    bool m_askPending = false;
    bool m_writeDeclined = false;
    // The check box is being set from an answer, not clicked.
    bool m_settingFromMeter = false;
    // The flag the engineer clicked, until the meter reports it (or the time is up).
    std::optional<bool> m_clickedFlag;
    QElapsedTimer m_clickAge;
    std::unique_ptr<TPlacementStore> m_placement;
};
