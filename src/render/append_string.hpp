#pragma once

#include <string>
#include <string_view>

namespace brelim {

// Percent-encodes `data` onto `out`: the unreserved bytes (letters, digits,
// "-", ".", "_", "~") stay, every other byte becomes "%" and two upper-case
// hex digits. Returns true, having appended nothing, only when
// `skip_unchanged` is set and no byte needs encoding.
bool append_string(std::string_view data, std::string& out, bool skip_unchanged);

}  // namespace brelim
