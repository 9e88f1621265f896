// Mouse, keyboard and focus.
#include "controls/input.h"
#include "controls_test_util.h"

using namespace vcl;
using namespace win;

namespace {

// Records what reaches it; optionally skips the platform's mouse-up step.
class TRecorder : public TCustomControl {
    DBV_CLASS(TRecorder, TCustomControl)
public:
    using TCustomControl::TCustomControl;
    std::vector<std::string>* log = nullptr;
    bool skipBaseMouseUp = false;
    LRESULT dlgCode = 0;
    int enters = 0, leaves = 0;
    void Note(const std::string& s) {
        if (log) log->push_back(GetName() + "." + s);
    }

protected:
    void MouseUp(TMouseButton b, TShiftState s, int x, int y) override {
        Note("MouseUp");
        if (!skipBaseMouseUp) inherited::MouseUp(b, s, x, y);
    }
    void CMMouseEnter(TMessage& M) override {
        inherited::CMMouseEnter(M);
        ++enters;
    }
    void CMMouseLeave(TMessage& M) override {
        inherited::CMMouseLeave(M);
        ++leaves;
    }
    void WMGetDlgCode(TMessage& M) override { M.Result = dlgCode; }
    void CMCancelMode(TMessage& M) override {
        inherited::CMCancelMode(M);
        Note("CancelMode from " + static_cast<TControl*>(reinterpret_cast<TObject*>(M.LParam))->GetName());
    }
};
DBV_IMPLEMENT_CLASS(TRecorder)

class TGraphicRecorder : public TGraphicControl {
    DBV_CLASS(TGraphicRecorder, TGraphicControl)
public:
    using TGraphicControl::TGraphicControl;
    int enters = 0, leaves = 0;

protected:
    void CMMouseEnter(TMessage& M) override {
        inherited::CMMouseEnter(M);
        ++enters;
    }
    void CMMouseLeave(TMessage& M) override {
        inherited::CMMouseLeave(M);
        ++leaves;
    }
};
DBV_IMPLEMENT_CLASS(TGraphicRecorder)

// Scroll bars on both sides; logs the scroll messages and applies them to the bar position
// the way a scrolling control does (a line is 1, a page 10, the thumb goes where dragged).
class TScrollProbe : public TCustomControl {
    DBV_CLASS(TScrollProbe, TCustomControl)
public:
    using TCustomControl::TCustomControl;
    std::vector<std::string> log;
    std::vector<int> trackPosSeen;  // GetScrollInfo's nTrackPos during SB_THUMBTRACK
    bool ownWheel = false;
    int wheels = 0;

protected:
    void CreateParams(TCreateParams& P) override {
        inherited::CreateParams(P);
        P.Style |= WS_VSCROLL | WS_HSCROLL;
    }
    void WMVScroll(TMessage& M) override { Scroll(SB_VERT, M); }
    void WMHScroll(TMessage& M) override { Scroll(SB_HORZ, M); }
    void WMMouseWheel(TMessage& M) override {
        ++wheels;
        if (!ownWheel) inherited::WMMouseWheel(M);
    }

private:
    void Scroll(int bar, TMessage& M) {
        static const char* const names[] = {"LINEUP", "LINEDOWN", "PAGEUP", "PAGEDOWN", "THUMBPOSITION",
                                            "THUMBTRACK", "TOP", "BOTTOM", "ENDSCROLL"};
        TWMScroll s(M);
        std::string entry = std::string(bar == SB_VERT ? "V " : "H ") + names[s.ScrollCode()];
        int pos = GetScrollPos(GetHandle(), bar);
        switch (s.ScrollCode()) {
            case SB_LINEUP: --pos; break;
            case SB_LINEDOWN: ++pos; break;
            case SB_PAGEUP: pos -= 10; break;
            case SB_PAGEDOWN: pos += 10; break;
            case SB_THUMBTRACK:
            case SB_THUMBPOSITION: {
                entry += " " + std::to_string(s.Pos());
                pos = s.Pos();
                SCROLLINFO si;
                GetScrollInfo(GetHandle(), bar, si);
                if (s.ScrollCode() == SB_THUMBTRACK) trackPosSeen.push_back(si.nTrackPos);
                break;
            }
            default: break;
        }
        log.push_back(entry);
        SetScrollPos(GetHandle(), bar, pos, true);
    }
};
DBV_IMPLEMENT_CLASS(TScrollProbe)

// The input steps run from the messages only, so no caller can bypass a descendant's
// override; the control data is reached through accessors. (TButton::Click stays public,
// as the platform documents it.)
template <class T>
concept CanCallClick = requires(T& c) { c.Click(); };
template <class T>
concept CanCallMouseSteps = requires(T& c) {
    c.MouseDown(mbLeft, TShiftState{}, 0, 0);
} || requires(T& c) { c.MouseMove(TShiftState{}, 0, 0); } || requires(T& c) {
    c.MouseUp(mbLeft, TShiftState{}, 0, 0);
} || requires(T& c) { c.DblClick(); };
template <class T>
concept CanCallKeySteps = requires(T& c, uint16_t& k) {
    c.KeyDown(k, TShiftState{});
} || requires(T& c, char& ch) { c.KeyPress(ch); } || requires(T& c, uint16_t& k) {
    c.KeyUp(k, TShiftState{});
};
template <class T>
concept ReachesControlFields = requires(T& c) { c.width_; } || requires(T& c) { c.controlStyle_; } ||
                               requires(T& c) { c.controls_; };
static_assert(!CanCallClick<TControl> && !CanCallClick<TPanel> && CanCallClick<TButton>);
static_assert(!CanCallMouseSteps<TControl> && !CanCallMouseSteps<TButton>);
static_assert(!CanCallKeySteps<TWinControl> && !CanCallKeySteps<TButton>);
static_assert(!ReachesControlFields<TWinControl> && !ReachesControlFields<TForm> &&
              !ReachesControlFields<TPanel>);

struct InputTest : WinTest {
    std::vector<std::string> log;
    TForm* form = nullptr;
    TRecorder* NewRecorder(TWinControl* parent, const char* name, int l, int t, int w, int h) {
        auto* r = Add<TRecorder>(parent, l, t, w, h);
        r->SetName(name);
        r->log = &log;
        r->OnClick = [this, r](TObject*) { log.push_back(r->GetName() + ".Click"); };
        r->OnDblClick = [this, r](TObject*) { log.push_back(r->GetName() + ".DblClick"); };
        r->OnMouseDown = [this, r](TObject*, TMouseButton b, TShiftState s, int x, int y) {
            log.push_back(r->GetName() + ".Down " + std::to_string(b) + " " + std::to_string(x) +
                          "," + std::to_string(y) + (s.Contains(ssDouble) ? " double" : "") +
                          (s.Contains(ssShift) ? " shift" : ""));
        };
        r->OnMouseUp = [this, r](TObject*, TMouseButton, TShiftState, int, int) {
            log.push_back(r->GetName() + ".OnMouseUp");
        };
        r->OnEnter = [this, r](TObject*) { log.push_back(r->GetName() + ".Enter"); };
        r->OnExit = [this, r](TObject*) { log.push_back(r->GetName() + ".Exit"); };
        return r;
    }
    void SetUp() override {
        form = NewForm(400, 300);
        form->Show();
    }
};

}  // namespace

