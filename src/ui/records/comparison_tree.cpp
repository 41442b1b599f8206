#include "ui/records/comparison_tree.h"
#include <QBrush>
#include <QColor>
#include <QTreeWidget>

namespace {

QString rawText(const std::optional<quint32> &raw, const QString &registers)
{
    if (!raw)
        return QStringLiteral("—");
    // The flag is one word, the floats two.
    return registers.contains(QChar(u'–')) ? QStringLiteral("%1").arg(*raw, 8, 16, QLatin1Char('0'))
                                           : QStringLiteral("%1").arg(*raw, 4, 16, QLatin1Char('0'));
}

void mark(QTreeWidgetItem *item, int columns)
{
    // Colour and a bold face: the difference shows without telling colours apart.
    for (int c = 0; c < columns; ++c) {
        item->setBackground(c, QBrush(QColor(0xFF, 0xE0, 0x82)));
        QFont f = item->font(c);
        f.setBold(true);
        item->setFont(c, f);
    }
}

} // namespace

void ShowComparison(QTreeWidget &tree, const QList<AreaComparison> &comparison, const QString &leftTitle,
                    const QString &rightTitle)
{
    tree.clear();
    tree.setColumnCount(4);
    tree.setHeaderLabels({QStringLiteral("Область / регистры"), leftTitle, rightTitle, QStringLiteral("Слова (hex)")});
    for (const AreaComparison &c : comparison) {
        const QString title = QString::fromUtf8(AreaSpecOf(c.area).title);
        QString state = QStringLiteral("без изменений");
        if (!c.oldKnown || !c.newKnown)
            state = QStringLiteral("не известна: %1").arg(c.oldKnown ? rightTitle : leftTitle);
        else if (c.differs)
            state = QStringLiteral("есть отличия");
        auto *area = new QTreeWidgetItem(&tree, {title, state});
        area->setFirstColumnSpanned(false);
        for (const ValueComparison &v : c.values) {
            auto *row = new QTreeWidgetItem(area, {QStringLiteral("%1 (%2)").arg(v.name, v.registers), ComparedNumberText(v.oldNumber), ComparedNumberText(v.newNumber),
                                                   rawText(v.oldRaw, v.registers) + QStringLiteral(" → ")
                                                       + rawText(v.newRaw, v.registers)});
            if (v.differs) {
                row->setText(0, row->text(0) + QStringLiteral(" ≠"));
                mark(row, 4);
            }
        }
        if (c.differs)
            mark(area, 2);
        area->setExpanded(c.differs);
    }
    for (int col = 0; col < 4; ++col)
        tree.resizeColumnToContents(col);
}
