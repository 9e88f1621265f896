// Forms, modal loops, application, timers and hints.
#include "controls/input.h"
#include "controls_test_util.h"

using namespace vcl;
using namespace win;

namespace {
class TLimitedForm : public TForm {
    DBV_CLASS(TLimitedForm, TForm)
public:
    using TForm::TForm;

protected:
    void WMGetMinMaxInfo(TMessage& M) override {
        auto* mmi = reinterpret_cast<MINMAXINFO*>(M.LParam);
        mmi->ptMinTrackSize = {600, 300};
        mmi->ptMaxTrackSize = {2000, 2000};
    }
};
DBV_IMPLEMENT_CLASS(TLimitedForm)

class TDialog : public TForm {
    DBV_CLASS(TDialog, TForm)
public:
    explicit TDialog(TComponent* owner) : TForm(owner) {
        SetBorderStyle(bsDialog);
        SetBounds(0, 0, 300, 150);
        ok = Create<TButton>(this);
        ok->SetParent(this);
        ok->SetBounds(10, 100, 75, 25);
        ok->SetCaption("OK");
        ok->SetModalResult(mrOk);
        ok->SetDefault(true);
        cancel = Create<TButton>(this);
        cancel->SetParent(this);
        cancel->SetBounds(100, 100, 75, 25);
        cancel->SetCaption("Cancel");
        cancel->SetModalResult(mrCancel);
        cancel->SetCancel(true);
    }
    TButton* ok;
    TButton* cancel;
};
DBV_IMPLEMENT_CLASS(TDialog)
}  // namespace

TEST_F(WinTest, ModalResultsFromButtonsKeysAndHandlers) {
    TForm* owner = NewForm();
    owner->Show();
    auto* dlg = NewForm<TDialog>();
    std::vector<std::string> seen;

    // The button's modal result is on the form before OnClick runs; the handler may take it back.
    int clicks = 0;
    dlg->ok->OnClick = [&](TObject*) {
        seen.push_back("click sees " + std::to_string(dlg->GetModalResult()));
        if (++clicks == 1) dlg->SetModalResult(mrNone);
    };
    vt::ExpectModal([&](TCustomForm& f) {
        EXPECT_FALSE(IsWindowEnabled(owner->GetHandle()));
        EXPECT_EQ(Screen->GetActiveForm(), &f);
        vt::Click(dlg->ok);
        EXPECT_EQ(f.GetModalResult(), mrNone);  // stays open
        vt::Click(dlg->ok);
    });
    EXPECT_EQ(dlg->ShowModal(), mrOk);
    EXPECT_EQ(seen, (std::vector<std::string>{"click sees 1", "click sees 1"}));
    EXPECT_FALSE(dlg->GetVisible());
    EXPECT_TRUE(IsWindowEnabled(owner->GetHandle()));
    EXPECT_EQ(Screen->GetActiveForm(), owner);

    // A handler that raises still leaves the result set: the form closes with OK and the
    // error is shown by the application.
    dlg->ok->OnClick = [&](TObject*) { throw EDatabaseError("Key violation"); };
    vt::ExpectModal([&](TCustomForm&) { vt::Click(dlg->ok); });
    EXPECT_EQ(dlg->ShowModal(), mrOk);
    EXPECT_EQ(vt::TakeShownErrors(), (std::vector<std::string>{"Key violation"}));

    // Enter reaches the default button, Escape the cancel button.
    dlg->ok->OnClick = nullptr;
    vt::ExpectModal([&](TCustomForm&) { vt::PressKey(VK_ESCAPE); });
    EXPECT_EQ(dlg->ShowModal(), mrCancel);
    vt::ExpectModal([&](TCustomForm&) {
        dlg->cancel->SetFocus();  // a focused button takes Enter itself
        vt::PressKey(VK_RETURN);
    });
    EXPECT_EQ(dlg->ShowModal(), mrCancel);
    vt::ExpectModal([&](TCustomForm&) { vt::PressKey(VK_RETURN); });
    EXPECT_EQ(dlg->ShowModal(), mrCancel);  // the focus is still on Cancel
    EXPECT_EQ(vt::ModalLog().size(), 5u);
}

