// Small pieces the built-in dialogs are made of: a static text, the message icons, and
// helpers for captions with an accelerator ('&').
#pragma once
#include <string>

#include "controls/controls.h"

namespace vcl {

class TButton;
class TCustomForm;

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

protected:
    void Paint() override;
    uint32_t Flags() const;

private:
    bool wordWrap_ = false, showAccel_ = false;
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
