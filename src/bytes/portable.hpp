#pragma once

// What compilers spell each in their own way: the processor family, hints to
// the optimiser, the instruction sets the build's flags allow, code for an
// instruction set beyond that baseline, and asking the processor what it has.
// Nothing else in the project names a compiler builtin or attribute.

#if defined(__x86_64__) || defined(_M_X64)
#define BRELIM_X86 1
#else
#define BRELIM_X86 0
#endif
#if defined(__aarch64__) || defined(_M_ARM64)
#define BRELIM_ARM64 1
#else
#define BRELIM_ARM64 0
#endif

// The code in parentheses where the build's processor family is the one
// named, else nothing: BRELIM_ON_ANY, BRELIM_ON_X86, BRELIM_ON_ARM64.
#define BRELIM_ON_ANY(...) __VA_ARGS__
#if BRELIM_X86
#define BRELIM_ON_X86(...) __VA_ARGS__
#else
#define BRELIM_ON_X86(...)
#endif
#if BRELIM_ARM64
#define BRELIM_ON_ARM64(...) __VA_ARGS__
#else
#define BRELIM_ON_ARM64(...)
#endif

#if defined(__GNUC__) || defined(__clang__)
#define BRELIM_NOINLINE __attribute__((noinline))
#define BRELIM_ALWAYS_INLINE __attribute__((always_inline)) inline
#define BRELIM_COLD __attribute__((cold))
// A function that uses the instructions of `isa`, beyond the build's
// baseline; it must only run where the processor has them.
#define BRELIM_TARGET(isa) __attribute__((target(isa)))
// The same, and everything it calls is inlined into it: code written once for
// any block type is compiled there for `isa`, whatever its own target.
#define BRELIM_TARGET_ENTRY(isa) __attribute__((target(isa), flatten))
#elif defined(_MSC_VER)
#define BRELIM_NOINLINE __declspec(noinline)
#define BRELIM_ALWAYS_INLINE __forceinline
#define BRELIM_COLD
// MSVC compiles any intrinsic in any function.
#define BRELIM_TARGET(isa)
#define BRELIM_TARGET_ENTRY(isa)
#else
#define BRELIM_NOINLINE
#define BRELIM_ALWAYS_INLINE inline
#define BRELIM_COLD
#define BRELIM_TARGET(isa)
#define BRELIM_TARGET_ENTRY(isa)
#endif

#if BRELIM_X86 && (defined(__GNUC__) || defined(__clang__))
#include <cpuid.h>
#elif BRELIM_X86 && defined(_MSC_VER)
#include <intrin.h>
#endif

namespace brelim::portable {

// Instruction sets, one bit each, so that what a block type needs and what a
// function is compiled for compare as sets.
namespace feature {
inline constexpr unsigned sse2 = 1u << 0;
inline constexpr unsigned ssse3 = 1u << 1;
inline constexpr unsigned neon = 1u << 2;
}  // namespace feature

// What every function of this build may use: the compiler's own flags.
inline constexpr unsigned baseline = 0
#if defined(__SSE2__) || defined(_M_X64)
                                     | feature::sse2
#endif
#if defined(__SSSE3__) || defined(__AVX__)
                                     | feature::ssse3
#endif
#if defined(__ARM_NEON) || defined(_M_ARM64)
                                     | feature::neon
#endif
    ;

// Whether code compiled for `has` may use every instruction of `needs`.
constexpr bool covers(unsigned has, unsigned needs) noexcept { return (needs & ~has) == 0; }

#if BRELIM_X86
// The processor's answer to CPUID `leaf` (and `subleaf`): EAX, EBX, ECX and
// EDX, all zero for a leaf beyond its highest. Asked directly, so that no
// runtime library has to answer it.
struct CpuidAnswer {
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
};
inline CpuidAnswer cpuid(unsigned leaf, unsigned subleaf = 0) noexcept {
    CpuidAnswer answer;
#if defined(__GNUC__) || defined(__clang__)
    if (__get_cpuid_count(leaf, subleaf, &answer.eax, &answer.ebx, &answer.ecx, &answer.edx) == 0) return {};
#elif defined(_MSC_VER)
    int registers[4] = {};
    __cpuid(registers, 0);
    if (static_cast<unsigned>(registers[0]) < leaf) return {};
    __cpuidex(registers, static_cast<int>(leaf), static_cast<int>(subleaf));
    answer = {static_cast<unsigned>(registers[0]), static_cast<unsigned>(registers[1]),
              static_cast<unsigned>(registers[2]), static_cast<unsigned>(registers[3])};
#endif
    return answer;
}

// Whether the processor runs SSSE3 (byte shuffles): bit 9 of ECX, leaf 1.
inline bool cpu_has_ssse3() noexcept { return (cpuid(1).ecx & (1u << 9)) != 0; }
#endif

}  // namespace brelim::portable
