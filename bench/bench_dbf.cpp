// The table engine beside SQLite and Debian's python3-dbfread on the same data: append and full
// scan of a table of about ten fields, 100 bytes a record, a memo on every tenth record; and a
// data grid's scrolling over a shared open (the record count, then the visible rows).
// Usage: bench_dbf [records] [directory]   (default 1000000 records in a temporary directory)
#include <sqlite3.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include "bench_util.h"
#include "bde/cursor.h"
#include "bde/dbftable.h"

using namespace bde;
using Clock = std::chrono::steady_clock;

namespace {

long long FileSizeOf(const std::string& p) {
    struct stat st;
    return ::stat(p.c_str(), &st) == 0 ? (long long)st.st_size : 0;
}

double Since(Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); }

struct Row {
    long id;
    char name[21], city[16], code[7];
    double amount;
    int qty;
    TDbfDate born;
    bool active;
    double rate;
    std::string notes;  // empty on nine records out of ten
};

const char* kCities[] = {"Berlin", "Lisboa", "Kraków", "Genève", "Zürich", "Oslo", "Praha", "Sevilla"};

void MakeRow(long i, Row& r) {
    r.id = i;
    std::snprintf(r.name, sizeof r.name, "Customer %ld", i * 7919 % 1000003);
    std::snprintf(r.city, sizeof r.city, "%s", kCities[i % 8]);
    std::snprintf(r.code, sizeof r.code, "K%05ld", i % 100000);
    r.amount = double(i % 100000) * 1.25 - 5000;
    r.qty = int(i % 997);
    r.born = {1940 + int(i % 60), 1 + int(i % 12), 1 + int(i % 28)};
    r.active = i % 3 != 0;
    r.rate = double(i % 10000) / 7.0;
    r.notes.clear();
    if (i % 10 == 0) {
        r.notes = "Order history of customer " + std::to_string(i) + ": ";
        for (int k = 0; k < 1 + int(i % 7); ++k) r.notes += "delivered on time, paid in full; ";
    }
}

std::vector<TDbfFieldDef> Fields() {
    return {{"ID", 'N', 8},      {"NAME", 'C', 20}, {"CITY", 'C', 15}, {"CODE", 'C', 6},
            {"AMOUNT", 'N', 12, 2}, {"QTY", 'N', 6}, {"BORN", 'D'},     {"ACTIVE", 'L'},
            {"RATE", 'F', 10, 4}, {"NOTES", 'M'},   {"PAD", 'C', 3}};
}

double EngineAppend(const std::string& path, long n, bool exclusive) {
    TDbfTable::Create(path, Fields(), {.Replace = true});
    auto t0 = Clock::now();
    auto t = TDbfTable::Open(path, {.Exclusive = exclusive});
    TDbfRecord rec(t);
    Row r;
    for (long i = 1; i <= n; ++i) {
        MakeRow(i, r);
        rec.Clear();
        rec.SetNumber(0, double(r.id));
        rec.SetText(1, r.name);
        rec.SetText(2, r.city);
        rec.SetText(3, r.code);
        rec.SetNumber(4, r.amount);
        rec.SetNumber(5, r.qty);
        rec.SetDate(6, r.born);
        rec.SetLogical(7, r.active);
        rec.SetNumber(8, r.rate);
        if (!r.notes.empty()) rec.SetMemo(9, r.notes);
        t->Post(rec);
    }
    t.reset();
    return Since(t0);
}

double EngineScan(const std::string& path, long n, double& checksum) {
    auto t0 = Clock::now();
    auto t = TDbfTable::Open(path, {.ReadOnly = true});
    TDbfCursor c(t);
    TDbfRecord rec(t);
    long seen = 0;
    size_t textBytes = 0;
    checksum = 0;
    c.SetToBegin();
    while (c.Next() == DBIERR_NONE) {
        c.GetRecord(rec);
        checksum += *rec.GetNumber(0) + *rec.GetNumber(4) + *rec.GetNumber(5) + *rec.GetNumber(8);
        textBytes += rec.GetText(1).size() + rec.GetText(2).size() + rec.GetText(3).size();
        checksum += rec.GetDate(6)->Day + (*rec.GetLogical(7) ? 1 : 0);
        if (!rec.IsNull(9)) textBytes += rec.GetMemo(9).size();
        ++seen;
    }
    if (seen != n) std::fprintf(stderr, "engine scan saw %ld records, expected %ld\n", seen, n);
    checksum += double(textBytes);
    return Since(t0);
}

