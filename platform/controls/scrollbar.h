// The scroll-bar control (TScrollBar): a bar of its own (SB_CTL) laid out, painted and driven
// by the mouse exactly like a window's scroll bars, plus the keyboard.
#pragma once
#include <functional>

#include "controls/controls.h"

namespace vcl {

DBV_ENUM(TScrollBarKind, sbHorizontal, sbVertical);
// In the order of the scroll codes (SB_LINEUP ... SB_ENDSCROLL).
DBV_ENUM(TScrollCode, scLineUp, scLineDown, scPageUp, scPageDown, scPosition, scTrack, scTop,
         scBottom, scEndScroll);
// ScrollPos is where the scroll goes; a handler may change it.
using TScrollEvent = std::function<void(TObject* Sender, TScrollCode ScrollCode, int& ScrollPos)>;

class TScrollBar : public TCustomControl {
    DBV_CLASS(TScrollBar, TCustomControl)
public:
    explicit TScrollBar(TComponent* AOwner);

    // A change of kind turns the bar (width and height swap, unless loading).
    TScrollBarKind GetKind() const { return kind_; }
    void SetKind(TScrollBarKind v);
    int GetMin() const { return min_; }
    void SetMin(int v) { SetParams(position_, v, max_); }
    int GetMax() const { return max_; }
    void SetMax(int v) { SetParams(position_, min_, v); }
    // Clamped to Min..Max; a change runs OnChange.
    int GetPosition() const { return position_; }
    void SetPosition(int v) { SetParams(v, min_, max_); }
    // Raises EInvalidOperation "Scroll bar property out of range" when Max < Min (outside
    // loading, where the properties arrive one by one).
    void SetParams(int APosition, int AMin, int AMax);
    int GetSmallChange() const { return smallChange_; }
    void SetSmallChange(int v) { smallChange_ = v; }
    int GetLargeChange() const { return largeChange_; }
    void SetLargeChange(int v) { largeChange_ = v; }
    // The part of the range one view shows: scrolling stops at Max - PageSize + 1.
    // Raises EInvalidOperation "Scroll bar property out of range" beyond Max - Min + 1.
    int GetPageSize() const { return pageSize_; }
    void SetPageSize(int v);
    // The highest position scrolling reaches.
    int ScrollLimit() const;

    TNotifyEvent OnChange;
    TScrollEvent OnScroll;
    void Loaded() override;

protected:
    virtual void Change();
    virtual void Scroll(TScrollCode ScrollCode, int& ScrollPos);
    void CreateParams(TCreateParams& Params) override;
    void CreateWindowHandle(const TCreateParams& Params) override;
    void Paint() override;
    void KeyDown(uint16_t& Key, TShiftState Shift) override;
    void KeyUp(uint16_t& Key, TShiftState Shift) override;
    void WMGetDlgCode(TMessage& M) override;
    void WMEraseBkgnd(TMessage& M) override;
    void WMHScroll(TMessage& M) override;
    void WMVScroll(TMessage& M) override;

private:
    void DoScroll(TMessage& M);
    // Puts range and position into the window's bar.
    void UpdateBar();
    TScrollBarKind kind_ = sbHorizontal;
    int min_ = 0, max_ = 100, position_ = 0;
    int smallChange_ = 1, largeChange_ = 1, pageSize_ = 0;
};

}  // namespace vcl