TEST_F(InputTest, ClickComesFromTheBaseMouseUpStepAndNeedsTheReleaseInside) {
    TRecorder* a = NewRecorder(form, "A", 10, 10, 100, 50);
    vt::MouseDown(a, mbLeft, 5, 6, {ssShift});
    EXPECT_EQ(GetCaptureControl(), a);
    // Captured: a move far outside still reaches the control, in its client coordinates.
    int moves = 0;
    TPoint last;
    a->OnMouseMove = [&](TObject*, TShiftState, int x, int y) {
        ++moves;
        last = {x, y};
    };
    vt::MouseMove(form, 300, 250);
    EXPECT_EQ(moves, 1);
    EXPECT_EQ(last, (TPoint{290, 240}));
    vt::MouseUp(a, mbLeft, 290, 240);
    EXPECT_EQ(GetCaptureControl(), nullptr);
    EXPECT_EQ(log, (std::vector<std::string>{"A.Down 0 5,6 shift", "A.MouseUp", "A.OnMouseUp"}));

    log.clear();
    vt::Click(a, 20, 20);
    EXPECT_EQ(log, (std::vector<std::string>{"A.Down 0 20,20", "A.MouseUp", "A.Click", "A.OnMouseUp"}));

    // A descendant that does not run the platform's mouse-up step has no click.
    log.clear();
    a->skipBaseMouseUp = true;
    vt::Click(a, 20, 20);
    EXPECT_EQ(log, (std::vector<std::string>{"A.Down 0 20,20", "A.MouseUp"}));

    // The right button never clicks.
    log.clear();
    a->skipBaseMouseUp = false;
    vt::Click(a, 20, 20, {}, mbRight);
    EXPECT_EQ(log, (std::vector<std::string>{"A.Down 1 20,20", "A.MouseUp", "A.OnMouseUp"}));
}

