// Sessions, aliases and databases: what a DatabaseName stands for.
#include "data/session.h"

#include "data_test_util.h"

using namespace vcl;
using namespace datatest;

TEST(Session, AliasesDatabasesAndTableNames) {
    TempDir dir;
    MakePeople(dir, 3);
    MakePeople(dir, 1, "Orders.DBF");
    TSession* s = Session();
    EXPECT_EQ(s->GetSessionName(), "Default");
    EXPECT_EQ(Sessions(0), s);
    s->AddStandardAlias("DBVTEST", dir.Path() + "/", "DBASE");
    EXPECT_THROW(s->AddStandardAlias("dbvtest", dir.Path(), ""), EDatabaseError);
    auto list = MakeOwned<TStringList>();
    s->GetAliasParams("DBVTEST", list.get());
    ASSERT_GE(list->GetCount(), 1);
    EXPECT_EQ(list->Strings(0), "PATH=" + dir.Path() + "/");
    EXPECT_THROW(s->GetAliasParams("NOSUCH", list.get()), EDatabaseError);
    s->GetTableNames("DBVTEST", "", false, false, list.get());
    ASSERT_EQ(list->GetCount(), 2);
    EXPECT_EQ(list->Strings(0), "Orders");
    EXPECT_EQ(list->Strings(1), "people");
    s->GetTableNames(dir.Path(), "PEO*", true, false, list.get());
    ASSERT_EQ(list->GetCount(), 1);
    EXPECT_EQ(list->Strings(0), "people.dbf");

    // A table on an alias opens in the alias's directory; its database is temporary.
    TFixture fx;
    TTable* t = fx.Table(dir);
    t->SetDatabaseName("DBVTEST");
    t->Open();
    EXPECT_EQ(t->GetRecordCount(), 3);
    TDatabase* db = t->GetDatabase();
    ASSERT_NE(db, nullptr);
    EXPECT_TRUE(db->GetTemporary());
    EXPECT_TRUE(db->GetConnected());
    EXPECT_NE(t->GetDBHandle(), 0);
    EXPECT_EQ(db->DataSetCount(), 1);
    EXPECT_EQ(db->DataSets(0), t);
    EXPECT_EQ(s->FindDatabase("dbvtest"), db);
    t->Close();
    EXPECT_EQ(db->DataSetCount(), 0);
    EXPECT_EQ(t->GetDatabase(), nullptr);

    // A database component of its own, with a PATH parameter.
    auto* mine = Create<TDatabase>(fx.Owner.get());
    mine->SetDatabaseName("MINE");
    mine->Params()->Add("PATH=" + dir.Path());
    t->SetDatabaseName("MINE");
    t->Open();
    EXPECT_EQ(t->GetDatabase(), mine);
    EXPECT_FALSE(mine->GetTemporary());
    mine->Close();  // closes its datasets
    EXPECT_FALSE(t->GetActive());

    t->SetDatabaseName("NOSUCH");
    try {
        t->Open();
        ADD_FAILURE();
    } catch (const EDatabaseError& e) {
        EXPECT_EQ(e.Message(), "Unknown database: NOSUCH");
    }
    EXPECT_FALSE(t->GetActive());
    mine->Free();
    EXPECT_EQ(s->FindDatabase("MINE"), nullptr);
    if (TDatabase* d = s->FindDatabase("DBVTEST")) d->Free();
    s->DeleteAlias("DBVTEST");
    EXPECT_FALSE(s->IsAlias("DBVTEST"));
}
