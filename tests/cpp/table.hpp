#pragma once

#include <cctype>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace brelim::testing {

// A row of a table under tests/tables/, shared with the Python tests: the
// input, the expected output, and "name:line" for messages.
struct TableRow {
    std::string where;
    std::string input;
    std::string expected;
};

// The escapes of the table files: \n \r \t \0 \\ and \xHH (one byte).
inline std::string unescape(const std::string& field, const std::string& where) {
    std::string out;
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] != '\\') {
            out += field[i];
            continue;
        }
        const char code = i + 1 < field.size() ? field[++i] : '\0';
        switch (code) {
            case 'n': out += '\n'; break;
            case 'r': out += '\r'; break;
            case 't': out += '\t'; break;
            case '0': out += '\0'; break;
            case '\\': out += '\\'; break;
            case 'x':
                if (i + 2 < field.size() && std::isxdigit(static_cast<unsigned char>(field[i + 1])) &&
                    std::isxdigit(static_cast<unsigned char>(field[i + 2]))) {
                    out += static_cast<char>(std::stoi(field.substr(i + 1, 2), nullptr, 16));
                    i += 2;
                    break;
                }
                [[fallthrough]];
            default: throw std::runtime_error(where + ": a backslash that starts no escape");
        }
    }
    return out;
}

// The rows of tests/tables/<name>: lines of two tab-separated fields; lines
// that are empty or begin with '#' are comments.
inline std::vector<TableRow> read_table(const std::string& name) {
    std::ifstream file(std::string(BRELIM_TABLES) + "/" + name, std::ios::binary);
    if (!file) throw std::runtime_error("cannot read " + std::string(BRELIM_TABLES) + "/" + name);
    std::vector<TableRow> rows;
    std::string line;
    for (int number = 1; std::getline(file, line); ++number) {
        if (line.empty() || line[0] == '#') continue;
        const std::string where = name + ':' + std::to_string(number);
        const std::size_t tab = line.find('\t');
        if (tab == std::string::npos || line.find('\t', tab + 1) != std::string::npos) {
            throw std::runtime_error(where + ": not two tab-separated fields");
        }
        rows.push_back({where, unescape(line.substr(0, tab), where), unescape(line.substr(tab + 1), where)});
    }
    if (rows.empty()) throw std::runtime_error(name + " has no rows");
    return rows;
}

}  // namespace brelim::testing
