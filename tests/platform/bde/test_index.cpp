// dBase indexes: the .MDX layout checked against a hand-made file, orders, seeks, ranges and
// positions, maintenance against a brute-force model, rebuilds byte for byte, damaged and
// stale files, killed writers, and .NDX files.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <ctime>
#include <map>
#include <optional>
#include <random>

#include "bde/index.h"
#include "bde_test_util.h"

using namespace bde;
using bdetest::ErrorCodeOf;
using bdetest::ReadFile;
using bdetest::TempDir;
using bdetest::WriteFile;

namespace {

void Put32(std::string& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + size_t(i)] = char(v >> (8 * i));
}
void Put16(std::string& b, size_t at, uint16_t v) {
    b[at] = char(v);
    b[at + 1] = char(v >> 8);
}

// The record numbers of a tag in its order.
std::vector<uint32_t> TagOrder(TIndexTag& tag) {
    std::vector<uint32_t> r;
    for (uint32_t i = 0; i < tag.KeyCount(); ++i) r.push_back(tag.RecNoAt(i));
    return r;
}

// The record numbers a cursor visits from First on.
std::vector<uint32_t> Walk(TDbfCursor& c, bool backwards = false) {
    std::vector<uint32_t> r;
    for (DBIResult e = backwards ? c.Last() : c.First(); e == DBIERR_NONE; e = backwards ? c.Prior() : c.Next())
        r.push_back(c.RecNo());
    return r;
}

TIndexTagDef Def(std::string name, std::string expr, std::string cond = "", bool unique = false, bool descending = false) {
    TIndexTagDef d;
    d.Name = std::move(name);
    d.Expression = std::move(expr);
    d.ForCondition = std::move(cond);
    d.Unique = unique;
    d.Descending = descending;
    return d;
}

std::string Today3() {
    std::time_t t = std::time(nullptr);
    std::tm tm;
    localtime_r(&t, &tm);
    return {char(tm.tm_year), char(tm.tm_mon + 1), char(tm.tm_mday)};
}

}  // namespace

// The .MDX of a table T (NAME C 4) with records "bb", "aa", "cc" and one tag NAME on NAME,
// written out byte by byte from the published layout. The engine must read it, and rebuilding
// it must give back these very bytes.
TEST(MdxFormat, HandMadeFileReadsAndRebuildsToTheSameBytes) {
    TempDir dir;
    TDbfTable::Create(dir / "t.dbf", {{"NAME", 'C', 4}});
    {
        auto t = TDbfTable::Open(dir / "t.dbf");
        TDbfRecord r(t);
        for (const char* n : {"bb", "aa", "cc"}) {
            r.Clear();
            r.SetText(0, n);
            t->Post(r);
        }
    }
    std::string b(8 * 512, '\0');  // eight 512-byte pages
    // ---- file header, page 0
    b[0] = 2;                                   // version
    b[1] = 124, b[2] = 3, b[3] = 15;            // created 2024-03-15 (years since 1900, month, day)
    std::memcpy(&b[4], "T", 1);                 // the table's name without extension, 16 bytes
    Put16(b, 20, 2);                            // pages per block
    Put16(b, 22, 1024);                         // bytes per block
    b[24] = 1;                                  // production index
    b[25] = 0x30;                               // tag table entries
    b[26] = 32;                                 // bytes per tag table entry
    Put16(b, 28, 1);                            // tags in use
    Put32(b, 32, 8);                            // pages in the file
    Put32(b, 36, 0);                            // first free page: none
    Put32(b, 40, 0);                            // blocks available: none
    std::memcpy(&b[44], Today3().data(), 3);    // last update
    b[47] = 0;                                  // (reserved; this engine's write mark, clear)
    // ---- tag table entry 1, at byte 544
    Put32(b, 544, 4);                           // the tag's header at page 4
    std::memcpy(&b[548], "NAME", 4);            // tag name, 11 bytes
    b[559] = 0x10;                              // key format: a plain field, ascending, not unique
    b[560] = 0, b[561] = 0, b[562] = 0;         // name tree: no smaller, no larger, no parent
    b[564] = 'C';                               // key type
    // ---- tag header, pages 4..5
    const size_t th = 4 * 512;
    Put32(b, th + 0, 6);                        // root page
    Put32(b, th + 4, 4);                        // pages of the tag: its header and one leaf block
    b[th + 8] = 0x10;                           // key format
    b[th + 9] = 'C';                            // key type
    Put16(b, th + 12, 4);                       // key length
    Put16(b, th + 14, (1024 - 8) / 8 - 1);      // keys per page: 126 entries of 8 bytes, one slot kept
    Put16(b, th + 18, 8);                       // entry length: record number (4) + key (4)
    b[th + 23] = 0;                             // not unique
    std::memcpy(&b[th + 24], "NAME", 4);        // key expression
    // ---- the root, a leaf, pages 6..7: three entries in key order, then a zero pointer
    const size_t lf = 6 * 512;
    Put32(b, lf + 0, 3);                        // keys on the page
    Put32(b, lf + 4, 0);                        // previous page at this level: none
    Put32(b, lf + 8, 2);   std::memcpy(&b[lf + 12], "aa  ", 4);
    Put32(b, lf + 16, 1);  std::memcpy(&b[lf + 20], "bb  ", 4);
    Put32(b, lf + 24, 3);  std::memcpy(&b[lf + 28], "cc  ", 4);
    Put32(b, lf + 32, 0);                       // no child after the last key: a leaf
    WriteFile(dir / "t.mdx", b);
    {
        std::string dbf = ReadFile(dir / "t.dbf");
        dbf[28] = 1;  // the table's production index flag
        WriteFile(dir / "t.dbf", dbf);
    }
    auto t = TDbfTable::Open(dir / "t.dbf", {.Exclusive = true});
    ASSERT_NE(t->ProductionIndex(), nullptr);
    EXPECT_EQ(t->ProductionIndex()->GetProblem(), "");
    auto tag = t->FindTag("name");
    ASSERT_TRUE(tag);
    EXPECT_EQ(TagOrder(*tag), (std::vector<uint32_t>{2, 1, 3}));
    t->ProductionIndex()->CheckStructure();
    t->Reindex();
    EXPECT_EQ(ReadFile(dir / "t.mdx"), b);
}

