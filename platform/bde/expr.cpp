// Compiling expressions: tokens, a precedence parser that type-checks as it builds the tree,
// folding of constant parts, and matching a filter against an index key.
#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <cstring>

#include "bde/cursor.h"
#include "bde/dbftable.h"
#include "bde/expr_impl.h"
#include "rtl/datetime.h"

namespace bde {

using namespace exprimpl;

namespace {

constexpr size_t kMaxExprLength = 65535;

const char* TypeName(TExprType t) {
    switch (t) {
        case TExprType::Character: return "Character";
        case TExprType::Numeric: return "Numeric";
        case TExprType::Date: return "Date";
        case TExprType::Logical: return "Logical";
    }
    return "?";
}

[[noreturn]] void Fail(int pos, const std::string& kind, const std::string& detail) {
    throw EExprError(pos, kind + " at column " + std::to_string(pos) + ": " + detail);
}

std::string Upper(std::string_view s) {
    std::string r(s);
    for (char& c : r)
        if (c >= 'a' && c <= 'z') c = char(c - 32);
    return r;
}

enum class Tok {
    End, Ident, Number, String, Bracket, DateLit, True, False, And, Or, Not,
    Plus, Minus, Star, Slash, Percent, Power, Eq, ExactEq, Ne, Lt, Le, Gt, Ge, Dollar,
    LParen, RParen, Comma, Arrow,
};

struct Token {
    Tok kind = Tok::End;
    int pos = 1;
    std::string text;  // identifiers, string contents, number text, date literal contents
    bool quoted = false;
    int len = 0;  // bytes in the text
};

class TLexer {
public:
    explicit TLexer(std::string_view s) : s_(s) {}

    // Bytes consumed so far (the end of the last token).
    size_t Offset() const { return i_; }

    Token Next() {
        while (i_ < s_.size() && (s_[i_] == ' ' || s_[i_] == '\t' || s_[i_] == '\r' || s_[i_] == '\n')) ++i_;
        Token t;
        t.pos = int(i_) + 1;
        if (i_ >= s_.size()) return t;
        char c = s_[i_];
        auto two = [&](char x) { return i_ + 1 < s_.size() && s_[i_ + 1] == x; };
        auto one = [&](Tok k, size_t n = 1) {
            t.kind = k;
            i_ += n;
            return t;
        };
        if (IsIdentStart(c)) {
            size_t b = i_;
            while (i_ < s_.size() && IsIdentChar(s_[i_])) ++i_;
            t.text = std::string(s_.substr(b, i_ - b));
            std::string u = Upper(t.text);
            t.kind = u == "AND" ? Tok::And : u == "OR" ? Tok::Or : u == "NOT" ? Tok::Not : Tok::Ident;
            return t;
        }
        if ((c >= '0' && c <= '9') || (c == '.' && i_ + 1 < s_.size() && s_[i_ + 1] >= '0' && s_[i_ + 1] <= '9')) {
            size_t b = i_;
            while (i_ < s_.size() && s_[i_] >= '0' && s_[i_] <= '9') ++i_;
            if (i_ < s_.size() && s_[i_] == '.' && i_ + 1 < s_.size() && s_[i_ + 1] >= '0' && s_[i_ + 1] <= '9') {
                ++i_;
                while (i_ < s_.size() && s_[i_] >= '0' && s_[i_] <= '9') ++i_;
            }
            t.kind = Tok::Number;
            t.text = std::string(s_.substr(b, i_ - b));
            return t;
        }
        if (c == '.') {
            size_t b = i_ + 1, e = b;
            while (e < s_.size() && IsIdentChar(s_[e])) ++e;
            if (e < s_.size() && s_[e] == '.' && e > b) {
                std::string w = Upper(s_.substr(b, e - b));
                Tok k = w == "T" || w == "Y" ? Tok::True : w == "F" || w == "N" ? Tok::False
                      : w == "AND" ? Tok::And : w == "OR" ? Tok::Or : w == "NOT" ? Tok::Not : Tok::End;
                if (k != Tok::End) return one(k, e + 1 - i_);
            }
            Fail(t.pos, "Syntax error", "unexpected '.'");
        }
        if (c == '\'' || c == '"' || c == '[') {
            char close = c == '[' ? ']' : c;
            size_t e = s_.find(close, i_ + 1);
            if (e == std::string_view::npos)
                Fail(t.pos, "Syntax error", std::string("missing closing ") + close);
            t.kind = c == '[' ? Tok::Bracket : Tok::String;
            t.quoted = true;
            t.text = std::string(s_.substr(i_ + 1, e - i_ - 1));
            i_ = e + 1;
            return t;
        }
        if (c == '{') {
            size_t e = s_.find('}', i_ + 1);
            if (e == std::string_view::npos) Fail(t.pos, "Syntax error", "missing closing }");
            t.kind = Tok::DateLit;
            t.text = std::string(s_.substr(i_ + 1, e - i_ - 1));
            i_ = e + 1;
            return t;
        }
        switch (c) {
            case '+': return one(Tok::Plus);
            case '-': return two('>') ? one(Tok::Arrow, 2) : one(Tok::Minus);
            case '*': return two('*') ? one(Tok::Power, 2) : one(Tok::Star);
            case '/': return one(Tok::Slash);
            case '%': return one(Tok::Percent);
            case '^': return one(Tok::Power);
            case '=': return two('=') ? one(Tok::ExactEq, 2) : one(Tok::Eq);
            case '#': return one(Tok::Ne);
            case '!': return two('=') ? one(Tok::Ne, 2) : one(Tok::Not);
            case '<': return two('>') ? one(Tok::Ne, 2) : two('=') ? one(Tok::Le, 2) : one(Tok::Lt);
            case '>': return two('=') ? one(Tok::Ge, 2) : one(Tok::Gt);
            case '$': return one(Tok::Dollar);
            case '(': return one(Tok::LParen);
            case ')': return one(Tok::RParen);
            case ',': return one(Tok::Comma);
        }
        std::string shown(1, c);
        if (uint8_t(c) < 0x20 || uint8_t(c) >= 0x80) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "0x%02X", unsigned(uint8_t(c)));
            shown = hex;
        }
        Fail(t.pos, "Syntax error", "unexpected character '" + shown + "'");
    }

private:
    static bool IsIdentStart(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; }
    static bool IsIdentChar(char c) { return IsIdentStart(c) || (c >= '0' && c <= '9'); }

