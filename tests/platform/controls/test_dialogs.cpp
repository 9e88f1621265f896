// Message boxes, the input box, the edit control and the common dialogs.
#include "controls/dlgparts.h"
#include "controls/edit.h"
#include "controls/msgbox.h"
#include "controls_test_util.h"
#include "graphics/clipbrd.h"

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

TEST_F(WinTest, BeepsAreRecorded) {
    MessageBeep(0);
    MessageBeep(MB_ICONHAND);
    EXPECT_EQ(vt::BeepLog(), (std::vector<uint32_t>{0, MB_ICONHAND}));
    vt::ClearBeepLog();
    EXPECT_TRUE(vt::BeepLog().empty());
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
        box->SaveToPngFile(std::string(DBV_BINARY_DIR) + "/message-box.png");
        // The icon's yellow triangle, the focused default button's dark frame.
        bool yellow = false;
        for (int y = 0; y < box->GetHeight(); ++y)
            for (int x = 0; x < 60; ++x) yellow = yellow || box->GetPixel(x, y) == ColorToRGB(clYellow);
        EXPECT_TRUE(yellow);
        TButton* ok = ButtonOf(f, "OK");
        TPoint p = ok->ClientToScreen({0, 0});
        std::unique_ptr<TBitmap> screen(RenderScreen());
        EXPECT_EQ(screen->GetPixel(p.X, p.Y), ColorToRGB(clWindowFrame));
        CropBitmap(screen.get(), Rect(232, 214, 792, 554))->SaveToPngFile(std::string(DBV_BINARY_DIR) + "/message-box-screen.png");
        vt::PressKey(VK_RETURN);
    });
    EXPECT_EQ(MessageDlg("Changing table types now may cause your existing field type definitions to be "
                         "lost. Continue?",
                         mtWarning, mbOKCancel, 0),
              mrOk);
}
