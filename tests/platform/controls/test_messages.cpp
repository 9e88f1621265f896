// Messages and dispatch, window handles, the queue and the C interface.
#include <cstring>

#include "classes/filer.h"
#include "controls/wincapi.h"
#include "controls_test_util.h"

using namespace vcl;
using namespace win;

namespace {

constexpr UINT KRItemChanged = 1324;

// A control that answers a user message, counts default handling and runs the platform's
// mouse-enter handling before its own.
class TProbe : public TCustomControl {
    DBV_CLASS(TProbe, TCustomControl)
public:
    using TCustomControl::TCustomControl;
    std::vector<std::string> log;
    int createWindowHandleCalls = 0;
    uint32_t extraStyle = 0;

protected:
    void Dispatch(TMessage& M) override {
        if (M.Msg == KRItemChanged) {
            log.push_back("item " + std::to_string(M.WParam));
            M.Result = 42;
            return;
        }
        inherited::Dispatch(M);
    }
    void DefaultHandler(TMessage& M) override {
        if (M.Msg == WM_USER + 7) log.push_back("default");
        inherited::DefaultHandler(M);
    }
    void CMMouseEnter(TMessage& M) override {
        inherited::CMMouseEnter(M);
        log.push_back("enter");
    }
    void CreateParams(TCreateParams& P) override {
        inherited::CreateParams(P);
        P.Style |= extraStyle;
    }
    void CreateWindowHandle(const TCreateParams& P) override {
        inherited::CreateWindowHandle(P);
        ++createWindowHandleCalls;
        log.push_back(IsWindow(GetHandle()) ? "window exists" : "no window");
    }
};
DBV_IMPLEMENT_CLASS(TProbe)

}  // namespace

TEST_F(WinTest, DispatchRunsHandlersInheritedHandlingAndDefaultHandler) {
    TForm* f = NewForm();
    auto* p = Add<TProbe>(f, 0, 0, 50, 50);
    EXPECT_EQ(p->Perform(KRItemChanged, 5), 42);
    EXPECT_EQ(p->Perform(WM_USER + 7), 0);
    p->Perform(CM_MOUSEENTER);
    EXPECT_EQ(p->log, (std::vector<std::string>{"item 5", "default", "enter"}));
    // The window procedure hook sits in front of WndProc.
    int hooked = 0;
    p->WindowProc = [&](TMessage& M) {
        ++hooked;
        p->WndProc(M);
    };
    EXPECT_EQ(p->Perform(KRItemChanged, 6), 42);
    EXPECT_EQ(hooked, 1);
}

TEST_F(WinTest, SendAndPostByHandleAndPeekWithRemovalForARange) {
    TForm* f = NewForm();
    auto* p = Add<TProbe>(f, 0, 0, 50, 50);
    HWND h = p->GetHandle();
    EXPECT_EQ(SendMessage(h, KRItemChanged, 1), 42);
    EXPECT_EQ(SendMessage(0xFFFF00u, KRItemChanged, 1), 0);  // unknown handle
    EXPECT_FALSE(PostMessage(0xFFFF00u, KRItemChanged));

    ASSERT_TRUE(PostMessage(h, WM_CHAR, 'a'));
    ASSERT_TRUE(PostMessage(h, KRItemChanged, 2));
    ASSERT_TRUE(PostMessage(h, WM_CHAR, 'b'));
    MSG m;
    ASSERT_TRUE(PeekMessage(m, h, WM_CHAR, WM_CHAR, PM_NOREMOVE));
    EXPECT_EQ(m.wParam, WPARAM('a'));
    EXPECT_EQ(QueuedMessageCount(), 3u);
    ASSERT_TRUE(PeekMessage(m, h, WM_CHAR, WM_CHAR, PM_REMOVE));
    ASSERT_TRUE(PeekMessage(m, h, WM_CHAR, WM_CHAR, PM_REMOVE));
    EXPECT_EQ(m.wParam, WPARAM('b'));
    EXPECT_FALSE(PeekMessage(m, h, WM_CHAR, WM_CHAR, PM_REMOVE));
    EXPECT_EQ(p->log.back(), "item 1");
    Application->ProcessMessages();  // the user message stayed queued and runs now
    EXPECT_EQ(p->log.back(), "item 2");

    // The C interface reaches the same windows.
    EXPECT_EQ(dbv_win_send_message(h, KRItemChanged, 3, 0), 42);
    EXPECT_EQ(dbv_win_post_message(h, KRItemChanged, 4, 0), 1);
    EXPECT_EQ(dbv_win_post_message(0xFFFF00u, KRItemChanged, 4, 0), 0);
    EXPECT_EQ(dbv_win_is_window(h), 1);
    Application->ProcessMessages();
    EXPECT_EQ(p->log.back(), "item 4");
}

