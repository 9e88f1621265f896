// Controls: TControl (bounds, parent, visibility, mouse), TWinControl (window handle, children,
// align layout, focus, keyboard, scroll bars, painting), TGraphicControl and TCustomControl.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "classes/component.h"
#include "controls/messages.h"
#include "controls/sizeconstraints.h"
#include "graphics/graphics.h"
#include "rtl/events.h"
#include "rtl/tset.h"

namespace vcl {

using win::TMessage;
using win::TWMGetDlgCode;
using win::TWMKey;
using win::TWMKillFocus;
using win::TWMMouse;
using win::TWMMouseWheel;
using win::TWMMove;
using win::TWMScroll;
using win::TWMSetFocus;
using win::TWMSize;

DBV_ENUM(TAlign, alNone, alTop, alBottom, alLeft, alRight, alClient);
DBV_ENUM(TMouseButton, mbLeft, mbRight, mbMiddle);
DBV_ENUM(TShiftStateItem, ssShift, ssAlt, ssCtrl, ssLeft, ssRight, ssMiddle, ssDouble);
using TShiftState = TSet<TShiftStateItem>;
DBV_ENUM(TControlStyleItem, csAcceptsControls, csCaptureMouse, csDesignInteractive,
         csClickEvents, csFramed, csSetCaption, csOpaque, csDoubleClicks, csFixedWidth,
         csFixedHeight, csNoDesignVisible, csReplicatable, csNoStdEvents, csDisplayDragImage,
         csReflector, csActionClient, csMenuEvents);
using TControlStyle = TSet<TControlStyleItem>;
DBV_ENUM(TControlStateItem, csLButtonDown, csClicked, csPalette, csReadingState,
         csAlignmentNeeded, csFocusing, csCreating, csPaintCopy, csCustomPaint,
         csDestroyingHandle, csDocking);
using TControlState = TSet<TControlStateItem>;
DBV_ENUM(TDragMode, dmManual, dmAutomatic);
// The sides of its parent a control keeps its distance to when the parent is resized.
DBV_ENUM(TAnchorKind, akLeft, akTop, akRight, akBottom);
using TAnchors = TSet<TAnchorKind>;
DBV_ENUM(TDragState, dsDragEnter, dsDragLeave, dsDragMove);
DBV_ENUM(TFormBorderStyle, bsNone, bsSingle, bsSizeable, bsDialog, bsToolWindow,
         bsSizeToolWin);
// Controls other than forms take bsNone or bsSingle.
using TBorderStyle = TFormBorderStyle;

// Cursor ids (the platform's numbers; compared by value).
using TCursor = int;
constexpr TCursor crDefault = 0, crNone = -1, crArrow = -2, crCross = -3, crIBeam = -4,
                  crSizeNESW = -6, crSizeNS = -7, crSizeNWSE = -8, crSizeWE = -9,
                  crUpArrow = -10, crHourGlass = -11, crDrag = -12, crNoDrop = -13,
                  crHSplit = -14, crVSplit = -15, crMultiDrag = -16, crSQLWait = -17,
                  crNo = -18, crAppStart = -19, crHelp = -20, crHandPoint = -21,
                  crSizeAll = -22, crSize = -22;

// Cursor names for form files and the inspector ("crHourGlass"), and the builder step for a
// published cursor property.
bool CursorToIdent(TCursor c, std::string& ident);
bool IdentToCursor(std::string_view ident, TCursor& c);
const TIdentMap& CursorIdents();
template <class T, class G, class S>
TPropInfo& CursorProp(TPropBuilder<T>& b, const char* name, G get, S set, TCursor def) {
    return b.IntIdent(name, "TCursor", CursorIdents(), get, set, def);
}

class TControl;
class TWinControl;
class TCustomForm;
class TPopupMenu;

using TMouseEvent =
    std::function<void(TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y)>;
using TMouseMoveEvent = std::function<void(TObject* Sender, TShiftState Shift, int X, int Y)>;
using TKeyEvent = std::function<void(TObject* Sender, uint16_t& Key, TShiftState Shift)>;
using TKeyPressEvent = std::function<void(TObject* Sender, char& Key)>;
using TDragOverEvent = std::function<void(TObject* Sender, TObject* Source, int X, int Y,
                                          TDragState State, bool& Accept)>;
using TDragDropEvent = std::function<void(TObject* Sender, TObject* Source, int X, int Y)>;
using TEndDragEvent = std::function<void(TObject* Sender, TObject* Target, int X, int Y)>;
using TStartDragEvent = std::function<void(TObject* Sender, TObject*& DragObject)>;
// MousePos is in screen coordinates; a handler that acts on the wheel sets Handled.
using TMouseWheelEvent = std::function<void(TObject* Sender, TShiftState Shift, int WheelDelta,
                                            TPoint MousePos, bool& Handled)>;
using TMouseWheelUpDownEvent =
    std::function<void(TObject* Sender, TShiftState Shift, TPoint MousePos, bool& Handled)>;

// The mouse state word of mouse messages turned into a shift state (Alt from the key state).
TShiftState KeysToShiftState(win::WPARAM keys);
// Shift, Ctrl and Alt from the key state.
TShiftState KeyboardShiftState();

// A paint target: pixels of a top-level window's surface, where client (0, 0) of the control
// being painted lies, and what may be painted (device coordinates). WM_PAINT carries one as
// WParam (the platform's device context).
struct TDeviceContext {
    uint32_t* Pixels = nullptr;
    int Width = 0, Height = 0, Stride = 0;
    TPoint Origin;
    TRect Clip;
    TCanvasLog* Log = nullptr;  // a paint log the canvases of this paint write to
    TControl* LogOnly = nullptr;  // when set, only this control's painting is logged
};
using HDC = TDeviceContext*;
inline HDC DCFromWParam(win::WPARAM w) { return reinterpret_cast<HDC>(w); }
inline win::WPARAM DCToWParam(HDC dc) { return reinterpret_cast<win::WPARAM>(dc); }
// A paint target on a bitmap (client (0, 0) at origin), e.g. to paint a control as a copy:
// control->Perform(WM_PAINT, DCToWParam(&dc)).
TDeviceContext DCForBitmap(TBitmap* bitmap, TPoint origin = {});

// A canvas on a control: inside a paint it draws on the paint target; outside it attaches
// to the control's window surface when there is one (drawing is discarded otherwise).
class TControlCanvas : public TCanvas {
    DBV_CLASS(TControlCanvas, TCanvas)
public:
    TControlCanvas() = default;
    ~TControlCanvas() override;
    TControl* GetControl() const { return control_; }
    void SetControl(TControl* c) { control_ = c; }
    // Attaches to a paint target (null: detaches).
    void AttachDC(HDC dc);
    void FreeHandle();
    // Detaches every control canvas from surfaces (surfaces are about to change).
    static void FreeDeviceContexts();

protected:
    void CreateHandle() override;

private:
    TControl* control_ = nullptr;
    TCanvasLog* ownLog_ = nullptr;
    bool logSwapped_ = false;
    bool listed_ = false;
};

// ---------------------------------------------------------------------------------------------
class TControl : public TComponent {
    DBV_CLASS(TControl, TComponent)
public:
    explicit TControl(TComponent* AOwner);
    ~TControl() override;
    void BeforeDestruction() override;

