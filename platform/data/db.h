// Datasets, fields, data sources and data links: the data-access layer that data-aware
// controls talk to. A dataset keeps a window of record buffers (as many as the largest
// attached link asks for); the buffered position is kept apart from the cursor's own position
// and brought together by UpdateCursorPos, CursorPosChanged and Resync.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "classes/component.h"
#include "rtl/datetime.h"
#include "rtl/events.h"
#include "rtl/exceptions.h"
#include "rtl/tset.h"

namespace vcl {

// ---- values ----
// A field value: null, Boolean, integer, floating point (dates are TDateTime) or text.
using Variant = std::variant<std::monostate, bool, int64_t, double, std::string>;
inline bool VarIsNull(const Variant& v) { return std::holds_alternative<std::monostate>(v); }
std::string VarToStr(const Variant& v);
bool VarEquals(const Variant& a, const Variant& b, bool caseInsensitive = false);

[[noreturn]] void DatabaseError(const std::string& message);

// ---- enumerations (stored ordinals) ----
DBV_ENUM(TDataSetState, dsInactive, dsBrowse, dsEdit, dsInsert, dsSetKey, dsCalcFields, dsUpdateNew,
         dsUpdateOld, dsFilter);
DBV_ENUM(TFieldType, ftUnknown, ftString, ftSmallint, ftInteger, ftWord, ftBoolean, ftFloat, ftCurrency,
         ftBCD, ftDate, ftTime, ftDateTime, ftBytes, ftVarBytes, ftAutoInc, ftBlob, ftMemo, ftGraphic,
         ftFmtMemo, ftParadoxOle, ftDBaseOle, ftTypedBinary, ftCursor);
DBV_ENUM(TFieldKind, fkData, fkCalculated, fkLookup);
DBV_ENUM(TDataEvent, deFieldChange, deRecordChange, deDataSetChange, deDataSetScroll, deLayoutChange,
         deUpdateRecord, deUpdateState, deCheckBrowseMode, dePropertyChange, deFieldListChange,
         deFocusControl);
DBV_ENUM(TGetMode, gmCurrent, gmNext, gmPrior);
DBV_ENUM(TGetResult, grOK, grBOF, grEOF, grError);
DBV_ENUM(TBookmarkFlag, bfCurrent, bfBOF, bfEOF, bfInserted);
DBV_ENUM(TLocateOption, loCaseInsensitive, loPartialKey);
using TLocateOptions = TSet<TLocateOption>;
DBV_ENUM(TFilterOption, foCaseInsensitive, foNoPartialCompare);
using TFilterOptions = TSet<TFilterOption>;
DBV_ENUM(TResyncMode, rmExact, rmCenter);
using TResyncModes = TSet<TResyncMode>;
DBV_ENUM(TBlobStreamMode, bmRead, bmWrite, bmReadWrite);
DBV_ENUM(TDataAction, daFail, daAbort, daRetry);
DBV_ENUM(TIndexOption, ixPrimary, ixUnique, ixDescending, ixCaseInsensitive, ixExpression);
using TIndexOptions = TSet<TIndexOption>;

const char* FieldTypeName(TFieldType t);  // "String", "Integer", ...

class TDataSet;
class TDataSource;
class TDataLink;
class TField;
class TFields;

using TBookmark = std::string;  // opaque bytes; empty = none
using TRecordBuffer = char*;

using TDataSetNotifyEvent = std::function<void(TDataSet* DataSet)>;
using TFilterRecordEvent = std::function<void(TDataSet* DataSet, bool& Accept)>;
using TDataSetErrorEvent = std::function<void(TDataSet* DataSet, EDatabaseError& E, TDataAction& Action)>;
using TFieldNotifyEvent = std::function<void(TField* Sender)>;
using TFieldGetTextEvent = std::function<void(TField* Sender, std::string& Text, bool DisplayText)>;
using TFieldSetTextEvent = std::function<void(TField* Sender, const std::string& Text)>;
using TDataChangeEvent = std::function<void(TObject* Sender, TField* Field)>;

// ---- a byte stream over a blob field ----
class TBlobStream {
public:
    TBlobStream(TField* field, TBlobStreamMode mode);
    ~TBlobStream();
    TBlobStream(const TBlobStream&) = delete;
    TBlobStream& operator=(const TBlobStream&) = delete;
    int64_t Size() const { return int64_t(data_.size()); }
    int64_t Position() const { return pos_; }
    void Seek(int64_t pos) { pos_ = pos < 0 ? 0 : pos; }
    int Read(void* buffer, int count);
    int Write(const void* buffer, int count);
    void Truncate() { data_.resize(size_t(pos_)); modified_ = true; }

private:
    TField* field_;
    TBlobStreamMode mode_;
    std::string data_;
    int64_t pos_ = 0;
    bool modified_ = false;
};

// ---- fields ----
class TField : public TComponent {
    DBV_CLASS(TField, TComponent)
public:
    explicit TField(TComponent* AOwner);
    ~TField() override;
    void BeforeDestruction() override;
    void Notification(TComponent* AComponent, TOperation Operation) override;

