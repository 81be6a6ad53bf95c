#pragma once

#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace brelim::testing {

// A row of a table under tests/tables/, which the Python tests read too.
struct TableRow {
    std::string where;  // "name:line", for messages
    std::string input, expected;
};

// Undoes the escapes of the tables: \n \r \t \0 \\ and \xHH (a byte).
inline std::string unescape(const std::string& field, const std::string& where) {
    std::string out;
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] != '\\') {
            out += field[i];
            continue;
        }
        const std::string code = field.substr(i + 1, field[i + 1] == 'x' ? 3 : 1);
        const std::size_t simple = std::string("nrt0\\").find(code);
        if (code.size() == 1 && simple != std::string::npos) {
            out += "\n\r\t\0\\"[simple];
        } else if (code.size() == 3 && code.find_first_not_of("0123456789abcdefABCDEF", 1) == std::string::npos) {
            out += static_cast<char>(std::stoi(code.substr(1), nullptr, 16));
        } else {
            throw std::runtime_error(where + ": a backslash that starts no escape");
        }
        i += code.size();
    }
    return out;
}

// The rows of tests/tables/<name>: two tab-separated fields a line; lines that
// are empty or begin with '#' are comments.
inline std::vector<TableRow> read_table(const std::string& name) {
    std::ifstream file(std::string(BRELIM_TABLES) + "/" + name, std::ios::binary);
    std::vector<TableRow> rows;
    std::string line;
    for (int number = 1; std::getline(file, line); ++number) {
        if (line.empty() || line[0] == '#') continue;
        const std::string where = name + ':' + std::to_string(number);
        const std::size_t tab = line.find('\t');
        if (tab == std::string::npos || tab != line.rfind('\t')) throw std::runtime_error(where + ": not two fields");
        rows.push_back({where, unescape(line.substr(0, tab), where), unescape(line.substr(tab + 1), where)});
    }
    if (rows.empty()) throw std::runtime_error("no rows in " + std::string(BRELIM_TABLES) + "/" + name);
    return rows;
}

}  // namespace brelim::testing