    // ---- messages ----
    // The window procedure: a replaceable hook (WindowProc) in front of WndProc.
    std::function<void(TMessage&)> WindowProc;
    virtual void WndProc(TMessage& Message);
    // Runs the handler of the message, or DefaultHandler when the class has none. Classes
    // add messages by overriding Dispatch and calling inherited::Dispatch for the rest.
    virtual void Dispatch(TMessage& Message);
    virtual void DefaultHandler(TMessage& Message);
    win::LRESULT Perform(win::UINT Msg, win::WPARAM WParam = 0, win::LPARAM LParam = 0);

    // ---- geometry ----
    int GetLeft() const { return left_; }
    int GetTop() const { return top_; }
    int GetWidth() const { return width_; }
    int GetHeight() const { return height_; }
    void SetLeft(int v) { SetBounds(v, top_, width_, height_); }
    void SetTop(int v) { SetBounds(left_, v, width_, height_); }
    void SetWidth(int v) { SetBounds(left_, top_, v, height_); }
    void SetHeight(int v) { SetBounds(left_, top_, width_, v); }
    virtual void SetBounds(int ALeft, int ATop, int AWidth, int AHeight);
    TRect GetBoundsRect() const { return Bounds(left_, top_, width_, height_); }
    void SetBoundsRect(const TRect& r) { SetBounds(r.Left, r.Top, r.Width(), r.Height()); }
    virtual TRect GetClientRect() const;
    int GetClientWidth() const { return GetClientRect().Width(); }
    int GetClientHeight() const { return GetClientRect().Height(); }
    void SetClientWidth(int v);
    void SetClientHeight(int v);
    // The screen position of client (0, 0).
    virtual TPoint GetClientOrigin() const;
    TPoint ClientToScreen(TPoint p) const;
    TPoint ScreenToClient(TPoint p) const;
    TWinControl* GetParent() const { return parent_; }
    virtual void SetParent(TWinControl* AParent);
    TAlign GetAlign() const { return align_; }
    void SetAlign(TAlign v);
    // With [akLeft, akTop] (the default) a control stays where it is when its parent is
    // resized; an anchored right or bottom side keeps its distance to the parent's side (with
    // both sides of a direction the control stretches); with neither side of a direction the
    // control moves by half the change, keeping its centre's distance to the parent's centre.
    // Aligned controls follow their alignment.
    TAnchors GetAnchors() const { return anchors_; }
    void SetAnchors(TAnchors v);
    // Size limits every SetBounds applies (forms included).
    TSizeConstraints* GetConstraints() const { return constraints_; }
    void SetConstraints(TSizeConstraints* v) { constraints_->Assign(v); }

