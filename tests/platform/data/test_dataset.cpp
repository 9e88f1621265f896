// The dataset's record-buffer window, navigation, cursor synchronisation, deleted records,
// bookmarks, filters and searching, on real dBase tables.
#include "data_test_util.h"

using namespace vcl;
using namespace datatest;

TEST(DataSet, StateOrdinals) {
    EXPECT_EQ(int(dsInactive), 0);
    EXPECT_EQ(int(dsBrowse), 1);
    EXPECT_EQ(int(dsEdit), 2);
    EXPECT_EQ(int(dsInsert), 3);
    EXPECT_EQ(int(dsSetKey), 4);
    EXPECT_EQ(int(dsCalcFields), 5);
    EXPECT_EQ(int(dsUpdateNew), 6);
    EXPECT_EQ(int(dsUpdateOld), 7);
    EXPECT_EQ(int(dsFilter), 8);
    EXPECT_EQ(int(ftCursor), 22);
    EXPECT_EQ(int(ftMemo), 16);
    EXPECT_EQ(int(ftTypedBinary), 21);
}

// A link of ten rows scrolling through thirty records: scrolls inside the window report 0,
// scrolls past it the rows moved; the window shows the right records throughout.
TEST(DataSet, LinkWindowScrollsWithDistances) {
    TempDir dir;
    MakePeople(dir, 30);
    TFixture fx;
    TTable* t = fx.Table(dir);
    TDataSource* src = fx.Source(t);
    auto link = MakeOwned<TLogLink>();
    link->SetBufferCount(10);
    link->SetDataSource(src);
    t->Open();
    EXPECT_EQ(t->GetBufferCount(), 10);
    EXPECT_EQ(link->GetRecordCount(), 10);
    EXPECT_EQ(link->GetActiveRecord(), 0);
    EXPECT_TRUE(t->GetBOF());
    EXPECT_EQ(WindowNames(*link, t), "R01 R02 R03 R04 R05 R06 R07 R08 R09 R10");

    for (int i = 0; i < 9; ++i) t->Next();
    EXPECT_EQ(link->Scrolls, std::vector<int>(9, 0));
    EXPECT_EQ(link->GetActiveRecord(), 9);
    EXPECT_EQ(t->FieldByName("NAME")->GetAsString(), "R10");

    link->Scrolls.clear();
    t->Next();
    EXPECT_EQ(link->Scrolls, std::vector<int>{1});
    EXPECT_EQ(link->GetActiveRecord(), 9);
    EXPECT_EQ(WindowNames(*link, t), "R02 R03 R04 R05 R06 R07 R08 R09 R10 R11");

    link->Scrolls.clear();
    EXPECT_EQ(t->MoveBy(5), 5);
    EXPECT_EQ(link->Scrolls, std::vector<int>{5});
    EXPECT_EQ(t->FieldByName("NAME")->GetAsString(), "R16");

    link->Scrolls.clear();
    EXPECT_EQ(t->MoveBy(-12), -12);  // nine rows up inside the window, then three more
    EXPECT_EQ(link->Scrolls, std::vector<int>{-3});
    EXPECT_EQ(link->GetActiveRecord(), 0);
    EXPECT_EQ(t->FieldByName("NAME")->GetAsString(), "R04");
    EXPECT_EQ(WindowNames(*link, t), "R04 R05 R06 R07 R08 R09 R10 R11 R12 R13");

    // Past the end: the distance actually moved, and EOF.
    EXPECT_EQ(t->MoveBy(100), 26);
    EXPECT_TRUE(t->GetEOF());
    EXPECT_EQ(t->FieldByName("NAME")->GetAsString(), "R30");
    EXPECT_EQ(t->MoveBy(1), 0);
    EXPECT_EQ(t->MoveBy(-30), -29);
    EXPECT_TRUE(t->GetBOF());

    t->Last();
    EXPECT_EQ(link->GetActiveRecord(), 9);
    EXPECT_EQ(WindowNames(*link, t), "R21 R22 R23 R24 R25 R26 R27 R28 R29 R30");
    EXPECT_TRUE(t->GetEOF());
    t->Prior();
    EXPECT_FALSE(t->GetEOF());
    EXPECT_EQ(link->GetActiveRecord(), 8);
}

