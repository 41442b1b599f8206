#include "ui/common/message_presenter.h"

namespace {

class ModalBoxPresenter final : public MessagePresenter
{
public:
    QMessageBox::StandardButton present(QWidget *parent, const MessageBoxRequest &request) override
    {
        QMessageBox box(request.icon, request.title, request.text, request.buttons, parent);
        if (request.defaultButton != QMessageBox::NoButton)
            box.setDefaultButton(request.defaultButton);
        return QMessageBox::StandardButton(box.exec());
    }
};

ModalBoxPresenter g_modal;
MessagePresenter *g_current = &g_modal;

} // namespace

MessagePresenter &Messages()
{
    return *g_current;
}

MessagePresenter &ModalMessages()
{
    return g_modal;
}

QMessageBox::StandardButton ShowMessage(QWidget *parent, const MessageBoxRequest &request)
{
    return g_current->present(parent, request);
}

ScopedMessagePresenter::ScopedMessagePresenter(MessagePresenter &presenter) : m_previous(g_current)
{
    g_current = &presenter;
}

ScopedMessagePresenter::~ScopedMessagePresenter()
{
    g_current = m_previous;
}
