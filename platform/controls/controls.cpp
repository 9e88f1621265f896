// TControl, TWinControl, TGraphicControl, TCustomControl and the control canvas.
#include "controls/controls.h"

#include <algorithm>
#include <cstdlib>

#include "controls/forms.h"
#include "controls/menus.h"
#include "controls/wininternal.h"
#include "rtl/sysutils.h"

namespace vcl {

using namespace win;

TShiftState KeysToShiftState(WPARAM keys) {
    TShiftState s;
    if (keys & MK_SHIFT) s.Include(ssShift);
    if (keys & MK_CONTROL) s.Include(ssCtrl);
    if (keys & MK_LBUTTON) s.Include(ssLeft);
    if (keys & MK_RBUTTON) s.Include(ssRight);
    if (keys & MK_MBUTTON) s.Include(ssMiddle);
    if (GetKeyState(VK_MENU) < 0) s.Include(ssAlt);
    return s;
}

TShiftState KeyboardShiftState() {
    TShiftState s;
    if (GetKeyState(VK_SHIFT) < 0) s.Include(ssShift);
    if (GetKeyState(VK_CONTROL) < 0) s.Include(ssCtrl);
    if (GetKeyState(VK_MENU) < 0) s.Include(ssAlt);
    return s;
}

std::string GetShortHint(const std::string& hint) {
    size_t p = hint.find('|');
    return p == std::string::npos ? hint : hint.substr(0, p);
}

std::string GetLongHint(const std::string& hint) {
    size_t p = hint.find('|');
    return p == std::string::npos ? hint : hint.substr(p + 1);
}

TCustomForm* GetParentForm(const TControl* c) {
    while (c && c->GetParent()) c = c->GetParent();
    return c ? dynamic_cast<TCustomForm*>(const_cast<TControl*>(c)) : nullptr;
}

TCustomForm* ValidParentForm(const TControl* c) {
    TCustomForm* f = GetParentForm(c);
    if (!f) throw EInvalidOperation(Format("Control '%s' has no parent window", c->GetName().c_str()));
    return f;
}

TControl* GetCaptureControl() { return ws::Input().CaptureControl; }

void SetCaptureControl(TControl* c) {
    win::ReleaseCapture();
    if (!c) return;
    auto* wc = dynamic_cast<TWinControl*>(c);
    if (!wc) wc = c->GetParent();
    if (wc && wc->HandleAllocated()) win::SetCapture(wc->GetHandle());
    ws::Input().CaptureControl = c;
}

TControl* GetMouseControl() { return ws::Input().MouseControl; }

TWinControl* FindFocusedControl() { return win::FindControl(win::GetFocus()); }

TControl* FindDragTarget(TPoint screen, bool AllowDisabled) {
    for (HWND h : ws::TopLevelOrder()) {
        TWinControl* top = win::FindControl(h);
        if (!top || !top->IsShowing() || dynamic_cast<THintWindow*>(top)) continue;
        TRect wr;
        win::GetWindowRect(h, wr);
        if (!PtInRect(wr, screen)) continue;
        TWinControl* c = top;
        for (;;) {
            TPoint p = c->ScreenToClient(screen);
            if (!PtInRect(c->GetClientRect(), p)) return c;
            TControl* child = c->ControlAtPos(p, AllowDisabled, true);
            if (!child) return c;
            auto* wc = dynamic_cast<TWinControl*>(child);
            if (!wc) return child;
            c = wc;
        }
    }
    return nullptr;
}

TControl* FindVCLWindow(TPoint screen) {
    TControl* c = FindDragTarget(screen, true);
    while (c && !dynamic_cast<TWinControl*>(c)) c = c->GetParent();
    return c;
}

TDeviceContext DCForBitmap(TBitmap* bitmap, TPoint origin) {
    if (!bitmap || bitmap->GetEmpty()) throw EInvalidOperation("No bitmap to paint on");
    TDeviceContext dc;
    dc.Pixels = bitmap->ScanLine(0);
    dc.Width = bitmap->GetWidth();
    dc.Height = bitmap->GetHeight();
    dc.Stride = bitmap->StrideBytes();
    dc.Origin = origin;
    dc.Clip = Rect(0, 0, dc.Width, dc.Height);
    return dc;
}

// =============================================================================================
// TControlCanvas

namespace {
std::vector<TControlCanvas*>& AttachedCanvases() {
    static std::vector<TControlCanvas*> v;
    return v;
}
uint32_t g_scratchPixel = 0;
}  // namespace

DBV_IMPLEMENT_CLASS(TControlCanvas)

TControlCanvas::~TControlCanvas() { FreeHandle(); }

void TControlCanvas::AttachDC(HDC dc) {
    FreeHandle();
    if (!dc) return;
    AttachPixels(dc->Pixels, dc->Width, dc->Height, dc->Stride, dc->Origin, &dc->Clip);
    if (dc->Log && (!dc->LogOnly || dc->LogOnly == control_)) {
        ownLog_ = GetLog();
        logSwapped_ = true;
        SetLog(dc->Log);
    }
}

void TControlCanvas::FreeHandle() {
    if (logSwapped_) {
        SetLog(ownLog_);
        logSwapped_ = false;
    }
    if (HandleAllocated()) DetachPixels();
    if (listed_) {
        auto& v = AttachedCanvases();
        v.erase(std::remove(v.begin(), v.end(), this), v.end());
        listed_ = false;
    }
}

void TControlCanvas::FreeDeviceContexts() {
    auto v = AttachedCanvases();
    for (TControlCanvas* c : v) c->FreeHandle();
}

void TControlCanvas::CreateHandle() {
    // Outside a paint: draw straight onto the window surface, clipped to what shows.
    if (!control_) return;
    TWinControl* w = control_->PaintParent();
    TBitmap* surf = nullptr;
    if (w && w->HandleAllocated() && control_->IsShowing())
        surf = ws::SurfaceOf(ws::TopLevelOf(w->GetHandle()));
    if (!surf) {
        TRect none;
        AttachPixels(&g_scratchPixel, 1, 1, 4, {}, &none);
    } else {
        TPoint off = ws::SurfaceOffset(w);
        TRect vis = ws::VisibleClientRect(w);
        if (w != control_) {
            TRect b = control_->GetBoundsRect();
            IntersectRect(vis, vis, b);
            off.X += control_->GetLeft();
            off.Y += control_->GetTop();
            OffsetRect(vis, off.X - control_->GetLeft(), off.Y - control_->GetTop());
        } else {
            OffsetRect(vis, off.X, off.Y);
        }
        AttachPixels(surf->ScanLine(0), surf->GetWidth(), surf->GetHeight(), surf->StrideBytes(),
                     off, &vis);
    }
    AttachedCanvases().push_back(this);
    listed_ = true;
}

namespace {
struct CanvasDCGuard {
    TControlCanvas* c;
    CanvasDCGuard(TControlCanvas* canvas, HDC dc) : c(canvas) { c->AttachDC(dc); }
    ~CanvasDCGuard() { c->AttachDC(nullptr); }
};
}  // namespace

// =============================================================================================
// TControl

namespace {
struct TCursorName {
    TCursor c;
    const char* name;
};
constexpr TCursorName kCursorNames[] = {
    {crDefault, "crDefault"},     {crNone, "crNone"},           {crArrow, "crArrow"},
    {crCross, "crCross"},         {crIBeam, "crIBeam"},         {crSizeNESW, "crSizeNESW"},
    {crSizeNS, "crSizeNS"},       {crSizeNWSE, "crSizeNWSE"},   {crSizeWE, "crSizeWE"},
    {crUpArrow, "crUpArrow"},     {crHourGlass, "crHourGlass"}, {crDrag, "crDrag"},
    {crNoDrop, "crNoDrop"},       {crHSplit, "crHSplit"},       {crVSplit, "crVSplit"},
    {crMultiDrag, "crMultiDrag"}, {crSQLWait, "crSQLWait"},     {crNo, "crNo"},
    {crAppStart, "crAppStart"},   {crHelp, "crHelp"},           {crHandPoint, "crHandPoint"},
    {crSizeAll, "crSizeAll"},
};
}  // namespace

bool CursorToIdent(TCursor c, std::string& ident) {
    for (const auto& n : kCursorNames)
        if (n.c == c) {
            ident = n.name;
            return true;
        }
    return false;
}

bool IdentToCursor(std::string_view ident, TCursor& c) {
    for (const auto& n : kCursorNames)
        if (SameText(ident, n.name)) {
            c = n.c;
            return true;
        }
    return false;
}

const TIdentMap& CursorIdents() { return IdentMapOf<TCursor, CursorToIdent, IdentToCursor>(); }

// TControl publishes its position, cursor and hint; everything else is declared here and
// published by the concrete controls, so the inspector shows exactly what each one offers.
DBV_PUBLISHED(TControl) {
    b.Int("Left", &TControl::GetLeft, &TControl::SetLeft, 0);
    b.Int("Top", &TControl::GetTop, &TControl::SetTop, 0);
    b.Int("Width", &TControl::GetWidth, &TControl::SetWidth, 0).NoDefault();
    b.Int("Height", &TControl::GetHeight, &TControl::SetHeight, 0).NoDefault();
    CursorProp(b, "Cursor", &TControl::GetCursor, &TControl::SetCursor, crDefault);
    b.String("Hint", &TControl::GetHint, &TControl::SetHint);
    b.Protected();
    b.Enum("Align", &TControl::GetAlign, &TControl::SetAlign, alNone);
    b.String("Caption", &TControl::GetCaption, &TControl::SetCaption, "TCaption");
    ColorProp(b, "Color", &TControl::GetColor, &TControl::SetColor, clWindow)
        .StoredIf(&TControl::IsColorStored);
    b.Bool("ParentColor", &TControl::GetParentColor, &TControl::SetParentColor, true);
    b.Object("Font", &TControl::GetFont, &TControl::SetFont).StoredIf(&TControl::IsFontStored);
    b.Bool("ParentFont", &TControl::GetParentFont, &TControl::SetParentFont, true);
    b.Bool("Enabled", &TControl::GetEnabled, &TControl::SetEnabled, true);
    b.Bool("Visible", &TControl::GetVisible, &TControl::SetVisible, true);
    b.Bool("ShowHint", &TControl::GetShowHint, &TControl::SetShowHint, false);
    b.Bool("ParentShowHint", &TControl::GetParentShowHint, &TControl::SetParentShowHint, true);
    b.Enum("DragMode", &TControl::GetDragMode, &TControl::SetDragMode, dmManual);
    CursorProp(b, "DragCursor", &TControl::GetDragCursor, &TControl::SetDragCursor, crDrag);
    b.Component("PopupMenu", &TControl::GetPopupMenu, &TControl::SetPopupMenu);
    b.Set("Anchors", "TAnchors", &TControl::GetAnchors, &TControl::SetAnchors,
          TAnchors{akLeft, akTop});
    b.Object("Constraints", &TControl::GetConstraints, &TControl::SetConstraints);
    b.Event("OnMouseWheel", "TMouseWheelEvent", &TControl::OnMouseWheel);
    b.Event("OnMouseWheelDown", "TMouseWheelUpDownEvent", &TControl::OnMouseWheelDown);
    b.Event("OnMouseWheelUp", "TMouseWheelUpDownEvent", &TControl::OnMouseWheelUp);
    b.Event("OnClick", "TNotifyEvent", &TControl::OnClick);
    b.Event("OnDblClick", "TNotifyEvent", &TControl::OnDblClick);
    b.Event("OnMouseDown", "TMouseEvent", &TControl::OnMouseDown);
    b.Event("OnMouseMove", "TMouseMoveEvent", &TControl::OnMouseMove);
    b.Event("OnMouseUp", "TMouseEvent", &TControl::OnMouseUp);
    b.Event("OnResize", "TNotifyEvent", &TControl::OnResize);
    b.Event("OnDragOver", "TDragOverEvent", &TControl::OnDragOver);
    b.Event("OnDragDrop", "TDragDropEvent", &TControl::OnDragDrop);
    b.Event("OnEndDrag", "TEndDragEvent", &TControl::OnEndDrag);
    b.Event("OnStartDrag", "TStartDragEvent", &TControl::OnStartDrag);
}

TControl::TControl(TComponent* AOwner) : TComponent(AOwner) {
    font_ = Create<TFont>();
    font_->OnChange = [this](TObject*) { FontChanged(); };
    constraints_ = Create<TSizeConstraints>();
    constraints_->OnChange = [this](TObject*) {
        int w = width_, h = height_;
        ConstrainSize(w, h);
        if (w != width_ || h != height_) SetBounds(left_, top_, w, h);
    };
}

TControl::~TControl() {
    if (parent_) parent_->RemoveControl(this);
    ws::ForgetControl(this);
    if (font_) {
        font_->OnChange = nullptr;
        font_->Free();
    }
    if (constraints_) {
        constraints_->OnChange = nullptr;
        constraints_->Free();
    }
}

void TControl::BeforeDestruction() {
    TComponent::BeforeDestruction();
    ws::ForgetControl(this);
    if (parent_) parent_->RemoveControl(this);
}

void TControl::WndProc(TMessage& M) {
    if (M.Msg >= WM_MOUSEFIRST && M.Msg <= WM_MOUSELAST) {
        // Without csDoubleClicks a double click arrives as another press.
        if (!controlStyle_.Contains(csDoubleClicks)) {
            if (M.Msg == WM_LBUTTONDBLCLK) M.Msg = WM_LBUTTONDOWN;
            if (M.Msg == WM_RBUTTONDBLCLK) M.Msg = WM_RBUTTONDOWN;
            if (M.Msg == WM_MBUTTONDBLCLK) M.Msg = WM_MBUTTONDOWN;
        }
        if (!IsDesigning()) {
            if ((M.Msg == WM_LBUTTONDOWN || M.Msg == WM_LBUTTONDBLCLK) &&
                dragMode_ == dmAutomatic) {
                BeginDrag(true);
                return;
            }
        }
        if (M.Msg == WM_LBUTTONDOWN || M.Msg == WM_LBUTTONDBLCLK)
            controlState_.Include(csLButtonDown);
        else if (M.Msg == WM_LBUTTONUP)
            controlState_.Exclude(csLButtonDown);
    }
    Dispatch(M);
}

void TControl::Dispatch(TMessage& M) {
    switch (M.Msg) {
        case WM_LBUTTONDOWN: WMLButtonDown(M); break;
        case WM_RBUTTONDOWN: WMRButtonDown(M); break;
        case WM_MBUTTONDOWN: WMMButtonDown(M); break;
        case WM_LBUTTONDBLCLK: WMLButtonDblClk(M); break;
        case WM_RBUTTONDBLCLK: WMRButtonDblClk(M); break;
        case WM_MBUTTONDBLCLK: WMMButtonDblClk(M); break;
        case WM_LBUTTONUP: WMLButtonUp(M); break;
        case WM_RBUTTONUP: WMRButtonUp(M); break;
        case WM_MBUTTONUP: WMMButtonUp(M); break;
        case WM_MOUSEMOVE: WMMouseMove(M); break;
        case WM_PAINT: WMPaint(M); break;
        case CM_ENABLEDCHANGED: CMEnabledChanged(M); break;
        case CM_VISIBLECHANGED: CMVisibleChanged(M); break;
        case CM_COLORCHANGED: CMColorChanged(M); break;
        case CM_FONTCHANGED: CMFontChanged(M); break;
        case CM_TEXTCHANGED: CMTextChanged(M); break;
        case CM_PARENTCOLORCHANGED: CMParentColorChanged(M); break;
        case CM_PARENTFONTCHANGED: CMParentFontChanged(M); break;
        case CM_PARENTSHOWHINTCHANGED: CMParentShowHintChanged(M); break;
        case CM_MOUSEENTER: CMMouseEnter(M); break;
        case CM_MOUSELEAVE: CMMouseLeave(M); break;
        case CM_HITTEST: CMHitTest(M); break;
        case CM_CANCELMODE: CMCancelMode(M); break;
        default: DefaultHandler(M); break;
    }
}

void TControl::DefaultHandler(TMessage& M) {
    switch (M.Msg) {
        case WM_GETTEXTLENGTH: M.Result = LRESULT(text_.size()); break;
        default: break;
    }
}

LRESULT TControl::Perform(UINT Msg, WPARAM WParam, LPARAM LParam) {
    TMessage m;
    m.Msg = Msg;
    m.WParam = WParam;
    m.LParam = LParam;
    if (WindowProc)
        WindowProc(m);
    else
        WndProc(m);
    return m.Result;
}

void TControl::SendCancelMode(TControl* Sender) {
    for (TControl* c = this; c; c = c->parent_) {
        if (auto* f = dynamic_cast<TCustomForm*>(c)) {
            if (f->GetActive() && f->GetActiveControl())
                f->GetActiveControl()->Perform(CM_CANCELMODE, 0, LPARAM(Sender));
        }
    }
}

void TControl::DoMouseDown(TMessage& M, TMouseButton Button, TShiftState Shift) {
    if (controlStyle_.Contains(csNoStdEvents)) return;
    TWMMouse m(M);
    MouseDown(Button, KeysToShiftState(m.Keys()) + Shift, m.XPos(), m.YPos());
}

void TControl::DoMouseUp(TMessage& M, TMouseButton Button) {
    if (controlStyle_.Contains(csNoStdEvents)) return;
    TWMMouse m(M);
    MouseUp(Button, KeysToShiftState(m.Keys()), m.XPos(), m.YPos());
}

void TControl::WMLButtonDown(TMessage& M) {
    SendCancelMode(this);
    if (controlStyle_.Contains(csCaptureMouse)) SetMouseCapture(true);
    if (controlStyle_.Contains(csClickEvents)) controlState_.Include(csClicked);
    DoMouseDown(M, mbLeft, {});
}
void TControl::WMRButtonDown(TMessage& M) {
    SendCancelMode(this);
    DoMouseDown(M, mbRight, {});
}
void TControl::WMMButtonDown(TMessage& M) {
    SendCancelMode(this);
    DoMouseDown(M, mbMiddle, {});
}
void TControl::WMLButtonDblClk(TMessage& M) {
    SendCancelMode(this);
    if (controlStyle_.Contains(csCaptureMouse)) SetMouseCapture(true);
    if (controlStyle_.Contains(csClickEvents)) DblClick();
    DoMouseDown(M, mbLeft, {ssDouble});
}
void TControl::WMRButtonDblClk(TMessage& M) { DoMouseDown(M, mbRight, {ssDouble}); }
void TControl::WMMButtonDblClk(TMessage& M) { DoMouseDown(M, mbMiddle, {ssDouble}); }

void TControl::WMLButtonUp(TMessage& M) {
    if (controlStyle_.Contains(csCaptureMouse)) SetMouseCapture(false);
    clickPending_ = false;
    if (controlState_.Contains(csClicked)) {
        controlState_.Exclude(csClicked);
        clickPending_ = PtInRect(GetClientRect(), TWMMouse(M).Pos());
    }
    try {
        DoMouseUp(M, mbLeft);
    } catch (...) {
        clickPending_ = false;
        throw;
    }
    clickPending_ = false;
}
void TControl::WMRButtonUp(TMessage& M) {
    DoMouseUp(M, mbRight);
    // Then the context menu, as the platform's default handling of the release does.
    if (!IsDesigning()) ShowContextMenu(this, ClientToScreen(TWMMouse(M).Pos()));
}

void TControl::SetPopupMenu(TPopupMenu* v) {
    if (popupMenu_ == v) return;
    if (popupMenu_) popupMenu_->RemoveFreeNotification(this);
    popupMenu_ = v;
    if (v) v->FreeNotification(this);
}

void TControl::Notification(TComponent* AComponent, TOperation Operation) {
    TComponent::Notification(AComponent, Operation);
    if (Operation == opRemove && AComponent == popupMenu_) popupMenu_ = nullptr;
}
void TControl::WMMButtonUp(TMessage& M) { DoMouseUp(M, mbMiddle); }

void TControl::WMMouseMove(TMessage& M) {
    if (controlStyle_.Contains(csNoStdEvents)) return;
    TWMMouse m(M);
    MouseMove(KeysToShiftState(m.Keys()), m.XPos(), m.YPos());
}

void TControl::WMPaint(TMessage& M) { DefaultHandler(M); }

void TControl::Click() {
    if (OnClick) OnClick(this);
}
void TControl::DblClick() {
    if (OnDblClick) OnDblClick(this);
}
void TControl::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
    if (OnMouseDown) OnMouseDown(this, Button, Shift, X, Y);
}
void TControl::MouseMove(TShiftState Shift, int X, int Y) {
    if (OnMouseMove) OnMouseMove(this, Shift, X, Y);
}
void TControl::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
    // The platform's mouse-up step: a pending left click becomes Click, then OnMouseUp.
    if (Button == mbLeft && clickPending_) {
        clickPending_ = false;
        Click();
    }
    if (OnMouseUp) OnMouseUp(this, Button, Shift, X, Y);
}
void TControl::Resize() {
    if (OnResize) OnResize(this);
}

