#include "ui/settings/form_settings.h"
#include "link/dm1.h"
#include "records/calibration_records.h"
#include "ui/common/snapshot_guard.h"
#include "ui/common/snapshot_note.h"
#include "protocol/number_text.h"
#include "protocol/protokol_usb.h"
#include "ui/common/error_box.h"
#include "ui/common/labeled_edit.h"
#include "ui/common/link_status_bar.h"
#include "ui/common/panel_status_bar.h"
#include "ui/common/placement_store.h"
#include "ui/common/tool_bar.h"
#include "ui/common/tool_images.h"
#include "ui/common/ui_fonts.h"
#include <QCheckBox>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTimer>

namespace {
constexpr quint16 DensityRegister = 2;
constexpr quint16 DensityCount = 3;
constexpr quint16 FlagRegister = 4;
} // namespace

TForm_Settings::TForm_Settings(TDM_1 &dm, QWidget *owner, TCalibrationRecords *records)
    : TGuardedForm(WindowGuards::SettingsName, owner), m_dm(dm), m_records(records)
{
    setObjectName(QStringLiteral("Form_Settings"));
    setWindowTitle(WindowGuards::SettingsTitle);
    setFont(UiFont(8));
    buildControls();
    resize(ClientWidth, ClientHeight);
    ClaimGuard();
    m_placement = std::make_unique<TPlacementStore>(this, QStringLiteral("FSetting"));
    connectHandlers();
    FormCreate();
    if (m_records)
        m_recordsNote = new TSnapshotNote(*m_records, this);
    Timer1->start();
}

TForm_Settings::~TForm_Settings()
{
    // A refused window never gets here (its construction failed), so this one subscribed.
    m_dm.OnSettingTextChange = nullptr;
    m_placement->saveOnDestroy();
}

void TForm_Settings::buildControls()
{
    ToolBar1 = new TToolBar(QStringLiteral("ToolBar1"), this);
    ToolButton_Separator_w = ToolBar1->addStretch(QStringLiteral("ToolButton_Separator_w"));
    ToolButton1 = ToolBar1->addSeparator(QStringLiteral("ToolButton1"), 8);
    ToolButton_Exit = ToolBar1->addButton(new TToolButton(QStringLiteral("ToolButton_Exit"), ToolImages::Exit));
    ToolButton_Exit->setHint(QStringLiteral("Выход"));

    LE_Plotnost = new TLabeledEdit(QStringLiteral("Фиксированая плотность (кг/м³)"), this);
    LE_Plotnost->setObjectName(QStringLiteral("LE_Plotnost"));
    LE_Plotnost->edit()->setReadOnly(false);
    LE_Plotnost->setEditGeometry(16, 90, 170);

    CB_plotnost = new QCheckBox(QStringLiteral("Использовать"), this);
    CB_plotnost->setObjectName(QStringLiteral("CB_plotnost"));
    CB_plotnost->setAccessibleName(QStringLiteral("Использовать фиксированную плотность"));
    CB_plotnost->setGeometry(204, 90, 140, TLabeledEdit::EditHeight);

    StatusBar1 = new TPanelStatusBar(2, this);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusBar1->setPanelAlignment(1, Qt::AlignRight);
    StatusBar1->setPanelWidth(1, LinkStatusBar::CountersPanelWidth);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(PollIntervalMs);
}

void TForm_Settings::connectHandlers()
{
    auto guarded = [this](void (TForm_Settings::*handler)()) {
        return [this, handler] { CatchToErrorBox(this, [&] { (this->*handler)(); }); };
    };
    connect(ToolButton_Exit, &QToolButton::clicked, this, guarded(&TForm_Settings::ToolButton_ExitClick));
    connect(CB_plotnost, &QCheckBox::toggled, this, guarded(&TForm_Settings::CB_plotnostClick));
    connect(Timer1, &QTimer::timeout, this, guarded(&TForm_Settings::Timer1Timer));
    connect(StatusBar1, &TPanelStatusBar::resized, this, guarded(&TForm_Settings::StatusBar1Resize));
    connect(ToolBar1, &TToolBar::resized, this, guarded(&TForm_Settings::ToolBar1Resize));
    // A new text deserves its own verdict.
    connect(LE_Plotnost->edit(), &QLineEdit::textEdited, this, [this] {
        m_rejectionShown = false;
        m_writeDeclined = false;
    });
    LE_Plotnost->edit()->installEventFilter(this);
}

void TForm_Settings::FormCreate()
{
    m_dm.OnSettingTextChange = [this](QObject *sender, const TQ_settings &q) { ShowSettings(sender, q); };
}

void TForm_Settings::FormShow()
{
    ToolBar1->setFocus();
}

void TForm_Settings::Timer1Timer()
{
    // Also reopens the meter's port by itself while it is closed.
    m_dm.sendUnderRecoveryRule([this] { SendReadParams(m_dm, DensityRegister, DensityCount); });
    ShowLinkStatus(*StatusBar1, m_dm, m_recordsNote ? m_recordsNote->text() : QString());
}

void TForm_Settings::ShowSettings(QObject *Sender, const TQ_settings &Q)
{
    Q_UNUSED(Sender);
    QLineEdit *edit = LE_Plotnost->edit();
    // While the engineer is in the edit, his text is neither replaced nor written.
    if (!edit->hasFocus()) {
        if (edit->isModified()) {
            commitDensity(Deferred);
        } else {
            LE_Plotnost->setText(Q.Plotnost_FIX);
            edit->setModified(false);
        }
    }
    followMeterFlag(Q.Plotnost_FIX_En);
}