    // ---- state ----
    bool GetVisible() const { return visible_; }
    void SetVisible(bool v);
    void Show();
    void Hide();
    bool GetEnabled() const { return enabled_; }
    virtual void SetEnabled(bool v);
    // Visible and every parent visible (windowed controls: shown on screen).
    virtual bool IsShowing() const;
    const std::string& GetCaption() const { return text_; }
    void SetCaption(const std::string& v) { SetText(v); }
    const std::string& GetText() const { return text_; }
    void SetText(const std::string& v);
    TColor GetColor() const { return color_; }
    void SetColor(TColor v);
    bool GetParentColor() const { return parentColor_; }
    void SetParentColor(bool v);
    TFont* GetFont() const { return font_; }
    void SetFont(TFont* v);
    bool GetParentFont() const { return parentFont_; }
    void SetParentFont(bool v);
    // Font and colour are written to form files only when not taken from the parent.
    bool IsFontStored() const { return !parentFont_; }
    bool IsColorStored() const { return !parentColor_; }
    TCursor GetCursor() const { return cursor_; }
    void SetCursor(TCursor v);
    const std::string& GetHint() const { return hint_; }
    void SetHint(const std::string& v) { hint_ = v; }
    bool GetShowHint() const { return showHint_; }
    void SetShowHint(bool v);
    bool GetParentShowHint() const { return parentShowHint_; }
    void SetParentShowHint(bool v);
    TControlStyle GetControlStyle() const { return controlStyle_; }
    void SetControlStyle(TControlStyle v) { controlStyle_ = v; }
    TControlState GetControlState() const { return controlState_; }
    void SetControlState(TControlState v) { controlState_ = v; }
    TDragMode GetDragMode() const { return dragMode_; }
    void SetDragMode(TDragMode v) { dragMode_ = v; }
    TCursor GetDragCursor() const { return dragCursor_; }
    void SetDragCursor(TCursor v) { dragCursor_ = v; }
    bool GetMouseCapture() const;
    void SetMouseCapture(bool v);
    // The menu a right click on the control opens (a control without one passes the click
    // to its parent's); null for none.
    TPopupMenu* GetPopupMenu() const { return popupMenu_; }
    void SetPopupMenu(TPopupMenu* v);
    void Notification(TComponent* AComponent, TOperation Operation) override;

    // ---- z-order and painting ----
    void BringToFront();
    void SendToBack();
    virtual void Invalidate();
    virtual void Update();
    virtual void Repaint();
    void Refresh() { Repaint(); }

    // ---- drag and drop ----
    void BeginDrag(bool Immediate, int Threshold = -1);
    void EndDrag(bool Drop);
    bool Dragging() const;

