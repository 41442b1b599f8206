#include "ui/calibration/form_kalibrovka.h"
#include "records/certificate_parties.h"
#include "link/dm1.h"
#include "link/meter_ownership.h"
#include "protocol/protokol_usb.h"
#include "protocol/number_text.h"
#include "records/calibration_records.h"
#include "protocol/flow_table.h"
#include "ui/calibration/tab_flow.h"
#include "ui/calibration/tab_poverka.h"
#include "ui/calibration/tab_termo.h"
#include "ui/calibration/tab_zero.h"
#include "ui/common/handler_connect.h"
#include "ui/common/link_status_bar.h"
#include "ui/common/live_log_control.h"
#include "records/live_log.h"
#include "ui/common/panel_status_bar.h"
#include "ui/common/placement_store.h"
#include "ui/common/snapshot_guard.h"
#include "ui/common/snapshot_note.h"
#include "ui/common/tool_bar.h"
#include "ui/common/tool_images.h"
#include "ui/common/ui_fonts.h"
#include "ui/records/backup_action.h"
#include "ui/records/form_history.h"
#include "ui/records/dialog_certificate.h"
#include "ui/records/verification_certificate.h"
#include "ui/calibration/live_chart.h"
#include "ui/common/error_box.h"
#include "ui/common/file_dialogs.h"
#include <QCoreApplication>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QFrame>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>

namespace {

// Live blocks of the poll, in the order a tick sends them.
constexpr quint16 TermoAdcAddr = 28, TermoAdcCount = 2;
constexpr quint16 ZeroLiveAddr = 10, ZeroLiveCount = 22;
constexpr quint16 FlowNowAddr = 2, FlowNowCount = 14;
constexpr quint16 FlowAverageAddr = 44, FlowAverageCount = 6;

QLineEdit *focusedEdit()
{
    return qobject_cast<QLineEdit *>(QApplication::focusWidget());
}

} // namespace

TForm_Kalibrovka::TForm_Kalibrovka(TDM_1 &dm, QWidget *owner, TCalibrationRecords *records)
    : TGuardedForm(WindowGuards::KalibrovkaName, owner), m_dm(dm), m_records(records)
{
    setObjectName(QStringLiteral("Form_Kalibrovka"));
    setWindowTitle(WindowGuards::KalibrovkaTitle);
    setFont(UiFont(8));
    buildControls();
    resize(ClientWidth, ClientHeight);
    ClaimGuard();
    m_placement = std::make_unique<TPlacementStore>(this, QStringLiteral("FKalibr"), PageControl1);
    connectHandlers();
    FormCreate();
    ToolButton_Log->setEnabled(false);
    ToolButton_Backup->setEnabled(m_records != nullptr);
    ToolButton_History->setEnabled(m_records != nullptr);
    ToolButton_Run->setEnabled(false);
    TMeterOwnership &ownership = TMeterOwnership::of(m_dm);
    connect(&ownership, &TMeterOwnership::changed, this, &TForm_Kalibrovka::showMeterOwnership);
    if (ownership.isOwned())
        showMeterOwnership(true, ownership.reason());
    if (m_records) {
        m_backup = new TBackupAction(m_dm, *m_records, this);
        m_recordsNote = new TSnapshotNote(*m_records, this);
        TabSheet1->setRecords(m_records);
        TabSheet2->setRecords(m_records);
        TabSheet3->setRecords(m_records);
    }
    for (const TOwnReads *reads : {&TabSheet1->calibration().ownReads(), &TabSheet2->calibration().ownReads(),
                                   &TabSheet3->ownReads()})
        connect(reads, &TOwnReads::taken, this, &TForm_Kalibrovka::onOwnReadTaken);
    Timer_1->start();
}

TForm_Kalibrovka::~TForm_Kalibrovka()
{
    // Replies to requests sent just before closing must not reach a dead window.
    m_dm.OnKalibrTermoChange = nullptr;
    m_dm.OnKalibrTermoADCChange = nullptr;
    m_dm.OnKalibr0TermoChange = nullptr;
    m_dm.OnKalibr0TermoNsChange = nullptr;
    m_dm.OnKalibrQKoeff = nullptr;
    m_dm.OnKalibrQNs = nullptr;
    m_placement->saveOnDestroy();
}

