#include "controls/sizeconstraints.h"

#include <algorithm>

#include "classes/rtti.h"

namespace vcl {

DBV_PUBLISHED(TSizeConstraints) {
    b.Int("MaxHeight", &TSizeConstraints::GetMaxHeight, &TSizeConstraints::SetMaxHeight, 0);
    b.Int("MaxWidth", &TSizeConstraints::GetMaxWidth, &TSizeConstraints::SetMaxWidth, 0);
    b.Int("MinHeight", &TSizeConstraints::GetMinHeight, &TSizeConstraints::SetMinHeight, 0);
    b.Int("MinWidth", &TSizeConstraints::GetMinWidth, &TSizeConstraints::SetMinWidth, 0);
}

void TSizeConstraints::Assign(TPersistent* Source) {
    if (auto* s = dynamic_cast<TSizeConstraints*>(Source)) {
        minWidth_ = s->minWidth_;
        minHeight_ = s->minHeight_;
        maxWidth_ = s->maxWidth_;
        maxHeight_ = s->maxHeight_;
        Change();
        return;
    }
    TPersistent::Assign(Source);
}

void TSizeConstraints::SetMinWidth(int v) {
    v = std::max(0, v);
    if (v == minWidth_) return;
    minWidth_ = v;
    if (maxWidth_ > 0 && v > maxWidth_) maxWidth_ = v;
    Change();
}

void TSizeConstraints::SetMinHeight(int v) {
    v = std::max(0, v);
    if (v == minHeight_) return;
    minHeight_ = v;
    if (maxHeight_ > 0 && v > maxHeight_) maxHeight_ = v;
    Change();
}

void TSizeConstraints::SetMaxWidth(int v) {
    v = std::max(0, v);
    if (v == maxWidth_) return;
    maxWidth_ = v;
    if (v > 0 && v < minWidth_) minWidth_ = v;
    Change();
}

void TSizeConstraints::SetMaxHeight(int v) {
    v = std::max(0, v);
    if (v == maxHeight_) return;
    maxHeight_ = v;
    if (v > 0 && v < minHeight_) minHeight_ = v;
    Change();
}

int TSizeConstraints::ClampWidth(int w) const {
    if (maxWidth_ > 0) w = std::min(w, maxWidth_);
    return std::max(w, minWidth_);
}

int TSizeConstraints::ClampHeight(int h) const {
    if (maxHeight_ > 0) h = std::min(h, maxHeight_);
    return std::max(h, minHeight_);
}

void TSizeConstraints::Change() {
    if (OnChange) OnChange(this);
}

}  // namespace vcl
