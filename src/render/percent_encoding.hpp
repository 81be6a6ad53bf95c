#pragma once

// Percent-encoding, which an href applies to a target it does not keep as
// written.

#include <array>
#include <cstddef>
#include <string_view>

#include "../bytes/byte_set.hpp"

namespace brelim {

// The bytes that percent-encoding leaves as they are.
inline constexpr ByteSet unreserved =
    ByteSet::range('A', 'Z') | ByteSet::range('a', 'z') | ByteSet::range('0', '9') | ByteSet::of('-', '.', '_', '~');

// Each byte's percent-encoding: itself when unreserved (letters, digits, "-",
// ".", "_", "~"), else "%" and two upper-case hex digits. Four bytes an entry,
// so that a writer stores a whole entry and keeps `size` of it.
struct PercentEncoded {
    char bytes[3];
    unsigned char size;
};

inline constexpr std::array<PercentEncoded, 256> percent_encoded = [] {
    constexpr char hex[] = "0123456789ABCDEF";
    std::array<PercentEncoded, 256> table{};
    for (unsigned byte = 0; byte < 256; ++byte) {
        if (unreserved[static_cast<unsigned char>(byte)]) {
            table[byte] = {{static_cast<char>(byte), 0, 0}, 1};
        } else {
            table[byte] = {{'%', hex[byte >> 4], hex[byte & 15]}, 3};
        }
    }
    return table;
}();

// The size of `data` percent-encoded.
inline std::size_t encoded_size(std::string_view data) noexcept {
    std::size_t size = 0;
    for (const char c : data) size += percent_encoded[static_cast<unsigned char>(c)].size;
    return size;
}

}  // namespace brelim