    std::string_view s_;
    size_t i_ = 0;
};

struct FuncInfo {
    const char* name;
    Fn fn;
    int minArgs, maxArgs;
};

const FuncInfo kFuncs[] = {
    {"ABS", Fn::Abs, 1, 1},         {"ALLTRIM", Fn::AllTrim, 1, 1}, {"ASC", Fn::Asc, 1, 1},
    {"AT", Fn::At, 2, 3},           {"CHR", Fn::Chr, 1, 1},         {"CTOD", Fn::CtoD, 1, 1},
    {"DATE", Fn::Date, 0, 0},       {"DAY", Fn::Day, 1, 1},         {"DELETED", Fn::Deleted, 0, 0},
    {"DESCEND", Fn::Descend, 1, 1}, {"DTOC", Fn::DtoC, 1, 1},       {"DTOS", Fn::DtoS, 1, 1},
    {"EMPTY", Fn::Empty, 1, 1},     {"IIF", Fn::Iif, 3, 3},         {"IF", Fn::Iif, 3, 3},
    {"INT", Fn::Int, 1, 1},         {"LEFT", Fn::Left, 2, 2},       {"LEN", Fn::Len, 1, 1},
    {"LOWER", Fn::Lower, 1, 1},     {"LTRIM", Fn::LTrim, 1, 1},     {"MAX", Fn::Max, 2, 2},
    {"MIN", Fn::Min, 2, 2},         {"MONTH", Fn::Month, 1, 1},     {"PADC", Fn::PadC, 2, 3},
    {"PADL", Fn::PadL, 2, 3},       {"PADR", Fn::PadR, 2, 3},       {"RAT", Fn::RAt, 2, 2},
    {"RECNO", Fn::RecNo, 0, 0},     {"REPLICATE", Fn::Replicate, 2, 2}, {"RIGHT", Fn::Right, 2, 2},
    {"ROUND", Fn::Round, 2, 2},     {"RTRIM", Fn::RTrim, 1, 1},     {"SOUNDEX", Fn::Soundex, 1, 1},
    {"SPACE", Fn::Space, 1, 1},     {"STR", Fn::Str, 1, 3},         {"STRZERO", Fn::StrZero, 1, 3},
    {"SUBSTR", Fn::SubStr, 2, 3},   {"TIME", Fn::Time, 0, 0},       {"TRANSFORM", Fn::Transform, 2, 2},
    {"TRIM", Fn::Trim, 1, 1},       {"UPPER", Fn::Upper, 1, 1},     {"VAL", Fn::Val, 1, 1},
    {"YEAR", Fn::Year, 1, 1},
};

// A name matches a function spelled in full or abbreviated to at least four letters, as long as
// the abbreviation names one function only.
const FuncInfo* FindFunc(const std::string& upper) {
    for (const FuncInfo& f : kFuncs)
        if (upper == f.name) return &f;
    if (upper.size() < 4) return nullptr;
    const FuncInfo* hit = nullptr;
    for (const FuncInfo& f : kFuncs)
        if (std::strncmp(f.name, upper.c_str(), upper.size()) == 0) {
            if (hit && hit->fn != f.fn) return nullptr;
            hit = &f;
        }
    return hit;
}

const char* FuncName(Fn fn) {
    for (const FuncInfo& f : kFuncs)
        if (f.fn == fn) return f.name;
    return "?";
}

bool Impure(const Node& n) {
    if (n.op >= Op::FieldC && n.op <= Op::FieldM) return true;
    return n.op == Op::Func && (n.fn == Fn::Deleted || n.fn == Fn::RecNo || n.fn == Fn::Date || n.fn == Fn::Time);
}

std::string ConstCanon(const Node& n) {
    char tmp[64];
    switch (n.type) {
        case TExprType::Character: return "'" + std::string(n.s) + "'";
        case TExprType::Numeric: std::snprintf(tmp, sizeof tmp, "#%.17g", n.num); return tmp;
        case TExprType::Date: return "{" + std::to_string(n.jul) + "}";
        case TExprType::Logical: return n.log ? ".T." : ".F.";
    }
    return "";
}

class TCompiler {
public:
    TCompiler(std::string_view text, const std::vector<TDbfFieldDesc>& fields, const TCodePageConverter* conv,
              const TExprOptions& options, std::string alias, Program& prog)
        : lex_(text), text_(text), fields_(fields), conv_(conv), opt_(options), alias_(std::move(alias)), prog_(prog) {}

    Node* Run() {
        Advance();
        Node* n = ParseOr();
        if (tok_.kind != Tok::End) Fail(tok_.pos, "Syntax error", "unexpected " + Describe(tok_));
        return n;
    }

private:
    void Advance() {
        tok_ = lex_.Next();
        tok_.len = int(lex_.Offset()) - (tok_.pos - 1);
    }

    std::string Describe(const Token& t) const {
        if (t.kind == Tok::End) return "end of expression";
        // The token as written, at most 20 characters of it.
        std::string_view w = text_.substr(size_t(t.pos - 1), size_t(std::min(t.len, 20)));
        return "'" + std::string(w) + (t.len > 20 ? "...'" : "'");
    }

    void Expect(Tok k, const char* what) {
        if (tok_.kind != k) Fail(tok_.pos, "Syntax error", std::string("expected ") + what);
        Advance();
    }

