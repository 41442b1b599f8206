#include "tools/record_printer.h"

namespace {

struct Line
{
    QString name;
    const QString *text;
};

QString flagLine(const char *name, bool value)
{
    return QStringLiteral("%1=%2").arg(QLatin1String(name)).arg(value ? 1 : 0);
}

QStringList render(std::initializer_list<Line> lines)
{
    QStringList out;
    for (const Line &l : lines)
        out << l.name + QLatin1Char('=') + *l.text;
    return out;
}

#define F(rec, field) Line{QStringLiteral(#field), &(rec).field}

QStringList lines(const TQ_main &q)
{
    return render({F(q, Status), F(q, Rashod_M), F(q, Rashod_O), F(q, Plotnost), F(q, TempMCU),
                   F(q, TempTube), F(q, FRQ), F(q, TimePostCer0), F(q, ARU)});
}

QStringList lines(const TQ_settings &q)
{
    return render({F(q, Plotnost_FIX)}) << flagLine("Plotnost_FIX_En", q.Plotnost_FIX_En);
}

QStringList lines(const TQ_kalibr_Termo &q)
{
    QStringList out = q.Kf ? render({F(q, A), F(q, B)})
                           : render({F(q, Temp_20), F(q, Temp_60), F(q, ADC_20), F(q, ADC_60)});
    return out << flagLine("Kf", q.Kf);
}

QStringList lines(const TQ_kalibr_0_Termo &q)
{
    QStringList out = q.Kf ? render({F(q, A), F(q, B)})
                           : render({F(q, Temp_20), F(q, Temp_60), F(q, t_20), F(q, t_60)});
    return out << flagLine("Kf", q.Kf);
}

QStringList lines(const TQ_kalibr_Termo_ADC &q)
{
    return render({F(q, ADC_str)});
}

QStringList lines(const TQ_kalibr_Termo_ns &q)
{
    return render({F(q, ns_str), F(q, T_str)});
}

QStringList lines(const TQ_Rashod_Kf &q)
{
    QStringList out;
    if (q.Kf) {
        out = render({F(q, A), F(q, B), F(q, C), F(q, D)});
    } else {
        out = render({F(q, Q_Max)});
        for (int n = 0; n < TQ_Rashod_Kf::PointCount; ++n)
            out << QStringLiteral("Etalon_%1=%2").arg(n + 1).arg(q.Etalon[size_t(n)]);
        for (int n = 0; n < TQ_Rashod_Kf::PointCount; ++n)
            out << QStringLiteral("Pribor_%1=%2").arg(n + 1).arg(q.Pribor[size_t(n)]);
    }
    return out << flagLine("Kf", q.Kf);
}

QStringList lines(const TQ_kalibr_Rashod &q)
{
    QStringList out = q.type_Q_Ns ? render({F(q, Q_Ns_str), F(q, Q_Qm_str)})
                                  : render({F(q, sred_times_val), F(q, sred_Qm_val), F(q, Time_ms)});
    return out << flagLine("type_Q_Ns", q.type_Q_Ns);
}

#undef F

} // namespace

QStringList RecordLines(const AnyRecord &record)
{
    return std::visit([](const auto &r) { return lines(r); }, record);
}

QString LiveLine(const TQ_main &q)
{
    return QStringList{q.Status, q.Rashod_M, q.Rashod_O, q.Plotnost, q.TempMCU, q.TempTube, q.FRQ,
                       q.TimePostCer0, q.ARU}
        .join(QLatin1Char('\t'));
}
