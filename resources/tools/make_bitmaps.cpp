// Draws every bitmap of the runtime library with the platform canvas and writes them as BMP
// files, then draws a sampler picture of the canvas operations and all bitmaps.
//
//   dbv_make_bitmaps <resources-dir> [<sampler.png>]
//
// The output is byte-identical from run to run; the .bmp files are committed.
#include <cmath>
#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "classes/streams.h"
#include "graphics/graphics.h"
#include "graphics/imglist.h"

using namespace vcl;

namespace {

// The transparent key of the navigator glyphs (their bottom-left pixel).
constexpr TColor kGlyphKey = clFuchsia;

std::unique_ptr<TBitmap> NewBitmap(int w, int h, TColor bg) {
    auto b = std::make_unique<TBitmap>();
    b->SetSize(w, h);
    TCanvas* c = b->GetCanvas();
    c->GetBrush()->SetColor(bg);
    c->FillRect({0, 0, w, h});
    return b;
}

void Save(const std::string& dir, const std::string& name, TBitmap* b, TPixelFormat pf) {
    b->SetPixelFormat(pf);
    std::string path = dir + "/" + name + ".bmp";
    TFileStream f(path, fmCreate);
    b->SaveToStream(f);
}

TColor Mix(TColor a, TColor b, double t) {
    a = ColorToRGB(a);
    b = ColorToRGB(b);
    auto ch = [&](int x, int y) { return int(std::lround(x + (y - x) * t)); };
    return RGB(ch(GetRValue(a), GetRValue(b)), ch(GetGValue(a), GetGValue(b)), ch(GetBValue(a), GetBValue(b)));
}

// ---- check and LED images (20 x 20, 16 colours, button-face background) ----

// A round lamp: a sunken two-tone bezel, the body with a darker lower-right crescent, and a
// small highlight at the upper left.
void Led(TBitmap* b, TColor body, TColor shade, TColor shine) {
    TCanvas* c = b->GetCanvas();
    const double cx = 9.5, cy = 9.5;
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 20; ++x) {
            double dx = x - cx, dy = y - cy, r = std::sqrt(dx * dx + dy * dy);
            if (r > 7.1) continue;
            if (r > 6.1) {
                c->SetPixels(x, y, dx + dy < 0 ? clGray : clWhite);
                continue;
            }
            if (r > 5.2) {
                c->SetPixels(x, y, dx + dy < 0 ? clBlack : shade);
                continue;
            }
            TColor col = body;
            double sx = x - (cx - 1.2), sy = y - (cy - 1.2);
            if (sx * sx + sy * sy > 30) col = shade;
            double hx = x - (cx - 2), hy = y - (cy - 2);
            if (hx * hx + hy * hy < 2.1) col = shine;
            c->SetPixels(x, y, col);
        }
}

void CheckImage(TBitmap* b, uint32_t state) {
    b->GetCanvas()->DrawFrameControl({0, 0, 20, 20}, DFC_BUTTON, DFCS_BUTTONCHECK | state);
}

// ---- arrows ----

void Triangle(TCanvas* c, int cx, int top, int rows, bool up, TColor col) {
    c->GetBrush()->SetColor(col);
    for (int i = 0; i < rows; ++i) {
        int half = up ? i : rows - 1 - i;
        c->FillRect({cx - half, top + i, cx + half + 1, top + i + 1});
    }
}

// Grid title arrows (16 x 16): a raised triangle, shadowed on its lower edge.
void TitleArrow(TBitmap* b, bool up) {
    TCanvas* c = b->GetCanvas();
    Triangle(c, 8, 6, 5, up, clBlack);
    c->GetBrush()->SetColor(clGray);
    if (up) c->FillRect({4, 11, 13, 12});
    else c->FillRect({4, 5, 13, 6});
}

// Spin arrows (11 x 8).
void SpinArrow(TBitmap* b, bool up) { Triangle(b->GetCanvas(), 5, 2, 4, up, clBlack); }