    Node* New(Op op, TExprType type, int pos) {
        prog_.nodes.push_back(std::make_unique<Node>());
        Node* n = prog_.nodes.back().get();
        n->op = op;
        n->type = type;
        n->pos = pos;
        return n;
    }

    Node* Binary(Op op, TExprType type, int pos, Node* a, Node* b) {
        Node* n = New(op, type, pos);
        n->nargs = 2;
        n->args = {a, b, nullptr};
        return Finish(n);
    }

    // Sets the canonical text and folds a node whose operands are all constants.
    Node* Finish(Node* n) {
        static const char* opNames[] = {"const", "fc", "fn", "fd", "fl", "fm", "neg", "not", "and", "or", "+", "-", "*",
                                        "/", "%", "^", "||", "-|", "d+", "+d", "d-", "dd", "cmp", "$", "fn"};
        bool allConst = true;
        for (int i = 0; i < n->nargs; ++i) {
            allConst = allConst && n->args[size_t(i)]->isConst;
            n->height = std::max(n->height, n->args[size_t(i)]->height + 1);
        }
        // Evaluation recurses once per level: long operator chains are bounded like nesting.
        if (n->height > kMaxHeight) Fail(n->pos, "Syntax error", "expression nested too deeply");
        if (allConst && !Impure(*n)) {
            Context cx;
            Eval(*n, cx, prog_);
            if (n->type == TExprType::Character) {
                std::string v(n->s);
                n->buf = std::move(v);
                n->s = n->buf;
            }
            n->op = Op::Const;
            n->nargs = 0;
            n->args = {};
            n->isConst = true;
            n->literal = false;
            n->height = 1;
            n->canon = ConstCanon(*n);
            return n;
        }
        std::string c = n->op == Op::Func ? FuncName(n->fn) : opNames[size_t(n->op)];
        if (n->op == Op::Cmp)
            c += std::to_string(int(n->cmp)) + (n->prefix ? "p" : "") + (n->caseFold ? "i" : "");
        if (n->op == Op::Contains && n->caseFold) c += "i";
        c += "(";
        for (int i = 0; i < n->nargs; ++i) c += (i ? "," : "") + n->args[size_t(i)]->canon;
        n->canon = c + ")";
        // Character results that a function builds get their buffer now, not while scanning.
        if (n->type == TExprType::Character && n->len > 0 && n->len <= kMaxGenerated) n->buf.reserve(size_t(n->len));
        return n;
    }

    [[noreturn]] void Mismatch(int pos, const std::string& what) { Fail(pos, "Type mismatch", what); }

    void Want(Node* n, TExprType t, const std::string& what) {
        if (n->type != t) Mismatch(n->pos, what + " needs " + TypeName(t) + ", not " + TypeName(n->type));
    }

    Node* ParseOr() {
        Node* a = ParseAnd();
        while (tok_.kind == Tok::Or) {
            int pos = tok_.pos;
            Advance();
            Node* b = ParseAnd();
            LogicalOperands(pos, a, b, ".OR.");
            a = Binary(Op::Or, TExprType::Logical, pos, a, b);
        }
        return a;
    }

    Node* ParseAnd() {
        Node* a = ParseNot();
        while (tok_.kind == Tok::And) {
            int pos = tok_.pos;
            Advance();
            Node* b = ParseNot();
            LogicalOperands(pos, a, b, ".AND.");
            a = Binary(Op::And, TExprType::Logical, pos, a, b);
        }
        return a;
    }

    void LogicalOperands(int pos, Node* a, Node* b, const char* op) {
        for (Node* x : {a, b})
            if (x->type != TExprType::Logical)
                Mismatch(pos, std::string(op) + " needs Logical operands, not " + TypeName(x->type));
    }

    Node* ParseNot() {
        if (tok_.kind == Tok::Not) {
            int pos = tok_.pos;
            Advance();
            if (++depth_ > kMaxDepth) Fail(pos, "Syntax error", "expression nested too deeply");
            Node* a = ParseNot();
            --depth_;
            if (a->type != TExprType::Logical) Mismatch(pos, std::string(".NOT. needs a Logical operand, not ") + TypeName(a->type));
            Node* n = New(Op::Not, TExprType::Logical, pos);
            n->nargs = 1;
            n->args[0] = a;
            return Finish(n);
        }
        return ParseRel();
    }

    static bool IsRel(Tok k) {
        return k == Tok::Eq || k == Tok::ExactEq || k == Tok::Ne || k == Tok::Lt || k == Tok::Le || k == Tok::Gt ||
               k == Tok::Ge || k == Tok::Dollar;
    }

    Node* ParseRel() {
        Node* a = ParseAdd();
        while (IsRel(tok_.kind)) {
            Tok k = tok_.kind;
            int pos = tok_.pos;
            Advance();
            Node* b = ParseAdd();
            if (k == Tok::Dollar) {
                if (a->type != TExprType::Character || b->type != TExprType::Character)
                    Mismatch(pos, std::string("$ needs Character operands, not ") + TypeName(a->type == TExprType::Character ? b->type : a->type));
                Node* n = New(Op::Contains, TExprType::Logical, pos);
                n->caseFold = opt_.CaseInsensitive;
                n->nargs = 2;
                n->args = {a, b, nullptr};
                a = Finish(n);
                continue;
            }
            if (a->type != b->type)
                Mismatch(pos, std::string("cannot compare ") + TypeName(a->type) + " with " + TypeName(b->type));
            CmpOp op = k == Tok::Eq ? CmpOp::Eq : k == Tok::ExactEq ? CmpOp::ExactEq : k == Tok::Ne ? CmpOp::Ne
                     : k == Tok::Lt ? CmpOp::Lt : k == Tok::Le ? CmpOp::Le : k == Tok::Gt ? CmpOp::Gt : CmpOp::Ge;
            if (a->type == TExprType::Logical && op != CmpOp::Eq && op != CmpOp::ExactEq && op != CmpOp::Ne)
                Mismatch(pos, "Logical values compare only for equality");
            Node* n = New(Op::Cmp, TExprType::Logical, pos);
            n->cmp = op;
            if (a->type == TExprType::Character) {
                n->caseFold = opt_.CaseInsensitive;
                n->prefix = !opt_.Exact && op != CmpOp::ExactEq;
                bool equality = op == CmpOp::Eq || op == CmpOp::ExactEq || op == CmpOp::Ne;
                // The filter convention: a quoted literal ending in '*' matches as a prefix.
                if (opt_.PartialCompare && equality) {
                    if (!IsPartial(b) && IsPartial(a)) std::swap(a, b);
                    if (IsPartial(b)) {
                        b->buf.pop_back();
                        b->s = b->buf;
                        b->canon = ConstCanon(*b);
                        n->prefix = true;
                    }
                }
            }
            n->nargs = 2;
            n->args = {a, b, nullptr};
            a = Finish(n);
        }
        return a;
    }

