#include "bde/cursor.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace bde {

uint32_t TDbfBlob::Read(uint32_t offset, uint32_t length, void* out) const {
    if (offset >= bytes_.size()) return 0;
    uint32_t n = std::min<uint32_t>(length, uint32_t(bytes_.size() - offset));
    std::memcpy(out, bytes_.data() + offset, n);
    return n;
}

TDbfCursor::TDbfCursor(std::shared_ptr<TDbfTable> table) : table_(std::move(table)) {
    scratch_.resize(table_->RecordLength());
}

bool TDbfCursor::Visible(uint32_t n) {
    if (showDeleted_ && !filter_) return true;
    table_->ReadRecord(n, scratch_.data());
    if (!showDeleted_ && scratch_[0] == '*') return false;
    return !filter_ || filter_(scratch_.data(), n);
}

void TDbfCursor::SetToBegin() {
    state_ = TState::Bof;
    cur_ = 0;
}

void TDbfCursor::SetToEnd() {
    if (!table_->Exclusive()) table_->Refresh();
    state_ = TState::Eof;
    cur_ = table_->RecordCount() + 1;
}

DBIResult TDbfCursor::First() {
    if (!table_->Exclusive()) table_->Refresh();
    SetToBegin();
    return Next();
}

DBIResult TDbfCursor::Last() {
    SetToEnd();
    return Prior();
}

DBIResult TDbfCursor::Next() {
    if (order_ || flipped_) {
        if (state_ == TState::Eof) return DBIERR_EOF;
        return StepOrdered(1, state_ == TState::Bof);
    }
    if (state_ == TState::Eof) return DBIERR_EOF;
    uint32_t n = state_ == TState::Bof ? 1 : cur_ + 1;
    for (;;) {
        for (; n <= table_->RecordCount(); ++n)
            if (Visible(n)) {
                cur_ = n;
                state_ = TState::On;
                return DBIERR_NONE;
            }
        // Another process may have appended since the count was read.
        if (table_->Exclusive() || table_->Refresh() < n) break;
    }
    state_ = TState::Eof;
    cur_ = table_->RecordCount() + 1;
    return DBIERR_EOF;
}

DBIResult TDbfCursor::Prior() {
    if (order_ || flipped_) {
        if (state_ == TState::Bof) return DBIERR_BOF;
        return StepOrdered(-1, state_ == TState::Eof);
    }
    if (state_ == TState::Bof) return DBIERR_BOF;
    uint32_t n = std::min(cur_, table_->RecordCount() + 1);
    while (n > 1) {
        --n;
        if (Visible(n)) {
            cur_ = n;
            state_ = TState::On;
            return DBIERR_NONE;
        }
    }
    SetToBegin();
    return DBIERR_BOF;
}

DBIResult TDbfCursor::SetToRecordNo(uint32_t n) {
    if (n < 1) {
        SetToBegin();
        return DBIERR_BOF;
    }
    if (n > table_->RecordCount() && !table_->Exclusive()) table_->Refresh();
    if (n > table_->RecordCount()) {
        state_ = TState::Eof;
        cur_ = table_->RecordCount() + 1;
        return DBIERR_EOF;
    }
    if (!Visible(n)) return DBIERR_KEYORRECDELETED;
    cur_ = n;
    state_ = TState::On;
    if (order_) pos_ = order_->PositionOfRecord(n);
    return DBIERR_NONE;
}

DBIResult TDbfCursor::GetRecord(TDbfRecord& into) {
    if (state_ == TState::Bof) return DBIERR_BOF;
    if (state_ == TState::Eof) return DBIERR_EOF;
    into.Load(cur_);
    return DBIERR_NONE;
}

uint32_t TDbfCursor::RecordCount() {
    if (!table_->Exclusive()) table_->Refresh();
    return table_->RecordCount();
}

