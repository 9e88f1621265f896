// Menus: items, shortcuts, the bar and drop-downs by mouse and keyboard, popup menus,
// streaming.
#include "classes/filer.h"
#include "controls/input.h"
#include "controls/menus.h"
#include "controls_test_util.h"
#include "support/paths.h"

using namespace vcl;
using namespace win;

namespace {
// A form class that publishes the form's Menu (for the streaming test).
class TMenuForm : public TForm {
    DBV_CLASS(TMenuForm, TForm)
public:
    using TForm::TForm;
};
DBV_PUBLISHED(TMenuForm) {
    b.Component("Menu", &TMenuForm::GetMenu, &TMenuForm::SetMenu);
    b.Publish({"Caption"});
}

TMenuItem* Item(TComponent* owner, const std::string& caption, std::vector<std::string>* log = nullptr,
                TShortCut sc = 0) {
    TMenuItem* it = Create<TMenuItem>(owner);
    it->SetCaption(caption);
    it->SetShortCut(sc);
    if (log) it->OnClick = [log, caption](TObject*) { log->push_back(caption); };
    return it;
}
}  // namespace

TEST(ShortCuts, TextRoundTripAndCaretForm) {
    struct Case {
        std::string text;
        TShortCut sc;
        std::string back;
    };
    const std::vector<Case> cases = {
        {"Ctrl+B", TShortCut('B' | scCtrl), "Ctrl+B"},
        {"^B", TShortCut('B' | scCtrl), "Ctrl+B"},
        {"shift+ctrl+F1", TShortCut(VK_F1 | scCtrl | scShift), "Shift+Ctrl+F1"},
        {"Alt+X", TShortCut('X' | scAlt), "Alt+X"},
        {"Del", VK_DELETE, "Del"},
        {"Ctrl+Ins", TShortCut(VK_INSERT | scCtrl), "Ctrl+Ins"},
        {"F12", VK_F12, "F12"},
        {"Shift+Delete", TShortCut(VK_DELETE | scShift), "Shift+Del"},
        {"Ctrl+", scNone, ""},
        {"Hyper+Q", scNone, ""},
        {"F13", scNone, ""},
        {"", scNone, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(TextToShortCut(c.text), c.sc);
        EXPECT_EQ(ShortCutToText(c.sc), c.back);
    }
    uint16_t key;
    TShiftState shift;
    ShortCutToKey(ShortCut('S', {ssCtrl, ssShift}), key, shift);
    EXPECT_EQ(key, 'S');
    EXPECT_EQ(shift, (TShiftState{ssCtrl, ssShift}));
}

TEST_F(WinTest, MenuItemsListRadioGroupsAndErrors) {
    TOwned<TPopupMenu> menu = MakeOwned<TPopupMenu>(nullptr);
    TMenuItem* root = menu->GetItems();
    TMenuItem* a = Item(menu.get(), "&Alpha");
    TMenuItem* b = Item(menu.get(), "&Beta");
    TMenuItem* c = Item(menu.get(), "Gamma");
    root->Add(a);
    root->Add(c);
    root->Insert(1, b);
    EXPECT_EQ(root->Count(), 3);
    EXPECT_EQ(root->IndexOf(b), 1);
    EXPECT_EQ(b->GetMenuIndex(), 1);
    EXPECT_EQ(root->Find("beta"), b);
    EXPECT_EQ(b->GetParentMenu(), menu.get());
    EXPECT_THROW(root->Add(b), EMenuError);
    EXPECT_THROW(root->Items(3), EMenuError);
    EXPECT_THROW(a->Add(root), EMenuError);
    c->SetMenuIndex(0);
    EXPECT_EQ(root->Items(0), c);

    // One checked radio item per group among siblings; other groups are left alone.
    for (TMenuItem* it : {a, b}) it->SetRadioItem(true);
    c->SetRadioItem(true);
    c->SetGroupIndex(2);
    a->SetChecked(true);
    c->SetChecked(true);
    b->SetChecked(true);
    EXPECT_FALSE(a->GetChecked());
    EXPECT_TRUE(b->GetChecked());
    EXPECT_TRUE(c->GetChecked());
    // AutoCheck: a plain item toggles, a radio item is checked.
    a->SetAutoCheck(true);
    a->Click();
    EXPECT_TRUE(a->GetChecked());
    EXPECT_FALSE(b->GetChecked());
    // Disabled items do not click.
    int clicks = 0;
    b->OnClick = [&](TObject*) { ++clicks; };
    b->SetEnabled(false);
    b->Click();
    EXPECT_EQ(clicks, 0);

    root->Delete(root->IndexOf(b));
    EXPECT_EQ(root->Count(), 2);
    // Freeing an item takes it out of its parent.
    a->Free();
    EXPECT_EQ(root->Count(), 1);
    EXPECT_EQ(menu->ComponentCount(), 2);  // the root item and c
}

class MenuTest : public WinTest {
protected:
    TForm* form = nullptr;
    TMainMenu* menu = nullptr;
    TPanel* panel = nullptr;
    std::vector<std::string> log;
    TMenuItem *file = nullptr, *open = nullptr, *recent = nullptr, *exitItem = nullptr;
    TMenuItem *edit = nullptr, *view = nullptr;
    int clientHeightWithout = 0;

    void SetUp() override {
        form = NewForm(400, 300, "Menus");
        panel = Add<TPanel>(form, 0, 0, 100, 100);
        panel->SetAlign(alClient);
        clientHeightWithout = form->GetClientHeight();
        menu = Create<TMainMenu>(form);
        menu->SetName("MainMenu1");
        file = Item(form, "&File", &log);
        open = Item(form, "&Open...\tCtrl+O", &log, TShortCut('O' | scCtrl));
        recent = Item(form, "&Recent", &log);
        recent->Add(Item(form, "one.dbf", &log));
        recent->Add(Item(form, "&two.dbf", &log));
        exitItem = Item(form, "E&xit", &log);
        file->Add(open);
        file->Add(Item(form, "-"));
        file->Add(recent);
        file->Add(exitItem);
        edit = Item(form, "&Edit", &log);
        edit->Add(Item(form, "&Copy", &log, TextToShortCut("Ctrl+C")));
        edit->Add(Item(form, "&Paste", &log));
        view = Item(form, "&View", &log);  // a command on the bar
        menu->GetItems()->Add(file);
        menu->GetItems()->Add(edit);
        menu->GetItems()->Add(view);
        form->SetMenu(menu);
        form->Show();
        vt::ProcessMessages();
    }
};

TEST_F(MenuTest, BarTakesNonClientHeight) {
    EXPECT_EQ(form->GetClientHeight(), clientHeightWithout - GetSystemMetrics(SM_CYMENU));
    EXPECT_EQ(panel->GetHeight(), form->GetClientHeight());  // the layout followed
    TCustomForm* other = NewForm();
    EXPECT_THROW(other->SetMenu(menu), EInvalidOperation);
    form->SetMenu(nullptr);
    EXPECT_EQ(form->GetClientHeight(), clientHeightWithout);
    form->SetMenu(menu);
    // Freeing the menu takes the bar away.
    menu->Free();
    EXPECT_EQ(form->GetMenu(), nullptr);
    EXPECT_EQ(form->GetClientHeight(), clientHeightWithout);
}

TEST_F(MenuTest, MouseOpensBarItemsHoverOpensSubMenusAndClicksRun) {
    int fileOpened = 0;
    file->OnClick = [&](TObject*) { ++fileOpened; };  // runs as the drop-down opens
    vt::OpenMenu(form, "File");
    EXPECT_TRUE(MenuActive());
    EXPECT_EQ(fileOpened, 1);
    EXPECT_EQ(vt::OpenMenuCaptions(),
              (std::vector<std::string>{"&Open...\tCtrl+O", "-", "&Recent", "E&xit"}));
    // Moving along the bar switches the drop-down.
    TRect editRect = MenuItemScreenRect(edit);
    input::MouseMoveTo({editRect.Left + 3, editRect.Top + 3});
    EXPECT_EQ(vt::OpenMenuCaptions(), (std::vector<std::string>{"&Copy", "&Paste"}));
    // Clicking the open bar item again closes it.
    vt::OpenMenu(form, "Edit");
    EXPECT_FALSE(MenuActive());
    EXPECT_EQ(log, std::vector<std::string>{"&Edit"});  // its OnClick ran as it opened
    log.clear();

    vt::ClickMenuItem(menu, "File|Recent|two.dbf");
    EXPECT_FALSE(MenuActive());
    EXPECT_EQ(log, (std::vector<std::string>{"&Recent", "&two.dbf"}));
    log.clear();
    vt::ClickMenuItem(menu, "View");  // a bar command runs at once
    EXPECT_EQ(log, std::vector<std::string>{"&View"});
    log.clear();

    // A press outside closes the menu and reaches nothing else.
    int panelPresses = 0;
    panel->OnMouseDown = [&](TObject*, TMouseButton, TShiftState, int, int) { ++panelPresses; };
    vt::OpenMenu(form, "File");
    vt::Click(panel, 300, 200);
    EXPECT_FALSE(MenuActive());
    EXPECT_EQ(panelPresses, 0);
    vt::Click(panel, 300, 200);
    EXPECT_EQ(panelPresses, 1);
    panel->OnMouseDown = nullptr;

    // Separators, disabled and hidden items do nothing when clicked; hidden ones are not shown.
    exitItem->SetEnabled(false);
    EXPECT_THROW(vt::ClickMenuItem(menu, "File|Exit"), EInvalidOperation);
    EXPECT_FALSE(MenuActive());
    vt::OpenMenu(form, "File");
    TRect r = MenuItemScreenRect(exitItem);
    input::MouseMoveTo({r.Left + 5, r.Top + 5});
    input::MouseButton(mbLeft, true, {r.Left + 5, r.Top + 5});
    input::MouseButton(mbLeft, false, {r.Left + 5, r.Top + 5});
    EXPECT_TRUE(MenuActive());
    EXPECT_TRUE(log.empty());
    CloseMenus();
    recent->SetVisible(false);
    vt::OpenMenu(form, "File");
    EXPECT_EQ(vt::OpenMenuCaptions(), (std::vector<std::string>{"&Open...\tCtrl+O", "-", "E&xit"}));
    CloseMenus();
}

TEST_F(MenuTest, KeyboardNavigation) {
    vt::PressKey('F', {ssAlt});
    ASSERT_TRUE(MenuActive());
    EXPECT_EQ(SelectedMenuItem(), open);
    vt::PressKey(VK_DOWN);  // over the separator
    EXPECT_EQ(SelectedMenuItem(), recent);
    vt::PressKey(VK_RIGHT);  // into the sub-menu
    EXPECT_EQ(vt::OpenMenuCaptions(), (std::vector<std::string>{"one.dbf", "&two.dbf"}));
    EXPECT_EQ(SelectedMenuItem()->GetCaption(), "one.dbf");
    vt::PressKey(VK_ESCAPE);  // back to the File drop-down
    EXPECT_EQ(SelectedMenuItem(), recent);
    vt::PressKey(VK_UP);
    vt::PressKey(VK_UP);  // wraps to the last item
    EXPECT_EQ(SelectedMenuItem(), exitItem);
    vt::PressKey(VK_RIGHT);  // no sub-menu: the next bar item
    EXPECT_EQ(vt::OpenMenuCaptions(), (std::vector<std::string>{"&Copy", "&Paste"}));
    vt::PressKey(VK_LEFT);
    EXPECT_EQ(SelectedMenuItem(), open);
    vt::PressKey(VK_RETURN);
    EXPECT_FALSE(MenuActive());
    EXPECT_EQ(log, (std::vector<std::string>{"&File", "&Recent", "&Edit", "&File", "&Open...\tCtrl+O"}));
    log.clear();

    // A letter chooses the item with that accelerator; Escape closes.
    vt::PressKey('E', {ssAlt});
    vt::PressKey('P');
    EXPECT_EQ(log, (std::vector<std::string>{"&Edit", "&Paste"}));
    vt::PressKey(VK_F10);
    EXPECT_TRUE(MenuActive());
    vt::PressKey(VK_ESCAPE);
    EXPECT_FALSE(MenuActive());
    // Keys typed while the menu is open reach no control.
    auto* ed = Add<TPanel>(form, 0, 0, 10, 10);
    (void)ed;
    int keys = 0;
    form->SetKeyPreview(true);
    form->OnKeyDown = [&](TObject*, uint16_t&, TShiftState) { ++keys; };
    vt::PressKey('F', {ssAlt});
    vt::PressKey(VK_DOWN);
    vt::PressKey(VK_ESCAPE);
    EXPECT_EQ(keys, 0);
    form->OnKeyDown = nullptr;
}

TEST_F(MenuTest, ShortCutsRunItemsOfTheActiveFormAndFocusedPopups) {
    vt::PressKey('O', {ssCtrl});
    // The parent's OnClick runs first (it may enable the item).
    EXPECT_EQ(log, (std::vector<std::string>{"&File", "&Open...\tCtrl+O"}));
    log.clear();
    open->SetEnabled(false);
    vt::PressKey('O', {ssCtrl});
    EXPECT_TRUE(log.empty());
    // A popup menu of the focused control has its shortcuts too.
    auto* popup = Create<TPopupMenu>(form);
    popup->GetItems()->Add(Item(form, "&Bold\t^B", &log, TextToShortCut("^B")));
    auto* btn = Add<TButton>(form, 10, 10, 75, 25);
    btn->SetPopupMenu(popup);
    btn->SetFocus();
    vt::PressKey('B', {ssCtrl});
    EXPECT_EQ(log, std::vector<std::string>{"&Bold\t^B"});
    // Without the menu the key goes to the control.
    form->SetMenu(nullptr);
    btn->SetPopupMenu(nullptr);
    int keys = 0;
    btn->OnKeyDown = [&](TObject*, uint16_t&, TShiftState) { ++keys; };
    vt::PressKey('O', {ssCtrl});
    vt::PressKey('B', {ssCtrl});
    EXPECT_EQ(keys, 2);
    btn->OnKeyDown = nullptr;
}

// The rich edit's popup: OnPopup sets the check marks, the item is clicked by caption.
TEST_F(MenuTest, RightClickOpensThePopupMenuOfTheControlOrItsParent) {
    auto* popup = Create<TPopupMenu>(form);
    std::vector<std::string> captions = {"&Fonts...", "-", "&Bold\t^B", "&Italic\t^I",
                                         "&Strikeout\t^S", "&Underline\t^U"};
    for (const auto& c : captions) popup->GetItems()->Add(Item(form, c, &log));
    TComponent* popupFor = nullptr;
    popup->OnPopup = [&](TObject*) {
        popupFor = popup->GetPopupComponent();
        popup->GetItems()->Find("Bold")->SetChecked(true);
    };
    panel->SetPopupMenu(popup);
    auto* child = Add<TPanel>(panel, 10, 10, 50, 50);  // no menu of its own
    int ups = 0;
    child->OnMouseUp = [&](TObject*, TMouseButton b, TShiftState, int, int) { ups += b == mbRight; };
    vt::RightClick(child, 5, 5);
    EXPECT_EQ(ups, 1);  // the control hears its release first
    ASSERT_TRUE(MenuActive());
    EXPECT_EQ(popupFor, panel);
    EXPECT_EQ(vt::OpenMenuCaptions(), captions);
    EXPECT_TRUE(popup->GetItems()->Find("Bold")->GetChecked());
    // The drop-down opens at the pointer.
    TRect first = MenuItemScreenRect(popup->GetItems()->Items(0));
    TPoint at = child->ClientToScreen({5, 5});
    EXPECT_NEAR(first.Left, at.X, 4);
    EXPECT_NEAR(first.Top, at.Y, 4);
    vt::ClickMenuItem(popup, "Italic");
    EXPECT_EQ(log, std::vector<std::string>{"&Italic\t^I"});
    EXPECT_FALSE(MenuActive());
    // From the keyboard: Shift+F10 opens the focused control's menu (here its parent's).
    auto* btn = Add<TButton>(panel, 70, 10, 75, 25);
    btn->SetFocus();
    vt::PressKey(VK_F10, {ssShift});
    ASSERT_TRUE(MenuActive());
    EXPECT_EQ(popupFor, panel);
    // The long hint of the highlighted item shows as the application's hint.
    popup->GetItems()->Find("Bold")->SetHint("Bold|Makes the selection bold");
    vt::PressKey(VK_DOWN);
    vt::PressKey(VK_DOWN);
    EXPECT_EQ(SelectedMenuItem(), popup->GetItems()->Find("Bold"));
    EXPECT_EQ(Application->GetHint(), "Makes the selection bold");
    vt::PressKey(VK_ESCAPE);
    EXPECT_EQ(Application->GetHint(), "");
    // AutoPopup off: no menu.
    popup->SetAutoPopup(false);
    vt::RightClick(child, 5, 5);
    EXPECT_FALSE(MenuActive());
    // Popup from code, and freeing the menu while open closes it.
    popup->Popup(50, 50);
    EXPECT_TRUE(MenuActive());
    popup->Free();
    EXPECT_FALSE(MenuActive());
    EXPECT_EQ(panel->GetPopupMenu(), nullptr);
    child->OnMouseUp = nullptr;
}

// A handler that rebuilds the sub-items as they open (a list of recent files) shows the new
// items; a change to a list shown already closes that drop-down.
TEST_F(MenuTest, SubItemsBuiltAsTheyOpen) {
    int builds = 0;
    recent->OnClick = [&](TObject*) {
        ++builds;
        recent->Clear();
        for (int i = 0; i < builds; ++i) recent->Add(Item(form, "file" + std::to_string(i) + ".dbf"));
    };
    file->OnClick = [&](TObject*) { exitItem->SetEnabled(builds > 0); };
    vt::OpenMenu(form, "File");
    EXPECT_FALSE(exitItem->GetEnabled());
    vt::PressKey(VK_DOWN);
    vt::PressKey(VK_DOWN);  // Recent
    vt::PressKey(VK_RIGHT);
    EXPECT_EQ(vt::OpenMenuCaptions(), std::vector<std::string>{"file0.dbf"});
    vt::PressKey(VK_ESCAPE);
    vt::PressKey(VK_RIGHT);
    EXPECT_EQ(vt::OpenMenuCaptions(), (std::vector<std::string>{"file0.dbf", "file1.dbf"}));
    // Changed from elsewhere while shown: the sub-menu closes, its parent stays.
    recent->Add(Item(form, "late.dbf"));
    EXPECT_TRUE(MenuActive());
    EXPECT_EQ(OpenMenuWindows().size(), 1u);
    EXPECT_EQ(SelectedMenuItem(), recent);
    // Hiding another bar item keeps the drop-down; hiding the open one closes the menu.
    view->SetVisible(false);
    EXPECT_TRUE(MenuActive());
    file->SetVisible(false);
    EXPECT_FALSE(MenuActive());
    recent->OnClick = nullptr;
    file->OnClick = nullptr;
}

TEST_F(MenuTest, ItemsChangedOrFreedWhileOpen) {
    vt::OpenMenu(form, "File");
    vt::PressKey(VK_DOWN);
    open->SetCaption("&Open file...");  // a repaint, the menu stays
    EXPECT_TRUE(MenuActive());
    recent->Free();  // the shown list changed: the menu closes
    EXPECT_FALSE(MenuActive());
    vt::OpenMenu(form, "File");
    form->Free();
    owned.clear();
    EXPECT_FALSE(MenuActive());
}

TEST_F(WinTest, MenusStreamAsNestedItems) {
    RegisterClasses({&TMainMenu::StaticClass(), &TMenuItem::StaticClass(), &TPopupMenu::StaticClass()});
    auto* f = NewForm<TMenuForm>();
    f->SetName("Browser");
    auto* m = Create<TMainMenu>(f);
    m->SetName("MainMenu1");
    auto* file = Item(f, "&File");
    file->SetName("File1");
    auto* open = Item(f, "&Open...", nullptr, TextToShortCut("Ctrl+O"));
    open->SetName("Open1");
    auto* settings = Item(f, "&Settings");
    settings->SetName("Settings1");
    auto* dbase = Item(f, "dBase");
    dbase->SetName("DBase1");
    dbase->SetRadioItem(true);
    dbase->SetChecked(true);
    file->Add(open);
    settings->Add(dbase);
    m->GetItems()->Add(file);
    m->GetItems()->Add(settings);
    f->SetMenu(m);
    auto* p = Create<TPopupMenu>(f);
    p->SetName("PopupMenu1");
    p->SetAutoPopup(false);

    std::string text = ComponentToText(f);
    EXPECT_NE(text.find("Menu = MainMenu1"), std::string::npos) << text;
    EXPECT_NE(text.find("  object MainMenu1: TMainMenu\n    object File1: TMenuItem\n"
                        "      Caption = '&File'\n      object Open1: TMenuItem\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("AutoPopup = False"), std::string::npos) << text;

    auto* g = NewForm<TMenuForm>();
    ReadComponentFromText(text, g);
    ASSERT_NE(g->GetMenu(), nullptr);
    TMenuItem* root = g->GetMenu()->GetItems();
    ASSERT_EQ(root->Count(), 2);
    EXPECT_EQ(root->Items(0)->GetName(), "File1");
    ASSERT_EQ(root->Items(0)->Count(), 1);
    EXPECT_EQ(root->Items(0)->Items(0)->GetShortCut(), TextToShortCut("Ctrl+O"));
    EXPECT_TRUE(root->Items(1)->Items(0)->GetChecked());
    EXPECT_TRUE(root->Items(1)->Items(0)->GetRadioItem());
    EXPECT_EQ(ComponentToText(g), text);
}

// A form with its bar and an open drop-down, as a person sees them (written for the docs).
TEST_F(MenuTest, RenderBarAndDropDown) {
    TMenuItem* sub = Item(form, "&Settings", &log);
    TMenuItem* dbf = Item(form, "dBase tables");
    TMenuItem* db = Item(form, "Paradox tables");
    for (TMenuItem* it : {dbf, db}) {
        it->SetRadioItem(true);
        sub->Add(it);
    }
    db->SetChecked(true);
    TMenuItem* confirm = Item(form, "&Confirm deletes");
    confirm->SetChecked(true);
    sub->Add(Item(form, "-"));
    sub->Add(confirm);
    file->Insert(3, sub);
    exitItem->SetEnabled(false);
    open->SetDefault(true);
    panel->SetCaption("Customer");
    vt::OpenMenu(form, "File");
    vt::PressKey(VK_DOWN);
    vt::PressKey(VK_DOWN);
    vt::PressKey(VK_DOWN);  // Settings
    vt::PressKey(VK_RIGHT);
    vt::ProcessMessages();
    std::unique_ptr<TBitmap> screen(RenderScreen());
    TRect area = Rect(form->GetLeft(), form->GetTop(), form->GetLeft() + form->GetWidth(),
                      form->GetTop() + form->GetHeight());
    std::unique_ptr<TBitmap> shot = CropBitmap(screen.get(), area);
    shot->SaveToPngFile(dbvtest::BuildDir() + "/menu.png");

    // The bar is menu-coloured; the selected Settings row and the sub-menu's first row are
    // highlighted; the check of the checked item is drawn in the menu text colour.
    TRect bar = MenuItemScreenRect(view);
    EXPECT_EQ(screen->GetPixel(bar.Right + 20, bar.Top + 2), ColorToRGB(clMenu));
    TRect settings = MenuItemScreenRect(sub);
    EXPECT_EQ(screen->GetPixel(settings.Right - 3, settings.Top + 2), ColorToRGB(clHighlight));
    TRect first = MenuItemScreenRect(dbf);
    EXPECT_EQ(screen->GetPixel(first.Right - 3, first.Top + 2), ColorToRGB(clHighlight));
    TRect checked = MenuItemScreenRect(db);
    bool dark = false;
    for (int x = checked.Left; x < checked.Left + 20; ++x)
        for (int y = checked.Top; y < checked.Bottom; ++y)
            dark = dark || screen->GetPixel(x, y) == ColorToRGB(clMenuText);
    EXPECT_TRUE(dark);
    EXPECT_LT(first.Left, settings.Right + 4);  // the sub-menu sits beside its item
    EXPECT_GT(first.Left, settings.Left);
    CloseMenus();
}
