// Forms, application, screen, hint window and timers.
#include "controls/forms.h"
#include "controls/menus.h"
#include "controls/msgbox.h"

#include <unistd.h>

#include <algorithm>
#include <climits>

#include "controls/input.h"
#include "controls/testing.h"
#include "controls/windowbackend.h"
#include "controls/wininternal.h"
#include "rtl/clock.h"
#include "rtl/sysutils.h"

namespace vcl {

using namespace win;

static const char* const kCannotFocus = "Cannot focus a disabled or invisible window";

// =============================================================================================
// TCustomForm

DBV_PUBLISHED(TCustomForm) {
    b.Protected();
    b.Enum("BorderStyle", &TCustomForm::GetBorderStyle, &TCustomForm::SetBorderStyle, bsSizeable);
    b.Set("BorderIcons", "TBorderIcons", &TCustomForm::GetBorderIcons, &TCustomForm::SetBorderIcons,
          TBorderIcons{biSystemMenu, biMinimize, biMaximize});
    b.Enum("Position", &TCustomForm::GetPosition, &TCustomForm::SetPosition, poDesigned);
    b.Enum("FormStyle", &TCustomForm::GetFormStyle, &TCustomForm::SetFormStyle, fsNormal);
    b.Enum("WindowState", &TCustomForm::GetWindowState, &TCustomForm::SetWindowState, wsNormal);
    b.Bool("KeyPreview", &TCustomForm::GetKeyPreview, &TCustomForm::SetKeyPreview, false);
    b.Bool("Scaled", &TCustomForm::GetScaled, &TCustomForm::SetScaled, true);
    b.Component("ActiveControl", &TCustomForm::GetActiveControl, &TCustomForm::SetActiveControl);
    b.Component("Menu", &TCustomForm::GetMenu, &TCustomForm::SetMenu);
    b.Event("OnCreate", "TNotifyEvent", &TCustomForm::OnCreate);
    b.Event("OnDestroy", "TNotifyEvent", &TCustomForm::OnDestroy);
    b.Event("OnShow", "TNotifyEvent", &TCustomForm::OnShow);
    b.Event("OnHide", "TNotifyEvent", &TCustomForm::OnHide);
    b.Event("OnActivate", "TNotifyEvent", &TCustomForm::OnActivate);
    b.Event("OnDeactivate", "TNotifyEvent", &TCustomForm::OnDeactivate);
    b.Event("OnClose", "TCloseEvent", &TCustomForm::OnClose);
    b.Event("OnCloseQuery", "TCloseQueryEvent", &TCustomForm::OnCloseQuery);
}
DBV_PUBLISHED(TForm) {
    b.Publish({"ActiveControl", "Align", "BorderIcons", "BorderStyle", "Caption", "Color",
               "Constraints", "Ctl3D", "Enabled", "Font", "FormStyle", "KeyPreview", "Menu", "ParentFont",
               "PopupMenu", "Position", "Scaled", "ShowHint", "Visible", "WindowState", "OnActivate", "OnClick",
               "OnClose", "OnCloseQuery", "OnCreate", "OnDblClick", "OnDestroy", "OnDeactivate",
               "OnDragDrop", "OnDragOver", "OnHide", "OnKeyDown", "OnKeyPress", "OnKeyUp",
               "OnMouseDown", "OnMouseMove", "OnMouseUp", "OnMouseWheel", "OnMouseWheelDown",
               "OnMouseWheelUp", "OnResize", "OnShow"});
}

TCustomForm::TCustomForm(TComponent* AOwner) : TWinControl(AOwner) {
    SetControlStyle({csAcceptsControls, csCaptureMouse, csClickEvents, csSetCaption,
                     csDoubleClicks});
    UpdateBoundsRect(Rect(0, 0, 320, 240));
    SetVisible(false);
    SetColor(clBtnFace);
    SetParentFont(false);
    formState_.Include(fsCreating);
    Screen->AddForm(this);
}

TCustomForm::~TCustomForm() { Screen->RemoveForm(this); }

void TCustomForm::AfterConstruction() {
    TWinControl::AfterConstruction();
    constructed_ = true;
    formState_.Exclude(fsCreating);
    DoCreate();
    if (GetVisible() && !IsLoading()) UpdateShowing();
}

void TCustomForm::BeforeDestruction() {
    if (menu_ && MenuActive()) CloseMenus();
    DoDestroy();
    Screen->RemoveForm(this);
    if (HandleAllocated() && win::GetActiveWindow() == GetHandle()) {
        // Hand the activation on, without the events of a close.
        active_ = false;
        win::SetActiveWindow(NextFormToActivate());
    }
    TWinControl::BeforeDestruction();
}

namespace {
// Runs an event whose exception must not escape creation or destruction: the application
// reports it instead.
void RunReported(const TNotifyEvent& event, TCustomForm* form) {
    if (!event) return;
    try {
        event(form);
    } catch (...) {
        Application->HandleException(form);
    }
}
}  // namespace

win::HWND TCustomForm::NextFormToActivate() const {
    for (HWND h : ws::TopLevelOrder()) {
        auto* f = dynamic_cast<TCustomForm*>(win::FindControl(h));
        if (f && f != this && f->IsShowing() && win::IsWindowEnabled(h)) return h;
    }
    return 0;
}

void TCustomForm::DoCreate() {
    RunReported(OnCreate, this);
}

void TCustomForm::DoDestroy() {
    RunReported(OnDestroy, this);
}

void TCustomForm::DoShow() {
    if (OnShow) OnShow(this);
}
void TCustomForm::DoHide() {
    if (OnHide) OnHide(this);
}
void TCustomForm::DoClose(TCloseAction& Action) {
    if (OnClose) OnClose(this, Action);
}
void TCustomForm::Activate() {
    if (OnActivate) OnActivate(this);
}
void TCustomForm::Deactivate() {
    if (OnDeactivate) OnDeactivate(this);
}

void TCustomForm::Dispatch(TMessage& M) {
    switch (M.Msg) {
        case WM_CLOSE: WMClose(M); break;
        case WM_ACTIVATE: WMActivate(M); break;
        case WM_GETMINMAXINFO: WMGetMinMaxInfo(M); break;
        case CM_RELEASE: CMRelease(M); break;
        default: TWinControl::Dispatch(M); break;
    }
}

void TCustomForm::SetBorderStyle(TFormBorderStyle v) {
    if (borderStyle_ == v) return;
    borderStyle_ = v;
    RecreateWnd();
}

void TCustomForm::SetBorderIcons(TBorderIcons v) {
    if (borderIcons_ == v) return;
    borderIcons_ = v;
    if (HandleAllocated()) RecreateWnd();
}

void TCustomForm::SetFormStyle(TFormStyle v) {
    if (formStyle_ == v) return;
    formStyle_ = v;
    if (HandleAllocated()) {
        ws::WindowRec* w = ws::Rec(GetHandle());
        if (v == fsStayOnTop)
            w->ExStyle |= WS_EX_TOPMOST;
        else
            w->ExStyle &= ~WS_EX_TOPMOST;
        ws::BringTopLevelToFront(GetHandle());
    }
}

void TCustomForm::CreateParams(TCreateParams& P) {
    TWinControl::CreateParams(P);
    P.Style = WS_CLIPCHILDREN;
    P.WndParent = 0;
    switch (borderStyle_) {
        case bsNone: P.Style |= WS_POPUP; break;
        case bsSingle:
        case bsToolWindow: P.Style |= WS_CAPTION | WS_BORDER; break;
        case bsSizeable:
        case bsSizeToolWin: P.Style |= WS_CAPTION | WS_THICKFRAME; break;
        case bsDialog:
            P.Style |= WS_POPUP | WS_CAPTION;
            P.ExStyle |= WS_EX_DLGMODALFRAME | WS_EX_WINDOWEDGE;
            break;
    }
    if (borderStyle_ == bsToolWindow || borderStyle_ == bsSizeToolWin) P.ExStyle |= WS_EX_TOOLWINDOW;
    if (borderStyle_ != bsNone) {
        if (borderIcons_.Contains(biSystemMenu)) P.Style |= WS_SYSMENU;
        if (borderStyle_ != bsDialog) {
            if (borderIcons_.Contains(biMinimize)) P.Style |= WS_MINIMIZEBOX;
            if (borderIcons_.Contains(biMaximize)) P.Style |= WS_MAXIMIZEBOX;
        }
    }
    if (formStyle_ == fsStayOnTop) P.ExStyle |= WS_EX_TOPMOST;
}

TRect TCustomForm::CalcFrameInsets(uint32_t, uint32_t) const {
    int frame = 0, cap = 0;
    switch (borderStyle_) {
        case bsNone: break;
        case bsSingle:
        case bsDialog:
            frame = GetSystemMetrics(SM_CXDLGFRAME);
            cap = GetSystemMetrics(SM_CYCAPTION);
            break;
        case bsSizeable:
            frame = GetSystemMetrics(SM_CXFRAME);
            cap = GetSystemMetrics(SM_CYCAPTION);
            break;
        case bsToolWindow:
            frame = GetSystemMetrics(SM_CXDLGFRAME);
            cap = GetSystemMetrics(SM_CYSMCAPTION);
            break;
        case bsSizeToolWin:
            frame = GetSystemMetrics(SM_CXFRAME);
            cap = GetSystemMetrics(SM_CYSMCAPTION);
            break;
    }
    return {frame, frame + cap + MenuBarHeight(this), frame, frame};
}

void TCustomForm::SetMenu(TMainMenu* v) {
    if (menu_ == v) return;
    if (v)
        for (TCustomForm* f : Screen->FormList())
            if (f != this && f->menu_ == v)
                throw EInvalidOperation(Format("Menu '%s' is already being used by another form",
                                               v->GetName().c_str()));
    if (menu_) menu_->RemoveFreeNotification(this);
    CloseMenus();
    menu_ = v;
    if (v) v->FreeNotification(this);
    // The bar changes the frame: the client area follows.
    if (HandleAllocated())
        win::SetWindowPos(GetHandle(), 0, 0, 0, 0, 0,
                          SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
    else if (UpdateNonClientInsets())
        Realign();
}

void TCustomForm::Notification(TComponent* AComponent, TOperation Operation) {
    TWinControl::Notification(AComponent, Operation);
    if (Operation == opRemove && AComponent == menu_ && AComponent) SetMenu(nullptr);
}

void TCustomForm::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
    if (constructed_ && !IsLoading() && (AWidth != GetWidth() || AHeight != GetHeight())) {
        // The tracking sizes the form answers WM_GETMINMAXINFO with bound every size.
        MINMAXINFO mmi;
        int sw = GetSystemMetrics(SM_CXSCREEN), sh = GetSystemMetrics(SM_CYSCREEN);
        mmi.ptMaxSize = {sw, sh};
        mmi.ptMaxPosition = {0, 0};
        if (borderStyle_ != bsNone)
            mmi.ptMinTrackSize = {GetSystemMetrics(SM_CXMIN), GetSystemMetrics(SM_CYMIN)};
        mmi.ptMaxTrackSize = {sw + 12, sh + 12};
        Perform(WM_GETMINMAXINFO, 0, LPARAM(&mmi));
        AWidth = std::clamp(AWidth, mmi.ptMinTrackSize.X, std::max(mmi.ptMinTrackSize.X, mmi.ptMaxTrackSize.X));
        AHeight = std::clamp(AHeight, mmi.ptMinTrackSize.Y, std::max(mmi.ptMinTrackSize.Y, mmi.ptMaxTrackSize.Y));
    }
    TWinControl::SetBounds(ALeft, ATop, AWidth, AHeight);
    if (HandleAllocated() && WindowShown())
        if (TWindowBackend* b = WindowBackend()) b->WindowChanged(GetHandle());
}

void TCustomForm::WMGetMinMaxInfo(TMessage& M) { DefaultHandler(M); }

void TCustomForm::PaintNonClient(TCanvas* C) {
    ws::PaintScrollBars(this, C);
    TRect nc = FrameInsets();
    if (!nc.Top) return;
    TRect r = Rect(0, 0, GetWidth(), GetHeight());
    C->GetBrush()->SetColor(clBtnFace);
    C->FillRect(Rect(0, 0, GetWidth(), nc.Top));
    C->FillRect(Rect(0, 0, nc.Left, GetHeight()));
    C->FillRect(Rect(GetWidth() - nc.Right, 0, GetWidth(), GetHeight()));
    C->FillRect(Rect(0, GetHeight() - nc.Bottom, GetWidth(), GetHeight()));
    C->DrawEdge(r, EDGE_RAISED, BF_RECT);
    int bar = MenuBarHeight(this);
    if (bar) PaintMenuBar(C, Rect(nc.Left, nc.Top - bar, GetWidth() - nc.Right, nc.Top), this);
    int cap = nc.Top - nc.Left - 1 - bar;
    TRect cr = Rect(nc.Left, nc.Left, GetWidth() - nc.Right, nc.Left + cap);
    C->GetBrush()->SetColor(active_ ? clActiveCaption : clInactiveCaption);
    C->FillRect(cr);
    C->GetFont()->Assign(GetFont());
    C->GetFont()->SetColor(active_ ? clCaptionText : clInactiveCaptionText);
    C->GetFont()->SetStyle({fsBold});
    C->GetBrush()->SetStyle(bsClear);
    TRect tr = cr;
    tr.Left += 4;
    tr.Right -= cap + 2;
    C->DrawText(GetText(), tr, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS);
    if (borderIcons_.Contains(biSystemMenu)) {
        // The close box.
        TRect b = Rect(cr.Right - cap + 2, cr.Top + 2, cr.Right - 2, cr.Bottom - 2);
        C->GetBrush()->SetStyle(bsSolid);
        C->GetBrush()->SetColor(clBtnFace);
        C->FillRect(b);
        TRect e = b;
        C->DrawEdge(e, EDGE_RAISED, BF_RECT);
        C->GetPen()->SetColor(clBtnText);
        C->MoveTo(b.Left + 4, b.Top + 3);
        C->LineTo(b.Right - 4, b.Bottom - 3);
        C->MoveTo(b.Right - 5, b.Top + 3);
        C->LineTo(b.Left + 3, b.Bottom - 3);
    }
}

bool TCustomForm::IsShowing() const { return HandleAllocated() && WindowShown(); }

void TCustomForm::GetChildren(const TGetChildProc& Proc, TComponent* Root) {
    TWinControl::GetChildren(Proc, Root);
    if (Root == this)
        for (TComponent* c : ComponentList())
            if (!c->HasParent()) Proc(c);
}

void TCustomForm::Loaded() {
    TWinControl::Loaded();
    if (constructed_ && GetVisible()) UpdateShowing();
}

void TCustomForm::UpdateShowing() {
    if (!constructed_ || IsLoading()) return;
    if (GetVisible() != shownOnScreen_) ShowingChanged(GetVisible());
}

void TCustomForm::ShowingChanged(bool showing) {
    if (showing) {
        HandleNeeded();
        formState_.Include(fsShowing);
        try {
            DoShow();
        } catch (...) {
            formState_.Exclude(fsShowing);
            throw;
        }
        formState_.Exclude(fsShowing);
        if (!GetVisible()) return;  // OnShow hid it again
        HandleNeeded();
        if (position_ == poScreenCenter || position_ == poDesktopCenter) {
            int sw = Screen->GetWidth(), sh = Screen->GetHeight();
            SetBounds((sw - GetWidth()) / 2, (sh - GetHeight()) / 2, GetWidth(), GetHeight());
        }
        if (!activeControl_) activeControl_ = FindNextControl(nullptr, true, true, false);
        shownOnScreen_ = true;
        ShowWindowFlag(true);
        UpdateChildrenShowing();
        Realign();
        if (TWindowBackend* b = WindowBackend()) b->WindowShown(GetHandle());
        ws::BringTopLevelToFront(GetHandle());
        if (win::IsWindowEnabled(GetHandle())) win::SetActiveWindow(GetHandle());
    } else {
        // An open menu does not outlive the form going away under it.
        if (MenuActive()) CloseMenus();
        if (HandleAllocated() && win::GetActiveWindow() == GetHandle()) {
            HWND next = NextFormToActivate();
            win::SetActiveWindow(next);
            if (!next && win::GetActiveWindow() == GetHandle()) win::SetActiveWindow(0);
        }
        shownOnScreen_ = false;
        ShowWindowFlag(false);
        if (HandleAllocated())
            if (TWindowBackend* b = WindowBackend()) b->WindowHidden(GetHandle());
        DoHide();
    }
}

void TCustomForm::WMActivate(TMessage& M) {
    if (LoWord(M.WParam) != WA_INACTIVE) {
        active_ = true;
        formState_.Include(fsActivated);
        Screen->SetActiveForm(this);
        if (!activeControl_ && !IsDesigning())
            activeControl_ = FindNextControl(nullptr, true, true, false);
        SetWindowFocus();
        InvalidateRect(GetHandle(), nullptr, true);
        Activate();
    } else {
        active_ = false;
        InvalidateRect(GetHandle(), nullptr, true);
        Deactivate();
    }
}

void TCustomForm::SetWindowFocus() {
    if (!HandleAllocated()) return;
    HWND h = GetHandle();
    if (activeControl_ && activeControl_->CanFocus()) {
        activeControl_->HandleNeeded();
        h = activeControl_->GetHandle();
    }
    win::SetFocus(h);
}

void TCustomForm::WMSetFocus(TMessage& M) {
    SetFocusedControl(this);
    DefaultHandler(M);
}

bool TCustomForm::SetFocusedControl(TWinControl* Control) {
    if (focusing_) {
        pendingFocus_ = Control;
        hasPendingFocus_ = true;
        return false;
    }
    focusing_ = true;
    TWinControl* target = Control;
    try {
        for (int round = 0; round < 16; ++round) {
            if (target != this) activeControl_ = target;
            Screen->SetActiveControl(target);
            Screen->SetActiveForm(this);
            // Exits from the old control up to the one that holds the new.
            while (focusedControl_ && !focusedControl_->ContainsControl(target)) {
                TWinControl* f = focusedControl_;
                focusedControl_ = f == this ? nullptr : f->GetParent();
                f->Perform(CM_EXIT);
                if (hasPendingFocus_) break;
            }
            if (!hasPendingFocus_) {
                // Enters from the outermost container down to the new control.
                while (focusedControl_ != target) {
                    TWinControl* t = target;
                    while (t->GetParent() != focusedControl_ && t->GetParent()) t = t->GetParent();
                    if (t->GetParent() != focusedControl_ && focusedControl_ != nullptr) {
                        focusedControl_ = nullptr;
                        continue;
                    }
                    focusedControl_ = t;
                    t->Perform(CM_ENTER);
                    if (hasPendingFocus_) break;
                }
            }
            if (!hasPendingFocus_) break;
            // A handler asked for the focus somewhere else: that request takes over.
            hasPendingFocus_ = false;
            target = pendingFocus_;
            pendingFocus_ = nullptr;
            if (!target) break;
        }
    } catch (...) {
        focusing_ = false;
        hasPendingFocus_ = false;
        throw;
    }
    focusing_ = false;
    return true;
}

void TCustomForm::FocusControl(TWinControl* Control) {
    bool wasActive = active_;
    SetActiveControl(Control);
    if (!wasActive && IsShowing()) SetFocus();
}

void TCustomForm::SetActiveControl(TWinControl* Control) {
    if (Control && (Control == this || GetParentForm(Control) != this ||
                    (!IsLoading() && !Control->CanFocus())))
        throw EInvalidOperation(kCannotFocus);
    activeControl_ = Control;
    if (!IsLoading() && active_) SetWindowFocus();
}

void TCustomForm::DefocusControl(TWinControl* Control, bool Removing) {
    if (Removing && focusedControl_ && Control->ContainsControl(focusedControl_))
        focusedControl_ = Control->GetParent();
    if (activeControl_ && Control->ContainsControl(activeControl_)) activeControl_ = nullptr;
    if (Screen->GetActiveControl() && Control->ContainsControl(Screen->GetActiveControl()))
        Screen->SetActiveControl(nullptr);
    TWinControl* focused = FindFocusedControl();
    if (focused && Control->ContainsControl(focused) && Control != this) {
        if (active_ && HandleAllocated() && !IsDestroying())
            win::SetFocus(GetHandle());
        else
            win::SetFocus(0);
    }
}

bool TCustomForm::CanFocus() const { return GetVisible() && GetEnabled(); }

void TCustomForm::SetFocus() {
    if (!CanFocus()) throw EInvalidOperation(kCannotFocus);
    if (!IsShowing()) return;
    if (win::GetActiveWindow() == GetHandle())
        SetWindowFocus();
    else
        win::SetActiveWindow(GetHandle());
}

void TCustomForm::Show() {
    SetVisible(true);
    BringToFront();
}

void TCustomForm::SetZOrder(bool TopMost) {
    TWinControl::SetZOrder(TopMost);
    if (TopMost && HandleAllocated() && IsShowing() && win::IsWindowEnabled(GetHandle()))
        win::SetActiveWindow(GetHandle());
}

void TCustomForm::Hide() { SetVisible(false); }

bool TCustomForm::CloseQuery() {
    bool can = true;
    if (OnCloseQuery) OnCloseQuery(this, can);
    return can;
}

void TCustomForm::Close() {
    if (formState_.Contains(fsModal)) {
        modalResult_ = mrCancel;
        return;
    }
    if (!CloseQuery()) return;
    TCloseAction action = caHide;
    DoClose(action);
    if (action == caNone) return;
    if (Application->GetMainForm() == this) {
        Application->Terminate();
    } else if (action == caHide) {
        Hide();
    } else if (action == caMinimize) {
        windowState_ = wsMinimized;
    } else {
        Release();
    }
}

void TCustomForm::Release() { win::PostMessage(GetHandle(), CM_RELEASE); }

void TCustomForm::CMRelease(TMessage&) { Free(); }

void TCustomForm::CMTextChanged(TMessage& M) {
    TWinControl::CMTextChanged(M);
    if (HandleAllocated()) {
        win::InvalidateRect(GetHandle(), nullptr, true);  // the caption bar
        if (TWindowBackend* b = WindowBackend()) b->WindowChanged(GetHandle());
    }
}

void TCustomForm::WMClose(TMessage&) { Close(); }

void TCustomForm::CMDialogKey(TMessage& M) {
    TWMKey key(M);
    if (GetKeyState(VK_MENU) >= 0) {
        switch (key.CharCode()) {
            case VK_TAB:
                if (GetKeyState(VK_CONTROL) >= 0) {
                    SelectNext(activeControl_, GetKeyState(VK_SHIFT) >= 0, true);
                    key.Result = 1;
                    return;
                }
                break;
            case VK_LEFT:
            case VK_RIGHT:
            case VK_UP:
            case VK_DOWN:
                if (activeControl_ && activeControl_->GetParent()) {
                    bool forward = key.CharCode() == VK_RIGHT || key.CharCode() == VK_DOWN;
                    activeControl_->GetParent()->SelectNext(activeControl_, forward, false);
                    key.Result = 1;
                    return;
                }
                break;
            default: break;
        }
    }
    TWinControl::CMDialogKey(M);
}

void TCustomForm::CloseModal() {
    try {
        TCloseAction action = caNone;
        if (CloseQuery()) {
            action = caHide;
            DoClose(action);
        }
        if (action == caNone)
            modalResult_ = mrNone;
        else if (action == caFree)
            Release();
    } catch (...) {
        modalResult_ = mrNone;
        Application->HandleException(this);
    }
}

TModalResult TCustomForm::ShowModal() {
    if (GetVisible() || !GetEnabled() || formState_.Contains(fsModal))
        throw EInvalidOperation("Cannot make a visible window modal");
    CloseMenus();
    if (GetCaptureControl()) {
        GetCaptureControl()->Perform(CM_CANCELMODE);
        SetCaptureControl(nullptr);
    }
    formState_.Include(fsModal);
    HWND previous = win::GetActiveWindow();
    // Every other window is disabled while the form is modal.
    std::vector<HWND> disabled;
    for (HWND h : ws::TopLevelOrder()) {
        TWinControl* c = win::FindControl(h);
        if (c == this || !win::IsWindowEnabled(h)) continue;
        if (!c || !c->IsShowing()) continue;
        win::EnableWindow(h, false);
        disabled.push_back(h);
    }
    TCursor saveCursor = Screen->GetCursor();
    Screen->SetCursor(crDefault);
    modalResult_ = mrNone;
    TModalResult result = mrNone;
    testing::detail::ModalStarting(this);
    auto restore = [&] {
        for (HWND h : disabled)
            if (win::IsWindow(h)) win::EnableWindow(h, true);
        formState_.Exclude(fsModal);
        Screen->SetCursor(saveCursor);
        if (previous && win::IsWindow(previous) && win::IsWindowVisible(previous))
            win::SetActiveWindow(previous);
    };
    try {
        Show();
        try {
            bool scripted = testing::detail::RunModalScript(this);
            for (;;) {
                if (modalResult_ == mrNone && Application->GetTerminated()) modalResult_ = mrCancel;
                if (modalResult_ != mrNone) {
                    CloseModal();
                    if (modalResult_ != mrNone) break;
                }
                Application->ProcessMessages();
                if (modalResult_ != mrNone || Application->GetTerminated()) continue;
                TWindowBackend* b = WindowBackend();
                if (b && b->CanWait()) {
                    Application->HandleMessage();
                    continue;
                }
                if (win::QueuedMessageCount() == 0) {
                    // Nobody can answer a headless modal form: stop rather than hang.
                    throw EInvalidOperation(
                        scripted ? Format("The modal form %s was left open by its script",
                                          ClassName().c_str())
                                 : Format("No input can reach the modal form %s (no modal script)",
                                          ClassName().c_str()));
                }
            }
            result = modalResult_;
            if (HandleAllocated() && active_) {
                active_ = false;
                Deactivate();
            }
        } catch (...) {
            try {
                Hide();
            } catch (...) {
            }
            throw;
        }
        Hide();
    } catch (...) {
        restore();
        testing::detail::ModalEnded(this);
        throw;
    }
    restore();
    testing::detail::ModalEnded(this);
    return result;
}

// =============================================================================================
// THintWindow

DBV_IMPLEMENT_CLASS(THintWindow)

THintWindow::THintWindow(TComponent* AOwner) : TCustomControl(AOwner) {
    SetColor(clInfoBk);
    SetVisible(false);
    GetFont()->SetColor(clInfoText);
}

void THintWindow::CreateParams(TCreateParams& P) {
    TCustomControl::CreateParams(P);
    P.Style = WS_POPUP | WS_BORDER;
    P.ExStyle = WS_EX_TOOLWINDOW | WS_EX_TOPMOST;
    P.ClassStyle |= CS_SAVEBITS;
    P.WndParent = 0;
}

TRect THintWindow::CalcHintRect(int MaxWidth, const std::string& Hint) {
    TRect r = Rect(0, 0, MaxWidth, 0);
    GetCanvas()->GetFont()->Assign(GetFont());
    GetCanvas()->DrawText(Hint, r, DT_CALCRECT | DT_LEFT | DT_WORDBREAK | DT_NOPREFIX);
    r.Right += 6;
    r.Bottom += 2;
    return r;
}

void THintWindow::ActivateHint(TRect R, const std::string& Hint) {
    SetCaption(Hint);
    int sw = Screen->GetWidth();
    if (R.Right > sw) OffsetRect(R, sw - R.Right, 0);
    if (R.Left < 0) OffsetRect(R, -R.Left, 0);
    SetBounds(R.Left, R.Top, R.Width(), R.Height());
    HandleNeeded();
    win::SetWindowPos(GetHandle(), HWND_TOPMOST, 0, 0, 0, 0,
                      SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW | SWP_NOACTIVATE);
    Invalidate();
}

void THintWindow::ReleaseHandle() {
    if (HandleAllocated()) win::ShowWindow(GetHandle(), SW_HIDE);
}

void THintWindow::Paint() {
    TCanvas* c = GetCanvas();
    TRect r = GetClientRect();
    c->GetBrush()->SetColor(GetColor());
    c->FillRect(r);
    c->GetFont()->Assign(GetFont());
    c->GetBrush()->SetStyle(bsClear);
    r.Left += 2;
    r.Top += 1;
    c->DrawText(GetCaption(), r, DT_LEFT | DT_NOPREFIX | DT_WORDBREAK);
}

// =============================================================================================
// TApplication

DBV_IMPLEMENT_CLASS(TApplication)

TApplication* TApplicationRef::Get() {
    static TApplication* app = Create<TApplication>(nullptr);
    return app;
}

TScreen* TScreenRef::Get() {
    static TScreen* s = Create<TScreen>(nullptr);
    return s;
}

TApplication::TApplication(TComponent* AOwner) : TComponent(AOwner) {
    // Errors show in a box where a person can answer it; headless runs keep the record only.
    OnShowError = [](const std::string& Text, const std::string& Title) {
        TWindowBackend* b = WindowBackend();
        if (b && b->CanWait()) MessageBox(Text, Title, MB_OK | MB_ICONERROR);
    };
}

TApplication::~TApplication() = default;

const std::string& TApplication::GetExeName() const {
    if (exeName_.empty()) {
        char buf[4096];
        ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
        if (n > 0) {
            buf[n] = 0;
            const_cast<std::string&>(exeName_) = buf;
        }
    }
    return exeName_;
}

std::string TApplication::GetTitle() const {
    if (!title_.empty()) return title_;
    return ChangeFileExt(ExtractFileName(GetExeName()), "");
}

void TApplication::Terminate() { win::PostQuitMessage(0); }

bool TApplication::ProcessMessage() {
    MSG m;
    if (!win::PeekMessage(m, 0, 0, 0, PM_REMOVE)) return false;
    if (m.message == WM_QUIT) {
        terminated_ = true;
        return true;
    }
    try {
        if (!IsKeyMsg(m)) {
            TranslateKey(m);
            win::DispatchMessage(m);
        }
    } catch (...) {
        HandleException(this);
    }
    return true;
}

void TApplication::ProcessMessages() {
    // A real window backend delivers what a person did meanwhile, without waiting.
    if (TWindowBackend* b = WindowBackend(); b && b->CanWait()) {
        try {
            b->PumpEvents(0);
        } catch (...) {
            HandleException(this);
        }
    }
    for (int i = 0; i < 100000 && ProcessMessage(); ++i) {
    }
    try {
        if (win::FireDueTimers() > 0)
            for (int i = 0; i < 100000 && ProcessMessage(); ++i) {
            }
        ws::PaintDirty();
    } catch (...) {
        HandleException(this);
    }
    TControlCanvas::FreeDeviceContexts();
}

void TApplication::Idle() {
    bool done = true;
    try {
        if (OnIdle) OnIdle(this, done);
    } catch (...) {
        HandleException(this);
    }
    try {
        ws::PaintDirty();
    } catch (...) {
        HandleException(this);
    }
    TControlCanvas::FreeDeviceContexts();
    // Waits for input or the next timer; an idle handler with more to do only polls.
    TWindowBackend* b = WindowBackend();
    if (b && b->CanWait()) {
        try {
            b->PumpEvents(done ? win::NextTimerDueIn() : 0);
        } catch (...) {
            HandleException(this);
        }
    }
}

void TApplication::HandleMessage() {
    if (!ProcessMessage()) {
        if (win::FireDueTimers() > 0) return;
        Idle();
    }
}

void TApplication::Run() {
    if (mainForm_ && !mainForm_->GetVisible()) mainForm_->Show();
    while (!terminated_) {
        if (ProcessMessage()) continue;
        if (win::FireDueTimers() > 0) continue;
        Idle();
        TWindowBackend* b = WindowBackend();
        bool canWait = b && b->CanWait();
        if (!canWait && win::QueuedMessageCount() == 0 && !ws::AnyDirty()) break;
    }
}

void TApplication::HandleException(TObject* Sender) {
    if (!std::current_exception()) return;
    try {
        throw;
    } catch (EAbort&) {
    } catch (Exception& e) {
        if (OnException)
            OnException(Sender, e);
        else
            ShowException(e);
    } catch (std::exception& e) {
        Exception x(e.what());
        if (OnException)
            OnException(Sender, x);
        else
            ShowException(x);
    } catch (...) {
        Exception x("Unknown exception");
        ShowException(x);
    }
}

void TApplication::ShowException(const Exception& E) {
    shownErrors_.push_back(E.Message());
    if (OnShowError) OnShowError(E.Message(), GetTitle());
}

bool TApplication::IsKeyMsg(MSG& Msg) {
    if (Msg.message < WM_KEYFIRST || Msg.message > WM_KEYLAST) return false;
    TWinControl* c = win::FindControl(Msg.hwnd);
    if (!c) return false;
    return c->Perform(CN_BASE + Msg.message, Msg.wParam, Msg.lParam) != 0;
}

// The character a key produces (US layout), 0 for none.
static int CharForKey(int vk, bool shift, bool ctrl) {
    if (vk >= 'A' && vk <= 'Z') {
        if (ctrl) return vk - 'A' + 1;
        return shift ? vk : vk - 'A' + 'a';
    }
    if (vk >= '0' && vk <= '9') {
        if (ctrl) return 0;
        static const char shifted[] = ")!@#$%^&*(";
        return shift ? shifted[vk - '0'] : vk;
    }
    if (vk >= VK_NUMPAD0 && vk <= VK_NUMPAD9) return '0' + (vk - VK_NUMPAD0);
    switch (vk) {
        case VK_SPACE: return ' ';
        case VK_RETURN: return ctrl ? 10 : 13;
        case VK_BACK: return ctrl ? 127 : 8;
        case VK_TAB: return ctrl ? 0 : 9;
        case VK_ESCAPE: return 27;
        case VK_MULTIPLY: return '*';
        case VK_ADD: return '+';
        case VK_SUBTRACT: return '-';
        case VK_DECIMAL: return '.';
        case VK_DIVIDE: return '/';
        case 186: return shift ? ':' : ';';
        case 187: return shift ? '+' : '=';
        case 188: return shift ? '<' : ',';
        case 189: return shift ? '_' : '-';
        case 190: return shift ? '>' : '.';
        case 191: return shift ? '?' : '/';
        case 192: return shift ? '~' : '`';
        case 219: return shift ? '{' : '[';
        case 220: return shift ? '|' : '\\';
        case 221: return shift ? '}' : ']';
        case 222: return shift ? '"' : '\'';
        default: return 0;
    }
}

void TApplication::TranslateKey(const MSG& Msg) {
    if (Msg.message != WM_KEYDOWN && Msg.message != WM_SYSKEYDOWN) return;
    int ch = CharForKey(int(Msg.wParam), GetKeyState(VK_SHIFT) < 0, GetKeyState(VK_CONTROL) < 0);
    if (!ch) return;
    // The system's text input brings printable characters of such a key itself.
    if ((Msg.lParam & input::KeyDataTextApart) && Msg.message == WM_KEYDOWN && ch >= 32 && ch != 127)
        return;
    MSG c = Msg;
    c.message = Msg.message == WM_KEYDOWN ? WM_CHAR : WM_SYSCHAR;
    c.wParam = WPARAM(ch);
    ws::PushFront(c);
}

void TApplication::SetShowHint(bool v) {
    if (showHint_ == v) return;
    showHint_ = v;
    if (!v) CancelHint();
}

void TApplication::SetHint(const std::string& v) {
    if (hint_ == v) return;
    hint_ = v;
    if (OnHint) OnHint(this);
}

std::string TApplication::ShownHint() const {
    if (!hintActive_ || !hintWindow_ || !hintWindow_->IsShowing()) return {};
    return hintWindow_->GetCaption();
}

void TApplication::HintMouseMessage(TControl* Control, TPoint screen) {
    (void)screen;
    if (Control == hintControl_) return;
    bool wasActive = hintActive_;
    CancelHint();
    hintControl_ = Control;
    SetHint(Control ? GetLongHint(Control->GetHint()) : std::string());
    if (Control && showHint_ && Control->GetShowHint() && !Control->GetHint().empty() &&
        !GetShortHint(Control->GetHint()).empty()) {
        bool recent = wasActive || (lastHintHidden_ && vcl::GetTickCount() - lastHintHidden_ < 100);
        int pause = recent ? hintShortPause_ : hintPause_;
        hintTimerKind_ = 1;
        hintTimer_ = win::SetTimer(0, 0, unsigned(std::max(1, pause)),
                                   [this](HWND, UINT) { HintTimerFired(); });
    }
}

void TApplication::HintTimerFired() {
    int kind = hintTimerKind_;
    if (hintTimer_) win::KillTimer(0, hintTimer_);
    hintTimer_ = 0;
    hintTimerKind_ = 0;
    if (kind == 1)
        ActivateHint(win::GetCursorPos());
    else if (kind == 2)
        CancelHint();
}

void TApplication::ActivateHint(TPoint CursorPos) {
    TControl* c = hintControl_;
    if (!c) return;
    THintInfo info;
    info.HintControl = c;
    info.CursorPos = c->ScreenToClient(CursorPos);
    info.CursorRect = c->GetClientRect();
    info.HintPos = {CursorPos.X, CursorPos.Y + 20};
    info.HintMaxWidth = Screen->GetWidth();
    info.HintColor = hintColor_;
    info.HideTimeout = hintHidePause_;
    info.HintStr = GetShortHint(c->GetHint());
    bool canShow = true;
    try {
        if (OnShowHint) OnShowHint(info.HintStr, canShow, info);
        canShow = canShow && c->Perform(CM_HINTSHOW, 0, LPARAM(&info)) == 0;
    } catch (...) {
        HandleException(this);
        canShow = false;
    }
    if (!canShow || info.HintStr.empty()) return;
    if (!hintWindow_) hintWindow_ = Create<THintWindow>(this);
    hintWindow_->SetColor(info.HintColor);
    TRect r = hintWindow_->CalcHintRect(info.HintMaxWidth, info.HintStr);
    OffsetRect(r, info.HintPos.X, info.HintPos.Y);
    hintWindow_->ActivateHint(r, info.HintStr);
    hintActive_ = true;
    if (info.HideTimeout > 0) {
        hintTimerKind_ = 2;
        hintTimer_ = win::SetTimer(0, 0, unsigned(info.HideTimeout),
                                   [this](HWND, UINT) { HintTimerFired(); });
    }
}

void TApplication::CancelHint() {
    if (hintTimer_) win::KillTimer(0, hintTimer_);
    hintTimer_ = 0;
    hintTimerKind_ = 0;
    if (hintActive_) {
        if (hintWindow_) hintWindow_->ReleaseHandle();
        lastHintHidden_ = vcl::GetTickCount();
        if (!lastHintHidden_) lastHintHidden_ = 1;
    }
    hintActive_ = false;
}

void TApplication::ForgetControl(TControl* c) {
    if (hintControl_ == c) {
        CancelHint();
        hintControl_ = nullptr;
    }
    if (c == hintWindow_) hintWindow_ = nullptr;
    if (c == mainForm_) mainForm_ = nullptr;
}

// =============================================================================================
// TScreen

DBV_IMPLEMENT_CLASS(TScreen)

TScreen::TScreen(TComponent* AOwner) : TComponent(AOwner) { hintFont_ = Create<TFont>(); }

TScreen::~TScreen() { hintFont_->Free(); }

void TScreen::AddForm(TCustomForm* f) {
    if (std::find(forms_.begin(), forms_.end(), f) == forms_.end()) forms_.push_back(f);
}

void TScreen::RemoveForm(TCustomForm* f) {
    forms_.erase(std::remove(forms_.begin(), forms_.end(), f), forms_.end());
    if (activeForm_ == f) SetActiveForm(nullptr);
    if (activeControl_ && GetParentForm(activeControl_) == f) activeControl_ = nullptr;
}

void TScreen::SetActiveForm(TCustomForm* f) {
    if (activeForm_ == f) return;
    activeForm_ = f;
    if (OnActiveFormChange) OnActiveFormChange(this);
}

void TScreen::SetCursor(TCursor v) {
    cursor_ = v;
    ws::ApplyCursor(v != crDefault ? v : ws::CursorForPoint(win::GetCursorPos()));
}

int TScreen::GetWidth() const { return GetSystemMetrics(SM_CXSCREEN); }
int TScreen::GetHeight() const { return GetSystemMetrics(SM_CYSCREEN); }

// =============================================================================================
// TTimer

DBV_PUBLISHED(TTimer) {
    b.Bool("Enabled", &TTimer::GetEnabled, &TTimer::SetEnabled, true);
    b.Int("Interval", &TTimer::GetInterval, &TTimer::SetInterval, 1000);
    b.Event("OnTimer", "TNotifyEvent", &TTimer::OnTimer);
}

TTimer::TTimer(TComponent* AOwner) : TComponent(AOwner) { UpdateTimer(); }

TTimer::~TTimer() {
    if (id_) win::KillTimer(0, id_);
    id_ = 0;
}

void TTimer::SetEnabled(bool v) {
    if (enabled_ == v) return;
    enabled_ = v;
    UpdateTimer();
}

void TTimer::SetInterval(unsigned v) {
    if (interval_ == v) return;
    interval_ = v;
    UpdateTimer();
}

void TTimer::Loaded() {
    TComponent::Loaded();
    UpdateTimer();
}

void TTimer::UpdateTimer() {
    if (id_) win::KillTimer(0, id_);
    id_ = 0;
    if (interval_ == 0 || !enabled_ || IsDesigning() || IsLoading()) return;
    id_ = win::SetTimer(0, 0, interval_, [this](HWND, UINT) { Timer(); });
}

void TTimer::Timer() {
    if (!OnTimer) return;
    try {
        OnTimer(this);
    } catch (...) {
        Application->HandleException(this);
    }
}

}  // namespace vcl