void TForm_Kalibrovka::buildControls()
{
    ToolBar1 = new TToolBar(QStringLiteral("ToolBar1"), this);
    ToolButton_Kf_Recalc =
        ToolBar1->addButton(new TToolButton(QStringLiteral("ToolButton_Kf_Recalc"), ToolImages::Recalc));
    ToolButton_Kf_Recalc->setHint(QStringLiteral("Пересчет коэффициентов"));
    ToolButton2 = ToolBar1->addSeparator(QStringLiteral("ToolButton2"), 8);
    ToolButton_Reset = ToolBar1->addButton(new TToolButton(QStringLiteral("ToolButton_Reset"), ToolImages::Restart));
    ToolButton_Reset->setHint(QStringLiteral("Перезагрузка"));
    ToolButton3 = ToolBar1->addSeparator(QStringLiteral("ToolButton3"), 8);
    ToolButton_Backup = ToolBar1->addButton(new TToolButton(QStringLiteral("ToolButton_Backup"), ToolImages::Backup));
    ToolButton_Backup->setHint(QStringLiteral("Резервная копия"));
    ToolButton_History = ToolBar1->addButton(new TToolButton(QStringLiteral("ToolButton_History"), ToolImages::History));
    ToolButton_History->setHint(QStringLiteral("История калибровки"));
    ToolButton_Run = ToolBar1->addButton(new TToolButton(QStringLiteral("ToolButton_Run"), ToolImages::RunSteps));
    ToolButton_Run->setHint(WindowGuards::CalibrationRunTitle);
    ToolButton_Log = ToolBar1->addButton(new TToolButton(QStringLiteral("ToolButton_Log"), ToolImages::Record));
    ToolButton_Log->setHint(QStringLiteral("Запись"));
    ToolButton_Separator_w = ToolBar1->addStretch(QStringLiteral("ToolButton_Separator_w"));
    ToolButton1 = ToolBar1->addSeparator(QStringLiteral("ToolButton1"), 8);
    ToolButton_Exit = ToolBar1->addButton(new TToolButton(QStringLiteral("ToolButton_Exit"), ToolImages::Exit));
    ToolButton_Exit->setHint(QStringLiteral("Выход"));

    Bevel1 = new QFrame(this);
    Bevel1->setObjectName(QStringLiteral("Bevel1"));
    Bevel1->setFrameShape(QFrame::HLine);
    Bevel1->setFrameShadow(QFrame::Plain);
    Bevel1->setFixedHeight(1);

    PageControl1 = new QTabWidget(this);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    TabSheet1 = new TTabTermo(m_dm, Opros_Termo_ADC_enable, SredTermoADC);
    TabSheet2 = new TTabZeroTermo(m_dm, Opros_Termo_0_enable, Sred0Temp, Sred0Ns);
    TabSheet5 = new TTabZeroFreq(*TabSheet2);
    TabSheet4 = new TTabPoverka(Opros_Rashod_Poverka_enable);
    TabSheet3 = new TTabRashodKalibr(m_dm, Opros_Rashod_Kalibr_enable, TabSheet4->Edit_Poverka_Q_Max);
    const struct
    {
        QWidget *tab;
        const char *name;
        const char *caption;
    } tabs[] = {
        {TabSheet1, "TabSheet1", "Термометр"},
        {TabSheet5, "TabSheet5", "Калибровка 0 по частоте"},
        {TabSheet2, "TabSheet2", "Калибровка 0 по температуре"},
        {TabSheet3, "TabSheet3", "Калибровка расхода"},
        {TabSheet4, "TabSheet4", "Поверка"},
    };
    for (const auto &t : tabs) {
        t.tab->setObjectName(QString::fromUtf8(t.name));
        PageControl1->addTab(t.tab, QString::fromUtf8(t.caption));
    }
    PageControl1->setCurrentWidget(TabSheet3);

    StatusBar1 = new TPanelStatusBar(2, this);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusBar1->setPanelAlignment(1, Qt::AlignRight);
    StatusBar1->setPanelWidth(1, LinkStatusBar::CountersPanelWidth);

    Timer_1 = new QTimer(this);
    Timer_1->setObjectName(QStringLiteral("Timer_1"));
    Timer_1->setInterval(PollIntervalMs);

    buildPopupMenu();
}

