// dBase indexes beside a table: the production .MDX (up to 47 tags, each a B-tree) and single
// .NDX files. Both are read and written in the files' own layouts, so that other programs walk
// the same trees (docs/decisions.md, "Indexes", records the encodings and layout choices).
//
// Each tag's entries are held in memory as one sorted run once the tag is first used: key
// numbers, relative positions and seeks are then a binary search or an index away. Every change
// of the table updates the runs and writes the whole index file anew beside the old one, then
// renames it over; before the table is written, a mark in the old file's header says that a
// write is under way. A file found with that mark is stale: it is rebuilt on open (or, read-only,
// held rebuilt in memory), never served. A file whose header or pages do not hold together is
// reported as damaged, never used and never written into; reindex rebuilds it.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "bde/dbftable.h"
#include "bde/expr.h"

namespace bde {

enum class TKeyType { Character, Numeric, Date };
enum class TIndexFormat { Mdx, Ndx };

struct TIndexTagDef {
    std::string Name;          // a tag name (up to 10 characters); an .NDX takes its file name
    std::string Expression;    // Character, Numeric or Date
    std::string ForCondition;  // Logical; empty = every record (.MDX only)
    bool Unique = false;       // one entry per key: the first record that has it
    bool Descending = false;   // .MDX only
};

class TIndexFile;

// One ordered list of keys: a tag of an .MDX or an .NDX file. Positions are 0-based in the
// tag's own order (descending tags keep their highest key first); equal keys are ordered by
// record number.
class TIndexTag {
public:
    ~TIndexTag();
    TIndexTag(const TIndexTag&) = delete;
    TIndexTag& operator=(const TIndexTag&) = delete;

    const std::string& GetName() const;
    const TIndexTagDef& GetDef() const;
    TKeyType GetKeyType() const;
    int GetKeyLength() const;
    TIndexFile& GetFile() const;

    // Raises DBIERR_INDEXCORRUPT when the tag's file is damaged or stale.
    uint32_t KeyCount();
    uint32_t RecNoAt(uint32_t pos);
    std::string_view KeyAt(uint32_t pos);
    // First position whose entry is not before key in tag order; with prefix, Character keys
    // compare only key's bytes. recNo breaks ties (0: before every record, UINT32_MAX: after).
    uint32_t LowerBound(std::string_view key, bool prefix, uint32_t recNo = 0);
    uint32_t UpperBound(std::string_view key, bool prefix) { return LowerBound(key, prefix, UINT32_MAX); }
    // Where the record's entry is (its key evaluated now); KeyCount() when it has none.
    uint32_t PositionOfRecord(uint32_t recNo);

    // The key bytes of a value given as text: Character in UTF-8 (not padded, for partial
    // seeks), Numeric as a decimal number, Date as YYYY-MM-DD or YYYYMMDD. Raises
    // DBIERR_INVALIDPARAM for text of the wrong kind.
    std::string EncodeText(std::string_view text) const;
    std::string EncodeValue(const TExprValue& value) const;
    // Key bytes back to text for display (Character in UTF-8, trailing blanks kept off).
    std::string KeyText(std::string_view key) const;
    // Compares two keys in tag order (prefix: Character a compared over b's length).
    int Compare(std::string_view a, std::string_view b, bool prefix = false) const;

    struct TImpl;
    explicit TIndexTag(std::unique_ptr<TImpl> impl);
    TImpl& Impl() { return *impl_; }

private:
    std::unique_ptr<TImpl> impl_;
};

// An .MDX or .NDX file and its tags.
class TIndexFile {
public:
    ~TIndexFile();
    TIndexFile(const TIndexFile&) = delete;
    TIndexFile& operator=(const TIndexFile&) = delete;

    const std::string& GetPath() const;
    TIndexFormat GetFormat() const;
    const std::vector<std::shared_ptr<TIndexTag>>& Tags() const;
    std::shared_ptr<TIndexTag> FindTag(std::string_view name) const;  // ignoring case
    // Why the file cannot be used ("" when it can).
    const std::string& GetProblem() const;
    // True when the file was found stale (a write was interrupted) and rebuilt on open.
    bool WasRebuilt() const;

    // Checks every page of every tag: order, counts, links, depths. Raises DBIERR_INDEXCORRUPT
    // naming the first fault.
    void CheckStructure();

    struct TImpl;
    explicit TIndexFile(std::unique_ptr<TImpl> impl);
    TImpl& Impl() { return *impl_; }

private:
    std::unique_ptr<TImpl> impl_;
};

// The byte-level reader of index pages, for the fuzz target and tests: parses an .MDX or .NDX
// image held in memory against the table's fields and walks every tag. Raises
// DBIERR_INDEXCORRUPT (or DBIERR_INVALIDEXPR for a key expression that does not compile).
void CheckIndexImage(const std::string& image, TIndexFormat format, const std::vector<TDbfFieldDesc>& fields);

}  // namespace bde