TEST(MdxFormat, NumericKeysAreBcdAndDatesJulianDoubles) {
    TempDir dir;
    TDbfTable::Create(dir / "n.dbf", {{"Q", 'N', 12, 3}, {"D", 'D'}});
    auto t = TDbfTable::Open(dir / "n.dbf", {.Exclusive = true});
    TDbfRecord r(t);
    r.SetText(0, "1");
    r.SetText(1, "2000-01-01");
    t->Post(r);
    t->AddTag(Def("Q", "Q", "", false, false));
    t->AddTag(Def("D", "D", "", false, false));
    auto q = t->FindTag("Q");
    auto hex = [](std::string_view s) {
        std::string out;
        char b[4];
        for (unsigned char c : s) std::snprintf(b, sizeof b, "%02X", c), out += b;
        return out;
    };
    struct {
        const char* text;
        const char* bcd;
    } cases[] = {
        {"1", "350410000000000000000000"},      // 0.1 x 10^1: exponent 0x34 + 1, one digit
        {"-1", "358410000000000000000000"},     // the sign in bit 7 of the digit count byte
        {"0", "340400000000000000000000"},      // zero: exponent 0x34, one digit, all digits 0
        {"123.45", "371412345000000000000000"}, // five digits, 0.12345 x 10^3
        {"0.05", "330450000000000000000000"},   // 0.5 x 10^-1
        {"-98765.4321", "39A498765432100000000000"},
    };
    for (auto& c : cases) EXPECT_EQ(hex(q->EncodeText(c.text)), c.bcd) << c.text;
    // Order is numeric, whatever the digit counts.
    const char* ascending[] = {"-98765.4321", "-1", "-0.5", "0", "0.05", "0.5", "1", "9", "10", "123.45", "1e10"};
    for (size_t i = 0; i + 1 < std::size(ascending); ++i)
        EXPECT_LT(q->Compare(q->EncodeText(ascending[i]), q->EncodeText(ascending[i + 1])), 0) << ascending[i];
    // A build sorts them the same way, whatever order the records are in.
    TDbfTable::Create(dir / "m.dbf", {{"Q", 'N', 20, 4}});
    auto m = TDbfTable::Open(dir / "m.dbf", {.Exclusive = true});
    TDbfRecord mr(m);
    const char* shuffled[] = {"10", "-1", "0.05", "1e10", "-98765.4321", "0", "9", "-0.5", "123.45", "1", "0.5", "0", "-1"};
    for (const char* v : shuffled) {
        mr.Clear();
        mr.SetNumber(0, std::strtod(v, nullptr));
        m->Post(mr);
    }
    m->AddTag(Def("Q", "Q"));
    EXPECT_EQ(TagOrder(*m->FindTag("Q")), (std::vector<uint32_t>{5, 2, 13, 8, 6, 12, 3, 11, 10, 7, 1, 9, 4}));
    auto d = t->FindTag("D");
    double jd;
    std::string k = d->EncodeText("2000-01-01");
    std::memcpy(&jd, k.data(), 8);
    EXPECT_EQ(jd, 2451545.0);
    EXPECT_EQ(d->KeyText(k), "2000-01-01");
    EXPECT_EQ(q->KeyText(q->EncodeText("-98765.4321")), "-98765.4321");
}

// ---------------------------------------------------------------- orders, seeks, ranges

