// Internal representation of compiled expressions, shared by the compiler (expr.cpp) and the
// evaluator (expr_eval.cpp).
#pragma once
#include <array>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "bde/expr.h"

namespace bde::exprimpl {

enum class Op : uint8_t {
    Const,
    FieldC, FieldN, FieldD, FieldL, FieldM,
    Neg, Not, And, Or,
    Add, Sub, Mul, Div, Mod, Pow,
    Concat, ConcatTrim,
    DatePlusNum, NumPlusDate, DateMinusNum, DateMinusDate,
    Cmp, Contains,
    Func,
};

enum class Fn : uint8_t {
    Abs, AllTrim, Asc, At, Chr, CtoD, Date, Day, Deleted, Descend, DtoC, DtoS, Empty, Iif, Int, Left,
    Len, Lower, LTrim, Max, Min, Month, PadC, PadL, PadR, RAt, RecNo, Replicate, Right, Round, RTrim,
    Soundex, Space, Str, StrZero, SubStr, Time, Transform, Trim, Upper, Val, Year,
};

enum class CmpOp : uint8_t { Eq, ExactEq, Ne, Lt, Le, Gt, Ge };

// Longest text an operator or function builds (concatenation, SPACE, REPLICATE, PAD*, STR,
// TRANSFORM); memo values themselves are not cut.
constexpr int kMaxGenerated = 65535;

struct Node {
    Op op = Op::Const;
    Fn fn = Fn::Abs;
    TExprType type = TExprType::Logical;
    int len = 0, dec = 0;  // as in TExprTypeInfo
    int pos = 1;           // 1-based column of the token that made the node
    int height = 1;        // levels of the tree below and including this node
    int nargs = 0;
    std::array<Node*, 3> args{};
    // Fields.
    int field = -1;
    uint32_t off = 0;
    uint16_t flen = 0;
    bool binaryMemo = false;
    // Comparisons of Character values.
    CmpOp cmp = CmpOp::Eq;
    bool prefix = false;      // compare up to the right operand's length
    bool caseFold = false;
    // A quoted literal as written (not folded from an expression).
    bool literal = false;
    bool isConst = false;
    std::string canon;  // canonical text, for matching index keys
    // Value slot. Character values are s (a view into the record, a literal or buf).
    double num = 0;
    int32_t jul = 0;
    bool log = false;
    std::string_view s;
    std::string buf;
};

// Date format of DTOC/CTOD, split into parts: 'd', 'm', 'y' (2 digits), 'Y' (4 digits) or a
// literal character.
struct DatePart {
    char kind;
    char literal;
};

struct Context {
    const uint8_t* rec = nullptr;
    uint32_t recNo = 0;
    TDbfTable* table = nullptr;
};

struct Program {
    std::vector<std::unique_ptr<Node>> nodes;
    Node* root = nullptr;
    std::vector<DatePart> dateFormat;
    int dateTextLength = 0;
    int centuryBase = 1950;  // two-digit years read as centuryBase .. centuryBase + 99
    const TCodePageConverter* converter = nullptr;
    TDbfTable* table = nullptr;
};

// Evaluates n (and what it needs) into n's value slot.
void Eval(Node& n, const Context& cx, const Program& prog);

// Three-way comparison of Character values: prefix compares up to b's length (when b is not the
// longer one); shorter values are padded with blanks; fold compares ASCII without case.
int CompareText(std::string_view a, std::string_view b, bool prefix, bool fold);

}  // namespace bde::exprimpl

namespace bde {

struct TExpr::TImpl {
    std::string text;
    exprimpl::Program prog;
    TExprTypeInfo type;
    TExprValue result;
    std::unique_ptr<TCodePageConverter> ownConverter;
};

}  // namespace bde
