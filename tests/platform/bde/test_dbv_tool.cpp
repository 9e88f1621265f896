// The dbv tool, driven from outside as a user would: every command of this version, the CSV
// conventions, and errors that print one line and exit non-zero.
#include "bde_test_util.h"
#include "support/paths.h"

using bdetest::Quote;
using bdetest::RunResult;
using bdetest::TempDir;

namespace {

const std::string kDbv = dbvtest::BuildDir() + "/bin/dbv";

RunResult Dbv(const std::string& args, bool withStderr = false) { return bdetest::Run(kDbv + " " + args, withStderr); }

// Standard error only, with the exit status.
RunResult DbvErr(const std::string& args) { return bdetest::Run(kDbv + " " + args + " 2>&1 >/dev/null"); }

const char* kCsv =
    "NAME,AGE,PAY,BORN,OK,NOTES\n"
    "Anna,34,1200.5,1990-02-03,T,\"two\nlines, with comma\"\n"
    "Björn,,,,F,\n"
    "\"Zoë \"\"Z\"\"\",7,3,2019-12-31,,short\r\n";

const char* kExported =
    "NAME,AGE,PAY,BORN,OK,NOTES\n"
    "Anna,34,1200.50,1990-02-03,T,\"two\nlines, with comma\"\n"
    "Björn,,,,F,\n"
    "\"Zoë \"\"Z\"\"\",7,3.00,2019-12-31,,short\n";

}  // namespace

TEST(DbvTool, CreateImportExportRoundTrip) {
    TempDir dir;
    std::string t = Quote(dir / "people");
    ASSERT_EQ(Dbv("create " + t + " NAME:C:20 AGE:N:3:0 PAY:N:8:2 BORN:D OK:L NOTES:M").Status, 0);
    bdetest::WriteFile(dir / "in.csv", kCsv);
    ASSERT_EQ(Dbv("import-csv " + t + " " + Quote(dir / "in.csv")).Status, 0);
    auto out = Dbv("export-csv " + t);
    EXPECT_EQ(out.Status, 0);
    EXPECT_EQ(out.Out, kExported);
    // Exported text imports again to the same table contents.
    bdetest::WriteFile(dir / "again.csv", out.Out);
    ASSERT_EQ(Dbv("create " + Quote(dir / "copy") + " NAME:C:20 AGE:N:3:0 PAY:N:8:2 BORN:D OK:L NOTES:M --level 3").Status, 0);
    ASSERT_EQ(Dbv("import-csv " + Quote(dir / "copy.dbf") + " " + Quote(dir / "again.csv")).Status, 0);
    EXPECT_EQ(Dbv("export-csv " + Quote(dir / "copy")).Out, kExported);
}

TEST(DbvTool, InfoCountDeleteUndeletePackZap) {
    TempDir dir;
    std::string t = Quote(dir / "p.dbf");
    ASSERT_EQ(Dbv("create " + t + " NAME:C:20 AGE:N:3:0 PAY:N:8:2 BORN:D OK:L NOTES:M --codepage 1251").Status, 0);
    bdetest::WriteFile(dir / "in.csv", "NAME,NOTES\nЖук,мемо\nb,\nc,x\n");
    ASSERT_EQ(Dbv("import-csv " + t + " " + Quote(dir / "in.csv")).Status, 0);
    auto info = Dbv("info " + t);
    EXPECT_EQ(info.Status, 0);
    for (const char* line : {"Version:     0x8B (dBase IV with memo)\n", "Records:     3\n",
                             "Code page:   1251 (language byte 0xC9)\n", "Indexes:     none\n",
                             "  PAY        N   8 2\n", "  NOTES      M  10\n"})
        EXPECT_NE(info.Out.find(line), std::string::npos) << line << info.Out;
    EXPECT_EQ(Dbv("count " + t).Out, "3\n");
    ASSERT_EQ(Dbv("delete " + t + " --recno 2").Status, 0);
    EXPECT_EQ(Dbv("count " + t).Out, "2\n");
    EXPECT_EQ(Dbv("count " + t + " --deleted").Out, "3\n");
    EXPECT_EQ(Dbv("export-csv " + t).Out, "NAME,AGE,PAY,BORN,OK,NOTES\nЖук,,,,,мемо\nc,,,,,x\n");
    EXPECT_EQ(Dbv("export-csv " + t + " --deleted").Out, "NAME,AGE,PAY,BORN,OK,NOTES\nЖук,,,,,мемо\nb,,,,,\nc,,,,,x\n");
    ASSERT_EQ(Dbv("undelete " + t + " --recno 2").Status, 0);
    EXPECT_EQ(Dbv("count " + t).Out, "3\n");
    ASSERT_EQ(Dbv("delete " + t + " --recno 1").Status, 0);
    ASSERT_EQ(Dbv("pack " + t).Status, 0);
    EXPECT_EQ(Dbv("count " + t + " --deleted").Out, "2\n");
    EXPECT_EQ(Dbv("export-csv " + t).Out, "NAME,AGE,PAY,BORN,OK,NOTES\nb,,,,,\nc,,,,,x\n");
    ASSERT_EQ(Dbv("zap " + t).Status, 0);
    EXPECT_EQ(Dbv("count " + t + " --deleted").Out, "0\n");
}

