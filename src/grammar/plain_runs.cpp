#include "plain_runs.hpp"

#include <cstring>

namespace brelim {

namespace {

std::uint64_t not_plain_bytes(const unsigned char* bytes) noexcept {
    std::uint64_t mask = 0;
    for (unsigned i = 0; i < 64; ++i) mask |= std::uint64_t{!plain_bytes[bytes[i]]} << i;
    return mask;
}

#ifdef BRELIM_SCAN_SSSE3
[[gnu::target("ssse3")]] std::uint64_t not_plain_ssse3(const unsigned char* bytes) noexcept {
    static constexpr NibbleTables tables = NibbleTables::of(plain_bytes);
    static_assert(tables.usable);
    const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(tables.low.data()));
    const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(tables.high.data()));
    std::uint64_t mask = 0;
    for (unsigned i = 0; i < 4; ++i) {
        mask |= std::uint64_t{detail::outside_ssse3(bytes + 16 * i, low, high)} << (16 * i);
    }
    return mask;
}
#endif

// Chosen once, for the processor at hand.
using Classify = std::uint64_t (*)(const unsigned char*) noexcept;
const Classify classify = [] {
#ifdef BRELIM_SCAN_SSSE3
    if (detail::has_ssse3) return Classify{not_plain_ssse3};
#endif
    return Classify{not_plain_bytes};
}();

}  // namespace

std::uint64_t not_plain_mask(const char* bytes, std::size_t size) noexcept {
    const auto* data = reinterpret_cast<const unsigned char*>(bytes);
    if (size == 64) return classify(data);
    // A zero byte is not plain: the padding stops every run.
    unsigned char padded[64] = {};
    std::memcpy(padded, data, size);
    return classify(padded);
}

}  // namespace brelim
