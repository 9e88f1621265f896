#include "bde/cursor.h"

#include <algorithm>
#include <cstring>

namespace bde {

uint32_t TBlob::Read(uint32_t offset, uint32_t length, void* out) const {
    if (offset >= bytes_.size()) return 0;
    uint32_t n = std::min<uint32_t>(length, uint32_t(bytes_.size() - offset));
    std::memcpy(out, bytes_.data() + offset, n);
    return n;
}

TCursor::TCursor(std::shared_ptr<TDbfTable> table) : table_(std::move(table)) {
    scratch_.resize(table_->RecordLength());
}

bool TCursor::Visible(uint32_t n) {
    if (showDeleted_ && !filter_) return true;
    table_->ReadRecord(n, scratch_.data());
    if (!showDeleted_ && scratch_[0] == '*') return false;
    return !filter_ || filter_(scratch_.data(), n);
}

void TCursor::SetToBegin() {
    state_ = TState::Bof;
    cur_ = 0;
}

void TCursor::SetToEnd() {
    if (!table_->Exclusive()) table_->Refresh();
    state_ = TState::Eof;
    cur_ = table_->RecordCount() + 1;
}

DBIResult TCursor::First() {
    if (!table_->Exclusive()) table_->Refresh();
    SetToBegin();
    return Next();
}

DBIResult TCursor::Last() {
    SetToEnd();
    return Prior();
}

DBIResult TCursor::Next() {
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

DBIResult TCursor::Prior() {
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

DBIResult TCursor::SetToRecordNo(uint32_t n) {
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

DBIResult TCursor::GetRecord(TRecord& into) {
    if (state_ == TState::Bof) return DBIERR_BOF;
    if (state_ == TState::Eof) return DBIERR_EOF;
    into.Load(cur_);
    return DBIERR_NONE;
}

uint32_t TCursor::RecordCount() {
    if (!table_->Exclusive()) table_->Refresh();
    return table_->RecordCount();
}

uint32_t TCursor::ExactRecordCount() {
    uint32_t total = RecordCount();
    if (showDeleted_ && !filter_) return total;
    uint32_t n = 0;
    for (uint32_t i = 1; i <= total; ++i)
        if (Visible(i)) ++n;
    return n;
}

void TCursor::RequireRecord() const {
    if (state_ != TState::On) RaiseError(DBIERR_NOCURRREC, "No current record");
}

void TCursor::Append(TRecord& record) {
    record.MakeNew();
    uint32_t n = table_->Post(record);
    cur_ = n;
    state_ = TState::On;
}

void TCursor::Modify(TRecord& record) {
    RequireRecord();
    if (record.RecNo() != cur_)
        RaiseError(DBIERR_INVALIDPARAM, "The record buffer does not hold the current record");
    table_->Post(record);
}

void TCursor::Delete() {
    RequireRecord();
    table_->SetDeleted(cur_, true);
}

void TCursor::Undelete() {
    RequireRecord();
    table_->SetDeleted(cur_, false);
}

TBlob TCursor::OpenBlob(const TRecord& record, int field) const { return TBlob(record.GetMemoRaw(field)); }

}  // namespace bde
