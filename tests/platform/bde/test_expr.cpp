// Expressions: values and types of operators and functions on a small table, compile errors
// with their columns, the comparison options, index planning, key bytes and cursor filters.
#include <cmath>
#include <cstring>

#include "bde_test_util.h"
#include "bde/expr.h"
#include "rtl/clock.h"
#include "rtl/datetime.h"

using namespace bde;
using bdetest::ErrorCodeOf;
using bdetest::TempDir;

namespace {

// people.dbf: four records, the fourth deleted.
std::shared_ptr<TDbfTable> People(const TempDir& dir, int codePage = 1252) {
    TDbfCreateOptions o;
    o.CodePage = codePage;
    TDbfTable::Create(dir / "people.dbf",
                      {{"NAME", 'C', 20}, {"AGE", 'N', 3}, {"PAY", 'N', 8, 2}, {"RATE", 'F', 10, 4},
                       {"BORN", 'D'}, {"OK", 'L'}, {"NOTES", 'M'}},
                      o);
    auto t = TDbfTable::Open(dir / "people.dbf");
    const char* rows[][7] = {
        {"Smith", "34", "1200.5", "1.5", "1990-02-03", "T", "likes tea"},
        {"smithers", "7", "", "", "", "F", ""},
        {"Jones", "51", "99.99", "-0.25", "2024-01-31", "", "coffee"},
        {"Brown", "20", "10", "2", "2000-02-29", "T", "gone"},
    };
    for (auto& row : rows) {
        TDbfRecord r(t);
        for (int f = 0; f < 7; ++f) r.SetText(f, row[f]);
        t->Post(r);
    }
    t->SetDeleted(4, true);
    return t;
}

std::string DateText(int32_t jul) {
    if (jul == 0) return "blank";
    TDbfDate d = DateOfJulian(jul);
    char b[16];
    std::snprintf(b, sizeof b, "%04d-%02d-%02d", d.Year, d.Month, d.Day);
    return b;
}

// A value as "C:text" (UTF-8), "N:number", "D:yyyy-mm-dd" or "L:T"/"L:F".
std::string Show(const TExpr& e, const TExprValue& v) {
    char b[64];
    switch (v.Type) {
        case TExprType::Character: return "C:" + e.ToUtf8(v.Text);
        case TExprType::Numeric: std::snprintf(b, sizeof b, "N:%.10g", v.Number); return b;
        case TExprType::Date: return "D:" + DateText(v.Julian);
        case TExprType::Logical: return v.Logical ? "L:T" : "L:F";
    }
    return "?";
}

struct TEvaluator {
    std::shared_ptr<TDbfTable> table;
    TDbfRecord rec;
    explicit TEvaluator(std::shared_ptr<TDbfTable> t) : table(t), rec(t) {}
    std::string operator()(const std::string& text, uint32_t recNo, const TExprOptions& o = {}) {
        auto e = TExpr::Compile(text, *table, o);
        rec.Load(recNo);
        return Show(*e, e->Evaluate(rec.Data(), recNo));
    }
};

TExprOptions MonthFirst() {
    TExprOptions o;
    o.DateFormat = "mm/dd/yyyy";
    return o;
}

}  // namespace

