// Runs every test once at each level that this build and processor offer,
// the byte-at-a-time one first, so that each vector path and the byte paths
// give the same answers at every length.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "bytes/simd.hpp"

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

}  // namespace

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    if (GTEST_FLAG_GET(repeat) == 1) GTEST_FLAG_SET(repeat, static_cast<int>(brelim::simd::levels().size()));
    testing::UnitTest::GetInstance()->listeners().Append(new EveryLevel);
    return RUN_ALL_TESTS();
}