TEST_F(InputTest, MouseEnterAndLeaveExactlyOnceAsThePointerCrosses) {
    auto* panel = Add<TRecorder>(form, 50, 50, 200, 150);
    auto* inner = Add<TRecorder>(panel, 10, 10, 60, 40);
    auto* glyph = Add<TGraphicRecorder>(panel, 100, 10, 40, 40);
    vt::MouseMove(form, 5, 5);
    vt::MouseMove(form, 6, 6);
    EXPECT_EQ(panel->enters, 0);
    vt::MouseMove(panel, 150, 100);
    vt::MouseMove(panel, 151, 101);  // moving inside adds nothing
    EXPECT_EQ(panel->enters, 1);
    vt::MouseMove(inner, 5, 5);
    EXPECT_EQ(panel->leaves, 1);
    EXPECT_EQ(inner->enters, 1);
    vt::MouseMove(glyph, 5, 5);
    EXPECT_EQ(inner->leaves, 1);
    EXPECT_EQ(glyph->enters, 1);
    vt::MouseMove(glyph, 6, 6);
    vt::MouseAway();
    EXPECT_EQ(glyph->leaves, 1);
    EXPECT_EQ(glyph->enters, 1);
    EXPECT_EQ(panel->enters, 1);
    EXPECT_EQ(panel->leaves, 1);
    EXPECT_EQ(GetMouseControl(), nullptr);
    // A disabled control still sees the pointer come and go.
    glyph->SetEnabled(false);
    vt::MouseMove(glyph, 5, 5);
    EXPECT_EQ(glyph->enters, 2);
}

TEST_F(InputTest, DoubleClicksByTimeAndDistance) {
    TRecorder* a = NewRecorder(form, "A", 10, 10, 100, 50);
    auto clickAt = [&](int x, int y) {
        vt::MouseDown(a, mbLeft, x, y);
        vt::MouseUp(a, mbLeft, x, y);
    };
    auto count = [&](const std::string& what) {
        return std::count(log.begin(), log.end(), what);
    };
    struct Case {
        uint32_t gap;
        int dx;
        bool dbl;
    };
    for (Case k : {Case{0, 0, true}, Case{500, 2, true}, Case{501, 0, false}, Case{100, 3, false}}) {
        log.clear();
        input::ResetDoubleClick();
        clickAt(20, 20);
        clock.Advance(k.gap);
        clickAt(20 + k.dx, 20);
        EXPECT_EQ(count("A.DblClick"), k.dbl ? 1 : 0) << k.gap << " ms, " << k.dx << " px";
        EXPECT_EQ(count("A.Click"), k.dbl ? 1 : 2);
    }
    // A third quick press starts over instead of making another double click.
    log.clear();
    vt::DoubleClick(a, 30, 30);
    clickAt(30, 30);
    EXPECT_EQ(count("A.DblClick"), 1);
    EXPECT_EQ(count("A.Down 0 30,30 double"), 1);
    // Without csDoubleClicks the second press is a press and a click.
    log.clear();
    a->SetControlStyle(a->GetControlStyle() - TControlStyle{csDoubleClicks});
    vt::DoubleClick(a, 30, 30);
    EXPECT_EQ(count("A.DblClick"), 0);
    EXPECT_EQ(count("A.Click"), 2);
}