namespace {

// NAME C 6, QTY N 6 1: ten records, some deleted later.
std::shared_ptr<TDbfTable> SmallTable(TempDir& dir) {
    TDbfTable::Create(dir / "s.dbf", {{"NAME", 'C', 6}, {"QTY", 'N', 6, 1}});
    auto t = TDbfTable::Open(dir / "s.dbf", {.Exclusive = true});
    const char* names[] = {"pear", "apple", "fig", "apple", "kiwi", "date", "fig", "plum", "aprico", "lime"};
    const char* qty[] = {"5", "-2", "10", "0", "", "3.5", "7", "10", "1", "-7"};
    TDbfRecord r(t);
    for (int i = 0; i < 10; ++i) {
        r.Clear();
        r.SetText(0, names[i]);
        r.SetText(1, qty[i]);
        t->Post(r);
    }
    t->AddTag(Def("NAME", "NAME", "", false, false));
    t->AddTag(Def("QTYD", "QTY", "", false, true));
    return t;
}

}  // namespace

TEST(IndexOrder, WalksSeeksRangesAndFlips) {
    TempDir dir;
    auto t = SmallTable(dir);
    TDbfCursor c(t);
    c.SetOrder(t->FindTag("NAME"));
    EXPECT_EQ(Walk(c), (std::vector<uint32_t>{2, 4, 9, 6, 3, 7, 5, 10, 1, 8}));
    EXPECT_EQ(Walk(c, true), (std::vector<uint32_t>{8, 1, 10, 5, 7, 3, 6, 9, 4, 2}));
    c.SetFlipped(true);
    EXPECT_EQ(Walk(c), (std::vector<uint32_t>{8, 1, 10, 5, 7, 3, 6, 9, 4, 2}));
    c.SetFlipped(false);

    auto key = [&](const char* s) { return c.GetOrder()->EncodeText(s); };
    using M = TDbfCursor::TSeekMode;
    struct {
        const char* key;
        M mode;
        DBIResult result;
        uint32_t recNo;  // 0: not on a record
    } seeks[] = {
        {"fig", M::Exact, DBIERR_NONE, 3},       // the first of equal keys: lowest record number
        {"fi", M::Exact, DBIERR_RECNOTFOUND, 0},
        {"fi", M::Partial, DBIERR_NONE, 3},
        {"ap", M::Partial, DBIERR_NONE, 2},
        {"apr", M::Partial, DBIERR_NONE, 9},
        {"g", M::Soft, DBIERR_RECNOTFOUND, 5},   // lands on the next key, kiwi
        {"zz", M::Soft, DBIERR_EOF, 0},
        {"a", M::Soft, DBIERR_NONE, 2},          // soft seeks match Character keys as prefixes
    };
    for (auto& s : seeks) {
        EXPECT_EQ(c.Seek(key(s.key), s.mode), s.result) << s.key;
        EXPECT_EQ(c.OnRecord() ? c.RecNo() : 0, s.recNo) << s.key;
    }

    // Ranges by value, partial bounds, and the same range over a descending tag.
    TDbfCursor::TKeyBound lo{true, key("b"), true, false}, hi{true, key("fig"), true, false};
    c.SetRange(lo, hi);
    EXPECT_EQ(Walk(c), (std::vector<uint32_t>{6, 3, 7}));
    EXPECT_EQ(c.GetKeyCount(), 3u);
    hi.Inclusive = false;
    c.SetRange(lo, hi);
    EXPECT_EQ(Walk(c), (std::vector<uint32_t>{6}));
    c.SetRange({true, key("ap"), true, true}, {true, key("ap"), true, true});
    EXPECT_EQ(Walk(c), (std::vector<uint32_t>{2, 4, 9}));
    EXPECT_EQ(c.Seek(key("fig"), M::Exact), DBIERR_RECNOTFOUND);  // outside the range
    c.ClearRange();

    TDbfCursor d(t);
    d.SetOrder(t->FindTag("QTYD"));
    auto qk = [&](const char* s) { return d.GetOrder()->EncodeText(s); };
    // Highest first; the blank quantity keys as zero; equal keys by record number.
    EXPECT_EQ(Walk(d), (std::vector<uint32_t>{3, 8, 7, 1, 6, 9, 4, 5, 2, 10}));
    d.SetRange({true, qk("0"), true, false}, {true, qk("7"), false, false});
    EXPECT_EQ(Walk(d), (std::vector<uint32_t>{1, 6, 9, 4, 5}));
    d.SetFlipped(true);
    EXPECT_EQ(Walk(d), (std::vector<uint32_t>{5, 4, 9, 6, 1}));
    d.SetFlipped(false);
    d.ClearRange();
    EXPECT_EQ(d.Seek(qk("8"), M::Soft), DBIERR_RECNOTFOUND);  // next in the tag's order: 7
    EXPECT_EQ(d.RecNo(), 7u);

    // Deleted records and filters apply on top of the order.
    t->SetDeleted(3, true);
    t->SetDeleted(8, true);
    EXPECT_EQ(Walk(d), (std::vector<uint32_t>{7, 1, 6, 9, 4, 5, 2, 10}));
    d.SetShowDeleted(true);
    d.SetFilter([](const uint8_t* rec, uint32_t) { return rec[1] != 'f'; });  // no figs
    EXPECT_EQ(Walk(d), (std::vector<uint32_t>{8, 1, 6, 9, 4, 5, 2, 10}));
}