bool TControl::DoMouseWheel(TShiftState Shift, int WheelDelta, TPoint MousePos) {
    bool handled = false;
    if (OnMouseWheel) OnMouseWheel(this, Shift, WheelDelta, MousePos, handled);
    if (handled) return true;
    if (WheelDelta < 0) return DoMouseWheelDown(Shift, MousePos);
    if (WheelDelta > 0) return DoMouseWheelUp(Shift, MousePos);
    return false;
}

bool TControl::DoMouseWheelDown(TShiftState Shift, TPoint MousePos) {
    bool handled = false;
    if (OnMouseWheelDown) OnMouseWheelDown(this, Shift, MousePos, handled);
    return handled;
}

bool TControl::DoMouseWheelUp(TShiftState Shift, TPoint MousePos) {
    bool handled = false;
    if (OnMouseWheelUp) OnMouseWheelUp(this, Shift, MousePos, handled);
    return handled;
}

void TControl::CMEnabledChanged(TMessage&) { Invalidate(); }
void TControl::CMVisibleChanged(TMessage&) {
    if (parent_) parent_->InvalidateClientRect(GetBoundsRect());
}
void TControl::CMColorChanged(TMessage&) { Invalidate(); }
void TControl::CMFontChanged(TMessage&) { Invalidate(); }
void TControl::CMTextChanged(TMessage&) { Invalidate(); }
void TControl::CMParentColorChanged(TMessage& M) {
    if (!parentColor_) return;
    if (M.WParam)
        SetColor(TColor(M.LParam));
    else if (parent_)
        SetColor(parent_->color_);
    parentColor_ = true;
}
void TControl::CMParentFontChanged(TMessage& M) {
    if (!parentFont_) return;
    updatingFont_ = true;
    try {
        if (M.WParam)
            font_->Assign(reinterpret_cast<TFont*>(M.LParam));
        else if (parent_)
            font_->Assign(parent_->font_);
    } catch (...) {
        updatingFont_ = false;
        throw;
    }
    updatingFont_ = false;
    parentFont_ = true;
}
void TControl::CMParentShowHintChanged(TMessage&) {
    if (!parentShowHint_ || !parent_) return;
    SetShowHint(parent_->showHint_);
    parentShowHint_ = true;
}
void TControl::CMMouseEnter(TMessage& M) { DefaultHandler(M); }
void TControl::CMMouseLeave(TMessage& M) { DefaultHandler(M); }
void TControl::CMHitTest(TMessage& M) { M.Result = HTCLIENT; }
void TControl::CMCancelMode(TMessage& M) { DefaultHandler(M); }

