#include "controls/msgbox.h"

#include <algorithm>
#include <cctype>

#include "controls/buttons.h"
#include "controls/dlgparts.h"
#include "controls/edit.h"
#include "controls/testing.h"

namespace vcl {

using namespace win;

namespace {
std::function<void(int)>& HelpHandler() {
    static std::function<void(int)> h;
    return h;
}

// The message form: icon, wrapped text and a row of buttons. Letters of the buttons'
// accelerators click them ("Y" for "&Yes").
class TMessageForm : public TForm {
    DBV_CLASS(TMessageForm, TForm)
public:
    explicit TMessageForm(TComponent* AOwner) : TForm(AOwner) {
        SetBorderStyle(bsDialog);
        SetKeyPreview(true);
    }
    int HelpCtx = 0;
    std::vector<TButton*> Buttons;

protected:
    void KeyPress(char& Key) override {
        TForm::KeyPress(Key);
        char up = char(std::toupper(static_cast<unsigned char>(Key)));
        if (!std::isalpha(static_cast<unsigned char>(up))) return;
        for (TButton* b : Buttons)
            if (AccelChar(b->GetCaption()) == up && b->GetEnabled()) {
                Key = 0;
                b->Click();
                return;
            }
    }
};
DBV_IMPLEMENT_CLASS(TMessageForm)

class TInputQueryForm : public TDialogForm {
    DBV_CLASS(TInputQueryForm, TDialogForm)
public:
    explicit TInputQueryForm(TComponent* AOwner) : TDialogForm(AOwner) {}
    TEdit* Edit = nullptr;
};
DBV_IMPLEMENT_CLASS(TInputQueryForm)

int IconKind(TMsgDlgType t) {
    switch (t) {
        case mtWarning: return 0;
        case mtError: return 1;
        case mtInformation: return 2;
        case mtConfirmation: return 3;
        default: return -1;
    }
}

struct BoxSpec {
    std::string Text, Caption;
    TMsgDlgType Kind = mtCustom;
    TMsgDlgButtons Buttons;
    int HelpCtx = 0;
    int DefaultIndex = -1;  // index among the shown buttons; -1: the rule of MessageDlg
    int CancelResult = -2;  // the result Escape gives; -2: the rule of MessageDlg, 0: none
};

TMessageForm* BuildBox(const BoxSpec& s) {
    TMessageForm* f = Create<TMessageForm>(Application);
    try {
        f->SetCaption(s.Caption);
        f->HelpCtx = s.HelpCtx;
        const int margin = 12, gap = 8;
        int textLeft = margin;
        int iconKind = IconKind(s.Kind);
        int top = margin, contentBottom = margin;
        if (iconKind >= 0) {
            auto* icon = Create<TDialogIcon>(f);
            icon->SetKind(iconKind);
            icon->SetParent(f);
            icon->SetBounds(margin, margin, 32, 32);
            textLeft = margin + 32 + margin;
            contentBottom = margin + 32;
        }
        auto* text = Create<TDialogLabel>(f);
        text->SetName("Message");
        text->SetParent(f);
        text->SetWordWrap(true);
        text->SetCaption(s.Text);
        int maxText = std::max(200, Screen->GetWidth() / 2 - textLeft - margin);
        text->AutoSizeTo(maxText);
        int textTop = top;
        if (iconKind >= 0 && text->GetHeight() < 32) textTop = margin + (32 - text->GetHeight()) / 2;
        text->SetBounds(textLeft, textTop, text->GetWidth(), text->GetHeight());
        contentBottom = std::max(contentBottom, textTop + text->GetHeight());

        // Buttons in the platform's order.
        std::vector<TMsgDlgBtn> order;
        for (int i = int(mbYes); i <= int(mbHelp); ++i)
            if (s.Buttons.Contains(TMsgDlgBtn(i))) order.push_back(TMsgDlgBtn(i));
        if (order.empty()) order.push_back(mbOK);
        int rowWidth = 0;
        for (TMsgDlgBtn b : order) {
            TButton* btn = AddDialogButton(f, MsgDlgButtonCaption(b), MsgDlgButtonResult(b));
            btn->SetName(std::string("Btn") + EnumToIdent(b).substr(2));
            if (b == mbHelp) {
                int ctx = s.HelpCtx;
                btn->OnClick = [ctx](TObject*) {
                    if (HelpHandler()) HelpHandler()(ctx);
                };
            }
            f->Buttons.push_back(btn);
            rowWidth += btn->GetWidth();
        }
        rowWidth += gap * int(order.size() - 1);

        int def = s.DefaultIndex;
        if (def < 0 || def >= int(order.size())) {
            def = 0;
            auto at = [&](TMsgDlgBtn b) {
                auto it = std::find(order.begin(), order.end(), b);
                return it == order.end() ? -1 : int(it - order.begin());
            };
            if (at(mbOK) >= 0) def = at(mbOK);
            else if (at(mbYes) >= 0) def = at(mbYes);
        }
        f->Buttons[size_t(def)]->SetDefault(true);
        int cancelResult = s.CancelResult;
        if (cancelResult == -2) {
            cancelResult = 0;
            for (TMsgDlgBtn b : {mbCancel, mbNo, mbOK})
                if (std::find(order.begin(), order.end(), b) != order.end()) {
                    cancelResult = MsgDlgButtonResult(b);
                    break;
                }
        }
        for (TButton* b : f->Buttons)
            if (cancelResult && b->GetModalResult() == cancelResult) {
                b->SetCancel(true);
                break;
            }

        int clientW = std::max({textLeft + text->GetWidth() + margin, rowWidth + 2 * margin, 150});
        int buttonTop = contentBottom + 16;
        int clientH = buttonTop + 25 + margin;
        f->SetClientWidth(clientW);
        f->SetClientHeight(clientH);
        int x = (clientW - rowWidth) / 2;
        for (TButton* b : f->Buttons) {
            b->SetBounds(x, buttonTop, b->GetWidth(), 25);
            x += b->GetWidth() + gap;
        }
        f->SetActiveControl(f->Buttons[size_t(def)]);
        CenterOnScreen(f);
    } catch (...) {
        f->Free();
        throw;
    }
    return f;
}

TModalResult RunBox(const BoxSpec& s, int x = -1, int y = -1) {
    TMessageForm* f = BuildBox(s);
    if (x >= 0 || y >= 0)
        f->SetBounds(x >= 0 ? x : f->GetLeft(), y >= 0 ? y : f->GetTop(), f->GetWidth(), f->GetHeight());
    testing::TMessageBoxRecord rec;
    rec.Text = s.Text;
    rec.Caption = s.Caption;
    rec.Kind = s.Kind;
    rec.Buttons = s.Buttons.Empty() ? TMsgDlgButtons{mbOK} : s.Buttons;
    rec.HelpCtx = s.HelpCtx;
    size_t index = testing::detail::RecordMessageBox(rec);
    TModalResult r = mrNone;
    try {
        r = f->ShowModal();
    } catch (...) {
        f->Free();
        throw;
    }
    f->Free();
    testing::detail::SetMessageBoxResult(index, r);
    return r;
}
}  // namespace

const char* MsgDlgButtonCaption(TMsgDlgBtn b) {
    static const char* const captions[] = {"&Yes",      "&No",     "OK",         "Cancel",
                                           "&Abort",    "&Retry",  "&Ignore",    "&All",
                                           "N&o to All", "Yes to &All", "&Help"};
    return captions[int(b)];
}

TModalResult MsgDlgButtonResult(TMsgDlgBtn b) {
    static const TModalResult results[] = {mrYes,   mrNo,      mrOk,       mrCancel,
                                           mrAbort, mrRetry,   mrIgnore,   mrAll,
                                           mrNoToAll, mrYesToAll, mrNone};
    return results[int(b)];
}

std::string MsgDlgCaption(TMsgDlgType t) {
    switch (t) {
        case mtWarning: return "Warning";
        case mtError: return "Error";
        case mtInformation: return "Information";
        case mtConfirmation: return "Confirm";
        default: return Application->GetTitle();
    }
}

void SetHelpHandler(std::function<void(int)> handler) { HelpHandler() = std::move(handler); }

TCustomForm* CreateMessageDialog(const std::string& Msg, TMsgDlgType DlgType,
                                 TMsgDlgButtons Buttons, int HelpCtx) {
    BoxSpec s;
    s.Text = Msg;
    s.Caption = MsgDlgCaption(DlgType);
    s.Kind = DlgType;
    s.Buttons = Buttons;
    s.HelpCtx = HelpCtx;
    return BuildBox(s);
}

TModalResult MessageDlgPos(const std::string& Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons,
                           int HelpCtx, int X, int Y) {
    BoxSpec s;
    s.Text = Msg;
    s.Caption = MsgDlgCaption(DlgType);
    s.Kind = DlgType;
    s.Buttons = Buttons;
    s.HelpCtx = HelpCtx;
    return RunBox(s, X, Y);
}

TModalResult MessageDlg(const std::string& Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons,
                        int HelpCtx) {
    return MessageDlgPos(Msg, DlgType, Buttons, HelpCtx, -1, -1);
}

void ShowMessage(const std::string& Msg) { MessageDlg(Msg, mtCustom, {mbOK}, 0); }

int MessageBox(const std::string& Text, const std::string& Caption, uint32_t Flags) {
    BoxSpec s;
    s.Text = Text;
    s.Caption = Caption.empty() ? Application->GetTitle() : Caption;
    switch (Flags & MB_ICONMASK) {
        case MB_ICONHAND: s.Kind = mtError; break;
        case MB_ICONQUESTION: s.Kind = mtConfirmation; break;
        case MB_ICONEXCLAMATION: s.Kind = mtWarning; break;
        case MB_ICONASTERISK: s.Kind = mtInformation; break;
        default: s.Kind = mtCustom; break;
    }
    switch (Flags & MB_TYPEMASK) {
        case MB_OKCANCEL: s.Buttons = mbOKCancel; s.CancelResult = IDCANCEL; break;
        case MB_ABORTRETRYIGNORE: s.Buttons = mbAbortRetryIgnore; s.CancelResult = 0; break;
        case MB_YESNOCANCEL: s.Buttons = mbYesNoCancel; s.CancelResult = IDCANCEL; break;
        case MB_YESNO: s.Buttons = mbYesNo; s.CancelResult = 0; break;
        case MB_RETRYCANCEL: s.Buttons = {mbRetry, mbCancel}; s.CancelResult = IDCANCEL; break;
        default: s.Buttons = {mbOK}; s.CancelResult = IDOK; break;
    }
    if (Flags & MB_HELP) s.Buttons.Include(mbHelp);
    s.DefaultIndex = int((Flags & MB_DEFMASK) >> 8);
    // MB_ results are the modal results of the same buttons.
    return RunBox(s);
}

bool InputQuery(const std::string& ACaption, const std::string& APrompt, std::string& Value) {
    TInputQueryForm* f = Create<TInputQueryForm>(Application);
    bool ok = false;
    std::string typed;
    try {
        f->SetCaption(ACaption);
        const int margin = 8;
        auto* prompt = Create<TDialogLabel>(f);
        prompt->SetName("Prompt");
        prompt->SetParent(f);
        prompt->SetShowAccelChar(true);
        prompt->SetCaption(APrompt);
        prompt->AutoSizeTo(0);
        prompt->SetBounds(margin, margin, prompt->GetWidth(), prompt->GetHeight());
        int clientW = std::max(260, prompt->GetWidth() + 2 * margin);
        f->Edit = Create<TEdit>(f);
        f->Edit->SetName("Edit");
        f->Edit->SetParent(f);
        f->Edit->SetBounds(margin, prompt->GetTop() + prompt->GetHeight() + 4, clientW - 2 * margin, 21);
        f->Edit->SetText(Value);
        prompt->SetFocusControl(f->Edit);
        int buttonTop = f->Edit->GetTop() + f->Edit->GetHeight() + 14;
        TButton* okBtn = AddDialogButton(f, "OK", mrOk);
        okBtn->SetName("OKButton");
        okBtn->SetDefault(true);
        TButton* cancelBtn = AddDialogButton(f, "Cancel", mrCancel);
        cancelBtn->SetName("CancelButton");
        cancelBtn->SetCancel(true);
        int row = okBtn->GetWidth() + 8 + cancelBtn->GetWidth();
        int x = (clientW - row) / 2;
        okBtn->SetBounds(x, buttonTop, okBtn->GetWidth(), 25);
        cancelBtn->SetBounds(x + okBtn->GetWidth() + 8, buttonTop, cancelBtn->GetWidth(), 25);
        f->SetClientWidth(clientW);
        f->SetClientHeight(buttonTop + 25 + margin);
        f->SetActiveControl(f->Edit);
        CenterOnScreen(f);

        testing::TMessageBoxRecord rec;
        rec.Text = APrompt;
        rec.Caption = ACaption;
        rec.Kind = mtCustom;
        rec.Buttons = mbOKCancel;
        rec.IsInput = true;
        rec.Value = Value;
        size_t index = testing::detail::RecordMessageBox(rec);
        TModalResult r = f->ShowModal();
        ok = r == mrOk;
        typed = f->Edit->GetText();
        testing::detail::SetMessageBoxResult(index, r, ok ? typed : Value);
    } catch (...) {
        f->Free();
        throw;
    }
    f->Free();
    if (ok) Value = typed;
    return ok;
}

std::string InputBox(const std::string& ACaption, const std::string& APrompt,
                     const std::string& ADefault) {
    std::string v = ADefault;
    return InputQuery(ACaption, APrompt, v) ? v : ADefault;
}

}  // namespace vcl
