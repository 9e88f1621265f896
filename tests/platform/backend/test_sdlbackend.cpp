// The SDL2 backend on SDL's offscreen video driver (no display needed): windows follow the
// forms with the pixels the headless path renders, only changed rectangles are uploaded, and
// SDL events arrive as the platform's input with the same coordinates and states.
#include <gtest/gtest.h>

#include <SDL.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "backend/headless.h"
#include "backend/sdlbackend.h"
#include "controls/buttons.h"
#include "controls/extctrls.h"
#include "controls/forms.h"
#include "controls/testing.h"
#include "graphics/clipbrd.h"

using namespace vcl;
using namespace win;

namespace {

class SdlBackendTest : public ::testing::Test {
protected:
    std::unique_ptr<TSdlBackend> sdl;
    std::vector<TCustomForm*> forms;

    void SetUp() override {
        setenv("SDL_VIDEODRIVER", "offscreen", 1);
        std::string why;
        sdl = TSdlBackend::Open(&why, 1);
        ASSERT_TRUE(sdl) << why;
        SetWindowBackend(sdl.get());
    }
    void TearDown() override {
        for (auto it = forms.rbegin(); it != forms.rend(); ++it) {
            const auto& live = Screen->FormList();
            if (std::find(live.begin(), live.end(), *it) != live.end()) (*it)->Free();
        }
        Application->ProcessMessages();
        vcl::testing::ResetInput();
        SetWindowBackend(nullptr);
        sdl.reset();
        EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 1024);  // the backend put the screen back
    }
    TForm* NewForm(int l, int t, int w, int h) {
        TForm* f = Create<TForm>(nullptr);
        f->SetBounds(l, t, w, h);
        f->SetCaption("Probe");
        forms.push_back(f);
        return f;
    }
    // Pushes an SDL event for the window of form and lets the application handle it.
    void Send(SDL_Event e) {
        SDL_PushEvent(&e);
        Application->ProcessMessages();
    }
    SDL_Event MouseButton(TCustomForm* f, TPoint windowPoint, bool down, uint8_t button = SDL_BUTTON_LEFT) {
        SDL_Event e{};
        e.type = down ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
        e.button.windowID = sdl->SdlWindowId(f->GetHandle());
        e.button.button = button;
        e.button.state = down ? SDL_PRESSED : SDL_RELEASED;
        e.button.x = windowPoint.X;
        e.button.y = windowPoint.Y;
        return e;
    }
    SDL_Event Motion(TCustomForm* f, TPoint windowPoint) {
        SDL_Event e{};
        e.type = SDL_MOUSEMOTION;
        e.motion.windowID = sdl->SdlWindowId(f->GetHandle());
        e.motion.x = windowPoint.X;
        e.motion.y = windowPoint.Y;
        return e;
    }
    SDL_Event Key(SDL_Keycode sym, bool down) {
        SDL_Event e{};
        e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
        e.key.keysym.sym = sym;
        e.key.state = down ? SDL_PRESSED : SDL_RELEASED;
        return e;
    }
    SDL_Event Text(const char* text) {
        SDL_Event e{};
        e.type = SDL_TEXTINPUT;
        SDL_strlcpy(e.text.text, text, sizeof e.text.text);
        return e;
    }
    SDL_Event WindowEvent(TCustomForm* f, uint8_t what, int a = 0, int b = 0) {
        SDL_Event e{};
        e.type = SDL_WINDOWEVENT;
        e.window.windowID = sdl->SdlWindowId(f->GetHandle());
        e.window.event = what;
        e.window.data1 = a;
        e.window.data2 = b;
        return e;
    }
    // Where a client point of a control lies in its form's SDL window.
    static TPoint InWindow(TControl* c, TPoint client) {
        TCustomForm* f = GetParentForm(c);
        TPoint s = c->ClientToScreen(client);
        return {s.X - f->GetLeft(), s.Y - f->GetTop()};
    }
};

}  // namespace

