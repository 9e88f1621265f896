#include "controls/testing.h"

#include <deque>
#include <utility>

#include "controls/buttons.h"
#include "controls/dlgparts.h"
#include "controls/edit.h"
#include "controls/input.h"
#include "controls/wininternal.h"
#include "rtl/sysutils.h"

namespace vcl::testing {

using namespace win;

// ---- clock ----
TTestClock::TTestClock(uint32_t startTick) : clock_(startTick) { SetClock(&clock_); }

TTestClock::~TTestClock() { SetClock(nullptr); }

void TTestClock::Advance(uint32_t ms) {
    uint32_t left = ms;
    for (int guard = 0; guard < 1000000; ++guard) {
        int next = NextTimerDueIn();
        if (next < 0 || uint32_t(next) > left) break;
        clock_.Advance(uint32_t(next));  // the clock hook fires what is due
        left -= uint32_t(next);
        Application->ProcessMessages();
        if (next == 0 && NextTimerDueIn() == 0) break;  // nothing moves any more
    }
    if (left) clock_.Advance(left);
    Application->ProcessMessages();
}

// ---- mouse ----
static TPoint ToScreen(TControl* c, int x, int y) {
    if (!c) throw EInvalidArgument("No control for the input");
    return c->ClientToScreen({x, y});
}

static void HoldShift(TShiftState shift, bool down) {
    if (shift.Contains(ssShift)) SetKeyDown(VK_SHIFT, down);
    if (shift.Contains(ssCtrl)) SetKeyDown(VK_CONTROL, down);
    if (shift.Contains(ssAlt)) SetKeyDown(VK_MENU, down);
}

void ProcessMessages() { Application->ProcessMessages(); }

void MouseMove(TControl* c, int x, int y, TShiftState shift) {
    TPoint p = ToScreen(c, x, y);
    HoldShift(shift, true);
    input::MouseMoveTo(p);
    HoldShift(shift, false);
    ProcessMessages();
}

void MouseDown(TControl* c, TMouseButton b, int x, int y, TShiftState shift) {
    TPoint p = ToScreen(c, x, y);
    HoldShift(shift, true);
    input::MouseButton(b, true, p);
    HoldShift(shift, false);
    ProcessMessages();
}

void MouseUp(TControl* c, TMouseButton b, int x, int y, TShiftState shift) {
    TPoint p = ToScreen(c, x, y);
    HoldShift(shift, true);
    input::MouseButton(b, false, p);
    HoldShift(shift, false);
    ProcessMessages();
}

void Click(TControl* c, int x, int y, TShiftState shift, TMouseButton b) {
    TPoint p = ToScreen(c, x, y);
    input::ResetDoubleClick();
    HoldShift(shift, true);
    input::MouseMoveTo(p);
    input::MouseButton(b, true, p);
    input::MouseButton(b, false, p);
    HoldShift(shift, false);
    input::ResetDoubleClick();
    ProcessMessages();
}

void Click(TControl* c) { Click(c, c->GetClientWidth() / 2, c->GetClientHeight() / 2); }

void DoubleClick(TControl* c, int x, int y, TShiftState shift) {
    TPoint p = ToScreen(c, x, y);
    input::ResetDoubleClick();
    HoldShift(shift, true);
    input::MouseMoveTo(p);
    input::MouseButton(mbLeft, true, p);
    input::MouseButton(mbLeft, false, p);
    input::MouseButton(mbLeft, true, p);
    input::MouseButton(mbLeft, false, p);
    HoldShift(shift, false);
    input::ResetDoubleClick();
    ProcessMessages();
}

void DoubleClick(TControl* c) { DoubleClick(c, c->GetClientWidth() / 2, c->GetClientHeight() / 2); }

void MouseAway() {
    input::MouseMoveTo({-10000, -10000});
    ProcessMessages();
}

void MouseWheel(int delta, TShiftState shift) {
    HoldShift(shift, true);
    input::MouseWheel(delta, GetCursorPos());
    HoldShift(shift, false);
    ProcessMessages();
}

// ---- window scroll bars ----
static TPoint WindowToScreen(TWinControl* c, TPoint p) {
    TRect nc = c->NonClientInsets();
    return c->ClientToScreen({p.X - nc.Left, p.Y - nc.Top});
}

TPoint ScrollBarPoint(TWinControl* c, int bar, int part) {
    if (!c) throw EInvalidArgument("No control for the input");
    ws::ScrollBarLayout l = ws::LayoutScrollBar(c, bar);
    // Spans along the bar: [start, end) of each part.
    auto span = [&](const TRect& r) {
        return l.Vertical ? std::pair{r.Top, r.Bottom} : std::pair{r.Left, r.Right};
    };
    auto [thumbStart, thumbEnd] = span(l.Thumb);
    bool thumb = !IsRectEmpty(l.Thumb);
    std::pair<int, int> at{0, 0};
    bool found = l.Shown;
    switch (part) {
        case SB_LINEUP: at = span(l.LineUp); break;
        case SB_LINEDOWN: at = span(l.LineDown); break;
        case SB_PAGEUP:
            found = found && thumb && thumbStart > l.TrackStart;
            at = {l.TrackStart, thumbStart};
            break;
        case SB_PAGEDOWN:
            found = found && thumb && thumbEnd < l.TrackEnd;
            at = {thumbEnd, l.TrackEnd};
            break;
        case SB_THUMBTRACK:
            found = found && thumb;
            at = {thumbStart, thumbEnd};
            break;
        default: found = false; break;
    }
    if (!found)
        throw EInvalidOperation(Format("%s has no scroll-bar part %d now", c->ClassName().c_str(), part));
    int along = (at.first + at.second) / 2;
    int across = l.Vertical ? (l.Bar.Left + l.Bar.Right) / 2 : (l.Bar.Top + l.Bar.Bottom) / 2;
    return WindowToScreen(c, l.Vertical ? TPoint{across, along} : TPoint{along, across});
}

void ScrollBarPress(TWinControl* c, int bar, int part) {
    TPoint p = ScrollBarPoint(c, bar, part);
    input::ResetDoubleClick();
    input::MouseMoveTo(p);
    input::MouseButton(mbLeft, true, p);
    ProcessMessages();
}

void ScrollBarRelease() {
    input::MouseButton(mbLeft, false, GetCursorPos());
    ProcessMessages();
}

void ScrollBarClick(TWinControl* c, int bar, int part) {
    ScrollBarPress(c, bar, part);
    ScrollBarRelease();
}

void DragScrollThumb(TWinControl* c, int bar, int pos, int steps) {
    TPoint from = ScrollBarPoint(c, bar, SB_THUMBTRACK);
    ws::ScrollBarLayout l = ws::LayoutScrollBar(c, bar);
    // The pointer keeps its place on the thumb while the thumb goes to pos.
    int shift = ws::ThumbStartForPos(c, bar, pos) - (l.Vertical ? l.Thumb.Top : l.Thumb.Left);
    TPoint to = l.Vertical ? TPoint{from.X, from.Y + shift} : TPoint{from.X + shift, from.Y};
    input::ResetDoubleClick();
    input::MouseMoveTo(from);
    input::MouseButton(mbLeft, true, from);
    ProcessMessages();
    steps = std::max(1, steps);
    for (int i = 1; i <= steps; ++i) {
        input::MouseMoveTo({from.X + (to.X - from.X) * i / steps, from.Y + (to.Y - from.Y) * i / steps});
        ProcessMessages();
    }
    ScrollBarRelease();
}

// ---- keys ----
void KeyDown(uint16_t vk, TShiftState shift) {
    HoldShift(shift, true);
    input::Key(vk, true);
    ProcessMessages();
    HoldShift(shift, false);
}

void KeyUp(uint16_t vk, TShiftState shift) {
    HoldShift(shift, true);
    input::Key(vk, false);
    ProcessMessages();
    HoldShift(shift, false);
}

void PressKey(uint16_t vk, TShiftState shift) {
    HoldShift(shift, true);
    input::Key(vk, true);
    ProcessMessages();
    input::Key(vk, false);
    ProcessMessages();
    HoldShift(shift, false);
}

void TypeText(const std::string& text) {
    for (char ch : text) {
        input::Char(ch);
        ProcessMessages();
    }
}

void UserClose(TCustomForm* form) {
    SendMessage(form->GetHandle(), WM_CLOSE);
    ProcessMessages();
}

// ---- modal scripts ----
namespace {
struct Script {
    std::string className;
    TModalScript fn;
};
struct ModalState {
    std::deque<Script> queue;
    TModalScript fallback;
    std::vector<std::string> log;
    std::vector<TCustomForm*> running;
};
ModalState& M() {
    static ModalState s;
    return s;
}
}  // namespace

void ExpectModal(TModalScript script) { M().queue.push_back({"", std::move(script)}); }
void ExpectModal(const std::string& className, TModalScript script) {
    M().queue.push_back({className, std::move(script)});
}
void SetModalHandler(TModalScript script) { M().fallback = std::move(script); }
size_t PendingModalScripts() { return M().queue.size(); }
void ClearModalScripts() {
    M().queue.clear();
    M().fallback = nullptr;
}
const std::vector<std::string>& ModalLog() { return M().log; }
void ClearModalLog() { M().log.clear(); }
TCustomForm* CurrentModalForm() { return M().running.empty() ? nullptr : M().running.back(); }

namespace detail {
void ModalStarting(TCustomForm* f) {
    M().log.push_back(f->ClassName());
    M().running.push_back(f);
}

bool RunModalScript(TCustomForm* f) {
    auto& q = M().queue;
    TModalScript fn;
    for (auto it = q.begin(); it != q.end(); ++it) {
        if (it->className.empty() || SameText(it->className, f->ClassName())) {
            fn = std::move(it->fn);
            q.erase(it);
            break;
        }
    }
    if (!fn) fn = M().fallback;
    if (!fn) return false;
    Application->ProcessMessages();
    fn(*f);
    return true;
}

void ModalEnded(TCustomForm* f) {
    auto& r = M().running;
    for (auto it = r.end(); it != r.begin();) {
        --it;
        if (*it == f) {
            r.erase(it);
            break;
        }
    }
}
}  // namespace detail

// ---- message boxes and beeps ----
namespace {
// A program that runs for long keeps the newest records only; a record's number counts
// every box ever recorded, so a box answered after older ones were dropped still finds its
// own entry.
constexpr size_t kMaxRecords = 1000;
std::vector<TMessageBoxRecord>& Boxes() {
    static std::vector<TMessageBoxRecord> v;
    return v;
}
size_t& DroppedBoxes() {
    static size_t n = 0;
    return n;
}
}  // namespace

const std::vector<TMessageBoxRecord>& MessageBoxLog() { return Boxes(); }
void ClearMessageBoxLog() {
    DroppedBoxes() += Boxes().size();
    Boxes().clear();
}

namespace detail {
size_t RecordMessageBox(const TMessageBoxRecord& r) {
    std::vector<TMessageBoxRecord>& v = Boxes();
    if (v.size() >= kMaxRecords) {
        size_t drop = kMaxRecords / 2;
        v.erase(v.begin(), v.begin() + long(drop));
        DroppedBoxes() += drop;
    }
    v.push_back(r);
    return DroppedBoxes() + v.size() - 1;
}
void SetMessageBoxResult(size_t number, TModalResult r, const std::string& value) {
    if (number < DroppedBoxes() || number - DroppedBoxes() >= Boxes().size()) return;
    TMessageBoxRecord& rec = Boxes()[number - DroppedBoxes()];
    rec.Result = r;
    if (rec.IsInput) rec.Value = value;
}
}  // namespace detail

void ExpectMessageBox(TModalResult answer) {
    ExpectModal("TMessageForm", [answer](TCustomForm& f) {
        for (TComponent* c : f.ComponentList())
            if (auto* b = dynamic_cast<TButton*>(c); b && b->GetModalResult() == answer) {
                Click(b);
                return;
            }
        throw EInvalidOperation(Format("The message box \"%s\" has no button for result %d",
                                       f.GetCaption().c_str(), answer));
    });
}

void ExpectInputBox(const std::string& text, bool ok) {
    ExpectModal("TInputQueryForm", [text, ok](TCustomForm& f) {
        TypeText(text);
        auto* b = dynamic_cast<TButton*>(f.FindComponent(ok ? "OKButton" : "CancelButton"));
        if (!b) throw EInvalidOperation("The input box has no button");
        Click(b);
    });
}

const std::vector<uint32_t>& BeepLog() { return ws::BeepLog(); }
void ClearBeepLog() { ws::BeepLog().clear(); }

// ---- common dialogs ----
namespace {
template <class T>
T* Part(TCustomForm& f, const char* name) {
    auto* c = dynamic_cast<T*>(f.FindComponent(name));
    if (!c) throw EInvalidOperation(Format("The dialog %s has no %s", f.ClassName().c_str(), name));
    return c;
}

// Runs fn with message boxes that no queued script answers dismissed by Escape.
void WithBoxesDismissed(const std::function<void()>& fn) {
    TModalScript saved = M().fallback;
    M().fallback = [](TCustomForm&) { PressKey(VK_ESCAPE); };
    try {
        fn();
    } catch (...) {
        M().fallback = saved;
        throw;
    }
    M().fallback = saved;
}

void Replace(TCustomEdit* e, const std::string& text) {
    e->SetFocus();
    e->SelectAll();
    ProcessMessages();
    if (text.empty()) PressKey(VK_DELETE);
    else TypeText(text);
}
}  // namespace

void ExpectFileDialog(const std::string& fileName, TDialogHook whileOpen) {
    ExpectModal("TFileDialogForm", [fileName, whileOpen](TCustomForm& f) {
        if (whileOpen) whileOpen(f);
        Replace(Part<TCustomEdit>(f, "FileNameEdit"), fileName);
        WithBoxesDismissed([&] { Click(Part<TButton>(f, "OKButton")); });
        if (f.GetModalResult() == mrNone) Click(Part<TButton>(f, "CancelButton"));
    });
}

void ExpectFileDialogCancel(TDialogHook whileOpen) {
    ExpectModal("TFileDialogForm", [whileOpen](TCustomForm& f) {
        if (whileOpen) whileOpen(f);
        Click(Part<TButton>(f, "CancelButton"));
    });
}

void ExpectFontDialog(const std::string& face, int size, TFontStyles style, TColor color,
                      TDialogHook whileOpen) {
    ExpectModal("TFontForm", [=](TCustomForm& f) {
        if (whileOpen) whileOpen(f);
        auto* faces = Part<TDialogList>(f, "FaceList");
        int fi = faces->IndexOf(face);
        if (fi < 0) {
            Click(Part<TButton>(f, "CancelButton"));
            throw EInvalidOperation(Format("The font dialog offers no face \"%s\"", face.c_str()));
        }
        faces->SetItemIndex(fi);
        Part<TDialogList>(f, "StyleList")
            ->SetItemIndex((style.Contains(fsItalic) ? 1 : 0) + (style.Contains(fsBold) ? 2 : 0));
        Replace(Part<TCustomEdit>(f, "SizeEdit"), std::to_string(size));
        if (auto* s = dynamic_cast<TDialogCheckBox*>(f.FindComponent("StrikeOutCheck")))
            s->SetChecked(style.Contains(fsStrikeOut));
        if (auto* u = dynamic_cast<TDialogCheckBox*>(f.FindComponent("UnderlineCheck")))
            u->SetChecked(style.Contains(fsUnderline));
        if (auto* c = dynamic_cast<TDialogChoice*>(f.FindComponent("ColorChoice"))) {
            static const char* const names[] = {"Black", "Maroon", "Green", "Olive", "Navy", "Purple",
                                                "Teal", "Gray", "Silver", "Red", "Lime", "Yellow",
                                                "Blue", "Fuchsia", "Aqua", "White"};
            static const TColor colors[] = {clBlack, clMaroon, clGreen, clOlive, clNavy, clPurple,
                                            clTeal, clGray, clSilver, clRed, clLime, clYellow,
                                            clBlue, clFuchsia, clAqua, clWhite};
            for (size_t i = 0; i < std::size(colors); ++i)
                if (ColorToRGB(color) == colors[i]) {
                    const auto& items = c->GetItems();
                    auto it = std::find(items.begin(), items.end(), names[i]);
                    if (it != items.end()) c->SetItemIndex(int(it - items.begin()));
                }
        }
        WithBoxesDismissed([&] { Click(Part<TButton>(f, "OKButton")); });
        if (f.GetModalResult() == mrNone) Click(Part<TButton>(f, "CancelButton"));
    });
}

void ExpectFontDialogCancel(TDialogHook whileOpen) {
    ExpectModal("TFontForm", [whileOpen](TCustomForm& f) {
        if (whileOpen) whileOpen(f);
        Click(Part<TButton>(f, "CancelButton"));
    });
}

void FindDialogSearch(TFindDialog* dialog, const std::string& text) {
    TCustomForm* f = dialog ? dialog->Form() : nullptr;
    if (!f || !f->GetVisible()) throw EInvalidOperation("The find dialog is not shown");
    Replace(Part<TCustomEdit>(*f, "FindEdit"), text);
    Click(Part<TButton>(*f, "FindNextButton"));
}

// ---- menus ----
namespace {
std::vector<std::string> SplitPath(const std::string& path) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        size_t bar = path.find('|', start);
        parts.push_back(path.substr(start, bar == std::string::npos ? std::string::npos : bar - start));
        if (bar == std::string::npos) break;
        start = bar + 1;
    }
    return parts;
}

