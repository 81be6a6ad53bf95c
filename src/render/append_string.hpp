#pragma once

#include <cstddef>
#include <string_view>

#include "../grammar/byte_set.hpp"

namespace brelim {

namespace detail {

inline constexpr ByteSet unreserved =
    ByteSet::range('A', 'Z') | ByteSet::range('a', 'z') | ByteSet::range('0', '9') | ByteSet::of('-', '.', '_', '~');

inline std::size_t unreserved_run(std::string_view data, std::size_t from) noexcept {
    std::size_t at = from;
    while (at < data.size() && unreserved[static_cast<unsigned char>(data[at])]) ++at;
    return at;
}

}  // namespace detail

// Percent-encodes `data` onto `out` (a std::string or an OutputBuffer): the
// unreserved bytes (letters, digits, "-", ".", "_", "~") stay, every other
// byte becomes "%" and two upper-case hex digits. Returns true, having
// appended nothing, only when `skip_unchanged` is set and no byte needs
// encoding.
template <class Out>
bool append_string(std::string_view data, Out& out, bool skip_unchanged) {
    static constexpr char hex[] = "0123456789ABCDEF";
    std::size_t at = detail::unreserved_run(data, 0);
    if (skip_unchanged && at == data.size()) return true;
    out.append(data.data(), at);
    while (at < data.size()) {
        const auto byte = static_cast<unsigned char>(data[at]);
        const char group[3] = {'%', hex[byte >> 4], hex[byte & 15]};
        out.append(group, 3);
        const std::size_t run_end = detail::unreserved_run(data, at + 1);
        out.append(data.data() + at + 1, run_end - at - 1);
        at = run_end;
    }
    return false;
}

}  // namespace brelim