// Two links on one source: the dataset keeps the larger window; the smaller link sees the
// part of it around the active record.
TEST(DataSet, BufferCountIsTheLargestOfTheLinks) {
    TempDir dir;
    MakePeople(dir, 20);
    TFixture fx;
    TTable* t = fx.Table(dir);
    TDataSource* src = fx.Source(t);
    auto big = MakeOwned<TLogLink>();
    auto small = MakeOwned<TLogLink>();
    small->SetBufferCount(3);
    small->SetDataSource(src);
    t->Open();
    EXPECT_EQ(t->GetBufferCount(), 3);
    big->SetBufferCount(8);
    big->SetDataSource(src);
    EXPECT_EQ(t->GetBufferCount(), 8);
    EXPECT_EQ(WindowNames(*big, t), "R01 R02 R03 R04 R05 R06 R07 R08");
    t->MoveBy(4);
    EXPECT_EQ(small->GetActiveRecord(), 2);
    EXPECT_EQ(WindowNames(*small, t), "R03 R04 R05");
    EXPECT_EQ(big->GetActiveRecord(), 4);
    big->SetDataSource(nullptr);
    EXPECT_EQ(t->GetBufferCount(), 3);
    EXPECT_EQ(t->FieldByName("NAME")->GetAsString(), "R05");
    EXPECT_EQ(WindowNames(*small, t), "R03 R04 R05");
}

// A grid that grows or shrinks changes its link's buffer count while the dataset is open:
// the window fills from both sides and the current record stays current.
TEST(DataSet, BufferCountChangesWhileOpen) {
    TempDir dir;
    MakePeople(dir, 30);
    TFixture fx;
    TTable* t = fx.Table(dir);
    auto link = NewLink(fx, t, 10);
    t->Open();
    t->Last();
    link->SetBufferCount(15);
    EXPECT_EQ(link->GetRecordCount(), 15);
    EXPECT_EQ(link->GetActiveRecord(), 14);
    EXPECT_EQ(t->FieldByName("NAME")->GetAsString(), "R30");
    link->SetBufferCount(5);
    EXPECT_EQ(WindowNames(*link, t), "R26 R27 R28 R29 R30");
    EXPECT_EQ(t->FieldByName("NAME")->GetAsString(), "R30");
    t->First();
    t->MoveBy(2);
    link->SetBufferCount(12);
    EXPECT_EQ(WindowNames(*link, t), "R01 R02 R03 R04 R05 R06 R07 R08 R09 R10 R11 R12");
    EXPECT_EQ(link->GetActiveRecord(), 2);
    t->MoveBy(12);
    EXPECT_EQ(t->FieldByName("NAME")->GetAsString(), "R15");
    EXPECT_EQ(link->GetActiveRecord(), 11);
}

// Setting a link's ActiveRecord selects the buffer fields read from, without moving the
// dataset or the cursor.
TEST(DataSet, ActiveRecordMovesInsideTheWindow) {
    TempDir dir;
    MakePeople(dir, 12);
    TFixture fx;
    TTable* t = fx.Table(dir);
    auto link = NewLink(fx, t, 5);
    t->Open();
    t->MoveBy(6);  // R07 at the bottom of R03..R07
    for (int row = 0; row < 5; ++row) {
        link->SetActiveRecord(row);
        EXPECT_EQ(t->FieldByName("NUM")->GetAsInteger(), 3 + row);
    }
    link->SetActiveRecord(4);
    t->Next();
    EXPECT_EQ(t->FieldByName("NAME")->GetAsString(), "R08");
    link->SetActiveRecord(1);
    EXPECT_EQ(t->FieldByName("NAME")->GetAsString(), "R05");
    link->SetActiveRecord(1);
    t->Prior();  // from the selected row
    EXPECT_EQ(t->FieldByName("NAME")->GetAsString(), "R04");
}