// What a data grid does on every scroll: asks for the record count, then reads the rows it
// shows. The top row moves a few rows per scroll (down, or up from the end) and wraps.
double EngineGridScroll(const std::string& path, long scrolls, bool exclusive, bool up, double& checksum) {
    const uint32_t kRows = 40;
    auto t = TDbfTable::Open(path, {.Exclusive = exclusive});
    TDbfCursor c(t);
    TDbfRecord rec(t);
    checksum = 0;
    auto t0 = Clock::now();
    for (long s = 0; s < scrolls; ++s) {
        uint32_t count = c.RecordCount();
        uint32_t span = count > kRows ? count - kRows : 1;
        uint32_t step = uint32_t((s * 3) % span);
        uint32_t top = up ? span - step : 1 + step;
        if (c.SetToRecordNo(top) != DBIERR_NONE) break;
        for (uint32_t row = 0; row < kRows && c.GetRecord(rec) == DBIERR_NONE; ++row) {
            checksum += double(rec.GetText(1).size());
            c.Next();
        }
    }
    return Since(t0);
}

void Check(int rc, sqlite3* db, const char* what) {
    if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW) {
        std::fprintf(stderr, "sqlite %s: %s\n", what, sqlite3_errmsg(db));
        std::exit(1);
    }
}

// perRowCommit: every row its own transaction (what a posted record means here), with
// synchronous=OFF so neither side syncs to stable storage; otherwise one transaction for all.
double SqliteAppend(const std::string& path, long n, bool perRowCommit) {
    ::unlink(path.c_str());
    auto t0 = Clock::now();
    sqlite3* db = nullptr;
    Check(sqlite3_open(path.c_str(), &db), db, "open");
    Check(sqlite3_exec(db, "PRAGMA synchronous=OFF", nullptr, nullptr, nullptr), db, "pragma");
    Check(sqlite3_exec(db, "CREATE TABLE t(id INTEGER, name TEXT, city TEXT, code TEXT, amount REAL, qty INTEGER,"
                           " born TEXT, active INTEGER, rate REAL, notes TEXT, pad TEXT)", nullptr, nullptr, nullptr), db, "create");
    if (!perRowCommit) Check(sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr), db, "begin");
    sqlite3_stmt* st = nullptr;
    Check(sqlite3_prepare_v2(db, "INSERT INTO t VALUES(?,?,?,?,?,?,?,?,?,?,NULL)", -1, &st, nullptr), db, "prepare");
    Row r;
    char date[16];
    for (long i = 1; i <= n; ++i) {
        MakeRow(i, r);
        std::snprintf(date, sizeof date, "%04d-%02d-%02d", r.born.Year, r.born.Month, r.born.Day);
        sqlite3_bind_int64(st, 1, r.id);
        sqlite3_bind_text(st, 2, r.name, -1, SQLITE_STATIC);
        sqlite3_bind_text(st, 3, r.city, -1, SQLITE_STATIC);
        sqlite3_bind_text(st, 4, r.code, -1, SQLITE_STATIC);
        sqlite3_bind_double(st, 5, r.amount);
        sqlite3_bind_int(st, 6, r.qty);
        sqlite3_bind_text(st, 7, date, -1, SQLITE_STATIC);
        sqlite3_bind_int(st, 8, r.active);
        sqlite3_bind_double(st, 9, r.rate);
        if (r.notes.empty()) sqlite3_bind_null(st, 10);
        else sqlite3_bind_text(st, 10, r.notes.c_str(), int(r.notes.size()), SQLITE_STATIC);
        Check(sqlite3_step(st), db, "insert");
        sqlite3_reset(st);
    }
    sqlite3_finalize(st);
    if (!perRowCommit) Check(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), db, "commit");
    sqlite3_close(db);
    return Since(t0);
}

double SqliteScan(const std::string& path, long n, double& checksum) {
    auto t0 = Clock::now();
    sqlite3* db = nullptr;
    Check(sqlite3_open(path.c_str(), &db), db, "open");
    sqlite3_stmt* st = nullptr;
    Check(sqlite3_prepare_v2(db, "SELECT * FROM t", -1, &st, nullptr), db, "prepare");
    long seen = 0;
    size_t textBytes = 0;
    checksum = 0;
    while (sqlite3_step(st) == SQLITE_ROW) {
        checksum += double(sqlite3_column_int64(st, 0)) + sqlite3_column_double(st, 4) + sqlite3_column_int(st, 5) +
                    sqlite3_column_double(st, 8);
        for (int c : {1, 2, 3, 6, 9})
            if (const unsigned char* s = sqlite3_column_text(st, c)) textBytes += std::strlen(reinterpret_cast<const char*>(s));
        checksum += sqlite3_column_int(st, 7);
        ++seen;
    }
    sqlite3_finalize(st);
    sqlite3_close(db);
    if (seen != n) std::fprintf(stderr, "sqlite scan saw %ld records\n", seen);
    checksum += double(textBytes);
    return Since(t0);
}