TEST(Expr, ValuesOfOperatorsAndFunctions) {
    TempDir dir;
    TEvaluator eval(People(dir));
    struct Case {
        const char* expr;
        uint32_t rec;
        const char* want;
    } cases[] = {
        // fields, blanks and literals
        {"NAME", 1, "C:Smith               "},
        {"AGE", 1, "N:34"}, {"PAY", 2, "N:0"}, {"RATE", 3, "N:-0.25"},
        {"BORN", 1, "D:1990-02-03"}, {"BORN", 2, "D:blank"}, {"OK", 1, "L:T"}, {"OK", 3, "L:F"},
        {"NOTES", 1, "C:likes tea"}, {"NOTES", 2, "C:"},
        {"PEOPLE->AGE", 1, "N:34"}, {"people->[AGE]", 1, "N:34"}, {"[NAME] = 'Sm'", 1, "L:T"},
        {"[a b] + 'c'", 1, "C:a bc"}, {"\"d\" + 'e'", 1, "C:de"},
        {".T. .AND. .NOT. .F.", 1, "L:T"}, {".y. .and. .N.", 1, "L:F"}, {"NOT .F. AND .T.", 1, "L:T"},
        {"! .T. OR .F.", 1, "L:F"}, {"{^2024-01-31}", 1, "D:2024-01-31"}, {"{}", 1, "D:blank"},
        {"{01/31/2024}", 1, "D:2024-01-31"}, {".5 + 1", 1, "N:1.5"},
        // arithmetic, precedence, dates
        {"2 + 3 * 4", 1, "N:14"}, {"(2 + 3) * 4", 1, "N:20"}, {"2 ^ 10", 1, "N:1024"}, {"2 ** 3 ** 2", 1, "N:64"},
        {"-2 ^ 2", 1, "N:4"}, {"7 % 3", 1, "N:1"}, {"-7 % 3", 1, "N:-1"}, {"AGE / 0", 1, "N:0"}, {"AGE % 0", 1, "N:0"},
        {"PAY - AGE * 2", 1, "N:1132.5"}, {"BORN + 30", 1, "D:1990-03-05"}, {"30 + BORN", 1, "D:1990-03-05"},
        {"BORN - 3", 1, "D:1990-01-31"}, {"{^2024-01-31} - BORN", 1, "N:12415"}, {"BORN + 1", 2, "D:blank"},
        {"{^9999-12-31} + 1", 1, "D:blank"},
        // strings and comparisons
        {"TRIM(NAME) + '!'", 1, "C:Smith!"}, {"NAME - '!'", 1, "C:Smith!               "},
        {"'AB  ' - 'CD'", 1, "C:ABCD  "},
        {"NAME = 'Sm'", 1, "L:T"}, {"NAME = ''", 2, "L:T"}, {"'AB' = 'ABCD'", 1, "L:F"}, {"'ABCD' = 'AB'", 1, "L:T"},
        {"'ABCD' == 'AB'", 1, "L:F"}, {"NAME == 'Smith'", 1, "L:T"}, {"'Smith' = NAME", 1, "L:T"},
        {"NAME <> 'Sm'", 1, "L:F"}, {"NAME # 'Jo'", 1, "L:T"}, {"NAME != 'Smith'", 1, "L:F"},
        {"NAME < 'Sn'", 1, "L:T"}, {"NAME >= 'Smith'", 1, "L:T"}, {"NAME > 'Sm'", 1, "L:F"}, {"NAME = 'sm'", 1, "L:F"},
        {"NAME = 'Sm*'", 1, "L:T"}, {"'Smi*' = NAME", 1, "L:T"}, {"NAME = 'mi*'", 1, "L:F"}, {"NAME <> 'Jo*'", 1, "L:T"},
        {"'ea' $ NOTES", 1, "L:T"}, {"'' $ 'x'", 1, "L:F"}, {"'EA' $ NOTES", 1, "L:F"},
        {"AGE > 30 .AND. OK", 1, "L:T"}, {"AGE > 40 OR NAME = 'x'", 1, "L:F"}, {"BORN < {^2000-01-01}", 1, "L:T"},
        {"OK = .T.", 1, "L:T"}, {"PAY = 1200.5", 1, "L:T"},
        // character functions
        {"ALLTRIM('  x  ')", 1, "C:x"}, {"LTRIM('  x ')", 1, "C:x "}, {"RTRIM(' x  ')", 1, "C: x"},
        {"UPPER(NAME) = 'SMITH'", 1, "L:T"}, {"LOWER('AbC')", 1, "C:abc"},
        {"SUBSTR(NAME, 2, 3)", 1, "C:mit"}, {"SUBSTR('abc', 2)", 1, "C:bc"}, {"SUBSTR('abc', 5)", 1, "C:"},
        {"SUBSTR('abcdef', -2)", 1, "C:ef"}, {"SUBSTR('abc', 0, 2)", 1, "C:ab"}, {"SUBSTR('abc', 2, 99)", 1, "C:bc"},
        {"LEFT(NAME, 2)", 1, "C:Sm"}, {"LEFT('ab', -1)", 1, "C:"}, {"RIGHT(TRIM(NAME), 2)", 1, "C:th"},
        {"RIGHT('ab', 5)", 1, "C:ab"}, {"LEN(NAME)", 1, "N:20"}, {"LEN(TRIM(NAME))", 1, "N:5"}, {"LEN(NOTES)", 3, "N:6"},
        {"AT('i', NAME)", 1, "N:3"}, {"AT('s', 'mississippi', 2)", 1, "N:4"}, {"AT('z', 'abc')", 1, "N:0"},
        {"RAT('s', 'mississippi')", 1, "N:7"}, {"CHR(65)", 1, "C:A"}, {"ASC('a')", 1, "N:97"}, {"ASC('')", 1, "N:0"},
        {"PADL('ab', 5)", 1, "C:   ab"}, {"PADR('ab', 5, '*')", 1, "C:ab***"}, {"PADC('ab', 6)", 1, "C:  ab  "},
        {"PADR('abcdef', 3)", 1, "C:abc"}, {"PADL(AGE, 4)", 1, "C:  34"}, {"PADR(BORN, 12, '.')", 1, "C:02/03/1990.."},
        {"SPACE(3) + '|'", 1, "C:   |"}, {"REPLICATE('ab', 3)", 1, "C:ababab"}, {"LEN(SPACE(1000000000))", 1, "N:65535"},
        {"SOUNDEX('Robert')", 1, "C:R163"}, {"SOUNDEX('Tymczak')", 1, "C:T522"}, {"SOUNDEX('Ashcraft')", 1, "C:A261"},
        {"SOUNDEX('Pfister')", 1, "C:P236"}, {"SOUNDEX('  Lee')", 1, "C:L000"}, {"SOUNDEX('')", 1, "C:0000"},
        {"VAL('12.5abc')", 1, "N:12.5"}, {"VAL('  -3')", 1, "N:-3"}, {"VAL('x')", 1, "N:0"}, {"VAL('.5')", 1, "N:0.5"}, {"VAL('-.5x')", 1, "N:-0.5"},
        {"VAL('5.')", 1, "N:5"}, {"VAL('1.2.3')", 1, "N:1.2"},
        // numbers as text
        {"STR(AGE)", 1, "C:        34"}, {"STR(PAY, 8, 1)", 1, "C:  1200.5"}, {"STR(3.14159, 6, 2)", 1, "C:  3.14"},
        {"STR(12345, 3)", 1, "C:***"}, {"STR(2.5, 3)", 1, "C:  3"}, {"STR(-0.001, 5, 2)", 1, "C: 0.00"},
        {"STRZERO(AGE, 5)", 1, "C:00034"}, {"STRZERO(-5, 4)", 1, "C:-005"},
        {"TRANSFORM('abc', '@!')", 1, "C:ABC"}, {"TRANSFORM('abcd', '!X-X')", 1, "C:Ab-c"},
        {"TRANSFORM(1234.5, '9,999.99')", 1, "C:1,234.50"}, {"TRANSFORM(34, '9,999')", 1, "C:   34"},
        {"TRANSFORM(0, '@Z 999')", 1, "C:   "}, {"TRANSFORM(5, '@Z 999')", 1, "C:  5"}, {"TRANSFORM(12345, '999')", 1, "C:***"},
        {"TRANSFORM(-5, '@( 999')", 1, "C:(5)"}, {"TRANSFORM(5, '@B 999')", 1, "C:5  "}, {"TRANSFORM(-5, '@C 9')", 1, "C:5 CR"},
        {"TRANSFORM(PAY, '')", 1, "C: 1200.50"}, {"TRANSFORM(OK, 'Y')", 1, "C:Y"}, {"TRANSFORM(BORN, '')", 1, "C:02/03/1990"},
        // numeric functions
        {"ROUND(2.675, 2)", 1, "N:2.68"}, {"ROUND(-2.5, 0)", 1, "N:-3"}, {"ROUND(1234.5, -2)", 1, "N:1200"},
        {"INT(-3.7)", 1, "N:-3"}, {"ABS(-2)", 1, "N:2"}, {"MAX(3, AGE)", 1, "N:34"}, {"MIN(3, AGE)", 1, "N:3"},
        {"MIN(BORN, {^2000-01-01})", 1, "D:1990-02-03"}, {"MAX('a', 'b')", 1, "C:b"},
        // dates
        {"CTOD('01/31/2024')", 1, "D:2024-01-31"}, {"CTOD('02/30/2024')", 1, "D:blank"}, {"CTOD('1/2/99')", 1, "D:1999-01-02"},
        {"CTOD('')", 1, "D:blank"}, {"DTOC(BORN)", 1, "C:02/03/1990"}, {"DTOC(BORN)", 2, "C:  /  /    "},
        {"DTOS(BORN)", 1, "C:19900203"}, {"DTOS(BORN)", 2, "C:        "}, {"DAY(BORN)", 1, "N:3"}, {"MONTH(BORN)", 1, "N:2"},
        {"YEAR(BORN)", 1, "N:1990"}, {"YEAR(BORN)", 2, "N:0"},
        // record functions, logic
        {"IIF(OK, 'yes', 'no')", 1, "C:yes"}, {"IF(AGE > 40, 1, 2)", 1, "N:2"}, {"IIF(OK, 1, 1 / 0)", 3, "N:0"},
        {"EMPTY(PAY)", 2, "L:T"}, {"EMPTY(BORN)", 2, "L:T"}, {"EMPTY(NOTES)", 2, "L:T"}, {"EMPTY(NAME)", 1, "L:F"},
        {"EMPTY(OK)", 2, "L:T"}, {"EMPTY('  ')", 1, "L:T"},
        {"DELETED()", 4, "L:T"}, {"DELETED()", 1, "L:F"}, {"RECNO()", 3, "N:3"},
        {"DESCEND(AGE)", 1, "N:-34"}, {"DESCEND(OK)", 1, "L:F"}, {"DESCEND(BORN) > DESCEND({^2000-01-01})", 1, "L:T"},
        // four-letter abbreviations
        {"SUBS(NAME, 1, 2)", 1, "C:Sm"}, {"ALLT(NAME)", 1, "C:Smith"}, {"TRAN(1, '9')", 1, "C:1"},
        {"upper(name)", 1, "C:SMITH               "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expr);
        EXPECT_EQ(eval(c.expr, c.rec, MonthFirst()), c.want);
    }
}

