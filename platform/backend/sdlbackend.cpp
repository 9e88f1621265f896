#include "backend/sdlbackend.h"

#include <SDL.h>
#include <SDL_syswm.h>
#include <poll.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <vector>

#include "controls/forms.h"
#include "controls/input.h"
#include "graphics/clipbrd.h"

namespace vcl {

using namespace win;

namespace {

struct SdlWindow {
    HWND Handle = 0;
    SDL_Window* Window = nullptr;
    SDL_Renderer* Renderer = nullptr;
    SDL_Texture* Texture = nullptr;
    int TexW = 0, TexH = 0;
    bool Popup = false;
    bool NeedsPresent = false;
    bool Resizable = false;
    std::string Title;
    TRect Limits;  // the minimum and maximum size given to SDL (Left/Top: min, Right/Bottom: max)
};

// The key a person pressed, as the platform's virtual-key code (0: none we know).
uint16_t VirtualKey(const SDL_Keysym& k) {
    SDL_Keycode s = k.sym;
    if (s >= SDLK_a && s <= SDLK_z) return uint16_t('A' + (s - SDLK_a));
    if (s >= SDLK_0 && s <= SDLK_9) return uint16_t('0' + (s - SDLK_0));
    if (s >= SDLK_F1 && s <= SDLK_F12) return uint16_t(VK_F1 + (s - SDLK_F1));
    if (s >= SDLK_KP_1 && s <= SDLK_KP_9) return uint16_t(VK_NUMPAD0 + 1 + (s - SDLK_KP_1));
    switch (s) {
        case SDLK_KP_0: return VK_NUMPAD0;
        case SDLK_RETURN:
        case SDLK_KP_ENTER: return VK_RETURN;
        case SDLK_ESCAPE: return VK_ESCAPE;
        case SDLK_BACKSPACE: return VK_BACK;
        case SDLK_TAB: return VK_TAB;
        case SDLK_SPACE: return VK_SPACE;
        case SDLK_LSHIFT:
        case SDLK_RSHIFT: return VK_SHIFT;
        case SDLK_LCTRL:
        case SDLK_RCTRL: return VK_CONTROL;
        case SDLK_LALT:
        case SDLK_RALT: return VK_MENU;
        case SDLK_PAUSE: return VK_PAUSE;
        case SDLK_CAPSLOCK: return VK_CAPITAL;
        case SDLK_PAGEUP: return VK_PRIOR;
        case SDLK_PAGEDOWN: return VK_NEXT;
        case SDLK_END: return VK_END;
        case SDLK_HOME: return VK_HOME;
        case SDLK_LEFT: return VK_LEFT;
        case SDLK_UP: return VK_UP;
        case SDLK_RIGHT: return VK_RIGHT;
        case SDLK_DOWN: return VK_DOWN;
        case SDLK_INSERT: return VK_INSERT;
        case SDLK_DELETE: return VK_DELETE;
        case SDLK_PRINTSCREEN: return VK_SNAPSHOT;
        case SDLK_NUMLOCKCLEAR: return VK_NUMLOCK;
        case SDLK_SCROLLLOCK: return VK_SCROLL;
        case SDLK_KP_MULTIPLY: return VK_MULTIPLY;
        case SDLK_KP_PLUS: return VK_ADD;
        case SDLK_KP_MINUS: return VK_SUBTRACT;
        case SDLK_KP_PERIOD: return VK_DECIMAL;
        case SDLK_KP_DIVIDE: return VK_DIVIDE;
        case SDLK_SEMICOLON: return 186;
        case SDLK_EQUALS: return 187;
        case SDLK_COMMA: return 188;
        case SDLK_MINUS: return 189;
        case SDLK_PERIOD: return 190;
        case SDLK_SLASH: return 191;
        case SDLK_BACKQUOTE: return 192;
        case SDLK_LEFTBRACKET: return 219;
        case SDLK_BACKSLASH: return 220;
        case SDLK_RIGHTBRACKET: return 221;
        case SDLK_QUOTE: return 222;
        default: return 0;
    }
}

SDL_SystemCursor SystemCursor(TCursor c) {
    switch (c) {
        case crIBeam: return SDL_SYSTEM_CURSOR_IBEAM;
        case crHourGlass:
        case crSQLWait: return SDL_SYSTEM_CURSOR_WAIT;
        case crAppStart: return SDL_SYSTEM_CURSOR_WAITARROW;
        case crCross: return SDL_SYSTEM_CURSOR_CROSSHAIR;
        case crSizeNWSE: return SDL_SYSTEM_CURSOR_SIZENWSE;
        case crSizeNESW: return SDL_SYSTEM_CURSOR_SIZENESW;
        case crSizeWE:
        case crHSplit: return SDL_SYSTEM_CURSOR_SIZEWE;
        case crSizeNS:
        case crVSplit:
        case crUpArrow: return SDL_SYSTEM_CURSOR_SIZENS;
        case crSizeAll: return SDL_SYSTEM_CURSOR_SIZEALL;
        case crHandPoint: return SDL_SYSTEM_CURSOR_HAND;
        case crNo:
        case crNoDrop: return SDL_SYSTEM_CURSOR_NO;
        default: return SDL_SYSTEM_CURSOR_ARROW;
    }
}

// The caption strip and close box of a form, in window coordinates, as the form paints them.
struct FrameParts {
    TRect Caption, CloseBox;
    int Frame = 0;
    bool Sizeable = false;
};

FrameParts FramePartsOf(TCustomForm* f) {
    FrameParts p;
    TRect nc = f->FrameInsets();
    if (!nc.Top) return p;
    int cap = nc.Top - nc.Left - 1;
    p.Caption = Rect(nc.Left, nc.Left, f->GetWidth() - nc.Right, nc.Left + cap);
    if (f->GetBorderIcons().Contains(biSystemMenu))
        p.CloseBox = Rect(p.Caption.Right - cap + 2, p.Caption.Top + 2, p.Caption.Right - 2,
                          p.Caption.Bottom - 2);
    p.Frame = nc.Left;
    TFormBorderStyle bs = f->GetBorderStyle();
    p.Sizeable = bs == bsSizeable || bs == bsSizeToolWin;
    return p;
}

}  // namespace

struct TSdlBackend::Impl {
    int scale = 1;
    std::map<HWND, SdlWindow> windows;
    std::map<uint32_t, HWND> byId;
    std::map<HWND, std::vector<TRect>> pending;  // presented, not uploaded yet
    std::map<TCursor, SDL_Cursor*> cursors;
    uint64_t uploaded = 0;
    HWND closePressed = 0;
    HWND raisedActive = 0;
    double wheelRest = 0;
    bool flushing = false;
    TSize savedScreen;  // the screen metrics before this backend set them
    int displayFd = -2;  // -2: not looked up yet, -1: none

