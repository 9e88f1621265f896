// Input entry points: a backend (or a test helper) feeds mouse and keyboard events here in
// screen coordinates; the router finds the control, keeps capture, enter/leave, double
// clicks, cursors, hints and drags in step.
#pragma once
#include <cstdint>

#include "controls/controls.h"

namespace vcl::input {

// The pointer moved to a screen point.
void MouseMoveTo(TPoint screen);
// A button went down or up at a screen point. A second press of the same button on the same
// control within the double-click time and distance is a double click. A left press on a
// window scroll bar sends WM_VSCROLL / WM_HSCROLL to its control instead (arrows and track
// repeat while held, the thumb follows the pointer) until the button is released.
void MouseButton(TMouseButton button, bool down, TPoint screen);
// The wheel turned by delta (WHEEL_DELTA per notch, positive away from the user) with the
// pointer at a screen point: WM_MOUSEWHEEL to the focused control.
void MouseWheel(int delta, TPoint screen);
// Forgets the last press, so the next one is never taken as the second of a double click.
void ResetDoubleClick();
// A key went down or up: the key state follows, and WM_KEYDOWN / WM_SYSKEYDOWN / WM_KEYUP is
// posted to the focused window (translated into WM_CHAR by the message loop). With
// textApart, the printable character of the key arrives on its own (Char, from the system's
// text input, which knows the keyboard layout): the loop then translates only control
// characters (Enter, Backspace, Tab, Escape, Ctrl+letter).
void Key(uint16_t vk, bool down, bool textApart = false);
// The key-data bit that marks a key message whose printable character comes apart.
constexpr win::LPARAM KeyDataTextApart = win::LPARAM(1) << 25;
// A character typed without a key (text input): WM_CHAR to the focused window.
void Char(char ch);
// Releases every key and button, capture and drag (between tests).
void Reset();

// A filter that sees mouse and key input before the router does (an open menu tracks the
// mouse and keys this way). It returns true when it took the event: the router then does
// nothing more with it. The key state and the pointer position are already updated.
struct TInputEvent {
    enum TKind { MouseMove, MouseDown, MouseUp, KeyDown, KeyUp, Char } Kind = MouseMove;
    TMouseButton Button = mbLeft;
    TPoint Screen;
    uint16_t Key = 0;  // the virtual key, or the character of Char
};
using TInputFilter = bool (*)(const TInputEvent& e);
void SetInputFilter(TInputFilter filter);

}  // namespace vcl::input
