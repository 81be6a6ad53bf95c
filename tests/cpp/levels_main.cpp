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
// best level, and a level it lacks is refused.
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

// A window's mask has bit i for byte i, whatever the block type and however
// it gathers the bits: each byte value alone at each of the 64 places.
template <class Block>
void expect_window_bits() {
    static_assert(Block::size <= brelim::simd::block_size);
    unsigned char bytes[64] = {};
    for (const unsigned value : {0x0Au, 0x2Au, 0x80u, 0xFFu}) {
        for (std::size_t at = 0; at < 64; ++at) {
            bytes[at] = static_cast<unsigned char>(value);
            const auto window = brelim::simd::Window<Block>::load(bytes);
            const std::uint64_t mask =
                window.mask([&](Block block) { return block == Block::splat(static_cast<unsigned char>(value)); });
            EXPECT_EQ(mask, std::uint64_t{1} << at) << value << " at " << at;
            bytes[at] = 0;
        }
    }
}

TEST(Levels, WindowsGatherOneBitPerByteInOrder) {
#if BRELIM_X86
    expect_window_bits<brelim::simd::SseBlock>();
#endif
#if BRELIM_ARM64
    expect_window_bits<brelim::simd::NeonBlock>();
#endif
}

}  // namespace

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    if (GTEST_FLAG_GET(repeat) == 1) GTEST_FLAG_SET(repeat, static_cast<int>(brelim::simd::levels().size()));
    testing::UnitTest::GetInstance()->listeners().Append(new EveryLevel);
    return RUN_ALL_TESTS();
}
