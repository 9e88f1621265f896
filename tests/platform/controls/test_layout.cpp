// Align layout, client areas, non-client metrics and window scroll bars.
#include "classes/filer.h"
#include "controls_test_util.h"

using namespace vcl;
using namespace win;

namespace {
// Keeps its height a multiple of 10, as controls that snap their size do.
class TSnapPanel : public TPanel {
    DBV_CLASS(TSnapPanel, TPanel)
public:
    using TPanel::TPanel;
    void SetBounds(int l, int t, int w, int h) override { inherited::SetBounds(l, t, w, h / 10 * 10); }
};
DBV_IMPLEMENT_CLASS(TSnapPanel)

// Counts how often its window style is asked for.
class TCountingPanel : public TPanel {
    DBV_CLASS(TCountingPanel, TPanel)
public:
    using TPanel::TPanel;
    int createParamsCalls = 0;

protected:
    void CreateParams(TCreateParams& P) override {
        ++createParamsCalls;
        inherited::CreateParams(P);
    }
};
DBV_IMPLEMENT_CLASS(TCountingPanel)

// Rows of 10 pixels, each in a colour of its own, scrolled a row at a time the way a data
// grid scrolls: ScrollWindow moves the pixels, SetScrollPos with redraw moves the thumb.
class TRowList : public TCustomControl {
    DBV_CLASS(TRowList, TCustomControl)
public:
    using TCustomControl::TCustomControl;
    int top = 0, rowsPainted = 0;
    void ScrollRows(int rows) {
        top += rows;
        ScrollWindow(GetHandle(), 0, -rows * 10, nullptr, nullptr);
        SetScrollPos(GetHandle(), SB_VERT, top, true);
    }

protected:
    void CreateParams(TCreateParams& P) override {
        inherited::CreateParams(P);
        P.Style |= WS_VSCROLL;
    }
    void Paint() override {
        TRect clip = GetCanvas()->GetClipRect();
        for (int y = clip.Top / 10 * 10; y < clip.Bottom; y += 10) {
            int row = top + y / 10;
            GetCanvas()->GetBrush()->SetColor(TColor(RGB(row * 40 % 256, row * 15 % 256, 128)));
            GetCanvas()->FillRect(Rect(0, y, GetClientWidth(), y + 10));
            ++rowsPainted;
        }
    }
};
DBV_IMPLEMENT_CLASS(TRowList)

std::vector<uint32_t> Pixels(TBitmap* b) {
    std::vector<uint32_t> v;
    for (int y = 0; y < b->GetHeight(); ++y)
        for (int x = 0; x < b->GetWidth(); ++x) v.push_back(uint32_t(b->GetPixel(x, y)));
    return v;
}
}  // namespace

TEST_F(WinTest, AlignLaysOutTopBottomLeftRightClientInsidePanelInsets) {
    TForm* f = NewForm(400, 300);
    f->SetClientWidth(400);
    f->SetClientHeight(300);
    auto* host = Add<TPanel>(f, 0, 0, 10, 10);
    host->SetAlign(alClient);
    host->SetBorderWidth(3);
    host->SetBevelInner(bvLowered);  // with the outer bevel: 3 + 1 + 1 = 5 each side
    auto* client = Add<TPanel>(host, 0, 0, 10, 10);
    client->SetAlign(alClient);
    auto* right = Add<TPanel>(host, 0, 0, 40, 10);
    right->SetAlign(alRight);
    auto* top = Add<TPanel>(host, 0, 0, 10, 20);
    top->SetAlign(alTop);
    auto* bottom = Add<TPanel>(host, 0, 0, 10, 30);
    bottom->SetAlign(alBottom);
    auto* left = Add<TPanel>(host, 0, 0, 50, 10);
    left->SetAlign(alLeft);
    EXPECT_EQ(host->GetBoundsRect(), Rect(0, 0, 400, 300));
    EXPECT_EQ(top->GetBoundsRect(), Rect(5, 5, 395, 25));
    EXPECT_EQ(bottom->GetBoundsRect(), Rect(5, 265, 395, 295));
    EXPECT_EQ(left->GetBoundsRect(), Rect(5, 25, 55, 265));
    EXPECT_EQ(right->GetBoundsRect(), Rect(355, 25, 395, 265));
    EXPECT_EQ(client->GetBoundsRect(), Rect(55, 25, 355, 265));

    // Hiding and resizing lay the rest out again.
    top->Hide();
    EXPECT_EQ(left->GetBoundsRect(), Rect(5, 5, 55, 265));
    f->SetClientHeight(200);
    EXPECT_EQ(bottom->GetBoundsRect(), Rect(5, 165, 395, 195));
    EXPECT_EQ(client->GetBoundsRect(), Rect(55, 5, 355, 165));
}