    // ---- streaming ----
    // With csSetCaption, a control whose text is still its name (a new control: empty)
    // takes the new name as its text, unless it or its owner is loading.
    void SetName(const std::string& NewName) override;
    bool HasParent() const override { return true; }
    TComponent* GetParentComponent() const override;
    void SetParentComponent(TComponent* Value) override;
    void Loaded() override;

    // ---- events ----
    TNotifyEvent OnClick;
    TNotifyEvent OnDblClick;
    TMouseEvent OnMouseDown;
    TMouseMoveEvent OnMouseMove;
    TMouseEvent OnMouseUp;
    TNotifyEvent OnResize;
    TDragOverEvent OnDragOver;
    TDragDropEvent OnDragDrop;
    TEndDragEvent OnEndDrag;
    TStartDragEvent OnStartDrag;
    // The wheel: OnMouseWheel first; unhandled, OnMouseWheelDown (towards the user) or
    // OnMouseWheelUp. Still unhandled, the control's default wheel handling runs.
    TMouseWheelEvent OnMouseWheel;
    TMouseWheelUpDownEvent OnMouseWheelDown;
    TMouseWheelUpDownEvent OnMouseWheelUp;

    // The drag steps the drag machinery runs on sources and targets.
    virtual void DragOver(TObject* Source, int X, int Y, TDragState State, bool& Accept);
    virtual void DragDrop(TObject* Source, int X, int Y);
    virtual void DoStartDrag(TObject*& DragObject);
    virtual void DoEndDrag(TObject* Target, int X, int Y);

    // The windowed control painting happens in (self for windowed controls).
    virtual TWinControl* PaintParent() const;
    // Invalidates r (client coordinates) of this control.
    void InvalidateClientRect(const TRect& r);

protected:
    friend class TWinControl;
    // The overridable input steps, run from the messages (input reaches a control through
    // its messages, so a descendant's override always runs). The base MouseUp is where a
    // left click becomes Click: a descendant that does not run it suppresses the click.
    virtual void Click();
    virtual void DblClick();
    virtual void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y);
    virtual void MouseMove(TShiftState Shift, int X, int Y);
    virtual void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y);
    virtual void Resize();
    // The wheel steps (true when handled): DoMouseWheel runs OnMouseWheel, then
    // DoMouseWheelDown or DoMouseWheelUp by the sign of WheelDelta.
    virtual bool DoMouseWheel(TShiftState Shift, int WheelDelta, TPoint MousePos);
    virtual bool DoMouseWheelDown(TShiftState Shift, TPoint MousePos);
    virtual bool DoMouseWheelUp(TShiftState Shift, TPoint MousePos);
    // Limits a new size by Constraints.
    void ConstrainSize(int& AWidth, int& AHeight) const;
    // Remembers the present bounds and the parent's client size as what the anchors keep.
    void UpdateAnchorRules();
    // Moves or sizes the control for its anchors after the parent's client size changed.
    void AnchorToParent();

    // Message handlers (call inherited:: to run the platform's handling).
    virtual void WMLButtonDown(TMessage& M);
    virtual void WMRButtonDown(TMessage& M);
    virtual void WMMButtonDown(TMessage& M);
    virtual void WMLButtonDblClk(TMessage& M);
    virtual void WMRButtonDblClk(TMessage& M);
    virtual void WMMButtonDblClk(TMessage& M);
    virtual void WMLButtonUp(TMessage& M);
    virtual void WMRButtonUp(TMessage& M);
    virtual void WMMButtonUp(TMessage& M);
    virtual void WMMouseMove(TMessage& M);
    virtual void WMPaint(TMessage& M);
    virtual void CMEnabledChanged(TMessage& M);
    virtual void CMVisibleChanged(TMessage& M);
    virtual void CMColorChanged(TMessage& M);
    virtual void CMFontChanged(TMessage& M);
    virtual void CMTextChanged(TMessage& M);
    virtual void CMParentColorChanged(TMessage& M);
    virtual void CMParentFontChanged(TMessage& M);
    virtual void CMParentShowHintChanged(TMessage& M);
    // Default handling only: no events of its own (descendants fire theirs).
    virtual void CMMouseEnter(TMessage& M);
    virtual void CMMouseLeave(TMessage& M);
    virtual void CMHitTest(TMessage& M);
    virtual void CMCancelMode(TMessage& M);

    virtual void RequestAlign();
    virtual void FontChanged();
    void SendCancelMode(TControl* Sender);
    void DoMouseDown(TMessage& M, TMouseButton Button, TShiftState Shift);
    void DoMouseUp(TMessage& M, TMouseButton Button);
    virtual void SetZOrder(bool TopMost);
    // Sets the bounds as they are, without invalidation, alignment or events (a
    // constructor's default size, or bounds the window system already applied).
    void UpdateBoundsRect(const TRect& R);

