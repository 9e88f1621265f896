#include "csv.h"

#include <stdexcept>

namespace dbvtool {

std::vector<TCsvRow> ParseCsv(std::string_view text) {
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    std::vector<TCsvRow> rows;
    size_t i = 0, n = text.size();
    int line = 1;
    while (i < n) {
        TCsvRow row;
        row.Line = line;
        std::string cell;
        bool endRow = false;
        while (!endRow) {
            cell.clear();
            if (i < n && text[i] == '"') {
                int startLine = line;
                ++i;
                for (;;) {
                    if (i >= n) throw std::runtime_error("line " + std::to_string(startLine) + ": unterminated quoted value");
                    char c = text[i++];
                    if (c == '"') {
                        if (i < n && text[i] == '"') {
                            cell += '"';
                            ++i;
                            continue;
                        }
                        break;
                    }
                    if (c == '\n' || (c == '\r' && !(i < n && text[i] == '\n'))) ++line;
                    cell += c;
                }
                // anything between the closing quote and the separator is kept as text
                while (i < n && text[i] != ',' && text[i] != '\n' && text[i] != '\r') cell += text[i++];
            } else {
                while (i < n && text[i] != ',' && text[i] != '\n' && text[i] != '\r') cell += text[i++];
            }
            row.Cells.push_back(cell);
            if (i >= n) {
                endRow = true;
            } else if (text[i] == ',') {
                ++i;
            } else {
                if (text[i] == '\r' && i + 1 < n && text[i + 1] == '\n') ++i;
                ++i;
                ++line;
                endRow = true;
            }
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

std::string CsvCell(std::string_view v) {
    bool quote = v.find_first_of(",\"\r\n") != std::string_view::npos ||
                 (!v.empty() && (v.front() == ' ' || v.back() == ' '));
    if (!quote) return std::string(v);
    std::string out = "\"";
    for (char c : v) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
    return out;
}

}  // namespace dbvtool
