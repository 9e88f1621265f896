// Published-property tables: which properties a class publishes, getters declared by a base,
// integers with named values, and checked conversions to enumerations.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "classes/component.h"
#include "classes/filer.h"
#include "classes/lists.h"
#include "classes/rtti.h"
#include "rtl/sysutils.h"

using namespace vcl;

namespace vcl {

DBV_ENUM(TGauge, gaLow, gaMid, gaHigh);
DBV_ENUM(TGaugeOpt, goTicks, goLabels, goFrame);
using TGaugeOpts = TSet<TGaugeOpt>;

// Names for a few values of an integer property, like colours or cursors.
const TIdentMap& ToneIdents() {
    static const TIdentMap map{
        [](int64_t v, std::string& ident) {
            if (v == -5) ident = "tnDark";
            else if (v == 7) ident = "tnLight";
            else return false;
            return true;
        },
        [](std::string_view ident, int64_t& v) {
            if (SameText(ident, "tnDark")) v = -5;
            else if (SameText(ident, "tnLight")) v = 7;
            else return false;
            return true;
        }};
    return map;
}

// A Custom class declares everything and publishes only its size; the concrete classes choose.
class TCustomMeter : public TComponent {
    DBV_CLASS(TCustomMeter, TComponent)
public:
    explicit TCustomMeter(TComponent* AOwner) : TComponent(AOwner), items_(Create<TStringList>()) {}
    ~TCustomMeter() override { items_->Free(); }
    int GetSize() const { return size_; }
    void SetSize(int v) { size_ = v; }
    TGauge GetGauge() const { return gauge_; }
    void SetGauge(TGauge v) { gauge_ = v; }
    TGaugeOpts GetOptions() const { return options_; }
    void SetOptions(TGaugeOpts v) { options_ = v; }
    TStringList* GetItems() const { return items_; }
    void SetItems(TStringList* v) { items_->Assign(v); }
    TComponent* GetBuddy() const { return buddy_; }
    void SetBuddy(TComponent* v) { buddy_ = v; }
    int GetTone() const { return tone_; }
    void SetTone(int v) { tone_ = v; }
    std::string GetCaption() const { return caption_; }
    void SetCaption(const std::string& v) { caption_ = v; }
    TNotifyEvent OnChange;

private:
    int size_ = 10;
    TGauge gauge_ = gaLow;
    TGaugeOpts options_;
    TStringList* items_;
    TComponent* buddy_ = nullptr;
    int tone_ = 0;
    std::string caption_;
};

class TMeter : public TCustomMeter {
    DBV_CLASS(TMeter, TCustomMeter)
public:
    using TCustomMeter::TCustomMeter;
};

// Publishes the set, object and component whose getters the Custom class declares, and a
// redeclared Size with another default.
class TWideMeter : public TCustomMeter {
    DBV_CLASS(TWideMeter, TCustomMeter)
public:
    using TCustomMeter::TCustomMeter;
};

class TNarrowMeter : public TMeter {
    DBV_CLASS(TNarrowMeter, TMeter)
public:
    using TMeter::TMeter;
};

DBV_PUBLISHED(TCustomMeter) {
    b.Int("Size", &TCustomMeter::GetSize, &TCustomMeter::SetSize, 10);
    b.Protected();
    b.Enum("Gauge", &TCustomMeter::GetGauge, &TCustomMeter::SetGauge, gaLow);
    b.Set("Options", "TGaugeOpts", &TCustomMeter::GetOptions, &TCustomMeter::SetOptions);
    b.Object("Items", &TCustomMeter::GetItems, &TCustomMeter::SetItems);
    b.Component("Buddy", &TCustomMeter::GetBuddy, &TCustomMeter::SetBuddy);
    b.IntIdent("Tone", "TTone", ToneIdents(), &TCustomMeter::GetTone, &TCustomMeter::SetTone, 0);
    b.String("Caption", &TCustomMeter::GetCaption, &TCustomMeter::SetCaption);
    b.Event("OnChange", "TNotifyEvent", &TCustomMeter::OnChange);
}
DBV_PUBLISHED(TMeter) {
    b.Publish({"Caption", "Gauge", "Tone", "OnChange"});
}
DBV_PUBLISHED(TWideMeter) {
    b.Set("Options", "TGaugeOpts", &TCustomMeter::GetOptions, &TCustomMeter::SetOptions,
          TGaugeOpts{goFrame});
    b.Object("Items", &TCustomMeter::GetItems, &TCustomMeter::SetItems);
    b.Component("Buddy", &TCustomMeter::GetBuddy, &TCustomMeter::SetBuddy);
    b.Int("Size", &TCustomMeter::GetSize, &TCustomMeter::SetSize, 20);
}
DBV_PUBLISHED(TNarrowMeter) {
    b.Hide({"Gauge"});
}

}  // namespace vcl

namespace {

std::vector<std::string> Names(const TObject* o) {
    std::vector<std::string> out;
    for (const TPropInfo* p : GetPropList(o)) out.push_back(p->Name);
    return out;
}

using Strings = std::vector<std::string>;

}  // namespace