// ---- image progress (20 x 20 cells, 16 colours) ----

void Ring(TCanvas* c, int ox, TColor rim, TColor fill) {
    c->GetPen()->SetColor(rim);
    c->GetBrush()->SetColor(fill);
    c->Ellipse(ox + 3, 3, ox + 17, 17);
}

void ImgBefore(TBitmap* b) {
    TCanvas* c = b->GetCanvas();
    Ring(c, 0, clGray, clWhite);
    c->GetBrush()->SetColor(clGray);
    c->FillRect({9, 9, 11, 11});
}

void ImgAfter(TBitmap* b) {
    TCanvas* c = b->GetCanvas();
    Ring(c, 0, clGreen, clGreen);
    c->GetPen()->SetColor(clWhite);
    c->GetPen()->SetWidth(2);
    c->Polyline({{6, 10}, {9, 13}, {14, 7}});
    c->GetPen()->SetWidth(1);
}

void ImgDuring(TBitmap* b) {
    TCanvas* c = b->GetCanvas();
    for (int cell = 0; cell < 4; ++cell) {
        int ox = cell * 20;
        Ring(c, ox, clNavy, clWhite);
        // The filled quarter turns clockwise from cell to cell.
        c->GetBrush()->SetColor(clBlue);
        c->GetPen()->SetColor(clBlue);
        // Quarters in clockwise order: upper right, lower right, lower left, upper left.
        const int qx = cell <= 1 ? 1 : 0, qy = (cell == 1 || cell == 2) ? 1 : 0;
        for (int y = 4; y < 16; ++y)
            for (int x = 4; x < 16; ++x) {
                double dx = x - 9.5, dy = y - 9.5;
                if (dx * dx + dy * dy > 36) continue;
                if ((dx > 0) == bool(qx) && (dy > 0) == bool(qy)) c->SetPixels(ox + x, y, clBlue);
            }
        c->GetPen()->SetColor(clNavy);
        c->MoveTo(ox + 10, 4); c->LineTo(ox + 10, 16);
        c->MoveTo(ox + 4, 10); c->LineTo(ox + 16, 10);
    }
}

// ---- 256-colour pictures ----

void CreditCards(TBitmap* b) {
    TCanvas* c = b->GetCanvas();
    struct Card { TColor top, bottom, text; const char* number; const char* name; };
    const Card cards[5] = {
        {RGB(40, 80, 170), RGB(10, 30, 90), clWhite, "4000 1234", "J. SMITH"},
        {RGB(230, 190, 80), RGB(160, 110, 20), RGB(60, 40, 0), "5100 8765", "A. JONES"},
        {RGB(60, 160, 90), RGB(10, 80, 40), clWhite, "3700 4321", "M. BROWN"},
        {RGB(220, 220, 225), RGB(140, 140, 150), RGB(30, 30, 40), "6011 2468", "K. WHITE"},
        {RGB(200, 40, 40), RGB(90, 10, 20), clWhite, "3528 1357", "L. GREEN"},
    };
    const int cellW = 493 / 5;
    for (int i = 0; i < 5; ++i) {
        const Card& k = cards[i];
        int x0 = i * cellW + 4, y0 = 4, w = cellW - 8, h = 67 - 8;
        // Body: a vertical gradient inside a rounded outline.
        for (int y = 0; y < h; ++y) {
            c->GetPen()->SetColor(Mix(k.top, k.bottom, double(y) / (h - 1)));
            int inset = (y < 3 || y >= h - 3) ? (y < 3 ? 3 - y : y - (h - 4)) : 0;
            c->MoveTo(x0 + inset, y0 + y);
            c->LineTo(x0 + w - inset, y0 + y);
        }
        c->GetBrush()->SetStyle(bsClear);
        c->GetPen()->SetColor(RGB(40, 40, 40));
        c->RoundRect(x0, y0, x0 + w, y0 + h, 8, 8);
        // Chip.
        c->GetPen()->SetColor(RGB(150, 110, 30));
        c->GetBrush()->SetColor(RGB(235, 200, 110));
        c->RoundRect(x0 + 8, y0 + 16, x0 + 24, y0 + 28, 4, 4);
        c->MoveTo(x0 + 8, y0 + 22); c->LineTo(x0 + 24, y0 + 22);
        c->MoveTo(x0 + 16, y0 + 16); c->LineTo(x0 + 16, y0 + 28);
        // Number and holder.
        c->GetBrush()->SetStyle(bsClear);
        c->GetFont()->SetName("Courier New");
        c->GetFont()->SetHeight(-10);
        c->GetFont()->SetStyle({fsBold});
        c->GetFont()->SetColor(k.text);
        c->TextOut(x0 + 8, y0 + 32, std::string(k.number) + " ****");
        c->GetFont()->SetName("Arial");
        c->GetFont()->SetHeight(-8);
        c->GetFont()->SetStyle({});
        c->TextOut(x0 + 8, y0 + 45, k.name);
        // A pair of rings in the corner as the card scheme's mark.
        c->GetPen()->SetColor(k.text);
        c->Ellipse(x0 + w - 26, y0 + h - 18, x0 + w - 14, y0 + h - 6);
        c->Ellipse(x0 + w - 19, y0 + h - 18, x0 + w - 7, y0 + h - 6);
        c->GetBrush()->SetStyle(bsSolid);
    }
}