uint32_t TDbfCursor::ExactRecordCount() {
    uint32_t total = RecordCount();
    if (showDeleted_ && !filter_) return total;
    uint32_t n = 0;
    for (uint32_t i = 1; i <= total; ++i)
        if (Visible(i)) ++n;
    return n;
}

void TDbfCursor::RequireRecord() const {
    if (state_ != TState::On) RaiseError(DBIERR_NOCURRREC, "No current record");
}

void TDbfCursor::Append(TDbfRecord& record) {
    record.MakeNew();
    uint32_t n = table_->Post(record);
    cur_ = n;
    state_ = TState::On;
}

void TDbfCursor::Modify(TDbfRecord& record) {
    RequireRecord();
    if (record.RecNo() != cur_)
        RaiseError(DBIERR_INVALIDPARAM, "The record buffer does not hold the current record");
    table_->Post(record);
}

void TDbfCursor::Delete() {
    RequireRecord();
    table_->SetDeleted(cur_, true);
}

void TDbfCursor::Undelete() {
    RequireRecord();
    table_->SetDeleted(cur_, false);
}

// ====================================================================== order

void TDbfCursor::SetOrder(std::shared_ptr<TIndexTag> tag) {
    if (tag) tag->KeyCount();  // a damaged index is reported here, not at the first move
    order_ = std::move(tag);
    flipped_ = false;
    low_ = high_ = {};
    SetToBegin();
}

void TDbfCursor::SetRange(const TKeyBound& low, const TKeyBound& high) {
    if (!order_ && (low.Present || high.Present)) RaiseError(DBIERR_INVALIDPARAM, "A key range needs an order");
    low_ = low;
    high_ = high;
    SetToBegin();
}

void TDbfCursor::Bounds(uint32_t& begin, uint32_t& end) {
    if (!order_) {
        begin = 1;
        end = table_->RecordCount() + 1;
        return;
    }
    uint32_t count = order_->KeyCount();
    begin = 0;
    end = count;
    // Tag order runs from low to high values, or from high to low for a descending tag.
    const bool desc = order_->GetDef().Descending;
    const TKeyBound& first = desc ? high_ : low_;
    const TKeyBound& last = desc ? low_ : high_;
    if (first.Present)
        begin = first.Inclusive ? order_->LowerBound(first.Key, first.Partial) : order_->UpperBound(first.Key, first.Partial);
    if (last.Present)
        end = last.Inclusive ? order_->UpperBound(last.Key, last.Partial) : order_->LowerBound(last.Key, last.Partial);
    if (end < begin) end = begin;
}

void TDbfCursor::Relocate() {
    if (!order_ || state_ != TState::On) return;
    if (pos_ < order_->KeyCount() && order_->RecNoAt(pos_) == cur_) return;
    pos_ = order_->PositionOfRecord(cur_);
}

// Positions are tag positions in ordered mode and record numbers in natural order.
DBIResult TDbfCursor::StepOrdered(int direction, bool fromCrack) {
    if (fromCrack && !table_->Exclusive()) table_->Refresh();
    uint32_t begin, end;
    Bounds(begin, end);
    const int step = flipped_ ? -direction : direction;
    int64_t p;
    if (fromCrack) {
        p = step > 0 ? int64_t(begin) : int64_t(end) - 1;
    } else {
        Relocate();
        uint32_t at = order_ ? pos_ : cur_;
        p = int64_t(at) + step;
        // The current record left the order (its key changed out of the range or the FOR
        // condition): continue from where its key would be.
        if (order_ && pos_ >= order_->KeyCount()) p = step > 0 ? int64_t(end) : int64_t(begin) - 1;
    }
    for (; p >= int64_t(begin) && p < int64_t(end); p += step) {
        uint32_t rec = order_ ? order_->RecNoAt(uint32_t(p)) : uint32_t(p);
        if (Visible(rec)) {
            cur_ = rec;
            pos_ = uint32_t(p);
            state_ = TState::On;
            return DBIERR_NONE;
        }
    }
    if (direction > 0) {
        state_ = TState::Eof;
        cur_ = table_->RecordCount() + 1;
        return DBIERR_EOF;
    }
    SetToBegin();
    return DBIERR_BOF;
}