TEST(DbvTool, FilterCountExportDeleteUndelete) {
    TempDir dir;
    std::string t = Quote(dir / "p.dbf");
    ASSERT_EQ(Dbv("create " + t + " NAME:C:20 AGE:N:3:0 PAY:N:8:2 BORN:D OK:L NOTES:M").Status, 0);
    bdetest::WriteFile(dir / "in.csv", kCsv);
    ASSERT_EQ(Dbv("import-csv " + t + " " + Quote(dir / "in.csv")).Status, 0);
    EXPECT_EQ(Dbv("count " + t + " --filter 'AGE > 5'").Out, "2\n");
    EXPECT_EQ(Dbv("count " + t + " --filter \"[NAME] = 'B*' .OR. 'lines' $ NOTES\"").Out, "2\n");
    EXPECT_EQ(Dbv("export-csv " + t + " --filter 'YEAR(BORN) > 2000'").Out,
              "NAME,AGE,PAY,BORN,OK,NOTES\n\"Zoë \"\"Z\"\"\",7,3.00,2019-12-31,,short\n");
    // delete marks every matching record; the count and export then leave them out.
    ASSERT_EQ(Dbv("delete " + t + " --filter 'EMPTY(BORN) .OR. AGE < 10'").Status, 0);
    EXPECT_EQ(Dbv("count " + t).Out, "1\n");
    EXPECT_EQ(Dbv("count " + t + " --deleted --filter 'DELETED()'").Out, "2\n");
    ASSERT_EQ(Dbv("undelete " + t + " --filter 'AGE = 7'").Status, 0);
    EXPECT_EQ(Dbv("count " + t).Out, "2\n");
    EXPECT_EQ(Dbv("export-csv " + t + " --filter 'AGE > 0'").Out.substr(0, 32), "NAME,AGE,PAY,BORN,OK,NOTES\nAnna,");
    // A filter that does not compile names the column and exits 1, as other bad input does.
    auto bad = DbvErr("count " + t + " --filter 'AGE > (1'");
    EXPECT_EQ(bad.Status, 1);
    EXPECT_EQ(bad.Out, "dbv: Syntax error at column 9: expected ')'\n");
}