private:
    int left_ = 0, top_ = 0, width_ = 0, height_ = 0;
    TWinControl* parent_ = nullptr;
    TAlign align_ = alNone;
    bool visible_ = true, enabled_ = true;
    std::string text_;
    TColor color_ = clWindow;
    bool parentColor_ = true;
    TFont* font_ = nullptr;
    bool parentFont_ = true;
    TCursor cursor_ = crDefault;
    std::string hint_;
    bool showHint_ = false, parentShowHint_ = true;
    TControlStyle controlStyle_{csCaptureMouse, csClickEvents, csSetCaption, csDoubleClicks};
    TControlState controlState_;
    TDragMode dragMode_ = dmManual;
    TCursor dragCursor_ = crDrag;
    TPopupMenu* popupMenu_ = nullptr;
    bool clickPending_ = false;
    bool updatingFont_ = false, updatingColor_ = false;
    TAnchors anchors_{akLeft, akTop};
    // What the anchors keep: the bounds and the parent's client size they were taken at.
    TRect anchorBounds_;
    TSize anchorParent_;
    TSize anchorPlacedFor_;  // the parent's client size the control was last placed for
    bool anchoring_ = false;  // bounds being set by AnchorToParent
    TSizeConstraints* constraints_ = nullptr;
};

// ---------------------------------------------------------------------------------------------
// What CreateParams fills in before the window is created.
struct TCreateParams {
    std::string Caption;
    uint32_t Style = 0, ExStyle = 0, ClassStyle = 0;
    int X = 0, Y = 0, Width = 0, Height = 0;
    win::HWND WndParent = 0;
    std::string WinClassName;
};

class TWinControl : public TControl {
    DBV_CLASS(TWinControl, TControl)
public:
    explicit TWinControl(TComponent* AOwner);
    ~TWinControl() override;
    void AfterConstruction() override;
    void BeforeDestruction() override;

    void WndProc(TMessage& Message) override;
    void Dispatch(TMessage& Message) override;
    void DefaultHandler(TMessage& Message) override;

    // ---- children ----
    int ControlCount() const { return int(controls_.size()); }
    TControl* Controls(int i) const;  // z-order, bottom first
    const std::vector<TControl*>& ControlList() const { return controls_; }
    void InsertControl(TControl* c);
    void RemoveControl(TControl* c);
    bool ContainsControl(const TControl* c) const;
    // The child at a client point: windowed children above graphic ones, the topmost first.
    TControl* ControlAtPos(TPoint p, bool AllowDisabled, bool AllowWinControls = true) const;
    void GetChildren(const TGetChildProc& Proc, TComponent* Root) override;
    void Loaded() override;
    // Broadcasts a message to the children (stops at the first non-zero Result).
    void Broadcast(TMessage& M);
    void NotifyControls(win::UINT Msg);

    // ---- window handle ----
    win::HWND GetHandle();
    bool HandleAllocated() const { return handle_ != 0; }
    void HandleNeeded();
    void RecreateWnd();
    void DestroyHandle();
    // The window handle a parentless control is placed in (0: none).
    win::HWND GetParentWindow() const { return parentWindow_; }
    void SetParentWindow(win::HWND h);
    bool IsShowing() const override;
    // Window-level visibility (ShowWindow / SetWindowPos) apart from Visible.
    bool WindowShown() const { return windowShown_; }

