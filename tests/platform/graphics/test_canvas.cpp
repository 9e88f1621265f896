// Colours, fonts and the canvas: DrawText placement, wrap, ellipses and prefix, rotation,
// frames, raster modes, clipping, the operation log and determinism.
#include "gfx_test_util.h"

using namespace vcl;
using gfxtest::Ink;
using gfxtest::Surface;

TEST(Colors, SystemColoursResolveToClassicValues) {
    EXPECT_EQ(uint32_t(clBtnFace), 0x8000000Fu);
    EXPECT_EQ(ColorToRGB(clBtnFace), RGB(192, 192, 192));
    EXPECT_EQ(ColorToRGB(clBtnShadow), 8421504);
    EXPECT_EQ(ColorToRGB(clHighlight), clNavy);
    EXPECT_EQ(ColorToRGB(clWindow), clWhite);
    EXPECT_EQ(ColorToRGB(clInfoBk), RGB(255, 255, 225));
    EXPECT_EQ(ColorToRGB(clRed), 0x0000FF);
    EXPECT_EQ(ColorToString(clBtnFace), "clBtnFace");
    EXPECT_EQ(StringToColor("clNavy"), 0x800000);
    EXPECT_EQ(StringToColor("$00FF8000"), 0xFF8000);
    SetSysColor(COLOR_BTNFACE, RGB(212, 208, 200));
    EXPECT_EQ(ColorToRGB(clBtnFace), RGB(212, 208, 200));
    ResetSysColors();
    // Every colour is pure on a true-colour target; a palette bitmap gives its nearest entry.
    auto b = Surface(2, 2);
    EXPECT_EQ(GetNearestColor(b->GetCanvas(), RGB(1, 2, 3)), RGB(1, 2, 3));
    b->SetPixelFormat(pf4bit);
    EXPECT_EQ(GetNearestColor(b->GetCanvas(), RGB(250, 5, 5)), clRed);
}

TEST(Fonts, SizeHeightAndChainedChangeEvents) {
    TFont f;
    EXPECT_EQ(f.GetName(), "MS Sans Serif");
    EXPECT_EQ(f.GetSize(), 8);
    const struct { int size, height; } table[] = {{8, -11}, {9, -12}, {10, -13}, {12, -16}};
    for (auto t : table) {
        f.SetSize(t.size);
        EXPECT_EQ(f.GetHeight(), t.height);
        f.SetHeight(t.height);
        EXPECT_EQ(f.GetSize(), t.size);
    }
    std::vector<std::string> calls;
    f.OnChange = [&](TObject*) { calls.push_back("first"); };
    TNotifyEvent saved = f.OnChange;
    f.OnChange = [&, saved](TObject* s) { calls.push_back("second"); saved(s); };
    f.SetColor(clRed);
    EXPECT_EQ(calls, (std::vector<std::string>{"second", "first"}));
    TFont g;
    g.SetName("Courier New");
    g.SetStyle({fsBold, fsItalic});
    g.SetOrientation(900);
    calls.clear();
    f.Assign(&g);
    EXPECT_EQ(calls.size(), 2u);  // one change for the whole copy
    EXPECT_EQ(f.GetName(), "Courier New");
    EXPECT_EQ(f.GetOrientation(), 900);
    EXPECT_NE(f.FontFile().find("Mono-BoldItalic"), std::string::npos);
    // Handles carry every attribute of the logical font.
    TFont h;
    h.SetHandle(g.GetHandle());
    EXPECT_EQ(h.GetStyle(), (TFontStyles{fsBold, fsItalic}));
    EXPECT_EQ(h.GetName(), "Courier New");
}