    static bool IsPartial(const Node* n) { return n->literal && !n->buf.empty() && n->buf.back() == '*'; }

    Node* ParseAdd() {
        Node* a = ParseMul();
        while (tok_.kind == Tok::Plus || tok_.kind == Tok::Minus) {
            bool plus = tok_.kind == Tok::Plus;
            int pos = tok_.pos;
            Advance();
            Node* b = ParseMul();
            using T = TExprType;
            Node* n;
            if (a->type == T::Numeric && b->type == T::Numeric) {
                n = New(plus ? Op::Add : Op::Sub, T::Numeric, pos);
                if (a->len && b->len) {
                    n->dec = std::max(a->dec, b->dec);
                    n->len = std::max(a->len - a->dec, b->len - b->dec) + n->dec + 1;
                }
            } else if (a->type == T::Character && b->type == T::Character) {
                n = New(plus ? Op::Concat : Op::ConcatTrim, T::Character, pos);
                n->len = (a->len && b->len) ? std::min(kMaxGenerated, a->len + b->len) : 0;
            } else if (a->type == T::Date && b->type == T::Numeric) {
                n = New(plus ? Op::DatePlusNum : Op::DateMinusNum, T::Date, pos);
            } else if (plus && a->type == T::Numeric && b->type == T::Date) {
                n = New(Op::NumPlusDate, T::Date, pos);
            } else if (!plus && a->type == T::Date && b->type == T::Date) {
                n = New(Op::DateMinusDate, T::Numeric, pos);
            } else {
                Mismatch(pos, std::string(plus ? "cannot add " : "cannot subtract ") + TypeName(b->type) +
                                  (plus ? " to " : " from ") + TypeName(a->type));
            }
            n->nargs = 2;
            n->args = {a, b, nullptr};
            a = Finish(n);
        }
        return a;
    }

    Node* NumericBinary(Op op, int pos, Node* a, Node* b, const char* sym) {
        if (a->type != TExprType::Numeric || b->type != TExprType::Numeric)
            Mismatch(pos, std::string(sym) + " needs Numeric operands, not " +
                              TypeName(a->type != TExprType::Numeric ? a->type : b->type));
        return Binary(op, TExprType::Numeric, pos, a, b);
    }

    Node* ParseMul() {
        Node* a = ParsePow();
        while (tok_.kind == Tok::Star || tok_.kind == Tok::Slash || tok_.kind == Tok::Percent) {
            Tok k = tok_.kind;
            int pos = tok_.pos;
            Advance();
            Node* b = ParsePow();
            a = NumericBinary(k == Tok::Star ? Op::Mul : k == Tok::Slash ? Op::Div : Op::Mod, pos, a, b,
                              k == Tok::Star ? "*" : k == Tok::Slash ? "/" : "%");
        }
        return a;
    }

    Node* ParsePow() {
        Node* a = ParseUnary();
        while (tok_.kind == Tok::Power) {
            int pos = tok_.pos;
            Advance();
            Node* b = ParseUnary();
            a = NumericBinary(Op::Pow, pos, a, b, "^");
        }
        return a;
    }

    Node* ParseUnary() {
        if (tok_.kind == Tok::Minus || tok_.kind == Tok::Plus) {
            bool minus = tok_.kind == Tok::Minus;
            int pos = tok_.pos;
            Advance();
            if (++depth_ > kMaxDepth) Fail(pos, "Syntax error", "expression nested too deeply");
            Node* a = ParseUnary();
            --depth_;
            if (a->type != TExprType::Numeric)
                Mismatch(pos, std::string("unary ") + (minus ? "-" : "+") + " needs a Numeric operand, not " + TypeName(a->type));
            if (!minus) return a;
            Node* n = New(Op::Neg, TExprType::Numeric, pos);
            n->len = a->len ? a->len + 1 : 0;
            n->dec = a->dec;
            n->nargs = 1;
            n->args[0] = a;
            return Finish(n);
        }
        return ParsePrimary();
    }

    Node* Const(TExprType type, int pos) {
        Node* n = New(Op::Const, type, pos);
        n->isConst = true;
        return n;
    }

    Node* TextConst(std::string_view utf8, int pos, bool literal) {
        Node* n = Const(TExprType::Character, pos);
        if (conv_) {
            try {
                n->buf = conv_->FromUtf8(utf8);
            } catch (const vcl::EDBEngineError&) {
                Fail(pos, "Syntax error", "the text cannot be stored in the table's code page");
            }
        } else {
            n->buf = std::string(utf8);
        }
        n->s = n->buf;
        n->len = int(n->buf.size());
        n->literal = literal;
        n->canon = ConstCanon(*n);
        return n;
    }

    int32_t IsoDate(const std::string& t, int pos) {
        // ^yyyy-mm-dd (also with / or . between the parts)
        int y = 0, m = 0, d = 0;
        char s1 = 0, s2 = 0;
        int used = 0;
        if (std::sscanf(t.c_str(), "^%d%c%d%c%d%n", &y, &s1, &m, &s2, &d, &used) == 5 && size_t(used) == t.size()) {
            int32_t j = JulianOfDate(y, m, d);
            if (j) return j;
        }
        Fail(pos, "Syntax error", "invalid date {" + t + "}");
    }

