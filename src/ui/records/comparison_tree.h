#pragma once
// A comparison of two calibration states in a tree: one branch per area, one row
// per value; differing values marked in colour and in words, agreeing areas collapsed.
#include "records/snapshot_compare.h"

class QTreeWidget;

// Columns: what, the left state, the right state, the raw words (left → right).
void ShowComparison(QTreeWidget &tree, const QList<AreaComparison> &comparison, const QString &leftTitle,
                    const QString &rightTitle);
