// Test helpers of the platform: input injection in client coordinates, the manual clock that
// fires due timers, scripted modal forms and the canvas operation log of a paint.
// (Rendering forms to images lives in backend/headless.h.)
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "controls/forms.h"
#include "controls/dialogs.h"
#include "controls/menus.h"
#include "controls/msgbox.h"
#include "rtl/clock.h"

namespace vcl::testing {

// ---- clock ----
// Installs a manual clock for its lifetime (the system clock comes back afterwards).
class TTestClock {
public:
    explicit TTestClock(uint32_t startTick = 1000);
    ~TTestClock();
    TTestClock(const TTestClock&) = delete;
    TTestClock& operator=(const TTestClock&) = delete;
    TManualClock& Clock() { return clock_; }
    uint32_t Now() { return clock_.TickCount(); }
    // Moves time on by ms, stopping at every moment a timer is due so that each fires as
    // often as it would have, and handles the messages that follow each step.
    void Advance(uint32_t ms);

private:
    TManualClock clock_;
};

// ---- mouse, in client coordinates of a control ----
void MouseMove(TControl* c, int x, int y, TShiftState shift = {});
void MouseDown(TControl* c, TMouseButton b, int x, int y, TShiftState shift = {});
void MouseUp(TControl* c, TMouseButton b, int x, int y, TShiftState shift = {});
// A single click (never taken as the second half of a double click).
void Click(TControl* c, int x, int y, TShiftState shift = {}, TMouseButton b = mbLeft);
// At the centre of the control.
void Click(TControl* c);
void DoubleClick(TControl* c, int x, int y, TShiftState shift = {});
void DoubleClick(TControl* c);
// Moves the pointer off every window (CM_MOUSELEAVE for the control it was over).
void MouseAway();
// Turns the wheel by delta (WHEEL_DELTA per notch, positive away from the user) with the
// pointer where it is: WM_MOUSEWHEEL to the focused control.
void MouseWheel(int delta, TShiftState shift = {});

// ---- window scroll bars (bar: SB_VERT or SB_HORZ) ----
// A part is named by the code a press on it sends: SB_LINEUP / SB_LINEDOWN (the arrows),
// SB_PAGEUP / SB_PAGEDOWN (the track before / after the thumb), SB_THUMBTRACK (the thumb).
// Its screen point (the middle of the part); raises EInvalidOperation when the bar is not
// shown or has no such part now.
TPoint ScrollBarPoint(TWinControl* c, int bar, int part);
// Presses the left button on the part and holds it (arrows and track repeat as the clock
// advances); ScrollBarRelease lets go where the pointer is.
void ScrollBarPress(TWinControl* c, int bar, int part);
void ScrollBarRelease();
// A press and an immediate release on the part.
void ScrollBarClick(TWinControl* c, int bar, int part);
// Grabs the thumb, moves it in steps to where position pos lies and lets go.
void DragScrollThumb(TWinControl* c, int bar, int pos, int steps = 1);

// ---- keyboard, to the focused window; the messages are handled before these return ----
// Shift, Ctrl and Alt of shift are held around the key.
void KeyDown(uint16_t vk, TShiftState shift = {});
void KeyUp(uint16_t vk, TShiftState shift = {});
void PressKey(uint16_t vk, TShiftState shift = {});
// Each byte as a character message (WM_CHAR), as typed text arrives.
void TypeText(const std::string& text);
// Handles everything waiting (messages, due timers, paints).
void ProcessMessages();
// The title-bar close button: WM_CLOSE to the form.
void UserClose(TCustomForm* form);

// ---- modal forms ----
// A script receives the form once ShowModal has shown and activated it; it acts through the
// controls and sets ModalResult (directly or by clicking a button). A script that returns
// with the form still open makes ShowModal raise instead of hanging.
using TModalScript = std::function<void(TCustomForm& form)>;
// Queued scripts are taken first in, first out; one with a class name only for that class.
void ExpectModal(TModalScript script);
void ExpectModal(const std::string& className, TModalScript script);
// Used when no queued script fits (null removes it).
void SetModalHandler(TModalScript script);
size_t PendingModalScripts();
void ClearModalScripts();
// Class names of the forms shown modally, in order.
const std::vector<std::string>& ModalLog();
void ClearModalLog();
// The form whose ShowModal is running (innermost), null when none.
TCustomForm* CurrentModalForm();

// ---- message boxes, input boxes and beeps ----
// Every box shown (MessageDlg, MessageBox, ShowMessage, InputQuery / InputBox), in order; a
// box is recorded when it shows (Result mrNone until it is answered), so a script can read
// its own entry.
struct TMessageBoxRecord {
    std::string Text, Caption;  // the input box: the prompt and the caption
    TMsgDlgType Kind = mtCustom;
    TMsgDlgButtons Buttons;
    int HelpCtx = 0;
    TModalResult Result = mrNone;
    bool IsInput = false;
    std::string Value;  // the input box: the value before, then the value it returned
};
const std::vector<TMessageBoxRecord>& MessageBoxLog();
void ClearMessageBoxLog();
// Queues a modal script for the next message box that clicks the button giving answer
// (raises inside ShowModal when the box has no such button).
void ExpectMessageBox(TModalResult answer);
// Queues a script for the next input box: types text over the selected value and clicks
// OK (ok) or Cancel.
void ExpectInputBox(const std::string& text, bool ok = true);
// The type of every MessageBeep, in order.
const std::vector<uint32_t>& BeepLog();
void ClearBeepLog();

// ---- common dialogs ----
// Run while a scripted dialog is open, before it is answered (to observe the program then).
using TDialogHook = std::function<void(TCustomForm& dialogForm)>;
// Queues the answer to the next open or save dialog: the name (relative to the folder the
// chooser shows, or a full path) is typed into the name field and the OK button pressed,
// so every check of the dialog runs (DefaultExt, must-exist, the overwrite prompt ...). A
// message box the dialog shows takes a queued script (ExpectMessageBox) when there is one;
// otherwise it is dismissed with Escape (No for a question). A name the dialog refuses
// leaves it open: the responder then cancels it, and Execute returns false.
void ExpectFileDialog(const std::string& fileName, TDialogHook whileOpen = nullptr);
void ExpectFileDialogCancel(TDialogHook whileOpen = nullptr);
// Queues the answer to the next font dialog: the face, size and styles (and colour with
// fdEffects) are chosen in the dialog's lists and OK pressed. Raises inside Execute when
// the face is not offered.
void ExpectFontDialog(const std::string& face, int size, TFontStyles style = {},
                      TColor color = clBlack, TDialogHook whileOpen = nullptr);
void ExpectFontDialogCancel(TDialogHook whileOpen = nullptr);
// Types text into the shown find box and presses Find Next (OnFind runs).
void FindDialogSearch(TFindDialog* dialog, const std::string& text);

// ---- menus ----
// The item at a path of captions separated by '|' ("&File|&Open..." or "file|open...":
// '&', the shortcut text after a tab and case are ignored). Raises EInvalidOperation when
// an item of the path is missing.
TMenuItem* FindMenuItem(TMenu* menu, const std::string& path);
// Clicks through the menu with the mouse as a person does: a main menu from its form's bar,
// a popup menu opened at the pointer (OnPopup runs) unless it is open already; each level
// is pressed in turn. Raises EInvalidOperation when an item on the way is missing, hidden or
// disabled (what was opened is closed again).
void ClickMenuItem(TMenu* menu, const std::string& path);
// Opens a bar item's drop-down by clicking it on the bar.
void OpenMenu(TCustomForm* form, const std::string& caption);
// A right click at a client point (the context menu opens on the release).
void RightClick(TControl* c, int x, int y);
// Clicks the item with this caption in the innermost open menu (raises when none).
void ClickOpenMenuItem(const std::string& caption);
// Captions of the items shown in the innermost open menu (empty when none is open).
std::vector<std::string> OpenMenuCaptions();

// ---- painting ----
// Invalidates the control and paints it now, returning what its canvas drew (canvas
// coordinates = the control's client coordinates). With children, their drawing is included.
TCanvasLog PaintLog(TControl* c, bool includeChildren = false);

// ---- errors shown by Application->HandleException, taken out of the record ----
std::vector<std::string> TakeShownErrors();

// Between tests: releases keys, buttons, capture and drags, forgets queued scripts, and
// clears the message-box and beep records.
void ResetInput();

namespace detail {
void ModalStarting(TCustomForm* f);
bool RunModalScript(TCustomForm* f);
void ModalEnded(TCustomForm* f);
size_t RecordMessageBox(const TMessageBoxRecord& r);
void SetMessageBoxResult(size_t index, TModalResult r, const std::string& value = {});
}  // namespace detail

}  // namespace vcl::testing