TEST_F(SdlBackendTest, WindowsShowTheFormPixelsAndUploadOnlyWhatChanged) {
    TForm* f = NewForm(40, 30, 300, 200);
    auto* p = Create<TPanel>(f);
    p->SetParent(f);
    p->SetBounds(20, 20, 50, 20);
    p->SetCaption("A");
    f->Show();
    Application->ProcessMessages();
    sdl->Flush();
    ASSERT_EQ(sdl->WindowCount(), 1);
    SDL_Window* w = SDL_GetWindowFromID(sdl->SdlWindowId(f->GetHandle()));
    ASSERT_TRUE(w);
    int x, y, ww, wh;
    SDL_GetWindowPosition(w, &x, &y);
    SDL_GetWindowSize(w, &ww, &wh);
    EXPECT_EQ((std::vector<int>{x, y, ww, wh}), (std::vector<int>{40, 30, 300, 200}));
    EXPECT_STREQ(SDL_GetWindowTitle(w), "Probe");

    // The window shows exactly what the headless path renders.
    std::unique_ptr<TBitmap> expected(RenderForm(f));
    sdl->Flush();
    std::vector<uint32_t> shown(size_t(300) * 200);
    SDL_Renderer* r = SDL_GetRenderer(w);
    ASSERT_TRUE(r);
    ASSERT_EQ(SDL_RenderReadPixels(r, nullptr, SDL_PIXELFORMAT_RGB888, shown.data(), 300 * 4), 0);
    int differ = 0;
    for (int yy = 0; yy < 200; ++yy)
        for (int xx = 0; xx < 300; ++xx) {
            uint32_t a = shown[size_t(yy) * 300 + size_t(xx)] & 0xFFFFFF;
            uint32_t b = expected->ScanLine(yy)[xx] & 0xFFFFFF;
            differ += a != b;
        }
    EXPECT_EQ(differ, 0);

    // A repaint of the panel uploads the panel's rectangle only.
    uint64_t before = sdl->UploadedPixels();
    p->Invalidate();
    Application->ProcessMessages();
    sdl->Flush();
    EXPECT_EQ(sdl->UploadedPixels() - before, 50u * 20u);

    // Caption and bounds follow the form; hiding removes the window, a second form adds one.
    f->SetCaption("Renamed");
    f->SetBounds(60, 50, 320, 210);
    sdl->Flush();
    SDL_GetWindowSize(w, &ww, &wh);
    EXPECT_EQ(ww, 320);
    EXPECT_STREQ(SDL_GetWindowTitle(w), "Renamed");
    TForm* g = NewForm(0, 0, 200, 100);
    g->Show();
    sdl->Flush();
    EXPECT_EQ(sdl->WindowCount(), 2);
    f->Hide();
    g->Free();
    forms.pop_back();
    sdl->Flush();
    EXPECT_EQ(sdl->WindowCount(), 0);
}

TEST_F(SdlBackendTest, MouseKeysTextAndWheelArriveAsThePlatformsInput) {
    TForm* f = NewForm(100, 80, 300, 200);
    f->SetKeyPreview(true);
    auto* b = Create<TButton>(f);
    b->SetParent(f);
    b->SetBounds(30, 40, 80, 25);
    f->Show();
    Application->ProcessMessages();
    sdl->Flush();
    std::vector<std::string> log;
    b->OnMouseDown = [&](TObject*, TMouseButton, TShiftState s, int X, int Y) {
        log.push_back("down " + std::to_string(X) + "," + std::to_string(Y) +
                      (s.Contains(ssShift) ? " shift" : "") + (s.Contains(ssDouble) ? " double" : ""));
    };
    b->OnClick = [&](TObject*) { log.push_back("click"); };
    f->OnKeyDown = [&](TObject*, uint16_t& k, TShiftState) { log.push_back("key " + std::to_string(k)); };
    f->OnKeyPress = [&](TObject*, char& c) { log.push_back(std::string("char ") + std::to_string(int(uint8_t(c)))); };
    f->OnMouseWheel = [&](TObject*, TShiftState, int d, TPoint, bool& handled) {
        log.push_back("wheel " + std::to_string(d));
        handled = true;
    };

    // A click with Shift held, at client (7, 9) of the button.
    TPoint at = InWindow(b, {7, 9});
    Send(Key(SDLK_LSHIFT, true));
    Send(Motion(f, at));
    Send(MouseButton(f, at, true));
    Send(MouseButton(f, at, false));
    Send(Key(SDLK_LSHIFT, false));
    EXPECT_EQ(log, (std::vector<std::string>{"key 16", "down 7,9 shift", "click"}));
    // A second press soon after is a double click.
    log.clear();
    Send(MouseButton(f, at, true));
    Send(MouseButton(f, at, false));
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log[0], "down 7,9 double");

    // A letter key and its text: one character; Backspace has no text and is translated.
    vcl::testing::ResetInput();
    log.clear();
    Send(Key(SDLK_q, true));
    Send(Text("q"));
    Send(Key(SDLK_q, false));
    Send(Key(SDLK_BACKSPACE, true));
    Send(Key(SDLK_BACKSPACE, false));
    EXPECT_EQ(log, (std::vector<std::string>{"key 81", "char 113", "key 8", "char 8"}));

    // The wheel: one notch away from the user.
    log.clear();
    SDL_Event e{};
    e.type = SDL_MOUSEWHEEL;
    e.wheel.windowID = sdl->SdlWindowId(f->GetHandle());
    e.wheel.y = 1;
    e.wheel.preciseY = 1.0f;
    Send(e);
    EXPECT_EQ(log, (std::vector<std::string>{"wheel 120"}));
}

