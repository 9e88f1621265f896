#include "controls/edit.h"

#include <algorithm>

#include "controls/forms.h"
#include "graphics/clipbrd.h"

namespace vcl {

using namespace win;

DBV_PUBLISHED(TCustomEdit) {
    b.Protected();
    b.Int("MaxLength", &TCustomEdit::GetMaxLength, &TCustomEdit::SetMaxLength, 0);
    b.Bool("ReadOnly", &TCustomEdit::GetReadOnly, &TCustomEdit::SetReadOnly, false);
    b.Bool("AutoSelect", &TCustomEdit::GetAutoSelect, &TCustomEdit::SetAutoSelect, true);
    b.Char("PasswordChar", &TCustomEdit::GetPasswordChar, &TCustomEdit::SetPasswordChar, 0);
    b.Enum("BorderStyle", &TCustomEdit::GetBorderStyle, &TCustomEdit::SetBorderStyle, bsSingle);
    b.String("Text", &TCustomEdit::GetText, &TCustomEdit::SetText, "TCaption");
    b.Event("OnChange", "TNotifyEvent", &TCustomEdit::OnChange);
}

DBV_PUBLISHED(TEdit) {
    b.Bool("TabStop", &TEdit::GetTabStop, &TEdit::SetTabStop, true);
    ColorProp(b, "Color", &TEdit::GetColor, &TEdit::SetColor, clWindow)
        .StoredIf(&TEdit::IsColorStored);
    b.Bool("ParentColor", &TEdit::GetParentColor, &TEdit::SetParentColor, false);
    b.Publish({"Align", "AutoSelect", "BorderStyle", "Ctl3D", "DragCursor", "DragMode",
               "Enabled", "Font", "MaxLength", "ParentCtl3D", "ParentFont", "ParentShowHint",
               "PasswordChar", "ReadOnly", "ShowHint", "TabOrder", "Text", "Visible",
               "OnChange", "OnClick", "OnDblClick", "OnDragDrop", "OnDragOver", "OnEndDrag",
               "OnEnter", "OnExit", "OnKeyDown", "OnKeyPress", "OnKeyUp", "OnMouseDown",
               "OnMouseMove", "OnMouseUp", "OnStartDrag"});
}

namespace {
constexpr int kTextMargin = 2;
bool IsContinuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }
// Cuts s to at most n bytes without splitting a character.
void CutUtf8(std::string& s, size_t n) {
    if (s.size() <= n) return;
    while (n > 0 && IsContinuation(s[n])) --n;
    s.resize(n);
}
}

TCustomEdit::TCustomEdit(TComponent* AOwner) : TWinControl(AOwner) {
    canvas_ = Create<TControlCanvas>();
    static_cast<TControlCanvas*>(canvas_)->SetControl(this);
    SetControlStyle({csCaptureMouse, csClickEvents, csSetCaption, csDoubleClicks, csFixedHeight});
    UpdateBoundsRect(Rect(0, 0, 121, 21));
    SetTabStop(true);
    SetParentColor(false);
    SetColor(clWindow);
    SetCursor(crIBeam);
}

TCustomEdit::~TCustomEdit() { canvas_->Free(); }

void TCustomEdit::CreateParams(TCreateParams& P) {
    TWinControl::CreateParams(P);
    if (borderStyle_ == bsSingle) P.ExStyle |= WS_EX_CLIENTEDGE;
}

void TCustomEdit::SetBorderStyle(TBorderStyle v) {
    if (borderStyle_ == v) return;
    borderStyle_ = v;
    RecreateWnd();
}

void TCustomEdit::SetPasswordChar(char v) {
    if (passwordChar_ == v) return;
    passwordChar_ = v;
    Invalidate();
}

std::string TCustomEdit::DisplayText(int from, int to) const {
    const std::string& t = GetText();
    from = std::clamp(from, 0, int(t.size()));
    to = std::clamp(to, from, int(t.size()));
    if (!passwordChar_) return t.substr(size_t(from), size_t(to - from));
    // One password character per character of the text.
    int n = 0;
    for (int i = from; i < to; ++i) n += !IsContinuation(t[size_t(i)]);
    return std::string(size_t(n), passwordChar_);
}

int TCustomEdit::GetSelStart() const { return std::min(anchor_, caret_); }
int TCustomEdit::GetSelLength() const { return std::abs(caret_ - anchor_); }
std::string TCustomEdit::GetSelText() const {
    return GetText().substr(size_t(GetSelStart()), size_t(GetSelLength()));
}

void TCustomEdit::SetSelStart(int v) {
    v = std::clamp(v, 0, int(GetText().size()));
    anchor_ = caret_ = v;
    ScrollToCaret();
    Invalidate();
}

