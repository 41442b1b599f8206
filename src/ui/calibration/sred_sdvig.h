#pragma once
// Moving average over a ring of the last 30 values (15 s at one value per 500 ms).
// The sum is always divided by 30, so it climbs from 0 over the first 29 values.
#include <array>

class TSredSdvig
{
public:
    static constexpr int Size = 30;

    // Adds one value and returns the new average.
    float AddValue(float val);
    // The result of the last AddValue; 0 before the first.
    float Sred() const { return FSred; }
    int cnt() const { return CNT; }

private:
    std::array<float, Size> Arr_Sr{};
    int CNT = 0;
    float FSred = 0.0f;
};
