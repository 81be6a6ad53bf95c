#pragma once

#include <cstddef>
#include <string_view>

namespace brelim {

// Decodes the character at `at`. Returns its length in bytes, or 0 at the end
// of the input or on a malformed sequence (which then matches no range).
inline std::size_t decode_utf8(std::string_view input, std::size_t at, char32_t& code_point) noexcept {
    if (at >= input.size()) return 0;
    const auto* s = reinterpret_cast<const unsigned char*>(input.data()) + at;
    const std::size_t left = input.size() - at;
    const unsigned lead = s[0];
    std::size_t length = 0;
    char32_t value = 0;
    char32_t least = 0;
    if (lead < 0x80) {
        code_point = lead;
        return 1;
    } else if ((lead & 0xE0) == 0xC0) {
        length = 2, value = lead & 0x1F, least = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, value = lead & 0x0F, least = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, value = lead & 0x07, least = 0x10000;
    } else {
        return 0;
    }
    if (left < length) return 0;
    for (std::size_t i = 1; i < length; ++i) {
        if ((s[i] & 0xC0) != 0x80) return 0;
        value = (value << 6) | (s[i] & 0x3F);
    }
    if (value < least || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
    code_point = value;
    return length;
}

}  // namespace brelim
