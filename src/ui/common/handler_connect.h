#pragma once
// Ties a signal to a window's handler at a handler boundary: whatever the
// handler raises ends in the error box, never in the event loop.
#include "ui/common/error_box.h"
#include <QAbstractButton>
#include <QObject>
#include <QWidget>
#include <initializer_list>

template <class Sender, class Signal, class Handler>
QMetaObject::Connection ConnectHandler(Sender *sender, Signal signal, QWidget *owner, Handler handler)
{
    return QObject::connect(sender, signal, owner, [owner, handler] { CatchToErrorBox(owner, handler); });
}

// A button and the owner's handler its click runs.
template <class Owner>
struct ClickBinding
{
    QAbstractButton *button;
    void (Owner::*handler)();
};

template <class Owner>
void ConnectClicks(Owner *owner, std::initializer_list<ClickBinding<Owner>> bindings)
{
    for (const ClickBinding<Owner> &b : bindings)
        ConnectHandler(b.button, &QAbstractButton::clicked, owner, [owner, h = b.handler] { (owner->*h)(); });
}