TEST(IndexOrder, KeyNumbersAndRelativePositions) {
    TempDir dir;
    auto t = SmallTable(dir);
    TDbfCursor c(t);
    c.SetOrder(t->FindTag("NAME"));
    EXPECT_EQ(c.GetKeyCount(), 10u);
    ASSERT_EQ(c.SetToKeyNumber(4), DBIERR_NONE);
    EXPECT_EQ(c.RecNo(), 6u);  // date
    EXPECT_EQ(c.GetKeyNumber(), 4u);
    EXPECT_DOUBLE_EQ(c.GetRelativePosition(), 3.0 / 9.0);
    ASSERT_EQ(c.SetRelativePosition(1.0), DBIERR_NONE);
    EXPECT_EQ(c.RecNo(), 8u);
    ASSERT_EQ(c.SetRelativePosition(0.5), DBIERR_NONE);  // 4.5 rounds to 5: key 6, fig (7)
    EXPECT_EQ(c.RecNo(), 7u);
    ASSERT_EQ(c.SetRelativePosition(0.0), DBIERR_NONE);
    EXPECT_EQ(c.RecNo(), 2u);
    c.SetFlipped(true);
    ASSERT_EQ(c.SetToKeyNumber(1), DBIERR_NONE);
    EXPECT_EQ(c.RecNo(), 8u);
    EXPECT_EQ(c.GetKeyNumber(), 1u);
    c.SetFlipped(false);
    // A hidden record at the key number: the next visible one.
    t->SetDeleted(6, true);
    ASSERT_EQ(c.SetToKeyNumber(4), DBIERR_NONE);
    EXPECT_EQ(c.RecNo(), 3u);
    EXPECT_EQ(c.GetKeyNumber(), 5u);
    EXPECT_EQ(c.SetToKeyNumber(11), DBIERR_EOF);
    // In a range, numbers count within it.
    auto key = [&](const char* s) { return c.GetOrder()->EncodeText(s); };
    c.SetRange({true, key("f"), true, true}, {true, key("l"), true, true});
    EXPECT_EQ(c.GetKeyCount(), 4u);
    ASSERT_EQ(c.SetToKeyNumber(3), DBIERR_NONE);
    EXPECT_EQ(c.RecNo(), 5u);
    // Natural order has them too.
    TDbfCursor n(t);
    ASSERT_EQ(n.SetRelativePosition(1.0), DBIERR_NONE);
    EXPECT_EQ(n.RecNo(), 10u);
    EXPECT_EQ(n.GetKeyNumber(), 10u);

    // A tag kept beyond its deletion or its table's life says so.
    auto held = t->FindTag("QTYD");
    t->DropTag("QTYD");
    EXPECT_EQ(ErrorCodeOf([&] { held->KeyCount(); }), DBIERR_NOSUCHINDEX);
    {
        TempDir other;
        held = SmallTable(other)->FindTag("NAME");
    }
    EXPECT_EQ(ErrorCodeOf([&] { held->KeyCount(); }), DBIERR_INVALIDPARAM);
}

// ---------------------------------------------------------------- maintenance against a model

