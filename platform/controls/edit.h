// The single-line edit control: TCustomEdit (text, caret, selection, keys, mouse, clipboard)
// and TEdit, which publishes it. Standard-control work extends this core.
#pragma once
#include "controls/controls.h"

namespace vcl {

class TCustomEdit : public TWinControl {
    DBV_CLASS(TCustomEdit, TWinControl)
public:
    explicit TCustomEdit(TComponent* AOwner);
    ~TCustomEdit() override;

    // 0: no limit. Typing and pasting stop at the limit; setting Text from code does not.
    int GetMaxLength() const { return maxLength_; }
    void SetMaxLength(int v) { maxLength_ = v < 0 ? 0 : v; }
    bool GetReadOnly() const { return readOnly_; }
    void SetReadOnly(bool v) { readOnly_ = v; }
    // Selects the whole text when the edit takes the focus from the keyboard.
    bool GetAutoSelect() const { return autoSelect_; }
    void SetAutoSelect(bool v) { autoSelect_ = v; }
    // Shown in place of every character when not 0 (the text keeps its characters).
    char GetPasswordChar() const { return passwordChar_; }
    void SetPasswordChar(char v);
    // bsSingle (a sunken client edge) or bsNone.
    TBorderStyle GetBorderStyle() const { return borderStyle_; }
    void SetBorderStyle(TBorderStyle v);
    bool GetModified() const { return modified_; }
    void SetModified(bool v) { modified_ = v; }

    // Byte offsets into Text (UTF-8; the caret and the keys step over whole characters).
    // SelStart is where the selection starts; the caret is at the
    // end the last extension moved (SelStart + SelLength after a forward selection).
    int GetSelStart() const;
    void SetSelStart(int v);
    int GetSelLength() const;
    void SetSelLength(int v);
    std::string GetSelText() const;
    // Replaces the selection (read-only or not: a call from code is always carried out).
    void SetSelText(const std::string& v);
    int CaretPos() const { return caret_; }
    void SelectAll();
    void ClearSelection();
    void CopyToClipboard();
    void CutToClipboard();
    void PasteFromClipboard();
    void Clear() { SetText(""); }

    TNotifyEvent OnChange;

protected:
    virtual void Change();
    void CreateParams(TCreateParams& Params) override;
    void PaintWindow(HDC dc) override;
    void KeyDown(uint16_t& Key, TShiftState Shift) override;
    void KeyPress(char& Key) override;
    void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
    void MouseMove(TShiftState Shift, int X, int Y) override;
    void DblClick() override;
    void DoEnter() override;
    void DoExit() override;
    void WMGetDlgCode(TMessage& M) override;
    void CMTextChanged(TMessage& M) override;
    void CMFontChanged(TMessage& M) override;

private:
    // What the edit shows for a range of the text (password characters in its place).
    std::string DisplayText(int from, int to) const;
    int TextX(int pos) const;  // client x of a text offset, scroll included
    // The offsets of the character boundaries before and after pos.
    int PrevChar(int pos) const;
    int NextChar(int pos) const;
    int PosAtX(int x) const;
    void MoveCaret(int pos, bool extend);
    void ScrollToCaret();
    // Replaces the selection with s as typed (limit, read-only and change event apply).
    void TypeReplace(const std::string& s);
    TCanvas* canvas_;
    int maxLength_ = 0;
    bool readOnly_ = false, autoSelect_ = true, modified_ = false;
    char passwordChar_ = 0;
    TBorderStyle borderStyle_ = bsSingle;
    int anchor_ = 0, caret_ = 0;
    int scroll_ = 0;  // pixels of text scrolled off the left edge
    bool settingText_ = false;
};

class TEdit : public TCustomEdit {
    DBV_CLASS(TEdit, TCustomEdit)
public:
    explicit TEdit(TComponent* AOwner) : TCustomEdit(AOwner) {}
};

}  // namespace vcl