    TDataSet* GetDataSet() const { return dataSet_; }
    void SetDataSet(TDataSet* ds);
    const std::string& GetFieldName() const { return fieldName_; }
    void SetFieldName(const std::string& v);
    int GetFieldNo() const { return fieldNo_; }
    TFieldType GetDataType() const { return dataType_; }
    int GetSize() const { return size_; }
    void SetSize(int v);
    virtual int GetDataSize() const { return size_; }
    std::string GetDisplayLabel() const { return displayLabel_.empty() ? fieldName_ : displayLabel_; }
    void SetDisplayLabel(const std::string& v);
    std::string GetDisplayName() const { return GetDisplayLabel(); }
    int GetDisplayWidth() const;
    void SetDisplayWidth(int v);
    const std::string& GetEditMask() const { return editMask_; }
    void SetEditMask(const std::string& v) { editMask_ = v; }
    TAlignment GetAlignment() const { return alignment_; }
    void SetAlignment(TAlignment v);
    bool GetVisible() const { return visible_; }
    void SetVisible(bool v);
    bool GetReadOnly() const { return readOnly_; }
    void SetReadOnly(bool v) { readOnly_ = v; }
    bool GetRequired() const { return required_; }
    void SetRequired(bool v) { required_ = v; }
    int GetIndex() const;
    void SetIndex(int v);
    TFieldKind GetFieldKind() const { return fieldKind_; }
    void SetFieldKind(TFieldKind v);
    bool GetCalculated() const { return fieldKind_ == fkCalculated; }
    bool GetLookup() const { return fieldKind_ == fkLookup; }
    const std::string& GetKeyFields() const { return keyFields_; }
    void SetKeyFields(const std::string& v) { keyFields_ = v; }
    TDataSet* GetLookupDataSet() const { return lookupDataSet_; }
    void SetLookupDataSet(TDataSet* v);
    const std::string& GetLookupKeyFields() const { return lookupKeyFields_; }
    void SetLookupKeyFields(const std::string& v) { lookupKeyFields_ = v; }
    const std::string& GetLookupResultField() const { return lookupResultField_; }
    void SetLookupResultField(const std::string& v) { lookupResultField_ = v; }
    virtual bool IsBlob() const { return false; }
    bool GetCanModify() const;
    bool IsIndexField() const { return false; }
    void FocusControl();
    void Clear() { SetValue(Variant{}); }

    bool IsNull() const;
    // The stored value (null when empty); the As* accessors convert from it.
    Variant GetValue() const;
    void SetValue(const Variant& v);
    virtual std::string GetAsString() const;
    virtual void SetAsString(const std::string& v);
    virtual int GetAsInteger() const;
    virtual void SetAsInteger(int v);
    virtual double GetAsFloat() const;
    virtual void SetAsFloat(double v);
    virtual bool GetAsBoolean() const;
    virtual void SetAsBoolean(bool v);
    virtual TDateTime GetAsDateTime() const;
    virtual void SetAsDateTime(TDateTime v);
    std::string GetText() const;  // the edit text
    void SetText(const std::string& v);
    std::string GetDisplayText() const;
    std::string GetEditText() const { return GetText(); }
    virtual bool IsValidChar(char c) const;

    TFieldGetTextEvent OnGetText;
    TFieldSetTextEvent OnSetText;
    TFieldNotifyEvent OnValidate;
    TFieldNotifyEvent OnChange;

