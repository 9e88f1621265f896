// Tables ordered by index tags: index definitions, switching the order while open, adding and
// dropping tags, key searches, ranges and master-detail through a range.
#include "data_test_util.h"

using namespace vcl;
using namespace datatest;

namespace {

// "idx.dbf": NAME C(10), NUM N(6), in an order that differs from both keys; tags NAME (on
// NAME), NUM (unique, on NUM) and UPNAME (descending, on UPPER(NAME)).
void MakeIndexed(const TempDir& dir) {
    bde::TDbfTable::Create(dir / "idx.dbf", {{"NAME", 'C', 10}, {"NUM", 'N', 6}});
    {
        auto t = bde::TDbfTable::Open(dir / "idx.dbf", {.Exclusive = true});
        for (auto [n, k] : {std::pair{"DAN", 4}, {"AMY", 2}, {"EVE", 5}, {"BOB", 1}, {"CAT", 3}}) {
            bde::TDbfRecord r(t);
            r.SetText(0, n);
            r.SetNumber(1, k);
            t->Post(r);
        }
    }
    TFixture fx;
    TTable* t = fx.Table(dir, "idx.dbf");
    t->AddIndex("NAME", "NAME", {});
    t->AddIndex("NUM.MDX", "NUM", TIndexOptions{ixUnique});
    t->AddIndex("UPNAME", "UPPER(NAME)", TIndexOptions{ixExpression, ixDescending});
}

// The NAME values from the current record to the end.
std::string Rest(TTable* t) {
    std::string s;
    for (; !t->GetEOF(); t->Next()) s += t->FieldByName("NAME")->GetAsString() + " ";
    return s;
}
std::string All(TTable* t) {
    t->First();
    return Rest(t);
}
std::string Cur(TTable* t) { return t->FieldByName("NAME")->GetAsString(); }

}  // namespace

TEST(Indexes, DefinitionsNamesAndOrderSwitching) {
    TempDir dir;
    MakeIndexed(dir);
    TFixture fx;
    TTable* t = fx.Table(dir, "idx.dbf");

    t->IndexDefs().Update();  // readable while closed
    ASSERT_EQ(t->IndexDefs().Count(), 3);
    const TIndexDef& name = t->IndexDefs()[0];
    EXPECT_EQ(name.Name, "NAME");
    EXPECT_EQ(name.Fields, "NAME");
    EXPECT_TRUE(name.Options == TIndexOptions{});
    EXPECT_EQ(t->IndexDefs()[1].Name, "NUM") << "a .MDX after the name is not part of it";
    EXPECT_TRUE(t->IndexDefs()[1].Options == TIndexOptions{ixUnique});
    const TIndexDef& up = t->IndexDefs()[2];
    EXPECT_EQ(up.Expression, "UPPER(NAME)");
    EXPECT_TRUE(up.Fields.empty());
    EXPECT_TRUE((up.Options == TIndexOptions{ixExpression, ixDescending}));
    std::vector<std::string> names;
    t->GetIndexNames(names);
    EXPECT_EQ(names, (std::vector<std::string>{"NAME", "NUM", "UPNAME"}));

    t->SetIndexName("num");  // set while closed, applied on open
    t->Open();
    EXPECT_EQ(All(t), "BOB AMY CAT DAN EVE ");
    EXPECT_EQ(t->GetRecordCount(), 5);

    // Switching while open keeps the current record and resyncs the window around it.
    t->First();
    t->Next();
    t->Next();
    ASSERT_EQ(Cur(t), "CAT");
    for (auto [index, after] : {std::pair{"NAME", "CAT DAN EVE "}, {"UPNAME", "CAT BOB AMY "}, {"", "CAT "}}) {
        t->SetIndexName(index);
        EXPECT_EQ(Cur(t), "CAT") << index;
        EXPECT_EQ(Rest(t), after) << index;
        t->Locate("NAME", std::string("CAT"), {});
    }
    EXPECT_EQ(All(t), "DAN AMY EVE BOB CAT ") << "natural order";

    EXPECT_THROW(t->SetIndexName("NOPE"), EDatabaseError);
    EXPECT_EQ(t->GetIndexName(), "");

    // IndexFieldNames picks the tag keyed on the field and clears IndexName; a field without
    // a tag keeps the natural order.
    t->SetIndexName("UPNAME");
    t->SetIndexFieldNames("NUM");
    EXPECT_EQ(t->GetIndexName(), "");
    EXPECT_EQ(All(t), "BOB AMY CAT DAN EVE ");
    t->SetIndexName("NAME");
    EXPECT_EQ(t->GetIndexFieldNames(), "");
    t->SetIndexFieldNames("NAME;NUM");
    EXPECT_EQ(All(t), "DAN AMY EVE BOB CAT ");
    t->Close();

    t->SetIndexName("NOPE");
    EXPECT_THROW(t->Open(), EDatabaseError);
    EXPECT_FALSE(t->GetActive());
}

