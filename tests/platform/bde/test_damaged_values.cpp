// Tables whose bytes other writers left in unusual or damaged states: star-filled numbers,
// stray bytes in numeric fields, unprintable bytes in headers, named pipes in place of files,
// and tables in a code page their language byte does not name.
#include <sys/stat.h>

#include <cstring>

#include "bde_test_util.h"
#include "support/paths.h"

using namespace bde;
using bdetest::Quote;
using bdetest::ReadFile;
using bdetest::TempDir;
using bdetest::WriteFile;

namespace {

const std::string kDbv = dbvtest::BuildDir() + "/bin/dbv";

bdetest::RunResult Dbv(const std::string& args) { return bdetest::Run("timeout 20 " + kDbv + " " + args, true); }

// A table NAME C 6, QTY N 8 2 holding the given raw field bytes, one record per pair.
std::string MakeTable(TempDir& dir, const std::vector<std::pair<std::string, std::string>>& rows, int codePage = 1252) {
    std::string path = dir / "t.dbf";
    TDbfCreateOptions o;
    o.CodePage = codePage;
    o.Replace = true;
    TDbfTable::Create(path, {{"NAME", 'C', 6}, {"QTY", 'N', 8, 2}}, o);
    auto t = TDbfTable::Open(path);
    for (auto& [name, qty] : rows) {
        std::string rec = " " + name + std::string(6 - name.size(), ' ') + std::string(8 - qty.size(), ' ') + qty;
        t->AppendRecord(reinterpret_cast<const uint8_t*>(rec.data()));
    }
    return path;
}

void PatchByte(const std::string& path, size_t at, char value) {
    std::string b = ReadFile(path);
    b[at] = value;
    WriteFile(path, b);
}

}  // namespace

TEST(DamagedValues, StarFilledNumbersReadAsNullAndOtherBytesFailNamingTheRecord) {
    TempDir dir;
    std::string path = MakeTable(dir, {{"a", "12.50"}, {"b", "********"}, {"c", "**"}, {"d", ""}});
    {
        auto t = TDbfTable::Open(path, {.ReadOnly = true});
        TDbfRecord r(t);
        for (uint32_t n : {2u, 3u, 4u}) {
            r.Load(n);
            EXPECT_TRUE(r.IsNull(1)) << n;
            EXPECT_FALSE(r.GetNumber(1)) << n;
            EXPECT_EQ(r.GetText(1), "") << n;
        }
    }
    // The export is a CSV that imports again.
    auto out = Dbv("export-csv " + Quote(path));
    ASSERT_EQ(out.Status, 0) << out.Out;
    EXPECT_EQ(out.Out, "NAME,QTY\na,12.50\nb,\nc,\nd,\n");
    WriteFile(dir / "t.csv", out.Out);
    MakeTable(dir, {});
    ASSERT_EQ(Dbv("import-csv " + Quote(path) + " " + Quote(dir / "t.csv")).Status, 0);
    EXPECT_EQ(Dbv("export-csv " + Quote(path)).Out, out.Out);

    // Anything else that is not a number is a conversion error naming table, field and record,
    // with the offending bytes escaped.
    for (const std::string& bad : {std::string("1\x01" "2"), std::string("\xE9t\xE9"), std::string("12-4"), std::string("*1")}) {
        MakeTable(dir, {{"a", "1"}, {"b", bad}});
        auto r = Dbv("export-csv " + Quote(path));
        EXPECT_EQ(r.Status, 1) << r.Out;
        EXPECT_NE(r.Out.find("field QTY of record 2 of table " + path), std::string::npos) << r.Out;
        EXPECT_EQ(r.Out.find('\x01'), std::string::npos) << r.Out;
        EXPECT_EQ(r.Out.find('\xE9'), std::string::npos) << r.Out;
    }
    MakeTable(dir, {{"a", "1\x01"}});
    EXPECT_NE(Dbv("export-csv " + Quote(path)).Out.find("'1\\x01' is not a number"), std::string::npos);
}

