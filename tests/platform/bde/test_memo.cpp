// Memo files: dBase III and IV layouts, freed-block reuse, both length conventions, FoxPro
// reading, and damaged pointers, lengths and block sizes.
#include "bde_test_util.h"

using namespace bde;
using bdetest::ErrorCodeOf;
using bdetest::ReadFile;
using bdetest::TempDir;
using bdetest::WriteFile;

namespace {

void PutLE32(std::string& s, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) s[at + i] = char(v >> (8 * i));
}

std::shared_ptr<TDbfTable> MemoTable(const TempDir& dir, int level, std::vector<std::string> memos) {
    TDbfCreateOptions o;
    o.Level = level;
    TDbfTable::Create(dir / "m.dbf", {{"ID", 'N', 4}, {"NOTES", 'M'}}, o);
    auto t = TDbfTable::Open(dir / "m.dbf");
    int id = 1;
    for (auto& m : memos) {
        TDbfRecord r(t);
        r.SetNumber(0, id++);
        r.SetMemo(1, m);
        t->Post(r);
    }
    return t;
}

}  // namespace

TEST(Memo, DbaseThreeBlocksAndTerminator) {
    TempDir dir;
    std::string big(1000, 'x');
    auto t = MemoTable(dir, 3, {"short", big, ""});
    TDbfRecord r(t);
    r.Load(1);
    EXPECT_EQ(r.MemoBlock(1), 1u);
    r.Load(2);
    EXPECT_EQ(r.MemoBlock(1), 2u);
    EXPECT_EQ(r.GetMemo(1), big);
    r.Load(3);
    EXPECT_TRUE(r.IsNull(1));
    std::string f = ReadFile(dir / "m.dbt");
    EXPECT_EQ(f.size(), 512u * 4);  // header, one block, two blocks
    EXPECT_EQ(f.substr(512, 7), std::string("short\x1A\x1A"));
    EXPECT_EQ(uint8_t(f[0]), 4);   // next free block
    // 0x1A ends a dBase III memo, so it cannot be stored inside one.
    EXPECT_EQ(ErrorCodeOf([&] { r.SetMemoRaw(1, "a\x1A" "b"); }), DBIERR_INVALIDFLDXFORM);
}

TEST(Memo, DbaseFourReusesFreedBlocks) {
    TempDir dir;
    auto t = MemoTable(dir, 4, {std::string(1500, 'a'), "small"});
    std::string f = ReadFile(dir / "m.dbt");
    EXPECT_EQ(f.size(), 512u * 5);
    EXPECT_EQ(f.substr(512, 4), std::string("\xFF\xFF\x08\x00", 4));
    EXPECT_EQ(uint8_t(f[516]) | uint8_t(f[517]) << 8, 1500 + 8);  // the length counts the header
    TDbfRecord r(t);
    r.Load(1);
    ASSERT_EQ(r.MemoBlock(1), 1u);
    r.SetMemo(1, "replaced");  // new blocks first, then the old three are freed
    t->Post(r);
    r.Load(1);
    EXPECT_EQ(r.GetMemo(1), "replaced");
    EXPECT_EQ(r.MemoBlock(1), 5u);
    // The next memo takes the freed run; the rest of the run stays free for the one after.
    TDbfRecord n(t);
    n.SetMemo(1, std::string(600, 'b'));
    t->Post(n);
    EXPECT_EQ(n.MemoBlock(1), 1u);
    TDbfRecord m(t);
    m.SetMemo(1, "c");
    t->Post(m);
    EXPECT_EQ(m.MemoBlock(1), 3u);
    EXPECT_EQ(ReadFile(dir / "m.dbt").size(), 512u * 6);
    // Every memo still reads back.
    const char* expect[] = {"replaced", "small", nullptr, "c"};
    for (uint32_t i = 1; i <= 4; ++i) {
        TDbfRecord x(t);
        x.Load(i);
        if (expect[i - 1]) EXPECT_EQ(x.GetMemo(1), expect[i - 1]) << i;
        else EXPECT_EQ(x.GetMemo(1), std::string(600, 'b'));
    }
    // Clearing a memo frees its blocks too.
    r.SetNull(1);
    t->Post(r);
    TDbfRecord y(t);
    y.SetMemo(1, "reuse");
    t->Post(y);
    EXPECT_EQ(y.MemoBlock(1), 5u);
    // A copy of a record gets memo blocks of its own: freeing the original's keeps the copy's.
    TDbfRecord copy(t);
    copy.Load(2);
    copy.MakeNew();
    t->Post(copy);
    EXPECT_NE(copy.MemoBlock(1), 4u);
    TDbfRecord orig(t);
    orig.Load(2);
    EXPECT_EQ(orig.MemoBlock(1), 4u);
    orig.SetMemo(1, std::string(2000, 'q'));
    t->Post(orig);
    TDbfRecord z(t);
    z.SetMemo(1, "takes the freed block");
    t->Post(z);
    EXPECT_EQ(z.MemoBlock(1), 4u);
    copy.Load(copy.RecNo());
    EXPECT_EQ(copy.GetMemo(1), "small");
}