    // The value as read from a buffer; false when null.
    bool GetData(Variant& out) const;
    void SetData(const Variant& v);
    // Called by the dataset after a value of this field changed.
    void Change();
    void Validate();
    // Converts and checks a value for this field's type (the dataset stores it).
    virtual Variant Normalize(const Variant& v) const { return v; }
    int FieldNoInternal() const { return fieldNo_; }
    void SetFieldNoInternal(int n) { fieldNo_ = n; }
    int CalcIndex() const { return calcIndex_; }
    void SetCalcIndex(int i) { calcIndex_ = i; }

protected:
    void SetDataType(TFieldType t) { dataType_ = t; }
    [[noreturn]] void AccessError(const char* typeName) const;
    virtual std::string GetTextOf(bool display) const;
    virtual void SetTextOf(const std::string& text) { SetAsString(text); }
    virtual int DefaultWidth() const { return size_ > 0 ? size_ : 10; }
    void PropertyChanged(bool layout);

private:
    TDataSet* dataSet_ = nullptr;
    std::string fieldName_, displayLabel_, editMask_;
    std::string keyFields_, lookupKeyFields_, lookupResultField_;
    TDataSet* lookupDataSet_ = nullptr;
    int fieldNo_ = 0, size_ = 0, displayWidth_ = 0, calcIndex_ = -1;
    TFieldType dataType_ = ftUnknown;
    TAlignment alignment_ = taLeftJustify;
    TFieldKind fieldKind_ = fkData;
    bool visible_ = true, readOnly_ = false, required_ = false;
    friend class TDataSet;
};

class TStringField : public TField {
    DBV_CLASS(TStringField, TField)
public:
    explicit TStringField(TComponent* AOwner);
    std::string GetAsString() const override;
    void SetAsString(const std::string& v) override { SetValue(v.empty() ? Variant{} : Variant{v}); }
    int GetAsInteger() const override;
    void SetAsInteger(int v) override { SetAsString(std::to_string(v)); }
    double GetAsFloat() const override;
    void SetAsFloat(double v) override;
    bool GetAsBoolean() const override;
    void SetAsBoolean(bool v) override { SetAsString(v ? "T" : "F"); }
    TDateTime GetAsDateTime() const override;
    void SetAsDateTime(TDateTime v) override;
    Variant Normalize(const Variant& v) const override;

protected:
    int DefaultWidth() const override { return GetSize(); }
};

class TNumericField : public TField {
    DBV_CLASS(TNumericField, TField)
public:
    explicit TNumericField(TComponent* AOwner);
    const std::string& GetDisplayFormat() const { return displayFormat_; }
    void SetDisplayFormat(const std::string& v);
    const std::string& GetEditFormat() const { return editFormat_; }
    void SetEditFormat(const std::string& v);
    bool IsValidChar(char c) const override;

protected:
    // DisplayFormat for the display text; EditFormat (or DisplayFormat when it is empty) for
    // the edit text.
    std::string GetTextOf(bool display) const override;
    std::string displayFormat_, editFormat_;
};

class TIntegerField : public TNumericField {
    DBV_CLASS(TIntegerField, TNumericField)
public:
    explicit TIntegerField(TComponent* AOwner);
    std::string GetAsString() const override;
    void SetAsString(const std::string& v) override;
    int GetAsInteger() const override;
    void SetAsInteger(int v) override { SetValue(int64_t(v)); }
    double GetAsFloat() const override { return GetAsInteger(); }
    void SetAsFloat(double v) override;
    Variant Normalize(const Variant& v) const override;
    int64_t GetMinValue() const { return min_; }
    int64_t GetMaxValue() const { return max_; }
    void SetMinValue(int64_t v) { min_ = v; }
    void SetMaxValue(int64_t v) { max_ = v; }

protected:
    int DefaultWidth() const override { return 11; }
    int64_t min_ = 0, max_ = 0;  // both 0 = the type's own range
    int64_t typeMin_ = INT32_MIN, typeMax_ = INT32_MAX;
};

class TSmallintField : public TIntegerField {
    DBV_CLASS(TSmallintField, TIntegerField)
public:
    explicit TSmallintField(TComponent* AOwner);

protected:
    int DefaultWidth() const override { return 6; }
};

class TWordField : public TIntegerField {
    DBV_CLASS(TWordField, TIntegerField)
public:
    explicit TWordField(TComponent* AOwner);

protected:
    int DefaultWidth() const override { return 6; }
};

class TAutoIncField : public TIntegerField {
    DBV_CLASS(TAutoIncField, TIntegerField)
public:
    explicit TAutoIncField(TComponent* AOwner);
};

class TFloatField : public TNumericField {
    DBV_CLASS(TFloatField, TNumericField)
public:
    explicit TFloatField(TComponent* AOwner);
    std::string GetAsString() const override;
    void SetAsString(const std::string& v) override;
    int GetAsInteger() const override;
    void SetAsInteger(int v) override { SetAsFloat(v); }
    double GetAsFloat() const override;
    void SetAsFloat(double v) override;
    Variant Normalize(const Variant& v) const override;
    bool GetCurrency() const { return currency_; }
    void SetCurrency(bool v) { currency_ = v; }
    int GetPrecision() const { return precision_; }
    void SetPrecision(int v) { precision_ = v; }

protected:
    std::string GetTextOf(bool display) const override;
    int DefaultWidth() const override { return 10; }
    bool currency_ = false;
    int precision_ = 15;
};

class TCurrencyField : public TFloatField {
    DBV_CLASS(TCurrencyField, TFloatField)
public:
    explicit TCurrencyField(TComponent* AOwner);
};

class TBCDField : public TFloatField {
    DBV_CLASS(TBCDField, TFloatField)
public:
    explicit TBCDField(TComponent* AOwner);
};

class TBooleanField : public TField {
    DBV_CLASS(TBooleanField, TField)
public:
    explicit TBooleanField(TComponent* AOwner);
    std::string GetAsString() const override;
    void SetAsString(const std::string& v) override;
    bool GetAsBoolean() const override;
    void SetAsBoolean(bool v) override { SetValue(v); }
    Variant Normalize(const Variant& v) const override;
    const std::string& GetDisplayValues() const { return displayValues_; }
    void SetDisplayValues(const std::string& v);

protected:
    int DefaultWidth() const override { return 5; }

private:
    std::string displayValues_, trueText_ = "True", falseText_ = "False";
};

class TDateTimeField : public TField {
    DBV_CLASS(TDateTimeField, TField)
public:
    explicit TDateTimeField(TComponent* AOwner);
    std::string GetAsString() const override;
    void SetAsString(const std::string& v) override;
    TDateTime GetAsDateTime() const override;
    void SetAsDateTime(TDateTime v) override;
    double GetAsFloat() const override { return GetAsDateTime(); }
    void SetAsFloat(double v) override { SetAsDateTime(v); }
    Variant Normalize(const Variant& v) const override;
    const std::string& GetDisplayFormat() const { return displayFormat_; }
    void SetDisplayFormat(const std::string& v);

protected:
    std::string GetTextOf(bool display) const override;
    int DefaultWidth() const override { return 18; }
    std::string displayFormat_;
};

class TDateField : public TDateTimeField {
    DBV_CLASS(TDateField, TDateTimeField)
public:
    explicit TDateField(TComponent* AOwner);

protected:
    int DefaultWidth() const override { return 10; }
};

class TTimeField : public TDateTimeField {
    DBV_CLASS(TTimeField, TDateTimeField)
public:
    explicit TTimeField(TComponent* AOwner);

protected:
    int DefaultWidth() const override { return 10; }
};

class TBytesField : public TField {
    DBV_CLASS(TBytesField, TField)
public:
    explicit TBytesField(TComponent* AOwner);
};

class TVarBytesField : public TBytesField {
    DBV_CLASS(TVarBytesField, TBytesField)
public:
    explicit TVarBytesField(TComponent* AOwner);
};

class TBlobField : public TField {
    DBV_CLASS(TBlobField, TField)
public:
    explicit TBlobField(TComponent* AOwner);
    bool IsBlob() const override { return true; }
    std::string GetAsString() const override;
    void SetAsString(const std::string& v) override;
    void SetBlobType(TFieldType t) { SetDataType(t); }

protected:
    std::string GetTextOf(bool display) const override;
};

class TMemoField : public TBlobField {
    DBV_CLASS(TMemoField, TBlobField)
public:
    explicit TMemoField(TComponent* AOwner);
};

class TGraphicField : public TBlobField {
    DBV_CLASS(TGraphicField, TBlobField)
public:
    explicit TGraphicField(TComponent* AOwner);
};

// The field class for a type (TBlobField serves the other blob kinds; ftUnknown and ftCursor
// have none and answer null).
const TClassInfo* FieldClassOf(TFieldType t);

// The dataset's fields in field order.
class TFields {
public:
    explicit TFields(TDataSet* ds) : dataSet_(ds) {}
    int Count() const { return int(list_.size()); }
    TField* operator[](int i) const { return list_.at(size_t(i)); }
    TField* Fields(int i) const { return list_.at(size_t(i)); }
    TField* FindField(std::string_view name) const;
    TField* FieldByName(std::string_view name) const;
    TField* FieldByNumber(int fieldNo) const;
    int IndexOf(const TField* f) const;
    void Add(TField* f);
    void Remove(TField* f);
    void Move(int from, int to);
    void Clear() { list_.clear(); }
    const std::vector<TField*>& List() const { return list_; }

private:
    TDataSet* dataSet_;
    std::vector<TField*> list_;
};

// ---- field and index definitions ----
class TFieldDef {
public:
    std::string Name;
    TFieldType DataType = ftUnknown;
    int Size = 0;
    int Precision = 0;
    bool Required = false;
    int FieldNo = 0;
    const TClassInfo* FieldClass() const { return FieldClassOf(DataType); }
    // Builds the field component for this definition, owned by owner and added to the dataset.
    TField* CreateField(TComponent* owner, TDataSet* dataSet) const;
};

class TFieldDefs {
public:
    int Count() const { return int(items_.size()); }
    TFieldDef& operator[](int i) { return items_.at(size_t(i)); }
    const TFieldDef& operator[](int i) const { return items_.at(size_t(i)); }
    TFieldDef& Items(int i) { return items_.at(size_t(i)); }
    void Add(const std::string& name, TFieldType type, int size = 0, bool required = false);
    void Clear() { items_.clear(); }
    int IndexOf(std::string_view name) const;
    TFieldDef* Find(std::string_view name);  // raises "Field 'X' not found"
    bool GetUpdated() const { return updated_; }
    void SetUpdated(bool v) { updated_ = v; }

private:
    std::vector<TFieldDef> items_;
    bool updated_ = false;
};

class TIndexDef {
public:
    std::string Name;
    std::string Fields;      // ";"-separated
    std::string Expression;  // for an expression index
    TIndexOptions Options;
};

class TIndexDefs {
public:
    explicit TIndexDefs(TDataSet* ds = nullptr) : dataSet_(ds) {}
    // The dataset's reader of its index definitions (a table sets it); none = no indexes.
    std::function<void(TIndexDefs&)> Reader;
    int Count() const { return int(items_.size()); }
    TIndexDef& operator[](int i) { return items_.at(size_t(i)); }
    const TIndexDef& Items(int i) const { return items_.at(size_t(i)); }
    void Add(const std::string& name, const std::string& fields, TIndexOptions options);
    void Clear() { items_.clear(); }
    int IndexOf(std::string_view name) const;
    TIndexDef* FindIndexForFields(std::string_view fields);
    // Reads the definitions again from the dataset (for a table: its index files).
    void Update();
    bool GetUpdated() const { return updated_; }
    void SetUpdated(bool v) { updated_ = v; }

private:
    TDataSet* dataSet_;
    std::vector<TIndexDef> items_;
    bool updated_ = false;
};

// ---- the dataset ----
class TDataSet : public TComponent {
    DBV_CLASS(TDataSet, TComponent)
public:
    explicit TDataSet(TComponent* AOwner);
    ~TDataSet() override;
    void BeforeDestruction() override;