    // ---- layout ----
    void DisableAlign();
    void EnableAlign();
    void Realign();
    bool AlignDisabled() const { return alignLevel_ != 0; }
    TRect GetClientRect() const override;
    TPoint GetClientOrigin() const override;
    // Non-client insets (border, client edge, scroll bars, form frame). Kept, not computed
    // per call: refreshed when the window is created or destroyed, when a scroll bar shows
    // or hides, and by RecreateWnd (also without a window) after a change of style.
    TRect NonClientInsets() const { return nonClient_; }
    // The same without the scroll bars (where the bars start inside the frame).
    TRect FrameInsets() const { return frame_; }
    void SetBounds(int ALeft, int ATop, int AWidth, int AHeight) override;

    // ---- focus and keys ----
    bool GetTabStop() const { return tabStop_; }
    void SetTabStop(bool v);
    int GetTabOrder() const;
    void SetTabOrder(int v);
    // Tab-stop order among siblings.
    void GetTabOrderList(std::vector<TWinControl*>& list) const;
    virtual bool CanFocus() const;
    bool Focused() const;
    virtual void SetFocus();
    // The next control in tab order after CurControl (wrapping); null when none.
    TWinControl* FindNextControl(TWinControl* CurControl, bool GoForward, bool CheckTabStop,
                                 bool CheckParent) const;
    void SelectNext(TWinControl* CurControl, bool GoForward, bool CheckTabStop);
    void SelectFirst();
    TKeyEvent OnKeyDown;
    TKeyPressEvent OnKeyPress;
    TKeyEvent OnKeyUp;
    TNotifyEvent OnEnter;
    TNotifyEvent OnExit;

    // ---- painting ----
    // Paints the graphic children (or only those from First up) onto dc.
    void PaintControls(HDC dc, TControl* First);
    virtual void PaintWindow(HDC dc);
    // Paints the non-client area (border, client edge, scroll bars); canvas (0, 0) is the
    // window's top-left corner.
    virtual void PaintNonClient(TCanvas* Canvas);
    TBrush* GetBrush() const { return brush_; }
    bool GetCtl3D() const { return ctl3D_; }
    void SetCtl3D(bool v);
    bool GetParentCtl3D() const { return parentCtl3D_; }
    void SetParentCtl3D(bool v) { parentCtl3D_ = v; }

    void Invalidate() override;
    void Update() override;
    void Repaint() override;
    TWinControl* PaintParent() const override { return const_cast<TWinControl*>(this); }

protected:
    friend class TControl;
    // The key and focus steps, run from the messages.
    virtual void KeyDown(uint16_t& Key, TShiftState Shift);
    virtual void KeyPress(char& Key);
    virtual void KeyUp(uint16_t& Key, TShiftState Shift);
    virtual void DoEnter();
    virtual void DoExit();
    // Key steps with the form's key preview in front: true when the key was consumed.
    bool DoKeyDown(TMessage& M);
    bool DoKeyPress(TMessage& M);
    bool DoKeyUp(TMessage& M);

    virtual void CreateParams(TCreateParams& Params);
    // The frame insets a window of these styles has (border and client edge; forms add
    // their caption and frame). Scroll bars are added from the window's bar state.
    virtual TRect CalcFrameInsets(uint32_t Style, uint32_t ExStyle) const;
    // Recomputes the kept insets from the window (or CreateParams without one); true when
    // they changed.
    bool UpdateNonClientInsets();
    virtual void CreateWnd();
    // Registers the window. Runs on every (re)creation; after the inherited call the window
    // exists (overrides do their window-dependent setup there).
    virtual void CreateWindowHandle(const TCreateParams& Params);
    virtual void DestroyWnd();
    virtual void DestroyWindowHandle();
    virtual void CreateHandle();
    // Lays the children out inside Rect (the client area, inset by AdjustClientRect).
    virtual void AlignControls(TControl* AControl, TRect& Rect);
    virtual void AdjustClientRect(TRect& Rect);
    void AlignControl(TControl* AControl);
    virtual void UpdateShowing();
    // Shows or hides the child windows to match this window.
    void UpdateChildrenShowing();
    void UpdateControlState();