void TCustomEdit::SetSelLength(int v) {
    int start = GetSelStart();
    anchor_ = start;
    caret_ = std::clamp(start + v, 0, int(GetText().size()));
    ScrollToCaret();
    Invalidate();
}

void TCustomEdit::SelectAll() {
    anchor_ = 0;
    caret_ = int(GetText().size());
    ScrollToCaret();
    Invalidate();
}

void TCustomEdit::SetSelText(const std::string& v) {
    std::string t = GetText();
    int start = GetSelStart();
    t.replace(size_t(start), size_t(GetSelLength()), v);
    settingText_ = true;
    try {
        SetText(t);
    } catch (...) {
        settingText_ = false;
        throw;
    }
    settingText_ = false;
    anchor_ = caret_ = start + int(v.size());
    ScrollToCaret();
    Invalidate();
}

void TCustomEdit::ClearSelection() {
    if (GetSelLength()) SetSelText("");
}

void TCustomEdit::CopyToClipboard() {
    if (GetSelLength() && !passwordChar_) Clipboard()->SetAsText(GetSelText());
}

void TCustomEdit::CutToClipboard() {
    if (readOnly_ || passwordChar_) return;
    CopyToClipboard();
    ClearSelection();
}

void TCustomEdit::PasteFromClipboard() {
    if (readOnly_) return;
    std::string s = Clipboard()->GetAsText();
    // One line: the paste ends at the first line break.
    size_t nl = s.find_first_of("\r\n");
    if (nl != std::string::npos) s.resize(nl);
    TypeReplace(s);
}

void TCustomEdit::TypeReplace(const std::string& s) {
    if (readOnly_) {
        MessageBeep(0);
        return;
    }
    std::string ins = s;
    if (maxLength_ > 0) {
        int room = maxLength_ - (int(GetText().size()) - GetSelLength());
        if (room < int(ins.size())) {
            CutUtf8(ins, size_t(std::max(0, room)));
            MessageBeep(0);
        }
    }
    if (ins.empty() && !GetSelLength()) return;
    SetSelText(ins);
    modified_ = true;
}

void TCustomEdit::Change() {
    if (OnChange) OnChange(this);
}

void TCustomEdit::CMTextChanged(TMessage& M) {
    TWinControl::CMTextChanged(M);
    if (!settingText_) {
        // Text set from code: the caret goes to the start, nothing is selected.
        anchor_ = caret_ = 0;
        scroll_ = 0;
    }
    int n = int(GetText().size());
    anchor_ = std::min(anchor_, n);
    caret_ = std::min(caret_, n);
    Invalidate();
    Change();
}

void TCustomEdit::CMFontChanged(TMessage& M) {
    TWinControl::CMFontChanged(M);
    Invalidate();
}

int TCustomEdit::TextX(int pos) const {
    canvas_->GetFont()->Assign(GetFont());
    return kTextMargin - scroll_ + canvas_->TextWidth(DisplayText(0, pos));
}

int TCustomEdit::PrevChar(int pos) const {
    const std::string& t = GetText();
    pos = std::min(pos, int(t.size()));
    if (pos <= 0) return 0;
    --pos;
    while (pos > 0 && IsContinuation(t[size_t(pos)])) --pos;
    return pos;
}

int TCustomEdit::NextChar(int pos) const {
    const std::string& t = GetText();
    if (pos >= int(t.size())) return int(t.size());
    ++pos;
    while (pos < int(t.size()) && IsContinuation(t[size_t(pos)])) ++pos;
    return pos;
}

int TCustomEdit::PosAtX(int x) const {
    const std::string& t = GetText();
    int best = 0, bestDist = 1 << 30;
    for (int i = 0; i <= int(t.size()); ++i) {
        if (i < int(t.size()) && IsContinuation(t[size_t(i)])) continue;
        int dist = std::abs(TextX(i) - x);
        if (dist < bestDist) {
            best = i;
            bestDist = dist;
        }
    }
    return best;
}

void TCustomEdit::ScrollToCaret() {
    int w = GetClientWidth() - 2 * kTextMargin;
    if (w <= 0) return;
    int x = TextX(caret_) + scroll_ - kTextMargin;  // unscrolled
    if (x - scroll_ > w) scroll_ = x - w;
    if (x < scroll_) scroll_ = x;
    if (scroll_ < 0) scroll_ = 0;
}

void TCustomEdit::MoveCaret(int pos, bool extend) {
    pos = std::clamp(pos, 0, int(GetText().size()));
    caret_ = pos;
    if (!extend) anchor_ = pos;
    ScrollToCaret();
    Invalidate();
}

