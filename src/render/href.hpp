#pragma once

// The href rules: a link's target goes into its anchor's href as written
// when it contains "http" and its scheme runs no code, percent-encoded
// otherwise. Each writer is declared with the size it writes.

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "../bytes/portable.hpp"
#include "../bytes/reach.hpp"
#include "../bytes/short_mask.hpp"
#include "percent_encoding.hpp"

namespace brelim {

// The most an href takes: five bytes for each byte of the target (an
// apostrophe becomes "&#39;"; a percent-encoding takes three, and one more
// to spare), and the slack of a short target's moves.
constexpr std::size_t href_room(std::string_view target) noexcept { return 5 * target.size() + 1 + slack::href_write; }

// Writes the target's href at `to`, which has href_room() bytes, and returns
// its end. A short target is encoded in the same pass that looks for "http",
// and written again in the rare case it holds one: from one block's mask
// where it may be read slack::href_read bytes past its start (`readable`),
// else a byte at a time. A long one is searched first.
char* write_href(char* to, std::string_view target, bool readable);

// Whether a link's target names a scheme that runs code when followed; its
// href is percent-encoded whatever else it holds.
bool is_script_url(std::string_view target);

// The size write_href writes.
std::size_t href_size(std::string_view target);

// The bytes of a target that both of its hrefs keep as they are: the
// unreserved ones but "h", which may begin "http".
inline constexpr ByteSet href_kept = ByteSet::range('A', 'Z') | ByteSet::range('a', 'g') | ByteSet::range('i', 'z') |
                                     ByteSet::range('0', '9') | ByteSet::of('-', '.', '_', '~');

// A target of at most slack::short_target bytes, which may be read
// slack::href_read bytes past its start, into room for slack::href_write
// bytes past its href: the runs of bytes it keeps are moved narrow_move at a
// time between the bytes it encodes, found from one block; an "h" that
// begins "http" hands the target to write_href, which writes it as it is.
BRELIM_ALWAYS_INLINE char* write_short_href(char* to, std::string_view target) {
    const char* const from = target.data();
    const std::size_t size = target.size();
    char* const begin = to;
    std::size_t done = 0;
    for (std::uint32_t marked = short_outside_mask<href_kept>(from, size); marked != 0; marked &= marked - 1) {
        const auto at = static_cast<std::size_t>(std::countr_zero(marked));
        if (from[at] == 'h' && size - at >= 4 && std::memcmp(from + at, "http", 4) == 0) {
            return write_href(begin, target, false);
        }
        std::memcpy(to, from + done, narrow_move);
        to += at - done;
        const PercentEncoded& code = percent_encoded[static_cast<unsigned char>(from[at])];
        std::memcpy(to, &code, sizeof code);
        to += code.size;
        done = at + 1;
    }
    std::memcpy(to, from + done, narrow_move);
    return to + (size - done);
}

}  // namespace brelim