void TForm_Settings::commitDensity(Refusal refusal)
{
    QLineEdit *edit = LE_Plotnost->edit();
    float value = 0.0f;
    try {
        value = ParseTypedFloat(edit->text());
    } catch (const EConvertError &e) {
        // Once per text, not once per answer: the mark stays, so the text is
        // written as soon as the engineer corrects it.
        if (!m_rejectionShown) {
            m_rejectionShown = true;
            if (refusal == AtOnce)
                ShowErrorBox(this, e.message());
            else // never a modal loop inside the decoder's delivery
                QMetaObject::invokeMethod(
                    this, [this, message = e.message()] { ShowErrorBox(this, message); }, Qt::QueuedConnection);
        }
        return;
    }
    if (m_writeDeclined || m_askPending)
        return;
    if (!keepSnapshot(false)) {
        // An answer's handler shows no box: the question comes after it.
        m_askPending = true;
        QMetaObject::invokeMethod(this, &TForm_Settings::askDensityWithoutSnapshot, Qt::QueuedConnection);
        return;
    }
    SendWriteFloat(m_dm, DensityRegister, value);
    edit->setModified(false);
}

void TForm_Settings::askDensityWithoutSnapshot()
{
    const bool write = AskWriteWithoutSnapshot(this, m_records->store().lastError());
    m_askPending = false;
    QLineEdit *edit = LE_Plotnost->edit();
    // "Нет": the text stays as typed and is not offered again until it changes.
    m_writeDeclined = !write;
    if (!write || !edit->isModified() || !m_dm.isPortOpen())
        return;
    CatchToErrorBox(this, [&] {
        SendWriteFloat(m_dm, DensityRegister, ParseTypedFloat(edit->text()));
        edit->setModified(false);
    });
}

bool TForm_Settings::keepSnapshot(bool mayAsk)
{
    // Only while the port is open: a write that cannot leave changes nothing.
    if (!m_records || !m_dm.isPortOpen() || m_records->keepBefore(SnapshotReason::BeforeDensityWrite, {CalibrationArea::Density}) != 0)
        return true;
    return mayAsk && AskWriteWithoutSnapshot(this, m_records->store().lastError());
}

void TForm_Settings::followMeterFlag(bool flag)
{
    if (m_clickedFlag) {
        // An answer to a request that left before the click still carries the old
        // flag; it must not undo the click.
        if (flag != *m_clickedFlag && m_clickAge.elapsed() < ClickConfirmMs)
            return;
        m_clickedFlag.reset();
    }
    m_settingFromMeter = true;
    CB_plotnost->setChecked(flag);
    m_settingFromMeter = false;
}

void TForm_Settings::LE_PlotnostKeyPress(QKeyEvent *Key)
{
    if (Key->key() == Qt::Key_Return || Key->key() == Qt::Key_Enter)
        ToolBar1->setFocus();
}

void TForm_Settings::CB_plotnostClick()
{
    const bool flag = CB_plotnost->isChecked();
    if (!m_settingFromMeter) {
        m_clickedFlag = flag;
        m_clickAge.start();
    }
    try {
        // Set from an answer, the box only echoes the meter's own flag: no question then.
        if (!keepSnapshot(!m_settingFromMeter)) {
            m_clickedFlag.reset(); // the next answer shows the meter's flag again
            return;
        }
        SendWriteWord(m_dm, FlagRegister, flag ? 1 : 0);
    } catch (...) {
        // Not written: the next answer shows the meter's flag again.
        m_clickedFlag.reset();
        throw;
    }
}

void TForm_Settings::ToolButton_ExitClick()
{
    close();
}

void TForm_Settings::StatusBar1Resize()
{
    LayoutLinkStatusPanels(*StatusBar1);
}

void TForm_Settings::ToolBar1Resize()
{
    ToolBar1->fitGap(ToolButton_Separator_w);
}

void TForm_Settings::showEvent(QShowEvent *event)
{
    if (!event->spontaneous())
        m_placement->load();
    TGuardedForm::showEvent(event);
    FormShow();
}

void TForm_Settings::closeEvent(QCloseEvent *event)
{
    // A density confirmed with Enter waits for the next answer; a window closed
    // before it comes writes it now, or the engineer's value would be lost.
    QLineEdit *edit = LE_Plotnost->edit();
    if (edit->isModified() && !edit->hasFocus() && m_dm.isPortOpen())
        CatchToErrorBox(this, [this] { commitDensity(AtOnce); });
    TGuardedForm::closeEvent(event);
    if (event->isAccepted())
        m_placement->saveOnClose();
}

void TForm_Settings::resizeEvent(QResizeEvent *event)
{
    TGuardedForm::resizeEvent(event);
    ToolBar1->setGeometry(0, 0, width(), TToolBar::BarHeight);
    StatusBar1->setGeometry(0, height() - TPanelStatusBar::DefaultHeight, width(), TPanelStatusBar::DefaultHeight);
}

bool TForm_Settings::eventFilter(QObject *watched, QEvent *event)
{
    // Every key passes on unchanged; Enter also moves the focus away, which commits.
    if (watched == LE_Plotnost->edit() && event->type() == QEvent::KeyPress)
        CatchToErrorBox(this, [&] { LE_PlotnostKeyPress(static_cast<QKeyEvent *>(event)); });
    return TGuardedForm::eventFilter(watched, event);
}