TEST(Indexes, AddAndDeleteIndex) {
    TempDir dir;
    MakeIndexed(dir);
    TFixture fx;
    TTable* t = fx.Table(dir, "idx.dbf");
    t->Open();
    EXPECT_ANY_THROW(t->AddIndex("X", "NAME", {})) << "tags change only on an exclusive open";
    t->Close();

    t->SetExclusive(true);
    t->Open();
    t->AddIndex("REV", "NUM", TIndexOptions{ixDescending});
    t->SetIndexName("REV");
    EXPECT_EQ(All(t), "EVE DAN CAT AMY BOB ");
    EXPECT_THROW(t->AddIndex("BAD", "NOSUCH", {}), EDatabaseError);
    EXPECT_ANY_THROW(t->AddIndex("BAD", "NOSUCH(", TIndexOptions{ixExpression}));

    // Dropping the current index goes back to the natural order.
    t->Locate("NAME", std::string("AMY"), {});
    t->DeleteIndex("REV.MDX");
    EXPECT_EQ(t->GetIndexName(), "");
    EXPECT_EQ(Cur(t), "AMY");
    EXPECT_EQ(All(t), "DAN AMY EVE BOB CAT ");
    EXPECT_THROW(t->DeleteIndex("REV"), EDatabaseError);
    std::vector<std::string> names;
    t->GetIndexNames(names);
    EXPECT_EQ(names, (std::vector<std::string>{"NAME", "NUM", "UPNAME"}));

    // The tags follow edits made through the dataset.
    t->SetIndexName("NAME");
    t->Append();
    t->FieldByName("NAME")->SetAsString("ABE");
    t->FieldByName("NUM")->SetAsInteger(9);
    t->Post();
    EXPECT_EQ(All(t), "ABE AMY BOB CAT DAN EVE ");
    t->Close();

    t->SetExclusive(false);
    t->DeleteIndex("UPNAME");  // closed: the table opens exclusively for the change
    t->IndexDefs().Update();
    EXPECT_EQ(t->IndexDefs().Count(), 2);
}