    // The X11 display connection's file descriptor, to wait on. SDL_WaitEventTimeout is not
    // used on X11: it wakes itself by sending an event to one of our windows through a
    // second connection, and that event can reach the server after the window was destroyed,
    // which Xlib reports as a fatal BadWindow error.
    int DisplayFd() {
        if (displayFd != -2) return displayFd;
        if (windows.empty()) return -1;
        SDL_SysWMinfo info;
        SDL_VERSION(&info.version);
        displayFd = -1;
#if defined(SDL_VIDEO_DRIVER_X11)
        if (SDL_GetWindowWMInfo(windows.begin()->second.Window, &info) && info.subsystem == SDL_SYSWM_X11)
            displayFd = ConnectionNumber(info.info.x11.display);
#endif
        return displayFd;
    }

    SdlWindow* Find(HWND h) {
        auto it = windows.find(h);
        return it == windows.end() ? nullptr : &it->second;
    }
    HWND HandleOf(uint32_t windowId) {
        auto it = byId.find(windowId);
        return it == byId.end() ? 0 : it->second;
    }

    // A point in an SDL window (window units) as a form pixel of that window.
    TPoint ToWindowPoint(const SdlWindow& w, int x, int y) {
        int ww = 1, wh = 1;
        SDL_GetWindowSize(w.Window, &ww, &wh);
        TWinControl* c = FindControl(w.Handle);
        int cw = c ? std::max(1, c->GetWidth()) : ww, ch = c ? std::max(1, c->GetHeight()) : wh;
        auto conv = [](int v, int from, int to) {
            return int(std::floor(double(v) * to / std::max(1, from)));
        };
        return {conv(x, ww, cw), conv(y, wh, ch)};
    }
    TPoint ToScreen(const SdlWindow& w, int x, int y) {
        TPoint p = ToWindowPoint(w, x, y);
        TRect r;
        GetWindowRect(w.Handle, r);
        return {r.Left + p.X, r.Top + p.Y};
    }

