#include "records/snapshot_compare.h"
#include "records/snapshot_file.h"
#include <QLocale>
#include <cmath>

namespace {

struct RegisterRef
{
    RegisterSpace space;
    int reg;
};

QList<RegisterRef> registersOf(CalibrationArea area)
{
    QList<RegisterRef> refs;
    for (const RegisterRange &r : AreaSpecOf(area).ranges) {
        for (int reg = r.first; reg < r.first + r.count; ++reg)
            refs.append({r.space, reg});
    }
    return refs;
}

QString registerText(RegisterRef first, int width)
{
    const bool data = first.space == RegisterSpace::Data;
    if (width == 1)
        return QStringLiteral("%1 %2").arg(data ? QStringLiteral("данные") : QStringLiteral("параметр")).arg(first.reg);
    return QStringLiteral("%1 %2–%3")
        .arg(data ? QStringLiteral("данные") : QStringLiteral("параметры"))
        .arg(first.reg)
        .arg(first.reg + width - 1);
}

std::optional<quint32> rawAt(const std::optional<QVector<quint16>> &regs, int index, int width)
{
    if (!regs || index + width > regs->size())
        return std::nullopt;
    return width == 1 ? quint32((*regs)[index]) : quint32((*regs)[index]) | quint32((*regs)[index + 1]) << 16;
}

} // namespace

QString AreaValueName(CalibrationArea area, int n)
{
    // The order the meter keeps them in: points as (t1, x1, t2, x2), the flow
    // table as Q Max, 13 reference flows, 13 Δt.
    static const QStringList thermometer{"Температура 1", "Код АЦП 1", "Температура 2", "Код АЦП 2"};
    static const QStringList zero{"Температура 1", "Δt 1", "Температура 2", "Δt 2"};
    static const QStringList coefficients{"Термометр A", "Термометр B", "Ноль A", "Ноль B",
                                          "Расход A",    "Расход B",    "Расход C", "Расход D"};
    switch (area) {
    case CalibrationArea::Density:
        return n == 0 ? QStringLiteral("Плотность") : QStringLiteral("Фиксированная плотность вкл.");
    case CalibrationArea::Thermometer:
        return thermometer.value(n);
    case CalibrationArea::Zero:
        return zero.value(n);
    case CalibrationArea::FlowTable:
        if (n == 0)
            return QStringLiteral("Q Max");
        return n <= 13 ? QStringLiteral("Эталон %1").arg(n) : QStringLiteral("Прибор %1").arg(n - 13);
    case CalibrationArea::Coefficients:
        return coefficients.value(n);
    }
    return {};
}

QList<AreaComparison> CompareSnapshots(const Snapshot &older, const Snapshot &newer)
{
    QList<AreaComparison> result;
    for (const AreaSpec &desc : CalibrationAreas()) {
        AreaComparison c;
        c.area = desc.area;
        const auto oldRegs = older.areas.contains(desc.area) ? std::optional(older.areas.value(desc.area)) : std::nullopt;
        const auto newRegs = newer.areas.contains(desc.area) ? std::optional(newer.areas.value(desc.area)) : std::nullopt;
        c.oldKnown = oldRegs.has_value();
        c.newKnown = newRegs.has_value();
        if (!c.oldKnown && !c.newKnown)
            continue;
        const QList<RegisterRef> refs = registersOf(desc.area);
        const QVector<double> oldNumbers = oldRegs ? AreaNumbers(desc.area, *oldRegs) : QVector<double>();
        const QVector<double> newNumbers = newRegs ? AreaNumbers(desc.area, *newRegs) : QVector<double>();
        int index = 0;
        for (int value = 0; index < refs.size(); ++value) {
            // The density area ends with its one-word flag; all else are floats.
            const int width = desc.area == CalibrationArea::Density && index == 2 ? 1 : 2;
            ValueComparison v;
            v.name = AreaValueName(desc.area, value);
            v.registers = registerText(refs[index], width);
            v.oldRaw = rawAt(oldRegs, index, width);
            v.newRaw = rawAt(newRegs, index, width);
            if (oldRegs)
                v.oldNumber = oldNumbers.value(value);
            if (newRegs)
                v.newNumber = newNumbers.value(value);
            v.differs = v.oldRaw != v.newRaw;
            c.differs = c.differs || v.differs;
            c.values.append(v);
            index += width;
        }
        result.append(c);
    }
    return result;
}

QString ComparedNumberText(const std::optional<double> &number)
{
    if (!number)
        return QStringLiteral("—");
    if (std::isnan(*number))
        return QStringLiteral("NaN");
    if (std::isinf(*number))
        return *number > 0 ? QStringLiteral("+∞") : QStringLiteral("−∞");
    QLocale locale;
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    return locale.toString(*number, 'g', 9);
}

QStringList ComparisonLines(const QList<AreaComparison> &comparison)
{
    QStringList lines;
    for (const AreaComparison &c : comparison) {
        const QString title = QString::fromUtf8(AreaSpecOf(c.area).title);
        if (!c.differs) {
            lines << QStringLiteral("%1: без изменений").arg(title);
            continue;
        }
        if (!c.oldKnown || !c.newKnown) {
            lines << QStringLiteral("%1: известна только %2").arg(title, c.oldKnown ? QStringLiteral("слева") : QStringLiteral("справа"));
            continue;
        }
        for (const ValueComparison &v : c.values) {
            if (v.differs)
                lines << QStringLiteral("%1, %2 (%3): %4 → %5")
                             .arg(title, v.name, v.registers, ComparedNumberText(v.oldNumber), ComparedNumberText(v.newNumber));
        }
    }
    return lines;
}
