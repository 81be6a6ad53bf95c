// brelim_levels: converts files with parse_file at every level of the byte
// layer that this build and processor offer, the byte-at-a-time one first.
// Prints one JSON line per file and level: the fastest of --repeat
// conversions, or of more for a file under 20 MB, as many as make 20 MB, so
// that a small file is given as many chances at a quiet moment of the machine
// as a large one. Every level must give the same fragment as the first;
// exits with 1 when one does not.
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

// Seconds of the fastest of `runs` conversions.
double best_time(std::string_view document, long runs) {
    double best = 0;
    for (long run = 0; run < runs; ++run) {
        const auto start = std::chrono::steady_clock::now();
        brelim::OutputBuffer html;  // afresh each time, as a call from Python has it
        brelim::parse_file(document, html);
        const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
        if (run == 0 || elapsed.count() < best) best = elapsed.count();
    }
    return best;
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
        std::string reference;
        for (const auto level : brelim::simd::levels()) {
            brelim::simd::force_level(level);
            const std::string html = brelim::parse_file(document);  // also warms up
            if (reference.empty()) {
                reference = html;
            } else if (html != reference) {
                std::fprintf(stderr, "brelim_levels: %s: the %s level gives another fragment\n", path,
                             std::string(brelim::simd::level_name(level)).c_str());
                status = 1;
            }
            const double seconds = best_time(document, runs);
            std::printf(
                "{\"file\": %s, \"level\": \"%s\", \"bytes\": %zu, \"runs\": %ld, \"seconds\": %.9g, "
                "\"mbps\": %.1f}\n",
                bench::json_string(path).c_str(), std::string(brelim::simd::level_name(level)).c_str(), document.size(),
                runs, seconds, static_cast<double>(document.size()) / seconds / 1e6);
            std::fflush(stdout);
        }
    }
    return status;
}
