#pragma once
#include <QString>

// Traffic counters: accepted response frames and counted read requests.
class TRxTxCnt
{
public:
    TRxTxCnt() { Reset(); }
    void Reset();
    void IncRx() { ++FRX_cnt; }
    // Counts a read request that went out. The link calls it when its transmit
    // pacer writes a counted read, so a read the queue dropped is never counted;
    // the 50 ms quiet time after it is kept by the pacer, so this never blocks.
    void IncTx() { ++FTX_cnt; }
    // "Tx:<tx>  Rx:<rx>  "
    QString GetString() const;

    qint32 rx() const { return FRX_cnt; }
    qint32 tx() const { return FTX_cnt; }

private:
    qint32 FRX_cnt = 0;
    qint32 FTX_cnt = 0;
};

// Link status shared by every window: status text, main-window connect state, counters.
class TUSBWork
{
public:
    QString FStatusString;
    bool FBtnConnectOn = false;
    TRxTxCnt CntRxTx;
};