TEST(DamagedValues, MessagesEscapeRawBytesAndNameWhere) {
    TempDir dir;
    std::string path = MakeTable(dir, {{"ok", "1"}, {std::string("x\x81"), "2"}});
    // An undefined byte of the code page: the message names the table, field and record.
    auto r = Dbv("export-csv " + Quote(path));
    EXPECT_EQ(r.Status, 1);
    EXPECT_NE(r.Out.find("field NAME of record 2 of table " + path), std::string::npos) << r.Out;
    EXPECT_NE(r.Out.find("Byte 129 at position 2 is not defined in code page 1252"), std::string::npos) << r.Out;

    // A NUL type byte, an escape in a name, and a memo field of the wrong length.
    const size_t type = 32 + 11, name2 = 64;
    PatchByte(path, type, '\0');
    r = Dbv("export-csv " + Quote(path));
    EXPECT_NE(r.Out.find("Field NAME has the type '\\x00', which this engine does not read"), std::string::npos) << r.Out;
    PatchByte(path, type, 'M');
    PatchByte(path, 32 + 16, 7);  // NAME 7 bytes, QTY 7: the record length still holds both
    PatchByte(path, 64 + 16, 7);
    PatchByte(path, name2 + 1, '\x1B');
    r = Dbv("info " + Quote(path));
    EXPECT_EQ(r.Status, 0) << r.Out;
    EXPECT_EQ(r.Out.find('\x1B'), std::string::npos) << r.Out;
    EXPECT_NE(r.Out.find("Q\\x1BY"), std::string::npos) << r.Out;
    EXPECT_NE(r.Out.find("Field NAME is a memo field of 7 bytes; memo pointers are 10 bytes"), std::string::npos) << r.Out;
    r = Dbv("export-csv " + Quote(path));
    EXPECT_NE(r.Out.find("Field NAME is a memo field of 7 bytes"), std::string::npos) << r.Out;
    EXPECT_EQ(r.Out.find("does not read"), std::string::npos) << r.Out;
}

TEST(DamagedValues, FieldNamesConvertThroughTheCodePage) {
    TempDir dir;
    std::string path = MakeTable(dir, {{"a", "1"}}, 866);
    PatchByte(path, 32, '\x88');  // cp866 'И'
    auto t = TDbfTable::Open(path, {.ReadOnly = true});
    EXPECT_EQ(t->Fields()[0].Name, "ИAME");
    EXPECT_EQ(t->FieldIndex("ИAME"), 0);
}

TEST(DamagedValues, NamedPipesAreRefusedAtOnce) {
    TempDir dir;
    std::string fifo = dir / "p.dbf";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(bdetest::ErrorCodeOf([&] { TDbfTable::Open(fifo, {.ReadOnly = true}); }), DBIERR_FILENOACCESS);
    auto r = Dbv("count " + Quote(fifo));
    EXPECT_EQ(r.Status, 1) << r.Out;  // not 124, the status of a timeout
    EXPECT_NE(r.Out.find("Not a regular file"), std::string::npos) << r.Out;

    // A pipe in place of the memo file.
    TDbfTable::Create(dir / "m.dbf", {{"NOTE", 'M'}});
    std::string memo = dir / "m.dbt";
    ::unlink(memo.c_str());
    ASSERT_EQ(::mkfifo(memo.c_str(), 0600), 0);
    r = Dbv("count " + Quote(dir / "m.dbf"));
    EXPECT_EQ(r.Status, 1) << r.Out;
}

TEST(DamagedValues, CodePageOptionReadsTablesWithoutALanguageByte) {
    TempDir dir;
    std::string path = MakeTable(dir, {{"\x8F\xE0\xA8\xA2\xA5\xE2", "1"}}, 866);  // "Привет" in cp866
    PatchByte(path, 29, '\0');
    auto r = Dbv("export-csv " + Quote(path));
    EXPECT_EQ(r.Status, 1) << r.Out;  // read as 1252, whose undefined bytes are refused
    r = Dbv("export-csv --codepage 866 " + Quote(path));
    ASSERT_EQ(r.Status, 0) << r.Out;
    EXPECT_EQ(r.Out, "NAME,QTY\nПривет,1\n");
    EXPECT_NE(Dbv("info --codepage 866 " + Quote(path)).Out.find("Code page:   866 (language byte 0x00)"), std::string::npos);
    r = Dbv("count --codepage 99999 " + Quote(path));
    EXPECT_NE(r.Status, 0);
    EXPECT_NE(r.Out.find("invalid code page"), std::string::npos) << r.Out;
}