TEST(Expr, DateTextFollowsTheRtlFormatAndClock) {
    TempDir dir;
    TEvaluator eval(People(dir));
    // The rtl's default short date format is dd/mm/yyyy.
    EXPECT_EQ(eval("DTOC(BORN)", 1), "C:03/02/1990");
    EXPECT_EQ(eval("CTOD('31/01/2024')", 1), "D:2024-01-31");
    TExprOptions twoDigit;
    twoDigit.DateFormat = "yy.mm.dd";
    EXPECT_EQ(eval("DTOC(BORN)", 1, twoDigit), "C:90.02.03");
    vcl::TManualClock clock(1000, vcl::EncodeDate(2024, 1, 31) + 0.75);
    vcl::SetClock(&clock);
    EXPECT_EQ(eval("DATE()", 1), "D:2024-01-31");
    EXPECT_EQ(eval("TIME()", 1), "C:18:00:00");
    EXPECT_EQ(eval("DATE() - BORN", 1), "N:12415");
    vcl::SetClock(nullptr);
}

TEST(Expr, ComparisonOptions) {
    TempDir dir;
    TEvaluator eval(People(dir));
    TExprOptions exact;
    exact.Exact = true;
    TExprOptions fold;
    fold.CaseInsensitive = true;
    TExprOptions literalStar;
    literalStar.PartialCompare = false;
    struct Case {
        const char* expr;
        const TExprOptions& opt;
        const char* want;
    } cases[] = {
        {"NAME = 'Sm'", exact, "L:F"}, {"NAME = 'Smith'", exact, "L:T"}, {"NAME = 'Sm*'", exact, "L:T"},
        {"NAME = 'SMITH'", fold, "L:T"}, {"NAME = 'sm*'", fold, "L:T"}, {"'TEA' $ NOTES", fold, "L:T"},
        {"NAME > 'SMITH'", fold, "L:F"}, {"NAME = 'Sm*'", literalStar, "L:F"}, {"'a*' = 'a*'", literalStar, "L:T"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expr);
        EXPECT_EQ(eval(c.expr, 1, c.opt), c.want);
    }
    TExprOptions names;
    names.BracketsAreNames = true;
    EXPECT_EQ(ErrorCodeOf([&] { eval("[a b] = 'x'", 1, names); }), DBIERR_INVALIDEXPR);
}

