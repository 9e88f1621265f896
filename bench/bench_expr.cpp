// Filtering with a compiled expression beside SQLite on the same data: count the records of a
// table that satisfy UPPER(NAME) = 'SM' .AND. AMOUNT > 500, through a filtered cursor, and the
// rows of the same table in SQLite that satisfy upper(name) LIKE 'SM%' AND amount > 500. A
// hand-written test of the raw record bytes shows what the interpretation costs.
// Usage: bench_expr [records] [directory]   (default 1000000 records in a temporary directory)
#include <sqlite3.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include "bench_util.h"
#include "bde/cursor.h"
#include "bde/dbftable.h"
#include "bde/expr.h"

using namespace bde;
using Clock = std::chrono::steady_clock;

namespace {

double Since(Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); }

const char* kNames[] = {"Smith", "smithers", "Small", "Jones", "Brown", "Smythe", "Schmidt", "Miller", "Sm", "Adams"};

void MakeRow(long i, std::string& name, double& amount, std::string& city) {
    name = std::string(kNames[(i * 31) % 10]) + " " + std::to_string(i % 9973);
    amount = double((i * 7919) % 100000) / 100.0;
    city = i % 3 ? "Lisboa" : "Oslo";
}

void Check(int rc, sqlite3* db, const char* what) {
    if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW) {
        std::fprintf(stderr, "sqlite %s: %s\n", what, sqlite3_errmsg(db));
        std::exit(1);
    }
}

