#pragma once
// Reads a fuzzer's bytes as the pieces a target needs.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

// A property that must hold: libFuzzer reports the abort with its input.
inline void check(bool ok)
{
    if (!ok)
        std::abort();
}

class FuzzInput
{
public:
    FuzzInput(const uint8_t *data, size_t size) : m_data(data), m_size(size) {}
    bool empty() const { return m_pos >= m_size; }
    uint8_t byte() { return empty() ? 0 : m_data[m_pos++]; }
    // Up to n bytes; fewer at the end.
    size_t take(size_t n, const uint8_t **out)
    {
        *out = m_data + m_pos;
        const size_t got = n < m_size - m_pos ? n : m_size - m_pos;
        m_pos += got;
        return got;
    }
    template <class T>
    T value()
    {
        T v{};
        const uint8_t *p = nullptr;
        const size_t got = take(sizeof v, &p);
        std::memcpy(&v, p, got);
        return v;
    }

private:
    const uint8_t *m_data;
    size_t m_size;
    size_t m_pos = 0;
};

// The fuzzers' entry point; the replay programs call it for every corpus file.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);
