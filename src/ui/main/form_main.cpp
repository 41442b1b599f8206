#include "ui/main/form_main.h"
#include "link/dm1.h"
#include "protocol/protokol_usb.h"
#include "records/calibration_records.h"
#include "records/live_log.h"
#include "ui/common/live_log_control.h"
#include "ui/common/error_box.h"
#include "ui/common/message_presenter.h"
#include "ui/common/labeled_edit.h"
#include "ui/common/link_status_bar.h"
#include "ui/common/panel_status_bar.h"
#include "ui/common/placement_store.h"
#include "ui/common/tool_bar.h"
#include "ui/common/tool_images.h"
#include "ui/common/ui_fonts.h"
#include "ui/common/window_guard.h"
#include "ui/calibration/form_kalibrovka.h"
#include "ui/settings/form_settings.h"
#include <QCloseEvent>
#include <QDialog>
#include <QFrame>
#include <QMenu>
#include <QApplication>
#include <QScopedValueRollback>
#include <QScreen>
#include <QTimer>
#include <array>

namespace {

const QString CaptionConnect = QStringLiteral("Подключить");
const QString CaptionDisconnect = QStringLiteral("Отключить");

struct EditPlace
{
    TLabeledEdit *TForm_Main::*edit;
    const char *name;
    const char *caption;
    int left;
    int top;
    int width;
};

const std::array<EditPlace, 9> EditPlaces = {{
    {&TForm_Main::LE_Status, "LE_Status", "Статус", 16, 86, 145},
    {&TForm_Main::LE_Rashod_M, "LE_Rashod_M", "Массовый расход", 16, 147, 145},
    {&TForm_Main::LE_Rashod_O, "LE_Rashod_O", "Объемный расход", 16, 211, 145},
    {&TForm_Main::LE_Plotnost, "LE_Plotnost", "Плотность", 16, 273, 145},
    {&TForm_Main::LE_TempTube, "LE_TempTube", "Температура", 16, 334, 145},
    {&TForm_Main::LE_TempMCU, "LE_TempMCU", "Температура MCU (°C)", 234, 86, 143},
    {&TForm_Main::LE_FRQ, "LE_FRQ", "Частота (Гц)", 234, 147, 143},
    {&TForm_Main::LE_TimePostCer0, "LE_TimePostCer0", "Δt (нс)", 234, 203, 143},
    {&TForm_Main::LE_ARU, "LE_ARU", "АРУ (%)", 234, 273, 143},
}};

} // namespace

TForm_Main::TForm_Main(TDM_1 &dm, QWidget *parent) : QWidget(parent), m_dm(dm)
{
    setObjectName(QStringLiteral("Form_Main"));
    setWindowTitle(QStringLiteral("KestroLink"));
    setFont(UiFont(8));
    m_liveLog = new TLiveLog(m_dm, this);
    m_settingsWindow = {WindowGuards::SettingsName,
                        [this](QWidget *owner) { return new TForm_Settings(m_dm, owner, m_records); }};
    m_kalibrWindow = {WindowGuards::KalibrovkaName, [this](QWidget *owner) {
                          auto *window = new TForm_Kalibrovka(m_dm, owner, m_records);
                          window->setLiveLog(m_liveLog);
                          if (m_records)
                              window->setRunWindowOpener([this] { openSecondary(m_runWindow); });
                          return window;
                      }};
    m_runWindow = {WindowGuards::CalibrationRunName, [this](QWidget *owner) -> QWidget * {
                       if (!m_records)
                           return nullptr;
                       return new TFormCalibrationRun(m_dm, *m_records, m_runSetup, owner);
                   }};
    buildControls();
    // The designed width, or wider when the tool bar's buttons need it.
    resize(qMax(ClientWidth, ToolBar1->itemsWidth()), ClientHeight);
    m_placement = std::make_unique<TPlacementStore>(this, QStringLiteral("MAIN"));
    connectHandlers();
    FormCreate();
    Timer1->start();
}

void TForm_Main::setRecords(TCalibrationRecords *records)
{
    m_records = records;
    ToolButton_Run->setEnabled(records != nullptr);
    connect(records, &TCalibrationRecords::readBackRefused, this, [this](const QString &message) {
        // Never a modal loop inside the decoder's delivery.
        QMetaObject::invokeMethod(
            this,
            [message] {
                ShowMessage(QApplication::activeWindow(),
                            {QMessageBox::Warning, QStringLiteral("KestroLink"), message, QMessageBox::Ok, QMessageBox::Ok});
            },
            Qt::QueuedConnection);
    });
}

