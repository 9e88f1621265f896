#include "controls/menus.h"

#include <algorithm>
#include <cctype>

#include "controls/dlgparts.h"
#include "controls/forms.h"
#include "controls/input.h"
#include "controls/wininternal.h"
#include "rtl/sysutils.h"

namespace vcl {

using namespace win;

// =============================================================================================
// Shortcuts

TShortCut ShortCut(uint16_t Key, TShiftState Shift) {
    if (Key & 0xFF00) return scNone;
    TShortCut s = TShortCut(Key & 0xFF);
    if (Shift.Contains(ssShift)) s |= scShift;
    if (Shift.Contains(ssCtrl)) s |= scCtrl;
    if (Shift.Contains(ssAlt)) s |= scAlt;
    return s;
}

void ShortCutToKey(TShortCut sc, uint16_t& Key, TShiftState& Shift) {
    Key = uint16_t(sc & 0xFF);
    Shift = {};
    if (sc & scShift) Shift.Include(ssShift);
    if (sc & scCtrl) Shift.Include(ssCtrl);
    if (sc & scAlt) Shift.Include(ssAlt);
}

namespace {
struct KeyName {
    uint16_t vk;
    const char* name;
};
constexpr KeyName kKeyNames[] = {
    {VK_BACK, "BkSp"}, {VK_TAB, "Tab"},     {VK_ESCAPE, "Esc"},  {VK_RETURN, "Enter"},
    {VK_SPACE, "Space"}, {VK_PRIOR, "PgUp"}, {VK_NEXT, "PgDn"},  {VK_END, "End"},
    {VK_HOME, "Home"},  {VK_LEFT, "Left"},   {VK_UP, "Up"},      {VK_RIGHT, "Right"},
    {VK_DOWN, "Down"},  {VK_INSERT, "Ins"},  {VK_DELETE, "Del"},
};

std::string KeyText(uint16_t vk) {
    if ((vk >= 'A' && vk <= 'Z') || (vk >= '0' && vk <= '9')) return std::string(1, char(vk));
    if (vk >= VK_F1 && vk <= VK_F12) return "F" + std::to_string(vk - VK_F1 + 1);
    for (const KeyName& k : kKeyNames)
        if (k.vk == vk) return k.name;
    return {};
}

uint16_t KeyFromText(std::string_view t) {
    if (t.size() == 1) {
        char c = char(std::toupper(static_cast<unsigned char>(t[0])));
        if ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return uint16_t(c);
        return 0;
    }
    for (const KeyName& k : kKeyNames)
        if (SameText(t, k.name)) return k.vk;
    if (SameText(t, "Delete")) return VK_DELETE;
    if (SameText(t, "Insert")) return VK_INSERT;
    if (SameText(t, "Escape")) return VK_ESCAPE;
    if (SameText(t, "Backspace")) return VK_BACK;
    if (t.size() >= 2 && (t[0] == 'F' || t[0] == 'f')) {
        int n = 0;
        for (char c : t.substr(1)) {
            if (c < '0' || c > '9') return 0;
            n = n * 10 + (c - '0');
        }
        if (n >= 1 && n <= 12) return uint16_t(VK_F1 + n - 1);
    }
    return 0;
}
}  // namespace

std::string ShortCutToText(TShortCut sc) {
    std::string key = KeyText(uint16_t(sc & 0xFF));
    if (key.empty()) return {};
    std::string s;
    if (sc & scShift) s += "Shift+";
    if (sc & scCtrl) s += "Ctrl+";
    if (sc & scAlt) s += "Alt+";
    return s + key;
}

TShortCut TextToShortCut(const std::string& Text) {
    std::string_view t = Text;
    while (!t.empty() && t.front() == ' ') t.remove_prefix(1);
    while (!t.empty() && t.back() == ' ') t.remove_suffix(1);
    TShortCut mods = 0;
    if (t.size() >= 2 && t[0] == '^') {
        mods |= scCtrl;
        t.remove_prefix(1);
    }
    for (;;) {
        auto take = [&](std::string_view prefix, TShortCut bit) {
            if (t.size() > prefix.size() && SameText(t.substr(0, prefix.size()), prefix)) {
                mods |= bit;
                t.remove_prefix(prefix.size());
                return true;
            }
            return false;
        };
        if (take("Shift+", scShift) || take("Ctrl+", scCtrl) || take("Alt+", scAlt)) continue;
        break;
    }
    uint16_t vk = KeyFromText(t);
    return vk ? TShortCut(vk | mods) : scNone;
}

// =============================================================================================
// Tracking of open menus

namespace {

class TMenuWindow;

struct Level {
    TMenuItem* Parent = nullptr;
    TMenuWindow* Window = nullptr;
    std::vector<TMenuItem*> Shown;  // the visible sub-items, top to bottom
    int Selected = -1;
};

struct Tracker {
    TMenu* Menu = nullptr;
    TCustomForm* BarForm = nullptr;  // the bar a drop-down belongs to (null: a popup)
    TMenuItem* BarItem = nullptr;    // its highlighted item
    std::vector<Level> Levels;
    bool Active() const { return Menu != nullptr; }
};
Tracker& T() {
    static Tracker t;
    return t;
}

// The font menus are drawn with.
TFont* MenuFont() {
    static TFont* f = Create<TFont>();
    return f;
}

constexpr int kEdge = 3;         // the raised frame of a drop-down
constexpr int kGutter = 20;      // check-mark column
constexpr int kArrowZone = 16;   // sub-menu arrow column
constexpr int kSeparatorH = 9;
constexpr uint16_t kVkApps = 0x5D;  // the context-menu key

int ItemHeight() {
    static int h = [] {
        TBitmap* b = Create<TBitmap>();
        b->GetCanvas()->GetFont()->Assign(MenuFont());
        int th = b->GetCanvas()->TextHeight("Wg");
        b->Free();
        return std::max(th + 6, 19);
    }();
    return h;
}

bool Selectable(TMenuItem* it) { return it && !it->IsLine() && it->GetVisible(); }

bool HasSubItems(TMenuItem* it) {
    for (int i = 0; i < it->Count(); ++i)
        if (it->Items(i)->GetVisible()) return true;
    return false;
}

void RunReported(TObject* sender, const std::function<void()>& fn) {
    try {
        fn();
    } catch (...) {
        Application->HandleException(sender);
    }
}

// A drop-down: a top-level window that never takes the activation or the focus. The
// tracker feeds it all input; it only paints.
class TMenuWindow : public TCustomControl {
    DBV_CLASS(TMenuWindow, TCustomControl)
public:
    explicit TMenuWindow(TComponent* AOwner) : TCustomControl(AOwner) {
        SetColor(clMenu);
        SetParentColor(false);
        GetFont()->Assign(MenuFont());
    }
    size_t LevelIndex = 0;

