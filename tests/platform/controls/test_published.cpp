// What the standard controls publish, and how colours, cursors and fonts reach form files.
#include <set>

#include "classes/filer.h"
#include "controls_test_util.h"

using namespace vcl;

namespace {

// The lines of one child object in a form file.
std::string Section(const std::string& text, const std::string& name) {
    const size_t at = text.find("object " + name + ":");
    if (at == std::string::npos) return {};
    return text.substr(at, text.find("\n  end", at) - at);
}

std::set<std::string> Published(const TObject* o) {
    std::set<std::string> out;
    for (const TPropInfo* p : GetPropList(o)) out.insert(p->Name);
    return out;
}

}  // namespace

TEST_F(WinTest, ConcreteControlsPublishTheirOwnChoice) {
    TForm* f = NewForm();
    auto* pnl = Add<TPanel>(f, 0, 0, 50, 20);
    auto* btn = Add<TButton>(f, 0, 30, 75, 25);
    // The Custom classes declare; only the position, cursor and hint are published by all.
    EXPECT_EQ(GetPropInfo(pnl, "Caption") != nullptr, true);
    EXPECT_EQ(Published(btn).count("Color"), 0u);      // a button's face is not a property
    EXPECT_EQ(Published(btn).count("Align"), 0u);
    EXPECT_EQ(Published(pnl).count("OnKeyDown"), 0u);  // a panel takes no keys
    EXPECT_EQ(Published(btn).count("OnKeyDown"), 1u);
    for (const char* n : {"Left", "Top", "Width", "Height", "Cursor", "Hint", "Caption",
                          "Enabled", "Visible", "Font", "TabOrder", "OnClick"}) {
        EXPECT_EQ(Published(pnl).count(n), 1u) << n;
        EXPECT_EQ(Published(btn).count(n), 1u) << n;
    }
    EXPECT_EQ(Published(f).count("KeyPreview"), 1u);
    EXPECT_EQ(Published(f).count("BevelOuter"), 0u);
    // A button stops on Tab by default; the default it declares keeps TabStop out of the file.
    EXPECT_FALSE(IsStoredProp(btn, "TabStop"));
    EXPECT_EQ(GetPropInfo(btn, "TabStop")->Default, 1);
}

TEST_F(WinTest, ColoursAndCursorsStreamByNameAndFontsOnlyWhenOwn) {
    RegisterClasses({&TPanel::StaticClass(), &TButton::StaticClass()});
    TForm* f = NewForm();
    f->SetName("Main");
    f->SetColor(clBtnFace);
    auto* pnl = Add<TPanel>(f, 0, 0, 50, 20);
    pnl->SetName("Pnl");
    pnl->SetColor(clInfoBk);
    pnl->SetCursor(crHandPoint);
    auto* follower = Add<TPanel>(f, 0, 30, 50, 20);
    follower->SetName("Follower");
    follower->SetParentColor(true);  // takes the form's colour, which is not written again
    auto* btn = Add<TButton>(f, 0, 60, 75, 25);
    btn->SetName("Btn");
    btn->SetCursor(-77);  // a cursor without a name is written as its number

    std::string text = ComponentToText(f);
    EXPECT_NE(text.find("Color = clBtnFace\n"), std::string::npos) << text;
    EXPECT_NE(text.find("Color = clInfoBk\n"), std::string::npos) << text;
    EXPECT_NE(text.find("Cursor = crHandPoint\n"), std::string::npos) << text;
    EXPECT_NE(text.find("Cursor = -77\n"), std::string::npos) << text;
    EXPECT_EQ(Section(text, "Follower").find("Color"), std::string::npos) << text;
    // Fonts that follow the parent are not written; an own font is.
    for (const char* child : {"Pnl", "Follower", "Btn"})
        EXPECT_EQ(Section(text, child).find("Font."), std::string::npos) << text;
    btn->GetFont()->SetStyle({fsBold});
    EXPECT_FALSE(btn->GetParentFont());
    text = ComponentToText(f);
    EXPECT_NE(Section(text, "Btn").find("Font.Style = [fsBold]"), std::string::npos) << text;

    TForm* g = NewForm();
    ReadComponentFromText(text, g);
    auto* pnl2 = dynamic_cast<TPanel*>(g->FindComponent("Pnl"));
    auto* btn2 = dynamic_cast<TButton*>(g->FindComponent("Btn"));
    ASSERT_TRUE(pnl2 && btn2);
    EXPECT_EQ(pnl2->GetColor(), clInfoBk);
    EXPECT_EQ(pnl2->GetCursor(), crHandPoint);
    EXPECT_EQ(btn2->GetCursor(), -77);
    EXPECT_TRUE(btn2->GetFont()->GetStyle().Contains(fsBold));
    EXPECT_FALSE(btn2->GetParentFont());
    EXPECT_EQ(GetPropValueText(pnl2, *GetPropInfo(pnl2, "Color")), "clInfoBk");
    SetPropValueText(pnl2, *GetPropInfo(pnl2, "Cursor"), "crIBeam");
    EXPECT_EQ(pnl2->GetCursor(), crIBeam);
}

TEST_F(WinTest, ReadingAFormDoesNotTurnNamesIntoCaptions) {
    RegisterClasses({&TPanel::StaticClass()});
    TForm* f = NewForm(300, 200, "");
    ReadComponentFromText("object Browser: TForm\n  object Pnl: TPanel\n  end\nend\n", f);
    EXPECT_EQ(f->GetName(), "Browser");
    EXPECT_EQ(f->GetCaption(), "");
    auto* pnl = dynamic_cast<TPanel*>(f->FindComponent("Pnl"));
    ASSERT_NE(pnl, nullptr);
    EXPECT_EQ(pnl->GetCaption(), "");
    // Outside loading, a caption that still equals the name follows a rename.
    pnl->SetName("Status");
    EXPECT_EQ(pnl->GetCaption(), "");
    pnl->SetCaption("Status");
    pnl->SetName("Footer");
    EXPECT_EQ(pnl->GetCaption(), "Footer");
}
