#pragma once

// Finding where a run of bytes from a set ends, sixteen bytes at a time where
// the processor allows: this is where long headlines spend their time.

#include <cstddef>
#include <string_view>

#include "byte_set.hpp"
#include "outside_mask.hpp"
#include "simd.hpp"

namespace brelim {

#if BRELIM_SIMD
namespace detail {

// Needs at least sixteen bytes of input; the last chunk overlaps the one
// before it rather than reading past the end.
template <const ByteSet& Set>
[[gnu::target("ssse3")]] std::size_t scan_ssse3(const unsigned char* bytes, std::size_t at, std::size_t size) noexcept {
    while (size - at >= 16) {
        const unsigned outside = outside_ssse3<Set>(bytes + at);
        if (outside != 0) return at + static_cast<std::size_t>(__builtin_ctz(outside));
        at += 16;
    }
    if (at == size) return at;
    const std::size_t base = size - 16;
    const unsigned outside = outside_ssse3<Set>(bytes + base) >> (at - base);
    return outside != 0 ? at + static_cast<std::size_t>(__builtin_ctz(outside)) : size;
}

}  // namespace detail
#endif

// Where the run of `Set` bytes that starts at `from` ends.
template <const ByteSet& Set>
std::size_t scan(std::string_view input, std::size_t from) noexcept {
    const auto* bytes = reinterpret_cast<const unsigned char*>(input.data());
#if BRELIM_SIMD
    if constexpr (NibbleTables::of(Set).usable) {
        if (simd::ssse3 && input.size() >= 16) return detail::scan_ssse3<Set>(bytes, from, input.size());
    }
#endif
    std::size_t at = from;
    while (at < input.size() && Set[bytes[at]]) ++at;
    return at;
}

}  // namespace brelim
