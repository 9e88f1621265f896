// Small pieces the built-in dialogs are made of: a static text, the message icons, and
// helpers for captions with an accelerator ('&').
#pragma once
#include <string>
#include <vector>

#include "controls/forms.h"

namespace vcl {

class TButton;

// A static text painted by its parent: one line, or wrapped with WordWrap.
class TDialogLabel : public TGraphicControl {
    DBV_CLASS(TDialogLabel, TGraphicControl)
public:
    explicit TDialogLabel(TComponent* AOwner);
    bool GetWordWrap() const { return wordWrap_; }
    void SetWordWrap(bool v) { wordWrap_ = v; Invalidate(); }
    // '&' marks the accelerator when set; otherwise the text is shown as it is.
    bool GetShowAccelChar() const { return showAccel_; }
    void SetShowAccelChar(bool v) { showAccel_ = v; Invalidate(); }
    // Sizes the label to its text, wrapping at maxWidth when WordWrap is set.
    void AutoSizeTo(int maxWidth);
    // The control Alt+accelerator of the label focuses.
    TWinControl* GetFocusControl() const { return focusControl_; }
    void SetFocusControl(TWinControl* v) { focusControl_ = v; }

protected:
    void Paint() override;
    uint32_t Flags() const;

private:
    bool wordWrap_ = false, showAccel_ = false;
    TWinControl* focusControl_ = nullptr;  // a sibling: freed with the same form
};

// The base of the built-in dialog forms: Alt and a caption's accelerator letter click the
// button or check box with it, or focus the control of the label with it.
class TDialogForm : public TCustomForm {
    DBV_CLASS(TDialogForm, TCustomForm)
public:
    explicit TDialogForm(TComponent* AOwner);

protected:
    void KeyDown(uint16_t& Key, TShiftState Shift) override;
    // The control with this accelerator acts; true when one did.
    bool Accelerate(char letter);
};

// The 32 x 32 picture of a message kind (0 warning, 1 error, 2 information, 3 question).
class TDialogIcon : public TGraphicControl {
    DBV_CLASS(TDialogIcon, TGraphicControl)
public:
    explicit TDialogIcon(TComponent* AOwner);
    int GetKind() const { return kind_; }
    void SetKind(int v) { kind_ = v; Invalidate(); }

protected:
    void Paint() override;

private:
    int kind_ = 0;
};

// A list of text rows with one selected row, a vertical scroll bar when the rows do not
// fit, arrows / Home / End / PgUp / PgDn, a letter jumps to the next row starting with it.
// OnChange follows the selection made by the user or by code; OnDblClick and Enter
// (OnActivate) choose the row.
class TDialogList : public TCustomControl {
    DBV_CLASS(TDialogList, TCustomControl)
public:
    explicit TDialogList(TComponent* AOwner);
    const std::vector<std::string>& GetItems() const { return items_; }
    void SetItems(const std::vector<std::string>& v);
    int GetItemIndex() const { return index_; }
    void SetItemIndex(int v);
    std::string Selected() const { return index_ >= 0 ? items_[size_t(index_)] : std::string(); }
    // The row of a text (case ignored); -1 when none.
    int IndexOf(const std::string& text) const;
    int GetTopIndex() const { return top_; }
    int RowHeight() const;
    int VisibleRows() const;
    TNotifyEvent OnChange;
    TNotifyEvent OnActivate;

protected:
    void CreateParams(TCreateParams& Params) override;
    void Paint() override;
    void KeyDown(uint16_t& Key, TShiftState Shift) override;
    void KeyPress(char& Key) override;
    void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
    void DblClick() override;
    void DoEnter() override;
    void DoExit() override;
    void WMGetDlgCode(TMessage& M) override;
    void CMWantSpecialKey(TMessage& M) override;
    void WMVScroll(TMessage& M) override;
    void WMSize(TMessage& M) override;

private:
    void Select(int i);
    void UpdateScroll();
    void SetTop(int t);
    std::vector<std::string> items_;
    int index_ = -1, top_ = 0;
};

// A check box (or, with RadioStyle, a radio button that unchecks its siblings of the same
// style): click or Space toggles; the caption's '&' letter with Alt checks it from the form.
class TDialogCheckBox : public TCustomControl {
    DBV_CLASS(TDialogCheckBox, TCustomControl)
public:
    explicit TDialogCheckBox(TComponent* AOwner);
    bool GetChecked() const { return checked_; }
    void SetChecked(bool v);
    bool GetRadioStyle() const { return radio_; }
    void SetRadioStyle(bool v) { radio_ = v; Invalidate(); }
    TNotifyEvent OnChange;

protected:
    void Paint() override;
    void Click() override;
    void KeyPress(char& Key) override;
    void DoEnter() override;
    void DoExit() override;

private:
    bool checked_ = false, radio_ = false;
};

// A drop-down choice: shows the chosen text with an arrow; a click (or Alt+Down) opens the
// choices as a popup menu under it, Up / Down step through them.
class TDialogChoice : public TCustomControl {
    DBV_CLASS(TDialogChoice, TCustomControl)
public:
    explicit TDialogChoice(TComponent* AOwner);
    ~TDialogChoice() override;
    const std::vector<std::string>& GetItems() const { return items_; }
    void SetItems(const std::vector<std::string>& v);
    int GetItemIndex() const { return index_; }
    void SetItemIndex(int v);
    // Opens the choices under the control.
    void DropDown();
    TNotifyEvent OnChange;

protected:
    void Paint() override;
    void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
    void KeyDown(uint16_t& Key, TShiftState Shift) override;
    void DoEnter() override;
    void DoExit() override;
    void WMGetDlgCode(TMessage& M) override;

private:
    void Choose(int i);
    std::vector<std::string> items_;
    int index_ = -1;
    TPopupMenu* menu_ = nullptr;
};

// Draws the message picture of a kind into r (32 x 32 looks right) on any canvas.
void DrawMessageIcon(TCanvas* c, const TRect& r, int kind);
// The caption without its '&' markers ("&&" stays one '&').
std::string StripAccel(const std::string& caption);
// The accelerator letter of a caption, upper case; 0 when none.
char AccelChar(const std::string& caption);
// A button on f, sized to its caption (at least 75 x 25).
TButton* AddDialogButton(TCustomForm* f, const std::string& caption, int modalResult);
// Width a button needs for a caption with the form's font.
int DialogButtonWidth(TCustomForm* f, const std::string& caption);
// Centres f on the screen.
void CenterOnScreen(TCustomForm* f);

}  // namespace vcl