void ClickScreen(TPoint p, TMouseButton b = mbLeft) {
    input::ResetDoubleClick();
    input::MouseMoveTo(p);
    input::MouseButton(b, true, p);
    input::MouseButton(b, false, p);
    input::ResetDoubleClick();
    ProcessMessages();
}

TPoint Centre(const TRect& r) { return {(r.Left + r.Right) / 2, (r.Top + r.Bottom) / 2}; }
}  // namespace

TMenuItem* FindMenuItem(TMenu* menu, const std::string& path) {
    if (!menu) throw EInvalidOperation("No menu");
    TMenuItem* it = menu->GetItems();
    for (const std::string& part : SplitPath(path)) {
        TMenuItem* next = it->Find(part);
        if (!next)
            throw EInvalidOperation(Format("Menu %s has no item \"%s\"", menu->GetName().c_str(), path.c_str()));
        it = next;
    }
    return it;
}

void ClickMenuItem(TMenu* menu, const std::string& path) {
    std::vector<std::string> parts = SplitPath(path);
    FindMenuItem(menu, path);  // the whole path exists
    TMenuItem* it = menu->GetItems();
    try {
        for (size_t i = 0; i < parts.size(); ++i) {
            it = it->Find(parts[i]);
            if (!it->GetVisible())
                throw EInvalidOperation(Format("Menu item \"%s\" is hidden", parts[i].c_str()));
            if (!it->GetEnabled())
                throw EInvalidOperation(Format("Menu item \"%s\" is disabled", parts[i].c_str()));
            if (i == 0) {
                if (auto* mm = dynamic_cast<TMainMenu*>(menu)) {
                    TCustomForm* f = mm->Form();
                    if (!f || !f->IsShowing())
                        throw EInvalidOperation(Format("Menu %s is on no showing form", menu->GetName().c_str()));
                    TRect r = MenuItemScreenRect(it);
                    if (IsRectEmpty(r)) throw EInvalidOperation("The menu bar shows no such item");
                    if (!(MenuActive() && OpenMenuWindows().size() && OpenMenuWindowItem(OpenMenuWindows()[0]) == it))
                        ClickScreen(Centre(r));
                    continue;
                }
                if (auto* pm = dynamic_cast<TPopupMenu*>(menu); pm && !MenuActive()) {
                    TPoint at = GetCursorPos();
                    if (at.X < 0 || at.Y < 0) at = {100, 100};
                    pm->Popup(at.X, at.Y);
                    ProcessMessages();
                }
            }
            TRect r = MenuItemScreenRect(it);
            if (IsRectEmpty(r))
                throw EInvalidOperation(Format("Menu item \"%s\" is not shown", parts[i].c_str()));
            if (i + 1 < parts.size()) {
                input::MouseMoveTo(Centre(r));  // a sub-menu opens on hovering
                ProcessMessages();
            } else {
                ClickScreen(Centre(r));
            }
        }
    } catch (...) {
        CloseMenus();
        throw;
    }
}

