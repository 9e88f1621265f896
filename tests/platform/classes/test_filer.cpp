// Published-property tables and the text form format: round trips, defined properties,
// references, loading order and errors.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "classes/collection.h"
#include "classes/component.h"
#include "classes/filer.h"
#include "classes/lists.h"
#include "classes/rtti.h"
#include "classes/streams.h"

using namespace vcl;

namespace vcl {

DBV_ENUM(TShape3, shNone, shBox, shCircle);
DBV_ENUM(TStyleBit, stBold, stItalic, stUnder);
using TStyles = TSet<TStyleBit>;

std::vector<std::string> g_loaded;

class TLook : public TPersistent {
    DBV_CLASS(TLook, TPersistent)
public:
    std::string GetFace() const { return face_; }
    void SetFace(const std::string& v) { face_ = v; }
    int GetSize() const { return size_; }
    void SetSize(int v) { size_ = v; }
    TStyles GetStyles() const { return styles_; }
    void SetStyles(TStyles v) { styles_ = v; }
    void Assign(TPersistent* src) override {
        if (auto* l = dynamic_cast<TLook*>(src)) {
            face_ = l->face_;
            size_ = l->size_;
            styles_ = l->styles_;
        } else {
            TPersistent::Assign(src);
        }
    }

private:
    std::string face_ = "Sans";
    int size_ = 8;
    TStyles styles_;
};

class TPart : public TCollectionItem {
    DBV_CLASS(TPart, TCollectionItem)
public:
    using TCollectionItem::TCollectionItem;
    int GetWidth() const { return width_; }
    void SetWidth(int v) { width_ = v; }
    std::string GetTitle() const { return title_; }
    void SetTitle(const std::string& v) { title_ = v; }

private:
    int width_ = 64;
    std::string title_;
};

class TWidget : public TComponent {
    DBV_CLASS(TWidget, TComponent)
public:
    explicit TWidget(TComponent* AOwner)
        : TComponent(AOwner), look_(Create<TLook>()), lines_(Create<TStringList>()),
          parts_(Create<TCollection>(TPart::StaticClass())) {}
    ~TWidget() override {
        look_->Free();
        lines_->Free();
        parts_->Free();
    }
    int GetCount() const { return count_; }
    void SetCount(int v) { count_ = v; }
    bool GetActive() const { return active_; }
    void SetActive(bool v) { active_ = v; }
    TShape3 GetShape() const { return shape_; }
    void SetShape(TShape3 v) { shape_ = v; }
    double GetRatio() const { return ratio_; }
    void SetRatio(double v) { ratio_ = v; }
    std::string GetCaption() const { return caption_; }
    void SetCaption(const std::string& v) { caption_ = v; }
    char GetMark() const { return mark_; }
    void SetMark(char v) { mark_ = v; }
    TLook* GetLook() const { return look_; }
    void SetLook(TLook* v) { look_->Assign(v); }
    TStringList* GetLines() const { return lines_; }
    void SetLines(TStringList* v) { lines_->Assign(v); }
    TCollection* GetParts() const { return parts_; }
    void SetParts(TCollection* v) { parts_->Assign(v); }
    TWidget* GetBuddy() const { return buddy_; }
    void SetBuddy(TWidget* v) { buddy_ = v; }
    bool GetFlag(int i) const { return (flags_ >> i) & 1; }
    void SetFlag(int i, bool v) { flags_ = v ? (flags_ | (1 << i)) : (flags_ & ~(1 << i)); }
    bool StoreCount() const { return !active_; }
    std::string GetAbout() const { return "about"; }
    void SetAbout(const std::string&) {}

    // A custom property: a list of (string, integer, Boolean) triples with no count.
    struct Entry {
        std::string name;
        int64_t width;
        bool visible;
    };
    std::vector<Entry> entries;
    std::string blob;
    TNotifyEvent OnChange;

