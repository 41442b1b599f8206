#include "ui/common/placement_store.h"
#include "ui/common/error_box.h"
#include <QGuiApplication>
#include <QScreen>
#include <QSettings>
#include <QTabWidget>
#include <QWidget>
#include <cmath>
#include <limits>

TPlacementStore::TPlacementStore(QWidget *window, const QString &section, QTabWidget *pages)
    : m_window(window), m_section(section), m_pages(pages)
{
}

QString TPlacementStore::lineKey(int index)
{
    return QStringLiteral("Line%1").arg(index, 10, 10, QLatin1Char('0'));
}

int TPlacementStore::screenDpi() const
{
    const QScreen *screen = m_window->screen() ? m_window->screen() : QGuiApplication::primaryScreen();
    return screen ? int(std::lround(screen->logicalDotsPerInchY())) : 96;
}

void TPlacementStore::load()
{
    QSettings settings(organisation(), application());
    settings.beginGroup(m_section);
    QStringList lines;
    for (int i = 0; settings.contains(lineKey(i)); ++i)
        lines << settings.value(lineKey(i)).toString();
    if (lines.isEmpty()) {
        // First run: the default placement, saved at close.
        m_loaded = true;
        m_saved = false;
        return;
    }
    const std::optional<WindowPlacement> placement = PlacementText::Parse(lines);
    if (!placement)
        return; // unreadable: keep the default, and keep what is stored
    apply(*placement);
    m_loaded = true;
    m_saved = false;
}

void TPlacementStore::apply(const WindowPlacement &p)
{
    const double scale = p.pixelsPerInch && *p.pixelsPerInch > 0 ? double(screenDpi()) / *p.pixelsPerInch : 1.0;
    const auto scaled = [scale](const std::optional<int> &v, int fallback) {
        return v ? int(std::lround(*v * scale)) : fallback;
    };
    const QRect now = m_window->geometry();
    const QRect rect = ontoAScreen(QRect(scaled(p.left, now.left()), scaled(p.top, now.top()),
                                         scaled(p.width, now.width()), scaled(p.height, now.height())));
    // The rectangle first: for a minimised or maximised window it is the one it restores to.
    m_window->setGeometry(rect);
    if (p.state) {
        using S = WindowPlacement::State;
        m_window->setWindowState(*p.state == S::Maximized   ? Qt::WindowMaximized
                                 : *p.state == S::Minimized ? Qt::WindowMinimized
                                                            : Qt::WindowNoState);
    }
    if (m_pages && p.tabIndex && *p.tabIndex >= 0 && *p.tabIndex < m_pages->count())
        m_pages->setCurrentIndex(*p.tabIndex);
}

WindowPlacement TPlacementStore::current() const
{
    const bool restored = !(m_window->isMinimized() || m_window->isMaximized());
    QRect r = restored ? m_window->geometry() : m_window->normalGeometry();
    if (r.isEmpty())
        r = m_window->geometry();
    WindowPlacement p;
    p.height = r.height();
    p.left = r.left();
    p.pixelsPerInch = screenDpi();
    p.top = r.top();
    p.width = r.width();
    p.state = m_window->isMinimized()   ? WindowPlacement::State::Minimized
              : m_window->isMaximized() ? WindowPlacement::State::Maximized
                                        : WindowPlacement::State::Normal;
    if (m_pages)
        p.tabIndex = m_pages->currentIndex();
    return p;
}

void TPlacementStore::save()
{
    const QStringList lines = PlacementText::Build(m_window->objectName(),
                                                   QString::fromLatin1(m_window->metaObject()->className()), current());
    QSettings settings(organisation(), application());
    settings.beginGroup(m_section);
    for (int i = 0; i < lines.size(); ++i)
        settings.setValue(lineKey(i), lines[i]);
    // Lines of an earlier, longer text go; the first gap ends them.
    for (int i = int(lines.size()); settings.contains(lineKey(i)); ++i)
        settings.remove(lineKey(i));
    settings.endGroup();
    settings.sync();
    m_saved = true;
    m_loaded = false;
    if (settings.status() != QSettings::NoError)
        ShowErrorBox(m_window, QStringLiteral("Не удалось сохранить положение окна в %1").arg(settings.fileName()));
}

void TPlacementStore::saveOnClose()
{
    if (m_loaded)
        save();
}

void TPlacementStore::saveOnDestroy()
{
    if (m_loaded && !m_saved)
        save();
}

QRect TPlacementStore::ontoAScreen(const QRect &rect)
{
    const QList<QScreen *> screens = QGuiApplication::screens();
    for (const QScreen *screen : screens) {
        if (screen->availableGeometry().intersects(rect))
            return rect;
    }
    const QScreen *nearest = nullptr;
    double best = std::numeric_limits<double>::max();
    for (const QScreen *screen : screens) {
        const QPointF d = QPointF(screen->availableGeometry().center() - rect.center());
        const double distance = std::hypot(d.x(), d.y());
        if (distance < best) {
            best = distance;
            nearest = screen;
        }
    }
    if (!nearest)
        return rect;
    const QRect area = nearest->availableGeometry();
    QRect moved = rect;
    moved.moveLeft(std::clamp(rect.left(), area.left(), std::max(area.left(), area.right() - rect.width() + 1)));
    moved.moveTop(std::clamp(rect.top(), area.top(), std::max(area.top(), area.bottom() - rect.height() + 1)));
    return moved;
}