void OpenMenu(TCustomForm* form, const std::string& caption) {
    if (!form || !form->GetMenu()) throw EInvalidOperation("The form has no menu");
    TMenuItem* it = FindMenuItem(form->GetMenu(), caption);
    TRect r = MenuItemScreenRect(it);
    if (IsRectEmpty(r)) throw EInvalidOperation("The menu bar shows no such item");
    ClickScreen(Centre(r));
}

void RightClick(TControl* c, int x, int y) { Click(c, x, y, {}, mbRight); }

void ClickOpenMenuItem(const std::string& caption) {
    std::vector<TCustomControl*> w = OpenMenuWindows();
    TMenuItem* p = w.empty() ? nullptr : OpenMenuWindowItem(w.back());
    TMenuItem* it = p ? p->Find(caption) : nullptr;
    if (!it || IsRectEmpty(MenuItemScreenRect(it)))
        throw EInvalidOperation(Format("No open menu shows \"%s\"", caption.c_str()));
    ClickScreen(Centre(MenuItemScreenRect(it)));
}

std::vector<std::string> OpenMenuCaptions() {
    std::vector<std::string> v;
    std::vector<TCustomControl*> w = OpenMenuWindows();
    if (w.empty()) return v;
    TMenuItem* p = OpenMenuWindowItem(w.back());
    for (int i = 0; p && i < p->Count(); ++i)
        if (p->Items(i)->GetVisible()) v.push_back(p->Items(i)->GetCaption());
    return v;
}

// ---- painting ----
TCanvasLog PaintLog(TControl* c, bool includeChildren) {
    TCanvasLog log;
    TWinControl* w = c->PaintParent();
    if (!w || !w->HandleAllocated() || !c->IsShowing())
        throw EInvalidOperation(Format("%s is not showing", c->GetName().empty()
                                                                 ? c->ClassName().c_str()
                                                                 : c->GetName().c_str()));
    Application->ProcessMessages();
    TRect r = c->GetClientRect();
    if (w != c) {
        r = c->GetBoundsRect();
    }
    TControlCanvas::FreeDeviceContexts();
    ws::PaintTree(w, r, &log, includeChildren ? nullptr : c);
    return log;
}

std::vector<std::string> TakeShownErrors() {
    std::vector<std::string> v = Application->ShownErrors();
    Application->ClearShownErrors();
    return v;
}

void ResetInput() {
    CloseMenus();
    input::Reset();
    ClearModalScripts();
    ClearMessageBoxLog();
    ClearBeepLog();
    Application->ClearTerminated();
}

}  // namespace vcl::testing