TEST_F(WinTest, HandlesAreCreatedOnDemandAndRecreatedWithTheirStyles) {
    TForm* f = NewForm();
    auto* p = Create<TProbe>(f);
    p->extraStyle = WS_VSCROLL;
    EXPECT_FALSE(p->HandleAllocated());
    p->SetParent(f);
    EXPECT_FALSE(p->HandleAllocated());  // the form is not showing yet
    f->Show();
    ASSERT_TRUE(p->HandleAllocated());
    HWND first = p->GetHandle();
    EXPECT_NE(first, 0u);
    EXPECT_TRUE(GetWindowStyle(first) & WS_VSCROLL);
    EXPECT_TRUE(GetWindowStyle(first) & WS_CHILD);
    EXPECT_EQ(GetParent(first), f->GetHandle());
    EXPECT_EQ(p->createWindowHandleCalls, 1);
    EXPECT_EQ(p->log.back(), "window exists");

    p->RecreateWnd();
    EXPECT_EQ(p->createWindowHandleCalls, 2);
    EXPECT_NE(p->GetHandle(), first);
    EXPECT_FALSE(IsWindow(first));
    EXPECT_TRUE(GetWindowStyle(p->GetHandle()) & WS_VSCROLL);

    // A parentless window is refused; removing the control from its parent frees its window.
    auto* orphan = Create<TProbe>(f);
    EXPECT_THROW(orphan->HandleNeeded(), EInvalidOperation);
    HWND h = p->GetHandle();
    p->SetParent(nullptr);
    EXPECT_FALSE(IsWindow(h));
    EXPECT_FALSE(p->HandleAllocated());
}