// Refresh shows the record the cursor stands on after a cursor-level move, with or without
// CursorPosChanged; Resync does the same for the window.
TEST(DataSet, RefreshAfterACursorLevelMove) {
    TempDir dir;
    MakePeople(dir, 40);
    TFixture fx;
    TTable* t = fx.Table(dir);
    auto link = NewLink(fx, t, 10);
    t->Open();
    t->MoveBy(3);

    t->UpdateCursorPos();
    ASSERT_EQ(t->Cursor()->SetToRecNo(27), 0);
    t->Refresh();
    EXPECT_EQ(t->FieldByName("NAME")->GetAsString(), "R27");
    EXPECT_EQ(t->GetRecNo(), 27);
    EXPECT_EQ(link->GetActiveRecord(), 3);  // the row on screen stays where it was
    EXPECT_EQ(WindowNames(*link, t), "R24 R25 R26 R27 R28 R29 R30 R31 R32 R33");

    t->UpdateCursorPos();
    ASSERT_EQ(t->Cursor()->SetToRecNo(5), 0);
    t->CursorPosChanged();
    t->Refresh();
    EXPECT_EQ(t->FieldByName("NAME")->GetAsString(), "R05");

    t->UpdateCursorPos();
    t->Cursor()->SetToRecNo(39);
    t->CursorPosChanged();
    t->Resync(TResyncModes{});
    EXPECT_EQ(t->FieldByName("NAME")->GetAsString(), "R39");
    t->Next();
    EXPECT_EQ(t->FieldByName("NAME")->GetAsString(), "R40");

    // Without a cursor move, Refresh keeps the record (the cursor is first put on it).
    t->First();
    t->MoveBy(4);
    t->Refresh();
    EXPECT_EQ(t->FieldByName("NAME")->GetAsString(), "R05");
}

// Deleted records: hidden by default; with the cursor showing them they are in the window
// and the active buffer's first byte is '*'.
TEST(DataSet, DeletedRecordsAndTheMarkByte) {
    TempDir dir;
    MakePeople(dir, 6);
    {
        auto raw = bde::TDbfTable::Open(dir / "people.dbf", {.Exclusive = true});
        raw->SetDeleted(2, true);
    }
    TFixture fx;
    TTable* t = fx.Table(dir);
    auto link = NewLink(fx, t, 6);
    t->Open();
    EXPECT_EQ(WindowNames(*link, t), "R01 R03 R04 R05 R06");
    EXPECT_EQ(t->ActiveBuffer()[0], ' ');

    t->SetShowDeleted(true);
    EXPECT_EQ(WindowNames(*link, t), "R01 R02 R03 R04 R05 R06");
    t->Next();
    EXPECT_EQ(t->FieldByName("NAME")->GetAsString(), "R02");
    EXPECT_EQ(t->ActiveBuffer()[0], '*');
    EXPECT_EQ(t->GetRecordSize(), 1 + 10 + 6 + 10 + 8 + 1);

    // Deleting through the dataset while deleted records show keeps the record, marked.
    t->Next();
    t->Delete();
    EXPECT_EQ(t->FieldByName("NAME")->GetAsString(), "R03");
    EXPECT_EQ(t->ActiveBuffer()[0], '*');

    t->SetShowDeleted(false);
    EXPECT_EQ(WindowNames(*link, t), "R01 R04 R05 R06");
    t->First();
    t->Next();
    t->Delete();  // hidden now: the next record takes its place
    EXPECT_EQ(t->FieldByName("NAME")->GetAsString(), "R05");
    EXPECT_EQ(WindowNames(*link, t), "R01 R05 R06");
    t->Last();
    t->Delete();
    EXPECT_EQ(t->FieldByName("NAME")->GetAsString(), "R05");
    EXPECT_EQ(WindowNames(*link, t), "R01 R05");
}

