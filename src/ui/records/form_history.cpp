#include "ui/records/form_history.h"
#include <QApplication>
#include <QCheckBox>
#include "records/plant_sync.h"
#include "ui/records/dialog_plant_store.h"
#include "link/dm1.h"
#include "records/calibration_records.h"
#include "records/calibration_restorer.h"
#include "records/file_output.h"
#include "records/snapshot_file.h"
#include "ui/common/file_dialogs.h"
#include "ui/common/message_presenter.h"
#include "ui/records/comparison_tree.h"
#include "ui/records/restore_flow.h"
#include <QFile>
#include "procedure/verification_table.h"
#include "ui/records/unfinished_restore_panel.h"
#include "report/run_result_text.h"
#include "ui/result/run_result_view.h"
#include <QDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

QString areaTitles(const Snapshot &s)
{
    QStringList titles;
    for (CalibrationArea a : s.areas.keys())
        titles << QString::fromUtf8(AreaSpecOf(a).title);
    return titles.isEmpty() ? QStringLiteral("нет известных") : titles.join(QStringLiteral(", "));
}

QPushButton *button(QWidget *parent, const char *name, const QString &caption, const QString &hint)
{
    auto *b = new QPushButton(caption, parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setToolTip(hint);
    return b;
}

void say(QWidget *parent, QMessageBox::Icon icon, const QString &text)
{
    ShowMessage(parent, {icon, QStringLiteral("История калибровки"), text, QMessageBox::Ok, QMessageBox::Ok});
}

} // namespace