TEST_F(SdlBackendTest, WindowEventsMoveSizeAndCloseTheForm) {
    TForm* f = NewForm(100, 80, 300, 200);
    bool closed = false;
    f->OnClose = [&](TObject*, TCloseAction& a) {
        closed = true;
        a = caHide;
    };
    f->Show();
    Application->ProcessMessages();
    sdl->Flush();
    Send(WindowEvent(f, SDL_WINDOWEVENT_MOVED, 150, 120));
    EXPECT_EQ(f->GetBoundsRect(), Bounds(150, 120, 300, 200));
    Send(WindowEvent(f, SDL_WINDOWEVENT_SIZE_CHANGED, 400, 250));
    EXPECT_EQ(f->GetBoundsRect(), Bounds(150, 120, 400, 250));
    // Constraints hold against the window manager too.
    f->GetConstraints()->SetMaxWidth(350);
    Send(WindowEvent(f, SDL_WINDOWEVENT_SIZE_CHANGED, 500, 250));
    EXPECT_EQ(f->GetWidth(), 350);
    // The close box of the caption and the window manager's close both close the form.
    TRect nc = f->FrameInsets();
    TPoint box{f->GetWidth() - nc.Right - 9, nc.Left + 9};
    Send(MouseButton(f, box, true));
    Send(MouseButton(f, box, false));
    EXPECT_TRUE(closed);
    EXPECT_FALSE(f->GetVisible());
    closed = false;
    f->Show();
    sdl->Flush();
    Send(WindowEvent(f, SDL_WINDOWEVENT_CLOSE));
    EXPECT_TRUE(closed);
}

TEST_F(SdlBackendTest, ModalLoopsPumpEventsAndTimersRunFromTheRealClock) {
    TForm* owner = NewForm(0, 0, 300, 200);
    owner->Show();
    TForm* dlg = NewForm(50, 50, 200, 120);
    auto* cancel = Create<TButton>(dlg);
    cancel->SetParent(dlg);
    cancel->SetBounds(10, 10, 80, 25);
    cancel->SetModalResult(mrCancel);
    cancel->SetCancel(true);
    // A timer presses Escape through SDL while the modal loop waits.
    auto* t = Create<TTimer>(owner);
    t->SetInterval(40);
    int fired = 0;
    auto start = std::chrono::steady_clock::now();
    t->OnTimer = [&](TObject*) {
        ++fired;
        t->SetEnabled(false);
        SDL_Event e{};
        e.type = SDL_KEYDOWN;
        e.key.keysym.sym = SDLK_ESCAPE;
        SDL_PushEvent(&e);
    };
    EXPECT_EQ(dlg->ShowModal(), mrCancel);
    auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(fired, 1);
    EXPECT_GE(waited, std::chrono::milliseconds(35));
    EXPECT_LT(waited, std::chrono::seconds(5));
    // The modal form's window came and went; the owner's stays.
    sdl->Flush();
    EXPECT_EQ(sdl->WindowCount(), 1);
}

TEST_F(SdlBackendTest, ClipboardTextGoesThroughTheSystemClipboard) {
    // The offscreen driver keeps SDL's clipboard in memory; the application clipboard reads
    // back what SDL holds.
    Clipboard()->SetAsText("from the application");
    char* t = SDL_GetClipboardText();
    EXPECT_STREQ(t, "from the application");
    SDL_free(t);
    SDL_SetClipboardText("from another program");
    EXPECT_EQ(Clipboard()->GetAsText(), "from another program");
    EXPECT_TRUE(Clipboard()->HasFormat(CF_TEXT));
}

namespace {
// Counts the pointer entering and leaving it.
class TEnterLeavePanel : public TPanel {
    DBV_CLASS(TEnterLeavePanel, TPanel)
public:
    using TPanel::TPanel;
    int enters = 0, leaves = 0;

protected:
    void CMMouseEnter(TMessage& M) override {
        ++enters;
        inherited::CMMouseEnter(M);
    }
    void CMMouseLeave(TMessage& M) override {
        ++leaves;
        inherited::CMMouseLeave(M);
    }
};
DBV_IMPLEMENT_CLASS(TEnterLeavePanel)
}  // namespace

