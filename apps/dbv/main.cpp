// dbv: create, fill, inspect and maintain dBase tables from the command line.
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "bde/cursor.h"
#include "bde/dbftable.h"
#include "bde/expr.h"
#include "bde/index.h"
#include "csv.h"

using namespace bde;

namespace {

const char* kUsage =
    "usage: dbv COMMAND TABLE [ARGS]\n"
    "  create TABLE NAME:TYPE[:LEN[:DEC]]... [--level 3|4] [--codepage N]\n"
    "  import-csv TABLE FILE\n"
    "  export-csv TABLE [--deleted] [--filter EXPR] [--order TAG|FILE.ndx [--descending]]\n"
    "  info TABLE\n"
    "  count TABLE [--deleted] [--filter EXPR]\n"
    "  delete TABLE --recno N | --filter EXPR\n"
    "  undelete TABLE --recno N | --filter EXPR\n"
    "  pack TABLE\n"
    "  zap TABLE\n"
    "  index add TABLE TAG EXPR [--unique] [--descending] [--for COND]\n"
    "      (a TAG ending in .ndx creates that .NDX file instead of a tag of the .MDX)\n"
    "  index drop TABLE TAG\n"
    "  index list TABLE\n"
    "  reindex TABLE [FILE.ndx]...\n"
    "  seek TABLE TAG|FILE.ndx KEY [--partial | --soft]\n"
    "Commands that open a table take --codepage N to read a table whose language byte is 0\n"
    "or unknown in code page N.\n";

struct TUsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Command-line words split into positional arguments and --options (with their values).
struct TArgs {
    std::vector<std::string> Positional;
    std::map<std::string, std::string> Options;
    bool Has(const std::string& o) const { return Options.count(o) != 0; }
};

TArgs ParseArgs(int argc, char** argv, int from, const std::vector<std::string>& valued,
                const std::vector<std::string>& flags) {
    TArgs a;
    for (int i = from; i < argc; ++i) {
        std::string w = argv[i];
        if (w.size() > 2 && w.compare(0, 2, "--") == 0) {
            bool isValued = false, isFlag = false;
            for (auto& v : valued) isValued = isValued || v == w;
            for (auto& f : flags) isFlag = isFlag || f == w;
            if (isValued) {
                if (i + 1 >= argc) throw TUsageError("option " + w + " needs a value");
                a.Options[w] = argv[++i];
            } else if (isFlag) {
                a.Options[w] = "";
            } else {
                throw TUsageError("unknown option " + w);
            }
        } else {
            a.Positional.push_back(w);
        }
    }
    return a;
}

bool EndsWithNdx(const std::string& s) {
    if (s.size() < 4) return false;
    std::string e = s.substr(s.size() - 4);
    for (char& c : e) c = char(std::tolower((unsigned char)c));
    return e == ".ndx";
}

// An index tag by name: a tag of the production index, or an .NDX file opened for the purpose.
std::shared_ptr<TIndexTag> FindOrder(TDbfTable& t, const std::string& name) {
    if (EndsWithNdx(name)) return t.OpenNdx(name)->Tags().at(0);
    auto tag = t.FindTag(name);
    if (tag) return tag;
    if (TIndexFile* mdx = t.ProductionIndex(); mdx && !mdx->GetProblem().empty()) throw std::runtime_error(mdx->GetProblem());
    throw std::runtime_error("the table has no index tag " + name);
}

// Applies --order TAG (and --descending) to the cursor.
void ApplyOrder(const TArgs& a, TDbfCursor& cur) {
    if (!a.Has("--order")) {
        if (a.Has("--descending")) cur.SetFlipped(true);
        return;
    }
    cur.SetOrder(FindOrder(cur.Table(), a.Options.at("--order")));
    cur.SetFlipped(a.Has("--descending"));
}

// Applies --filter EXPR to the cursor; an expression that does not compile raises its message
// ("Syntax error at column 7: ...").
void ApplyFilter(const TArgs& a, TDbfCursor& cur) {
    if (!a.Has("--filter")) return;
    SetCursorFilter(cur, TExpr::Compile(a.Options.at("--filter"), cur.Table()));
}

// Open options from the command line: --codepage N reads a table whose language byte is 0 (or
// unknown) in code page N.
TDbfOpenOptions OpenOptions(const TArgs& a, TDbfOpenOptions o = {}) {
    if (a.Has("--codepage")) {
        const std::string& v = a.Options.at("--codepage");
        char* end = nullptr;
        long n = std::strtol(v.c_str(), &end, 10);
        if (v.empty() || *end != '\0' || n <= 0 || n > 65535) throw std::runtime_error("invalid code page '" + v + "'");
        TCodePageConverter check{int(n)};  // refuses a code page this system cannot convert
        o.FallbackCodePage = int(n);
    }
    return o;
}

std::string TablePath(const std::string& name) {
    size_t slash = name.find_last_of('/');
    size_t dot = name.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return name + ".dbf";
    return name;
}

// A progress bar on standard error when it is a terminal; silent otherwise.
class TProgressBar {
public:
    explicit TProgressBar(std::string label) : label_(std::move(label)), tty_(::isatty(2) != 0) {}
    ~TProgressBar() { Done(); }
    bool Update(int percent) {
        if (!tty_ || percent == last_) return true;
        last_ = percent;
        int width = 30, filled = percent * width / 100;
        std::fprintf(stderr, "\r%s [%.*s%*s] %3d%%", label_.c_str(), filled,
                     "##############################", width - filled, "", percent);
        std::fflush(stderr);
        shown_ = true;
        return true;
    }
    void Done() {
        if (shown_) std::fprintf(stderr, "\r%*s\r", int(label_.size()) + 40, "");
        shown_ = false;
    }

private:
    std::string label_;
    bool tty_;
    bool shown_ = false;
    int last_ = -1;
};

int ParseRecNo(const TArgs& a) {
    if (!a.Has("--recno")) throw TUsageError("--recno N or --filter EXPR is required");
    const std::string& v = a.Options.at("--recno");
    char* end = nullptr;
    long n = std::strtol(v.c_str(), &end, 10);
    if (v.empty() || *end != '\0' || n < 1) throw std::runtime_error("invalid record number '" + v + "'");
    return int(n);
}

TDbfFieldDef ParseFieldText(const std::string& text) {
    std::vector<std::string> parts;
    std::stringstream ss(text);
    std::string p;
    while (std::getline(ss, p, ':')) parts.push_back(p);
    if (parts.size() < 2 || parts.size() > 4 || parts[1].size() != 1)
        throw std::runtime_error("invalid field '" + text + "' (expected NAME:TYPE[:LEN[:DEC]])");
    TDbfFieldDef d;
    d.Name = parts[0];
    d.Type = parts[1][0];
    auto num = [&](const std::string& s) {
        char* end = nullptr;
        long v = std::strtol(s.c_str(), &end, 10);
        if (s.empty() || *end || v < 0 || v > 65535) throw std::runtime_error("invalid number in field '" + text + "'");
        return int(v);
    };
    if (parts.size() > 2) d.Length = num(parts[2]);
    if (parts.size() > 3) d.Decimals = num(parts[3]);
    char t = char(std::toupper((unsigned char)d.Type));
    if ((t == 'C' || t == 'N' || t == 'F') && parts.size() < 3)
        throw std::runtime_error("field '" + text + "' needs a length");
    return d;
}

int CmdCreate(const TArgs& a) {
    if (a.Positional.size() < 2) throw TUsageError("create needs a table and at least one field");
    TDbfCreateOptions o;
    if (a.Has("--level")) {
        const std::string& l = a.Options.at("--level");
        if (l != "3" && l != "4") throw std::runtime_error("--level must be 3 or 4");
        o.Level = l[0] - '0';
    }
    if (a.Has("--codepage")) o.CodePage = std::atoi(a.Options.at("--codepage").c_str());
    std::vector<TDbfFieldDef> fields;
    for (size_t i = 1; i < a.Positional.size(); ++i) fields.push_back(ParseFieldText(a.Positional[i]));
    TDbfTable::Create(TablePath(a.Positional[0]), fields, o);
    return 0;
}

std::string ReadWholeFile(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + name + ": " + std::strerror(errno));
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

int CmdImport(const TArgs& a) {
    if (a.Positional.size() != 2) throw TUsageError("import-csv needs a table and a CSV file");
    const std::string& csvName = a.Positional[1];
    const std::string text = ReadWholeFile(csvName);
    auto table = TDbfTable::Open(a.Positional[0], OpenOptions(a));
    std::vector<int> map;
    size_t rows = 0;
    // Every row is checked before the first is written, so a bad file leaves the table
    // unchanged; the second pass writes them.
    for (int pass = 0; pass < 2; ++pass) {
        dbvtool::TCsvReader reader(text);
        dbvtool::TCsvRow row;
        TDbfRecord rec(table);
        TProgressBar bar("Importing");
        // The rows go in as one batch: the header's count and any index are written once.
        if (pass == 1) table->BeginBatch();
        size_t done = 0;
        try {
            if (!reader.Next(row)) throw std::runtime_error("no header row");
            if (pass == 0)
                for (const std::string& name : row.Cells) {
                    int f = table->FieldIndex(name);
                    if (f < 0) throw std::runtime_error("column '" + name + "' is not a field of the table");
                    for (int m : map)
                        if (m == f) throw std::runtime_error("column '" + name + "' appears twice");
                    map.push_back(f);
                }
            while (reader.Next(row)) {
                if (row.Cells.size() == 1 && row.Cells[0].empty()) continue;  // blank line
                if (row.Cells.size() != map.size())
                    throw std::runtime_error("line " + std::to_string(row.Line) + ": " + std::to_string(row.Cells.size()) +
                                             " values, expected " + std::to_string(map.size()));
                rec.Clear();
                for (size_t c = 0; c < map.size(); ++c) {
                    try {
                        rec.SetText(map[c], row.Cells[c]);
                    } catch (const std::exception& e) {
                        throw std::runtime_error("line " + std::to_string(row.Line) + ": " + e.what());
                    }
                }
                if (pass == 0) {
                    ++rows;
                } else {
                    table->Post(rec);
                    bar.Update(int(++done * 100 / rows));
                }
            }
        } catch (const std::runtime_error& e) {
            throw std::runtime_error(csvName + ": " + e.what());
        }
        if (pass == 1) table->EndBatch();
    }
    return 0;
}

int CmdExport(const TArgs& a) {
    if (a.Positional.size() != 1) throw TUsageError("export-csv needs a table");
    auto table = TDbfTable::Open(a.Positional[0], OpenOptions(a, {.ReadOnly = true}));
    TDbfCursor cur(table);
    cur.SetShowDeleted(a.Has("--deleted"));
    ApplyFilter(a, cur);
    ApplyOrder(a, cur);
    std::vector<int> cols;
    std::string out;
    for (int f = 0; f < table->FieldCount(); ++f) {
        if (table->Fields()[size_t(f)].Hidden) continue;
        if (!cols.empty()) out += ',';
        out += dbvtool::CsvCell(table->Fields()[size_t(f)].Name);
        cols.push_back(f);
    }
    out += '\n';
    TDbfRecord rec(table);
    TProgressBar bar("Exporting");
    uint32_t total = std::max<uint32_t>(1, cur.RecordCount());
    uint32_t done = 0;
    cur.SetToBegin();
    while (cur.Next() == DBIERR_NONE) {
        cur.GetRecord(rec);
        for (size_t i = 0; i < cols.size(); ++i) {
            if (i) out += ',';
            out += dbvtool::CsvCell(rec.GetText(cols[i]));
        }
        out += '\n';
        if (out.size() > (1 << 16)) {
            std::fwrite(out.data(), 1, out.size(), stdout);
            out.clear();
        }
        bar.Update(int(std::min<uint64_t>(100, uint64_t(++done) * 100 / total)));
    }
    bar.Done();
    std::fwrite(out.data(), 1, out.size(), stdout);
    if (std::fflush(stdout) != 0) throw std::runtime_error("cannot write the output");
    return 0;
}

const char* VersionName(uint8_t v) {
    switch (v) {
        case 0x03: return "dBase III+/IV without memo";
        case 0x83: return "dBase III+ with memo";
        case 0x8B: return "dBase IV with memo";
        case 0x30: case 0x31: case 0x32: return "FoxPro (Visual)";
        case 0xF5: return "FoxPro 2 with memo";
        case 0xFB: return "FoxBASE";
    }
    return "unknown";
}

const char* KeyTypeName(TKeyType k) { return k == TKeyType::Character ? "C" : k == TKeyType::Numeric ? "N" : "D"; }

void PrintTags(TIndexFile& f) {
    for (auto& tag : f.Tags()) {
        const TIndexTagDef& d = tag->GetDef();
        std::string flags;
        if (d.Unique) flags += " unique";
        if (d.Descending) flags += " descending";
        if (!d.ForCondition.empty()) flags += " for " + d.ForCondition;
        std::string count;
        try {
            count = std::to_string(tag->KeyCount()) + " keys";
        } catch (const std::exception& e) {
            count = std::string("unusable: ") + e.what();
        }
        std::printf("  %-10s %s %3d  %s%s (%s)\n", d.Name.c_str(), KeyTypeName(tag->GetKeyType()), tag->GetKeyLength(),
                    d.Expression.c_str(), flags.c_str(), count.c_str());
    }
}

int CmdInfo(const TArgs& a) {
    if (a.Positional.size() != 1) throw TUsageError("info needs a table");
    auto t = TDbfTable::Open(a.Positional[0], OpenOptions(a, {.ReadOnly = true}));
    char v[8];
    std::snprintf(v, sizeof v, "0x%02X", t->Version());
    std::printf("Table:       %s\n", t->Path().c_str());
    std::printf("Version:     %s (%s)\n", v, VersionName(t->Version()));
    std::printf("Records:     %u\n", t->RecordCount());
    std::snprintf(v, sizeof v, "0x%02X", t->LanguageByte());
    std::printf("Code page:   %d (language byte %s)\n", t->CodePage(), v);
    std::printf("Last update: %04d-%02d-%02d\n", t->LastUpdate().Year, t->LastUpdate().Month, t->LastUpdate().Day);
    std::printf("Header:      %u bytes, records of %u bytes\n", t->HeaderLength(), t->RecordLength());
    if (t->Memo()) {
        const char* kind = t->MemoKind() == TMemoKind::Dbt3 ? "dBase III" : t->MemoKind() == TMemoKind::Dbt4 ? "dBase IV" : "FoxPro";
        std::printf("Memo file:   %s (%s, blocks of %u bytes)\n", t->MemoPath().c_str(), kind, t->Memo()->BlockSize());
    }
    if (TIndexFile* mdx = t->ProductionIndex()) {
        std::printf("Indexes:     %s, %zu tag%s\n", mdx->GetPath().c_str(), mdx->Tags().size(), mdx->Tags().size() == 1 ? "" : "s");
        if (mdx->GetProblem().empty()) PrintTags(*mdx);
    } else {
        std::printf("Indexes:     %s\n", t->ProductionIndexFlag() ? "production index flag set, file missing" : "none");
    }
    for (const std::string& r : t->OpenReport()) std::printf("Note:        %s\n", r.c_str());
    for (const auto& f : t->Fields())
        if (!f.Problem.empty()) std::printf("Unreadable:  %s\n", f.Problem.c_str());
    std::printf("Fields:\n");
    for (const auto& f : t->Fields()) {
        if (f.Type == 'N' || f.Type == 'F')
            std::printf("  %-10s %c %3u %u\n", f.Name.c_str(), f.Type, f.Length, f.Decimals);
        else
            std::printf("  %-10s %s %3u%s\n", f.Name.c_str(), PrintableBytes(std::string_view(&f.Type, 1)).c_str(), f.Length,
                        f.Hidden ? " (system)" : f.Kind == TDbfFieldKind::Unsupported ? " (not supported)" : "");
    }
    return 0;
}

int CmdCount(const TArgs& a) {
    if (a.Positional.size() != 1) throw TUsageError("count needs a table");
    auto t = TDbfTable::Open(a.Positional[0], OpenOptions(a, {.ReadOnly = true}));
    TDbfCursor cur(t);
    cur.SetShowDeleted(a.Has("--deleted"));
    ApplyFilter(a, cur);
    std::printf("%u\n", cur.ExactRecordCount());
    return 0;
}

int CmdMark(const TArgs& a, bool deleted) {
    if (a.Positional.size() != 1) throw TUsageError(std::string(deleted ? "delete" : "undelete") + " needs a table");
    if (a.Has("--filter")) {
        if (a.Has("--recno")) throw TUsageError("give --recno or --filter, not both");
        // Every record the filter selects among those not yet marked (or, undeleting, marked).
        auto t = TDbfTable::Open(a.Positional[0], OpenOptions(a));
        TDbfCursor cur(t);
        cur.SetShowDeleted(true);
        std::shared_ptr<TExpr> filter = TExpr::Compile(a.Options.at("--filter"), *t);
        SetCursorFilter(cur, filter);  // refuses an expression that is not Logical
        cur.SetFilter([&](const uint8_t* rec, uint32_t recNo) {
            return (rec[0] == '*') != deleted && filter->Matches(rec, recNo);
        });
        // One batch: the indexes are written once, not once per record.
        t->BeginBatch();
        cur.SetToBegin();
        while (cur.Next() == DBIERR_NONE) deleted ? cur.Delete() : cur.Undelete();
        t->EndBatch();
        return 0;
    }
    int n = ParseRecNo(a);
    auto t = TDbfTable::Open(a.Positional[0], OpenOptions(a));
    if (uint32_t(n) > t->RecordCount())
        throw std::runtime_error("record " + std::to_string(n) + " does not exist (the table has " +
                                 std::to_string(t->RecordCount()) + " records)");
    t->SetDeleted(uint32_t(n), deleted);
    return 0;
}

int CmdPack(const TArgs& a) {
    if (a.Positional.size() != 1) throw TUsageError("pack needs a table");
    auto t = TDbfTable::Open(a.Positional[0], OpenOptions(a, {.Exclusive = true}));
    TProgressBar bar("Packing");
    t->Pack([&](int pct, const std::string&) { return bar.Update(pct); });
    return 0;
}

int CmdIndex(const TArgs& a) {
    if (a.Positional.empty()) throw TUsageError("index needs add, drop or list");
    const std::string& what = a.Positional[0];
    if (what == "list") {
        if (a.Positional.size() != 2) throw TUsageError("index list needs a table");
        auto t = TDbfTable::Open(a.Positional[1], OpenOptions(a, {.ReadOnly = true}));
        TIndexFile* mdx = t->ProductionIndex();
        if (!mdx) return 0;
        if (!mdx->GetProblem().empty()) throw std::runtime_error(mdx->GetProblem());
        PrintTags(*mdx);
        return 0;
    }
    if (what == "add") {
        if (a.Positional.size() != 4) throw TUsageError("index add needs a table, a tag name and a key expression");
        auto t = TDbfTable::Open(a.Positional[1], OpenOptions(a, {.Exclusive = true}));
        TIndexTagDef d;
        d.Name = a.Positional[2];
        d.Expression = a.Positional[3];
        d.Unique = a.Has("--unique");
        d.Descending = a.Has("--descending");
        if (a.Has("--for")) d.ForCondition = a.Options.at("--for");
        TProgressBar bar("Indexing");
        auto progress = [&](int pct, const std::string&) { return bar.Update(pct); };
        if (EndsWithNdx(d.Name)) t->CreateNdx(d.Name, d, progress);
        else t->AddTag(d, progress);
        return 0;
    }
    if (what == "drop") {
        if (a.Positional.size() != 3) throw TUsageError("index drop needs a table and a tag name");
        auto t = TDbfTable::Open(a.Positional[1], OpenOptions(a, {.Exclusive = true}));
        t->DropTag(a.Positional[2]);
        return 0;
    }
    throw TUsageError("unknown index command '" + what + "'");
}

int CmdReindex(const TArgs& a) {
    if (a.Positional.empty()) throw TUsageError("reindex needs a table");
    auto t = TDbfTable::Open(a.Positional[0], OpenOptions(a, {.Exclusive = true}));
    for (size_t i = 1; i < a.Positional.size(); ++i) t->OpenNdx(a.Positional[i]);
    if (t->IndexFiles().empty()) throw std::runtime_error("the table has no index to rebuild");
    TProgressBar bar("Reindexing");
    t->Reindex([&](int pct, const std::string&) { return bar.Update(pct); });
    return 0;
}

int CmdSeek(const TArgs& a) {
    if (a.Positional.size() != 3) throw TUsageError("seek needs a table, a tag and a key");
    if (a.Has("--partial") && a.Has("--soft")) throw TUsageError("give --partial or --soft, not both");
    auto t = TDbfTable::Open(a.Positional[0], OpenOptions(a, {.ReadOnly = true}));
    TDbfCursor cur(t);
    cur.SetShowDeleted(a.Has("--deleted"));
    cur.SetOrder(FindOrder(*t, a.Positional[1]));
    std::string key;
    try {
        key = cur.GetOrder()->EncodeText(a.Positional[2]);
    } catch (const vcl::EDBEngineError& e) {
        throw std::runtime_error(std::string("invalid key: ") + e.what());
    }
    auto mode = a.Has("--partial") ? TDbfCursor::TSeekMode::Partial
                : a.Has("--soft")  ? TDbfCursor::TSeekMode::Soft
                                   : TDbfCursor::TSeekMode::Exact;
    DBIResult r = cur.Seek(key, mode);
    if (!cur.OnRecord()) {
        std::fprintf(stderr, "dbv: key not found\n");
        return 1;
    }
    // The record found (or, soft, the one with the next key) with its number.
    TDbfRecord rec(t);
    cur.GetRecord(rec);
    std::string out = "RECNO";
    for (int f = 0; f < t->FieldCount(); ++f)
        if (!t->Fields()[size_t(f)].Hidden) out += "," + dbvtool::CsvCell(t->Fields()[size_t(f)].Name);
    out += "\n" + std::to_string(cur.RecNo());
    for (int f = 0; f < t->FieldCount(); ++f)
        if (!t->Fields()[size_t(f)].Hidden) out += "," + dbvtool::CsvCell(rec.GetText(f));
    out += "\n";
    std::fwrite(out.data(), 1, out.size(), stdout);
    return r == DBIERR_NONE ? 0 : 3;
}

int CmdZap(const TArgs& a) {
    if (a.Positional.size() != 1) throw TUsageError("zap needs a table");
    auto t = TDbfTable::Open(a.Positional[0], OpenOptions(a, {.Exclusive = true}));
    t->Zap();
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    std::string cmd = argv[1];
    try {
        if (cmd == "create") return CmdCreate(ParseArgs(argc, argv, 2, {"--level", "--codepage"}, {}));
        if (cmd == "import-csv") return CmdImport(ParseArgs(argc, argv, 2, {"--codepage"}, {}));
        if (cmd == "export-csv")
            return CmdExport(ParseArgs(argc, argv, 2, {"--codepage", "--filter", "--order"}, {"--deleted", "--descending"}));
        if (cmd == "info") return CmdInfo(ParseArgs(argc, argv, 2, {"--codepage"}, {}));
        if (cmd == "count") return CmdCount(ParseArgs(argc, argv, 2, {"--codepage", "--filter"}, {"--deleted"}));
        if (cmd == "delete") return CmdMark(ParseArgs(argc, argv, 2, {"--codepage", "--recno", "--filter"}, {}), true);
        if (cmd == "undelete") return CmdMark(ParseArgs(argc, argv, 2, {"--codepage", "--recno", "--filter"}, {}), false);
        if (cmd == "pack") return CmdPack(ParseArgs(argc, argv, 2, {"--codepage"}, {}));
        if (cmd == "zap") return CmdZap(ParseArgs(argc, argv, 2, {"--codepage"}, {}));
        if (cmd == "index")
            return CmdIndex(ParseArgs(argc, argv, 2, {"--codepage", "--for"}, {"--unique", "--descending"}));
        if (cmd == "reindex") return CmdReindex(ParseArgs(argc, argv, 2, {"--codepage"}, {}));
        if (cmd == "seek") return CmdSeek(ParseArgs(argc, argv, 2, {"--codepage"}, {"--partial", "--soft", "--deleted"}));
        if (cmd == "--help" || cmd == "help") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        throw TUsageError("unknown command '" + cmd + "'");
    } catch (const TUsageError& e) {
        std::fprintf(stderr, "dbv: %s (see 'dbv help')\n", e.what());
        return 2;
    } catch (const std::exception& e) {
        std::string m = e.what();
        for (char& c : m)
            if (c == '\n' || c == '\r') c = ' ';
        std::fprintf(stderr, "dbv: %s\n", m.c_str());
        return 1;
    }
}
