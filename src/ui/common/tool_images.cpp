#include "ui/common/tool_images.h"
#include <array>

static void initIconResources()
{
    // The images live in a static library; its resources are registered by hand.
    Q_INIT_RESOURCE(kestro_icons);
}

QIcon ToolImage(int index)
{
    static const std::array<QIcon, ToolImages::Count> images = [] {
        initIconResources();
        const std::array<const char *, ToolImages::Count> files = {
            "connect", "disconnect", "settings", "calibration", "exit", "recalculate", "restart", "about", "copy", "backup", "history", "record", "run_steps"};
        std::array<QIcon, ToolImages::Count> icons;
        for (int i = 0; i < ToolImages::Count; ++i)
            icons[i] = QIcon(QStringLiteral(":/icons/%1.svg").arg(QLatin1String(files[i])));
        return icons;
    }();
    if (index < 0 || index >= ToolImages::Count)
        return {};
    return images[index];
}
