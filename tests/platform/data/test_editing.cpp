// Editing: the state changes and the order of events for edit, post, cancel, insert and
// delete; fields and their conversions; lookup and calculated fields; field data links; the
// table's own operations.
#include "data_test_util.h"
#include "rtl/sysutils.h"

using namespace vcl;
using namespace datatest;

namespace {

// Records the dataset's events, the source's and a link's, into one log.
struct TEventLog {
    std::vector<std::string> Log;
    void Attach(TDataSet* ds, TDataSource* src) {
        auto add = [this](const char* name) { return [this, name](TDataSet*) { Log.push_back(name); }; };
        ds->BeforeEdit = add("BeforeEdit");
        ds->AfterEdit = add("AfterEdit");
        ds->BeforePost = add("BeforePost");
        ds->AfterPost = add("AfterPost");
        ds->BeforeCancel = add("BeforeCancel");
        ds->AfterCancel = add("AfterCancel");
        ds->BeforeDelete = add("BeforeDelete");
        ds->AfterDelete = add("AfterDelete");
        ds->BeforeInsert = add("BeforeInsert");
        ds->AfterInsert = add("AfterInsert");
        ds->BeforeScroll = add("BeforeScroll");
        ds->AfterScroll = add("AfterScroll");
        ds->OnNewRecord = add("OnNewRecord");
        src->OnStateChange = [this, src](TObject*) {
            Log.push_back("StateChange(" + EnumToIdent(src->GetState()) + ")");
        };
    }
};

}  // namespace

TEST(Editing, StateChangesAndEventOrder) {
    TempDir dir;
    MakePeople(dir, 5);
    TEventLog ev;
    TFixture fx;
    TTable* t = fx.Table(dir);
    TDataSource* src = fx.Source(t);
    auto link = MakeOwned<TLogLink>(&ev.Log);
    link->SetDataSource(src);
    t->Open();
    ev.Attach(t, src);
    using V = std::vector<std::string>;

    ev.Log.clear();
    t->Edit();
    EXPECT_EQ(t->GetState(), dsEdit);
    EXPECT_EQ(ev.Log, (V{"CheckBrowseMode", "BeforeEdit", "EditingChanged", "StateChange(dsEdit)", "RecordChanged",
                         "AfterEdit"}));

    ev.Log.clear();
    t->FieldByName("NAME")->SetAsString("EDITED");
    EXPECT_TRUE(t->GetModified());
    EXPECT_EQ(ev.Log, (V{"RecordChanged(NAME)"}));

    ev.Log.clear();
    t->Post();
    EXPECT_EQ(t->GetState(), dsBrowse);
    EXPECT_EQ(ev.Log, (V{"UpdateData", "CheckBrowseMode", "BeforePost", "EditingChanged", "StateChange(dsBrowse)",
                         "DataSetChanged", "AfterPost"}));
    EXPECT_EQ(t->FieldByName("NAME")->GetAsString(), "EDITED");

    t->Edit();
    t->FieldByName("NAME")->SetAsString("DROPPED");
    ev.Log.clear();
    t->Cancel();
    EXPECT_EQ(ev.Log, (V{"CheckBrowseMode", "BeforeCancel", "EditingChanged", "StateChange(dsBrowse)",
                         "DataSetChanged", "AfterCancel"}));
    EXPECT_EQ(t->FieldByName("NAME")->GetAsString(), "EDITED");

    ev.Log.clear();
    t->Delete();
    EXPECT_EQ(ev.Log, (V{"CheckBrowseMode", "BeforeDelete", "BeforeScroll", "DataSetChanged", "AfterDelete",
                         "AfterScroll"}));
    EXPECT_EQ(t->FieldByName("NAME")->GetAsString(), "R02");

    ev.Log.clear();
    t->Insert();
    EXPECT_EQ(t->GetState(), dsInsert);
    EXPECT_EQ(ev.Log, (V{"CheckBrowseMode", "BeforeInsert", "BeforeScroll", "EditingChanged",
                         "StateChange(dsInsert)", "OnNewRecord", "DataSetChanged", "AfterInsert", "AfterScroll"}));
    EXPECT_TRUE(t->FieldByName("NAME")->IsNull());
    // An unmodified insert is cancelled by the browse-mode check; the dataset is back on R02.
    t->Next();
    EXPECT_EQ(t->GetState(), dsBrowse);
    EXPECT_EQ(t->FieldByName("NAME")->GetAsString(), "R03");
    EXPECT_EQ(t->GetRecordCount(), 4);

    // A modified edit is posted by the browse-mode check.
    t->Edit();
    t->FieldByName("NUM")->SetAsInteger(333);
    t->Prior();
    t->Next();
    EXPECT_EQ(t->FieldByName("NUM")->GetAsInteger(), 333);
}

