#include <gtest/gtest.h>

#include "classes/lists.h"
#include "classes/streams.h"
#include "rtl/sysutils.h"
#include "support/strings.h"
#include "support/tempdir.h"

using namespace vcl;
using dbvtest::All;
using dbvtest::V;

TEST(TListTest, EditsMovesAndIndexErrors) {
    int a = 1, b = 2, c = 3, d = 4;
    TList l;
    l.Add(&a);
    l.Add(&b);
    l.Add(&c);
    l.Insert(0, &d);  // d a b c
    EXPECT_EQ(l.GetCount(), 4);
    EXPECT_EQ(l.IndexOf(&b), 2);
    l.Move(0, 3);  // a b c d
    EXPECT_EQ(l.Items(3), &d);
    l.Exchange(0, 1);  // b a c d
    EXPECT_EQ(l.First(), &b);
    EXPECT_EQ(l.Remove(&c), 2);
    EXPECT_EQ(l.Remove(&c), -1);
    l.Delete(0);  // a d
    EXPECT_EQ(l.Items(0), &a);
    EXPECT_EQ(l.Last(), &d);
    try {
        l.Items(5);
        FAIL();
    } catch (const EListError& e) {
        EXPECT_STREQ(e.what(), "List index out of bounds (5)");
    }
    EXPECT_THROW(l.Delete(-1), EListError);
    EXPECT_THROW(l.Insert(3, &a), EListError);
    EXPECT_THROW(l.Move(0, 2), EListError);
    l.Add(nullptr);
    l.Pack();
    EXPECT_EQ(l.GetCount(), 2);
    // Stable sort: equal keys keep their order.
    int x1 = 5, x2 = 1, x3 = 5, x4 = 0;
    TList s;
    for (int* p : {&x1, &x2, &x3, &x4}) s.Add(p);
    s.Sort([](void* p, void* q) { return *static_cast<int*>(p) - *static_cast<int*>(q); });
    EXPECT_EQ(s.List(), (std::vector<void*>{&x4, &x2, &x1, &x3}));
    l.Clear();
    EXPECT_EQ(l.GetCount(), 0);
}

// A list that owns its rows frees them through Notify, as an owning subclass does.
TEST(TListTest, NotifyLetsSubclassOwnItems) {
    struct Owning : TList {
        int freed = 0;
        ~Owning() override { Clear(); }
        void Notify(void* p, TListNotification a) override {
            if (a == lnDeleted) {
                delete static_cast<int*>(p);
                ++freed;
            }
        }
    };
    auto* l = new Owning;
    l->Add(new int(1));
    l->Add(new int(2));
    int* kept = new int(3);
    l->Add(kept);
    l->Delete(0);
    EXPECT_EQ(l->Extract(kept), kept);
    EXPECT_EQ(l->freed, 1);
    delete kept;
    l->Clear();
    EXPECT_EQ(l->freed, 2);
    delete l;
}

TEST(StringList, SortedIgnoresCaseUnlessCaseSensitive) {
    TStringList l;
    for (const char* s : {"delta", "Alpha", "charlie", "bravo", "ALPHA2"}) l.Add(s);
    l.SetSorted(true);
    EXPECT_EQ(All(l), (V{"Alpha", "ALPHA2", "bravo", "charlie", "delta"}));
    EXPECT_EQ(l.Add("Beta"), 2);  // between ALPHA2 and bravo
    int idx;
    EXPECT_TRUE(l.Find("CHARLIE", idx));
    EXPECT_EQ(idx, 4);
    EXPECT_FALSE(l.Find("c", idx));
    EXPECT_EQ(idx, 4);  // where it would go
    EXPECT_EQ(l.IndexOf("DELTA"), 5);
    EXPECT_THROW(l.Insert(0, "x"), EStringListError);
    EXPECT_THROW(l.Put(0, "x"), EStringListError);
    EXPECT_THROW(l.Move(0, 1), EStringListError);
    EXPECT_EQ(l.GetCount(), 6);  // nothing was lost by the refused move

    TStringList c;
    c.SetCaseSensitive(true);
    for (const char* s : {"b", "B", "a", "A"}) c.Add(s);
    EXPECT_EQ(c.IndexOf("a"), 2);
    EXPECT_EQ(c.IndexOf("b"), 0);
    c.SetSorted(true);
    EXPECT_EQ(All(c), (V{"A", "B", "a", "b"}));
    EXPECT_EQ(c.IndexOf("a"), 2);
    c.SetCaseSensitive(false);  // re-sorts, ties keep their order
    EXPECT_EQ(All(c), (V{"A", "a", "B", "b"}));
    EXPECT_EQ(c.IndexOf("B"), 2);
}