    void DefineProperties(TFiler& f) override {
        TComponent::DefineProperties(f);
        f.DefineProperty(
            "EntryList",
            [this](TReader& r) {
                entries.clear();
                r.ReadListBegin();
                while (!r.EndOfList()) {
                    Entry e;
                    e.name = r.ReadString();
                    e.width = r.ReadInteger();
                    e.visible = r.ReadBoolean();
                    entries.push_back(e);
                }
                r.ReadListEnd();
            },
            [this](TWriter& w) {
                w.WriteListBegin();
                for (const Entry& e : entries) {
                    w.WriteString(e.name);
                    w.WriteInteger(e.width);
                    w.WriteBoolean(e.visible);
                }
                w.WriteListEnd();
            },
            !entries.empty());
        f.DefineBinaryProperty(
            "Blob", [this](TStream& s) { blob = s.ReadAll(); },
            [this](TStream& s) { s.WriteString(blob); }, !blob.empty());
    }
    void Loaded() override {
        TComponent::Loaded();
        g_loaded.push_back(GetName() + (buddy_ ? "->" + buddy_->GetName() : std::string()));
    }
    void Notification(TComponent* c, TOperation op) override {
        TComponent::Notification(c, op);
        if (op == opRemove && c == buddy_) buddy_ = nullptr;
    }

private:
    int count_ = 3;
    bool active_ = false;
    TShape3 shape_ = shBox;
    double ratio_ = 0;
    std::string caption_;
    char mark_ = 'x';
    TLook* look_;
    TStringList* lines_;
    TCollection* parts_;
    TWidget* buddy_ = nullptr;
    int flags_ = 0;
};

class TPanelW : public TWidget {
    DBV_CLASS(TPanelW, TWidget)
public:
    using TWidget::TWidget;
    int GetBevel() const { return bevel_; }
    void SetBevel(int v) { bevel_ = v; }

private:
    int bevel_ = 1;
};

class THolder : public TDataModule {
    DBV_CLASS(THolder, TDataModule)
public:
    using TDataModule::TDataModule;
};

DBV_PUBLISHED(TLook) {
    b.String("Face", &TLook::GetFace, &TLook::SetFace);
    b.Int("Size", &TLook::GetSize, &TLook::SetSize, 8);
    b.Set("Styles", "TStyles", &TLook::GetStyles, &TLook::SetStyles);
}
DBV_PUBLISHED(TPart) {
    b.Int("Width", &TPart::GetWidth, &TPart::SetWidth, 64);
    b.String("Title", &TPart::GetTitle, &TPart::SetTitle);
}
DBV_PUBLISHED(TWidget) {
    b.Int("Count", &TWidget::GetCount, &TWidget::SetCount, 3).StoredIf(&TWidget::StoreCount);
    b.Bool("Active", &TWidget::GetActive, &TWidget::SetActive, false);
    b.Enum("Shape", &TWidget::GetShape, &TWidget::SetShape, shBox);
    b.Float("Ratio", &TWidget::GetRatio, &TWidget::SetRatio);
    b.String("Caption", &TWidget::GetCaption, &TWidget::SetCaption);
    b.Char("Mark", &TWidget::GetMark, &TWidget::SetMark, 'x');
    b.Object("Look", &TWidget::GetLook, &TWidget::SetLook);
    b.Object("Lines", &TWidget::GetLines, &TWidget::SetLines);
    b.Object("Parts", &TWidget::GetParts, &TWidget::SetParts);
    b.Component("Buddy", &TWidget::GetBuddy, &TWidget::SetBuddy);
    b.BoolAt("ShowFirst", 0, &TWidget::GetFlag, &TWidget::SetFlag, false);
    b.BoolAt("ShowSecond", 1, &TWidget::GetFlag, &TWidget::SetFlag, true).AlwaysStored();
    b.String("About", &TWidget::GetAbout, &TWidget::SetAbout, "TkrAboutInfo").NeverStored();
    b.Event("OnChange", "TNotifyEvent", &TWidget::OnChange);
}
DBV_PUBLISHED(TPanelW) {
    b.Int("Bevel", &TPanelW::GetBevel, &TPanelW::SetBevel, 1);
}
DBV_IMPLEMENT_CLASS(THolder)

}  // namespace vcl

