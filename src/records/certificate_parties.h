#pragma once
// Who a certificate is issued by, for and under whose signature: one table of fields
// that the window's plan page, kestroctl's options and the settings file all share,
// so each face names and stores them the same way.
#include "records/run_record.h"
#include <QList>
#include <QString>

struct CertificatePartyField
{
    const char *key;        // under certificate/ in the settings, and kestroctl's --option
    const char *label;      // the plan page's row
    const char *accessible; // what a screen reader says
    QString CertificateParties::*member;
};

const QList<CertificatePartyField> &CertificatePartyFields();

// As the settings file holds them (the window writes it); empty fields where none.
CertificateParties LoadCertificateParties();
// Every field as given; an empty one is removed, so the next run has none.
void SaveCertificateParties(const CertificateParties &parties);
