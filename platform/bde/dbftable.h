// A dBase table file (.DBF) with its memo file: header, field descriptors, raw record I/O,
// crash-safe appends and updates, sharing locks, pack and zap.
//
// Writes: a record is written (with its memos before it), then the header's count. Each write
// runs under the table's write lock, so writers in several processes never interleave inside a
// record or the header. Readers do not lock. See docs/decisions.md for the flushing policy.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "bde/codepage.h"
#include "bde/fields.h"
#include "bde/memofile.h"

namespace bde {

// Progress of a long operation: percent 0..100 (below 0 when unknown) and a short message.
// Returning false asks the operation to stop; it then raises DBIERR_USERABORT with nothing lost.
using TProgressCallback = std::function<bool(int percent, const std::string& message)>;

struct TDbfCreateOptions {
    int Level = 4;              // 3 = dBase III+, 4 = dBase IV
    int CodePage = 1252;        // written as the language byte; 0 = none
    uint32_t MemoBlockSize = 512;  // dBase IV memo files
    bool Replace = false;       // replace existing files instead of refusing
};

struct TDbfOpenOptions {
    bool ReadOnly = false;
    bool Exclusive = false;
    // Code page for tables whose language byte is 0 or unknown.
    int FallbackCodePage = 1252;
    // Sync data to stable storage before and after each header update (survives power loss);
    // off, a posted record survives the death of the process but not of the machine.
    bool Durable = false;
};

class TDbfRecord;
class TIndexFile;
class TIndexTag;
struct TIndexTagDef;

class TDbfTable : public std::enable_shared_from_this<TDbfTable> {
public:
    static std::shared_ptr<TDbfTable> Open(const std::string& path, const TDbfOpenOptions& options = {});
    static void Create(const std::string& path, const std::vector<TDbfFieldDef>& fields,
                       const TDbfCreateOptions& options = {});
    ~TDbfTable();
    TDbfTable(const TDbfTable&) = delete;
    TDbfTable& operator=(const TDbfTable&) = delete;

    // ---- what the header says ----
    const std::string& Path() const;
    std::string MemoPath() const;
    uint8_t Version() const;
    bool IsFoxPro() const;
    TDbfDate LastUpdate() const;
    uint16_t HeaderLength() const;
    uint16_t RecordLength() const;
    uint8_t LanguageByte() const;
    int CodePage() const;
    bool ProductionIndexFlag() const;
    const std::vector<TDbfFieldDesc>& Fields() const;
    int FieldCount() const;
    int FieldIndex(std::string_view name) const;  // ignoring ASCII case; -1 when absent
    TMemoKind MemoKind() const;
    TMemoFile* Memo();
    const TCodePageConverter& Converter() const;
    bool ReadOnly() const;
    bool Exclusive() const;
    // Repairs made in this open's view of a damaged file (short last record, count too large).
    const std::vector<std::string>& OpenReport() const;

    // Records in this open's view: the header's count, never more than the file holds.
    uint32_t RecordCount() const;
    // Rereads the count from the file (other processes may have appended). Records read ahead
    // are kept while the file is unchanged since they were read, and dropped otherwise.
    // Returns the new count.
    uint32_t Refresh();
    // How many times record data has been read from the file (each read fills the read-ahead
    // of consecutive records); for statistics and tests.
    uint64_t RecordReads() const;

    // ---- raw records (the buffer is RecordLength bytes, the deletion byte first) ----
    void ReadRecord(uint32_t recNo, uint8_t* buffer);
    void WriteRecord(uint32_t recNo, const uint8_t* buffer);
    uint32_t AppendRecord(const uint8_t* buffer);
    void SetDeleted(uint32_t recNo, bool deleted);
    bool IsDeleted(uint32_t recNo);

    // ---- records with field values and memos ----
    // Writes the record's pending memos, then the record: appends a new one (returns its number)
    // or updates the record it was read from.
    uint32_t Post(TDbfRecord& record);

    // ---- memos ----
    std::string ReadMemo(uint32_t block);
    // The memo pointer of a field as the file holds it now (another process may have rewritten
    // the record since it was read, and reused its old blocks).
    uint32_t MemoPointerOnDisk(uint32_t recNo, int field);

    // ---- whole table (exclusive opens only) ----
    // Writes a new table and memo file without the deleted records and renames them over the
    // old ones; a crash at any moment leaves the old table or the packed one, complete.
    void Pack(const TProgressCallback& progress = {});
    void Zap();

