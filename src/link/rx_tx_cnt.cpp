#include "link/rx_tx_cnt.h"

void TRxTxCnt::Reset()
{
    FRX_cnt = 0;
    FTX_cnt = 0;
}

QString TRxTxCnt::GetString() const
{
    return QStringLiteral("Tx:") + QString::number(FTX_cnt) + QStringLiteral("  Rx:")
           + QString::number(FRX_cnt) + QStringLiteral("  ");
}