// dbfread parses every field of every record, memos included.
double DbfreadScan(const std::string& path, long n) {
    std::string cmd = "/usr/bin/python3 -c \"import dbfread,sys\nn=0\nfor r in dbfread.DBF(sys.argv[1]): n+=1\nprint(n)\" '" + path + "'";
    auto t0 = Clock::now();
    FILE* p = popen(cmd.c_str(), "r");
    long seen = -1;
    if (!p || std::fscanf(p, "%ld", &seen) != 1) seen = -1;
    if (p) pclose(p);
    double s = Since(t0);
    if (seen != n) std::fprintf(stderr, "dbfread saw %ld records, expected %ld\n", seen, n);
    return s;
}

}  // namespace

int main(int argc, char** argv) {
    long n = benchutil::RecordCount(argc, argv);
    const std::string dir = benchutil::WorkDir(argc, argv, "dbf");
    const std::string dbf = dir + "/bench.dbf", dbfShared = dir + "/shared.dbf", db = dir + "/bench.sqlite",
                      dbRows = dir + "/rows.sqlite";
    long nRows = std::max(1L, n / 10);

    std::printf("records: %ld (about 100 bytes each, a memo on every tenth), directory %s\n", n, dir.c_str());
    double eAppX = EngineAppend(dbf, n, true);
    double eAppS = EngineAppend(dbfShared, n, false);
    double eSum = 0, sSum = 0;
    double eScan = EngineScan(dbf, n, eSum);
    double sApp = SqliteAppend(db, n, false);
    double sAppRows = SqliteAppend(dbRows, nRows, true);
    double sScan = SqliteScan(db, n, sSum);
    double pyScan = DbfreadScan(dbf, n);
    const long scrolls = 20000;
    double gSum = 0;
    double gridShared = EngineGridScroll(dbfShared, scrolls, false, false, gSum);
    double gridSharedUp = EngineGridScroll(dbfShared, scrolls, false, true, gSum);
    double gridExcl = EngineGridScroll(dbfShared, scrolls, true, false, gSum);

    auto us = [&](double s, long count) { return s / double(count) * 1e6; };
    std::printf("\n%-52s %10s %12s\n", "", "seconds", "us/record");
    std::printf("%-52s %10.3f %12.3f\n", "engine append (exclusive open)", eAppX, us(eAppX, n));
    std::printf("%-52s %10.3f %12.3f\n", "engine append (shared open, write lock per record)", eAppS, us(eAppS, n));
    std::printf("%-52s %10.3f %12.3f\n", "sqlite insert (one transaction)", sApp, us(sApp, n));
    std::printf("%-52s %10.3f %12.3f\n", ("sqlite insert (a commit per row, " + std::to_string(nRows) + " rows)").c_str(), sAppRows, us(sAppRows, nRows));
    std::printf("%-52s %10.3f %12.3f\n", "engine full scan (all fields, memos)", eScan, us(eScan, n));
    std::printf("%-52s %10.3f %12.3f\n", "sqlite full scan (all columns)", sScan, us(sScan, n));
    std::printf("%-52s %10.3f %12.3f\n", "python3-dbfread full scan (same .dbf)", pyScan, us(pyScan, n));
    std::printf("%-52s %10.3f %12.3f\n", ("engine grid scroll, shared open (" + std::to_string(scrolls) + " scrolls)").c_str(),
                gridShared, us(gridShared, scrolls));
    std::printf("%-52s %10.3f %12.3f\n", "engine grid scroll up, shared open", gridSharedUp, us(gridSharedUp, scrolls));
    std::printf("%-52s %10.3f %12.3f\n", "engine grid scroll, exclusive open (no refresh)", gridExcl, us(gridExcl, scrolls));
    std::printf("  (grid scroll: record count + 40 visible rows; the last column is us per scroll)\n");
    std::printf("\nratios (other / engine; above 1 means the engine is faster)\n");
    std::printf("  append vs sqlite one transaction:   %6.2f\n", sApp / eAppX);
    std::printf("  append vs sqlite commit per row:    %6.2f  (per record, shared open)\n", us(sAppRows, nRows) / us(eAppS, n));
    std::printf("  scan vs sqlite:                     %6.2f\n", sScan / eScan);
    std::printf("  scan vs python3-dbfread:            %6.2f\n", pyScan / eScan);
    std::printf("  file sizes: .dbf+.dbt %.1f MB, sqlite %.1f MB\n",
                double(FileSizeOf(dbf) + FileSizeOf(dir + "/bench.dbt")) / 1e6, double(FileSizeOf(db)) / 1e6);
    if (argc <= 2) {
        std::string rm = "rm -rf '" + dir + "'";
        if (std::system(rm.c_str()) != 0) return 1;
    }
    return 0;
}