TEST(StringList, DuplicatesModes) {
    struct Case { TDuplicates mode; V expect; bool raises; };
    const Case cases[] = {
        {dupIgnore, {"a", "B", "c"}, false},
        {dupAccept, {"a", "B", "b", "c"}, false},
        {dupError, {"a", "B", "c"}, true},
    };
    for (const Case& k : cases) {
        TStringList l;
        l.SetSorted(true);
        l.SetDuplicates(k.mode);
        l.Add("c");
        l.Add("B");
        l.Add("a");
        if (k.raises) {
            try {
                l.Add("b");
                FAIL();
            } catch (const EStringListError& e) {
                EXPECT_STREQ(e.what(), "String list does not allow duplicates");
            }
        } else {
            int i = l.Add("b");
            EXPECT_EQ(l.Strings(i), k.mode == dupIgnore ? "B" : "b");
        }
        EXPECT_EQ(All(l), k.expect) << int(k.mode);
    }
    // Duplicates only apply to sorted lists.
    TStringList u;
    u.SetDuplicates(dupError);
    u.Add("x");
    u.Add("x");
    EXPECT_EQ(u.GetCount(), 2);
}

TEST(StringList, NamesAndValues) {
    TStringList l;
    l.Add("Name=Orders");
    l.Add("Path = C:\\DATA");
    l.Add("plain");
    l.Add("Empty=");
    l.Add("Eq=a=b");
    EXPECT_EQ(l.Names(0), "Name");
    EXPECT_EQ(l.Names(2), "");
    EXPECT_EQ(l.Values("name"), "Orders");
    EXPECT_EQ(l.Values("Path "), " C:\\DATA");
    EXPECT_EQ(l.Values("Eq"), "a=b");
    EXPECT_EQ(l.Values("missing"), "");
    EXPECT_EQ(l.ValueFromIndex(2), "");
    EXPECT_EQ(l.ValueFromIndex(4), "a=b");
    EXPECT_EQ(l.IndexOfName("EMPTY"), 3);
    l.SetValue("NAME", "Items");  // replaces in place, keeps position
    EXPECT_EQ(l.Strings(0), "NAME=Items");
    l.SetValue("New", "1");
    EXPECT_EQ(l.Strings(5), "New=1");
    l.SetValue("Path ", "");  // "" deletes
    EXPECT_EQ(l.IndexOfName("Path "), -1);
    EXPECT_EQ(l.GetCount(), 5);
    l.SetNameValueSeparator(':');
    l.Add("k:v");
    EXPECT_EQ(l.Values("K"), "v");
}

TEST(StringList, TextAcceptsEveryLineBreak) {
    TStringList l;
    l.SetText("one\r\ntwo\nthree\rfour");
    EXPECT_EQ(All(l), (V{"one", "two", "three", "four"}));
    EXPECT_EQ(l.GetText(), "one\ntwo\nthree\nfour\n");
    l.SetText("a\n\nb\n");
    EXPECT_EQ(All(l), (V{"a", "", "b"}));
    l.SetText("\r\n\r\n");
    EXPECT_EQ(All(l), (V{"", ""}));
    l.SetText("");
    EXPECT_EQ(l.GetCount(), 0);
    EXPECT_EQ(l.GetText(), "");
}

