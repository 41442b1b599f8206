#include "ui/run/form_calibration_run.h"
#include "records/calibration_records.h"
#include "records/certificate_issue.h"
#include "report/run_certificate.h"
#include "link/dm1.h"
#include "link/meter_ownership.h"
#include "protocol/flow_table.h"
#include "protocol/protokol_usb.h"
#include "rig/rig.h"
#include "ui/common/message_presenter.h"
#include "ui/common/placement_store.h"
#include "ui/common/ui_fonts.h"
#include "ui/records/restore_flow.h"
#include "ui/run/run_progress_page.h"
#include "ui/run/run_result_page.h"
#include <QBoxLayout>
#include <QCloseEvent>
#include <QLabel>
#include <QLoggingCategory>
#include <QPushButton>
#include <QStackedWidget>
#include <cmath>

Q_LOGGING_CATEGORY(lcRunWindow, "kestro.ui.run")

namespace {

// How long a Q Max read may go unanswered before the page says so.
constexpr int QMaxAnswerMs = 3000;

} // namespace

TFormCalibrationRun::TFormCalibrationRun(TDM_1 &dm, TCalibrationRecords &records, const RunWindowSetup &setup,
                                         QWidget *owner)
    : TGuardedForm(WindowGuards::CalibrationRunName, owner), m_dm(dm), m_records(records)
{
    setObjectName(QStringLiteral("Form_CalibrationRun"));
    setWindowTitle(WindowGuards::CalibrationRunTitle);
    setFont(UiFont(8));

    Pages = new QStackedWidget(this);
    Pages->setObjectName(QStringLiteral("Pages"));
    Page_Plan = new TRunPlanPage(setup, Pages);
    Page_Run = new TRunProgressPage(Pages);
    Page_Result = new TRunResultPage(dm, records, Pages);
    for (QWidget *page : {static_cast<QWidget *>(Page_Plan), static_cast<QWidget *>(Page_Run),
                          static_cast<QWidget *>(Page_Result)})
        Pages->addWidget(page);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->addWidget(Pages);
    resize(1000, 720);

    ClaimGuard();
    m_placement = std::make_unique<TPlacementStore>(this, QStringLiteral("FRunSteps"));

    connect(Page_Plan->Button_Start, &QPushButton::clicked, this, &TFormCalibrationRun::Button_StartClick);
    connect(Page_Result->Button_NewRun, &QPushButton::clicked, this, [this] {
        Page_Plan->refuse(QString());
        Pages->setCurrentWidget(Page_Plan);
    });
    connect(&Page_Result->restoreFlow(), &TRestoreFlow::busyChanged, this, &TFormCalibrationRun::holdMeter);

    m_qMaxWait.setSingleShot(true);
    m_qMaxWait.setInterval(QMaxAnswerMs);
    connect(&m_qMaxWait, &QTimer::timeout, this, &TFormCalibrationRun::showQMax);
    connect(&m_dm, &TDM_1::registersTaken, this, [this](int space, int first, int count) {
        if (space != int(RegisterSpace::Params) || first > FlowTable::TableRegister
            || first + count < FlowTable::TableRegister + 2)
            return;
        m_qMax = m_dm.registerImage().floatAt(RegisterSpace::Params, FlowTable::TableRegister).value_or(0.0f);
        m_qMaxWait.stop();
        showQMax();
    });
    // A meter that answers again is asked what it did not answer before, unless
    // the run or a restore drives it.
    connect(&m_dm, &TDM_1::answerAccepted, this, [this] {
        if (m_qMax <= 0.0f && !m_qMaxWait.isActive() && !TMeterOwnership::of(m_dm).isOwned())
            readQMax();
    });
    connect(&m_dm, &TDM_1::portOpened, this, &TFormCalibrationRun::readQMax);
    connect(&m_dm, &TDM_1::portClosedSignal, this, &TFormCalibrationRun::showQMax);
    m_qMax = m_dm.registerImage().floatAt(RegisterSpace::Params, FlowTable::TableRegister).value_or(0.0f);
    readQMax();
    showQMax();
}

TFormCalibrationRun::~TFormCalibrationRun()
{
    // The run goes before the rig it drives.
    m_run.reset();
    m_placement->saveOnDestroy();
}

TFormCalibrationRun::PointState TFormCalibrationRun::pointState(RunPhase phase, int index) const
{
    return Page_Run->Tree_Points->pointState(phase, index);
}

void TFormCalibrationRun::readQMax()
{
    if (!m_dm.isPortOpen())
        return;
    // The whole table: the decoder knows that answer, a read of Q Max alone it would drop.
    if (m_dm.sendUnderRecoveryRule(
            [this] { SendReadParams(m_dm, FlowTable::TableRegister, FlowTable::TableCount); }))
        m_qMaxWait.start();
    showQMax();
}

void TFormCalibrationRun::showQMax()
{
    QString unknown = QStringLiteral("неизвестен: прибор не ответил");
    if (!m_dm.isPortOpen())
        unknown = QStringLiteral("неизвестен: прибор не подключен");
    else if (m_qMaxWait.isActive())
        unknown = QStringLiteral("читается у прибора…");
    Page_Plan->showQMax(m_qMax, unknown);
}

