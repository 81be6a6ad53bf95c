// brelim_floor: the least that converting short plain headlines can cost, as
// a yardstick for the short-lines table. A sketch, not a converter: it takes
// documents of headlines of level 1 to 3 whose text is plain bytes, up to 63
// bytes a line, and refuses anything else. Line feeds, asterisks and plain
// bytes come from 64-byte masks shared by every line of the window; each line
// costs one test, a fixed-size move of its scaffolding and one of its text;
// the fragment is then copied once more, as the result str's copy is. Prints
// one JSON line per file: the fastest of --repeat conversions, or null for a
// file it does not take. Its fragment must be parse_file's, or it exits
// with 1.
//
//     brelim_floor [--repeat N] FILE...

#include <bit>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "bytes/byte_classes.hpp"
#include "bytes/nibble_tables.hpp"
#include "bytes/simd.hpp"
#include "bytes/window.hpp"
#include "convert/parse_file.hpp"
#include "program.hpp"

namespace {

#if BRELIM_X86
using Block = brelim::simd::SseBlock;
#define FLOOR_ENTRY BRELIM_TARGET_ENTRY("ssse3")
#elif BRELIM_ARM64
using Block = brelim::simd::NeonBlock;
#define FLOOR_ENTRY
#endif

struct Masks {
    std::uint64_t feeds, stars, outside;
};

// The scaffolding before a headline of each level (rows) at each depth
// (columns), padded to a fixed-size move.
struct Piece {
    char bytes[16];
    std::size_t size;
};
constexpr Piece piece(std::string_view text) {
    Piece p{};
    for (std::size_t i = 0; i < text.size(); ++i) p.bytes[i] = text[i];
    p.size = text.size();
    return p;
}
constexpr Piece scaffolding[3][4] = {
    {piece("<li>"), piece("</li>\n<li>"), piece("</li>\n</ul><li>"), piece("</li>\n</ul><li>")},
    {piece("<ul><li>"), piece("<ul><li>"), piece("</li><li>"), piece("</ul><li>")},
    {piece("<ul><li>"), piece("<ul><li>"), piece("<ul><li>"), piece("</li><li>")},
};

#if BRELIM_X86 || BRELIM_ARM64
template <class B>
Masks classify(const unsigned char* bytes) {
    const auto window = brelim::simd::Window<B>::load(bytes);
    auto equal = [&](unsigned char byte) {
        const B wanted = B::splat(byte);
        return window.mask([&](B block) { return block == wanted; });
    };
    constexpr const brelim::NibbleTables& plain = brelim::nibble_tables<brelim::plain_bytes>;
    return {equal('\n'), equal('*'), window.mask([&](B block) { return plain.outside(block); })};
}

// The fragment of `document` into `out` (room for six times the document
// and 256 bytes), its size, or 0 when a line is not one the sketch takes.
FLOOR_ENTRY std::size_t convert(std::string_view document, char* out) {
    const auto* text = reinterpret_cast<const unsigned char*>(document.data());
    const std::size_t size = document.size();
    char* to = out;
    std::memcpy(to, "<ul>", 4);
    to += 4;
    std::size_t window = 0, begin = 0;
    Masks masks{};
    bool loaded = false;
    int depth = 0;
    alignas(16) unsigned char padded[64];
    while (begin < size) {
        std::size_t offset = begin - window;
        std::uint64_t feeds = loaded && offset < 64 ? masks.feeds >> offset : 0;
        if (feeds == 0) {  // the line's end lies past the window: the next window starts with the line
            window = begin;
            offset = 0;
            const unsigned char* bytes = text + begin;
            if (size - begin < 64) {
                std::memset(padded, 0xFF, sizeof padded);
                std::memcpy(padded, bytes, size - begin);
                bytes = padded;
            }
            masks = classify<Block>(bytes);
            loaded = true;
            feeds = masks.feeds;
            if (feeds == 0) return 0;  // longer than the sketch takes, or no final line feed
        }
        const std::size_t length = static_cast<std::size_t>(std::countr_zero(feeds));
        const std::size_t stars = static_cast<std::size_t>(std::countr_one(masks.stars >> offset));
        const std::uint64_t line = (std::uint64_t{1} << length) - 1;  // the bits before the feed
        if (stars == 0 || stars > 3 || stars >= length || ((masks.outside >> offset) & line) >> stars != 0) return 0;
        const Piece& p = scaffolding[stars - 1][depth];
        std::memcpy(to, p.bytes, 16);
        to += p.size;
        const unsigned char* content = text + begin + stars;
        const std::size_t n = length - stars;
        if (size - begin >= 128) {
            if (n <= 32) {
                std::memcpy(to, content, 32);
            } else {
                std::memcpy(to, content, 64);
            }
        } else {
            std::memcpy(to, content, n);
        }
        to += n;
        depth = static_cast<int>(stars);
        begin += length + 1;
    }
    std::memcpy(to, "\n</li></ul>", 11);
    return static_cast<std::size_t>(to + 11 - out);
}
#endif

}  // namespace

int main(int argc, char** argv) {
    bench::Arguments arguments;
    if (!bench::read_arguments(argc, argv, "brelim_floor", arguments)) return 2;
    const int repeat = arguments.repeat;
#if BRELIM_X86 || BRELIM_ARM64
#if BRELIM_X86
    if (!brelim::portable::cpu_has_ssse3()) {
        std::fprintf(stderr, "brelim_floor: the processor has no SSSE3\n");
        return 2;
    }
#endif
    int status = 0;
    for (const char* path : arguments.paths) {
        std::string document;
        if (!bench::read_file(path, document)) {
            std::fprintf(stderr, "brelim_floor: cannot read %s\n", path);
            return 2;
        }
        const std::string expected = brelim::parse_file(document);
        double best = 0;
        std::string fragment;
        // The buffer the fragment is written to is warm, as glibc hands back
        // the block of the call before; the copy is made afresh each time.
        const std::unique_ptr<char[]> out(new char[6 * document.size() + 256]());
        for (int run = 0; run < repeat; ++run) {
            const auto start = std::chrono::steady_clock::now();
            const std::size_t n = convert(document, out.get());
            const std::unique_ptr<char[]> result(new char[n + 1]);
            std::memcpy(result.get(), out.get(), n);
            const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
            if (run == 0 || elapsed.count() < best) best = elapsed.count();
            if (run == 0) fragment.assign(result.get(), n);
        }
        if (fragment.empty()) {
            std::printf("{\"file\": %s, \"bytes\": %zu, \"seconds\": null}\n", bench::json_string(path).c_str(),
                        document.size());
            continue;
        }
        if (fragment != expected) {
            std::fprintf(stderr, "brelim_floor: %s: another fragment than parse_file's\n", path);
            status = 1;
            continue;
        }
        std::printf("{\"file\": %s, \"bytes\": %zu, \"seconds\": %.9g}\n", bench::json_string(path).c_str(),
                    document.size(), best);
        std::fflush(stdout);
    }
    return status;
#else
    std::fprintf(stderr, "brelim_floor: no block type on this processor\n");
    return 2;
#endif
}