TEST_F(InputTest, FocusOrderWithEnterAndExitThroughContainers) {
    auto* box1 = NewRecorder(form, "Box1", 0, 0, 200, 100);
    auto* e1 = NewRecorder(box1, "E1", 10, 10, 50, 20);
    auto* e2 = NewRecorder(box1, "E2", 10, 40, 50, 20);
    auto* box2 = NewRecorder(form, "Box2", 0, 150, 200, 100);
    auto* e3 = NewRecorder(box2, "E3", 10, 10, 50, 20);
    for (TRecorder* r : {e1, e2, e3}) r->SetTabStop(true);
    e1->SetFocus();
    EXPECT_EQ(log, (std::vector<std::string>{"Box1.Enter", "E1.Enter"}));
    EXPECT_TRUE(e1->Focused());
    EXPECT_EQ(form->GetActiveControl(), e1);
    log.clear();
    e3->SetFocus();
    EXPECT_EQ(log, (std::vector<std::string>{"E1.Exit", "Box1.Exit", "Box2.Enter", "E3.Enter"}));
    EXPECT_EQ(Screen->GetActiveControl(), e3);

    // Tab and Shift+Tab walk the tab order (wrapping).
    log.clear();
    vt::PressKey(VK_TAB);
    EXPECT_TRUE(e1->Focused());
    e2->SetTabOrder(0);  // Box1: E2, E1
    EXPECT_EQ(e1->GetTabOrder(), 1);
    vt::PressKey(VK_TAB);
    EXPECT_TRUE(e3->Focused());
    vt::PressKey(VK_TAB);
    EXPECT_TRUE(e2->Focused());
    vt::PressKey(VK_TAB, {ssShift});
    EXPECT_TRUE(e3->Focused());
    vt::PressKey(VK_TAB);
    EXPECT_TRUE(e2->Focused());

    // A focus request from OnExit sends the focus back, once, without recursion.
    log.clear();
    e2->OnExit = [&](TObject*) {
        log.push_back("E2.Exit");
        e2->SetFocus();
    };
    e3->SetFocus();
    EXPECT_TRUE(e2->Focused());
    EXPECT_EQ(form->GetActiveControl(), e2);
    EXPECT_EQ(log, (std::vector<std::string>{"E2.Exit", "E2.Enter"}));
    e2->OnExit = nullptr;

    // Controls that cannot take the focus.
    e3->SetEnabled(false);
    EXPECT_FALSE(e3->CanFocus());
    try {
        e3->SetFocus();
        FAIL() << "no error";
    } catch (const EInvalidOperation& e) {
        EXPECT_STREQ(e.what(), "Cannot focus a disabled or invisible window");
    }
    box1->Hide();
    EXPECT_FALSE(e2->CanFocus());
    EXPECT_FALSE(e2->Focused());
    EXPECT_EQ(form->GetActiveControl(), nullptr);
}

