// A minimal push button: Caption, ModalResult, Default and Cancel.
#pragma once
#include "controls/controls.h"

namespace vcl {

class TButton : public TCustomControl {
    DBV_CLASS(TButton, TCustomControl)
public:
    explicit TButton(TComponent* AOwner);

    int GetModalResult() const { return modalResult_; }
    void SetModalResult(int v) { modalResult_ = v; }
    // Enter clicks the default button unless another button has the focus.
    bool GetDefault() const { return default_; }
    void SetDefault(bool v);
    // Escape clicks the cancel button.
    bool GetCancel() const { return cancel_; }
    void SetCancel(bool v) { cancel_ = v; }
    // The button Enter would click now.
    bool IsActive() const;
    // A button with a modal result sets the form's ModalResult before OnClick runs.
    void Click() override;
    bool Pressed() const { return pressed_; }

protected:
    void Dispatch(TMessage& M) override;
    void Paint() override;
    void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
    void MouseMove(TShiftState Shift, int X, int Y) override;
    void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) override;
    void KeyDown(uint16_t& Key, TShiftState Shift) override;
    void KeyUp(uint16_t& Key, TShiftState Shift) override;
    void CMDialogKey(TMessage& M) override;
    void WMGetDlgCode(TMessage& M) override;

private:
    int modalResult_ = 0;
    bool default_ = false, cancel_ = false;
    bool pressed_ = false, spaceDown_ = false;
};

}  // namespace vcl