TEST(Editing, InsertPostsAtTheEndAndCancelRestoresTheWindow) {
    TempDir dir;
    MakePeople(dir, 8);
    TFixture fx;
    TTable* t = fx.Table(dir);
    auto link = NewLink(fx, t, 4);
    t->Open();
    t->MoveBy(2);
    t->Insert();
    EXPECT_EQ(WindowNames(*link, t), "R01 R02  R03");
    t->Cancel();
    EXPECT_EQ(t->FieldByName("NAME")->GetAsString(), "R03");
    EXPECT_EQ(WindowNames(*link, t), "R01 R02 R03 R04");

    t->Insert();
    t->FieldByName("NAME")->SetAsString("NEW");
    t->FieldByName("AMT")->SetAsFloat(2.25);
    t->Post();
    EXPECT_EQ(t->FieldByName("NAME")->GetAsString(), "NEW");
    EXPECT_EQ(t->GetRecNo(), 9);  // dBase tables append
    t->Last();
    EXPECT_EQ(t->FieldByName("AMT")->GetAsFloat(), 2.25);

    t->Append();
    EXPECT_EQ(link->GetActiveRecord(), 3);
    EXPECT_EQ(WindowNames(*link, t), "R07 R08 NEW ");
    t->Cancel();
    EXPECT_EQ(t->FieldByName("NAME")->GetAsString(), "NEW");
}

TEST(Editing, RequiredReadOnlyAndStateErrors) {
    TempDir dir;
    MakePeople(dir, 3);
    TFixture fx;
    TTable* t = fx.Table(dir);
    t->Open();
    auto msg = [](const std::function<void()>& f) {
        try {
            f();
        } catch (const Exception& e) {
            return e.Message();
        }
        return std::string("no error");
    };
    EXPECT_EQ(msg([&] { t->FieldByName("NAME")->SetAsString("X"); }), "Dataset not in edit or insert mode");
    EXPECT_EQ(msg([&] { t->FieldByName("NOPE"); }), "Field 'NOPE' not found");
    EXPECT_EQ(msg([&] { t->SetExclusive(true); }), "Cannot perform this operation on an open dataset");
    t->FieldByName("NAME")->SetRequired(true);
    t->Append();
    EXPECT_EQ(msg([&] { t->Post(); }), "Field 'NAME' must have a value");
    EXPECT_EQ(t->GetState(), dsInsert);
    t->Cancel();
    t->Close();
    EXPECT_EQ(msg([&] { t->Next(); }), "Cannot perform this operation on a closed dataset");
    t->SetReadOnly(true);
    t->Open();
    EXPECT_FALSE(t->GetCanModify());
    EXPECT_EQ(msg([&] { t->Edit(); }), "Cannot modify a read-only dataset");
}

