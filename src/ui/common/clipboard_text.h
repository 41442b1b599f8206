#pragma once
#include <QString>

// Puts the text on the clipboard as plain text, exactly as given (also when empty).
void CopyToClipboard(const QString &text);