TEST(Fonts, FacesMapToMetricCompatibleFilesAndMetricsAreStable) {
    EXPECT_NE(MapFontFile("Arial", false, false, fpDefault).find("LiberationSans-Regular"), std::string::npos);
    EXPECT_NE(MapFontFile("times new roman", true, false, fpDefault).find("LiberationSerif-Bold"), std::string::npos);
    EXPECT_NE(MapFontFile("NoSuchFace", false, false, fpFixed).find("Mono"), std::string::npos);
    TFont f;
    TTextMetric m = f.Metrics();
    // The default 8-point sans face: 13 pixels high, the height the edit layouts rely on.
    EXPECT_EQ(m.tmHeight, 13);
    EXPECT_EQ(m.tmAscent + m.tmDescent, m.tmHeight);
    EXPECT_EQ(m.tmAveCharWidth, 6);  // the metric-compatible face's own average width
    EXPECT_TRUE(m.tmPitchAndFamily & TMPF_TRUETYPE);
    EXPECT_GT(GetSystemFontMetrics().tmHeight, 0);
    TCanvas c;
    EXPECT_EQ(c.TextHeight("Xg"), 13);
    EXPECT_EQ(c.TextWidth(""), 0);
    EXPECT_GT(c.TextWidth("WWW"), c.TextWidth("iii"));
    EXPECT_EQ(c.TextWidth("ab") , c.TextWidth("a") + c.TextWidth("b"));
}

TEST(Canvas, DrawTextPlacesTheCaptionInNinePositions) {
    auto b = Surface(120, 60);
    TCanvas* c = b->GetCanvas();
    c->GetBrush()->SetStyle(bsClear);
    int w = c->TextWidth("Hi"), h = c->TextHeight("Hi");
    const TRect r{10, 10, 110, 50};
    const struct { uint32_t flags; int x, y; } cases[] = {
        {DT_LEFT | DT_TOP, 10, 10}, {DT_CENTER | DT_TOP, (10 + 110 - w) / 2, 10},
        {DT_RIGHT | DT_TOP, 110 - w, 10}, {DT_LEFT | DT_VCENTER, 10, (10 + 50 - h) / 2},
        {DT_CENTER | DT_VCENTER, (120 - w) / 2, (60 - h) / 2}, {DT_RIGHT | DT_BOTTOM, 110 - w, 50 - h},
        {DT_LEFT | DT_BOTTOM, 10, 50 - h}};
    // The ink of "Hi" drawn at a known origin, to compare against.
    auto ref = Surface(120, 60);
    ref->GetCanvas()->GetBrush()->SetStyle(bsClear);
    ref->GetCanvas()->TextOut(0, 0, "Hi");
    TRect inkAt0 = Ink(*ref);
    for (auto t : cases) {
        SCOPED_TRACE(t.flags);
        c->GetBrush()->SetStyle(bsSolid);
        c->FillRect({0, 0, 120, 60});
        c->GetBrush()->SetStyle(bsClear);
        TRect rr = r;
        int ret = c->DrawText("Hi", rr, t.flags | DT_SINGLELINE);
        TRect ink = Ink(*b);
        EXPECT_EQ(ink.Left - inkAt0.Left, t.x);
        EXPECT_EQ(ink.Top - inkAt0.Top, t.y);
        EXPECT_EQ(ret, (t.flags & (DT_VCENTER | DT_BOTTOM)) ? t.y + h - r.Top : h);
    }
}

