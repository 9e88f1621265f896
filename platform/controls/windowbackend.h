// The presentation backend seen from the window system. Headless (render to images) and a
// real window backend implement it; with none installed the window system runs headless.
#pragma once
#include "controls/controls.h"

namespace vcl {

class TWindowBackend {
public:
    virtual ~TWindowBackend() = default;
    virtual const char* Name() const = 0;
    // A top-level window was shown, hidden or destroyed, or its bounds or caption changed.
    virtual void WindowShown(win::HWND) {}
    virtual void WindowHidden(win::HWND) {}
    virtual void WindowChanged(win::HWND) {}
    virtual void WindowDestroyed(win::HWND) {}
    // The surface pixels of a top-level window changed inside dirty (window coordinates).
    virtual void Present(win::HWND, const TRect& /*dirty*/) {}
    // Feeds pending input through the input functions of controls/input.h, waiting up to
    // timeoutMs (-1: no limit) when nothing is pending. True when something arrived.
    virtual bool PumpEvents(int /*timeoutMs*/) { return false; }
    // Whether PumpEvents can ever deliver input (a person at a real window).
    virtual bool CanWait() const { return false; }
    virtual void SetCursor(TCursor) {}
    virtual TSize ScreenSize() const { return {1024, 768}; }
};

// The backing bitmap of a showing top-level window, painted up to date first (null for
// another handle). It stays owned by the window system and changes with the window.
TBitmap* PaintedWindowSurface(win::HWND topLevel);

// Null restores the built-in headless behaviour. The caller keeps ownership.
void SetWindowBackend(TWindowBackend* backend);
TWindowBackend* WindowBackend();

}  // namespace vcl