TEST_F(WinTest, ModalCloseInActivateVisibleFormAndUnansweredScript) {
    auto* dlg = NewForm<TDialog>();
    dlg->OnActivate = [&](TObject*) { dlg->Close(); };
    EXPECT_EQ(dlg->ShowModal(), mrCancel);  // no script needed
    dlg->OnActivate = nullptr;

    std::vector<std::string> order;
    dlg->OnCloseQuery = [&](TObject*, bool& can) {
        order.push_back("query");
        can = order.size() > 1;
    };
    dlg->OnClose = [&](TObject*, TCloseAction& a) {
        order.push_back("close " + EnumToIdent(a));
    };
    dlg->OnHide = [&](TObject*) { order.push_back("hide"); };
    vt::ExpectModal([&](TCustomForm& f) {
        f.SetModalResult(mrOk);
        vt::ProcessMessages();
        EXPECT_EQ(f.GetModalResult(), mrOk);  // the loop has not looked yet
    });
    // The first close query refuses: the loop goes on, and the script is done, so the
    // harness reports it instead of hanging.
    try {
        dlg->ShowModal();
        FAIL() << "no error";
    } catch (const EInvalidOperation& e) {
        EXPECT_STREQ(e.what(), "The modal form TDialog was left open by its script");
    }
    EXPECT_FALSE(dlg->GetVisible());
    vt::ExpectModal([&](TCustomForm& f) { f.SetModalResult(mrYes); });
    EXPECT_EQ(dlg->ShowModal(), mrYes);
    EXPECT_EQ(order, (std::vector<std::string>{"query", "hide", "query", "close caHide", "hide"}));

    dlg->Show();
    EXPECT_THROW(dlg->ShowModal(), EInvalidOperation);
}

TEST_F(WinTest, CloseActionsReleaseAndDestroyEvents) {
    std::vector<std::string> order;
    auto* f = NewForm();
    f->OnClose = [&](TObject*, TCloseAction& a) {
        order.push_back("close");
        a = caFree;
    };
    f->OnDestroy = [&](TObject*) { order.push_back("destroy"); };
    f->Show();
    vt::UserClose(f);  // the title-bar close runs Close; caFree releases after the queue
    EXPECT_EQ(order, (std::vector<std::string>{"close", "destroy"}));
    EXPECT_EQ(Screen->FormCount(), 0);

    // Release is deferred: code after it runs on a live form.
    auto* g = NewForm();
    g->OnDestroy = [&](TObject*) { order.push_back("g destroyed"); };
    g->Show();
    g->Release();
    g->SetCaption("still alive");
    EXPECT_EQ(order.size(), 2u);
    Application->ProcessMessages();
    EXPECT_EQ(order.back(), "g destroyed");

    // Freeing a form runs OnDestroy only.
    order.clear();
    auto* h = NewForm();
    h->OnClose = [&](TObject*, TCloseAction&) { order.push_back("close"); };
    h->OnCloseQuery = [&](TObject*, bool&) { order.push_back("query"); };
    h->OnDestroy = [&](TObject*) { order.push_back("destroy"); };
    h->Show();
    h->Free();
    EXPECT_EQ(order, (std::vector<std::string>{"destroy"}));
}

TEST_F(WinTest, FormEventsShowActivateResizeAndTracking) {
    std::vector<std::string> order;
    auto* f = NewForm<TLimitedForm>(700, 400);
    auto* other = NewForm();
    for (TForm* x : {static_cast<TForm*>(f), other}) {
        std::string n = x == f ? "f." : "o.";
        x->OnShow = [&order, n](TObject*) { order.push_back(n + "show"); };
        x->OnActivate = [&order, n](TObject*) { order.push_back(n + "activate"); };
        x->OnDeactivate = [&order, n](TObject*) { order.push_back(n + "deactivate"); };
        x->OnHide = [&order, n](TObject*) { order.push_back(n + "hide"); };
    }
    f->OnResize = [&](TObject*) { order.push_back("f.resize"); };
    f->Show();
    other->Show();
    f->Hide();
    EXPECT_EQ(order, (std::vector<std::string>{"f.resize", "f.show", "f.activate", "o.show", "f.deactivate",
                                               "o.activate", "f.hide"}));
    order.clear();
    f->SetBounds(0, 0, 100, 100);  // clamped by the tracking sizes
    EXPECT_EQ(f->GetWidth(), 600);
    EXPECT_EQ(f->GetHeight(), 300);
    f->SetWidth(2500);
    EXPECT_EQ(f->GetWidth(), 2000);
    EXPECT_EQ(order, (std::vector<std::string>{"f.resize", "f.resize"}));

    f->SetPosition(poScreenCenter);
    f->SetBounds(0, 0, 600, 300);
    f->Show();
    EXPECT_EQ(f->GetLeft(), (1024 - 600) / 2);
    EXPECT_EQ(f->GetTop(), (768 - 300) / 2);
    EXPECT_EQ(Screen->GetActiveForm(), f);
}