TEST_F(InputTest, KeysReachTheFocusedControlWithDialogKeysAndPreview) {
    auto* a = NewRecorder(form, "A", 0, 0, 50, 20);
    auto* b = NewRecorder(form, "B", 0, 40, 50, 20);
    a->SetTabStop(true);
    b->SetTabStop(true);
    a->OnKeyDown = [&](TObject*, uint16_t& k, TShiftState s) {
        log.push_back("down " + std::to_string(k) + (s.Contains(ssCtrl) ? " ctrl" : ""));
        if (k == VK_RETURN && s.Contains(ssCtrl)) {
            // Swallow the character that follows, as a Ctrl+Enter handler does.
            MSG m;
            PeekMessage(m, a->GetHandle(), WM_CHAR, WM_CHAR, PM_REMOVE);
        }
    };
    a->OnKeyPress = [&](TObject*, char& k) {
        log.push_back(std::string("press ") + std::to_string(int(uint8_t(k))));
        if (k == 'x') k = 0;
    };
    a->OnKeyUp = [&](TObject*, uint16_t& k, TShiftState) { log.push_back("up " + std::to_string(k)); };
    a->SetFocus();
    log.clear();
    vt::PressKey('A');
    vt::PressKey('A', {ssShift});
    vt::PressKey(VK_RETURN, {ssCtrl});
    EXPECT_EQ(log, (std::vector<std::string>{"down 65", "press 97", "up 65", "down 65", "press 65",
                                             "up 65", "down 13 ctrl", "up 13"}));
    log.clear();
    vt::TypeText("hi");
    EXPECT_EQ(log, (std::vector<std::string>{"press 104", "press 105"}));

    // Arrows move the focus unless the control asks for them.
    vt::PressKey(VK_DOWN);
    EXPECT_TRUE(b->Focused());
    b->SetFocus();
    vt::PressKey(VK_UP);
    EXPECT_TRUE(a->Focused());
    a->dlgCode = DLGC_WANTARROWS;
    log.clear();
    vt::PressKey(VK_DOWN);
    EXPECT_TRUE(a->Focused());
    EXPECT_EQ(log.front(), "down 40");

    // The form sees keys first with KeyPreview and can swallow them.
    form->SetKeyPreview(true);
    form->OnKeyPress = [&](TObject*, char& k) {
        if (k == 'q') k = 0;
    };
    log.clear();
    vt::TypeText("qz");
    EXPECT_EQ(log, (std::vector<std::string>{"press 122"}));
}

TEST_F(InputTest, FontColourAndShowHintFollowTheParentUntilSet) {
    auto* box = Add<TPanel>(form, 0, 0, 200, 100);
    auto* child = Add<TRecorder>(box, 10, 10, 50, 20);
    box->GetFont()->SetName("Liberation Serif");
    box->GetFont()->SetHeight(-15);
    box->SetColor(clYellow);
    box->SetShowHint(true);
    EXPECT_EQ(child->GetFont()->GetName(), "Liberation Serif");
    EXPECT_EQ(child->GetFont()->GetHeight(), -15);
    EXPECT_EQ(child->GetColor(), clYellow);
    EXPECT_TRUE(child->GetShowHint());
    EXPECT_TRUE(child->GetParentFont());
    EXPECT_TRUE(child->GetParentColor());
    // Setting its own ends the inheritance; asking for the parent's again takes it back.
    child->SetColor(clRed);
    child->GetFont()->SetHeight(-11);
    box->SetColor(clAqua);
    box->GetFont()->SetHeight(-20);
    EXPECT_EQ(child->GetColor(), clRed);
    EXPECT_EQ(child->GetFont()->GetHeight(), -11);
    EXPECT_FALSE(child->GetParentFont());
    child->SetParentColor(true);
    child->SetParentFont(true);
    EXPECT_EQ(child->GetColor(), clAqua);
    EXPECT_EQ(child->GetFont()->GetHeight(), -20);
}

TEST_F(InputTest, CursorsAndDisabledInput) {
    auto* a = NewRecorder(form, "A", 10, 10, 100, 50);
    auto* g = Add<TGraphicRecorder>(form, 200, 10, 50, 50);
    a->SetCursor(crSizeNWSE);
    g->SetCursor(crHandPoint);
    vt::MouseMove(a, 5, 5);
    EXPECT_EQ(backend.LastCursor(), crSizeNWSE);
    vt::MouseMove(g, 5, 5);
    EXPECT_EQ(backend.LastCursor(), crHandPoint);
    vt::MouseMove(form, 150, 150);
    EXPECT_EQ(backend.LastCursor(), crArrow);
    Screen->SetCursor(crHourGlass);
    vt::MouseMove(a, 6, 6);
    EXPECT_EQ(backend.LastCursor(), crHourGlass);
    Screen->SetCursor(crDefault);

    // A disabled window gets no input; a disabled graphic control passes it to its parent.
    a->SetEnabled(false);
    vt::Click(a, 5, 5);
    EXPECT_TRUE(log.empty());
    int formClicks = 0;
    form->OnClick = [&](TObject*) { ++formClicks; };
    g->SetEnabled(false);
    vt::Click(g, 5, 5);
    EXPECT_EQ(formClicks, 1);
}

