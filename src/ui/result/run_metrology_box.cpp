#include "ui/result/run_metrology_box.h"
#include "report/run_metrology_text.h"
#include "report/run_result_text.h"
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

const QColor Unfit(190, 0, 0);
const QColor Fit(0, 110, 40);

QLabel *label(QWidget *parent, const char *name, const QString &accessible)
{
    auto *l = new QLabel(parent);
    l->setObjectName(QString::fromLatin1(name));
    l->setAccessibleName(accessible);
    l->setWordWrap(true);
    l->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return l;
}

} // namespace

TRunMetrologyBox::TRunMetrologyBox(QWidget *parent) : QGroupBox(QStringLiteral("Неопределённость, эталон и ноль"), parent)
{
    setObjectName(QStringLiteral("Group_Metrology"));
    setAccessibleName(QStringLiteral("Неопределённость, эталон и ноль"));
    Label_BudgetTitle = label(this, "Label_BudgetTitle", QStringLiteral("Чей бюджет неопределённости"));
    Grid_Budget = new QTableWidget(0, int(RunResultText::BudgetHeadings().size()), this);
    Grid_Budget->setObjectName(QStringLiteral("Grid_Budget"));
    Grid_Budget->setAccessibleName(QStringLiteral("Бюджет неопределённости"));
    Grid_Budget->setHorizontalHeaderLabels(RunResultText::BudgetHeadings());
    Grid_Budget->setEditTriggers(QAbstractItemView::NoEditTriggers);
    Grid_Budget->setSelectionBehavior(QAbstractItemView::SelectRows);
    Grid_Budget->verticalHeader()->hide();
    Grid_Budget->setSizeAdjustPolicy(QAbstractScrollArea::AdjustToContents);
    Grid_Budget->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Grid_Budget->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Grid_Budget->setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Fixed);
    Label_BudgetSummary = label(this, "Label_BudgetSummary", QStringLiteral("Суммарная и расширенная неопределённость"));
    Label_Reference = label(this, "Label_Reference", QStringLiteral("Эталон"));
    Label_ZeroCheck = label(this, "Label_ZeroCheck", QStringLiteral("Ноль при отсутствии расхода"));

    auto *budget = new QVBoxLayout;
    budget->addWidget(Label_BudgetTitle);
    budget->addWidget(Grid_Budget);
    budget->addWidget(Label_BudgetSummary);
    auto *facts = new QVBoxLayout;
    facts->addWidget(Label_Reference);
    facts->addWidget(Label_ZeroCheck);
    facts->addStretch();
    auto *layout = new QHBoxLayout(this);
    layout->addLayout(budget, 3);
    layout->addLayout(facts, 2);
    hide();
}

void TRunMetrologyBox::showRun(const RunRecord &run)
{
    using namespace RunResultText;
    const std::optional<BudgetTable> budget = WorstBudget(run);
    Label_BudgetTitle->setText(budget ? budget->title : QString());
    Label_BudgetSummary->setText(budget ? budget->summary : QString());
    const QList<QStringList> rows = budget ? budget->rows : QList<QStringList>{};
    Grid_Budget->setRowCount(int(rows.size()));
    for (int r = 0; r < rows.size(); ++r) {
        for (int c = 0; c < rows[r].size(); ++c) {
            auto *item = new QTableWidgetItem(rows[r][c]);
            item->setTextAlignment((c < 2 ? Qt::AlignLeft : Qt::AlignRight) | Qt::AlignVCenter);
            // The combined line closes the table.
            if (r == rows.size() - 1) {
                QFont bold = item->font();
                bold.setBold(true);
                item->setFont(bold);
            }
            Grid_Budget->setItem(r, c, item);
        }
    }
    Grid_Budget->resizeColumnsToContents();
    // As large as its rows and columns: a budget is a few lines, never a scrolled list.
    int width = 2 * Grid_Budget->frameWidth(), height = 2 * Grid_Budget->frameWidth();
    for (int c = 0; c < Grid_Budget->columnCount(); ++c) {
        Grid_Budget->setColumnWidth(c, Grid_Budget->columnWidth(c) + 8); // the bold combined line needs air
        width += Grid_Budget->columnWidth(c);
    }
    height += Grid_Budget->horizontalHeader()->sizeHint().height() + int(rows.size()) * Grid_Budget->verticalHeader()->defaultSectionSize();
    Grid_Budget->setFixedSize(width, height);
    for (QWidget *w : {static_cast<QWidget *>(Label_BudgetTitle), static_cast<QWidget *>(Grid_Budget),
                       static_cast<QWidget *>(Label_BudgetSummary)})
        w->setVisible(budget.has_value());

    const QString reference = ReferenceLine(run);
    Label_Reference->setText(QStringLiteral("Эталон: %1").arg(reference.isEmpty() ? QStringLiteral("не указан") : reference));
    const QString zero = ZeroCheckLine(run);
    Label_ZeroCheck->setText(zero);
    Label_ZeroCheck->setVisible(!zero.isEmpty());
    const bool zeroFits = run.metrology.zeroCheck && run.metrology.zeroCheck->fits;
    Label_ZeroCheck->setStyleSheet(zero.isEmpty() ? QString() : QStringLiteral("color: %1;").arg((zeroFits ? Fit : Unfit).name()));
    setVisible(HasMetrology(run));
}