void TControl::FontChanged() {
    if (!updatingFont_) parentFont_ = false;
    Perform(CM_FONTCHANGED);
}

void TControl::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
    ConstrainSize(AWidth, AHeight);
    if (ALeft == left_ && ATop == top_ && AWidth == width_ && AHeight == height_) return;
    Invalidate();
    left_ = ALeft;
    top_ = ATop;
    width_ = AWidth;
    height_ = AHeight;
    if (!anchoring_) UpdateAnchorRules();
    Invalidate();
    RequestAlign();
    if (!IsLoading()) Resize();
}

void TControl::ConstrainSize(int& AWidth, int& AHeight) const {
    if (constraints_) {
        AWidth = constraints_->ClampWidth(AWidth);
        AHeight = constraints_->ClampHeight(AHeight);
    }
    AWidth = std::max(0, AWidth);
    AHeight = std::max(0, AHeight);
}

// ---- anchors ----
void TControl::SetAnchors(TAnchors v) {
    if (anchors_ == v) return;
    anchors_ = v;
    UpdateAnchorRules();
}

void TControl::UpdateAnchorRules() {
    anchorBounds_ = GetBoundsRect();
    if (parent_) {
        TRect pr = parent_->GetClientRect();
        anchorParent_ = {pr.Width(), pr.Height()};
    } else {
        anchorParent_ = {};
    }
    anchorPlacedFor_ = anchorParent_;
}

void TControl::AnchorToParent() {
    if (!parent_ || align_ != alNone || anchoring_) return;
    TRect pr = parent_->GetClientRect();
    TSize now{pr.Width(), pr.Height()};
    if (now == anchorPlacedFor_) return;
    anchorPlacedFor_ = now;
    if (anchors_ == TAnchors{akLeft, akTop}) return;
    // A parent that had no size yet when the rules were taken gives no distances to keep:
    // the rules start from the size it has now.
    if (anchorParent_.cx <= 0) anchorParent_.cx = now.cx;
    if (anchorParent_.cy <= 0) anchorParent_.cy = now.cy;
    TSize base = anchorParent_;
    auto place = [](int& pos, int& len, int delta, bool nearSide, bool farSide) {
        if (nearSide && farSide)
            len += delta;
        else if (farSide)
            pos += delta;
        else if (!nearSide)
            pos += delta / 2;
    };
    int l = anchorBounds_.Left, t = anchorBounds_.Top;
    int w = anchorBounds_.Width(), h = anchorBounds_.Height();
    place(l, w, now.cx - base.cx, anchors_.Contains(akLeft), anchors_.Contains(akRight));
    place(t, h, now.cy - base.cy, anchors_.Contains(akTop), anchors_.Contains(akBottom));
    anchoring_ = true;
    try {
        SetBounds(l, t, w, h);
    } catch (...) {
        anchoring_ = false;
        throw;
    }
    anchoring_ = false;
}

void TControl::UpdateBoundsRect(const TRect& R) {
    left_ = R.Left;
    top_ = R.Top;
    width_ = std::max(0, R.Width());
    height_ = std::max(0, R.Height());
}

TRect TControl::GetClientRect() const { return Rect(0, 0, width_, height_); }

void TControl::SetClientWidth(int v) {
    SetBounds(left_, top_, width_ - GetClientWidth() + v, height_);
}
void TControl::SetClientHeight(int v) {
    SetBounds(left_, top_, width_, height_ - GetClientHeight() + v);
}

TPoint TControl::GetClientOrigin() const {
    if (!parent_) return {left_, top_};
    TPoint o = parent_->GetClientOrigin();
    return {o.X + left_, o.Y + top_};
}

TPoint TControl::ClientToScreen(TPoint p) const {
    TPoint o = GetClientOrigin();
    return {p.X + o.X, p.Y + o.Y};
}

TPoint TControl::ScreenToClient(TPoint p) const {
    TPoint o = GetClientOrigin();
    return {p.X - o.X, p.Y - o.Y};
}