    // Opening and closing
    bool GetActive() const { return state_ != dsInactive || opening_; }
    void SetActive(bool v);
    void Open() { SetActive(true); }
    void Close() { SetActive(false); }
    TDataSetState GetState() const { return state_; }

    // Navigation
    void First();
    void Last();
    void Next() { MoveBy(1); }
    void Prior() { MoveBy(-1); }
    int MoveBy(int distance);
    bool GetBOF() const { return bof_; }
    bool GetEOF() const { return eof_; }
    virtual int GetRecNo() const { return -1; }
    virtual void SetRecNo(int) {}
    virtual int GetRecordCount() const { return -1; }
    bool IsEmpty() const;

    // Editing
    void Edit();
    void Insert();
    void Append();
    void Post();
    void Cancel();
    void Delete();
    void CheckBrowseMode();
    void UpdateRecord();
    bool GetModified() const { return modified_; }
    void SetModified(bool v) { modified_ = v; }
    virtual bool GetCanModify() const { return !readOnly_; }
    bool GetReadOnly() const { return readOnly_; }
    void SetReadOnly(bool v);

    // Buffers and the cursor
    void Refresh();
    void Resync(TResyncModes mode);
    void UpdateCursorPos();
    void CursorPosChanged() { currentRecord_ = -1; }
    TRecordBuffer ActiveBuffer() const;
    int GetActiveRecord() const { return activeRecord_; }
    int GetBufferCount() const { return bufferCount_; }
    int BufferedRecordCount() const { return recordCount_; }
    int GetRecordSize() const { return GetRecordSizeValue(); }
    bool GetCurrentRecord(char* buffer);
    void DisableControls();
    void EnableControls();
    bool ControlsDisabled() const { return disableCount_ > 0; }