TEST(DataSet, BookmarksStayValidAcrossEdits) {
    TempDir dir;
    MakePeople(dir, 300);
    TFixture fx;
    TTable* t = fx.Table(dir);
    t->Open();
    t->MoveBy(4);
    TBookmark b5 = t->GetBookmark();
    ASSERT_FALSE(b5.empty());
    t->MoveBy(7);
    TBookmark b12 = t->GetBookmark();
    EXPECT_EQ(t->CompareBookmarks(b5, b12), -1);
    EXPECT_EQ(t->CompareBookmarks(b12, b5), 1);
    EXPECT_EQ(t->CompareBookmarks(b5, b5), 0);
    t->MoveBy(249);  // record 261 (low byte 5): compared as a number, not byte by byte
    TBookmark b261 = t->GetBookmark();
    EXPECT_EQ(t->CompareBookmarks(b12, b261), -1);
    EXPECT_EQ(t->CompareBookmarks(b261, b12), 1);
    t->GotoBookmark(b12);

    t->Edit();
    t->FieldByName("NAME")->SetAsString("CHANGED");
    t->Post();
    t->Append();
    t->FieldByName("NAME")->SetAsString("NEW");
    t->Post();
    EXPECT_EQ(t->FieldByName("NAME")->GetAsString(), "NEW");
    t->GotoBookmark(b5);
    EXPECT_EQ(t->FieldByName("NAME")->GetAsString(), "R05");
    t->GotoBookmark(b12);
    EXPECT_EQ(t->FieldByName("NAME")->GetAsString(), "CHANGED");
    EXPECT_TRUE(t->BookmarkValid(b5));
    t->GotoBookmark(b5);
    t->Delete();
    EXPECT_FALSE(t->BookmarkValid(b5));
    EXPECT_THROW(t->GotoBookmark(b5), EDatabaseError);
    t->FreeBookmark(b5);
    EXPECT_TRUE(b5.empty());
    EXPECT_EQ(t->GetRecordCount(), 300);  // 301 records, one deleted and hidden
}

// A filter the engine cannot compile raises when Filter or Filtered is set; the text reads
// back as set; options and OnFilterRecord apply.
TEST(DataSet, FiltersRaiseAtAssignment) {
    TempDir dir;
    MakePeople(dir, 30);
    TFixture fx;
    TTable* t = fx.Table(dir);

    t->SetFilter("NUM >");  // not filtered yet: only kept
    EXPECT_THROW(t->SetFiltered(true), EDatabaseError);  // closed, but the file can be read
    EXPECT_FALSE(t->GetFiltered());
    t->SetFilter("NUM > 25 AND [NAME] <> 'R27'");
    t->Open();
    t->SetFiltered(true);
    EXPECT_EQ(t->GetFilter(), "NUM > 25 AND [NAME] <> 'R27'");
    EXPECT_EQ(t->GetRecordCount(), 4);
    EXPECT_EQ(t->FieldByName("NAME")->GetAsString(), "R26");
    for (const char* bad : {"NUM >", "NAME = 'x", "NOSUCH = 1", "NUM + 1"}) {
        EXPECT_THROW(t->SetFilter(bad), EDatabaseError) << bad;
        EXPECT_EQ(t->GetFilter(), "NUM > 25 AND [NAME] <> 'R27'") << "a rejected text is not kept";
    }
    EXPECT_EQ(t->GetRecordCount(), 4);

    t->SetFilter("NAME = 'r0*'");
    EXPECT_EQ(t->GetRecordCount(), 0);
    t->SetFilterOptions(TFilterOptions{foCaseInsensitive});
    EXPECT_EQ(t->GetRecordCount(), 9);  // a trailing * matches a prefix
    t->SetFilter("NAME = 'r0'");
    EXPECT_EQ(t->GetRecordCount(), 0) << "whole texts are compared";
    t->SetFilter("NAME = 'r0*'");
    t->SetFilterOptions(TFilterOptions{foCaseInsensitive, foNoPartialCompare});
    EXPECT_EQ(t->GetRecordCount(), 0);
    EXPECT_TRUE(t->IsEmpty());

    t->SetFilter("");
    t->OnFilterRecord = [](TDataSet* ds, bool& accept) { accept = ds->FieldByName("NUM")->GetAsInteger() % 10 == 0; };
    t->SetFiltered(false);
    t->SetFiltered(true);
    EXPECT_EQ(t->GetRecordCount(), 3);
    EXPECT_EQ(t->FieldByName("NAME")->GetAsString(), "R10");
    t->Last();
    EXPECT_EQ(t->FieldByName("NAME")->GetAsString(), "R30");
    // A search inside the filtered records reads its own record, not the filter's.
    EXPECT_TRUE(t->Locate("NUM", Variant{int64_t(20)}, {}));
    EXPECT_EQ(t->FieldByName("NAME")->GetAsString(), "R20");
    EXPECT_FALSE(t->Locate("NUM", Variant{int64_t(21)}, {}));
    t->SetFiltered(false);
    EXPECT_EQ(t->GetRecordCount(), 30);
}

