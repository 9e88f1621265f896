// Forms, the application object, the screen, the hint window and timers.
#pragma once
#include <exception>
#include <functional>
#include <string>
#include <vector>

#include "controls/controls.h"

namespace vcl {

DBV_ENUM(TFormStyle, fsNormal, fsMDIChild, fsMDIForm, fsStayOnTop);
DBV_ENUM(TPosition, poDesigned, poDefault, poDefaultPosOnly, poDefaultSizeOnly,
         poScreenCenter, poDesktopCenter);
DBV_ENUM(TBorderIcon, biSystemMenu, biMinimize, biMaximize, biHelp);
using TBorderIcons = TSet<TBorderIcon>;
DBV_ENUM(TCloseAction, caNone, caHide, caFree, caMinimize);
DBV_ENUM(TWindowState, wsNormal, wsMinimized, wsMaximized);
DBV_ENUM(TFormStateItem, fsCreating, fsVisible, fsShowing, fsModal, fsCreatedMDIChild,
         fsActivated);
using TFormState = TSet<TFormStateItem>;

using TModalResult = int;
constexpr TModalResult mrNone = 0, mrOk = 1, mrCancel = 2, mrAbort = 3, mrRetry = 4,
                       mrIgnore = 5, mrYes = 6, mrNo = 7, mrAll = 8, mrNoToAll = 9,
                       mrYesToAll = 10;

using TCloseEvent = std::function<void(TObject* Sender, TCloseAction& Action)>;
using TCloseQueryEvent = std::function<void(TObject* Sender, bool& CanClose)>;

class TMainMenu;

class TCustomForm : public TWinControl {
    DBV_CLASS(TCustomForm, TWinControl)
public:
    explicit TCustomForm(TComponent* AOwner);
    ~TCustomForm() override;
    void AfterConstruction() override;
    void BeforeDestruction() override;
    void Dispatch(TMessage& Message) override;

    TFormBorderStyle GetBorderStyle() const { return borderStyle_; }
    void SetBorderStyle(TFormBorderStyle v);
    TBorderIcons GetBorderIcons() const { return borderIcons_; }
    void SetBorderIcons(TBorderIcons v);
    TPosition GetPosition() const { return position_; }
    void SetPosition(TPosition v) { position_ = v; }
    TFormStyle GetFormStyle() const { return formStyle_; }
    void SetFormStyle(TFormStyle v);
    TWindowState GetWindowState() const { return windowState_; }
    void SetWindowState(TWindowState v) { windowState_ = v; }
    bool GetKeyPreview() const { return keyPreview_; }
    void SetKeyPreview(bool v) { keyPreview_ = v; }
    bool GetScaled() const { return scaled_; }
    void SetScaled(bool v) { scaled_ = v; }
    TModalResult GetModalResult() const { return modalResult_; }
    void SetModalResult(TModalResult v) { modalResult_ = v; }
    TFormState GetFormState() const { return formState_; }
    bool GetActive() const { return active_; }
    // The menu shown as the form's bar: it takes non-client height (the client area
    // shrinks), and its shortcuts and Alt+letter work while the form is active.
    TMainMenu* GetMenu() const { return menu_; }
    void SetMenu(TMainMenu* v);
    void Notification(TComponent* AComponent, TOperation Operation) override;

    TWinControl* GetActiveControl() const { return activeControl_; }
    // Raises EInvalidOperation "Cannot focus a disabled or invisible window" for a control
    // that cannot take the focus.
    void SetActiveControl(TWinControl* Control);
    // The control that last received the focus inside this form (CM_ENTER/CM_EXIT chain).
    TWinControl* FocusedControl() const { return focusedControl_; }
    // Moves the focus within the form, sending CM_EXIT up from the old control and CM_ENTER
    // down to the new one. A focus request made while this runs (from OnExit or OnEnter)
    // takes over once the running step is done.
    bool SetFocusedControl(TWinControl* Control);
    void FocusControl(TWinControl* Control);
    void DefocusControl(TWinControl* Control, bool Removing);
    bool CanFocus() const override;
    void SetFocus() override;

    void Show();
    void Hide();
    // Modal: sets ModalResult to mrCancel. Otherwise OnCloseQuery, OnClose and the action.
    void Close();
    bool CloseQuery();
    // Frees the form once the messages already posted have been handled.
    void Release();
    // Shows the form and runs a modal loop until ModalResult is set; other forms are disabled
    // meanwhile. Raises EInvalidOperation "Cannot make a visible window modal".
    TModalResult ShowModal();

    void SetBounds(int ALeft, int ATop, int AWidth, int AHeight) override;
    void PaintNonClient(TCanvas* Canvas) override;
    bool IsShowing() const override;
    void GetChildren(const TGetChildProc& Proc, TComponent* Root) override;
    // A form read with Visible set shows once the whole form is loaded.
    void Loaded() override;