namespace {

void RegisterTestClasses() {
    RegisterClasses({&TWidget::StaticClass(), &TPanelW::StaticClass(), &THolder::StaticClass(),
                     &TPart::StaticClass()});
}

std::vector<std::string> PropNames(const TObject* o) {
    std::vector<std::string> names;
    for (const TPropInfo* p : GetPropList(o)) names.push_back(p->Name);
    return names;
}

}  // namespace

TEST(Rtti, PropertiesInDeclarationOrderInheritedFirst) {
    auto* w = Create<TPanelW>(nullptr);
    std::vector<std::string> want{"Name",  "Tag",   "Count",     "Active",     "Shape",
                                  "Ratio", "Caption", "Mark",    "Look",       "Lines",
                                  "Parts", "Buddy", "ShowFirst", "ShowSecond", "About",
                                  "OnChange", "Bevel"};
    EXPECT_EQ(PropNames(w), want);
    const TPropInfo* shape = GetPropInfo(w, "shape");
    ASSERT_NE(shape, nullptr);
    EXPECT_EQ(shape->Kind, tkEnumeration);
    EXPECT_EQ(shape->TypeName, "TShape3");
    EXPECT_EQ(GetPropInfo(w, "Look")->TypeName, "TLook");
    EXPECT_EQ(GetPropInfo(w, "Look")->Kind, tkClass);
    EXPECT_EQ(GetPropInfo(w, "Buddy")->Kind, tkComponent);
    EXPECT_EQ(GetPropInfo(w, "OnChange")->Kind, tkMethod);
    EXPECT_EQ(GetPropInfo(w, "ShowSecond")->Index, 1);
    EXPECT_EQ(GetPropInfo(w, "ShowSecond")->NameIndex, 11);
    EXPECT_EQ(GetPropInfo(w, "Bevel")->NameIndex, 0);
    w->Free();
}

TEST(Rtti, AccessorsDefaultsAndStoredRules) {
    auto* w = Create<TWidget>(nullptr);
    SetEnumProp(w, "Shape", "shcircle");
    EXPECT_EQ(w->GetShape(), shCircle);
    EXPECT_EQ(GetEnumProp(w, "Shape"), "shCircle");
    EXPECT_THROW(SetEnumProp(w, "Shape", "shTriangle"), EPropertyError);
    SetOrdProp(w, "ShowFirst", 1);
    EXPECT_TRUE(w->GetFlag(0));
    SetSetProp(w->GetLook(), "Styles", "[stItalic, stBold]");
    EXPECT_EQ(GetSetProp(w->GetLook(), "Styles"), "[stBold,stItalic]");
    EXPECT_THROW(GetOrdProp(w, "Missing"), EPropertyError);

    EXPECT_FALSE(IsStoredProp(w, "Count"));  // at its default
    w->SetCount(7);
    EXPECT_TRUE(IsStoredProp(w, "Count"));
    w->SetActive(true);  // the predicate says no while active
    EXPECT_FALSE(IsStoredProp(w, "Count"));
    EXPECT_TRUE(IsStoredProp(w, "ShowSecond"));  // always stored
    EXPECT_FALSE(IsStoredProp(w, "About"));      // never stored
    EXPECT_FALSE(IsStoredProp(w, "Caption"));
    w->SetCaption("x");
    EXPECT_TRUE(IsStoredProp(w, "Caption"));
    EXPECT_EQ(EnumToIdent(shNone), "shNone");
    TShape3 s;
    EXPECT_TRUE(IdentToEnum("SHBOX", s));
    EXPECT_EQ(s, shBox);
    w->Free();
}