DBIResult TDbfCursor::Seek(std::string_view key, TSeekMode mode) {
    if (!order_) RaiseError(DBIERR_INVALIDPARAM, "A seek needs an order");
    if (!table_->Exclusive()) table_->Refresh();
    uint32_t begin, end;
    Bounds(begin, end);
    const bool partial = mode == TSeekMode::Partial || (mode == TSeekMode::Soft && order_->GetKeyType() == TKeyType::Character);
    uint32_t p = std::max(begin, order_->LowerBound(key, mode == TSeekMode::Partial));
    for (; p < end; ++p) {
        uint32_t rec = order_->RecNoAt(p);
        bool match = order_->Compare(order_->KeyAt(p), key, partial) == 0;
        if (!match && mode != TSeekMode::Soft) break;
        if (Visible(rec)) {
            cur_ = rec;
            pos_ = p;
            state_ = TState::On;
            return match ? DBIERR_NONE : DBIERR_RECNOTFOUND;
        }
    }
    state_ = TState::Eof;
    cur_ = table_->RecordCount() + 1;
    return mode == TSeekMode::Soft ? DBIERR_EOF : DBIERR_RECNOTFOUND;
}

uint32_t TDbfCursor::LogicalIndex(uint32_t pos, uint32_t begin, uint32_t end) const {
    return flipped_ ? end - 1 - pos : pos - begin;
}

uint32_t TDbfCursor::GetKeyCount() {
    uint32_t begin, end;
    Bounds(begin, end);
    return end - begin;
}

uint32_t TDbfCursor::GetKeyNumber() {
    if (state_ != TState::On) return 0;
    uint32_t begin, end;
    Bounds(begin, end);
    Relocate();
    uint32_t at = order_ ? pos_ : cur_;
    if (at < begin || at >= end) return 0;
    return LogicalIndex(at, begin, end) + 1;
}

DBIResult TDbfCursor::SetToKeyNumber(uint32_t n) {
    uint32_t begin, end;
    Bounds(begin, end);
    if (n < 1) {
        SetToBegin();
        return DBIERR_BOF;
    }
    if (n > end - begin) {
        state_ = TState::Eof;
        cur_ = table_->RecordCount() + 1;
        return DBIERR_EOF;
    }
    uint32_t at = flipped_ ? end - n : begin + n - 1;
    uint32_t rec = order_ ? order_->RecNoAt(at) : at;
    if (Visible(rec)) {
        cur_ = rec;
        pos_ = at;
        state_ = TState::On;
        return DBIERR_NONE;
    }
    // A hidden record: the next visible one in the walking direction, else the one before.
    cur_ = rec;
    pos_ = at;
    state_ = TState::On;
    DBIResult r = StepOrdered(1, false);
    if (r == DBIERR_EOF) {
        cur_ = rec;
        pos_ = at;
        state_ = TState::On;
        r = StepOrdered(-1, false);
    }
    return r;
}

double TDbfCursor::GetRelativePosition() {
    uint32_t count = GetKeyCount(), n = GetKeyNumber();
    if (n == 0) return state_ == TState::Eof ? 1.0 : 0.0;
    return count <= 1 ? 0.0 : double(n - 1) / double(count - 1);
}

DBIResult TDbfCursor::SetRelativePosition(double position) {
    uint32_t count = GetKeyCount();
    if (count == 0) {
        SetToBegin();
        return DBIERR_EOF;
    }
    double f = std::clamp(position, 0.0, 1.0);
    return SetToKeyNumber(uint32_t(std::llround(f * double(count - 1))) + 1);
}

TDbfBlob TDbfCursor::OpenBlob(const TDbfRecord& record, int field) const { return TDbfBlob(record.GetMemoRaw(field)); }

}  // namespace bde
