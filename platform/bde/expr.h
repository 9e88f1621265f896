// The table engine's expression language: xBase expressions over the fields of one table, as
// used by filters and index keys.
//
// An expression is compiled once against a table's field descriptors into a tree with resolved
// field offsets and static types; evaluation then runs against a raw record buffer (deletion
// byte first) without parsing and, after the first record, without allocating (each node keeps
// its own value slot; character results live in buffers reserved at compile time).
//
// Character values are the table's stored bytes (its code page), so key bytes compare as the
// file stores them; literals in the expression text (UTF-8) are converted to that code page when
// compiled. Case rules fold ASCII only.
//
// Compile errors raise EExprError with the 1-based column of the offending token and a message
// of the form "Syntax error at column 7: expected ')'". Evaluation never raises for values (it
// may raise engine errors for a damaged memo).
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "bde/codepage.h"
#include "bde/errors.h"
#include "bde/fields.h"

namespace bde {

class TDbfTable;
class TDbfCursor;

// Raised for expressions that do not compile (DBIERR_INVALIDEXPR).
class EExprError : public vcl::EDBEngineError {
public:
    EExprError(int position, std::string message)
        : vcl::EDBEngineError(DBIERR_INVALIDEXPR, std::move(message)), position_(position) {}
    // 1-based column in the expression text (bytes).
    int GetPosition() const noexcept { return position_; }

private:
    int position_;
};

enum class TExprType { Character, Numeric, Date, Logical };

// The static type of an expression. Length: Character - the maximum length in bytes (0 when it
// varies without a known bound, as for memo text); Numeric - the display width when known (0
// otherwise). Decimals: Numeric only, when known.
struct TExprTypeInfo {
    TExprType Type = TExprType::Logical;
    int Length = 0;
    int Decimals = 0;
};

// A typed value. Text holds a Character value as stored bytes (the table's code page); Julian is
// the julian day number of a Date (0 for a blank date).
struct TExprValue {
    TExprType Type = TExprType::Logical;
    std::string Text;
    double Number = 0;
    int32_t Julian = 0;
    bool Logical = false;
};

struct TExprOptions {
    // `=` compares whole values (trailing blanks ignored) instead of up to the right operand's
    // length.
    bool Exact = false;
    // String comparisons (=, ==, <>, <, ..., $) fold ASCII case.
    bool CaseInsensitive = false;
    // A quoted literal ending in '*' compared with =, == or <> matches as a prefix; off, the '*'
    // is an ordinary character.
    bool PartialCompare = true;
    // `[text]` is always a field name (an unknown one is an error); off, it is a field name when
    // the text names a field and a string literal otherwise.
    bool BracketsAreNames = false;
    // The alias `ALIAS->FIELD` must name, ignoring case. Empty: the table file's base name when
    // compiled against a table; any alias when compiled against a bare field list.
    std::string Alias;
    // Date format of DTOC and CTOD (d, m and y runs, other characters literal, '/' the rtl's
    // date separator); empty takes the rtl's ShortDateFormat at compile time.
    std::string DateFormat;
};

// How far an index with a given key expression can serve a filter.
enum class TIndexUse { None, Partial, Full };

// A range of key values: Low/High when present, with inclusiveness. Prefix: the keys that start
// with Low's bytes (Character keys; High is then unset).
struct TKeyRange {
    bool HasLow = false, HasHigh = false;
    bool LowInclusive = true, HighInclusive = true;
    bool Prefix = false;
    TExprValue Low, High;
};

struct TIndexPlan {
    TIndexUse Use = TIndexUse::None;
    TKeyRange Range;  // meaningful when Use is not None
};

class TExpr {
public:
    // Compiles against a table: its fields, code page, memo file and name (for aliases).
    static std::unique_ptr<TExpr> Compile(std::string_view text, TDbfTable& table, const TExprOptions& options = {});
    // Compiles against a bare field list (memo fields then read as empty text). converter may be
    // null (literals are then taken as bytes).
    static std::unique_ptr<TExpr> Compile(std::string_view text, const std::vector<TDbfFieldDesc>& fields,
                                          const TCodePageConverter* converter, const TExprOptions& options = {});
    ~TExpr();
    TExpr(const TExpr&) = delete;
    TExpr& operator=(const TExpr&) = delete;

    const std::string& GetText() const;
    const TExprTypeInfo& GetResultType() const;

    // Evaluates against a raw record (RecordLength bytes, deletion byte first). The reference
    // stays valid until the next evaluation.
    const TExprValue& Evaluate(const uint8_t* record, uint32_t recNo);
    // A Logical expression's value (false for other types).
    bool Matches(const uint8_t* record, uint32_t recNo);
    // The key bytes of an index entry: Character padded with blanks (or cut) to the result
    // length when known; Numeric the 8 bytes of the double; Date the julian day number as a
    // double; Logical 'T' or 'F'.
    void KeyBytes(const uint8_t* record, uint32_t recNo, std::string& out);

    // Whether an index on `key` can serve this expression as a filter, and the key range.
    TIndexPlan PlanWithIndex(const TExpr& key) const;

    // Character value bytes to UTF-8 through the table's code page.
    std::string ToUtf8(std::string_view stored) const;

    struct TImpl;

private:
    explicit TExpr(std::unique_ptr<TImpl> impl);
    std::unique_ptr<TImpl> impl_;
};

// Installs a compiled Logical expression as the cursor's record filter (nullptr removes it).
// Raises EExprError (position 1) for an expression that is not Logical.
void SetCursorFilter(TDbfCursor& cursor, std::shared_ptr<TExpr> filter);

// Julian day numbers of calendar dates; 0 for dates outside 0001-01-01 .. 9999-12-31.
int32_t JulianOfDate(int year, int month, int day);
TDbfDate DateOfJulian(int32_t julian);  // {0,0,0} for 0 or out of range

}  // namespace bde
