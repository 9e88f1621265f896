// The scroll-bar control: mouse on its arrows, track and thumb (the window bars' input), keys,
// OnScroll/OnChange, PageSize, kinds and painting.
#include <memory>

#include "classes/filer.h"
#include "controls/scrollbar.h"
#include "controls_test_util.h"

using namespace vcl;
using namespace win;

namespace {
struct ScrollBarTest : WinTest {
    TForm* form = nullptr;
    TScrollBar* sb = nullptr;
    std::vector<std::string> log;
    void SetUp() override {
        form = NewForm(400, 300);
        sb = Add<TScrollBar>(form, 20, 20, 200, 16);
        sb->SetLargeChange(10);
        sb->OnScroll = [this](TObject*, TScrollCode code, int& pos) {
            static const char* const names[] = {"LineUp", "LineDown", "PageUp", "PageDown",
                                                "Position", "Track", "Top", "Bottom", "EndScroll"};
            log.push_back(std::string(names[code]) + " " + std::to_string(pos));
        };
        sb->OnChange = [this](TObject*) { log.push_back("change " + std::to_string(sb->GetPosition())); };
        form->Show();
        Application->ProcessMessages();
    }
};
}  // namespace

TEST_F(ScrollBarTest, MouseOnArrowsTrackAndThumbScrollsLikeWindowBars) {
    sb->SetPosition(50);
    log.clear();
    struct Case {
        int part;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {SB_LINEDOWN, {"LineDown 51", "change 51", "EndScroll 51"}},
        {SB_LINEUP, {"LineUp 50", "change 50", "EndScroll 50"}},
        {SB_PAGEDOWN, {"PageDown 60", "change 60", "EndScroll 60"}},
        {SB_PAGEUP, {"PageUp 50", "change 50", "EndScroll 50"}},
    };
    for (const Case& c : cases) {
        log.clear();
        vt::ScrollBarClick(sb, SB_CTL, c.part);
        EXPECT_EQ(log, c.expected) << c.part;
    }
    EXPECT_TRUE(sb->Focused());  // a press takes the focus

    // Holding an arrow repeats (first after 400 ms, then every 50 ms).
    log.clear();
    vt::ScrollBarPress(sb, SB_CTL, SB_LINEDOWN);
    clock.Advance(400 + 3 * 50);
    vt::ScrollBarRelease();
    EXPECT_EQ(sb->GetPosition(), 55);

    // The thumb follows the pointer: tracked positions, then the final one.
    log.clear();
    vt::DragScrollThumb(sb, SB_CTL, 80, 2);
    ASSERT_GE(log.size(), 4u);
    EXPECT_EQ(log.front().rfind("Track", 0), 0u);
    EXPECT_EQ(sb->GetPosition(), 80);
    EXPECT_EQ(log[log.size() - 2], "Position 80");  // no change: tracking got there
    EXPECT_EQ(log.back(), "EndScroll 80");
    // The thumb moved along: 80% of the way between the arrows, and the bar fills the control.
    TPoint thumb = sb->ScreenToClient(vt::ScrollBarPoint(sb, SB_CTL, SB_THUMBTRACK));
    int arrow = GetSystemMetrics(SM_CXHSCROLL), thumbLen = GetSystemMetrics(SM_CXHTHUMB);
    EXPECT_NEAR(thumb.X, arrow + (200 - 2 * arrow - thumbLen) * 80 / 100 + thumbLen / 2, 1);
    EXPECT_EQ(thumb.Y, 8);
    EXPECT_EQ(sb->ScreenToClient(vt::ScrollBarPoint(sb, SB_CTL, SB_LINEDOWN)).X, 200 - arrow / 2);

    // A disabled bar takes no input.
    sb->SetEnabled(false);
    log.clear();
    vt::ScrollBarClick(sb, SB_CTL, SB_LINEDOWN);
    EXPECT_TRUE(log.empty());
}

TEST_F(ScrollBarTest, KeysScrollAndOnScrollMayChangeWhereItGoes) {
    sb->SetSmallChange(2);
    sb->SetFocus();
    struct Case {
        uint16_t key;
        int position;
    };
    const Case cases[] = {{VK_RIGHT, 2}, {VK_DOWN, 4}, {VK_LEFT, 2}, {VK_NEXT, 12},
                          {VK_PRIOR, 2}, {VK_END, 100}, {VK_HOME, 0}};
    for (const Case& c : cases) {
        vt::PressKey(c.key);
        EXPECT_EQ(sb->GetPosition(), c.position) << c.key;
    }
    EXPECT_EQ(log.back(), "EndScroll 0");  // letting go of the key ends the scroll

    // A handler that snaps to tens.
    sb->OnScroll = [](TObject*, TScrollCode, int& pos) { pos = pos / 10 * 10; };
    sb->SetPosition(35);
    vt::PressKey(VK_RIGHT);
    EXPECT_EQ(sb->GetPosition(), 30);
}