TForm_History::TForm_History(TDM_1 &dm, TCalibrationRecords &records, QWidget *owner)
    : QWidget(owner, Qt::Window), m_dm(dm), m_records(records),
      m_reader(new TCalibrationReader(dm, TCalibrationReader::DefaultAnswerTimeoutMs, this)),
      m_restore(new TRestoreFlow(dm, records.store(), this, QStringLiteral("История калибровки")))
{
    setObjectName(QStringLiteral("Form_History"));
    setWindowTitle(QStringLiteral("История калибровки"));
    setAttribute(Qt::WA_DeleteOnClose);
    resize(900, 640);

    Grid_Snapshots = new QTableWidget(0, 6, this);
    Grid_Snapshots->setObjectName(QStringLiteral("Grid_Snapshots"));
    Grid_Snapshots->setAccessibleName(QStringLiteral("Снимки калибровки"));
    Grid_Snapshots->setHorizontalHeaderLabels({QStringLiteral("№"), QStringLiteral("Время"), QStringLiteral("Причина"),
                                               QStringLiteral("Порт"), QStringLiteral("Области"), QStringLiteral("Примечание")});
    Grid_Snapshots->setSelectionBehavior(QAbstractItemView::SelectRows);
    Grid_Snapshots->setSelectionMode(QAbstractItemView::ExtendedSelection);
    Grid_Snapshots->setEditTriggers(QAbstractItemView::NoEditTriggers);
    Grid_Snapshots->verticalHeader()->hide();
    Grid_Snapshots->horizontalHeader()->setStretchLastSection(true);

    Button_CompareMeter = button(this, "Button_CompareMeter", QStringLiteral("Сравнить с прибором"),
                                 QStringLiteral("Прочитать калибровку прибора и сравнить с выбранным снимком"));
    Button_CompareTwo = button(this, "Button_CompareTwo", QStringLiteral("Сравнить два снимка"),
                               QStringLiteral("Сравнить два выбранных снимка"));
    Button_Restore = button(this, "Button_Restore", QStringLiteral("Восстановить…"),
                            QStringLiteral("Записать в прибор области выбранного снимка"));
    Button_Export = button(this, "Button_Export", QStringLiteral("Экспорт…"),
                           QStringLiteral("Сохранить выбранный снимок в файл"));
    Button_Import = button(this, "Button_Import", QStringLiteral("Импорт…"), QStringLiteral("Добавить снимок из файла"));
    Button_PlantStore = button(this, "Button_PlantStore", QStringLiteral("Хранилище записей…"),
                               QStringLiteral("Куда записи отправляются после этого компьютера"));
    auto *buttons = new QHBoxLayout;
    for (QPushButton *b : {Button_CompareMeter, Button_CompareTwo, Button_Restore, Button_Export, Button_Import})
        buttons->addWidget(b);
    buttons->addStretch();

    Tree_Compare = new QTreeWidget(this);
    Tree_Compare->setObjectName(QStringLiteral("Tree_Compare"));
    Tree_Compare->setAccessibleName(QStringLiteral("Сравнение"));
    Tree_Compare->setHeaderLabels({QStringLiteral("Область / регистры")});

    Progress = new QProgressBar(this);
    Progress->setObjectName(QStringLiteral("Progress"));
    Progress->setAccessibleName(QStringLiteral("Ход операции"));
    Button_Cancel = button(this, "Button_Cancel", QStringLiteral("Отмена"), QStringLiteral("Прервать чтение"));
    Label_Result = new QLabel(this);
    Label_Result->setObjectName(QStringLiteral("Label_Result"));
    Label_Result->setWordWrap(true);
    Label_Result->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto *progress = new QHBoxLayout;
    progress->addWidget(Progress, 1);
    progress->addWidget(Button_Cancel);

    Panel_Unfinished = new TUnfinishedRestorePanel(this);
    connect(Panel_Unfinished, &TUnfinishedRestorePanel::finishRequested, this, [this](const RestoreRecord &r) {
        restoreFromJournal(r.targetId, r, QStringLiteral("Завершить восстановление: записать снимок №%1").arg(r.targetId));
    });
    connect(Panel_Unfinished, &TUnfinishedRestorePanel::undoRequested, this, [this](const RestoreRecord &r) {
        restoreFromJournal(r.wayBackId, r,
                           QStringLiteral("Вернуть как было: записать снимок №%1, снятый перед восстановлением")
                               .arg(r.wayBackId));
    });

    auto *snapshotsPage = new QWidget(this);
    auto *layout = new QVBoxLayout(snapshotsPage);
    layout->addWidget(Panel_Unfinished);
    layout->addWidget(Grid_Snapshots, 2);
    layout->addLayout(buttons);
    layout->addWidget(Tree_Compare, 3);
    layout->addLayout(progress);
    layout->addWidget(Label_Result);

    Tabs = new QTabWidget(this);
    Tabs->setObjectName(QStringLiteral("Tabs"));
    Tabs->setAccessibleName(QStringLiteral("Разделы истории"));
    Tabs->addTab(snapshotsPage, QStringLiteral("Снимки"));
    Tabs->addTab(makeRunsPage(), QStringLiteral("Калибровки"));
    // Beside the tabs: it concerns both lists, and the snapshot buttons keep their room.
    Tabs->setCornerWidget(Button_PlantStore, Qt::TopRightCorner);
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(Tabs);
    // A run finished since the window opened shows up when its list is looked at.
    connect(Tabs, &QTabWidget::currentChanged, this, [this](int index) {
        if (Tabs->widget(index) == Grid_Runs->parentWidget())
            refreshRuns();
    });

    connect(Button_CompareMeter, &QPushButton::clicked, this, &TForm_History::Button_CompareMeterClick);
    connect(Button_CompareTwo, &QPushButton::clicked, this, &TForm_History::Button_CompareTwoClick);
    connect(Button_Restore, &QPushButton::clicked, this, &TForm_History::Button_RestoreClick);
    connect(Button_Export, &QPushButton::clicked, this, &TForm_History::Button_ExportClick);
    connect(Button_Import, &QPushButton::clicked, this, &TForm_History::Button_ImportClick);
    connect(Button_PlantStore, &QPushButton::clicked, this, [this] {
        auto *dialog = new TDialogPlantStore(this);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        dialog->open();
    });
    connect(Button_Cancel, &QPushButton::clicked, this, &TForm_History::Button_CancelClick);
    connect(Grid_Snapshots, &QTableWidget::itemSelectionChanged, this, &TForm_History::updateButtons);

    connect(m_reader, &TCalibrationReader::progress, this, [this](int done, int total) {
        Progress->setRange(0, total);
        Progress->setValue(done);
    });
    connect(m_reader, &TCalibrationReader::finished, this, [this] {
        setBusy(false);
        // Outside the decoder's delivery: what follows may open a dialog.
        if (auto then = std::exchange(m_afterRead, nullptr))
            QMetaObject::invokeMethod(
                this, [then, now = m_reader->snapshot(SnapshotReason::ManualBackup)] { then(now); }, Qt::QueuedConnection);
    });
    connect(m_reader, &TCalibrationReader::failed, this, [this](const QString &message) {
        setBusy(false);
        m_afterRead = nullptr;
        Label_Result->setText(message);
        QMetaObject::invokeMethod(
            this, [this, message] { say(this, QMessageBox::Warning, message); }, Qt::QueuedConnection);
    });
    connect(m_restore, &TRestoreFlow::readProgress, this, [this](int done, int total) {
        Progress->setRange(0, total);
        Progress->setValue(done);
    });
    connect(m_restore, &TRestoreFlow::meterRead, this, [this](const Snapshot &target, const Snapshot &now) {
        setBusy(false);
        ShowComparison(*Tree_Compare, CompareSnapshots(target, now), QStringLiteral("Снимок №%1").arg(target.id),
                       QStringLiteral("Прибор сейчас"));
    });
    connect(m_restore, &TRestoreFlow::failed, this, [this](const QString &message) {
        setBusy(false);
        Label_Result->setText(message);
        QMetaObject::invokeMethod(
            this, [this, message] { say(this, QMessageBox::Warning, message); }, Qt::QueuedConnection);
    });
    connect(m_restore, &TRestoreFlow::declined, this, [this] { setBusy(false); });
    connect(m_restore, &TRestoreFlow::restoreStarted, this, [this] { setBusy(true, QStringLiteral("Восстановление")); });
    connect(m_restore, &TRestoreFlow::stageChanged, this, [this](const QString &stage, int done, int total) {
        Label_Result->setText(stage);
        Progress->setRange(0, total);
        Progress->setValue(done);
        Button_Cancel->setEnabled(m_restore->canCancel());
    });
    connect(m_restore, &TRestoreFlow::finished, this, &TForm_History::onRestoreFinished);
    connect(&records, &TCalibrationRecords::snapshotKept, this, &TForm_History::refresh);

    setBusy(false);
    refresh();
    refreshRuns();
}