void TControl::SetParent(TWinControl* AParent) {
    if (parent_ == AParent) return;
    if (AParent == this) throw EInvalidOperation("A control cannot have itself as its parent");
    if (parent_) parent_->RemoveControl(this);
    if (AParent) AParent->InsertControl(this);
    UpdateAnchorRules();
}

// A control still at the origin that takes alTop or alLeft at run time goes after the
// siblings already aligned there (the platform would put it first, as it ties with the
// first of them). A control given a position keeps the order by position.
static void PlaceAfterAligned(TControl* c) {
    TWinControl* p = c->GetParent();
    if (!p || c->IsLoading() || p->IsLoading()) return;
    TAlign a = c->GetAlign();
    if (!((a == alTop && c->GetTop() == 0) || (a == alLeft && c->GetLeft() == 0))) return;
    bool any = false;
    int edge = 0;
    for (TControl* s : p->ControlList()) {
        if (s == c || s->GetAlign() != a || !s->GetVisible()) continue;
        int e = a == alTop ? s->GetTop() + s->GetHeight() : s->GetLeft() + s->GetWidth();
        edge = any ? std::max(edge, e) : e;
        any = true;
    }
    if (!any) return;
    if (a == alTop)
        c->SetBounds(c->GetLeft(), edge, c->GetWidth(), c->GetHeight());
    else
        c->SetBounds(edge, c->GetTop(), c->GetWidth(), c->GetHeight());
}

void TControl::SetAlign(TAlign v) {
    if (align_ == v) return;
    TAlign old = align_;
    bool oldVert = old == alTop || old == alBottom, newHorz = v == alLeft || v == alRight;
    bool oldHorz = old == alLeft || old == alRight, newVert = v == alTop || v == alBottom;
    if (parent_) parent_->DisableAlign();
    try {
        align_ = v;
        if (v == alNone) UpdateAnchorRules();
        if (!IsLoading() && ((oldVert && newHorz) || (oldHorz && newVert)))
            SetBounds(left_, top_, height_, width_);
        PlaceAfterAligned(this);
    } catch (...) {
        if (parent_) parent_->EnableAlign();
        throw;
    }
    if (parent_) {
        parent_->EnableAlign();
        RequestAlign();
    }
}

void TControl::SetVisible(bool v) {
    if (visible_ == v) return;
    visible_ = v;
    Perform(CM_VISIBLECHANGED, v);
    RequestAlign();
}

void TControl::Show() { SetVisible(true); }

void TControl::Hide() { SetVisible(false); }

void TControl::SetEnabled(bool v) {
    if (enabled_ == v) return;
    enabled_ = v;
    Perform(CM_ENABLEDCHANGED);
}

bool TControl::IsShowing() const { return visible_ && parent_ && parent_->IsShowing(); }

void TControl::SetText(const std::string& v) {
    if (text_ == v) return;
    text_ = v;
    Perform(CM_TEXTCHANGED);
}

void TControl::SetColor(TColor v) {
    if (color_ == v) {
        parentColor_ = false;
        return;
    }
    color_ = v;
    parentColor_ = false;
    Perform(CM_COLORCHANGED);
}

void TControl::SetParentColor(bool v) {
    if (parentColor_ == v) return;
    parentColor_ = v;
    if (parent_ && !IsLoading() && v) Perform(CM_PARENTCOLORCHANGED);
}

void TControl::SetFont(TFont* v) { font_->Assign(v); }

void TControl::SetParentFont(bool v) {
    if (parentFont_ == v) return;
    parentFont_ = v;
    if (parent_ && !IsLoading() && v) Perform(CM_PARENTFONTCHANGED);
}

void TControl::SetCursor(TCursor v) {
    if (cursor_ == v) return;
    cursor_ = v;
    Perform(CM_CURSORCHANGED);
    if (ws::Input().MouseControl == this) ws::ApplyCursor(ws::CursorForPoint(GetCursorPos()));
}

void TControl::SetShowHint(bool v) {
    parentShowHint_ = false;
    if (showHint_ == v) return;
    showHint_ = v;
    Perform(CM_SHOWHINTCHANGED);
}

void TControl::SetParentShowHint(bool v) {
    if (parentShowHint_ == v) return;
    parentShowHint_ = v;
    if (parent_ && !IsLoading() && v) Perform(CM_PARENTSHOWHINTCHANGED);
}

bool TControl::GetMouseCapture() const { return GetCaptureControl() == this; }

void TControl::SetMouseCapture(bool v) {
    if (GetMouseCapture() == v) return;
    if (v)
        SetCaptureControl(this);
    else
        SetCaptureControl(nullptr);
}

void TControl::SetZOrder(bool TopMost) {
    if (!parent_) {
        if (auto* w = dynamic_cast<TWinControl*>(this); w && w->HandleAllocated()) {
            if (TopMost)
                ws::BringTopLevelToFront(w->GetHandle());
            else
                ws::SendTopLevelToBack(w->GetHandle());
        }
        return;
    }
    auto& v = parent_->controls_;
    auto it = std::find(v.begin(), v.end(), this);
    if (it == v.end()) return;
    v.erase(it);
    if (TopMost)
        v.push_back(this);
    else
        v.insert(v.begin(), this);
    Invalidate();
    if (auto* w = dynamic_cast<TWinControl*>(this)) {
        (void)w;
        parent_->InvalidateClientRect(GetBoundsRect());
    }
}

void TControl::BringToFront() { SetZOrder(true); }
void TControl::SendToBack() { SetZOrder(false); }

void TControl::Invalidate() {
    if (parent_ && parent_->HandleAllocated() && visible_) parent_->InvalidateClientRect(GetBoundsRect());
}

void TControl::InvalidateClientRect(const TRect& r) {
    if (auto* w = dynamic_cast<TWinControl*>(this)) {
        if (w->HandleAllocated()) InvalidateRect(w->GetHandle(), &r, true);
        return;
    }
    if (!parent_) return;
    TRect x = r;
    OffsetRect(x, left_, top_);
    parent_->InvalidateClientRect(x);
}

void TControl::Update() {
    if (parent_) parent_->Update();
}

void TControl::Repaint() {
    Invalidate();
    Update();
}

TWinControl* TControl::PaintParent() const { return parent_; }

void TControl::RequestAlign() {
    if (parent_) parent_->AlignControl(this);
}

void TControl::SetName(const std::string& NewName) {
    bool changeText = controlStyle_.Contains(csSetCaption) && !IsLoading() &&
                      !(Owner() && Owner()->IsLoading()) && text_ == GetName();
    TComponent::SetName(NewName);
    if (changeText) SetText(NewName);
}

TComponent* TControl::GetParentComponent() const { return parent_; }

void TControl::SetParentComponent(TComponent* Value) {
    if (auto* w = dynamic_cast<TWinControl*>(Value)) SetParent(w);
}

void TControl::Loaded() {
    TComponent::Loaded();
    UpdateAnchorRules();
    if (parent_) {
        if (parentColor_) Perform(CM_PARENTCOLORCHANGED);
        if (parentFont_) Perform(CM_PARENTFONTCHANGED);
        if (parentShowHint_) Perform(CM_PARENTSHOWHINTCHANGED);
    }
}

// ---- drag and drop ----
void TControl::BeginDrag(bool Immediate, int Threshold) {
    ws::DragState& d = ws::Drag();
    if (d.Source) return;
    d = ws::DragState{};
    d.Source = this;
    d.StartPos = GetCursorPos();
    d.Threshold = Threshold < 0 ? GetSystemMetrics(SM_CXDRAG) + 1 : Threshold;
    SetCaptureControl(this);
    if (Immediate) {
        d.Started = true;
        TObject* obj = nullptr;
        DoStartDrag(obj);
        d.DragObject = obj;
        ws::DragMove(d.StartPos);
    }
}

void TControl::EndDrag(bool Drop) {
    if (ws::Drag().Source == this) ws::DragFinish(Drop, GetCursorPos());
}

bool TControl::Dragging() const { return ws::Drag().Source == this; }

void TControl::DragOver(TObject* Source, int X, int Y, TDragState State, bool& Accept) {
    Accept = false;
    if (OnDragOver) {
        Accept = true;
        OnDragOver(this, Source, X, Y, State, Accept);
    }
}
void TControl::DragDrop(TObject* Source, int X, int Y) {
    if (OnDragDrop) OnDragDrop(this, Source, X, Y);
}
void TControl::DoStartDrag(TObject*& DragObject) {
    if (OnStartDrag) OnStartDrag(this, DragObject);
}
void TControl::DoEndDrag(TObject* Target, int X, int Y) {
    if (OnEndDrag) OnEndDrag(this, Target, X, Y);
}

// =============================================================================================
// TWinControl