// OnPostError decides what a failed post does; the record stays in its state for a retry.
TEST(Editing, PostErrorsAndGetCurrentRecord) {
    TempDir dir;
    MakePeople(dir, 3);
    TFixture fx;
    TTable* t = fx.Table(dir);
    t->Open();
    t->FieldByName("NAME")->SetRequired(true);
    int calls = 0;
    t->OnPostError = [&](TDataSet* ds, EDatabaseError& e, TDataAction& action) {
        ++calls;
        EXPECT_EQ(e.Message(), "Field 'NAME' must have a value");
        if (calls == 1) {
            action = daAbort;
        } else {
            ds->FieldByName("NAME")->SetAsString("FIXED");
            action = daRetry;
        }
    };
    // The control of a link on the failing field is asked to take the focus.
    std::vector<TComponent*> focused;
    TFieldDataLink::SetFocusHook([&](TComponent* c) {
        focused.push_back(c);
        return true;
    });
    auto fl = MakeOwned<TFieldDataLink>();
    auto control = MakeOwned<TComponent>(nullptr);
    fl->SetControl(control.get());
    fl->SetFieldName("NAME");
    fl->SetDataSource(fx.Source(t));
    t->Append();
    EXPECT_THROW(t->Post(), EAbort);
    EXPECT_EQ(focused, std::vector<TComponent*>{control.get()});
    TFieldDataLink::SetFocusHook(nullptr);
    EXPECT_EQ(t->GetState(), dsInsert);
    t->Post();
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(t->GetState(), dsBrowse);
    EXPECT_EQ(t->FieldByName("NAME")->GetAsString(), "FIXED");
    EXPECT_EQ(t->GetRecordCount(), 4);

    std::vector<char> rec(size_t(t->GetRecordSize()));
    t->First();
    t->Next();
    ASSERT_TRUE(t->GetCurrentRecord(rec.data()));
    EXPECT_EQ(std::string(rec.data() + 1, 3), "R02");
    t->Edit();
    EXPECT_FALSE(t->GetCurrentRecord(rec.data()));
    t->Cancel();
}

// Conversions raise with the platform's texts and leave the value alone.
TEST(Fields, ConversionErrors) {
    TempDir dir;
    MakePeople(dir, 2);
    TFixture fx;
    TTable* t = fx.Table(dir);
    t->Open();
    t->Edit();
    struct Case {
        const char* field;
        std::function<void(TField*)> act;
        const char* message;
    };
    const Case cases[] = {
        {"NUM", [](TField* f) { f->SetAsString("abc"); }, "'abc' is not a valid integer value"},
        {"NUM", [](TField* f) { f->SetText("12x"); }, "'12x' is not a valid integer value"},
        {"AMT", [](TField* f) { f->SetAsString("1,2,3"); }, "'1,2,3' is not a valid floating point value"},
        {"BORN", [](TField* f) { f->SetAsString("99/99/2000"); }, "'99/99/2000' is not a valid date"},
        {"OK", [](TField* f) { f->SetAsString("maybe"); }, "'maybe' is not a valid boolean value for field 'OK'"},
        {"NAME", [](TField* f) { (void)f->GetAsInteger(); }, "'R01' is not a valid integer value"},
        {"NUM", [](TField* f) { (void)f->GetAsDateTime(); }, "Cannot access field 'NUM' as type DateTime"},
        {"BORN", [](TField* f) { f->SetAsBoolean(true); }, "Cannot access field 'BORN' as type Boolean"},
    };
    for (const Case& c : cases) {
        TField* f = t->FieldByName(c.field);
        std::string before = f->GetAsString();
        try {
            c.act(f);
            ADD_FAILURE() << c.message << ": no error";
        } catch (const Exception& e) {
            EXPECT_EQ(e.Message(), c.message);
        }
        EXPECT_EQ(f->GetAsString(), before) << c.field;
    }
    t->Cancel();
}

