#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "simd.hpp"

namespace brelim {

// For each of the given bytes, one bit for each of the `size` (at most 64)
// bytes at `bytes` that equals it; each sixteen bytes are loaded once where
// the processor allows. This is how lines and their first bytes are found a
// block at a time.
template <char... Wanted>
std::array<std::uint64_t, sizeof...(Wanted)> byte_masks(const char* bytes, std::size_t size) noexcept {
    std::array<std::uint64_t, sizeof...(Wanted)> masks{};
#if BRELIM_SIMD
    if (simd::sse2 && size == 64) {
        for (int i = 0; i < 4; ++i) {
            const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + 16 * i));
            std::size_t k = 0;
            ((masks[k++] |= std::uint64_t{static_cast<std::uint32_t>(
                                 _mm_movemask_epi8(_mm_cmpeq_epi8(chunk, _mm_set1_epi8(Wanted))))}
                             << (16 * i)),
             ...);
        }
        return masks;
    }
#endif
    for (std::size_t i = 0; i < size; ++i) {
        std::size_t k = 0;
        ((masks[k++] |= std::uint64_t{bytes[i] == Wanted} << i), ...);
    }
    return masks;
}

}  // namespace brelim
