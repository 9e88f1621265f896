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

// Reads rows one at a time from a text held in memory.
class TCsvReader {
public:
    explicit TCsvReader(std::string_view text);
    // The next row; false at the end. Raises std::runtime_error for an unterminated quote.
    bool Next(TCsvRow& row);

private:
    std::string_view text_;
    size_t pos_ = 0;
    int line_ = 1;
};
// The cell as it appears in a file: quoted when it holds a comma, quote or line break, or
// starts or ends with a blank.
std::string CsvCell(std::string_view value);

}  // namespace dbvtool