TEST(Memo, DbaseFourReadsBothLengthConventions) {
    TempDir dir;
    auto t = MemoTable(dir, 4, {"0123456789"});
    t.reset();
    std::string f = ReadFile(dir / "m.dbt");
    // Another writer's convention: the length counts the data only, and no terminator follows.
    PutLE32(f, 516, 10);
    f[512 + 8 + 10] = 'Z';
    f[512 + 8 + 11] = 'Z';
    WriteFile(dir / "m.dbt", f);
    t = TDbfTable::Open(dir / "m.dbf");
    TDbfRecord r(t);
    r.Load(1);
    EXPECT_EQ(r.GetMemo(1), "0123456789");
    // Ours: header counted, 0x1F after the data.
    f[512 + 8 + 10] = 0x1F;
    PutLE32(f, 516, 18);
    WriteFile(dir / "m.dbt", f);
    r.Load(1);
    EXPECT_EQ(r.GetMemo(1), "0123456789");
}

TEST(Memo, DamagedValuesGiveAnErrorForThatValue) {
    TempDir dir;
    for (int level : {3, 4}) {
        auto t = MemoTable(dir, level, {"fine", "also fine"});
        t.reset();
        std::string dbt = ReadFile(dir / "m.dbt");
        std::string dbf = ReadFile(dir / "m.dbf");
        uint16_t hl = uint8_t(dbf[8]) | uint8_t(dbf[9]) << 8;
        uint16_t rl = uint8_t(dbf[10]) | uint8_t(dbf[11]) << 8;
        size_t ptr2 = hl + rl + 1 + 4;  // second record's memo pointer
        auto setPointer = [&](const std::string& text) {
            std::string b = dbf;
            b.replace(ptr2, 10, text);
            WriteFile(dir / "m.dbf", b);
        };
        auto readSecond = [&] {
            auto tt = TDbfTable::Open(dir / "m.dbf");
            TDbfRecord r(tt);
            r.Load(2);
            return r.GetMemo(1);
        };
        setPointer("      9999");
        EXPECT_EQ(ErrorCodeOf([&] { readSecond(); }), DBIERR_MEMOCORRUPT) << level;
        setPointer("     12x34");
        EXPECT_EQ(ErrorCodeOf([&] { readSecond(); }), DBIERR_MEMOCORRUPT) << level;
        setPointer(dbf.substr(ptr2, 10));
        {
            // The first record stays readable while the second is damaged.
            auto tt = TDbfTable::Open(dir / "m.dbf");
            TDbfRecord r(tt);
            r.Load(1);
            EXPECT_EQ(r.GetMemo(1), "fine");
        }
        if (level == 4) {
            std::string b = dbt;
            PutLE32(b, 1024 + 4, 0x7FFFFFF0);  // a length far beyond the file
            WriteFile(dir / "m.dbt", b);
            EXPECT_EQ(ErrorCodeOf([&] { readSecond(); }), DBIERR_MEMOCORRUPT);
            b = dbt;
            b[1024] = 'j';  // no block header
            WriteFile(dir / "m.dbt", b);
            EXPECT_EQ(ErrorCodeOf([&] { readSecond(); }), DBIERR_MEMOCORRUPT);
            for (int bs : {0, 1}) {
                b = dbt;
                b[20] = char(bs);
                b[21] = 0;
                WriteFile(dir / "m.dbt", b);
                EXPECT_EQ(ErrorCodeOf([&] { TDbfTable::Open(dir / "m.dbf"); }), DBIERR_MEMOCORRUPT) << bs;
            }
        }
        ::unlink((dir / "m.dbt").c_str());
        EXPECT_EQ(ErrorCodeOf([&] { TDbfTable::Open(dir / "m.dbf"); }), DBIERR_BLOBFILEMISSING);
        ::unlink((dir / "m.dbf").c_str());
    }
}

TEST(Memo, FoxProMemoFileReads) {
    TempDir dir;
    // A FoxPro table: header, one memo field with a 4-byte pointer, and a .FPT with 64-byte blocks.
    std::string h(32, '\0');
    h[0] = 0x30;
    h[4] = 1;
    uint16_t hl = 32 + 32 + 1 + 263, rl = 1 + 4;
    h[8] = char(hl & 0xFF); h[9] = char(hl >> 8);
    h[10] = char(rl);
    h[29] = 0x03;
    std::string d(32, '\0');
    d.replace(0, 5, "NOTES");
    d[11] = 'M';
    d[16] = 4;
    std::string dbf = h + d + "\x0D" + std::string(263, '\0');
    dbf += " ";
    dbf += std::string("\x08\0\0\0", 4);  // block 8 * 64 = 512
    dbf += "\x1A";
    WriteFile(dir / "f.dbf", dbf);
    std::string fpt(512, '\0');
    fpt[3] = 10;   // next free block (big-endian)
    fpt[7] = 64;   // block size 64 (big-endian)
    std::string block("\0\0\0\x01\0\0\0\x05", 8);
    fpt += block + "hello";
    fpt.resize(640, '\0');
    WriteFile(dir / "f.fpt", fpt);
    auto t = TDbfTable::Open(dir / "f.dbf");
    EXPECT_EQ(t->MemoKind(), TMemoKind::Fpt);
    TDbfRecord r(t);
    r.Load(1);
    EXPECT_EQ(r.GetMemo(0), "hello");
    t.reset();
    fpt[512 + 7] = char(200);  // length beyond the file
    WriteFile(dir / "f.fpt", fpt);
    t = TDbfTable::Open(dir / "f.dbf");
    r = TDbfRecord(t);
    r.Load(1);
    EXPECT_EQ(ErrorCodeOf([&] { r.GetMemo(0); }), DBIERR_MEMOCORRUPT);
    t.reset();
    fpt[7] = 0;  // block size 0
    WriteFile(dir / "f.fpt", fpt);
    EXPECT_EQ(ErrorCodeOf([&] { TDbfTable::Open(dir / "f.dbf"); }), DBIERR_MEMOCORRUPT);
}
