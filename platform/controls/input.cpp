// The input router: mouse and keyboard events to controls.
#include "controls/input.h"

#include <cstdlib>

#include "controls/forms.h"
#include "controls/windowbackend.h"
#include "controls/wininternal.h"
#include "rtl/clock.h"

namespace vcl {

namespace {
TWindowBackend*& BackendRef() {
    static TWindowBackend* b = nullptr;
    return b;
}
}  // namespace

void SetWindowBackend(TWindowBackend* backend) { BackendRef() = backend; }
TWindowBackend* WindowBackend() { return BackendRef(); }

TBitmap* PaintedWindowSurface(win::HWND topLevel) {
    TWinControl* c = win::FindControl(topLevel);
    if (!c || win::GetParent(topLevel) || !c->IsShowing()) return nullptr;
    TBitmap* s = ws::SurfaceOf(topLevel);
    win::UpdateWindow(topLevel);
    return s;
}

void CancelDrag() {
    if (ws::Drag().Source) ws::DragFinish(false, win::GetCursorPos());
}

namespace ws {

void ApplyCursor(TCursor c) {
    Input().CurrentCursor = c;
    if (TWindowBackend* b = WindowBackend()) b->SetCursor(c);
}

TCursor CursorForPoint(TPoint screen) {
    if (Screen->GetCursor() != crDefault) return Screen->GetCursor();
    TControl* c = FindDragTarget(screen, true);
    while (c && c->GetCursor() == crDefault) c = c->GetParent();
    return c ? c->GetCursor() : crArrow;
}

void ForgetControl(TControl* c) {
    InputState& s = Input();
    if (s.Scroll.Control == c) {
        if (s.Scroll.Timer) win::KillTimer(0, s.Scroll.Timer);
        s.Scroll = {};
    }
    if (s.MouseControl == c) s.MouseControl = nullptr;
    if (s.CaptureControl == c) win::SetCapture(0);
    if (s.LastDownControl == c) s.LastDownControl = nullptr;
    DragState& d = Drag();
    if (d.Source == c) d = DragState{};
    if (d.Target == c) d.Target = nullptr;
    Application->ForgetControl(c);
}

static TObject* DragSourceObject() {
    DragState& d = Drag();
    return d.DragObject ? d.DragObject : static_cast<TObject*>(d.Source);
}

void DragMove(TPoint screen) {
    DragState& d = Drag();
    if (!d.Source) return;
    TControl* target = FindDragTarget(screen, false);
    if (target != d.Target) {
        if (d.Target) {
            TPoint p = d.Target->ScreenToClient(screen);
            bool acc = false;
            d.Target->DragOver(DragSourceObject(), p.X, p.Y, dsDragLeave, acc);
        }
        d.Target = target;
        d.Accepted = false;
        if (target) {
            TPoint p = target->ScreenToClient(screen);
            bool acc = false;
            target->DragOver(DragSourceObject(), p.X, p.Y, dsDragEnter, acc);
            d.Accepted = acc;
        }
    } else if (target) {
        TPoint p = target->ScreenToClient(screen);
        bool acc = false;
        target->DragOver(DragSourceObject(), p.X, p.Y, dsDragMove, acc);
        d.Accepted = acc;
    }
    ApplyCursor(d.Accepted ? d.Source->GetDragCursor() : crNoDrop);
}

void DragFinish(bool drop, TPoint screen) {
    DragState d = Drag();
    Drag() = DragState{};
    if (!d.Source) return;
    if (GetCaptureControl() == d.Source) SetCaptureControl(nullptr);
    if (!d.Started) return;
    TObject* source = d.DragObject ? d.DragObject : static_cast<TObject*>(d.Source);
    TControl* target = drop && d.Accepted ? d.Target : nullptr;
    TPoint p = target ? target->ScreenToClient(screen) : d.Source->ScreenToClient(screen);
    if (target) target->DragDrop(source, p.X, p.Y);
    d.Source->DoEndDrag(target, p.X, p.Y);
    ApplyCursor(CursorForPoint(screen));
}

}  // namespace ws

namespace input {

using namespace win;

namespace {
TInputFilter& Filter() {
    static TInputFilter f = nullptr;
    return f;
}
bool Filtered(TInputEvent::TKind kind, TPoint screen, TMouseButton button = mbLeft, uint16_t key = 0) {
    TInputFilter f = Filter();
    if (!f) return false;
    TInputEvent e;
    e.Kind = kind;
    e.Screen = screen;
    e.Button = button;
    e.Key = key;
    try {
        return f(e);
    } catch (...) {
        Application->HandleException(nullptr);
        return true;
    }
}
}  // namespace

void SetInputFilter(TInputFilter filter) { Filter() = filter; }

static WPARAM MouseKeys() {
    WPARAM k = 0;
    if (GetKeyState(VK_LBUTTON) < 0) k |= MK_LBUTTON;
    if (GetKeyState(VK_RBUTTON) < 0) k |= MK_RBUTTON;
    if (GetKeyState(VK_MBUTTON) < 0) k |= MK_MBUTTON;
    if (GetKeyState(VK_SHIFT) < 0) k |= MK_SHIFT;
    if (GetKeyState(VK_CONTROL) < 0) k |= MK_CONTROL;
    return k;
}

// Windowed controls from c up: all enabled, their windows too (a modal form disables the
// others' windows).
static bool InputEnabled(TControl* c) {
    for (; c; c = c->GetParent()) {
        if (!c->GetEnabled()) return false;
        if (auto* w = dynamic_cast<TWinControl*>(c); w && w->HandleAllocated())
            if (!IsWindowEnabled(w->GetHandle())) return false;
    }
    return true;
}

static TControl* InputTarget(TPoint screen) {
    if (TControl* cap = GetCaptureControl()) return cap;
    TControl* t = FindDragTarget(screen, true);
    // A disabled graphic control passes the input to its parent; a disabled window gets none.
    while (t && !t->GetEnabled() && !dynamic_cast<TWinControl*>(t)) t = t->GetParent();
    if (!t || !InputEnabled(t)) return nullptr;
    // Frames, captions, borders and scroll bars are the window's non-client area: no client
    // mouse message comes from there.
    if (dynamic_cast<TWinControl*>(t) && !PtInRect(t->GetClientRect(), t->ScreenToClient(screen)))
        return nullptr;
    return t;
}

// ---- window scroll bars ----
// Holding an arrow or the track repeats: first after 4/5 of the double-click time, then
// eight times as fast (400 ms and 50 ms with the default 500 ms).
static UINT ScrollFirstDelay() { return std::max(1u, GetDoubleClickTime() * 4 / 5); }
static UINT ScrollRepeatDelay() { return std::max(1u, ScrollFirstDelay() / 8); }

// A screen point in window coordinates of c ((0, 0) = the window's top-left corner).
static TPoint ScreenToWindow(TWinControl* c, TPoint screen) {
    TPoint p = c->ScreenToClient(screen);
    TRect nc = c->NonClientInsets();
    return {p.X + nc.Left, p.Y + nc.Top};
}

// A bar lying along the height sends WM_VSCROLL, one across WM_HSCROLL (a scroll-bar control
// gets its own messages).
static bool VerticalBar(TWinControl* c, int bar) {
    return bar == SB_VERT || (bar == SB_CTL && ws::LayoutScrollBar(c, bar).Vertical);
}

static void SendScroll(TWinControl* c, int bar, int code, int pos) {
    UINT msg = VerticalBar(c, bar) ? WM_VSCROLL : WM_HSCROLL;
    try {
        c->Perform(msg, ScrollWParam(code, pos), ScrollLParam(pos));
    } catch (...) {
        Application->HandleException(c);
    }
}

static void StopScrollTimer() {
    ws::InputState::ScrollTrack& t = ws::Input().Scroll;
    if (t.Timer) KillTimer(0, t.Timer);
    t.Timer = 0;
}

// The control of the held bar while its window lives (a handler may free either).
static TWinControl* HeldBarControl() {
    ws::InputState::ScrollTrack& t = ws::Input().Scroll;
    return t.Control && FindControl(t.Handle) == t.Control ? t.Control : nullptr;
}

// The held arrow or track part sends its code again while the pointer is still over it
// (a page repeat stops once the thumb has reached the pointer).
static void ScrollRepeat() {
    ws::InputState::ScrollTrack& t = ws::Input().Scroll;
    TWinControl* c = HeldBarControl();
    if (!c) {
        StopScrollTimer();
        return;
    }
    t.Timer = SetTimer(0, t.Timer, ScrollRepeatDelay(), [](HWND, UINT) { ScrollRepeat(); });
    int bar = -1;
    int part = ws::ScrollBarPartAt(c, ScreenToWindow(c, GetCursorPos()), bar);
    if (part == t.Part && bar == t.Bar) SendScroll(c, t.Bar, t.Part, 0);
}

// A left press on a window's scroll bar, or on a scroll-bar control: the bar keeps the mouse
// until the release.
static bool PressScrollBar(TPoint screen) {
    auto* c = dynamic_cast<TWinControl*>(FindDragTarget(screen, true));
    if (!c || !c->HandleAllocated()) return false;
    bool barControl = ws::IsBarControl(c->GetHandle());
    if (!barControl && PtInRect(c->GetClientRect(), c->ScreenToClient(screen))) return false;
    int bar = -1;
    TPoint wp = ScreenToWindow(c, screen);
    int part = ws::ScrollBarPartAt(c, wp, bar);
    if (part < 0) return false;
    if (!InputEnabled(c)) return true;  // a disabled window's bars take no input either
    ResetDoubleClick();
    if (barControl && c->CanFocus() && !c->Focused()) {
        // A scroll-bar control takes the focus (OnExit/OnEnter may free or hide it).
        HWND h = c->GetHandle();
        try {
            c->SetFocus();
        } catch (...) {
            Application->HandleException(c);
        }
        if (FindControl(h) != c || !c->IsShowing()) return true;
    }
    ws::InputState::ScrollTrack& t = ws::Input().Scroll;
    t = {};
    t.Control = c;
    t.Handle = c->GetHandle();
    t.Bar = bar;
    t.Part = part;
    if (part == SB_THUMBTRACK) {
        ws::ScrollBarLayout l = ws::LayoutScrollBar(c, bar);
        t.ThumbGrab = l.Vertical ? wp.Y - l.Thumb.Top : wp.X - l.Thumb.Left;
        ws::ScrollBarState& b = ws::Rec(t.Handle)->Bars[bar];
        b.Tracking = true;
        b.TrackPos = b.Pos;
        return true;
    }
    t.Timer = SetTimer(0, 0, ScrollFirstDelay(), [](HWND, UINT) { ScrollRepeat(); });
    SendScroll(c, bar, part, 0);
    return true;
}

// The pointer moved while a bar is held: a dragged thumb follows it.
static void MoveScrollTrack(TPoint screen) {
    ws::InputState::ScrollTrack& t = ws::Input().Scroll;
    TWinControl* c = HeldBarControl();
    if (!c || t.Part != SB_THUMBTRACK) return;
    ws::ScrollBarState& b = ws::Rec(t.Handle)->Bars[t.Bar];
    TPoint wp = ScreenToWindow(c, screen);
    int start = (VerticalBar(c, t.Bar) ? wp.Y : wp.X) - t.ThumbGrab;
    int pos = ws::ScrollPosFromThumb(c, t.Bar, start);
    if (pos == b.TrackPos) return;
    b.TrackPos = pos;
    ws::InvalidateScrollBar(t.Handle, t.Bar);
    SendScroll(c, t.Bar, SB_THUMBTRACK, pos);
}

// The left button let go of a bar: a thumb ends with its position, every part with
// SB_ENDSCROLL.
static void ReleaseScrollTrack() {
    StopScrollTimer();
    TWinControl* c = HeldBarControl();
    ws::InputState::ScrollTrack t = ws::Input().Scroll;
    ws::Input().Scroll = {};
    if (!c) return;
    if (t.Part == SB_THUMBTRACK) {
        SendScroll(c, t.Bar, SB_THUMBPOSITION, ws::Rec(t.Handle)->Bars[t.Bar].TrackPos);
        if (FindControl(t.Handle) != c) return;
        ws::Rec(t.Handle)->Bars[t.Bar].Tracking = false;
        ws::InvalidateScrollBar(t.Handle, t.Bar);
    }
    SendScroll(c, t.Bar, SB_ENDSCROLL, 0);
}

static void Deliver(TControl* target, UINT msg, TPoint screen, WPARAM keys) {
    TPoint p = target->ScreenToClient(screen);
    try {
        target->Perform(msg, keys, PointToLParam(p));
    } catch (...) {
        Application->HandleException(target);
    }
}

static void TrackMouseControl(TPoint screen) {
    ws::InputState& s = ws::Input();
    TControl* over = FindDragTarget(screen, true);
    if (over != s.MouseControl) {
        TControl* old = s.MouseControl;
        s.MouseControl = over;
        try {
            if (old) old->Perform(CM_MOUSELEAVE, 0, LPARAM(old));
            if (over && s.MouseControl == over) over->Perform(CM_MOUSEENTER, 0, LPARAM(over));
        } catch (...) {
            Application->HandleException(over ? over : old);
        }
    }
    try {
        Application->HintMouseMessage(s.MouseControl, screen);
    } catch (...) {
        Application->HandleException(s.MouseControl);
    }
}

void MouseMoveTo(TPoint screen) {
    ws::InputState& s = ws::Input();
    s.CursorPos = screen;
    if (!s.Scroll.Control && !ws::Drag().Source && Filtered(TInputEvent::MouseMove, screen)) return;
    if (s.Scroll.Control) {
        MoveScrollTrack(screen);
        return;
    }
    ws::DragState& d = ws::Drag();
    if (d.Source) {
        if (!d.Started && (std::abs(screen.X - d.StartPos.X) >= d.Threshold ||
                           std::abs(screen.Y - d.StartPos.Y) >= d.Threshold)) {
            d.Started = true;
            TObject* obj = nullptr;
            try {
                d.Source->DoStartDrag(obj);
            } catch (...) {
                Application->HandleException(d.Source);
            }
            ws::Drag().DragObject = obj;
        }
        if (ws::Drag().Started) {
            try {
                ws::DragMove(screen);
            } catch (...) {
                Application->HandleException(d.Source);
            }
            return;
        }
    }
    TrackMouseControl(screen);
    TControl* target = InputTarget(screen);
    if (!target) return;
    if (!GetCaptureControl()) {
        TControl* w = target;
        while (w && !dynamic_cast<TWinControl*>(w)) w = w->GetParent();
        if (auto* wc = dynamic_cast<TWinControl*>(w); wc && wc->HandleAllocated()) {
            try {
                wc->Perform(WM_SETCURSOR, wc->GetHandle(), MakeLParam(int(HTCLIENT), int(WM_MOUSEMOVE)));
            } catch (...) {
                Application->HandleException(wc);
            }
        }
    }
    Deliver(target, WM_MOUSEMOVE, screen, MouseKeys());
}

void ResetDoubleClick() {
    ws::InputState& s = ws::Input();
    s.LastDownButton = -1;
    s.LastDownControl = nullptr;
    s.LastWasDouble = false;
}

void MouseButton(TMouseButton button, bool down, TPoint screen) {
    ws::InputState& s = ws::Input();
    if (screen.X != s.CursorPos.X || screen.Y != s.CursorPos.Y) MouseMoveTo(screen);
    int vk = button == mbLeft ? VK_LBUTTON : button == mbRight ? VK_RBUTTON : VK_MBUTTON;
    SetKeyDown(vk, down);
    if (!s.Scroll.Control && !ws::Drag().Source &&
        Filtered(down ? TInputEvent::MouseDown : TInputEvent::MouseUp, screen, button))
        return;
    if (s.Scroll.Control) {
        // A held scroll bar has the mouse: only the left release counts.
        if (button == mbLeft && !down) ReleaseScrollTrack();
        return;
    }
    ws::DragState& d = ws::Drag();
    if (d.Source && !down) {
        if (d.Started) {
            try {
                ws::DragFinish(true, screen);
            } catch (...) {
                Application->HandleException(nullptr);
            }
            return;
        }
        ws::Drag() = ws::DragState{};
    }
    if (!down) Application->CancelHint();
    if (down && !GetCaptureControl()) {
        // A press activates the window it falls in (frame and caption included).
        TControl* top = FindDragTarget(screen, true);
        while (top && top->GetParent()) top = top->GetParent();
        if (auto* tw = dynamic_cast<TWinControl*>(top); tw && tw->HandleAllocated() &&
                                                        !win::GetParent(tw->GetHandle()) &&
                                                        IsWindowEnabled(tw->GetHandle()) &&
                                                        GetActiveWindow() != tw->GetHandle() &&
                                                        !dynamic_cast<THintWindow*>(tw) &&
                                                        !(GetWindowExStyle(tw->GetHandle()) & WS_EX_TOOLWINDOW))
            SetActiveWindow(tw->GetHandle());
    }
    if (down && button == mbLeft && !GetCaptureControl() && PressScrollBar(screen)) return;
    TControl* target = InputTarget(screen);
    if (!target) return;
    UINT msg;
    if (down) {
        uint32_t now = vcl::GetTickCount();
        int half = GetSystemMetrics(SM_CXDOUBLECLK) / 2;
        int halfY = GetSystemMetrics(SM_CYDOUBLECLK) / 2;
        TControl* w = target;
        while (w && !dynamic_cast<TWinControl*>(w)) w = w->GetParent();
        bool classDbl = true;
        if (auto* wc = dynamic_cast<TWinControl*>(w); wc && wc->HandleAllocated())
            classDbl = (GetClassStyle(wc->GetHandle()) & CS_DBLCLKS) != 0;
        bool dbl = classDbl && !s.LastWasDouble && s.LastDownButton == int(button) &&
                   s.LastDownControl == target && now - s.LastDownTime <= GetDoubleClickTime() &&
                   std::abs(screen.X - s.LastDownPos.X) <= half &&
                   std::abs(screen.Y - s.LastDownPos.Y) <= halfY;
        s.LastWasDouble = dbl;
        s.LastDownButton = int(button);
        s.LastDownControl = target;
        s.LastDownTime = now;
        s.LastDownPos = screen;
        static const UINT downs[] = {WM_LBUTTONDOWN, WM_RBUTTONDOWN, WM_MBUTTONDOWN};
        static const UINT dbls[] = {WM_LBUTTONDBLCLK, WM_RBUTTONDBLCLK, WM_MBUTTONDBLCLK};
        msg = dbl ? dbls[button] : downs[button];
    } else {
        static const UINT ups[] = {WM_LBUTTONUP, WM_RBUTTONUP, WM_MBUTTONUP};
        msg = ups[button];
    }
    Deliver(target, msg, screen, MouseKeys());
}

void Key(uint16_t vk, bool down, bool textApart) {
    if (vk == VK_ESCAPE && down && ws::Drag().Source) {
        // Escape ends a drag without a drop.
        try {
            CancelDrag();
        } catch (...) {
            Application->HandleException(nullptr);
        }
        return;
    }
    bool alt = GetKeyState(VK_MENU) < 0;
    SetKeyDown(vk, down);
    if (Filtered(down ? TInputEvent::KeyDown : TInputEvent::KeyUp, GetCursorPos(), mbLeft, vk)) return;
    if (vk == VK_SHIFT || vk == VK_CONTROL || vk == VK_MENU) {
        // Modifier keys are reported too.
    }
    HWND focus = GetFocus();
    if (!focus) return;
    bool sys = (alt && vk != VK_MENU) || vk == VK_F10 || (vk == VK_MENU && down);
    UINT msg = down ? (sys ? WM_SYSKEYDOWN : WM_KEYDOWN) : (sys ? WM_SYSKEYUP : WM_KEYUP);
    LPARAM data = 1;
    if (alt) data |= LPARAM(1) << 29;
    if (!down) data |= LPARAM(3) << 30;
    if (textApart) data |= KeyDataTextApart;
    PostMessage(focus, msg, vk, data);
}

void MouseWheel(int delta, TPoint screen) {
    if (screen.X != ws::Input().CursorPos.X || screen.Y != ws::Input().CursorPos.Y)
        MouseMoveTo(screen);
    TWinControl* c = FindControl(GetFocus());
    if (!c || !InputEnabled(c)) return;
    try {
        c->Perform(WM_MOUSEWHEEL, MakeWParam(int(MouseKeys()), delta), PointToLParam(screen));
    } catch (...) {
        Application->HandleException(c);
    }
}

void Char(char ch) {
    if (Filtered(TInputEvent::Char, GetCursorPos(), mbLeft, uint16_t(uint8_t(ch)))) return;
    HWND focus = GetFocus();
    if (!focus) return;
    PostMessage(focus, WM_CHAR, WPARAM(uint8_t(ch)), 1);
}

void Reset() {
    StopScrollTimer();
    if (HeldBarControl())
        for (ws::ScrollBarState& b : ws::Rec(ws::Input().Scroll.Handle)->Bars) b.Tracking = false;
    ws::Input().Scroll = {};
    for (int vk = 0; vk < 256; ++vk) SetKeyDown(vk, false);
    ws::Drag() = ws::DragState{};
    SetCaptureControl(nullptr);
    ws::Input().MouseControl = nullptr;
    ResetDoubleClick();
}

}  // namespace input
}  // namespace vcl
