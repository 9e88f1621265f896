#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "classes/inifiles.h"
#include "classes/lists.h"
#include "rtl/sysutils.h"
#include "support/strings.h"
#include "support/tempdir.h"

using namespace vcl;
using dbvtest::All;
using dbvtest::V;

namespace {
class IniFiles : public ::testing::Test {
protected:
    void SetUp() override {
        SetSystemDirectory(JoinPath(dir, "sys"));
        ClearLastIniWriteError();
    }
    void TearDown() override {
        SetIniWriteErrorHandler(nullptr);
        SetSystemDirectory("");
    }
    dbvtest::TTempDir tmp;
    std::string dir = tmp.Path();
};


// Comments, odd spacing, blank lines, mixed line ends and a last line without a break.
const std::string kFixture =
    "; settings written by hand\r\n"
    "\r\n"
    "[krPanel1Left]\r\n"
    "  Left = 10   \r\n"
    "Top=20\r\n"
    "; the width comes next\r\n"
    "Width=0x1F\r\n"
    "\r\n"
    "[Other]\n"
    "Name=\"quoted value\"\n"
    "Flag=1\n"
    "Ratio=2.5\n"
    "# hash comment\n"
    "[Last]\r\n"
    "Key=end";
}  // namespace

TEST_F(IniFiles, ReadsIgnoringCaseWithDefaults) {
    std::string f = JoinPath(dir, "a.ini");
    WriteFileAtomic(f, kFixture);
    auto* ini = Create<TIniFile>(f);
    EXPECT_EQ(ini->ReadString("KRPANEL1LEFT", "left", "?"), "10");
    EXPECT_EQ(ini->ReadInteger("krpanel1left", "TOP", 0), 20);
    EXPECT_EQ(ini->ReadInteger("krPanel1Left", "Width", 0), 31);
    EXPECT_EQ(ini->ReadInteger("Other", "Name", -1), -1);  // not a number: the default
    EXPECT_EQ(ini->ReadString("Other", "Name", ""), "quoted value");
    EXPECT_TRUE(ini->ReadBool("Other", "Flag", false));
    EXPECT_TRUE(ini->ReadBool("Other", "Missing", true));
    EXPECT_DOUBLE_EQ(ini->ReadFloat("Other", "Ratio", 0), 2.5);
    EXPECT_DOUBLE_EQ(ini->ReadFloat("Other", "Name", 7), 7);
    EXPECT_EQ(ini->ReadString("Last", "Key", ""), "end");
    EXPECT_EQ(ini->ReadString("Nowhere", "Key", "dflt"), "dflt");
    EXPECT_EQ(ini->ReadString("Other", "# hash comment", "c"), "c");
    TStringList l;
    ini->ReadSections(&l);
    EXPECT_EQ(All(l), (V{"krPanel1Left", "Other", "Last"}));
    ini->ReadSection("KRPANEL1LEFT", &l);
    EXPECT_EQ(All(l), (V{"Left", "Top", "Width"}));
    ini->ReadSectionValues("other", &l);
    EXPECT_EQ(All(l), (V{"Name=quoted value", "Flag=1", "Ratio=2.5"}));
    EXPECT_TRUE(ini->SectionExists("LAST"));
    EXPECT_FALSE(ini->SectionExists("Lost"));
    EXPECT_TRUE(ini->ValueExists("last", "KEY"));
    EXPECT_FALSE(ini->ValueExists("Other", "Key"));
    EXPECT_FALSE(ini->Modified());
    ini->Free();
    EXPECT_EQ(ReadFileBytes(f), kFixture);  // reading never rewrites
}

TEST_F(IniFiles, EditsKeepEveryOtherLineByteForByte) {
    std::string f = JoinPath(dir, "a.ini");
    WriteFileAtomic(f, kFixture);
    auto* ini = Create<TIniFile>(f);
    ini->WriteInteger("KRPANEL1LEFT", "LEFT", 99);  // existing key, other case: spelling kept
    ini->WriteString("krPanel1Left", "Height", "40");  // new key after the section's last key
    ini->WriteBool("Other", "Flag", false);
    ini->WriteString("New Section", "A", "b");          // new section at the end
    ini->WriteString("Last", "Key", "end");             // same value: no change
    EXPECT_EQ(ReadFileBytes(f), kFixture);              // nothing on disk before UpdateFile
    EXPECT_EQ(ini->ReadInteger("krPanel1Left", "Left", 0), 99);  // but reads see the change
    ini->UpdateFile();
    const std::string expect =
        "; settings written by hand\r\n"
        "\r\n"
        "[krPanel1Left]\r\n"
        "  Left = 99\r\n"
        "Top=20\r\n"
        "; the width comes next\r\n"
        "Width=0x1F\r\n"
        "Height=40\r\n"
        "\r\n"
        "[Other]\n"
        "Name=\"quoted value\"\n"
        "Flag=0\n"
        "Ratio=2.5\n"
        "# hash comment\n"
        "[Last]\r\n"
        "Key=end\r\n"
        "\r\n"
        "[New Section]\r\n"
        "A=b";
    EXPECT_EQ(ReadFileBytes(f), expect);
    ini->DeleteKey("OTHER", "flag");
    ini->EraseSection("new section");
    ini->DeleteKey("Other", "NoSuchKey");
    ini->UpdateFile();
    std::string after = expect;
    after.erase(after.find("Flag=0\n"), 7);
    after.erase(after.find("[New Section]"));  // the header and its lines go; other lines stay
    EXPECT_EQ(ReadFileBytes(f), after);
    ini->Free();
}