void TForm_Kalibrovka::buildPopupMenu()
{
    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    const struct
    {
        QAction **action;
        const char *name;
        const char *caption;
        QKeySequence::StandardKey key;
        void (*edit)(QLineEdit *);
    } items[] = {
        {&Copy1, "Copy1", "Копировать", QKeySequence::Copy, [](QLineEdit *e) { e->copy(); }},
        {&Paste1, "Paste1", "Вставить", QKeySequence::Paste, [](QLineEdit *e) { e->paste(); }},
        {&Cut1, "Cut1", "Вырезать", QKeySequence::Cut, [](QLineEdit *e) { e->cut(); }},
    };
    for (const auto &item : items) {
        QAction *action = PopupMenu1->addAction(QString::fromUtf8(item.caption));
        action->setObjectName(QString::fromUtf8(item.name));
        action->setShortcut(item.key);
        // The standard edit commands act on whichever edit box has the focus.
        connect(action, &QAction::triggered, this, [edit = item.edit] {
            if (QLineEdit *focused = focusedEdit())
                edit(focused);
        });
        addAction(action);
        *item.action = action;
    }
    PopupMenu1->addSeparator()->setObjectName(QStringLiteral("N2"));
    N1 = PopupMenu1->addAction(QStringLiteral("Заполнить зеркально расход"));
    N1->setObjectName(QStringLiteral("N1"));
    connect(N1, &QAction::triggered, this, [this] { CatchToErrorBox(this, [this] { N1Click(); }); });
    // Available only when they can act.
    connect(PopupMenu1, &QMenu::aboutToShow, this, [this] {
        QLineEdit *focused = focusedEdit();
        const bool selection = focused && focused->hasSelectedText();
        Copy1->setEnabled(selection);
        Cut1->setEnabled(selection && !focused->isReadOnly());
        Paste1->setEnabled(focused && !focused->isReadOnly() && !QApplication::clipboard()->text().isEmpty());
    });
}

// The menu belongs to the 26 point fields of the flow table and to no other control.
void TForm_Kalibrovka::attachPointMenu()
{
    for (QLineEdit *field : TabSheet3->pointFields()) {
        field->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(field, &QWidget::customContextMenuRequested, this, [this, field](const QPoint &pos) {
            field->setFocus(Qt::PopupFocusReason);
            PopupMenu1->popup(field->mapToGlobal(pos));
        });
    }
}

void TForm_Kalibrovka::connectHandlers()
{
    attachPointMenu();
    // The verification tab's buttons that run the flow tab's operations.
    ConnectHandler(TabSheet4->Button1, &QPushButton::clicked, this, [this] { TabSheet3->Button_read_Rashod_KfClick(); });
    ConnectHandler(TabSheet4->Button2, &QPushButton::clicked, this, [this] { Button2Click(); });
    ConnectHandler(TabSheet4->Button11, &QPushButton::clicked, this, [this] { Button11Click(); });
    ConnectHandler(TabSheet4->Button7, &QPushButton::clicked, this,
                   [this] { TabSheet3->Button_Reset_Rashod_kalibrClick(); });
    ConnectHandler(ToolButton_Kf_Recalc, &QToolButton::clicked, this, [this] { ToolButton_Kf_RecalcClick(); });
    ConnectHandler(ToolButton_Reset, &QToolButton::clicked, this, [this] { ToolButton_ResetClick(); });
    ConnectHandler(ToolButton_Exit, &QToolButton::clicked, this, [this] { ToolButton_ExitClick(); });
    ConnectHandler(ToolButton_Backup, &QToolButton::clicked, this, [this] { ToolButton_BackupClick(); });
    ConnectHandler(ToolButton_History, &QToolButton::clicked, this, [this] { ToolButton_HistoryClick(); });
    ConnectHandler(ToolButton_Run, &QToolButton::clicked, this, [this] { ToolButton_RunClick(); });
    ConnectHandler(ToolButton_Log, &QToolButton::clicked, this, [this] { ToolButton_LogClick(); });
    ConnectHandler(TabSheet4->Button_Certificate, &QPushButton::clicked, this, [this] { Button_CertificateClick(); });
    ConnectHandler(Timer_1, &QTimer::timeout, this, [this] { Timer_1Timer(); });
    ConnectHandler(ToolBar1, &TToolBar::resized, this, [this] { ToolBar1Resize(); });
    ConnectHandler(StatusBar1, &TPanelStatusBar::resized, this, [this] { StatusBar1Resize(); });
}