TEST(Canvas, DrawTextWrapsMeasuresAndFits) {
    TBitmap b;
    b.SetSize(10, 10);
    TCanvas* c = b.GetCanvas();
    int h = c->TextHeight("X");
    // Word wrap: the rectangle's width decides the lines; a long word keeps a line to itself.
    int widest = std::max(c->TextWidth("alpha beta"), c->TextWidth("gamma delta"));
    TRect r{0, 0, widest + 1, 0};
    EXPECT_EQ(c->DrawText("alpha beta gamma delta", r, DT_WORDBREAK | DT_CALCRECT), 2 * h);
    EXPECT_EQ(r.Bottom, 2 * h);
    EXPECT_EQ(r.Right, widest);
    TRect narrow{0, 0, 5, 0};
    EXPECT_EQ(c->DrawText("one two three", narrow, DT_WORDBREAK | DT_CALCRECT), 3 * h);
    TRect lines{0, 0, 500, 0};
    EXPECT_EQ(c->DrawText("a\r\nb\nc\rd", lines, DT_CALCRECT), 4 * h);
    TRect single{0, 0, 500, 0};
    EXPECT_EQ(c->DrawText("a\r\nb", single, DT_CALCRECT | DT_SINGLELINE), h);
    EXPECT_EQ(single.Right, c->TextWidth("ab"));
    // The prefix character is not measured; "&&" is one ampersand.
    TRect p{0, 0, 500, 0};
    c->DrawText("&Save && exit", p, DT_CALCRECT | DT_SINGLELINE);
    EXPECT_EQ(p.Right, c->TextWidth("Save & exit"));
    TRect np{0, 0, 500, 0};
    c->DrawText("&Save", np, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
    EXPECT_EQ(np.Right, c->TextWidth("&Save"));
    // Tabs expand to stops of eight average character widths.
    TRect t{0, 0, 500, 0};
    c->DrawText("a\tb", t, DT_CALCRECT | DT_SINGLELINE | DT_EXPANDTABS);
    EXPECT_EQ(t.Right, 8 * c->GetTextMetrics().tmAveCharWidth + c->TextWidth("b"));

    // Ellipses, with the fitted text handed back.
    const int width = c->TextWidth("C:\\data\\...\\ORDERS.DBF") + 2;
    std::string path = "C:\\data\\customers\\2024\\ORDERS.DBF";
    TRect pr{0, 0, width, 20};
    DrawText(c, path, pr, DT_SINGLELINE | DT_PATH_ELLIPSIS | DT_MODIFYSTRING | DT_CALCRECT);
    EXPECT_EQ(path.substr(path.size() - 14), "...\\ORDERS.DBF");
    EXPECT_LE(c->TextWidth(path), width);
    EXPECT_EQ(path.rfind("C:\\", 0), 0u);
    std::string end = "A caption that is too long";
    TRect er{0, 0, c->TextWidth("A caption..."), 20};
    DrawText(c, end, er, DT_SINGLELINE | DT_END_ELLIPSIS | DT_MODIFYSTRING);
    EXPECT_EQ(end, "A caption...");
    std::string fits = "short";
    TRect fr{0, 0, 200, 20};
    DrawText(c, fits, fr, DT_SINGLELINE | DT_END_ELLIPSIS | DT_MODIFYSTRING);
    EXPECT_EQ(fits, "short");
}

TEST(Canvas, PrefixUnderlineAndClipping) {
    auto a = Surface(60, 20), b = Surface(60, 20);
    for (auto* bm : {a.get(), b.get()}) bm->GetCanvas()->GetBrush()->SetStyle(bsClear);
    TRect r{0, 0, 60, 20};
    a->GetCanvas()->DrawText("&File", r, DT_SINGLELINE);
    b->GetCanvas()->DrawText("File", r, DT_SINGLELINE | DT_NOPREFIX);
    // The only difference is the underline below the F.
    TRect diff{60, 20, 0, 0};
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 60; ++x)
            if (a->GetPixel(x, y) != b->GetPixel(x, y)) {
                diff = {std::min(diff.Left, x), std::min(diff.Top, y), std::max(diff.Right, x + 1), std::max(diff.Bottom, y + 1)};
            }
    int fw = b->GetCanvas()->TextWidth("F");
    EXPECT_EQ(diff.Left, 0);
    EXPECT_LE(diff.Right, fw);
    EXPECT_GE(diff.Top, b->GetCanvas()->GetTextMetrics().tmAscent);
    // Text is clipped to the rectangle unless DT_NOCLIP.
    auto c = Surface(60, 20);
    c->GetCanvas()->GetBrush()->SetStyle(bsClear);
    TRect small{0, 0, 6, 20};
    c->GetCanvas()->DrawText("Wide text", small, DT_SINGLELINE);
    EXPECT_LE(Ink(*c).Right, 6);
    TRect small2{0, 0, 6, 20};
    c->GetCanvas()->DrawText("Wide text", small2, DT_SINGLELINE | DT_NOCLIP);
    EXPECT_GT(Ink(*c).Right, 20);
}

