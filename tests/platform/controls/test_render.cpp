// Painting: the paint cycle, the canvas log of a paint, and rendering forms to images.
#include <cstdio>
#include <memory>

#include "controls_test_util.h"
#include "support/paths.h"

using namespace vcl;
using namespace win;

namespace {
// Paints a filled square in its colour and notes the order of painting.
class TSwatch : public TGraphicControl {
    DBV_CLASS(TSwatch, TGraphicControl)
public:
    using TGraphicControl::TGraphicControl;
    std::vector<std::string>* order = nullptr;

protected:
    void Paint() override {
        if (order) order->push_back(GetName());
        GetCanvas()->GetBrush()->SetColor(GetColor());
        GetCanvas()->FillRect(GetClientRect());
    }
};
DBV_IMPLEMENT_CLASS(TSwatch)
}  // namespace

TEST_F(WinTest, PanelPaintLogFollowsThePlatformsPanel) {
    TForm* f = NewForm(300, 200);
    f->Show();
    auto* p = Add<TPanel>(f, 10, 10, 120, 40);
    p->SetCaption("Status");
    p->SetBevelInner(bvLowered);
    p->SetBorderWidth(2);
    TCanvasLog log = vt::PaintLog(p);
    ASSERT_GE(log.size(), 5u);
    EXPECT_EQ(log[0].Kind, ckFrame3D);  // outer bevel, raised
    EXPECT_EQ(log[0].Rect, Rect(0, 0, 120, 40));
    EXPECT_EQ(log[0].PenColor, clBtnHighlight);
    EXPECT_EQ(log[0].BrushColor, clBtnShadow);
    EXPECT_EQ(log[1].Kind, ckFrame3D);  // border in the panel colour
    EXPECT_EQ(log[1].Rect, Rect(1, 1, 119, 39));
    EXPECT_EQ(log[1].Flags, 2u);
    EXPECT_EQ(log[2].Kind, ckFrame3D);  // inner bevel, lowered
    EXPECT_EQ(log[2].Rect, Rect(3, 3, 117, 37));
    EXPECT_EQ(log[2].PenColor, clBtnShadow);
    EXPECT_EQ(log[3].Kind, ckFillRect);
    EXPECT_EQ(log[3].Rect, Rect(4, 4, 116, 36));
    const TCanvasOp& text = log.back();
    EXPECT_EQ(text.Kind, ckDrawText);
    EXPECT_EQ(text.Text, "Status");
    EXPECT_EQ(text.Flags, DT_EXPANDTABS | DT_VCENTER | DT_CENTER);
}

TEST_F(WinTest, ChildrenPaintInZOrderIntoTheFormSurface) {
    TForm* f = NewForm(300, 200);
    f->SetColor(clWhite);
    f->Show();
    std::vector<std::string> order;
    auto* red = Add<TSwatch>(f, 10, 10, 50, 50);
    red->SetName("red");
    red->SetColor(clRed);
    auto* blue = Add<TSwatch>(f, 30, 30, 50, 50);
    blue->SetName("blue");
    blue->SetColor(clBlue);
    for (TSwatch* s : {red, blue}) s->order = &order;
    Application->ProcessMessages();
    EXPECT_EQ(order, (std::vector<std::string>{"red", "blue"}));
    order.clear();
    int presents = backend.PresentCount();
    std::unique_ptr<TBitmap> img(RenderForm(f, false));
    EXPECT_GT(backend.PresentCount(), presents);  // the backend hears of new pixels
    EXPECT_EQ(order, (std::vector<std::string>{"red", "blue"}));
    EXPECT_EQ(img->GetPixel(15, 15), clRed);
    EXPECT_EQ(img->GetPixel(40, 40), clBlue);  // blue is above
    EXPECT_EQ(img->GetPixel(200, 150), clWhite);
    red->BringToFront();
    Application->ProcessMessages();
    order.clear();
    img.reset(RenderForm(f, false));
    EXPECT_EQ(order, (std::vector<std::string>{"blue", "red"}));
    EXPECT_EQ(img->GetPixel(40, 40), clRed);

    // Invalidating one control repaints only what it covers.
    Application->ProcessMessages();
    order.clear();
    blue->Invalidate();
    Application->ProcessMessages();
    EXPECT_EQ(order, (std::vector<std::string>{"blue", "red"}));  // red overlaps the area
    order.clear();
    TRect far = Rect(200, 100, 210, 110);
    InvalidateRect(f->GetHandle(), &far, true);
    Application->ProcessMessages();
    EXPECT_TRUE(order.empty());
}