void TForm_Kalibrovka::FormCreate()
{
    m_dm.OnKalibrTermoChange = [this](QObject *s, const TQ_kalibr_Termo &q) { TabSheet1->ShowKalibrTermo(s, q); };
    m_dm.OnKalibrTermoADCChange = [this](QObject *s, const TQ_kalibr_Termo_ADC &q) {
        TabSheet1->ShowKalibrTermoADC(s, q);
    };
    m_dm.OnKalibr0TermoChange = [this](QObject *s, const TQ_kalibr_0_Termo &q) {
        TabSheet2->ShowKalibr0Termo(s, q);
    };
    m_dm.OnKalibr0TermoNsChange = [this](QObject *s, const TQ_kalibr_Termo_ns &q) {
        TabSheet2->ShowKalibr0TermoNs(s, q);
    };
    m_dm.OnKalibrQKoeff = [this](QObject *s, const TQ_Rashod_Kf &q) { ShowKalibrQKoeff(s, q); };
    m_dm.OnKalibrQNs = [this](QObject *s, const TQ_kalibr_Rashod &q) { ShowKalibrQNs(s, q); };
    TabSheet4->prepareGrid();
    Opros_Termo_ADC_enable = false;
    Opros_Termo_0_enable = false;
    Opros_Rashod_Kalibr_enable = false;
    Opros_Rashod_Poverka_enable = false;
    TabSheet3->ShowQPointLabels(0);
    TabSheet1->prepareChart();
    TabSheet2->prepareChart();
    TabSheet3->prepareChart();
    TabSheet4->prepareChart();
}

void TForm_Kalibrovka::FormShow()
{
    ToolBar1->setFocus();
}

void TForm_Kalibrovka::Timer_1Timer()
{
    // One guard for the whole tick: after a failed send the rest of it is skipped.
    // A closed port is looked for again on every tick, whatever the main window says.
    // A run that owns the meter reads what it needs itself.
    if (TMeterOwnership::of(m_dm).isOwned()) {
        showStatus();
        return;
    }
    m_dm.sendUnderRecoveryRule([this] {
        if (Opros_Termo_ADC_enable)
            SendReadData(m_dm, TermoAdcAddr, TermoAdcCount);
        if (Opros_Termo_0_enable)
            SendReadData(m_dm, ZeroLiveAddr, ZeroLiveCount);
        if (Opros_Rashod_Kalibr_enable || Opros_Rashod_Poverka_enable) {
            SendReadData(m_dm, FlowNowAddr, FlowNowCount);
            SendReadData(m_dm, FlowAverageAddr, FlowAverageCount);
        }
    });
    showStatus();
}

void TForm_Kalibrovka::showStatus()
{
    ShowLinkStatus(*StatusBar1, m_dm,
                   JoinNotes({m_actionNote.text(), LiveLogNote(m_liveLog), m_recordsNote ? m_recordsNote->text() : QString()}),
                   LiveLogName(m_liveLog));
}

void TForm_Kalibrovka::setNote(const QString &text)
{
    m_actionNote.set(text);
    showStatus();
}

void TForm_Kalibrovka::ShowKalibrQKoeff(QObject *Sender, const TQ_Rashod_Kf &Q)
{
    TabSheet3->ShowKalibrQKoeff(Sender, Q);
}

void TForm_Kalibrovka::ShowKalibrQNs(QObject *Sender, const TQ_kalibr_Rashod &Q)
{
    Q_UNUSED(Sender);
    // Each tab takes the values only while its own poll is on.
    if (Q.type_Q_Ns) {
        const QDateTime t = QDateTime::currentDateTime();
        if (Opros_Rashod_Kalibr_enable)
            TabSheet3->showLiveNow(Q, t);
        if (Opros_Rashod_Poverka_enable)
            TabSheet4->showLiveNow(Q, t);
        return;
    }
    if (Opros_Rashod_Kalibr_enable)
        TabSheet3->showLiveAverages(Q);
    if (Opros_Rashod_Poverka_enable)
        TabSheet4->showLiveAverages(Q);
}

void TForm_Kalibrovka::Button2Click()
{
    Opros_Rashod_Poverka_enable = true;
    TabSheet3->sendAveragingCommand(Proto::CmdAverageStart);
}

void TForm_Kalibrovka::Button11Click()
{
    TabSheet3->sendAveragingCommand(Proto::CmdAverageStop);
}