DBV_PUBLISHED(TWinControl) {
    b.Protected();
    b.Bool("TabStop", &TWinControl::GetTabStop, &TWinControl::SetTabStop, false);
    b.Int("TabOrder", &TWinControl::GetTabOrder, &TWinControl::SetTabOrder, -1);
    b.Bool("Ctl3D", &TWinControl::GetCtl3D, &TWinControl::SetCtl3D, true);
    b.Bool("ParentCtl3D", &TWinControl::GetParentCtl3D, &TWinControl::SetParentCtl3D, true);
    b.Event("OnEnter", "TNotifyEvent", &TWinControl::OnEnter);
    b.Event("OnExit", "TNotifyEvent", &TWinControl::OnExit);
    b.Event("OnKeyDown", "TKeyEvent", &TWinControl::OnKeyDown);
    b.Event("OnKeyPress", "TKeyPressEvent", &TWinControl::OnKeyPress);
    b.Event("OnKeyUp", "TKeyEvent", &TWinControl::OnKeyUp);
}

TWinControl::TWinControl(TComponent* AOwner) : TControl(AOwner) {
    brush_ = Create<TBrush>();
    brush_->SetColor(color_);
}

TWinControl::~TWinControl() {
    while (!controls_.empty()) {
        TControl* c = controls_.back();
        RemoveControl(c);
        c->Free();
    }
    if (handle_) {
        ws::Unregister(handle_);
        handle_ = 0;
    }
    brush_->Free();
}

void TWinControl::AfterConstruction() {
    TControl::AfterConstruction();
    // CreateParams reaches the most-derived class only now.
    UpdateNonClientInsets();
}

void TWinControl::BeforeDestruction() {
    TComponent::BeforeDestruction();
    if (TCustomForm* f = GetParentForm(this); f && f != this) f->DefocusControl(this, true);
    // The parent frees the children it still has.
    while (!controls_.empty()) {
        TControl* c = controls_.back();
        RemoveControl(c);
        c->Free();
    }
    DestroyHandle();
    TControl::BeforeDestruction();
}

TControl* TWinControl::Controls(int i) const {
    if (i < 0 || i >= int(controls_.size()))
        throw EListError(Format("List index out of bounds (%d)", i));
    return controls_[size_t(i)];
}

void TWinControl::InsertControl(TControl* c) {
    controls_.push_back(c);
    c->parent_ = this;
    if (auto* w = dynamic_cast<TWinControl*>(c)) tabList_.push_back(w);
    Perform(CM_CONTROLLISTCHANGE, WPARAM(c), 1);
    if (!c->ComponentState().Contains(csReading)) {
        c->Perform(CM_PARENTCOLORCHANGED);
        c->Perform(CM_PARENTFONTCHANGED);
        c->Perform(CM_PARENTSHOWHINTCHANGED);
    }
    PlaceAfterAligned(c);
    if (auto* w = dynamic_cast<TWinControl*>(c)) {
        w->UpdateShowing();
    } else {
        c->Invalidate();
    }
    AlignControl(c);
}

void TWinControl::RemoveControl(TControl* c) {
    auto it = std::find(controls_.begin(), controls_.end(), c);
    if (it == controls_.end()) return;
    if (auto* w = dynamic_cast<TWinControl*>(c)) {
        if (TCustomForm* f = GetParentForm(this)) f->DefocusControl(w, true);
        w->DestroyHandle();
        tabList_.erase(std::remove(tabList_.begin(), tabList_.end(), w), tabList_.end());
    } else {
        if (ws::Input().CaptureControl == c) SetCaptureControl(nullptr);
    }
    if (HandleAllocated() && c->visible_) InvalidateClientRect(c->GetBoundsRect());
    it = std::find(controls_.begin(), controls_.end(), c);
    if (it != controls_.end()) controls_.erase(it);
    c->parent_ = nullptr;
    Perform(CM_CONTROLLISTCHANGE, WPARAM(c), 0);
    if (!IsDestroying()) Realign();
}

bool TWinControl::ContainsControl(const TControl* c) const {
    while (c && c != this) c = c->GetParent();
    return c == this;
}

TControl* TWinControl::ControlAtPos(TPoint p, bool AllowDisabled, bool AllowWinControls) const {
    auto hit = [&](TControl* c) {
        TRect b = c->GetBoundsRect();
        if (!PtInRect(b, p)) return false;
        if (!c->visible_) return false;
        if (!c->enabled_ && !AllowDisabled) return false;
        return c->Perform(CM_HITTEST, 0, PointToLParam({p.X - c->left_, p.Y - c->top_})) != 0;
    };
    if (AllowWinControls) {
        for (auto it = controls_.rbegin(); it != controls_.rend(); ++it) {
            auto* w = dynamic_cast<TWinControl*>(*it);
            if (!w || !w->IsShowing()) continue;
            if (win::GetParent(w->GetHandle()) != handle_) continue;  // a pop-up of its own
            if (hit(w)) return w;
        }
    }
    for (auto it = controls_.rbegin(); it != controls_.rend(); ++it) {
        if (dynamic_cast<TWinControl*>(*it)) continue;
        if (hit(*it)) return *it;
    }
    return nullptr;
}

void TWinControl::GetChildren(const TGetChildProc& Proc, TComponent* Root) {
    for (TControl* c : controls_)
        if (c->Owner() == Root) Proc(c);
}

void TWinControl::Loaded() {
    TControl::Loaded();
    // Alignment waited for the end of loading.
    Realign();
}

void TWinControl::Broadcast(TMessage& M) {
    for (TControl* c : std::vector<TControl*>(controls_)) {
        c->WindowProc ? c->WindowProc(M) : c->WndProc(M);
        if (M.Result != 0) return;
    }
}

void TWinControl::NotifyControls(UINT Msg) {
    TMessage m;
    m.Msg = Msg;
    for (TControl* c : std::vector<TControl*>(controls_)) {
        m.Result = 0;
        c->WindowProc ? c->WindowProc(m) : c->WndProc(m);
    }
}

// ---- window handle ----
HWND TWinControl::GetHandle() {
    HandleNeeded();
    return handle_;
}

void TWinControl::HandleNeeded() {
    if (handle_) return;
    if (parent_) parent_->HandleNeeded();
    CreateHandle();
}

void TWinControl::CreateHandle() {
    if (handle_) return;
    CreateWnd();
}

void TWinControl::CreateParams(TCreateParams& P) {
    P.Caption = text_;
    P.Style = WS_CHILD | WS_CLIPSIBLINGS;
    if (controlStyle_.Contains(csAcceptsControls)) P.Style |= WS_CLIPCHILDREN;
    if (!IsDesigning() && !enabled_) P.Style |= WS_DISABLED;
    if (tabStop_) P.Style |= WS_TABSTOP;
    P.X = left_;
    P.Y = top_;
    P.Width = width_;
    P.Height = height_;
    P.WndParent = parent_ ? parent_->handle_ : parentWindow_;
    P.ClassStyle = CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS;
    P.WinClassName = ClassName();
}

void TWinControl::CreateWnd() {
    TCreateParams p;
    CreateParams(p);
    if ((p.Style & WS_CHILD) && !p.WndParent)
        throw EInvalidOperation(Format("Control '%s' has no parent window", GetName().c_str()));
    creating_ = true;
    controlState_.Include(csCreating);
    try {
        CreateWindowHandle(p);
    } catch (...) {
        creating_ = false;
        controlState_.Exclude(csCreating);
        throw;
    }
    creating_ = false;
    controlState_.Exclude(csCreating);
    TRect cr = GetClientRect();
    Perform(WM_SIZE, SIZE_RESTORED, MakeLParam(cr.Width(), cr.Height()));
}

void TWinControl::CreateWindowHandle(const TCreateParams& P) {
    handle_ = ws::Register(this, P, P.WndParent);
    UpdateNonClientInsets();
    windowShown_ = (P.Style & WS_VISIBLE) != 0;
    InvalidateRect(handle_, nullptr, true);
}

void TWinControl::DestroyWnd() { DestroyWindowHandle(); }

void TWinControl::DestroyWindowHandle() {
    if (!handle_) return;
    HWND h = handle_;
    if (TWinControl* p = parent_; p && p->handle_ && windowShown_)
        InvalidateRect(p->handle_, nullptr, true);
    ws::Unregister(h);
    handle_ = 0;
    windowShown_ = false;
    UpdateNonClientInsets();
}

void TWinControl::DestroyHandle() {
    if (!handle_) return;
    controlState_.Include(csDestroyingHandle);
    for (TControl* c : controls_)
        if (auto* w = dynamic_cast<TWinControl*>(c)) w->DestroyHandle();
    DestroyWnd();
    controlState_.Exclude(csDestroyingHandle);
}

void TWinControl::RecreateWnd() {
    if (!handle_) {
        // The next window takes the new style; the client area changes now.
        if (UpdateNonClientInsets()) Realign();
        return;
    }
    bool hadFocus = ContainsControl(FindFocusedControl());
    TWinControl* focused = FindFocusedControl();
    DestroyHandle();
    UpdateShowing();
    if (!parent_ && !handle_) HandleNeeded();
    if (!handle_) Realign();
    if (hadFocus && focused && focused->HandleAllocated() && focused->CanFocus())
        win::SetFocus(focused->handle_);
}

void TWinControl::SetParentWindow(HWND h) {
    if (parentWindow_ == h) return;
    parentWindow_ = h;
    if (!parent_) {
        if (handle_) DestroyHandle();
        if (h) UpdateShowing();
    }
}

bool TWinControl::IsShowing() const {
    if (!handle_ || !windowShown_) return false;
    HWND wp = win::GetParent(handle_);
    if (!wp) return true;
    TWinControl* p = win::FindControl(wp);
    return p && p->IsShowing();
}