TEST_F(WinTest, TopAlignedStackInOrderOfTopAndSnappedSizesGiveTheRestBack) {
    TForm* f = NewForm(200, 200);
    f->SetClientHeight(200);
    std::vector<TPanel*> rows;
    for (int i = 2; i >= 0; --i) {  // created bottom row first
        auto* p = Add<TPanel>(f, 0, i * 20, 10, 20);
        p->SetTag(i);
        rows.push_back(p);
    }
    for (TPanel* p : rows) p->SetAlign(alTop);
    // Set in creation order, each goes after the rows already aligned.
    EXPECT_EQ(rows[0]->GetTop(), 0);
    EXPECT_EQ(rows[1]->GetTop(), 20);
    EXPECT_EQ(rows[2]->GetTop(), 40);

    auto* snap = Add<TSnapPanel>(f, 0, 0, 10, 10);
    snap->SetHeight(35);
    snap->SetAlign(alBottom);
    auto* fill = Add<TPanel>(f, 0, 0, 10, 10);
    fill->SetAlign(alClient);
    EXPECT_EQ(snap->GetHeight(), 30);
    EXPECT_EQ(snap->GetTop(), 170);
    EXPECT_EQ(fill->GetBoundsRect(), Rect(0, 60, f->GetClientWidth(), 170));
}

TEST_F(WinTest, RunTimeLeftAlignedControlGoesAfterTheExistingOnes) {
    TForm* f = NewForm(300, 100);
    auto* a = Add<TPanel>(f, 0, 0, 50, 10);
    a->SetAlign(alLeft);
    auto* b = Add<TPanel>(f, 0, 0, 60, 10);
    b->SetAlign(alLeft);
    auto* c = Create<TPanel>(f);
    c->SetWidth(70);
    c->SetAlign(alLeft);
    c->SetParent(f);
    EXPECT_EQ(a->GetLeft(), 0);
    EXPECT_EQ(b->GetLeft(), 50);
    EXPECT_EQ(c->GetLeft(), 110);
}

TEST_F(WinTest, FormNonClientMetricsAreFixed) {
    struct Case {
        TFormBorderStyle style;
        int dw, dh;
    };
    for (Case k : {Case{bsSizeable, 8, 27}, Case{bsDialog, 6, 25}, Case{bsSingle, 6, 25},
                   Case{bsToolWindow, 6, 21}, Case{bsNone, 0, 0}}) {
        TForm* f = NewForm(300, 200);
        f->SetBorderStyle(k.style);
        f->Show();
        EXPECT_EQ(f->GetWidth() - f->GetClientWidth(), k.dw) << EnumToIdent(k.style);
        EXPECT_EQ(f->GetHeight() - f->GetClientHeight(), k.dh) << EnumToIdent(k.style);
        TPoint o = f->ClientToScreen({0, 0});
        EXPECT_EQ(o.X, 100 + k.dw / 2);
        EXPECT_EQ(o.Y, 100 + k.dh - k.dw / 2);
    }
}

TEST_F(WinTest, ScrollBarStateWithAndWithoutRedraw) {
    TForm* f = NewForm(300, 200);
    f->Show();
    auto* p = Add<TPanel>(f, 0, 0, 100, 100);
    p->SetBorderStyle(bsNone);
    HWND h = p->GetHandle();
    int sizes = 0;
    p->OnResize = [&](TObject*) { ++sizes; };
    EXPECT_FALSE(IsScrollBarShown(h, SB_VERT));
    EXPECT_EQ(p->GetClientWidth(), 100);

    SetScrollRange(h, SB_VERT, 0, 99, false);
    EXPECT_TRUE(IsScrollBarShown(h, SB_VERT));
    EXPECT_EQ(p->GetClientWidth(), 100 - GetSystemMetrics(SM_CXVSCROLL));
    EXPECT_EQ(sizes, 1);
    EXPECT_EQ(ScrollBarRedrawCount(h, SB_VERT), 0);
    int lo, hi;
    GetScrollRange(h, SB_VERT, lo, hi);
    EXPECT_EQ(lo, 0);
    EXPECT_EQ(hi, 99);

    EXPECT_EQ(SetScrollPos(h, SB_VERT, 50, false), 0);
    EXPECT_EQ(ScrollBarRedrawCount(h, SB_VERT), 0);
    EXPECT_EQ(SetScrollPos(h, SB_VERT, 150, true), 50);  // clamped
    EXPECT_EQ(GetScrollPos(h, SB_VERT), 99);
    EXPECT_EQ(ScrollBarRedrawCount(h, SB_VERT), 1);
    SetScrollRange(h, SB_VERT, 0, 4, true);
    EXPECT_EQ(GetScrollPos(h, SB_VERT), 4);
    EXPECT_EQ(ScrollBarRedrawCount(h, SB_VERT), 2);

    // A range without extent hides the bar; ShowScrollBar brings it back.
    SetScrollRange(h, SB_VERT, 3, 3, false);
    EXPECT_FALSE(IsScrollBarShown(h, SB_VERT));
    EXPECT_EQ(p->GetClientWidth(), 100);
    ShowScrollBar(h, SB_HORZ, true);
    EXPECT_EQ(p->GetClientHeight(), 100 - GetSystemMetrics(SM_CYHSCROLL));
    EXPECT_EQ(sizes, 3);
}