void TForm_Kalibrovka::sendCommand(quint16 command)
{
    m_dm.sendUnderRecoveryRule([&] { SendWriteWord(m_dm, Proto::CommandRegister, command); });
}

void TForm_Kalibrovka::ToolButton_Kf_RecalcClick()
{
    // Recalculation replaces the coefficients the meter computed.
    if (m_dm.isPortOpen() && !KeepSnapshotOrAsk(m_records, SnapshotReason::BeforeRecalculation, AllCalibrationAreas(), this))
        return;
    m_recalcReads.clear();
    const bool sent = m_dm.sendUnderRecoveryRule([this] {
        SendWriteWord(m_dm, Proto::CommandRegister, Proto::CmdRecalculate);
        // The coefficients on the tabs are stale now; the points stay as typed.
        m_recalcReads = {TabSheet1->calibration().readCoefficients(), TabSheet2->calibration().readCoefficients(),
                         TabSheet3->readCoefficients()};
    });
    if (sent)
        setNote(QStringLiteral("Пересчет коэффициентов: команда передана, коэффициенты читаются заново"));
}

void TForm_Kalibrovka::onOwnReadTaken(const QByteArray &frame)
{
    if (m_recalcReads.removeOne(frame) && m_recalcReads.isEmpty())
        setNote(QStringLiteral("Прибор пересчитал коэффициенты: они прочитаны заново, введённые точки не изменены"));
}

void TForm_Kalibrovka::onRestoreWrote(bool restored)
{
    // The tabs keep what they show: the engineer may have typed there.
    setNote(restored ? QStringLiteral("Калибровка восстановлена из снимка; вкладки показывают прежние значения, "
                                      "«Прочитать» покажет записанные")
                     : QStringLiteral("Восстановление изменило прибор не полностью; вкладки показывают прежние "
                                      "значения, «Прочитать» покажет, что хранит прибор"));
}

void TForm_Kalibrovka::ToolButton_ResetClick()
{
    sendCommand(Proto::CmdRestart);
}

void TForm_Kalibrovka::ToolButton_BackupClick()
{
    if (m_backup)
        m_backup->start();
}

void TForm_Kalibrovka::ToolButton_HistoryClick()
{
    if (!m_records)
        return;
    // One history window; asked again, it comes forward.
    if (!m_history) {
        m_history = new TForm_History(m_dm, *m_records, this);
        connect(m_history, &TForm_History::restoreWrote, this, &TForm_Kalibrovka::onRestoreWrote);
    }
    m_history->show();
    m_history->raise();
    m_history->activateWindow();
}

void TForm_Kalibrovka::showRunRecord(qint64 runId)
{
    ToolButton_HistoryClick();
    if (m_history)
        m_history->showRunRecord(runId);
}

void TForm_Kalibrovka::setRunWindowOpener(std::function<void()> open)
{
    m_openRun = std::move(open);
    ToolButton_Run->setEnabled(m_openRun != nullptr);
}

void TForm_Kalibrovka::ToolButton_RunClick()
{
    if (m_openRun)
        m_openRun();
}

void TForm_Kalibrovka::showMeterOwnership(bool owned, const QString &reason)
{
    const QList<QWidget *> controls = {TabSheet3->Button_Start_Rashod_kalibr, TabSheet3->Button_Stop_Rashod_kalibr,
                                       TabSheet3->Button14, TabSheet3->Button13, TabSheet3->Button_Reset_Rashod_kalibr,
                                       TabSheet4->Button2, TabSheet4->Button11, TabSheet4->Button7,
                                       ToolButton_Kf_Recalc};
    if (owned) {
        // The live readings would only interleave with the run's own reads and averaging.
        Opros_Rashod_Kalibr_enable = false;
        Opros_Rashod_Poverka_enable = false;
        for (QWidget *c : controls) {
            if (!m_ownedTips.contains(c))
                m_ownedTips.insert(c, c->toolTip());
            c->setEnabled(false);
            c->setToolTip(reason);
        }
        return;
    }
    for (QWidget *c : controls) {
        c->setEnabled(true);
        c->setToolTip(m_ownedTips.value(c));
    }
    m_ownedTips.clear();
}

