// Size limits of a control (Constraints): the smallest and largest width and height its
// bounds may take; 0 leaves a side unlimited.
#pragma once
#include "classes/object.h"
#include "rtl/events.h"

namespace vcl {

class TSizeConstraints : public TPersistent {
    DBV_CLASS(TSizeConstraints, TPersistent)
public:
    TSizeConstraints() = default;
    void Assign(TPersistent* Source) override;

    int GetMinWidth() const { return minWidth_; }
    void SetMinWidth(int v);
    int GetMinHeight() const { return minHeight_; }
    void SetMinHeight(int v);
    // The limit set last wins: a maximum below the minimum lowers the minimum to it, a
    // minimum above the maximum raises the maximum. Negative values count as 0.
    int GetMaxWidth() const { return maxWidth_; }
    void SetMaxWidth(int v);
    int GetMaxHeight() const { return maxHeight_; }
    void SetMaxHeight(int v);

    // The size limited by these constraints.
    int ClampWidth(int w) const;
    int ClampHeight(int h) const;
    bool Empty() const { return !minWidth_ && !minHeight_ && !maxWidth_ && !maxHeight_; }

    // Runs when a limit changes (the control applies the new limits to its bounds).
    TNotifyEvent OnChange;

private:
    void Change();
    int minWidth_ = 0, minHeight_ = 0, maxWidth_ = 0, maxHeight_ = 0;
};

}  // namespace vcl