    Node* ParsePrimary() {
        Token t = tok_;
        switch (t.kind) {
            case Tok::Number: {
                Advance();
                Node* n = Const(TExprType::Numeric, t.pos);
                std::string s = t.text[0] == '.' ? "0" + t.text : t.text;
                std::from_chars(s.data(), s.data() + s.size(), n->num);
                size_t dot = t.text.find('.');
                n->dec = dot == std::string::npos ? 0 : int(t.text.size() - dot - 1);
                n->len = int(t.text.size());
                n->canon = ConstCanon(*n);
                return n;
            }
            case Tok::String: Advance(); return TextConst(t.text, t.pos, true);
            case Tok::True:
            case Tok::False: {
                Advance();
                Node* n = Const(TExprType::Logical, t.pos);
                n->log = t.kind == Tok::True;
                n->canon = ConstCanon(*n);
                return n;
            }
            case Tok::DateLit: {
                Advance();
                Node* n = Const(TExprType::Date, t.pos);
                std::string inner = t.text;
                while (!inner.empty() && inner.back() == ' ') inner.pop_back();
                while (!inner.empty() && inner.front() == ' ') inner.erase(0, 1);
                if (inner.empty() || inner == "/  /" || inner == "^") n->jul = 0;
                else if (inner[0] == '^') n->jul = IsoDate(inner, t.pos);
                else {
                    Node tmp;
                    tmp.type = TExprType::Character;
                    tmp.s = inner;
                    Node call;
                    call.op = Op::Func;
                    call.fn = Fn::CtoD;
                    call.type = TExprType::Date;
                    call.nargs = 1;
                    call.args[0] = &tmp;
                    tmp.op = Op::Const;
                    Eval(call, Context(), prog_);
                    if (call.jul == 0) Fail(t.pos, "Syntax error", "invalid date {" + t.text + "}");
                    n->jul = call.jul;
                }
                n->canon = ConstCanon(*n);
                return n;
            }
            case Tok::LParen: {
                Advance();
                if (++depth_ > kMaxDepth) Fail(t.pos, "Syntax error", "expression nested too deeply");
                Node* n = ParseOr();
                --depth_;
                Expect(Tok::RParen, "')'");
                return n;
            }
            case Tok::Bracket: {
                Advance();
                int f = FindField(t.text);
                if (f >= 0) return FieldNode(f, t.pos);
                if (opt_.BracketsAreNames) Fail(t.pos, "Unknown field", t.text);
                return TextConst(t.text, t.pos, true);
            }
            case Tok::Ident: {
                Advance();
                if (tok_.kind == Tok::LParen) return ParseCall(t);
                if (tok_.kind == Tok::Arrow) {
                    CheckAlias(t);
                    Advance();
                    Token f = tok_;
                    if (f.kind != Tok::Ident && f.kind != Tok::Bracket) Fail(f.pos, "Syntax error", "expected a field name after ->");
                    Advance();
                    int idx = FindField(f.text);
                    if (idx < 0) Fail(f.pos, "Unknown field", f.text);
                    return FieldNode(idx, f.pos);
                }
                int idx = FindField(t.text);
                if (idx < 0) Fail(t.pos, "Unknown field", t.text);
                return FieldNode(idx, t.pos);
            }
            case Tok::End: Fail(t.pos, "Syntax error", "expected an operand at the end of the expression");
            default: Fail(t.pos, "Syntax error", "expected an operand, found " + Describe(t));
        }
    }

    void CheckAlias(const Token& t) {
        if (alias_.empty() || Upper(t.text) == Upper(alias_)) return;
        Fail(t.pos, "Unknown alias", t.text + " (the table is " + alias_ + ")");
    }

    int FindField(const std::string& name) const {
        std::string u = Upper(name);
        for (size_t i = 0; i < fields_.size(); ++i)
            if (!fields_[i].Hidden && Upper(fields_[i].Name) == u) return int(i);
        return -1;
    }

    Node* FieldNode(int idx, int pos) {
        const TDbfFieldDesc& f = fields_[size_t(idx)];
        Node* n = nullptr;
        switch (f.Kind) {
            case TDbfFieldKind::Character: n = New(Op::FieldC, TExprType::Character, pos); n->len = f.Length; break;
            case TDbfFieldKind::Numeric:
            case TDbfFieldKind::Float:
                n = New(Op::FieldN, TExprType::Numeric, pos);
                n->len = f.Length;
                n->dec = f.Decimals;
                break;
            case TDbfFieldKind::Date:
                if (f.Length != 8) Fail(pos, "Type mismatch", "field " + f.Name + " is not a readable date");
                n = New(Op::FieldD, TExprType::Date, pos);
                n->len = 8;
                break;
            case TDbfFieldKind::Logical: n = New(Op::FieldL, TExprType::Logical, pos); n->len = 1; break;
            case TDbfFieldKind::Memo:
                if (f.BinaryMemoPointer ? f.Length < 4 : f.Length == 0)
                    Fail(pos, "Type mismatch", "field " + f.Name + " is not a readable memo");
                n = New(Op::FieldM, TExprType::Character, pos);
                break;
            case TDbfFieldKind::Unsupported:
                Fail(pos, "Type mismatch", "field " + f.Name + " has the type '" + std::string(1, f.Type) + "', which expressions do not read");
        }
        if (f.Length == 0 && n->op != Op::FieldM) Fail(pos, "Type mismatch", "field " + f.Name + " has no bytes");
        n->field = idx;
        n->off = f.Offset;
        n->flen = f.Length;
        n->binaryMemo = f.BinaryMemoPointer;
        n->canon = "F" + std::to_string(idx);
        return n;
    }

