#include "controls/dlgparts.h"

#include <algorithm>
#include <cctype>

#include "controls/buttons.h"
#include "controls/forms.h"

namespace vcl {

using namespace win;

DBV_IMPLEMENT_CLASS(TDialogLabel)
DBV_IMPLEMENT_CLASS(TDialogIcon)

TDialogLabel::TDialogLabel(TComponent* AOwner) : TGraphicControl(AOwner) {
    SetControlStyle({csSetCaption, csReplicatable});
    UpdateBoundsRect(Rect(0, 0, 65, 13));
}

uint32_t TDialogLabel::Flags() const {
    uint32_t f = DT_LEFT;
    if (wordWrap_) f |= DT_WORDBREAK;
    if (!showAccel_) f |= DT_NOPREFIX;
    return f;
}

void TDialogLabel::AutoSizeTo(int maxWidth) {
    TCanvas* c = GetCanvas();
    c->GetFont()->Assign(GetFont());
    TRect r = Rect(0, 0, wordWrap_ ? maxWidth : 0, 0);
    std::string t = GetCaption().empty() ? std::string(" ") : GetCaption();
    c->DrawText(t, r, Flags() | DT_CALCRECT);
    SetBounds(GetLeft(), GetTop(), r.Width(), r.Height());
}

void TDialogLabel::Paint() {
    TCanvas* c = GetCanvas();
    c->GetFont()->Assign(GetFont());
    if (!GetEnabled()) c->GetFont()->SetColor(clGrayText);
    c->GetBrush()->SetStyle(bsClear);
    TRect r = GetClientRect();
    c->DrawText(GetCaption(), r, Flags());
}

TDialogIcon::TDialogIcon(TComponent* AOwner) : TGraphicControl(AOwner) {
    UpdateBoundsRect(Rect(0, 0, 32, 32));
}

void TDialogIcon::Paint() { DrawMessageIcon(GetCanvas(), GetClientRect(), kind_); }

void DrawMessageIcon(TCanvas* c, const TRect& r, int kind) {
    int w = r.Width(), h = r.Height();
    int cx = r.Left + w / 2;
    c->GetPen()->SetStyle(psSolid);
    c->GetBrush()->SetStyle(bsSolid);
    auto glyph = [&](const char* text, TColor color, int size) {
        c->GetFont()->SetName("Times New Roman");
        c->GetFont()->SetHeight(-size);
        c->GetFont()->SetStyle({fsBold});
        c->GetFont()->SetColor(color);
        c->GetBrush()->SetStyle(bsClear);
        TRect t = r;
        if (kind == 0) t.Top += h / 8;  // the triangle's weight is low
        c->DrawText(text, t, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    };
    switch (kind) {
        case 0: {  // warning: a yellow triangle with '!'
            c->GetPen()->SetColor(clBlack);
            c->GetBrush()->SetColor(clYellow);
            c->Polygon({{cx, r.Top + 1}, {r.Right - 1, r.Bottom - 2}, {r.Left, r.Bottom - 2}});
            glyph("!", clBlack, h * 2 / 3);
            break;
        }
        case 1: {  // error: a red disc with a white cross
            c->GetPen()->SetColor(clMaroon);
            c->GetBrush()->SetColor(clRed);
            c->Ellipse(r.Left + 1, r.Top + 1, r.Right - 1, r.Bottom - 1);
            c->GetPen()->SetColor(clWhite);
            int m = w * 3 / 10;
            for (int d = -1; d <= 1; ++d) {
                c->MoveTo(r.Left + m + d, r.Top + m);
                c->LineTo(r.Right - m + d, r.Bottom - m);
                c->MoveTo(r.Right - m - 1 + d, r.Top + m);
                c->LineTo(r.Left + m - 1 + d, r.Bottom - m);
            }
            break;
        }
        default: {  // information 'i' or question '?': a white disc with blue text
            c->GetPen()->SetColor(clNavy);
            c->GetBrush()->SetColor(clWhite);
            c->Ellipse(r.Left + 1, r.Top + 1, r.Right - 1, r.Bottom - 1);
            glyph(kind == 2 ? "i" : "?", clBlue, h * 2 / 3);
            break;
        }
    }
    c->GetBrush()->SetStyle(bsSolid);
}

std::string StripAccel(const std::string& caption) {
    std::string s;
    for (size_t i = 0; i < caption.size(); ++i) {
        if (caption[i] != '&') {
            s += caption[i];
        } else if (i + 1 < caption.size() && caption[i + 1] == '&') {
            s += '&';
            ++i;
        }
    }
    return s;
}

char AccelChar(const std::string& caption) {
    for (size_t i = 0; i + 1 < caption.size(); ++i) {
        if (caption[i] != '&') continue;
        if (caption[i + 1] == '&') {
            ++i;
            continue;
        }
        return char(std::toupper(static_cast<unsigned char>(caption[i + 1])));
    }
    return 0;
}

int DialogButtonWidth(TCustomForm* f, const std::string& caption) {
    TBitmap* b = Create<TBitmap>();
    b->GetCanvas()->GetFont()->Assign(f->GetFont());
    int w = b->GetCanvas()->TextWidth(StripAccel(caption));
    b->Free();
    return std::max(75, w + 16);
}

TButton* AddDialogButton(TCustomForm* f, const std::string& caption, int modalResult) {
    TButton* b = Create<TButton>(f);
    b->SetParent(f);
    b->SetCaption(caption);
    b->SetModalResult(modalResult);
    b->SetBounds(0, 0, DialogButtonWidth(f, caption), 25);
    return b;
}

void CenterOnScreen(TCustomForm* f) {
    int sw = Screen->GetWidth(), sh = Screen->GetHeight();
    f->SetBounds(std::max(0, (sw - f->GetWidth()) / 2), std::max(0, (sh - f->GetHeight()) / 2),
                 f->GetWidth(), f->GetHeight());
}

}  // namespace vcl
