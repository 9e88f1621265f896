// Datasets over the table engine: TBDEDataSet (a dataset on one engine cursor), TDBDataSet
// (with a database name) and TTable (a table file by directory and name).
// All cursor access goes through TDataCursor, so a cursor of another engine (or of the
// engine's call facade) can take the place of the built-in dBase one.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "data/db.h"

namespace bde {
class TDbfTable;
class TExpr;
}  // namespace bde

namespace vcl {

class TDatabase;

// Values of TableType; an engine's own table class may use ordinals above ttASCII.
DBV_ENUM(TTableType, ttDefault, ttParadox, ttDBase, ttASCII);

// What a dataset needs from a cursor. Records are read into raw buffers of RecordSize()
// bytes whose first byte is the deletion mark ('*' for a deleted dBase record).
class TDataCursor {
public:
    virtual ~TDataCursor() = default;
    // The cursor handle datasets report: a registered id (low 16 bits 256 or more) or, for an
    // engine table, its work-area number.
    virtual int32_t Handle() const = 0;
    virtual int RecordSize() const = 0;
    virtual void GetFieldDefs(TFieldDefs& defs) = 0;
    virtual void SetToBegin() = 0;
    virtual void SetToEnd() = 0;
    // Move and read into record (RecordSize bytes); 0, or 8705 / 8706 at the ends.
    virtual int Next(char* record) = 0;
    virtual int Prior(char* record) = 0;
    // Reads the record the cursor stands on; nonzero when it stands on none or the record is
    // hidden now (deleted, filtered out).
    virtual int Current(char* record) = 0;
    virtual uint32_t RecNo() const = 0;  // physical record number; 0 at a crack
    virtual int SetToRecNo(uint32_t recNo) = 0;
    virtual uint32_t RecordCount(bool exact) = 0;
    virtual bool GetShowDeleted() const = 0;
    virtual void SetShowDeleted(bool v) = 0;
    // Compiles a filter expression (raising on an expression it cannot handle) and applies it
    // with the extra test (null = expression only); an empty text with a null test = no filter.
    using TRecordTest = std::function<bool(const char* record)>;
    virtual void SetFilter(const std::string& text, TFilterOptions options, TRecordTest extra) = 0;
    virtual void CheckFilter(const std::string& text, TFilterOptions options) = 0;
    // Field values of a record buffer: fieldNo counts from 1. False for null.
    virtual bool GetField(int fieldNo, const char* record, Variant& value) = 0;
    // Editing: a fresh record (insert) or the current one read again (edit) goes to record;
    // SetField writes into the edit record and its bytes into record.
    virtual void InitRecord(char* record) = 0;
    virtual void BeginEdit(char* record) = 0;
    virtual void SetField(int fieldNo, const Variant& value, char* record) = 0;
    // Writes the edited record: appended (insert) or over the current one; the cursor stands on it.
    virtual void Post(bool insert) = 0;
    virtual void CancelEdit() = 0;
    virtual bool Editing() const = 0;
    // Reads values from the edit record when the buffer is the one being edited.
    virtual void Delete() = 0;
    virtual void Refresh() = 0;
    virtual void Empty() = 0;

    // ---- indexes (a cursor of an engine without them raises) ----
    // The definitions of the table's index tags.
    virtual void GetIndexDefs(TIndexDefs& defs);
    // Orders by the named tag ("" = natural order), dropping any range; stands at the beginning.
    virtual void SetOrder(const std::string& name);
    virtual std::string GetOrder() const { return {}; }
    // fields is a ";"-list of field names, or with ixExpression the key expression.
    virtual void AddIndex(const std::string& name, const std::string& fields, TIndexOptions options);
    virtual void DeleteIndex(const std::string& name);
    // Seeks the key of the current order made from values (one per key field, in order):
    // exact stands on the first record with that key (DBIERR_RECNOTFOUND otherwise); nearest
    // stands on it or on the next key (DBIERR_EOF past the last).
    virtual int SeekKey(const std::vector<Variant>& values, bool nearest);
    // Limits the current order to the keys between the bounds (an empty list = open end).
    // Character bounds compare over their own length unless exact.
    virtual void SetKeyRange(const std::vector<Variant>& low, const std::vector<Variant>& high, bool exact);
};

// Registered cursor handles: 32-bit ids whose low 16 bits are 256 or more.
class TCursorHandles {
public:
    static int32_t Register(TDataCursor* cursor);
    static void Unregister(int32_t handle);
    static TDataCursor* Find(int32_t handle);
};

class TBDEDataSet : public TDataSet {
    DBV_CLASS(TBDEDataSet, TDataSet)
public:
    explicit TBDEDataSet(TComponent* AOwner);
    ~TBDEDataSet() override;