TEST(StringList, CommaAndDelimitedTextQuoting) {
    TStringList l;
    const V items = {"plain", "two words", "with,comma", "say \"hi\"", "", "tab\there", "end"};
    for (auto& s : items) l.Add(s);
    EXPECT_EQ(l.GetCommaText(), "plain,\"two words\",\"with,comma\",\"say \"\"hi\"\"\",,\"tab\there\",end");
    TStringList back;
    back.SetCommaText(l.GetCommaText());
    EXPECT_EQ(All(back), items);

    // Reading: blanks separate items unless quoted; a trailing delimiter adds an empty item.
    back.SetCommaText("  a b , \"c d\" ,e,");
    EXPECT_EQ(All(back), (V{"a", "b", "c d", "e", ""}));
    back.SetCommaText("\"\"");
    EXPECT_EQ(All(back), (V{""}));
    TStringList one;
    one.Add("");
    EXPECT_EQ(one.GetCommaText(), "\"\"");

    TStringList d;
    d.SetDelimiter(';');
    d.SetQuoteChar('\'');
    d.SetDelimitedText("a;'b;c';'it''s'");
    EXPECT_EQ(All(d), (V{"a", "b;c", "it's"}));
    EXPECT_EQ(d.GetDelimitedText(), "a;'b;c';'it''s'");
    // Strict: only the delimiter separates and blanks are kept.
    d.SetStrictDelimiter(true);
    d.SetDelimitedText(" a b ; c");
    EXPECT_EQ(All(d), (V{" a b ", " c"}));
    EXPECT_EQ(d.GetDelimitedText(), " a b ; c");
    TStringList d2;
    d2.SetDelimiter(';');
    d2.SetQuoteChar('\'');
    d2.SetStrictDelimiter(true);
    d2.SetDelimitedText(d.GetDelimitedText());
    EXPECT_EQ(All(d2), All(d));
}

TEST(StringList, UpdateBatchesChangeEvents) {
    TStringList l;
    std::vector<std::string> events;
    l.OnChanging = [&](TObject*) { events.push_back("changing:" + std::to_string(l.GetCount())); };
    l.OnChange = [&](TObject*) { events.push_back("change:" + std::to_string(l.GetCount())); };
    l.Add("a");
    EXPECT_EQ(events, (V{"changing:0", "change:1"}));
    events.clear();
    l.BeginUpdate();
    l.Add("b");
    l.BeginUpdate();
    l.Add("c");
    l.Delete(0);
    l.EndUpdate();
    EXPECT_EQ(events, (V{"changing:1"}));  // announced before the first change only
    l.EndUpdate();
    EXPECT_EQ(events, (V{"changing:1", "change:2"}));
    events.clear();
    l.BeginUpdate();
    l.EndUpdate();  // nothing changed, nothing reported
    EXPECT_TRUE(events.empty());
    l.SetText("x\ny\nz");  // one batch
    EXPECT_EQ(events, (V{"changing:2", "change:3"}));
}

TEST(StringList, AssignAddStringsExchangeMoveAndIndexErrors) {
    TObject o1, o2;
    TStringList a;
    a.AddObject("one", &o1);
    a.AddObject("two", &o2);
    a.SetDelimiter(';');
    TStringList b;
    b.Add("old");
    b.Assign(&a);
    EXPECT_EQ(All(b), (V{"one", "two"}));
    EXPECT_EQ(b.Objects(1), &o2);
    EXPECT_EQ(b.GetDelimiter(), ';');
    b.AddStrings(a);
    EXPECT_EQ(b.GetCount(), 4);
    EXPECT_EQ(b.Objects(2), &o1);
    b.AddStrings(b);  // itself: doubles once
    EXPECT_EQ(b.GetCount(), 8);
    b.Exchange(0, 1);
    EXPECT_EQ(b.Strings(0), "two");
    EXPECT_EQ(b.Objects(0), &o2);
    b.Move(0, 3);
    EXPECT_EQ(All(b)[3], "two");
    EXPECT_EQ(b.Objects(3), &o2);
    EXPECT_EQ(b.IndexOf("ONE"), 0);
    EXPECT_EQ(b.IndexOfObject(&o2), 2);
    try {
        b.Strings(8);
        FAIL();
    } catch (const EStringListError& e) {
        EXPECT_STREQ(e.what(), "List index out of bounds (8)");
    }
    EXPECT_THROW(b.Delete(-1), EStringListError);
    EXPECT_THROW(b.Insert(9, "x"), EStringListError);
    EXPECT_THROW(b.Move(0, 8), EStringListError);
    EXPECT_EQ(b.GetCount(), 8);
    EXPECT_THROW(b.Assign(nullptr), EConvertError);
}

