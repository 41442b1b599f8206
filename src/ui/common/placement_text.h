#pragma once
// The text a window's placement is stored as, one line per stored value:
//
//   object Form_Main: TForm_Main
//     Height = 435
//     ...
//     WindowState = wsNormal
//     object PageControl1: TPageControl     (the calibration window only)
//       TabIndex = 4
//     end
//   end
//
// No widgets here: building and reading the text only.
#include <QString>
#include <QStringList>
#include <optional>

struct WindowPlacement
{
    enum class State { Normal, Minimized, Maximized };
    // Each value may be missing from a stored text.
    std::optional<int> height, left, pixelsPerInch, top, width;
    std::optional<State> state;
    std::optional<int> tabIndex; // of the nested PageControl1 block
};

namespace PlacementText {

// The lines of a section: the object line, the six properties, the nested page
// control block when tabIndex is set, and "end".
QStringList Build(const QString &componentName, const QString &className, const WindowPlacement &placement);
// Reads a section's lines; none when they do not follow the grammar (an unknown
// property or component is skipped, an unreadable value is not).
std::optional<WindowPlacement> Parse(const QStringList &lines);

} // namespace PlacementText
