// The window system: handle registry, message queue, focus/capture/activation, update regions,
// scroll bars, timers and system settings.
#include <algorithm>
#include <cstdlib>

#include "controls/forms.h"
#include "controls/windowbackend.h"
#include "controls/wininternal.h"
#include "rtl/clock.h"

namespace vcl::ws {

namespace {
struct Registry {
    std::unordered_map<win::HWND, WindowRec*> windows;
    std::vector<win::HWND> topLevel;  // front first
    win::HWND nextId = 0x10;
    std::deque<win::MSG> queue;
    win::HWND focus = 0, active = 0, capture = 0;
    uint32_t messageTime = 0;
};
Registry& R() {
    static Registry* r = new Registry;  // lives to the end: windows may outlive static teardown
    return *r;
}
}  // namespace

void PushFront(const win::MSG& m) { R().queue.push_front(m); }

InputState& Input() {
    static InputState s;
    return s;
}

DragState& Drag() {
    static DragState s;
    return s;
}

WindowRec* Rec(win::HWND h) {
    auto& m = R().windows;
    auto it = m.find(h);
    return it == m.end() ? nullptr : it->second;
}

win::HWND Register(TWinControl* c, const TCreateParams& p, win::HWND parent) {
    Registry& r = R();
    win::HWND h;
    do {
        h = r.nextId++;
        if (r.nextId >= 0xFFFFFF00u) r.nextId = 0x10;
    } while (r.windows.count(h));
    auto* w = new WindowRec;
    w->Handle = h;
    w->Control = c;
    w->Parent = parent;
    w->Style = p.Style;
    w->ExStyle = p.ExStyle;
    w->ClassStyle = p.ClassStyle;
    w->Enabled = !(p.Style & win::WS_DISABLED);
    w->Bars[win::SB_HORZ].Shown = (p.Style & win::WS_HSCROLL) != 0;
    w->Bars[win::SB_VERT].Shown = (p.Style & win::WS_VSCROLL) != 0;
    if (w->Bars[0].Shown) w->Bars[0].Max = 100;
    if (w->Bars[1].Shown) w->Bars[1].Max = 100;
    w->BarControl = p.WinClassName == "SCROLLBAR";
    if (w->BarControl) {
        w->Bars[win::SB_CTL].Shown = true;
        w->Bars[win::SB_CTL].Max = 100;
    }
    r.windows[h] = w;
    if (!parent) SetTopLevel(h, true);
    return h;
}

void Unregister(win::HWND h) {
    Registry& r = R();
    WindowRec* w = Rec(h);
    if (!w) return;
    SetTopLevel(h, false);
    if (r.focus == h) r.focus = 0;
    if (r.active == h) r.active = 0;
    if (r.capture == h) {
        r.capture = 0;
        Input().CaptureControl = nullptr;
    }
    for (auto it = r.queue.begin(); it != r.queue.end();)
        it = it->hwnd == h ? r.queue.erase(it) : it + 1;
    if (w->Surface) {
        TControlCanvas::FreeDeviceContexts();
        delete w->Surface;
    }
    if (!w->Parent)
        if (TWindowBackend* b = WindowBackend()) b->WindowDestroyed(h);
    r.windows.erase(h);
    delete w;
}

void SetTopLevel(win::HWND h, bool topLevel) {
    auto& v = R().topLevel;
    auto it = std::find(v.begin(), v.end(), h);
    if (topLevel && it == v.end())
        v.insert(v.begin(), h);
    else if (!topLevel && it != v.end())
        v.erase(it);
    if (!topLevel) {
        if (WindowRec* w = Rec(h); w && w->Surface) {
            TControlCanvas::FreeDeviceContexts();
            delete w->Surface;
            w->Surface = nullptr;
        }
    }
}

static bool IsTopmost(win::HWND h) {
    WindowRec* w = Rec(h);
    return w && (w->ExStyle & win::WS_EX_TOPMOST);
}

void BringTopLevelToFront(win::HWND h) {
    auto& v = R().topLevel;
    auto it = std::find(v.begin(), v.end(), h);
    if (it == v.end()) return;
    v.erase(it);
    // Stay-on-top windows stay in front of the others.
    size_t pos = 0;
    if (!IsTopmost(h))
        while (pos < v.size() && IsTopmost(v[pos])) ++pos;
    v.insert(v.begin() + long(pos), h);
}

void SendTopLevelToBack(win::HWND h) {
    auto& v = R().topLevel;
    auto it = std::find(v.begin(), v.end(), h);
    if (it == v.end()) return;
    v.erase(it);
    size_t pos = v.size();
    if (IsTopmost(h))
        while (pos > 0 && !IsTopmost(v[pos - 1])) --pos;
    v.insert(v.begin() + long(pos), h);
}

const std::vector<win::HWND>& TopLevelOrder() { return R().topLevel; }

win::HWND TopLevelOf(win::HWND h) {
    WindowRec* w = Rec(h);
    while (w && w->Parent) w = Rec(w->Parent);
    return w ? w->Handle : 0;
}

static TWinControl* WindowParent(TWinControl* c) {
    if (!c->HandleAllocated()) return c->GetParent();
    WindowRec* w = Rec(c->GetHandle());
    return w && w->Parent ? win::FindControl(w->Parent) : nullptr;
}

TPoint SurfaceOffset(TWinControl* c) {
    TRect nc = c->NonClientInsets();
    TWinControl* p = WindowParent(c);
    if (!p) return {nc.Left, nc.Top};
    TPoint o = SurfaceOffset(p);
    return {o.X + c->GetLeft() + nc.Left, o.Y + c->GetTop() + nc.Top};
}

TRect VisibleClientRect(TWinControl* c) {
    TPoint off = SurfaceOffset(c);
    TRect cr = c->GetClientRect();
    OffsetRect(cr, off.X, off.Y);
    TWinControl* cur = c;
    TWinControl* p = WindowParent(cur);
    while (p) {
        TRect pr = p->GetClientRect();
        TPoint po = SurfaceOffset(p);
        OffsetRect(pr, po.X, po.Y);
        if (!IntersectRect(cr, cr, pr)) return {};
        cur = p;
        p = WindowParent(cur);
    }
    TRect surf = Rect(0, 0, cur->GetWidth(), cur->GetHeight());
    if (!IntersectRect(cr, cr, surf)) return {};
    OffsetRect(cr, -off.X, -off.Y);
    return cr;
}

TBitmap* SurfaceOf(win::HWND topLevel) {
    WindowRec* w = Rec(topLevel);
    if (!w || w->Parent) return nullptr;
    TWinControl* c = w->Control;
    int cw = std::max(1, c->GetWidth()), ch = std::max(1, c->GetHeight());
    if (!w->Surface) {
        w->Surface = new TBitmap;
        w->Surface->SetPixelFormat(pf32bit);
        w->Surface->SetSize(cw, ch);
        win::InvalidateRect(topLevel, nullptr, true);
    } else if (w->Surface->GetWidth() != cw || w->Surface->GetHeight() != ch) {
        TControlCanvas::FreeDeviceContexts();
        w->Surface->SetSize(cw, ch);
    }
    return w->Surface;
}

static void FillPixels(const TDeviceContext& dc, const TRect& deviceRect, TColor color) {
    TRect r;
    if (!IntersectRect(r, deviceRect, dc.Clip)) return;
    TRect bounds = Rect(0, 0, dc.Width, dc.Height);
    if (!IntersectRect(r, r, bounds)) return;
    uint32_t v = uint32_t(ColorToRGB(color));
    uint32_t px = ((v & 0xFF) << 16) | (v & 0xFF00) | ((v >> 16) & 0xFF);
    for (int y = r.Top; y < r.Bottom; ++y) {
        uint32_t* row = reinterpret_cast<uint32_t*>(reinterpret_cast<char*>(dc.Pixels) +
                                                    size_t(y) * size_t(dc.Stride));
        std::fill(row + r.Left, row + r.Right, px);
    }
}

void EraseBackground(HDC dc, const TRect& clientRect, TColor color) {
    TRect d = clientRect;
    OffsetRect(d, dc->Origin.X, dc->Origin.Y);
    FillPixels(*dc, d, color);
}

static void SubtractRect(std::vector<TRect>& region, const TRect& cut) {
    std::vector<TRect> out;
    for (const TRect& r : region) {
        TRect i;
        if (!IntersectRect(i, r, cut)) {
            out.push_back(r);
            continue;
        }
        if (r.Top < i.Top) out.push_back(Rect(r.Left, r.Top, r.Right, i.Top));
        if (i.Bottom < r.Bottom) out.push_back(Rect(r.Left, i.Bottom, r.Right, r.Bottom));
        if (r.Left < i.Left) out.push_back(Rect(r.Left, i.Top, i.Left, i.Bottom));
        if (i.Right < r.Right) out.push_back(Rect(i.Right, i.Top, r.Right, i.Bottom));
    }
    region.swap(out);
}

static TRect BoundingBox(const std::vector<TRect>& region) {
    TRect b;
    for (const TRect& r : region) UnionRect(b, b, r);
    return b;
}

// ---- window scroll bars ----
// Thumb offset <-> position, rounded both ways so that a position's offset maps back to it.
static int64_t MulDivRound(int64_t a, int64_t b, int64_t c) { return c ? (a * b * 2 + c) / (c * 2) : 0; }

ScrollBarLayout LayoutScrollBar(TWinControl* c, int bar) {
    ScrollBarLayout l;
    WindowRec* w = c && c->HandleAllocated() ? Rec(c->GetHandle()) : nullptr;
    bool valid = bar == win::SB_HORZ || bar == win::SB_VERT || (bar == win::SB_CTL && w && w->BarControl);
    if (!w || !valid || !w->Bars[bar].Shown) return l;
    using win::GetSystemMetrics;
    const ScrollBarState& s = w->Bars[bar];
    TRect f = c->FrameInsets();
    TRect in = Rect(f.Left, f.Top, c->GetWidth() - f.Right, c->GetHeight() - f.Bottom);
    int sv = GetSystemMetrics(win::SM_CXVSCROLL), sh = GetSystemMetrics(win::SM_CYHSCROLL);
    bool hasV = w->Bars[win::SB_VERT].Shown, hasH = w->Bars[win::SB_HORZ].Shown;
    l.Shown = true;
    if (bar == win::SB_CTL) {
        // A scroll-bar control's bar fills its client area.
        TRect nc = c->NonClientInsets();
        l.Vertical = (w->Style & win::SBS_VERT) != 0;
        l.Bar = Rect(nc.Left, nc.Top, c->GetWidth() - nc.Right, c->GetHeight() - nc.Bottom);
    } else {
        l.Vertical = bar == win::SB_VERT;
        l.Bar = l.Vertical ? Rect(in.Right - sv, in.Top, in.Right, in.Bottom - (hasH ? sh : 0))
                           : Rect(in.Left, in.Bottom - sh, in.Right - (hasV ? sv : 0), in.Bottom);
    }
    auto along = [&](int a, int b) {
        return l.Vertical ? Rect(l.Bar.Left, a, l.Bar.Right, b) : Rect(a, l.Bar.Top, b, l.Bar.Bottom);
    };
    int start = l.Vertical ? l.Bar.Top : l.Bar.Left;
    int len = std::max(0, l.Vertical ? l.Bar.Height() : l.Bar.Width());
    int arrow = GetSystemMetrics(l.Vertical ? win::SM_CYVSCROLL : win::SM_CXHSCROLL);
    int btn = std::min(arrow, len / 2);
    l.LineUp = along(start, start + btn);
    l.LineDown = along(start + len - btn, start + len);
    l.TrackStart = start + btn;
    l.TrackEnd = start + len - btn;
    int track = l.TrackEnd - l.TrackStart;
    l.ThumbLength = std::min(track, GetSystemMetrics(l.Vertical ? win::SM_CYVTHUMB : win::SM_CXHTHUMB));
    int lo = std::min(s.Min, s.Max), hi = std::max(s.Min, s.Max);
    if (track > l.ThumbLength && hi > lo) {
        int pos = std::clamp(s.Tracking ? s.TrackPos : s.Pos, lo, hi);
        int off = int(MulDivRound(int64_t(pos) - lo, track - l.ThumbLength, int64_t(hi) - lo));
        l.Thumb = along(l.TrackStart + off, l.TrackStart + off + l.ThumbLength);
    }
    return l;
}

// The thumb's travel on bar: the layout, the position range and the room the thumb moves in.
struct ThumbTravel {
    ScrollBarLayout l;
    const ScrollBarState* s = nullptr;
    int lo = 0, hi = 0, room = 0;
};
static bool GetThumbTravel(TWinControl* c, int bar, ThumbTravel& t) {
    t.l = LayoutScrollBar(c, bar);
    WindowRec* w = t.l.Shown ? Rec(c->GetHandle()) : nullptr;
    if (!w) return false;
    t.s = &w->Bars[bar];
    t.lo = std::min(t.s->Min, t.s->Max);
    t.hi = std::max(t.s->Min, t.s->Max);
    t.room = t.l.TrackEnd - t.l.TrackStart - t.l.ThumbLength;
    return true;
}

int ThumbStartForPos(TWinControl* c, int bar, int pos) {
    ThumbTravel t;
    if (!GetThumbTravel(c, bar, t)) return 0;
    if (t.room <= 0 || t.hi <= t.lo) return t.l.TrackStart;
    pos = std::clamp(pos, t.lo, t.hi);
    return t.l.TrackStart + int(MulDivRound(int64_t(pos) - t.lo, t.room, int64_t(t.hi) - t.lo));
}

int ScrollBarPartAt(TWinControl* c, TPoint p, int& bar) {
    for (int b : {win::SB_VERT, win::SB_HORZ, win::SB_CTL}) {
        ScrollBarLayout l = LayoutScrollBar(c, b);
        if (!l.Shown || !PtInRect(l.Bar, p)) continue;
        bar = b;
        if (PtInRect(l.LineUp, p)) return win::SB_LINEUP;
        if (PtInRect(l.LineDown, p)) return win::SB_LINEDOWN;
        if (IsRectEmpty(l.Thumb)) return -1;  // no thumb: the track does nothing
        if (PtInRect(l.Thumb, p)) return win::SB_THUMBTRACK;
        int at = l.Vertical ? p.Y : p.X, thumb = l.Vertical ? l.Thumb.Top : l.Thumb.Left;
        return at < thumb ? win::SB_PAGEUP : win::SB_PAGEDOWN;
    }
    return -1;
}

int ScrollPosFromThumb(TWinControl* c, int bar, int thumbStart) {
    ThumbTravel t;
    if (!GetThumbTravel(c, bar, t)) return 0;
    if (t.room <= 0) return t.s->Pos;
    int off = std::clamp(thumbStart - t.l.TrackStart, 0, t.room);
    return int(t.lo + MulDivRound(off, int64_t(t.hi) - t.lo, t.room));
}

static void PaintBarLayout(const ScrollBarLayout& l, TCanvas* canvas) {
    if (!l.Shown) return;
    canvas->GetBrush()->SetColor(clScrollBar);
    canvas->FillRect(l.Bar);
    canvas->DrawFrameControl(l.LineUp, DFC_SCROLL, l.Vertical ? DFCS_SCROLLUP : DFCS_SCROLLLEFT);
    canvas->DrawFrameControl(l.LineDown, DFC_SCROLL, l.Vertical ? DFCS_SCROLLDOWN : DFCS_SCROLLRIGHT);
    if (!IsRectEmpty(l.Thumb)) {
        canvas->GetBrush()->SetColor(clBtnFace);
        TRect thumb = l.Thumb;
        canvas->FillRect(thumb);
        canvas->DrawEdge(thumb, EDGE_RAISED, BF_RECT);
    }
}

void PaintScrollBar(TWinControl* c, TCanvas* canvas, int bar) { PaintBarLayout(LayoutScrollBar(c, bar), canvas); }

bool IsBarControl(win::HWND h) {
    WindowRec* w = Rec(h);
    return w && w->BarControl;
}

void PaintScrollBars(TWinControl* c, TCanvas* canvas) {
    ScrollBarLayout v = LayoutScrollBar(c, win::SB_VERT), h = LayoutScrollBar(c, win::SB_HORZ);
    PaintBarLayout(v, canvas);
    PaintBarLayout(h, canvas);
    if (v.Shown && h.Shown) {
        canvas->GetBrush()->SetColor(clBtnFace);
        canvas->FillRect(Rect(v.Bar.Left, h.Bar.Top, v.Bar.Right, h.Bar.Bottom));
    }
}

void InvalidateScrollBar(win::HWND h, int bar) {
    TWinControl* c = win::FindControl(h);
    ScrollBarLayout l = LayoutScrollBar(c, bar);
    if (!l.Shown) return;
    TRect nc = c->NonClientInsets();
    TRect r = l.Bar;
    OffsetRect(r, -nc.Left, -nc.Top);  // window to client coordinates
    win::InvalidateRect(h, &r, true);
}

// Paints window c over r (client coordinates): its frame, its client area and the child
// windows above it, and validates r. With frameOnly only the frame outside the client area
// is painted and validated.
static void PaintWindowPart(TWinControl* c, const TRect& r, TCanvasLog* log, TControl* logOnly,
                            bool frameOnly) {
    if (!c->HandleAllocated() || !c->IsShowing()) return;
    win::HWND top = TopLevelOf(c->GetHandle());
    TBitmap* surf = SurfaceOf(top);
    if (!surf) return;
    TRect vis = VisibleClientRect(c);
    TPoint off = SurfaceOffset(c);
    TRect nc = c->NonClientInsets();
    TRect windowRect = Rect(-nc.Left, -nc.Top, c->GetWidth() - nc.Left, c->GetHeight() - nc.Top);
    TRect dirty;
    IntersectRect(dirty, r, windowRect);
    TDeviceContext dc;
    dc.Pixels = surf->ScanLine(0);
    dc.Width = surf->GetWidth();
    dc.Height = surf->GetHeight();
    dc.Stride = surf->StrideBytes();
    dc.Log = log;
    dc.LogOnly = logOnly;
    // Non-client area first, clipped to what the parents let show.
    if (nc.Left || nc.Top || nc.Right || nc.Bottom) {
        TRect ncClip = dirty;
        TWinControl* p = WindowParent(c);
        if (p) {
            TRect pv = VisibleClientRect(p);
            TPoint po = SurfaceOffset(p);
            OffsetRect(pv, po.X - off.X, po.Y - off.Y);
            IntersectRect(ncClip, ncClip, pv);
        } else {
            IntersectRect(ncClip, ncClip, windowRect);
        }
        if (!IsRectEmpty(ncClip)) {
            TCanvas canvas;
            canvas.SetLog(nullptr);
            TRect devClip = ncClip;
            OffsetRect(devClip, off.X, off.Y);
            canvas.AttachPixels(dc.Pixels, dc.Width, dc.Height, dc.Stride,
                                {off.X - nc.Left, off.Y - nc.Top}, &devClip);
            // The frame never paints over the client area.
            TRect client = c->GetClientRect();
            OffsetRect(client, nc.Left, nc.Top);
            canvas.ExcludeClipRect(client);
            c->PaintNonClient(&canvas);
            canvas.DetachPixels();
        }
    }
    if (frameOnly) {
        if (WindowRec* w = Rec(c->GetHandle())) {
            std::vector<TRect> frame{dirty};
            SubtractRect(frame, c->GetClientRect());
            for (const TRect& f : frame) SubtractRect(w->Update, f);
        }
        return;
    }
    TRect clientDirty;
    if (IntersectRect(clientDirty, dirty, vis)) {
        dc.Origin = off;
        dc.Clip = clientDirty;
        OffsetRect(dc.Clip, off.X, off.Y);
        c->Perform(win::WM_ERASEBKGND, reinterpret_cast<win::WPARAM>(&dc), 0);
        c->Perform(win::WM_PAINT, reinterpret_cast<win::WPARAM>(&dc), 0);
    }
    if (WindowRec* w = Rec(c->GetHandle())) {
        SubtractRect(w->Update, dirty);
        // What lies outside the window (it shrank since) is gone as well.
        std::vector<TRect> keep;
        for (const TRect& u : w->Update) {
            TRect i;
            if (IntersectRect(i, u, windowRect)) keep.push_back(i);
        }
        w->Update.swap(keep);
    }
    // Child windows sit above the parent's painting.
    for (TControl* child : c->ControlList()) {
        auto* wc = dynamic_cast<TWinControl*>(child);
        if (!wc || !wc->HandleAllocated() || !wc->IsShowing()) continue;
        WindowRec* cw = Rec(wc->GetHandle());
        if (!cw || cw->Parent != c->GetHandle()) continue;
        TRect cr = wc->GetBoundsRect();
        TRect part;
        if (!IntersectRect(part, cr, dirty)) continue;
        TRect cnc = wc->NonClientInsets();
        OffsetRect(part, -wc->GetLeft() - cnc.Left, -wc->GetTop() - cnc.Top);
        PaintTree(wc, part, log, logOnly);
    }
}

void PaintTree(TWinControl* c, const TRect& r, TCanvasLog* log, TControl* logOnly) {
    PaintWindowPart(c, r, log, logOnly, false);
}

static void CollectDirty(TWinControl* c, std::vector<TWinControl*>& out) {
    if (!c->HandleAllocated() || !c->IsShowing()) return;
    WindowRec* w = Rec(c->GetHandle());
    if (w && !w->Update.empty()) out.push_back(c);
    for (TControl* child : c->ControlList())
        if (auto* wc = dynamic_cast<TWinControl*>(child)) CollectDirty(wc, out);
}

bool AnyDirty() {
    for (auto& [h, w] : R().windows)
        if (!w->Update.empty() && w->Control->IsShowing()) return true;
    return false;
}

// Paints the dirty windows of c's tree and tells the backend what changed on each surface.
static void PaintDirtyTree(TWinControl* root) {
    std::vector<TWinControl*> dirty;
    CollectDirty(root, dirty);
    for (TWinControl* c : dirty) {
        WindowRec* cw = c->HandleAllocated() ? Rec(c->GetHandle()) : nullptr;
        if (!cw || cw->Update.empty()) continue;  // painted with a parent
        TRect r = BoundingBox(cw->Update);
        // The client part and the frame part are painted apart, so that an invalid scroll
        // bar does not make the client area between it and a client strip repaint.
        TRect client = c->GetClientRect(), clientBox;
        std::vector<TRect> frame;
        for (const TRect& u : cw->Update) {
            TRect i;
            if (IntersectRect(i, u, client)) UnionRect(clientBox, clientBox, i);
            std::vector<TRect> outside{u};
            SubtractRect(outside, client);
            frame.insert(frame.end(), outside.begin(), outside.end());
        }
        if (!IsRectEmpty(clientBox)) PaintTree(c, clientBox);
        if (!frame.empty() && (cw = Rec(c->GetHandle())))
            PaintWindowPart(c, BoundingBox(frame), nullptr, nullptr, true);
        if (TWindowBackend* b = WindowBackend()) {
            win::HWND top = TopLevelOf(c->GetHandle());
            TWinControl* tc = win::FindControl(top);
            TPoint off = SurfaceOffset(c);
            OffsetRect(r, off.X, off.Y);
            if (tc) IntersectRect(r, r, Rect(0, 0, tc->GetWidth(), tc->GetHeight()));
            if (!IsRectEmpty(r)) b->Present(top, r);
        }
    }
}

void PaintDirty() {
    std::vector<win::HWND> tops = R().topLevel;
    for (win::HWND h : tops) {
        WindowRec* w = Rec(h);
        if (!w || !w->Control->IsShowing()) continue;
        PaintDirtyTree(w->Control);
    }
}

std::vector<uint32_t>& BeepLog() {
    static std::vector<uint32_t> v;
    return v;
}

}  // namespace vcl::ws