void FancyButton(TBitmap* b) {
    TCanvas* c = b->GetCanvas();
    const int w = 120, h = 27;
    for (int y = 0; y < h; ++y) {
        double t = double(y) / (h - 1);
        TColor col = y < h / 2 ? Mix(RGB(150, 190, 240), RGB(80, 130, 210), t * 2)
                               : Mix(RGB(40, 90, 180), RGB(70, 130, 220), (t - 0.5) * 2);
        c->GetPen()->SetColor(col);
        c->MoveTo(0, y);
        c->LineTo(w, y);
    }
    c->GetBrush()->SetStyle(bsClear);
    c->GetPen()->SetColor(RGB(20, 50, 110));
    c->RoundRect(0, 0, w, h, 6, 6);
    c->GetPen()->SetColor(RGB(200, 225, 255));
    c->MoveTo(3, 1); c->LineTo(w - 3, 1);
    c->GetBrush()->SetStyle(bsSolid);
}

// ---- navigator glyphs: 16 x 16 cells on the glyph key ----

using GlyphFn = std::function<void(TCanvas*)>;

void Poly(TCanvas* c, TColor col, std::vector<TPoint> pts) {
    c->GetPen()->SetColor(col);
    c->GetBrush()->SetColor(col);
    c->Polygon(pts);
}
void Box(TCanvas* c, TColor col, TRect r) {
    c->GetBrush()->SetColor(col);
    c->FillRect(r);
}

void Glyph(const std::string& dir, const std::string& word, const GlyphFn& draw, int cells = 2,
           const GlyphFn& latched = nullptr) {
    auto cell = NewBitmap(16, 16, kGlyphKey);
    draw(cell->GetCanvas());
    auto strip = NewBitmap(16 * cells, 16, kGlyphKey);
    TCanvas* s = strip->GetCanvas();
    s->Draw(0, 0, cell.get());
    // The disabled look is the embossed image-list drawing of the normal glyph.
    TImageList il(nullptr, 16, 16);
    il.AddMasked(cell.get(), kGlyphKey);
    il.SetDrawingStyle(dsTransparent);
    il.Draw(s, 16, 0, 0, false);
    if (cells == 4) {
        auto down = NewBitmap(16, 16, kGlyphKey);
        latched(down->GetCanvas());
        s->Draw(32, 0, down.get());
        s->Draw(48, 0, down.get());
    }
    Save(dir, "KRDBN_" + word, strip.get(), pf4bit);
}

