// Cursors: navigation results at the ends, record numbers, showing and hiding deleted
// records, undelete, pack (with progress and cancel) and zap.
#include "bde_test_util.h"

using namespace bde;
using bdetest::ErrorCodeOf;
using bdetest::TempDir;

namespace {

// Five records A..E with a memo each; records 2 and 4 deleted.
std::shared_ptr<TDbfTable> Letters(const TempDir& dir, int level = 4) {
    TDbfCreateOptions o;
    o.Level = level;
    TDbfTable::Create(dir / "l.dbf", {{"L", 'C', 1}, {"M", 'M'}}, o);
    auto t = TDbfTable::Open(dir / "l.dbf", {.Exclusive = true});
    for (char c = 'A'; c <= 'E'; ++c) {
        TDbfRecord r(t);
        r.SetText(0, std::string(1, c));
        r.SetMemo(1, std::string(300 * (c - 'A' + 1), c));
        t->Post(r);
    }
    t->SetDeleted(2, true);
    t->SetDeleted(4, true);
    return t;
}

std::string Walk(TDbfCursor& c, bool backwards = false) {
    std::string s;
    TDbfRecord r(c.TablePtr());
    if (backwards) {
        c.SetToEnd();
        while (c.Prior() == DBIERR_NONE) {
            c.GetRecord(r);
            s += r.GetText(0) + std::to_string(c.RecNo());
        }
    } else {
        c.SetToBegin();
        while (c.Next() == DBIERR_NONE) {
            c.GetRecord(r);
            s += r.GetText(0) + std::to_string(c.RecNo());
        }
    }
    return s;
}

}  // namespace

TEST(Cursor, NavigationCodesAndRecordNumbers) {
    TempDir dir;
    auto t = Letters(dir);
    TDbfCursor c(t);
    EXPECT_EQ(DBIERR_BOF, 8705);
    EXPECT_EQ(DBIERR_EOF, 8706);
    EXPECT_TRUE(c.Bof());
    TDbfRecord r(t);
    EXPECT_EQ(c.GetRecord(r), DBIERR_BOF);
    EXPECT_EQ(c.Prior(), DBIERR_BOF);
    EXPECT_EQ(Walk(c), "A1C3E5");
    EXPECT_EQ(c.Next(), DBIERR_EOF);
    EXPECT_EQ(c.GetRecord(r), DBIERR_EOF);
    EXPECT_EQ(Walk(c, true), "E5C3A1");
    EXPECT_EQ(c.First(), DBIERR_NONE);
    EXPECT_EQ(c.RecNo(), 1u);
    EXPECT_EQ(c.Last(), DBIERR_NONE);
    EXPECT_EQ(c.RecNo(), 5u);
    EXPECT_EQ(c.SetToRecordNo(0), DBIERR_BOF);
    EXPECT_EQ(c.SetToRecordNo(6), DBIERR_EOF);
    EXPECT_EQ(c.SetToRecordNo(3), DBIERR_NONE);
    EXPECT_EQ(c.SetToRecordNo(4), DBIERR_KEYORRECDELETED);
    EXPECT_EQ(c.RecNo(), 3u);  // stays where it was
    EXPECT_EQ(c.Next(), DBIERR_NONE);
    EXPECT_EQ(c.RecNo(), 5u);
    EXPECT_EQ(c.RecordCount(), 5u);  // the header's count, deleted records included
    EXPECT_EQ(c.ExactRecordCount(), 3u);
    EXPECT_FALSE(c.SeqNums());

    TDbfTable::Create(dir / "empty.dbf", {{"A", 'C', 1}});
    TDbfCursor e(TDbfTable::Open(dir / "empty.dbf"));
    EXPECT_EQ(e.First(), DBIERR_EOF);
    EXPECT_EQ(e.Last(), DBIERR_BOF);
}

TEST(Cursor, DeletedRecordsShownPerCursorAndUndeleted) {
    TempDir dir;
    auto t = Letters(dir);
    TDbfCursor hide(t), show(t);
    show.SetShowDeleted(true);
    EXPECT_EQ(Walk(show), "A1B2C3D4E5");
    EXPECT_EQ(Walk(hide), "A1C3E5");
    TDbfRecord r(t);
    ASSERT_EQ(show.SetToRecordNo(2), DBIERR_NONE);
    show.GetRecord(r);
    EXPECT_TRUE(r.Deleted());
    EXPECT_EQ(r.Data()[0], '*');  // the raw buffer, deletion byte first
    show.Undelete();
    EXPECT_EQ(Walk(hide), "A1B2C3E5");
    ASSERT_EQ(hide.SetToRecordNo(5), DBIERR_NONE);
    hide.Delete();
    EXPECT_EQ(Walk(hide), "A1B2C3");
    // Updating through the cursor keeps the record where it is.
    ASSERT_EQ(hide.SetToRecordNo(3), DBIERR_NONE);
    hide.GetRecord(r);
    r.SetText(0, "Z");
    hide.Modify(r);
    EXPECT_EQ(Walk(hide), "A1B2Z3");
    TDbfBlob b = hide.OpenBlob(r, 1);
    EXPECT_EQ(b.Size(), 900u);
    char buf[300];
    EXPECT_EQ(b.Read(850, 255, buf), 50u);
    EXPECT_EQ(buf[0], 'C');
    EXPECT_EQ(b.Read(900, 10, buf), 0u);
}

