#include "protocol/data_events.h"

namespace {

// One overload per record: a record type without its event fails to compile.
const DataEvent<TQ_main> &eventOf(const TDataEvents &e, const TQ_main &) { return e.OnMainTextChange; }
const DataEvent<TQ_settings> &eventOf(const TDataEvents &e, const TQ_settings &)
{
    return e.OnSettingTextChange;
}
const DataEvent<TQ_kalibr_Termo> &eventOf(const TDataEvents &e, const TQ_kalibr_Termo &)
{
    return e.OnKalibrTermoChange;
}
const DataEvent<TQ_kalibr_Termo_ADC> &eventOf(const TDataEvents &e, const TQ_kalibr_Termo_ADC &)
{
    return e.OnKalibrTermoADCChange;
}
const DataEvent<TQ_kalibr_0_Termo> &eventOf(const TDataEvents &e, const TQ_kalibr_0_Termo &)
{
    return e.OnKalibr0TermoChange;
}
const DataEvent<TQ_kalibr_Termo_ns> &eventOf(const TDataEvents &e, const TQ_kalibr_Termo_ns &)
{
    return e.OnKalibr0TermoNsChange;
}
const DataEvent<TQ_Rashod_Kf> &eventOf(const TDataEvents &e, const TQ_Rashod_Kf &)
{
    return e.OnKalibrQKoeff;
}
const DataEvent<TQ_kalibr_Rashod> &eventOf(const TDataEvents &e, const TQ_kalibr_Rashod &)
{
    return e.OnKalibrQNs;
}

} // namespace

void TDataEvents::raise(QObject *sender, const AnyRecord &record) const
{
    std::visit(
        [&](const auto &r) {
            // Copy the handler: it may replace or clear its own event while it runs.
            const auto handler = eventOf(*this, r);
            if (handler)
                handler(sender, r);
        },
        record);
}