TEST_F(IniFiles, ChangesReachDiskWhenFreedAndOtherWritersSurvive) {
    std::string f = JoinPath(dir, "shared.ini");
    auto* a = Create<TIniFile>(f);
    auto* b = Create<TIniFile>(f);
    a->WriteString("S", "FromA", "1");
    b->WriteString("S", "FromB", "2");
    EXPECT_FALSE(FileExists(f));
    b->Free();
    EXPECT_EQ(a->ReadString("S", "FromB", ""), "2");  // a sees b's write once it is on disk
    a->Free();
    auto* c = Create<TIniFile>(f);
    EXPECT_EQ(c->ReadString("s", "froma", ""), "1");
    EXPECT_EQ(c->ReadString("s", "fromb", ""), "2");
    c->Free();
    EXPECT_EQ(ReadFileBytes(f), "[S]\nFromB=2\nFromA=1\n");
}

TEST_F(IniFiles, BareNameLivesInSystemDirectory) {
    auto* ini = Create<TIniFile>("DBVANTOR.DAT");
    EXPECT_EQ(ini->Path(), JoinPath(SystemDirectory(), "DBVANTOR.DAT"));
    EXPECT_EQ(ini->ReadInteger("Glyph Property Editor", "MaxGlyphSize", 12000), 12000);
    ini->WriteInteger("Glyph Property Editor", "MaxGlyphSize", 5000);
    ini->Free();  // creates the system directory as needed
    EXPECT_EQ(ReadFileBytes(JoinPath(SystemDirectory(), "DBVANTOR.DAT")),
              "[Glyph Property Editor]\nMaxGlyphSize=5000\n");
    EXPECT_FALSE(FileExists(JoinPath(GetCurrentDir(), "DBVANTOR.DAT")));
    auto* again = Create<TIniFile>("DBVANTOR.DAT");
    EXPECT_EQ(again->ReadInteger("glyph property editor", "maxglyphsize", 0), 5000);
    again->Free();
}

TEST_F(IniFiles, FailedWriteRaisesAndIsReportedWhenFreed) {
    std::string target = JoinPath(dir, "adir.ini");
    ForceDirectories(target);  // a directory stands where the file should go
    std::vector<std::string> reported;
    SetIniWriteErrorHandler([&](const std::string& file, const std::string& msg) {
        reported.push_back(file + "|" + msg);
    });
    // A failure raised by UpdateFile is reported there only: freeing does not report it again.
    auto* ini = Create<TIniFile>(target);
    ini->WriteString("S", "K", "v");
    try {
        ini->UpdateFile();
        FAIL();
    } catch (const EIniFileException& e) {
        EXPECT_EQ(std::string(e.what()).rfind("Unable to write to " + target, 0), 0u) << e.what();
    }
    EXPECT_TRUE(ini->Modified());  // still pending, so a later UpdateFile can try again
    EXPECT_TRUE(ini->WriteFailed());
    ini->Free();
    EXPECT_TRUE(reported.empty());
    // A change after the failure is due again: freeing tries once and reports once.
    ini = Create<TIniFile>(target);
    ini->WriteString("S", "K", "v");
    EXPECT_THROW(ini->UpdateFile(), EIniFileException);
    ini->WriteString("S", "K2", "w");
    EXPECT_FALSE(ini->WriteFailed());
    ini->Free();
    // Unsaved changes never raised before: freeing reports them once.
    ini = Create<TIniFile>(target);
    ini->WriteString("S", "K", "v");
    ini->Free();
    ASSERT_EQ(reported.size(), 2u);
    for (const std::string& r : reported) EXPECT_EQ(r.rfind(target + "|Unable to write to ", 0), 0u);
    EXPECT_NE(LastIniWriteError(), "");
    // A missing directory fails the same way.
    auto* lost = Create<TIniFile>(JoinPath(dir, "no/such/dir.ini"));
    lost->WriteInteger("S", "K", 1);
    EXPECT_THROW(lost->UpdateFile(), EIniFileException);
    lost->Free();
    // A directory without write permission (only meaningful when not running as root).
    if (geteuid() != 0) {
        std::string ro = JoinPath(dir, "ro");
        ForceDirectories(ro);
        WriteFileAtomic(JoinPath(ro, "x.ini"), "[S]\nK=1\n");
        chmod(ro.c_str(), 0555);
        auto* locked = Create<TIniFile>(JoinPath(ro, "x.ini"));
        locked->WriteInteger("S", "K", 2);
        EXPECT_THROW(locked->UpdateFile(), EIniFileException);
        locked->Free();
        EXPECT_EQ(ReadFileBytes(JoinPath(ro, "x.ini")), "[S]\nK=1\n");  // the old file is intact
        chmod(ro.c_str(), 0755);
    }
    // Text that would break the file's structure is refused.
    auto* bad = Create<TIniFile>(JoinPath(dir, "b.ini"));
    EXPECT_THROW(bad->WriteString("S", "K", "two\nlines"), EIniFileException);
    EXPECT_THROW(bad->WriteString("S", "a=b", "v"), EIniFileException);
    EXPECT_THROW(bad->WriteString("S]", "K", "v"), EIniFileException);
    EXPECT_FALSE(bad->Modified());
    bad->Free();
}