TEST(Canvas, TextRectIsOpaqueAndClippedUnlessTheBrushIsClear) {
    auto b = Surface(50, 20);
    TCanvas* c = b->GetCanvas();
    c->GetBrush()->SetColor(clYellow);
    c->TextRect({5, 5, 25, 15}, 7, 3, "Clipped text");
    EXPECT_EQ(Ink(*b), (TRect{5, 5, 25, 15}));
    EXPECT_EQ(b->GetPixel(24, 14) == clYellow || b->GetPixel(24, 14) != clWhite, true);
    auto d = Surface(50, 20);
    d->GetCanvas()->GetBrush()->SetStyle(bsClear);
    d->GetCanvas()->TextRect({5, 5, 25, 15}, 7, 3, "Clipped text");
    TRect ink = Ink(*d);
    EXPECT_GE(ink.Left, 7);
    EXPECT_LE(ink.Right, 25);
    EXPECT_EQ(d->GetPixel(5, 5), clWhite);
}

TEST(Canvas, RotatedTextRunsUpwards) {
    auto b = Surface(60, 120);
    TCanvas* c = b->GetCanvas();
    c->GetBrush()->SetStyle(bsClear);
    c->GetFont()->SetOrientation(900);
    c->TextOut(20, 100, "Rotated");
    TRect ink = Ink(*b);
    int w = c->TextWidth("Rotated"), h = c->TextHeight("Rotated");
    // 90 degrees counter-clockwise about (20, 100): up the page, the cell to the right of x=20.
    EXPECT_GT(ink.Height(), w - 6);
    EXPECT_LE(ink.Bottom, 101);
    EXPECT_GE(ink.Top, 100 - w - 1);
    EXPECT_GE(ink.Left, 19);
    EXPECT_LE(ink.Right, 20 + h + 1);
    EXPECT_LT(ink.Width(), h + 2);
}

TEST(Canvas, Frame3DPaintsBothColoursAndShrinks) {
    auto b = Surface(8, 6, clSilver);
    TRect r{0, 0, 8, 6};
    b->GetCanvas()->Frame3D(r, clWhite, clBlack, 1);
    EXPECT_EQ(r, (TRect{1, 1, 7, 5}));
    const char* want[] = {"WWWWWWWB", "W......B", "W......B", "W......B", "W......B", "BBBBBBBB"};
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 8; ++x) {
            TColor p = b->GetPixel(x, y);
            char got = p == clWhite ? 'W' : p == clBlack ? 'B' : '.';
            EXPECT_EQ(got, want[y][x]) << x << "," << y;
        }
    TRect r2{0, 0, 8, 6};
    b->GetCanvas()->Frame3D(r2, clWhite, clBlack, 2);
    EXPECT_EQ(r2, (TRect{2, 2, 6, 4}));
    EXPECT_EQ(b->GetPixel(1, 1), clWhite);
    EXPECT_EQ(b->GetPixel(6, 4), clBlack);
    EXPECT_EQ(b->GetPixel(2, 2), clSilver);
}

