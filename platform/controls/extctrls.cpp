#include "controls/extctrls.h"

#include <algorithm>

namespace vcl {

using namespace win;

DBV_PUBLISHED(TCustomPanel) {
    b.Protected();
    b.Enum("BevelInner", &TCustomPanel::GetBevelInner, &TCustomPanel::SetBevelInner, bvNone);
    b.Enum("BevelOuter", &TCustomPanel::GetBevelOuter, &TCustomPanel::SetBevelOuter, bvRaised);
    b.Int("BevelWidth", &TCustomPanel::GetBevelWidth, &TCustomPanel::SetBevelWidth, 1);
    b.Int("BorderWidth", &TCustomPanel::GetBorderWidth, &TCustomPanel::SetBorderWidth, 0);
    b.Enum("BorderStyle", &TCustomPanel::GetBorderStyle, &TCustomPanel::SetBorderStyle, bsNone);
    b.Enum("Alignment", &TCustomPanel::GetAlignment, &TCustomPanel::SetAlignment, taCenter);
    b.Bool("Locked", &TCustomPanel::GetLocked, &TCustomPanel::SetLocked, false);
    b.Bool("FullRepaint", &TCustomPanel::GetFullRepaint, &TCustomPanel::SetFullRepaint, true);
}
DBV_PUBLISHED(TPanel) {
    b.Publish({"Align", "Alignment", "Anchors", "Constraints", "BevelInner", "BevelOuter", "BevelWidth", "BorderWidth",
               "BorderStyle", "Caption", "Color", "Ctl3D", "DragCursor", "DragMode", "Enabled",
               "FullRepaint", "Font", "Locked", "ParentColor", "ParentCtl3D", "ParentFont",
               "ParentShowHint", "PopupMenu", "ShowHint", "TabOrder", "TabStop", "Visible", "OnClick",
               "OnDblClick", "OnDragDrop", "OnDragOver", "OnEndDrag", "OnEnter", "OnExit",
               "OnMouseDown", "OnMouseMove", "OnMouseUp", "OnResize", "OnStartDrag"});
}

TCustomPanel::TCustomPanel(TComponent* AOwner) : TCustomControl(AOwner) {
    SetControlStyle({csAcceptsControls, csCaptureMouse, csClickEvents, csSetCaption, csOpaque,
                     csDoubleClicks, csReplicatable});
    UpdateBoundsRect(Rect(0, 0, 185, 41));
    SetColor(clBtnFace);
}

void TCustomPanel::SetBevelInner(TBevelCut v) {
    if (bevelInner_ == v) return;
    bevelInner_ = v;
    Realign();
    Invalidate();
}

void TCustomPanel::SetBevelOuter(TBevelCut v) {
    if (bevelOuter_ == v) return;
    bevelOuter_ = v;
    Realign();
    Invalidate();
}

void TCustomPanel::SetBevelWidth(int v) {
    v = std::max(1, v);
    if (bevelWidth_ == v) return;
    bevelWidth_ = v;
    Realign();
    Invalidate();
}

void TCustomPanel::SetBorderWidth(int v) {
    v = std::max(0, v);
    if (borderWidth_ == v) return;
    borderWidth_ = v;
    Realign();
    Invalidate();
}

void TCustomPanel::SetBorderStyle(TBorderStyle v) {
    if (v != bsSingle) v = bsNone;
    if (borderStyle_ == v) return;
    borderStyle_ = v;
    RecreateWnd();
}

void TCustomPanel::SetAlignment(TAlignment v) {
    if (alignment_ == v) return;
    alignment_ = v;
    Invalidate();
}

void TCustomPanel::CreateParams(TCreateParams& P) {
    TCustomControl::CreateParams(P);
    if (borderStyle_ == bsSingle) {
        if (GetCtl3D())
            P.ExStyle |= WS_EX_CLIENTEDGE;
        else
            P.Style |= WS_BORDER;
    }
    if (!fullRepaint_) P.ClassStyle &= ~(CS_HREDRAW | CS_VREDRAW);
}

void TCustomPanel::AdjustClientRect(TRect& R) {
    TCustomControl::AdjustClientRect(R);
    InflateRect(R, -borderWidth_, -borderWidth_);
    int bevel = 0;
    if (bevelOuter_ != bvNone) bevel += bevelWidth_;
    if (bevelInner_ != bvNone) bevel += bevelWidth_;
    InflateRect(R, -bevel, -bevel);
}

void TCustomPanel::Paint() {
    TCanvas* c = GetCanvas();
    TRect r = GetClientRect();
    auto colors = [](TBevelCut bevel, TColor& top, TColor& bottom) {
        top = bevel == bvLowered ? clBtnShadow : clBtnHighlight;
        bottom = bevel == bvLowered ? clBtnHighlight : clBtnShadow;
    };
    TColor top, bottom;
    if (bevelOuter_ != bvNone) {
        colors(bevelOuter_, top, bottom);
        c->Frame3D(r, top, bottom, bevelWidth_);
    }
    c->Frame3D(r, GetColor(), GetColor(), borderWidth_);
    if (bevelInner_ != bvNone) {
        colors(bevelInner_, top, bottom);
        c->Frame3D(r, top, bottom, bevelWidth_);
    }
    c->GetBrush()->SetStyle(bsSolid);
    c->GetBrush()->SetColor(GetColor());
    c->FillRect(r);
    c->GetBrush()->SetStyle(bsClear);
    c->SetFont(GetFont());
    int fh = c->TextHeight("W");
    r.Top = (r.Bottom + r.Top - fh) / 2;
    r.Bottom = r.Top + fh;
    static const uint32_t align[] = {DT_LEFT, DT_RIGHT, DT_CENTER};
    c->DrawText(GetCaption(), r, DT_EXPANDTABS | DT_VCENTER | align[alignment_]);
}

void TCustomPanel::WMSize(TMessage& M) {
    TCustomControl::WMSize(M);
    if (fullRepaint_) Invalidate();
}

void TCustomPanel::CMCtl3DChanged(TMessage& M) {
    // A single border is a client edge with Ctl3D and a line without.
    if (borderStyle_ == bsSingle) RecreateWnd();
    TCustomControl::CMCtl3DChanged(M);
}

void TCustomPanel::CMTextChanged(TMessage& M) {
    TCustomControl::CMTextChanged(M);
    Invalidate();
}

}  // namespace vcl
