#include "ui/calibration/sred_sdvig.h"

float TSredSdvig::AddValue(float val)
{
    Arr_Sr[CNT] = val;
    if (++CNT >= Size)
        CNT = 0;
    double sum = 0.0;
    for (const float v : Arr_Sr)
        sum += double(v);
    FSred = float(sum / Size);
    return FSred;
}