void TForm_Kalibrovka::setLiveLog(TLiveLog *log)
{
    m_liveLog = log;
    ToolButton_Log->setEnabled(log != nullptr);
    if (!log)
        return;
    const auto showState = [this](bool running) {
        ToolButton_Log->setHint(running ? QStringLiteral("Остановить запись") : QStringLiteral("Запись"));
        ToolButton_Log->setDown(running);
    };
    connect(log, &TLiveLog::runningChanged, this, showState);
    showState(log->isRunning());
}

void TForm_Kalibrovka::ToolButton_LogClick()
{
    if (m_liveLog)
        ToggleLiveLog(this, *m_liveLog);
}

bool TForm_Kalibrovka::saveCertificate(const TDialog_Certificate &answers, const QString &path, QString *error)
{
    CertificateData data;
    data.operatorName = answers.Edit_Operator->text();
    data.serialNumber = answers.Edit_Serial->text();
    data.customer = answers.Edit_Customer->text();
    data.comment = answers.Edit_Comment->text();
    data.tolerancePercent = answers.tolerance();
    data.programVersion = QStringLiteral(KESTRO_VERSION);
    data.port = m_dm.portName();
    data.when = QDateTime::currentDateTime();
    for (QLineEdit *c : {TabSheet3->Edit_Rashod_A, TabSheet3->Edit_Rashod_B, TabSheet3->Edit_Rashod_C, TabSheet3->Edit_Rashod_D})
        data.coefficients << c->text();
    data.qMax = TabSheet4->Edit_Poverka_Q_Max->text();
    data.chart = TabSheet4->Chart_Rashod_Poverka->toPixmap(800, 320, 2.0).toImage();
    data.number = NewVerificationNumber();
    data.parties = LoadCertificateParties();
    return WriteCertificatePdf(path, data, *TabSheet4, error);
}

void TForm_Kalibrovka::Button_CertificateClick()
{
    // Nothing to certify: say so before asking for the rest.
    if (Verification::Summarize(*TabSheet4, TDialog_Certificate::RememberedTolerance()).judged == 0)
        throw KestroError(QStringLiteral("В таблице поверки нет рассчитанных строк: заполните \"Эталон\" и "
                                         "\"Прибор\" и нажмите \"Пересчитать\"."));
    TDialog_Certificate answers(*TabSheet4, this);
    if (answers.exec() != QDialog::Accepted)
        return;
    answers.remember();
    TabSheet4->showVerdict();
    const QString suggested = FileNameFromTitle(
        QStringLiteral("Протокол поверки %1 %2.pdf")
            .arg(answers.Edit_Serial->text(), QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd"))));
    const QString path = AskSaveFileName(this, QStringLiteral("Протокол поверки"), suggested, QStringLiteral("PDF (*.pdf)"));
    if (path.isEmpty())
        return;
    QString error;
    if (!saveCertificate(answers, path, &error)) {
        ShowErrorBox(this, error);
        return;
    }
    OpenSavedDocument(this, QStringLiteral("Протокол поверки"), path);
}

void TForm_Kalibrovka::ToolButton_ExitClick()
{
    close();
}

void TForm_Kalibrovka::ToolBar1Resize()
{
    ToolBar1->fitGap(ToolButton_Separator_w);
}

void TForm_Kalibrovka::StatusBar1Resize()
{
    LayoutLinkStatusPanels(*StatusBar1);
}

void TForm_Kalibrovka::showEvent(QShowEvent *event)
{
    if (!event->spontaneous())
        m_placement->load();
    TGuardedForm::showEvent(event);
    FormShow();
}

void TForm_Kalibrovka::closeEvent(QCloseEvent *event)
{
    TGuardedForm::closeEvent(event);
    if (event->isAccepted())
        m_placement->saveOnClose();
}

void TForm_Kalibrovka::resizeEvent(QResizeEvent *event)
{
    TGuardedForm::resizeEvent(event);
    const int w = width();
    ToolBar1->setGeometry(0, 0, w, TToolBar::BarHeight);
    Bevel1->setGeometry(0, TToolBar::BarHeight, w, 1);
    const int pagesTop = TToolBar::BarHeight + 1 + StripHeight;
    const int statusTop = height() - TPanelStatusBar::DefaultHeight;
    PageControl1->setGeometry(0, pagesTop, w, qMax(0, statusTop - pagesTop));
    StatusBar1->setGeometry(0, statusTop, w, TPanelStatusBar::DefaultHeight);
}