    // ---- batches ----
    // Between BeginBatch and EndBatch the open holds the table's write lock; appended records
    // are written in large pieces and the header's count once, at the end. Records past the
    // count are invisible, so a crash inside a batch loses that batch and nothing before it.
    // Open indexes merge the batch's keys and are rewritten once, at the end (they carry the
    // write mark meanwhile, so a crash leaves them stale, never wrong). Reads inside the batch
    // see its records. Destroying the table ends an open batch.
    void BeginBatch();
    void EndBatch();

    // ---- indexes (bde/index.h) ----
    // The index files open with the table: the production .MDX first (opened with the table when
    // the header's flag is set; a missing or damaged one is noted in OpenReport), then the .NDX
    // files opened on request. Every open index is kept current by the table's writes.
    const std::vector<std::shared_ptr<TIndexFile>>& IndexFiles() const;
    TIndexFile* ProductionIndex() const;
    // A tag of any open index file (an .NDX answers to its base name); null when none.
    std::shared_ptr<TIndexTag> FindTag(std::string_view name) const;
    // Tags of the production index, created when the table has none (exclusive opens only).
    void AddTag(const TIndexTagDef& def, const TProgressCallback& progress = {});
    void DropTag(std::string_view name);
    // Rebuilds every open index file from the table (exclusive opens only).
    void Reindex(const TProgressCallback& progress = {});
    std::shared_ptr<TIndexFile> CreateNdx(const std::string& path, const TIndexTagDef& def,
                                          const TProgressCallback& progress = {});
    std::shared_ptr<TIndexFile> OpenNdx(const std::string& path);
    void CloseNdx(const TIndexFile& file);

private:
    struct TImpl;
    TDbfTable();
    std::unique_ptr<TImpl> impl_;
};

// A record buffer bound to its table: the raw record (deletion byte first) plus typed access
// to its fields. Text crosses the API as UTF-8; limits count stored bytes.
class TDbfRecord {
public:
    explicit TDbfRecord(std::shared_ptr<TDbfTable> table);  // a blank new record

    TDbfTable& Table() const { return *table_; }
    uint8_t* Data() { return bytes_.data(); }
    const uint8_t* Data() const { return bytes_.data(); }
    size_t Size() const { return bytes_.size(); }
    uint32_t RecNo() const { return recNo_; }  // 0 for a record not yet appended
    bool Deleted() const { return bytes_[0] == '*'; }

    // Reads record recNo of the table into this buffer.
    void Load(uint32_t recNo);
    // Turns a loaded record into a new one with the same values; posting appends it (its memos
    // are written again, so two records never share memo blocks).
    void MakeNew() { recNo_ = 0; }
    // Makes this a blank new record.
    void Clear();

    bool IsNull(int field) const;
    // The value as text: C trimmed on the right, N/F as stored without blanks, D as YYYY-MM-DD,
    // L as T or F, M the memo text; "" for null.
    std::string GetText(int field) const;
    std::optional<double> GetNumber(int field) const;
    std::optional<TDbfDate> GetDate(int field) const;
    std::optional<bool> GetLogical(int field) const;
    std::string GetMemo(int field) const;     // UTF-8
    std::string GetMemoRaw(int field) const;  // bytes as stored
    uint32_t MemoBlock(int field) const;      // 0 when the memo is empty
    std::string GetRaw(int field) const;      // the field's stored bytes

    // Sets a value from text in the conventions GetText produces ("" = null).
    void SetText(int field, std::string_view utf8);
    void SetNumber(int field, double value);
    void SetDate(int field, const TDbfDate& value);
    void SetLogical(int field, bool value);
    void SetNull(int field);
    void SetMemo(int field, std::string_view utf8);
    void SetMemoRaw(int field, std::string_view bytes);

private:
    friend class TDbfTable;
    const TDbfFieldDesc& Field(int field) const;
    const std::string* PendingMemo(int field) const;  // null when the field has none
    void SetPendingMemo(int field, std::string bytes);
    [[noreturn]] void BadValue(int field, const std::string& what) const;
    std::string ToUtf8(int field, std::string_view stored) const;  // naming the field on failure
    void Store(const TDbfFieldDesc& f, std::string_view bytes, bool rightAlign);

    std::shared_ptr<TDbfTable> table_;
    std::vector<uint8_t> bytes_;
    uint32_t recNo_ = 0;
    // Memos to write on post, as stored bytes, ordered by field.
    std::vector<std::pair<int, std::string>> pendingMemos_;
};

}  // namespace bde
