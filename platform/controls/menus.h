// Menus: TMenuItem, TMainMenu (the bar of a form) and TPopupMenu, with shortcuts, the drawn
// bar and drop-down windows, and the keyboard and mouse tracking of an open menu.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "controls/controls.h"

namespace vcl {

class TMenu;
class TCustomForm;

// A shortcut: the virtual key in the low byte, scShift, scCtrl and scAlt above it.
using TShortCut = uint16_t;
constexpr TShortCut scShift = 0x2000, scCtrl = 0x4000, scAlt = 0x8000, scNone = 0;
TShortCut ShortCut(uint16_t Key, TShiftState Shift);
void ShortCutToKey(TShortCut ShortCut, uint16_t& Key, TShiftState& Shift);
// "Ctrl+B", "Shift+Ctrl+F1", "Del" ...; "" for scNone.
std::string ShortCutToText(TShortCut ShortCut);
// Reads what ShortCutToText writes (modifier names without case) and "^B" for Ctrl+B;
// scNone for a text that is no shortcut.
TShortCut TextToShortCut(const std::string& Text);

DBV_ENUM(TMenuBreak, mbNone, mbBreak, mbBarBreak);
DBV_ENUM(TPopupAlignment, paLeft, paRight, paCenter);

class TMenuItem : public TComponent {
    DBV_CLASS(TMenuItem, TComponent)
public:
    explicit TMenuItem(TComponent* AOwner);
    ~TMenuItem() override;

    // "&File" marks F as the accelerator; "-" is a separator line. Text after a tab is
    // shown right-aligned as the shortcut text ("&Bold\t^B").
    const std::string& GetCaption() const { return caption_; }
    void SetCaption(const std::string& v);
    bool GetChecked() const { return checked_; }
    // Checking a radio item unchecks the other radio items of its group among its siblings.
    void SetChecked(bool v);
    bool GetRadioItem() const { return radioItem_; }
    void SetRadioItem(bool v);
    uint8_t GetGroupIndex() const { return groupIndex_; }
    void SetGroupIndex(uint8_t v);
    // Clicking toggles Checked (a radio item is checked).
    bool GetAutoCheck() const { return autoCheck_; }
    void SetAutoCheck(bool v) { autoCheck_ = v; }
    bool GetEnabled() const { return enabled_; }
    void SetEnabled(bool v);
    bool GetVisible() const { return visible_; }
    void SetVisible(bool v);
    // Drawn bold; a double click on the owner of a popup menu is not implied.
    bool GetDefault() const { return default_; }
    void SetDefault(bool v);
    TShortCut GetShortCut() const { return shortCut_; }
    void SetShortCut(TShortCut v);
    const std::string& GetHint() const { return hint_; }
    void SetHint(const std::string& v) { hint_ = v; }
    int GetHelpContext() const { return helpContext_; }
    void SetHelpContext(int v) { helpContext_ = v; }
    TMenuBreak GetBreak() const { return break_; }
    void SetBreak(TMenuBreak v) { break_ = v; }
    bool IsLine() const { return caption_ == "-"; }
    // The caption before a tab, and the shortcut text (after the tab, or the ShortCut's).
    std::string MenuText() const;
    std::string ShortCutText() const;

    // ---- sub-items ----
    int Count() const { return int(items_.size()); }
    // Raises EMenuError "Menu index out of range" (also Insert and Delete).
    TMenuItem* Items(int i) const;
    TMenuItem* operator[](int i) const { return Items(i); }
    // Raises EMenuError "Menu inserted twice" for an item that has a parent already.
    void Add(TMenuItem* Item);
    void Insert(int Index, TMenuItem* Item);
    // Removes and frees the item.
    void Delete(int Index);
    void Remove(TMenuItem* Item);  // takes it out without freeing it
    void Clear();                   // frees every sub-item
    int IndexOf(const TMenuItem* Item) const;
    // The sub-item with this caption ('&' and case ignored); null when none.
    TMenuItem* Find(const std::string& ACaption) const;
    TMenuItem* GetParent() const { return parent_; }
    int GetMenuIndex() const;
    void SetMenuIndex(int v);
    // The menu this item belongs to (through its parents); null when none.
    TMenu* GetParentMenu() const;

    // Runs OnClick when enabled (AutoCheck first).
    virtual void Click();
    TNotifyEvent OnClick;

