#include "href.hpp"

#include "../bytes/copy_bytes.hpp"

namespace brelim {

namespace {

bool starts_with_ignoring_case(std::string_view text, std::string_view lower_prefix) {
    if (text.size() < lower_prefix.size()) return false;
    for (std::size_t i = 0; i < lower_prefix.size(); ++i) {
        char c = text[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != lower_prefix[i]) return false;
    }
    return true;
}

// Whether a target goes into the href as written: it contains "http" and
// runs no script. Any other is percent-encoded.
bool href_as_written(std::string_view target) {
    return target.find("http") != std::string_view::npos && !is_script_url(target);
}

// The target as written but for its apostrophes, which must not end the
// apostrophe-delimited attribute.
char* write_literal_href(char* to, std::string_view target) {
    for (std::size_t from = 0;;) {
        const std::size_t quote = target.find('\'', from);
        const std::size_t piece = (quote == std::string_view::npos ? target.size() : quote) - from;
        copy_bytes(to, target.data() + from, piece);
        to += piece;
        if (quote == std::string_view::npos) return to;
        std::memcpy(to, "&#39;", 5);
        to += 5;
        from = quote + 1;
    }
}

// The size write_literal_href writes.
std::size_t literal_href_size(std::string_view target) {
    std::size_t size = target.size();
    for (const char c : target) size += c == '\'' ? 4 : 0;  // "&#39;"
    return size;
}

// The target percent-encoded (its size: encoded_size); tells in `http`
// whether it contains "http".
char* write_encoded_href(char* to, std::string_view target, bool& http) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(target.data());
    const std::size_t size = target.size();
    for (std::size_t i = 0; i < size; ++i) {
        const PercentEncoded& code = percent_encoded[bytes[i]];
        std::memcpy(to, &code, sizeof code);
        to += code.size;
        if (bytes[i] == 'h' && size - i >= 4 && bytes[i + 1] == 't' && bytes[i + 2] == 't' && bytes[i + 3] == 'p') {
            http = true;
        }
    }
    return to;
}

}  // namespace

// A scheme that runs code when followed, whatever "http" appears later.
bool is_script_url(std::string_view target) {
    std::size_t begin = 0;
    while (begin < target.size() && (target[begin] == ' ' || target[begin] == '\t')) ++begin;
    const std::string_view rest = target.substr(begin);
    return starts_with_ignoring_case(rest, "javascript:") || starts_with_ignoring_case(rest, "vbscript:") ||
           starts_with_ignoring_case(rest, "data:");
}

char* write_href(char* to, std::string_view target, bool readable) {
    if (readable && target.size() <= slack::short_target) return write_short_href(to, target);
    bool http = false;
    if (target.size() > slack::short_target) {
        return href_as_written(target) ? write_literal_href(to, target) : write_encoded_href(to, target, http);
    }
    char* const end = write_encoded_href(to, target, http);
    return http && !is_script_url(target) ? write_literal_href(to, target) : end;
}

std::size_t href_size(std::string_view target) {
    return href_as_written(target) ? literal_href_size(target) : encoded_size(target);
}

}  // namespace brelim