TForm_History::~TForm_History() = default;

QWidget *TForm_History::makeRunsPage()
{
    auto *page = new QWidget(this);
    Edit_RunSerial = new QLineEdit(page);
    Edit_RunSerial->setObjectName(QStringLiteral("Edit_RunSerial"));
    Edit_RunSerial->setAccessibleName(QStringLiteral("Заводской номер для отбора калибровок"));
    Edit_RunSerial->setPlaceholderText(QStringLiteral("все приборы"));
    Edit_RunSerial->setClearButtonEnabled(true);
    auto *filterLabel = new QLabel(QStringLiteral("Заводской номер:"), page);
    filterLabel->setBuddy(Edit_RunSerial);
    CB_PlantRuns = new QCheckBox(QStringLiteral("Записи завода"), page);
    CB_PlantRuns->setObjectName(QStringLiteral("CB_PlantRuns"));
    CB_PlantRuns->setToolTip(TPlantSync::ConfiguredUrl().isEmpty()
                                 ? QStringLiteral("Хранилище завода не задано («Хранилище записей…»)")
                                 : QStringLiteral("Калибровки всех рабочих мест из хранилища завода (только чтение)"));
    CB_PlantRuns->setEnabled(!TPlantSync::ConfiguredUrl().isEmpty());

    Grid_Runs = new QTableWidget(0, 8, page);
    Grid_Runs->setObjectName(QStringLiteral("Grid_Runs"));
    Grid_Runs->setAccessibleName(QStringLiteral("Калибровки"));
    Grid_Runs->setHorizontalHeaderLabels({QStringLiteral("№"), QStringLiteral("Дата"), QStringLiteral("Заводской номер"),
                                          QStringLiteral("Оператор"), QStringLiteral("Стенд"), QStringLiteral("Окончание"),
                                          QStringLiteral("Как найден"), QStringLiteral("Как оставлен")});
    Grid_Runs->setSelectionBehavior(QAbstractItemView::SelectRows);
    Grid_Runs->setSelectionMode(QAbstractItemView::SingleSelection);
    Grid_Runs->setEditTriggers(QAbstractItemView::NoEditTriggers);
    Grid_Runs->verticalHeader()->hide();
    Grid_Runs->horizontalHeader()->setStretchLastSection(true);

    Button_OpenRun = button(page, "Button_OpenRun", QStringLiteral("Открыть…"),
                            QStringLiteral("Показать результат выбранной калибровки и напечатать протокол"));
    Button_OpenRun->setAccessibleName(QStringLiteral("Открыть калибровку"));
    Label_Runs = new QLabel(page);
    Label_Runs->setObjectName(QStringLiteral("Label_Runs"));
    Label_Runs->setAccessibleName(QStringLiteral("Состояние списка калибровок"));
    Label_Runs->setWordWrap(true);
    Label_Runs->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto *filter = new QHBoxLayout;
    filter->addWidget(filterLabel);
    filter->addWidget(Edit_RunSerial, 1);
    filter->addWidget(CB_PlantRuns);
    auto *actions = new QHBoxLayout;
    actions->addWidget(Button_OpenRun);
    actions->addWidget(Label_Runs, 1);
    auto *layout = new QVBoxLayout(page);
    layout->addLayout(filter);
    layout->addWidget(Grid_Runs, 1);
    layout->addLayout(actions);

    connect(Edit_RunSerial, &QLineEdit::textChanged, this, &TForm_History::refreshRuns);
    connect(CB_PlantRuns, &QCheckBox::toggled, this, &TForm_History::refreshRuns);
    connect(Button_OpenRun, &QPushButton::clicked, this, &TForm_History::Button_OpenRunClick);
    connect(Grid_Runs, &QTableWidget::cellDoubleClicked, this, &TForm_History::Button_OpenRunClick);
    connect(Grid_Runs, &QTableWidget::itemSelectionChanged, this,
            [this] { Button_OpenRun->setEnabled(selectedRunId() != 0); });
    return page;
}