    TNotifyEvent OnCreate;
    TNotifyEvent OnDestroy;
    TNotifyEvent OnShow;
    TNotifyEvent OnHide;
    TNotifyEvent OnActivate;
    TNotifyEvent OnDeactivate;
    TCloseEvent OnClose;
    TCloseQueryEvent OnCloseQuery;

protected:
    virtual void DoCreate();
    virtual void DoDestroy();
    virtual void DoShow();
    virtual void DoHide();
    virtual void DoClose(TCloseAction& Action);
    virtual void Activate();
    virtual void Deactivate();
    void CreateParams(TCreateParams& Params) override;
    // Caption and frame by the border style.
    TRect CalcFrameInsets(uint32_t Style, uint32_t ExStyle) const override;
    // In front of the other windows, a showing form is also activated.
    void SetZOrder(bool TopMost) override;
    void UpdateShowing() override;
    void CMDialogKey(TMessage& M) override;
    virtual void WMClose(TMessage& M);
    virtual void WMActivate(TMessage& M);
    virtual void WMGetMinMaxInfo(TMessage& M);
    virtual void CMRelease(TMessage& M);
    void CMTextChanged(TMessage& M) override;
    void WMSetFocus(TMessage& M) override;
    void CloseModal();
    void SetWindowFocus();

private:
    friend class TApplication;
    void ShowingChanged(bool showing);
    // The window to activate when this form stops being the active one (0 when none).
    win::HWND NextFormToActivate() const;
    TFormBorderStyle borderStyle_ = bsSizeable;
    TBorderIcons borderIcons_{biSystemMenu, biMinimize, biMaximize};
    TPosition position_ = poDesigned;
    TFormStyle formStyle_ = fsNormal;
    TWindowState windowState_ = wsNormal;
    bool keyPreview_ = false, scaled_ = true;
    TModalResult modalResult_ = mrNone;
    TFormState formState_;
    bool active_ = false;
    bool constructed_ = false;
    bool shownOnScreen_ = false;
    TWinControl* activeControl_ = nullptr;
    TWinControl* focusedControl_ = nullptr;
    TMainMenu* menu_ = nullptr;
    bool focusing_ = false;
    TWinControl* pendingFocus_ = nullptr;
    bool hasPendingFocus_ = false;
};

class TForm : public TCustomForm {
    DBV_CLASS(TForm, TCustomForm)
public:
    explicit TForm(TComponent* AOwner) : TCustomForm(AOwner) {}
};

// ---------------------------------------------------------------------------------------------
// What a hint will show; OnShowHint and CM_HINTSHOW may change it.
struct THintInfo {
    TControl* HintControl = nullptr;
    TPoint HintPos;        // screen position of the hint window
    int HintMaxWidth = 0;
    TColor HintColor = clInfoBk;
    TRect CursorRect;      // client coordinates of HintControl
    TPoint CursorPos;      // client coordinates of HintControl
    int ReshowTimeout = 0;
    int HideTimeout = 0;
    std::string HintStr;
};
using TShowHintEvent =
    std::function<void(std::string& HintStr, bool& CanShow, THintInfo& HintInfo)>;
using TIdleEvent = std::function<void(TObject* Sender, bool& Done)>;
using TExceptionEvent = std::function<void(TObject* Sender, Exception& E)>;

// A small top-level window showing a hint text.
class THintWindow : public TCustomControl {
    DBV_CLASS(THintWindow, TCustomControl)
public:
    explicit THintWindow(TComponent* AOwner);
    // Shows Hint at Rect (screen coordinates).
    virtual void ActivateHint(TRect R, const std::string& Hint);
    virtual TRect CalcHintRect(int MaxWidth, const std::string& Hint);
    void ReleaseHandle();

protected:
    void CreateParams(TCreateParams& Params) override;
    void Paint() override;
};

class TApplication : public TComponent {
    DBV_CLASS(TApplication, TComponent)
public:
    explicit TApplication(TComponent* AOwner);
    ~TApplication() override;

    // Creates a form owned by the application; the first one becomes the main form.
    template <class T>
    void CreateForm(T*& Reference) {
        Reference = Create<T>(this);
        if (!mainForm_) mainForm_ = Reference;
    }
    TCustomForm* GetMainForm() const { return mainForm_; }
    void SetMainForm(TCustomForm* f) { mainForm_ = f; }
    // Shows the main form and handles messages until Terminate. A headless process returns
    // as soon as nothing is left to do (no message, no paint, no timer due).
    void Run();
    // Handles every waiting message (and the paints and due timers that follow).
    void ProcessMessages();
    // Handles one message, or idles (OnIdle) and waits for input when there is none.
    void HandleMessage();
    // One message (false when the queue was empty).
    bool ProcessMessage();
    void Terminate();
    bool GetTerminated() const { return terminated_; }
    // Lets the application run again after a Terminate (a second Run, or the next test).
    void ClearTerminated() { terminated_ = false; }
    // Call inside a catch block: EAbort is silent, others go to OnException or ShowException.
    void HandleException(TObject* Sender);
    void ShowException(const Exception& E);
    // Where ShowException sends its text (the message-box service installs itself here).
    std::function<void(const std::string& Text, const std::string& Title)> OnShowError;
    const std::vector<std::string>& ShownErrors() const { return shownErrors_; }
    void ClearShownErrors() { shownErrors_.clear(); }

