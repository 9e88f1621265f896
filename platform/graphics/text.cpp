// Text on the canvas: measuring, TextOut/TextRect, rotated text and the formatted DrawText
// (alignment, word wrap, tabs, the & prefix, ellipses, calculate-only).
#include <cmath>

#include "graphics/canvas_internal.h"

namespace vcl {

namespace {

struct Laid {
    std::vector<cairo_glyph_t> glyphs;
    std::vector<int> byteX;  // x of the character starting at each byte (-1 inside a character)
    std::vector<int> byteW;  // its advance
    int width = 0;
};

Laid Layout(const gfx::TRealFont& rf, std::string_view s, int tabWidth) {
    Laid l;
    l.byteX.assign(s.size() + 1, -1);
    l.byteW.assign(s.size() + 1, 0);
    int x = 0;
    size_t i = 0;
    while (i < s.size()) {
        size_t start = i;
        uint32_t cp = gfx::NextCodepoint(s, i);
        l.byteX[start] = x;
        int adv = 0;
        if (cp == '\t' && tabWidth > 0) {
            adv = (x / tabWidth + 1) * tabWidth - x;
        } else if (cp == '\t') {
            adv = rf.GlyphFor(' ').advance;
        } else if (cp < 0x20 || cp == 0x7F) {
            adv = 0;
        } else {
            const auto& g = rf.GlyphFor(cp);
            l.glyphs.push_back({g.index, double(x), double(rf.ascent)});
            adv = g.advance;
        }
        l.byteW[start] = adv;
        x += adv;
    }
    l.byteX[s.size()] = x;
    l.width = x;
    return l;
}

int WidthOf(const gfx::TRealFont& rf, std::string_view s, int tabWidth) {
    int x = 0;
    size_t i = 0;
    while (i < s.size()) {
        uint32_t cp = gfx::NextCodepoint(s, i);
        if (cp == '\t' && tabWidth > 0) x = (x / tabWidth + 1) * tabWidth;
        else if (cp == '\t') x += rf.GlyphFor(' ').advance;
        else if (cp >= 0x20 && cp != 0x7F) x += rf.GlyphFor(cp).advance;
    }
    return x;
}

void SetColor(cairo_t* cr, TColor c) {
    TColor rgb = ColorToRGB(c);
    cairo_set_source_rgb(cr, GetRValue(rgb) / 255.0, GetGValue(rgb) / 255.0, GetBValue(rgb) / 255.0);
}

// Text with a per-byte underline mark (the & prefix).
struct Seg {
    std::string s;
    std::vector<char> ul;
    void Add(std::string_view t, const char* u) {
        s.append(t);
        if (u) ul.insert(ul.end(), u, u + t.size());
        else ul.insert(ul.end(), t.size(), 0);
    }
};

size_t PrevBoundary(std::string_view s, size_t i) {
    if (i == 0) return 0;
    --i;
    while (i > 0 && (static_cast<unsigned char>(s[i]) & 0xC0) == 0x80) --i;
    return i;
}

}  // namespace

void TCanvas::TextCore(int x, int y, std::string_view text, const TRect* clip, bool opaque,
                       const TRect* opaqueRect,
                       const std::vector<std::pair<int, int>>* underlines) {
    Impl& m = *impl_;
    TLogFont lf = font_->LogFont();
    const gfx::TRealFont& rf = gfx::RealizeFont(lf);
    Laid l = Layout(rf, text, 0);
    cairo_t* cr = m.cr;
    gfx::PrepareCairo(m);
    double angle = lf.Escapement / 10.0 * M_PI / 180.0;
    cairo_save(cr);
    if (clip) {
        cairo_rectangle(cr, clip->Left, clip->Top, clip->Width(), clip->Height());
        cairo_clip(cr);
    }
    if (opaque) {
        SetColor(cr, brush_->GetColor());
        if (opaqueRect) {
            cairo_rectangle(cr, opaqueRect->Left, opaqueRect->Top, opaqueRect->Width(), opaqueRect->Height());
            cairo_fill(cr);
        }
    }
    cairo_translate(cr, x, y);
    if (angle != 0) cairo_rotate(cr, -angle);
    if (opaque && !opaqueRect) {
        cairo_rectangle(cr, 0, 0, l.width, rf.height);
        cairo_fill(cr);
    }
    SetColor(cr, font_->GetColor());
    if (angle == 0) {
        cairo_set_scaled_font(cr, rf.scaled);
    } else {
        cairo_set_font_face(cr, rf.face);
        cairo_set_font_size(cr, rf.pixelSize);
        cairo_set_font_options(cr, gfx::FontOptions());
    }
    if (!l.glyphs.empty()) cairo_show_glyphs(cr, l.glyphs.data(), int(l.glyphs.size()));
    auto bar = [&](int x0, int w, int yTop, int h) {
        cairo_rectangle(cr, x0, yTop, w, h);
        cairo_fill(cr);
    };
    int ulY = rf.ascent + rf.underlinePos - rf.underlineThickness / 2;
    if (ulY + rf.underlineThickness > rf.height) ulY = rf.height - rf.underlineThickness;
    if (lf.Underline) bar(0, l.width, ulY, rf.underlineThickness);
    if (lf.StrikeOut) bar(0, l.width, rf.ascent - rf.strikePos, rf.underlineThickness);
    if (underlines)
        for (auto [b, e] : *underlines)
            if (b >= 0 && size_t(b) < l.byteX.size() && l.byteX[size_t(b)] >= 0)
                bar(l.byteX[size_t(b)], l.byteW[size_t(b)], ulY, rf.underlineThickness);
    cairo_restore(cr);
    cairo_new_path(cr);
}

int TCanvas::TextWidth(std::string_view text) const {
    return WidthOf(gfx::RealizeFont(font_->LogFont()), text, 0);
}
int TCanvas::TextHeight(std::string_view) const { return gfx::RealizeFont(font_->LogFont()).height; }
TSize TCanvas::TextExtent(std::string_view text) const { return {TextWidth(text), TextHeight(text)}; }
TTextMetric TCanvas::GetTextMetrics() const { return font_->Metrics(); }

void TCanvas::TextOut(int x, int y, std::string_view text) {
    if (Logging()) {
        TCanvasOp op = MakeOp(ckTextOut);
        op.Pt = {x, y};
        op.Text = std::string(text);
        op.Rect = Bounds(x, y, TextWidth(text), TextHeight(text));
        Record(op);
    }
    Nest n(this);
    int w = TextWidth(text);
    if (BeginOp()) TextCore(x, y, text, nullptr, brush_->GetStyle() != bsClear, nullptr, nullptr);
    MoveTo(x + w, y);
}

void TCanvas::TextRect(const TRect& r, int x, int y, std::string_view text) {
    if (Logging()) {
        TCanvasOp op = MakeOp(ckTextRect);
        op.Rect = r;
        op.Pt = {x, y};
        op.Text = std::string(text);
        Record(op);
    }
    Nest n(this);
    if (!BeginOp()) return;
    TextCore(x, y, text, &r, brush_->GetStyle() != bsClear, &r, nullptr);
}

int TCanvas::DrawText(std::string_view text, TRect& r, uint32_t flags, std::string* fitted) {
    if (Logging()) {
        TCanvasOp op = MakeOp(ckDrawText);
        op.Rect = r;
        op.Text = std::string(text);
        op.Flags = flags;
        Record(op);
    }
    Nest n(this);
    const gfx::TRealFont& rf = gfx::RealizeFont(font_->LogFont());
    int tabW = (flags & DT_EXPANDTABS) ? 8 * rf.aveCharWidth : 0;
    int lineH = rf.height;
    auto width = [&](std::string_view s) { return WidthOf(rf, s, tabW); };

    // The & prefix: "&&" is a literal ampersand, "&x" underlines x.
    Seg all;
    if (flags & DT_NOPREFIX) {
        all.Add(text, nullptr);
    } else {
        for (size_t i = 0; i < text.size();) {
            if (text[i] == '&') {
                if (i + 1 < text.size() && text[i + 1] == '&') {
                    all.Add("&", nullptr);
                    i += 2;
                    continue;
                }
                if (i + 1 >= text.size()) { ++i; continue; }
                size_t j = i + 1;
                gfx::NextCodepoint(text, j);
                std::vector<char> u(j - i - 1, (flags & DT_HIDEPREFIX) ? 0 : 1);
                all.Add(text.substr(i + 1, j - i - 1), u.data());
                i = j;
                continue;
            }
            size_t j = i;
            gfx::NextCodepoint(text, j);
            all.Add(text.substr(i, j - i), nullptr);
            i = j;
        }
    }

    // Paragraphs and lines.
    std::vector<Seg> lines;
    auto sub = [](const Seg& s, size_t b, size_t e) {
        Seg o;
        o.s = s.s.substr(b, e - b);
        o.ul.assign(s.ul.begin() + long(b), s.ul.begin() + long(e));
        return o;
    };
    std::vector<Seg> paras;
    if (flags & DT_SINGLELINE) {
        Seg p;
        for (size_t i = 0; i < all.s.size(); ++i)
            if (all.s[i] != '\r' && all.s[i] != '\n') {
                p.s.push_back(all.s[i]);
                p.ul.push_back(all.ul[i]);
            }
        paras.push_back(std::move(p));
    } else {
        size_t b = 0;
        for (size_t i = 0; i <= all.s.size(); ++i) {
            if (i == all.s.size() || all.s[i] == '\n' || all.s[i] == '\r') {
                paras.push_back(sub(all, b, i));
                if (i < all.s.size() && all.s[i] == '\r' && i + 1 < all.s.size() && all.s[i + 1] == '\n') ++i;
                b = i + 1;
            }
        }
        // A trailing line break does not open another line.
        if (paras.size() > 1 && paras.back().s.empty() && !all.s.empty()) paras.pop_back();
    }
    int maxW = r.Width();
    for (Seg& p : paras) {
        if (!(flags & DT_WORDBREAK) || (flags & DT_SINGLELINE) || width(p.s) <= maxW) {
            lines.push_back(std::move(p));
            continue;
        }
        // Greedy wrap at spaces; a word wider than the rectangle keeps a line of its own.
        size_t lineStart = 0, lineEnd = 0, i = 0;
        bool any = false;
        const std::string& s = p.s;
        while (i < s.size()) {
            size_t ws = i;
            while (ws < s.size() && s[ws] == ' ') ++ws;
            size_t we = ws;
            while (we < s.size() && s[we] != ' ') ++we;
            if (we == ws) break;  // only spaces remain
            if (!any) {
                lineEnd = we;
                any = true;
            } else if (width(std::string_view(s).substr(lineStart, we - lineStart)) <= maxW) {
                lineEnd = we;
            } else {
                lines.push_back(sub(p, lineStart, lineEnd));
                lineStart = ws;
                lineEnd = we;
            }
            i = we;
        }
        lines.push_back(sub(p, lineStart, any ? lineEnd : s.size()));
    }
    if (lines.empty()) lines.emplace_back();

    // Ellipses.
    if (flags & (DT_END_ELLIPSIS | DT_PATH_ELLIPSIS | DT_WORD_ELLIPSIS)) {
        const std::string dots = "...";
        for (Seg& l : lines) {
            if (width(l.s) <= maxW) continue;
            auto endFit = [&](const Seg& s) {
                size_t k = s.s.size();
                while (k > 0 && width(s.s.substr(0, k) + dots) > maxW) k = PrevBoundary(s.s, k);
                Seg o = sub(s, 0, k);
                o.Add(dots, nullptr);
                return o;
            };
            if (flags & DT_PATH_ELLIPSIS) {
                size_t sep = l.s.find_last_of("\\/");
                if (sep == std::string::npos || sep == 0) { l = endFit(l); continue; }
                Seg suffix = sub(l, sep, l.s.size());
                size_t k = sep;
                while (k > 0) {
                    k = PrevBoundary(l.s, k);
                    if (width(l.s.substr(0, k) + dots + suffix.s) <= maxW) break;
                }
                Seg o = sub(l, 0, k);
                o.Add(dots, nullptr);
                o.Add(suffix.s, suffix.ul.data());
                l = width(o.s) <= maxW ? o : endFit(o);
            } else {
                l = endFit(l);
            }
        }
    }
    if (fitted && (flags & DT_MODIFYSTRING)) {
        fitted->clear();
        for (size_t i = 0; i < lines.size(); ++i) {
            if (i) fitted->push_back('\n');
            *fitted += lines[i].s;
        }
    }

    int totalH = lineH * int(lines.size());
    if (flags & DT_CALCRECT) {
        int w = 0;
        for (const Seg& l : lines) w = std::max(w, width(l.s));
        r.Right = r.Left + w;
        r.Bottom = r.Top + totalH;
        return totalH;
    }
    int y = r.Top;
    if (flags & DT_SINGLELINE) {
        if (flags & DT_VCENTER) y = (r.Top + r.Bottom - lineH) / 2;
        else if (flags & DT_BOTTOM) y = r.Bottom - lineH;
    }
    int result = (flags & DT_SINGLELINE) && (flags & (DT_VCENTER | DT_BOTTOM)) ? y + totalH - r.Top : totalH;
    if (!BeginOp()) return result;
    bool opaque = brush_->GetStyle() != bsClear;
    for (const Seg& l : lines) {
        int w = width(l.s);
        int x = r.Left;
        if (flags & DT_CENTER) x = (r.Left + r.Right - w) / 2;
        else if (flags & DT_RIGHT) x = r.Right - w;
        std::vector<std::pair<int, int>> ul;
        for (size_t i = 0; i < l.ul.size(); ++i)
            if (l.ul[i] && (i == 0 || !l.ul[i - 1])) ul.push_back({int(i), int(i) + 1});
        // Tabs are expanded by laying out spaces at the tab stops.
        if (tabW > 0 && l.s.find('\t') != std::string::npos) {
            int xx = 0;
            size_t b = 0;
            for (size_t i = 0; i <= l.s.size(); ++i) {
                if (i == l.s.size() || l.s[i] == '\t') {
                    std::string_view part = std::string_view(l.s).substr(b, i - b);
                    TextCore(x + xx, y, part, (flags & DT_NOCLIP) ? nullptr : &r, opaque, nullptr, nullptr);
                    xx += WidthOf(rf, part, 0);
                    if (i < l.s.size()) xx = (xx / tabW + 1) * tabW;
                    b = i + 1;
                }
            }
        } else {
            TextCore(x, y, l.s, (flags & DT_NOCLIP) ? nullptr : &r, opaque, nullptr, ul.empty() ? nullptr : &ul);
        }
        y += lineH;
    }
    return result;
}

int DrawText(TCanvas* canvas, std::string& text, TRect& r, uint32_t flags) {
    std::string fitted;
    int h = canvas->DrawText(text, r, flags, &fitted);
    if (flags & DT_MODIFYSTRING) text = fitted;
    return h;
}

}  // namespace vcl