    // Handlers (call inherited:: to run the platform's handling).
    virtual void WMPaint(TMessage& M) override;
    virtual void WMEraseBkgnd(TMessage& M);
    virtual void WMSize(TMessage& M);
    virtual void WMMove(TMessage& M);
    virtual void WMSetFocus(TMessage& M);
    virtual void WMKillFocus(TMessage& M);
    virtual void WMKeyDown(TMessage& M);
    virtual void WMSysKeyDown(TMessage& M);
    virtual void WMKeyUp(TMessage& M);
    virtual void WMChar(TMessage& M);
    virtual void WMGetDlgCode(TMessage& M);
    virtual void WMSetCursor(TMessage& M);
    virtual void WMVScroll(TMessage& M);
    virtual void WMHScroll(TMessage& M);
    // The wheel reaches the focused control; without a handler of its own, a control with a
    // vertical scroll bar scrolls three lines per notch, any other passes it to its parent.
    virtual void WMMouseWheel(TMessage& M);
    virtual void WMWindowPosChanged(TMessage& M);
    virtual void CNKeyDown(TMessage& M);
    virtual void CNChar(TMessage& M);
    virtual void CMEnter(TMessage& M);
    virtual void CMExit(TMessage& M);
    virtual void CMDialogKey(TMessage& M);
    virtual void CMWantSpecialKey(TMessage& M);
    void CMColorChanged(TMessage& M) override;
    void CMFontChanged(TMessage& M) override;
    void CMEnabledChanged(TMessage& M) override;
    void CMVisibleChanged(TMessage& M) override;
    void CMShowHintChanged(TMessage& M);
    // Ctl3D changed: a control whose frame depends on it recreates its window.
    virtual void CMCtl3DChanged(TMessage& M);
    // Shows or hides the window itself (focus and capture leave a hidden window).
    void ShowWindowFlag(bool shown);

private:
    std::vector<TControl*> controls_;  // z-order, bottom first
    std::vector<TWinControl*> tabList_;
    win::HWND handle_ = 0;
    win::HWND parentWindow_ = 0;
    bool windowShown_ = false;
    bool tabStop_ = false;
    int alignLevel_ = 0;
    TBrush* brush_ = nullptr;
    bool ctl3D_ = true, parentCtl3D_ = true;
    bool creating_ = false;
    TRect frame_, nonClient_;
    int wheelRemainder_ = 0;  // wheel delta short of a whole line
};

// A control without a window of its own, painted by its parent.
class TGraphicControl : public TControl {
    DBV_CLASS(TGraphicControl, TControl)
public:
    explicit TGraphicControl(TComponent* AOwner);
    ~TGraphicControl() override;
    TCanvas* GetCanvas() const { return canvas_; }

protected:
    virtual void Paint() {}
    void WMPaint(TMessage& M) override;

private:
    TControlCanvas* canvas_;
};

// A windowed control with a canvas and an overridable Paint.
class TCustomControl : public TWinControl {
    DBV_CLASS(TCustomControl, TWinControl)
public:
    explicit TCustomControl(TComponent* AOwner);
    ~TCustomControl() override;
    TCanvas* GetCanvas() const { return canvas_; }

protected:
    virtual void Paint() {}
    void PaintWindow(HDC dc) override;

private:
    TControlCanvas* canvas_;
};

// ---- the form a control is on ----
TCustomForm* GetParentForm(const TControl* c);
// Raises EInvalidOperation "Control 'X' has no parent window" when there is none.
TCustomForm* ValidParentForm(const TControl* c);

// ---- process-wide input state ----
// The control holding the mouse capture (graphic controls included).
TControl* GetCaptureControl();
void SetCaptureControl(TControl* c);
// The control the pointer is over (CM_MOUSEENTER / CM_MOUSELEAVE follow it).
TControl* GetMouseControl();
// The control found at a screen point: the deepest visible control of the topmost window.
TControl* FindDragTarget(TPoint screen, bool AllowDisabled);
TControl* FindVCLWindow(TPoint screen);
// Ends a running drag without a drop (the source hears OnEndDrag with no target).
void CancelDrag();
// The control whose window has the focus.
TWinControl* FindFocusedControl();

// ---- the short and long parts of a hint "short|long" ----
std::string GetShortHint(const std::string& hint);
std::string GetLongHint(const std::string& hint);

// ---- the data-link query (CM_GETDATALINK) answered with a pointer in Result ----

}  // namespace vcl
