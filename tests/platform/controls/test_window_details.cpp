// The wheel events, anchors and size constraints.
#include "controls_test_util.h"

using namespace vcl;
using namespace win;

namespace {
// A vertical window scroll bar whose line messages are counted.
class TWheelTarget : public TCustomControl {
    DBV_CLASS(TWheelTarget, TCustomControl)
public:
    using TCustomControl::TCustomControl;
    int linesUp = 0, linesDown = 0;

protected:
    void CreateParams(TCreateParams& P) override {
        inherited::CreateParams(P);
        P.Style |= WS_VSCROLL;
    }
    void WMVScroll(TMessage& M) override {
        if (TWMScroll(M).ScrollCode() == SB_LINEUP) ++linesUp;
        if (TWMScroll(M).ScrollCode() == SB_LINEDOWN) ++linesDown;
    }
};
DBV_IMPLEMENT_CLASS(TWheelTarget)
}  // namespace

using WindowDetailsTest = WinTest;

TEST_F(WindowDetailsTest, WheelEventsRunBeforeTheDefaultAndHandledStopsIt) {
    auto* f = NewForm();
    auto* target = Add<TWheelTarget>(f, 10, 10, 120, 100);
    auto* inner = Add<TPanel>(target, 5, 5, 40, 30);  // no bar: passes the wheel up
    inner->SetTabStop(true);
    f->Show();
    std::vector<std::string> log;
    target->OnMouseWheel = [&](TObject*, TShiftState s, int delta, TPoint pos, bool& handled) {
        log.push_back("wheel " + std::to_string(delta) + (s.Contains(ssShift) ? " shift" : "") +
                      " at " + std::to_string(pos.X) + "," + std::to_string(pos.Y));
        handled = delta == 2 * WHEEL_DELTA;
    };
    target->OnMouseWheelUp = [&](TObject*, TShiftState, TPoint, bool&) { log.push_back("up"); };
    target->OnMouseWheelDown = [&](TObject*, TShiftState, TPoint, bool& handled) {
        log.push_back("down");
        handled = true;
    };
    target->SetFocus();
    TPoint at = target->ClientToScreen({20, 30});
    vt::MouseMove(target, 20, 30);

    // Up, unhandled: the events run, then the bar scrolls three lines.
    vt::MouseWheel(WHEEL_DELTA, {ssShift});
    EXPECT_EQ(log, (std::vector<std::string>{"wheel 120 shift at " + std::to_string(at.X) + "," +
                                                 std::to_string(at.Y),
                                             "up"}));
    EXPECT_EQ(target->linesUp, 3);
    // Handled by OnMouseWheel: no up event, no scrolling.
    log.clear();
    vt::MouseWheel(2 * WHEEL_DELTA);
    EXPECT_EQ(log.size(), 1u);
    EXPECT_EQ(target->linesUp, 3);
    // Down, handled by OnMouseWheelDown: no scrolling either.
    log.clear();
    vt::MouseWheel(-WHEEL_DELTA);
    EXPECT_EQ(log, (std::vector<std::string>{"wheel -120 at " + std::to_string(at.X) + "," +
                                                 std::to_string(at.Y),
                                             "down"}));
    EXPECT_EQ(target->linesDown, 0);

    // A focused child that leaves the wheel alone passes it to its parent's events.
    bool innerSaw = false;
    inner->OnMouseWheel = [&](TObject*, TShiftState, int, TPoint, bool&) { innerSaw = true; };
    inner->SetFocus();
    log.clear();
    vt::MouseWheel(WHEEL_DELTA);
    EXPECT_TRUE(innerSaw);
    EXPECT_EQ(log.size(), 2u);
    EXPECT_EQ(target->linesUp, 6);
}

