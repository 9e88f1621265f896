// Comma-separated values: reading (quoted cells, doubled quotes, line breaks inside quotes,
// any of \r\n, \n, \r between rows) and writing cells that need quoting.
#pragma once
#include <string>
#include <string_view>
#include <vector>

namespace dbvtool {

struct TCsvRow {
    int Line = 0;  // the line the row starts on
    std::vector<std::string> Cells;
};

// Splits the whole text into rows; raises std::runtime_error for an unterminated quote.
std::vector<TCsvRow> ParseCsv(std::string_view text);
// The cell as it appears in a file: quoted when it holds a comma, quote or line break, or
// starts or ends with a blank.
std::string CsvCell(std::string_view value);

}  // namespace dbvtool
