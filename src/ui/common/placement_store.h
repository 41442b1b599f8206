#pragma once
// Remembers where a window was, how large, in which state and (for the
// calibration window) on which tab, per user, in one section of
// QSettings("Velnor", "Quellmark_V7") as string values Line0000000000, ...
// A window loads its section when it is about to be shown and saves it when it
// closes, or when it is destroyed without having closed.
#include "ui/common/placement_text.h"
#include <QRect>
#include <QString>

class QTabWidget;
class QWidget;

class TPlacementStore
{
public:
    // pages: the window's PageControl1, whose tab is stored too; null for none.
    TPlacementStore(QWidget *window, const QString &section, QTabWidget *pages = nullptr);

    // Window about to be shown: reads and applies the section. A missing section
    // loads nothing and counts as loaded; a text that does not follow the grammar
    // loads nothing and leaves the store unloaded, so this window saves nothing.
    void load();
    // Close accepted: saves, if loaded.
    void saveOnClose();
    // Window destroyed: saves, if loaded and not saved since.
    void saveOnDestroy();

    bool isLoaded() const { return m_loaded; }
    bool isSaved() const { return m_saved; }

    static QString organisation() { return QStringLiteral("Velnor"); }
    static QString application() { return QStringLiteral("Quellmark_V7"); }
    static QString lineKey(int index);
    // A rectangle that lies off every present screen, moved onto the nearest one.
    static QRect ontoAScreen(const QRect &rect);

private:
    void save();
    WindowPlacement current() const;
    void apply(const WindowPlacement &placement);
    int screenDpi() const;

    QWidget *m_window;
    QString m_section;
    QTabWidget *m_pages;
    bool m_loaded = false;
    bool m_saved = false;
};
