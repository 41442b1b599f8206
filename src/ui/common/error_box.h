#pragma once
// The program's one error box. Handlers catch errors at their boundary (slot,
// event handler) and show them here; exceptions never unwind into the event loop.
#include "protocol/kestro_error.h"
#include <QString>
#include <exception>

class QWidget;

inline const QString ErrorBoxTitle = QStringLiteral("KestroLink");

// Shows the message in a critical box. While a box with the same message is
// still waiting for the user, repeats of it (a timer firing inside the box's
// modal loop) are dropped instead of stacking up.
void ShowErrorBox(QWidget *parent, const QString &message);

// Runs a handler; an error it raises goes to the error box. Returns false then.
template <class Handler>
bool CatchToErrorBox(QWidget *parent, Handler &&handler)
{
    try {
        handler();
        return true;
    } catch (const KestroError &e) {
        ShowErrorBox(parent, e.message());
    } catch (const std::exception &e) {
        ShowErrorBox(parent, QString::fromUtf8(e.what()));
    } catch (...) {
        ShowErrorBox(parent, QStringLiteral("Unknown error"));
    }
    return false;
}
