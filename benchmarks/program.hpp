#pragma once

// What the benchmark programs share: `NAME [--repeat N] FILE...`, the files'
// bytes, and file names as JSON strings.

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

namespace bench {

struct Arguments {
    int repeat = 5;
    std::vector<const char*> paths;
};

// False, with the usage on stderr, when there is no file or no valid --repeat.
inline bool read_arguments(int argc, char** argv, const char* name, Arguments& arguments) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--repeat") == 0 && i + 1 < argc) {
            arguments.repeat = std::atoi(argv[++i]);
        } else {
            arguments.paths.push_back(argv[i]);
        }
    }
    if (arguments.repeat >= 1 && !arguments.paths.empty()) return true;
    std::fprintf(stderr, "usage: %s [--repeat N] FILE...\n", name);
    return false;
}

inline bool read_file(const char* path, std::string& text) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return false;
    text.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    return !file.bad();
}

// A JSON string of a file name: quotes and backslashes escaped, control
// characters left out.
inline std::string json_string(std::string_view text) {
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') quoted += '\\';
        if (static_cast<unsigned char>(c) >= 0x20) quoted += c;
    }
    return quoted + '"';
}

}  // namespace bench
