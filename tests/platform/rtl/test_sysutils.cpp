#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>

#include "rtl/sysutils.h"
#include "support/tempdir.h"
#include "rtl/tset.h"

using namespace vcl;

TEST(Strings, CaseAndCompareFoldAsciiOnly) {
    EXPECT_EQ(UpperCase("abcXYZ-\xc3\xa9"), "ABCXYZ-\xc3\xa9");
    EXPECT_EQ(LowerCase("ABC"), "abc");
    EXPECT_EQ(CompareText("abc", "ABC"), 0);
    EXPECT_LT(CompareText("abc", "ABD"), 0);
    EXPECT_LT(CompareText("ab", "ABC"), 0);
    EXPECT_GT(CompareStr("abc", "ABC"), 0);
    EXPECT_TRUE(SameText("Orders", "ORDERS"));
    EXPECT_FALSE(SameText("Order", "ORDERS"));
}

TEST(Strings, TrimsAndOneBasedHelpers) {
    EXPECT_EQ(Trim("  \t a b \r\n"), "a b");
    EXPECT_EQ(TrimLeft("  x "), "x ");
    EXPECT_EQ(TrimRight("  x "), "  x");
    EXPECT_EQ(Copy("Hello", 2, 3), "ell");
    EXPECT_EQ(Copy("Hello", 0, 2), "He");   // index below 1 starts at 1
    EXPECT_EQ(Copy("Hello", 4, 100), "lo"); // cut at the end
    EXPECT_EQ(Copy("Hello", 6, 1), "");
    EXPECT_EQ(Copy("Hello", 2, -1), "");
    EXPECT_EQ(Pos("l", "Hello"), 3);
    EXPECT_EQ(Pos("L", "Hello"), 0);
    EXPECT_EQ(Pos("", "Hello"), 0);
    EXPECT_EQ(StringReplaceAll("a-b-c", "-", "--"), "a--b--c");
    EXPECT_EQ(QuotedStr("it's"), "'it''s'");
    std::string fields = "NAME; CITY ;;ZIP";
    int pos = 1;
    std::vector<std::string> got;
    while (pos <= int(fields.size())) got.push_back(ExtractFieldName(fields, pos));
    EXPECT_EQ(got, (std::vector<std::string>{"NAME", "CITY", "", "ZIP"}));
}

TEST(Format, PrintfStyle) {
    EXPECT_EQ(Format("%d|%5d|%-3d|%s|%.2f|%x", 7, 42, 1, std::string("ab").c_str(), 2.345, 255),
              "7|   42|1  |ab|2.35|ff");
    std::string big(1000, 'x');
    EXPECT_EQ(Format("<%s>", big.c_str()).size(), 1002u);
    EXPECT_EQ(IntToHex(255, 4), "00FF");
}

TEST(Conversions, Integers) {
    struct Case { const char* text; bool ok; long long value; };
    const Case cases[] = {
        {"123", true, 123},   {"  -45", true, -45}, {"+7", true, 7},
        {"$1F", true, 31},    {"0x10", true, 16},   {"2147483647", true, 2147483647},
        {"-2147483648", true, -2147483648LL},
        {"abc", false, 0},    {"", false, 0},       {"12 ", false, 0},  {"1.5", false, 0},
        {"2147483648", false, 0}, {"-", false, 0},  {"$", false, 0},
    };
    for (const Case& c : cases) {
        int v = 0;
        EXPECT_EQ(TryStrToInt(c.text, v), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(v, c.value) << c.text;
        }
    }
    EXPECT_EQ(StrToInt("$FFFFFFFF"), -1);  // a 32-bit pattern
    EXPECT_EQ(StrToInt64("9223372036854775807"), 9223372036854775807LL);
    EXPECT_THROW(StrToInt64("9223372036854775808"), EConvertError);
    EXPECT_EQ(StrToIntDef("x", 9), 9);
    try {
        StrToInt("abc");
        FAIL();
    } catch (const EConvertError& e) {
        EXPECT_STREQ(e.what(), "'abc' is not a valid integer value");
    }
}

TEST(Conversions, FloatsAndBooleans) {
    EXPECT_DOUBLE_EQ(StrToFloat(" 1.5 "), 1.5);
    EXPECT_DOUBLE_EQ(StrToFloat("-2e3"), -2000);
    EXPECT_DOUBLE_EQ(StrToFloat(".5"), 0.5);
    EXPECT_DOUBLE_EQ(StrToFloat("5."), 5);
    for (const char* bad : {"x", "", "1.2.3", "1e", "nan", "inf", "0x10", "1,5", "1e999"}) {
        double v;
        EXPECT_FALSE(TryStrToFloat(bad, v)) << bad;
    }
    try {
        StrToFloat("x");
        FAIL();
    } catch (const EConvertError& e) {
        EXPECT_STREQ(e.what(), "'x' is not a valid floating point value");
    }
    EXPECT_EQ(FloatToStr(0.1), "0.1");
    EXPECT_EQ(FloatToStr(1.0 / 3), "0.333333333333333");
    EXPECT_EQ(FloatToStr(1e20), "1E20");
    EXPECT_EQ(FloatToStr(-1.5e-7), "-1.5E-7");
    EXPECT_EQ(FloatToStr(12345), "12345");
    EXPECT_TRUE(StrToBool("true"));
    EXPECT_FALSE(StrToBool("FALSE"));
    EXPECT_TRUE(StrToBool("-1"));
    EXPECT_FALSE(StrToBool("0"));
    EXPECT_THROW(StrToBool("maybe"), EConvertError);
    EXPECT_EQ(BoolToStr(true), "True");
    EXPECT_EQ(BoolToStr(true, false), "-1");
}