TEST_F(WinTest, ScrollWindowMovesPixelsAndInvalidatesTheUncoveredStrip) {
    TForm* f = NewForm(300, 200);
    f->Show();
    auto* p = Add<TPanel>(f, 0, 0, 100, 100);
    p->SetBevelOuter(bvNone);
    Application->ProcessMessages();
    HWND h = p->GetHandle();
    TRect u;
    ASSERT_FALSE(GetUpdateRect(h, u));
    TRect area = Rect(0, 20, 100, 100);
    ScrollWindow(h, 0, -10, &area, &area);
    ASSERT_TRUE(GetUpdateRect(h, u));
    EXPECT_EQ(u, Rect(0, 90, 100, 100));
    ValidateRect(h, nullptr);
    TRect r1 = Rect(0, 0, 10, 10), r2 = Rect(50, 50, 60, 60);
    InvalidateRect(h, &r1, true);
    InvalidateRect(h, &r2, true);
    EXPECT_EQ(GetUpdateRegion(h).size(), 2u);
    GetUpdateRect(h, u);
    EXPECT_EQ(u, Rect(0, 0, 60, 60));
    ValidateRect(h, &r1);
    GetUpdateRect(h, u);
    EXPECT_EQ(u, r2);
    UpdateWindow(h);
    EXPECT_FALSE(GetUpdateRect(h, u));
}

TEST_F(WinTest, LoadingDefersAlignmentToLoaded) {
    TForm* f = NewForm(300, 200);
    TPanel* top = nullptr;
    TPanel* fill = nullptr;
    f->LoadAsIfStreamed([&] {
        top = Create<TPanel>(f);
        top->SetParent(f);
        fill = Create<TPanel>(f);
        fill->SetParent(f);
        for (TPanel* p : {top, fill}) p->BeginLoading();
        top->SetBounds(0, 50, 100, 30);
        top->SetAlign(alTop);
        fill->SetAlign(alClient);
        EXPECT_EQ(top->GetTop(), 50);  // nothing moves while loading
        f->SetVisible(true);
        EXPECT_FALSE(f->IsShowing());
    });
    EXPECT_EQ(top->GetBoundsRect(), Rect(0, 0, f->GetClientWidth(), 30));
    EXPECT_EQ(fill->GetBoundsRect(), Rect(0, 30, f->GetClientWidth(), f->GetClientHeight()));
    EXPECT_TRUE(f->IsShowing());  // shown once loaded
}

TEST_F(WinTest, StayOnTopFormsStayInFront) {
    TForm* tool = NewForm();
    tool->SetFormStyle(fsStayOnTop);
    tool->Show();
    TForm* plain = NewForm();
    plain->Show();
    auto order = TopLevelWindows();
    auto pos = [&](TForm* f) { return std::find(order.begin(), order.end(), f->GetHandle()) - order.begin(); };
    EXPECT_LT(pos(tool), pos(plain));
    EXPECT_EQ(GetActiveWindow(), plain->GetHandle());
    tool->SetFormStyle(fsNormal);
    plain->BringToFront();
    order = TopLevelWindows();
    EXPECT_LT(pos(plain), pos(tool));
}