    void Create(HWND h) {
        TWinControl* c = FindControl(h);
        if (!c) return;
        auto* form = dynamic_cast<TCustomForm*>(c);
        TRect r;
        GetWindowRect(h, r);
        SdlWindow w;
        w.Handle = h;
        w.Popup = !form;
        uint32_t flags = SDL_WINDOW_BORDERLESS | SDL_WINDOW_ALLOW_HIGHDPI | SDL_WINDOW_HIDDEN;
        if (w.Popup)
            flags |= (dynamic_cast<THintWindow*>(c) ? SDL_WINDOW_TOOLTIP : SDL_WINDOW_POPUP_MENU) |
                     SDL_WINDOW_SKIP_TASKBAR;
        else if (FramePartsOf(form).Sizeable)
            flags |= SDL_WINDOW_RESIZABLE;
        w.Resizable = (flags & SDL_WINDOW_RESIZABLE) != 0;
        w.Title = form ? form->GetCaption() : std::string();
        w.Window = SDL_CreateWindow(w.Title.c_str(), r.Left * scale, r.Top * scale,
                                    std::max(1, r.Width()) * scale, std::max(1, r.Height()) * scale,
                                    flags);
        if (!w.Window) return;
        w.Renderer = SDL_CreateRenderer(w.Window, -1, 0);
        if (!w.Renderer) w.Renderer = SDL_CreateRenderer(w.Window, -1, SDL_RENDERER_SOFTWARE);
        if (!w.Renderer) {
            SDL_DestroyWindow(w.Window);
            return;
        }
        if (form) SDL_SetWindowHitTest(w.Window, &Impl::HitTest, this);
        byId[SDL_GetWindowID(w.Window)] = h;
        windows[h] = w;
        pending[h].push_back(Rect(0, 0, r.Width(), r.Height()));
        UpdateLimits(windows[h]);
        SDL_ShowWindow(w.Window);
        if (!w.Popup) SDL_RaiseWindow(w.Window);
    }

    void Destroy(HWND h) {
        pending.erase(h);
        SdlWindow* w = Find(h);
        if (!w) return;
        if (w->Texture) SDL_DestroyTexture(w->Texture);
        if (w->Renderer) SDL_DestroyRenderer(w->Renderer);
        if (w->Window) {
            byId.erase(SDL_GetWindowID(w->Window));
            SDL_DestroyWindow(w->Window);
        }
        windows.erase(h);
        pending.erase(h);
        if (closePressed == h) closePressed = 0;
        if (raisedActive == h) raisedActive = 0;
    }

    // The size limits of a sizeable form, so that the window manager stops there too. Set
    // only when they change: each setting rewrites the window manager hints, and the
    // property change wakes the event wait again.
    void UpdateLimits(SdlWindow& w) {
        auto* f = dynamic_cast<TCustomForm*>(FindControl(w.Handle));
        if (!f || !w.Resizable) return;
        TSizeConstraints* k = f->GetConstraints();
        TRect limits = Rect(std::max(GetSystemMetrics(SM_CXMIN), k->GetMinWidth()),
                            std::max(GetSystemMetrics(SM_CYMIN), k->GetMinHeight()),
                            k->GetMaxWidth() ? k->GetMaxWidth() : 16384,
                            k->GetMaxHeight() ? k->GetMaxHeight() : 16384);
        if (limits == w.Limits) return;
        w.Limits = limits;
        SDL_SetWindowMinimumSize(w.Window, limits.Left * scale, limits.Top * scale);
        SDL_SetWindowMaximumSize(w.Window, limits.Right * scale, limits.Bottom * scale);
    }

    // Moves, sizes and titles the SDL window as the window system has it.
    void Follow(SdlWindow& w) {
        TRect r;
        if (!GetWindowRect(w.Handle, r)) return;
        int x, y, ww, wh;
        SDL_GetWindowPosition(w.Window, &x, &y);
        SDL_GetWindowSize(w.Window, &ww, &wh);
        int nw = std::max(1, r.Width()) * scale, nh = std::max(1, r.Height()) * scale;
        if (ww != nw || wh != nh) SDL_SetWindowSize(w.Window, nw, nh);
        if (x != r.Left * scale || y != r.Top * scale)
            SDL_SetWindowPosition(w.Window, r.Left * scale, r.Top * scale);
        if (auto* f = dynamic_cast<TCustomForm*>(FindControl(w.Handle)); f && f->GetCaption() != w.Title) {
            w.Title = f->GetCaption();
            SDL_SetWindowTitle(w.Window, w.Title.c_str());
        }
        UpdateLimits(w);
    }

