#pragma once

#include <cstring>
#include <optional>
#include <string_view>

namespace brelim {

// The lines of a document, as views without their endings. A line ends at a
// line feed; a carriage return is part of the ending only right before one.
// A final line feed does not start an empty last line.
class Lines {
public:
    explicit Lines(std::string_view document) noexcept : rest_(document) {}

    std::optional<std::string_view> next() noexcept {
        if (rest_.empty()) return std::nullopt;
        const void* feed = std::memchr(rest_.data(), '\n', rest_.size());
        if (feed == nullptr) {
            const std::string_view last = rest_;
            rest_ = {};
            return last;
        }
        const auto length = static_cast<std::size_t>(static_cast<const char*>(feed) - rest_.data());
        std::string_view line = rest_.substr(0, length);
        rest_.remove_prefix(length + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        return line;
    }

private:
    std::string_view rest_;
};

}  // namespace brelim