TEST_F(WinTest, ApplicationTerminateExceptionsAndIdle) {
    auto* main = NewForm();
    Application->SetMainForm(main);
    EXPECT_FALSE(Application->GetTerminated());
    int idles = 0;
    Application->OnIdle = [&](TObject*, bool& done) {
        ++idles;
        done = true;
    };
    PostMessage(main->GetHandle(), WM_CLOSE);  // closing the main form ends the application
    Application->Run();
    EXPECT_TRUE(Application->GetTerminated());
    EXPECT_GE(idles, 0);
    Application->OnIdle = nullptr;
    Application->SetMainForm(nullptr);

    try {
        throw EConvertError("'x' is not a valid integer value");
    } catch (...) {
        Application->HandleException(main);
    }
    try {
        throw EAbort("silent");
    } catch (...) {
        Application->HandleException(main);
    }
    EXPECT_EQ(vt::TakeShownErrors(), (std::vector<std::string>{"'x' is not a valid integer value"}));
    EXPECT_FALSE(Application->GetExeName().empty());
}

TEST_F(WinTest, TimersFireFromTheAdvancedClock) {
    auto* f = NewForm();
    auto* t = Create<TTimer>(f);
    int ticks = 0;
    t->SetInterval(100);
    t->OnTimer = [&](TObject*) { ++ticks; };
    clock.Advance(99);
    EXPECT_EQ(ticks, 0);
    clock.Advance(1);
    EXPECT_EQ(ticks, 1);
    clock.Advance(350);  // due at 200, 300, 400
    EXPECT_EQ(ticks, 4);
    // A changed interval starts over from now (auto-repeat: 400 ms, then 100 ms).
    t->SetInterval(400);
    clock.Advance(399);
    EXPECT_EQ(ticks, 4);
    t->OnTimer = [&](TObject*) {
        ++ticks;
        t->SetInterval(100);
    };
    clock.Advance(1);
    clock.Advance(100);
    EXPECT_EQ(ticks, 6);
    // A raising handler goes to the application; the timer keeps running.
    t->OnTimer = [&](TObject*) {
        ++ticks;
        throw Exception("tick failed");
    };
    clock.Advance(200);
    EXPECT_EQ(ticks, 8);
    EXPECT_EQ(vt::TakeShownErrors().size(), 2u);
    t->SetEnabled(false);
    clock.Advance(1000);
    EXPECT_EQ(ticks, 8);
    // Advancing the manual clock directly fires what is due, once.
    t->OnTimer = [&](TObject*) { ++ticks; };
    t->SetEnabled(true);
    clock.Clock().Advance(1000);
    EXPECT_EQ(ticks, 9);
}

TEST_F(WinTest, HintsAfterThePauseWithOnShowHint) {
    auto* f = NewForm();
    f->Show();
    auto* p = Add<TPanel>(f, 10, 10, 100, 50);
    p->SetHint("Load from File|Loads the picture from a file");
    p->SetShowHint(true);
    std::vector<std::string> hints;
    Application->OnHint = [&](TObject*) { hints.push_back(Application->GetHint()); };
    Application->OnShowHint = [&](std::string& s, bool& can, THintInfo& info) {
        EXPECT_EQ(info.HintControl, p);
        s += "!";
        can = true;
    };
    vt::MouseMove(p, 5, 5);
    EXPECT_EQ(hints, (std::vector<std::string>{"Loads the picture from a file"}));
    EXPECT_EQ(Application->ShownHint(), "");
    clock.Advance(Application->GetHintPause());
    EXPECT_EQ(Application->ShownHint(), "Load from File!");
    clock.Advance(Application->GetHintHidePause());
    EXPECT_EQ(Application->ShownHint(), "");
    vt::MouseAway();
    EXPECT_EQ(hints.back(), "");
    Application->OnShowHint = nullptr;
    Application->OnHint = nullptr;
}
