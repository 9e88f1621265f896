// Message boxes, message dialogs, the input box and the beep: real modal forms of the window
// system (icon, wrapped text, buttons sized to their captions, Enter and Escape).
#pragma once
#include <string>

#include "controls/forms.h"

namespace vcl {

DBV_ENUM(TMsgDlgType, mtWarning, mtError, mtInformation, mtConfirmation, mtCustom);
DBV_ENUM(TMsgDlgBtn, mbYes, mbNo, mbOK, mbCancel, mbAbort, mbRetry, mbIgnore, mbAll,
         mbNoToAll, mbYesToAll, mbHelp);
using TMsgDlgButtons = TSet<TMsgDlgBtn>;
inline const TMsgDlgButtons mbYesNoCancel{mbYes, mbNo, mbCancel};
inline const TMsgDlgButtons mbYesNo{mbYes, mbNo};
inline const TMsgDlgButtons mbOKCancel{mbOK, mbCancel};
inline const TMsgDlgButtons mbAbortRetryIgnore{mbAbort, mbRetry, mbIgnore};

// The platform's button captions and the modal result each button gives (mbHelp: none).
const char* MsgDlgButtonCaption(TMsgDlgBtn b);
TModalResult MsgDlgButtonResult(TMsgDlgBtn b);
// "Warning", "Error", "Information", "Confirm"; mtCustom: the application title.
std::string MsgDlgCaption(TMsgDlgType t);

// The form MessageDlg shows (class TMessageForm). Buttons appear in the order of TMsgDlgBtn;
// Enter clicks the default (OK, else Yes, else the first), which has the focus; Escape the
// cancel button (Cancel, else No, else OK; none otherwise). Help calls HelpHandler with
// the help context and leaves the box open. The caller frees the form.
TCustomForm* CreateMessageDialog(const std::string& Msg, TMsgDlgType DlgType,
                                 TMsgDlgButtons Buttons, int HelpCtx = 0);
TModalResult MessageDlg(const std::string& Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons,
                        int HelpCtx);
// X, Y: the box's top-left on the screen (-1: centred).
TModalResult MessageDlgPos(const std::string& Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons,
                           int HelpCtx, int X, int Y);
// An OK box with no icon, captioned with the application title.
void ShowMessage(const std::string& Msg);
// Where the Help button of a box sends its help context (null: nowhere).
void SetHelpHandler(std::function<void(int HelpCtx)> handler);

// ---- the operating-system-style box ----
constexpr uint32_t MB_OK = 0x0, MB_OKCANCEL = 0x1, MB_ABORTRETRYIGNORE = 0x2,
                   MB_YESNOCANCEL = 0x3, MB_YESNO = 0x4, MB_RETRYCANCEL = 0x5,
                   MB_TYPEMASK = 0xF, MB_ICONHAND = 0x10, MB_ICONSTOP = 0x10,
                   MB_ICONERROR = 0x10, MB_ICONQUESTION = 0x20, MB_ICONEXCLAMATION = 0x30,
                   MB_ICONWARNING = 0x30, MB_ICONASTERISK = 0x40, MB_ICONINFORMATION = 0x40,
                   MB_ICONMASK = 0xF0, MB_DEFBUTTON1 = 0x0, MB_DEFBUTTON2 = 0x100,
                   MB_DEFBUTTON3 = 0x200, MB_DEFMASK = 0xF00, MB_APPLMODAL = 0x0,
                   MB_HELP = 0x4000;
constexpr int IDOK = 1, IDCANCEL = 2, IDABORT = 3, IDRETRY = 4, IDIGNORE = 5, IDYES = 6,
              IDNO = 7;
// Text and caption (empty caption: the application title) with MB_ buttons, icon and
// default button. Escape answers IDCANCEL where there is a Cancel button, IDOK for a lone
// OK, and nothing otherwise. Returns the ID of the button.
int MessageBox(const std::string& Text, const std::string& Caption, uint32_t Flags = MB_OK);

// ---- the input box ----
// A form with the prompt, a one-line edit holding Value (selected) and OK / Cancel. OK
// stores the edit's text in Value and returns true; Cancel leaves Value as it was.
bool InputQuery(const std::string& ACaption, const std::string& APrompt, std::string& Value);
// The typed text on OK, ADefault on Cancel.
std::string InputBox(const std::string& ACaption, const std::string& APrompt,
                     const std::string& ADefault);

// The default beep (recorded; see testing.h).
using win::MessageBeep;

}  // namespace vcl