TEST_F(IniFiles, MemIniFileWritesOnlyOnUpdate) {
    std::string f = JoinPath(dir, "m.ini");
    WriteFileAtomic(f, "; c\n[A]\nx=1\n");
    auto* m = Create<TMemIniFile>(f);
    m->WriteString("a", "y", "2");
    m->Free();
    EXPECT_EQ(ReadFileBytes(f), "; c\n[A]\nx=1\n");
    m = Create<TMemIniFile>(f);
    m->WriteString("a", "y", "2");
    m->UpdateFile();
    EXPECT_EQ(ReadFileBytes(f), "; c\n[A]\nx=1\ny=2\n");
    TStringList lines;
    m->GetStrings(&lines);
    lines.Add("[B]");
    lines.Add("z=3");
    m->SetStrings(&lines);
    EXPECT_EQ(m->ReadInteger("b", "z", 0), 3);
    m->UpdateFile();
    EXPECT_EQ(ReadFileBytes(f), "; c\n[A]\nx=1\ny=2\n[B]\nz=3\n");
    m->Free();
}

TEST_F(IniFiles, RegIniFileKeepsSectionsAsSubkeys) {
    auto* r = Create<TRegIniFile>("Software\\DBVantor\\Test");
    r->WriteString("Window", "Caption", "Orders");
    r->WriteInteger("Window", "Left", 12);
    r->WriteBool("Options", "Grid", true);
    r->Free();
    auto* q = Create<TRegIniFile>("Software\\DBVantor\\Test");
    EXPECT_EQ(q->ReadString("WINDOW", "caption", ""), "Orders");
    EXPECT_EQ(q->ReadInteger("Window", "Left", 0), 12);
    EXPECT_TRUE(q->ReadBool("Options", "Grid", false));
    EXPECT_EQ(q->ReadInteger("Window", "Missing", 5), 5);
    TStringList l;
    q->ReadSections(&l);
    EXPECT_EQ(All(l), (V{"Window", "Options"}));
    q->ReadSectionValues("Window", &l);
    EXPECT_EQ(All(l), (V{"Caption=Orders", "Left=12"}));
    q->DeleteKey("Window", "Left");
    EXPECT_FALSE(q->ValueExists("Window", "Left"));
    q->EraseSection("Options");
    EXPECT_FALSE(q->SectionExists("Options"));
    EXPECT_TRUE(q->SectionExists("Window"));
    q->Free();
}

TEST_F(IniFiles, ValuesReadBackExactlyAndStackObjectsSave) {
    std::string f = JoinPath(dir, "v.ini");
    const V values = {"  padded  ", "\"quoted\"", "'single'", "plain", "", "a=b;c", "\"half"};
    {
        TIniFile ini(f);  // not freed with Free: the destructor still saves
        for (size_t i = 0; i < values.size(); ++i) ini.WriteString("V", "k" + std::to_string(i), values[i]);
    }
    EXPECT_TRUE(IniFileExists(f));
    TIniFile back(f);
    for (size_t i = 0; i < values.size(); ++i)
        EXPECT_EQ(back.ReadString("V", "k" + std::to_string(i), "?"), values[i]) << i;
    EXPECT_NE(ReadFileBytes(f).find("k0=\"  padded  \"\n"), std::string::npos);
    EXPECT_NE(ReadFileBytes(f).find("k3=plain\n"), std::string::npos);
    EXPECT_FALSE(IniFileExists("nothing.ini"));
    ForceDirectories(SystemDirectory());
    WriteFileAtomic(JoinPath(SystemDirectory(), "here.ini"), "");
    EXPECT_TRUE(IniFileExists("here.ini"));
}
