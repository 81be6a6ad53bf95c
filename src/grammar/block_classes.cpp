#include "block_classes.hpp"

#include <cstring>


namespace brelim {

namespace {

using byte_class::plain;

BlockClasses classify_bytes(const unsigned char* bytes) noexcept {
    BlockClasses classes{};
    for (unsigned i = 0; i < 64; ++i) {
        classes.not_plain |= std::uint64_t{!plain[bytes[i]]} << i;
    }
    return classes;
}

#ifdef BRELIM_SCAN_SSSE3
[[gnu::target("ssse3")]] BlockClasses classify_ssse3(const unsigned char* bytes) noexcept {
    static constexpr NibbleTables plain_tables = NibbleTables::of(plain);
    static_assert(plain_tables.usable);
    const auto table = [](const std::array<unsigned char, 16>& t) {
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(t.data()));
    };
    const __m128i plain_low = table(plain_tables.low), plain_high = table(plain_tables.high);
    BlockClasses classes{};
    for (unsigned i = 0; i < 4; ++i) {
        const unsigned char* chunk = bytes + 16 * i;
        classes.not_plain |= std::uint64_t{detail::outside_ssse3(chunk, plain_low, plain_high)} << (16 * i);
    }
    return classes;
}
#endif

BlockClasses classify_full(const unsigned char* bytes) noexcept {
#ifdef BRELIM_SCAN_SSSE3
    if (detail::has_ssse3) return classify_ssse3(bytes);
#endif
    return classify_bytes(bytes);
}

}  // namespace

BlockClasses classify_block(const char* bytes, std::size_t size) noexcept {
    const auto* data = reinterpret_cast<const unsigned char*>(bytes);
    if (size == 64) return classify_full(data);
    // A zero byte is not plain: the padding stops every run.
    unsigned char padded[64] = {};
    std::memcpy(padded, data, size);
    return classify_full(padded);
}

}  // namespace brelim