TEST(Expr, ResultTypes) {
    TempDir dir;
    auto t = People(dir);
    struct Case {
        const char* expr;
        TExprType type;
        int length, decimals;
    } cases[] = {
        {"NAME", TExprType::Character, 20, 0},          {"TRIM(NAME) + 'x'", TExprType::Character, 21, 0},
        {"SUBSTR(NAME, 1, 3)", TExprType::Character, 3, 0}, {"STR(AGE, 5)", TExprType::Character, 5, 0},
        {"STR(AGE)", TExprType::Character, 10, 0},      {"DTOS(BORN)", TExprType::Character, 8, 0},
        {"PADL(NAME, 30)", TExprType::Character, 30, 0}, {"IIF(OK, 'ab', 'abcd')", TExprType::Character, 4, 0},
        {"NOTES", TExprType::Character, 0, 0},          {"UPPER(NAME)", TExprType::Character, 20, 0},
        {"PAY", TExprType::Numeric, 8, 2},              {"AGE + PAY", TExprType::Numeric, 9, 2},
        {"RATE", TExprType::Numeric, 10, 4},            {"BORN + 1", TExprType::Date, 0, 0},
        {"BORN - BORN", TExprType::Numeric, 0, 0},      {"AGE > 1", TExprType::Logical, 0, 0},
        {"DESCEND(BORN)", TExprType::Numeric, 8, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expr);
        auto e = TExpr::Compile(c.expr, *t);
        EXPECT_EQ(int(e->GetResultType().Type), int(c.type));
        EXPECT_EQ(e->GetResultType().Length, c.length);
        EXPECT_EQ(e->GetResultType().Decimals, c.decimals);
    }
    TExprOptions o = MonthFirst();
    EXPECT_EQ(TExpr::Compile("DTOC(BORN)", *t, o)->GetResultType().Length, 10);
}