TEST_F(SdlBackendTest, PointerLeavingAWindowLeavesTheControlAndHintsGetWindowsToo) {
    TForm* f = NewForm(100, 80, 300, 200);
    auto* p = Create<TEnterLeavePanel>(f);
    p->SetParent(f);
    p->SetBounds(10, 10, 100, 50);
    p->SetHint("Panel hint");
    p->SetShowHint(true);
    f->Show();
    Application->ProcessMessages();
    sdl->Flush();
    Application->SetHintPause(20);
    Send(Motion(f, InWindow(p, {5, 5})));
    EXPECT_EQ(p->enters, 1);
    // The hint shows after its pause on the real clock, in a window of its own.
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (Application->ShownHint().empty() && std::chrono::steady_clock::now() < until)
        Application->HandleMessage();
    EXPECT_EQ(Application->ShownHint(), "Panel hint");
    sdl->Flush();
    EXPECT_EQ(sdl->WindowCount(), 2);
    Send(WindowEvent(f, SDL_WINDOWEVENT_LEAVE));
    EXPECT_EQ(p->leaves, 1);
    EXPECT_EQ(Application->ShownHint(), "");
    Application->SetHintPause(500);
}

TEST_F(SdlBackendTest, AScaledWindowMapsItsPixelsToFormPixels) {
    SetWindowBackend(nullptr);
    sdl.reset();
    std::string why;
    sdl = TSdlBackend::Open(&why, 2);
    ASSERT_TRUE(sdl) << why;
    SetWindowBackend(sdl.get());
    EXPECT_EQ(sdl->Scale(), 2);
    TForm* f = NewForm(10, 20, 300, 200);
    auto* b = Create<TButton>(f);
    b->SetParent(f);
    b->SetBounds(30, 40, 80, 25);
    int downX = -1, downY = -1;
    b->OnMouseDown = [&](TObject*, TMouseButton, TShiftState, int X, int Y) {
        downX = X;
        downY = Y;
    };
    f->Show();
    Application->ProcessMessages();
    sdl->Flush();
    SDL_Window* w = SDL_GetWindowFromID(sdl->SdlWindowId(f->GetHandle()));
    int ww, wh;
    SDL_GetWindowSize(w, &ww, &wh);
    EXPECT_EQ(ww, 600);
    EXPECT_EQ(wh, 400);
    TPoint at = InWindow(b, {7, 9});
    TPoint scaled{at.X * 2 + 1, at.Y * 2 + 1};
    Send(Motion(f, scaled));
    Send(MouseButton(f, scaled, true));
    Send(MouseButton(f, scaled, false));
    EXPECT_EQ(downX, 7);
    EXPECT_EQ(downY, 9);
    // A window resized by the window manager sizes the form in form pixels.
    Send(WindowEvent(f, SDL_WINDOWEVENT_SIZE_CHANGED, 700, 500));
    EXPECT_EQ(f->GetWidth(), 350);
    EXPECT_EQ(f->GetHeight(), 250);
}

// SDL starts D-Bus and never shuts it down; that third-party leak alone is not reported.
extern "C" const char* __lsan_default_suppressions() { return "leak:libdbus-1.so\n"; }

TEST(SdlBackendOpen, WithoutADesktopThereIsNoBackend) {
    std::string savedDriver = getenv("SDL_VIDEODRIVER") ? getenv("SDL_VIDEODRIVER") : "";
    const char* d = getenv("DISPLAY");
    std::string savedDisplay = d ? d : "";
    unsetenv("SDL_VIDEODRIVER");
    unsetenv("WAYLAND_DISPLAY");
    struct Case {
        const char* display;
        const char* reason;
    };
    // No DISPLAY at all; a DISPLAY naming no server (SDL would fall back to its offscreen
    // driver, a window nobody sees, and the program would wait forever).
    for (Case c : {Case{nullptr, "DISPLAY is not set"}, Case{":7913", "video"}}) {
        if (c.display)
            setenv("DISPLAY", c.display, 1);
        else
            unsetenv("DISPLAY");
        std::string why;
        std::unique_ptr<TSdlBackend> b = TSdlBackend::Open(&why);
        EXPECT_FALSE(b) << (c.display ? c.display : "(unset)");
        EXPECT_NE(why.find(c.reason), std::string::npos) << why;
    }
    if (savedDisplay.empty())
        unsetenv("DISPLAY");
    else
        setenv("DISPLAY", savedDisplay.c_str(), 1);
    if (!savedDriver.empty()) setenv("SDL_VIDEODRIVER", savedDriver.c_str(), 1);
}
