#include "procedure/sred_sdvig.h"

float TSredSdvig::AddValue(float val)
{
    Arr_Sr[CNT] = val;
    m_taken = m_taken < Size ? m_taken + 1 : Size;
    if (++CNT >= Size)
        CNT = 0;
    double sum = 0.0;
    for (const float v : Arr_Sr)
        sum += double(v);
    FSred = float(sum / Size);
    return FSred;
}
