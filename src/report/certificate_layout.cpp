#include "report/certificate_layout.h"
#include "procedure/decision_rule.h"
#include "report/certificate_sections.h"
#include "report/run_result_text.h"
#include <QLocale>

namespace CertificateLayout {

QList<Item> Items(const RunRecord &run, const QDate &issued)
{
    using namespace CertificateSections;
    Builder b;
    b.title(QStringLiteral("СЕРТИФИКАТ КАЛИБРОВКИ"));
    b.title(QStringLiteral("№ %1").arg(Number(run)));
    if (run.end != RunEnd::Completed)
        b.text(RunResultText::EndLine(run), true, true);
    Parties(b, run);
    Instrument(b, run);
    Method(b, run, issued);
    Reference(b, run);
    Environment(b, run);

    b.heading(QStringLiteral("Правило принятия решения"));
    b.text(DecisionRuleStatement(run.metrology.rule));
    ZeroAtNoFlow(b, run);

    b.heading(QStringLiteral("Результаты калибровки"));
    // The notes go with the first table.
    b.note(QStringLiteral("Погрешность — относительная, % измеренного значения; приведённая — к Q Max, %."), true);
    const QString coverage = CoverageLine(run);
    if (!coverage.isEmpty())
        b.note(coverage, true);
    Results(b, run, RunPhase::AsFound);
    Adjustment(b, run);
    Results(b, run, RunPhase::AsLeft);
    Item plot;
    plot.kind = Kind::Plot;
    plot.text = QStringLiteral("Погрешность по расходу: как найден и как оставлен, допуск ±%1 %")
                    .arg(QLocale().toString(run.tolerancePercent, 'g', 6));
    b.add(plot);

    // The conclusion, the statement and the signature share a page: a signature alone on
    // the last page signs nothing that is in front of it.
    const qsizetype closing = b.items().size();
    b.heading(QStringLiteral("Заключение"));
    b.text(QStringLiteral("Как найден: %1; как оставлен: %2.")
               .arg(VerdictTitle(run.metrology.asFound, run.asFoundFit), VerdictTitle(run.metrology.asLeft, run.asLeftFit)),
           true, run.metrology.asLeft == Conformity::Fail || run.asLeftFit == false);
    b.text(QStringLiteral("Результаты относятся только к калибруемому средству измерений."));
    b.note(QStringLiteral("Сертификат не может быть воспроизведён частично без письменного разрешения лаборатории."));

    const CertificateParties &who = run.parties;
    const QString blank = QStringLiteral("____________________");
    Item signature;
    signature.kind = Kind::Signature;
    signature.text = QStringLiteral("%1   %2   / %3 /")
                         .arg(who.signatoryRole.isEmpty() ? QStringLiteral("Подписал") : who.signatoryRole, blank,
                              who.signatoryName.isEmpty() ? blank : who.signatoryName);
    b.add(signature);
    Item end;
    end.kind = Kind::EndMark;
    end.text = QStringLiteral("— Конец сертификата —");
    b.add(end);
    QList<Item> items = b.items();
    for (qsizetype k = closing; k + 1 < items.size(); ++k)
        items[k].keepWithNext = true;
    return items;
}

QString TextOf(const Item &item)
{
    return item.cells.isEmpty() ? item.text : item.cells.join(QStringLiteral(" | "));
}

QList<QList<int>> Paginate(const QList<Item> &items, const QList<int> &heights, int pageHeight)
{
    QList<QList<int>> pages{{}};
    QHash<int, int> heads; // table id → its head's index
    int y = 0;
    for (int i = 0; i < items.size();) {
        // The item with the ones it is kept with.
        int last = i;
        int height = heights[i];
        while (items[last].keepWithNext && last + 1 < items.size()) {
            ++last;
            height += heights[last];
        }
        for (int k = i; k <= last; ++k) {
            if (items[k].kind == Kind::TableHead)
                heads.insert(items[k].table, k);
        }
        if (y > 0 && y + height > pageHeight) {
            pages.append(QList<int>());
            y = 0;
            if (items[i].kind == Kind::TableRow && heads.contains(items[i].table)) {
                const int head = heads.value(items[i].table);
                pages.last() << head;
                y += heights[head];
            }
        }
        for (int k = i; k <= last; ++k) {
            pages.last() << k;
            y += heights[k];
        }
        i = last + 1;
    }
    return pages;
}

QString Number(const RunRecord &run)
{
    const QString number = CertificateNumber(run);
    return number.isEmpty() ? QStringLiteral("б/н (запись не сохранена)") : number;
}

QString PageMark(const QString &number, int page, int pages)
{
    return QStringLiteral("Сертификат калибровки № %1 · стр. %2 из %3").arg(number).arg(page).arg(pages);
}

} // namespace CertificateLayout
