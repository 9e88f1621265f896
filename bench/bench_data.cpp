// The dataset layer beside the raw engine cursor on the same table: a walk with Next through
// every record, and random page jumps (MoveBy of plus or minus one page) with a link of one
// page of buffers; each reads the record bytes the same way. Also the time to open the table
// and show the first page through a link, for a small and the large table (flat in size).
// Usage: bench_data [records] [directory]   (default 1000000 records in a temporary directory)
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "bench_util.h"
#include "bde/cursor.h"
#include "bde/dbftable.h"
#include "data/dbtables.h"

using Clock = std::chrono::steady_clock;
using namespace vcl;

namespace {

double Since(Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); }

constexpr int kPage = 30;

void MakeTable(const std::string& path, long count) {
    bde::TDbfCreateOptions o;
    o.Replace = true;
    bde::TDbfTable::Create(path, {{"NAME", 'C', 20}, {"NUM", 'N', 9}, {"AMT", 'N', 12, 2}, {"BORN", 'D'}, {"OK", 'L'}}, o);
    auto t = bde::TDbfTable::Open(path, {.Exclusive = true});
    bde::TDbfRecord r(t);
    for (long i = 1; i <= count; ++i) {
        r.MakeNew();
        r.SetText(0, "Customer " + std::to_string(i * 7919 % 1000003));
        r.SetNumber(1, double(i));
        r.SetNumber(2, double(i % 100000) * 1.25);
        r.SetDate(3, bde::TDbfDate{1950 + int(i % 60), 1 + int(i % 12), 1 + int(i % 28)});
        r.SetLogical(4, i % 3 != 0);
        t->AppendRecord(r.Data());
    }
}

class TPageLink : public TDataLink {
    DBV_LOCAL_CLASS(TPageLink, TDataLink)
public:
    long Events = 0;

protected:
    void DataSetChanged() override { ++Events; }
    void DataSetScrolled(int) override { ++Events; }
};

struct TOpened {
    TOwned<TComponent> owner = MakeOwned<TComponent>(nullptr);
    TTable* table = nullptr;
    TOwned<TPageLink> link = MakeOwned<TPageLink>();
    TOpened(const std::string& dir, const std::string& name) {
        table = Create<TTable>(owner.get());
        table->SetDatabaseName(dir);
        table->SetTableName(name);
        auto* src = Create<TDataSource>(owner.get());
        src->SetDataSet(table);
        link->SetBufferCount(kPage);
        link->SetDataSource(src);
    }
    ~TOpened() { link->SetDataSource(nullptr); }
};

}  // namespace

int main(int argc, char** argv) {
    long count = benchutil::RecordCount(argc, argv);
    const std::string dir = benchutil::WorkDir(argc, argv, "data");
    std::string big = dir + "/big.dbf", small = dir + "/small.dbf";
    auto t0 = Clock::now();
    MakeTable(big, count);
    MakeTable(small, 1000);
    std::printf("built %ld records in %.2f s\n", count, Since(t0));

    // Next through every record.
    double raw, layer;
    long checksum = 0;
    {
        auto table = bde::TDbfTable::Open(big);
        bde::TDbfCursor c(table);
        std::vector<uint8_t> buf(table->RecordLength());
        auto t = Clock::now();
        c.SetToBegin();
        while (c.Next() == bde::DBIERR_NONE) {
            table->ReadRecord(c.RecNo(), buf.data());
            checksum += buf[1];
        }
        raw = Since(t);
    }
    {
        TOpened o(dir, "big.dbf");
        o.table->Open();
        auto t = Clock::now();
        while (!o.table->GetEOF()) {
            checksum += o.table->ActiveBuffer()[1];
            o.table->Next();
        }
        layer = Since(t);
    }
    std::printf("Next through %ld records: cursor %.3f s, dataset %.3f s, ratio %.2fx\n", count, raw, layer,
                layer / raw);

    // Random page jumps: the dataset fetches a page of records into its window; the cursor
    // reads the same records one by one.
    const int jumps = 20000;
    std::mt19937 rng(42);
    std::vector<int> dirs(jumps);
    for (int& d : dirs) d = rng() % 2 ? kPage : -kPage;
    {
        auto table = bde::TDbfTable::Open(big);
        bde::TDbfCursor c(table);
        std::vector<uint8_t> buf(table->RecordLength());
        auto t = Clock::now();
        c.SetToRecordNo(uint32_t(count / 2));
        for (int d : dirs)
            for (int k = 0; k < kPage; ++k) {
                if ((d > 0 ? c.Next() : c.Prior()) != bde::DBIERR_NONE) break;
                table->ReadRecord(c.RecNo(), buf.data());
                checksum += buf[1];
            }
        raw = Since(t);
    }
    {
        TOpened o(dir, "big.dbf");
        o.table->Open();
        o.table->SetRecNo(int(count / 2));
        auto t = Clock::now();
        for (int d : dirs) {
            o.table->MoveBy(d);
            checksum += o.table->ActiveBuffer()[1];
        }
        layer = Since(t);
    }
    std::printf("%d random page jumps (MoveBy +-%d): cursor %.3f s, dataset %.3f s, ratio %.2fx\n", jumps, kPage,
                raw, layer, layer / raw);

    // Open and show the first page through a link: small table, then the large one.
    for (const char* name : {"small.dbf", "big.dbf"}) {
        const int rounds = 50;
        auto t = Clock::now();
        for (int i = 0; i < rounds; ++i) {
            TOpened o(dir, name);
            o.table->Open();
            for (int r = 0; r < o.link->GetRecordCount(); ++r) {
                o.link->SetActiveRecord(r);
                checksum += long(o.table->FieldByName("NAME")->GetAsString().size());
            }
        }
        std::printf("open + first page of %s: %.3f ms\n", name, Since(t) * 1000 / rounds);
    }
    std::printf("(checksum %ld)\n", checksum);
    if (argc <= 2) {
        std::string cmd = "rm -rf '" + dir + "'";
        (void)!std::system(cmd.c_str());
    }
    return 0;
}