TEST(Expr, CompileErrorsNameTheColumn) {
    TempDir dir;
    auto t = People(dir);
    struct Case {
        std::string expr;
        int pos;
        std::string message;
    } cases[] = {
        {"AGE = 'x'", 5, "Type mismatch at column 5: cannot compare Numeric with Character"},
        {"NAME = 5", 6, "Type mismatch at column 6: cannot compare Character with Numeric"},
        {"UPPER(NAME", 11, "Syntax error at column 11: expected ',' or ')'"},
        {"(AGE + 1", 9, "Syntax error at column 9: expected ')'"},
        {"(AGE + 1(", 9, "Syntax error at column 9: expected ')'"},
        {"NAMEX = 'a'", 1, "Unknown field at column 1: NAMEX"},
        {"FOO(1)", 1, "Unknown function at column 1: FOO"},
        {"PAD(1, 2)", 1, "Unknown function at column 1: PAD"},
        {"SUBSTR('a')", 1, "Wrong number of arguments at column 1: SUBSTR takes 2 to 3 arguments, not 1"},
        {"DATE(1)", 1, "Wrong number of arguments at column 1: DATE takes 0 arguments, not 1"},
        {"NAME = 'abc", 8, "Syntax error at column 8: missing closing '"},
        {"AGE +", 6, "Syntax error at column 6: expected an operand at the end of the expression"},
        {"AGE * )", 7, "Syntax error at column 7: expected an operand, found ')'"},
        {"AGE 5", 5, "Syntax error at column 5: unexpected '5'"},
        {"AGE > 1 NAME", 9, "Syntax error at column 9: unexpected 'NAME'"},
        {"AGE .AND. OK", 5, "Type mismatch at column 5: .AND. needs Logical operands, not Numeric"},
        {"OTHER->AGE", 1, "Unknown alias at column 1: OTHER (the table is people)"},
        {"{^2024-02-30}", 1, "Syntax error at column 1: invalid date {^2024-02-30}"},
        {"UPPER(AGE)", 7, "Type mismatch at column 7: UPPER argument 1 must be Character, not Numeric"},
        {"IIF(OK, 1, 'a')", 12, "Type mismatch at column 12: IIF branches must have one type, not Numeric and Character"},
        {"NAME + 1", 6, "Type mismatch at column 6: cannot add Numeric to Character"},
        {"OK < .T.", 4, "Type mismatch at column 4: Logical values compare only for equality"},
        {"AGE @ 1", 5, "Syntax error at column 5: unexpected character '@'"},
        {"AGE = 1 .XOR. OK", 9, "Syntax error at column 9: unexpected '.'"},
        {"", 1, "Syntax error at column 1: expected an operand at the end of the expression"},
        {std::string(300, '(') + "1" + std::string(300, ')'), 201, "Syntax error at column 201: expression nested too deeply"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expr);
        try {
            TExpr::Compile(c.expr, *t, MonthFirst());
            ADD_FAILURE() << "compiled";
        } catch (const EExprError& e) {
            EXPECT_EQ(e.GetPosition(), c.pos);
            EXPECT_EQ(e.Message(), c.message);
            EXPECT_EQ(e.ErrorCode(), DBIERR_INVALIDEXPR);
        }
    }
}

