#include "tools/ctl_blocks.h"
#include <QStringList>

const QList<CtlBlock> &CtlBlocks()
{
    static const QList<CtlBlock> blocks = {
        {QStringLiteral("settings"), {{true, 2, 3}}},
        {QStringLiteral("thermo"), {{true, 5, 8}, {false, 16, 4}}},
        {QStringLiteral("zero"), {{true, 13, 8}, {false, 32, 4}}},
        {QStringLiteral("thermo-adc"), {{false, 28, 2}}},
        {QStringLiteral("dt"), {{false, 10, 22}}},
        {QStringLiteral("flow-coeffs"), {{false, 36, 8}}},
        {QStringLiteral("flow-table"), {{true, 21, 54}}},
        {QStringLiteral("flow-live"), {{false, 2, 14}}},
        {QStringLiteral("flow-avg"), {{false, 44, 6}}},
    };
    return blocks;
}

const CtlBlock *FindCtlBlock(const QString &name)
{
    for (const CtlBlock &b : CtlBlocks())
        if (b.name == name)
            return &b;
    return nullptr;
}

QStringList CtlBlockNames()
{
    QStringList names;
    for (const CtlBlock &b : CtlBlocks())
        names << b.name;
    return names;
}
