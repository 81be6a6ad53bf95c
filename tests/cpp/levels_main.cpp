// Runs every test once at each level that this build and processor offer,
// the byte-at-a-time one first, so that each vector path and the byte paths
// give the same answers at every length.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <iterator>
#include <string>

#include "bytes/simd.hpp"
#include "bytes/window.hpp"

namespace {

using brelim::simd::Level;

class EveryLevel : public testing::EmptyTestEventListener {
    void OnTestIterationStart(const testing::UnitTest&, int iteration) override {
        const auto levels = brelim::simd::levels();
        const Level level = levels[static_cast<std::size_t>(iteration) % levels.size()];
        brelim::simd::force_level(level);
        std::printf("Level: %s\n", std::string(brelim::simd::level_name(level)).c_str());
    }
};

// The vector paths are really taken: the processor's own block type is the
// best level, a level it lacks is refused, and the process picks one it has.
TEST(Levels, TheBestIsTheProcessorsOwn) {
    const auto levels = brelim::simd::levels();
    EXPECT_EQ(levels.front(), Level::scalar);
#if BRELIM_ARM64
    EXPECT_EQ(levels.back(), Level::neon);
#elif BRELIM_X86
    EXPECT_NE(std::find(levels.begin(), levels.end(), Level::sse2), levels.end());
    EXPECT_FALSE(brelim::simd::force_level(Level::neon));
#endif
    EXPECT_NE(std::find(levels.begin(), levels.end(), brelim::simd::active_level()), levels.end());
    EXPECT_NE(std::find(levels.begin(), levels.end(), brelim::simd::picked_level()), levels.end());
}

// Every level has its own name, in the order of their numbers; a number
// beyond the list has none.
TEST(Levels, AreNamedInTheirOrder) {
    const std::string_view names[] = {"scalar", "sse2", "ssse3", "neon"};
    for (std::size_t i = 0; i < std::size(names); ++i) {
        EXPECT_EQ(brelim::simd::level_name(static_cast<Level>(i)), names[i]);
    }
    EXPECT_EQ(brelim::simd::level_name(static_cast<Level>(std::size(names))), "?");
}

// A level's code must compile for what its block type needs: a block that
// needs more than the baseline is refused at the baseline and taken by code
// compiled for it, and the SSE block's lookups need SSSE3.
struct WideBlock {
    static constexpr unsigned needs = 1u << 31;
    static constexpr unsigned lookup_needs = needs;
};
struct WideCode {
    static constexpr unsigned features = WideBlock::needs;
};
using brelim::portable::baseline;
using brelim::simd::detail::compiles_for;
static_assert(!compiles_for<WideBlock, false, brelim::simd::Baseline>());
static_assert(compiles_for<WideBlock, true, WideCode>());
static_assert(compiles_for<void, true, brelim::simd::Baseline>());
#if BRELIM_X86
static_assert(compiles_for<brelim::simd::SseBlock, false, brelim::simd::Baseline>());
static_assert(compiles_for<brelim::simd::SseBlock, true, brelim::simd::Baseline>() ==
              brelim::portable::covers(baseline, brelim::portable::feature::ssse3));
static_assert(compiles_for<brelim::simd::SseBlock, true, brelim::simd::Ssse3>());
#endif

// A window's mask has bit i for byte i, whatever the level's block type and
// however it gathers the bits: each byte value alone at each of the 64
// places, run at the active level as a primitive is.
struct WindowBits {
    static constexpr bool looks_up = false;

    template <class Block>
    static std::uint64_t blocks(const unsigned char* bytes, unsigned char value) noexcept {
        static_assert(Block::size <= brelim::simd::block_size);
        return brelim::simd::Window<Block>::load(bytes).mask(
            [value](Block block) { return block == Block::splat(value); });
    }
    static std::uint64_t bytes(const unsigned char* bytes, unsigned char value) noexcept {
        std::uint64_t mask = 0;
        for (std::size_t i = 0; i < 64; ++i) mask |= std::uint64_t{bytes[i] == value} << i;
        return mask;
    }
};

TEST(Levels, WindowsGatherOneBitPerByteInOrder) {
    unsigned char bytes[64] = {};
    for (const unsigned char value : {0x0A, 0x2A, 0x80, 0xFF}) {
        for (std::size_t at = 0; at < 64; ++at) {
            bytes[at] = value;
            const std::uint64_t mask =
                brelim::simd::dispatch<WindowBits>(static_cast<const unsigned char*>(bytes), value);
            EXPECT_EQ(mask, std::uint64_t{1} << at) << unsigned{value} << " at " << at;
            bytes[at] = 0;
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    if (GTEST_FLAG_GET(repeat) == 1) GTEST_FLAG_SET(repeat, static_cast<int>(brelim::simd::levels().size()));
    testing::UnitTest::GetInstance()->listeners().Append(new EveryLevel);
    return RUN_ALL_TESTS();
}
