#include "controls/scrollbar.h"

#include <algorithm>

#include "controls/wininternal.h"
#include "rtl/sysutils.h"

namespace vcl {

using namespace win;

DBV_PUBLISHED(TScrollBar) {
    b.Enum("Kind", &TScrollBar::GetKind, &TScrollBar::SetKind, sbHorizontal);
    b.Int("LargeChange", &TScrollBar::GetLargeChange, &TScrollBar::SetLargeChange, 1).TypeName =
        "TScrollBarInc";
    b.Int("Max", &TScrollBar::GetMax, &TScrollBar::SetMax, 100);
    b.Int("Min", &TScrollBar::GetMin, &TScrollBar::SetMin, 0);
    b.Int("PageSize", &TScrollBar::GetPageSize, &TScrollBar::SetPageSize, 0);
    b.Int("Position", &TScrollBar::GetPosition, &TScrollBar::SetPosition, 0);
    b.Int("SmallChange", &TScrollBar::GetSmallChange, &TScrollBar::SetSmallChange, 1).TypeName =
        "TScrollBarInc";
    b.Bool("TabStop", &TScrollBar::GetTabStop, &TScrollBar::SetTabStop, true);
    b.Event("OnChange", "TNotifyEvent", &TScrollBar::OnChange);
    b.Event("OnScroll", "TScrollEvent", &TScrollBar::OnScroll);
    b.Publish({"Align", "Anchors", "Constraints", "Ctl3D", "DragCursor", "DragMode", "Enabled", "ParentCtl3D",
               "ParentShowHint", "ShowHint", "TabOrder", "Visible", "OnDragDrop", "OnDragOver",
               "OnEndDrag", "OnEnter", "OnExit", "OnKeyDown", "OnKeyPress", "OnKeyUp",
               "OnStartDrag"});
}

TScrollBar::TScrollBar(TComponent* AOwner) : TCustomControl(AOwner) {
    SetControlStyle({csDoubleClicks, csOpaque});
    UpdateBoundsRect(Rect(0, 0, 121, GetSystemMetrics(SM_CYHSCROLL)));
    SetTabStop(true);
}

static void RangeError() { throw EInvalidOperation("Scroll bar property out of range"); }

void TScrollBar::SetKind(TScrollBarKind v) {
    if (kind_ == v) return;
    kind_ = v;
    if (!IsLoading()) SetBounds(GetLeft(), GetTop(), GetHeight(), GetWidth());
    RecreateWnd();
}

void TScrollBar::SetParams(int APosition, int AMin, int AMax) {
    if (IsLoading()) {
        // The properties arrive one by one; Loaded makes them agree.
        min_ = AMin;
        max_ = AMax;
        position_ = APosition;
        return;
    }
    if (AMax < AMin) RangeError();
    APosition = std::clamp(APosition, AMin, std::max(AMin, AMax));
    bool changed = APosition != position_;
    min_ = AMin;
    max_ = AMax;
    position_ = APosition;
    UpdateBar();
    if (changed) Change();
}

void TScrollBar::SetPageSize(int v) {
    if (v == pageSize_) return;
    if ((v < 0 || v > max_ - min_ + 1) && !IsLoading()) RangeError();
    pageSize_ = v;
    UpdateBar();
}

int TScrollBar::ScrollLimit() const { return std::max(min_, max_ - std::max(0, pageSize_ - 1)); }

void TScrollBar::Loaded() {
    TCustomControl::Loaded();
    if (max_ < min_) max_ = min_;
    pageSize_ = std::clamp(pageSize_, 0, max_ - min_ + 1);
    position_ = std::clamp(position_, min_, max_);
    UpdateBar();
}

void TScrollBar::UpdateBar() {
    if (!HandleAllocated()) return;
    // The window's bar spans the positions scrolling reaches, so the thumb is at its end at
    // the scroll limit.
    SetScrollRange(GetHandle(), SB_CTL, min_, ScrollLimit(), false);
    SetScrollPos(GetHandle(), SB_CTL, std::min(position_, ScrollLimit()), false);
    Invalidate();
}

void TScrollBar::Change() {
    if (OnChange) OnChange(this);
}

void TScrollBar::Scroll(TScrollCode ScrollCode, int& ScrollPos) {
    if (OnScroll) OnScroll(this, ScrollCode, ScrollPos);
}

void TScrollBar::CreateParams(TCreateParams& P) {
    TCustomControl::CreateParams(P);
    P.WinClassName = "SCROLLBAR";
    P.Style |= kind_ == sbVertical ? SBS_VERT : SBS_HORZ;
}

void TScrollBar::CreateWindowHandle(const TCreateParams& P) {
    TCustomControl::CreateWindowHandle(P);
    UpdateBar();
}

void TScrollBar::Paint() { ws::PaintScrollBar(this, GetCanvas(), SB_CTL); }

void TScrollBar::WMEraseBkgnd(TMessage& M) { M.Result = 1; }

void TScrollBar::WMGetDlgCode(TMessage& M) { M.Result = DLGC_WANTARROWS; }

// The keys send the scroll messages a press on the bar would; letting go ends the scroll.
void TScrollBar::KeyDown(uint16_t& Key, TShiftState Shift) {
    TCustomControl::KeyDown(Key, Shift);
    int code = -1;
    switch (Key) {
        case VK_LEFT:
        case VK_UP: code = SB_LINEUP; break;
        case VK_RIGHT:
        case VK_DOWN: code = SB_LINEDOWN; break;
        case VK_PRIOR: code = SB_PAGEUP; break;
        case VK_NEXT: code = SB_PAGEDOWN; break;
        case VK_HOME: code = SB_TOP; break;
        case VK_END: code = SB_BOTTOM; break;
        default: return;
    }
    Perform(kind_ == sbVertical ? WM_VSCROLL : WM_HSCROLL, ScrollWParam(code, 0), 0);
}

void TScrollBar::KeyUp(uint16_t& Key, TShiftState Shift) {
    TCustomControl::KeyUp(Key, Shift);
    switch (Key) {
        case VK_LEFT: case VK_UP: case VK_RIGHT: case VK_DOWN:
        case VK_PRIOR: case VK_NEXT: case VK_HOME: case VK_END:
            Perform(kind_ == sbVertical ? WM_VSCROLL : WM_HSCROLL, ScrollWParam(SB_ENDSCROLL, 0), 0);
            break;
        default: break;
    }
}

void TScrollBar::WMHScroll(TMessage& M) { DoScroll(M); }
void TScrollBar::WMVScroll(TMessage& M) { DoScroll(M); }

void TScrollBar::DoScroll(TMessage& M) {
    TWMScroll s(M);
    int code = s.ScrollCode();
    if (code < SB_LINEUP || code > SB_ENDSCROLL) return;
    int pos = position_;
    switch (code) {
        case SB_LINEUP: pos -= smallChange_; break;
        case SB_LINEDOWN: pos += smallChange_; break;
        case SB_PAGEUP: pos -= largeChange_; break;
        case SB_PAGEDOWN: pos += largeChange_; break;
        case SB_THUMBPOSITION:
        case SB_THUMBTRACK: pos = s.Pos(); break;
        case SB_TOP: pos = min_; break;
        case SB_BOTTOM: pos = ScrollLimit(); break;
        default: break;
    }
    pos = std::clamp(pos, min_, ScrollLimit());
    Scroll(TScrollCode(code), pos);
    SetPosition(pos);
}

}  // namespace vcl
