#pragma once
// Moving average over a ring of the last 30 values (15 s at one value per 500 ms).
// The sum is always divided by 30, so it climbs from 0 over the first 29 values.
#include <array>
#include <cstddef>

class TSredSdvig
{
public:
    static constexpr int Size = 30;

    // Adds one value and returns the new average.
    float AddValue(float val);
    // The result of the last AddValue; 0 before the first.
    float Sred() const { return FSred; }
    int cnt() const { return CNT; }
    // How many of the 30 slots hold a value taken (not the initial zeros).
    int filled() const { return m_taken; }
    // The value taken age steps ago (0: the newest); age < filled().
    float newest(int age) const { return Arr_Sr[std::size_t((CNT - 1 - age + 2 * Size) % Size)]; }

private:
    std::array<float, Size> Arr_Sr{};
    int CNT = 0;
    float FSred = 0.0f;
    int m_taken = 0;
};