TEST_F(WinTest, RenderFormToPng) {
    TForm* f = NewForm(320, 200, "Table browser");
    f->Show();
    auto* top = Add<TPanel>(f, 0, 0, 10, 29);
    top->SetAlign(alTop);
    top->SetCaption("Customer");
    top->SetBevelInner(bvRaised);
    top->SetBevelOuter(bvLowered);
    auto* status = Add<TPanel>(f, 0, 0, 10, 22);
    status->SetAlign(alBottom);
    status->SetBevelInner(bvLowered);
    status->SetCaption("Record 1 of 12");
    status->SetAlignment(taLeftJustify);
    auto* body = Add<TPanel>(f, 0, 0, 10, 10);
    body->SetAlign(alClient);
    body->SetBevelOuter(bvNone);
    body->SetColor(clWindow);
    auto* ok = Add<TButton>(body, 20, 20, 75, 25);
    ok->SetCaption("OK");
    ok->SetDefault(true);
    auto* cancel = Add<TButton>(body, 105, 20, 75, 25);
    cancel->SetCaption("Cancel");
    HWND h = body->GetHandle();
    SetScrollRange(h, SB_VERT, 0, 99, false);
    SetScrollPos(h, SB_VERT, 30, true);

    std::string file = dbvtest::BuildDir() + "/render_form.png";
    std::remove(file.c_str());
    SaveFormToPng(f, file);
    std::unique_ptr<TPngImage> png(Create<TPngImage>());
    png->LoadFromFile(file);
    EXPECT_EQ(png->GetWidth(), 320);
    EXPECT_EQ(png->GetHeight(), 200);
    std::unique_ptr<TBitmap> img(RenderForm(f, true));
    TPoint c = {4, 4 + 19};  // client origin inside the frame
    // Top panel: lowered outer bevel, shadow on its top-left pixel.
    EXPECT_EQ(img->GetPixel(c.X, c.Y), ColorToRGB(clBtnShadow));
    EXPECT_EQ(img->GetPixel(c.X + 10, c.Y + 15), ColorToRGB(clBtnFace));
    // The body is white where nothing is painted; the caption bar carries the active colour.
    EXPECT_EQ(img->GetPixel(c.X + 250, c.Y + 100), ColorToRGB(clWindow));
    EXPECT_EQ(img->GetPixel(100, 10), ColorToRGB(clActiveCaption));
    std::unique_ptr<TBitmap> client(RenderForm(f, false));
    EXPECT_EQ(client->GetWidth(), f->GetClientWidth());
    EXPECT_EQ(client->GetPixel(0, 0), img->GetPixel(c.X, c.Y));
    // A hidden form cannot be rendered.
    f->Hide();
    EXPECT_THROW(RenderForm(f), EInvalidOperation);
}

TEST_F(WinTest, PaintingOnAGivenContextAndOnTheCanvasOutsideAPaint) {
    TForm* f = NewForm(300, 200);
    f->SetColor(clWhite);
    f->Show();
    auto* sw = Add<TSwatch>(f, 10, 10, 20, 20);
    sw->SetColor(clLime);
    // Painted as a copy into a bitmap of its own (a grid painting a control in a cell).
    std::unique_ptr<TBitmap> copy(Create<TBitmap>());
    copy->SetSize(40, 40);
    TDeviceContext dc = DCForBitmap(copy.get(), {10, 10});
    dc.Clip = Rect(10, 10, 30, 30);
    sw->Perform(WM_PAINT, DCToWParam(&dc));
    EXPECT_EQ(copy->GetPixel(15, 15), clLime);
    EXPECT_EQ(copy->GetPixel(5, 5), clWhite);

    // Drawing on a control's canvas outside a paint lands on the form, clipped to the control.
    Application->ProcessMessages();
    auto* pnl = Add<TPanel>(f, 100, 50, 60, 40);
    Application->ProcessMessages();
    pnl->GetCanvas()->GetBrush()->SetColor(clRed);
    pnl->GetCanvas()->FillRect(Rect(-20, -20, 200, 200));
    TBitmap* surface = PaintedWindowSurface(f->GetHandle());
    ASSERT_NE(surface, nullptr);
    TPoint o = f->ClientToScreen({0, 0});
    int dx = o.X - f->GetLeft(), dy = o.Y - f->GetTop();
    EXPECT_EQ(surface->GetPixel(dx + 120, dy + 60), clRed);
    EXPECT_EQ(surface->GetPixel(dx + 95, dy + 60), clWhite);  // outside the panel
    EXPECT_EQ(surface->GetPixel(dx + 165, dy + 60), clWhite);
}