TEST(DbvTool, ErrorsPrintOneLineAndFail) {
    TempDir dir;
    std::string t = Quote(dir / "e.dbf");
    ASSERT_EQ(Dbv("create " + t + " NAME:C:5 AGE:N:3:0").Status, 0);
    bdetest::WriteFile(dir / "good.csv", "NAME,AGE\nok,1\n");
    bdetest::WriteFile(dir / "toolong.csv", "NAME,AGE\nfine,2\ntoo long,3\n");
    bdetest::WriteFile(dir / "badcol.csv", "NAME,WHAT\nx,1\n");
    bdetest::WriteFile(dir / "badnum.csv", "NAME,AGE\nx,1000\n");
    bdetest::WriteFile(dir / "quote.csv", "NAME,AGE\n\"open,1\n");
    ASSERT_EQ(Dbv("import-csv " + t + " " + Quote(dir / "good.csv")).Status, 0);
    struct Case {
        std::string args;
        std::string message;
    } cases[] = {
        {"import-csv " + t + " " + Quote(dir / "toolong.csv"), "line 3: Invalid value in field NAME"},
        {"import-csv " + t + " " + Quote(dir / "badcol.csv"), "column 'WHAT' is not a field"},
        {"import-csv " + t + " " + Quote(dir / "badnum.csv"), "does not fit in 3 digits"},
        {"import-csv " + t + " " + Quote(dir / "quote.csv"), "line 2: unterminated quoted value"},
        {"import-csv " + t + " " + Quote(dir / "none.csv"), "cannot read"},
        {"export-csv " + Quote(dir / "missing"), "Table does not exist"},
        {"export-csv " + t + " --filter 'NAME = 1'", "dbv: Type mismatch at column 6: cannot compare Character with Numeric"},
        {"export-csv " + t + " --order NAME", "the table has no index tag NAME"},
        {"count " + t + " --filter 'UPPER(NAME'", "dbv: Syntax error at column 11: expected ',' or ')'"},
        {"delete " + t + " --filter 'AGE'", "a filter must be Logical, not Numeric"},
        {"undelete " + t + " --filter 'AGEX > 1'", "dbv: Unknown field at column 1: AGEX"},
        {"delete " + t + " --filter 'AGE>1' --recno 1", "give --recno or --filter, not both"},
        {"delete " + t + " --recno 9", "record 9 does not exist"},
        {"delete " + t + " --recno x", "invalid record number 'x'"},
        {"delete " + t, "--recno N or --filter EXPR is required"},
        {"seek " + t + " TAG KEY", "the table has no index tag TAG"},
        {"index add " + t + " TAG 'UPPER(NAME'", "dbv: Syntax error at column 11: expected ',' or ')'"},
        {"index add " + t + " TAG NAME --for 'AGE >'", "dbv: Syntax error at column 6"},
        {"index add " + t + " TAG 'AGE > 1'", "is logical"},
        {"index add " + t + " 'BAD NAME' NAME", "Invalid tag name"},
        {"index drop " + t + " TAG", "has no production index"},
        {"reindex " + t, "no index to rebuild"},
        {"create " + t + " A:C:5", "Table already exists"},
        {"create " + Quote(dir / "n") + " A:Q:5", "unknown field type 'Q'"},
        {"create " + Quote(dir / "n") + " A:C", "needs a length"},
        {"create " + Quote(dir / "n") + " A:C:5 --level 5", "--level must be 3 or 4"},
        {"frobnicate " + t, "unknown command 'frobnicate'"},
        {"count " + t + " --bogus", "unknown option --bogus"},
    };
    for (auto& c : cases) {
        auto r = DbvErr(c.args);
        EXPECT_NE(r.Status, 0) << c.args;
        EXPECT_EQ(std::count(r.Out.begin(), r.Out.end(), '\n'), 1) << c.args << ": " << r.Out;
        EXPECT_EQ(r.Out.rfind("dbv: ", 0), 0u) << r.Out;
        EXPECT_NE(r.Out.find(c.message), std::string::npos) << c.args << ": " << r.Out;
    }
    // A rejected import wrote nothing.
    EXPECT_EQ(Dbv("export-csv " + t).Out, "NAME,AGE\nok,1\n");
    // A table in exclusive use elsewhere is refused with a clear line.
    auto table = bde::TDbfTable::Open(dir / "e.dbf", {.Exclusive = true});
    auto r = DbvErr("count " + t);
    EXPECT_NE(r.Status, 0);
    EXPECT_NE(r.Out.find("open exclusively by another user"), std::string::npos) << r.Out;
}

TEST(DbvTool, ProgressBarOnlyOnATerminal) {
    TempDir dir;
    std::string t = Quote(dir / "big");
    ASSERT_EQ(Dbv("create " + t + " A:C:10 M:M").Status, 0);
    std::string csv = "A,M\n";
    for (int i = 0; i < 3000; ++i) csv += "r" + std::to_string(i) + ",memo " + std::to_string(i) + "\n";
    bdetest::WriteFile(dir / "big.csv", csv);
    // Without a terminal nothing but the result is printed.
    auto quiet = DbvErr("import-csv " + t + " " + Quote(dir / "big.csv"));
    EXPECT_EQ(quiet.Status, 0);
    EXPECT_EQ(quiet.Out, "");
    // On a terminal (script gives the tool a pseudo-terminal) the bar runs to 100%.
    ASSERT_EQ(Dbv("delete " + t + " --recno 5").Status, 0);
    auto tty = bdetest::Run("script -qec \"" + kDbv + " pack " + t + "\" /dev/null");
    EXPECT_EQ(tty.Status, 0);
    EXPECT_NE(tty.Out.find("Packing ["), std::string::npos) << tty.Out;
    EXPECT_NE(tty.Out.find("] 100%"), std::string::npos) << tty.Out;
    EXPECT_EQ(Dbv("count " + t).Out, "2999\n");
}