void TWinControl::ShowWindowFlag(bool shown) {
    if (!handle_ || windowShown_ == shown) return;
    if (!shown) {
        if (TWinControl* f = FindFocusedControl(); f && ContainsControl(f)) {
            TCustomForm* form = GetParentForm(this);
            if (form && form != this) {
                form->DefocusControl(this, false);
                if (form->HandleAllocated() && form->GetActive()) win::SetFocus(form->GetHandle());
            } else {
                win::SetFocus(0);
            }
        }
        if (ws::Input().CaptureControl && ContainsControl(ws::Input().CaptureControl))
            SetCaptureControl(nullptr);
        HWND wp = win::GetParent(handle_);
        if (wp) {
            TRect b = GetBoundsRect();
            InvalidateRect(wp, &b, true);
        }
    }
    windowShown_ = shown;
    if (shown) InvalidateRect(handle_, nullptr, true);
    Perform(CM_SHOWINGCHANGED);
}

void TWinControl::UpdateShowing() {
    // A child window shows while it is Visible and its parent shows. Pop-ups made top-level
    // are shown and hidden through ShowWindow / SetWindowPos.
    if (handle_ && !win::GetParent(handle_) && parent_) return;
    if (!parent_ && !parentWindow_) return;
    bool show = (visible_ || (IsDesigning() && !controlStyle_.Contains(csNoDesignVisible)));
    if (parent_) show = show && parent_->IsShowing();
    if (parentWindow_ && !parent_) show = show && win::IsWindowVisible(parentWindow_);
    if (show) HandleNeeded();
    if (handle_) ShowWindowFlag(show);
    if (handle_) UpdateChildrenShowing();
}

void TWinControl::UpdateChildrenShowing() {
    for (TControl* c : std::vector<TControl*>(controls_))
        if (auto* w = dynamic_cast<TWinControl*>(c)) w->UpdateShowing();
}

void TWinControl::UpdateControlState() { UpdateShowing(); }

// ---- layout ----
void TWinControl::DisableAlign() { ++alignLevel_; }

void TWinControl::EnableAlign() {
    if (--alignLevel_ == 0 && controlState_.Contains(csAlignmentNeeded)) Realign();
}

void TWinControl::Realign() { AlignControl(nullptr); }

void TWinControl::AlignControl(TControl* AControl) {
    if (IsDestroying()) return;
    if (alignLevel_ != 0 || IsLoading()) {
        controlState_.Include(csAlignmentNeeded);
        return;
    }
    DisableAlign();
    try {
        TRect r = GetClientRect();
        AdjustClientRect(r);
        AlignControls(AControl, r);
    } catch (...) {
        controlState_.Exclude(csAlignmentNeeded);
        EnableAlign();
        throw;
    }
    controlState_.Exclude(csAlignmentNeeded);
    EnableAlign();
}

void TWinControl::AdjustClientRect(TRect&) {}

void TWinControl::AlignControls(TControl* AControl, TRect& Rect) {
    auto insertBefore = [](TControl* c1, TControl* c2, TAlign a) {
        switch (a) {
            case alTop: return c1->GetTop() < c2->GetTop();
            case alBottom: return c1->GetTop() + c1->GetHeight() >= c2->GetTop() + c2->GetHeight();
            case alLeft: return c1->GetLeft() < c2->GetLeft();
            case alRight: return c1->GetLeft() + c1->GetWidth() >= c2->GetLeft() + c2->GetWidth();
            default: return false;
        }
    };
    auto doPosition = [&](TControl* c, TAlign a) {
        int newWidth = Rect.Right - Rect.Left;
        if (newWidth < 0 || a == alLeft || a == alRight) newWidth = c->GetWidth();
        int newHeight = Rect.Bottom - Rect.Top;
        if (newHeight < 0 || a == alTop || a == alBottom) newHeight = c->GetHeight();
        int newLeft = Rect.Left, newTop = Rect.Top;
        switch (a) {
            case alTop: Rect.Top += newHeight; break;
            case alBottom:
                Rect.Bottom -= newHeight;
                newTop = Rect.Bottom;
                break;
            case alLeft: Rect.Left += newWidth; break;
            case alRight:
                Rect.Right -= newWidth;
                newLeft = Rect.Right;
                break;
            default: break;
        }
        c->SetBounds(newLeft, newTop, newWidth, newHeight);
        // A control that kept another size (it snaps its size) gives the rest back.
        if (c->GetWidth() != newWidth || c->GetHeight() != newHeight) {
            switch (a) {
                case alTop: Rect.Top -= newHeight - c->GetHeight(); break;
                case alBottom: Rect.Bottom += newHeight - c->GetHeight(); break;
                case alLeft: Rect.Left -= newWidth - c->GetWidth(); break;
                case alRight: Rect.Right += newWidth - c->GetWidth(); break;
                case alClient:
                    Rect.Right -= newWidth - c->GetWidth();
                    Rect.Bottom -= newHeight - c->GetHeight();
                    break;
                default: break;
            }
        }
    };
    // Unaligned controls follow their anchors (those that move only with their own bounds
    // take the new size as their base).
    for (TControl* c : std::vector<TControl*>(controls_))
        if (c->GetAlign() == alNone && c->GetParent() == this) c->AnchorToParent();
    bool any = false;
    for (TControl* c : controls_)
        if (c->GetAlign() != alNone) any = true;
    if (!any) return;
    std::vector<TControl*> list;
    for (TAlign a : {alTop, alBottom, alLeft, alRight, alClient}) {
        list.clear();
        if (AControl && AControl->GetAlign() == a && AControl->GetVisible() &&
            AControl->GetParent() == this)
            list.push_back(AControl);
        for (TControl* c : controls_) {
            if (c->GetAlign() != a || !c->GetVisible() || c == AControl) continue;
            size_t j = 0;
            while (j < list.size() && !insertBefore(c, list[j], a)) ++j;
            list.insert(list.begin() + long(j), c);
        }
        for (TControl* c : list) doPosition(c, a);
    }
}

TRect TWinControl::CalcFrameInsets(uint32_t Style, uint32_t ExStyle) const {
    int b = 0;
    if (Style & WS_BORDER) b += GetSystemMetrics(SM_CXBORDER);
    if (ExStyle & WS_EX_CLIENTEDGE) b += GetSystemMetrics(SM_CXEDGE);
    return {b, b, b, b};
}

bool TWinControl::UpdateNonClientInsets() {
    uint32_t style, exStyle;
    bool vbar, hbar;
    if (ws::WindowRec* w = handle_ ? ws::Rec(handle_) : nullptr) {
        style = w->Style;
        exStyle = w->ExStyle;
        vbar = w->Bars[SB_VERT].Shown;
        hbar = w->Bars[SB_HORZ].Shown;
    } else {
        TCreateParams p;
        CreateParams(p);
        style = p.Style;
        exStyle = p.ExStyle;
        vbar = (style & WS_VSCROLL) != 0;
        hbar = (style & WS_HSCROLL) != 0;
    }
    TRect frame = CalcFrameInsets(style, exStyle);
    TRect nc = frame;
    if (vbar) nc.Right += GetSystemMetrics(SM_CXVSCROLL);
    if (hbar) nc.Bottom += GetSystemMetrics(SM_CYHSCROLL);
    bool changed = frame != frame_ || nc != nonClient_;
    frame_ = frame;
    nonClient_ = nc;
    return changed;
}

TRect TWinControl::GetClientRect() const {
    TRect nc = NonClientInsets();
    return Rect(0, 0, std::max(0, width_ - nc.Left - nc.Right),
                std::max(0, height_ - nc.Top - nc.Bottom));
}

TPoint TWinControl::GetClientOrigin() const {
    TRect nc = NonClientInsets();
    HWND wp = handle_ ? win::GetParent(handle_) : 0;
    TWinControl* p = wp ? win::FindControl(wp) : (handle_ ? nullptr : parent_);
    if (!p && parentWindow_ && !parent_) p = win::FindControl(parentWindow_);
    if (!p) return {left_ + nc.Left, top_ + nc.Top};
    TPoint o = p->GetClientOrigin();
    return {o.X + left_ + nc.Left, o.Y + top_ + nc.Top};
}

void TWinControl::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
    ConstrainSize(AWidth, AHeight);
    if (ALeft == left_ && ATop == top_ && AWidth == width_ && AHeight == height_) return;
    bool sized = AWidth != width_ || AHeight != height_;
    bool moved = ALeft != left_ || ATop != top_;
    if (handle_ && windowShown_) {
        if (HWND wp = win::GetParent(handle_)) {
            TRect old = GetBoundsRect();
            InvalidateRect(wp, &old, true);
        }
    }
    left_ = ALeft;
    top_ = ATop;
    width_ = AWidth;
    height_ = AHeight;
    if (!anchoring_) UpdateAnchorRules();
    if (handle_) {
        if (!win::GetParent(handle_) && sized) TControlCanvas::FreeDeviceContexts();
        InvalidateRect(handle_, nullptr, true);
        if (moved) Perform(WM_MOVE, 0, MakeLParam(left_, top_));
        if (sized) {
            TRect cr = GetClientRect();
            Perform(WM_SIZE, SIZE_RESTORED, MakeLParam(cr.Width(), cr.Height()));
        }
    } else if (sized) {
        Realign();
    }
    RequestAlign();
}