TEST(Fields, TypesValuesAndTexts) {
    TempDir dir;
    MakePeople(dir, 3);
    TFixture fx;
    TTable* t = fx.Table(dir);
    t->Open();
    ASSERT_EQ(t->GetFieldCount(), 5);
    EXPECT_EQ(t->Fields()[0]->GetDataType(), ftString);
    EXPECT_EQ(t->Fields()[0]->GetSize(), 10);
    EXPECT_EQ(t->Fields()[1]->GetDataType(), ftInteger);
    EXPECT_EQ(t->Fields()[2]->GetDataType(), ftFloat);
    EXPECT_EQ(t->Fields()[3]->GetDataType(), ftDate);
    EXPECT_EQ(t->Fields()[4]->GetDataType(), ftBoolean);
    EXPECT_EQ(t->Fields()[4]->GetFieldNo(), 5);
    EXPECT_TRUE(t->FindField("num") == t->Fields()[1]);
    EXPECT_EQ(t->FindField("none"), nullptr);
    EXPECT_EQ(t->FieldByName("AMT")->GetAsString(), "1.5");
    EXPECT_EQ(t->FieldByName("NUM")->GetAlignment(), taRightJustify);
    EXPECT_TRUE(t->FieldByName("OK")->GetAsBoolean());
    EXPECT_EQ(t->FieldByName("OK")->GetDisplayText(), "True");
    static_cast<TBooleanField*>(t->FieldByName("OK"))->SetDisplayValues("Yes;No");
    EXPECT_EQ(t->FieldByName("OK")->GetDisplayText(), "Yes");
    int y, m, d;
    DecodeDate(t->FieldByName("BORN")->GetAsDateTime(), y, m, d);
    EXPECT_EQ(y * 10000 + m * 100 + d, 20000202);

    t->FieldByName("NAME")->OnGetText = [](TField* f, std::string& s, bool display) {
        s = (display ? "<" : "[") + f->GetAsString() + (display ? ">" : "]");
    };
    EXPECT_EQ(t->FieldByName("NAME")->GetDisplayText(), "<R01>");
    EXPECT_EQ(t->FieldByName("NAME")->GetText(), "[R01]");

    t->Edit();
    std::vector<std::string> changes;
    t->FieldByName("NUM")->OnValidate = [&](TField* f) {
        if (f->GetAsInteger() < 0) throw EDatabaseError("negative");
    };
    t->FieldByName("NUM")->OnChange = [&](TField* f) { changes.push_back(f->GetAsString()); };
    t->FieldByName("NUM")->SetText("42");
    EXPECT_THROW(t->FieldByName("NUM")->SetAsInteger(-1), EDatabaseError);
    EXPECT_EQ(t->FieldByName("NUM")->GetAsInteger(), 42);
    EXPECT_EQ(changes, std::vector<std::string>{"42"});
    t->FieldByName("NAME")->SetAsString("ABCDEFGHIJKLMN");  // cut to the field's size
    t->FieldByName("OK")->Clear();
    t->FieldByName("OK")->OnChange = nullptr;
    t->Post();
    EXPECT_EQ(t->FieldByName("NAME")->GetAsString(), "ABCDEFGHIJ");
    EXPECT_TRUE(t->FieldByName("OK")->IsNull());
    EXPECT_FALSE(t->FieldByName("OK")->GetAsBoolean());  // null reads False
    t->FieldByName("NAME")->OnGetText = nullptr;
    EXPECT_EQ(VarToStr(t->GetFieldValues("NUM")), "42");
}

TEST(Fields, NumberMasks) {
    struct Case {
        const char* mask;
        double value;
        const char* text;
    };
    const Case cases[] = {
        {"#,##0.00", 1234.5, "1,234.50"},      {"#,##0.00", 1234567.891, "1,234,567.89"},
        {"0.###", 2.5, "2.5"},                 {"0.###", 2, "2"},
        {"#,##0;(#,##0);Zero", -1234, "(1,234)"}, {"#,##0;(#,##0);Zero", 0, "Zero"},
        {"0.00", -0.001, "0.00"},              {"0.00", -2.5, "-2.50"},
        {"000", 7, "007"},                     {"#.##", 0.5, ".5"},
        {"\"Qty: \"0", 3, "Qty: 3"},           {"0 'kg'", 12, "12 kg"},
        {"", 1.5, "1.5"},
    };
    for (const Case& c : cases) EXPECT_EQ(FormatFloat(c.mask, c.value), c.text) << c.mask << " " << c.value;

    TempDir dir;
    MakePeople(dir, 1);
    TFixture fx;
    TTable* t = fx.Table(dir);
    t->Open();
    auto* amt = static_cast<TNumericField*>(t->FieldByName("AMT"));
    amt->SetDisplayFormat("#,##0.00");
    EXPECT_EQ(amt->GetDisplayText(), "1.50");
    EXPECT_EQ(amt->GetText(), "1.50");  // no edit format: the display format
    amt->SetEditFormat("0.0###");
    EXPECT_EQ(amt->GetText(), "1.5");
    auto* num = static_cast<TNumericField*>(t->FieldByName("NUM"));
    num->SetDisplayFormat("000");
    EXPECT_EQ(num->GetDisplayText(), "001");
    EXPECT_EQ(num->GetAsString(), "1");
}