TRecordStore &TForm_History::runsStore()
{
    if (!CB_PlantRuns->isChecked())
        return m_records.store();
    const QString url = TPlantSync::ConfiguredUrl();
    if (!m_plant || m_plantUrl != url) {
        m_plantUrl = url;
        // The server is asked once; it gives up within a few seconds.
        QApplication::setOverrideCursor(Qt::WaitCursor);
        m_plant = std::make_unique<TRecordStore>(url);
        m_plant->open();
        QApplication::restoreOverrideCursor();
    }
    return *m_plant;
}

void TForm_History::refreshRuns()
{
    TRecordStore &store = runsStore();
    const qint64 chosen = selectedRunId();
    const QString serial = Edit_RunSerial->text().trimmed();
    m_runs.clear();
    for (const RunRecord &r : store.runs()) {
        if (r.meterSerial.contains(serial, Qt::CaseInsensitive))
            m_runs << r;
    }
    Label_Runs->setText(!store.lastError().isEmpty() ? store.lastError()
                        : m_runs.isEmpty()           ? QStringLiteral("Калибровок нет")
                                                     : QStringLiteral("Калибровок: %1").arg(m_runs.size()));
    Grid_Runs->setRowCount(int(m_runs.size()));
    for (int row = 0; row < m_runs.size(); ++row) {
        const RunRecord &r = m_runs[row];
        const QStringList cells{QString::number(r.id),
                                RunResultText::When(r.startedUtc),
                                r.meterSerial,
                                r.operatorName,
                                RunResultText::RigLine(r),
                                EndTitle(r.end),
                                VerdictTitle(r.metrology.asFound, r.asFoundFit),
                                VerdictTitle(r.metrology.asLeft, r.asLeftFit)};
        for (int col = 0; col < cells.size(); ++col) {
            auto *item = new QTableWidgetItem(cells[col]);
            item->setToolTip(col == 5 && !r.endReason.isEmpty() ? r.endReason : cells[col]);
            Grid_Runs->setItem(row, col, item);
        }
        if (r.id == chosen)
            Grid_Runs->selectRow(row);
    }
    Grid_Runs->resizeColumnsToContents();
    Button_OpenRun->setEnabled(selectedRunId() != 0);
}