TEST_F(WinTest, FormWithPanelsRoundTripsThroughAFormFile) {
    RegisterClasses({&TPanel::StaticClass(), &TButton::StaticClass()});
    TForm* f = NewForm(300, 200, "Layout");
    f->SetName("LayoutForm");
    auto* top = Add<TPanel>(f, 0, 0, 10, 29);
    top->SetName("Top");
    top->SetAlign(alTop);
    top->SetBevelInner(bvLowered);
    auto* ok = Add<TButton>(top, 5, 2, 75, 25);
    ok->SetName("OK");
    ok->SetModalResult(mrOk);
    std::string text = ComponentToText(f);
    EXPECT_NE(text.find("BevelInner = bvLowered"), std::string::npos) << text;

    TForm* g = NewForm();
    ReadComponentFromText(text, g);
    auto* top2 = dynamic_cast<TPanel*>(g->FindComponent("Top"));
    ASSERT_NE(top2, nullptr);
    EXPECT_EQ(top2->GetParent(), g);
    EXPECT_EQ(top2->GetBevelInner(), bvLowered);
    EXPECT_EQ(top2->GetBoundsRect(), Rect(0, 0, g->GetClientWidth(), 29));
    auto* ok2 = dynamic_cast<TButton*>(g->FindComponent("OK"));
    ASSERT_NE(ok2, nullptr);
    EXPECT_EQ(ok2->GetParent(), top2);
    EXPECT_EQ(ok2->GetModalResult(), mrOk);
    EXPECT_EQ(g->GetCaption(), "Layout");
}

TEST_F(WinTest, ScrollingALineRepaintsTheUncoveredRowAndTheBarOnly) {
    TForm* f = NewForm(300, 200);
    f->Show();
    auto* list = Add<TRowList>(f, 10, 10, 150, 110);  // 11 rows
    HWND h = list->GetHandle();
    SetScrollRange(h, SB_VERT, 0, 50, false);
    Application->ProcessMessages();
    for (int step = 1; step <= 3; ++step) {
        list->rowsPainted = 0;
        list->ScrollRows(1);
        // Inside the client area only the uncovered row is invalid.
        for (const TRect& r : GetUpdateRegion(h)) {
            TRect inClient;
            if (IntersectRect(inClient, r, list->GetClientRect())) {
                EXPECT_EQ(inClient, Rect(0, 100, list->GetClientWidth(), 110)) << step;
            }
        }
        TBitmap* surface = PaintedWindowSurface(f->GetHandle());
        ASSERT_NE(surface, nullptr);
        EXPECT_EQ(list->rowsPainted, 1) << step;
        // What is on the surface (moved pixels, new row, moved thumb) is what a full paint
        // draws.
        std::vector<uint32_t> shown = Pixels(surface);
        std::unique_ptr<TBitmap> full(RenderForm(f, true));
        EXPECT_TRUE(shown == Pixels(full.get())) << step;
    }
    EXPECT_EQ(ScrollBarRedrawCount(h, SB_VERT), 3);
}

TEST_F(WinTest, ClientAreaIsKeptAndFollowsBorderCtl3DAndScrollBars) {
    TForm* f = NewForm(300, 200);
    auto* p = Add<TCountingPanel>(f, 0, 0, 100, 80);
    int calls = p->createParamsCalls;
    for (int i = 0; i < 50; ++i) p->GetClientRect();
    EXPECT_EQ(p->createParamsCalls, calls);  // no window, still no CreateParams per call

    // A single border is a client edge (2 px) with Ctl3D and a line (1 px) without; the
    // client area follows with and without a window, and aligned children with it.
    auto* fill = Add<TPanel>(p, 0, 0, 10, 10);
    fill->SetAlign(alClient);
    struct Case {
        bool window;
        TBorderStyle border;
        bool ctl3D;
        int inset;
    };
    for (Case k : {Case{false, bsSingle, true, 2}, Case{false, bsSingle, false, 1},
                   Case{false, bsNone, false, 0}, Case{true, bsSingle, false, 1},
                   Case{true, bsSingle, true, 2}, Case{true, bsNone, true, 0}}) {
        if (k.window) f->Show();
        p->SetBorderStyle(k.border);
        p->SetCtl3D(k.ctl3D);
        ASSERT_EQ(p->HandleAllocated(), k.window);
        EXPECT_EQ(p->GetClientWidth(), 100 - 2 * k.inset) << k.window << k.border << k.ctl3D;
        EXPECT_EQ(fill->GetWidth(), 100 - 2 * k.inset - 2) << k.window << k.border << k.ctl3D;
        if (k.window) {
            EXPECT_EQ(p->NonClientInsets(), (TRect{k.inset, k.inset, k.inset, k.inset}));
        }
    }
    // A bar shown and hidden again.
    ShowScrollBar(p->GetHandle(), SB_VERT, true);
    EXPECT_EQ(p->GetClientWidth(), 100 - GetSystemMetrics(SM_CXVSCROLL));
    EXPECT_EQ(fill->GetWidth(), 100 - GetSystemMetrics(SM_CXVSCROLL) - 2);
    ShowScrollBar(p->GetHandle(), SB_VERT, false);
    EXPECT_EQ(p->GetClientWidth(), 100);
}