    Node* ParseCall(const Token& name) {
        std::string u = Upper(name.text);
        const FuncInfo* fi = FindFunc(u);
        if (!fi) Fail(name.pos, "Unknown function", name.text);
        Advance();  // (
        if (++depth_ > kMaxDepth) Fail(name.pos, "Syntax error", "expression nested too deeply");
        std::vector<Node*> args;
        if (tok_.kind != Tok::RParen) {
            for (;;) {
                args.push_back(ParseOr());
                if (tok_.kind != Tok::Comma) break;
                Advance();
            }
        }
        --depth_;
        if (tok_.kind != Tok::RParen) Fail(tok_.pos, "Syntax error", args.empty() ? "expected ')'" : "expected ',' or ')'");
        Advance();
        if (int(args.size()) < fi->minArgs || int(args.size()) > fi->maxArgs) {
            std::string want = fi->minArgs == fi->maxArgs ? std::to_string(fi->minArgs)
                             : std::to_string(fi->minArgs) + " to " + std::to_string(fi->maxArgs);
            Fail(name.pos, "Wrong number of arguments", std::string(fi->name) + " takes " + want +
                                                            (fi->maxArgs == 1 && fi->minArgs == 1 ? " argument" : " arguments") +
                                                            ", not " + std::to_string(args.size()));
        }
        return BuildCall(fi, name.pos, args);
    }

    void ArgType(const FuncInfo* fi, const std::vector<Node*>& args, size_t i, TExprType t) {
        if (i < args.size() && args[i]->type != t)
            Mismatch(args[i]->pos, std::string(fi->name) + " argument " + std::to_string(i + 1) + " must be " + TypeName(t) +
                                       ", not " + TypeName(args[i]->type));
    }

    static int ConstCount(const Node* n, int fallback) {
        if (!n || !n->isConst) return fallback;
        double v = n->num;
        if (!(v >= 0)) return 0;
        return v > kMaxGenerated ? kMaxGenerated : int(v);
    }

    Node* BuildCall(const FuncInfo* fi, int pos, const std::vector<Node*>& args) {
        using T = TExprType;
        const T C = T::Character, N = T::Numeric, D = T::Date, L = T::Logical;
        T result = C;
        int len = 0, dec = 0;
        Node* a = args.empty() ? nullptr : args[0];
        auto argLen = [&](size_t i) { return i < args.size() ? args[i]->len : 0; };
        switch (fi->fn) {
            case Fn::Abs: case Fn::Int:
                ArgType(fi, args, 0, N);
                result = N;
                len = a->len;
                dec = fi->fn == Fn::Int ? 0 : a->dec;
                break;
            case Fn::Round:
                ArgType(fi, args, 0, N);
                ArgType(fi, args, 1, N);
                result = N;
                len = a->len;
                dec = args[1]->isConst ? int(std::clamp(args[1]->num, 0.0, 15.0)) : 0;
                break;
            case Fn::AllTrim: case Fn::LTrim: case Fn::RTrim: case Fn::Trim: case Fn::Upper: case Fn::Lower:
                ArgType(fi, args, 0, C);
                len = argLen(0);
                break;
            case Fn::Asc: case Fn::Len: case Fn::Val:
                ArgType(fi, args, 0, C);
                result = N;
                break;
            case Fn::At: case Fn::RAt:
                ArgType(fi, args, 0, C);
                ArgType(fi, args, 1, C);
                ArgType(fi, args, 2, N);
                result = N;
                break;
            case Fn::Chr: ArgType(fi, args, 0, N); len = 1; break;
            case Fn::CtoD: ArgType(fi, args, 0, C); result = D; break;
            case Fn::Date: result = D; break;
            case Fn::Time: len = 8; break;
            case Fn::Day: case Fn::Month: case Fn::Year:
                ArgType(fi, args, 0, D);
                result = N;
                len = fi->fn == Fn::Year ? 4 : 2;
                break;
            case Fn::Deleted: result = L; break;
            case Fn::RecNo: result = N; break;
            case Fn::Descend:
                result = a->type == D ? N : a->type;
                len = a->len;
                dec = a->dec;
                break;
            case Fn::DtoC: ArgType(fi, args, 0, D); len = prog_.dateTextLength; break;
            case Fn::DtoS: ArgType(fi, args, 0, D); len = 8; break;
            case Fn::Empty: result = L; break;
            case Fn::Iif:
                ArgType(fi, args, 0, L);
                if (args[1]->type != args[2]->type)
                    Mismatch(args[2]->pos, std::string("IIF branches must have one type, not ") + TypeName(args[1]->type) +
                                               " and " + TypeName(args[2]->type));
                result = args[1]->type;
                len = (args[1]->len && args[2]->len) ? std::max(args[1]->len, args[2]->len) : 0;
                dec = std::max(args[1]->dec, args[2]->dec);
                break;
            case Fn::Left: case Fn::Right:
                ArgType(fi, args, 0, C);
                ArgType(fi, args, 1, N);
                len = a->len ? std::min(a->len, ConstCount(args[1], a->len)) : ConstCount(args[1], 0);
                break;
            case Fn::SubStr:
                ArgType(fi, args, 0, C);
                ArgType(fi, args, 1, N);
                ArgType(fi, args, 2, N);
                len = a->len;
                if (args.size() > 2 && args[2]->isConst) len = len ? std::min(len, ConstCount(args[2], len)) : ConstCount(args[2], 0);
                break;
            case Fn::Max: case Fn::Min:
                if (a->type != args[1]->type)
                    Mismatch(args[1]->pos, std::string(fi->name) + " needs two values of one type, not " + TypeName(a->type) +
                                               " and " + TypeName(args[1]->type));
                if (a->type == L) Mismatch(a->pos, std::string(fi->name) + " does not take Logical values");
                result = a->type;
                len = (a->len && args[1]->len) ? std::max(a->len, args[1]->len) : 0;
                dec = std::max(a->dec, args[1]->dec);
                break;
            case Fn::PadC: case Fn::PadL: case Fn::PadR:
                ArgType(fi, args, 1, N);
                ArgType(fi, args, 2, C);
                len = ConstCount(args[1], 0);
                break;
            case Fn::Replicate:
                ArgType(fi, args, 0, C);
                ArgType(fi, args, 1, N);
                len = a->len && args[1]->isConst ? std::min(kMaxGenerated, a->len * ConstCount(args[1], 0)) : 0;
                break;
            case Fn::Space: ArgType(fi, args, 0, N); len = ConstCount(a, 0); break;
            case Fn::Soundex: ArgType(fi, args, 0, C); len = 4; break;
            case Fn::Str: case Fn::StrZero:
                ArgType(fi, args, 0, N);
                ArgType(fi, args, 1, N);
                ArgType(fi, args, 2, N);
                len = args.size() > 1 ? ConstCount(args[1], 0) : 10;
                break;
            case Fn::Transform:
                ArgType(fi, args, 1, C);
                if (args[1]->isConst && args[1]->s.find('@') == std::string_view::npos && !args[1]->s.empty())
                    len = int(args[1]->s.size());
                break;
        }
        Node* n = New(Op::Func, result, pos);
        n->fn = fi->fn;
        n->len = len;
        n->dec = dec;
        n->nargs = int(args.size());
        for (size_t i = 0; i < args.size(); ++i) n->args[i] = args[i];
        return Finish(n);
    }