TEST_F(InputTest, DragFromSourceToAcceptingTarget) {
    auto* src = NewRecorder(form, "Src", 10, 10, 50, 50);
    auto* dst = NewRecorder(form, "Dst", 200, 10, 100, 100);
    src->SetDragMode(dmAutomatic);
    std::vector<std::string> events;
    dst->OnDragOver = [&](TObject*, TObject* source, int, int, TDragState st, bool& accept) {
        events.push_back("over " + EnumToIdent(st));
        accept = source == src;
    };
    dst->OnDragDrop = [&](TObject*, TObject* source, int x, int y) {
        events.push_back("drop " + std::to_string(x) + "," + std::to_string(y) +
                         (source == src ? " from src" : ""));
    };
    src->OnEndDrag = [&](TObject*, TObject* target, int, int) {
        events.push_back(std::string("end ") + (target == dst ? "on dst" : "nowhere"));
    };
    vt::MouseDown(src, mbLeft, 5, 5);
    EXPECT_TRUE(src->Dragging());
    vt::MouseMove(dst, 10, 10);
    EXPECT_EQ(backend.LastCursor(), crDrag);
    vt::MouseMove(dst, 12, 12);
    vt::MouseUp(dst, mbLeft, 12, 12);
    EXPECT_FALSE(src->Dragging());
    EXPECT_EQ(events, (std::vector<std::string>{"over dsDragEnter", "over dsDragMove", "drop 12,12 from src",
                                                "end on dst"}));
    EXPECT_TRUE(log.empty());  // an automatic drag replaces the press

    // Escape ends a drag without a drop.
    events.clear();
    vt::MouseDown(src, mbLeft, 5, 5);
    vt::MouseMove(dst, 10, 10);
    vt::PressKey(VK_ESCAPE);
    EXPECT_FALSE(src->Dragging());
    vt::MouseUp(dst, mbLeft, 10, 10);
    EXPECT_EQ(events, (std::vector<std::string>{"over dsDragEnter", "end nowhere"}));
}

TEST_F(InputTest, PressElsewhereSendsCancelModeToTheActiveControl) {
    auto* editor = NewRecorder(form, "Editor", 0, 0, 100, 20);
    auto* other = NewRecorder(form, "Other", 0, 50, 100, 20);
    editor->SetTabStop(true);
    editor->SetFocus();
    log.clear();
    vt::Click(other, 5, 5);
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.front(), "Editor.CancelMode from Other");
}

TEST_F(InputTest, PressOnTheCaptionActivatesWithoutClientMessages) {
    TForm* other = NewForm(200, 100);
    other->SetBounds(600, 400, 200, 100);
    other->Show();
    ASSERT_EQ(GetActiveWindow(), other->GetHandle());
    int downs = 0;
    form->OnMouseDown = [&](TObject*, TMouseButton, TShiftState, int, int) { ++downs; };
    vt::Click(form, 50, -5);  // in the caption bar
    EXPECT_EQ(GetActiveWindow(), form->GetHandle());
    EXPECT_EQ(downs, 0);
    vt::Click(form, 50, 5);
    EXPECT_EQ(downs, 1);
}

namespace {
struct ScrollTest : InputTest {
    TScrollProbe* probe = nullptr;
    void SetUp() override {
        InputTest::SetUp();
        probe = Add<TScrollProbe>(form, 20, 20, 200, 150);
        for (int bar : {SB_VERT, SB_HORZ}) {
            SetScrollRange(probe->GetHandle(), bar, 0, 100, false);
            SetScrollPos(probe->GetHandle(), bar, 50, false);
        }
        Application->ProcessMessages();
    }
    int Pos(int bar) { return GetScrollPos(probe->GetHandle(), bar); }
};
}  // namespace

