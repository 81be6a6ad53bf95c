#include "append_string.hpp"

#include <cstring>

#include "../grammar/byte_set.hpp"

namespace brelim {

namespace {

constexpr ByteSet unreserved =
    ByteSet::range('A', 'Z') | ByteSet::range('a', 'z') | ByteSet::range('0', '9') | ByteSet::of('-', '.', '_', '~');

}  // namespace

bool append_string(std::string_view data, OutputBuffer& out, bool skip_unchanged) {
    static constexpr char hex[] = "0123456789ABCDEF";
    std::size_t at = 0;
    while (at < data.size() && unreserved[static_cast<unsigned char>(data[at])]) ++at;
    if (skip_unchanged && at == data.size()) return true;
    // At most three bytes for each byte still to go.
    char* const begin = out.extend(at + 3 * (data.size() - at));
    std::memcpy(begin, data.data(), at);
    char* write = begin + at;
    for (; at < data.size(); ++at) {
        const auto byte = static_cast<unsigned char>(data[at]);
        if (unreserved[byte]) {
            *write++ = static_cast<char>(byte);
        } else {
            write[0] = '%';
            write[1] = hex[byte >> 4];
            write[2] = hex[byte & 15];
            write += 3;
        }
    }
    out.advance(static_cast<std::size_t>(write - begin));
    return false;
}

}  // namespace brelim
