// Byte searches for the change detector's passes over a page. Markup puts
// the byte looked for (a newline, a "<" or ">") a few bytes away most of the
// time, where a call of memchr costs more than the search itself, so the
// first 32 bytes are looked at inline (SSE2 where the compiler offers it,
// which every x86-64 compiler does) and only longer distances go to memchr.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define TALLYHAWK_BYTE_SEARCH_SSE2 1
#endif

namespace tallyhawk::bytesearch {

// The first `byte` in [p, end), or nullptr.
inline const char* Find(const char* p, const char* end, char byte) {
#ifdef TALLYHAWK_BYTE_SEARCH_SSE2
    const __m128i needle = _mm_set1_epi8(byte);
    for (int block = 0; block < 2 && end - p >= 16; ++block, p += 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const unsigned found = unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, needle)));
        if (found != 0) return p + std::countr_zero(found);
    }
#endif
    if (p >= end) return nullptr;
    return static_cast<const char*>(std::memchr(p, byte, std::size_t(end - p)));
}

// Calls visit(at) for every `byte` in [p, end), in order.
template <typename Visit>
inline void ForEach(const char* p, const char* end, char byte, Visit&& visit) {
#ifdef TALLYHAWK_BYTE_SEARCH_SSE2
    const __m128i needle = _mm_set1_epi8(byte);
    for (; end - p >= 32; p += 32) {
        const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16));
        unsigned found = unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(low, needle))) |
                         (unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(high, needle))) << 16);
        for (; found != 0; found &= found - 1) visit(p + std::countr_zero(found));
    }
#endif
    for (; p < end; ++p)
        if (*p == byte) visit(p);
}

// Whether the n bytes at a and b are equal: memcmp, with short spans (most
// lines of markup) compared inline as overlapping words.
inline bool Equal(const char* a, const char* b, std::size_t n) {
    if (n >= 8 && n <= 16) {
        std::uint64_t a0, a1, b0, b1;
        std::memcpy(&a0, a, 8);
        std::memcpy(&b0, b, 8);
        std::memcpy(&a1, a + n - 8, 8);
        std::memcpy(&b1, b + n - 8, 8);
        return ((a0 ^ b0) | (a1 ^ b1)) == 0;
    }
    if (n < 8) {
        if (n >= 4) {
            std::uint32_t a0, a1, b0, b1;
            std::memcpy(&a0, a, 4);
            std::memcpy(&b0, b, 4);
            std::memcpy(&a1, a + n - 4, 4);
            std::memcpy(&b1, b + n - 4, 4);
            return ((a0 ^ b0) | (a1 ^ b1)) == 0;
        }
        for (std::size_t i = 0; i < n; ++i)
            if (a[i] != b[i]) return false;
        return true;
    }
    return std::memcmp(a, b, n) == 0;
}

// How many times `byte` occurs in [p, end).
inline std::size_t Count(const char* p, const char* end, char byte) {
    std::size_t count = 0;
#ifdef TALLYHAWK_BYTE_SEARCH_SSE2
    const __m128i needle = _mm_set1_epi8(byte);
    const __m128i zero = _mm_setzero_si128();
    while (end - p >= 16) {
        // Per-lane counts in 8 bits, so at most 255 blocks between sums.
        std::ptrdiff_t blocks = (end - p) / 16;
        if (blocks > 255) blocks = 255;
        __m128i lanes = zero;
        for (std::ptrdiff_t i = 0; i < blocks; ++i, p += 16) {
            const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
            lanes = _mm_sub_epi8(lanes, _mm_cmpeq_epi8(bytes, needle));
        }
        const __m128i sums = _mm_sad_epu8(lanes, zero);
        count += std::size_t(_mm_cvtsi128_si32(sums)) + std::size_t(_mm_extract_epi16(sums, 4));
    }
#endif
    for (; p < end; ++p) count += *p == byte ? 1 : 0;
    return count;
}

}  // namespace tallyhawk::bytesearch
