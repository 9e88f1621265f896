// Indexes beside SQLite on the same data: building an .MDX tag on a character and on a numeric
// field against CREATE INDEX, 10,000 random seeks against indexed lookups, key-number and
// relative-position jumps against ORDER BY ... LIMIT 1 OFFSET n, opening a table and reading its
// first 50 records in natural and in index order, and batched appends against one insert
// transaction. Ratios are engine time / SQLite time.
// Usage: bench_index [records] [directory]   (default 1000000 records in a temporary directory)
#include <sqlite3.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "bench_util.h"
#include "bde/cursor.h"
#include "bde/dbftable.h"
#include "bde/index.h"

using namespace bde;
using Clock = std::chrono::steady_clock;

namespace {

double Since(Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); }

void Check(int rc, sqlite3* db, const char* what) {
    if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW) {
        std::fprintf(stderr, "sqlite %s: %s\n", what, sqlite3_errmsg(db));
        std::exit(1);
    }
}

std::string NameOf(long i) {
    static const char* first[] = {"Smith", "Jones", "Brown", "Miller", "Adams", "Olsen", "Berg", "Dahl"};
    return std::string(first[(i * 31) % 8]) + " " + std::to_string((i * 7919) % 1000003);
}

void Row(long i, std::string& name, long& qty, std::string& city) {
    name = NameOf(i);
    qty = (i * 104729) % 100000;
    city = i % 3 ? "Lisboa" : "Oslo";
}

void Report(const char* what, double ours, double theirs) {
    if (theirs <= 0) {
        std::printf("%-44s %10.4f s %12s %9s\n", what, ours, "-", "-");
        return;
    }
    std::printf("%-44s %10.4f s %10.4f s %8.2fx\n", what, ours, theirs, ours / theirs);
}

}  // namespace

