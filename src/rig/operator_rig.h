#pragma once
// A rig without a link: the operator sets each flow by hand and types the
// reference meter's reading, so the run asks for both and never calls
// setFlow() or readReference().
#include "rig/rig.h"

class TOperatorRig : public TRig
{
    Q_OBJECT
public:
    using TRig::TRig;

    QString kind() const override { return QStringLiteral("operator"); }
    QString description() const override;
    QJsonObject settings() const override;
    bool setsFlow() const override { return false; }
    bool readsReference() const override { return false; }

    void open() override;
    void close() override { open_ = false; }
    bool isOpen() const override { return open_; }
    void setFlow(double kgPerHour) override;
    void readReference() override;

private:
    bool open_ = false;
};
