#include "ui/common/error_box.h"
#include "ui/common/message_presenter.h"
#include <QStringList>

namespace {
QStringList g_showing; // messages whose box is open right now

struct ShowingMark
{
    explicit ShowingMark(const QString &m) : message(m) { g_showing.append(message); }
    ~ShowingMark() { g_showing.removeOne(message); }
    QString message;
};
} // namespace

void ShowErrorBox(QWidget *parent, const QString &message)
{
    if (g_showing.contains(message))
        return;
    ShowingMark mark(message);
    ShowMessage(parent, {QMessageBox::Critical, ErrorBoxTitle, message, QMessageBox::Ok, QMessageBox::Ok});
}