    // SDL windows for exactly the showing top-level windows.
    void Sync() {
        std::set<HWND> showing;
        for (HWND h : TopLevelWindows())
            if (IsWindowVisible(h)) showing.insert(h);
        std::vector<HWND> gone;
        for (auto& [h, w] : windows)
            if (!showing.count(h)) gone.push_back(h);
        for (HWND h : gone) Destroy(h);
        // Created back to front, so that the front window ends up on top.
        std::vector<HWND> order = TopLevelWindows();
        for (auto it = order.rbegin(); it != order.rend(); ++it) {
            if (!showing.count(*it)) continue;
            if (SdlWindow* w = Find(*it))
                Follow(*w);
            else
                Create(*it);
        }
        // The active window has the keyboard (a modal form that opens, the owner it returns to).
        HWND active = GetActiveWindow();
        if (active != raisedActive) {
            if (SdlWindow* w = Find(active); w && !w->Popup) {
                SDL_RaiseWindow(w->Window);
                SDL_SetWindowInputFocus(w->Window);
                raisedActive = active;
            }
        }
    }

    void Upload(HWND h) {
        auto it = pending.find(h);
        if (it == pending.end() || it->second.empty()) return;
        // Brings the surface up to date (painting handlers may show, hide or free windows).
        TBitmap* s = PaintedWindowSurface(h);
        SdlWindow* wp = Find(h);
        if (!s || !wp) return;
        SdlWindow& w = *wp;
        std::vector<TRect> dirty;
        dirty.swap(pending[h]);
        int sw = s->GetWidth(), sh = s->GetHeight();
        if (!w.Texture || w.TexW != sw || w.TexH != sh) {
            if (w.Texture) SDL_DestroyTexture(w.Texture);
            w.Texture = SDL_CreateTexture(w.Renderer, SDL_PIXELFORMAT_RGB888,
                                          SDL_TEXTUREACCESS_STREAMING, sw, sh);
            w.TexW = sw;
            w.TexH = sh;
            dirty.assign(1, Rect(0, 0, sw, sh));
        }
        if (!w.Texture) return;
        std::vector<uint32_t> buf;
        for (TRect r : dirty) {
            if (!IntersectRect(r, r, Rect(0, 0, sw, sh))) continue;
            int rw = r.Width(), rh = r.Height();
            buf.resize(size_t(rw) * size_t(rh));
            for (int y = 0; y < rh; ++y)
                std::memcpy(&buf[size_t(y) * size_t(rw)], s->ScanLine(r.Top + y) + r.Left,
                            size_t(rw) * 4);
            SDL_Rect sr{r.Left, r.Top, rw, rh};
            SDL_UpdateTexture(w.Texture, &sr, buf.data(), rw * 4);
            uploaded += uint64_t(rw) * uint64_t(rh);
        }
        w.NeedsPresent = true;
    }

    void Flush() {
        if (flushing) return;
        flushing = true;
        try {
            Sync();
            for (auto it = pending.begin(); it != pending.end();)
                it = windows.count(it->first) ? std::next(it) : pending.erase(it);
            // Painting may show or hide windows: each is looked up again.
            std::vector<HWND> handles;
            for (auto& [h, w] : windows) handles.push_back(h);
            for (HWND h : handles) Upload(h);
            for (HWND h : handles) {
                SdlWindow* w = Find(h);
                if (!w || !w->NeedsPresent || !w->Texture) continue;
                w->NeedsPresent = false;
                SDL_RenderClear(w->Renderer);
                SDL_RenderCopy(w->Renderer, w->Texture, nullptr, nullptr);
                SDL_RenderPresent(w->Renderer);
            }
        } catch (...) {
            flushing = false;
            throw;
        }
        flushing = false;
    }

