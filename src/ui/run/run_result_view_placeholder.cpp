// TEMPORARY: a stand-in for the result view so that the run window links until
// the real view arrives; it shows nothing and keeps the run it was given.
#include "ui/run/run_result_view.h"
#include <QHash>

namespace {
QHash<const TRunResultView *, RunRecord> &shown()
{
    static QHash<const TRunResultView *, RunRecord> runs;
    return runs;
}
} // namespace

TRunResultView::TRunResultView(QWidget *parent) : QWidget(parent)
{
    connect(this, &QObject::destroyed, [this] { shown().remove(this); });
}

void TRunResultView::showRun(const RunRecord &run, bool canRestore)
{
    Q_UNUSED(canRestore);
    shown().insert(this, run);
}

const RunRecord &TRunResultView::run() const
{
    return shown()[this];
}
