#pragma once

// Which block type looks at bytes: the level. Each primitive of this folder
// is written once over a block of sixteen bytes (block_sse.hpp,
// block_neon.hpp) and once a byte at a time, and `dispatch` runs the one
// that the active level names. The best level the processor has is chosen
// once per process; tests and benchmarks may force another.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "block_neon.hpp"
#include "block_sse.hpp"
#include "portable.hpp"

namespace brelim::simd {

// Every block type holds this many bytes: the callers' length checks and the
// kernels' steps must agree.
inline constexpr std::size_t block_size = 16;
#if BRELIM_X86
static_assert(SseBlock::size == block_size);
#endif
#if BRELIM_ARM64
static_assert(NeonBlock::size == block_size);
#endif

enum class Level : std::uint8_t {
    scalar,  // a byte at a time, on any processor
    sse2,    // x86-64 without SSSE3: sets are classified a byte at a time
    ssse3,   // x86-64
    neon,    // aarch64
};

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
#if BRELIM_X86
template <class Kernel, class... Args>
BRELIM_TARGET_ENTRY("ssse3") auto with_ssse3(Args... args) {
    return Kernel::template blocks<SseBlock>(args...);
}
#endif
}  // namespace detail

// Runs a primitive at the active level: `Kernel::blocks<Block>(args...)`
// with the level's block type, or `Kernel::bytes(args...)`. The arguments
// are passed by value, so that nothing of the caller's is kept in memory.
// A kernel that looks nothing up (`Kernel::looks_up` false) needs no more
// than SSE2, which every x86-64 processor has, and is inlined at both x86
// levels; one that does runs a byte at a time without SSSE3.
template <class Kernel, class... Args>
auto dispatch(Args... args) {
    switch (active_level()) {
#if BRELIM_X86
    case Level::ssse3:
        if constexpr (Kernel::looks_up) return detail::with_ssse3<Kernel>(args...);
        return Kernel::template blocks<SseBlock>(args...);
    case Level::sse2:
        if constexpr (Kernel::looks_up) return Kernel::bytes(args...);
        return Kernel::template blocks<SseBlock>(args...);
#endif
#if BRELIM_ARM64
    case Level::neon:
        return Kernel::template blocks<NeonBlock>(args...);
#endif
    default:
        return Kernel::bytes(args...);
    }
}

}  // namespace brelim::simd