    // ---- streaming: sub-items are written nested and read back into their parent ----
    bool HasParent() const override { return true; }
    TComponent* GetParentComponent() const override;
    void SetParentComponent(TComponent* Value) override;
    void GetChildren(const TGetChildProc& Proc, TComponent* Root) override;

private:
    friend class TMenu;
    // Something shown changed; list, when set, is the item whose sub-items changed.
    void Changed(TMenuItem* list);
    std::string caption_;
    bool checked_ = false, radioItem_ = false, autoCheck_ = false;
    bool enabled_ = true, visible_ = true, default_ = false;
    uint8_t groupIndex_ = 0;
    TShortCut shortCut_ = 0;
    std::string hint_;
    int helpContext_ = 0;
    TMenuBreak break_ = mbNone;
    std::vector<TMenuItem*> items_;
    TMenuItem* parent_ = nullptr;
    TMenu* menu_ = nullptr;  // set on the root item of a menu
};

class EMenuError : public Exception {
public:
    using Exception::Exception;
};

class TMenu : public TComponent {
    DBV_CLASS(TMenu, TComponent)
public:
    explicit TMenu(TComponent* AOwner);
    ~TMenu() override;
    void BeforeDestruction() override;
    // The root item: its sub-items are the menu's items.
    TMenuItem* GetItems() const { return items_; }
    // The enabled, visible item (at any depth) whose ShortCut is this one; null when none.
    TMenuItem* FindItem(TShortCut ShortCut) const;
    // Clicks the item of a shortcut; true when there was one.
    bool IsShortCut(uint16_t Key, TShiftState Shift);
    void GetChildren(const TGetChildProc& Proc, TComponent* Root) override;
    // Something shown changed (captions, visibility ...): repaint what shows the menu.
    virtual void MenuChanged();

protected:
    TMenuItem* items_;
};

class TMainMenu : public TMenu {
    DBV_CLASS(TMainMenu, TMenu)
public:
    explicit TMainMenu(TComponent* AOwner) : TMenu(AOwner) {}
    bool GetAutoMerge() const { return autoMerge_; }
    void SetAutoMerge(bool v) { autoMerge_ = v; }
    // The form whose bar shows this menu (null when none).
    TCustomForm* Form() const;
    void MenuChanged() override;

private:
    bool autoMerge_ = false;
};

class TPopupMenu : public TMenu {
    DBV_CLASS(TPopupMenu, TMenu)
public:
    explicit TPopupMenu(TComponent* AOwner) : TMenu(AOwner) {}
    bool GetAutoPopup() const { return autoPopup_; }
    void SetAutoPopup(bool v) { autoPopup_ = v; }
    TPopupAlignment GetAlignment() const { return alignment_; }
    void SetAlignment(TPopupAlignment v) { alignment_ = v; }
    // The control whose right click opened the menu (set before OnPopup runs).
    TComponent* GetPopupComponent() const { return popupComponent_; }
    void SetPopupComponent(TComponent* v);
    // Runs OnPopup, then opens the menu at the screen point (inside the screen). The menu
    // stays open while the program goes on; a click on an item closes it and runs the
    // item's OnClick; a click elsewhere or Escape closes it.
    virtual void Popup(int X, int Y);
    TNotifyEvent OnPopup;
    void Notification(TComponent* AComponent, TOperation Operation) override;

protected:
    virtual void DoPopup(TObject* Sender);

private:
    bool autoPopup_ = true;
    TPopupAlignment alignment_ = paLeft;
    TComponent* popupComponent_ = nullptr;
};

// ---- the menu bar of a form ----
// Height of a form's menu bar (0 without a menu).
int MenuBarHeight(const TCustomForm* form);
// Paints the bar into r (canvas coordinates of the form's frame painting).
void PaintMenuBar(TCanvas* c, const TRect& r, TCustomForm* form);

// ---- open menus ----
// Whether a menu is open now (a popup or a drop-down of a bar).
bool MenuActive();
// Closes every open menu without choosing an item.
void CloseMenus();
// The drop-down windows open now, outermost first.
std::vector<TCustomControl*> OpenMenuWindows();
// The sub-items shown in an open drop-down window (null when w is none).
TMenuItem* OpenMenuWindowItem(TCustomControl* w);
// The highlighted item of the innermost open menu; null when none.
TMenuItem* SelectedMenuItem();
// Where an item lies on the screen now: in an open drop-down or on a showing bar; an empty
// rectangle when it is in neither.
TRect MenuItemScreenRect(TMenuItem* item);
// Opens the bar item's drop-down as a click on it does (a bar item without sub-items is
// clicked).
void OpenMenuBarItem(TCustomForm* form, TMenuItem* item);

// The context-menu step of a right-button release: the popup menu of the control, or of the
// nearest parent that has one, opens at the screen point. True when one opened.
bool ShowContextMenu(TControl* control, TPoint screen);

}  // namespace vcl
