// Converts arbitrary bytes through the one-pass conversion at every level
// this processor offers (each block type, and a byte at a time) and through
// the matching engine (each line's tree, its first headline pair, the walk
// over it), and requires the same fragment, byte for byte.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "bytes/simd.hpp"
#include "convert/parse_file.hpp"
#include "fragment_invariants.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view document(reinterpret_cast<const char*>(data), size);
    const std::string reference = brelim::parse_file_with_engine(document);
    for (const brelim::simd::Level level : brelim::simd::levels()) {
        brelim::simd::force_level(level);
        const std::string fast = brelim::parse_file(document);
        if (fast != reference) {
            std::size_t at = 0;
            while (at < fast.size() && at < reference.size() && fast[at] == reference[at]) ++at;
            brelim::fuzz::require(false, "the two conversions differ; the engine's fragment from there on:",
                                  std::string_view(reference).substr(at >= 40 ? at - 40 : 0));
        }
    }
    return 0;
}