TEST(Indexes, KeySearches) {
    TempDir dir;
    MakeIndexed(dir);
    TFixture fx;
    TTable* t = fx.Table(dir, "idx.dbf");
    t->Open();
    EXPECT_THROW(t->FindKey({std::string("CAT")}), EDatabaseError) << "natural order has no key";
    EXPECT_THROW(t->SetKey(), EDatabaseError);

    t->SetIndexName("NAME");
    EXPECT_TRUE(t->FindKey({std::string("CAT")}));
    EXPECT_EQ(Cur(t), "CAT");
    EXPECT_FALSE(t->FindKey({std::string("CA")})) << "FindKey matches whole keys";
    EXPECT_FALSE(t->FindKey({std::string("ZED")}));
    EXPECT_EQ(Cur(t), "CAT") << "a failed search does not move";
    EXPECT_EQ(Rest(t), "CAT DAN EVE ");
    t->FindNearest({std::string("C")});
    EXPECT_EQ(Cur(t), "CAT");
    t->FindNearest({std::string("BZ")});
    EXPECT_EQ(Cur(t), "CAT");
    t->FindNearest({std::string("ZZ")});
    EXPECT_TRUE(t->GetEOF());
    EXPECT_EQ(Cur(t), "EVE") << "past the last key: the last record";

    // SetKey: field values go to the key buffer, not to the record.
    t->First();
    t->SetKey();
    EXPECT_EQ(t->GetState(), dsSetKey);
    EXPECT_TRUE(t->FieldByName("NAME")->IsNull());
    t->FieldByName("NAME")->SetAsString("DAN");
    EXPECT_EQ(Cur(t), "DAN");
    EXPECT_TRUE(t->GotoKey());
    EXPECT_EQ(t->GetState(), dsBrowse);
    EXPECT_EQ(Cur(t), "DAN");
    EXPECT_EQ(Rest(t), "DAN EVE ");
    t->First();
    EXPECT_EQ(Cur(t), "AMY") << "the record itself was not changed";
    t->EditKey();
    EXPECT_EQ(t->FieldByName("NAME")->GetAsString(), "DAN") << "EditKey keeps the buffer";
    t->FieldByName("NAME")->SetAsString("XX");
    t->Cancel();
    EXPECT_EQ(t->GetState(), dsBrowse);
    t->EditKey();
    EXPECT_EQ(t->FieldByName("NAME")->GetAsString(), "DAN") << "Cancel puts the key back";
    t->FieldByName("NAME")->SetAsString("DA");
    t->GotoNearest();
    EXPECT_EQ(Cur(t), "DAN");

    // Numeric keys, and a search while filtered skips records the filter hides.
    t->SetIndexName("NUM");
    EXPECT_TRUE(t->FindKey({int64_t(4)}));
    EXPECT_EQ(Cur(t), "DAN");
    t->FindNearest({2.5});
    EXPECT_EQ(Cur(t), "CAT");
    t->SetFilter("NAME <> 'CAT'");
    t->SetFiltered(true);
    EXPECT_FALSE(t->FindKey({int64_t(3)}));
    t->FindNearest({int64_t(3)});
    EXPECT_EQ(Cur(t), "DAN");

    // Date keys take date values.
    MakePeople(dir, 5);
    TTable* p = fx.Table(dir);
    p->SetExclusive(true);
    p->Open();
    p->AddIndex("BORN", "BORN", {});
    p->SetIndexName("BORN");
    EXPECT_TRUE(p->FindKey({EncodeDate(2000, 3, 3)}));
    EXPECT_EQ(p->FieldByName("NAME")->GetAsString(), "R02");
    EXPECT_FALSE(p->FindKey({EncodeDate(2000, 3, 4)}));
}

TEST(Indexes, Ranges) {
    TempDir dir;
    MakeIndexed(dir);
    TFixture fx;
    TTable* t = fx.Table(dir, "idx.dbf");
    t->Open();
    EXPECT_THROW(t->SetRange({int64_t(1)}, {int64_t(2)}), EDatabaseError);
    t->SetIndexName("NUM");
    t->SetRange({int64_t(2)}, {int64_t(4)});
    EXPECT_EQ(All(t), "AMY CAT DAN ");
    EXPECT_EQ(t->GetRecordCount(), 3);
    t->Last();
    EXPECT_EQ(Cur(t), "DAN");

    t->SetRangeStart();
    t->FieldByName("NUM")->SetAsInteger(4);
    t->SetRangeEnd();  // no value: open at the end
    t->ApplyRange();
    EXPECT_EQ(All(t), "DAN EVE ");
    t->EditRangeEnd();
    t->FieldByName("NUM")->SetAsInteger(4);
    t->ApplyRange();
    EXPECT_EQ(All(t), "DAN ");
    t->CancelRange();
    EXPECT_EQ(t->GetRecordCount(), 5);

    // A bookmark of a record outside the range is not valid there.
    t->FindKey({int64_t(5)});
    TBookmark eve = t->GetBookmark();
    t->SetRange({int64_t(1)}, {int64_t(3)});
    EXPECT_FALSE(t->BookmarkValid(eve));
    t->First();
    EXPECT_ANY_THROW(t->GotoBookmark(eve));
    EXPECT_EQ(Cur(t), "BOB");
    EXPECT_EQ(Rest(t), "BOB AMY CAT ");
    t->CancelRange();

    // Character bounds compare over their own length; a range belongs to its index.
    t->SetIndexName("NAME");
    t->SetRange({std::string("B")}, {std::string("D")});
    EXPECT_EQ(All(t), "BOB CAT DAN ");
    t->SetIndexName("NUM");
    EXPECT_EQ(t->GetRecordCount(), 5);
    EXPECT_EQ(All(t), "BOB AMY CAT DAN EVE ");
}

