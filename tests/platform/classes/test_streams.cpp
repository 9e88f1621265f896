#include <gtest/gtest.h>

#include <cstdlib>

#include "classes/streams.h"
#include "rtl/sysutils.h"
#include "support/tempdir.h"

using namespace vcl;

namespace {
class StreamFiles : public ::testing::Test {
protected:
    dbvtest::TTempDir tmp;
    std::string dir = tmp.Path();
};
}  // namespace

TEST(MemoryStream, ReadWriteSeekAndErrors) {
    TMemoryStream m;
    m.WriteString("hello");
    EXPECT_EQ(m.GetSize(), 5);
    EXPECT_EQ(m.GetPosition(), 5);
    m.Seek(-2, soEnd);
    m.WriteString("LO!");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(m.Memory()), size_t(m.GetSize())), "helLO!");
    m.SetPosition(8);  // past the end: the gap reads as zeros once written
    m.WriteString("x");
    EXPECT_EQ(m.GetSize(), 9);
    EXPECT_EQ(m.Memory()[7], 0);
    m.SetPosition(0);
    char buf[4];
    m.ReadBuffer(buf, 4);
    EXPECT_EQ(std::string(buf, 4), "helL");
    m.SetPosition(7);
    try {
        m.ReadBuffer(buf, 4);
        FAIL();
    } catch (const EReadError& e) {
        EXPECT_STREQ(e.what(), "Stream read error");
    }
    EXPECT_THROW(m.Seek(-1, soBeginning), EStreamError);
    m.SetSize(2);
    EXPECT_EQ(m.GetPosition(), 2);
    m.SetPosition(0);
    EXPECT_EQ(m.ReadAll(), "he");
    m.Clear();
    EXPECT_EQ(m.GetSize(), 0);
}

TEST(MemoryStream, CopyFromAndStringStream) {
    TStringStream src("0123456789");
    src.SetPosition(3);
    TMemoryStream dst;
    EXPECT_EQ(dst.CopyFrom(src, 4), 4);  // from the current position
    EXPECT_EQ(src.GetPosition(), 7);
    EXPECT_EQ(dst.CopyFrom(src, 0), 10);  // count 0: the whole source from its start
    dst.SetPosition(0);
    EXPECT_EQ(dst.ReadAll(), "34560123456789");
    src.SetPosition(8);
    EXPECT_THROW(dst.CopyFrom(src, 5), EReadError);
    TStringStream s;
    s.WriteString("abc");
    s.SetPosition(1);
    s.WriteString("XYZ");
    EXPECT_EQ(s.DataString(), "aXYZ");
    s.SetSize(2);
    EXPECT_EQ(s.DataString(), "aX");
    // A big copy crosses the internal buffer size.
    std::string big(200000, 'q');
    big[123456] = 'Z';
    TStringStream bs(big);
    TMemoryStream bm;
    bm.CopyFrom(bs, 0);
    EXPECT_EQ(bm.GetSize(), 200000);
    EXPECT_EQ(bm.Memory()[123456], 'Z');
}

TEST_F(StreamFiles, CreateOpenReadWrite) {
    std::string f = JoinPath(dir, "data.bin");
    {
        TFileStream w(f, fmCreate);
        w.WriteString("abcdef");
        w.Flush();
    }
    {
        TFileStream rw(f, fmOpenReadWrite);
        rw.Seek(2, soBeginning);
        rw.WriteString("ZZ");
        rw.SetSize(5);
        EXPECT_EQ(rw.GetSize(), 5);
    }
    {
        TFileStream r(f, fmOpenRead);
        EXPECT_EQ(r.ReadAll(), "abZZe");
        EXPECT_THROW(r.WriteBuffer("x", 1), EWriteError);
    }
    TMemoryStream m;
    m.LoadFromFile(f);
    EXPECT_EQ(m.GetSize(), 5);
    m.SaveToFile(JoinPath(dir, "copy.bin"));
    EXPECT_EQ(ReadFileBytes(JoinPath(dir, "copy.bin")), "abZZe");
    std::string missing = JoinPath(dir, "none.bin");
    try {
        TFileStream r(missing, fmOpenRead);
        FAIL();
    } catch (const EFOpenError& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot open file \"" + missing + "\". No such file or directory");
    }
    std::string bad = JoinPath(dir, "no/such/dir.bin");
    try {
        TFileStream w(bad, fmCreate);
        FAIL();
    } catch (const EFCreateError& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot create file \"" + bad + "\". No such file or directory");
    }
    // Backslash names open the same file.
    TFileStream b(StringReplaceAll(f, "/", "\\"), fmOpenRead);
    EXPECT_EQ(b.GetSize(), 5);
}

TEST_F(StreamFiles, ShareModesRefuseConflictingOpens) {
    std::string f = JoinPath(dir, "locked.dbf");
    WriteFileAtomic(f, "data");
    const std::string busy = "Cannot open file \"" + f +
                             "\". The process cannot access the file because it is being used by another process.";
    {
        TFileStream ex(f, fmOpenReadWrite | fmShareExclusive);
        try {
            TFileStream second(f, fmOpenRead | fmShareDenyWrite);
            FAIL();
        } catch (const EFOpenError& e) {
            EXPECT_EQ(e.what(), busy);
        }
        EXPECT_THROW(TFileStream(f, fmOpenRead | fmShareExclusive), EFOpenError);
        // A create must not truncate a file somebody holds exclusively.
        EXPECT_THROW(TFileStream(f, fmCreate), EFCreateError);
        EXPECT_EQ(ex.GetSize(), 4);
        // Opening without a share mode takes no lock and is allowed.
        TFileStream none(f, fmOpenRead | fmShareDenyNone);
        EXPECT_EQ(none.ReadAll(), "data");
    }
    {
        TFileStream r1(f, fmOpenRead | fmShareDenyWrite);
        TFileStream r2(f, fmOpenRead | fmShareDenyWrite);  // readers share
        EXPECT_THROW(TFileStream(f, fmOpenReadWrite | fmShareExclusive), EFOpenError);
    }
    // Closed streams release their locks.
    TFileStream again(f, fmOpenReadWrite | fmShareExclusive);
    EXPECT_EQ(again.GetSize(), 4);
}
