#include "procedure/moving_average.h"

float TMovingAverage::add(float value)
{
    m_values[std::size_t(m_next)] = value;
    m_taken = m_taken < Size ? m_taken + 1 : Size;
    if (++m_next >= Size)
        m_next = 0;
    double sum = 0.0;
    for (const float v : m_values)
        sum += double(v);
    m_mean = float(sum / Size);
    return m_mean;
}