namespace {

struct TRow {
    std::string Name;           // as stored, trimmed
    std::optional<double> Qty;  // blank = nullopt
    std::string Born;           // YYYYMMDD or ""
    bool Deleted = false;
};

struct TModelTag {
    const char* name;
    TIndexTagDef def;
};

// The expected order of each tag, computed from the rows without the engine.
std::vector<uint32_t> Expected(const std::string& tag, const std::vector<TRow>& rows) {
    std::vector<uint32_t> recs;
    for (uint32_t i = 0; i < rows.size(); ++i) {
        const TRow& r = rows[i];
        double q = r.Qty.value_or(0);
        if (tag == "BORN" && !(q > 0)) continue;
        if (tag == "LIVE" && r.Deleted) continue;
        recs.push_back(i + 1);
    }
    auto padded = [&](uint32_t n) {
        std::string s = rows[n - 1].Name;
        s.resize(8, ' ');
        return s;
    };
    auto upper = [&](uint32_t n) {
        std::string s = padded(n);
        for (char& ch : s) ch = char(std::toupper((unsigned char)ch));
        return s;
    };
    auto cmp = [&](uint32_t a, uint32_t b) -> int {
        if (tag == "NAME" || tag == "LIVE") return padded(a).compare(padded(b));
        if (tag == "UNAME") return upper(a).compare(upper(b));
        if (tag == "QTYD") {
            double x = rows[a - 1].Qty.value_or(0), y = rows[b - 1].Qty.value_or(0);
            return x > y ? -1 : x < y ? 1 : 0;
        }
        // BORN: blank dates first.
        return rows[a - 1].Born.compare(rows[b - 1].Born);
    };
    std::stable_sort(recs.begin(), recs.end(), [&](uint32_t a, uint32_t b) { return cmp(a, b) < 0; });
    if (tag == "UNAME") {
        std::vector<uint32_t> firsts;
        for (uint32_t r : recs)
            if (firsts.empty() || cmp(firsts.back(), r) != 0) firsts.push_back(r);
        return firsts;
    }
    return recs;
}

const TIndexTagDef kModelTags[] = {
    {"NAME", "NAME", "", false, false},
    {"QTYD", "QTY", "", false, true},
    {"BORN", "BORN", "QTY > 0", false, false},
    {"UNAME", "UPPER(NAME)", "", true, false},
    {"LIVE", "NAME", ".NOT. DELETED()", false, false},
};

void SetRow(TDbfRecord& rec, const TRow& row) {
    rec.SetText(0, row.Name);
    rec.SetText(1, row.Qty ? std::to_string(*row.Qty) : "");
    rec.SetText(2, row.Born.empty() ? "" : row.Born);
}

TRow RandomRow(std::mt19937& rng) {
    static const char* names[] = {"", "a", "B", "b", "ab", "Ab", "ba", "abc", "zz", "m"};
    TRow r;
    r.Name = names[rng() % std::size(names)];
    if (rng() % 6) r.Qty = double(int(rng() % 41) - 20) / 2;
    if (rng() % 5) {
        char b[16];
        std::snprintf(b, sizeof b, "%04d%02d%02d", 1990 + int(rng() % 5), 1 + int(rng() % 12), 1 + int(rng() % 28));
        r.Born = b;
    }
    return r;
}

void CheckAgainstModel(TDbfTable& t, const std::vector<TRow>& rows, const std::string& step) {
    for (auto& def : kModelTags) {
        auto tag = t.FindTag(def.Name);
        ASSERT_TRUE(tag) << def.Name;
        ASSERT_EQ(TagOrder(*tag), Expected(def.Name, rows)) << def.Name << " after " << step;
    }
    ASSERT_NO_THROW(t.ProductionIndex()->CheckStructure()) << step;
}

}  // namespace

TEST(IndexMaintenance, AgreesWithABruteForceModelAfterEveryStep) {
    TempDir dir;
    TDbfTable::Create(dir / "m.dbf", {{"NAME", 'C', 8}, {"QTY", 'N', 6, 1}, {"BORN", 'D'}});
    auto t = TDbfTable::Open(dir / "m.dbf", {.Exclusive = true});
    for (auto& d : kModelTags) t->AddTag(d);
    std::vector<TRow> rows;
    std::mt19937 rng(20261211);
    auto recp = std::make_unique<TDbfRecord>(t);
    for (int step = 0; step < 700; ++step) {
        unsigned op = rng() % 100;
        std::string what;
        if (op < 45 || rows.empty()) {
            TRow r = RandomRow(rng);
            recp->Clear();
            SetRow(*recp, r);
            t->Post(*recp);
            rows.push_back(r);
            what = "append";
        } else if (op < 70) {
            uint32_t n = uint32_t(rng() % rows.size()) + 1;
            TRow r = RandomRow(rng);
            r.Deleted = rows[n - 1].Deleted;
            recp->Load(n);
            SetRow(*recp, r);
            t->Post(*recp);
            rows[n - 1] = r;
            what = "update " + std::to_string(n);
        } else if (op < 85) {
            uint32_t n = uint32_t(rng() % rows.size()) + 1;
            bool del = rng() % 3 != 0;
            t->SetDeleted(n, del);
            rows[n - 1].Deleted = del;
            what = (del ? "delete " : "undelete ") + std::to_string(n);
        } else if (op < 87) {
            // Raw writes go through the same maintenance.
            uint32_t n = uint32_t(rng() % rows.size()) + 1;
            std::vector<uint8_t> raw(t->RecordLength());
            t->ReadRecord(n, raw.data());
            std::memcpy(raw.data() + 1, "zz      ", 8);
            t->WriteRecord(n, raw.data());
            rows[n - 1].Name = "zz";
            what = "raw write " + std::to_string(n);
        } else if (op < 89) {
            t->Pack();
            std::vector<TRow> kept;
            for (auto& r : rows)
                if (!r.Deleted) kept.push_back(r);
            rows = kept;
            what = "pack";
        } else if (op == 89 && step > 400) {
            t->Zap();
            rows.clear();
            what = "zap";
        } else {
            continue;
        }
        CheckAgainstModel(*t, rows, what);
        if (HasFatalFailure()) return;
        if (step % 100 == 99) {
            // What the file holds, read by a fresh open, is the same; a rebuild from scratch
            // gives the same bytes.
            std::string before = ReadFile(dir / "m.mdx");
            recp.reset();
            t.reset();
            t = TDbfTable::Open(dir / "m.dbf", {.Exclusive = true});
            recp = std::make_unique<TDbfRecord>(t);
            CheckAgainstModel(*t, rows, "reopen");
            t->Reindex();
            ASSERT_EQ(ReadFile(dir / "m.mdx"), before) << "step " << step;
        }
    }
    // Dropping tags keeps the others; the last one removes the file and the table's flag.
    t->DropTag("UNAME");
    EXPECT_FALSE(t->FindTag("UNAME"));
    EXPECT_EQ(TagOrder(*t->FindTag("NAME")), Expected("NAME", rows));
    for (const char* n : {"NAME", "QTYD", "BORN", "LIVE"}) t->DropTag(n);
    EXPECT_EQ(t->ProductionIndex(), nullptr);
    EXPECT_FALSE(t->ProductionIndexFlag());
    EXPECT_NE(access((dir / "m.mdx").c_str(), F_OK), 0);
}