TEST(Canvas, DrawEdgeColoursBySideAndAdjust) {
    auto b = Surface(10, 10, clBtnFace);
    TCanvas* c = b->GetCanvas();
    TRect r{0, 0, 10, 10};
    c->DrawEdge(r, BDR_RAISEDINNER, BF_BOTTOMRIGHT);
    EXPECT_EQ(b->GetPixel(9, 5), ColorToRGB(clBtnShadow));
    EXPECT_EQ(b->GetPixel(5, 9), ColorToRGB(clBtnShadow));
    EXPECT_EQ(b->GetPixel(0, 5), ColorToRGB(clBtnFace));
    c->DrawEdge(r, BDR_RAISEDINNER, BF_TOPLEFT);
    EXPECT_EQ(b->GetPixel(0, 5), clWhite);
    EXPECT_EQ(b->GetPixel(5, 0), clWhite);
    TRect s{0, 0, 10, 10};
    c->DrawEdge(s, EDGE_SUNKEN, BF_RECT | BF_ADJUST);
    EXPECT_EQ(s, (TRect{2, 2, 8, 8}));
    EXPECT_EQ(b->GetPixel(0, 4), ColorToRGB(clBtnShadow));
    EXPECT_EQ(b->GetPixel(1, 4), ColorToRGB(cl3DDkShadow));
    EXPECT_EQ(b->GetPixel(9, 4), clWhite);
    EXPECT_EQ(b->GetPixel(8, 4), ColorToRGB(cl3DLight));
    // A frame control paints its arrow; inactive greys it, pushed moves it.
    auto f1 = Surface(17, 17), f2 = Surface(17, 17), f3 = Surface(17, 17);
    f1->GetCanvas()->DrawFrameControl({0, 0, 17, 17}, DFC_SCROLL, DFCS_SCROLLCOMBOBOX);
    f2->GetCanvas()->DrawFrameControl({0, 0, 17, 17}, DFC_SCROLL, DFCS_SCROLLCOMBOBOX | DFCS_INACTIVE);
    f3->GetCanvas()->DrawFrameControl({0, 0, 17, 17}, DFC_SCROLL, DFCS_SCROLLCOMBOBOX | DFCS_PUSHED);
    TRect arrow = Ink(*f1, ColorToRGB(clBtnFace));
    (void)arrow;
    EXPECT_EQ(f1->GetPixel(8, 8), clBlack);
    EXPECT_NE(f2->GetPixel(8, 8), clBlack);
    EXPECT_EQ(f3->GetPixel(9, 9), clBlack);
}

TEST(Canvas, XorModesAndFocusRectanglesUndoThemselves) {
    auto b = Surface(40, 30);
    TCanvas* c = b->GetCanvas();
    c->GetBrush()->SetColor(clTeal);
    c->FillRect({5, 5, 30, 20});
    std::string before = b->SaveToBytes();
    c->DrawFocusRect({3, 3, 33, 25});
    EXPECT_NE(b->SaveToBytes(), before);
    c->DrawFocusRect({3, 3, 33, 25});
    EXPECT_EQ(b->SaveToBytes(), before);
    c->GetPen()->SetMode(pmNotXor);
    c->GetPen()->SetStyle(psDot);
    c->GetBrush()->SetStyle(bsClear);
    c->Rectangle(2, 2, 35, 27);
    EXPECT_NE(b->SaveToBytes(), before);
    c->Rectangle(2, 2, 35, 27);
    EXPECT_EQ(b->SaveToBytes(), before);
    c->GetPen()->SetMode(pmXor);
    c->GetPen()->SetColor(clWhite);
    c->GetPen()->SetStyle(psSolid);
    c->MoveTo(0, 0);
    c->LineTo(39, 29);
    EXPECT_EQ(b->GetPixel(0, 0), clBlack);  // white xor white
    EXPECT_EQ(b->GetPixel(39, 29), clWhite);  // the end point is not drawn
}