    // Bookmarks
    TBookmark GetBookmark();
    void GotoBookmark(const TBookmark& bookmark);
    void SetBookmark(const TBookmark& bookmark) { GotoBookmark(bookmark); }
    void FreeBookmark(TBookmark& bookmark) { bookmark.clear(); }
    virtual bool BookmarkValid(const TBookmark& bookmark);
    virtual int CompareBookmarks(const TBookmark& a, const TBookmark& b);

    // Searching
    bool Locate(const std::string& keyFields, const std::vector<Variant>& keyValues, TLocateOptions options);
    bool Locate(const std::string& keyField, const Variant& keyValue, TLocateOptions options) {
        return Locate(keyField, std::vector<Variant>{keyValue}, options);
    }
    Variant Lookup(const std::string& keyFields, const std::vector<Variant>& keyValues,
                   const std::string& resultFields);
    bool GetFound() const { return found_; }

    // Fields
    TFields& Fields() { return fields_; }
    const TFields& Fields() const { return fields_; }
    int GetFieldCount() const { return fields_.Count(); }
    TField* FindField(std::string_view name) const { return fields_.FindField(name); }
    TField* FieldByName(std::string_view name) const { return fields_.FieldByName(name); }
    Variant GetFieldValues(std::string_view names) const;
    void SetFieldValues(std::string_view names, const Variant& v);
    void GetFieldNames(std::vector<std::string>& out);
    TFieldDefs& FieldDefs() { return fieldDefs_; }
    bool GetDefaultFields() const { return defaultFields_; }
    std::unique_ptr<TBlobStream> CreateBlobStream(TField* field, TBlobStreamMode mode);

