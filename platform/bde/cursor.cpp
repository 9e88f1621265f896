#include "bde/cursor.h"

#include <algorithm>
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

TDbfBlob TDbfCursor::OpenBlob(const TDbfRecord& record, int field) const { return TDbfBlob(record.GetMemoRaw(field)); }

}  // namespace bde
