// Message boxes, the input box, the edit control and the common dialogs.
#include "controls/dlgparts.h"
#include "controls/edit.h"
#include "controls/msgbox.h"
#include "controls_test_util.h"
#include "support/paths.h"
#include "graphics/clipbrd.h"
#include "rtl/sysutils.h"

#include <filesystem>
#include <fstream>
#include <memory>

using namespace vcl;
using namespace win;

namespace {
// The buttons of a shown box, left to right, as captions.
std::vector<std::string> ButtonCaptions(TCustomForm& f) {
    std::vector<std::pair<int, std::string>> v;
    for (TComponent* c : f.ComponentList())
        if (auto* b = dynamic_cast<TButton*>(c)) v.push_back({b->GetLeft(), b->GetCaption()});
    std::sort(v.begin(), v.end());
    std::vector<std::string> out;
    for (auto& p : v) out.push_back(p.second);
    return out;
}
TButton* ButtonOf(TCustomForm& f, const std::string& caption) {
    for (TComponent* c : f.ComponentList())
        if (auto* b = dynamic_cast<TButton*>(c); b && b->GetCaption() == caption) return b;
    return nullptr;
}
}  // namespace

// Every box a later component shows, exactly: kind, caption, buttons, the default button
// with the focus, and the answer clicked.
TEST_F(WinTest, MessageDlgShowsEachBoxOfTheComponents) {
    Application->SetTitle("Vantor");
    struct Case {
        std::string text;
        TMsgDlgType kind;
        TMsgDlgButtons buttons;
        std::string caption;
        std::vector<std::string> captions;
        std::string focused;
        TModalResult answer;
    };
    const std::vector<Case> cases = {
        {"Delete record?", mtConfirmation, mbOKCancel, "Confirm", {"OK", "Cancel"}, "OK", mrCancel},
        {"Table CUST : Pack Failed", mtError, {mbOK}, "Error", {"OK"}, "OK", mrOk},
        {"Can only be used with TTable objects.", mtWarning, {mbOK}, "Warning", {"OK"}, "OK", mrOk},
        {"Changing table types now may cause your existing field type definitions to be lost. "
         "Continue?",
         mtWarning, mbOKCancel, "Warning", {"OK", "Cancel"}, "OK", mrOk},
        {"Delete field #3?", mtConfirmation, mbYesNo, "Confirm", {"&Yes", "&No"}, "&Yes", mrNo},
        {"Exit All Databases?", mtConfirmation, mbYesNo, "Confirm", {"&Yes", "&No"}, "&Yes", mrYes},
        {"Please set the table active before using the Filter Dialog.", mtInformation, {mbOK},
         "Information", {"OK"}, "OK", mrOk},
        {"Save changes?", mtConfirmation, mbYesNoCancel, "Confirm", {"&Yes", "&No", "Cancel"},
         "&Yes", mrCancel},
        {"Disk error", mtError, TMsgDlgButtons{mbAbort, mbRetry, mbIgnore, mbHelp}, "Error",
         {"&Abort", "&Retry", "&Ignore", "&Help"}, "&Abort", mrRetry},
        {"Replace?", mtCustom, TMsgDlgButtons{mbYes, mbNo, mbAll, mbNoToAll, mbYesToAll}, "Vantor",
         {"&Yes", "&No", "&All", "N&o to All", "Yes to &All"}, "&Yes", mrYesToAll},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        vt::ExpectModal("TMessageForm", [&](TCustomForm& f) {
            EXPECT_EQ(f.GetCaption(), c.caption);
            EXPECT_EQ(ButtonCaptions(f), c.captions);
            auto* focused = dynamic_cast<TButton*>(FindFocusedControl());
            ASSERT_NE(focused, nullptr);
            EXPECT_EQ(focused->GetCaption(), c.focused);
            auto* text = dynamic_cast<TControl*>(f.FindComponent("Message"));
            ASSERT_NE(text, nullptr);
            EXPECT_EQ(text->GetCaption(), c.text);
            // The whole text fits inside the form and the buttons.
            EXPECT_LE(text->GetLeft() + text->GetWidth(), f.GetClientWidth());
            for (TComponent* comp : f.ComponentList())
                if (auto* b = dynamic_cast<TButton*>(comp)) {
                    EXPECT_GE(b->GetTop(), text->GetTop() + text->GetHeight());
                    EXPECT_LE(b->GetLeft() + b->GetWidth(), f.GetClientWidth());
                }
            EXPECT_EQ(vt::MessageBoxLog().back().Result, mrNone);  // shown, not yet answered
            TButton* answer = nullptr;
            for (TComponent* comp : f.ComponentList())
                if (auto* b = dynamic_cast<TButton*>(comp); b && b->GetModalResult() == c.answer)
                    answer = b;
            ASSERT_NE(answer, nullptr);
            vt::Click(answer);
        });
        EXPECT_EQ(MessageDlg(c.text, c.kind, c.buttons, 7), c.answer);
        const vt::TMessageBoxRecord& r = vt::MessageBoxLog().back();
        EXPECT_EQ(r.Text, c.text);
        EXPECT_EQ(r.Caption, c.caption);
        EXPECT_EQ(r.Kind, c.kind);
        EXPECT_EQ(r.Buttons, c.buttons);
        EXPECT_EQ(r.HelpCtx, 7);
        EXPECT_EQ(r.Result, c.answer);
    }
    EXPECT_EQ(vt::MessageBoxLog().size(), cases.size());
    EXPECT_EQ(Screen->FormCount(), 0);  // every box was freed
}