    // 0 while closed.
    int32_t GetHandle() const { return cursor_ ? cursor_->Handle() : 0; }
    TDataCursor* Cursor() const { return cursor_.get(); }
    bool GetShowDeleted() const { return showDeleted_; }
    void SetShowDeleted(bool v);

    int GetRecNo() const override;
    void SetRecNo(int v) override;
    int GetRecordCount() const override;
    bool BookmarkValid(const TBookmark& bookmark) override;
    // Bookmarks are record numbers: compared as numbers.
    int CompareBookmarks(const TBookmark& a, const TBookmark& b) override;
    void SetFilter(const std::string& text) override;
    void SetFiltered(bool v) override;
    void SetFilterOptions(TFilterOptions v) override;
    bool GetFieldData(TField* field, Variant& value) override;
    void SetFieldData(TField* field, const Variant& value) override;

protected:
    // The cursor this dataset reads; a subclass of another engine supplies its own.
    virtual std::unique_ptr<TDataCursor> CreateCursor() = 0;
    // Checks a filter text while closed (raises when it cannot be handled); default: accept.
    virtual void CheckClosedFilter(const std::string&, TFilterOptions) {}

    void InternalOpen() override;
    void InternalClose() override;
    bool IsCursorOpen() const override { return cursor_ != nullptr; }
    void InternalInitFieldDefs() override;
    void InternalFirst() override;
    void InternalLast() override;
    TGetResult GetRecord(TRecordBuffer buffer, TGetMode mode, bool doCheck) override;
    void InternalInitRecord(TRecordBuffer buffer) override;
    void InternalPost() override;
    void InternalDelete() override;
    void InternalCancel() override;
    void InternalEdit() override;
    void InternalRefresh() override;
    void InternalSetToRecord(TRecordBuffer buffer) override;
    void InternalGotoBookmark(const TBookmark& bookmark) override;
    TBookmark GetBookmarkData(TRecordBuffer buffer) const override;
    void SetBookmarkData(TRecordBuffer buffer, const TBookmark& data) override;
    TBookmarkFlag GetBookmarkFlag(TRecordBuffer buffer) const override;
    void SetBookmarkFlag(TRecordBuffer buffer, TBookmarkFlag flag) override;
    int GetRecordSizeValue() const override { return recordSize_; }
    int GetBufferSize() const override { return InfoOffset() + int(sizeof(TRecInfo)); }
    void FilterChanged() override;
    // A condition of the dataset's own on every record it shows (master-detail), evaluated in
    // the filter state with field values read from the record being tested.
    virtual bool HasRecordCondition() const { return false; }
    virtual bool RecordCondition() { return true; }
    void ApplyFilter();

private:
    // Kept after the record bytes, at an aligned offset.
    struct TRecInfo {
        uint32_t RecNo;
        uint8_t Flag;
    };
    TRecInfo& Info(TRecordBuffer b) const { return *reinterpret_cast<TRecInfo*>(b + InfoOffset()); }
    int InfoOffset() const { return (recordSize_ + 7) & ~7; }
    std::unique_ptr<TDataCursor> cursor_;
    int recordSize_ = 0;
    bool showDeleted_ = false;
};

class TDBDataSet : public TBDEDataSet {
    DBV_CLASS(TDBDataSet, TBDEDataSet)
public:
    explicit TDBDataSet(TComponent* AOwner);
    const std::string& GetDatabaseName() const { return databaseName_; }
    void SetDatabaseName(const std::string& v);
    const std::string& GetSessionName() const { return sessionName_; }
    void SetSessionName(const std::string& v);
    // The directory the database name stands for: a directory itself, or the directory of a
    // database or alias of the session (raises for an unknown name).
    std::string DatabaseDirectory() const;
    // The database this dataset opened on (a temporary one for a directory); null while closed.
    TDatabase* GetDatabase() const { return database_; }
    int32_t GetDBHandle() const;

protected:
    void InternalOpen() override;
    void InternalClose() override;

private:
    std::string databaseName_, sessionName_;
    TDatabase* database_ = nullptr;
};

class TTableMasterLink;

class TTable : public TDBDataSet {
    DBV_CLASS(TTable, TDBDataSet)
public:
    explicit TTable(TComponent* AOwner);
    ~TTable() override;
    void BeforeDestruction() override;