// ---- messages ----
void TWinControl::WndProc(TMessage& M) {
    // Keys do nothing to a control being designed.
    if (IsDesigning() && M.Msg >= WM_KEYFIRST && M.Msg <= WM_KEYLAST) return;
    TControl::WndProc(M);
}

void TWinControl::Dispatch(TMessage& M) {
    switch (M.Msg) {
        case WM_PAINT: WMPaint(M); break;
        case WM_ERASEBKGND: WMEraseBkgnd(M); break;
        case WM_SIZE: WMSize(M); break;
        case WM_MOVE: WMMove(M); break;
        case WM_SETFOCUS: WMSetFocus(M); break;
        case WM_KILLFOCUS: WMKillFocus(M); break;
        case WM_KEYDOWN: WMKeyDown(M); break;
        case WM_SYSKEYDOWN: WMSysKeyDown(M); break;
        case WM_KEYUP: WMKeyUp(M); break;
        case WM_SYSKEYUP: WMKeyUp(M); break;
        case WM_CHAR: WMChar(M); break;
        case WM_GETDLGCODE: WMGetDlgCode(M); break;
        case WM_SETCURSOR: WMSetCursor(M); break;
        case WM_VSCROLL: WMVScroll(M); break;
        case WM_HSCROLL: WMHScroll(M); break;
        case WM_MOUSEWHEEL: WMMouseWheel(M); break;
        case WM_WINDOWPOSCHANGED: WMWindowPosChanged(M); break;
        case WM_SHOWWINDOW:
            if (handle_ && !win::GetParent(handle_) && parent_) {
                ShowWindowFlag(M.WParam != 0);
                UpdateChildrenShowing();
            } else if (M.WParam != 0 && !windowShown_ && handle_) {
                ShowWindowFlag(true);
                UpdateChildrenShowing();
            } else if (M.WParam == 0 && windowShown_) {
                ShowWindowFlag(false);
            }
            break;
        case CN_KEYDOWN:
        case CN_SYSKEYDOWN: CNKeyDown(M); break;
        case CN_CHAR: CNChar(M); break;
        case CM_ENTER: CMEnter(M); break;
        case CM_EXIT: CMExit(M); break;
        case CM_DIALOGKEY: CMDialogKey(M); break;
        case CM_WANTSPECIALKEY: CMWantSpecialKey(M); break;
        case CM_COLORCHANGED: CMColorChanged(M); break;
        case CM_FONTCHANGED: CMFontChanged(M); break;
        case CM_ENABLEDCHANGED: CMEnabledChanged(M); break;
        case CM_VISIBLECHANGED: CMVisibleChanged(M); break;
        case CM_SHOWHINTCHANGED: CMShowHintChanged(M); break;
        case CM_CTL3DCHANGED: CMCtl3DChanged(M); break;
        default: TControl::Dispatch(M); break;
    }
}

void TWinControl::DefaultHandler(TMessage& M) {
    // The default window procedure.
    switch (M.Msg) {
        case WM_SETCURSOR:
            ws::ApplyCursor(crArrow);
            M.Result = 1;
            break;
        case WM_GETDLGCODE: M.Result = 0; break;
        case WM_MOUSEACTIVATE: M.Result = 1; break;
        case WM_NCHITTEST: M.Result = HTCLIENT; break;
        case WM_NCCALCSIZE: UpdateNonClientInsets(); break;
        case WM_MOUSEWHEEL:
            if (handle_ && IsScrollBarShown(handle_, SB_VERT)) {
                // Three lines per notch; a part of a notch waits for the rest.
                constexpr int kLinesPerNotch = 3, kLine = WHEEL_DELTA / kLinesPerNotch;
                wheelRemainder_ += TWMMouseWheel(M).WheelDelta();
                int lines = wheelRemainder_ / kLine;
                wheelRemainder_ -= lines * kLine;
                int code = lines > 0 ? SB_LINEUP : SB_LINEDOWN;
                for (int i = std::abs(lines); i > 0 && handle_; --i)
                    Perform(WM_VSCROLL, ScrollWParam(code, 0), 0);
            } else if (parent_) {
                M.Result = parent_->Perform(WM_MOUSEWHEEL, M.WParam, M.LParam);
            }
            break;
        case WM_CLOSE: break;
        default: TControl::DefaultHandler(M); break;
    }
}

void TWinControl::WMPaint(TMessage& M) {
    HDC dc = DCFromWParam(M.WParam);
    if (!dc) {
        if (handle_) UpdateWindow(handle_);
        return;
    }
    PaintWindow(dc);
    PaintControls(dc, nullptr);
}

void TWinControl::PaintWindow(HDC) {}

void TWinControl::PaintControls(HDC dc, TControl* First) {
    auto it = controls_.begin();
    if (First) it = std::find(controls_.begin(), controls_.end(), First);
    for (; it != controls_.end(); ++it) {
        TControl* c = *it;
        if (dynamic_cast<TWinControl*>(c)) continue;
        if (!c->visible_ && !(IsDesigning() && !c->controlStyle_.Contains(csNoDesignVisible)))
            continue;
        TRect b = c->GetBoundsRect();
        OffsetRect(b, dc->Origin.X, dc->Origin.Y);
        TDeviceContext cdc = *dc;
        if (!IntersectRect(cdc.Clip, dc->Clip, b)) continue;
        cdc.Origin = {dc->Origin.X + c->left_, dc->Origin.Y + c->top_};
        c->Perform(WM_PAINT, reinterpret_cast<WPARAM>(&cdc), 0);
    }
}

void TWinControl::WMEraseBkgnd(TMessage& M) {
    HDC dc = DCFromWParam(M.WParam);
    if (dc && !controlStyle_.Contains(csOpaque)) ws::EraseBackground(dc, GetClientRect(), color_);
    M.Result = 1;
}

void TWinControl::PaintNonClient(TCanvas* Canvas) {
    TRect nc = NonClientInsets();
    if (!nc.Left && !nc.Top && !nc.Right && !nc.Bottom) return;
    ws::WindowRec* w = handle_ ? ws::Rec(handle_) : nullptr;
    if (!w) return;
    TRect r = Rect(0, 0, width_, height_);
    if (w->ExStyle & WS_EX_CLIENTEDGE) {
        Canvas->DrawEdge(r, EDGE_SUNKEN, BF_RECT | BF_ADJUST);
    }
    if (w->Style & WS_BORDER) {
        Canvas->GetBrush()->SetColor(clWindowFrame);
        Canvas->FrameRect(r);
    }
    ws::PaintScrollBars(this, Canvas);
}

void TWinControl::WMSize(TMessage&) {
    Realign();
    if (!IsLoading()) Resize();
}

void TWinControl::WMMove(TMessage& M) { DefaultHandler(M); }

void TWinControl::WMWindowPosChanged(TMessage& M) { DefaultHandler(M); }

void TWinControl::WMSetFocus(TMessage& M) {
    if (TCustomForm* f = GetParentForm(this)) {
        if (f != this && !f->SetFocusedControl(this)) return;
    }
    Screen->SetActiveControl(this);
    DefaultHandler(M);
}

void TWinControl::WMKillFocus(TMessage& M) { DefaultHandler(M); }

void TWinControl::CNKeyDown(TMessage& M) {
    TWMKey key(M);
    key.Result = 1;
    if (!IsDesigning()) {
        if (Perform(CM_CHILDKEY, key.CharCode(), LPARAM(this)) != 0) return;
        LRESULT mask = 0;
        switch (key.CharCode()) {
            case VK_TAB: mask = DLGC_WANTTAB; break;
            case VK_LEFT:
            case VK_RIGHT:
            case VK_UP:
            case VK_DOWN: mask = DLGC_WANTARROWS; break;
            case VK_RETURN:
            case VK_EXECUTE:
            case VK_ESCAPE:
            case VK_CANCEL: mask = DLGC_WANTALLKEYS; break;
            default: break;
        }
        if (mask && Perform(CM_WANTSPECIALKEY, key.CharCode(), 0) == 0 &&
            (Perform(WM_GETDLGCODE) & mask) == 0) {
            if (TCustomForm* f = GetParentForm(this))
                if (f->Perform(CM_DIALOGKEY, key.CharCode(), key.KeyData()) != 0) return;
        }
    }
    key.Result = 0;
}

void TWinControl::CNChar(TMessage& M) { M.Result = 0; }

void TWinControl::WMKeyDown(TMessage& M) {
    if (!DoKeyDown(M)) DefaultHandler(M);
}
void TWinControl::WMSysKeyDown(TMessage& M) {
    if (!DoKeyDown(M)) DefaultHandler(M);
}
void TWinControl::WMKeyUp(TMessage& M) {
    if (!DoKeyUp(M)) DefaultHandler(M);
}
void TWinControl::WMChar(TMessage& M) {
    if (!DoKeyPress(M)) DefaultHandler(M);
}
void TWinControl::WMGetDlgCode(TMessage& M) { DefaultHandler(M); }