TEST_F(WindowDetailsTest, AnchoredControlsKeepTheirDistancesWhenTheParentResizes) {
    auto* f = NewForm(400, 300);
    TRect cr = f->GetClientRect();
    struct Case {
        TAnchors anchors;
        TRect grown;  // bounds once the client area is 100 wider and 50 higher
    };
    const Case cases[] = {
        {{akLeft, akTop}, Bounds(20, 30, 60, 40)},
        {{akRight, akTop}, Bounds(120, 30, 60, 40)},
        {{akLeft, akRight, akTop}, Bounds(20, 30, 160, 40)},
        {{akLeft, akBottom}, Bounds(20, 80, 60, 40)},
        {{akLeft, akTop, akRight, akBottom}, Bounds(20, 30, 160, 90)},
        {{}, Bounds(70, 55, 60, 40)},  // neither side: the centre moves by half
    };
    std::vector<TPanel*> panels;
    for (const Case& c : cases) {
        auto* p = Add<TPanel>(f, 20, 30, 60, 40);
        p->SetAnchors(c.anchors);
        panels.push_back(p);
    }
    f->Show();
    f->SetBounds(f->GetLeft(), f->GetTop(), f->GetWidth() + 100, f->GetHeight() + 50);
    ASSERT_EQ(f->GetClientWidth(), cr.Width() + 100);
    for (size_t i = 0; i < panels.size(); ++i)
        EXPECT_EQ(panels[i]->GetBoundsRect(), cases[i].grown) << "case " << i;
    // Back to the first size: every control is where it began (no drift from rounding).
    f->SetBounds(f->GetLeft(), f->GetTop(), f->GetWidth() - 100, f->GetHeight() - 50);
    for (size_t i = 0; i < panels.size(); ++i)
        EXPECT_EQ(panels[i]->GetBoundsRect(), Bounds(20, 30, 60, 40)) << "case " << i;

    // Moving a control by hand makes its new place what the anchors keep.
    TPanel* right = panels[1];
    right->SetLeft(300);
    f->SetWidth(f->GetWidth() + 10);
    EXPECT_EQ(right->GetLeft(), 310);
    // Anchors also hold inside nested parents, and a stretched control shrinks again.
    auto* box = Add<TPanel>(f, 0, 0, 200, 100);
    box->SetAnchors({akLeft, akTop, akRight, akBottom});
    auto* inner = Add<TPanel>(box, 10, 10, 150, 20);
    inner->SetAnchors({akLeft, akTop, akRight});
    f->SetWidth(f->GetWidth() - 50);
    EXPECT_EQ(box->GetWidth(), 150);
    EXPECT_EQ(inner->GetWidth(), 100);
}

TEST_F(WindowDetailsTest, ConstraintsLimitEverySizeFormsIncluded) {
    auto* f = NewForm(400, 300);
    auto* p = Add<TPanel>(f, 10, 10, 100, 50);
    p->GetConstraints()->SetMinWidth(80);
    p->GetConstraints()->SetMaxHeight(60);
    p->SetBounds(10, 10, 20, 200);
    EXPECT_EQ(p->GetBoundsRect(), Bounds(10, 10, 80, 60));
    // A new limit applies to the present size at once.
    p->GetConstraints()->SetMaxWidth(50);  // lowers the minimum with it
    EXPECT_EQ(p->GetConstraints()->GetMinWidth(), 50);
    EXPECT_EQ(p->GetWidth(), 50);
    // Alignment and anchors go through the same limits.
    auto* top = Add<TPanel>(f, 0, 0, 10, 30);
    top->GetConstraints()->SetMaxWidth(200);
    top->SetAlign(alTop);
    EXPECT_EQ(top->GetWidth(), 200);
    auto* wide = Add<TPanel>(f, 0, 100, 100, 30);
    wide->SetAnchors({akLeft, akTop, akRight});
    wide->GetConstraints()->SetMaxWidth(150);
    f->SetWidth(f->GetWidth() + 200);
    EXPECT_EQ(wide->GetWidth(), 150);

    f->GetConstraints()->SetMinWidth(250);
    f->GetConstraints()->SetMinHeight(150);
    f->GetConstraints()->SetMaxWidth(500);
    f->Show();
    f->SetBounds(f->GetLeft(), f->GetTop(), 100, 100);
    EXPECT_EQ(f->GetWidth(), 250);
    EXPECT_EQ(f->GetHeight(), 150);
    f->SetWidth(2000);
    EXPECT_EQ(f->GetWidth(), 500);

    // Assign copies the limits.
    auto* copy = Create<TSizeConstraints>();
    copy->Assign(f->GetConstraints());
    EXPECT_EQ(copy->GetMaxWidth(), 500);
    EXPECT_EQ(copy->GetMinHeight(), 150);
    copy->Free();
}
