// brelim_levels: converts files with parse_file at every level of the byte
// layer that this build and processor offer, the byte-at-a-time one first.
// Prints one JSON line per file and level: the fastest of --repeat
// conversions, or of more for a file under 20 MB, as many as make 20 MB, so
// that a small file is given as many chances at a quiet moment of the machine
// as a large one. The levels take turns, one conversion each a round, so
// that all see the same moments of a shared machine. Every level must give
// the same fragment as the first; exits with 1 when one does not.
//
//     brelim_levels [--repeat N] FILE...

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "bytes/simd.hpp"
#include "convert/parse_file.hpp"
#include "program.hpp"

namespace {

constexpr double bytes_per_repeat = 20e6;

// Seconds of one conversion.
double seconds(std::string_view document) {
    const auto start = std::chrono::steady_clock::now();
    brelim::OutputBuffer html;  // afresh each time, as a call from Python has it
    brelim::parse_file(document, html);
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    return elapsed.count();
}

}  // namespace

int main(int argc, char** argv) {
    bench::Arguments arguments;
    if (!bench::read_arguments(argc, argv, "brelim_levels", arguments)) return 2;
    const int repeat = arguments.repeat;
    int status = 0;
    for (const char* path : arguments.paths) {
        std::string document;
        if (!bench::read_file(path, document)) {
            std::fprintf(stderr, "brelim_levels: cannot read %s\n", path);
            return 2;
        }
        const long runs =
            repeat * std::max(1L, static_cast<long>(bytes_per_repeat / static_cast<double>(document.size() + 1)));
        const auto levels = brelim::simd::levels();
        std::string reference;
        for (const auto level : levels) {
            brelim::simd::force_level(level);
            const std::string html = brelim::parse_file(document);  // also warms up
            if (reference.empty()) {
                reference = html;
            } else if (html != reference) {
                std::fprintf(stderr, "brelim_levels: %s: the %s level gives another fragment\n", path,
                             std::string(brelim::simd::level_name(level)).c_str());
                status = 1;
            }
        }
        std::vector<double> best(levels.size(), 0);
        for (long run = 0; run < runs; ++run) {
            for (std::size_t i = 0; i < levels.size(); ++i) {
                brelim::simd::force_level(levels[i]);
                const double time = seconds(document);
                if (run == 0 || time < best[i]) best[i] = time;
            }
        }
        for (std::size_t i = 0; i < levels.size(); ++i) {
            std::printf(
                "{\"file\": %s, \"level\": \"%s\", \"bytes\": %zu, \"runs\": %ld, \"seconds\": %.9g, "
                "\"mbps\": %.1f}\n",
                bench::json_string(path).c_str(), std::string(brelim::simd::level_name(levels[i])).c_str(),
                document.size(), runs, best[i], static_cast<double>(document.size()) / best[i] / 1e6);
        }
        std::fflush(stdout);
    }
    return status;
}
