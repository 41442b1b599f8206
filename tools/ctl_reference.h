#pragma once
// kestroctl calibrate's reference instrument from its --reference-* options: read
// strictly, each refusal naming its option.
#include <QDate>
#include <QString>
#include <optional>

struct CtlReference
{
    QString name, certificate;
    QDate due; // invalid: not given
    std::optional<double> uncertaintyPercent;
    double coverageFactor = 2.0;
    std::optional<double> degreesOfFreedom; // none: infinite
};

// The options as typed; none: not given.
struct CtlReferenceArgs
{
    std::optional<QString> name, certificate, due, uncertainty, coverage, dof;
};

// None with error naming the option on a bad value.
std::optional<CtlReference> ParseCtlReference(const CtlReferenceArgs &args, QString *error);