TEST(StringList, CustomSortSeesPositions) {
    TStringList l;
    for (const char* s : {"10", "9", "100", "9"}) l.Add(s);
    l.CustomSort([](TStringList& list, int i, int j) {
        return StrToInt(list.Strings(i)) - StrToInt(list.Strings(j));
    });
    EXPECT_EQ(All(l), (V{"9", "9", "10", "100"}));
    EXPECT_FALSE(l.GetSorted());
    l.Sort();  // text order
    EXPECT_EQ(All(l), (V{"10", "100", "9", "9"}));
}

TEST(StringList, OwnsObjectsFreesThem) {
    static int alive = 0;
    struct Counted : TObject {
        Counted() { ++alive; }
        ~Counted() override { --alive; }
    };
    {
        TStringList l;
        l.SetOwnsObjects(true);
        l.AddObject("a", new Counted);
        l.AddObject("b", new Counted);
        l.AddObject("c", new Counted);
        l.Delete(0);
        EXPECT_EQ(alive, 2);
        l.PutObject(0, new Counted);
        EXPECT_EQ(alive, 2);
    }
    EXPECT_EQ(alive, 0);
}

TEST(StringList, FilesAndStreams) {
    dbvtest::TTempDir tmp;
    const std::string& dir = tmp.Path();
    std::string f = JoinPath(dir, "list.txt");
    TStringList l;
    l.SetText("alpha\nbeta\n");
    l.SaveToFile(f);
    EXPECT_EQ(ReadFileBytes(f), "alpha\nbeta\n");
    WriteFileAtomic(f, "\xEF\xBB\xBFone\r\ntwo");
    TStringList r;
    r.LoadFromFile(f);
    EXPECT_EQ(All(r), (V{"one", "two"}));
    EXPECT_THROW(r.LoadFromFile(JoinPath(dir, "missing.txt")), EFOpenError);
    EXPECT_EQ(r.GetCount(), 2);  // a failed load leaves the list alone
    TMemoryStream m;
    r.SaveToStream(m);
    m.SetPosition(0);
    TStringList s;
    s.LoadFromStream(m);
    EXPECT_TRUE(s.Equals(r));
}

TEST(StringList, DelimitedTextWithNulAndControlCharactersTerminates) {
    TStringList l;
    l.SetCommaText(std::string("a\0b,\x01\x02,c", 9));
    EXPECT_EQ(All(l), (V{"a", "b", "", "c"}));  // control characters separate like blanks
    TStringList m;
    m.Add(std::string("x\0y", 3));
    m.Add("\x01");
    TStringList back;
    back.SetCommaText(m.GetCommaText());
    EXPECT_TRUE(back.Equals(m));
}

// Text, CommaText and AddStrings add many lines in one pass; the result must be what adding
// them one by one gives, in every duplicates mode.
TEST(StringList, BulkAddMatchesOneByOne) {
    std::vector<std::string> lines;
    unsigned seed = 12345;
    for (int i = 0; i < 400; ++i) {
        seed = seed * 1103515245u + 12345u;
        std::string s = "k" + std::to_string((seed >> 16) % 60);
        if (seed & 0x100) s[0] = 'K';
        lines.push_back(s);
    }
    std::string text;
    for (auto& s : lines) text += s + "\n";
    for (TDuplicates mode : {dupIgnore, dupAccept}) {
        for (bool cs : {false, true}) {
            TStringList one, bulk;
            for (TStringList* l : {&one, &bulk}) {
                l->SetCaseSensitive(cs);
                l->SetSorted(true);
                l->SetDuplicates(mode);
                l->Add("k7");  // lines already present take part as well
                l->Add("K30");
            }
            for (auto& s : lines) one.Add(s);
            TStringList src;
            src.SetText(text);
            bulk.AddStrings(src);
            EXPECT_EQ(All(bulk), All(one)) << int(mode) << cs;
        }
    }
    TStringList e;
    e.SetSorted(true);
    e.SetDuplicates(dupError);
    EXPECT_THROW(e.SetText("b\na\nB\nc"), EStringListError);
    EXPECT_EQ(All(e), (V{"a", "b"}));  // the lines before the duplicate
}