    // Filters
    const std::string& GetFilter() const { return filterText_; }
    virtual void SetFilter(const std::string& text);
    bool GetFiltered() const { return filtered_; }
    virtual void SetFiltered(bool v);
    TFilterOptions GetFilterOptions() const { return filterOptions_; }
    virtual void SetFilterOptions(TFilterOptions v);

    // Data sources and links
    int DataSourceCount() const { return int(dataSources_.size()); }
    TDataSource* DataSources(int i) const { return dataSources_.at(size_t(i)); }
    void DataEvent(TDataEvent event, intptr_t info);

    TDataSetNotifyEvent BeforeOpen, AfterOpen, BeforeClose, AfterClose, BeforeInsert, AfterInsert,
        BeforeEdit, AfterEdit, BeforePost, AfterPost, BeforeCancel, AfterCancel, BeforeDelete,
        AfterDelete, BeforeScroll, AfterScroll, OnNewRecord, OnCalcFields;
    TFilterRecordEvent OnFilterRecord;
    TDataSetErrorEvent OnPostError, OnEditError, OnDeleteError;

    // Used by fields: the buffer values are read from in the current state, and the value access.
    virtual bool GetFieldData(TField* field, Variant& value);
    virtual void SetFieldData(TField* field, const Variant& value);
    // Used by links and data sources.
    void SetActiveRecordInternal(int i);
    void UpdateBufferCount();
    void AddDataSource(TDataSource* ds);
    void RemoveDataSource(TDataSource* ds);
    void AddField(TField* f);
    void RemoveField(TField* f);
    void CheckActive() const;
    void CheckInactive() const;

protected:
    // ---- the steps a concrete dataset supplies ----
    virtual void InternalOpen() = 0;
    virtual void InternalClose() = 0;
    virtual bool IsCursorOpen() const = 0;
    virtual void InternalHandleException() {}
    virtual void InternalInitFieldDefs() = 0;
    virtual void InternalFirst() = 0;  // to the beginning crack
    virtual void InternalLast() = 0;   // to the end crack
    virtual TGetResult GetRecord(TRecordBuffer buffer, TGetMode mode, bool doCheck) = 0;
    virtual void InternalInitRecord(TRecordBuffer buffer) = 0;
    virtual void InternalPost() = 0;
    virtual void InternalDelete() = 0;
    virtual void InternalCancel() {}
    virtual void InternalEdit() {}
    virtual void InternalInsert() {}
    virtual void InternalRefresh() {}
    virtual void InternalSetToRecord(TRecordBuffer buffer) = 0;
    virtual void InternalGotoBookmark(const TBookmark& bookmark) = 0;
    virtual TBookmark GetBookmarkData(TRecordBuffer buffer) const = 0;
    virtual void SetBookmarkData(TRecordBuffer buffer, const TBookmark& data) = 0;
    virtual TBookmarkFlag GetBookmarkFlag(TRecordBuffer buffer) const = 0;
    virtual void SetBookmarkFlag(TRecordBuffer buffer, TBookmarkFlag flag) = 0;
    virtual int GetRecordSizeValue() const = 0;  // the raw record bytes at the start of a buffer
    virtual int GetBufferSize() const { return GetRecordSizeValue(); }
    virtual TRecordBuffer AllocRecordBuffer();
    virtual void FreeRecordBuffer(TRecordBuffer& buffer);
    virtual void ClearCalcFields(TRecordBuffer) {}
    virtual void GetBlobData(TField* field, std::string& out);
    virtual void SetBlobData(TField* field, const std::string& data);
    virtual void DataEventHook(TDataEvent, intptr_t) {}
    virtual void FilterChanged() {}
    // ---- the platform's own steps ----
    virtual void CreateFields();
    virtual void DoOnNewRecord();
    void InitRecord(TRecordBuffer buffer);
    void GetCalcFields(int slot);
    virtual void CalculateFields(int slot);
    void SetState(TDataSetState v);
    TDataSetState SetTempState(TDataSetState v);
    void RestoreState(TDataSetState v);
    void ClearBuffers();
    void CheckRequiredFields();
    bool HasCalcFields() const { return calcFieldCount_ > 0; }
    TRecordBuffer Buffers(int i) const { return slots_[size_t(i)]->Data; }
    // The raw buffer for state-dependent reads (filter records, calculation, the active record).
    TRecordBuffer GetActiveRecBuf() const;
    Variant* CalcSlotValue(TField* field);
    void SetFilterBuffer(TRecordBuffer b) { filterBuffer_ = b; }
    TRecordBuffer FilterBuffer() const { return filterBuffer_; }
    bool FindRecordWhere(const std::function<bool()>& matches);