// Buttons are as wide as their captions need, and long text wraps inside a bounded width.
TEST_F(WinTest, MessageBoxLayoutWrapsTextAndSizesButtons) {
    std::string longText(40, 'x');
    for (int i = 0; i < 30; ++i) longText += " word";
    vt::ExpectModal([&](TCustomForm& f) {
        auto* text = dynamic_cast<TControl*>(f.FindComponent("Message"));
        EXPECT_LE(f.GetWidth(), Screen->GetWidth() / 2 + 80);
        EXPECT_GT(text->GetHeight(), 2 * 13);  // several lines
        TButton* wide = ButtonOf(f, "Yes to &All");
        TButton* ok = ButtonOf(f, "N&o to All");
        ASSERT_TRUE(wide && ok);
        EXPECT_GE(wide->GetWidth(), 75);
        EXPECT_EQ(ButtonOf(f, "&Yes")->GetWidth(), 75);
        vt::PressKey(VK_ESCAPE);  // no Cancel: No is the cancel button
    });
    EXPECT_EQ(MessageDlg(longText, mtWarning, TMsgDlgButtons{mbYes, mbNo, mbNoToAll, mbYesToAll}, 0),
              mrNo);
    // Line breaks in the text start new lines.
    int oneLine = 0;
    vt::ExpectModal([&](TCustomForm& f) {
        oneLine = dynamic_cast<TControl*>(f.FindComponent("Message"))->GetHeight();
        vt::PressKey(VK_RETURN);
    });
    MessageDlg("one", mtInformation, {mbOK}, 0);
    vt::ExpectModal([&](TCustomForm& f) {
        EXPECT_EQ(dynamic_cast<TControl*>(f.FindComponent("Message"))->GetHeight(), 3 * oneLine);
        vt::PressKey(VK_RETURN);
    });
    MessageDlg("/tmp/x.dbf\nFile not found.\nCheck the file name and try again.", mtWarning, {mbOK}, 0);
}