// A calculated field from OnCalcFields and a lookup field into another table, read for
// every row of a link's window.
TEST(Fields, CalculatedAndLookupFields) {
    TempDir dir;
    MakePeople(dir, 5, "cust.dbf");
    bde::TDbfTable::Create(dir / "orders.dbf", {{"CUST", 'N', 4}, {"QTY", 'N', 6}});
    {
        auto o = bde::TDbfTable::Open(dir / "orders.dbf");
        for (auto [c, q] : {std::pair{3, 10}, {1, 7}, {9, 1}, {5, 2}}) {
            bde::TDbfRecord r(o);
            r.SetNumber(0, c);
            r.SetNumber(1, q);
            o->Post(r);
        }
    }
    TFixture fx;
    TTable* cust = fx.Table(dir, "cust.dbf");
    cust->Open();
    TTable* orders = fx.Table(dir, "orders.dbf");
    for (const char* n : {"CUST", "QTY"}) {
        auto* f = Create<TIntegerField>(orders);
        f->SetFieldName(n);
        f->SetDataSet(orders);
    }
    auto* twice = Create<TIntegerField>(orders);
    twice->SetFieldName("TWICE");
    twice->SetFieldKind(fkCalculated);
    twice->SetDataSet(orders);
    auto* name = Create<TStringField>(orders);
    name->SetFieldName("CUSTNAME");
    name->SetFieldKind(fkLookup);
    name->SetLookupDataSet(cust);
    name->SetKeyFields("CUST");
    name->SetLookupKeyFields("NUM");
    name->SetLookupResultField("NAME");
    name->SetDataSet(orders);
    orders->OnCalcFields = [](TDataSet* ds) {
        ds->FieldByName("TWICE")->SetAsInteger(ds->FieldByName("QTY")->GetAsInteger() * 2);
    };
    auto link = NewLink(fx, orders, 4);
    orders->Open();
    EXPECT_FALSE(orders->GetDefaultFields());
    std::string rows;
    for (int i = 0; i < link->GetRecordCount(); ++i) {
        link->SetActiveRecord(i);
        rows += orders->FieldByName("TWICE")->GetAsString() + ":" + orders->FieldByName("CUSTNAME")->GetAsString() + " ";
    }
    EXPECT_EQ(rows, "20:R03 14:R01 2: 4:R05 ");
    EXPECT_FALSE(name->GetCanModify());
    EXPECT_TRUE(name->GetLookup());
    link->SetActiveRecord(0);

    orders->Edit();
    EXPECT_THROW(twice->SetAsInteger(1), EDatabaseError);
    orders->FieldByName("QTY")->SetAsInteger(50);
    orders->FieldByName("CUST")->SetAsInteger(2);
    EXPECT_EQ(twice->GetAsInteger(), 100) << "recalculated on a field change";
    EXPECT_EQ(name->GetAsString(), "R02");
    orders->Post();
    EXPECT_EQ(twice->GetAsInteger(), 100);
    EXPECT_EQ(cust->FieldByName("NAME")->GetAsString(), "R01") << "the lookup table did not move";

    // A freed lookup table is forgotten; a freed field leaves its dataset.
    cust->Free();
    EXPECT_EQ(name->GetLookupDataSet(), nullptr);
    orders->Refresh();
    EXPECT_TRUE(name->IsNull());
    twice->Free();
    EXPECT_FALSE(orders->GetActive());
    EXPECT_EQ(orders->FindField("TWICE"), nullptr);
    orders->OnCalcFields = nullptr;
    orders->Open();
    EXPECT_EQ(orders->GetFieldCount(), 3);
}

