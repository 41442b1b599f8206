#include "ui/result/run_adjustment_box.h"
#include "report/run_result_text.h"
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

const QColor Unfit(190, 0, 0);
const QColor Fit(0, 110, 40);

QTableWidget *grid(QWidget *parent, const QString &name, const QString &accessible, const QStringList &headings,
                   const QList<QStringList> &rows, const QList<bool> &unfit = {})
{
    auto *t = new QTableWidget(int(rows.size()), int(headings.size()), parent);
    t->setObjectName(name);
    t->setAccessibleName(accessible);
    t->setHorizontalHeaderLabels(headings);
    t->setEditTriggers(QAbstractItemView::NoEditTriggers);
    t->verticalHeader()->hide();
    for (int r = 0; r < rows.size(); ++r) {
        for (int c = 0; c < rows[r].size(); ++c) {
            auto *item = new QTableWidgetItem(rows[r][c]);
            item->setTextAlignment((c == 0 ? Qt::AlignLeft : Qt::AlignRight) | Qt::AlignVCenter);
            if (r < unfit.size() && unfit[r])
                item->setForeground(Unfit);
            t->setItem(r, c, item);
        }
    }
    t->resizeColumnsToContents();
    t->setSizeAdjustPolicy(QAbstractScrollArea::AdjustToContents);
    return t;
}

} // namespace

TRunAdjustmentBox::TRunAdjustmentBox(QWidget *parent)
    : QGroupBox(QStringLiteral("Термометр и ноль"), parent), m_layout(new QHBoxLayout(this))
{
    setObjectName(QStringLiteral("Group_Adjustments"));
    setAccessibleName(QStringLiteral("Термометр и ноль по температуре"));
    hide();
}

void TRunAdjustmentBox::showRun(const RunRecord &run)
{
    while (QLayoutItem *item = m_layout->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    const QList<RunResultText::AdjustmentSection> sections = RunResultText::AdjustmentSections(run);
    for (int i = 0; i < sections.size(); ++i) {
        const RunResultText::AdjustmentSection &s = sections[i];
        const QString suffix = QString::number(i + 1);
        auto *column = new QWidget(this);
        auto *v = new QVBoxLayout(column);
        v->setContentsMargins(0, 0, 0, 0);
        auto *line = new QLabel(QStringLiteral("%1: %2").arg(s.title, s.line), column);
        line->setObjectName(QStringLiteral("Label_Adjustment") + suffix);
        line->setAccessibleName(s.title);
        line->setWordWrap(true);
        if (s.fits)
            line->setStyleSheet(QStringLiteral("font-weight: bold; color: %1;").arg((*s.fits ? Fit : Unfit).name()));
        v->addWidget(line);
        if (!s.rows.isEmpty())
            v->addWidget(grid(column, QStringLiteral("Grid_Adjustment") + suffix, s.title + QStringLiteral(": до и после"),
                              RunResultText::AdjustmentHeadings(), s.rows));
        if (!s.checks.isEmpty())
            v->addWidget(grid(column, QStringLiteral("Grid_AdjustmentCheck") + suffix, s.title + QStringLiteral(": проверка"),
                              RunResultText::CheckHeadings(), s.checks, s.checkUnfit));
        m_layout->addWidget(column, 1);
    }
    setVisible(!sections.isEmpty());
}