// Enter answers with the default button, Escape with the cancel button, letters with the
// buttons' accelerators; the MB_ box follows its own Escape and default-button rules.
TEST_F(WinTest, MessageBoxKeysAndFlags) {
    struct Case {
        std::function<int()> show;
        std::function<void()> keys;
        int expected;
        const char* what;
    };
    const std::vector<Case> cases = {
        {[] { return MessageDlg("a", mtConfirmation, mbOKCancel, 0); }, [] { vt::PressKey(VK_RETURN); }, mrOk, "enter"},
        {[] { return MessageDlg("a", mtConfirmation, mbOKCancel, 0); }, [] { vt::PressKey(VK_ESCAPE); }, mrCancel, "escape"},
        {[] { return MessageDlg("a", mtConfirmation, mbYesNo, 0); }, [] { vt::PressKey(VK_ESCAPE); }, mrNo, "escape to No"},
        {[] { return MessageDlg("a", mtConfirmation, mbYesNoCancel, 0); }, [] { vt::PressKey('N'); }, mrNo, "accelerator"},
        {[] { return MessageDlg("a", mtConfirmation, mbYesNo, 0); }, [] { vt::PressKey(VK_TAB); vt::PressKey(VK_RETURN); }, mrNo, "tab then enter"},
        {[] { return MessageBox("t", "Cap", MB_OK); }, [] { vt::PressKey(VK_ESCAPE); }, IDOK, "lone OK takes escape"},
        {[] { return MessageBox("t", "Cap", MB_YESNOCANCEL | MB_ICONQUESTION | MB_DEFBUTTON2); }, [] { vt::PressKey(VK_RETURN); }, IDNO, "second default"},
        {[] { return MessageBox("t", "Cap", MB_RETRYCANCEL); }, [] { vt::PressKey(VK_ESCAPE); }, IDCANCEL, "retry cancel"},
        {[] { return MessageBox("t", "Cap", MB_ABORTRETRYIGNORE | MB_DEFBUTTON3); }, [] { vt::PressKey(VK_RETURN); }, IDIGNORE, "third default"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        vt::ExpectModal([&](TCustomForm&) { c.keys(); });
        EXPECT_EQ(c.show(), c.expected);
    }
    // Yes/No without Cancel ignores Escape: the box stays open.
    vt::ExpectModal([&](TCustomForm& f) {
        vt::PressKey(VK_ESCAPE);
        EXPECT_EQ(f.GetModalResult(), mrNone);
        EXPECT_TRUE(f.GetVisible());
        vt::PressKey('Y');
    });
    EXPECT_EQ(MessageBox("t", "", MB_YESNO | MB_ICONWARNING), IDYES);
    const vt::TMessageBoxRecord& r = vt::MessageBoxLog().back();
    EXPECT_EQ(r.Caption, Application->GetTitle());
    EXPECT_EQ(r.Kind, mtWarning);
    EXPECT_EQ(r.Buttons, mbYesNo);
}

TEST_F(WinTest, ShowMessageHelpAndUnansweredBox) {
    Application->SetTitle("Vantor");
    vt::ExpectMessageBox(mrOk);
    ShowMessage("Master was not found");
    EXPECT_EQ(vt::MessageBoxLog().back().Caption, "Vantor");
    EXPECT_EQ(vt::MessageBoxLog().back().Kind, mtCustom);

    std::vector<int> help;
    SetHelpHandler([&](int ctx) { help.push_back(ctx); });
    vt::ExpectModal([&](TCustomForm& f) {
        vt::Click(ButtonOf(f, "&Help"));
        EXPECT_EQ(f.GetModalResult(), mrNone);  // Help leaves the box open
        vt::Click(ButtonOf(f, "OK"));
    });
    EXPECT_EQ(MessageDlg("x", mtInformation, TMsgDlgButtons{mbOK, mbHelp}, 42), mrOk);
    EXPECT_EQ(help, std::vector<int>{42});
    SetHelpHandler(nullptr);

    // No script: the box raises rather than hanging, and is freed.
    EXPECT_THROW(MessageDlg("x", mtError, {mbOK}, 0), EInvalidOperation);
    EXPECT_EQ(Screen->FormCount(), 0);
    // A scripted answer the box cannot give fails the same way.
    vt::ExpectMessageBox(mrYes);
    EXPECT_THROW(MessageDlg("x", mtError, {mbOK}, 0), EInvalidOperation);
}

TEST_F(WinTest, InputBoxTypedCancelledAndRecorded) {
    vt::ExpectInputBox("secret");
    EXPECT_EQ(InputBox("Password", "Enter Password", ""), "secret");
    // The default is selected, so typing replaces it.
    vt::ExpectInputBox("new");
    EXPECT_EQ(InputBox("Name", "&Name:", "old"), "new");
    vt::ExpectInputBox("ignored", false);
    EXPECT_EQ(InputBox("Name", "&Name:", "old"), "old");
    std::string v = "keep";
    vt::ExpectModal([](TCustomForm&) { vt::PressKey(VK_ESCAPE); });
    EXPECT_FALSE(InputQuery("Name", "Name:", v));
    EXPECT_EQ(v, "keep");
    vt::ExpectModal([](TCustomForm&) {
        vt::PressKey(VK_END);
        vt::TypeText("er");
        vt::PressKey(VK_RETURN);
    });
    EXPECT_TRUE(InputQuery("Name", "Name:", v));
    EXPECT_EQ(v, "keeper");
    const auto& log = vt::MessageBoxLog();
    ASSERT_EQ(log.size(), 5u);
    EXPECT_TRUE(log[0].IsInput);
    EXPECT_EQ(log[0].Caption, "Password");
    EXPECT_EQ(log[0].Text, "Enter Password");
    EXPECT_EQ(log[0].Value, "secret");
    EXPECT_EQ(log[2].Result, mrCancel);
    EXPECT_EQ(log[2].Value, "old");
}

// The records keep the newest entries of a long run; a box still finds its own entry.
TEST_F(WinTest, BeepsAndBoxesAreRecordedBounded) {
    MessageBeep(0);
    MessageBeep(MB_ICONHAND);
    EXPECT_EQ(vt::BeepLog(), (std::vector<uint32_t>{0, MB_ICONHAND}));
    vt::ClearBeepLog();
    EXPECT_TRUE(vt::BeepLog().empty());
    for (int i = 0; i < 5000; ++i) MessageBeep(uint32_t(i));
    EXPECT_LE(vt::BeepLog().size(), 4096u);
    EXPECT_EQ(vt::BeepLog().back(), 4999u);

    vt::TMessageBoxRecord r;
    r.Text = "old";
    for (int i = 0; i < 999; ++i) vt::detail::RecordMessageBox(r);
    vt::ExpectModal([](TCustomForm&) {
        // Boxes shown meanwhile push the oldest records out.
        vt::TMessageBoxRecord other;
        for (int i = 0; i < 10; ++i) vt::detail::RecordMessageBox(other);
        vt::PressKey(VK_RETURN);
    });
    EXPECT_EQ(MessageDlg("newest", mtInformation, {mbOK}, 0), mrOk);
    EXPECT_LE(vt::MessageBoxLog().size(), 1000u);
    auto it = std::find_if(vt::MessageBoxLog().begin(), vt::MessageBoxLog().end(),
                           [](const vt::TMessageBoxRecord& x) { return x.Text == "newest"; });
    ASSERT_NE(it, vt::MessageBoxLog().end());
    EXPECT_EQ(it->Result, mrOk);
}

// ---- the edit control ----
class EditTest : public WinTest {
protected:
    TForm* form = nullptr;
    TEdit* edit = nullptr;
    TEdit* other = nullptr;
    void SetUp() override {
        form = NewForm(300, 120);
        edit = Add<TEdit>(form, 10, 10, 150, 21);
        other = Add<TEdit>(form, 10, 40, 150, 21);
        form->Show();
        edit->SetFocus();
        vt::ProcessMessages();
    }
};

TEST_F(EditTest, TypingCaretSelectionAndDeletion) {
    int changes = 0;
    edit->OnChange = [&](TObject*) { ++changes; };
    vt::TypeText("hello");
    EXPECT_EQ(edit->GetText(), "hello");
    EXPECT_EQ(edit->CaretPos(), 5);
    EXPECT_EQ(changes, 5);
    vt::PressKey(VK_HOME);
    vt::TypeText(">");
    vt::PressKey(VK_END);
    vt::PressKey(VK_BACK);
    EXPECT_EQ(edit->GetText(), ">hell");
    vt::PressKey(VK_HOME);
    vt::PressKey(VK_DELETE);
    EXPECT_EQ(edit->GetText(), "hell");
    // Shift extends the selection; typing replaces it.
    vt::PressKey(VK_RIGHT);
    vt::PressKey(VK_RIGHT, {ssShift});
    vt::PressKey(VK_RIGHT, {ssShift});
    EXPECT_EQ(edit->GetSelStart(), 1);
    EXPECT_EQ(edit->GetSelText(), "el");
    vt::TypeText("E");
    EXPECT_EQ(edit->GetText(), "hEl");
    vt::PressKey(VK_END, {ssShift});  // caret at 2 → selects "l"
    EXPECT_EQ(edit->GetSelText(), "l");
    vt::PressKey(VK_HOME, {ssShift});  // from the anchor back to the start
    EXPECT_EQ(edit->GetSelText(), "hE");
    vt::PressKey(VK_DELETE);
    EXPECT_EQ(edit->GetText(), "l");
    // Backspace and Delete at the ends do nothing.
    vt::PressKey(VK_HOME);
    vt::PressKey(VK_BACK);
    vt::PressKey(VK_END);
    vt::PressKey(VK_DELETE);
    EXPECT_EQ(edit->GetText(), "l");
    EXPECT_TRUE(edit->GetModified());
}

TEST_F(EditTest, FocusSelectsAllLimitReadOnlyAndClipboard) {
    other->SetText("abc def");
    vt::PressKey(VK_TAB);
    ASSERT_TRUE(other->Focused());
    EXPECT_EQ(other->GetSelText(), "abc def");
    vt::TypeText("x");
    EXPECT_EQ(other->GetText(), "x");
    // A click places the caret instead of selecting.
    other->SetText("abcdef");
    vt::Click(edit);
    vt::Click(other, other->GetClientWidth() - 4, 8);
    EXPECT_EQ(other->GetSelLength(), 0);
    EXPECT_EQ(other->CaretPos(), 6);
    // Shift+click selects to the click.
    vt::Click(other, 2, 8, {ssShift});
    EXPECT_EQ(other->GetSelText(), "abcdef");

    other->SetMaxLength(3);
    other->SetText("");
    vt::ClearBeepLog();
    vt::TypeText("12345");
    EXPECT_EQ(other->GetText(), "123");
    EXPECT_EQ(vt::BeepLog().size(), 2u);

    other->SetReadOnly(true);
    vt::TypeText("9");
    vt::PressKey(VK_BACK);
    EXPECT_EQ(other->GetText(), "123");

    other->SetReadOnly(false);
    other->SetMaxLength(0);
    other->SelectAll();
    vt::TypeText("\x03");  // Ctrl+C
    vt::PressKey(VK_END);
    vt::TypeText("\x16");  // Ctrl+V
    EXPECT_EQ(other->GetText(), "123123");
    // A pasted text keeps its first line only.
    Clipboard()->SetAsText("ab\r\ncd");
    other->PasteFromClipboard();
    EXPECT_EQ(other->GetText(), "123123ab");
    // A password edit does not give its text away.
    other->SetPasswordChar('*');
    other->SelectAll();
    other->CopyToClipboard();
    EXPECT_EQ(Clipboard()->GetAsText(), "ab\r\ncd");
}

// A warning box over a form, as a person sees it (written for the docs).
TEST_F(WinTest, RenderMessageBox) {
    TForm* main = NewForm(520, 300, "Table browser");
    main->SetBounds(252, 234, 520, 300);
    main->Show();
    vt::ExpectModal([&](TCustomForm& f) {
        std::unique_ptr<TBitmap> box(RenderForm(&f, true));
        box->SaveToPngFile(dbvtest::BuildDir() + "/message-box.png");
        // The icon's yellow triangle, the focused default button's dark frame.
        bool yellow = false;
        for (int y = 0; y < box->GetHeight(); ++y)
            for (int x = 0; x < 60; ++x) yellow = yellow || box->GetPixel(x, y) == ColorToRGB(clYellow);
        EXPECT_TRUE(yellow);
        TButton* ok = ButtonOf(f, "OK");
        TPoint p = ok->ClientToScreen({0, 0});
        std::unique_ptr<TBitmap> screen(RenderScreen());
        EXPECT_EQ(screen->GetPixel(p.X, p.Y), ColorToRGB(clWindowFrame));
        CropBitmap(screen.get(), Rect(232, 214, 792, 554))->SaveToPngFile(dbvtest::BuildDir() + "/message-box-screen.png");
        vt::PressKey(VK_RETURN);
    });
    EXPECT_EQ(MessageDlg("Changing table types now may cause your existing field type definitions to be "
                         "lost. Continue?",
                         mtWarning, mbOKCancel, 0),
              mrOk);
}

// ---- common dialogs ----
TEST(FileFilters, Parse) {
    auto f = ParseFilter("dBase / xBase Files (*.dbf)|*.dbf|Paradox Files (*.db)|*.db|All Files|*.*");
    ASSERT_EQ(f.size(), 3u);
    EXPECT_EQ(f[0].Name, "dBase / xBase Files (*.dbf)");
    EXPECT_EQ(f[0].Masks, std::vector<std::string>{"*.dbf"});
    EXPECT_EQ(f[2].Masks, std::vector<std::string>{"*.*"});
    auto g = ParseFilter("Text|*.txt; *.text|Odd");
    ASSERT_EQ(g.size(), 2u);
    EXPECT_EQ(g[0].Masks, (std::vector<std::string>{"*.txt", "*.text"}));
    EXPECT_EQ(g[1].Masks, std::vector<std::string>{"*"});
    EXPECT_TRUE(ParseFilter("").empty());
}

class FileDialogTest : public WinTest {
protected:
    std::string dir;
    void SetUp() override {
        char tmpl[] = "/tmp/dbv-dlg-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
        for (const char* f : {"a.dbf", "b.DBF", "c.db", "notes.txt"}) Touch(dir + "/" + f);
        std::filesystem::create_directory(dir + "/sub");
        std::filesystem::create_directory(dir + "/.hidden");
        Touch(dir + "/sub/inner.dbf");
    }
    void TearDown() override {
        WinTest::TearDown();
        std::filesystem::remove_all(dir);
    }
    static void Touch(const std::string& p) { std::ofstream(p) << "x"; }
    static const char* Filter() {
        return "dBase / xBase Files (*.dbf)|*.dbf|Paradox Files (*.db)|*.db|All Files|*.*";
    }
    template <class T>
    static T* Part(TCustomForm& f, const char* name) {
        auto* c = dynamic_cast<T*>(f.FindComponent(name));
        EXPECT_NE(c, nullptr) << name;
        return c;
    }
};

// Walking folders, filters, the name field and the lists by keyboard and mouse.
TEST_F(FileDialogTest, ChooserWalksFoldersAndFilters) {
    TOwned<TOpenDialog> dlg = MakeOwned<TOpenDialog>(nullptr);
    dlg->SetFilter(Filter());
    dlg->SetInitialDir(dir);
    dlg->SetTitle("Open Table");
    dlg->SetOptions({ofHideReadOnly, ofPathMustExist, ofFileMustExist});
    std::vector<std::string> events;
    dlg->OnShow = [&](TObject*) { events.push_back("show"); };
    dlg->OnClose = [&](TObject*) { events.push_back("close"); };
    vt::ExpectModal("TFileDialogForm", [&](TCustomForm& f) {
        EXPECT_EQ(f.GetCaption(), "Open Table");
        EXPECT_EQ(dlg->Form(), &f);
        EXPECT_EQ(events, std::vector<std::string>{"show"});
        auto* dirs = Part<TDialogList>(f, "DirList");
        auto* files = Part<TDialogList>(f, "FileList");
        auto* name = Part<TEdit>(f, "FileNameEdit");
        auto* filter = Part<TDialogChoice>(f, "FilterChoice");
        EXPECT_EQ(dirs->GetItems(), (std::vector<std::string>{"..", "sub"}));
        EXPECT_EQ(files->GetItems(), (std::vector<std::string>{"a.dbf", "b.DBF"}));
        EXPECT_TRUE(name->Focused());
        // The filter drop-down lists the entries; choosing one lists its files.
        vt::Click(filter);
        EXPECT_EQ(vt::OpenMenuCaptions().size(), 3u);
        vt::ClickOpenMenuItem("Paradox Files (*.db)");
        EXPECT_EQ(files->GetItems(), std::vector<std::string>{"c.db"});
        filter->SetFocus();
        vt::PressKey(VK_DOWN);  // All Files
        EXPECT_EQ(files->GetItems(), (std::vector<std::string>{"a.dbf", "b.DBF", "c.db", "notes.txt"}));
        // A mask typed as the name lists what matches it.
        name->SetFocus();
        vt::TypeText("*.txt");
        vt::PressKey(VK_RETURN);
        EXPECT_EQ(files->GetItems(), std::vector<std::string>{"notes.txt"});
        EXPECT_EQ(f.GetModalResult(), mrNone);
        // Enter on a folder opens it; ".." goes back; a folder typed as the name opens too.
        dirs->SetFocus();
        vt::PressKey(VK_END);
        vt::PressKey(VK_RETURN);
        EXPECT_EQ(dirs->GetItems(), std::vector<std::string>{".."});
        EXPECT_EQ(Part<TDialogLabel>(f, "DirLabel")->GetCaption(), dir + "/sub");
        vt::PressKey(VK_HOME);
        vt::PressKey(VK_RETURN);
        EXPECT_EQ(Part<TDialogLabel>(f, "DirLabel")->GetCaption(), dir);
        name->SetFocus();
        vt::TypeText("sub");
        vt::PressKey(VK_RETURN);
        EXPECT_EQ(Part<TDialogLabel>(f, "DirLabel")->GetCaption(), dir + "/sub");
        EXPECT_EQ(name->GetText(), "");
        // A click on a file names it; a double click chooses it.
        vt::Click(filter);
        vt::ClickOpenMenuItem("dBase / xBase Files (*.dbf)");  // the typed mask gives way
        vt::DoubleClick(dirs, 10, 2);  // ".."
        vt::Click(files, 10, 2);
        EXPECT_EQ(name->GetText(), "a.dbf");
        vt::DoubleClick(files, 10, files->RowHeight() + 2);
    });
    EXPECT_TRUE(dlg->Execute());
    EXPECT_EQ(dlg->GetFileName(), dir + "/b.DBF");
    EXPECT_EQ(dlg->Files(), std::vector<std::string>{dir + "/b.DBF"});
    EXPECT_EQ(events, (std::vector<std::string>{"show", "close"}));
    EXPECT_EQ(dlg->Form(), nullptr);
    EXPECT_EQ(Screen->FormCount(), 0);
}

// The checks of the dialog hold for scripted answers too; DefaultExt is added to names
// without an extension (matching an existing file whose extension differs in case).
TEST_F(FileDialogTest, MustExistDefaultExtAndOverwritePrompt) {
    TOwned<TOpenDialog> open = MakeOwned<TOpenDialog>(nullptr);
    open->SetFilter(Filter());
    open->SetInitialDir(dir);
    open->SetDefaultExt("DBF");
    open->SetOptions({ofHideReadOnly, ofPathMustExist, ofFileMustExist});

    vt::ExpectFileDialog("a");  // a.DBF does not exist, a.dbf does
    EXPECT_TRUE(open->Execute());
    EXPECT_EQ(open->GetFileName(), dir + "/a.dbf");
    EXPECT_FALSE(open->GetOptions().Contains(ofExtensionDifferent));

    vt::ExpectFileDialog("missing");
    EXPECT_FALSE(open->Execute());
    ASSERT_EQ(vt::MessageBoxLog().size(), 1u);
    EXPECT_EQ(vt::MessageBoxLog()[0].Text, dir + "/missing.DBF\nFile not found.\nCheck the file name and try again.");
    EXPECT_EQ(vt::MessageBoxLog()[0].Kind, mtWarning);
    EXPECT_EQ(open->GetFileName(), dir + "/a.dbf");  // unchanged

    vt::ExpectFileDialog(dir + "/nowhere/x.dbf");
    EXPECT_FALSE(open->Execute());
    EXPECT_NE(vt::MessageBoxLog().back().Text.find("Path does not exist."), std::string::npos);

    vt::ExpectFileDialog("c.db");  // an extension of its own
    EXPECT_TRUE(open->Execute());
    EXPECT_TRUE(open->GetOptions().Contains(ofExtensionDifferent));
    EXPECT_EQ(open->GetFilterIndex(), 1);

    vt::ExpectFileDialogCancel();
    EXPECT_FALSE(open->Execute());

    TOwned<TSaveDialog> save = MakeOwned<TSaveDialog>(nullptr);
    save->SetInitialDir(dir);
    save->SetDefaultExt("txt");
    save->SetFilter("Text|*.txt");
    save->SetOptions({ofOverwritePrompt, ofPathMustExist, ofHideReadOnly});
    vt::ClearMessageBoxLog();
    vt::ExpectFileDialog("report");
    EXPECT_TRUE(save->Execute());
    EXPECT_EQ(save->GetFileName(), dir + "/report.txt");
    EXPECT_TRUE(vt::MessageBoxLog().empty());  // a new file: no question

    // An existing file: the question, answered No keeps the dialog open (the responder then
    // cancels it), Yes replaces; with no answer queued the question is refused.
    vt::ExpectFileDialog("notes");
    vt::ExpectMessageBox(mrNo);
    EXPECT_FALSE(save->Execute());
    ASSERT_EQ(vt::MessageBoxLog().size(), 1u);
    EXPECT_EQ(vt::MessageBoxLog()[0].Text, dir + "/notes.txt already exists.\nDo you want to replace it?");
    EXPECT_EQ(vt::MessageBoxLog()[0].Buttons, mbYesNo);
    vt::ExpectFileDialog("notes");
    vt::ExpectMessageBox(mrYes);
    EXPECT_TRUE(save->Execute());
    EXPECT_EQ(save->GetFileName(), dir + "/notes.txt");
    vt::ExpectFileDialog("notes.txt");
    EXPECT_FALSE(save->Execute());
    EXPECT_EQ(vt::MessageBoxLog().back().Result, mrNo);
    EXPECT_EQ(vt::PendingModalScripts(), 0u);
}

// A preset name with a folder starts the chooser there; the hook sees the program while
// the dialog is open (a stay-on-top form steps back meanwhile, as the memo form does).
TEST_F(FileDialogTest, PresetNameAndHookWhileOpen) {
    TForm* memo = NewForm(200, 100, "Memo");
    memo->SetFormStyle(fsStayOnTop);
    memo->Show();
    TOwned<TSaveDialog> save = MakeOwned<TSaveDialog>(nullptr);
    save->SetFileName(dir + "/sub/inner.dbf");
    save->SetOptions({ofHideReadOnly});
    bool hookRan = false;
    vt::ExpectFileDialog("inner.dbf", [&](TCustomForm& f) {
        hookRan = true;
        EXPECT_EQ(memo->GetFormStyle(), fsNormal);
        EXPECT_EQ(vt::CurrentModalForm(), &f);
        EXPECT_EQ(Part<TEdit>(f, "FileNameEdit")->GetText(), "inner.dbf");
        EXPECT_EQ(Part<TDialogLabel>(f, "DirLabel")->GetCaption(), dir + "/sub");
        EXPECT_EQ(f.GetCaption(), "Save As");
    });
    memo->SetFormStyle(fsNormal);
    EXPECT_TRUE(save->Execute());
    memo->SetFormStyle(fsStayOnTop);
    EXPECT_TRUE(hookRan);
    EXPECT_EQ(save->GetFileName(), dir + "/sub/inner.dbf");

    // The read-only box shows unless hidden, and its choice comes back in Options.
    TOwned<TOpenDialog> open = MakeOwned<TOpenDialog>(nullptr);
    open->SetInitialDir(dir);
    open->SetOptions({});
    // Alt and a caption's letter reach the controls: the box, the name field, Open.
    vt::ExpectModal("TFileDialogForm", [&](TCustomForm& f) {
        Part<TDialogList>(f, "DirList")->SetFocus();
        vt::PressKey('R', {ssAlt});
        EXPECT_TRUE(Part<TDialogCheckBox>(f, "ReadOnlyCheck")->GetChecked());
        vt::PressKey('N', {ssAlt});
        EXPECT_TRUE(Part<TEdit>(f, "FileNameEdit")->Focused());
        vt::TypeText("notes.txt");
        vt::PressKey('O', {ssAlt});
    });
    EXPECT_TRUE(open->Execute());
    EXPECT_TRUE(open->GetOptions().Contains(ofReadOnly));
}

TEST_F(WinTest, FontDialogPresetChosenAndCancelled) {
    TOwned<TFontDialog> dlg = MakeOwned<TFontDialog>(nullptr);
    ASSERT_FALSE(ScreenFonts().empty());
    EXPECT_TRUE(std::is_sorted(ScreenFonts().begin(), ScreenFonts().end(),
                               [](const std::string& a, const std::string& b) { return CompareText(a, b) < 0; }));
    dlg->GetFont()->SetName("Arial");
    dlg->GetFont()->SetSize(10);
    dlg->GetFont()->SetStyle({fsBold});
    vt::ExpectModal("TFontForm", [&](TCustomForm& f) {
        EXPECT_EQ(dynamic_cast<TDialogList*>(f.FindComponent("FaceList"))->Selected(), "Arial");
        EXPECT_EQ(dynamic_cast<TDialogList*>(f.FindComponent("StyleList"))->Selected(), "Bold");
        EXPECT_EQ(dynamic_cast<TEdit*>(f.FindComponent("SizeEdit"))->GetText(), "10");
        // The sample follows the choice.
        auto* sample = dynamic_cast<TControl*>(f.FindComponent("Sample"));
        dynamic_cast<TDialogList*>(f.FindComponent("StyleList"))->SetItemIndex(1);
        EXPECT_EQ(sample->GetFont()->GetStyle(), TFontStyles{fsItalic});
        vt::PressKey(VK_ESCAPE);
    });
    EXPECT_FALSE(dlg->Execute());
    EXPECT_EQ(dlg->GetFont()->GetStyle(), TFontStyles{fsBold});  // unchanged

    vt::ExpectFontDialog("Courier New", 12, {fsItalic, fsUnderline}, clRed);
    EXPECT_TRUE(dlg->Execute());
    EXPECT_EQ(dlg->GetFont()->GetName(), "Courier New");
    EXPECT_EQ(dlg->GetFont()->GetSize(), 12);
    EXPECT_EQ(dlg->GetFont()->GetStyle(), (TFontStyles{fsItalic, fsUnderline}));
    EXPECT_EQ(dlg->GetFont()->GetColor(), clRed);
    EXPECT_EQ(dlg->GetFont()->GetPitch(), fpFixed);
    EXPECT_EQ(Screen->FormCount(), 0);

    // Sizes outside the limits are refused with a box; the responder then cancels.
    dlg->SetOptions({fdEffects, fdLimitSize});
    dlg->SetMinFontSize(8);
    dlg->SetMaxFontSize(72);
    vt::ExpectFontDialog("Arial", 100);
    EXPECT_FALSE(dlg->Execute());
    EXPECT_EQ(vt::MessageBoxLog().back().Text, "Size must be between 8 and 72.");
    EXPECT_EQ(dlg->GetFont()->GetSize(), 12);
    vt::ExpectFontDialog("No Such Face", 10);
    EXPECT_THROW(dlg->Execute(), EInvalidOperation);
}

TEST_F(WinTest, FindDialogIsModelessAndReportsTheSearch) {
    TForm* memo = NewForm(300, 200, "Memo");
    memo->Show();
    TOwned<TFindDialog> dlg = MakeOwned<TFindDialog>(nullptr);
    std::vector<std::string> found;
    dlg->OnFind = [&](TObject*) {
        TFindOptions o = dlg->GetOptions();
        found.push_back(dlg->GetFindText() + (o.Contains(frMatchCase) ? " case" : "") +
                        (o.Contains(frDown) ? " down" : " up") + (o.Contains(frFindNext) ? " next" : ""));
    };
    int closed = 0;
    dlg->OnClose = [&](TObject*) { ++closed; };
    dlg->SetFindText("old");
    EXPECT_TRUE(dlg->Execute());  // returns at once
    TCustomForm* f = dlg->Form();
    ASSERT_NE(f, nullptr);
    EXPECT_TRUE(f->GetVisible());
    EXPECT_FALSE(f->GetFormState().Contains(fsModal));
    EXPECT_EQ(dynamic_cast<TEdit*>(f->FindComponent("FindEdit"))->GetSelText(), "old");
    vt::FindDialogSearch(dlg.get(), "needle");
    vt::PressKey('C', {ssAlt});  // Match case
    vt::Click(dynamic_cast<TControl*>(f->FindComponent("UpRadio")));
    dynamic_cast<TWinControl*>(f->FindComponent("FindEdit"))->SetFocus();
    vt::PressKey(VK_RETURN);  // Find Next is the default button
    EXPECT_EQ(found, (std::vector<std::string>{"needle down next", "needle case up next"}));
    // The program can search on with the same text (F3), and set the text shown.
    dlg->SetFindText("other");
    EXPECT_EQ(dynamic_cast<TEdit*>(f->FindComponent("FindEdit"))->GetText(), "other");
    vt::PressKey(VK_ESCAPE);
    EXPECT_FALSE(f->GetVisible());
    EXPECT_EQ(closed, 1);
    EXPECT_EQ(dlg->Form(), nullptr);
    // An empty text cannot be searched for; hidden options do not show.
    dlg->SetOptions({frDown, frHideMatchCase});
    dlg->SetFindText("");
    dlg->Execute();
    EXPECT_FALSE(dynamic_cast<TControl*>(f->FindComponent("MatchCaseCheck"))->GetVisible());
    EXPECT_FALSE(dynamic_cast<TControl*>(f->FindComponent("FindNextButton"))->GetEnabled());
    dlg->CloseDialog();
    EXPECT_EQ(closed, 2);
}

// The chooser, the font dialog, the input box and the find box as a person sees them
// (pictures written to the build directory), with a few pixels checked.
TEST_F(FileDialogTest, RenderDialogs) {
    auto save = [](TCustomForm& f, const char* name) {
        std::unique_ptr<TBitmap> b(RenderForm(&f, true));
        b->SaveToPngFile(dbvtest::BuildDir() + "/" + name);
    };
    // The selected row of a list is drawn highlighted across the list.
    auto highlighted = [](TControl* c, int y) {
        std::unique_ptr<TBitmap> b(RenderControl(c));
        return b->GetPixel(c->GetClientWidth() - 4, y) == ColorToRGB(clHighlight);
    };
    TOwned<TOpenDialog> open = MakeOwned<TOpenDialog>(nullptr);
    open->SetFilter(Filter());
    open->SetInitialDir(dir);
    open->SetOptions({});
    vt::ExpectModal("TFileDialogForm", [&](TCustomForm& f) {
        auto* files = Part<TDialogList>(f, "FileList");
        vt::Click(files, 10, files->RowHeight() + 2);
        EXPECT_TRUE(highlighted(files, files->RowHeight() + 2));
        EXPECT_FALSE(highlighted(files, 2));
        save(f, "file-dialog.png");
        vt::PressKey(VK_ESCAPE);
    });
    open->Execute();
    TOwned<TFontDialog> font = MakeOwned<TFontDialog>(nullptr);
    font->GetFont()->SetName("Times New Roman");
    font->GetFont()->SetSize(14);
    vt::ExpectModal("TFontForm", [&](TCustomForm& f) {
        auto* faces = Part<TDialogList>(f, "FaceList");
        int row = (faces->GetItemIndex() - faces->GetTopIndex()) * faces->RowHeight() + 2;
        EXPECT_TRUE(highlighted(faces, row));  // scrolled into view
        save(f, "font-dialog.png");
        vt::PressKey(VK_ESCAPE);
    });
    font->Execute();
    vt::ExpectModal("TInputQueryForm", [&](TCustomForm& f) {
        save(f, "input-box.png");
        vt::PressKey(VK_ESCAPE);
    });
    InputBox("Password", "Enter Password", "secret");
    TOwned<TFindDialog> find = MakeOwned<TFindDialog>(nullptr);
    find->SetFindText("needle");
    find->Execute();
    save(*find->Form(), "find-dialog.png");
    find->CloseDialog();
}

// Characters of several bytes are stepped over, deleted and cut whole.
TEST_F(EditTest, MultiByteCharactersStayWhole) {
    edit->SetText("a\xC3\xA9z");  // aéz
    edit->SetFocus();
    vt::PressKey(VK_END);
    vt::PressKey(VK_LEFT);
    vt::PressKey(VK_BACK);
    EXPECT_EQ(edit->GetText(), "az");
    edit->SetText("\xE2\x82\xAC\xE2\x82\xAC");  // €€
    vt::PressKey(VK_HOME);
    vt::PressKey(VK_RIGHT, {ssShift});
    EXPECT_EQ(edit->GetSelText(), "\xE2\x82\xAC");
    vt::PressKey(VK_DELETE);
    EXPECT_EQ(edit->GetText(), "\xE2\x82\xAC");
    // The limit never leaves half a character.
    edit->SetText("");
    edit->SetMaxLength(4);
    Clipboard()->SetAsText("ab\xE2\x82\xAC");
    edit->PasteFromClipboard();
    EXPECT_EQ(edit->GetText(), "ab");
    // A password edit shows one character per character.
    edit->SetMaxLength(0);
    edit->SetText("\xC3\xA9\xC3\xA9");
    edit->SetPasswordChar('*');
    TCanvasLog log = vt::PaintLog(edit);
    bool stars = false;
    for (const TCanvasOp& op : log) stars = stars || op.Text == "**";
    EXPECT_TRUE(stars);
}

// Where a person can answer (a backend that waits for input), an error the application
// reports shows in an error box; headless runs only record it.
TEST_F(WinTest, ReportedErrorsShowInABoxWhereSomeoneCanAnswer) {
    struct TWaitingBackend : THeadlessBackend {
        bool CanWait() const override { return true; }
        bool PumpEvents(int) override { return false; }
    } waiting;
    Application->SetTitle("Vantor");
    auto fail = [] {
        try {
            throw EInvalidOperation("Cannot open the table");
        } catch (...) {
            Application->HandleException(nullptr);
        }
    };
    fail();
    EXPECT_TRUE(vt::MessageBoxLog().empty());
    EXPECT_EQ(vt::TakeShownErrors(), std::vector<std::string>{"Cannot open the table"});
    {
        THeadlessBackend::Scope scope(waiting);
        vt::ExpectMessageBox(mrOk);
        fail();
    }
    ASSERT_EQ(vt::MessageBoxLog().size(), 1u);
    EXPECT_EQ(vt::MessageBoxLog()[0].Text, "Cannot open the table");
    EXPECT_EQ(vt::MessageBoxLog()[0].Caption, "Vantor");
    EXPECT_EQ(vt::MessageBoxLog()[0].Kind, mtError);
    EXPECT_EQ(vt::MessageBoxLog()[0].Result, mrOk);
    vt::TakeShownErrors();
}
