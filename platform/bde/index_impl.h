// The table's side of its indexes: which files are open, and the steps a table write takes
// to keep them current (see index.h for the scheme).
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "bde/index.h"

namespace bde {
// Table files are found ignoring case inside their directory; "" when absent (dbftable.cpp).
std::string FindNoCase(const std::string& path);
}  // namespace bde

namespace bde::idx {

class TIndexSet {
public:
    TIndexSet(TDbfTable& table, bool durable) : table_(table), durable_(durable) {}
    // Tags held beyond their table's life answer that it is closed.
    ~TIndexSet();

    std::vector<std::shared_ptr<TIndexFile>>& Files() { return files_; }
    TIndexFile* Production() const;
    std::shared_ptr<TIndexTag> FindTag(std::string_view name) const;

    // Opens the production index when the table's flag is set; a stale one is rebuilt when
    // the table is writable (the caller holds the write lock) and held rebuilt in memory
    // otherwise. A missing or damaged one is noted in report.
    void OpenProduction(bool writable, std::vector<std::string>& report);
    std::shared_ptr<TIndexFile> OpenNdx(const std::string& path, bool writable);
    std::shared_ptr<TIndexFile> CreateNdx(const std::string& path, const TIndexTagDef& def, const TProgressCallback& progress);
    void CloseNdx(const TIndexFile* file);
    // Adds a tag to the production index, creating the file when there is none.
    void AddTag(const TIndexTagDef& def, const TProgressCallback& progress);
    // Returns true when the production index has no tags left (its file is removed).
    bool DropTag(std::string_view name);
    void RebuildAll(const TProgressCallback& progress);

    // A table write: Before (reloads files others changed, refuses damaged ones, marks them),
    // then Changed for each record written, then After (writes the files).
    bool Active() const { return !files_.empty(); }
    // Rereads index files that another open has replaced since they were read.
    void SyncWithDisk();
    void BeforeWrite();
    void RecordChanged(uint32_t recNo, const uint8_t* oldRecord, const uint8_t* newRecord);
    void AfterWrite();
    // A batch defers the files' writing, and merges the keys it changed, to its end.
    void BeginBatch();
    void EndBatch();
    bool InBatch() const { return batch_; }
    // Pack renumbered the records, zap emptied the table.
    void TableReplaced();

private:
    TDbfTable& table_;
    bool durable_;
    bool batch_ = false;
    bool batchChecked_ = false;
    std::vector<std::shared_ptr<TIndexFile>> files_;  // the production index first
    std::shared_ptr<TIndexFile> production_;
};

// The .MDX that belongs to a table path ("" when there is none on disk).
std::string ProductionPath(const std::string& tablePath, bool mustExist);

}  // namespace bde::idx