void TWinControl::WMSetCursor(TMessage& M) {
    // The screen cursor wins; then the cursor of the control under the pointer.
    if (Screen->GetCursor() != crDefault) {
        ws::ApplyCursor(Screen->GetCursor());
        M.Result = 1;
        return;
    }
    TControl* c = ws::Input().MouseControl;
    if (c && (c == this || ContainsControl(c)) && !dynamic_cast<TWinControl*>(c) &&
        c->GetCursor() != crDefault) {
        ws::ApplyCursor(c->GetCursor());
        M.Result = 1;
        return;
    }
    if (cursor_ != crDefault) {
        ws::ApplyCursor(cursor_);
        M.Result = 1;
        return;
    }
    DefaultHandler(M);
}

void TWinControl::WMVScroll(TMessage& M) { DefaultHandler(M); }
void TWinControl::WMMouseWheel(TMessage& M) {
    TWMMouseWheel w(M);
    if (DoMouseWheel(KeysToShiftState(w.Keys()), w.WheelDelta(), w.Pos())) {
        M.Result = 1;
        return;
    }
    DefaultHandler(M);
}
void TWinControl::WMHScroll(TMessage& M) { DefaultHandler(M); }

bool TWinControl::DoKeyDown(TMessage& M) {
    TCustomForm* f = GetParentForm(this);
    if (f && f != this && f->GetKeyPreview() && f->DoKeyDown(M)) return true;
    if (!controlStyle_.Contains(csNoStdEvents)) {
        TWMKey m(M);
        uint16_t key = m.CharCode();
        KeyDown(key, KeyboardShiftState());
        m.SetCharCode(key);
        if (key == 0) return true;
    }
    return false;
}

bool TWinControl::DoKeyPress(TMessage& M) {
    TCustomForm* f = GetParentForm(this);
    if (f && f != this && f->GetKeyPreview() && f->DoKeyPress(M)) return true;
    if (!controlStyle_.Contains(csNoStdEvents)) {
        TWMKey m(M);
        char ch = char(m.CharCode());
        KeyPress(ch);
        m.SetCharCode(uint8_t(ch));
        if (ch == 0) return true;
    }
    return false;
}

bool TWinControl::DoKeyUp(TMessage& M) {
    TCustomForm* f = GetParentForm(this);
    if (f && f != this && f->GetKeyPreview() && f->DoKeyUp(M)) return true;
    if (!controlStyle_.Contains(csNoStdEvents)) {
        TWMKey m(M);
        uint16_t key = m.CharCode();
        KeyUp(key, KeyboardShiftState());
        m.SetCharCode(key);
        if (key == 0) return true;
    }
    return false;
}

void TWinControl::KeyDown(uint16_t& Key, TShiftState Shift) {
    if (OnKeyDown) OnKeyDown(this, Key, Shift);
}
void TWinControl::KeyPress(char& Key) {
    if (OnKeyPress) OnKeyPress(this, Key);
}
void TWinControl::KeyUp(uint16_t& Key, TShiftState Shift) {
    if (OnKeyUp) OnKeyUp(this, Key, Shift);
}
void TWinControl::DoEnter() {
    if (OnEnter) OnEnter(this);
}
void TWinControl::DoExit() {
    if (OnExit) OnExit(this);
}
void TWinControl::CMEnter(TMessage&) { DoEnter(); }
void TWinControl::CMExit(TMessage&) { DoExit(); }

void TWinControl::CMDialogKey(TMessage& M) { Broadcast(M); }
void TWinControl::CMWantSpecialKey(TMessage& M) { DefaultHandler(M); }

void TWinControl::CMColorChanged(TMessage& M) {
    brush_->SetColor(color_);
    NotifyControls(CM_PARENTCOLORCHANGED);
    TControl::CMColorChanged(M);
}

void TWinControl::CMFontChanged(TMessage& M) {
    NotifyControls(CM_PARENTFONTCHANGED);
    TControl::CMFontChanged(M);
}

void TWinControl::CMEnabledChanged(TMessage& M) {
    if (!enabled_ && parent_) {
        if (TCustomForm* f = GetParentForm(this)) {
            TWinControl* focused = FindFocusedControl();
            if (focused && ContainsControl(focused)) {
                f->DefocusControl(this, false);
                if (f->HandleAllocated() && f->GetActive()) win::SetFocus(f->GetHandle());
            }
        }
    }
    if (handle_ && !IsDesigning()) EnableWindow(handle_, enabled_);
    TControl::CMEnabledChanged(M);
}

void TWinControl::CMVisibleChanged(TMessage& M) {
    UpdateShowing();
    TControl::CMVisibleChanged(M);
}

void TWinControl::CMShowHintChanged(TMessage&) { NotifyControls(CM_PARENTSHOWHINTCHANGED); }

void TWinControl::SetCtl3D(bool v) {
    if (ctl3D_ == v) return;
    ctl3D_ = v;
    Perform(CM_CTL3DCHANGED);
}

void TWinControl::CMCtl3DChanged(TMessage& M) { DefaultHandler(M); }

void TWinControl::Invalidate() {
    if (handle_) InvalidateRect(handle_, nullptr, !controlStyle_.Contains(csOpaque));
}

void TWinControl::Update() {
    if (handle_) UpdateWindow(handle_);
}

void TWinControl::Repaint() {
    Invalidate();
    Update();
}

// ---- focus ----
void TWinControl::SetTabStop(bool v) {
    if (tabStop_ == v) return;
    tabStop_ = v;
    Perform(CM_TABSTOPCHANGED);
}

int TWinControl::GetTabOrder() const {
    if (!parent_) return -1;
    auto& v = parent_->tabList_;
    auto it = std::find(v.begin(), v.end(), this);
    return it == v.end() ? -1 : int(it - v.begin());
}

void TWinControl::SetTabOrder(int v) {
    if (!parent_) return;
    auto& list = parent_->tabList_;
    auto it = std::find(list.begin(), list.end(), this);
    if (it == list.end()) return;
    list.erase(it);
    if (v < 0) v = 0;
    if (v > int(list.size())) v = int(list.size());
    list.insert(list.begin() + v, this);
}

void TWinControl::GetTabOrderList(std::vector<TWinControl*>& list) const {
    for (TWinControl* c : tabList_) {
        list.push_back(c);
        c->GetTabOrderList(list);
    }
}

bool TWinControl::CanFocus() const {
    TCustomForm* f = GetParentForm(this);
    if (!f) return false;
    for (const TControl* c = this; c && c != f; c = c->GetParent())
        if (!(c->GetVisible() && c->GetEnabled())) return false;
    return true;
}

bool TWinControl::Focused() const { return handle_ && win::GetFocus() == handle_; }

void TWinControl::SetFocus() {
    if (TCustomForm* f = GetParentForm(this)) {
        f->FocusControl(this);
    } else if (parentWindow_) {
        win::SetFocus(GetHandle());
    } else {
        ValidParentForm(this);
    }
}

TWinControl* TWinControl::FindNextControl(TWinControl* Cur, bool GoForward, bool CheckTabStop,
                                          bool CheckParent) const {
    std::vector<TWinControl*> list;
    GetTabOrderList(list);
    if (list.empty()) return nullptr;
    int n = int(list.size());
    auto found = std::find(list.begin(), list.end(), Cur);
    int start = found == list.end() ? (GoForward ? n - 1 : 0) : int(found - list.begin());
    int i = start;
    do {
        if (GoForward) {
            if (++i == n) i = 0;
        } else {
            if (i == 0) i = n;
            --i;
        }
        TWinControl* c = list[size_t(i)];
        if (c->CanFocus() && (!CheckTabStop || c->GetTabStop()) &&
            (!CheckParent || c->GetParent() == this))
            return c;
    } while (i != start);
    return nullptr;
}

void TWinControl::SelectNext(TWinControl* Cur, bool GoForward, bool CheckTabStop) {
    if (TWinControl* c = FindNextControl(Cur, GoForward, CheckTabStop, !CheckTabStop)) c->SetFocus();
}

void TWinControl::SelectFirst() {
    TCustomForm* f = GetParentForm(this);
    if (!f) return;
    TWinControl* c = FindNextControl(nullptr, true, true, false);
    if (!c) c = FindNextControl(nullptr, true, false, false);
    if (c) c->SetFocus();
}

// =============================================================================================
DBV_IMPLEMENT_CLASS(TGraphicControl)

TGraphicControl::TGraphicControl(TComponent* AOwner) : TControl(AOwner) {
    canvas_ = Create<TControlCanvas>();
    canvas_->SetControl(this);
}

TGraphicControl::~TGraphicControl() { canvas_->Free(); }

void TGraphicControl::WMPaint(TMessage& M) {
    HDC dc = DCFromWParam(M.WParam);
    if (!dc) return;
    CanvasDCGuard g(canvas_, dc);
    Paint();
}

DBV_IMPLEMENT_CLASS(TCustomControl)

TCustomControl::TCustomControl(TComponent* AOwner) : TWinControl(AOwner) {
    canvas_ = Create<TControlCanvas>();
    canvas_->SetControl(this);
}

TCustomControl::~TCustomControl() { canvas_->Free(); }

void TCustomControl::PaintWindow(HDC dc) {
    CanvasDCGuard g(canvas_, dc);
    Paint();
}

}  // namespace vcl