TEST(Expr, LiteralsTravelInTheTableCodePage) {
    TempDir dir;
    auto t = People(dir, 1251);
    TDbfRecord r(t);
    r.SetText(0, "Жук");
    uint32_t n = t->Post(r);
    r.Load(n);
    auto e = TExpr::Compile("NAME = 'Жук' .AND. LEN(TRIM(NAME)) = 3 .AND. UPPER('ж') = 'ж'", *t);
    EXPECT_TRUE(e->Matches(r.Data(), n));
    auto first = TExpr::Compile("LEFT(NAME, 1)", *t);
    EXPECT_EQ(first->ToUtf8(first->Evaluate(r.Data(), n).Text), "Ж");

    TempDir dir2;
    auto latin = People(dir2, 1252);
    try {
        TExpr::Compile("NAME = 'Жук'", *latin);
        ADD_FAILURE() << "compiled";
    } catch (const EExprError& e) {
        EXPECT_EQ(e.GetPosition(), 8);
    }
}

TEST(Expr, KeyBytesHaveFixedLengthsAndTypedValues) {
    TempDir dir;
    auto t = People(dir);
    TDbfRecord r(t);
    r.Load(1);
    std::string key;
    TExpr::Compile("TRIM(NAME)", *t)->KeyBytes(r.Data(), 1, key);
    EXPECT_EQ(key, "Smith" + std::string(15, ' '));
    TExpr::Compile("UPPER(NAME) + DTOS(BORN)", *t)->KeyBytes(r.Data(), 1, key);
    EXPECT_EQ(key, "SMITH" + std::string(15, ' ') + "19900203");
    TExpr::Compile("PAY", *t)->KeyBytes(r.Data(), 1, key);
    double d;
    ASSERT_EQ(key.size(), sizeof d);
    std::memcpy(&d, key.data(), sizeof d);
    EXPECT_EQ(d, 1200.5);
    TExpr::Compile("BORN", *t)->KeyBytes(r.Data(), 1, key);
    std::memcpy(&d, key.data(), sizeof d);
    EXPECT_EQ(d, double(JulianOfDate(1990, 2, 3)));
    EXPECT_EQ(JulianOfDate(2024, 1, 31), 2460341);
    EXPECT_EQ(DateOfJulian(2460341), (TDbfDate{2024, 1, 31}));
    // DESCEND reverses the byte order of character keys.
    std::string a, b;
    auto desc = TExpr::Compile("DESCEND(NAME)", *t);
    desc->KeyBytes(r.Data(), 1, a);
    r.Load(3);
    desc->KeyBytes(r.Data(), 3, b);
    EXPECT_LT(a, b);  // Smith's descending key sorts before Jones's
    // ... also when a shorter value is a prefix of a longer one, and the blank date comes last.
    auto descTrim = TExpr::Compile("DESCEND(TRIM(UPPER(NAME)))", *t);
    auto descDate = TExpr::Compile("DESCEND(BORN)", *t);
    std::string d1, d2;
    r.Load(1);  // Smith, 1990-02-03
    descTrim->KeyBytes(r.Data(), 1, a);
    descDate->KeyBytes(r.Data(), 1, d1);
    r.Load(2);  // smithers, blank date
    descTrim->KeyBytes(r.Data(), 2, b);
    descDate->KeyBytes(r.Data(), 2, d2);
    EXPECT_LT(b, a);
    double x, y;
    std::memcpy(&x, d1.data(), sizeof x);
    std::memcpy(&y, d2.data(), sizeof y);
    EXPECT_LT(x, y);
}

