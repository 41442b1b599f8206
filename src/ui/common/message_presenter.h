#pragma once
// Every message box of the program goes through one presenter, so tests can
// answer boxes without running a real modal loop.
#include <QMessageBox>
#include <QString>

struct MessageBoxRequest
{
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QString title;
    QString text;
    QMessageBox::StandardButtons buttons = QMessageBox::Ok;
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
};

class MessagePresenter
{
public:
    virtual ~MessagePresenter() = default;
    // Shows the box and returns the button the user chose.
    virtual QMessageBox::StandardButton present(QWidget *parent, const MessageBoxRequest &request) = 0;
};

// The presenter in use: modal QMessageBox boxes unless a test has replaced it.
MessagePresenter &Messages();
// The modal QMessageBox presenter itself, whatever is in use.
MessagePresenter &ModalMessages();

// Shows a box through the current presenter.
QMessageBox::StandardButton ShowMessage(QWidget *parent, const MessageBoxRequest &request);

// Puts a presenter in place for its own lifetime and restores the previous one.
class ScopedMessagePresenter
{
public:
    explicit ScopedMessagePresenter(MessagePresenter &presenter);
    ~ScopedMessagePresenter();
    ScopedMessagePresenter(const ScopedMessagePresenter &) = delete;
    ScopedMessagePresenter &operator=(const ScopedMessagePresenter &) = delete;

private:
    MessagePresenter *m_previous;
};
