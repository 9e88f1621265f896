// The headless backend: forms live in memory and are rendered to images on request.
// It is the default in tests; a real window backend implements the same interface.
#pragma once
#include <string>
#include <vector>

#include "controls/forms.h"
#include "controls/testing.h"
#include "controls/windowbackend.h"

namespace vcl {

class THeadlessBackend : public TWindowBackend {
public:
    THeadlessBackend() = default;
    const char* Name() const override { return "headless"; }
    void WindowShown(win::HWND h) override;
    void WindowHidden(win::HWND h) override;
    void WindowDestroyed(win::HWND h) override;
    void Present(win::HWND, const TRect&) override { ++presents_; }
    void SetCursor(TCursor c) override { cursor_ = c; }
    // The top-level windows shown now, in the order they were shown.
    const std::vector<win::HWND>& ShownWindows() const { return shown_; }
    TCursor LastCursor() const { return cursor_; }
    int PresentCount() const { return presents_; }

    // Installs this backend for the lifetime of a scope.
    class Scope {
    public:
        explicit Scope(THeadlessBackend& b) : prev_(WindowBackend()) { SetWindowBackend(&b); }
        ~Scope() { SetWindowBackend(prev_); }

    private:
        TWindowBackend* prev_;
    };

private:
    std::vector<win::HWND> shown_;
    TCursor cursor_ = crDefault;
    int presents_ = 0;
};

// Paints the whole form now and returns its pixels as a new bitmap (the caller frees it):
// the full window with its frame and caption, or only the client area. The form must be
// showing (raises EInvalidOperation otherwise).
TBitmap* RenderForm(TCustomForm* form, bool withFrame = true);
// The client area of any showing control, as it appears on its form.
TBitmap* RenderControl(TControl* control);
// Every showing top-level window (forms, pop-ups, hints) at its screen place, back to front.
TBitmap* RenderScreen();
// RenderForm written as a PNG file.
void SaveFormToPng(TCustomForm* form, const std::string& fileName, bool withFrame = true);

namespace testing {
// Everything a window test needs for its lifetime: the manual clock, the headless backend,
// and on the way out the input state, queued modal scripts and recorded errors cleared.
// Declare it before the forms a test creates, and free those forms before it goes.
class THeadlessSession {
public:
    explicit THeadlessSession(uint32_t startTick = 1000) : clock(startTick), scope_(backend) {}
    ~THeadlessSession() {
        ResetInput();
        TakeShownErrors();
        ClearModalLog();
    }
    TTestClock clock;
    THeadlessBackend backend;

private:
    THeadlessBackend::Scope scope_;
};
}  // namespace testing

}  // namespace vcl
