// The SDL2 backend: every showing top-level window (forms, hints, drop-downs) is a real SDL
// window that shows the surface the window system paints, and SDL input goes through the same
// input router the headless test helpers use. Forms draw their own frame and caption, so
// their SDL windows are borderless; the caption drags the window and a sizeable frame resizes
// it through SDL's hit test.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "controls/windowbackend.h"

namespace vcl {

class TSdlBackend : public TWindowBackend {
public:
    // Starts SDL video. Null, with the reason in error, when there is no display: neither
    // DISPLAY nor WAYLAND_DISPLAY set (and no SDL_VIDEODRIVER chosen), or SDL failing to start.
    // The scale is how many device pixels a form pixel takes (0: DBV_SCALE from the
    // environment, else 2 on displays of 168 dpi or more, else 1).
    static std::unique_ptr<TSdlBackend> Open(std::string* error = nullptr, int scale = 0);
    ~TSdlBackend() override;
    TSdlBackend(const TSdlBackend&) = delete;
    TSdlBackend& operator=(const TSdlBackend&) = delete;

    const char* Name() const override { return "sdl"; }
    void WindowShown(win::HWND h) override;
    void WindowHidden(win::HWND h) override;
    void WindowChanged(win::HWND h) override;
    void WindowDestroyed(win::HWND h) override;
    void Present(win::HWND h, const TRect& dirty) override;
    bool PumpEvents(int timeoutMs) override;
    bool CanWait() const override { return true; }
    void SetCursor(TCursor c) override;
    TSize ScreenSize() const override;

    // Device pixels per form pixel.
    int Scale() const;
    // Brings the SDL windows in step with the showing top-level windows and shows the pixels
    // painted since the last call (only the changed rectangles are uploaded).
    void Flush();
    // Form pixels uploaded to window textures so far.
    uint64_t UploadedPixels() const;
    // How many SDL windows are open now.
    int WindowCount() const;
    // The SDL window id of a top-level window (0: it has no SDL window).
    uint32_t SdlWindowId(win::HWND h) const;

    struct Impl;

private:
    TSdlBackend();
    std::unique_ptr<Impl> d_;
};

}  // namespace vcl
