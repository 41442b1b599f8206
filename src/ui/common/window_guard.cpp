#include "ui/common/window_guard.h"
#include <QHash>
#include <QPointer>

namespace {

struct Holder
{
    QPointer<QWidget> window;
    quintptr handle = 0;
};

QHash<QString, Holder> &holders()
{
    static QHash<QString, Holder> table;
    return table;
}

quintptr nextHandle()
{
    static quintptr last = 0;
    return ++last;
}

} // namespace

TGuardedForm::TGuardedForm(const QString &guardName, QWidget *owner)
    : QWidget(owner, Qt::Window), m_guardName(guardName)
{
    setAttribute(Qt::WA_DeleteOnClose);
}

TGuardedForm::~TGuardedForm()
{
    FormDestroy();
}

bool TGuardedForm::FormAlreadyOpen()
{
    auto &table = holders();
    const auto it = table.constFind(m_guardName);
    // A holder that vanished without releasing (it cannot, but a dangling
    // entry must never lock the class for the rest of the run) counts as free.
    if (it != table.cend() && !it->window.isNull() && it->window != this) {
        FMutex = 0;
        return true;
    }
    FMutex = nextHandle();
    table.insert(m_guardName, Holder{this, FMutex});
    return false;
}

void TGuardedForm::ClaimGuard()
{
    if (FormAlreadyOpen())
        throw FormAlreadyOpenError();
}

void TGuardedForm::FormDestroy()
{
    if (FMutex == 0)
        return;
    auto &table = holders();
    const auto it = table.find(m_guardName);
    if (it != table.end() && it->handle == FMutex)
        table.erase(it);
    FMutex = 0;
}

QWidget *FindGuardedWindow(const QString &guardName)
{
    const auto &table = holders();
    const auto it = table.constFind(guardName);
    return it == table.cend() ? nullptr : it->window.data();
}

void BringToFront(QWidget *window)
{
    if (!window)
        return;
    window->raise();
    window->activateWindow();
}

QWidget *OpenGuardedWindow(const QString &guardName, const std::function<QWidget *()> &create)
{
    QPointer<QWidget> window;
    try {
        window = create();
        if (window) {
            window->show();
            return window;
        }
    } catch (...) {
        // A window that was built but could not be shown must not keep the guard.
        delete window.data();
    }
    BringToFront(FindGuardedWindow(guardName));
    return nullptr;
}