void TFormCalibrationRun::refuse(const QString &message)
{
    qCInfo(lcRunWindow) << "start refused:" << message;
    Page_Plan->refuse(message);
}

void TFormCalibrationRun::Button_StartClick()
{
    QString error;
    std::optional<RunOptions> options = Page_Plan->runOptions(&error);
    if (!options)
        return refuse(error);
    if (!m_dm.isPortOpen())
        return refuse(QStringLiteral("Прибор не подключен: порт не открыт."));
    if (TMeterOwnership::of(m_dm).isOwned())
        return refuse(TMeterOwnership::of(m_dm).reason());
    std::unique_ptr<TRig> rig = Page_Plan->makeRig(&error, &options->timeScale);
    if (!rig)
        return refuse(error);
    Page_Plan->remember();

    m_run.reset();
    m_rig = std::move(rig);
    Page_Plan->Button_Start->setEnabled(false);
    Page_Plan->Label_PlanError->setText(QStringLiteral("Связь со стендом %1…").arg(m_rig->description()));
    connect(m_rig.get(), &TRig::opened, this, [this, options = *options] {
        m_rig->disconnect(this);
        startRun(options);
    });
    connect(m_rig.get(), &TRig::failed, this, [this](const QString &message) {
        m_rig->disconnect(this);
        refuse(QStringLiteral("Стенд %1: %2. Ничего не отправлено.").arg(m_rig->description(), message));
    });
    m_rig->open();
}

void TFormCalibrationRun::startRun(RunOptions options)
{
    // Taken while the rig was opening.
    if (TMeterOwnership::of(m_dm).isOwned())
        return refuse(TMeterOwnership::of(m_dm).reason());
    m_run = std::make_unique<TCalibrationRun>(m_dm, m_records, *m_rig);
    connect(m_run.get(), &TCalibrationRun::finished, this, &TFormCalibrationRun::onFinished);
    Page_Run->follow(m_run.get(), options, m_rig->description());
    Page_Plan->Label_PlanError->clear();
    Pages->setCurrentWidget(Page_Run);
    m_run->start(options);
}

void TFormCalibrationRun::holdMeter()
{
    // The run holds the meter itself while it runs; the window holds it for the result
    // page's restore.
    const QString reason = Page_Result->restoreFlow().isBusy()
                               ? QStringLiteral("Идёт калибровка по шагам: восстановление прежней калибровки")
                               : QString();
    if (reason == m_claim)
        return;
    TMeterOwnership &ownership = TMeterOwnership::of(m_dm);
    if (reason.isEmpty())
        ownership.release(this);
    else if (!ownership.claim(this, reason))
        qCWarning(lcRunWindow) << "meter taken by another face:" << ownership.reason();
    m_claim = reason;
}

void TFormCalibrationRun::onFinished(const RunRecord &record)
{
    holdMeter();
    if (m_rig)
        m_rig->close();
    Page_Run->showEnd(record);
    // The certificate as issued is kept with the records, so any workstation can print it later.
    if (record.end == RunEnd::Completed) {
        QString why;
        const QByteArray pdf = RunCertificate::Pdf(record, &why);
        if (pdf.isEmpty() || !IssueRunCertificate(m_records.store(), record, pdf, &why))
            qWarning().noquote() << "certificate not kept:" << why;
    }
    Page_Result->showRun(record, m_run && m_run->canRestoreBefore());
    Pages->setCurrentWidget(Page_Result);
}

void TFormCalibrationRun::showEvent(QShowEvent *event)
{
    if (!event->spontaneous())
        m_placement->load();
    TGuardedForm::showEvent(event);
}

void TFormCalibrationRun::closeEvent(QCloseEvent *event)
{
    const RunState s = m_run ? m_run->state() : RunState::Idle;
    if (s == RunState::Writing || s == RunState::Restoring || Page_Result->restoreFlow().isRestoring()) {
        // Half a table or half a restore is worse than either: the window waits for it.
        ShowMessage(this, {QMessageBox::Warning, WindowGuards::CalibrationRunTitle,
                           QStringLiteral("Идёт запись в прибор: окно закроется, когда она закончится."),
                           QMessageBox::Ok, QMessageBox::Ok});
        event->ignore();
        return;
    }
    if (s != RunState::Idle && s != RunState::Finished) {
        const MessageBoxRequest box{QMessageBox::Question, WindowGuards::CalibrationRunTitle,
                                    QStringLiteral("Прогон не закончен. Прервать его и закрыть окно?"),
                                    QMessageBox::Yes | QMessageBox::No, QMessageBox::No};
        if (ShowMessage(this, box) != QMessageBox::Yes) {
            event->ignore();
            return;
        }
        m_run->abort(QStringLiteral("окно калибровки по шагам закрыто"));
    }
    TGuardedForm::closeEvent(event);
    if (event->isAccepted())
        m_placement->saveOnClose();
}