TEST_F(ScrollBarTest, PageSizeLimitsScrollingAndRangesAreChecked) {
    sb->SetPageSize(20);
    EXPECT_EQ(sb->ScrollLimit(), 81);
    sb->SetFocus();
    vt::PressKey(VK_END);
    EXPECT_EQ(sb->GetPosition(), 81);
    vt::DragScrollThumb(sb, SB_CTL, 0);
    vt::DragScrollThumb(sb, SB_CTL, 100);
    EXPECT_EQ(sb->GetPosition(), 81);
    // The position itself may be set up to Max.
    sb->SetPosition(1000);
    EXPECT_EQ(sb->GetPosition(), 100);

    EXPECT_THROW(sb->SetMax(-5), EInvalidOperation);
    EXPECT_THROW(sb->SetPageSize(500), EInvalidOperation);
    EXPECT_EQ(sb->GetMax(), 100);
    sb->SetParams(5, 0, 10);
    EXPECT_EQ(sb->GetPosition(), 5);
    EXPECT_EQ(sb->GetMax(), 10);
}

TEST_F(ScrollBarTest, AVerticalBarTurnsAndScrollsAlongItsHeight) {
    sb->SetKind(sbVertical);
    EXPECT_EQ(sb->GetBoundsRect(), Bounds(20, 20, 16, 200));
    vt::ScrollBarClick(sb, SB_CTL, SB_PAGEDOWN);
    EXPECT_EQ(sb->GetPosition(), 10);
    vt::DragScrollThumb(sb, SB_CTL, 40);
    EXPECT_EQ(sb->GetPosition(), 40);
    TPoint thumb = sb->ScreenToClient(vt::ScrollBarPoint(sb, SB_CTL, SB_THUMBTRACK));
    EXPECT_EQ(thumb.X, 8);
    EXPECT_GT(thumb.Y, 40);

    // Painted like a window bar: track colour, raised thumb in the button face.
    Application->ProcessMessages();
    std::unique_ptr<TBitmap> img(RenderControl(sb));
    auto rgb = [](TColor c) {
        uint32_t v = uint32_t(ColorToRGB(c));
        return ((v & 0xFF) << 16) | (v & 0xFF00) | ((v >> 16) & 0xFF);
    };
    TPoint track = sb->ScreenToClient(vt::ScrollBarPoint(sb, SB_CTL, SB_PAGEDOWN));
    EXPECT_EQ(img->ScanLine(thumb.Y)[thumb.X] & 0xFFFFFF, rgb(clBtnFace));
    EXPECT_EQ(img->ScanLine(track.Y)[track.X] & 0xFFFFFF, rgb(clScrollBar));
}

TEST_F(ScrollBarTest, FormFilesKeepTheBarWhateverOrderItsPropertiesComeIn) {
    RegisterClasses({&TScrollBar::StaticClass()});
    TForm* g = NewForm(300, 200, "");
    // Position and PageSize come before the Max they need.
    ReadComponentFromText("object Viewer: TForm\n"
                          "  object Bar: TScrollBar\n"
                          "    Left = 8\n    Top = 8\n    Width = 16\n    Height = 150\n"
                          "    Position = 300\n    PageSize = 50\n    Kind = sbVertical\n"
                          "    Max = 500\n    Min = 10\n    LargeChange = 25\n"
                          "  end\nend\n",
                          g);
    auto* bar = dynamic_cast<TScrollBar*>(g->FindComponent("Bar"));
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(bar->GetKind(), sbVertical);
    EXPECT_EQ(bar->GetBoundsRect(), Bounds(8, 8, 16, 150));  // read sizes are not turned
    EXPECT_EQ(bar->GetPosition(), 300);
    EXPECT_EQ(bar->GetMin(), 10);
    EXPECT_EQ(bar->GetMax(), 500);
    EXPECT_EQ(bar->GetPageSize(), 50);
    EXPECT_EQ(bar->GetLargeChange(), 25);
    // Written back: what differs from the defaults.
    std::string text = ComponentToText(g);
    for (const char* line : {"Kind = sbVertical", "Max = 500", "Min = 10", "PageSize = 50", "Position = 300",
                             "LargeChange = 25"})
        EXPECT_NE(text.find(line), std::string::npos) << line << "\n" << text;
    EXPECT_EQ(text.find("SmallChange"), std::string::npos) << text;
    EXPECT_EQ(text.find("TabStop"), std::string::npos) << text;
}