TEST(Expr, IndexPlans) {
    TempDir dir;
    auto t = People(dir);
    auto plan = [&](const char* filter, const char* key, const TExprOptions& o = {}) {
        return TExpr::Compile(filter, *t, o)->PlanWithIndex(*TExpr::Compile(key, *t));
    };
    TIndexPlan p = plan("UPPER(NAME) = 'SM'", "UPPER(NAME)");
    EXPECT_EQ(p.Use, TIndexUse::Full);
    EXPECT_TRUE(p.Range.Prefix);
    EXPECT_EQ(p.Range.Low.Text, "SM");
    EXPECT_EQ(plan("UPPER(NAME) = 'SM' .AND. AGE > 3", "UPPER(NAME)").Use, TIndexUse::Partial);
    EXPECT_EQ(plan("AGE > 3", "UPPER(NAME)").Use, TIndexUse::None);
    EXPECT_EQ(plan("UPPER(NAME) = 'SM' .OR. AGE > 3", "UPPER(NAME)").Use, TIndexUse::None);
    EXPECT_EQ(plan("upper( name ) = 's' + 'm'", "UPPER(NAME)").Use, TIndexUse::Full);
    EXPECT_EQ(plan("UPPER(NAME) = 'SM'", "UPPER(NAME)", [] { TExprOptions o; o.CaseInsensitive = true; return o; }()).Use,
              TIndexUse::None);
    EXPECT_EQ(plan("AGE <> 3", "AGE").Use, TIndexUse::None);
    p = plan("AGE > 3 .AND. 40 >= AGE .AND. AGE >= 2", "AGE");
    EXPECT_EQ(p.Use, TIndexUse::Full);
    EXPECT_TRUE(p.Range.HasLow && p.Range.HasHigh);
    EXPECT_EQ(p.Range.Low.Number, 3);
    EXPECT_FALSE(p.Range.LowInclusive);
    EXPECT_EQ(p.Range.High.Number, 40);
    EXPECT_TRUE(p.Range.HighInclusive);
    p = plan("NAME = 'Smith'", "NAME", [] { TExprOptions o; o.Exact = true; return o; }());
    EXPECT_EQ(p.Use, TIndexUse::Full);
    EXPECT_FALSE(p.Range.Prefix);
    EXPECT_EQ(p.Range.High.Text, "Smith");

    // Soundness on the data: a full plan's range selects exactly the matching records.
    const char* fulls[][2] = {
        {"UPPER(NAME) = 'SM'", "UPPER(NAME)"}, {"AGE > 7 .AND. AGE <= 51", "AGE"}, {"BORN >= {^1995-01-01}", "BORN"},
        {"NAME < 'Sm'", "NAME"}, {"NAME >= 'Smith'", "NAME"}, {"NAME = 'Jo*'", "NAME"}, {"PAY = 99.99", "PAY"},
    };
    TDbfRecord r(t);
    for (auto& fk : fulls) {
        SCOPED_TRACE(fk[0]);
        auto f = TExpr::Compile(fk[0], *t);
        auto k = TExpr::Compile(fk[1], *t);
        TIndexPlan pl = f->PlanWithIndex(*k);
        ASSERT_EQ(pl.Use, TIndexUse::Full);
        for (uint32_t n = 1; n <= t->RecordCount(); ++n) {
            r.Load(n);
            TExprValue v = k->Evaluate(r.Data(), n);
            auto cmp = [&](const TExprValue& b) {
                if (v.Type == TExprType::Character) {
                    std::string x = v.Text, y = b.Text;
                    x.resize(std::max(x.size(), y.size()), ' ');
                    y.resize(x.size(), ' ');
                    return x.compare(y) < 0 ? -1 : x.compare(y) > 0 ? 1 : 0;
                }
                double x = v.Type == TExprType::Date ? v.Julian : v.Number;
                double y = b.Type == TExprType::Date ? b.Julian : b.Number;
                return x < y ? -1 : x > y ? 1 : 0;
            };
            bool in = true;
            if (pl.Range.Prefix) in = v.Text.compare(0, pl.Range.Low.Text.size(), pl.Range.Low.Text) == 0;
            if (!pl.Range.Prefix && pl.Range.HasLow) in = in && (pl.Range.LowInclusive ? cmp(pl.Range.Low) >= 0 : cmp(pl.Range.Low) > 0);
            if (pl.Range.HasHigh) in = in && (pl.Range.HighInclusive ? cmp(pl.Range.High) <= 0 : cmp(pl.Range.High) < 0);
            EXPECT_EQ(in, f->Matches(r.Data(), n)) << "record " << n;
        }
    }
}

