#pragma once

#include <cstddef>
#include <string_view>

#include "output_buffer.hpp"

namespace brelim {

// Percent-encodes `data` onto `out`: the unreserved bytes (letters, digits,
// "-", ".", "_", "~") stay, every other byte becomes "%" and two upper-case
// hex digits. Returns true, having appended nothing, only when
// `skip_unchanged` is set and no byte needs encoding.
bool append_string(std::string_view data, OutputBuffer& out, bool skip_unchanged);

// The size of `data` percent-encoded, as append_string writes it.
std::size_t encoded_size(std::string_view data);

}  // namespace brelim