    static SDL_HitTestResult HitTest(SDL_Window* window, const SDL_Point* area, void* data) {
        auto* d = static_cast<Impl*>(data);
        HWND h = d->HandleOf(SDL_GetWindowID(window));
        SdlWindow* w = d->Find(h);
        auto* f = dynamic_cast<TCustomForm*>(FindControl(h));
        if (!w || !f || !IsWindowEnabled(h)) return SDL_HITTEST_NORMAL;
        TPoint p = d->ToWindowPoint(*w, area->x, area->y);
        FrameParts parts = FramePartsOf(f);
        if (parts.Sizeable && parts.Frame > 0) {
            int W = f->GetWidth(), H = f->GetHeight(), e = parts.Frame, corner = e + 8;
            bool left = p.X < e, right = p.X >= W - e, top = p.Y < e, bottom = p.Y >= H - e;
            bool nearLeft = p.X < corner, nearRight = p.X >= W - corner;
            bool nearTop = p.Y < corner, nearBottom = p.Y >= H - corner;
            if ((top && nearLeft) || (left && nearTop)) return SDL_HITTEST_RESIZE_TOPLEFT;
            if ((top && nearRight) || (right && nearTop)) return SDL_HITTEST_RESIZE_TOPRIGHT;
            if ((bottom && nearLeft) || (left && nearBottom)) return SDL_HITTEST_RESIZE_BOTTOMLEFT;
            if ((bottom && nearRight) || (right && nearBottom)) return SDL_HITTEST_RESIZE_BOTTOMRIGHT;
            if (top) return SDL_HITTEST_RESIZE_TOP;
            if (bottom) return SDL_HITTEST_RESIZE_BOTTOM;
            if (left) return SDL_HITTEST_RESIZE_LEFT;
            if (right) return SDL_HITTEST_RESIZE_RIGHT;
        }
        if (PtInRect(parts.Caption, p) && !PtInRect(parts.CloseBox, p)) return SDL_HITTEST_DRAGGABLE;
        return SDL_HITTEST_NORMAL;
    }

    void WindowEvent(const SDL_WindowEvent& e) {
        HWND h = HandleOf(e.windowID);
        SdlWindow* w = Find(h);
        if (!w) return;
        TWinControl* c = FindControl(h);
        auto* form = dynamic_cast<TCustomForm*>(c);
        switch (e.event) {
            case SDL_WINDOWEVENT_CLOSE:
                // A disabled window (one under a modal form) does not close.
                if (IsWindowEnabled(h)) PostMessage(h, WM_CLOSE);
                break;
            case SDL_WINDOWEVENT_MOVED:
                if (form) {
                    int x = e.data1 / scale, y = e.data2 / scale;
                    if (x != form->GetLeft() || y != form->GetTop())
                        form->SetBounds(x, y, form->GetWidth(), form->GetHeight());
                }
                break;
            case SDL_WINDOWEVENT_SIZE_CHANGED:
                if (form) {
                    int nw = e.data1 / scale, nh = e.data2 / scale;
                    if (nw != form->GetWidth() || nh != form->GetHeight())
                        form->SetBounds(form->GetLeft(), form->GetTop(), nw, nh);
                }
                w = Find(h);
                if (w) w->NeedsPresent = true;
                break;
            case SDL_WINDOWEVENT_EXPOSED: w->NeedsPresent = true; break;
            case SDL_WINDOWEVENT_FOCUS_GAINED: {
                if (w->Popup) break;
                // The modifier keys may have changed while another program had the keyboard.
                SDL_Keymod m = SDL_GetModState();
                SetKeyDown(VK_SHIFT, m & KMOD_SHIFT);
                SetKeyDown(VK_CONTROL, m & KMOD_CTRL);
                SetKeyDown(VK_MENU, m & KMOD_ALT);
                if (IsWindowEnabled(h)) {
                    if (GetActiveWindow() != h) SetActiveWindow(h);
                    raisedActive = h;
                } else if (SdlWindow* a = Find(GetActiveWindow()); a && !a->Popup) {
                    // A window under a modal form hands the keyboard back to the form.
                    SDL_RaiseWindow(a->Window);
                }
                break;
            }
            case SDL_WINDOWEVENT_LEAVE:
                // The pointer left our windows (another of them reports it coming in).
                if (!GetCaptureControl() && !(SDL_GetMouseState(nullptr, nullptr) & SDL_BUTTON_LMASK))
                    input::MouseMoveTo({-10000, -10000});
                break;
            default: break;
        }
    }