TEST(Numbers, RoundHalfToEvenAndTrunc) {
    struct Case { double v; long long r; };
    const Case cases[] = {{12.5, 12}, {13.5, 14}, {-12.5, -12}, {-13.5, -14}, {0.5, 0},
                          {1.5, 2},   {2.4999, 2}, {2.5001, 3}, {-0.5, 0},   {1e15 + 0.5, 1000000000000000LL}};
    for (const Case& c : cases) EXPECT_EQ(Round(c.v), c.r) << c.v;
    EXPECT_EQ(Trunc(-2.7), -2);
    EXPECT_EQ(Trunc(2.7), 2);
    EXPECT_DOUBLE_EQ(Frac(-2.75), -0.75);
    EXPECT_THROW(Round(NAN), EInvalidOperation);
    EXPECT_THROW(Round(1e30), EInvalidOperation);
    EXPECT_EQ(Div(-7, 2), -3);
    EXPECT_EQ(Mod(-7, 2), -1);
    EXPECT_EQ(Shr(-1, 28), 15);
}

TEST(FileNames, BothSeparators) {
    EXPECT_EQ(ExtractFilePath("C:\\DATA\\ORDERS.DBF"), "C:\\DATA\\");
    EXPECT_EQ(ExtractFilePath("/tmp/x/orders.dbf"), "/tmp/x/");
    EXPECT_EQ(ExtractFileDir("/tmp/x/orders.dbf"), "/tmp/x");
    EXPECT_EQ(ExtractFileDir("/orders.dbf"), "/");
    EXPECT_EQ(ExtractFileDir("orders.dbf"), "");
    EXPECT_EQ(ExtractFileName("a/b\\c.dbf"), "c.dbf");
    EXPECT_EQ(ExtractFileExt("a.b/c"), "");
    EXPECT_EQ(ExtractFileExt("dir/c.tar.gz"), ".gz");
    EXPECT_EQ(ChangeFileExt("dir.x/orders", ".mdx"), "dir.x/orders.mdx");
    EXPECT_EQ(ChangeFileExt("C:\\D\\orders.dbf", ".MDX"), "C:\\D\\orders.MDX");
    EXPECT_EQ(ChangeFileExt("orders.dbf", ""), "orders");
    EXPECT_EQ(JoinPath("C:\\DATA\\", "ORDERS"), "C:\\DATA\\ORDERS");
    EXPECT_EQ(JoinPath("C:\\DATA", "ORDERS"), "C:\\DATA\\ORDERS");
    EXPECT_EQ(JoinPath("/tmp/data//", "orders"), "/tmp/data/orders");
    EXPECT_EQ(JoinPath("data", "orders"), "data/orders");
    EXPECT_EQ(JoinPath("/", "etc"), "/etc");
    EXPECT_EQ(JoinPath("", "x"), "x");
    EXPECT_EQ(IncludeTrailingPathDelimiter("C:\\DATA"), "C:\\DATA\\");
    EXPECT_EQ(IncludeTrailingPathDelimiter("/a/"), "/a/");
    EXPECT_EQ(ExcludeTrailingPathDelimiter("/a//"), "/a");
    EXPECT_EQ(ExcludeTrailingPathDelimiter("/"), "/");
    EXPECT_TRUE(HasPathPart("C:DATA"));
    EXPECT_TRUE(HasPathPart("a\\b"));
    EXPECT_FALSE(HasPathPart("DBDEMOS"));
    EXPECT_EQ(ToNativePath("a\\b/c"), "a/b/c");
    EXPECT_TRUE(MatchesMask("ORDERS.dbf", "*.DBF"));
    EXPECT_TRUE(MatchesMask("a1.txt", "a?.*"));
    EXPECT_FALSE(MatchesMask("a12.txt", "a?.txt"));
    EXPECT_TRUE(MatchesMask("noext", "*.*"));
}

class TempDir : public ::testing::Test {
protected:
    void TearDown() override { SetSystemDirectory(""); }
    dbvtest::TTempDir tmp;
    std::string dir = tmp.Path();
};