TEST(IndexMaintenance, SharedWritersSeeEachOthersKeys) {
    TempDir dir;
    TDbfTable::Create(dir / "s.dbf", {{"NAME", 'C', 8}});
    {
        auto t = TDbfTable::Open(dir / "s.dbf", {.Exclusive = true});
        t->AddTag(Def("NAME", "NAME", "", false, false));
    }
    auto a = TDbfTable::Open(dir / "s.dbf"), b = TDbfTable::Open(dir / "s.dbf");
    TDbfRecord ra(a), rb(b);
    for (int i = 0; i < 20; ++i) {
        TDbfRecord& r = i % 2 ? rb : ra;
        r.Clear();
        r.SetText(0, std::string(1, char('t' - i)));
        (i % 2 ? b : a)->Post(r);
    }
    TDbfCursor c(a);
    c.SetOrder(a->FindTag("NAME"));
    std::vector<uint32_t> want;
    for (uint32_t i = 20; i >= 1; --i) want.push_back(i);
    EXPECT_EQ(Walk(c), want);
    a->ProductionIndex()->CheckStructure();
}

// ---------------------------------------------------------------- damage and crashes

TEST(IndexDamage, DamagedFilesAreReportedNeverServedAndRebuilt) {
    TempDir dir;
    {
        auto t = SmallTable(dir);
    }
    const std::string good = ReadFile(dir / "s.mdx");
    const size_t nameRoot = 6 * 512;  // the NAME tag's only page: its header is at page 4
    struct {
        const char* what;
        std::function<void(std::string&)> damage;
        const char* message;
    } cases[] = {
        {"key count", [&](std::string& b) { b[nameRoot] = char(200); }, "room for"},
        {"order", [&](std::string& b) { std::swap(b[nameRoot + 8 + 4], b[nameRoot + 8 + 36 + 4]); }, "out of order"},
        {"record number", [&](std::string& b) { Put32(b, nameRoot + 8 + 24, 99); }, "points at record 99"},
        {"root", [&](std::string& b) { Put32(b, 4 * 512, 9999); }, "outside the file"},
        {"tag count", [&](std::string& b) { b[28] = 60; }, "room for 47"},
        {"key type", [&](std::string& b) { b[4 * 512 + 9] = 'N'; }, "type"},
        {"truncated", [&](std::string& b) { b.resize(1000); }, "too short"},
    };
    for (auto& c : cases) {
        std::string b = good;
        c.damage(b);
        WriteFile(dir / "s.mdx", b);
        auto t = TDbfTable::Open(dir / "s.dbf", {.Exclusive = true});
        auto use = [&] {
            auto tag = t->FindTag("NAME");
            if (!tag) {
                TIndexFile* f = t->ProductionIndex();
                RaiseError(DBIERR_INDEXCORRUPT, f ? f->GetProblem() : "no index");
            }
            TDbfCursor cur(t);
            cur.SetOrder(tag);
        };
        std::string message;
        try {
            use();
        } catch (const vcl::EDBEngineError& e) {
            EXPECT_EQ(e.ErrorCode(), DBIERR_INDEXCORRUPT) << c.what;
            message = e.what();
        }
        EXPECT_NE(message.find(c.message), std::string::npos) << c.what << ": " << message;
        // Never written into: a table write is refused while the index is damaged.
        TDbfRecord r(t);
        r.SetText(0, "x");
        EXPECT_EQ(ReadFile(dir / "s.mdx"), b) << c.what;
        if (!t->ProductionIndex()->GetProblem().empty()) {
            EXPECT_EQ(ErrorCodeOf([&] { t->Post(r); }), DBIERR_INDEXCORRUPT) << c.what;
        }
        if (std::string(c.what) == "tag count" || std::string(c.what) == "truncated" || std::string(c.what) == "key type") {
            EXPECT_EQ(ErrorCodeOf([&] { t->Reindex(); }), DBIERR_INDEXCORRUPT) << c.what;
            continue;
        }
        t->Reindex();
        EXPECT_EQ(ReadFile(dir / "s.mdx"), good) << c.what;
    }
}

