#include "append_string.hpp"

#include <cstring>

namespace brelim {

bool append_string(std::string_view data, OutputBuffer& out, bool skip_unchanged) {
    std::size_t at = 0;
    while (at < data.size() && unreserved[static_cast<unsigned char>(data[at])]) ++at;
    if (skip_unchanged && at == data.size()) return true;
    // At most three bytes for each byte still to go, and one to spare: every
    // byte writes all four of its entry and keeps as many as it needs.
    char* const begin = out.extend(at + 3 * (data.size() - at) + 1);
    std::memcpy(begin, data.data(), at);
    char* write = begin + at;
    for (; at < data.size(); ++at) {
        const PercentEncoded& code = percent_encoded[static_cast<unsigned char>(data[at])];
        std::memcpy(write, code.bytes, sizeof code.bytes);
        write += code.size;
    }
    out.advance(static_cast<std::size_t>(write - begin));
    return false;
}

std::size_t encoded_size(std::string_view data) {
    std::size_t size = 0;
    for (const char c : data) size += percent_encoded[static_cast<unsigned char>(c)].size;
    return size;
}

}  // namespace brelim
