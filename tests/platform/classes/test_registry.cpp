#include <gtest/gtest.h>

#include <cstdlib>

#include "classes/lists.h"
#include "classes/registry.h"
#include "rtl/sysutils.h"
#include "support/strings.h"
#include "support/tempdir.h"

using namespace vcl;
using dbvtest::All;
using dbvtest::V;

namespace {
class Registry : public ::testing::Test {
protected:
    void SetUp() override {
        SetSystemDirectory(dir);
    }
    void TearDown() override {
        SetSystemDirectory("");
    }
    dbvtest::TTempDir tmp;
    std::string dir = tmp.Path();
};
}  // namespace

TEST_F(Registry, ValuesPersistAcrossInstances) {
    auto* w = Create<TRegistry>();
    w->SetRootKey(HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(w->OpenKey("SOFTWARE\\Vendor\\Database Engine", true));
    EXPECT_EQ(w->CurrentPath(), "SOFTWARE\\Vendor\\Database Engine");
    w->WriteString("DLLPATH", "C:\\ENGINE;D:\\X");
    w->WriteInteger("Count", -42);
    const unsigned char bytes[] = {0, 1, 0xFF, '\n'};
    w->WriteBinaryData("Blob", bytes, 4);
    w->WriteString("Tricky \"name\"", "line1\nline2\t\"q\" \\ \x01");
    w->WriteFloat("Ratio", 0.1);
    // Not yet visible to another instance...
    auto* r = Create<TRegistry>();
    r->SetRootKey(HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(r->OpenKeyReadOnly("\\software\\VENDOR\\database engine"));
    EXPECT_FALSE(r->ValueExists("DLLPATH"));
    w->CloseKey();
    // ...and visible after CloseKey.
    EXPECT_EQ(r->ReadString("dllpath"), "C:\\ENGINE;D:\\X");
    EXPECT_EQ(r->ReadInteger("COUNT"), -42);
    unsigned char back[8] = {};
    EXPECT_EQ(r->ReadBinaryData("Blob", back, 8), 4);
    EXPECT_EQ(std::vector<unsigned char>(back, back + 4), std::vector<unsigned char>(bytes, bytes + 4));
    EXPECT_EQ(r->ReadString("Tricky \"name\""), "line1\nline2\t\"q\" \\ \x01");
    EXPECT_DOUBLE_EQ(r->ReadFloat("Ratio"), 0.1);
    EXPECT_EQ(r->GetDataType("Count"), rdInteger);
    EXPECT_EQ(r->GetDataSize("Blob"), 4);
    EXPECT_EQ(r->GetDataSize("none"), -1);
    TStringList names;
    r->GetValueNames(&names);
    EXPECT_EQ(All(names), (V{"DLLPATH", "Count", "Blob", "Tricky \"name\"", "Ratio"}));
    r->Free();
    w->Free();
    // The file is readable text.
    std::string text = ReadFileBytes(RegistryFileName());
    EXPECT_NE(text.find("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\Database Engine]\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\"DLLPATH\"=string:\"C:\\\\ENGINE;D:\\\\X\"\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\"Count\"=integer:-42\n"), std::string::npos);
    EXPECT_NE(text.find("\"Blob\"=binary:0001ff0a\n"), std::string::npos);
}

TEST_F(Registry, TypeErrorsAndReadOnlyKeys) {
    TRegistry* reg = Create<TRegistry>();
    EXPECT_THROW(reg->WriteString("x", "y"), ERegistryException);  // no key open
    ASSERT_TRUE(reg->OpenKey("Software\\T", true));
    reg->WriteString("S", "text");
    EXPECT_EQ(reg->ReadString("missing"), "");
    try {
        reg->ReadInteger("S");
        FAIL();
    } catch (const ERegistryException& e) {
        EXPECT_STREQ(e.what(), "Invalid data type for 'S'");
    }
    EXPECT_THROW(reg->ReadInteger("missing"), ERegistryException);
    reg->WriteInteger("N", 5);
    EXPECT_THROW(reg->ReadString("N"), ERegistryException);
    reg->WriteBinaryData("B", "abcdef", 6);
    char small[3];
    EXPECT_THROW(reg->ReadBinaryData("B", small, 3), ERegistryException);
    EXPECT_EQ(reg->ReadBinaryData("missing", small, 3), 0);
    reg->CloseKey();
    ASSERT_TRUE(reg->OpenKeyReadOnly("Software\\T"));
    try {
        reg->WriteString("S", "other");
        FAIL();
    } catch (const ERegistryException& e) {
        EXPECT_STREQ(e.what(), "Failed to set data for 'S'");
    }
    EXPECT_FALSE(reg->DeleteValue("S"));
    EXPECT_EQ(reg->ReadString("S"), "text");
    reg->Free();
}

TEST_F(Registry, KeysRelativeAbsoluteDeleteAndNames) {
    auto* reg = Create<TRegistry>();
    EXPECT_FALSE(reg->OpenKey("Software\\A", false));
    EXPECT_FALSE(reg->KeyOpen());
    EXPECT_TRUE(reg->OpenKeyReadOnly("\\"));  // a root key opens in an empty registry
    EXPECT_EQ(reg->CurrentPath(), "");
    reg->CloseKey();
    ASSERT_TRUE(reg->OpenKey("Software", true));
    ASSERT_TRUE(reg->OpenKey("A\\B", true));  // relative to the open key
    EXPECT_EQ(reg->CurrentPath(), "Software\\A\\B");
    reg->WriteString("v", "1");
    ASSERT_TRUE(reg->OpenKey("\\Software\\C", true));  // absolute
    EXPECT_EQ(reg->CurrentPath(), "Software\\C");
    EXPECT_TRUE(reg->KeyExists("\\software\\a\\b"));
    EXPECT_FALSE(reg->KeyExists("\\Software\\Z"));
    ASSERT_TRUE(reg->OpenKey("\\Software", false));
    TStringList keys;
    reg->GetKeyNames(&keys);
    EXPECT_EQ(All(keys), (V{"A", "C"}));
    EXPECT_TRUE(reg->HasSubKeys());
    EXPECT_TRUE(reg->DeleteKey("a"));  // with its subkeys
    EXPECT_FALSE(reg->KeyExists("\\Software\\A\\B"));
    EXPECT_FALSE(reg->DeleteKey("a"));
    reg->GetKeyNames(&keys);
    EXPECT_EQ(All(keys), (V{"C"}));
    // Deleting the open key closes it.
    ASSERT_TRUE(reg->OpenKey("\\Software\\C", false));
    EXPECT_TRUE(reg->DeleteKey("\\Software"));
    EXPECT_FALSE(reg->KeyOpen());
    // Root keys are separate trees; names with odd characters survive the file.
    reg->SetRootKey(HKEY_CURRENT_USER);
    ASSERT_TRUE(reg->OpenKey("Odd [key] 100%", true));
    reg->WriteInteger("", 7);  // the default value
    reg->CloseKey();
    reg->SetRootKey(HKEY_LOCAL_MACHINE);
    EXPECT_FALSE(reg->KeyExists("\\Odd [key] 100%"));
    reg->Free();
    auto* again = Create<TRegistry>();
    ASSERT_TRUE(again->OpenKeyReadOnly("Odd [key] 100%"));
    EXPECT_EQ(again->ReadInteger(""), 7);
    again->Free();
}

TEST_F(Registry, ConcurrentWritersKeepEachOthersChanges) {
    auto* a = Create<TRegistry>();
    auto* b = Create<TRegistry>();
    ASSERT_TRUE(a->OpenKey("Shared", true));
    ASSERT_TRUE(b->OpenKey("Shared", true));
    a->WriteString("FromA", "1");
    b->WriteString("FromB", "2");
    a->CloseKey();
    b->CloseKey();
    EXPECT_TRUE(b->OpenKeyReadOnly("Shared"));
    EXPECT_EQ(b->ReadString("FromA"), "1");
    EXPECT_EQ(b->ReadString("FromB"), "2");
    a->Free();
    b->Free();
}

TEST_F(Registry, DamagedFileIsReadAroundAndKeptAsBackup) {
    const std::string damaged =
        "DBVANTOR REGISTRY 1\n"
        "[HKEY_CURRENT_USER\\Good]\n"
        "\"a\"=string:\"kept\"\n"
        "garbage line\n"
        "\"b\"=integer:notanumber\n"
        "[broken\n"
        "\"c\"=binary:abc\n"
        "\"d\"=integer:3\n";
    WriteFileAtomic(RegistryFileName(), damaged);
    auto* reg = Create<TRegistry>();
    ASSERT_TRUE(reg->OpenKey("Good", false));
    EXPECT_EQ(reg->ReadString("a"), "kept");
    EXPECT_FALSE(reg->ValueExists("b"));
    EXPECT_FALSE(reg->ValueExists("d"));  // it belongs to the broken key
    reg->WriteInteger("e", 1);
    reg->Free();
    EXPECT_EQ(ReadFileBytes(RegistryFileName() + ".bak"), damaged);
    auto* again = Create<TRegistry>();
    ASSERT_TRUE(again->OpenKeyReadOnly("Good"));
    EXPECT_EQ(again->ReadInteger("e"), 1);
    again->Free();
}