    const std::string& GetExeName() const;
    void SetExeName(const std::string& v) { exeName_ = v; }
    // The program's file name without extension unless set.
    std::string GetTitle() const;
    void SetTitle(const std::string& v) { title_ = v; }

    // ---- hints ----
    bool GetShowHint() const { return showHint_; }
    void SetShowHint(bool v);
    int GetHintPause() const { return hintPause_; }
    void SetHintPause(int v) { hintPause_ = v; }
    int GetHintHidePause() const { return hintHidePause_; }
    void SetHintHidePause(int v) { hintHidePause_ = v; }
    int GetHintShortPause() const { return hintShortPause_; }
    void SetHintShortPause(int v) { hintShortPause_ = v; }
    TColor GetHintColor() const { return hintColor_; }
    void SetHintColor(TColor v) { hintColor_ = v; }
    const std::string& GetHint() const { return hint_; }
    void SetHint(const std::string& v);
    void ActivateHint(TPoint CursorPos);
    void CancelHint();
    THintWindow* HintWindow() const { return hintWindow_; }
    // The hint text shown now ("" when no hint window is up).
    std::string ShownHint() const;
    // Called by the input router when the pointer moves over Control.
    void HintMouseMessage(TControl* Control, TPoint screen);

    TNotifyEvent OnHint;
    TShowHintEvent OnShowHint;
    TIdleEvent OnIdle;
    TExceptionEvent OnException;

    // Key handling of the loop: the control's CN_ key step, translation into WM_CHAR.
    bool IsKeyMsg(win::MSG& Msg);
    void TranslateKey(const win::MSG& Msg);
    void ForgetControl(TControl* c);

private:
    void Idle();
    void HintTimerFired();
    TCustomForm* mainForm_ = nullptr;
    bool terminated_ = false;
    std::string exeName_, title_;
    std::vector<std::string> shownErrors_;
    bool showHint_ = true;
    int hintPause_ = 500, hintHidePause_ = 2500, hintShortPause_ = 50;
    TColor hintColor_ = clInfoBk;
    std::string hint_;
    THintWindow* hintWindow_ = nullptr;
    TControl* hintControl_ = nullptr;
    bool hintActive_ = false;
    uint32_t hintTimer_ = 0;
    int hintTimerKind_ = 0;  // 1 show, 2 hide
    uint32_t lastHintHidden_ = 0;
};

class TScreen : public TComponent {
    DBV_CLASS(TScreen, TComponent)
public:
    explicit TScreen(TComponent* AOwner);
    ~TScreen() override;
    int FormCount() const { return int(forms_.size()); }
    TCustomForm* Forms(int i) const { return forms_.at(size_t(i)); }
    const std::vector<TCustomForm*>& FormList() const { return forms_; }
    int DataModuleCount() const { return int(vcl::DataModules().size()); }
    TDataModule* DataModules(int i) const { return vcl::DataModules().at(size_t(i)); }
    TCustomForm* GetActiveForm() const { return activeForm_; }
    TWinControl* GetActiveControl() const { return activeControl_; }
    TCursor GetCursor() const { return cursor_; }
    void SetCursor(TCursor v);
    int GetWidth() const;
    int GetHeight() const;
    int PixelsPerInch() const { return 96; }
    TFont* GetHintFont() const { return hintFont_; }

    // ---- for the forms ----
    void AddForm(TCustomForm* f);
    void RemoveForm(TCustomForm* f);
    void SetActiveForm(TCustomForm* f);
    void SetActiveControl(TWinControl* c) { activeControl_ = c; }

    TNotifyEvent OnActiveFormChange;
    TNotifyEvent OnActiveControlChange;

private:
    std::vector<TCustomForm*> forms_;
    TCustomForm* activeForm_ = nullptr;
    TWinControl* activeControl_ = nullptr;
    TCursor cursor_ = crDefault;
    TFont* hintFont_;
};

// Application-> and Screen-> reach the process-wide objects (created on first use).
struct TApplicationRef {
    TApplication* operator->() const { return Get(); }
    operator TApplication*() const { return Get(); }
    static TApplication* Get();
};
struct TScreenRef {
    TScreen* operator->() const { return Get(); }
    operator TScreen*() const { return Get(); }
    static TScreen* Get();
};
inline constexpr TApplicationRef Application{};
inline constexpr TScreenRef Screen{};

// ---------------------------------------------------------------------------------------------
// A timer driven by the platform clock. OnTimer runs from the message loop or when a test
// advances the manual clock; an exception from it goes to Application->HandleException.
class TTimer : public TComponent {
    DBV_CLASS(TTimer, TComponent)
public:
    explicit TTimer(TComponent* AOwner);
    ~TTimer() override;
    bool GetEnabled() const { return enabled_; }
    void SetEnabled(bool v);
    unsigned GetInterval() const { return interval_; }
    void SetInterval(unsigned v);
    TNotifyEvent OnTimer;
    bool Running() const { return id_ != 0; }
    void Loaded() override;

protected:
    virtual void Timer();

private:
    void UpdateTimer();
    bool enabled_ = true;
    unsigned interval_ = 1000;
    unsigned id_ = 0;
};

}  // namespace vcl