int main(int argc, char** argv) {
    long n = benchutil::RecordCount(argc, argv);
    const std::string dir = benchutil::WorkDir(argc, argv, "index");
    const std::string dbf = dir + "/t.dbf", db = dir + "/t.sqlite";
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    std::printf("%ld records in %s\n%-44s %12s %12s %9s\n", n, dir.c_str(), "", "engine", "sqlite", "ratio");

    // ---- batched appends: one batch (the header count once) against one transaction
    TDbfTable::Create(dbf, {{"NAME", 'C', 20}, {"CITY", 'C', 15}, {"QTY", 'N', 8}, {"AMOUNT", 'N', 10, 2}}, {.Replace = true});
    std::string name, city;
    long qty;
    double ours, theirs;
    {
        auto t = TDbfTable::Open(dbf, {.Exclusive = true});
        TDbfRecord rec(t);
        auto c = Clock::now();
        t->BeginBatch();
        for (long i = 1; i <= n; ++i) {
            Row(i, name, qty, city);
            rec.Clear();
            rec.SetText(0, name);
            rec.SetText(1, city);
            rec.SetNumber(2, double(qty));
            rec.SetNumber(3, double(qty) / 7);
            t->Post(rec);
        }
        t->EndBatch();
        ours = Since(c);
    }
    ::unlink(db.c_str());
    sqlite3* s = nullptr;
    Check(sqlite3_open(db.c_str(), &s), s, "open");
    {
        auto c = Clock::now();
        Check(sqlite3_exec(s, "PRAGMA synchronous=OFF; CREATE TABLE t(name TEXT, city TEXT, qty INTEGER, amount REAL); BEGIN",
                           nullptr, nullptr, nullptr), s, "create");
        sqlite3_stmt* st = nullptr;
        Check(sqlite3_prepare_v2(s, "INSERT INTO t VALUES(?,?,?,?)", -1, &st, nullptr), s, "prepare");
        for (long i = 1; i <= n; ++i) {
            Row(i, name, qty, city);
            sqlite3_bind_text(st, 1, name.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_text(st, 2, city.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_int64(st, 3, qty);
            sqlite3_bind_double(st, 4, double(qty) / 7);
            Check(sqlite3_step(st), s, "insert");
            sqlite3_reset(st);
        }
        sqlite3_finalize(st);
        Check(sqlite3_exec(s, "COMMIT", nullptr, nullptr, nullptr), s, "commit");
        theirs = Since(c);
    }
    Report("batched append", ours, theirs);

    // ---- index builds
    {
        auto t = TDbfTable::Open(dbf, {.Exclusive = true});
        TIndexTagDef d;
        d.Name = "NAME";
        d.Expression = "NAME";
        auto c = Clock::now();
        t->AddTag(d);
        ours = Since(c);
        c = Clock::now();
        Check(sqlite3_exec(s, "CREATE INDEX tn ON t(name)", nullptr, nullptr, nullptr), s, "index");
        theirs = Since(c);
        Report("index build, character field", ours, theirs);
        d.Name = "QTY";
        d.Expression = "QTY";
        c = Clock::now();
        t->AddTag(d);
        ours = Since(c);
        c = Clock::now();
        Check(sqlite3_exec(s, "CREATE INDEX tq ON t(qty)", nullptr, nullptr, nullptr), s, "index");
        theirs = Since(c);
        Report("index build, numeric field", ours, theirs);
    }

    // ---- opening and the first 50 records
    {
        auto c = Clock::now();
        auto t = TDbfTable::Open(dbf, {.ReadOnly = true});
        TDbfCursor cur(t);
        TDbfRecord rec(t);
        int got = 0;
        for (DBIResult r = cur.First(); r == DBIERR_NONE && got < 50; r = cur.Next(), ++got) cur.GetRecord(rec);
        ours = Since(c);
        c = Clock::now();
        sqlite3* s2 = nullptr;
        sqlite3_open(db.c_str(), &s2);
        sqlite3_stmt* st = nullptr;
        Check(sqlite3_prepare_v2(s2, "SELECT * FROM t LIMIT 50", -1, &st, nullptr), s2, "prepare");
        while (sqlite3_step(st) == SQLITE_ROW) {
        }
        sqlite3_finalize(st);
        sqlite3_close(s2);
        theirs = Since(c);
        Report("open + first 50 records, natural order", ours, theirs);
        c = Clock::now();
        auto t2 = TDbfTable::Open(dbf, {.ReadOnly = true});
        TDbfCursor cur2(t2);
        cur2.SetOrder(t2->FindTag("NAME"));
        TDbfRecord rec2(t2);
        got = 0;
        for (DBIResult r = cur2.First(); r == DBIERR_NONE && got < 50; r = cur2.Next(), ++got) cur2.GetRecord(rec2);
        ours = Since(c);
        c = Clock::now();
        sqlite3_open(db.c_str(), &s2);
        Check(sqlite3_prepare_v2(s2, "SELECT * FROM t ORDER BY name LIMIT 50", -1, &st, nullptr), s2, "prepare");
        while (sqlite3_step(st) == SQLITE_ROW) {
        }
        sqlite3_finalize(st);
        sqlite3_close(s2);
        theirs = Since(c);
        Report("open + first 50 records, index order", ours, theirs);
    }

    // ---- seeks and jumps
    {
        auto t = TDbfTable::Open(dbf, {.ReadOnly = true});
        TDbfCursor cur(t);
        cur.SetOrder(t->FindTag("NAME"));
        TDbfRecord rec(t);
        std::mt19937 rng(5);
        std::vector<long> picks(10000);
        for (long& p : picks) p = 1 + long(rng() % uint32_t(n));
        auto c = Clock::now();
        long found = 0;
        for (long p : picks) {
            std::string key = cur.GetOrder()->EncodeText(NameOf(p));
            if (cur.Seek(key, TDbfCursor::TSeekMode::Exact) == DBIERR_NONE) {
                cur.GetRecord(rec);
                ++found;
            }
        }
        ours = Since(c);
        sqlite3_stmt* st = nullptr;
        Check(sqlite3_prepare_v2(s, "SELECT * FROM t WHERE name = ? LIMIT 1", -1, &st, nullptr), s, "prepare");
        c = Clock::now();
        long found2 = 0;
        for (long p : picks) {
            std::string k = NameOf(p);
            sqlite3_bind_text(st, 1, k.c_str(), -1, SQLITE_TRANSIENT);
            if (sqlite3_step(st) == SQLITE_ROW) ++found2;
            sqlite3_reset(st);
        }
        theirs = Since(c);
        sqlite3_finalize(st);
        Report("10,000 random seeks (with the record)", ours, theirs);
        const double perSeek = ours / 10000 * 1e6;
        if (found != found2) std::printf("  (found %ld against %ld)\n", found, found2);

        // Key-number jumps: SQLite has no key numbers; OFFSET walks the index, so it gets 100
        // jumps and its time is scaled to 10,000.
        const int sqliteJumps = n > 2000000 ? 20 : 100;
        c = Clock::now();
        for (long p : picks) {
            cur.SetToKeyNumber(uint32_t(p));
            cur.GetRecord(rec);
        }
        ours = Since(c);
        Check(sqlite3_prepare_v2(s, "SELECT * FROM t ORDER BY name LIMIT 1 OFFSET ?", -1, &st, nullptr), s, "prepare");
        c = Clock::now();
        for (int i = 0; i < sqliteJumps; ++i) {
            sqlite3_bind_int64(st, 1, picks[size_t(i)] - 1);
            sqlite3_step(st);
            sqlite3_reset(st);
        }
        theirs = Since(c) * (10000.0 / sqliteJumps);
        sqlite3_finalize(st);
        Report("10,000 key-number jumps (sqlite: OFFSET)", ours, theirs);
        const double perJump = ours / 10000 * 1e6;
        c = Clock::now();
        double sum = 0;
        for (long p : picks) {
            cur.SetRelativePosition(double(p) / double(n));
            sum += cur.GetRelativePosition();
        }
        ours = Since(c);
        Report("10,000 relative-position jumps + reads", ours, 0);
        std::printf("  per seek %.2f us, per key-number jump %.2f us, per relative jump %.2f us (mean position %.3f)\n", perSeek,
                    perJump, ours / 10000 * 1e6, sum / 10000);
    }

    // ---- pack after deleting 10 %, with both tags maintained
    {
        auto t = TDbfTable::Open(dbf, {.Exclusive = true});
        auto c = Clock::now();
        t->BeginBatch();
        for (long i = 1; i <= n; i += 10) t->SetDeleted(uint32_t(i), true);
        t->EndBatch();
        const double deleting = Since(c);
        c = Clock::now();
        t->Pack();
        ours = Since(c);
        c = Clock::now();
        Check(sqlite3_exec(s, "DELETE FROM t WHERE rowid % 10 = 1; VACUUM", nullptr, nullptr, nullptr), s, "vacuum");
        theirs = Since(c);
        Report("pack after deleting 10 % (two tags)", ours, theirs);
        std::printf("  (deleting 10 %% in one batch: %.4f s; sqlite's time includes its DELETE)\n", deleting);
    }
    sqlite3_close(s);
    if (argc <= 2) {
        for (const char* f : {"/t.dbf", "/t.mdx", "/t.sqlite"}) ::unlink((dir + f).c_str());
        ::rmdir(dir.c_str());
    }
    return 0;
}
