// Colours: system colours with their classic defaults, names, and resolution to RGB.
#include <array>
#include <cstdio>

#include "graphics/gfx_internal.h"
#include "rtl/sysutils.h"

namespace vcl {

namespace {
constexpr std::array<TColor, COLOR_ENDCOLORS> kClassic = {
    RGB(192, 192, 192),  // scroll bar
    RGB(0, 128, 128),    // desktop
    RGB(0, 0, 128),      // active caption
    RGB(128, 128, 128),  // inactive caption
    RGB(192, 192, 192),  // menu
    RGB(255, 255, 255),  // window
    RGB(0, 0, 0),        // window frame
    RGB(0, 0, 0),        // menu text
    RGB(0, 0, 0),        // window text
    RGB(255, 255, 255),  // caption text
    RGB(192, 192, 192),  // active border
    RGB(192, 192, 192),  // inactive border
    RGB(128, 128, 128),  // application workspace
    RGB(0, 0, 128),      // highlight
    RGB(255, 255, 255),  // highlight text
    RGB(192, 192, 192),  // button face
    RGB(128, 128, 128),  // button shadow
    RGB(128, 128, 128),  // grey text
    RGB(0, 0, 0),        // button text
    RGB(192, 192, 192),  // inactive caption text
    RGB(255, 255, 255),  // button highlight
    RGB(0, 0, 0),        // 3-D dark shadow
    RGB(223, 223, 223),  // 3-D light
    RGB(0, 0, 0),        // info text
    RGB(255, 255, 225),  // info background
};
std::array<TColor, COLOR_ENDCOLORS>& SysColors() {
    static std::array<TColor, COLOR_ENDCOLORS> c = kClassic;
    return c;
}

struct NamedColor { TColor c; const char* name; };
constexpr NamedColor kNames[] = {
    {clBlack, "clBlack"}, {clMaroon, "clMaroon"}, {clGreen, "clGreen"}, {clOlive, "clOlive"},
    {clNavy, "clNavy"}, {clPurple, "clPurple"}, {clTeal, "clTeal"}, {clGray, "clGray"},
    {clSilver, "clSilver"}, {clRed, "clRed"}, {clLime, "clLime"}, {clYellow, "clYellow"},
    {clBlue, "clBlue"}, {clFuchsia, "clFuchsia"}, {clAqua, "clAqua"}, {clWhite, "clWhite"},
    {clMoneyGreen, "clMoneyGreen"}, {clSkyBlue, "clSkyBlue"}, {clCream, "clCream"},
    {clMedGray, "clMedGray"},
    {clActiveBorder, "clActiveBorder"}, {clActiveCaption, "clActiveCaption"},
    {clAppWorkSpace, "clAppWorkSpace"}, {clBackground, "clBackground"},
    {clBtnFace, "clBtnFace"}, {clBtnHighlight, "clBtnHighlight"},
    {clBtnShadow, "clBtnShadow"}, {clBtnText, "clBtnText"}, {clCaptionText, "clCaptionText"},
    {clGrayText, "clGrayText"}, {clHighlight, "clHighlight"},
    {clHighlightText, "clHighlightText"}, {clInactiveBorder, "clInactiveBorder"},
    {clInactiveCaption, "clInactiveCaption"}, {clInactiveCaptionText, "clInactiveCaptionText"},
    {clInfoBk, "clInfoBk"}, {clInfoText, "clInfoText"}, {clMenu, "clMenu"},
    {clMenuText, "clMenuText"}, {clScrollBar, "clScrollBar"}, {cl3DDkShadow, "cl3DDkShadow"},
    {cl3DLight, "cl3DLight"}, {clWindow, "clWindow"}, {clWindowFrame, "clWindowFrame"},
    {clWindowText, "clWindowText"}, {clNone, "clNone"}, {clDefault, "clDefault"},
};
}  // namespace

TColor GetSysColor(int index) {
    if (index < 0 || index >= COLOR_ENDCOLORS) return clBlack;
    return SysColors()[size_t(index)];
}
void SetSysColor(int index, TColor rgb) {
    if (index >= 0 && index < COLOR_ENDCOLORS) SysColors()[size_t(index)] = ColorToRGB(rgb);
}
void ResetSysColors() { SysColors() = kClassic; }

TColor ColorToRGB(TColor c) {
    if (c < 0) return GetSysColor(int(uint32_t(c) & 0xFF));
    if (c == clNone) return clBlack;
    if (c == clDefault) return clWhite;
    return TColor(uint32_t(c) & 0xFFFFFF);
}

bool ColorToIdent(TColor c, std::string& ident) {
    for (const auto& n : kNames)
        if (n.c == c) { ident = n.name; return true; }
    return false;
}
bool IdentToColor(std::string_view ident, TColor& c) {
    for (const auto& n : kNames)
        if (SameText(ident, n.name)) { c = n.c; return true; }
    return false;
}
const TIdentMap& ColorIdents() { return IdentMapOf<TColor, ColorToIdent, IdentToColor>(); }

std::string ColorToString(TColor c) {
    std::string s;
    if (ColorToIdent(c, s)) return s;
    char buf[16];
    std::snprintf(buf, sizeof buf, "$%08X", unsigned(c));
    return buf;
}
TColor StringToColor(std::string_view s) {
    TColor c;
    if (IdentToColor(s, c)) return c;
    return TColor(StrToInt(s));
}

TColor GetNearestColor(TCanvas* canvas, TColor c) {
    TColor rgb = ColorToRGB(c);
    if (canvas) canvas->HandleNeeded();
    if (canvas && canvas->GetImpl() && !canvas->GetImpl()->palette.empty()) {
        const auto& pal = canvas->GetImpl()->palette;
        return pal[size_t(gfx::NearestIndex(pal, gfx::ToPixel(rgb)))];
    }
    return rgb;
}

namespace gfx {
int NearestIndex(const std::vector<TColor>& pal, uint32_t px) {
    int r = int((px >> 16) & 0xFF), g = int((px >> 8) & 0xFF), b = int(px & 0xFF);
    int best = 0;
    long bestD = -1;
    for (size_t i = 0; i < pal.size(); ++i) {
        int dr = GetRValue(pal[i]) - r, dg = GetGValue(pal[i]) - g, db = GetBValue(pal[i]) - b;
        long d = long(dr) * dr * 3 + long(dg) * dg * 4 + long(db) * db * 2;
        if (bestD < 0 || d < bestD) {
            bestD = d;
            best = int(i);
            if (d == 0) break;
        }
    }
    return best;
}
}  // namespace gfx

std::vector<TColor> DefaultPalette(TPixelFormat pf) {
    static const TColor vga[16] = {
        RGB(0, 0, 0),       RGB(128, 0, 0),   RGB(0, 128, 0),   RGB(128, 128, 0),
        RGB(0, 0, 128),     RGB(128, 0, 128), RGB(0, 128, 128), RGB(192, 192, 192),
        RGB(128, 128, 128), RGB(255, 0, 0),   RGB(0, 255, 0),   RGB(255, 255, 0),
        RGB(0, 0, 255),     RGB(255, 0, 255), RGB(0, 255, 255), RGB(255, 255, 255)};
    std::vector<TColor> p;
    switch (pf) {
        case pf1bit: p = {clBlack, clWhite}; break;
        case pf4bit: p.assign(vga, vga + 16); break;
        case pf8bit: {
            p.assign(vga, vga + 16);
            for (int r = 0; r < 6; ++r)
                for (int g = 0; g < 6; ++g)
                    for (int b = 0; b < 6; ++b) p.push_back(RGB(r * 51, g * 51, b * 51));
            // 24 greys between the cube's steps, then the button-face family.
            for (int i = 0; p.size() < 250; ++i) {
                int v = 8 + i * 10;
                if (v % 51 == 0) v += 3;
                p.push_back(RGB(v, v, v));
            }
            p.push_back(RGB(223, 223, 223));
            p.push_back(RGB(212, 208, 200));
            p.push_back(RGB(255, 255, 225));
            p.push_back(RGB(236, 233, 216));
            p.push_back(RGB(166, 202, 240));
            p.push_back(RGB(255, 251, 240));
            break;
        }
        default: break;
    }
    return p;
}

}  // namespace vcl