void Table(TCanvas* c, bool open) {
    Box(c, clBlack, {2, 3, 14, 13});
    Box(c, open ? clYellow : clWhite, {3, 4, 13, 12});
    Box(c, open ? clOlive : clNavy, {3, 4, 13, 6});
    Box(c, clGray, {3, 8, 13, 9});
    Box(c, clGray, {3, 10, 13, 11});
    Box(c, clGray, {7, 6, 8, 12});
}

void DrawGlyphs(const std::string& dir) {
    const TColor nav = clNavy;
    Glyph(dir, "FIRST", [&](TCanvas* c) {
        Box(c, nav, {4, 4, 6, 12});
        Poly(c, nav, {{11, 3}, {11, 12}, {7, 8}});
    });
    Glyph(dir, "PRIOR", [&](TCanvas* c) { Poly(c, nav, {{10, 3}, {10, 12}, {6, 8}}); });
    Glyph(dir, "NEXT", [&](TCanvas* c) { Poly(c, nav, {{6, 3}, {6, 12}, {10, 8}}); });
    Glyph(dir, "LAST", [&](TCanvas* c) {
        Poly(c, nav, {{5, 3}, {5, 12}, {9, 8}});
        Box(c, nav, {10, 4, 12, 12});
    });
    Glyph(dir, "PAGEUP", [&](TCanvas* c) {
        Poly(c, nav, {{7, 3}, {7, 12}, {3, 8}});
        Poly(c, nav, {{12, 3}, {12, 12}, {8, 8}});
    });
    Glyph(dir, "PAGEDN", [&](TCanvas* c) {
        Poly(c, nav, {{4, 3}, {4, 12}, {8, 8}});
        Poly(c, nav, {{9, 3}, {9, 12}, {13, 8}});
    });
    Glyph(dir, "INSERT", [&](TCanvas* c) {
        Box(c, nav, {7, 3, 9, 13});
        Box(c, nav, {3, 7, 13, 9});
    });
    Glyph(dir, "DELETE", [&](TCanvas* c) { Box(c, nav, {3, 7, 13, 9}); });
    Glyph(dir, "EDIT", [&](TCanvas* c) { Poly(c, nav, {{3, 11}, {12, 11}, {8, 4}}); });
    Glyph(dir, "POST", [&](TCanvas* c) {
        c->GetPen()->SetColor(clGreen);
        c->GetPen()->SetWidth(2);
        c->Polyline({{3, 8}, {6, 11}, {12, 4}});
        c->GetPen()->SetWidth(1);
    });
    Glyph(dir, "CANCEL", [&](TCanvas* c) {
        c->GetPen()->SetColor(clMaroon);
        c->GetPen()->SetWidth(2);
        c->MoveTo(4, 4); c->LineTo(11, 11);
        c->MoveTo(11, 4); c->LineTo(4, 11);
        c->GetPen()->SetWidth(1);
    });
    Glyph(dir, "REFRESH", [&](TCanvas* c) {
        c->GetPen()->SetColor(clGreen);
        c->GetPen()->SetWidth(2);
        c->GetBrush()->SetStyle(bsClear);
        c->Ellipse(3, 3, 13, 13);
        c->GetBrush()->SetStyle(bsSolid);
        c->GetPen()->SetWidth(1);
        Box(c, kGlyphKey, {9, 2, 14, 7});
        Poly(c, clGreen, {{8, 1}, {8, 7}, {12, 4}});
    });
    Glyph(dir, "BOOKMARK", [&](TCanvas* c) {
        Poly(c, clMaroon, {{4, 2}, {11, 2}, {11, 13}, {7, 9}, {4, 13}});
        Box(c, clRed, {5, 3, 10, 8});
    });
    Glyph(dir, "EDITDIALOG", [&](TCanvas* c) {
        Box(c, clBlack, {2, 2, 14, 14});
        Box(c, clWhite, {3, 5, 13, 13});
        Box(c, nav, {3, 3, 13, 5});
        Box(c, clGray, {5, 7, 11, 8});
        Box(c, clGray, {5, 10, 11, 11});
    });
    Glyph(dir, "PACK", [&](TCanvas* c) {
        Box(c, clOlive, {3, 5, 13, 13});
        Box(c, clYellow, {4, 6, 12, 12});
        Poly(c, nav, {{1, 1}, {6, 1}, {6, 4}});
        Poly(c, nav, {{14, 1}, {9, 1}, {9, 4}});
    });
    Glyph(dir, "ZAP", [&](TCanvas* c) {
        Poly(c, clRed, {{9, 1}, {3, 9}, {7, 9}, {5, 14}, {12, 6}, {8, 6}});
    });
    Glyph(dir, "REINDEX", [&](TCanvas* c) {
        for (int i = 0; i < 4; ++i) Box(c, i % 2 ? clGray : clBlack, {2, 3 + 3 * i, 9, 5 + 3 * i});
        Box(c, nav, {11, 3, 13, 11});
        Poly(c, nav, {{9, 10}, {14, 10}, {12, 13}});
    });
    Glyph(dir, "DUPEREC", [&](TCanvas* c) {
        Box(c, clGray, {5, 2, 14, 10});
        Box(c, clWhite, {6, 3, 13, 9});
        Box(c, clBlack, {2, 6, 11, 14});
        Box(c, clWhite, {3, 7, 10, 13});
        Box(c, nav, {4, 9, 9, 10});
    });
    Glyph(dir, "TABLEOPEN", [&](TCanvas* c) { Table(c, false); }, 4,
          [&](TCanvas* c) { Table(c, true); });
}