TEST(Canvas, ShapesPixelsAndClipping) {
    auto b = Surface(20, 20);
    TCanvas* c = b->GetCanvas();
    c->GetPen()->SetColor(clRed);
    c->GetBrush()->SetColor(clBlue);
    c->Rectangle(2, 2, 8, 6);
    EXPECT_EQ(Ink(*b), (TRect{2, 2, 8, 6}));
    EXPECT_EQ(b->GetPixel(2, 2), clRed);
    EXPECT_EQ(b->GetPixel(7, 5), clRed);
    EXPECT_EQ(b->GetPixel(4, 4), clBlue);
    c->SetPixels(15, 15, clLime);
    EXPECT_EQ(c->GetPixels(15, 15), clLime);
    EXPECT_EQ(c->GetPixels(-1, 0), -1);
    // A clip set on a fresh bitmap canvas holds for its first drawing.
    TBitmap fresh;
    fresh.SetSize(10, 10);
    EXPECT_EQ(fresh.GetCanvas()->GetClipRect(), (TRect{0, 0, 10, 10}));
    fresh.GetCanvas()->SetClipRect({0, 0, 5, 10});
    fresh.GetCanvas()->GetBrush()->SetColor(clBlack);
    fresh.GetCanvas()->FillRect({0, 0, 10, 10});
    EXPECT_EQ(fresh.GetPixel(4, 0), clBlack);
    EXPECT_EQ(fresh.GetPixel(5, 0), clWhite);
    // Intersect and exclude.
    auto d = Surface(20, 20);
    TCanvas* k = d->GetCanvas();
    k->IntersectClipRect({0, 0, 10, 10});
    k->ExcludeClipRect({2, 2, 5, 5});
    EXPECT_EQ(k->GetClipRect(), (TRect{0, 0, 10, 10}));
    k->GetBrush()->SetColor(clBlack);
    k->FillRect({0, 0, 20, 20});
    EXPECT_EQ(d->GetPixel(1, 1), clBlack);
    EXPECT_EQ(d->GetPixel(3, 3), clWhite);
    EXPECT_EQ(d->GetPixel(12, 12), clWhite);
    EXPECT_FALSE(k->PtVisible(3, 3));
    int level = k->SaveState();
    k->SetClipRect({15, 15, 20, 20});
    k->GetBrush()->SetColor(clRed);
    k->RestoreState(level);
    EXPECT_EQ(k->GetBrush()->GetColor(), clBlack);
    EXPECT_FALSE(k->PtVisible(3, 3));
    k->ResetClipRect();
    EXPECT_TRUE(k->PtVisible(3, 3));
    // An attached target with an origin and a device clip, as a window system uses it.
    std::vector<uint32_t> px(30 * 10, 0xFFFFFF);
    TCanvas w;
    TRect clip{10, 0, 20, 10};
    w.AttachPixels(px.data(), 30, 10, 30 * 4, {10, 2}, &clip);
    w.GetBrush()->SetColor(clRed);
    w.FillRect({-5, 0, 30, 3});
    EXPECT_EQ(px[2 * 30 + 9], 0xFFFFFFu);
    EXPECT_EQ(px[2 * 30 + 10] & 0xFFFFFF, 0xFF0000u);
    EXPECT_EQ(px[2 * 30 + 20], 0xFFFFFFu);
    EXPECT_EQ(w.GetPixels(0, 0), clRed);
    TCanvas on;
    on.AttachBitmap(d.get(), {5, 5});
    on.GetBrush()->SetColor(clLime);
    on.FillRect({0, 0, 1, 1});
    EXPECT_EQ(d->GetPixel(5, 5), clLime);
}

