#include "simd.hpp"

#include <array>
#include <cstddef>

namespace brelim::simd {

namespace {

struct Available {
    std::array<Level, 3> levels{};
    std::size_t count = 0;

    void add(Level level) noexcept { levels[count++] = level; }
};

Available find_levels() noexcept {
    Available found;
    found.add(Level::scalar);
#if BRELIM_X86
    found.add(Level::sse2);
    if (portable::cpu_has_ssse3()) found.add(Level::ssse3);
#elif BRELIM_ARM64
    found.add(Level::neon);
#endif
    return found;
}

const Available& available() noexcept {
    static const Available found = find_levels();
    return found;
}

}  // namespace

// The best level. Zero, the byte-at-a-time level, until the process's
// initialisation reaches here, which costs speed only.
std::atomic<Level> detail::active{levels().back()};

std::string_view level_name(Level level) noexcept {
    switch (level) {
    case Level::scalar:
        return "scalar";
    case Level::sse2:
        return "sse2";
    case Level::ssse3:
        return "ssse3";
    case Level::neon:
        return "neon";
    }
    return "?";
}

std::span<const Level> levels() noexcept { return {available().levels.data(), available().count}; }

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