qint64 TForm_History::selectedRunId() const
{
    const QModelIndexList rows = Grid_Runs->selectionModel()->selectedRows();
    return rows.isEmpty() ? 0 : m_runs.value(rows.first().row()).id;
}

void TForm_History::Button_OpenRunClick()
{
    if (const qint64 id = selectedRunId())
        openRun(id);
}

TRunResultView *TForm_History::openRun(qint64 runId)
{
    TRecordStore &store = runsStore();
    const std::optional<RunRecord> run = store.run(QString::number(runId));
    if (!run) {
        say(this, QMessageBox::Warning,
            store.lastError().isEmpty() ? QStringLiteral("Калибровка №%1 не найдена").arg(runId) : store.lastError());
        return nullptr;
    }
    auto *window = new QDialog(this);
    window->setObjectName(QStringLiteral("Dialog_RunResult"));
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setWindowTitle(QStringLiteral("Калибровка №%1 — прибор %2").arg(run->id).arg(run->meterSerial));
    auto *view = new TRunResultView(window);
    view->showRun(*run, false);
    // It is the record already.
    view->Button_OpenRecord->hide();
    auto *layout = new QVBoxLayout(window);
    layout->addWidget(view);
    window->resize(1000, 720);
    window->show();
    return view;
}

TRunResultView *TForm_History::showRunRecord(qint64 runId)
{
    Tabs->setCurrentWidget(Grid_Runs->parentWidget());
    refreshRuns();
    auto rowOf = [this, runId] {
        for (int row = 0; row < m_runs.size(); ++row) {
            if (m_runs[row].id == runId)
                return row;
        }
        return -1;
    };
    // A filter that hides the run gives way.
    if (rowOf() < 0 && !Edit_RunSerial->text().isEmpty())
        Edit_RunSerial->clear();
    if (const int row = rowOf(); row >= 0)
        Grid_Runs->selectRow(row);
    return openRun(runId);
}

void TForm_History::refresh()
{
    TRecordStore &store = m_records.store();
    m_snapshots = store.list();
    // A damaged store or snapshot is said, not shown as an empty history.
    if (!store.lastError().isEmpty())
        Label_Result->setText(store.lastError());
    Grid_Snapshots->setRowCount(int(m_snapshots.size()));
    for (int row = 0; row < m_snapshots.size(); ++row) {
        const Snapshot &s = m_snapshots[row];
        const QStringList cells{QString::number(s.id),
                                s.takenUtc.toLocalTime().toString(QStringLiteral("dd.MM.yyyy HH:mm:ss")),
                                ReasonTitle(s.reason), s.port, areaTitles(s), s.note};
        for (int col = 0; col < cells.size(); ++col) {
            auto *item = new QTableWidgetItem(cells[col]);
            item->setToolTip(cells[col]); // a column that gave way keeps its whole text here
            Grid_Snapshots->setItem(row, col, item);
        }
    }
    fitColumns();
    Panel_Unfinished->showUnfinished(store.restores(true));
    updateButtons();
}

void TForm_History::fitColumns()
{
    enum { Reason = 2, Port = 3, Areas = 4, Note = 5 };
    constexpr int NoteRoom = 160;
    Grid_Snapshots->resizeColumnsToContents();
    QHeaderView *header = Grid_Snapshots->horizontalHeader();
    int used = 0;
    for (int col = 0; col < Note; ++col)
        used += Grid_Snapshots->columnWidth(col);
    // The note stays in sight: the long lists before it give way, down to their headings.
    int excess = used + qMax(NoteRoom, header->sectionSizeHint(Note)) - Grid_Snapshots->viewport()->width();
    for (int col : {Areas, Port, Reason}) {
        const int width = Grid_Snapshots->columnWidth(col);
        const int cut = qMin(excess, width - header->sectionSizeHint(col));
        if (cut <= 0)
            continue;
        Grid_Snapshots->setColumnWidth(col, width - cut);
        excess -= cut;
    }
}