TEST_F(WinTest, TopLevelPopupAndWindowPositions) {
    TForm* f = NewForm();
    f->Show();
    auto* list = Add<TProbe>(f, 10, 10, 80, 60);
    list->SetVisible(false);
    list->HandleNeeded();
    HWND h = list->GetHandle();
    EXPECT_EQ(SetParent(h, 0), f->GetHandle());
    EXPECT_EQ(GetParent(h), 0u);
    EXPECT_FALSE(IsWindowVisible(h));
    // Shown at the top without activation, placed in screen coordinates.
    SetWindowPos(h, HWND_TOP, 400, 300, 120, 90, SWP_SHOWWINDOW | SWP_NOACTIVATE);
    EXPECT_TRUE(IsWindowVisible(h));
    EXPECT_EQ(GetActiveWindow(), f->GetHandle());
    auto order = TopLevelWindows();
    EXPECT_LT(std::find(order.begin(), order.end(), h), std::find(order.begin(), order.end(), f->GetHandle()));
    TRect r;
    GetWindowRect(h, r);
    EXPECT_EQ(r, Bounds(400, 300, 120, 90));
    EXPECT_EQ(FindDragTarget({410, 310}, false), list);
    // Flags keep what they say.
    SetWindowPos(h, HWND_TOP, 0, 0, 10, 10, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    GetWindowRect(h, r);
    EXPECT_EQ(r, Bounds(400, 300, 10, 10));
    ShowWindow(h, SW_HIDE);
    EXPECT_FALSE(IsWindowVisible(h));
}

TEST_F(WinTest, ParentFreesChildrenOwnerFreesOwnedNoDoubleFree) {
    // Panel owned by the form but parented to another panel owned by no one.
    TForm* f = NewForm();
    auto* host = Create<TPanel>(nullptr);
    host->SetParent(f);
    auto* child = Create<TPanel>(f);
    child->SetParent(host);
    auto* stray = Create<TPanel>(host);  // owned by the host, parent the form
    stray->SetParent(f);
    EXPECT_EQ(f->ControlCount(), 2);
    EXPECT_EQ(f->ComponentCount(), 1);
    host->Free();  // frees its child (owned by the form) and what it owns (stray)
    EXPECT_EQ(f->ControlCount(), 0);
    EXPECT_EQ(f->ComponentCount(), 0);
}

TEST_F(WinTest, PublishedPropertiesWithDefaults) {
    TForm* f = NewForm();
    auto* pnl = Add<TPanel>(f, 1, 2, 30, 40);
    for (const char* name : {"Left", "Top", "Width", "Height", "Align", "Caption", "Color", "Font",
                             "Enabled", "Visible", "BevelOuter", "TabOrder", "OnClick"})
        EXPECT_NE(GetPropInfo(pnl, name), nullptr) << name;
    EXPECT_EQ(GetEnumProp(pnl, "BevelOuter"), "bvRaised");
    EXPECT_FALSE(IsStoredProp(pnl, "BevelOuter"));
    SetEnumProp(pnl, "Align", "alTop");
    EXPECT_EQ(pnl->GetAlign(), alTop);
    EXPECT_TRUE(IsStoredProp(pnl, "Align"));
    EXPECT_EQ(GetOrdProp(pnl, "Left"), 0);
    EXPECT_EQ(GetEnumProp(f, "BorderStyle"), "bsSizeable");
}

TEST_F(WinTest, AControlCaptionedWithItsNameFollowsRenames) {
    TForm* f = NewForm();
    auto* p = Add<TPanel>(f, 0, 0, 50, 20);
    p->SetName("Panel1");  // a new control: empty text, the name before it empty too
    EXPECT_EQ(p->GetCaption(), "Panel1");
    p->SetName("Totals");
    EXPECT_EQ(p->GetCaption(), "Totals");
    p->SetCaption("Sum");  // a caption of its own stays
    p->SetName("Sums");
    EXPECT_EQ(p->GetCaption(), "Sum");

    auto* plain = Add<TPanel>(f, 0, 0, 50, 20);
    plain->SetControlStyle(plain->GetControlStyle() - TControlStyle{csSetCaption});
    plain->SetName("Plain");
    EXPECT_EQ(plain->GetCaption(), "");
    auto* loading = Create<TPanel>(f);
    loading->BeginLoading();
    loading->SetName("Loading");
    EXPECT_EQ(loading->GetCaption(), "");
    loading->Loaded();

    // Controls read from a form file keep the caption the file gives them, an empty one too.
    RegisterClasses({&TPanel::StaticClass()});
    f->SetName("Source");
    plain->SetCaption("");
    p->SetCaption("");
    std::string text = ComponentToText(f);
    TForm* g = NewForm();
    ReadComponentFromText(text, g);
    auto* read = dynamic_cast<TPanel*>(g->FindComponent("Sums"));
    ASSERT_NE(read, nullptr);
    EXPECT_EQ(read->GetCaption(), "");
    EXPECT_EQ(g->GetCaption(), "Form");
}

TEST_F(WinTest, TypedMessageViewsReadAndWriteTheMessageItself) {
    // A thumb position needs all 32 bits; the WParam high word keeps only the low 16.
    for (int pos : {100000, -5, 65535}) {
        TMessage m{WM_VSCROLL, ScrollWParam(SB_THUMBTRACK, pos), ScrollLParam(pos), 0};
        TWMScroll s(m);
        EXPECT_EQ(s.ScrollCode(), SB_THUMBTRACK);
        EXPECT_EQ(s.Pos(), pos);
        EXPECT_EQ(HiWord(m.WParam), uint16_t(pos));
        s.Result = 7;
        EXPECT_EQ(m.Result, 7);
    }
    TMessage mouse{WM_LBUTTONDOWN, MK_LBUTTON | MK_SHIFT, MakeLParam(-3, 700), 0};
    EXPECT_EQ(TWMMouse(mouse).Keys(), MK_LBUTTON | MK_SHIFT);
    EXPECT_EQ(TWMMouse(mouse).Pos(), (TPoint{-3, 700}));
    TMessage wheel{WM_MOUSEWHEEL, MakeWParam(int(MK_CONTROL), -2 * WHEEL_DELTA), MakeLParam(500, 20), 0};
    TWMMouseWheel w(wheel);
    EXPECT_EQ(w.WheelDelta(), -240);
    EXPECT_EQ(w.Keys(), MK_CONTROL);
    EXPECT_EQ(w.XPos(), 500);
    EXPECT_EQ(w.YPos(), 20);
    TMessage key{WM_KEYDOWN, VK_RETURN, 0x1C0001, 0};
    TWMKey k(key);
    EXPECT_EQ(k.CharCode(), VK_RETURN);
    EXPECT_EQ(k.KeyData(), 0x1C0001);
    k.SetCharCode(0);  // a handler swallowing the key
    EXPECT_EQ(key.WParam, 0u);
    TMessage size{WM_SIZE, SIZE_RESTORED, MakeLParam(640, 480), 0};
    EXPECT_EQ(TWMSize(size).Width(), 640);
    EXPECT_EQ(TWMSize(size).Height(), 480);
    TMessage move{WM_MOVE, 0, MakeLParam(-20, 15), 0};
    EXPECT_EQ(TWMMove(move).XPos(), -20);
    EXPECT_EQ(TWMMove(move).YPos(), 15);

    // The focus messages name the other window.
    TForm* f = NewForm();
    f->Show();
    auto* a = Add<TPanel>(f, 0, 0, 50, 20);
    auto* b = Add<TPanel>(f, 0, 30, 50, 20);
    HWND lost = 0, gained = 0;
    a->WindowProc = [&](TMessage& M) {
        if (M.Msg == WM_KILLFOCUS) gained = TWMKillFocus(M).FocusedWnd();
        a->WndProc(M);
    };
    b->WindowProc = [&](TMessage& M) {
        if (M.Msg == WM_SETFOCUS) lost = TWMSetFocus(M).FocusedWnd();
        b->WndProc(M);
    };
    a->SetFocus();
    b->SetFocus();
    EXPECT_EQ(gained, b->GetHandle());
    EXPECT_EQ(lost, a->GetHandle());
    a->WindowProc = b->WindowProc = nullptr;
}
