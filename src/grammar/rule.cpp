#include "rule.hpp"

namespace brelim {

std::string_view rule_name(Rule rule) noexcept {
    const auto index = static_cast<std::size_t>(rule);
    return index < rule_count ? rule_names[index] : std::string_view{"?"};
}

bool is_silent(Rule rule) noexcept {
    const auto index = static_cast<std::size_t>(rule);
    return index < rule_count && rule_kinds[index] == RuleKind::silent;
}

}  // namespace brelim