    static constexpr int kMaxDepth = 200;
    static constexpr int kMaxHeight = 400;

    TLexer lex_;
    std::string_view text_;
    const std::vector<TDbfFieldDesc>& fields_;
    const TCodePageConverter* conv_;
    const TExprOptions& opt_;
    std::string alias_;
    Program& prog_;
    Token tok_;
    int depth_ = 0;
};

void ParseDateFormat(const std::string& format, Program& prog) {
    char sep = vcl::FormatSettings().DateSeparator;
    prog.dateFormat.clear();
    prog.dateTextLength = 0;
    for (size_t i = 0; i < format.size();) {
        char c = char(std::tolower(static_cast<unsigned char>(format[i])));
        size_t run = 1;
        while (i + run < format.size() && std::tolower(static_cast<unsigned char>(format[i + run])) == c) ++run;
        if (c == 'd' || c == 'm') {
            prog.dateFormat.push_back({c, 0});
            prog.dateTextLength += 2;
        } else if (c == 'y') {
            prog.dateFormat.push_back({run >= 3 ? 'Y' : 'y', 0});
            prog.dateTextLength += run >= 3 ? 4 : 2;
        } else {
            for (size_t k = 0; k < run; ++k) prog.dateFormat.push_back({'l', c == '/' ? sep : format[i]});
            prog.dateTextLength += int(run);
        }
        i += run;
    }
}

std::string BaseName(const std::string& path) {
    size_t slash = path.find_last_of('/');
    std::string b = slash == std::string::npos ? path : path.substr(slash + 1);
    size_t dot = b.find_last_of('.');
    return dot == std::string::npos ? b : b.substr(0, dot);
}

}  // namespace

TExpr::TExpr(std::unique_ptr<TImpl> impl) : impl_(std::move(impl)) {}
TExpr::~TExpr() = default;

std::unique_ptr<TExpr> TExpr::Compile(std::string_view text, const std::vector<TDbfFieldDesc>& fields,
                                      const TCodePageConverter* converter, const TExprOptions& options) {
    if (text.size() > kMaxExprLength)
        Fail(int(kMaxExprLength) + 1, "Syntax error", "the expression is longer than " + std::to_string(kMaxExprLength) + " characters");
    auto impl = std::make_unique<TImpl>();
    impl->text = std::string(text);
    Program& prog = impl->prog;
    prog.converter = converter;
    ParseDateFormat(options.DateFormat.empty() ? vcl::FormatSettings().ShortDateFormat : options.DateFormat, prog);
    int year, month, day;
    vcl::DecodeDate(vcl::Date(), year, month, day);
    prog.centuryBase = year - 50;
    TCompiler c(impl->text, fields, converter, options, options.Alias, prog);
    prog.root = c.Run();
    impl->type = {prog.root->type, prog.root->len, prog.root->type == TExprType::Numeric ? prog.root->dec : 0};
    impl->result.Type = prog.root->type;
    if (prog.root->len > 0 && prog.root->len <= kMaxGenerated) impl->result.Text.reserve(size_t(prog.root->len));
    return std::unique_ptr<TExpr>(new TExpr(std::move(impl)));
}

std::unique_ptr<TExpr> TExpr::Compile(std::string_view text, TDbfTable& table, const TExprOptions& options) {
    TExprOptions o = options;
    if (o.Alias.empty()) o.Alias = BaseName(table.Path());
    auto e = Compile(text, table.Fields(), &table.Converter(), o);
    e->impl_->prog.table = &table;
    return e;
}

const std::string& TExpr::GetText() const { return impl_->text; }
const TExprTypeInfo& TExpr::GetResultType() const { return impl_->type; }

const TExprValue& TExpr::Evaluate(const uint8_t* record, uint32_t recNo) {
    Program& prog = impl_->prog;
    Context cx{record, recNo, prog.table};
    Node& r = *prog.root;
    Eval(r, cx, prog);
    TExprValue& v = impl_->result;
    v.Number = r.num;
    v.Julian = r.jul;
    v.Logical = r.log;
    if (r.type == TExprType::Character) v.Text.assign(r.s.data(), r.s.size());
    return v;
}

bool TExpr::Matches(const uint8_t* record, uint32_t recNo) {
    Program& prog = impl_->prog;
    Context cx{record, recNo, prog.table};
    Eval(*prog.root, cx, prog);
    return prog.root->type == TExprType::Logical && prog.root->log;
}