TForm_Main::~TForm_Main()
{
    // No live reading may reach a destroyed window.
    m_dm.OnMainTextChange = nullptr;
    m_placement->saveOnDestroy();
}

void TForm_Main::buildControls()
{
    ToolBar1 = new TToolBar(QStringLiteral("ToolBar1"), this);
    ToolButton_Port = ToolBar1->addButton(new TToolButton(QStringLiteral("ToolButton_Port"), ToolImages::Connect));
    ToolButton_Settings =
        ToolBar1->addButton(new TToolButton(QStringLiteral("ToolButton_Settings"), ToolImages::Settings));
    ToolButton_Settings->setCaption(QStringLiteral("Настройка"));
    ToolButton_Settings->setHint(QStringLiteral("Настройка работы"));
    ToolButton_Kalibr = ToolBar1->addButton(new TToolButton(QStringLiteral("ToolButton_Kalibr"), ToolImages::Kalibr));
    ToolButton_Kalibr->setHint(QStringLiteral("Калибровка"));
    ToolButton_Run = ToolBar1->addButton(new TToolButton(QStringLiteral("ToolButton_Run"), ToolImages::RunSteps));
    ToolButton_Run->setHint(WindowGuards::CalibrationRunTitle);
    ToolButton_Run->setEnabled(false); // a run keeps its record: it waits for the store
    ToolButton_Exit = ToolBar1->addButton(new TToolButton(QStringLiteral("ToolButton_Exit"), ToolImages::Exit));
    ToolButton_Exit->setHint(QStringLiteral("Выход"));
    ToolButtonAbout = ToolBar1->addButton(new TToolButton(QStringLiteral("ToolButtonAbout"), ToolImages::About));
    setPortButton(false);

    Bevel1 = new QFrame(this);
    Bevel1->setObjectName(QStringLiteral("Bevel1"));
    Bevel1->setFrameShape(QFrame::HLine);
    Bevel1->setFrameShadow(QFrame::Plain);
    Bevel1->setLineWidth(1);
    Bevel1->setFixedHeight(1);
    QPalette bevelPalette = Bevel1->palette();
    bevelPalette.setColor(QPalette::WindowText, bevelPalette.color(QPalette::Mid));
    Bevel1->setPalette(bevelPalette);

    for (const EditPlace &place : EditPlaces) {
        auto *edit = new TLabeledEdit(QString::fromUtf8(place.caption), this);
        edit->setObjectName(QLatin1String(place.name));
        edit->setEditGeometry(place.left, place.top, place.width);
        this->*(place.edit) = edit;
    }

    StatusBar1 = new TPanelStatusBar(2, this);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusBar1->setPanelAlignment(1, Qt::AlignRight);
    StatusBar1->setPanelWidth(1, LinkStatusBar::CountersPanelWidth);

    PopupMenuRxTx = new QMenu(this);
    PopupMenuRxTx->setObjectName(QStringLiteral("PopupMenuRxTx"));
    N1 = PopupMenuRxTx->addAction(QStringLiteral("Сбросить"));
    N1->setObjectName(QStringLiteral("N1"));
    N_Log = PopupMenuRxTx->addAction(QStringLiteral("Запись в файл…"));
    N_Log->setObjectName(QStringLiteral("N_Log"));

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(PollIntervalMs);
}