void TCustomEdit::KeyDown(uint16_t& Key, TShiftState Shift) {
    TWinControl::KeyDown(Key, Shift);
    bool ext = Shift.Contains(ssShift);
    int n = int(GetText().size());
    switch (Key) {
        case VK_LEFT:
            if (!ext && GetSelLength())
                MoveCaret(GetSelStart(), false);
            else
                MoveCaret(PrevChar(caret_), ext);
            break;
        case VK_RIGHT:
            if (!ext && GetSelLength())
                MoveCaret(GetSelStart() + GetSelLength(), false);
            else
                MoveCaret(NextChar(caret_), ext);
            break;
        case VK_HOME: MoveCaret(0, ext); break;
        case VK_END: MoveCaret(n, ext); break;
        case VK_DELETE:
            if (Shift.Contains(ssShift)) {
                CutToClipboard();
            } else if (!readOnly_) {
                if (!GetSelLength() && caret_ < n) anchor_ = NextChar(caret_);
                TypeReplace("");
            }
            break;
        case VK_INSERT:
            if (Shift.Contains(ssCtrl))
                CopyToClipboard();
            else if (Shift.Contains(ssShift))
                PasteFromClipboard();
            break;
        default: return;
    }
    Key = 0;
}

void TCustomEdit::KeyPress(char& Key) {
    TWinControl::KeyPress(Key);
    unsigned char ch = static_cast<unsigned char>(Key);
    switch (ch) {
        case 0: return;
        case 1: SelectAll(); break;                // Ctrl+A
        case 3: CopyToClipboard(); break;          // Ctrl+C
        case 22: PasteFromClipboard(); break;      // Ctrl+V
        case 24: CutToClipboard(); break;          // Ctrl+X
        case 8:                                    // Backspace
            if (readOnly_) {
                MessageBeep(0);
            } else if (GetSelLength() || caret_ > 0) {
                if (!GetSelLength()) anchor_ = PrevChar(caret_);
                TypeReplace("");
            }
            break;
        default:
            if (ch < 32 || ch == 127) return;  // Enter, Escape, Tab: not text
            TypeReplace(std::string(1, Key));
            break;
    }
    Key = 0;
}

void TCustomEdit::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
    if (Button == mbLeft) {
        if (CanFocus() && !Focused()) SetFocus();
        MoveCaret(PosAtX(X), Shift.Contains(ssShift));
    }
    TWinControl::MouseDown(Button, Shift, X, Y);
}

void TCustomEdit::MouseMove(TShiftState Shift, int X, int Y) {
    if (GetMouseCapture() && Shift.Contains(ssLeft)) MoveCaret(PosAtX(X), true);
    TWinControl::MouseMove(Shift, X, Y);
}

void TCustomEdit::DblClick() {
    SelectAll();
    TWinControl::DblClick();
}

void TCustomEdit::DoEnter() {
    // Not when a click brought the focus: the click places the caret.
    if (autoSelect_ && GetKeyState(VK_LBUTTON) >= 0) SelectAll();
    Invalidate();
    TWinControl::DoEnter();
}

void TCustomEdit::DoExit() {
    Invalidate();
    TWinControl::DoExit();
}

void TCustomEdit::WMGetDlgCode(TMessage& M) {
    M.Result = DLGC_WANTARROWS | DLGC_WANTCHARS | DLGC_HASSETSEL;
}

void TCustomEdit::PaintWindow(HDC dc) {
    auto* cc = static_cast<TControlCanvas*>(canvas_);
    cc->AttachDC(dc);
    try {
        TCanvas* c = canvas_;
        TRect r = GetClientRect();
        c->GetBrush()->SetStyle(bsSolid);
        c->GetBrush()->SetColor(GetEnabled() ? GetColor() : clBtnFace);
        c->FillRect(r);
        c->GetFont()->Assign(GetFont());
        if (!GetEnabled()) c->GetFont()->SetColor(clGrayText);
        std::string d = DisplayText(0, int(GetText().size()));
        int th = c->TextHeight("Wg");
        int y = std::max(0, (r.Height() - th) / 2);
        c->IntersectClipRect(r);
        c->GetBrush()->SetStyle(bsClear);
        c->TextOut(TextX(0), y, d);
        bool focused = Focused();
        int s = GetSelStart(), l = GetSelLength();
        if (l && (focused || !autoSelect_)) {
            int x1 = TextX(s), x2 = TextX(s + l);
            c->GetBrush()->SetStyle(bsSolid);
            c->GetBrush()->SetColor(clHighlight);
            c->GetFont()->SetColor(clHighlightText);
            c->TextRect(Rect(x1, y, x2, y + th), x1, y, DisplayText(s, s + l));
        }
        if (focused) {
            int x = TextX(caret_);
            c->GetPen()->SetColor(clWindowText);
            c->MoveTo(x, y);
            c->LineTo(x, y + th);
        }
    } catch (...) {
        cc->AttachDC(nullptr);
        throw;
    }
    cc->AttachDC(nullptr);
}

}  // namespace vcl
