#include "backend/headless.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "rtl/sysutils.h"

namespace vcl {

void THeadlessBackend::WindowShown(win::HWND h) {
    if (std::find(shown_.begin(), shown_.end(), h) == shown_.end()) shown_.push_back(h);
}
void THeadlessBackend::WindowHidden(win::HWND h) {
    shown_.erase(std::remove(shown_.begin(), shown_.end(), h), shown_.end());
}
void THeadlessBackend::WindowDestroyed(win::HWND h) { WindowHidden(h); }

static TWinControl* TopLevelOf(TControl* c) {
    TWinControl* w = c->PaintParent();
    while (w && w->HandleAllocated() && win::GetParent(w->GetHandle()))
        w = win::FindControl(win::GetParent(w->GetHandle()));
    return w;
}

// Copies a rectangle of a top-level window's fully painted surface into a new bitmap.
static TBitmap* Capture(TWinControl* top, const TRect& windowRect) {
    if (!top || !top->HandleAllocated() || !top->IsShowing())
        throw EInvalidOperation(Format("%s is not showing", top ? top->ClassName().c_str() : "control"));
    Application->ProcessMessages();
    win::InvalidateRect(top->GetHandle(), nullptr, true);
    TBitmap* full = PaintedWindowSurface(top->GetHandle());
    if (!full) throw EInvalidOperation("Nothing to render");
    TRect r;
    IntersectRect(r, windowRect, Rect(0, 0, full->GetWidth(), full->GetHeight()));
    auto* out = new TBitmap;
    out->SetPixelFormat(pf24bit);
    out->SetSize(std::max(1, r.Width()), std::max(1, r.Height()));
    for (int y = 0; y < r.Height(); ++y)
        std::memcpy(out->ScanLine(y), full->ScanLine(r.Top + y) + r.Left, size_t(r.Width()) * 4);
    out->SetModified(true);
    return out;
}

TBitmap* RenderForm(TCustomForm* form, bool withFrame) {
    if (!form) throw EInvalidArgument("No form to render");
    TRect nc = form->NonClientInsets();
    TRect r = withFrame ? Rect(0, 0, form->GetWidth(), form->GetHeight())
                        : Bounds(nc.Left, nc.Top, form->GetClientWidth(), form->GetClientHeight());
    return Capture(form, r);
}

TBitmap* RenderControl(TControl* control) {
    if (!control) throw EInvalidArgument("No control to render");
    TWinControl* top = TopLevelOf(control);
    if (!control->IsShowing() || !top) throw EInvalidOperation(Format("%s is not showing", control->ClassName().c_str()));
    TPoint o = control->ClientToScreen({0, 0});
    TPoint to = top->ClientToScreen({0, 0});
    TRect nc = top->NonClientInsets();
    TRect r = Bounds(o.X - to.X + nc.Left, o.Y - to.Y + nc.Top, control->GetClientWidth(),
                     control->GetClientHeight());
    return Capture(top, r);
}

TBitmap* RenderScreen() {
    int sw = win::GetSystemMetrics(win::SM_CXSCREEN), sh = win::GetSystemMetrics(win::SM_CYSCREEN);
    auto* out = new TBitmap;
    out->SetPixelFormat(pf24bit);
    out->SetSize(sw, sh);
    uint32_t v = uint32_t(ColorToRGB(clAppWorkSpace));
    uint32_t desk = ((v & 0xFF) << 16) | (v & 0xFF00) | ((v >> 16) & 0xFF);
    for (int y = 0; y < sh; ++y) std::fill(out->ScanLine(y), out->ScanLine(y) + sw, desk);
    std::vector<win::HWND> order = win::TopLevelWindows();
    for (auto it = order.rbegin(); it != order.rend(); ++it) {
        TBitmap* s = PaintedWindowSurface(*it);
        if (!s) continue;
        TRect wr;
        win::GetWindowRect(*it, wr);
        for (int y = 0; y < s->GetHeight(); ++y) {
            int dy = wr.Top + y;
            if (dy < 0 || dy >= sh) continue;
            for (int x = 0; x < s->GetWidth(); ++x) {
                int dx = wr.Left + x;
                if (dx >= 0 && dx < sw) out->ScanLine(dy)[dx] = s->ScanLine(y)[x];
            }
        }
    }
    out->SetModified(true);
    return out;
}

void SaveFormToPng(TCustomForm* form, const std::string& fileName, bool withFrame) {
    std::unique_ptr<TBitmap> b(RenderForm(form, withFrame));
    b->SaveToPngFile(fileName);
}

}  // namespace vcl