TEST_F(TempDir, FilesAndCaseInsensitiveLookup) {
    std::string f = JoinPath(dir, "customer.dbf");
    WriteFileAtomic(f, "abc");
    EXPECT_TRUE(FileExists(f));
    EXPECT_FALSE(DirectoryExists(f));
    EXPECT_TRUE(DirectoryExists(dir));
    EXPECT_EQ(FileSize(f), 3);
    EXPECT_EQ(ReadFileBytes(f), "abc");
    EXPECT_EQ(FindFileNoCase(JoinPath(dir, "CUSTOMER.DBF")), f);
    EXPECT_EQ(FindFileNoCase(JoinPath(dir, "customer.dbf")), f);
    EXPECT_EQ(FindFileNoCase(JoinPath(dir, "CUSTOMER.MDX")), "");
    WriteFileAtomic(JoinPath(dir, "b.DBF"), "");
    WriteFileAtomic(JoinPath(dir, "c.txt"), "");
    EXPECT_EQ(ListFiles(dir, "*.dbf"), (std::vector<std::string>{"b.DBF", "customer.dbf"}));
    // Backslash names reach the same file.
    EXPECT_TRUE(FileExists(StringReplaceAll(f, "/", "\\")));
    EXPECT_TRUE(ForceDirectories(JoinPath(dir, "x/y/z")));
    EXPECT_TRUE(DirectoryExists(JoinPath(dir, "x/y/z")));
    EXPECT_TRUE(RenameFile(f, JoinPath(dir, "n.dbf")));
    EXPECT_TRUE(DeleteFile(JoinPath(dir, "n.dbf")));
    EXPECT_FALSE(FileExists(f));
    EXPECT_EQ(FileSize(f), -1);
}

TEST_F(TempDir, AtomicWriteReplacesAndReportsFailure) {
    std::string f = JoinPath(dir, "a.ini");
    WriteFileAtomic(f, "old");
    chmod(f.c_str(), 0640);
    WriteFileAtomic(f, "new contents");
    EXPECT_EQ(ReadFileBytes(f), "new contents");
    struct stat st;
    stat(f.c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0640u);  // permissions kept
    EXPECT_EQ(ListFiles(dir, "*"), std::vector<std::string>{"a.ini"});  // no temp file left
    // A directory in the way, and a missing directory, both fail with the platform's text.
    std::string sub = JoinPath(dir, "sub");
    ForceDirectories(sub);
    try {
        WriteFileAtomic(sub, "x");
        FAIL();
    } catch (const EFCreateError& e) {
        EXPECT_EQ(std::string(e.what()).rfind("Cannot create file \"" + sub + "\". ", 0), 0u) << e.what();
    }
    EXPECT_THROW(WriteFileAtomic(JoinPath(dir, "missing/x.ini"), "x"), EFCreateError);
    try {
        ReadFileBytes(JoinPath(dir, "none"));
        FAIL();
    } catch (const EFOpenError& e) {
        EXPECT_NE(std::string(e.what()).find("No such file or directory"), std::string::npos);
    }
}

TEST_F(TempDir, SystemDirectory) {
    SetSystemDirectory(dir + "/");
    EXPECT_EQ(SystemDirectory(), dir);
    EXPECT_EQ(ResolveInSystemDirectory("dbv.ini"), dir + "/dbv.ini");
    EXPECT_EQ(ResolveInSystemDirectory("./dbv.ini"), "./dbv.ini");
    EXPECT_EQ(ResolveInSystemDirectory("C:dbv.ini"), "C:dbv.ini");
    SetSystemDirectory("");
    setenv("DBVANTOR_HOME", dir.c_str(), 1);
    EXPECT_EQ(SystemDirectory(), dir);
    unsetenv("DBVANTOR_HOME");
    SetSystemDirectory("");
    const char* home = getenv("HOME");
    if (home) {
        EXPECT_EQ(SystemDirectory(), JoinPath(home, ".config/dbvantor"));
    }
}

enum class Color { Red, Green, Blue, Alpha = 40 };

TEST(TSetTest, MembershipAndIteration) {
    TSet<Color> s{Color::Blue, Color::Red};
    EXPECT_TRUE(s.Contains(Color::Red));
    EXPECT_FALSE(s.Contains(Color::Green));
    s.Include(Color::Alpha).Exclude(Color::Red);
    std::vector<Color> order;
    for (Color c : s) order.push_back(c);
    EXPECT_EQ(order, (std::vector<Color>{Color::Blue, Color::Alpha}));
    EXPECT_EQ(s.Count(), 2);
    EXPECT_TRUE((TSet<Color>{Color::Blue}) <= s);
    EXPECT_FALSE(s <= (TSet<Color>{Color::Blue}));
    EXPECT_EQ(s - TSet<Color>{Color::Alpha}, TSet<Color>{Color::Blue});
    EXPECT_EQ((s * TSet<Color>{Color::Alpha, Color::Green}), TSet<Color>{Color::Alpha});
    EXPECT_TRUE(TSet<Color>().Empty());
}