TEST_F(ScrollTest, PressesOnArrowsAndTrackSendTheirCodesThenEndScroll) {
    int mouseDowns = 0;
    probe->OnMouseDown = [&](TObject*, TMouseButton, TShiftState, int, int) { ++mouseDowns; };
    struct Case {
        int bar, part;
        const char* sent;
        int moved;
    };
    for (Case k : {Case{SB_VERT, SB_LINEUP, "V LINEUP", -1}, Case{SB_VERT, SB_LINEDOWN, "V LINEDOWN", 1},
                   Case{SB_VERT, SB_PAGEUP, "V PAGEUP", -10}, Case{SB_VERT, SB_PAGEDOWN, "V PAGEDOWN", 10},
                   Case{SB_HORZ, SB_LINEUP, "H LINEUP", -1}, Case{SB_HORZ, SB_LINEDOWN, "H LINEDOWN", 1},
                   Case{SB_HORZ, SB_PAGEUP, "H PAGEUP", -10}, Case{SB_HORZ, SB_PAGEDOWN, "H PAGEDOWN", 10}}) {
        probe->log.clear();
        int before = Pos(k.bar);
        vt::ScrollBarClick(probe, k.bar, k.part);
        EXPECT_EQ(probe->log, (std::vector<std::string>{k.sent, std::string(k.sent).substr(0, 2) + "ENDSCROLL"}));
        EXPECT_EQ(Pos(k.bar), before + k.moved) << k.sent;
    }
    EXPECT_EQ(mouseDowns, 0);  // the bars are not the client area

    // A disabled window's bars take no input.
    probe->SetEnabled(false);
    probe->log.clear();
    vt::ScrollBarClick(probe, SB_VERT, SB_LINEDOWN);
    EXPECT_TRUE(probe->log.empty());
}

TEST_F(ScrollTest, HoldingAnArrowOrTheTrackRepeatsOnTheClock) {
    auto count = [&](const std::string& what) { return std::count(probe->log.begin(), probe->log.end(), what); };
    vt::ScrollBarPress(probe, SB_VERT, SB_LINEDOWN);
    EXPECT_EQ(count("V LINEDOWN"), 1);
    clock.Advance(399);
    EXPECT_EQ(count("V LINEDOWN"), 1);
    clock.Advance(1);  // the first repeat after 400 ms
    EXPECT_EQ(count("V LINEDOWN"), 2);
    clock.Advance(100);  // then every 50 ms
    EXPECT_EQ(count("V LINEDOWN"), 4);
    vt::ScrollBarRelease();
    EXPECT_EQ(probe->log.back(), "V ENDSCROLL");
    clock.Advance(1000);
    EXPECT_EQ(count("V LINEDOWN"), 4);
    EXPECT_EQ(Pos(SB_VERT), 54);

    // Paging stops once the thumb has come to the pointer.
    SetScrollPos(probe->GetHandle(), SB_VERT, 0, true);
    probe->log.clear();
    vt::ScrollBarPress(probe, SB_VERT, SB_PAGEDOWN);
    clock.Advance(3000);
    int pages = int(count("V PAGEDOWN"));
    EXPECT_GT(pages, 1);
    EXPECT_LT(Pos(SB_VERT), 100);
    clock.Advance(1000);
    EXPECT_EQ(count("V PAGEDOWN"), pages);
    vt::ScrollBarRelease();
    EXPECT_EQ(probe->log.back(), "V ENDSCROLL");

    // A control freed while its bar is held leaves nothing behind to repeat.
    vt::ScrollBarPress(probe, SB_VERT, SB_LINEUP);
    probe->Free();
    clock.Advance(1000);
    vt::ScrollBarRelease();
    vt::Click(form, 5, 5);
}

