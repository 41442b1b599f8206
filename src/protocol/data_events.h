#pragma once
// The eight one-handler data events. Assigning a handler replaces the previous
// one; assigning nullptr detaches. Handlers receive the sender and the record,
// which lives only during the call.
#include "protocol/lib_types.h"
#include <QObject>
#include <functional>

template <class Record>
using DataEvent = std::function<void(QObject *sender, const Record &)>;

class TDataEvents
{
public:
    DataEvent<TQ_main> OnMainTextChange;
    DataEvent<TQ_settings> OnSettingTextChange;
    DataEvent<TQ_kalibr_Termo> OnKalibrTermoChange;
    DataEvent<TQ_kalibr_Termo_ADC> OnKalibrTermoADCChange;
    DataEvent<TQ_kalibr_0_Termo> OnKalibr0TermoChange;
    DataEvent<TQ_kalibr_Termo_ns> OnKalibr0TermoNsChange;
    DataEvent<TQ_Rashod_Kf> OnKalibrQKoeff;
    DataEvent<TQ_kalibr_Rashod> OnKalibrQNs;

    // Calls the handler of the record's event, if one is set.
    void raise(QObject *sender, const AnyRecord &record) const;
};
