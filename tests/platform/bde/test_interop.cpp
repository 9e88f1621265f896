// Interoperability with Debian's Python DBF readers and writers (python3-dbfread, python3-dbf):
// files the engine writes read back value for value, and files they write read in the engine.
#include "bde_test_util.h"
#include "support/paths.h"

using namespace bde;
using bdetest::TempDir;

namespace {

const std::string kPython =
    "/usr/bin/python3 " + dbvtest::SourceDir() + "/tests/platform/bde/interop.py";

void WriteSample(const std::string& path, int level, int codePage) {
    TDbfCreateOptions o;
    o.Level = level;
    o.CodePage = codePage;
    TDbfTable::Create(path, {{"NAME", 'C', 12}, {"QTY", 'N', 8, 2}, {"CNT", 'N', 4}, {"RATE", 'F', 12, 5},
                             {"BORN", 'D'}, {"OK", 'L'}, {"NOTES", 'M'}}, o);
    auto t = TDbfTable::Open(path);
    struct Row {
        const char* values[7];
    } rows[] = {
        {{"Жук Ёлкин", "12.5", "-3", "0.33333", "2001-02-03", "T", "мемо\nтекст"}},
        {{"gone", "1", "1", "1", "2000-01-01", "T", "deleted"}},
        {{"plain", "", "", "", "", "F", ""}},
        {{"", "-0.25", "0", "-1234.5", "1899-12-30", "", std::string(700, 'x').c_str()}},
    };
    std::string long700(700, 'x');
    rows[3].values[6] = long700.c_str();
    for (auto& row : rows) {
        TDbfRecord r(t);
        for (int f = 0; f < 7; ++f) r.SetText(f, row.values[f]);
        t->Post(r);
    }
    t->SetDeleted(2, true);
}

std::string Expected(bool emptyMemoIsNull) {
    std::string nullMemo = emptyMemoIsNull ? "null" : "\"\"";
    return "[\"Жук Ёлкин\", 12.5, -3, 0.33333, \"2001-02-03\", true, \"мемо\\nтекст\"]\n"
           "[\"plain\", null, null, null, null, false, " + nullMemo + "]\n"
           "[\"\", -0.25, 0, -1234.5, \"1899-12-30\", null, \"" + std::string(700, 'x') + "\"]\n";
}

}  // namespace

TEST(Interop, DbfreadReadsWhatTheEngineWrites) {
    TempDir dir;
    for (int level : {3, 4})
        for (int cp : {866, 1251}) {
            std::string name = dir / ("t" + std::to_string(level) + "_" + std::to_string(cp) + ".dbf");
            WriteSample(name, level, cp);
            auto r = bdetest::Run(kPython + " dbfread " + name, true);
            EXPECT_EQ(r.Status, 0) << r.Out;
            EXPECT_EQ(r.Out, Expected(true)) << "level " << level << " code page " << cp;
        }
}

TEST(Interop, PythonDbfReadsWhatTheEngineWrites) {
    TempDir dir;
    // The dbf package reads dBase III tables (it has no dBase IV memo support).
    WriteSample(dir / "t.dbf", 3, 1251);
    auto r = bdetest::Run(kPython + " dbf " + dir / "t.dbf", true);
    EXPECT_EQ(r.Status, 0) << r.Out;
    EXPECT_EQ(r.Out, Expected(false));
}

TEST(Interop, EngineReadsWhatPythonDbfWrites) {
    TempDir dir;
    for (const char* mode : {"write-db3", "write-vfp"}) {
        std::string name = dir / (std::string(mode) + ".dbf");
        auto w = bdetest::Run(kPython + " " + mode + " " + name, true);
        ASSERT_EQ(w.Status, 0) << w.Out;
        auto t = TDbfTable::Open(name);
        EXPECT_EQ(t->CodePage(), std::string(mode) == "write-db3" ? 866 : 1251);
        EXPECT_EQ(t->MemoKind(), std::string(mode) == "write-db3" ? TMemoKind::Dbt3 : TMemoKind::Fpt);
        ASSERT_EQ(t->RecordCount(), 3u) << mode;
        const std::vector<std::vector<std::string>> expect = {
            {"Жук", "12.50", "2001-02-03", "T", "мемо\nтекст"},
            {"plain", "-3.00", "", "F", std::string(700, 'x')},
            {"", "", "", "", ""},
        };
        TDbfRecord r(t);
        for (uint32_t i = 1; i <= 3; ++i) {
            r.Load(i);
            for (int f = 0; f < 5; ++f) EXPECT_EQ(r.GetText(f), expect[i - 1][size_t(f)]) << mode << " " << i << " " << f;
        }
        EXPECT_FALSE(r.GetNumber(1).has_value());
    }
}
