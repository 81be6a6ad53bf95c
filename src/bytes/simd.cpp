#include "simd.hpp"

#include <array>
#include <cstddef>

namespace brelim::simd {

namespace {

struct Available {
    std::array<Level, level_count> levels{};
    std::size_t count = 0;
    Level picked = Level::scalar;

    void add(Level level, bool may_pick) noexcept {
        levels[count++] = level;
        if (may_pick) picked = level;
    }
};

Available find_levels() noexcept {
    Available found;
#define BRELIM_LEVEL_FOUND(name, family, has, Block, lookups, Code, picked) \
    BRELIM_ON_##family(if (has) found.add(Level::name, picked);)
    BRELIM_LEVELS(BRELIM_LEVEL_FOUND)
#undef BRELIM_LEVEL_FOUND
    return found;
}

const Available& available() noexcept {
    static const Available found = find_levels();
    return found;
}

}  // namespace

// The picked level. Zero, the byte-at-a-time level, until the process's
// initialisation reaches here, which costs speed only.
std::atomic<Level> detail::active{picked_level()};

std::string_view level_name(Level level) noexcept {
    const auto index = static_cast<std::size_t>(level);
    return index < level_count ? level_names[index] : std::string_view{"?"};
}

std::span<const Level> levels() noexcept { return {available().levels.data(), available().count}; }

Level picked_level() noexcept { return available().picked; }

bool force_level(Level level) noexcept {
    for (const Level offered : levels()) {
        if (offered == level) {
            detail::active.store(level, std::memory_order_relaxed);
            return true;
        }
    }
    return false;
}

}  // namespace brelim::simd
