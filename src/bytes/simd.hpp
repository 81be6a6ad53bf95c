#pragma once

// The byte layer, below everything else.
//
// Which block type looks at bytes: the level. Each primitive of this folder
// is written once over a block type (block_sse.hpp, block_neon.hpp), mostly
// through a 64-byte window of them (window.hpp), and once a byte at a time,
// and `dispatch` runs the one that the active level names. The best level
// the processor has is chosen once per process; tests and benchmarks may
// force another.

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <span>
#include <string_view>
#include <type_traits>

#include "block_neon.hpp"
#include "block_sse.hpp"
#include "portable.hpp"

namespace brelim::simd {

// How a level runs a primitive that looks bytes up in a table (`lookup`),
// when its block type can: at the build's own baseline, or a byte at a time
// where that lookup is not worth it (a primitive that also compares bytes
// may keep its comparisons a block at a time: `without_lookups`). A level
// whose lookup needs more than the baseline names a policy of its own
// (LookupsWithSsse3).
struct LookupsInline {
    template <class Block, class Kernel, class... Args>
    static auto run(Args... args) {
        return Kernel::template blocks<Block>(args...);
    }
};
struct LookupsByteAtATime {
    template <class Block, class Kernel, class... Args>
    static auto run(Args... args) {
        if constexpr (requires { Kernel::template without_lookups<Block>(args...); }) {
            return Kernel::template without_lookups<Block>(args...);
        } else {
            return Kernel::bytes(args...);
        }
    }
};

// Every level, in the order of their numbers, the byte-at-a-time one first
// and the best of each processor family last: its name, the family it is
// built for (ANY, X86, ARM64), what the processor must have, its block type
// (void: a byte at a time) and how it runs a primitive that looks bytes up.
// The enumeration, the names, what the processor offers and `dispatch` are
// all made from this list: a new level is a block file and an entry here.
#define BRELIM_LEVELS(X)                                                                            \
    X(scalar, ANY, true, void, LookupsInline)                            /* on any processor */     \
    X(sse2, X86, true, SseBlock, LookupsByteAtATime)                     /* x86-64 without SSSE3 */ \
    X(ssse3, X86, portable::cpu_has_ssse3(), SseBlock, LookupsWithSsse3) /* x86-64 */               \
    X(neon, ARM64, true, NeonBlock, LookupsInline)                       /* aarch64 */

#define BRELIM_LEVEL_ENUMERATOR(name, ...) name,
enum class Level : std::uint8_t { BRELIM_LEVELS(BRELIM_LEVEL_ENUMERATOR) };
#undef BRELIM_LEVEL_ENUMERATOR

#define BRELIM_LEVEL_NAME(name, ...) std::string_view{#name},
inline constexpr std::string_view level_names[] = {BRELIM_LEVELS(BRELIM_LEVEL_NAME)};
#undef BRELIM_LEVEL_NAME

inline constexpr std::size_t level_count = std::size(level_names);

namespace detail {
template <class Block>
constexpr std::size_t size_of_block() noexcept {
    if constexpr (std::is_void_v<Block>) {
        return 1;
    } else {
        return Block::size;
    }
}
}  // namespace detail

// The largest block of the levels this build has: a primitive's caller gives
// its block kernel at least this many bytes, which any level's block needs.
#define BRELIM_LEVEL_BLOCK_SIZE(name, family, has, Block, Lookups) BRELIM_ON_##family(detail::size_of_block<Block>(), )
inline constexpr std::size_t block_size = std::max({std::size_t{1}, BRELIM_LEVELS(BRELIM_LEVEL_BLOCK_SIZE)});
#undef BRELIM_LEVEL_BLOCK_SIZE

std::string_view level_name(Level level) noexcept;

// The levels this build and this processor can run, the byte-at-a-time one
// first and the best last.
std::span<const Level> levels() noexcept;

namespace detail {
extern std::atomic<Level> active;
}  // namespace detail

inline Level active_level() noexcept { return detail::active.load(std::memory_order_relaxed); }

// Makes `level` the active one, when it is one of levels(); returns whether
// it did. For tests and benchmarks: a conversion running meanwhile may see
// either level, each of which gives the same answers.
bool force_level(Level level) noexcept;

namespace detail {
// A primitive at a level of block type `Block` (void: a byte at a time). A
// kernel that looks nothing up (`Kernel::looks_up` false) needs no more than
// its block type's baseline and is inlined whatever the level's lookups;
// one that does runs as the level's `Lookups` says.
template <class Block, class Lookups, class Kernel, class... Args>
BRELIM_ALWAYS_INLINE auto run_at(Args... args) {
    if constexpr (std::is_void_v<Block>) {
        return Kernel::bytes(args...);
    } else if constexpr (Kernel::looks_up) {
        return Lookups::template run<Block, Kernel>(args...);
    } else {
        return Kernel::template blocks<Block>(args...);
    }
}
}  // namespace detail

// Runs a primitive at the active level: `Kernel::blocks<Block>(args...)`
// with the level's block type, or `Kernel::bytes(args...)`. The arguments
// are passed by value, so that nothing of the caller's is kept in memory.
template <class Kernel, class... Args>
BRELIM_ALWAYS_INLINE auto dispatch(Args... args) {
#define BRELIM_LEVEL_CASE(name, family, has, Block, Lookups) \
    BRELIM_ON_##family(case Level::name : return detail::run_at<Block, Lookups, Kernel>(args...);)
    switch (active_level()) {
        BRELIM_LEVELS(BRELIM_LEVEL_CASE)
    default:
        return Kernel::bytes(args...);
    }
#undef BRELIM_LEVEL_CASE
}

}  // namespace brelim::simd
