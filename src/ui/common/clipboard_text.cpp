#include "ui/common/clipboard_text.h"
#include <QClipboard>
#include <QGuiApplication>

void CopyToClipboard(const QString &text)
{
    QGuiApplication::clipboard()->setText(text);
}