    bool readOnly_ = false;

private:
    struct TSlot {
        TRecordBuffer Data = nullptr;
        std::vector<Variant> Calc;
    };
    void OpenCursorAndBuffers();
    void CloseAll();
    void SetBufferCount(int n);
    void ShiftLinks(int by);
    bool GetNextRecord();
    bool GetPriorRecord();
    int GetNextRecords();
    int GetPriorRecords();
    void SetCurrentRecord(int index);
    void MoveBuffer(int from, int to);
    void ActivateBuffers();
    void BeginInsertAppend();
    void EndInsertAppend();
    void CheckOperation(void (TDataSet::*op)(), const TDataSetErrorEvent& handler);
    void FreeFieldBuffers() {}
    void NotifySources(TDataEvent event, intptr_t info);
    void Do(const TDataSetNotifyEvent& e) { if (e) e(this); }
    void DestroyDefaultFields();

    TDataSetState state_ = dsInactive, disableState_ = dsInactive;
    TDataEvent enableEvent_ = deDataSetChange;
    std::vector<TSlot*> slots_;  // bufferCount_ + 1 entries while open (owned; raw so rotating is a memmove)
    int bufferCount_ = 0, recordCount_ = 0, activeRecord_ = 0, currentRecord_ = -1;
    int disableCount_ = 0, calcFieldCount_ = 0;
    bool bof_ = true, eof_ = true, modified_ = false, found_ = false, defaultFields_ = false;
    bool opening_ = false;
    TRecordBuffer calcBuffer_ = nullptr, filterBuffer_ = nullptr;
    int calcSlot_ = -1;
    std::vector<TDataSource*> dataSources_;
    TFields fields_{this};
    TFieldDefs fieldDefs_;
    std::string filterText_;
    bool filtered_ = false;
    TFilterOptions filterOptions_;
    friend class TField;
    friend class TDataLink;
};

// ---- data sources and links ----
class TDataSource : public TComponent {
    DBV_CLASS(TDataSource, TComponent)
public:
    explicit TDataSource(TComponent* AOwner);
    ~TDataSource() override;
    void BeforeDestruction() override;