TEST(IndexDamage, AnUnreadableIndexLeavesTheTableReadableButUnwritten) {
    TempDir dir;
    {
        auto t = SmallTable(dir);
    }
    std::string mdx = dir / "s.mdx";
    ::unlink(mdx.c_str());
    ASSERT_EQ(::mkfifo(mdx.c_str(), 0600), 0);
    auto t = TDbfTable::Open(dir / "s.dbf");
    ASSERT_NE(t->ProductionIndex(), nullptr);
    EXPECT_NE(t->ProductionIndex()->GetProblem().find("Not a regular file"), std::string::npos);
    TDbfCursor c(t);
    EXPECT_EQ(Walk(c).size(), 10u);
    TDbfRecord r(t);
    r.SetText(0, "x");
    EXPECT_EQ(ErrorCodeOf([&] { t->Post(r); }), DBIERR_INDEXCORRUPT);
    EXPECT_EQ(t->RecordCount(), 10u);
}

TEST(IndexDamage, KilledWritersLeaveAConsistentOrARebuiltIndex) {
    TempDir dir;
    TDbfTable::Create(dir / "k.dbf", {{"NAME", 'C', 8}, {"QTY", 'N', 6, 0}});
    {
        auto t = TDbfTable::Open(dir / "k.dbf", {.Exclusive = true});
        t->AddTag(Def("NAME", "NAME", "", false, false));
        t->AddTag(Def("QTY", "QTY", "", false, true));
    }
    std::mt19937 rng(7);
    int rebuilt = 0, consistent = 0;
    for (int round = 0; round < 12; ++round) {
        pid_t pid = fork();
        if (pid == 0) {
            auto t = TDbfTable::Open(dir / "k.dbf");
            TDbfRecord r(t);
            std::mt19937 g{unsigned(round)};
            for (int i = 0;; ++i) {
                if (t->RecordCount() > 50 && g() % 2) {
                    r.Load(1 + g() % t->RecordCount());
                } else {
                    r.Clear();
                }
                r.SetText(0, std::string(1 + g() % 6, char('a' + g() % 26)));
                r.SetNumber(1, double(g() % 1000));
                t->Post(r);
            }
        }
        usleep(20000 + useconds_t(rng() % 60000));
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        auto t = TDbfTable::Open(dir / "k.dbf");
        ASSERT_NE(t->ProductionIndex(), nullptr);
        ASSERT_EQ(t->ProductionIndex()->GetProblem(), "");
        (t->ProductionIndex()->WasRebuilt() ? rebuilt : consistent)++;
        // The order served is the table's: checked against keys read from the records.
        for (const char* name : {"NAME", "QTY"}) {
            auto tag = t->FindTag(name);
            ASSERT_EQ(tag->KeyCount(), t->RecordCount());
            std::vector<uint32_t> order = TagOrder(*tag);
            TDbfRecord r(t);
            std::vector<std::pair<std::string, uint32_t>> keys;
            for (uint32_t n = 1; n <= t->RecordCount(); ++n) {
                r.Load(n);
                std::string k = r.GetText(0);
                k.resize(8, ' ');
                if (std::string(name) == "QTY") {
                    char b[16];
                    std::snprintf(b, sizeof b, "%06d", 999999 - int(r.GetNumber(1).value_or(0)));
                    k = b;
                }
                keys.emplace_back(k, n);
            }
            std::sort(keys.begin(), keys.end());
            std::vector<uint32_t> want;
            for (auto& [k, n] : keys) want.push_back(n);
            ASSERT_EQ(order, want) << name << " round " << round;
        }
        t->ProductionIndex()->CheckStructure();
    }
    std::printf("killed writers: %d left a consistent index, %d a stale one that was rebuilt\n", consistent, rebuilt);
}

// ---------------------------------------------------------------- .NDX

TEST(NdxFiles, CreatedOpenedMaintainedAndRebuilt) {
    TempDir dir;
    auto t = SmallTable(dir);
    {
        auto f = t->CreateNdx(dir / "qty.ndx", Def("", "QTY", "", false, false));
        auto tag = f->Tags().at(0);
        EXPECT_EQ(tag->GetName(), "QTY");
        EXPECT_EQ(tag->GetKeyLength(), 8);  // numbers are doubles here
        EXPECT_EQ(TagOrder(*tag), (std::vector<uint32_t>{10, 2, 4, 5, 9, 6, 1, 7, 3, 8}));
        std::string b = ReadFile(dir / "qty.ndx");
        EXPECT_EQ(b.size() % 512, 0u);
        EXPECT_EQ(uint8_t(b[16]), 1);  // numeric keys
        EXPECT_EQ(b.substr(24, 4), "QTY" + std::string(1, '\0'));

        TDbfRecord r(t);
        r.SetText(0, "new");
        r.SetText(1, "-100");
        t->Post(r);
        EXPECT_EQ(tag->RecNoAt(0), 11u);
        f->CheckStructure();
        std::string maintained = ReadFile(dir / "qty.ndx");
        t->Reindex();
        EXPECT_EQ(ReadFile(dir / "qty.ndx"), maintained);
    }
    t.reset();

    // Opened on request, read from disk, by a character key too.
    t = TDbfTable::Open(dir / "s.dbf", {.Exclusive = true});
    auto g = t->OpenNdx(dir / "QTY.NDX");
    EXPECT_EQ(g->Tags().at(0)->RecNoAt(0), 11u);
    auto n = t->CreateNdx(dir / "name.ndx", Def("", "UPPER(NAME)", "", true, false));
    EXPECT_EQ(TagOrder(*n->Tags().at(0)), (std::vector<uint32_t>{2, 9, 6, 3, 5, 10, 11, 1, 8}));
    EXPECT_EQ(ErrorCodeOf([&] { t->CreateNdx(dir / "d.ndx", Def("", "NAME", "", false, true)); }), DBIERR_NOTSUPPORTED);
    // A large one spans several levels of blocks.
    TDbfRecord big(t);
    t->CloseNdx(*n);
    t->CloseNdx(*g);
    for (int i = 0; i < 1500; ++i) {
        big.Clear();
        big.SetText(0, std::to_string((i * 7919) % 3001));
        big.SetNumber(1, i % 97);
        t->Post(big);
    }
    auto h = t->CreateNdx(dir / "big.ndx", Def("", "NAME", "", false, false));
    h->CheckStructure();
    EXPECT_GT(ReadFile(dir / "big.ndx").size(), 512u * 50);
    auto ht = h->Tags().at(0);
    for (uint32_t i = 1; i < ht->KeyCount(); ++i) ASSERT_LE(ht->Compare(ht->KeyAt(i - 1), ht->KeyAt(i)), 0);
}

