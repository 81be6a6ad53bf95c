#pragma once

#include <array>
#include <cstddef>
#include <string_view>

#include "../bytes/byte_set.hpp"
#include "output_buffer.hpp"

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

// Percent-encodes `data` onto `out`: the unreserved bytes (letters, digits,
// "-", ".", "_", "~") stay, every other byte becomes "%" and two upper-case
// hex digits. Returns true, having appended nothing, only when
// `skip_unchanged` is set and no byte needs encoding.
bool append_string(std::string_view data, OutputBuffer& out, bool skip_unchanged);

// The size of `data` percent-encoded, as append_string writes it.
std::size_t encoded_size(std::string_view data);

}  // namespace brelim
