// Panels: TCustomPanel and TPanel, painted like the platform's panel.
#pragma once
#include "controls/controls.h"

namespace vcl {

DBV_ENUM(TBevelCut, bvNone, bvLowered, bvRaised, bvSpace);

class TCustomPanel : public TCustomControl {
    DBV_CLASS(TCustomPanel, TCustomControl)
public:
    explicit TCustomPanel(TComponent* AOwner);

    TBevelCut GetBevelInner() const { return bevelInner_; }
    void SetBevelInner(TBevelCut v);
    TBevelCut GetBevelOuter() const { return bevelOuter_; }
    void SetBevelOuter(TBevelCut v);
    int GetBevelWidth() const { return bevelWidth_; }
    void SetBevelWidth(int v);
    int GetBorderWidth() const { return borderWidth_; }
    void SetBorderWidth(int v);
    // bsNone or bsSingle (a sunken client edge with Ctl3D, a line otherwise).
    TBorderStyle GetBorderStyle() const { return borderStyle_; }
    void SetBorderStyle(TBorderStyle v);
    TAlignment GetAlignment() const { return alignment_; }
    void SetAlignment(TAlignment v);
    bool GetLocked() const { return locked_; }
    void SetLocked(bool v) { locked_ = v; }
    bool GetFullRepaint() const { return fullRepaint_; }
    void SetFullRepaint(bool v) { fullRepaint_ = v; }

protected:
    void CreateParams(TCreateParams& Params) override;
    void AdjustClientRect(TRect& Rect) override;
    void Paint() override;
    void WMSize(TMessage& M) override;
    void CMTextChanged(TMessage& M) override;
    void CMCtl3DChanged(TMessage& M) override;

private:
    TBevelCut bevelInner_ = bvNone, bevelOuter_ = bvRaised;
    int bevelWidth_ = 1, borderWidth_ = 0;
    TBorderStyle borderStyle_ = bsNone;
    TAlignment alignment_ = taCenter;
    bool locked_ = false, fullRepaint_ = true;
};

class TPanel : public TCustomPanel {
    DBV_CLASS(TPanel, TCustomPanel)
public:
    explicit TPanel(TComponent* AOwner) : TCustomPanel(AOwner) {}
};

}  // namespace vcl