// A detail table shows the records whose key fields equal the master's current values and
// follows the master as it moves; a new detail record takes the master's key.
TEST(Table, MasterDetail) {
    TempDir dir;
    MakePeople(dir, 3, "cust.dbf");
    bde::TDbfTable::Create(dir / "orders.dbf", {{"CUST", 'N', 4}, {"QTY", 'N', 6}});
    {
        auto o = bde::TDbfTable::Open(dir / "orders.dbf");
        for (auto [c, q] : {std::pair{1, 10}, {3, 7}, {1, 11}, {1, 12}, {3, 1}}) {
            bde::TDbfRecord r(o);
            r.SetNumber(0, c);
            r.SetNumber(1, q);
            o->Post(r);
        }
    }
    TFixture fx;
    TTable* cust = fx.Table(dir, "cust.dbf");
    TTable* orders = fx.Table(dir, "orders.dbf");
    orders->SetIndexFieldNames("CUST");
    orders->SetMasterFields("NUM");
    orders->SetMasterSource(fx.Source(cust));
    auto link = NewLink(fx, orders, 5);
    auto qtys = [&] {
        std::string s;
        for (int i = 0; i < link->GetRecordCount(); ++i) {
            link->SetActiveRecord(i);
            s += orders->FieldByName("QTY")->GetAsString() + " ";
        }
        return s;
    };
    orders->Open();
    EXPECT_EQ(qtys(), "10 7 11 12 1 ") << "an inactive master restricts nothing";
    cust->Open();
    EXPECT_EQ(qtys(), "10 11 12 ");
    EXPECT_EQ(orders->GetRecordCount(), 3);
    cust->Next();
    EXPECT_TRUE(orders->IsEmpty());
    cust->Next();
    EXPECT_EQ(qtys(), "7 1 ");
    orders->Append();
    EXPECT_EQ(orders->FieldByName("CUST")->GetAsInteger(), 3);
    orders->FieldByName("QTY")->SetAsInteger(99);
    orders->Post();
    EXPECT_EQ(orders->GetRecordCount(), 3);
    cust->First();
    EXPECT_EQ(qtys(), "10 11 12 ");
    EXPECT_THROW(orders->SetMasterFields("NUM;NAME"), EDatabaseError);
    EXPECT_EQ(orders->GetMasterFields(), "NUM");
    EXPECT_EQ(qtys(), "10 11 12 ");
    cust->Close();
    EXPECT_EQ(orders->GetRecordCount(), 6);
}

TEST(Links, FieldDataLinkNotificationsAndUnknownField) {
    TempDir dir;
    MakePeople(dir, 4);
    TFixture fx;
    TTable* t = fx.Table(dir);
    TDataSource* src = fx.Source(t);
    std::vector<std::string> log;
    auto fl = MakeOwned<TFieldDataLink>();
    fl->OnDataChange = [&](TObject*) { log.push_back("data:" + (fl->GetField() ? fl->GetField()->GetAsString() : "")); };
    fl->OnEditingChange = [&](TObject*) { log.push_back(std::string("editing:") + (fl->GetEditing() ? "1" : "0")); };
    fl->OnActiveChange = [&](TObject*) { log.push_back("active"); };
    fl->OnUpdateData = [&](TObject*) {
        log.push_back("update");
        fl->GetField()->SetAsString("TYPED");
    };
    fl->SetFieldName("NAME");
    fl->SetDataSource(src);
    t->Open();
    EXPECT_EQ(fl->GetField(), t->FieldByName("NAME"));
    EXPECT_EQ(log, (std::vector<std::string>{"data:R01", "active"}));

    log.clear();
    t->Next();
    EXPECT_EQ(log, (std::vector<std::string>{"data:R02"}));

    try {
        fl->SetFieldName("MISSING");
        ADD_FAILURE();
    } catch (const EDatabaseError& e) {
        EXPECT_EQ(e.Message(), "Field 'MISSING' not found");
    }
    EXPECT_EQ(fl->GetFieldName(), "NAME");

    log.clear();
    EXPECT_TRUE(fl->Edit());
    EXPECT_EQ(t->GetState(), dsEdit);
    fl->Modified();
    t->Post();  // the control's pending text is written before the post
    EXPECT_EQ(t->FieldByName("NAME")->GetAsString(), "TYPED");
    EXPECT_EQ(log.front(), "editing:1");
    EXPECT_NE(std::find(log.begin(), log.end(), "update"), log.end());

    src->SetAutoEdit(false);
    EXPECT_FALSE(fl->Edit());
    fl->SetReadOnly(true);
    EXPECT_FALSE(fl->GetCanModify());

    // A freed data source is forgotten by its links.
    src->Free();
    EXPECT_EQ(fl->GetDataSource(), nullptr);
    EXPECT_FALSE(fl->GetActive());
    EXPECT_EQ(fl->GetField(), nullptr);
    EXPECT_EQ(t->DataSourceCount(), 0);
}

