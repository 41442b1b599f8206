#pragma once
// Moving average over a ring of the last 30 values (15 s at one value per 500 ms).
// The sum is always divided by 30, so it climbs from 0 over the first 29 values.
#include <array>
#include <cstddef>

class TMovingAverage
{
public:
    static constexpr int Size = 30;

    // Adds one value and returns the new average.
    float add(float value);
    // The result of the last add; 0 before the first.
    float mean() const { return m_mean; }
    // The slot the next value goes into.
    int next() const { return m_next; }
    // How many of the 30 slots hold a value taken (not the initial zeros).
    int filled() const { return m_taken; }
    // The value taken age steps ago (0: the newest); age < filled().
    float newest(int age) const { return m_values[std::size_t((m_next - 1 - age + 2 * Size) % Size)]; }

private:
    std::array<float, Size> m_values{};
    int m_next = 0;
    float m_mean = 0.0f;
    int m_taken = 0;
};
