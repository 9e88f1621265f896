// Internals of the window system shared by the controls sources. Not for other areas.
#pragma once
#include <deque>
#include <unordered_map>
#include <vector>

#include "controls/controls.h"
#include "controls/messages.h"

namespace vcl::ws {

struct ScrollBarState {
    int Min = 0, Max = 0, Pos = 0, Page = 0;
    bool Shown = false;
    int Redraws = 0;
    // While the thumb is dragged it is drawn at TrackPos (GetScrollInfo's nTrackPos).
    bool Tracking = false;
    int TrackPos = 0;
};

struct WindowRec {
    win::HWND Handle = 0;
    TWinControl* Control = nullptr;
    win::HWND Parent = 0;  // window parent; 0 for a top-level window
    uint32_t Style = 0, ExStyle = 0, ClassStyle = 0;
    bool Enabled = true;
    // SB_HORZ and SB_VERT: the window's bars; SB_CTL: the bar of a scroll-bar control (window
    // class "SCROLLBAR"), which is its whole client area.
    ScrollBarState Bars[3];
    bool BarControl = false;
    std::vector<TRect> Update;  // invalid client area
    TBitmap* Surface = nullptr;  // top-level windows: the backing bitmap
};

WindowRec* Rec(win::HWND h);
win::HWND Register(TWinControl* c, const TCreateParams& p, win::HWND parent);
void Unregister(win::HWND h);
// Keeps the top-level list in step: adds/removes the window, brings it to the front.
void SetTopLevel(win::HWND h, bool topLevel);
void BringTopLevelToFront(win::HWND h);
void SendTopLevelToBack(win::HWND h);
const std::vector<win::HWND>& TopLevelOrder();
// The top-level window a window belongs to (itself when top-level).
win::HWND TopLevelOf(win::HWND h);
// Where client (0, 0) of window h lies in its top-level window's surface.
TPoint SurfaceOffset(TWinControl* c);
// The part of window h's client area that can be seen, in its client coordinates.
TRect VisibleClientRect(TWinControl* c);
// The backing bitmap of a top-level window, sized to the window (null when not shown).
TBitmap* SurfaceOf(win::HWND topLevel);

// ---- window scroll bars ----
// Where the parts of a window scroll bar lie, in window coordinates ((0, 0) = the window's
// top-left corner). Painting, hit-testing and redrawing all use this one layout.
struct ScrollBarLayout {
    bool Shown = false, Vertical = false;
    TRect Bar, LineUp, LineDown;  // LineUp is the up or left arrow
    TRect Thumb;                  // empty when the bar has no room or no range for one
    int TrackStart = 0, TrackEnd = 0, ThumbLength = 0;  // along the bar
};
ScrollBarLayout LayoutScrollBar(TWinControl* c, int bar);
// Where along the bar the thumb starts for pos, and the position whose thumb starts at
// thumbStart (clamped to the range); the two agree both ways.
int ThumbStartForPos(TWinControl* c, int bar, int pos);
int ScrollPosFromThumb(TWinControl* c, int bar, int thumbStart);
// The part of c's scroll bars at a window point, as the scroll code a press there sends
// (SB_LINEUP, SB_LINEDOWN, SB_PAGEUP, SB_PAGEDOWN, SB_THUMBTRACK for the thumb); -1 when
// none. bar receives SB_VERT or SB_HORZ.
int ScrollBarPartAt(TWinControl* c, TPoint windowPoint, int& bar);
// Paints the shown window bars of c (canvas (0, 0) = the window's top-left corner).
void PaintScrollBars(TWinControl* c, TCanvas* canvas);
// Paints one bar (SB_CTL: a scroll-bar control's own bar) the same way.
void PaintScrollBar(TWinControl* c, TCanvas* canvas, int bar);
// Whether h is a scroll-bar control (its client area is an SB_CTL bar).
bool IsBarControl(win::HWND h);
// Invalidates the bar's rectangle only (non-client; the client area stays valid).
void InvalidateScrollBar(win::HWND h, int bar);

// Paints every window with an invalid area (parents before children).
void PaintDirty();
// Paints window c over r (client coordinates) and the children above it; validates.
void PaintTree(TWinControl* c, const TRect& r, TCanvasLog* log = nullptr,
               TControl* logOnly = nullptr);
bool AnyDirty();
// Fills a client rectangle of the paint target with a colour (background erase).
void EraseBackground(HDC dc, const TRect& clientRect, TColor color);

// The type of every MessageBeep, in order (the test record).
std::vector<uint32_t>& BeepLog();

// Puts a message at the head of the queue (a translated character comes next).
void PushFront(const win::MSG& m);

// Mouse and keyboard state of the input router.
struct InputState {
    TPoint CursorPos{-1, -1};
    TControl* MouseControl = nullptr;
    TControl* CaptureControl = nullptr;
    bool KeyDown[256] = {};
    // double-click detection
    uint32_t LastDownTime = 0;
    TPoint LastDownPos;
    int LastDownButton = -1;
    TControl* LastDownControl = nullptr;
    bool LastWasDouble = false;
    TCursor CurrentCursor = crDefault;
    // A left button held on a window scroll bar: the bar takes the mouse until released.
    struct ScrollTrack {
        TWinControl* Control = nullptr;  // null: no bar is held
        win::HWND Handle = 0;            // its window when pressed
        int Bar = 0;
        int Part = 0;       // the scroll code of the part pressed
        int ThumbGrab = 0;  // pointer's distance from the thumb's start, along the bar
        win::UINT Timer = 0;
    } Scroll;
};
InputState& Input();

// Called when a control goes away: the input state and the hint forget it.
void ForgetControl(TControl* c);
// Drag state.
struct DragState {
    TControl* Source = nullptr;
    TObject* DragObject = nullptr;
    TControl* Target = nullptr;
    bool Accepted = false;
    bool Started = false;  // past the threshold
    TPoint StartPos;
    int Threshold = 5;
};
DragState& Drag();
void DragMove(TPoint screen);
void DragFinish(bool drop, TPoint screen);
TCursor CursorForPoint(TPoint screen);
void ApplyCursor(TCursor c);

}  // namespace vcl::ws