TEST(Links, DataSourceEvents) {
    TempDir dir;
    MakePeople(dir, 3);
    TFixture fx;
    TTable* t = fx.Table(dir);
    TDataSource* src = fx.Source(t);
    std::vector<std::string> log;
    src->OnDataChange = [&](TObject*, TField* f) { log.push_back(f ? "data:" + f->GetFieldName() : "data"); };
    src->OnUpdateData = [&](TObject*) { log.push_back("update"); };
    src->OnStateChange = [&](TObject*) { log.push_back("state:" + EnumToIdent(src->GetState())); };
    t->Open();
    t->Next();
    src->Edit();
    t->FieldByName("NUM")->SetAsInteger(5);
    t->Post();
    EXPECT_EQ(log, (std::vector<std::string>{"state:dsBrowse", "data", "data", "state:dsEdit", "data", "data:NUM", "update",
                                             "state:dsBrowse", "data"}));
    log.clear();
    t->Close();
    EXPECT_EQ(log, std::vector<std::string>{"state:dsInactive"});
}

TEST(Links, DataSourceStateAndFreedDataSet) {
    TempDir dir;
    MakePeople(dir, 2);
    TFixture fx;
    TTable* t = fx.Table(dir);
    TDataSource* src = fx.Source(nullptr);
    EXPECT_EQ(src->GetState(), dsInactive);
    EXPECT_TRUE(src->GetAutoEdit());
    auto link = MakeOwned<TLogLink>();
    link->SetDataSource(src);
    src->SetDataSet(t);
    t->Open();
    EXPECT_EQ(src->GetState(), dsBrowse);
    EXPECT_TRUE(link->GetActive());
    src->SetEnabled(false);
    EXPECT_FALSE(link->GetActive());
    src->SetEnabled(true);
    EXPECT_TRUE(link->GetActive());
    t->Free();
    EXPECT_EQ(src->GetDataSet(), nullptr);
    EXPECT_FALSE(link->GetActive());
}

TEST(Table, HandleTypeExclusiveAndFileOperations) {
    TempDir dir;
    TFixture fx;
    TTable* t = fx.Table(dir, "new.dbf");
    EXPECT_FALSE(t->Exists());
    t->FieldDefs().Add("NAME", ftString, 12);
    t->FieldDefs().Add("QTY", ftInteger);
    t->FieldDefs().Add("PRICE", ftFloat, 2);
    t->FieldDefs().Add("WHEN", ftDate);
    t->FieldDefs().Add("FLAG", ftBoolean);
    t->FieldDefs().Add("NOTE", ftMemo);
    t->CreateTable();
    EXPECT_TRUE(t->Exists());
    EXPECT_EQ(t->GetHandle(), 0);
    t->Open();
    int32_t h = t->GetHandle();
    EXPECT_GE(uint32_t(h) & 0xFFFF, 256u);
    EXPECT_EQ(TCursorHandles::Find(h), t->Cursor());
    EXPECT_EQ(t->Fields()[1]->GetDataType(), ftInteger);
    t->Append();
    t->FieldByName("NAME")->SetAsString("Gadget");
    t->FieldByName("NOTE")->SetAsString("a long note");
    t->FieldByName("WHEN")->SetAsDateTime(EncodeDate(2024, 2, 29));
    t->Post();
    {
        auto s = t->CreateBlobStream(t->FieldByName("NOTE"), bmRead);
        char buf[16] = {};
        EXPECT_EQ(s->Read(buf, 6), 6);
        EXPECT_EQ(std::string(buf), "a long");
    }
    EXPECT_TRUE(t->FieldByName("NOTE")->IsBlob());
    EXPECT_EQ(t->FieldByName("NOTE")->GetDisplayText(), "(MEMO)");
    EXPECT_THROW(t->SetExclusive(true), EDatabaseError);
    EXPECT_THROW(t->SetTableName("x"), EDatabaseError);
    t->Close();
    EXPECT_EQ(t->GetHandle(), 0);
    EXPECT_EQ(TCursorHandles::Find(h), nullptr);

    t->Open();
    EXPECT_EQ(t->FieldByName("NOTE")->GetAsString(), "a long note");
    EXPECT_THROW(t->CreateBlobStream(t->FieldByName("NOTE"), bmWrite), EDatabaseError);  // not editing
    t->Edit();
    {
        auto s = t->CreateBlobStream(t->FieldByName("NOTE"), bmReadWrite);
        s->Seek(2);
        EXPECT_EQ(s->Write("short", 5), 5);
        s->Truncate();
    }
    t->Post();
    EXPECT_EQ(t->FieldByName("NOTE")->GetAsString(), "a short");
    t->Close();
    t->SetExclusive(true);
    t->Open();
    {
        TTable* other = fx.Table(dir, "NEW");
        EXPECT_TRUE(other->Exists()) << "held exclusively, but there";
        EXPECT_THROW(other->Open(), EDatabaseError);
    }
    t->EmptyTable();
    EXPECT_TRUE(t->IsEmpty());
    EXPECT_EQ(t->GetRecordCount(), 0);
    t->Close();
    t->DeleteTable();
    EXPECT_FALSE(t->Exists());

    // An engine's own table type: ordinals above ttASCII are kept.
    t->SetTableType(TTableType(7));
    EXPECT_EQ(int(t->GetTableType()), 7);
    t->SetTableType(ttParadox);
    t->SetTableName("x.db");
    EXPECT_THROW(t->Open(), EDatabaseError);
    EXPECT_FALSE(t->GetActive());
}

