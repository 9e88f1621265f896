// links: dbv_bde dbv_rtl
// Fuzzes the expression compiler and evaluator: any text is compiled against a fixed field list
// (the first byte picks the options) and, when it compiles, evaluated on records holding odd
// bytes, turned into key bytes and planned against index keys. Compile errors are fine; any
// other exception, crash, sanitizer report or hang is not.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "bde/expr.h"

#include "fuzz_fields.h"

namespace {

std::vector<bde::TDbfFieldDesc> Fields() {
    using K = bde::TDbfFieldKind;
    return fuzzutil::TFieldListBuilder()
        .Add("NAME", 'C', K::Character, 10)
        .Add("AGE", 'N', K::Numeric, 5)
        .Add("PAY", 'N', K::Numeric, 8, 2)
        .Add("RATE", 'F', K::Float, 12, 4)
        .Add("BORN", 'D', K::Date, 8)
        .Add("OK", 'L', K::Logical, 1)
        .Add("NOTES", 'M', K::Memo, 10)
        .Add("ODD", 'I', K::Unsupported, 4)
        .Fields();
}

// Records of 59 bytes (deletion byte and the fields above).
const char* kRecords[] = {
    " Smith         34 1200.50      1.5000199002 03T         1abcd",
    "*          -9999-99999.9-1.2345e+300000000000?          \xff\xff\xff\xff",
    " \xff\x00\x01zz\xe4\xf6\xfc\x80 ***** 1e5    nan       inf     2024023 0Y 999999999\x00\x00\x00\x00",
    "                                                           ",
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    static const std::vector<bde::TDbfFieldDesc> fields = Fields();
    static const bde::TCodePageConverter converter(1252);
    bde::TExprOptions o;
    o.Exact = data[0] & 1;
    o.CaseInsensitive = data[0] & 2;
    o.PartialCompare = data[0] & 4;
    o.BracketsAreNames = data[0] & 8;
    o.Alias = "T";
    if (data[0] & 16) o.DateFormat = "yy.mm.dd";
    std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
    std::unique_ptr<bde::TExpr> e;
    try {
        e = bde::TExpr::Compile(text, fields, (data[0] & 32) ? &converter : nullptr, o);
    } catch (const bde::EExprError& err) {
        if (err.GetPosition() < 1 || size_t(err.GetPosition()) > text.size() + 1) __builtin_trap();
        return 0;
    }
    std::string key;
    for (const char* r : kRecords) {
        uint8_t rec[64] = {};
        std::memcpy(rec, r, std::min<size_t>(std::strlen(r), 59));
        (void)e->Evaluate(rec, 7);
        e->KeyBytes(rec, 7, key);
        (void)e->Matches(rec, 7);
    }
    for (const char* k : {"UPPER(NAME)", "AGE", "BORN", "NAME"}) {
        auto keyExpr = bde::TExpr::Compile(k, fields, nullptr);
        (void)e->PlanWithIndex(*keyExpr);
    }
    return 0;
}