TEST_F(ScrollTest, DraggingTheThumbTracksWithFullPositionsAndEndsWithItsPosition) {
    vt::DragScrollThumb(probe, SB_VERT, 80, 3);
    ASSERT_GE(probe->log.size(), 3u);
    EXPECT_EQ(probe->log[probe->log.size() - 3], "V THUMBTRACK 80");
    EXPECT_EQ(probe->log[probe->log.size() - 2], "V THUMBPOSITION 80");
    EXPECT_EQ(probe->log.back(), "V ENDSCROLL");
    EXPECT_GE(std::count_if(probe->log.begin(), probe->log.end(),
                            [](const std::string& e) { return e.rfind("V THUMBTRACK", 0) == 0; }),
              3);
    EXPECT_EQ(probe->trackPosSeen.back(), 80);
    EXPECT_EQ(Pos(SB_VERT), 80);
    // The thumb is painted where the position puts it, on the track's colour.
    std::unique_ptr<TBitmap> img(RenderForm(form, true));
    TPoint origin = form->ClientToScreen({0, 0});
    TRect nc = form->NonClientInsets();
    auto pixelAt = [&](TPoint screen) {
        return img->GetPixel(screen.X - origin.X + nc.Left, screen.Y - origin.Y + nc.Top);
    };
    EXPECT_EQ(pixelAt(vt::ScrollBarPoint(probe, SB_VERT, SB_THUMBTRACK)), ColorToRGB(clBtnFace));
    EXPECT_EQ(pixelAt(vt::ScrollBarPoint(probe, SB_VERT, SB_PAGEUP)), ColorToRGB(clScrollBar));

    // Positions beyond 16 bits arrive whole.
    SetScrollRange(probe->GetHandle(), SB_HORZ, 0, 1000000, false);
    SetScrollPos(probe->GetHandle(), SB_HORZ, 0, false);
    probe->log.clear();
    vt::DragScrollThumb(probe, SB_HORZ, 700000);
    ASSERT_EQ(probe->log.size(), 3u);
    int track = std::stoi(probe->log[0].substr(std::string("H THUMBTRACK ").size()));
    EXPECT_NEAR(track, 700000, 10000);
    EXPECT_EQ(probe->log[1], "H THUMBPOSITION " + std::to_string(track));
    EXPECT_EQ(probe->trackPosSeen.back(), track);
    SCROLLINFO si;
    GetScrollInfo(probe->GetHandle(), SB_HORZ, si);
    EXPECT_EQ(si.nTrackPos, si.nPos);  // no longer tracking
}

TEST_F(ScrollTest, TheWheelScrollsTheFocusedControlOrItsParentByLines) {
    auto count = [&](const std::string& what) { return std::count(probe->log.begin(), probe->log.end(), what); };
    probe->SetFocus();
    vt::MouseWheel(WHEEL_DELTA);
    EXPECT_EQ(probe->log, (std::vector<std::string>(3, "V LINEUP")));
    probe->log.clear();
    vt::MouseWheel(-2 * WHEEL_DELTA);
    EXPECT_EQ(probe->log, (std::vector<std::string>(6, "V LINEDOWN")));
    // Smaller deltas add up to lines.
    probe->log.clear();
    vt::MouseWheel(20);
    EXPECT_TRUE(probe->log.empty());
    vt::MouseWheel(20);
    EXPECT_EQ(probe->log, (std::vector<std::string>{"V LINEUP"}));

    // A focused child without a bar passes the wheel up to the parent that has one.
    auto* child = NewRecorder(probe, "Child", 5, 5, 50, 20);
    child->SetFocus();
    probe->log.clear();
    vt::MouseWheel(-WHEEL_DELTA, {ssShift});
    EXPECT_EQ(count("V LINEDOWN"), 3);
    // A control that handles the wheel itself keeps it.
    probe->ownWheel = true;
    probe->log.clear();
    int wheels = probe->wheels;
    vt::MouseWheel(WHEEL_DELTA);
    EXPECT_EQ(probe->wheels, wheels + 1);
    EXPECT_TRUE(probe->log.empty());
}