    void MouseButtonEvent(const SDL_MouseButtonEvent& e) {
        HWND h = HandleOf(e.windowID);
        SdlWindow* w = Find(h);
        if (!w) return;
        TMouseButton b;
        switch (e.button) {
            case SDL_BUTTON_LEFT: b = mbLeft; break;
            case SDL_BUTTON_RIGHT: b = mbRight; break;
            case SDL_BUTTON_MIDDLE: b = mbMiddle; break;
            default: return;
        }
        bool down = e.type == SDL_MOUSEBUTTONDOWN;
        TPoint wp = ToWindowPoint(*w, e.x, e.y);
        // The close box of a form's caption: a left click there closes the form.
        if (auto* f = dynamic_cast<TCustomForm*>(FindControl(h)); f && b == mbLeft) {
            bool onClose = PtInRect(FramePartsOf(f).CloseBox, wp);
            if (down && onClose && IsWindowEnabled(h)) {
                closePressed = h;
                return;
            }
            if (!down && closePressed) {
                HWND pressed = closePressed;
                closePressed = 0;
                if (pressed == h && onClose) PostMessage(h, WM_CLOSE);
                return;
            }
        }
        input::MouseButton(b, down, ToScreen(*w, e.x, e.y));
    }

    void Handle(const SDL_Event& e) {
        switch (e.type) {
            case SDL_QUIT: Application->Terminate(); break;
            case SDL_WINDOWEVENT: WindowEvent(e.window); break;
            case SDL_MOUSEMOTION:
                if (SdlWindow* w = Find(HandleOf(e.motion.windowID)))
                    input::MouseMoveTo(ToScreen(*w, e.motion.x, e.motion.y));
                break;
            case SDL_MOUSEBUTTONDOWN:
            case SDL_MOUSEBUTTONUP: MouseButtonEvent(e.button); break;
            case SDL_MOUSEWHEEL: {
                // Fractions of a notch (smooth wheels and touchpads) add up.
                double notches = e.wheel.preciseY;
                if (e.wheel.direction == SDL_MOUSEWHEEL_FLIPPED) notches = -notches;
                wheelRest += notches * WHEEL_DELTA;
                int delta = int(wheelRest);
                wheelRest -= delta;
                if (delta) input::MouseWheel(delta, GetCursorPos());
                break;
            }
            case SDL_KEYDOWN:
            case SDL_KEYUP:
                if (uint16_t vk = VirtualKey(e.key.keysym))
                    input::Key(vk, e.type == SDL_KEYDOWN, true);
                break;
            case SDL_TEXTINPUT: {
                // Ctrl and Alt combinations are keys (shortcuts, menu letters), not text.
                if (SDL_GetModState() & (KMOD_CTRL | KMOD_LALT)) break;
                for (const char* p = e.text.text; *p; ++p) input::Char(*p);
                break;
            }
            default: break;
        }
    }
};

TSdlBackend::TSdlBackend() : d_(std::make_unique<Impl>()) {}

std::unique_ptr<TSdlBackend> TSdlBackend::Open(std::string* error, int scale) {
    auto fail = [&](const std::string& why) {
        if (error) *error = why;
        return std::unique_ptr<TSdlBackend>();
    };
    if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY") && !std::getenv("SDL_VIDEODRIVER"))
        return fail("no display (DISPLAY is not set)");
    SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");
    SDL_SetHint("SDL_SHUTDOWN_DBUS_ON_QUIT", "1");  // SDL 2.28 on: D-Bus ends with SDL_Quit
    SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "nearest");
    // The window system paints in memory: the software renderer only copies its pixels, and
    // the window framebuffer goes straight to the display, so no OpenGL driver is loaded
    // (SDL_RENDER_DRIVER and SDL_FRAMEBUFFER_ACCELERATION in the environment still choose).
    SDL_SetHint(SDL_HINT_RENDER_DRIVER, "software");
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    SDL_SetHint(SDL_HINT_MOUSE_FOCUS_CLICKTHROUGH, "1");
    SDL_SetHint(SDL_HINT_VIDEO_X11_NET_WM_BYPASS_COMPOSITOR, "0");
    if (SDL_Init(SDL_INIT_VIDEO) != 0) return fail(std::string("SDL video: ") + SDL_GetError());
    // Without a chosen driver only a desktop counts: SDL falls back to drivers such as the
    // console's (kmsdrm) when DISPLAY names no running server.
    const char* driver = SDL_GetCurrentVideoDriver();
    std::string drv = driver ? driver : "";
    if (!std::getenv("SDL_VIDEODRIVER") && drv != "x11" && drv != "wayland") {
        SDL_Quit();
        return fail("no display (SDL found only the '" + drv + "' video driver)");
    }
    std::unique_ptr<TSdlBackend> b(new TSdlBackend);
    if (scale <= 0) {
        if (const char* s = std::getenv("DBV_SCALE")) scale = std::atoi(s);
    }
    if (scale <= 0) {
        float ddpi = 0;
        scale = SDL_GetDisplayDPI(0, &ddpi, nullptr, nullptr) == 0 && ddpi >= 168 ? 2 : 1;
    }
    b->d_->scale = std::clamp(scale, 1, 4);
    b->d_->savedScreen = {GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    TSize screen = b->ScreenSize();
    SetSystemMetrics(SM_CXSCREEN, screen.cx);
    SetSystemMetrics(SM_CYSCREEN, screen.cy);
    SDL_StartTextInput();
    TClipboardBackend cb;
    cb.GetText = [](std::string& text) {
        if (!SDL_HasClipboardText()) return false;
        char* t = SDL_GetClipboardText();
        if (!t) return false;
        text = t;
        SDL_free(t);
        return true;
    };
    cb.SetText = [](const std::string& text) { SDL_SetClipboardText(text.c_str()); };
    cb.Clear = [] { SDL_SetClipboardText(""); };
    SetClipboardBackend(std::move(cb));
    return b;
}

TSdlBackend::~TSdlBackend() {
    if (WindowBackend() == this) SetWindowBackend(nullptr);
    ResetClipboardBackend();
    std::vector<HWND> all;
    for (auto& [h, w] : d_->windows) all.push_back(h);
    for (HWND h : all) d_->Destroy(h);
    for (auto& [c, cur] : d_->cursors) SDL_FreeCursor(cur);
    SetSystemMetrics(SM_CXSCREEN, d_->savedScreen.cx);
    SetSystemMetrics(SM_CYSCREEN, d_->savedScreen.cy);
    SDL_StopTextInput();
    SDL_Quit();
}

void TSdlBackend::WindowShown(HWND) { d_->Flush(); }
void TSdlBackend::WindowHidden(HWND h) { d_->Destroy(h); }
void TSdlBackend::WindowChanged(HWND h) {
    if (SdlWindow* w = d_->Find(h)) d_->Follow(*w);
}
void TSdlBackend::WindowDestroyed(HWND h) { d_->Destroy(h); }

void TSdlBackend::Present(HWND h, const TRect& dirty) { d_->pending[h].push_back(dirty); }

void TSdlBackend::Flush() { d_->Flush(); }

bool TSdlBackend::PumpEvents(int timeoutMs) {
    d_->Flush();
    bool any = false;
    SDL_Event e;
    auto drain = [&] {
        while (SDL_PollEvent(&e)) {
            d_->Handle(e);
            any = true;
        }
    };
    drain();
    if (any || timeoutMs == 0) return any;
    if (int fd = d_->DisplayFd(); fd >= 0) {
        // Sleeps until the display connection has input or the next timer is due (a signal
        // also ends the wait; SDL turns SIGINT and SIGTERM into SDL_QUIT).
        pollfd p{fd, POLLIN, 0};
        poll(&p, 1, timeoutMs);
    } else if (SDL_WaitEventTimeout(&e, timeoutMs < 0 ? -1 : timeoutMs)) {
        d_->Handle(e);
        any = true;
    }
    drain();
    return any;
}

void TSdlBackend::SetCursor(TCursor c) {
    if (c == crNone) {
        SDL_ShowCursor(SDL_DISABLE);
        return;
    }
    SDL_ShowCursor(SDL_ENABLE);
    SDL_Cursor*& cur = d_->cursors[c];
    if (!cur) cur = SDL_CreateSystemCursor(SystemCursor(c));
    if (cur) SDL_SetCursor(cur);
}

TSize TSdlBackend::ScreenSize() const {
    SDL_Rect r;
    if (SDL_GetDisplayUsableBounds(0, &r) != 0 && SDL_GetDisplayBounds(0, &r) != 0) return {1024, 768};
    return {r.w / d_->scale, r.h / d_->scale};
}

int TSdlBackend::Scale() const { return d_->scale; }
uint64_t TSdlBackend::UploadedPixels() const { return d_->uploaded; }
int TSdlBackend::WindowCount() const { return int(d_->windows.size()); }
uint32_t TSdlBackend::SdlWindowId(HWND h) const {
    SdlWindow* w = d_->Find(h);
    return w ? SDL_GetWindowID(w->Window) : 0;
}

}  // namespace vcl