    // Item rectangles in client coordinates.
    TRect ItemRect(const Level& l, int i) const {
        int y = kEdge;
        for (int k = 0; k < i; ++k) y += l.Shown[size_t(k)]->IsLine() ? kSeparatorH : ItemHeight();
        int h = l.Shown[size_t(i)]->IsLine() ? kSeparatorH : ItemHeight();
        return Rect(kEdge, y, GetWidth() - kEdge, y + h);
    }
    int ItemAt(const Level& l, TPoint client) const {
        for (int i = 0; i < int(l.Shown.size()); ++i)
            if (PtInRect(ItemRect(l, i), client)) return i;
        return -1;
    }
    static TSize Measure(const Level& l) {
        TBitmap* b = Create<TBitmap>();
        TCanvas* c = b->GetCanvas();
        int text = 0, keys = 0, h = 2 * kEdge;
        bool arrows = false;
        for (TMenuItem* it : l.Shown) {
            if (it->IsLine()) {
                h += kSeparatorH;
                continue;
            }
            h += ItemHeight();
            c->GetFont()->Assign(MenuFont());
            if (it->GetDefault()) c->GetFont()->SetStyle({fsBold});
            text = std::max(text, c->TextWidth(StripAccel(it->MenuText())));
            keys = std::max(keys, c->TextWidth(it->ShortCutText()));
            arrows = arrows || HasSubItems(it);
        }
        b->Free();
        int w = 2 * kEdge + kGutter + text + (keys ? 24 + keys : 0) + kArrowZone + (arrows ? 4 : 0);
        return {std::max(w, 80), h};
    }

protected:
    void CreateParams(TCreateParams& P) override {
        TCustomControl::CreateParams(P);
        P.Style = WS_POPUP;
        P.ExStyle = WS_EX_TOOLWINDOW | WS_EX_TOPMOST;
        P.ClassStyle |= CS_SAVEBITS;
        P.WndParent = 0;
    }
    void Paint() override;
};
DBV_IMPLEMENT_CLASS(TMenuWindow)

void DrawCheck(TCanvas* c, const TRect& r, bool radio, TColor color) {
    int cx = r.Left + kGutter / 2, cy = (r.Top + r.Bottom) / 2;
    if (radio) {
        c->GetPen()->SetColor(color);
        c->GetBrush()->SetStyle(bsSolid);
        c->GetBrush()->SetColor(color);
        c->Ellipse(cx - 3, cy - 3, cx + 3, cy + 3);
        return;
    }
    c->GetPen()->SetColor(color);
    for (int d = 0; d < 3; ++d) {
        c->MoveTo(cx - 4, cy - 1 + d);
        c->LineTo(cx - 1, cy + 2 + d);
        c->LineTo(cx + 4, cy - 3 + d);
    }
}

void TMenuWindow::Paint() {
    TCanvas* c = GetCanvas();
    TRect r = GetClientRect();
    c->GetBrush()->SetStyle(bsSolid);
    c->GetBrush()->SetColor(clMenu);
    c->FillRect(r);
    TRect e = r;
    c->DrawEdge(e, EDGE_RAISED, BF_RECT);
    if (LevelIndex >= T().Levels.size()) return;
    const Level& l = T().Levels[LevelIndex];
    for (int i = 0; i < int(l.Shown.size()); ++i) {
        TMenuItem* it = l.Shown[size_t(i)];
        TRect ir = ItemRect(l, i);
        if (it->IsLine()) {
            int y = (ir.Top + ir.Bottom) / 2 - 1;
            TRect line = Rect(ir.Left + 1, y, ir.Right - 1, y + 2);
            c->DrawEdge(line, EDGE_ETCHED, BF_TOP);
            continue;
        }
        bool sel = i == l.Selected;
        c->GetBrush()->SetStyle(bsSolid);
        c->GetBrush()->SetColor(sel ? clHighlight : clMenu);
        c->FillRect(ir);
        c->GetFont()->Assign(MenuFont());
        if (it->GetDefault()) c->GetFont()->SetStyle({fsBold});
        TColor fg = !it->GetEnabled() ? clGrayText : sel ? clHighlightText : clMenuText;
        TRect tr = Rect(ir.Left + kGutter, ir.Top, ir.Right - kArrowZone, ir.Bottom);
        c->GetBrush()->SetStyle(bsClear);
        auto text = [&](TColor color, int dx) {
            c->GetFont()->SetColor(color);
            TRect t = tr;
            OffsetRect(t, dx, dx);
            c->DrawText(it->MenuText(), t, DT_LEFT | DT_VCENTER | DT_SINGLELINE);
            std::string keys = it->ShortCutText();
            if (!keys.empty()) c->DrawText(keys, t, DT_RIGHT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
        };
        if (!it->GetEnabled() && !sel) text(clBtnHighlight, 1);
        text(fg, 0);
        if (it->GetChecked()) DrawCheck(c, ir, it->GetRadioItem(), fg);
        if (HasSubItems(it)) {
            int cy = (ir.Top + ir.Bottom) / 2, x = ir.Right - 10;
            c->GetPen()->SetColor(fg);
            c->GetBrush()->SetStyle(bsSolid);
            c->GetBrush()->SetColor(fg);
            c->Polygon({{x, cy - 4}, {x + 4, cy}, {x, cy + 4}});
        }
    }
}

// ---- the bar ----
struct BarCell {
    TMenuItem* Item;
    TRect R;  // window coordinates of the form
};

std::vector<BarCell> BarLayout(const TCustomForm* f) {
    std::vector<BarCell> cells;
    TMainMenu* m = f->GetMenu();
    int h = MenuBarHeight(f);
    if (!m || !h) return cells;
    TRect nc = f->FrameInsets();
    TBitmap* b = Create<TBitmap>();
    b->GetCanvas()->GetFont()->Assign(MenuFont());
    int x = nc.Left + 1, top = nc.Top - h;
    TMenuItem* root = m->GetItems();
    for (int i = 0; i < root->Count(); ++i) {
        TMenuItem* it = root->Items(i);
        if (!it->GetVisible()) continue;
        int w = b->GetCanvas()->TextWidth(StripAccel(it->MenuText())) + 14;
        cells.push_back({it, Rect(x, top, x + w, top + h)});
        x += w;
    }
    b->Free();
    return cells;
}

TPoint WindowOrigin(const TControl* c) {
    auto* w = dynamic_cast<const TWinControl*>(c);
    TRect nc = w ? w->NonClientInsets() : TRect{};
    return c->ClientToScreen({-nc.Left, -nc.Top});
}

void InvalidateBar(TCustomForm* f) {
    if (f && f->HandleAllocated()) InvalidateRect(f->GetHandle(), nullptr, true);
}

void CloseFrom(size_t level) {
    Tracker& t = T();
    while (t.Levels.size() > level) {
        TMenuWindow* w = t.Levels.back().Window;
        t.Levels.pop_back();
        if (w) w->Free();
    }
}

// Opens the sub-items of parent as a new level at a screen point; 'beside' is the item it
// comes from (screen), so a drop-down that does not fit on the right opens on the left.
void OpenLevel(TMenuItem* parent, TPoint at, const TRect* beside) {
    Tracker& t = T();
    Level l;
    l.Parent = parent;
    for (int i = 0; i < parent->Count(); ++i)
        if (parent->Items(i)->GetVisible()) l.Shown.push_back(parent->Items(i));
    if (l.Shown.empty()) return;
    TSize sz = TMenuWindow::Measure(l);
    int sw = Screen->GetWidth(), sh = Screen->GetHeight();
    if (at.X + sz.cx > sw) at.X = beside ? beside->Left - sz.cx : sw - sz.cx;
    if (at.Y + sz.cy > sh) at.Y = std::max(0, sh - sz.cy);
    at.X = std::max(0, at.X);
    TMenuWindow* w = Create<TMenuWindow>(nullptr);
    w->LevelIndex = t.Levels.size();
    l.Window = w;
    t.Levels.push_back(l);
    w->SetBounds(at.X, at.Y, sz.cx, sz.cy);
    w->HandleNeeded();
    SetWindowPos(w->GetHandle(), HWND_TOPMOST, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW | SWP_NOACTIVATE);
    w->Invalidate();
}

void SelectItem(size_t level, int index, bool openSub, bool selectFirstInSub = false);

int FirstSelectable(const Level& l, int from, int step) {
    int n = int(l.Shown.size());
    for (int k = 0; k < n; ++k) {
        int i = ((from + step * k) % n + n) % n;
        if (Selectable(l.Shown[size_t(i)])) return i;
    }
    return -1;
}

void SelectItem(size_t level, int index, bool openSub, bool selectFirstInSub) {
    Tracker& t = T();
    if (level >= t.Levels.size()) return;
    Level& l = t.Levels[level];
    bool changed = l.Selected != index;
    TMenuItem* it = index >= 0 ? l.Shown[size_t(index)] : nullptr;
    if (changed) {
        l.Selected = index;
        l.Window->Invalidate();
        // The long hint of the highlighted item goes to the application (a status line).
        Application->SetHint(it ? GetLongHint(it->GetHint()) : std::string());
    }
    // A deeper level that is not this item's sub-menu closes.
    if (t.Levels.size() > level + 1 && t.Levels[level + 1].Parent != it) CloseFrom(level + 1);
    if (openSub && it && it->GetEnabled() && HasSubItems(it) && t.Levels.size() == level + 1) {
        // The item's OnClick runs as its sub-menu opens (handlers update the sub-items).
        RunReported(it, [it] { it->Click(); });
        if (!T().Active() || T().Levels.size() != level + 1) return;
        TMenuWindow* w = T().Levels[level].Window;
        TRect ir = T().Levels[level].Window->ItemRect(T().Levels[level], index);
        TPoint o = WindowOrigin(w);
        TRect sr = Rect(o.X + ir.Left, o.Y + ir.Top, o.X + ir.Right, o.Y + ir.Bottom);
        OpenLevel(it, {sr.Right - 2, sr.Top - kEdge}, &sr);
        if (selectFirstInSub && T().Levels.size() == level + 2)
            SelectItem(level + 1, FirstSelectable(T().Levels[level + 1], 0, 1), false);
    }
}

void FinishMenu() {
    Tracker& t = T();
    bool hinted = false;
    for (const Level& l : t.Levels) hinted = hinted || l.Selected >= 0;
    CloseFrom(0);
    if (hinted) Application->SetHint("");
    TCustomForm* f = t.BarForm;
    t = Tracker{};
    InvalidateBar(f);
}

// The sub-items of list changed: an open drop-down showing them closes (with those below
// it; the whole menu when it is the outermost). A list changed while its drop-down is
// being opened (by the OnClick of its item) is shown as it is then.
void ListChanged(TMenuItem* list) {
    Tracker& t = T();
    if (!t.Active()) return;
    for (size_t i = 0; i < t.Levels.size(); ++i)
        if (t.Levels[i].Parent == list) {
            if (i == 0) FinishMenu();
            else CloseFrom(i);
            return;
        }
    if (t.BarForm && t.BarForm->GetMenu() && list == t.BarForm->GetMenu()->GetItems() &&
        (!t.BarItem || t.BarItem->GetParent() != list || !t.BarItem->GetVisible()))
        FinishMenu();
}

// Chooses the item: a sub-menu opens; a command closes every menu, then runs OnClick.
void Activate(size_t level, int index) {
    Tracker& t = T();
    if (level >= t.Levels.size() || index < 0) return;
    TMenuItem* it = t.Levels[level].Shown[size_t(index)];
    if (!Selectable(it) || !it->GetEnabled()) return;
    if (HasSubItems(it)) {
        SelectItem(level, index, true, true);
        return;
    }
    FinishMenu();
    RunReported(it, [it] { it->Click(); });
}

void InstallFilter();

void OpenBar(TCustomForm* f, TMenuItem* item, bool selectFirst) {
    InstallFilter();
    Tracker& t = T();
    if (t.Active() && !(t.BarForm == f)) FinishMenu();
    CloseFrom(0);
    if (!HasSubItems(item)) {
        // A command on the bar itself.
        FinishMenu();
        if (item->GetEnabled()) RunReported(item, [item] { item->Click(); });
        return;
    }
    t.Menu = f->GetMenu();
    t.BarForm = f;
    t.BarItem = item;
    InvalidateBar(f);
    if (!item->GetEnabled()) return;
    RunReported(item, [item] { item->Click(); });
    if (!T().Active() || T().BarItem != item) return;
    for (const BarCell& cell : BarLayout(f))
        if (cell.Item == item) {
            TPoint o = WindowOrigin(f);
            TRect sr = cell.R;
            OffsetRect(sr, o.X, o.Y);
            OpenLevel(item, {sr.Left, sr.Bottom}, nullptr);
            break;
        }
    if (selectFirst && !T().Levels.empty())
        SelectItem(0, FirstSelectable(T().Levels[0], 0, 1), false);
}

// The bar item under a screen point, with its form.
TMenuItem* BarItemAt(TPoint screen, TCustomForm** form) {
    HWND h = WindowFromPoint(screen);
    if (!h) return nullptr;
    auto* f = dynamic_cast<TCustomForm*>(FindControl(ws::TopLevelOf(h)));
    if (!f || !f->GetMenu() || !f->IsShowing()) return nullptr;
    if (form) *form = f;
    TPoint o = WindowOrigin(f);
    TPoint p{screen.X - o.X, screen.Y - o.Y};
    for (const BarCell& c : BarLayout(f))
        if (PtInRect(c.R, p)) return c.Item;
    return nullptr;
}

bool InBar(TPoint screen, TCustomForm** form) {
    HWND h = WindowFromPoint(screen);
    if (!h) return false;
    auto* f = dynamic_cast<TCustomForm*>(FindControl(ws::TopLevelOf(h)));
    if (!f || !f->GetMenu()) return false;
    TPoint o = WindowOrigin(f);
    TRect nc = f->FrameInsets();
    int bh = MenuBarHeight(f);
    TRect bar = Rect(o.X + nc.Left, o.Y + nc.Top - bh, o.X + f->GetWidth() - nc.Right, o.Y + nc.Top);
    if (!PtInRect(bar, screen)) return false;
    if (form) *form = f;
    return true;
}

// The open level and item under a screen point (innermost first).
bool LevelAt(TPoint screen, size_t& level, int& index) {
    Tracker& t = T();
    for (size_t i = t.Levels.size(); i-- > 0;) {
        TMenuWindow* w = t.Levels[i].Window;
        TPoint o = WindowOrigin(w);
        TRect r = Rect(o.X, o.Y, o.X + w->GetWidth(), o.Y + w->GetHeight());
        if (PtInRect(r, screen)) {
            level = i;
            index = w->ItemAt(t.Levels[i], {screen.X - o.X, screen.Y - o.Y});
            return true;
        }
    }
    return false;
}

TMenuItem* AccelItem(const std::vector<TMenuItem*>& items, char key) {
    for (TMenuItem* it : items)
        if (Selectable(it) && AccelChar(it->MenuText()) == key) return it;
    return nullptr;
}

std::vector<TMenuItem*> VisibleBarItems(TCustomForm* f) {
    std::vector<TMenuItem*> v;
    for (const BarCell& c : BarLayout(f)) v.push_back(c.Item);
    return v;
}

void StepBar(int step) {
    Tracker& t = T();
    std::vector<TMenuItem*> items = VisibleBarItems(t.BarForm);
    auto it = std::find(items.begin(), items.end(), t.BarItem);
    if (items.empty() || it == items.end()) return;
    int n = int(items.size());
    int i = int(it - items.begin());
    OpenBar(t.BarForm, items[size_t(((i + step) % n + n) % n)], true);
}

bool TrackKey(uint16_t vk) {
    Tracker& t = T();
    if (t.Levels.empty()) {
        // A bar item without an open drop-down (disabled): only leaving works.
        if (vk == VK_ESCAPE || vk == VK_MENU || vk == VK_F10) FinishMenu();
        else if (vk == VK_LEFT || vk == VK_RIGHT) StepBar(vk == VK_LEFT ? -1 : 1);
        return true;
    }
    size_t deep = t.Levels.size() - 1;
    Level& l = t.Levels[deep];
    switch (vk) {
        case VK_DOWN:
        case VK_UP: {
            int step = vk == VK_DOWN ? 1 : -1;
            int from = l.Selected < 0 ? (step > 0 ? 0 : int(l.Shown.size()) - 1) : l.Selected + step;
            SelectItem(deep, FirstSelectable(l, from, step), false);
            break;
        }
        case VK_RIGHT: {
            TMenuItem* sel = l.Selected >= 0 ? l.Shown[size_t(l.Selected)] : nullptr;
            if (sel && sel->GetEnabled() && HasSubItems(sel))
                SelectItem(deep, l.Selected, true, true);
            else if (t.BarForm)
                StepBar(1);
            break;
        }
        case VK_LEFT:
            if (deep > 0)
                CloseFrom(deep);
            else if (t.BarForm)
                StepBar(-1);
            break;
        case VK_RETURN: Activate(deep, l.Selected); break;
        case VK_ESCAPE:
            if (deep > 0) CloseFrom(deep);
            else FinishMenu();
            break;
        case VK_MENU:
        case VK_F10: FinishMenu(); break;
        default:
            if ((vk >= 'A' && vk <= 'Z') || (vk >= '0' && vk <= '9')) {
                if (TMenuItem* it = AccelItem(l.Shown, char(vk))) {
                    auto pos = std::find(l.Shown.begin(), l.Shown.end(), it);
                    Activate(deep, int(pos - l.Shown.begin()));
                }
            }
            break;
    }
    return true;
}

bool FilterClosed(const input::TInputEvent& e) {
    using K = input::TInputEvent;
    if (e.Kind == K::MouseDown && e.Button == mbLeft) {
        TCustomForm* f = nullptr;
        if (!InBar(e.Screen, &f)) return false;
        if (!IsWindowEnabled(f->GetHandle())) return true;
        if (TMenuItem* it = BarItemAt(e.Screen, &f)) {
            if (GetActiveWindow() != f->GetHandle()) SetActiveWindow(f->GetHandle());
            OpenBar(f, it, false);
        }
        return true;
    }
    if (e.Kind != K::KeyDown) return false;
    uint16_t vk = e.Key;
    if (vk == VK_SHIFT || vk == VK_CONTROL || vk == VK_MENU) return false;
    TShiftState shift = KeyboardShiftState();
    // Shortcuts: the popup menus of the focused control and its parents, then the bar of the
    // active form.
    TWinControl* focus = FindFocusedControl();
    for (TControl* c = focus; c; c = c->GetParent())
        if (TPopupMenu* p = c->GetPopupMenu(); p && p->IsShortCut(vk, shift)) return true;
    // Shift+F10 and the menu key open the focused control's context menu at its top-left.
    if ((vk == VK_F10 && shift == TShiftState{ssShift}) || (vk == kVkApps && shift.Empty())) {
        if (focus && ShowContextMenu(focus, focus->ClientToScreen({0, 0}))) return true;
    }
    TCustomForm* f = Screen->GetActiveForm();
    if (!f || !f->HandleAllocated() || !IsWindowEnabled(f->GetHandle()) || !f->GetMenu()) return false;
    if (f->GetMenu()->IsShortCut(vk, shift)) return true;
    if (shift == TShiftState{ssAlt} && ((vk >= 'A' && vk <= 'Z') || (vk >= '0' && vk <= '9'))) {
        if (TMenuItem* it = AccelItem(VisibleBarItems(f), char(vk))) {
            OpenBar(f, it, true);
            return true;
        }
        return false;
    }
    if (vk == VK_F10 && shift.Empty()) {
        std::vector<TMenuItem*> items = VisibleBarItems(f);
        if (!items.empty()) OpenBar(f, items.front(), true);
        return !items.empty();
    }
    return false;
}

bool MenuFilter(const input::TInputEvent& e) {
    using K = input::TInputEvent;
    Tracker& t = T();
    if (!t.Active()) return FilterClosed(e);
    size_t level = 0;
    int index = -1;
    switch (e.Kind) {
        case K::MouseMove:
            if (LevelAt(e.Screen, level, index)) {
                if (index >= 0 && Selectable(t.Levels[level].Shown[size_t(index)]))
                    SelectItem(level, index, true);
            } else if (t.BarForm) {
                TCustomForm* f = nullptr;
                TMenuItem* it = BarItemAt(e.Screen, &f);
                if (it && f == t.BarForm && it != t.BarItem && HasSubItems(it)) OpenBar(f, it, false);
            }
            return true;
        case K::MouseDown:
            if (LevelAt(e.Screen, level, index)) return true;
            if (t.BarForm) {
                TCustomForm* f = nullptr;
                TMenuItem* it = BarItemAt(e.Screen, &f);
                if (it && f == t.BarForm) {
                    if (it == t.BarItem) FinishMenu();
                    else OpenBar(f, it, false);
                    return true;
                }
            }
            FinishMenu();  // a press elsewhere closes the menu and goes no further
            return true;
        case K::MouseUp:
            if (LevelAt(e.Screen, level, index) && index >= 0) {
                TMenuItem* it = t.Levels[level].Shown[size_t(index)];
                if (!HasSubItems(it)) Activate(level, index);
            }
            return true;
        case K::KeyDown: return TrackKey(e.Key);
        default: return true;
    }
}

void InstallFilter() { input::SetInputFilter(&MenuFilter); }

}  // namespace

bool MenuActive() { return T().Active(); }
void CloseMenus() {
    if (T().Active()) FinishMenu();
}

std::vector<TCustomControl*> OpenMenuWindows() {
    std::vector<TCustomControl*> v;
    for (const Level& l : T().Levels) v.push_back(l.Window);
    return v;
}

TMenuItem* OpenMenuWindowItem(TCustomControl* w) {
    for (const Level& l : T().Levels)
        if (l.Window == w) return l.Parent;
    return nullptr;
}

TMenuItem* SelectedMenuItem() {
    const Tracker& t = T();
    if (t.Levels.empty()) return nullptr;
    const Level& l = t.Levels.back();
    return l.Selected >= 0 ? l.Shown[size_t(l.Selected)] : nullptr;
}

TRect MenuItemScreenRect(TMenuItem* item) {
    for (const Level& l : T().Levels)
        for (int i = 0; i < int(l.Shown.size()); ++i)
            if (l.Shown[size_t(i)] == item) {
                TRect r = l.Window->ItemRect(l, i);
                TPoint o = WindowOrigin(l.Window);
                OffsetRect(r, o.X, o.Y);
                return r;
            }
    if (TMenu* m = item->GetParentMenu())
        if (auto* mm = dynamic_cast<TMainMenu*>(m))
            if (TCustomForm* f = mm->Form(); f && f->IsShowing())
                for (const BarCell& c : BarLayout(f))
                    if (c.Item == item) {
                        TRect r = c.R;
                        TPoint o = WindowOrigin(f);
                        OffsetRect(r, o.X, o.Y);
                        return r;
                    }
    return {};
}

void OpenMenuBarItem(TCustomForm* form, TMenuItem* item) { OpenBar(form, item, false); }

int MenuBarHeight(const TCustomForm* form) {
    if (!form || !form->GetMenu() || form->GetBorderStyle() == bsNone) return 0;
    return GetSystemMetrics(SM_CYMENU);
}

void PaintMenuBar(TCanvas* c, const TRect& r, TCustomForm* form) {
    c->GetBrush()->SetStyle(bsSolid);
    c->GetBrush()->SetColor(clMenu);
    c->FillRect(r);
    const Tracker& t = T();
    for (const BarCell& cell : BarLayout(form)) {
        TMenuItem* it = cell.Item;
        bool open = t.BarForm == form && t.BarItem == it;
        if (open) {
            TRect e = cell.R;
            c->DrawEdge(e, BDR_SUNKENOUTER, BF_RECT);
        }
        c->GetFont()->Assign(MenuFont());
        c->GetBrush()->SetStyle(bsClear);
        TRect tr = cell.R;
        if (open) OffsetRect(tr, 1, 1);
        auto text = [&](TColor color, int dx) {
            c->GetFont()->SetColor(color);
            TRect t2 = tr;
            OffsetRect(t2, dx, dx);
            c->DrawText(it->MenuText(), t2, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        };
        if (!it->GetEnabled()) text(clBtnHighlight, 1);
        text(it->GetEnabled() ? clMenuText : clGrayText, 0);
        c->GetBrush()->SetStyle(bsSolid);
    }
}

bool ShowContextMenu(TControl* control, TPoint screen) {
    for (TControl* c = control; c; c = c->GetParent()) {
        TPopupMenu* p = c->GetPopupMenu();
        if (p && p->GetAutoPopup()) {
            p->SetPopupComponent(c);
            p->Popup(screen.X, screen.Y);
            return true;
        }
    }
    return false;
}

// =============================================================================================
// TMenuItem

DBV_PUBLISHED(TMenuItem) {
    b.Bool("AutoCheck", &TMenuItem::GetAutoCheck, &TMenuItem::SetAutoCheck, false);
    b.Enum("Break", &TMenuItem::GetBreak, &TMenuItem::SetBreak, mbNone);
    b.String("Caption", &TMenuItem::GetCaption, &TMenuItem::SetCaption, "TCaption");
    b.Bool("Checked", &TMenuItem::GetChecked, &TMenuItem::SetChecked, false);
    b.Bool("Default", &TMenuItem::GetDefault, &TMenuItem::SetDefault, false);
    b.Bool("Enabled", &TMenuItem::GetEnabled, &TMenuItem::SetEnabled, true);
    b.Int("GroupIndex", &TMenuItem::GetGroupIndex, &TMenuItem::SetGroupIndex, 0).TypeName = "Byte";
    b.Int("HelpContext", &TMenuItem::GetHelpContext, &TMenuItem::SetHelpContext, 0).TypeName =
        "THelpContext";
    b.String("Hint", &TMenuItem::GetHint, &TMenuItem::SetHint);
    b.Bool("RadioItem", &TMenuItem::GetRadioItem, &TMenuItem::SetRadioItem, false);
    b.Int("ShortCut", &TMenuItem::GetShortCut, &TMenuItem::SetShortCut, 0).TypeName = "TShortCut";
    b.Bool("Visible", &TMenuItem::GetVisible, &TMenuItem::SetVisible, true);
    b.Event("OnClick", "TNotifyEvent", &TMenuItem::OnClick);
}

TMenuItem::TMenuItem(TComponent* AOwner) : TComponent(AOwner) {}

TMenuItem::~TMenuItem() {
    Tracker& t = T();
    if (t.Active()) {
        // Its own sub-menu, or the bar item whose drop-down is open: the menu closes. An
        // item of a shown list closes that list below (its parent's list changed).
        bool tracked = t.BarItem == this;
        for (const Level& l : t.Levels) tracked = tracked || l.Parent == this;
        if (tracked) FinishMenu();
    }
    while (!items_.empty()) {
        TMenuItem* c = items_.back();
        items_.pop_back();
        c->parent_ = nullptr;
        c->Free();
    }
    if (parent_) {
        TMenuItem* p = parent_;
        auto it = std::find(p->items_.begin(), p->items_.end(), this);
        if (it != p->items_.end()) p->items_.erase(it);
        parent_ = nullptr;
        p->Changed(p);
    }
}

void TMenuItem::Changed(TMenuItem* list) {
    if (list) ListChanged(list);
    for (const Level& l : T().Levels) l.Window->Invalidate();
    TMenu* m = GetParentMenu();
    if (m && !m->IsDestroying()) m->MenuChanged();
}

void TMenuItem::SetCaption(const std::string& v) {
    if (caption_ == v) return;
    bool lineChange = (v == "-") != IsLine();
    caption_ = v;
    Changed(lineChange ? parent_ : nullptr);
}

void TMenuItem::SetChecked(bool v) {
    if (checked_ == v) return;
    checked_ = v;
    if (v && radioItem_ && parent_)
        for (TMenuItem* s : parent_->items_)
            if (s != this && s->radioItem_ && s->groupIndex_ == groupIndex_) s->checked_ = false;
    Changed(nullptr);
}

void TMenuItem::SetRadioItem(bool v) {
    if (radioItem_ == v) return;
    radioItem_ = v;
    if (v && checked_) {
        checked_ = false;
        SetChecked(true);
    }
    Changed(nullptr);
}

void TMenuItem::SetGroupIndex(uint8_t v) {
    if (groupIndex_ == v) return;
    groupIndex_ = v;
    if (radioItem_ && checked_) {
        checked_ = false;
        SetChecked(true);
    }
}

void TMenuItem::SetEnabled(bool v) {
    if (enabled_ == v) return;
    enabled_ = v;
    Changed(nullptr);
}

void TMenuItem::SetVisible(bool v) {
    if (visible_ == v) return;
    visible_ = v;
    Changed(parent_);
}

void TMenuItem::SetDefault(bool v) {
    if (default_ == v) return;
    if (v && parent_)
        for (TMenuItem* s : parent_->items_) s->default_ = false;
    default_ = v;
    Changed(nullptr);
}

void TMenuItem::SetShortCut(TShortCut v) {
    if (shortCut_ == v) return;
    shortCut_ = v;
    Changed(nullptr);
}

std::string TMenuItem::MenuText() const {
    size_t tab = caption_.find('\t');
    return tab == std::string::npos ? caption_ : caption_.substr(0, tab);
}

std::string TMenuItem::ShortCutText() const {
    size_t tab = caption_.find('\t');
    if (tab != std::string::npos) return caption_.substr(tab + 1);
    return ShortCutToText(shortCut_);
}

TMenuItem* TMenuItem::Items(int i) const {
    if (i < 0 || i >= int(items_.size())) throw EMenuError("Menu index out of range");
    return items_[size_t(i)];
}

void TMenuItem::Add(TMenuItem* Item) { Insert(Count(), Item); }

void TMenuItem::Insert(int Index, TMenuItem* Item) {
    if (!Item) return;
    if (Item->parent_) throw EMenuError("Menu inserted twice");
    if (Index < 0 || Index > Count()) throw EMenuError("Menu index out of range");
    for (const TMenuItem* p = this; p; p = p->parent_)
        if (p == Item) throw EMenuError("Menu inserted twice");
    items_.insert(items_.begin() + Index, Item);
    Item->parent_ = this;
    if (Item->checked_ && Item->radioItem_) {
        Item->checked_ = false;
        Item->SetChecked(true);
    }
    Changed(this);
}

void TMenuItem::Delete(int Index) {
    TMenuItem* it = Items(Index);
    Remove(it);
    it->Free();
}

void TMenuItem::Remove(TMenuItem* Item) {
    auto it = std::find(items_.begin(), items_.end(), Item);
    if (it == items_.end()) throw EMenuError("Menu index out of range");
    items_.erase(it);
    Item->parent_ = nullptr;
    Changed(this);
}

void TMenuItem::Clear() {
    while (!items_.empty()) Delete(Count() - 1);
}

int TMenuItem::IndexOf(const TMenuItem* Item) const {
    auto it = std::find(items_.begin(), items_.end(), Item);
    return it == items_.end() ? -1 : int(it - items_.begin());
}

TMenuItem* TMenuItem::Find(const std::string& ACaption) const {
    std::string want = StripAccel(ACaption);
    for (TMenuItem* it : items_)
        if (SameText(StripAccel(it->MenuText()), want) || SameText(StripAccel(it->caption_), want))
            return it;
    return nullptr;
}

int TMenuItem::GetMenuIndex() const { return parent_ ? parent_->IndexOf(this) : -1; }

void TMenuItem::SetMenuIndex(int v) {
    if (!parent_) return;
    TMenuItem* p = parent_;
    v = std::clamp(v, 0, p->Count() - 1);
    p->Remove(this);
    p->Insert(v, this);
}

TMenu* TMenuItem::GetParentMenu() const {
    const TMenuItem* i = this;
    while (i->parent_) i = i->parent_;
    return i->menu_;
}

void TMenuItem::Click() {
    if (!enabled_) return;
    if (autoCheck_) SetChecked(radioItem_ ? true : !checked_);
    if (OnClick) OnClick(this);
}

TComponent* TMenuItem::GetParentComponent() const {
    if (parent_ && parent_->menu_) return parent_->menu_;
    return parent_;
}

void TMenuItem::SetParentComponent(TComponent* Value) {
    if (parent_) parent_->Remove(this);
    if (auto* m = dynamic_cast<TMenu*>(Value))
        m->GetItems()->Add(this);
    else if (auto* i = dynamic_cast<TMenuItem*>(Value))
        i->Add(this);
}

void TMenuItem::GetChildren(const TGetChildProc& Proc, TComponent*) {
    for (TMenuItem* it : std::vector<TMenuItem*>(items_)) Proc(it);
}

// =============================================================================================
// TMenu, TMainMenu, TPopupMenu

DBV_IMPLEMENT_CLASS(TMenu)

DBV_PUBLISHED(TMainMenu) {
    b.Bool("AutoMerge", &TMainMenu::GetAutoMerge, &TMainMenu::SetAutoMerge, false);
}

DBV_PUBLISHED(TPopupMenu) {
    b.Enum("Alignment", &TPopupMenu::GetAlignment, &TPopupMenu::SetAlignment, paLeft);
    b.Bool("AutoPopup", &TPopupMenu::GetAutoPopup, &TPopupMenu::SetAutoPopup, true);
    b.Event("OnPopup", "TNotifyEvent", &TPopupMenu::OnPopup);
}

TMenu::TMenu(TComponent* AOwner) : TComponent(AOwner) {
    items_ = Create<TMenuItem>(this);
    items_->menu_ = this;
    InstallFilter();
}

TMenu::~TMenu() = default;

void TMenu::BeforeDestruction() {
    if (T().Menu == this) FinishMenu();
    TComponent::BeforeDestruction();
}

TMenuItem* TMenu::FindItem(TShortCut sc) const {
    if (!sc) return nullptr;
    std::function<TMenuItem*(TMenuItem*)> find = [&](TMenuItem* p) -> TMenuItem* {
        for (int i = 0; i < p->Count(); ++i) {
            TMenuItem* it = p->Items(i);
            if (!it->GetVisible() || !it->GetEnabled()) continue;
            if (it->GetShortCut() == sc) return it;
            if (TMenuItem* r = find(it)) return r;
        }
        return nullptr;
    };
    return find(items_);
}

bool TMenu::IsShortCut(uint16_t Key, TShiftState Shift) {
    TMenuItem* it = FindItem(ShortCut(Key, Shift));
    if (!it) return false;
    // The parents' OnClick run first, as when the item is reached through the menus
    // (handlers there enable or check the sub-items).
    std::vector<TMenuItem*> chain;
    for (TMenuItem* p = it->GetParent(); p && p != items_; p = p->GetParent()) chain.push_back(p);
    for (auto c = chain.rbegin(); c != chain.rend(); ++c) (*c)->Click();
    if (it->GetEnabled()) it->Click();
    return true;
}

void TMenu::GetChildren(const TGetChildProc& Proc, TComponent* Root) { items_->GetChildren(Proc, Root); }

void TMenu::MenuChanged() {}

TCustomForm* TMainMenu::Form() const {
    for (TCustomForm* f : Screen->FormList())
        if (f->GetMenu() == this) return f;
    return nullptr;
}

void TMainMenu::MenuChanged() { InvalidateBar(Form()); }

void TPopupMenu::DoPopup(TObject* Sender) {
    if (OnPopup) OnPopup(Sender);
}

void TPopupMenu::Popup(int X, int Y) {
    InstallFilter();
    CloseMenus();
    DoPopup(this);
    Tracker& t = T();
    CloseMenus();
    TPoint at{X, Y};
    Level probe;
    probe.Parent = items_;
    for (int i = 0; i < items_->Count(); ++i)
        if (items_->Items(i)->GetVisible()) probe.Shown.push_back(items_->Items(i));
    if (probe.Shown.empty()) return;
    TSize sz = TMenuWindow::Measure(probe);
    if (alignment_ == paRight) at.X -= sz.cx;
    else if (alignment_ == paCenter) at.X -= sz.cx / 2;
    t.Menu = this;
    OpenLevel(items_, at, nullptr);
    if (t.Levels.empty()) t = Tracker{};
}

void TPopupMenu::SetPopupComponent(TComponent* v) {
    if (popupComponent_ == v) return;
    if (popupComponent_) popupComponent_->RemoveFreeNotification(this);
    popupComponent_ = v;
    if (v) v->FreeNotification(this);
}

void TPopupMenu::Notification(TComponent* AComponent, TOperation Operation) {
    TMenu::Notification(AComponent, Operation);
    if (Operation == opRemove && AComponent == popupComponent_) popupComponent_ = nullptr;
}

}  // namespace vcl