TEST(Rtti, EachClassPublishesExactlyWhatItChooses) {
    auto custom = MakeOwned<TCustomMeter>(nullptr);
    auto meter = MakeOwned<TMeter>(nullptr);
    auto wide = MakeOwned<TWideMeter>(nullptr);
    auto narrow = MakeOwned<TNarrowMeter>(nullptr);
    EXPECT_EQ(Names(custom.get()), (Strings{"Name", "Tag", "Size"}));
    EXPECT_EQ(Names(meter.get()), (Strings{"Name", "Tag", "Size", "Caption", "Gauge", "Tone", "OnChange"}));
    // A redeclared property keeps its inherited place and takes the new default.
    EXPECT_EQ(Names(wide.get()), (Strings{"Name", "Tag", "Size", "Options", "Items", "Buddy"}));
    EXPECT_EQ(GetPropInfo(wide.get(), "Size")->Default, 20);
    EXPECT_EQ(Names(narrow.get()), (Strings{"Name", "Tag", "Size", "Caption", "Tone", "OnChange"}));
    // Declarations stay findable for descendants that want to publish them.
    EXPECT_NE(TNarrowMeter::StaticClass().FindDeclaredProperty("gauge"), nullptr);
    EXPECT_EQ(GetPropInfo(custom.get(), "Gauge"), nullptr);

    // The base-declared getters of the set, object and component properties work.
    wide->GetItems()->Add("one");
    SetSetProp(wide.get(), "Options", "[goTicks,goFrame]");
    EXPECT_EQ(wide->GetOptions(), (TGaugeOpts{goTicks, goFrame}));
    EXPECT_EQ(GetObjectProp(wide.get(), "Items"), wide->GetItems());
    SetObjectProp(wide.get(), "Buddy", meter.get());
    EXPECT_EQ(wide->GetBuddy(), meter.get());
}

TEST(Rtti, OnlyPublishedPropertiesAreStreamed) {
    auto m = MakeOwned<TNarrowMeter>(nullptr);
    m->SetName("M");
    m->SetGauge(gaHigh);
    m->SetCaption("Fuel");
    const std::string text = ComponentToText(m.get());
    EXPECT_NE(text.find("Caption = 'Fuel'"), std::string::npos) << text;
    EXPECT_EQ(text.find("Gauge"), std::string::npos) << text;

    auto back = MakeOwned<TNarrowMeter>(nullptr);
    ReadComponentFromText(text, back.get());
    EXPECT_EQ(back->GetCaption(), "Fuel");
    const std::string hidden = "object M: TNarrowMeter\n  Gauge = gaHigh\nend\n";
    try {
        ReadComponentFromText(hidden, back.get());
        FAIL() << "a hidden property was read";
    } catch (const EReadError& e) {
        EXPECT_NE(std::string(e.what()).find("Property Gauge does not exist"), std::string::npos)
            << e.what();
    }
}

TEST(Rtti, PublishingAnUndeclaredNameIsReported) {
    TClassInfo info("TBadMeter", &TCustomMeter::StaticClass(), nullptr,
                    [](TClassInfo& c) { c.AddPublish("Colour"); });
    EXPECT_THROW(info.Properties(), EPropertyError);
}

TEST(Rtti, NamedIntegerValuesInFormFilesAndValueTexts) {
    auto m = MakeOwned<TMeter>(nullptr);
    m->SetName("M");
    const TPropInfo& tone = *GetPropInfo(m.get(), "Tone");
    struct Case {
        int value;
        const char* text;
    };
    for (Case c : {Case{-5, "tnDark"}, Case{7, "tnLight"}, Case{3, "3"}}) {
        m->SetTone(c.value);
        EXPECT_EQ(GetPropValueText(m.get(), tone), c.text);
        const std::string form = ComponentToText(m.get());
        EXPECT_NE(form.find(std::string("Tone = ") + c.text + "\n"), std::string::npos) << form;
        auto back = MakeOwned<TMeter>(nullptr);
        ReadComponentFromText(form, back.get());
        EXPECT_EQ(back->GetTone(), c.value);
    }
    // Either form is read; names without case.
    SetPropValueText(m.get(), tone, "TNLIGHT");
    EXPECT_EQ(m->GetTone(), 7);
    SetPropValueText(m.get(), tone, "-5");
    EXPECT_EQ(m->GetTone(), -5);
    EXPECT_THROW(SetPropValueText(m.get(), tone, "tnMedium"), EPropertyError);
    auto back = MakeOwned<TMeter>(nullptr);
    try {
        ReadComponentFromText("object M: TMeter\n  Tone = tnMedium\nend\n", back.get());
        FAIL() << "an unknown name was read";
    } catch (const EReadError& e) {
        EXPECT_NE(std::string(e.what()).find("tnMedium is not a value of TTone"), std::string::npos)
            << e.what();
    }
}

TEST(Rtti, StoredIntegersBecomeEnumerationsOnlyInRange) {
    EXPECT_EQ(ToEnum<TGauge>(0), gaLow);
    EXPECT_EQ(ToEnum<TGauge>(2), gaHigh);
    for (int64_t bad : {-1LL, 3LL, 1LL << 40}) {
        try {
            ToEnum<TGauge>(bad);
            FAIL() << bad;
        } catch (const ERangeError& e) {
            EXPECT_NE(std::string(e.what()).find("is not a value of TGauge"), std::string::npos);
        }
    }
}
