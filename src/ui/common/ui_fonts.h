#pragma once
#include <QFont>

// The windows are drawn in Tahoma; where it is not installed the closest
// sans-serif face with Cyrillic (DejaVu Sans) stands in.
QString UiFontFamily();
QFont UiFont(int pointSize, bool bold = false);
