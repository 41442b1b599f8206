#pragma once
// The shared 43 x 43 tool bar images, by index.
#include <QIcon>

namespace ToolImages {
constexpr int Size = 43;
enum Index {
    Connect = 0,
    Disconnect = 1,
    Settings = 2,
    Kalibr = 3,
    Exit = 4,
    Recalc = 5,
    Restart = 6,
    About = 7,
    Copy = 8,
    Backup = 9,
    History = 10,
    Record = 11,
    RunSteps = 12,
    Count = 13
};
} // namespace ToolImages

// The image at this index; a null icon outside the list.
QIcon ToolImage(int index);