    // Master-detail: the records whose IndexFieldNames fields equal the master's current
    // MasterFields values (";"-separated lists of the same length). IndexFieldNames names the
    // detail's key fields and orders by the tag keyed on them when there is one; with such a tag
    // the detail is restricted by a key range, otherwise by a record test in natural order.
    // IndexName and IndexFieldNames exclude each other: setting one clears the other.
    TDataSource* GetMasterSource() const;
    void SetMasterSource(TDataSource* v);
    const std::string& GetMasterFields() const { return masterFields_; }
    void SetMasterFields(const std::string& v);
    const std::string& GetIndexFieldNames() const { return indexFieldNames_; }
    void SetIndexFieldNames(const std::string& v);
    // Called by the master link when the master moves, opens or closes.
    void MasterChanged();

    const std::string& GetTableName() const { return tableName_; }
    void SetTableName(const std::string& v);
    TTableType GetTableType() const { return tableType_; }
    void SetTableType(TTableType v);
    bool GetExclusive() const { return exclusive_; }
    void SetExclusive(bool v);
    bool GetReadOnly() const { return readOnly_; }
    void SetReadOnly(bool v);
    bool GetCanModify() const override;
    const std::string& GetIndexName() const { return indexName_; }
    void SetIndexName(const std::string& v);
    TIndexDefs& IndexDefs() { return indexDefs_; }
    void GetIndexNames(std::vector<std::string>& out);
    // Adds a tag to the table's production index: fields names the key field (with
    // ixExpression, fields is the key expression); a ".MDX" after the name is ignored.
    // Needs an exclusive open, or a closed table (opened exclusively for the change).
    void AddIndex(const std::string& name, const std::string& fields, TIndexOptions options);
    void DeleteIndex(const std::string& name);

    // Key searches on the current index: SetKey/EditKey enter dsSetKey, where field values go
    // into the key buffer; GotoKey/GotoNearest seek it. FindKey/FindNearest set and seek at once.
    void SetKey();
    void EditKey();
    bool GotoKey();
    void GotoNearest();
    bool FindKey(const std::vector<Variant>& values);
    void FindNearest(const std::vector<Variant>& values);
    // Ranges on the current index (dropped when the index changes).
    void SetRangeStart();
    void SetRangeEnd();
    void EditRangeStart();
    void EditRangeEnd();
    void ApplyRange();
    void CancelRange();
    void SetRange(const std::vector<Variant>& low, const std::vector<Variant>& high);
    bool GetFieldData(TField* field, Variant& value) override;
    void SetFieldData(TField* field, const Variant& value) override;
    // The full path of the table file (existing case when found).
    std::string TableFileName() const;

    void CreateTable();
    void DeleteTable();
    void EmptyTable();
    bool Exists() const;
    void FlushBuffers() {}

protected:
    std::unique_ptr<TDataCursor> CreateCursor() override;
    void CheckClosedFilter(const std::string& text, TFilterOptions options) override;
    void InternalInitFieldDefs() override;
    void InternalOpen() override;
    bool HasRecordCondition() const override;
    bool RecordCondition() override;
    // A new detail record takes the master's key values.
    void DoOnNewRecord() override;
    void InternalCancel() override;

private:
    void CaptureMasterValues();
    // Names the tag to order by ("" natural): IndexName, or the tag keyed on IndexFieldNames.
    std::string WantedOrder();
    // Applies WantedOrder to the open cursor keeping the current record, then resyncs.
    void ApplyOrder();
    // The fields of the current index's key (plain fields of an expression "A+B").
    std::vector<std::string> OrderFields() const;
    void ApplyMaster();
    std::vector<std::string> DetailFieldNames() const;
    bool masterRange_ = false;
    std::vector<Variant> KeyValues(const std::vector<Variant>& buffer) const;
    void Seeked(int result);
    void EnterKeyState(std::vector<Variant>& buffer, bool clear);
    // Key buffers by field index; which one dsSetKey writes into.
    std::vector<Variant> keyBuffer_, rangeLow_, rangeHigh_;
    std::vector<Variant>* editKey_ = nullptr;
    std::vector<Variant> savedKey_;  // the buffer as it was when dsSetKey began (Cancel)
    bool rangeApplied_ = false;
    std::string tableName_, indexName_, masterFields_, indexFieldNames_;
    TOwned<TTableMasterLink> masterLink_;
    std::vector<Variant> masterValues_;
    std::vector<TField*> detailFields_;
    bool restricted_ = false;
    TTableType tableType_ = ttDefault;
    bool exclusive_ = false;
    TIndexDefs indexDefs_{this};
};

// A cursor over a dBase table of the engine, in natural order.
std::unique_ptr<TDataCursor> OpenDbfCursor(const std::string& path, bool readOnly, bool exclusive);

}  // namespace vcl