    TDataSet* GetDataSet() const { return dataSet_; }
    void SetDataSet(TDataSet* ds);
    bool GetEnabled() const { return enabled_; }
    void SetEnabled(bool v);
    bool GetAutoEdit() const { return autoEdit_; }
    void SetAutoEdit(bool v) { autoEdit_ = v; }
    TDataSetState GetState() const { return state_; }
    void Edit();
    bool IsLinkedTo(TDataSet* ds) const;
    int LinkCount() const { return int(links_.size()); }
    const std::vector<TDataLink*>& Links() const { return links_; }

    TNotifyEvent OnStateChange;
    TDataChangeEvent OnDataChange;
    TNotifyEvent OnUpdateData;

    // Used by the dataset and the links.
    void DataEvent(TDataEvent event, intptr_t info);
    void AddLink(TDataLink* link);
    void RemoveLink(TDataLink* link);
    void Notification(TComponent* AComponent, TOperation Operation) override;
    int MaxBufferCount() const;

private:
    void UpdateState();
    TDataSet* dataSet_ = nullptr;
    std::vector<TDataLink*> links_;
    TDataSetState state_ = dsInactive;
    bool enabled_ = true, autoEdit_ = true;
};

class TDataLink : public TPersistent {
    DBV_CLASS(TDataLink, TPersistent)
public:
    TDataLink();
    ~TDataLink() override;
    void BeforeDestruction() override;

    TDataSource* GetDataSource() const { return dataSource_; }
    void SetDataSource(TDataSource* ds);
    TDataSet* GetDataSet() const;
    bool GetActive() const { return active_; }
    bool GetEditing() const { return editing_; }
    int GetActiveRecord() const;
    void SetActiveRecord(int v);
    int GetBufferCount() const { return bufferCount_; }
    void SetBufferCount(int v);
    int GetRecordCount() const;
    bool GetReadOnly() const { return readOnly_; }
    void SetReadOnly(bool v);
    bool Edit();
    void UpdateRecord();
    int MoveBy(int distance);
    int FirstRecordInternal() const { return firstRecord_; }

    // Called by the data source.
    void DataEvent(TDataEvent event, intptr_t info);
    void UpdateState();

protected:
    virtual void ActiveChanged() {}
    virtual void CheckBrowseMode() {}
    virtual void DataSetChanged() { RecordChanged(nullptr); }
    virtual void DataSetScrolled(int /*distance*/) { DataSetChanged(); }
    virtual void FocusControl(TField** /*field*/) {}
    virtual void EditingChanged() {}
    virtual void LayoutChanged() { DataSetChanged(); }
    virtual void RecordChanged(TField* /*field*/) {}
    virtual void UpdateData() {}

private:
    void SetActive(bool v);
    void SetEditing(bool v);
    TDataSource* dataSource_ = nullptr;
    int bufferCount_ = 1, firstRecord_ = 0;
    bool active_ = false, editing_ = false, readOnly_ = false, updating_ = false;
    friend class TDataSource;
    friend class TDataSet;
};

class TFieldDataLink : public TDataLink {
    DBV_CLASS(TFieldDataLink, TDataLink)
public:
    TFieldDataLink() = default;
    // Focuses a link's control when a field asks for the focus (a required field left empty):
    // installed by the window system, which sits above this layer; answers whether the
    // control took the focus.
    using TFocusHook = std::function<bool(TComponent* Control)>;
    static void SetFocusHook(TFocusHook hook);
    const std::string& GetFieldName() const { return fieldName_; }
    void SetFieldName(const std::string& v);
    TField* GetField() const { return field_; }
    TComponent* GetControl() const { return control_; }
    void SetControl(TComponent* c) { control_ = c; }
    bool GetCanModify() const;
    bool Edit();
    bool GetModified() const { return modified_; }
    void Modified() { modified_ = true; }
    void Reset();

    TNotifyEvent OnDataChange;
    TNotifyEvent OnEditingChange;
    TNotifyEvent OnUpdateData;
    TNotifyEvent OnActiveChange;

protected:
    void ActiveChanged() override;
    void EditingChanged() override;
    void FocusControl(TField** field) override;
    void LayoutChanged() override;
    void RecordChanged(TField* field) override;
    void UpdateData() override;

private:
    void UpdateField();
    void SetField(TField* f);
    std::string fieldName_;
    TField* field_ = nullptr;
    TComponent* control_ = nullptr;
    bool modified_ = false, editing_ = false;
};

}  // namespace vcl
