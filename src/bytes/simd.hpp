#pragma once

// The byte layer, below everything else.
//
// Which block type looks at bytes: the level. Each primitive of this folder
// is written once over a block type (block_sse.hpp, block_neon.hpp), mostly
// through a 64-byte window of them (window.hpp), and once a byte at a time,
// and `dispatch` runs the one that the active level names, through the
// level's entry point, compiled for the instructions it uses there. The best
// level the processor has is chosen once per process; tests and benchmarks
// may force another.

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

// Code compiled at the build's own baseline, inlined into its caller: the
// entry point of a level whose block type needs no more.
struct Baseline {
    static constexpr unsigned features = 0;
};

// Every level, in the order of their numbers, the byte-at-a-time one first
// and the best of each processor family last: its name, the family it is
// built for (ANY, X86, ARM64), what the processor must have, its block type
// (void: a byte at a time), whether it looks bytes up in tables with its
// block type (else a primitive that does runs a byte at a time, or keeps
// only its comparisons a block at a time: `without_lookups`), the code its
// entry point compiles for what the baseline lacks (`Baseline`, or a struct
// of its block file, such as `Ssse3`), and whether the process runs at it
// when the processor has it. A level that does not pay for itself on whole
// documents is offered to tests, the fuzzer and benchmarks but never picked.
// The enumeration, the names, what the processor offers and `dispatch` are
// all made from this list: a new level is a block file, its detection in
// portable.hpp and an entry here.
#define BRELIM_LEVELS(X)                                                                      \
    X(scalar, ANY, true, void, false, Baseline, true)                     /* any processor */ \
    X(sse2, X86, true, SseBlock, false, Baseline, true)                   /* without SSSE3 */ \
    X(ssse3, X86, portable::cpu_has_ssse3(), SseBlock, true, Ssse3, true) /* x86-64 */        \
    X(neon, ARM64, true, NeonBlock, true, Baseline, true)                 /* aarch64 */

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
#define BRELIM_LEVEL_BLOCK_SIZE(name, family, has, Block, ...) BRELIM_ON_##family(detail::size_of_block<Block>(), )
inline constexpr std::size_t block_size = std::max({std::size_t{1}, BRELIM_LEVELS(BRELIM_LEVEL_BLOCK_SIZE)});
#undef BRELIM_LEVEL_BLOCK_SIZE

namespace detail {
template <class Block>
constexpr std::size_t size_of_vector() noexcept {
    if constexpr (std::is_void_v<Block>) {
        return SIZE_MAX;
    } else {
        return Block::size;
    }
}
}  // namespace detail

// The smallest block of the levels this build has that look at more than a
// byte at a time: less input than this runs a byte at a time at any level,
// without dispatch; a primitive's block kernel tells apart the rest.
#define BRELIM_LEVEL_VECTOR_SIZE(name, family, has, Block, ...) BRELIM_ON_##family(detail::size_of_vector<Block>(), )
inline constexpr std::size_t narrowest_block =
    std::min({std::size_t{SIZE_MAX}, BRELIM_LEVELS(BRELIM_LEVEL_VECTOR_SIZE)});
#undef BRELIM_LEVEL_VECTOR_SIZE

std::string_view level_name(Level level) noexcept;

// The levels this build and this processor can run, the byte-at-a-time one
// first and the widest last.
std::span<const Level> levels() noexcept;

// The level the process runs at unless one is forced: the last of levels()
// that the list lets it pick.
Level picked_level() noexcept;

namespace detail {
extern std::atomic<Level> active;
}  // namespace detail

inline Level active_level() noexcept { return detail::active.load(std::memory_order_relaxed); }

// Makes `level` the active one, when it is one of levels(); returns whether
// it did. For tests and benchmarks: a conversion running meanwhile may see
// either level, each of which gives the same answers.
bool force_level(Level level) noexcept;

namespace detail {

// The function that runs a primitive at a level of block type `Block` (void:
// a byte at a time) that looks bytes up when `Lookups` is set, and the
// instruction sets it needs there. An entry point is handed the function
// itself, not a wrapper around it: GCC does not inline a call that needs the
// entry's instructions when a wrapper compiled at the baseline holds it.
template <class Block, bool Lookups, class Kernel>
struct KernelAt {
    static constexpr bool looks_up = Lookups && Kernel::looks_up;
    static constexpr unsigned needs = looks_up ? Block::lookup_needs : Block::needs;

    template <class... Args>
    static constexpr auto function() noexcept {
        if constexpr (looks_up || !Kernel::looks_up) {
            return &Kernel::template blocks<Block>;
        } else if constexpr (requires(Args... args) { Kernel::template without_lookups<Block>(args...); }) {
            return &Kernel::template without_lookups<Block>;
        } else {
            return &Kernel::bytes;
        }
    }
};
template <bool Lookups, class Kernel>
struct KernelAt<void, Lookups, Kernel> {
    static constexpr unsigned needs = 0;

    template <class... Args>
    static constexpr auto function() noexcept {
        return &Kernel::bytes;
    }
};

// A level's entry point: a primitive that needs no more than the baseline is
// inlined into its caller; any other runs compiled for `Code`'s instruction
// set, inlined whole into `Code::run`, a function of its own.
template <class Block, bool Lookups, class Code, class Kernel, class... Args>
BRELIM_ALWAYS_INLINE auto run_at(Args... args) {
    using Step = KernelAt<Block, Lookups, Kernel>;
    constexpr auto step = Step::template function<Args...>();
    if constexpr (portable::covers(portable::baseline, Step::needs)) {
        return step(args...);
    } else {
        return Code::template run<step>(args...);
    }
}

// Whether a level's entry point compiles for everything its block type
// needs: else its primitives would run at the baseline, calling out of line
// for each operation of its block type, or not compile.
template <class Block, bool Lookups, class Code>
constexpr bool compiles_for() noexcept {
    if constexpr (std::is_void_v<Block>) {
        return true;
    } else {
        return portable::covers(portable::baseline | Code::features, Lookups ? Block::lookup_needs : Block::needs);
    }
}

#define BRELIM_LEVEL_CHECK(name, family, has, Block, lookups, Code, ...)              \
    BRELIM_ON_##family(static_assert(compiles_for<Block, lookups, Code>(),            \
                                     "the " #name " level's code lacks instructions " \
                                     "its block type needs");)
BRELIM_LEVELS(BRELIM_LEVEL_CHECK)
#undef BRELIM_LEVEL_CHECK

}  // namespace detail

// Runs a primitive at the active level: `Kernel::blocks<Block>(args...)`
// with the level's block type, or `Kernel::bytes(args...)`. The arguments
// are passed by value, so that nothing of the caller's is kept in memory.
template <class Kernel, class... Args>
BRELIM_ALWAYS_INLINE auto dispatch(Args... args) {
#define BRELIM_LEVEL_CASE(name, family, has, Block, lookups, Code, ...) \
    BRELIM_ON_##family(case Level::name : return detail::run_at<Block, lookups, Code, Kernel>(args...);)
    switch (active_level()) {
        BRELIM_LEVELS(BRELIM_LEVEL_CASE)
    default:
        return Kernel::bytes(args...);
    }
#undef BRELIM_LEVEL_CASE
}

}  // namespace brelim::simd