// ---- the sampler ----

struct NamedBitmap {
    std::string name;
    std::unique_ptr<TBitmap> bmp;
};

void Sampler(const std::string& dir, const std::string& out, const std::vector<std::string>& names) {
    const int W = 900, H = 760;
    auto pic = NewBitmap(W, H, clBtnFace);
    TCanvas* c = pic->GetCanvas();
    c->GetFont()->SetName("Arial");
    c->GetFont()->SetHeight(-12);
    auto heading = [&](int x, int y, const char* t) {
        c->GetBrush()->SetStyle(bsClear);
        c->GetFont()->SetStyle({fsBold});
        c->TextOut(x, y, t);
        c->GetFont()->SetStyle({});
        c->GetBrush()->SetStyle(bsSolid);
    };

    // Shapes.
    heading(10, 8, "Pens, brushes and shapes");
    c->GetBrush()->SetColor(clWhite);
    c->GetPen()->SetColor(clNavy);
    c->Rectangle(10, 30, 80, 80);
    c->GetBrush()->SetColor(clYellow);
    c->Ellipse(90, 30, 160, 80);
    c->GetBrush()->SetColor(clLime);
    c->Polygon({{200, 30}, {240, 80}, {170, 80}});
    c->GetBrush()->SetColor(clAqua);
    c->RoundRect(250, 30, 320, 80, 16, 16);
    const TBrushStyle hatches[] = {bsHorizontal, bsVertical, bsFDiagonal, bsBDiagonal, bsCross, bsDiagCross};
    for (int i = 0; i < 6; ++i) {
        c->GetBrush()->SetStyle(hatches[i]);
        c->GetBrush()->SetColor(clMaroon);
        c->GetPen()->SetColor(clBlack);
        c->Rectangle(330 + i * 34, 30, 360 + i * 34, 80);
    }
    c->GetBrush()->SetStyle(bsSolid);
    const TPenStyle styles[] = {psSolid, psDash, psDot, psDashDot, psDashDotDot};
    for (int i = 0; i < 5; ++i) {
        c->GetPen()->SetStyle(styles[i]);
        c->MoveTo(550, 32 + i * 10);
        c->LineTo(700, 32 + i * 10);
    }
    c->GetPen()->SetStyle(psSolid);
    c->GetPen()->SetWidth(3);
    c->GetPen()->SetColor(clRed);
    c->MoveTo(710, 30);
    c->LineTo(780, 80);
    c->GetPen()->SetWidth(1);
    TRect fr{790, 30, 880, 80};
    c->GetBrush()->SetColor(clWhite);
    c->FillRect(fr);
    InflateRect(fr, -4, -4);
    c->DrawFocusRect(fr);

    // Frames.
    heading(10, 95, "Frame3D, DrawEdge, DrawFrameControl");
    TRect r{10, 115, 90, 155};
    c->Frame3D(r, clBtnHighlight, clBtnShadow, 2);
    r = {100, 115, 180, 155};
    c->Frame3D(r, clBtnShadow, clBtnHighlight, 1);
    const std::pair<uint32_t, uint32_t> edges[] = {{EDGE_RAISED, BF_RECT}, {EDGE_SUNKEN, BF_RECT},
                                                   {EDGE_ETCHED, BF_RECT}, {EDGE_BUMP, BF_RECT},
                                                   {BDR_RAISEDINNER, BF_RECT}, {EDGE_RAISED, BF_RECT | BF_FLAT}};
    for (int i = 0; i < 6; ++i) {
        TRect e{190 + i * 60, 115, 240 + i * 60, 155};
        c->DrawEdge(e, edges[i].first, edges[i].second | BF_MIDDLE);
    }
    const std::pair<uint32_t, uint32_t> fcs[] = {
        {DFC_SCROLL, DFCS_SCROLLCOMBOBOX}, {DFC_SCROLL, DFCS_SCROLLCOMBOBOX | DFCS_PUSHED},
        {DFC_SCROLL, DFCS_SCROLLCOMBOBOX | DFCS_INACTIVE}, {DFC_SCROLL, DFCS_SCROLLCOMBOBOX | DFCS_FLAT},
        {DFC_SCROLL, DFCS_SCROLLUP}, {DFC_SCROLL, DFCS_SCROLLLEFT}, {DFC_SCROLL, DFCS_SCROLLRIGHT},
        {DFC_BUTTON, DFCS_BUTTONPUSH}, {DFC_BUTTON, DFCS_BUTTONPUSH | DFCS_PUSHED},
        {DFC_BUTTON, DFCS_BUTTONCHECK}, {DFC_BUTTON, DFCS_BUTTONCHECK | DFCS_CHECKED},
        {DFC_BUTTON, DFCS_BUTTONCHECK | DFCS_CHECKED | DFCS_INACTIVE},
        {DFC_BUTTON, DFCS_BUTTONRADIO | DFCS_CHECKED}};
    for (int i = 0; i < 13; ++i) c->DrawFrameControl(Bounds(560 + (i % 7) * 24 + (i / 7) * 12, 115 + (i / 7) * 22, 18, 18), fcs[i].first, fcs[i].second);

    // Text.
    heading(10, 170, "DrawText: nine placements, wrap, ellipses, prefix, rotation");
    const uint32_t h[3] = {DT_LEFT, DT_CENTER, DT_RIGHT}, v[3] = {DT_TOP, DT_VCENTER, DT_BOTTOM};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
            TRect cell = Bounds(10 + j * 90, 190 + i * 34, 86, 30);
            c->GetBrush()->SetColor(clWindow);
            c->FillRect(cell);
            c->GetBrush()->SetStyle(bsClear);
            c->DrawText("Caption", cell, h[j] | v[i] | DT_SINGLELINE);
            c->GetBrush()->SetStyle(bsSolid);
        }
    TRect wrap = Bounds(290, 190, 150, 98);
    c->GetBrush()->SetColor(clWindow);
    c->FillRect(wrap);
    c->GetBrush()->SetStyle(bsClear);
    TRect wr = wrap;
    InflateRect(wr, -2, -2);
    c->DrawText("Memo text is word-wrapped inside the cell, one line after another, and clipped at the bottom.", wr, DT_WORDBREAK);
    TRect el = Bounds(450, 190, 160, 20);
    c->GetBrush()->SetStyle(bsSolid);
    c->FillRect(el);
    c->GetBrush()->SetStyle(bsClear);
    c->DrawText("A caption that is far too long for its box", el, DT_SINGLELINE | DT_END_ELLIPSIS | DT_VCENTER);
    TRect pe = Bounds(450, 214, 160, 20);
    c->GetBrush()->SetStyle(bsSolid);
    c->FillRect(pe);
    c->GetBrush()->SetStyle(bsClear);
    c->DrawText("/home/user/data/customers/orders/ORDERS.DBF", pe, DT_SINGLELINE | DT_PATH_ELLIPSIS | DT_VCENTER);
    TRect pf = Bounds(450, 238, 160, 20);
    c->GetBrush()->SetStyle(bsSolid);
    c->FillRect(pf);
    c->GetBrush()->SetStyle(bsClear);
    c->DrawText("&File   Save &As...   &&", pf, DT_SINGLELINE | DT_VCENTER);
    c->GetFont()->SetStyle({fsBold, fsItalic, fsUnderline});
    c->TextOut(450, 264, "Bold italic underlined");
    c->GetFont()->SetStyle({fsStrikeOut});
    c->GetFont()->SetColor(clGrayText);
    c->TextOut(620, 264, "Struck out grey");
    c->GetFont()->SetStyle({});
    c->GetFont()->SetColor(clWindowText);
    c->GetFont()->SetName("Times New Roman");
    c->GetFont()->SetHeight(-16);
    c->TextOut(620, 190, "Serif 16 px");
    c->GetFont()->SetName("Courier New");
    c->GetFont()->SetHeight(-13);
    c->TextOut(620, 212, "Mono 13 px");
    c->GetFont()->SetName("Arial");
    c->GetFont()->SetHeight(-12);
    c->GetBrush()->SetColor(clInfoBk);
    c->GetBrush()->SetStyle(bsSolid);
    c->TextOut(620, 236, " Opaque text ");
    c->GetBrush()->SetStyle(bsClear);
    const int angles[] = {900, 450, 2700};
    const TPoint at[] = {{780, 290}, {800, 286}, {880, 190}};
    for (int a = 0; a < 3; ++a) {
        c->GetFont()->SetOrientation(angles[a]);
        c->TextOut(at[a].X, at[a].Y, "Rotated text");
    }
    c->GetFont()->SetOrientation(0);

    // Image list.
    heading(10, 300, "Image list: transparent with background 0, disabled; bitmaps at their own size");
    TImageList il(nullptr, 20, 20);
    il.SetBkColor(0);
    il.SetDrawingStyle(dsTransparent);
    for (const char* n : {"KR_LEDGREENON", "KR_LEDREDON", "KR_CHECKON", "KR_CHECKOFF"}) {
        TBitmap b;
        b.LoadFromFile(dir + "/" + n + ".bmp");
        il.AddMasked(&b, b.GetTransparentColor());
    }
    c->GetBrush()->SetStyle(bsSolid);
    c->GetBrush()->SetColor(clWindow);
    c->FillRect(Bounds(10, 320, 200, 30));
    for (int i = 0; i < 4; ++i) {
        il.Draw(c, 14 + i * 24, 325, i, true);
        il.Draw(c, 114 + i * 24, 325, i, false);
    }

    // Every library bitmap, at its own size and twice as large.
    int x = 10, y = 365, rowH = 0;
    c->GetFont()->SetHeight(-11);
    for (const auto& n : names) {
        TBitmap b;
        b.LoadFromFile(dir + "/" + n + ".bmp");
        bool wide = b.GetWidth() * 2 > 200;
        int w = std::max(wide ? b.GetWidth() : b.GetWidth() * 3 + 4, c->TextWidth(n)) + 12;
        if (x + w > W - 10) {
            x = 10;
            y += rowH + 8;
            rowH = 0;
        }
        // Glyphs and masked images show as they are used: transparent.
        b.SetTransparent(n.rfind("KRDBN_", 0) == 0);
        c->Draw(x, y, &b);
        int bh = b.GetHeight();
        if (!wide) {
            c->StretchDraw(Bounds(x + b.GetWidth() + 4, y, b.GetWidth() * 2, b.GetHeight() * 2), &b);
            bh *= 2;
        }
        c->GetBrush()->SetStyle(bsClear);
        c->TextOut(x, y + bh + 2, n);
        rowH = std::max(rowH, bh + 16);
        x += w;
    }
    pic->SaveToPngFile(out);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <resources-dir> [<sampler.png>]\n", argv[0]);
        return 2;
    }
    std::string dir = argv[1];
    try {
        const TColor face = clSilver;
        std::vector<std::string> names;
        auto add = [&](const std::string& name, int w, int h, TColor bg, TPixelFormat pf,
                       const std::function<void(TBitmap*)>& draw) {
            auto b = NewBitmap(w, h, bg);
            draw(b.get());
            Save(dir, name, b.get(), pf);
            names.push_back(name);
        };
        add("KR_LEDGREENON", 20, 20, face, pf4bit, [](TBitmap* b) { Led(b, clLime, clGreen, clWhite); });
        add("KR_LEDREDON", 20, 20, face, pf4bit, [](TBitmap* b) { Led(b, clRed, clMaroon, clWhite); });
        add("KR_LEDGREENOFF", 20, 20, face, pf4bit, [](TBitmap* b) { Led(b, clGreen, clGreen, clLime); });
        add("KR_LEDREDOFF", 20, 20, face, pf4bit, [](TBitmap* b) { Led(b, clMaroon, clMaroon, clRed); });
        add("KR_LEDYELON", 20, 20, face, pf4bit, [](TBitmap* b) { Led(b, clYellow, clOlive, clWhite); });
        add("KR_LEDGRAY", 20, 20, face, pf4bit, [](TBitmap* b) { Led(b, clGray, clGray, clSilver); });
        add("KR_CHECKON", 20, 20, face, pf4bit, [](TBitmap* b) { CheckImage(b, DFCS_CHECKED); });
        add("KR_CHECKOFF", 20, 20, face, pf4bit, [](TBitmap* b) { CheckImage(b, 0); });
        add("KR_CHECKGRAY", 20, 20, face, pf4bit, [](TBitmap* b) { CheckImage(b, DFCS_CHECKED | DFCS_INACTIVE); });
        add("KR_UP", 16, 16, face, pf4bit, [](TBitmap* b) { TitleArrow(b, true); });
        add("KR_DOWN", 16, 16, face, pf4bit, [](TBitmap* b) { TitleArrow(b, false); });
        add("KR_UPARROW", 11, 8, face, pf4bit, [](TBitmap* b) { SpinArrow(b, true); });
        add("KR_DOWNARROW", 11, 8, face, pf4bit, [](TBitmap* b) { SpinArrow(b, false); });
        add("KR_IMGBEFORE", 20, 20, face, pf4bit, ImgBefore);
        add("KR_IMGAFTER", 20, 20, face, pf4bit, ImgAfter);
        add("KR_IMGDURING", 80, 20, face, pf4bit, ImgDuring);
        add("KR_CREDITCARDS", 493, 67, face, pf8bit, CreditCards);
        add("KR_FANCYBUTTON", 120, 27, face, pf8bit, FancyButton);
        DrawGlyphs(dir);
        for (const char* w : {"FIRST", "PRIOR", "PAGEUP", "PAGEDN", "NEXT", "LAST", "INSERT", "DELETE",
                              "EDIT", "POST", "CANCEL", "REFRESH", "BOOKMARK", "EDITDIALOG", "PACK",
                              "ZAP", "REINDEX", "DUPEREC", "TABLEOPEN"})
            names.push_back(std::string("KRDBN_") + w);
        if (argc >= 3) Sampler(dir, argv[2], names);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "dbv_make_bitmaps: %s\n", e.what());
        return 1;
    }
    return 0;
}