void Build(const std::string& dbf, const std::string& db, long n) {
    TDbfTable::Create(dbf, {{"ID", 'N', 8}, {"NAME", 'C', 20}, {"CITY", 'C', 15}, {"AMOUNT", 'N', 10, 2}, {"BORN", 'D'}},
                      {.Replace = true});
    auto t = TDbfTable::Open(dbf, {.Exclusive = true});
    TDbfRecord rec(t);
    ::unlink(db.c_str());
    sqlite3* s = nullptr;
    Check(sqlite3_open(db.c_str(), &s), s, "open");
    Check(sqlite3_exec(s, "PRAGMA synchronous=OFF; CREATE TABLE t(id INTEGER, name TEXT, city TEXT, amount REAL, born TEXT);"
                          "BEGIN", nullptr, nullptr, nullptr), s, "create");
    sqlite3_stmt* st = nullptr;
    Check(sqlite3_prepare_v2(s, "INSERT INTO t VALUES(?,?,?,?,?)", -1, &st, nullptr), s, "prepare");
    std::string name, city;
    double amount;
    for (long i = 1; i <= n; ++i) {
        MakeRow(i, name, amount, city);
        TDbfDate born{1950 + int(i % 50), 1 + int(i % 12), 1 + int(i % 28)};
        rec.Clear();
        rec.SetNumber(0, double(i));
        rec.SetText(1, name);
        rec.SetText(2, city);
        rec.SetNumber(3, amount);
        rec.SetDate(4, born);
        t->Post(rec);
        char date[16];
        std::snprintf(date, sizeof date, "%04d-%02d-%02d", born.Year, born.Month, born.Day);
        sqlite3_bind_int64(st, 1, i);
        sqlite3_bind_text(st, 2, name.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(st, 3, city.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_double(st, 4, amount);
        sqlite3_bind_text(st, 5, date, -1, SQLITE_TRANSIENT);
        Check(sqlite3_step(st), s, "insert");
        sqlite3_reset(st);
    }
    sqlite3_finalize(st);
    Check(sqlite3_exec(s, "COMMIT", nullptr, nullptr, nullptr), s, "commit");
    sqlite3_close(s);
}

double EngineCount(const std::string& dbf, const char* filter, uint32_t& count) {
    auto t0 = Clock::now();
    auto t = TDbfTable::Open(dbf, {.ReadOnly = true});
    TDbfCursor c(t);
    SetCursorFilter(c, TExpr::Compile(filter, *t));
    count = c.ExactRecordCount();
    return Since(t0);
}

// The same test written by hand against the record bytes: what the engine's scan costs without
// the interpretation.
double HandCount(const std::string& dbf, uint32_t& count) {
    auto t0 = Clock::now();
    auto t = TDbfTable::Open(dbf, {.ReadOnly = true});
    const TDbfFieldDesc& name = t->Fields()[1];
    const TDbfFieldDesc& amount = t->Fields()[3];
    std::vector<uint8_t> rec(t->RecordLength());
    count = 0;
    for (uint32_t n = 1; n <= t->RecordCount(); ++n) {
        t->ReadRecord(n, rec.data());
        if (rec[0] == '*') continue;
        const char* p = reinterpret_cast<const char*>(rec.data() + name.Offset);
        if (std::toupper(static_cast<unsigned char>(p[0])) != 'S' || std::toupper(static_cast<unsigned char>(p[1])) != 'M') continue;
        char num[32];
        std::memcpy(num, rec.data() + amount.Offset, amount.Length);
        num[amount.Length] = 0;
        if (std::strtod(num, nullptr) > 500) ++count;
    }
    return Since(t0);
}

double SqliteCount(const std::string& db, const char* where, long& count) {
    auto t0 = Clock::now();
    sqlite3* s = nullptr;
    Check(sqlite3_open(db.c_str(), &s), s, "open");
    sqlite3_stmt* st = nullptr;
    std::string q = std::string("SELECT count(*) FROM t WHERE ") + where;
    Check(sqlite3_prepare_v2(s, q.c_str(), -1, &st, nullptr), s, "prepare");
    Check(sqlite3_step(st), s, "count");
    count = sqlite3_column_int64(st, 0);
    sqlite3_finalize(st);
    sqlite3_close(s);
    return Since(t0);
}

template <class F>
double Best(F f) {
    double best = 1e9;
    for (int i = 0; i < 3; ++i) best = std::min(best, f());
    return best;
}

}  // namespace

int main(int argc, char** argv) {
    long n = benchutil::RecordCount(argc, argv);
    const std::string dir = benchutil::WorkDir(argc, argv, "expr");
    const std::string dbf = dir + "/expr.dbf", db = dir + "/expr.sqlite";
    std::printf("records: %ld, directory %s\n", n, dir.c_str());
    Build(dbf, db, n);

    struct Query {
        const char* label;
        const char* filter;
        const char* where;
    } queries[] = {
        {"name prefix and amount", "UPPER(NAME) = 'SM' .AND. AMOUNT > 500", "upper(name) LIKE 'SM%' AND amount > 500"},
        {"amount range", "AMOUNT >= 100 .AND. AMOUNT < 200", "amount >= 100 AND amount < 200"},
        {"substring of a trimmed name", "'99' $ TRIM(NAME) .OR. YEAR(BORN) = 1977",
         "instr(rtrim(name), '99') > 0 OR substr(born, 1, 4) = '1977'"},
    };
    std::printf("\n%-30s %10s %10s %8s %10s %10s\n", "", "engine s", "sqlite s", "ratio", "engine n", "sqlite n");
    bool agree = true;
    for (const Query& q : queries) {
        uint32_t ec = 0;
        long sc = 0;
        double e = Best([&] { return EngineCount(dbf, q.filter, ec); });
        double s = Best([&] { return SqliteCount(db, q.where, sc); });
        std::printf("%-30s %10.3f %10.3f %8.2f %10u %10ld\n", q.label, e, s, s / e, ec, sc);
        agree = agree && long(ec) == sc;
    }
    uint32_t hc = 0;
    double h = Best([&] { return HandCount(dbf, hc); });
    std::printf("%-30s %10.3f %10s %8s %10u\n", "hand-written test (1st query)", h, "", "", hc);
    std::printf("\nratio = sqlite time / engine time (above 1: the engine is faster)\n");
    if (!agree) std::printf("COUNTS DIFFER\n");
    if (argc <= 2) {
        std::string rm = "rm -rf '" + dir + "'";
        if (std::system(rm.c_str()) != 0) return 1;
    }
    return agree ? 0 : 1;
}
