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

void Key(uint16_t vk, bool down) {
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
    PostMessage(focus, msg, vk, data);
}

void Char(char ch) {
    HWND focus = GetFocus();
    if (!focus) return;
    PostMessage(focus, WM_CHAR, WPARAM(uint8_t(ch)), 1);
}

void Reset() {
    for (int vk = 0; vk < 256; ++vk) SetKeyDown(vk, false);
    ws::Drag() = ws::DragState{};
    SetCaptureControl(nullptr);
    ws::Input().MouseControl = nullptr;
    ResetDoubleClick();
}

}  // namespace input
}  // namespace vcl
