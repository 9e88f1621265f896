#include "controls/dlgparts.h"

#include <algorithm>
#include <cctype>
#include <functional>

#include "rtl/sysutils.h"

#include "controls/buttons.h"
#include "controls/forms.h"
#include "controls/menus.h"

namespace vcl {

using namespace win;

DBV_IMPLEMENT_CLASS(TDialogLabel)
DBV_IMPLEMENT_CLASS(TDialogIcon)
DBV_IMPLEMENT_CLASS(TDialogForm)
DBV_IMPLEMENT_CLASS(TDialogList)
DBV_IMPLEMENT_CLASS(TDialogCheckBox)
DBV_IMPLEMENT_CLASS(TDialogChoice)

// ---- TDialogForm ----
TDialogForm::TDialogForm(TComponent* AOwner) : TCustomForm(AOwner) {
    SetBorderStyle(bsDialog);
    SetKeyPreview(true);
}

void TDialogForm::KeyDown(uint16_t& Key, TShiftState Shift) {
    TCustomForm::KeyDown(Key, Shift);
    if (Shift == TShiftState{ssAlt} && ((Key >= 'A' && Key <= 'Z') || (Key >= '0' && Key <= '9')) &&
        Accelerate(char(Key)))
        Key = 0;
}

bool TDialogForm::Accelerate(char letter) {
    std::vector<TControl*> all;
    std::function<void(TWinControl*)> walk = [&](TWinControl* w) {
        for (TControl* c : w->ControlList()) {
            all.push_back(c);
            if (auto* cw = dynamic_cast<TWinControl*>(c)) walk(cw);
        }
    };
    walk(this);
    for (TControl* c : all) {
        if (!c->IsShowing() && !dynamic_cast<TGraphicControl*>(c)) continue;
        if (!c->GetVisible() || !c->GetEnabled() || AccelChar(c->GetCaption()) != letter) continue;
        if (auto* l = dynamic_cast<TDialogLabel*>(c)) {
            if (!l->GetShowAccelChar() || !l->GetFocusControl() || !l->GetFocusControl()->CanFocus())
                continue;
            l->GetFocusControl()->SetFocus();
            return true;
        }
        if (auto* b = dynamic_cast<TButton*>(c)) {
            if (b->CanFocus()) b->SetFocus();
            b->Click();
            return true;
        }
        if (auto* k = dynamic_cast<TDialogCheckBox*>(c)) {
            if (k->CanFocus()) k->SetFocus();
            k->Perform(WM_LBUTTONDOWN, 0, 0);
            k->Perform(WM_LBUTTONUP, 0, 0);
            return true;
        }
    }
    return false;
}

// ---- TDialogList ----
TDialogList::TDialogList(TComponent* AOwner) : TCustomControl(AOwner) {
    SetControlStyle({csCaptureMouse, csClickEvents, csDoubleClicks, csOpaque});
    UpdateBoundsRect(Rect(0, 0, 120, 100));
    SetTabStop(true);
    SetParentColor(false);
    SetColor(clWindow);
}

void TDialogList::CreateParams(TCreateParams& P) {
    TCustomControl::CreateParams(P);
    P.ExStyle |= WS_EX_CLIENTEDGE;
    P.ClassStyle |= CS_DBLCLKS;
}

int TDialogList::RowHeight() const {
    TCanvas* c = GetCanvas();
    c->GetFont()->Assign(GetFont());
    return c->TextHeight("Wg") + 2;
}

int TDialogList::VisibleRows() const { return std::max(1, GetClientHeight() / std::max(1, RowHeight())); }

void TDialogList::SetItems(const std::vector<std::string>& v) {
    items_ = v;
    index_ = -1;
    top_ = 0;
    UpdateScroll();
    Invalidate();
}

int TDialogList::IndexOf(const std::string& text) const {
    for (size_t i = 0; i < items_.size(); ++i)
        if (SameText(items_[i], text)) return int(i);
    return -1;
}

void TDialogList::SetItemIndex(int v) {
    if (v < -1 || v >= int(items_.size())) v = -1;
    Select(v);
}

void TDialogList::Select(int i) {
    if (i == index_) return;
    index_ = i;
    if (i >= 0) {
        if (i < top_) SetTop(i);
        else if (i >= top_ + VisibleRows()) SetTop(i - VisibleRows() + 1);
    }
    Invalidate();
    if (OnChange) OnChange(this);
}

void TDialogList::SetTop(int t) {
    t = std::clamp(t, 0, std::max(0, int(items_.size()) - VisibleRows()));
    if (t == top_) return;
    top_ = t;
    if (HandleAllocated()) SetScrollPos(GetHandle(), SB_VERT, top_, true);
    Invalidate();
}

void TDialogList::UpdateScroll() {
    if (!HandleAllocated()) return;
    int extra = int(items_.size()) - VisibleRows();
    top_ = std::clamp(top_, 0, std::max(0, extra));
    SetScrollRange(GetHandle(), SB_VERT, 0, std::max(0, extra), true);
    SetScrollPos(GetHandle(), SB_VERT, top_, true);
}

void TDialogList::WMSize(TMessage& M) {
    TCustomControl::WMSize(M);
    UpdateScroll();
}

void TDialogList::WMVScroll(TMessage& M) {
    TWMScroll s(M);
    int page = VisibleRows();
    switch (s.ScrollCode()) {
        case SB_LINEUP: SetTop(top_ - 1); break;
        case SB_LINEDOWN: SetTop(top_ + 1); break;
        case SB_PAGEUP: SetTop(top_ - page); break;
        case SB_PAGEDOWN: SetTop(top_ + page); break;
        case SB_THUMBTRACK:
        case SB_THUMBPOSITION: SetTop(s.Pos()); break;
        case SB_TOP: SetTop(0); break;
        case SB_BOTTOM: SetTop(int(items_.size())); break;
        default: break;
    }
}

void TDialogList::Paint() {
    TCanvas* c = GetCanvas();
    TRect r = GetClientRect();
    c->GetBrush()->SetStyle(bsSolid);
    c->GetBrush()->SetColor(GetColor());
    c->FillRect(r);
    c->GetFont()->Assign(GetFont());
    int h = RowHeight();
    bool focused = Focused();
    for (int i = top_, y = 0; i < int(items_.size()) && y < r.Bottom; ++i, y += h) {
        TRect row = Rect(0, y, r.Right, y + h);
        bool sel = i == index_;
        c->GetBrush()->SetStyle(bsSolid);
        c->GetBrush()->SetColor(sel ? clHighlight : GetColor());
        c->FillRect(row);
        c->GetFont()->SetColor(sel ? clHighlightText : GetFont()->GetColor());
        c->GetBrush()->SetStyle(bsClear);
        TRect t = row;
        t.Left += 2;
        c->DrawText(items_[size_t(i)], t, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
        if (sel && focused) {
            c->GetBrush()->SetStyle(bsSolid);
            c->DrawFocusRect(row);
        }
    }
}

void TDialogList::KeyDown(uint16_t& Key, TShiftState Shift) {
    TCustomControl::KeyDown(Key, Shift);
    int n = int(items_.size());
    if (!n) return;
    int page = VisibleRows();
    switch (Key) {
        case VK_UP: Select(std::max(0, index_ - 1)); break;
        case VK_DOWN: Select(std::min(n - 1, index_ + 1)); break;
        case VK_PRIOR: Select(std::max(0, index_ - page)); break;
        case VK_NEXT: Select(std::min(n - 1, std::max(0, index_) + page)); break;
        case VK_HOME: Select(0); break;
        case VK_END: Select(n - 1); break;
        case VK_RETURN:
            if (index_ >= 0 && OnActivate) OnActivate(this);
            break;
        default: return;
    }
    Key = 0;
}

void TDialogList::KeyPress(char& Key) {
    TCustomControl::KeyPress(Key);
    unsigned char ch = static_cast<unsigned char>(Key);
    if (ch <= 32 || items_.empty()) return;
    int n = int(items_.size());
    for (int k = 1; k <= n; ++k) {
        int i = (std::max(0, index_) + k) % n;
        const std::string& t = items_[size_t(i)];
        if (!t.empty() && std::toupper(static_cast<unsigned char>(t[0])) == std::toupper(ch)) {
            Select(i);
            break;
        }
    }
    Key = 0;
}

void TDialogList::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
    if (Button == mbLeft) {
        if (CanFocus() && !Focused()) SetFocus();
        int i = top_ + Y / std::max(1, RowHeight());
        if (i >= 0 && i < int(items_.size())) Select(i);
    }
    TCustomControl::MouseDown(Button, Shift, X, Y);
}

void TDialogList::DblClick() {
    TCustomControl::DblClick();
    if (index_ >= 0 && OnActivate) OnActivate(this);
}

void TDialogList::DoEnter() {
    Invalidate();
    TCustomControl::DoEnter();
}

void TDialogList::DoExit() {
    Invalidate();
    TCustomControl::DoExit();
}

void TDialogList::WMGetDlgCode(TMessage& M) { M.Result = DLGC_WANTARROWS | DLGC_WANTCHARS; }

void TDialogList::CMWantSpecialKey(TMessage& M) {
    // Enter chooses the row when the list has something to do with it.
    if (M.WParam == VK_RETURN && OnActivate && index_ >= 0) {
        M.Result = 1;
        return;
    }
    TCustomControl::CMWantSpecialKey(M);
}

// ---- TDialogCheckBox ----
TDialogCheckBox::TDialogCheckBox(TComponent* AOwner) : TCustomControl(AOwner) {
    SetControlStyle({csSetCaption, csClickEvents, csCaptureMouse});
    UpdateBoundsRect(Rect(0, 0, 120, 17));
    SetTabStop(true);
}

void TDialogCheckBox::SetChecked(bool v) {
    if (checked_ == v) return;
    checked_ = v;
    if (v && radio_ && GetParent())
        for (TControl* c : GetParent()->ControlList())
            if (auto* o = dynamic_cast<TDialogCheckBox*>(c); o && o != this && o->radio_ && o->checked_) {
                o->checked_ = false;
                o->Invalidate();
                if (o->OnChange) o->OnChange(o);
            }
    Invalidate();
    if (OnChange) OnChange(this);
}

void TDialogCheckBox::Click() {
    if (radio_) SetChecked(true);
    else SetChecked(!checked_);
    TCustomControl::Click();
}

void TDialogCheckBox::KeyPress(char& Key) {
    TCustomControl::KeyPress(Key);
    if (Key == ' ') {
        Key = 0;
        Click();
    }
}

void TDialogCheckBox::DoEnter() {
    Invalidate();
    TCustomControl::DoEnter();
}

void TDialogCheckBox::DoExit() {
    Invalidate();
    TCustomControl::DoExit();
}

void TDialogCheckBox::Paint() {
    TCanvas* c = GetCanvas();
    TRect r = GetClientRect();
    c->GetBrush()->SetStyle(bsSolid);
    c->GetBrush()->SetColor(GetColor());
    c->FillRect(r);
    int box = 13, y = (r.Height() - box) / 2;
    TRect b = Rect(0, y, box, y + box);
    if (radio_) {
        c->GetPen()->SetColor(clBtnShadow);
        c->GetBrush()->SetColor(clWindow);
        c->Ellipse(b);
        if (checked_) {
            c->GetPen()->SetColor(clWindowText);
            c->GetBrush()->SetColor(clWindowText);
            c->Ellipse(b.Left + 4, b.Top + 4, b.Right - 4, b.Bottom - 4);
        }
    } else {
        c->GetBrush()->SetColor(clWindow);
        c->FillRect(b);
        TRect e = b;
        c->DrawEdge(e, EDGE_SUNKEN, BF_RECT);
        if (checked_) {
            c->GetPen()->SetColor(clWindowText);
            for (int d = 0; d < 3; ++d) {
                c->MoveTo(b.Left + 3, b.Top + 5 + d);
                c->LineTo(b.Left + 5, b.Top + 7 + d);
                c->LineTo(b.Left + 10, b.Top + 2 + d);
            }
        }
    }
    c->GetFont()->Assign(GetFont());
    if (!GetEnabled()) c->GetFont()->SetColor(clGrayText);
    c->GetBrush()->SetStyle(bsClear);
    TRect t = Rect(box + 4, 0, r.Right, r.Bottom);
    TRect calc = t;
    c->DrawText(GetCaption(), calc, DT_LEFT | DT_SINGLELINE | DT_CALCRECT);
    c->DrawText(GetCaption(), t, DT_LEFT | DT_VCENTER | DT_SINGLELINE);
    if (Focused()) {
        int th = calc.Height();
        TRect f = Rect(t.Left - 1, (r.Height() - th) / 2 - 1, std::min(r.Right, calc.Right + 2),
                       (r.Height() + th) / 2 + 1);
        c->GetBrush()->SetStyle(bsSolid);
        c->DrawFocusRect(f);
    }
}

// ---- TDialogChoice ----
TDialogChoice::TDialogChoice(TComponent* AOwner) : TCustomControl(AOwner) {
    SetControlStyle({csCaptureMouse, csClickEvents});
    UpdateBoundsRect(Rect(0, 0, 145, 21));
    SetTabStop(true);
    SetParentColor(false);
    SetColor(clWindow);
}

TDialogChoice::~TDialogChoice() {
    if (menu_) menu_->Free();
}

void TDialogChoice::SetItems(const std::vector<std::string>& v) {
    items_ = v;
    index_ = items_.empty() ? -1 : 0;
    Invalidate();
}

void TDialogChoice::SetItemIndex(int v) {
    if (v < -1 || v >= int(items_.size())) v = -1;
    if (v == index_) return;
    index_ = v;
    Invalidate();
}

void TDialogChoice::Choose(int i) {
    if (i < 0 || i >= int(items_.size()) || i == index_) return;
    index_ = i;
    Invalidate();
    if (OnChange) OnChange(this);
}

void TDialogChoice::DropDown() {
    if (!menu_) menu_ = Create<TPopupMenu>(nullptr);
    menu_->GetItems()->Clear();
    for (size_t i = 0; i < items_.size(); ++i) {
        TMenuItem* it = Create<TMenuItem>(menu_);
        // '&' in a choice is text, not an accelerator.
        std::string caption;
        for (char ch : items_[i]) caption += ch == '&' ? std::string("&&") : std::string(1, ch);
        it->SetCaption(caption);
        it->SetRadioItem(true);
        it->SetChecked(int(i) == index_);
        int index = int(i);
        it->OnClick = [this, index](TObject*) { Choose(index); };
        menu_->GetItems()->Add(it);
    }
    TPoint p = ClientToScreen({0, GetHeight()});
    TRect nc = NonClientInsets();
    menu_->Popup(p.X - nc.Left, p.Y - nc.Top);
}

void TDialogChoice::Paint() {
    TCanvas* c = GetCanvas();
    TRect r = GetClientRect();
    c->GetBrush()->SetStyle(bsSolid);
    c->GetBrush()->SetColor(GetColor());
    c->FillRect(r);
    TRect frame = r;
    c->DrawEdge(frame, EDGE_SUNKEN, BF_RECT | BF_ADJUST);
    int bw = 16;
    TRect btn = Rect(frame.Right - bw, frame.Top, frame.Right, frame.Bottom);
    c->GetBrush()->SetColor(clBtnFace);
    c->FillRect(btn);
    TRect be = btn;
    c->DrawEdge(be, EDGE_RAISED, BF_RECT);
    int cx = (btn.Left + btn.Right) / 2, cy = (btn.Top + btn.Bottom) / 2;
    c->GetPen()->SetColor(clBtnText);
    c->GetBrush()->SetColor(clBtnText);
    c->Polygon({{cx - 3, cy - 1}, {cx + 4, cy - 1}, {cx, cy + 3}});
    TRect t = Rect(frame.Left + 1, frame.Top + 1, btn.Left - 1, frame.Bottom - 1);
    bool focused = Focused();
    if (focused) {
        c->GetBrush()->SetColor(clHighlight);
        c->FillRect(t);
    }
    c->GetFont()->Assign(GetFont());
    if (focused) c->GetFont()->SetColor(clHighlightText);
    c->GetBrush()->SetStyle(bsClear);
    TRect tt = t;
    tt.Left += 2;
    if (index_ >= 0)
        c->DrawText(items_[size_t(index_)], tt, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS);
    if (focused) {
        c->GetBrush()->SetStyle(bsSolid);
        c->DrawFocusRect(t);
    }
}

void TDialogChoice::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
    TCustomControl::MouseDown(Button, Shift, X, Y);
    if (Button != mbLeft) return;
    if (CanFocus() && !Focused()) SetFocus();
    SetMouseCapture(false);
    DropDown();
}

void TDialogChoice::KeyDown(uint16_t& Key, TShiftState Shift) {
    TCustomControl::KeyDown(Key, Shift);
    if ((Key == VK_DOWN && Shift.Contains(ssAlt)) || Key == VK_F4) {
        DropDown();
    } else if (Key == VK_UP) {
        Choose(index_ - 1);
    } else if (Key == VK_DOWN) {
        Choose(index_ + 1);
    } else {
        return;
    }
    Key = 0;
}

void TDialogChoice::DoEnter() {
    Invalidate();
    TCustomControl::DoEnter();
}

void TDialogChoice::DoExit() {
    Invalidate();
    TCustomControl::DoExit();
}

void TDialogChoice::WMGetDlgCode(TMessage& M) { M.Result = DLGC_WANTARROWS; }

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
