#include "ui/run/run_result_page.h"
#include "link/dm1.h"
#include "link/meter_ownership.h"
#include "records/calibration_records.h"
#include "records/calibration_restorer.h"
#include "ui/common/window_guard.h"
#include "ui/records/form_history.h"
#include "ui/records/restore_flow.h"
#include "ui/result/run_result_view.h"
#include "ui/run/run_widgets.h"
#include <QBoxLayout>
#include <QLabel>
#include <QPushButton>

TRunResultPage::TRunResultPage(TDM_1 &dm, TCalibrationRecords &records, QWidget *parent)
    : QWidget(parent), m_dm(dm), m_records(records),
      m_restore(new TRestoreFlow(dm, records.store(), this, WindowGuards::CalibrationRunTitle))
{
    setObjectName(QStringLiteral("Page_Result"));
    View_Result = new TRunResultView(this);
    View_Result->setObjectName(QStringLiteral("View_Result"));
    Label_Restore = RunWidgets::Label("Label_Restore", this);
    Button_NewRun = RunWidgets::Button("Button_NewRun", QStringLiteral("Новый прогон"), this);
    auto *bottom = new QHBoxLayout;
    bottom->addWidget(Label_Restore, 1);
    bottom->addWidget(Button_NewRun);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(View_Result, 1);
    layout->addLayout(bottom);

    connect(View_Result, &TRunResultView::restoreRequested, this, &TRunResultPage::restoreSnapshot);
    connect(View_Result, &TRunResultView::openRecordRequested, this, &TRunResultPage::openHistory);
    connect(m_restore, &TRestoreFlow::failed, Label_Restore, &QLabel::setText);
    connect(m_restore, &TRestoreFlow::declined, this,
            [this] { Label_Restore->setText(QStringLiteral("Восстановление отменено")); });
    connect(m_restore, &TRestoreFlow::restoreStarted, this,
            [this] { Label_Restore->setText(QStringLiteral("Восстановление…")); });
    connect(m_restore, &TRestoreFlow::stageChanged, this, [this](const QString &stage) { Label_Restore->setText(stage); });
    connect(m_restore, &TRestoreFlow::finished, this,
            [this](const RestoreOutcome &outcome) { Label_Restore->setText(outcome.message); });
}

void TRunResultPage::showRun(const RunRecord &record, bool canRestore)
{
    View_Result->showRun(record, canRestore);
    Label_Restore->setText(canRestore ? QStringLiteral("Прибор хранит таблицу этого прогона; прежняя калибровка — "
                                                       "в снимке №%1")
                                            .arg(record.snapshotBeforeId)
                                      : QString());
}

void TRunResultPage::restoreSnapshot(qint64 snapshotId)
{
    // Another face drives the meter: it is not written under it.
    if (m_restore->isBusy() || TMeterOwnership::of(m_dm).isOwned())
        return;
    const std::optional<Snapshot> target = m_records.store().get(snapshotId);
    if (!target) {
        Label_Restore->setText(
            QStringLiteral("Снимок №%1 не прочитан: %2").arg(snapshotId).arg(m_records.store().lastError()));
        return;
    }
    QString why;
    if (!m_restore->start(*target, &why)) {
        Label_Restore->setText(why);
        return;
    }
    Label_Restore->setText(QStringLiteral("Чтение калибровки прибора"));
}

void TRunResultPage::openHistory(qint64 runId)
{
    if (!m_history)
        m_history = new TForm_History(m_dm, m_records, window());
    m_history->show();
    BringToFront(m_history);
    m_history->showRunRecord(runId);
}
