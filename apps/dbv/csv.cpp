#include "csv.h"

#include <stdexcept>

namespace dbvtool {

TCsvReader::TCsvReader(std::string_view text) : text_(text) {
    if (text_.substr(0, 3) == "\xEF\xBB\xBF") text_.remove_prefix(3);
}

bool TCsvReader::Next(TCsvRow& row) {
    const std::string_view text = text_;
    size_t& i = pos_;
    const size_t n = text.size();
    int& line = line_;
    if (i >= n) return false;
    row.Line = line;
    row.Cells.clear();
    std::string cell;
    for (;;) {
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
        if (i >= n) return true;
        if (text[i] == ',') {
            ++i;
            continue;
        }
        if (text[i] == '\r' && i + 1 < n && text[i + 1] == '\n') ++i;
        ++i;
        ++line;
        return true;
    }
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
