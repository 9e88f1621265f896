#include "controls/buttons.h"

#include "controls/forms.h"

namespace vcl {

using namespace win;

DBV_PUBLISHED(TButton) {
    b.Int("ModalResult", &TButton::GetModalResult, &TButton::SetModalResult, 0).TypeName =
        "TModalResult";
    b.Bool("Default", &TButton::GetDefault, &TButton::SetDefault, false);
    b.Bool("Cancel", &TButton::GetCancel, &TButton::SetCancel, false);
    b.Bool("TabStop", &TButton::GetTabStop, &TButton::SetTabStop, true);
    b.Publish({"Anchors", "Caption", "Constraints", "DragCursor", "DragMode", "Enabled", "Font", "ParentFont",
               "ParentShowHint", "PopupMenu", "ShowHint", "TabOrder", "Visible", "OnClick", "OnDragDrop",
               "OnDragOver", "OnEndDrag", "OnEnter", "OnExit", "OnKeyDown", "OnKeyPress",
               "OnKeyUp", "OnMouseDown", "OnMouseMove", "OnMouseUp", "OnStartDrag"});
}

TButton::TButton(TComponent* AOwner) : TCustomControl(AOwner) {
    SetControlStyle({csSetCaption, csDoubleClicks, csCaptureMouse, csClickEvents});
    UpdateBoundsRect(Rect(0, 0, 75, 25));
    SetTabStop(true);
    SetColor(clBtnFace);
}

void TButton::SetDefault(bool v) {
    if (default_ == v) return;
    default_ = v;
    Invalidate();
}

bool TButton::IsActive() const {
    if (auto* focused = dynamic_cast<TButton*>(FindFocusedControl())) return focused == this;
    return default_;
}

void TButton::Click() {
    if (TCustomForm* f = GetParentForm(this)) f->SetModalResult(modalResult_);
    TCustomControl::Click();
}

void TButton::Dispatch(TMessage& M) {
    switch (M.Msg) {
        case WM_SETFOCUS:
        case WM_KILLFOCUS:
            TCustomControl::Dispatch(M);
            if (M.Msg == WM_KILLFOCUS) pressed_ = spaceDown_ = false;
            // The default frame moves with the focus.
            if (TCustomForm* f = GetParentForm(this)) f->Invalidate();
            break;
        default: TCustomControl::Dispatch(M); break;
    }
}

void TButton::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
    if (Button == mbLeft) {
        if (CanFocus() && !Focused()) SetFocus();
        pressed_ = true;
        Invalidate();
    }
    TCustomControl::MouseDown(Button, Shift, X, Y);
}

void TButton::MouseMove(TShiftState Shift, int X, int Y) {
    if (GetMouseCapture()) {
        bool inside = PtInRect(GetClientRect(), {X, Y});
        if (inside != pressed_) {
            pressed_ = inside;
            Invalidate();
        }
    }
    TCustomControl::MouseMove(Shift, X, Y);
}

void TButton::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
    if (Button == mbLeft && pressed_) {
        pressed_ = false;
        Invalidate();
    }
    TCustomControl::MouseUp(Button, Shift, X, Y);
}

void TButton::KeyDown(uint16_t& Key, TShiftState Shift) {
    if (Key == VK_SPACE && Shift.Empty()) {
        spaceDown_ = pressed_ = true;
        Invalidate();
    }
    TCustomControl::KeyDown(Key, Shift);
}

void TButton::KeyUp(uint16_t& Key, TShiftState Shift) {
    TCustomControl::KeyUp(Key, Shift);
    if (Key == VK_SPACE && spaceDown_) {
        spaceDown_ = pressed_ = false;
        Invalidate();
        Click();
    }
}

void TButton::CMDialogKey(TMessage& M) {
    bool shiftFree = GetKeyState(VK_SHIFT) >= 0 && GetKeyState(VK_CONTROL) >= 0 &&
                     GetKeyState(VK_MENU) >= 0;
    TWMKey key(M);
    if (((key.CharCode() == VK_RETURN && IsActive()) || (key.CharCode() == VK_ESCAPE && cancel_)) &&
        shiftFree && CanFocus()) {
        Click();
        key.Result = 1;
        return;
    }
    TCustomControl::CMDialogKey(M);
}

void TButton::WMGetDlgCode(TMessage& M) {
    TWMGetDlgCode(M).Result = DLGC_BUTTON | (IsActive() ? DLGC_DEFPUSHBUTTON : DLGC_UNDEFPUSHBUTTON);
}

void TButton::Paint() {
    TCanvas* c = GetCanvas();
    TRect r = GetClientRect();
    c->GetBrush()->SetStyle(bsSolid);
    c->GetBrush()->SetColor(GetColor());
    c->FillRect(r);
    if (IsActive() && GetParentForm(this) && GetParentForm(this)->GetActive()) {
        c->GetBrush()->SetColor(clWindowFrame);
        c->FrameRect(r);
        InflateRect(r, -1, -1);
    }
    TRect e = r;
    c->DrawEdge(e, pressed_ ? EDGE_SUNKEN : EDGE_RAISED, BF_RECT);
    c->SetFont(GetFont());
    if (!GetEnabled()) c->GetFont()->SetColor(clGrayText);
    c->GetBrush()->SetStyle(bsClear);
    TRect t = r;
    if (pressed_) OffsetRect(t, 1, 1);
    c->DrawText(GetCaption(), t, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    if (Focused()) {
        TRect f = r;
        InflateRect(f, -3, -3);
        c->GetBrush()->SetStyle(bsSolid);
        c->DrawFocusRect(f);
    }
}

}  // namespace vcl