void TForm_History::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    fitColumns();
}

void TForm_History::selectSnapshot(qint64 id, bool add)
{
    if (!add)
        Grid_Snapshots->clearSelection();
    for (int row = 0; row < m_snapshots.size(); ++row) {
        if (m_snapshots[row].id == id)
            Grid_Snapshots->selectionModel()->select(Grid_Snapshots->model()->index(row, 0),
                                                     QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
}

QList<Snapshot> TForm_History::selected() const
{
    QList<Snapshot> chosen;
    for (const QModelIndex &index : Grid_Snapshots->selectionModel()->selectedRows())
        chosen << m_snapshots.value(index.row());
    // Older first.
    std::sort(chosen.begin(), chosen.end(), [](const Snapshot &a, const Snapshot &b) { return a.id < b.id; });
    return chosen;
}

void TForm_History::updateButtons()
{
    const qsizetype n = selected().size();
    Button_CompareMeter->setEnabled(!m_busy && n == 1);
    Button_CompareTwo->setEnabled(!m_busy && n == 2);
    Button_Restore->setEnabled(!m_busy && n == 1);
    Button_Export->setEnabled(!m_busy && n == 1);
    Button_Import->setEnabled(!m_busy);
}

void TForm_History::setBusy(bool busy, const QString &stage)
{
    m_busy = busy;
    Progress->setVisible(busy);
    Button_Cancel->setVisible(busy);
    Button_Cancel->setEnabled(busy);
    if (busy) {
        Progress->setRange(0, 0);
        Label_Result->setText(stage);
    }
    updateButtons();
}

void TForm_History::readMeter(const std::function<void(const Snapshot &)> &then)
{
    if (!m_dm.isPortOpen()) {
        say(this, QMessageBox::Warning, QStringLiteral("Прибор не подключен: порт не открыт"));
        return;
    }
    m_afterRead = then;
    setBusy(true, QStringLiteral("Чтение калибровки прибора"));
    m_reader->start(AllCalibrationAreas());
}

void TForm_History::Button_CompareMeterClick()
{
    const QList<Snapshot> chosen = selected();
    if (chosen.size() != 1)
        return;
    readMeter([this, s = chosen.first()](Snapshot now) {
        // What the snapshot does not know is not compared.
        for (CalibrationArea a : AllCalibrationAreas()) {
            if (!s.areas.contains(a))
                now.areas.remove(a);
        }
        ShowComparison(*Tree_Compare, CompareSnapshots(s, now), QStringLiteral("Снимок №%1").arg(s.id),
                       QStringLiteral("Прибор сейчас"));
        Label_Result->setText(QStringLiteral("Снимок №%1 сравнен с прибором").arg(s.id));
    });
}

void TForm_History::Button_CompareTwoClick()
{
    const QList<Snapshot> chosen = selected();
    if (chosen.size() != 2)
        return;
    ShowComparison(*Tree_Compare, CompareSnapshots(chosen[0], chosen[1]), QStringLiteral("Снимок №%1").arg(chosen[0].id),
                   QStringLiteral("Снимок №%1").arg(chosen[1].id));
    Label_Result->setText(QStringLiteral("Снимок №%1 сравнен со снимком №%2").arg(chosen[0].id).arg(chosen[1].id));
}

void TForm_History::Button_RestoreClick()
{
    const QList<Snapshot> chosen = selected();
    if (chosen.size() != 1 || m_busy)
        return;
    QString why;
    if (!m_restore->start(chosen.first(), &why)) {
        say(this, QMessageBox::Warning, why);
        return;
    }
    setBusy(true, QStringLiteral("Чтение калибровки прибора"));
}

void TForm_History::restoreFromJournal(qint64 snapshotId, const RestoreRecord &record, const QString &what)
{
    if (m_busy)
        return;
    const std::optional<Snapshot> target = m_records.store().get(snapshotId);
    if (!target) {
        say(this, QMessageBox::Critical, QStringLiteral("Снимок №%1 не прочитан: %2").arg(snapshotId).arg(m_records.store().lastError()));
        return;
    }
    if (!m_dm.isPortOpen()) {
        say(this, QMessageBox::Warning, QStringLiteral("Прибор не подключен: порт не открыт"));
        return;
    }
    QStringList titles;
    for (CalibrationArea a : record.areas)
        titles << QString::fromUtf8(AreaSpecOf(a).title);
    const MessageBoxRequest box{QMessageBox::Question, QStringLiteral("История калибровки"),
                                QStringLiteral("%1 (%2)?").arg(what, titles.join(QStringLiteral(", "))),
                                QMessageBox::Yes | QMessageBox::No, QMessageBox::No};
    if (ShowMessage(this, box) == QMessageBox::Yes)
        m_restore->restore(*target, record.areas);
}

void TForm_History::onRestoreFinished(const RestoreOutcome &outcome)
{
    setBusy(false);
    refresh();
    Label_Result->setText(outcome.message);
    emit restoreFinished(outcome.message);
    if (outcome.beforeRestoreId != 0)
        emit restoreWrote(outcome.restored);
    QMetaObject::invokeMethod(
        this,
        [this, outcome] { say(this, outcome.restored ? QMessageBox::Information : QMessageBox::Warning, outcome.message); },
        Qt::QueuedConnection);
}

void TForm_History::Button_CancelClick()
{
    if (m_restore->isRestoring()) {
        m_restore->cancel();
        return;
    }
    m_restore->cancel();
    m_reader->cancel();
    m_afterRead = nullptr;
    setBusy(false);
    Label_Result->setText(QStringLiteral("Чтение прервано"));
}

void TForm_History::Button_ExportClick()
{
    const QList<Snapshot> chosen = selected();
    if (chosen.size() != 1)
        return;
    const QString suggested = QStringLiteral("kestro-snapshot-%1-%2.json")
                                  .arg(chosen.first().id)
                                  .arg(chosen.first().takenUtc.toLocalTime().toString(QStringLiteral("yyyyMMdd-HHmmss")));
    const QString file = AskSaveFileName(this, QStringLiteral("Экспорт снимка"), suggested,
                                         QStringLiteral("Снимок калибровки (*.json)"));
    if (!file.isEmpty())
        exportTo(file);
}

bool TForm_History::exportTo(const QString &fileName)
{
    const QList<Snapshot> chosen = selected();
    if (chosen.size() != 1)
        return false;
    QString error;
    if (!FileOutput::Save(fileName, SnapshotFile::Export(chosen.first()), &error)) {
        say(this, QMessageBox::Critical, QStringLiteral("Снимок не сохранён в %1: %2").arg(fileName, error));
        return false;
    }
    Label_Result->setText(QStringLiteral("Снимок №%1 сохранён в %2").arg(chosen.first().id).arg(fileName));
    return true;
}

void TForm_History::Button_ImportClick()
{
    const QString file = AskOpenFileName(this, QStringLiteral("Импорт снимка"),
                                         QStringLiteral("Снимок калибровки (*.json);;Все файлы (*)"));
    if (!file.isEmpty())
        importFrom(file);
}

bool TForm_History::importFrom(const QString &fileName)
{
    QFile file(fileName);
    QString error;
    std::optional<Snapshot> s;
    if (!file.open(QIODevice::ReadOnly))
        error = file.errorString();
    else
        s = SnapshotFile::Import(file.read(SnapshotFile::MaxFileSize + 1), &error);
    qint64 id = 0;
    if (s) {
        id = m_records.store().add(*s);
        if (id == 0)
            error = m_records.store().lastError();
    }
    if (id == 0) {
        say(this, QMessageBox::Critical, QStringLiteral("Снимок из %1 не добавлен: %2").arg(fileName, error));
        return false;
    }
    refresh();
    selectSnapshot(id);
    Label_Result->setText(QStringLiteral("Снимок из %1 добавлен под №%2").arg(fileName).arg(id));
    return true;
}
