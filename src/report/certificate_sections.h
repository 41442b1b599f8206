#pragma once
// The certificate's sections, each appended to one list of items (certificate_layout).
#include "report/certificate_layout.h"

namespace CertificateSections {

class Builder
{
public:
    void title(const QString &t);
    void heading(const QString &t);
    void text(const QString &t, bool bold = false, bool alert = false);
    // keep: the note introduces what follows and goes to a new page with it, as lead() does.
    void note(const QString &t, bool keep = false);
    void lead(const QString &t);
    // A new table with its head; returns its id for row().
    int table(const QStringList &head, const QList<double> &widths, const QList<int> &leftAligned = {});
    void row(int table, const QStringList &cells, bool alert = false);
    // A short table stays on one page.
    void keepTogether(int table);
    void add(const CertificateLayout::Item &item) { m_items << item; }
    const QList<CertificateLayout::Item> &items() const { return m_items; }

private:
    QList<CertificateLayout::Item> m_items;
    int m_tables = 0;
};


void Parties(Builder &b, const RunRecord &run);
void Instrument(Builder &b, const RunRecord &run);
void Method(Builder &b, const RunRecord &run, const QDate &issued);
void Reference(Builder &b, const RunRecord &run);
void Environment(Builder &b, const RunRecord &run);
void ZeroAtNoFlow(Builder &b, const RunRecord &run);
// The points of one phase with their U where the budgets give one, their verdicts and
// why an undetermined one is; the phase's verdict under them.
void Results(Builder &b, const RunRecord &run, RunPhase phase);
// "U при k = 2, P ≈ 95 %" once for both tables; empty without budgets.
QString CoverageLine(const RunRecord &run);
void Adjustment(Builder &b, const RunRecord &run);

} // namespace CertificateSections