// ---------------------------------------------------------------- batches

TEST(Batches, CountAndIndexesAreWrittenOnceAndAKilledBatchLeavesTheTableBeforeIt) {
    TempDir dir;
    TDbfTable::Create(dir / "b.dbf", {{"NAME", 'C', 8}, {"QTY", 'N', 6, 1}, {"BORN", 'D'}});
    auto t = TDbfTable::Open(dir / "b.dbf", {.Exclusive = true});
    for (auto& d : kModelTags) t->AddTag(d);
    std::vector<TRow> rows;
    std::mt19937 rng(99);
    auto recp = std::make_unique<TDbfRecord>(t);
    TDbfRecord& rec = *recp;
    // Appends, updates, deletes and reads mixed inside one batch: the model still holds, and
    // the header and the index files change only at the end.
    t->BeginBatch();
    for (int i = 0; i < 600; ++i) {
        if (rows.empty() || rng() % 4) {
            TRow r = RandomRow(rng);
            rec.Clear();
            SetRow(rec, r);
            t->Post(rec);
            rows.push_back(r);
        } else if (rng() % 2) {
            uint32_t n = uint32_t(rng() % rows.size()) + 1;
            TRow r = RandomRow(rng);
            r.Deleted = rows[n - 1].Deleted;
            rec.Load(n);
            SetRow(rec, r);
            t->Post(rec);
            rows[n - 1] = r;
        } else {
            uint32_t n = uint32_t(rng() % rows.size()) + 1;
            t->SetDeleted(n, true);
            rows[n - 1].Deleted = true;
        }
        if (i == 300) {
            EXPECT_EQ(ReadFile(dir / "b.dbf").substr(4, 4), std::string(4, '\0'));  // count not yet written
            EXPECT_EQ(uint8_t(ReadFile(dir / "b.mdx")[47]), 1);                      // the index is marked
            CheckAgainstModel(*t, rows, "inside the batch");                          // reads see the batch
        }
    }
    t->EndBatch();
    CheckAgainstModel(*t, rows, "after the batch");
    EXPECT_EQ(uint8_t(ReadFile(dir / "b.mdx")[47]), 0);
    recp.reset();
    t.reset();
    CheckAgainstModel(*TDbfTable::Open(dir / "b.dbf", {.ReadOnly = true}), rows, "reopened");
    const uint32_t before = uint32_t(rows.size());

    // A writer killed inside a batch: the table has the records from before the batch, the
    // index is rebuilt on open and orders exactly those.
    pid_t pid = fork();
    if (pid == 0) {
        auto w = TDbfTable::Open(dir / "b.dbf");
        TDbfRecord r(w);
        w->BeginBatch();
        for (int i = 0;; ++i) {
            r.Clear();
            r.SetText(0, "k" + std::to_string(i % 100));
            w->Post(r);
            if (i == 5000) ::kill(::getppid(), SIGUSR1);
        }
    }
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGUSR1);
    sigprocmask(SIG_BLOCK, &set, nullptr);
    int sig = 0;
    struct timespec limit = {20, 0};
    sig = sigtimedwait(&set, nullptr, &limit);
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    sigprocmask(SIG_UNBLOCK, &set, nullptr);
    ASSERT_EQ(sig, SIGUSR1);
    auto again = TDbfTable::Open(dir / "b.dbf");
    EXPECT_EQ(again->RecordCount(), before);
    EXPECT_TRUE(again->ProductionIndex()->WasRebuilt());
    CheckAgainstModel(*again, rows, "after a killed batch");
}