TEST(Cursor, PackDropsDeletedRecordsAndKeepsMemos) {
    for (int level : {3, 4}) {
        TempDir dir;
        auto t = Letters(dir, level);
        std::vector<int> seen;
        t->Pack([&](int pct, const std::string&) {
            seen.push_back(pct);
            return true;
        });
        ASSERT_FALSE(seen.empty());
        EXPECT_EQ(seen.back(), 100);
        EXPECT_EQ(t->RecordCount(), 3u);
        {
            TDbfCursor c(t);
            c.SetShowDeleted(true);
            EXPECT_EQ(Walk(c), "A1C2E3");
            TDbfRecord r(t);
            r.Load(2);
            EXPECT_EQ(r.GetMemo(1), std::string(900, 'C'));
            r.Load(3);
            EXPECT_EQ(r.GetMemo(1), std::string(1500, 'E'));
        }
        // Nothing is left behind, and the packed files open afresh.
        EXPECT_EQ(bdetest::Run("ls " + dir.Path()).Out, "l.dbf\nl.dbt\n");
        t.reset();
        auto again = TDbfTable::Open(dir / "l.dbf");
        EXPECT_EQ(again->RecordCount(), 3u);
        TDbfRecord x(again);
        x.Load(1);
        EXPECT_EQ(x.GetMemo(1), std::string(300, 'A'));
    }
}

TEST(Cursor, CancelledPackLeavesTheTableAsItWas) {
    TempDir dir;
    auto t = Letters(dir);
    const std::string before = bdetest::ReadFile(dir / "l.dbf") + bdetest::ReadFile(dir / "l.dbt");
    EXPECT_EQ(ErrorCodeOf([&] { t->Pack([](int pct, const std::string&) { return pct < 50; }); }), DBIERR_USERABORT);
    EXPECT_EQ(bdetest::ReadFile(dir / "l.dbf") + bdetest::ReadFile(dir / "l.dbt"), before);
    EXPECT_EQ(bdetest::Run("ls " + dir.Path()).Out, "l.dbf\nl.dbt\n");
    EXPECT_EQ(t->RecordCount(), 5u);
}

TEST(Cursor, PackAndZapNeedAnExclusiveOpen) {
    TempDir dir;
    Letters(dir).reset();
    auto shared = TDbfTable::Open(dir / "l.dbf");
    EXPECT_EQ(ErrorCodeOf([&] { shared->Pack(); }), DBIERR_NEEDEXCLACCESS);
    EXPECT_EQ(ErrorCodeOf([&] { shared->Zap(); }), DBIERR_NEEDEXCLACCESS);
    shared.reset();
    auto t = TDbfTable::Open(dir / "l.dbf", {.Exclusive = true});
    t->Zap();
    EXPECT_EQ(t->RecordCount(), 0u);
    EXPECT_EQ(bdetest::ReadFile(dir / "l.dbf").size(), size_t(t->HeaderLength()) + 1);
    EXPECT_EQ(bdetest::ReadFile(dir / "l.dbt").size(), 512u);
    TDbfRecord r(t);
    r.SetMemo(1, "after zap");
    EXPECT_EQ(t->Post(r), 1u);
    EXPECT_EQ(r.MemoBlock(1), 1u);
    EXPECT_EQ(ErrorCodeOf([&] { TDbfTable::Open(dir / "l.dbf", {.ReadOnly = true}); }), DBIERR_FILELOCKED);
}

TEST(Cursor, ReadAheadServesBothDirections) {
    TempDir dir;
    TDbfTable::Create(dir / "r.dbf", {{"N", 'N', 8}, {"T", 'C', 91}});  // 100-byte records
    auto t = TDbfTable::Open(dir / "r.dbf", {.Exclusive = true});
    const uint32_t total = 2000;
    for (uint32_t i = 1; i <= total; ++i) {
        TDbfRecord r(t);
        r.SetNumber(0, i);
        t->Post(r);
    }
    TDbfCursor c(t);
    TDbfRecord r(t);
    auto expectOn = [&](uint32_t n) {
        ASSERT_EQ(c.GetRecord(r), DBIERR_NONE);
        ASSERT_EQ(c.RecNo(), n);
        ASSERT_EQ(r.GetNumber(0), double(n));
    };
    const std::vector<std::pair<const char*, std::function<void()>>> walks = {
        {"forwards", [&] {
             uint32_t n = 0;
             for (DBIResult e = c.First(); e == DBIERR_NONE; e = c.Next()) expectOn(++n);
             EXPECT_EQ(n, total);
         }},
        {"backwards", [&] {
             uint32_t n = total + 1;
             for (DBIResult e = c.Last(); e == DBIERR_NONE; e = c.Prior()) expectOn(--n);
             EXPECT_EQ(n, 1u);
         }},
        {"a grid scrolled up", [&] {
             for (uint32_t top = total - 39; top >= 1 && top <= total; top -= 3) {
                 ASSERT_EQ(c.SetToRecordNo(top), DBIERR_NONE);
                 for (uint32_t row = 0; row < 40; ++row, c.Next()) expectOn(top + row);
             }
         }},
    };
    // 2000 records of 100 bytes are about three reads ahead of 64 KB; each walk may take a few
    // more, never one per record or per scroll.
    for (auto& [name, walk] : walks) {
        const uint64_t before = t->RecordReads();
        walk();
        EXPECT_LE(t->RecordReads() - before, 10u) << name;
    }
}
