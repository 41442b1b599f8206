#pragma once
// Ties a signal to a window's handler at a handler boundary: whatever the
// handler raises ends in the error box, never in the event loop.
#include "ui/common/error_box.h"
#include <QObject>
#include <QWidget>

template <class Sender, class Signal, class Handler>
QMetaObject::Connection ConnectHandler(Sender *sender, Signal signal, QWidget *owner, Handler handler)
{
    return QObject::connect(sender, signal, owner, [owner, handler] { CatchToErrorBox(owner, handler); });
}