TEST(Filer, RoundTripKeepsEveryKindOfValue) {
    RegisterTestClasses();
    auto* root = Create<THolder>(nullptr);
    root->SetName("Holder1");
    auto* a = Create<TWidget>(root);
    a->SetName("A");
    auto* b = Create<TPanelW>(root);
    b->SetName("B");
    a->SetCount(42);
    a->SetShape(shCircle);
    a->SetRatio(2.5);
    a->SetCaption("It's\r\nhere \xC3\xA9");
    a->SetMark('#');
    a->GetLook()->SetFace("Liberation Serif");
    a->GetLook()->SetStyles({stBold, stUnder});
    a->GetLines()->Add("one");
    a->GetLines()->Add("two 'quoted'");
    static_cast<TPart*>(a->GetParts()->Add())->SetWidth(10);
    static_cast<TPart*>(a->GetParts()->Add())->SetTitle("Second");
    a->SetBuddy(b);  // a forward reference: B is read after A
    a->entries = {{"NAME", 120, true}, {"", -1, false}};
    a->blob = std::string("\x00\x01\xFFzz", 5);
    b->SetBevel(0);
    b->SetFlag(1, false);

    std::string text = ComponentToText(root);
    EXPECT_NE(text.find("  object A: TWidget\n"), std::string::npos) << text;
    EXPECT_NE(text.find("    Look.Face = 'Liberation Serif'\n"), std::string::npos) << text;
    EXPECT_NE(text.find("    Look.Styles = [stBold, stUnder]\n"), std::string::npos) << text;
    EXPECT_NE(text.find("    Lines.Strings = (\n      'one'\n      'two ''quoted''')\n"),
              std::string::npos) << text;
    EXPECT_EQ(text.find("About"), std::string::npos) << text;
    EXPECT_EQ(text.find("Look.Size"), std::string::npos) << text;  // default not written

    g_loaded.clear();
    auto* copy = Create<THolder>(nullptr);
    ReadComponentFromText(text, copy);
    ASSERT_EQ(copy->ComponentCount(), 2);
    auto* ra = dynamic_cast<TWidget*>(copy->FindComponent("A"));
    auto* rb = dynamic_cast<TPanelW*>(copy->FindComponent("B"));
    ASSERT_TRUE(ra && rb);
    EXPECT_EQ(copy->GetName(), "Holder1");
    EXPECT_EQ(ra->GetCount(), 42);
    EXPECT_EQ(ra->GetShape(), shCircle);
    EXPECT_DOUBLE_EQ(ra->GetRatio(), 2.5);
    EXPECT_EQ(ra->GetCaption(), "It's\r\nhere \xC3\xA9");
    EXPECT_EQ(ra->GetMark(), '#');
    EXPECT_EQ(ra->GetLook()->GetFace(), "Liberation Serif");
    EXPECT_EQ(ra->GetLook()->GetStyles(), (TStyles{stBold, stUnder}));
    ASSERT_EQ(ra->GetLines()->GetCount(), 2);
    EXPECT_EQ(ra->GetLines()->Strings(1), "two 'quoted'");
    ASSERT_EQ(ra->GetParts()->GetCount(), 2);
    EXPECT_EQ(static_cast<TPart*>(ra->GetParts()->Items(0))->GetWidth(), 10);
    EXPECT_EQ(static_cast<TPart*>(ra->GetParts()->Items(1))->GetTitle(), "Second");
    EXPECT_EQ(ra->GetBuddy(), rb);
    ASSERT_EQ(ra->entries.size(), 2u);
    EXPECT_EQ(ra->entries[0].name, "NAME");
    EXPECT_EQ(ra->entries[0].width, 120);
    EXPECT_TRUE(ra->entries[0].visible);
    EXPECT_EQ(ra->entries[1].width, -1);
    EXPECT_EQ(ra->blob, a->blob);
    EXPECT_EQ(rb->GetBevel(), 0);
    EXPECT_FALSE(rb->GetFlag(1));
    // Loaded runs after the whole tree (references already fixed), in creation order.
    EXPECT_EQ(g_loaded, (std::vector<std::string>{"A->B", "B"}));
    EXPECT_FALSE(ra->IsLoading());
    // Writing the copy gives the same text.
    EXPECT_EQ(ComponentToText(copy), text);
    root->Free();
    copy->Free();
}

TEST(Filer, DefinedPropertyValueSequenceIsExact) {
    RegisterTestClasses();
    auto* root = Create<THolder>(nullptr);
    auto* w = Create<TWidget>(root);
    w->SetName("W");
    w->entries = {{"A", 1, false}};
    std::string text = ComponentToText(root);
    EXPECT_NE(text.find("    EntryList = (\n      'A'\n      1\n      False)\n"),
              std::string::npos) << text;
    root->Free();
}

