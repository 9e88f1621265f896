// A cursor over a dBase table in natural (physical) order or in the order of an index tag: the
// position is at the beginning crack, on a record, or at the end crack; records are numbered
// from 1 by their place in the file; deleted records are shown or hidden per cursor, and a
// record filter applies on top of the order. Navigation answers DBIERR_BOF (8705) and
// DBIERR_EOF (8706) at the ends; other failures raise vcl::EDBEngineError.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "bde/dbftable.h"
#include "bde/errors.h"
#include "bde/index.h"

namespace bde {

// A memo value opened for reading in pieces.
class TDbfBlob {
public:
    explicit TDbfBlob(std::string bytes) : bytes_(std::move(bytes)) {}
    uint32_t Size() const { return uint32_t(bytes_.size()); }
    // Copies up to length bytes from offset; returns the count (0 at or past the end).
    uint32_t Read(uint32_t offset, uint32_t length, void* out) const;

private:
    std::string bytes_;
};

class TDbfCursor {
public:
    explicit TDbfCursor(std::shared_ptr<TDbfTable> table);

    TDbfTable& Table() const { return *table_; }
    const std::shared_ptr<TDbfTable>& TablePtr() const { return table_; }
    uint16_t RecordSize() const { return table_->RecordLength(); }
    // dBase cursors report physical record numbers, not sequence numbers.
    bool SeqNums() const { return false; }

    bool GetShowDeleted() const { return showDeleted_; }
    void SetShowDeleted(bool show) { showDeleted_ = show; }

    // A record filter: navigation and ExactRecordCount skip records for which it answers false
    // (it sees the raw record, deletion byte first, and the record number). Empty = none.
    using TRecordFilter = std::function<bool(const uint8_t* record, uint32_t recNo)>;
    void SetFilter(TRecordFilter filter) { filter_ = std::move(filter); }
    bool Filtered() const { return bool(filter_); }

    void SetToBegin();
    void SetToEnd();
    DBIResult First();
    DBIResult Last();
    DBIResult Next();
    DBIResult Prior();
    // Moves to physical record n: BOF below 1, EOF past the last record,
    // DBIERR_KEYORRECDELETED (not moving) for a deleted record the cursor hides.
    DBIResult SetToRecordNo(uint32_t n);
    bool Bof() const { return state_ == TState::Bof; }
    bool Eof() const { return state_ == TState::Eof; }
    bool OnRecord() const { return state_ == TState::On; }
    uint32_t RecNo() const { return state_ == TState::On ? cur_ : 0; }
    uint32_t SeqNo() const { return RecNo(); }

    // Reads the current record; BOF or EOF at a crack.
    DBIResult GetRecord(TDbfRecord& into);
    // The count of the header (deleted records included), as dBase cursors report it.
    uint32_t RecordCount();
    // The records this cursor shows (reads every deletion mark when deleted ones are hidden).
    uint32_t ExactRecordCount();

    // Appends the record (a copy when it was read from the table) and stands on it.
    void Append(TDbfRecord& record);
    // Writes the record back over the current one.
    void Modify(TDbfRecord& record);
    void Delete();
    void Undelete();
    // Rereads the count (changes by other processes); records read ahead are dropped when the
    // file has changed since they were read.
    void Refresh() { table_->Refresh(); }

    TDbfBlob OpenBlob(const TDbfRecord& record, int field) const;

    // ---- order ----
    // Orders the cursor by an index tag (null: natural order), clears the range and the flip,
    // and stands at the beginning crack.
    void SetOrder(std::shared_ptr<TIndexTag> tag);
    const std::shared_ptr<TIndexTag>& GetOrder() const { return order_; }
    // Walks the current order backwards (natural order included).
    void SetFlipped(bool flipped) { flipped_ = flipped; }
    bool GetFlipped() const { return flipped_; }

    // One end of a key range, in key bytes (TIndexTag::EncodeText); Partial compares a
    // Character bound over its own length.
    struct TKeyBound {
        bool Present = false;
        std::string Key;
        bool Inclusive = true;
        bool Partial = false;
    };
    // Limits the order to the keys between the bounds by value (low <= high, descending tags
    // included); stands at the beginning crack. Needs an order.
    void SetRange(const TKeyBound& low, const TKeyBound& high);
    void ClearRange() { SetRange({}, {}); }

    enum class TSeekMode { Exact, Partial, Soft };
    // Exact and Partial: stands on the first visible record with the key (or keys starting
    // with it) and answers DBIERR_NONE, or answers DBIERR_RECNOTFOUND at the end crack. Soft:
    // stands on it, or on the next key in the tag's order (DBIERR_RECNOTFOUND), or at the end
    // crack (DBIERR_EOF).
    DBIResult Seek(std::string_view key, TSeekMode mode);

    // The key number of the current record in the current order and range (1-based; 0 at a
    // crack) and the number of keys there. Keys count index entries, hidden records included.
    uint32_t GetKeyNumber();
    uint32_t GetKeyCount();
    // Stands on the record with key number n (the next visible one when it is hidden).
    DBIResult SetToKeyNumber(uint32_t n);
    // 0.0 at the first key, 1.0 at the last.
    double GetRelativePosition();
    DBIResult SetRelativePosition(double position);

private:
    enum class TState { Bof, On, Eof };
    bool Visible(uint32_t n);
    void RequireRecord() const;
    // Ordered navigation: the range as tag positions [begin, end), and the current position.
    void Bounds(uint32_t& begin, uint32_t& end);
    void Relocate();
    DBIResult StepOrdered(int direction, bool fromCrack);
    uint32_t LogicalIndex(uint32_t pos, uint32_t begin, uint32_t end) const;

    std::shared_ptr<TDbfTable> table_;
    std::vector<uint8_t> scratch_;
    TState state_ = TState::Bof;
    uint32_t cur_ = 0;
    bool showDeleted_ = false;
    TRecordFilter filter_;
    std::shared_ptr<TIndexTag> order_;
    bool flipped_ = false;
    TKeyBound low_, high_;
    uint32_t pos_ = 0;  // ordered: the current record's position in the tag
};

}  // namespace bde
