// brelim_levels: converts files with parse_file at every level of the byte
// layer that this build and processor offer, the byte-at-a-time one first.
// Prints one JSON line per file and level: best of --repeat timed runs, each
// converting the file as often as it takes to pass 10 MB, so that a file
// held in cache is timed over more than a few microseconds. Every level
// must give the same fragment as the first; exits with 1 when one does not.
//
//     brelim_levels [--repeat N] FILE...

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "bytes/simd.hpp"
#include "convert/parse_file.hpp"

namespace {

constexpr double run_bytes = 10e6;

bool read_file(const char* path, std::string& text) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return false;
    text.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    return !file.bad();
}

// A JSON string of a file name: quotes and backslashes escaped, control
// characters left out.
std::string json_string(std::string_view text) {
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') quoted += '\\';
        if (static_cast<unsigned char>(c) >= 0x20) quoted += c;
    }
    return quoted + '"';
}

// Seconds of the fastest of `repeat` runs of `calls` conversions, per conversion.
double best_time(std::string_view document, int repeat, long calls) {
    double best = 0;
    for (int run = 0; run < repeat; ++run) {
        const auto start = std::chrono::steady_clock::now();
        for (long call = 0; call < calls; ++call) {
            brelim::OutputBuffer html;  // afresh each time, as a call from Python has it
            brelim::parse_file(document, html);
        }
        const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
        const double each = elapsed.count() / static_cast<double>(calls);
        if (run == 0 || each < best) best = each;
    }
    return best;
}

}  // namespace

int main(int argc, char** argv) {
    int repeat = 5;
    std::vector<const char*> paths;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--repeat") == 0 && i + 1 < argc) {
            repeat = std::atoi(argv[++i]);
        } else {
            paths.push_back(argv[i]);
        }
    }
    if (repeat < 1 || paths.empty()) {
        std::fprintf(stderr, "usage: brelim_levels [--repeat N] FILE...\n");
        return 2;
    }
    int status = 0;
    for (const char* path : paths) {
        std::string document;
        if (!read_file(path, document)) {
            std::fprintf(stderr, "brelim_levels: cannot read %s\n", path);
            return 2;
        }
        const long calls = std::max(1L, static_cast<long>(run_bytes / static_cast<double>(document.size() + 1)));
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
            const double seconds = best_time(document, repeat, calls);
            std::printf("{\"file\": %s, \"level\": \"%s\", \"bytes\": %zu, \"calls\": %ld, \"seconds\": %.9g, "
                        "\"mbps\": %.1f}\n",
                        json_string(path).c_str(), std::string(brelim::simd::level_name(level)).c_str(),
                        document.size(), calls, seconds, static_cast<double>(document.size()) / seconds / 1e6);
            std::fflush(stdout);
        }
    }
    return status;
}