TEST(Filer, WrongKindsAndEarlyEndsRaiseReadErrorNamingPropertyAndLine) {
    RegisterTestClasses();
    struct Case {
        const char* body;
        const char* fragment;
    };
    const Case cases[] = {
        {"Count = 'seven'", "W.Count (line 3): Invalid property value"},
        {"Shape = shTriangle", "W.Shape (line 3)"},
        {"EntryList = (\n'A'\n'not an integer'\nTrue)", "W.EntryList (line 5)"},
        {"EntryList = (\n'A'\n1)", "W.EntryList (line 5): Invalid property value"},
        {"EntryList = 'flat'", "W.EntryList (line 3)"},
        {"Missing = 1", "Property Missing does not exist"},
        {"Look.Styles = [stBold, stNope]", "W.Look.Styles (line 3)"},
        {"Buddy = Nobody", "Component Nobody not found"},
        {"Parts = <\nitem\nWidth = 'x'\nend>", "Invalid property value"},
    };
    for (const Case& c : cases) {
        std::string text = std::string("object H: THolder\n  object W: TWidget\n    ") + c.body +
                           "\n  end\nend\n";
        auto* h = Create<THolder>(nullptr);
        try {
            ReadComponentFromText(text, h);
            ADD_FAILURE() << "no error for: " << c.body;
        } catch (const EReadError& e) {
            EXPECT_NE(std::string(e.what()).find(c.fragment), std::string::npos)
                << c.body << " -> " << e.what();
        }
        EXPECT_FALSE(h->IsLoading());
        h->Free();
    }
}

TEST(Filer, DamagedTextNeverCrashesTheReader) {
    RegisterTestClasses();
    auto* root = Create<THolder>(nullptr);
    auto* w = Create<TWidget>(root);
    w->SetName("W");
    w->GetLines()->Add("x");
    w->entries = {{"A", 1, true}};
    w->blob = "abc";
    static_cast<TPart*>(w->GetParts()->Add())->SetWidth(1);
    const std::string good = ComponentToText(root);
    root->Free();
    // Every prefix of a valid form, and a few byte flips, either read or raise EReadError.
    int errors = 0;
    for (size_t n = 0; n <= good.size(); n += 3) {
        for (int flip = 0; flip < 2; ++flip) {
            std::string t = good.substr(0, n);
            if (flip && n > 0) t[n / 2] = char(t[n / 2] ^ 0x5A);
            auto* h = Create<THolder>(nullptr);
            try {
                ReadComponentFromText(t, h);
            } catch (const EReadError&) {
                ++errors;
            } catch (const Exception& e) {
                ADD_FAILURE() << "unexpected " << e.what();
            }
            h->Free();
        }
    }
    EXPECT_GT(errors, 0);
}

TEST(Filer, ReadsRootByClassNameAndTheFormFile) {
    RegisterTestClasses();
    const std::string text =
        "object Holder2: THolder\n"
        "  object P: TPanelW\n"
        "    Caption = 'a' + \n"
        "      'b'#13#10'c'\n"
        "    Ratio = 3\n"
        "    Tag = $10\n"
        "    OnChange = PChange\n"
        "  end\n"
        "end\n";
    TReader r(text);
    std::string bound;
    r.OnFindMethod = [&](TObject*, const std::string& prop, const std::string& m) {
        bound = prop + "=" + m;
    };
    TComponent* root = r.ReadNewRootComponent(nullptr);
    ASSERT_EQ(root->ClassName(), "THolder");
    auto* p = dynamic_cast<TPanelW*>(root->FindComponent("P"));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->GetCaption(), "ab\r\nc");
    EXPECT_DOUBLE_EQ(p->GetRatio(), 3.0);
    EXPECT_EQ(p->GetTag(), 16);
    EXPECT_EQ(bound, "OnChange=PChange");
    root->Free();
}