void TForm_Main::connectHandlers()
{
    // Each connection is a handler boundary: an error stops here, in the error box.
    auto guarded = [this](void (TForm_Main::*handler)()) {
        return [this, handler] { CatchToErrorBox(this, [&] { (this->*handler)(); }); };
    };
    connect(ToolButton_Port, &QToolButton::clicked, this, guarded(&TForm_Main::ToolButton_PortClick));
    connect(ToolButton_Settings, &QToolButton::clicked, this, guarded(&TForm_Main::ToolButton_SettingsClick));
    connect(ToolButton_Kalibr, &QToolButton::clicked, this, guarded(&TForm_Main::ToolButton_KalibrClick));
    connect(ToolButton_Run, &QToolButton::clicked, this, guarded(&TForm_Main::ToolButton_RunClick));
    connect(ToolButtonAbout, &QToolButton::clicked, this, guarded(&TForm_Main::ToolButtonAboutClick));
    connect(ToolButton_Exit, &QToolButton::clicked, this, guarded(&TForm_Main::ToolButton_ExitClick));
    connect(N1, &QAction::triggered, this, guarded(&TForm_Main::N1Click));
    connect(N_Log, &QAction::triggered, this, guarded(&TForm_Main::N_LogClick));
    connect(m_liveLog, &TLiveLog::runningChanged, this, [this](bool running) {
        N_Log->setText(running ? QStringLiteral("Остановить запись") : QStringLiteral("Запись в файл…"));
        refreshStatusBar();
    });
    connect(m_liveLog, &TLiveLog::failed, this, [this](const QString &message) {
        // Never a modal loop inside the decoder's delivery.
        QMetaObject::invokeMethod(this, [this, message] { ShowErrorBox(this, message); }, Qt::QueuedConnection);
    });
    connect(StatusBar1, &TPanelStatusBar::resized, this, guarded(&TForm_Main::StatusBar1Resize));
    connect(ToolBar1, &TToolBar::resized, this, guarded(&TForm_Main::ToolBar1Resize));
    connect(StatusBar1, &TPanelStatusBar::mouseDown, this, [this](Qt::MouseButton button, const QPoint &pos) {
        CatchToErrorBox(this, [&] { StatusBar1MouseDown(button, pos.x(), pos.y()); });
    });
    connect(Timer1, &QTimer::timeout, this, [this] {
        // Ticks that fire while this tick's error box is open are skipped, so
        // a lasting fault shows one box instead of a new one every 333 ms.
        if (m_inTimer)
            return;
        const QScopedValueRollback<bool> busy(m_inTimer, true);
        CatchToErrorBox(this, [this] { Timer1Timer(); });
    });
    connect(&m_dm, &TDM_1::handlerError, this, [this](const QString &message) { ShowErrorBox(this, message); },
            Qt::QueuedConnection);
    // "Busy" alone would leave a user without rights to the port guessing: say once what to do.
    connect(
        &m_dm, &TDM_1::permissionDenied, this,
        [this](const QString &port) {
            ShowMessage(this, {QMessageBox::Information, windowTitle(), Discovery::permissionHint(port),
                               QMessageBox::Ok, QMessageBox::Ok});
        },
        Qt::QueuedConnection);
}

void TForm_Main::FormCreate()
{
    m_dm.OnMainTextChange = [this](QObject *sender, const TQ_main &q) { ShowMainReadings(sender, q); };
}

void TForm_Main::ShowMainReadings(QObject *Sender, const TQ_main &Q)
{
    Q_UNUSED(Sender);
    LE_Status->setText(Q.Status);
    LE_Rashod_M->setText(Q.Rashod_M);
    LE_Rashod_O->setText(Q.Rashod_O);
    LE_Plotnost->setText(Q.Plotnost);
    LE_TempTube->setText(Q.TempTube);
    LE_TempMCU->setText(Q.TempMCU);
    LE_FRQ->setText(Q.FRQ);
    LE_TimePostCer0->setText(Q.TimePostCer0);
    LE_ARU->setText(Q.ARU);
    StatusBar1->setPanelText(1, m_dm.USBWork().CntRxTx.GetString());
}

void TForm_Main::Timer1Timer()
{
    TUSBWork &usb = m_dm.USBWork();
    if (usb.FBtnConnectOn) {
        if (m_dm.isPortOpen()) {
            // The link counts the read when it goes out.
            m_dm.sendUnderRecoveryRule([this] { SendReadData(m_dm, 1, 24); }, false);
        } else if (ToolButton_Port->imageIndex() == ToolImages::Disconnect) {
            m_dm.applyRecoveryRule();
        }
    }
    refreshStatusBar();
}

void TForm_Main::refreshStatusBar()
{
    QStringList notes;
    if (m_plantWaiting > 0)
        notes << QStringLiteral("Записей ждут отправки: %1").arg(m_plantWaiting);
    if (const QString log = LiveLogNote(m_liveLog); !log.isEmpty())
        notes << log;
    ShowLinkStatus(*StatusBar1, m_dm, notes.join(QStringLiteral(" · ")), LiveLogName(m_liveLog));
}