TEST(Canvas, TheLogRecordsWhatWasDrawn) {
    TCanvasLog log;
    auto b = Surface(50, 20);
    TCanvas* c = b->GetCanvas();
    c->SetLog(&log);
    c->GetFont()->SetColor(clGrayText);
    TRect r{0, 0, 50, 20};
    c->DrawText("OK", r, DT_CENTER | DT_SINGLELINE);
    TRect r2{2, 2, 50, 20};
    c->DrawText("OK", r2, DT_CENTER | DT_SINGLELINE);
    TRect f{0, 0, 50, 20};
    c->Frame3D(f, clBtnHighlight, clBtnShadow, 1);
    ASSERT_EQ(log.size(), 3u);  // Frame3D's own lines are not logged separately
    EXPECT_EQ(log[0].Kind, ckDrawText);
    EXPECT_EQ(log[0].Text, "OK");
    EXPECT_EQ(log[1].Rect.Left - log[0].Rect.Left, 2);
    EXPECT_EQ(log[0].FontColor, clGrayText);
    EXPECT_EQ(log[0].Flags, DT_CENTER | DT_SINGLELINE);
    EXPECT_EQ(log[2].Kind, ckFrame3D);
    EXPECT_EQ(log[2].PenColor, clBtnHighlight);
    // A canvas without pixels can still record (and measure).
    TCanvasLog only;
    TCanvas rec;
    rec.SetLog(&only);
    rec.FillRect({0, 0, 5, 5});
    rec.TextOut(1, 1, "x");
    EXPECT_EQ(only.size(), 2u);
    TCanvas none;
    EXPECT_THROW(none.FillRect({0, 0, 5, 5}), EInvalidOperation);
}

TEST(Canvas, TheSameDrawingGivesIdenticalBytes) {
    auto draw = [] {
        auto b = Surface(160, 80, clBtnFace);
        TCanvas* c = b->GetCanvas();
        c->GetFont()->SetName("Arial");
        c->GetFont()->SetStyle({fsBold});
        TRect r{4, 4, 156, 40};
        c->GetBrush()->SetStyle(bsClear);
        c->DrawText("Deterministic text, wrapped if need be", r, DT_WORDBREAK | DT_CENTER);
        c->GetFont()->SetOrientation(450);
        c->TextOut(10, 75, "Angle");
        c->GetBrush()->SetColor(clYellow);
        c->Ellipse(100, 40, 150, 75);
        TRect f{0, 0, 160, 80};
        c->Frame3D(f, clBtnHighlight, clBtnShadow, 2);
        return b->SaveToPngBytes();
    };
    std::string a = draw(), b = draw();
    EXPECT_EQ(a, b);
}

TEST(Canvas, CopiesAndTransparentDraws) {
    auto src = Surface(4, 4, clFuchsia);
    src->GetCanvas()->SetPixels(1, 1, clRed);
    src->GetCanvas()->SetPixels(0, 3, clFuchsia);
    auto dst = Surface(10, 10, clWhite);
    TCanvas* c = dst->GetCanvas();
    src->SetTransparent(true);  // the bottom-left pixel's colour is transparent
    c->Draw(2, 2, src.get());
    EXPECT_EQ(dst->GetPixel(3, 3), clRed);
    EXPECT_EQ(dst->GetPixel(2, 2), clWhite);
    src->SetTransparent(false);
    c->StretchDraw({0, 0, 8, 8}, src.get());
    EXPECT_EQ(dst->GetPixel(2, 2), clRed);
    EXPECT_EQ(dst->GetPixel(3, 3), clRed);
    EXPECT_EQ(dst->GetPixel(0, 0), clFuchsia);
    c->GetBrush()->SetColor(clLime);
    c->BrushCopy({0, 0, 4, 4}, src.get(), {0, 0, 4, 4}, clFuchsia);
    EXPECT_EQ(dst->GetPixel(0, 0), clLime);
    EXPECT_EQ(dst->GetPixel(1, 1), clRed);
    c->CopyRect({6, 6, 8, 8}, src->GetCanvas(), {1, 1, 3, 3});
    EXPECT_EQ(dst->GetPixel(6, 6), clRed);
    EXPECT_EQ(dst->GetPixel(7, 7), clFuchsia);
    c->SetCopyMode(cmSrcInvert);
    c->CopyRect({6, 6, 7, 7}, src->GetCanvas(), {1, 1, 2, 2});
    EXPECT_EQ(dst->GetPixel(6, 6), clBlack);
}
