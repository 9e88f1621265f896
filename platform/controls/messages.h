// Messages, window handles and the operating-system-style window calls.
// Window handles are 32-bit ids registered with the window system, never pointers.
#pragma once
#include <cstdint>
#include <functional>
#include <vector>

#include "graphics/types.h"

namespace vcl {
class TWinControl;
}

namespace win {

using HWND = uint32_t;
using WPARAM = uintptr_t;
using LPARAM = intptr_t;
using LRESULT = intptr_t;
using UINT = uint32_t;
using vcl::TPoint;
using vcl::TRect;

// ---- window messages (the platform's numbers) ----
constexpr UINT WM_NULL = 0x0000, WM_CREATE = 0x0001, WM_DESTROY = 0x0002, WM_MOVE = 0x0003,
               WM_SIZE = 0x0005, WM_ACTIVATE = 0x0006, WM_SETFOCUS = 0x0007,
               WM_KILLFOCUS = 0x0008, WM_ENABLE = 0x000A, WM_SETREDRAW = 0x000B,
               WM_SETTEXT = 0x000C, WM_GETTEXT = 0x000D, WM_GETTEXTLENGTH = 0x000E,
               WM_PAINT = 0x000F, WM_CLOSE = 0x0010, WM_QUIT = 0x0012,
               WM_ERASEBKGND = 0x0014, WM_SHOWWINDOW = 0x0018, WM_CANCELMODE = 0x001F,
               WM_SETCURSOR = 0x0020, WM_MOUSEACTIVATE = 0x0021, WM_GETMINMAXINFO = 0x0024,
               WM_WINDOWPOSCHANGING = 0x0046, WM_WINDOWPOSCHANGED = 0x0047,
               WM_NCCALCSIZE = 0x0083, WM_NCHITTEST = 0x0084, WM_NCPAINT = 0x0085, WM_GETDLGCODE = 0x0087,
               WM_KEYFIRST = 0x0100, WM_KEYDOWN = 0x0100, WM_KEYUP = 0x0101, WM_CHAR = 0x0102,
               WM_SYSKEYDOWN = 0x0104, WM_SYSKEYUP = 0x0105, WM_SYSCHAR = 0x0106,
               WM_KEYLAST = 0x0108, WM_COMMAND = 0x0111, WM_SYSCOMMAND = 0x0112,
               WM_TIMER = 0x0113, WM_HSCROLL = 0x0114, WM_VSCROLL = 0x0115,
               WM_MOUSEFIRST = 0x0200, WM_MOUSEMOVE = 0x0200, WM_LBUTTONDOWN = 0x0201,
               WM_LBUTTONUP = 0x0202, WM_LBUTTONDBLCLK = 0x0203, WM_RBUTTONDOWN = 0x0204,
               WM_RBUTTONUP = 0x0205, WM_RBUTTONDBLCLK = 0x0206, WM_MBUTTONDOWN = 0x0207,
               WM_MBUTTONUP = 0x0208, WM_MBUTTONDBLCLK = 0x0209, WM_MOUSEWHEEL = 0x020A,
               WM_MOUSELAST = 0x020A, WM_CAPTURECHANGED = 0x0215, WM_CUT = 0x0300,
               WM_COPY = 0x0301, WM_PASTE = 0x0302, WM_CLEAR = 0x0303, WM_UNDO = 0x0304,
               WM_USER = 0x0400;

// ---- component messages (this platform's own numbers) ----
constexpr UINT CM_BASE = 0xB000;
constexpr UINT CM_ACTIVATE = CM_BASE + 0, CM_DEACTIVATE = CM_BASE + 1,
               CM_CANCELMODE = CM_BASE + 4, CM_DIALOGKEY = CM_BASE + 5,
               CM_DIALOGCHAR = CM_BASE + 6, CM_FOCUSCHANGED = CM_BASE + 7,
               CM_PARENTFONTCHANGED = CM_BASE + 8, CM_PARENTCOLORCHANGED = CM_BASE + 9,
               CM_HITTEST = CM_BASE + 10, CM_VISIBLECHANGED = CM_BASE + 11,
               CM_ENABLEDCHANGED = CM_BASE + 12, CM_COLORCHANGED = CM_BASE + 13,
               CM_FONTCHANGED = CM_BASE + 14, CM_CURSORCHANGED = CM_BASE + 15,
               CM_CTL3DCHANGED = CM_BASE + 16,
               CM_TEXTCHANGED = CM_BASE + 18, CM_MOUSEENTER = CM_BASE + 19,
               CM_MOUSELEAVE = CM_BASE + 20, CM_SHOWINGCHANGED = CM_BASE + 25,
               CM_ENTER = CM_BASE + 26, CM_EXIT = CM_BASE + 27,
               CM_WANTSPECIALKEY = CM_BASE + 30, CM_RELEASE = CM_BASE + 33,
               CM_SHOWHINTCHANGED = CM_BASE + 34, CM_PARENTSHOWHINTCHANGED = CM_BASE + 35,
               CM_TABSTOPCHANGED = CM_BASE + 40, CM_CONTROLLISTCHANGE = CM_BASE + 44,
               CM_GETDATALINK = CM_BASE + 45, CM_CHILDKEY = CM_BASE + 46,
               CM_DRAG = CM_BASE + 47, CM_HINTSHOW = CM_BASE + 48,
               CM_RECREATEWND = CM_BASE + 51, CM_INVALIDATE = CM_BASE + 52,
               CM_CONTROLCHANGE = CM_BASE + 54, CM_BORDERCHANGED = CM_BASE + 59;
// Notifications the control receives about its own key messages before dispatch.
constexpr UINT CN_BASE = 0xBC00;
constexpr UINT CN_KEYDOWN = CN_BASE + WM_KEYDOWN, CN_KEYUP = CN_BASE + WM_KEYUP,
               CN_CHAR = CN_BASE + WM_CHAR, CN_SYSKEYDOWN = CN_BASE + WM_SYSKEYDOWN,
               CN_SYSCHAR = CN_BASE + WM_SYSCHAR;

// ---- keys ----
constexpr uint16_t VK_LBUTTON = 1, VK_RBUTTON = 2, VK_CANCEL = 3, VK_MBUTTON = 4, VK_BACK = 8,
                   VK_TAB = 9, VK_CLEAR = 12, VK_RETURN = 13, VK_SHIFT = 16, VK_CONTROL = 17,
                   VK_MENU = 18, VK_PAUSE = 19, VK_CAPITAL = 20, VK_ESCAPE = 27,
                   VK_SPACE = 32, VK_PRIOR = 33, VK_NEXT = 34, VK_END = 35, VK_HOME = 36,
                   VK_LEFT = 37, VK_UP = 38, VK_RIGHT = 39, VK_DOWN = 40, VK_SELECT = 41,
                   VK_PRINT = 42, VK_EXECUTE = 43, VK_SNAPSHOT = 44, VK_INSERT = 45,
                   VK_DELETE = 46, VK_HELP = 47, VK_NUMPAD0 = 96, VK_NUMPAD9 = 105,
                   VK_MULTIPLY = 106, VK_ADD = 107, VK_SEPARATOR = 108, VK_SUBTRACT = 109,
                   VK_DECIMAL = 110, VK_DIVIDE = 111, VK_F1 = 112, VK_F2 = 113, VK_F3 = 114,
                   VK_F4 = 115, VK_F5 = 116, VK_F6 = 117, VK_F7 = 118, VK_F8 = 119,
                   VK_F9 = 120, VK_F10 = 121, VK_F11 = 122, VK_F12 = 123, VK_NUMLOCK = 144,
                   VK_SCROLL = 145;
// Letters and digits are their upper-case ASCII codes ('A' = 65, '0' = 48).

// ---- dialog codes ----
constexpr LRESULT DLGC_WANTARROWS = 0x0001, DLGC_WANTTAB = 0x0002, DLGC_WANTALLKEYS = 0x0004,
                  DLGC_WANTMESSAGE = 0x0004, DLGC_HASSETSEL = 0x0008,
                  DLGC_DEFPUSHBUTTON = 0x0010, DLGC_UNDEFPUSHBUTTON = 0x0020,
                  DLGC_RADIOBUTTON = 0x0040, DLGC_WANTCHARS = 0x0080, DLGC_STATIC = 0x0100,
                  DLGC_BUTTON = 0x2000;

// ---- scroll bars ----
constexpr int SB_HORZ = 0, SB_VERT = 1, SB_CTL = 2, SB_BOTH = 3;
// Styles of a scroll-bar control (window class "SCROLLBAR"): its bar lies across or along.
constexpr uint32_t SBS_HORZ = 0, SBS_VERT = 1;
constexpr int SB_LINEUP = 0, SB_LINELEFT = 0, SB_LINEDOWN = 1, SB_LINERIGHT = 1,
              SB_PAGEUP = 2, SB_PAGELEFT = 2, SB_PAGEDOWN = 3, SB_PAGERIGHT = 3,
              SB_THUMBPOSITION = 4, SB_THUMBTRACK = 5, SB_TOP = 6, SB_LEFT = 6,
              SB_BOTTOM = 7, SB_RIGHT = 7, SB_ENDSCROLL = 8;

// ---- window styles (recorded; the ones that change geometry are honoured) ----
constexpr uint32_t WS_OVERLAPPED = 0, WS_POPUP = 0x80000000u, WS_CHILD = 0x40000000u,
                   WS_MINIMIZE = 0x20000000u, WS_VISIBLE = 0x10000000u,
                   WS_DISABLED = 0x08000000u, WS_CLIPSIBLINGS = 0x04000000u,
                   WS_CLIPCHILDREN = 0x02000000u, WS_MAXIMIZE = 0x01000000u,
                   WS_CAPTION = 0x00C00000u, WS_BORDER = 0x00800000u,
                   WS_DLGFRAME = 0x00400000u, WS_VSCROLL = 0x00200000u,
                   WS_HSCROLL = 0x00100000u, WS_SYSMENU = 0x00080000u,
                   WS_THICKFRAME = 0x00040000u, WS_GROUP = 0x00020000u,
                   WS_TABSTOP = 0x00010000u, WS_MINIMIZEBOX = 0x00020000u,
                   WS_MAXIMIZEBOX = 0x00010000u;
constexpr uint32_t WS_EX_DLGMODALFRAME = 0x1, WS_EX_TOPMOST = 0x8, WS_EX_TRANSPARENT = 0x20,
                   WS_EX_TOOLWINDOW = 0x80, WS_EX_WINDOWEDGE = 0x100,
                   WS_EX_CLIENTEDGE = 0x200, WS_EX_APPWINDOW = 0x40000;
constexpr uint32_t CS_VREDRAW = 0x1, CS_HREDRAW = 0x2, CS_DBLCLKS = 0x8, CS_SAVEBITS = 0x800;

// ---- mouse key flags in WParam of mouse messages ----
constexpr WPARAM MK_LBUTTON = 0x1, MK_RBUTTON = 0x2, MK_SHIFT = 0x4, MK_CONTROL = 0x8,
                 MK_MBUTTON = 0x10;
constexpr LRESULT HTNOWHERE = 0, HTCLIENT = 1, HTERROR = -2;

// ---- PeekMessage, ShowWindow, SetWindowPos ----
constexpr UINT PM_NOREMOVE = 0, PM_REMOVE = 1;
constexpr int SW_HIDE = 0, SW_SHOWNORMAL = 1, SW_SHOWNOACTIVATE = 4, SW_SHOW = 5,
              SW_SHOWNA = 8;
constexpr UINT SWP_NOSIZE = 0x1, SWP_NOMOVE = 0x2, SWP_NOZORDER = 0x4, SWP_NOREDRAW = 0x8,
               SWP_NOACTIVATE = 0x10, SWP_FRAMECHANGED = 0x20, SWP_SHOWWINDOW = 0x40,
               SWP_HIDEWINDOW = 0x80, SWP_NOOWNERZORDER = 0x200;
constexpr HWND HWND_TOP = 0, HWND_BOTTOM = 1, HWND_TOPMOST = 0xFFFFFFFFu,
               HWND_NOTOPMOST = 0xFFFFFFFEu;
constexpr WPARAM WA_INACTIVE = 0, WA_ACTIVE = 1, WA_CLICKACTIVE = 2;
constexpr WPARAM SIZE_RESTORED = 0;

// ---- system metrics ----
constexpr int SM_CXSCREEN = 0, SM_CYSCREEN = 1, SM_CXVSCROLL = 2, SM_CYHSCROLL = 3,
              SM_CYCAPTION = 4, SM_CXBORDER = 5, SM_CYBORDER = 6, SM_CXDLGFRAME = 7,
              SM_CYDLGFRAME = 8, SM_CYVTHUMB = 9, SM_CXHTHUMB = 10, SM_CYMENU = 15,
              SM_CYVSCROLL = 20, SM_CXHSCROLL = 21, SM_CXMIN = 28, SM_CYMIN = 29,
              SM_CXFRAME = 32, SM_CYFRAME = 33, SM_CXDOUBLECLK = 36, SM_CYDOUBLECLK = 37,
              SM_CXEDGE = 45, SM_CYEDGE = 46, SM_CYSMCAPTION = 51, SM_CXDRAG = 68,
              SM_CYDRAG = 69, SM_COUNT = 70;

// A message as a window procedure receives it.
struct TMessage {
    UINT Msg = 0;
    WPARAM WParam = 0;
    LPARAM LParam = 0;
    LRESULT Result = 0;
};

// A queued message (PeekMessage / GetMessage).
struct MSG {
    HWND hwnd = 0;
    UINT message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
    uint32_t time = 0;
    TPoint pt;
};

struct MINMAXINFO {
    TPoint ptReserved, ptMaxSize, ptMaxPosition, ptMinTrackSize, ptMaxTrackSize;
};

struct SCROLLINFO {
    int nMin = 0, nMax = 0, nPage = 0, nPos = 0, nTrackPos = 0;
};

// Packing of mouse coordinates in LParam (signed 16 bits each, as the platform does).
constexpr LPARAM MakeLParam(int lo, int hi) {
    return LPARAM(uint32_t(uint16_t(int16_t(lo))) | (uint32_t(uint16_t(int16_t(hi))) << 16));
}
constexpr int LoWordSigned(LPARAM l) { return int16_t(uint16_t(uint32_t(l) & 0xFFFF)); }
constexpr int HiWordSigned(LPARAM l) { return int16_t(uint16_t((uint32_t(l) >> 16) & 0xFFFF)); }
constexpr uint16_t LoWord(uintptr_t v) { return uint16_t(v & 0xFFFF); }
constexpr uint16_t HiWord(uintptr_t v) { return uint16_t((v >> 16) & 0xFFFF); }
constexpr TPoint PointFromLParam(LPARAM l) { return {LoWordSigned(l), HiWordSigned(l)}; }
constexpr LPARAM PointToLParam(TPoint p) { return MakeLParam(p.X, p.Y); }
// Two 16-bit words in a WPARAM (codes, key states, the wheel delta as its 16-bit pattern).
constexpr WPARAM MakeWParam(int lo, int hi) {
    return WPARAM(uint32_t(uint16_t(lo)) | (uint32_t(uint16_t(hi)) << 16));
}
constexpr int WHEEL_DELTA = 120;  // one notch of the mouse wheel

// ---- typed views of messages ----
// Each view refers to the message it was made from: nothing is copied, the accessors read
// the fields the way the message packs them, and Result (or a changed key) is the message's.
struct TWMView {
    explicit TWMView(TMessage& m) : Message(m), Result(m.Result) {}
    TMessage& Message;
    LRESULT& Result;
};

// WM_HSCROLL / WM_VSCROLL of a window scroll bar: WParam holds the code in its low word (and
// the position's low 16 bits in its high word, as the platform packs it); the window system
// carries the whole 32-bit position of SB_THUMBTRACK / SB_THUMBPOSITION in LParam, where the
// platform would put the handle of a scroll-bar control. While the thumb is dragged,
// GetScrollInfo's nTrackPos holds the same position.
struct TWMScroll : TWMView {
    using TWMView::TWMView;
    int ScrollCode() const { return LoWord(Message.WParam); }
    int Pos() const { return int(int32_t(Message.LParam)); }
};
// A scroll message's WParam and LParam for a code and a position.
constexpr WPARAM ScrollWParam(int code, int pos) { return MakeWParam(code, pos); }
constexpr LPARAM ScrollLParam(int pos) { return LPARAM(int32_t(pos)); }

// Mouse button and move messages: key state (MK_*) in WParam, client position in LParam.
struct TWMMouse : TWMView {
    using TWMView::TWMView;
    WPARAM Keys() const { return Message.WParam; }
    int XPos() const { return LoWordSigned(Message.LParam); }
    int YPos() const { return HiWordSigned(Message.LParam); }
    TPoint Pos() const { return PointFromLParam(Message.LParam); }
};

// WM_MOUSEWHEEL: key state in the low word of WParam, the signed delta (WHEEL_DELTA per
// notch, positive away from the user) in the high word, screen position in LParam.
struct TWMMouseWheel : TWMView {
    using TWMView::TWMView;
    WPARAM Keys() const { return LoWord(Message.WParam); }
    int WheelDelta() const { return int16_t(HiWord(Message.WParam)); }
    int XPos() const { return LoWordSigned(Message.LParam); }
    int YPos() const { return HiWordSigned(Message.LParam); }
    TPoint Pos() const { return PointFromLParam(Message.LParam); }
};

// Key and character messages (also CN_ and CM_DIALOGKEY): the key or character code in
// WParam, repeat count and flags in LParam. A handler that changes or clears the key sets it
// in the message.
struct TWMKey : TWMView {
    using TWMView::TWMView;
    uint16_t CharCode() const { return uint16_t(Message.WParam); }
    void SetCharCode(uint16_t v) { Message.WParam = v; }
    int32_t KeyData() const { return int32_t(Message.LParam); }
};

// WM_SIZE: how (SIZE_RESTORED ...) in WParam, the new client size in LParam.
struct TWMSize : TWMView {
    using TWMView::TWMView;
    WPARAM SizeType() const { return Message.WParam; }
    int Width() const { return LoWord(uintptr_t(Message.LParam)); }
    int Height() const { return HiWord(uintptr_t(Message.LParam)); }
};

// WM_MOVE: the new position in LParam.
struct TWMMove : TWMView {
    using TWMView::TWMView;
    int XPos() const { return LoWordSigned(Message.LParam); }
    int YPos() const { return HiWordSigned(Message.LParam); }
};

// WM_SETFOCUS: the window that lost the focus; WM_KILLFOCUS: the one that gets it (0: none).
struct TWMSetFocus : TWMView {
    using TWMView::TWMView;
    HWND FocusedWnd() const { return HWND(Message.WParam); }
};
struct TWMKillFocus : TWMView {
    using TWMView::TWMView;
    HWND FocusedWnd() const { return HWND(Message.WParam); }
};

// WM_GETDLGCODE: the control answers with DLGC_* flags in Result.
struct TWMGetDlgCode : TWMView {
    using TWMView::TWMView;
};

// ---- messages ----
// Synchronous: runs the window procedure of the handle's control and returns its Result
// (0 for an unknown handle).
LRESULT SendMessage(HWND h, UINT msg, WPARAM w = 0, LPARAM l = 0);
// Queued; false for an unknown handle (0 is allowed: a thread message seen by the loop).
bool PostMessage(HWND h, UINT msg, WPARAM w = 0, LPARAM l = 0);
// Looks at the queue for a message to h (0: any window) in [first, last] (both 0: any).
// With PM_REMOVE the message is taken off the queue.
bool PeekMessage(MSG& out, HWND h, UINT first, UINT last, UINT remove);
void PostQuitMessage(int exitCode);
// Number of messages waiting (for tests and the idle step).
size_t QueuedMessageCount();
// Delivers a message taken from the queue to its window (no key translation).
LRESULT DispatchMessage(const MSG& m);

// ---- windows ----
bool IsWindow(HWND h);
bool IsWindowVisible(HWND h);  // the window and all its parents are shown
bool IsWindowEnabled(HWND h);
bool EnableWindow(HWND h, bool enable);
bool ShowWindow(HWND h, int cmd);
// The control whose window this is (null for an unknown handle).
vcl::TWinControl* FindControl(HWND h);
// The parent window; 0 for top-level windows.
HWND GetParent(HWND h);
// Makes the window a child of parent, or a top-level window with 0. Returns the old parent.
HWND SetParent(HWND h, HWND parent);
uint32_t GetWindowStyle(HWND h);
uint32_t GetWindowExStyle(HWND h);
uint32_t GetClassStyle(HWND h);
bool SetWindowPos(HWND h, HWND insertAfter, int x, int y, int cx, int cy, UINT flags);
// Bounds in screen coordinates; client rectangle (origin 0, 0).
bool GetWindowRect(HWND h, TRect& r);
bool GetClientRect(HWND h, TRect& r);
bool ClientToScreen(HWND h, TPoint& p);
bool ScreenToClient(HWND h, TPoint& p);
// Top-level windows, front first (stay-on-top ones before the others).
std::vector<HWND> TopLevelWindows();
// Child windows of h in z-order, bottom first.
std::vector<HWND> ChildWindows(HWND h);
HWND WindowFromPoint(TPoint screen);

// ---- focus, capture, activation ----
HWND GetFocus();
HWND SetFocus(HWND h);  // returns the previous focus
HWND GetCapture();
HWND SetCapture(HWND h);
bool ReleaseCapture();
HWND GetActiveWindow();
HWND SetActiveWindow(HWND h);
// Key state: bit 0x8000 while down (fed by input injection / the backend).
int16_t GetKeyState(int vk);
void SetKeyDown(int vk, bool down);
TPoint GetCursorPos();

// ---- painting ----
bool InvalidateRect(HWND h, const TRect* r, bool erase);
bool ValidateRect(HWND h, const TRect* r);
// The bounding box of the update region; false when nothing is invalid.
bool GetUpdateRect(HWND h, TRect& r);
// The pieces of the update region (client coordinates).
std::vector<TRect> GetUpdateRegion(HWND h);
// Paints the window now when it has an invalid area.
bool UpdateWindow(HWND h);
// Moves the pixels of rect (or the client area) by (dx, dy) inside clip (or the client
// area) and invalidates what was uncovered. Child windows move with a null rect.
bool ScrollWindow(HWND h, int dx, int dy, const TRect* rect, const TRect* clip);

// ---- window scroll bars (SB_HORZ / SB_VERT) ----
// Setting a range with min == max hides the bar; any other range shows it. redraw repaints
// the bar. Positions are clamped to the range.
bool SetScrollRange(HWND h, int bar, int min, int max, bool redraw);
bool GetScrollRange(HWND h, int bar, int& min, int& max);
int SetScrollPos(HWND h, int bar, int pos, bool redraw);  // returns the previous position
int GetScrollPos(HWND h, int bar);
bool ShowScrollBar(HWND h, int bar, bool show);
bool IsScrollBarShown(HWND h, int bar);
bool GetScrollInfo(HWND h, int bar, SCROLLINFO& si);
// How often a bar was redrawn by the calls above (tests check "without redraw").
int ScrollBarRedrawCount(HWND h, int bar);

// ---- timers (run from the platform clock) ----
using TIMERPROC = std::function<void(HWND h, UINT id)>;
// A due timer posts WM_TIMER (wParam = id) to h, or calls proc when one is given.
UINT SetTimer(HWND h, UINT id, UINT elapseMs, TIMERPROC proc = nullptr);
bool KillTimer(HWND h, UINT id);
// Fires every timer that is due at the current tick (each at most once). Returns how many.
int FireDueTimers();
// Milliseconds until the next timer is due (-1 when there is none).
int NextTimerDueIn();

// ---- system settings ----
int GetSystemMetrics(int index);
void SetSystemMetrics(int index, int value);
uint32_t GetDoubleClickTime();
void SetDoubleClickTime(uint32_t ms);
void MessageBeep(uint32_t type = 0);
int BeepCount();
uint32_t GetMessageTime();

}  // namespace win