void TForm_Main::showPlantWaiting(int count)
{
    m_plantWaiting = count;
    refreshStatusBar();
}

void TForm_Main::setPortButton(bool connected)
{
    ToolButton_Port->setImageIndex(connected ? ToolImages::Disconnect : ToolImages::Connect);
    ToolButton_Port->setCaption(connected ? CaptionDisconnect : CaptionConnect);
    ToolButton_Port->setHint(connected ? CaptionDisconnect : CaptionConnect);
}

void TForm_Main::ToolButton_PortClick()
{
    TUSBWork &usb = m_dm.USBWork();
    if (usb.FBtnConnectOn) {
        m_dm.closePort();
        setPortButton(false);
        usb.FStatusString.clear();
        usb.FBtnConnectOn = false;
        return;
    }
    if (!m_dm.isPortOpen())
        usb.FStatusString = m_dm.findDevicePort();
    // Already open counts too: another window may have reopened the port.
    const bool open = m_dm.isPortOpen();
    setPortButton(open);
    usb.FBtnConnectOn = open;
}

void TForm_Main::openSecondary(const SecondaryWindow &window)
{
    if (!window.create)
        return;
    OpenGuardedWindow(window.guardName, [&] { return window.create(this); });
}

void TForm_Main::ToolButton_SettingsClick()
{
    openSecondary(m_settingsWindow);
}

void TForm_Main::ToolButton_KalibrClick()
{
    openSecondary(m_kalibrWindow);
}

void TForm_Main::ToolButton_RunClick()
{
    openSecondary(m_runWindow);
}

void TForm_Main::ToolButtonAboutClick()
{
    if (!m_aboutWindow)
        return;
    const std::unique_ptr<QDialog> about = m_aboutWindow();
    if (about)
        about->exec();
}

void TForm_Main::ToolButton_ExitClick()
{
    close();
}

void TForm_Main::N1Click()
{
    m_dm.USBWork().CntRxTx.Reset();
    StatusBar1->setPanelText(1, m_dm.USBWork().CntRxTx.GetString());
}

void TForm_Main::N_LogClick()
{
    ToggleLiveLog(this, *m_liveLog);
    refreshStatusBar();
}

void TForm_Main::StatusBar1MouseDown(Qt::MouseButton Button, int X, int Y)
{
    if (Button != Qt::RightButton)
        return;
    if (StatusBar1->panelAt(QPoint(X, Y)) != 1)
        return;
    const QRect panel = GetPanelRect(1);
    QPoint point = StatusBar1->mapToGlobal(panel.topLeft());
    point.ry() += StatusBar1->height();
    const int menuHeight = MenuItemHeight * int(PopupMenuRxTx->actions().size());
    const QScreen *monitor = screen();
    if (monitor) {
        const QRect work = monitor->availableGeometry();
        if (point.y() + menuHeight > work.y() + work.height())
            point.ry() -= menuHeight + StatusBar1->height();
    }
    Q_EMIT popupRequested(point);
    PopupMenuRxTx->popup(point);
}

void TForm_Main::StatusBar1Resize()
{
    LayoutLinkStatusPanels(*StatusBar1);
}

void TForm_Main::ToolBar1Resize()
{
    // The buttons keep their size and place; nothing to adjust.
}

QRect TForm_Main::GetPanelRect(int Index) const
{
    return StatusBar1->GetPanelRect(Index);
}

void TForm_Main::showEvent(QShowEvent *event)
{
    if (!event->spontaneous())
        m_placement->load();
    QWidget::showEvent(event);
}

void TForm_Main::closeEvent(QCloseEvent *event)
{
    QWidget::closeEvent(event);
    if (event->isAccepted()) {
        m_placement->saveOnClose();
        Q_EMIT formClosed();
    }
}

void TForm_Main::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    ToolBar1->setGeometry(0, 0, width(), TToolBar::BarHeight);
    Bevel1->setGeometry(0, TToolBar::BarHeight, width(), 1);
    StatusBar1->setGeometry(0, height() - TPanelStatusBar::DefaultHeight, width(), TPanelStatusBar::DefaultHeight);
}