TEST(DbvTool, IndexCommandsOrderSeekAndInfo) {
    TempDir dir;
    std::string t = Quote(dir / "ix.dbf");
    ASSERT_EQ(Dbv("create " + t + " NAME:C:8 QTY:N:5:0 BORN:D").Status, 0);
    bdetest::WriteFile(dir / "in.csv", "NAME,QTY,BORN\npear,5,2001-02-03\napple,12,1999-12-31\nfig,,\nApple,7,2020-01-01\n");
    ASSERT_EQ(Dbv("import-csv " + t + " " + Quote(dir / "in.csv")).Status, 0);
    ASSERT_EQ(Dbv("index add " + t + " NAME 'UPPER(NAME)'").Status, 0);
    ASSERT_EQ(Dbv("index add " + t + " QTY QTY --descending --for 'QTY > 0'").Status, 0);
    ASSERT_EQ(Dbv("index add " + t + " UBORN BORN --unique").Status, 0);
    auto list = Dbv("index list " + t);
    EXPECT_EQ(list.Out,
              "  NAME       C   8  UPPER(NAME) (4 keys)\n"
              "  QTY        N  12  QTY descending for QTY > 0 (3 keys)\n"
              "  UBORN      D   8  BORN unique (4 keys)\n");
    auto info = Dbv("info " + t);
    EXPECT_NE(info.Out.find("ix.mdx, 3 tags\n  NAME "), std::string::npos) << info.Out;
    EXPECT_EQ(Dbv("export-csv " + t + " --order NAME").Out,
              "NAME,QTY,BORN\napple,12,1999-12-31\nApple,7,2020-01-01\nfig,,\npear,5,2001-02-03\n");
    EXPECT_EQ(Dbv("export-csv " + t + " --order qty --descending").Out,
              "NAME,QTY,BORN\npear,5,2001-02-03\nApple,7,2020-01-01\napple,12,1999-12-31\n");
    // Writes keep the tags current.
    ASSERT_EQ(Dbv("delete " + t + " --filter \"NAME = 'pear'\"").Status, 0);
    EXPECT_EQ(Dbv("export-csv " + t + " --order QTY").Out, "NAME,QTY,BORN\napple,12,1999-12-31\nApple,7,2020-01-01\n");
    ASSERT_EQ(Dbv("pack " + t).Status, 0);
    EXPECT_EQ(Dbv("count " + t).Out, "3\n");
    EXPECT_NE(Dbv("index list " + t).Out.find("UPPER(NAME) (3 keys)"), std::string::npos);

    auto seek = Dbv("seek " + t + " NAME APPLE");
    EXPECT_EQ(seek.Status, 0);
    EXPECT_EQ(seek.Out, "RECNO,NAME,QTY,BORN\n1,apple,12,1999-12-31\n");
    EXPECT_EQ(Dbv("seek " + t + " NAME FI --partial").Out, "RECNO,NAME,QTY,BORN\n2,fig,,\n");
    auto soft = Dbv("seek " + t + " NAME B --soft");
    EXPECT_EQ(soft.Status, 3);  // landed on the next key
    EXPECT_EQ(soft.Out, "RECNO,NAME,QTY,BORN\n2,fig,,\n");
    EXPECT_EQ(Dbv("seek " + t + " UBORN 2020-01-01").Out, "RECNO,NAME,QTY,BORN\n3,Apple,7,2020-01-01\n");
    EXPECT_EQ(Dbv("seek " + t + " QTY 8 --soft").Out, "RECNO,NAME,QTY,BORN\n3,Apple,7,2020-01-01\n");
    auto miss = DbvErr("seek " + t + " NAME ZZZ");
    EXPECT_EQ(miss.Status, 1);
    EXPECT_EQ(miss.Out, "dbv: key not found\n");
    EXPECT_NE(DbvErr("seek " + t + " QTY abc").Out.find("invalid key: 'abc' is not a number"), std::string::npos);

    // A damaged index: named, refused, and rebuilt by reindex.
    std::string mdx = bdetest::ReadFile(dir / "ix.mdx");
    std::string bad = mdx;
    bad[28] = 60;
    bdetest::WriteFile(dir / "ix.mdx", bad);
    auto err = DbvErr("export-csv " + t + " --order NAME");
    EXPECT_EQ(err.Status, 1);
    EXPECT_NE(err.Out.find("is damaged"), std::string::npos) << err.Out;
    EXPECT_NE(Dbv("info " + t).Out.find("Note:        Index"), std::string::npos);
    bad = mdx;
    bad[6 * 512] = char(250);  // the first tag's only page claims too many keys
    bdetest::WriteFile(dir / "ix.mdx", bad);
    EXPECT_EQ(DbvErr("export-csv " + t + " --order NAME").Status, 1);
    ASSERT_EQ(Dbv("reindex " + t).Status, 0);
    EXPECT_EQ(bdetest::ReadFile(dir / "ix.mdx"), mdx);

    // .NDX files beside the table.
    ASSERT_EQ(Dbv("index add " + t + " " + Quote(dir / "qty.ndx") + " QTY").Status, 0);
    EXPECT_EQ(Dbv("export-csv " + t + " --order " + Quote(dir / "qty.ndx")).Out,
              "NAME,QTY,BORN\nfig,,\nApple,7,2020-01-01\napple,12,1999-12-31\n");
    ASSERT_EQ(Dbv("reindex " + t + " " + Quote(dir / "qty.ndx")).Status, 0);

    ASSERT_EQ(Dbv("index drop " + t + " NAME").Status, 0);
    ASSERT_EQ(Dbv("index drop " + t + " QTY").Status, 0);
    ASSERT_EQ(Dbv("index drop " + t + " UBORN").Status, 0);
    EXPECT_NE(Dbv("info " + t).Out.find("Indexes:     none"), std::string::npos);
}
