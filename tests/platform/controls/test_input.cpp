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
