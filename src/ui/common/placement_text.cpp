#include "ui/common/placement_text.h"
#include <QRegularExpression>

namespace PlacementText {

namespace {

const char *stateName(WindowPlacement::State state)
{
    switch (state) {
    case WindowPlacement::State::Minimized: return "wsMinimized";
    case WindowPlacement::State::Maximized: return "wsMaximized";
    case WindowPlacement::State::Normal: break;
    }
    return "wsNormal";
}

std::optional<WindowPlacement::State> stateFrom(const QString &name)
{
    for (auto s : {WindowPlacement::State::Normal, WindowPlacement::State::Minimized, WindowPlacement::State::Maximized}) {
        if (name == QLatin1String(stateName(s)))
            return s;
    }
    return std::nullopt;
}

std::optional<int> integerFrom(const QString &text)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    return ok ? std::optional<int>(value) : std::nullopt;
}

} // namespace

QStringList Build(const QString &componentName, const QString &className, const WindowPlacement &p)
{
    QStringList lines{QStringLiteral("object %1: %2").arg(componentName, className)};
    const auto property = [&](const char *name, const std::optional<int> &value) {
        if (value)
            lines << QStringLiteral("  %1 = %2").arg(QLatin1String(name)).arg(*value);
    };
    property("Height", p.height);
    property("Left", p.left);
    property("PixelsPerInch", p.pixelsPerInch);
    property("Top", p.top);
    property("Width", p.width);
    if (p.state)
        lines << QStringLiteral("  WindowState = %1").arg(QLatin1String(stateName(*p.state)));
    if (p.tabIndex) {
        lines << QStringLiteral("  object PageControl1: TPageControl")
              << QStringLiteral("    TabIndex = %1").arg(*p.tabIndex) << QStringLiteral("  end");
    }
    lines << QStringLiteral("end");
    return lines;
}

std::optional<WindowPlacement> Parse(const QStringList &lines)
{
    static const QRegularExpression object(QStringLiteral("^\\s*object\\s+(\\w+)\\s*:\\s*(\\w+)\\s*$"));
    static const QRegularExpression property(QStringLiteral("^\\s*(\\w+)\\s*=\\s*(\\S+)\\s*$"));
    static const QRegularExpression end(QStringLiteral("^\\s*end\\s*$"));

    WindowPlacement p;
    QStringList open; // names of the objects not yet ended
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString &line = lines[i];
        if (open.isEmpty() && i > 0)
            return std::nullopt; // text after the final "end"
        if (const auto m = object.match(line); m.hasMatch()) {
            open << m.captured(1);
            continue;
        }
        if (open.isEmpty())
            return std::nullopt; // the first line must open the window's object
        if (end.match(line).hasMatch()) {
            open.removeLast();
            continue;
        }
        const auto m = property.match(line);
        if (!m.hasMatch())
            return std::nullopt;
        const QString name = m.captured(1), value = m.captured(2);
        const bool inWindow = open.size() == 1;
        const bool inPages = open.size() == 2 && open.last() == QLatin1String("PageControl1");
        std::optional<int> *target = nullptr;
        if (inWindow && name == QLatin1String("Height"))
            target = &p.height;
        else if (inWindow && name == QLatin1String("Left"))
            target = &p.left;
        else if (inWindow && name == QLatin1String("PixelsPerInch"))
            target = &p.pixelsPerInch;
        else if (inWindow && name == QLatin1String("Top"))
            target = &p.top;
        else if (inWindow && name == QLatin1String("Width"))
            target = &p.width;
        else if (inPages && name == QLatin1String("TabIndex"))
            target = &p.tabIndex;
        if (target) {
            *target = integerFrom(value);
            if (!*target)
                return std::nullopt;
        } else if (inWindow && name == QLatin1String("WindowState")) {
            p.state = stateFrom(value);
            if (!p.state)
                return std::nullopt;
        }
        // Anything else belongs to nothing this program stores: skipped.
    }
    if (!open.isEmpty() || lines.isEmpty())
        return std::nullopt;
    return p;
}

} // namespace PlacementText