TEST(DataSet, LocateAndLookup) {
    TempDir dir;
    MakePeople(dir, 15);
    TFixture fx;
    TTable* t = fx.Table(dir);
    t->Open();
    t->MoveBy(2);
    EXPECT_TRUE(t->Locate("NUM", Variant{int64_t(11)}, {}));
    EXPECT_EQ(t->FieldByName("NAME")->GetAsString(), "R11");
    EXPECT_TRUE(t->Locate("NAME", Variant{std::string("r1")}, TLocateOptions{loCaseInsensitive, loPartialKey}));
    EXPECT_EQ(t->FieldByName("NAME")->GetAsString(), "R10");
    EXPECT_FALSE(t->Locate("NAME", Variant{std::string("r1")}, TLocateOptions{loCaseInsensitive}));
    EXPECT_EQ(t->FieldByName("NAME")->GetAsString(), "R10") << "no match keeps the record";
    t->Next();
    EXPECT_EQ(t->FieldByName("NAME")->GetAsString(), "R11");
    EXPECT_TRUE(t->Locate("NAME;OK", {Variant{std::string("R07")}, Variant{true}}, {}));
    EXPECT_EQ(t->FieldByName("NUM")->GetAsInteger(), 7);

    Variant v = t->Lookup("NUM", {Variant{int64_t(3)}}, "NAME");
    EXPECT_EQ(VarToStr(v), "R03");
    EXPECT_EQ(t->FieldByName("NAME")->GetAsString(), "R07") << "Lookup does not move";
    t->Next();
    EXPECT_EQ(t->FieldByName("NAME")->GetAsString(), "R08");
    EXPECT_TRUE(VarIsNull(t->Lookup("NUM", {Variant{int64_t(99)}}, "NAME")));
    EXPECT_THROW(t->Locate("NOPE", Variant{int64_t(1)}, {}), EDatabaseError);
}

TEST(DataSet, DisableControlsHoldsNotificationsUntilEnable) {
    TempDir dir;
    MakePeople(dir, 10);
    TFixture fx;
    TTable* t = fx.Table(dir);
    std::vector<std::string> log;
    auto link = MakeOwned<TLogLink>(&log);
    link->SetDataSource(fx.Source(t));
    t->Open();
    log.clear();
    t->DisableControls();
    t->DisableControls();
    t->Next();
    t->Last();
    t->EnableControls();
    EXPECT_TRUE(log.empty());
    t->EnableControls();
    EXPECT_EQ(log, std::vector<std::string>{"DataSetChanged"});
    EXPECT_EQ(t->FieldByName("NAME")->GetAsString(), "R10");
}

TEST(DataSet, EmptyTableIsBothAtBeginAndEnd) {
    TempDir dir;
    MakePeople(dir, 0);
    TFixture fx;
    TTable* t = fx.Table(dir);
    auto link = NewLink(fx, t, 5);
    t->Open();
    EXPECT_TRUE(t->GetBOF());
    EXPECT_TRUE(t->GetEOF());
    EXPECT_TRUE(t->IsEmpty());
    EXPECT_EQ(link->GetRecordCount(), 0);
    EXPECT_EQ(t->MoveBy(3), 0);
    EXPECT_TRUE(t->FieldByName("NAME")->IsNull());
    EXPECT_THROW(t->Delete(), EDatabaseError);
    t->Append();
    t->FieldByName("NAME")->SetAsString("ONE");
    t->Post();
    EXPECT_FALSE(t->IsEmpty());
    EXPECT_EQ(link->GetRecordCount(), 1);
    EXPECT_EQ(t->GetRecordCount(), 1);
}