TEST(Indexes, MasterDetailThroughARange) {
    TempDir dir;
    MakePeople(dir, 3, "cust.dbf");
    bde::TDbfTable::Create(dir / "orders.dbf", {{"CUST", 'N', 4}, {"QTY", 'N', 6}});
    {
        auto o = bde::TDbfTable::Open(dir / "orders.dbf", {.Exclusive = true});
        for (auto [c, q] : {std::pair{3, 7}, {1, 12}, {3, 1}, {1, 10}, {1, 11}}) {
            bde::TDbfRecord r(o);
            r.SetNumber(0, c);
            r.SetNumber(1, q);
            o->Post(r);
        }
    }
    TFixture fx;
    fx.Table(dir, "orders.dbf")->AddIndex("CUST", "CUST", {});
    fx.Table(dir, "orders.dbf")->AddIndex("BYQTY", "QTY", {});
    TTable* cust = fx.Table(dir, "cust.dbf");
    TTable* orders = fx.Table(dir, "orders.dbf");
    orders->SetIndexFieldNames("CUST");
    orders->SetMasterFields("NUM");
    orders->SetMasterSource(fx.Source(cust));
    auto qtys = [&] {
        std::string s;
        for (orders->First(); !orders->GetEOF(); orders->Next()) s += orders->FieldByName("QTY")->GetAsString() + " ";
        return s;
    };
    cust->Open();
    orders->Open();
    EXPECT_EQ(qtys(), "12 10 11 ");
    EXPECT_EQ(orders->GetRecordCount(), 3);
    cust->Next();
    EXPECT_TRUE(orders->IsEmpty());
    cust->Next();
    EXPECT_EQ(qtys(), "7 1 ");
    orders->Append();
    EXPECT_EQ(orders->FieldByName("CUST")->GetAsInteger(), 3);
    orders->FieldByName("QTY")->SetAsInteger(99);
    orders->Post();
    EXPECT_EQ(qtys(), "7 1 99 ");

    // IndexName: the detail fields are the index's; another index restricts other fields.
    orders->SetIndexName("CUST");
    EXPECT_EQ(qtys(), "7 1 99 ");
    cust->First();
    EXPECT_EQ(qtys(), "12 10 11 ");
    orders->SetIndexName("BYQTY");
    EXPECT_EQ(qtys(), "1 ") << "QTY equal to customer 1's NUM, through a range on BYQTY";
    orders->SetIndexFieldNames("CUST");
    EXPECT_EQ(qtys(), "12 10 11 ");

    // Dropping the detail's tag leaves the record test in natural order.
    cust->Close();
    EXPECT_EQ(orders->GetRecordCount(), 6);
    orders->Close();
    orders->SetExclusive(true);
    cust->Open();
    orders->Open();
    orders->DeleteIndex("CUST");
    EXPECT_EQ(orders->GetIndexFieldNames(), "CUST");
    EXPECT_EQ(qtys(), "12 10 11 ");
    cust->Last();
    EXPECT_EQ(qtys(), "7 1 99 ");
}

TEST(Indexes, EditsMoveRecordsWithinTheOrder) {
    TempDir dir;
    MakeIndexed(dir);
    TFixture fx;
    TTable* t = fx.Table(dir, "idx.dbf");
    t->SetIndexName("NAME");
    t->Open();
    ASSERT_TRUE(t->FindKey({std::string("CAT")}));
    t->Edit();
    t->FieldByName("NAME")->SetAsString("AAA");
    t->Post();
    EXPECT_EQ(Cur(t), "AAA");
    EXPECT_EQ(Rest(t), "AAA AMY BOB DAN EVE ") << "the record moved to its new key";

    // A record posted outside the range stays out of it.
    t->SetIndexName("NUM");
    t->SetRange({int64_t(2)}, {int64_t(4)});
    t->Append();
    t->FieldByName("NAME")->SetAsString("ZED");
    t->FieldByName("NUM")->SetAsInteger(9);
    t->Post();
    EXPECT_EQ(All(t), "AMY AAA DAN ");
    EXPECT_EQ(t->GetRecordCount(), 3);
    t->CancelRange();
    EXPECT_EQ(All(t), "BOB AMY AAA DAN EVE ZED ");
}