// =============================================================================================
namespace win {

using namespace vcl;
using vcl::ws::R;
using vcl::ws::Rec;

LRESULT SendMessage(HWND h, UINT msg, WPARAM w, LPARAM l) {
    TWinControl* c = FindControl(h);
    if (!c) return 0;
    return c->Perform(msg, w, l);
}

bool PostMessage(HWND h, UINT msg, WPARAM w, LPARAM l) {
    if (h && !Rec(h)) return false;
    MSG m;
    m.hwnd = h;
    m.message = msg;
    m.wParam = w;
    m.lParam = l;
    m.time = vcl::GetTickCount();
    m.pt = GetCursorPos();
    R().queue.push_back(m);
    return true;
}

bool PeekMessage(MSG& out, HWND h, UINT first, UINT last, UINT remove) {
    auto& q = R().queue;
    for (auto it = q.begin(); it != q.end(); ++it) {
        if (h && it->hwnd != h) continue;
        if ((first || last) && (it->message < first || it->message > last)) continue;
        out = *it;
        if (remove & PM_REMOVE) {
            q.erase(it);
            R().messageTime = out.time;
        }
        return true;
    }
    return false;
}

void PostQuitMessage(int exitCode) { PostMessage(0, WM_QUIT, WPARAM(exitCode), 0); }

size_t QueuedMessageCount() { return R().queue.size(); }

LRESULT DispatchMessage(const MSG& m) {
    if (!m.hwnd) return 0;
    return SendMessage(m.hwnd, m.message, m.wParam, m.lParam);
}

uint32_t GetMessageTime() { return R().messageTime; }

bool IsWindow(HWND h) { return Rec(h) != nullptr; }

bool IsWindowVisible(HWND h) {
    TWinControl* c = FindControl(h);
    return c && c->IsShowing();
}

bool IsWindowEnabled(HWND h) {
    ws::WindowRec* w = Rec(h);
    return w && w->Enabled;
}

bool EnableWindow(HWND h, bool enable) {
    ws::WindowRec* w = Rec(h);
    if (!w) return false;
    bool was = !w->Enabled;
    if (w->Enabled != enable) {
        w->Enabled = enable;
        if (!enable && R().focus == h) R().focus = 0;
        SendMessage(h, WM_ENABLE, enable, 0);
    }
    return was;
}

bool ShowWindow(HWND h, int cmd) {
    TWinControl* c = FindControl(h);
    if (!c) return false;
    bool was = c->WindowShown();
    UINT flags = SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER;
    flags |= cmd == SW_HIDE ? SWP_HIDEWINDOW : SWP_SHOWWINDOW;
    if (cmd == SW_SHOWNA || cmd == SW_SHOWNOACTIVATE) flags |= SWP_NOACTIVATE;
    SetWindowPos(h, 0, 0, 0, 0, 0, flags);
    return was;
}

vcl::TWinControl* FindControl(HWND h) {
    ws::WindowRec* w = Rec(h);
    return w ? w->Control : nullptr;
}

HWND GetParent(HWND h) {
    ws::WindowRec* w = Rec(h);
    return w ? w->Parent : 0;
}

HWND SetParent(HWND h, HWND parent) {
    ws::WindowRec* w = Rec(h);
    if (!w || (parent && !Rec(parent)) || parent == h) return 0;
    HWND old = w->Parent;
    if (old == parent) return old;
    InvalidateRect(h, nullptr, true);
    w->Parent = parent;
    ws::SetTopLevel(h, parent == 0);
    if (!parent) w->Style = (w->Style & ~WS_CHILD) | WS_POPUP;
    InvalidateRect(h, nullptr, true);
    return old;
}

uint32_t GetWindowStyle(HWND h) {
    ws::WindowRec* w = Rec(h);
    return w ? w->Style : 0;
}
uint32_t GetWindowExStyle(HWND h) {
    ws::WindowRec* w = Rec(h);
    return w ? w->ExStyle : 0;
}
uint32_t GetClassStyle(HWND h) {
    ws::WindowRec* w = Rec(h);
    return w ? w->ClassStyle : 0;
}

bool SetWindowPos(HWND h, HWND insertAfter, int x, int y, int cx, int cy, UINT flags) {
    ws::WindowRec* w = Rec(h);
    if (!w) return false;
    TWinControl* c = w->Control;
    if (!(flags & SWP_NOZORDER)) {
        if (insertAfter == HWND_TOPMOST) w->ExStyle |= WS_EX_TOPMOST;
        if (insertAfter == HWND_NOTOPMOST) w->ExStyle &= ~WS_EX_TOPMOST;
        if (!w->Parent) {
            if (insertAfter == HWND_BOTTOM)
                ws::SendTopLevelToBack(h);
            else
                ws::BringTopLevelToFront(h);
        } else if (c->GetParent()) {
            if (insertAfter == HWND_BOTTOM)
                c->SendToBack();
            else
                c->BringToFront();
        }
    }
    if (!(flags & SWP_NOMOVE) || !(flags & SWP_NOSIZE)) {
        int nx = flags & SWP_NOMOVE ? c->GetLeft() : x;
        int ny = flags & SWP_NOMOVE ? c->GetTop() : y;
        int nw = flags & SWP_NOSIZE ? c->GetWidth() : cx;
        int nh = flags & SWP_NOSIZE ? c->GetHeight() : cy;
        c->SetBounds(nx, ny, nw, nh);
    }
    if (flags & SWP_SHOWWINDOW) {
        c->Perform(WM_SHOWWINDOW, 1, 0);
        if (!w->Parent && !(flags & SWP_NOACTIVATE) && IsWindowEnabled(h)) SetActiveWindow(h);
    }
    if (flags & SWP_HIDEWINDOW) c->Perform(WM_SHOWWINDOW, 0, 0);
    if (flags & SWP_FRAMECHANGED) {
        // The frame changed (style, scroll bars): new insets, and WM_SIZE when the client
        // area changed with them.
        TRect before = c->GetClientRect();
        c->Perform(WM_NCCALCSIZE);
        InvalidateRect(h, nullptr, true);
        TRect after = c->GetClientRect();
        if (after != before) {
            c->Perform(WM_SIZE, SIZE_RESTORED, MakeLParam(after.Width(), after.Height()));
        }
    }
    return true;
}

bool GetWindowRect(HWND h, TRect& r) {
    TWinControl* c = FindControl(h);
    if (!c) return false;
    TPoint o = c->GetClientOrigin();
    TRect nc = c->NonClientInsets();
    r = Bounds(o.X - nc.Left, o.Y - nc.Top, c->GetWidth(), c->GetHeight());
    return true;
}

bool GetClientRect(HWND h, TRect& r) {
    TWinControl* c = FindControl(h);
    if (!c) return false;
    r = c->GetClientRect();
    return true;
}

bool ClientToScreen(HWND h, TPoint& p) {
    TWinControl* c = FindControl(h);
    if (!c) return false;
    p = c->ClientToScreen(p);
    return true;
}

bool ScreenToClient(HWND h, TPoint& p) {
    TWinControl* c = FindControl(h);
    if (!c) return false;
    p = c->ScreenToClient(p);
    return true;
}

std::vector<HWND> TopLevelWindows() { return R().topLevel; }

std::vector<HWND> ChildWindows(HWND h) {
    std::vector<HWND> out;
    TWinControl* c = FindControl(h);
    if (!c) return out;
    for (TControl* child : c->ControlList())
        if (auto* wc = dynamic_cast<TWinControl*>(child))
            if (wc->HandleAllocated() && GetParent(wc->GetHandle()) == h) out.push_back(wc->GetHandle());
    return out;
}

HWND WindowFromPoint(TPoint screen) {
    TControl* c = vcl::FindDragTarget(screen, true);
    while (c && !dynamic_cast<TWinControl*>(c)) c = c->GetParent();
    auto* wc = dynamic_cast<TWinControl*>(c);
    return wc && wc->HandleAllocated() ? wc->GetHandle() : 0;
}

HWND GetFocus() { return R().focus; }

HWND SetFocus(HWND h) {
    HWND first = R().focus;
    if (h == first) return first;
    if (h && (!Rec(h) || !IsWindowEnabled(h))) return first;
    for (int guard = 0; guard < 8; ++guard) {
        HWND old = R().focus;
        if (h == old) return first;
        if (old && Rec(old)) SendMessage(old, WM_KILLFOCUS, h, 0);
        if (R().focus != old) continue;  // the kill-focus handler moved the focus itself
        R().focus = h;
        if (h) SendMessage(h, WM_SETFOCUS, old, 0);
        break;
    }
    return first;
}

HWND GetCapture() { return R().capture; }

HWND SetCapture(HWND h) {
    HWND old = R().capture;
    if (h && !Rec(h)) return old;
    R().capture = h;
    ws::Input().CaptureControl = h ? FindControl(h) : nullptr;
    return old;
}

bool ReleaseCapture() {
    HWND old = R().capture;
    R().capture = 0;
    ws::Input().CaptureControl = nullptr;
    if (old && Rec(old)) SendMessage(old, WM_CAPTURECHANGED, 0, 0);
    return true;
}

HWND GetActiveWindow() { return R().active; }

HWND SetActiveWindow(HWND h) {
    HWND old = R().active;
    if (h && (!Rec(h) || GetParent(h))) return old;
    if (h) ws::BringTopLevelToFront(h);
    if (h == old) return old;
    R().active = h;
    if (old && Rec(old)) SendMessage(old, WM_ACTIVATE, WA_INACTIVE, LPARAM(h));
    if (h && R().active == h) SendMessage(h, WM_ACTIVATE, WA_ACTIVE, LPARAM(old));
    return old;
}

int16_t GetKeyState(int vk) {
    if (vk < 0 || vk > 255) return 0;
    return ws::Input().KeyDown[vk] ? int16_t(0x8000) : 0;
}

void SetKeyDown(int vk, bool down) {
    if (vk >= 0 && vk <= 255) ws::Input().KeyDown[vk] = down;
}

TPoint GetCursorPos() { return ws::Input().CursorPos; }

bool InvalidateRect(HWND h, const TRect* r, bool) {
    ws::WindowRec* w = Rec(h);
    if (!w) return false;
    TWinControl* c = w->Control;
    TRect nc = c->NonClientInsets();
    // Without a rectangle the whole window (its frame included) is invalid.
    TRect full = Rect(-nc.Left, -nc.Top, c->GetWidth() - nc.Left, c->GetHeight() - nc.Top);
    TRect x = r ? *r : full;
    if (!IntersectRect(x, x, full)) return true;
    for (const TRect& u : w->Update) {
        TRect i;
        if (IntersectRect(i, u, x) && i == x) return true;  // already covered
    }
    w->Update.push_back(x);
    return true;
}

bool ValidateRect(HWND h, const TRect* r) {
    ws::WindowRec* w = Rec(h);
    if (!w) return false;
    if (!r)
        w->Update.clear();
    else
        ws::SubtractRect(w->Update, *r);
    return true;
}

bool GetUpdateRect(HWND h, TRect& r) {
    ws::WindowRec* w = Rec(h);
    r = TRect{};
    if (!w || w->Update.empty()) return false;
    r = ws::BoundingBox(w->Update);
    return !IsRectEmpty(r);
}

std::vector<TRect> GetUpdateRegion(HWND h) {
    ws::WindowRec* w = Rec(h);
    return w ? w->Update : std::vector<TRect>{};
}

bool UpdateWindow(HWND h) {
    ws::WindowRec* w = Rec(h);
    if (!w) return false;
    ws::PaintDirtyTree(w->Control);
    return true;
}

bool ScrollWindow(HWND h, int dx, int dy, const TRect* rect, const TRect* clip) {
    ws::WindowRec* w = Rec(h);
    if (!w) return false;
    TWinControl* c = w->Control;
    TRect client = c->GetClientRect();
    TRect src = rect ? *rect : client;
    TRect cl = clip ? *clip : client;
    IntersectRect(cl, cl, client);
    TRect moved = src;
    OffsetRect(moved, dx, dy);
    TRect dest;
    IntersectRect(dest, moved, cl);
    // Move the pixels that stay visible, when the window is painted on a surface.
    if (c->IsShowing()) {
        if (TBitmap* surf = ws::SurfaceOf(ws::TopLevelOf(h))) {
            TRect vis = ws::VisibleClientRect(c);
            TRect d;
            if (IntersectRect(d, dest, vis)) {
                TPoint off = ws::SurfaceOffset(c);
                int stride = surf->StrideBytes() / 4;
                uint32_t* px = surf->ScanLine(0);
                int w0 = d.Width();
                std::vector<uint32_t> tmp(size_t(w0) * size_t(d.Height()));
                for (int y = d.Top; y < d.Bottom; ++y) {
                    int sy = y - dy + off.Y, sx = d.Left - dx + off.X;
                    for (int x = 0; x < w0; ++x) {
                        int xx = sx + x;
                        uint32_t v = 0;
                        if (sy >= 0 && sy < surf->GetHeight() && xx >= 0 && xx < surf->GetWidth())
                            v = px[size_t(sy) * size_t(stride) + size_t(xx)];
                        tmp[size_t(y - d.Top) * size_t(w0) + size_t(x)] = v;
                    }
                }
                for (int y = d.Top; y < d.Bottom; ++y)
                    for (int x = 0; x < w0; ++x)
                        px[size_t(y + off.Y) * size_t(stride) + size_t(d.Left + x + off.X)] =
                            tmp[size_t(y - d.Top) * size_t(w0) + size_t(x)];
            }
        }
    }
    // Invalid areas move with the contents.
    for (TRect& u : w->Update) OffsetRect(u, dx, dy);
    // What the move uncovered inside the clip is invalid.
    std::vector<TRect> uncovered{cl};
    ws::SubtractRect(uncovered, dest);
    TRect srcClip;
    if (IntersectRect(srcClip, src, cl)) {
        std::vector<TRect> srcPart{srcClip};
        ws::SubtractRect(srcPart, dest);
        for (const TRect& r : srcPart) InvalidateRect(h, &r, true);
    }
    // Child windows move along when the whole client area scrolls.
    if (!rect) {
        for (TControl* child : c->ControlList()) {
            child->SetBounds(child->GetLeft() + dx, child->GetTop() + dy, child->GetWidth(),
                             child->GetHeight());
        }
    }
    return true;
}

// ---- scroll bars ----
static ws::ScrollBarState* Bar(HWND h, int bar) {
    ws::WindowRec* w = Rec(h);
    if (!w || (bar != SB_HORZ && bar != SB_VERT && !(bar == SB_CTL && w->BarControl))) return nullptr;
    return &w->Bars[bar];
}

// A bar that shows or hides changes the frame: the insets, the client area and all pixels.
static void BarShownChanged(HWND h) {
    SetWindowPos(h, 0, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
}

// Repaints the bar alone: the client area keeps what it has (a scroll that moved the pixels
// with ScrollWindow only repaints the uncovered strip).
static void RedrawBar(HWND h, int bar, ws::ScrollBarState* b) {
    ++b->Redraws;
    if (b->Shown) ws::InvalidateScrollBar(h, bar);
}

bool SetScrollRange(HWND h, int bar, int min, int max, bool redraw) {
    ws::ScrollBarState* b = Bar(h, bar);
    if (!b) return false;
    b->Min = min;
    b->Max = max;
    b->Pos = std::clamp(b->Pos, std::min(min, max), std::max(min, max));
    bool show = min != max || bar == SB_CTL;  // a scroll-bar control's bar always shows
    if (show != b->Shown) {
        b->Shown = show;
        BarShownChanged(h);
    }
    if (redraw) RedrawBar(h, bar, b);
    return true;
}

bool GetScrollRange(HWND h, int bar, int& min, int& max) {
    ws::ScrollBarState* b = Bar(h, bar);
    if (!b) {
        min = max = 0;
        return false;
    }
    min = b->Min;
    max = b->Max;
    return true;
}

int SetScrollPos(HWND h, int bar, int pos, bool redraw) {
    ws::ScrollBarState* b = Bar(h, bar);
    if (!b) return 0;
    int old = b->Pos;
    b->Pos = std::clamp(pos, std::min(b->Min, b->Max), std::max(b->Min, b->Max));
    if (redraw) RedrawBar(h, bar, b);
    return old;
}

int GetScrollPos(HWND h, int bar) {
    ws::ScrollBarState* b = Bar(h, bar);
    return b ? b->Pos : 0;
}

bool ShowScrollBar(HWND h, int bar, bool show) {
    if (bar == SB_BOTH) return ShowScrollBar(h, SB_HORZ, show) && ShowScrollBar(h, SB_VERT, show);
    ws::ScrollBarState* b = Bar(h, bar);
    if (!b) return false;
    if (bar == SB_CTL) return true;  // the control shows or hides as a window
    if (b->Shown != show) {
        b->Shown = show;
        BarShownChanged(h);
    }
    return true;
}

bool IsScrollBarShown(HWND h, int bar) {
    ws::ScrollBarState* b = Bar(h, bar);
    return b && b->Shown;
}

bool GetScrollInfo(HWND h, int bar, SCROLLINFO& si) {
    ws::ScrollBarState* b = Bar(h, bar);
    if (!b) return false;
    si.nMin = b->Min;
    si.nMax = b->Max;
    si.nPos = b->Pos;
    si.nPage = b->Page;
    si.nTrackPos = b->Tracking ? b->TrackPos : b->Pos;
    return true;
}

int ScrollBarRedrawCount(HWND h, int bar) {
    ws::ScrollBarState* b = Bar(h, bar);
    return b ? b->Redraws : 0;
}

// ---- timers ----
namespace {
struct Timer {
    HWND h;
    UINT id;
    UINT elapse;
    uint32_t due;
    TIMERPROC proc;
    uint64_t serial;
};
std::vector<Timer>& Timers() {
    static std::vector<Timer> t;
    return t;
}
uint64_t& TimerSerial() {
    static uint64_t s = 0;
    return s;
}
bool& InTimerHook() {
    static bool b = false;
    return b;
}
void EnsureClockHook() {
    static bool installed = false;
    if (installed) return;
    installed = true;
    vcl::SetClockAdvanceHook([] {
        if (InTimerHook()) return;
        InTimerHook() = true;
        try {
            FireDueTimers();
        } catch (...) {
            InTimerHook() = false;
            throw;
        }
        InTimerHook() = false;
    });
}
}  // namespace

UINT SetTimer(HWND h, UINT id, UINT elapseMs, TIMERPROC proc) {
    EnsureClockHook();
    auto& t = Timers();
    if (!h && !id) {
        UINT next = 1;
        for (const Timer& x : t)
            if (!x.h && x.id >= next) next = x.id + 1;
        id = next;
    }
    if (elapseMs == 0) elapseMs = 1;
    for (Timer& x : t)
        if (x.h == h && x.id == id) {
            x.elapse = elapseMs;
            x.due = vcl::GetTickCount() + elapseMs;
            x.proc = std::move(proc);
            x.serial = ++TimerSerial();
            return id;
        }
    t.push_back({h, id, elapseMs, vcl::GetTickCount() + elapseMs, std::move(proc), ++TimerSerial()});
    return id;
}

bool KillTimer(HWND h, UINT id) {
    auto& t = Timers();
    for (auto it = t.begin(); it != t.end(); ++it)
        if (it->h == h && it->id == id) {
            t.erase(it);
            return true;
        }
    return false;
}

int FireDueTimers() {
    uint32_t now = vcl::GetTickCount();
    std::vector<std::pair<HWND, UINT>> due;
    std::vector<uint64_t> serials;
    for (Timer& x : Timers())
        if (int32_t(now - x.due) >= 0) {
            due.push_back({x.h, x.id});
            serials.push_back(x.serial);
        }
    int fired = 0;
    for (size_t i = 0; i < due.size(); ++i) {
        // The timer may have been killed or reset by an earlier handler.
        Timer* t = nullptr;
        for (Timer& x : Timers())
            if (x.h == due[i].first && x.id == due[i].second && x.serial == serials[i]) t = &x;
        if (!t) continue;
        t->due = now + t->elapse;
        ++fired;
        if (t->proc) {
            TIMERPROC p = t->proc;
            p(due[i].first, due[i].second);
        } else if (due[i].first) {
            PostMessage(due[i].first, WM_TIMER, due[i].second, 0);
        }
    }
    return fired;
}

int NextTimerDueIn() {
    uint32_t now = vcl::GetTickCount();
    int best = -1;
    for (const Timer& x : Timers()) {
        int d = std::max(0, int(int32_t(x.due - now)));
        if (best < 0 || d < best) best = d;
    }
    return best;
}

// ---- system settings ----
namespace {
int* Metrics() {
    static int m[SM_COUNT];
    static bool init = false;
    if (!init) {
        init = true;
        m[SM_CXSCREEN] = 1024;
        m[SM_CYSCREEN] = 768;
        m[SM_CXVSCROLL] = 16;
        m[SM_CYHSCROLL] = 16;
        m[SM_CYVSCROLL] = 16;
        m[SM_CXHSCROLL] = 16;
        m[SM_CYVTHUMB] = 16;
        m[SM_CXHTHUMB] = 16;
        m[SM_CYCAPTION] = 19;
        m[SM_CYSMCAPTION] = 15;
        m[SM_CXBORDER] = 1;
        m[SM_CYBORDER] = 1;
        m[SM_CXDLGFRAME] = 3;
        m[SM_CYDLGFRAME] = 3;
        m[SM_CXFRAME] = 4;
        m[SM_CYFRAME] = 4;
        m[SM_CXEDGE] = 2;
        m[SM_CYEDGE] = 2;
        m[SM_CYMENU] = 19;
        m[SM_CXMIN] = 112;
        m[SM_CYMIN] = 27;
        m[SM_CXDOUBLECLK] = 4;
        m[SM_CYDOUBLECLK] = 4;
        m[SM_CXDRAG] = 4;
        m[SM_CYDRAG] = 4;
    }
    return m;
}
uint32_t& DoubleClickTime() {
    static uint32_t t = 500;
    return t;
}
int& Beeps() {
    static int b = 0;
    return b;
}
}  // namespace

int GetSystemMetrics(int index) {
    if (index < 0 || index >= SM_COUNT) return 0;
    return Metrics()[index];
}
void SetSystemMetrics(int index, int value) {
    if (index >= 0 && index < SM_COUNT) Metrics()[index] = value;
}
uint32_t GetDoubleClickTime() { return DoubleClickTime(); }
void SetDoubleClickTime(uint32_t ms) { DoubleClickTime() = ms ? ms : 500; }
void MessageBeep(uint32_t type) {
    ++Beeps();
    // The newest beeps only, for a program that runs long.
    std::vector<uint32_t>& log = vcl::ws::BeepLog();
    if (log.size() >= 4096) log.erase(log.begin(), log.begin() + 2048);
    log.push_back(type);
}
int BeepCount() { return Beeps(); }

}  // namespace win