void TExpr::KeyBytes(const uint8_t* record, uint32_t recNo, std::string& out) {
    Program& prog = impl_->prog;
    Context cx{record, recNo, prog.table};
    Node& r = *prog.root;
    Eval(r, cx, prog);
    switch (r.type) {
        case TExprType::Character:
            out.assign(r.s.data(), r.s.size());
            if (r.len > 0) out.resize(size_t(r.len), ' ');
            break;
        case TExprType::Numeric:
        case TExprType::Date: {
            double d = r.type == TExprType::Numeric ? r.num : double(r.jul);
            out.assign(reinterpret_cast<const char*>(&d), sizeof d);
            break;
        }
        case TExprType::Logical: out.assign(1, r.log ? 'T' : 'F'); break;
    }
}

std::string TExpr::ToUtf8(std::string_view stored) const {
    return impl_->prog.converter ? impl_->prog.converter->ToUtf8(stored) : std::string(stored);
}

namespace {

TExprValue ValueOf(const Node& n) {
    TExprValue v;
    v.Type = n.type;
    v.Text = std::string(n.s);
    v.Number = n.num;
    v.Julian = n.jul;
    v.Logical = n.log;
    return v;
}

int CompareBound(const TExprValue& a, const TExprValue& b) {
    switch (a.Type) {
        case TExprType::Character: return CompareText(a.Text, b.Text, false, false);
        case TExprType::Numeric: return a.Number < b.Number ? -1 : a.Number > b.Number ? 1 : 0;
        case TExprType::Date: return a.Julian < b.Julian ? -1 : a.Julian > b.Julian ? 1 : 0;
        case TExprType::Logical: return int(a.Logical) - int(b.Logical);
    }
    return 0;
}

void CollectConjuncts(const Node* n, std::vector<const Node*>& out) {
    if (n->op == Op::And) {
        CollectConjuncts(n->args[0], out);
        CollectConjuncts(n->args[1], out);
    } else {
        out.push_back(n);
    }
}

// The range one comparison of the key with a constant selects, if it is one.
bool RangeOf(const Node* c, const std::string& key, TKeyRange& r) {
    if (c->op != Op::Cmp || c->caseFold) return false;
    const Node* a = c->args[0];
    const Node* b = c->args[1];
    CmpOp op = c->cmp;
    if (b->canon == key && a->isConst) {
        std::swap(a, b);
        op = op == CmpOp::Lt ? CmpOp::Gt : op == CmpOp::Le ? CmpOp::Ge : op == CmpOp::Gt ? CmpOp::Lt
           : op == CmpOp::Ge ? CmpOp::Le : op;
        // A prefix comparison with the key on the right is not a range of the key.
        if (c->prefix && a->type == TExprType::Character) return false;
    }
    if (a->canon != key || !b->isConst) return false;
    TExprValue v = ValueOf(*b);
    bool prefix = c->prefix && a->type == TExprType::Character;
    switch (op) {
        case CmpOp::Eq:
        case CmpOp::ExactEq:
            if (prefix) {
                r.Prefix = true;
                r.HasLow = true;
                r.Low = v;
            } else {
                r.HasLow = r.HasHigh = true;
                r.Low = r.High = v;
            }
            return true;
        case CmpOp::Lt:
        case CmpOp::Le:
            // key <= 'AB' compared up to two bytes also takes every key that starts with AB.
            if (prefix && op == CmpOp::Le) return false;
            r.HasHigh = true;
            r.High = v;
            r.HighInclusive = op == CmpOp::Le;
            return true;
        case CmpOp::Gt:
        case CmpOp::Ge:
            if (prefix && op == CmpOp::Gt) return false;
            r.HasLow = true;
            r.Low = v;
            r.LowInclusive = op == CmpOp::Ge;
            return true;
        case CmpOp::Ne: return false;
    }
    return false;
}

}  // namespace

TIndexPlan TExpr::PlanWithIndex(const TExpr& key) const {
    TIndexPlan plan;
    const Node* root = impl_->prog.root;
    if (root->type != TExprType::Logical) return plan;
    const std::string& k = key.impl_->prog.root->canon;
    if (key.impl_->prog.root->isConst) return plan;
    std::vector<const Node*> conj;
    CollectConjuncts(root, conj);
    size_t used = 0;
    bool havePrefix = false, haveBounds = false;
    TKeyRange total;
    for (const Node* c : conj) {
        TKeyRange r;
        if (!RangeOf(c, k, r)) continue;
        if (r.Prefix) {
            if (havePrefix || haveBounds) continue;  // one prefix range, alone
            total = r;
            havePrefix = true;
            ++used;
            continue;
        }
        if (havePrefix) continue;
        if (r.HasLow) {
            int cmp = total.HasLow ? CompareBound(r.Low, total.Low) : 1;
            if (cmp > 0 || (cmp == 0 && !r.LowInclusive)) {
                total.Low = r.Low;
                total.LowInclusive = r.LowInclusive;
            }
            total.HasLow = true;
        }
        if (r.HasHigh) {
            int cmp = total.HasHigh ? CompareBound(r.High, total.High) : -1;
            if (cmp < 0 || (cmp == 0 && !r.HighInclusive)) {
                total.High = r.High;
                total.HighInclusive = r.HighInclusive;
            }
            total.HasHigh = true;
        }
        haveBounds = true;
        ++used;
    }
    if (used == 0) return plan;
    plan.Use = used == conj.size() ? TIndexUse::Full : TIndexUse::Partial;
    plan.Range = total;
    return plan;
}

void SetCursorFilter(TDbfCursor& cursor, std::shared_ptr<TExpr> filter) {
    if (!filter) {
        cursor.SetFilter({});
        return;
    }
    if (filter->GetResultType().Type != TExprType::Logical)
        throw EExprError(1, "Type mismatch at column 1: a filter must be Logical, not " +
                                std::string(TypeName(filter->GetResultType().Type)));
    cursor.SetFilter([f = std::move(filter)](const uint8_t* rec, uint32_t recNo) { return f->Matches(rec, recNo); });
}

}  // namespace bde