TEST(Expr, CursorFilterSkipsRecordsAndCounts) {
    TempDir dir;
    auto t = People(dir);
    TDbfCursor c(t);
    SetCursorFilter(c, TExpr::Compile("AGE > 10", *t));
    TDbfRecord r(t);
    std::string seen;
    c.SetToBegin();
    while (c.Next() == DBIERR_NONE) seen += std::to_string(c.RecNo());
    EXPECT_EQ(seen, "13");
    seen.clear();
    c.SetToEnd();
    while (c.Prior() == DBIERR_NONE) seen += std::to_string(c.RecNo());
    EXPECT_EQ(seen, "31");
    EXPECT_EQ(c.First(), DBIERR_NONE);
    EXPECT_EQ(c.RecNo(), 1u);
    EXPECT_EQ(c.Last(), DBIERR_NONE);
    EXPECT_EQ(c.RecNo(), 3u);
    EXPECT_EQ(c.ExactRecordCount(), 2u);
    EXPECT_EQ(c.SetToRecordNo(2), DBIERR_KEYORRECDELETED);
    c.SetShowDeleted(true);
    EXPECT_EQ(c.ExactRecordCount(), 3u);  // Brown (20) is deleted
    SetCursorFilter(c, TExpr::Compile("DELETED()", *t));
    EXPECT_EQ(c.ExactRecordCount(), 1u);
    SetCursorFilter(c, TExpr::Compile("AGE > 100", *t));
    EXPECT_EQ(c.First(), DBIERR_EOF);
    EXPECT_EQ(c.Last(), DBIERR_BOF);
    SetCursorFilter(c, nullptr);
    EXPECT_EQ(c.ExactRecordCount(), 4u);
    EXPECT_THROW(SetCursorFilter(c, TExpr::Compile("AGE", *t)), EExprError);
    // A filter on memo text reads the memo file.
    c.SetShowDeleted(false);
    SetCursorFilter(c, TExpr::Compile("'o' $ NOTES", *t));
    EXPECT_EQ(c.ExactRecordCount(), 1u);
}

// SQLite's functions where their meaning is the same as here (constant arguments, positive
// positions, rounding half away from zero).
TEST(Expr, AgreesWithSqliteWhereTheMeaningIsShared) {
    if (bdetest::Run("/usr/bin/python3 -c 'import sqlite3'").Status != 0) GTEST_SKIP() << "python3 sqlite3 missing";
    const char* pairs[][2] = {
        {"UPPER('Straße mix')", "upper('Straße mix')"}, {"LOWER('ABC def')", "lower('ABC def')"},
        {"SUBSTR('hello world', 2, 3)", "substr('hello world', 2, 3)"}, {"SUBSTR('hello', 3)", "substr('hello', 3)"},
        {"SUBSTR('hello', 9, 2)", "substr('hello', 9, 2)"}, {"ROUND(2.675, 2)", "round(2.675, 2)"},
        {"ROUND(-2.5, 0)", "round(-2.5, 0)"}, {"ROUND(1.005, 2)", "round(1.005, 2)"}, {"ROUND(0.285, 2)", "round(0.285, 2)"},
        {"ABS(-12.25)", "abs(-12.25)"}, {"LEN('abcd')", "length('abcd')"}, {"AT('lo', 'hello')", "instr('hello', 'lo')"},
        {"ALLTRIM('  a b  ')", "trim('  a b  ')"}, {"LTRIM('  a ')", "ltrim('  a ')"}, {"RTRIM('  a ')", "rtrim('  a ')"},
        {"7 % 3", "7 % 3"}, {"2 * 3.5 - 1", "2 * 3.5 - 1"},
    };
    std::vector<TDbfFieldDesc> none;
    std::string script = "import sqlite3\nc = sqlite3.connect(':memory:')\n";
    std::string want;
    for (auto& p : pairs) {
        script += "v = c.execute(\"select " + std::string(p[1]) + "\").fetchone()[0]\n";
        script += "print(('N:%.10g' % v) if isinstance(v, (int, float)) else 'C:' + v)\n";
    }
    TempDir dir;
    bdetest::WriteFile(dir / "q.py", script);
    auto out = bdetest::Run("/usr/bin/python3 " + bdetest::Quote(dir / "q.py"));
    ASSERT_EQ(out.Status, 0);
    std::istringstream lines(out.Out);
    TCodePageConverter cp1252(1252);
    for (auto& p : pairs) {
        std::string line;
        std::getline(lines, line);
        auto e = TExpr::Compile(p[0], none, &cp1252);
        std::string got = Show(*e, e->Evaluate(nullptr, 0));
        // ASCII case rules: SQLite's upper() also leaves non-ASCII letters alone.
        EXPECT_EQ(got, line) << p[0];
    }
}
