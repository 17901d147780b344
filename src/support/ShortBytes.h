#pragma once
#include <emmintrin.h>
#include <cstdint>
#include <cstring>

// Copying and comparing the few bytes of a key or a value in place: a call into the C
// runtime for each costs more than the bytes themselves. The ranges must not overlap.
namespace ShortBytes {

inline __m128i Load(const uint8_t* at) noexcept { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at)); }

template <class Word>
inline Word LoadWord(const uint8_t* at) noexcept {
    Word word;
    std::memcpy(&word, at, sizeof word);
    return word;
}

inline void Copy(uint8_t* to, const uint8_t* from, size_t size) noexcept {
    // Both ends are copied by whole words that may overlap in the middle.
    if (size >= 16) {
        const __m128i last = Load(from + size - 16);
        for (size_t at = 0; at + 16 < size; at += 16) _mm_storeu_si128(reinterpret_cast<__m128i*>(to + at), Load(from + at));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(to + size - 16), last);
    } else if (size >= 8) {
        const auto first = LoadWord<uint64_t>(from), last = LoadWord<uint64_t>(from + size - 8);
        std::memcpy(to, &first, 8);
        std::memcpy(to + size - 8, &last, 8);
    } else if (size >= 4) {
        const auto first = LoadWord<uint32_t>(from), last = LoadWord<uint32_t>(from + size - 4);
        std::memcpy(to, &first, 4);
        std::memcpy(to + size - 4, &last, 4);
    } else if (size > 0) {
        to[0] = from[0];
        to[size / 2] = from[size / 2];
        to[size - 1] = from[size - 1];
    }
}

inline bool Equal(const uint8_t* a, const uint8_t* b, size_t size) noexcept {
    const auto same = [](__m128i x, __m128i y) { return _mm_movemask_epi8(_mm_cmpeq_epi8(x, y)) == 0xFFFF; };
    if (size >= 16) {
        for (size_t at = 0; at + 16 < size; at += 16)
            if (!same(Load(a + at), Load(b + at))) return false;
        return same(Load(a + size - 16), Load(b + size - 16));
    }
    if (size >= 8)
        return LoadWord<uint64_t>(a) == LoadWord<uint64_t>(b) &&
               LoadWord<uint64_t>(a + size - 8) == LoadWord<uint64_t>(b + size - 8);
    if (size >= 4)
        return LoadWord<uint32_t>(a) == LoadWord<uint32_t>(b) &&
               LoadWord<uint32_t>(a + size - 4) == LoadWord<uint32_t>(b + size - 4);
    return size == 0 || (a[0] == b[0] && a[size / 2] == b[size / 2] && a[size - 1] == b[size - 1]);
}

}  // namespace ShortBytes