// A dataset that supplies its own cursor: the handle is what that cursor reports.
TEST(Table, SubclassSuppliesItsOwnCursor) {
    TempDir dir;
    MakePeople(dir, 3);
    struct TAreaCursor : TDataCursor {
        std::unique_ptr<TDataCursor> inner;
        int32_t Handle() const override { return 7; }
        int RecordSize() const override { return inner->RecordSize(); }
        void GetFieldDefs(TFieldDefs& d) override { inner->GetFieldDefs(d); }
        void SetToBegin() override { inner->SetToBegin(); }
        void SetToEnd() override { inner->SetToEnd(); }
        int Next(char* r) override { return inner->Next(r); }
        int Prior(char* r) override { return inner->Prior(r); }
        int Current(char* r) override { return inner->Current(r); }
        uint32_t RecNo() const override { return inner->RecNo(); }
        int SetToRecNo(uint32_t n) override { return inner->SetToRecNo(n); }
        uint32_t RecordCount(bool e) override { return inner->RecordCount(e); }
        bool GetShowDeleted() const override { return inner->GetShowDeleted(); }
        void SetShowDeleted(bool v) override { inner->SetShowDeleted(v); }
        void SetFilter(const std::string& s, TFilterOptions o, TRecordTest x) override { inner->SetFilter(s, o, x); }
        void CheckFilter(const std::string& s, TFilterOptions o) override { inner->CheckFilter(s, o); }
        bool GetField(int n, const char* r, Variant& v) override { return inner->GetField(n, r, v); }
        void InitRecord(char* r) override { inner->InitRecord(r); }
        void BeginEdit(char* r) override { inner->BeginEdit(r); }
        void SetField(int n, const Variant& v, char* r) override { inner->SetField(n, v, r); }
        void Post(bool i) override { inner->Post(i); }
        void CancelEdit() override { inner->CancelEdit(); }
        bool Editing() const override { return inner->Editing(); }
        void Delete() override { inner->Delete(); }
        void Refresh() override { inner->Refresh(); }
        void Empty() override { inner->Empty(); }
    };
    class TAreaTable : public TTable {
        DBV_LOCAL_CLASS(TAreaTable, TTable)
    public:
        using TTable::TTable;

    protected:
        std::unique_ptr<TDataCursor> CreateCursor() override {
            auto c = std::make_unique<TAreaCursor>();
            c->inner = OpenDbfCursor(TableFileName(), false, false);
            return c;
        }
    };
    TFixture fx;
    auto* t = Create<TAreaTable>(fx.Owner.get());
    t->SetDatabaseName(dir.Path());
    t->SetTableName("PEOPLE");  // found without case and extension
    t->SetTableType(TTableType(5));
    t->Open();
    EXPECT_EQ(t->GetHandle(), 7);
    t->Last();
    EXPECT_EQ(t->FieldByName("NAME")->GetAsString(), "R03");
}
