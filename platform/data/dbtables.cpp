// Datasets over the table engine and the dBase cursor behind them.
#include "data/dbtables.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <cstring>
#include <unordered_map>

#include "bde/cursor.h"
#include "bde/dbftable.h"
#include "bde/expr.h"
#include "data/session.h"
#include "rtl/sysutils.h"

namespace vcl {

DBV_IMPLEMENT_CLASS(TBDEDataSet)
DBV_IMPLEMENT_CLASS(TDBDataSet)
DBV_PUBLISHED(TTable) {
    b.String("DatabaseName", &TTable::GetDatabaseName, &TTable::SetDatabaseName);
    b.String("TableName", &TTable::GetTableName, &TTable::SetTableName);
    b.Enum("TableType", &TTable::GetTableType, &TTable::SetTableType, ttDefault);
    b.Bool("Exclusive", &TTable::GetExclusive, &TTable::SetExclusive, false);
    b.Bool("ReadOnly", &TTable::GetReadOnly, &TTable::SetReadOnly, false);
    b.String("IndexName", &TTable::GetIndexName, &TTable::SetIndexName);
    b.String("Filter", &TTable::GetFilter, &TTable::SetFilter);
    b.Bool("Filtered", &TTable::GetFiltered, &TTable::SetFiltered, false);
}

// ---- handles ----

namespace {
struct THandleTable {
    std::unordered_map<int32_t, TDataCursor*> map;
    uint32_t next = 0x100;
};
THandleTable& Handles() {
    static THandleTable t;
    return t;
}
}  // namespace

int32_t TCursorHandles::Register(TDataCursor* cursor) {
    THandleTable& t = Handles();
    for (;;) {
        uint32_t h = t.next++;
        if (h > 0x7FFFFFFFu) {  // handles stay positive as signed 32-bit values
            t.next = 0x100;
            continue;
        }
        if ((h & 0xFFFFu) < 0x100u) {  // skip the low 16-bit values an engine work area uses
            t.next = (h & 0x7FFF0000u) | 0x100u;
            continue;
        }
        if (t.map.count(int32_t(h))) continue;
        t.map[int32_t(h)] = cursor;
        return int32_t(h);
    }
}
void TCursorHandles::Unregister(int32_t handle) { Handles().map.erase(handle); }
TDataCursor* TCursorHandles::Find(int32_t handle) {
    auto it = Handles().map.find(handle);
    return it == Handles().map.end() ? nullptr : it->second;
}

void TDataCursor::GetIndexDefs(TIndexDefs& defs) { defs.Clear(); }
void TDataCursor::SetOrder(const std::string& name) {
    if (!name.empty()) DatabaseError("Index '" + name + "' not found");
}
void TDataCursor::AddIndex(const std::string&, const std::string&, TIndexOptions) {
    DatabaseError("This table has no indexes");
}
void TDataCursor::DeleteIndex(const std::string& name) { DatabaseError("Index '" + name + "' not found"); }
int TDataCursor::SeekKey(const std::vector<Variant>&, bool) { DatabaseError("No index is active"); }
void TDataCursor::SetKeyRange(const std::vector<Variant>&, const std::vector<Variant>&, bool) {
    DatabaseError("No index is active");
}

// ---- the dBase cursor ----

namespace {

TFieldType FieldTypeOf(const bde::TDbfFieldDesc& d) {
    switch (d.Kind) {
        case bde::TDbfFieldKind::Character: return ftString;
        case bde::TDbfFieldKind::Numeric:
            if (d.Decimals == 0 && d.Length < 5) return ftSmallint;
            if (d.Decimals == 0 && d.Length < 10) return ftInteger;
            return ftFloat;
        case bde::TDbfFieldKind::Float: return ftFloat;
        case bde::TDbfFieldKind::Date: return ftDate;
        case bde::TDbfFieldKind::Logical: return ftBoolean;
        case bde::TDbfFieldKind::Memo: return ftMemo;
        default: return ftBytes;
    }
}

class TDbfDataCursor : public TDataCursor {
public:
    TDbfDataCursor(std::shared_ptr<bde::TDbfTable> table)
        : table_(table), cursor_(table), scratch_(table), edit_(table) {
        handle_ = TCursorHandles::Register(this);
    }
    ~TDbfDataCursor() override { TCursorHandles::Unregister(handle_); }

    int32_t Handle() const override { return handle_; }
    int RecordSize() const override { return table_->RecordLength(); }

    void GetFieldDefs(TFieldDefs& defs) override {
        defs.Clear();
        for (const auto& d : table_->Fields()) {
            if (d.Hidden) continue;
            TFieldType t = FieldTypeOf(d);
            int size = t == ftString || t == ftBytes ? d.Length : 0;
            defs.Add(d.Name, t, size);
            TFieldDef& def = defs[defs.Count() - 1];
            def.FieldNo = table_->FieldIndex(d.Name) + 1;
            if (t == ftFloat) def.Precision = d.Length;
        }
    }

    void SetToBegin() override { cursor_.SetToBegin(); }
    void SetToEnd() override { cursor_.SetToEnd(); }

    int Next(char* record) override {
        int r = cursor_.Next();
        if (r == 0) Read(record);
        return r;
    }
    int Prior(char* record) override {
        int r = cursor_.Prior();
        if (r == 0) Read(record);
        return r;
    }
    int Current(char* record) override {
        if (!cursor_.OnRecord()) return cursor_.Bof() ? bde::DBIERR_BOF : bde::DBIERR_EOF;
        Read(record);
        if (record[0] == '*' && !cursor_.GetShowDeleted()) return bde::DBIERR_KEYORRECDELETED;
        if (test_ && !test_(record)) return bde::DBIERR_RECNOTFOUND;
        return 0;
    }
    uint32_t RecNo() const override { return cursor_.RecNo(); }
    int SetToRecNo(uint32_t recNo) override {
        if (!cursor_.GetOrder()) return cursor_.SetToRecordNo(recNo);
        // Under an order only a record the order shows counts (in its range, with a key in
        // the tag); otherwise the cursor stays where it was.
        bde::TDbfCursor saved = cursor_;
        int r = cursor_.SetToRecordNo(recNo);
        if (r == 0 && cursor_.GetKeyNumber() == 0) {
            cursor_ = saved;
            return bde::DBIERR_RECNOTFOUND;
        }
        return r;
    }
    uint32_t RecordCount(bool exact) override {
        if (cursor_.GetOrder()) {
            // An order shows its keys only (a range, a FOR condition, one per unique key).
            if (cursor_.GetShowDeleted() && !cursor_.Filtered()) return cursor_.GetKeyCount();
            bde::TDbfCursor walk = cursor_;
            walk.SetToBegin();
            uint32_t n = 0;
            while (walk.Next() == bde::DBIERR_NONE) ++n;
            return n;
        }
        return exact ? cursor_.ExactRecordCount() : cursor_.RecordCount();
    }
    bool GetShowDeleted() const override { return cursor_.GetShowDeleted(); }
    void SetShowDeleted(bool v) override { cursor_.SetShowDeleted(v); }

    std::shared_ptr<bde::TExpr> Compile(const std::string& text, TFilterOptions options) {
        bde::TExprOptions o;
        o.CaseInsensitive = options.Contains(foCaseInsensitive);
        o.PartialCompare = !options.Contains(foNoPartialCompare);
        o.BracketsAreNames = true;
        o.Exact = true;  // dataset filters compare whole texts; 'AB*' asks for a prefix
        std::shared_ptr<bde::TExpr> e = bde::TExpr::Compile(text, *table_, o);
        if (e->GetResultType().Type != bde::TExprType::Logical)
            throw bde::EExprError(1, "Type mismatch in filter expression: the result must be Logical");
        return e;
    }
    void CheckFilter(const std::string& text, TFilterOptions options) override {
        if (!Trim(text).empty()) Compile(text, options);
    }
    void SetFilter(const std::string& text, TFilterOptions options, TRecordTest extra) override {
        std::shared_ptr<bde::TExpr> e;
        if (!Trim(text).empty()) e = Compile(text, options);
        if (!e && !extra) {
            test_ = nullptr;
            cursor_.SetFilter({});
            return;
        }
        test_ = [e, extra](const char* rec) {
            // recNo is not known to the extra test; the expression gets the cursor's.
            if (e && !e->Matches(reinterpret_cast<const uint8_t*>(rec), 0)) return false;
            return !extra || extra(rec);
        };
        cursor_.SetFilter([e, extra](const uint8_t* rec, uint32_t recNo) {
            if (e && !e->Matches(rec, recNo)) return false;
            return !extra || extra(reinterpret_cast<const char*>(rec));
        });
    }

    bool GetField(int fieldNo, const char* record, Variant& value) override {
        const bde::TDbfRecord* src;
        if (editing_ && record == editBuffer_) {
            src = &edit_;
        } else {
            std::memcpy(scratch_.Data(), record, scratch_.Size());
            src = &scratch_;
        }
        int i = fieldNo - 1;
        const bde::TDbfFieldDesc& d = table_->Fields().at(size_t(i));
        value = Variant{};
        if (d.Kind == bde::TDbfFieldKind::Memo) {
            std::string s = src->GetMemo(i);
            if (!s.empty()) value = std::move(s);
            return !VarIsNull(value);
        }
        if (src->IsNull(i)) return false;
        switch (d.Kind) {
            case bde::TDbfFieldKind::Character: value = src->GetText(i); break;
            case bde::TDbfFieldKind::Numeric:
            case bde::TDbfFieldKind::Float: {
                auto n = src->GetNumber(i);
                if (!n) return false;
                TFieldType t = FieldTypeOf(d);
                if (t == ftSmallint || t == ftInteger) value = int64_t(std::llround(*n));
                else value = *n;
                break;
            }
            case bde::TDbfFieldKind::Date: {
                auto dt = src->GetDate(i);
                if (!dt) return false;
                value = double(EncodeDate(dt->Year, dt->Month, dt->Day));
                break;
            }
            case bde::TDbfFieldKind::Logical: {
                auto b = src->GetLogical(i);
                if (!b) return false;
                value = *b;
                break;
            }
            default: value = src->GetRaw(i); break;
        }
        return true;
    }

    void InitRecord(char* record) override {
        edit_ = bde::TDbfRecord(table_);
        edit_.MakeNew();
        std::memcpy(record, edit_.Data(), edit_.Size());
        editing_ = true;
        editBuffer_ = record;
    }
    void BeginEdit(char* record) override {
        if (!cursor_.OnRecord()) bde::RaiseError(bde::DBIERR_NOCURRREC, "No current record");
        edit_ = bde::TDbfRecord(table_);
        edit_.Load(cursor_.RecNo());
        std::memcpy(record, edit_.Data(), edit_.Size());
        editing_ = true;
        editBuffer_ = record;
    }
    void SetField(int fieldNo, const Variant& value, char* record) override {
        int i = fieldNo - 1;
        const bde::TDbfFieldDesc& d = table_->Fields().at(size_t(i));
        if (VarIsNull(value)) {
            if (d.Kind == bde::TDbfFieldKind::Memo) edit_.SetMemo(i, "");
            else edit_.SetNull(i);
        } else {
            switch (d.Kind) {
                case bde::TDbfFieldKind::Character: edit_.SetText(i, VarToStr(value)); break;
                case bde::TDbfFieldKind::Numeric:
                case bde::TDbfFieldKind::Float: {
                    double x = 0;
                    if (auto* n = std::get_if<int64_t>(&value)) x = double(*n);
                    else if (auto* f = std::get_if<double>(&value)) x = *f;
                    else if (auto* b = std::get_if<bool>(&value)) x = *b;
                    else x = StrToFloat(VarToStr(value));
                    edit_.SetNumber(i, x);
                    break;
                }
                case bde::TDbfFieldKind::Date: {
                    int y, m, dd;
                    DecodeDate(std::get<double>(value), y, m, dd);
                    edit_.SetDate(i, bde::TDbfDate{y, m, dd});
                    break;
                }
                case bde::TDbfFieldKind::Logical: edit_.SetLogical(i, std::get<bool>(value)); break;
                case bde::TDbfFieldKind::Memo: edit_.SetMemo(i, VarToStr(value)); break;
                default: bde::RaiseError(bde::DBIERR_NOTSUPPORTED, "Field '" + d.Name + "' cannot be written");
            }
        }
        std::memcpy(record, edit_.Data(), edit_.Size());
    }
    void Post(bool insert) override {
        if (insert) cursor_.Append(edit_);
        else cursor_.Modify(edit_);
        editing_ = false;
        editBuffer_ = nullptr;
    }
    void CancelEdit() override {
        editing_ = false;
        editBuffer_ = nullptr;
    }
    bool Editing() const override { return editing_; }
    void Delete() override { cursor_.Delete(); }
    void Refresh() override { cursor_.Refresh(); }
    void Empty() override {
        table_->Zap();
        cursor_.SetToBegin();
    }

    void GetIndexDefs(TIndexDefs& defs) override {
        defs.Clear();
        for (const auto& file : table_->IndexFiles())
            for (const auto& tag : file->Tags()) {
                const bde::TIndexTagDef& d = tag->GetDef();
                TIndexOptions o;
                if (d.Unique) o.Include(ixUnique);
                if (d.Descending) o.Include(ixDescending);
                // A key of one plain field names it; anything else is an expression key.
                std::string expr = Trim(d.Expression);
                int field = table_->FieldIndex(expr);
                if (field >= 0) {
                    defs.Add(d.Name, table_->Fields()[size_t(field)].Name, o);
                } else {
                    o.Include(ixExpression);
                    defs.Add(d.Name, d.Expression, o);
                }
            }
    }
    void SetOrder(const std::string& name) override {
        if (name.empty()) {
            cursor_.SetOrder(nullptr);
            return;
        }
        std::shared_ptr<bde::TIndexTag> tag = table_->FindTag(name);
        if (!tag) DatabaseError("Index '" + name + "' not found");
        cursor_.SetOrder(tag);
    }
    std::string GetOrder() const override { return cursor_.GetOrder() ? cursor_.GetOrder()->GetName() : std::string(); }
    void AddIndex(const std::string& name, const std::string& fields, TIndexOptions options) override {
        bde::TIndexTagDef d;
        d.Name = name;
        if (options.Contains(ixExpression)) {
            d.Expression = fields;
        } else {
            // Several fields make a key of their texts joined (Character fields only).
            std::vector<std::string> names = SplitFieldNames(fields);
            if (names.empty()) DatabaseError("Index '" + name + "' needs a field");
            for (size_t i = 0; i < names.size(); ++i) {
                if (table_->FieldIndex(names[i]) < 0) DatabaseError("Field '" + names[i] + "' not found");
                d.Expression += (i ? "+" : "") + names[i];
            }
        }
        d.Unique = options.Contains(ixUnique);
        d.Descending = options.Contains(ixDescending);
        table_->AddTag(d);
    }
    void DeleteIndex(const std::string& name) override {
        if (cursor_.GetOrder() && SameText(cursor_.GetOrder()->GetName(), name)) cursor_.SetOrder(nullptr);
        if (!table_->FindTag(name)) DatabaseError("Index '" + name + "' not found");
        table_->DropTag(name);
    }

    // The key bytes of values for the current tag. Character keys of several values pad every
    // value but the last to its field's length (keys of joined fields).
    std::string Key(const std::vector<Variant>& values, bool& partial) {
        const auto& tag = cursor_.GetOrder();
        if (!tag) DatabaseError("No index is active");
        partial = false;
        if (values.empty()) return {};
        switch (tag->GetKeyType()) {
            case bde::TKeyType::Character: {
                std::string text;
                std::vector<std::string> parts = SplitExpressionFields(tag->GetDef().Expression);
                for (size_t i = 0; i < values.size(); ++i) {
                    std::string v = VarIsNull(values[i]) ? std::string() : VarToStr(values[i]);
                    if (i + 1 < values.size()) {
                        int f = i < parts.size() ? table_->FieldIndex(parts[i]) : -1;
                        if (f < 0) DatabaseError("The index key has fewer fields than the values given");
                        v.resize(table_->Fields()[size_t(f)].Length, ' ');
                    }
                    text += v;
                }
                partial = true;
                return tag->EncodeText(text);
            }
            case bde::TKeyType::Numeric: {
                const Variant& v = values[0];
                double x = 0;
                if (auto* n = std::get_if<int64_t>(&v)) x = double(*n);
                else if (auto* f = std::get_if<double>(&v)) x = *f;
                else x = StrToFloat(VarToStr(v));
                char b[64];
                std::snprintf(b, sizeof b, "%.10g", x);
                return tag->EncodeText(b);
            }
            case bde::TKeyType::Date: {
                const Variant& v = values[0];
                if (auto* f = std::get_if<double>(&v)) {
                    int y, m, d;
                    DecodeDate(*f, y, m, d);
                    char b[16];
                    std::snprintf(b, sizeof b, "%04d%02d%02d", y, m, d);
                    return tag->EncodeText(b);
                }
                return tag->EncodeText(VarToStr(v));
            }
        }
        return {};
    }
    // The plain field names of a key expression "A+B+C" (empty entries for other terms).
    static std::vector<std::string> SplitExpressionFields(const std::string& expr) {
        std::vector<std::string> out;
        size_t start = 0;
        for (;;) {
            size_t p = expr.find('+', start);
            out.push_back(Trim(expr.substr(start, p == std::string::npos ? std::string::npos : p - start)));
            if (p == std::string::npos) break;
            start = p + 1;
        }
        return out;
    }
    int SeekKey(const std::vector<Variant>& values, bool nearest) override {
        bool partial;
        std::string key = Key(values, partial);
        if (nearest) return cursor_.Seek(key, bde::TDbfCursor::TSeekMode::Soft);
        const auto& tag = cursor_.GetOrder();
        // An exact Character key is the whole key, blank-padded.
        if (tag->GetKeyType() == bde::TKeyType::Character && int(key.size()) < tag->GetKeyLength())
            key.resize(size_t(tag->GetKeyLength()), ' ');
        return cursor_.Seek(key, bde::TDbfCursor::TSeekMode::Exact);
    }
    void SetKeyRange(const std::vector<Variant>& low, const std::vector<Variant>& high, bool exact) override {
        bde::TDbfCursor::TKeyBound lo, hi;
        auto bound = [&](const std::vector<Variant>& values, bde::TDbfCursor::TKeyBound& b) {
            if (values.empty()) return;
            b.Present = true;
            b.Key = Key(values, b.Partial);
            if (exact && b.Partial) {
                b.Partial = false;
                b.Key.resize(size_t(cursor_.GetOrder()->GetKeyLength()), ' ');
            }
        };
        bound(low, lo);
        bound(high, hi);
        cursor_.SetRange(lo, hi);
    }

private:
    void Read(char* record) {
        table_->ReadRecord(cursor_.RecNo(), reinterpret_cast<uint8_t*>(record));
    }

    std::shared_ptr<bde::TDbfTable> table_;
    bde::TDbfCursor cursor_;
    bde::TDbfRecord scratch_, edit_;
    TRecordTest test_;
    int32_t handle_ = 0;
    bool editing_ = false;
    const char* editBuffer_ = nullptr;
};

}  // namespace

std::unique_ptr<TDataCursor> OpenDbfCursor(const std::string& path, bool readOnly, bool exclusive) {
    bde::TDbfOpenOptions o;
    o.ReadOnly = readOnly;
    o.Exclusive = exclusive;
    return std::make_unique<TDbfDataCursor>(bde::TDbfTable::Open(path, o));
}

// ---- TBDEDataSet ----

TBDEDataSet::TBDEDataSet(TComponent* AOwner) : TDataSet(AOwner) {}
TBDEDataSet::~TBDEDataSet() = default;

void TBDEDataSet::InternalOpen() {
    cursor_ = CreateCursor();
    recordSize_ = cursor_->RecordSize();
    cursor_->SetShowDeleted(showDeleted_);
    InternalInitFieldDefs();
    try {
        ApplyFilter();
    } catch (...) {
        cursor_.reset();
        throw;
    }
}

void TBDEDataSet::InternalClose() {
    cursor_.reset();
}

void TBDEDataSet::InternalInitFieldDefs() {
    if (cursor_) cursor_->GetFieldDefs(FieldDefs());
}

void TBDEDataSet::InternalFirst() { cursor_->SetToBegin(); }
void TBDEDataSet::InternalLast() { cursor_->SetToEnd(); }

TGetResult TBDEDataSet::GetRecord(TRecordBuffer buffer, TGetMode mode, bool doCheck) {
    int r;
    switch (mode) {
        case gmNext: r = cursor_->Next(buffer); break;
        case gmPrior: r = cursor_->Prior(buffer); break;
        default: r = cursor_->Current(buffer); break;
    }
    if (r == bde::DBIERR_EOF) return grEOF;
    if (r == bde::DBIERR_BOF) return grBOF;
    if (r != 0) {
        if (doCheck && mode != gmCurrent) bde::RaiseError(r, "Cannot read the record");
        return grError;
    }
    Info(buffer).RecNo = cursor_->RecNo();
    Info(buffer).Flag = bfCurrent;
    return grOK;
}

void TBDEDataSet::InternalInitRecord(TRecordBuffer buffer) {
    cursor_->InitRecord(buffer);
    Info(buffer).RecNo = 0;
}

void TBDEDataSet::InternalEdit() { cursor_->BeginEdit(ActiveBuffer()); }

void TBDEDataSet::InternalPost() {
    CheckRequiredFields();
    cursor_->Post(GetState() == dsInsert);
}

void TBDEDataSet::InternalCancel() { cursor_->CancelEdit(); }

void TBDEDataSet::InternalDelete() { cursor_->Delete(); }

void TBDEDataSet::InternalRefresh() { cursor_->Refresh(); }

void TBDEDataSet::InternalSetToRecord(TRecordBuffer buffer) {
    uint32_t n = Info(buffer).RecNo;
    if (n) cursor_->SetToRecNo(n);
}

void TBDEDataSet::InternalGotoBookmark(const TBookmark& bookmark) {
    uint32_t n = 0;
    if (bookmark.size() != sizeof n) DatabaseError("Record not found");
    std::memcpy(&n, bookmark.data(), sizeof n);
    if (cursor_->SetToRecNo(n) != 0) DatabaseError("Record not found");
}

TBookmark TBDEDataSet::GetBookmarkData(TRecordBuffer buffer) const {
    uint32_t n = Info(buffer).RecNo;
    return TBookmark(reinterpret_cast<const char*>(&n), sizeof n);
}

void TBDEDataSet::SetBookmarkData(TRecordBuffer buffer, const TBookmark& data) {
    uint32_t n = 0;
    if (data.size() == sizeof n) std::memcpy(&n, data.data(), sizeof n);
    Info(buffer).RecNo = n;
}

TBookmarkFlag TBDEDataSet::GetBookmarkFlag(TRecordBuffer buffer) const { return TBookmarkFlag(Info(buffer).Flag); }
void TBDEDataSet::SetBookmarkFlag(TRecordBuffer buffer, TBookmarkFlag flag) { Info(buffer).Flag = uint8_t(flag); }

bool TBDEDataSet::BookmarkValid(const TBookmark& bookmark) {
    if (!cursor_ || bookmark.size() != sizeof(uint32_t)) return false;
    uint32_t n;
    std::memcpy(&n, bookmark.data(), sizeof n);
    CursorPosChanged();
    return cursor_->SetToRecNo(n) == 0;
}

int TBDEDataSet::CompareBookmarks(const TBookmark& a, const TBookmark& b) {
    if (a.size() != sizeof(uint32_t) || b.size() != sizeof(uint32_t)) return TDataSet::CompareBookmarks(a, b);
    uint32_t x, y;
    std::memcpy(&x, a.data(), sizeof x);
    std::memcpy(&y, b.data(), sizeof y);
    return x < y ? -1 : x > y ? 1 : 0;
}

int TBDEDataSet::GetRecNo() const {
    if (!cursor_ || GetState() == dsInsert || BufferedRecordCount() == 0) return -1;
    return int(Info(ActiveBuffer()).RecNo);
}

void TBDEDataSet::SetRecNo(int v) {
    CheckBrowseMode();
    if (cursor_->SetToRecNo(uint32_t(v < 1 ? 1 : v)) != 0) return;
    CursorPosChanged();
    Resync(TResyncModes{rmCenter});
}

int TBDEDataSet::GetRecordCount() const {
    CheckActive();
    return int(cursor_->RecordCount(GetFiltered() || !showDeleted_));
}

void TBDEDataSet::SetShowDeleted(bool v) {
    if (showDeleted_ == v) return;
    showDeleted_ = v;
    if (cursor_) {
        CheckBrowseMode();
        UpdateCursorPos();
        cursor_->SetShowDeleted(v);
        Resync(TResyncModes{});
    }
}

bool TBDEDataSet::GetFieldData(TField* field, Variant& value) {
    if (field->GetFieldKind() != fkData) return TDataSet::GetFieldData(field, value);
    TRecordBuffer b = GetActiveRecBuf();
    if (!b) {
        value = Variant{};
        return false;
    }
    return cursor_->GetField(field->GetFieldNo(), b, value);
}

void TBDEDataSet::SetFieldData(TField* field, const Variant& value) {
    if (field->GetFieldKind() != fkData) {
        TDataSet::SetFieldData(field, value);
        return;
    }
    TDataSetState st = GetState();
    if (st != dsEdit && st != dsInsert) DatabaseError("Dataset not in edit or insert mode");
    cursor_->SetField(field->GetFieldNo(), value, ActiveBuffer());
}

// The filter's expression is checked when Filter or Filtered is set, not when records are read.
void TBDEDataSet::SetFilter(const std::string& text) {
    if (GetFiltered()) {
        if (cursor_) cursor_->CheckFilter(text, GetFilterOptions());
        else CheckClosedFilter(text, GetFilterOptions());
    }
    TDataSet::SetFilter(text);
}

void TBDEDataSet::SetFiltered(bool v) {
    if (v && !GetFiltered()) {
        if (cursor_) cursor_->CheckFilter(GetFilter(), GetFilterOptions());
        else CheckClosedFilter(GetFilter(), GetFilterOptions());
    }
    TDataSet::SetFiltered(v);
}

void TBDEDataSet::SetFilterOptions(TFilterOptions v) {
    if (GetFiltered()) {
        if (cursor_) cursor_->CheckFilter(GetFilter(), v);
        else CheckClosedFilter(GetFilter(), v);
    }
    TDataSet::SetFilterOptions(v);
}

void TBDEDataSet::FilterChanged() { ApplyFilter(); }

void TBDEDataSet::ApplyFilter() {
    if (!cursor_) return;
    bool user = GetFiltered() && bool(OnFilterRecord);
    bool own = HasRecordCondition();
    TDataCursor::TRecordTest extra;
    if (user || own) {
        extra = [this, user, own](const char* rec) {
            // Runs inside other reads (a search walks the cursor in the filter state too), so
            // the state and the record being read are put back afterwards.
            TDataSetState old = SetTempState(dsFilter);
            TRecordBuffer oldBuffer = FilterBuffer();
            SetFilterBuffer(const_cast<char*>(rec));
            bool accept = true;
            try {
                if (own) accept = RecordCondition();
                if (accept && user) OnFilterRecord(this, accept);
            } catch (...) {
                SetFilterBuffer(oldBuffer);
                RestoreState(old);
                throw;
            }
            SetFilterBuffer(oldBuffer);
            RestoreState(old);
            return accept;
        };
    }
    cursor_->SetFilter(GetFiltered() ? GetFilter() : std::string(), GetFilterOptions(), extra);
}

// ---- TDBDataSet ----

TDBDataSet::TDBDataSet(TComponent* AOwner) : TBDEDataSet(AOwner) {}

void TDBDataSet::SetDatabaseName(const std::string& v) {
    CheckInactive();
    databaseName_ = v;
}

void TDBDataSet::SetSessionName(const std::string& v) {
    CheckInactive();
    sessionName_ = v;
}

std::string TDBDataSet::DatabaseDirectory() const { return Session()->DirectoryOf(databaseName_); }

int32_t TDBDataSet::GetDBHandle() const { return database_ ? database_->GetHandle() : 0; }

void TDBDataSet::InternalOpen() {
    database_ = Session()->OpenDatabase(databaseName_);
    database_->AddDataSet(this);
    try {
        TBDEDataSet::InternalOpen();
    } catch (...) {
        InternalClose();
        throw;
    }
}

void TDBDataSet::InternalClose() {
    TBDEDataSet::InternalClose();
    if (TDatabase* db = database_) {
        database_ = nullptr;
        db->RemoveDataSet(this);
        Session()->CloseDatabase(db);
    }
}

// ---- TTable ----

class TTableMasterLink : public TDataLink {
    DBV_CLASS(TTableMasterLink, TDataLink)
public:
    TTable* Table = nullptr;

protected:
    void ActiveChanged() override {
        if (Table) Table->MasterChanged();
    }
    // Scrolls and data-set changes of the master funnel into this.
    void RecordChanged(TField* field) override {
        if (Table && !field && GetDataSet()->GetState() == dsBrowse) Table->MasterChanged();
    }
};
DBV_IMPLEMENT_CLASS(TTableMasterLink)

TTable::TTable(TComponent* AOwner) : TDBDataSet(AOwner), masterLink_(MakeOwned<TTableMasterLink>()) {
    masterLink_->Table = this;
    indexDefs_.Reader = [this](TIndexDefs& defs) {
        if (Cursor()) {
            Cursor()->GetIndexDefs(defs);
        } else if (!tableName_.empty()) {
            OpenDbfCursor(TableFileName(), true, false)->GetIndexDefs(defs);
        }
    };
}

TTable::~TTable() = default;

void TTable::BeforeDestruction() {
    masterLink_->Table = nullptr;
    masterLink_->SetDataSource(nullptr);
    inherited::BeforeDestruction();
}

TDataSource* TTable::GetMasterSource() const { return masterLink_->GetDataSource(); }

void TTable::SetMasterSource(TDataSource* v) {
    if (v && v->GetDataSet() == this) DatabaseError("Circular datalinks are not allowed");
    masterLink_->SetDataSource(v);
    MasterChanged();
}

void TTable::SetMasterFields(const std::string& v) {
    std::string old = masterFields_;
    masterFields_ = v;
    try {
        MasterChanged();
    } catch (...) {
        masterFields_ = old;
        MasterChanged();
        throw;
    }
}

void TTable::SetIndexFieldNames(const std::string& v) {
    std::string old = indexFieldNames_, oldName = indexName_;
    indexFieldNames_ = v;
    if (!v.empty()) indexName_.clear();
    try {
        ApplyOrder();
        MasterChanged();
    } catch (...) {
        indexFieldNames_ = old;
        indexName_ = oldName;
        ApplyOrder();
        MasterChanged();
        throw;
    }
}


void TTable::CaptureMasterValues() {
    masterValues_.clear();
    detailFields_.clear();
    restricted_ = false;
    std::vector<std::string> d = DetailFieldNames();
    if (d.empty()) return;
    TDataSet* master = masterLink_->GetDataSet();
    if (!masterLink_->GetActive() || !master || masterFields_.empty()) return;
    std::vector<std::string> m = SplitFieldNames(masterFields_);
    if (m.size() != d.size())
        DatabaseError("MasterFields and the index fields of " + GetName() + " need the same number of fields");
    for (const std::string& n : m) masterValues_.push_back(master->FieldByName(n)->GetValue());
    restricted_ = true;
}

// The detail's key fields: IndexFieldNames, or the fields of the index IndexName names.
std::vector<std::string> TTable::DetailFieldNames() const {
    if (!indexFieldNames_.empty()) return SplitFieldNames(indexFieldNames_);
    if (!indexName_.empty()) return OrderFields();
    return {};
}

bool TTable::HasRecordCondition() const { return restricted_ && !masterRange_; }

std::vector<std::string> TTable::OrderFields() const {
    std::vector<std::string> out;
    if (!Cursor() || Cursor()->GetOrder().empty()) return out;
    TIndexDefs defs;
    Cursor()->GetIndexDefs(defs);
    int i = defs.IndexOf(Cursor()->GetOrder());
    if (i < 0) return out;
    std::string fields = defs[i].Fields.empty() ? defs[i].Expression : defs[i].Fields;
    for (char& c : fields)
        if (c == '+') c = ';';
    for (const std::string& n : SplitFieldNames(fields)) out.push_back(Trim(n));
    return out;
}

// Restricts a detail to the master's values: through a range when the current index is keyed
// on the detail fields and every master value is known, else by a record test. A master range
// takes the place of a range of the detail's own.
void TTable::ApplyMaster() {
    bool wasRange = masterRange_;
    masterRange_ = false;
    if (restricted_ && Cursor()) {
        std::vector<std::string> key = OrderFields(), detail = DetailFieldNames();
        bool match = !key.empty() && key.size() == detail.size();
        for (size_t i = 0; match && i < key.size(); ++i) match = SameText(key[i], Trim(detail[i]));
        for (const Variant& v : masterValues_)
            if (VarIsNull(v)) match = false;
        masterRange_ = match;
    }
    ApplyFilter();
    if (masterRange_) {
        Cursor()->SetKeyRange(masterValues_, masterValues_, true);
        rangeApplied_ = false;
    } else if (wasRange && Cursor() && !Cursor()->GetOrder().empty()) {
        Cursor()->SetKeyRange({}, {}, false);
    }
}

bool TTable::RecordCondition() {
    if (detailFields_.empty())
        for (const std::string& n : DetailFieldNames()) detailFields_.push_back(FieldByName(n));
    for (size_t i = 0; i < detailFields_.size() && i < masterValues_.size(); ++i) {
        Variant v = detailFields_[i]->GetValue();
        const Variant& want = masterValues_[i];
        bool emptyV = VarIsNull(v) || (std::holds_alternative<std::string>(v) && std::get<std::string>(v).empty());
        bool emptyW = VarIsNull(want) || (std::holds_alternative<std::string>(want) && std::get<std::string>(want).empty());
        if (emptyV || emptyW) {
            if (emptyV != emptyW) return false;
            continue;
        }
        if (!VarEquals(v, detailFields_[i]->Normalize(want))) return false;
    }
    return true;
}

void TTable::DoOnNewRecord() {
    if (restricted_) {
        std::vector<std::string> d = DetailFieldNames();
        for (size_t i = 0; i < d.size() && i < masterValues_.size(); ++i)
            if (!VarIsNull(masterValues_[i])) FieldByName(d[i])->SetValue(masterValues_[i]);
    }
    TDBDataSet::DoOnNewRecord();
}

void TTable::InternalOpen() {
    CaptureMasterValues();
    TDBDataSet::InternalOpen();
    rangeApplied_ = false;
    masterRange_ = false;
    try {
        Cursor()->SetOrder(WantedOrder());
        CaptureMasterValues();
        ApplyMaster();
    } catch (...) {
        TDBDataSet::InternalClose();
        throw;
    }
}

void TTable::MasterChanged() {
    if (!GetActive() || GetState() == dsInactive) return;
    CheckBrowseMode();
    CaptureMasterValues();
    ApplyMaster();
    First();
}

void TTable::SetTableName(const std::string& v) {
    CheckInactive();
    tableName_ = v;
    FieldDefs().Clear();
}

void TTable::SetTableType(TTableType v) {
    CheckInactive();
    tableType_ = v;
}

void TTable::SetExclusive(bool v) {
    CheckInactive();
    exclusive_ = v;
}

void TTable::SetReadOnly(bool v) {
    CheckInactive();
    readOnly_ = v;
}

bool TTable::GetCanModify() const { return !readOnly_ && GetActive(); }

void TTable::SetIndexName(const std::string& v) {
    std::string old = indexName_, oldFields = indexFieldNames_;
    indexName_ = v;
    if (!v.empty()) indexFieldNames_.clear();
    try {
        ApplyOrder();
    } catch (...) {
        indexName_ = old;
        indexFieldNames_ = oldFields;
        throw;
    }
}

void TTable::GetIndexNames(std::vector<std::string>& out) {
    out.clear();
    indexDefs_.Update();
    for (int i = 0; i < indexDefs_.Count(); ++i) out.push_back(indexDefs_[i].Name);
}

std::string TTable::WantedOrder() {
    if (!Cursor()) return {};
    if (!indexName_.empty()) return indexName_;
    if (indexFieldNames_.empty()) return {};
    // The tag keyed on exactly these fields; none keeps the natural order (master-detail then
    // restricts by a record test).
    TIndexDefs defs;
    Cursor()->GetIndexDefs(defs);
    std::string want = indexFieldNames_;
    for (char& c : want)
        if (c == ';') c = '+';
    for (int i = 0; i < defs.Count(); ++i) {
        const TIndexDef& d = defs[i];
        std::string key = d.Fields.empty() ? d.Expression : d.Fields;
        std::string flat;
        for (char c : key)
            if (c != ' ') flat += c;
        std::string w;
        for (char c : want)
            if (c != ' ') w += c;
        if (SameText(flat, w) && !d.Options.Contains(ixDescending)) return d.Name;
    }
    return {};
}

void TTable::ApplyOrder() {
    if (!Cursor() || GetState() == dsInactive) return;
    std::string name = WantedOrder();
    CheckBrowseMode();
    uint32_t rec = 0;
    if (BufferedRecordCount() > 0) {
        UpdateCursorPos();
        rec = Cursor()->RecNo();
    }
    Cursor()->SetOrder(name);
    rangeApplied_ = false;
    rangeLow_.clear();
    rangeHigh_.clear();
    masterRange_ = false;
    CaptureMasterValues();
    ApplyMaster();
    if (rec == 0 || Cursor()->SetToRecNo(rec) != 0) {
        First();
        return;
    }
    CursorPosChanged();
    Resync(TResyncModes{rmCenter});
}

// dBase index names are tag names; the production file's name may come with it.
static std::string TagName(const std::string& name) {
    std::string n = name;
    if (n.size() > 4 && SameText(n.substr(n.size() - 4), ".MDX")) n.resize(n.size() - 4);
    return n;
}

void TTable::AddIndex(const std::string& name, const std::string& fields, TIndexOptions options) {
    if (Cursor()) {
        CheckBrowseMode();
        Cursor()->AddIndex(TagName(name), fields, options);
    } else {
        auto c = OpenDbfCursor(TableFileName(), false, true);
        c->AddIndex(TagName(name), fields, options);
    }
    indexDefs_.SetUpdated(false);
}

void TTable::DeleteIndex(const std::string& name) {
    std::string tag = TagName(name);
    if (Cursor()) {
        CheckBrowseMode();
        bool current = SameText(Cursor()->GetOrder(), tag);
        Cursor()->DeleteIndex(tag);
        if (current) {
            // The cursor fell back to the natural order: find the current record again there
            // (IndexFieldNames stays, a restriction on it goes on by record test).
            if (SameText(indexName_, tag)) indexName_.clear();
            CursorPosChanged();
            ApplyOrder();
        }
    } else {
        auto c = OpenDbfCursor(TableFileName(), false, true);
        c->DeleteIndex(tag);
        if (SameText(indexName_, tag)) indexName_.clear();
    }
    indexDefs_.SetUpdated(false);
}

// ---- key searches and ranges ----

void TTable::EnterKeyState(std::vector<Variant>& buffer, bool clear) {
    CheckBrowseMode();
    if (Cursor()->GetOrder().empty()) DatabaseError("No index is active on " + GetName());
    if (clear || buffer.size() != size_t(GetFieldCount())) buffer.assign(size_t(GetFieldCount()), Variant{});
    editKey_ = &buffer;
    savedKey_ = buffer;
    SetState(dsSetKey);
    DataEvent(deDataSetChange, 0);
}

void TTable::InternalCancel() {
    if (GetState() == dsSetKey) {
        if (editKey_) *editKey_ = savedKey_;
        return;
    }
    TDBDataSet::InternalCancel();
}

void TTable::SetKey() { EnterKeyState(keyBuffer_, true); }
void TTable::EditKey() { EnterKeyState(keyBuffer_, false); }
void TTable::SetRangeStart() { EnterKeyState(rangeLow_, true); }
void TTable::SetRangeEnd() { EnterKeyState(rangeHigh_, true); }
void TTable::EditRangeStart() { EnterKeyState(rangeLow_, false); }
void TTable::EditRangeEnd() { EnterKeyState(rangeHigh_, false); }

bool TTable::GetFieldData(TField* field, Variant& value) {
    if (GetState() == dsSetKey && editKey_ && field->GetFieldKind() == fkData) {
        int i = field->GetIndex();
        value = i >= 0 && size_t(i) < editKey_->size() ? (*editKey_)[size_t(i)] : Variant{};
        return !VarIsNull(value);
    }
    return TDBDataSet::GetFieldData(field, value);
}

void TTable::SetFieldData(TField* field, const Variant& value) {
    if (GetState() == dsSetKey && editKey_ && field->GetFieldKind() == fkData) {
        int i = field->GetIndex();
        if (i >= 0 && size_t(i) < editKey_->size()) (*editKey_)[size_t(i)] = value;
        return;
    }
    TDBDataSet::SetFieldData(field, value);
}

// The key values of a buffer in the order of the current index's fields: the leading fields
// that have a value (an expression index takes the fields named in it).
std::vector<Variant> TTable::KeyValues(const std::vector<Variant>& buffer) const {
    std::vector<Variant> out;
    for (const std::string& n : OrderFields()) {
        TField* f = FindField(n);
        if (!f) break;
        int k = f->GetIndex();
        if (k < 0 || size_t(k) >= buffer.size() || VarIsNull(buffer[size_t(k)])) break;
        out.push_back(buffer[size_t(k)]);
    }
    return out;
}

void TTable::Seeked(int result) {
    if (result == bde::DBIERR_EOF) {
        Last();
        return;
    }
    CursorPosChanged();
    Resync(TResyncModes{rmCenter});
}

bool TTable::GotoKey() { return FindKey(KeyValues(keyBuffer_)); }

void TTable::GotoNearest() { FindNearest(KeyValues(keyBuffer_)); }

// Values go to the current index's fields in order.
bool TTable::FindKey(const std::vector<Variant>& values) {
    CheckBrowseMode();
    if (Cursor()->GetOrder().empty()) DatabaseError("No index is active on " + GetName());
    uint32_t rec = 0;
    if (BufferedRecordCount() > 0) {
        UpdateCursorPos();
        rec = Cursor()->RecNo();
    }
    int r = Cursor()->SeekKey(values, false);
    if (r != 0) {
        // Not found: the dataset stays on its record.
        if (rec) Cursor()->SetToRecNo(rec);
        CursorPosChanged();
        return false;
    }
    Seeked(r);
    return true;
}

void TTable::FindNearest(const std::vector<Variant>& values) {
    CheckBrowseMode();
    if (Cursor()->GetOrder().empty()) DatabaseError("No index is active on " + GetName());
    Seeked(Cursor()->SeekKey(values, true));
}

void TTable::ApplyRange() {
    CheckBrowseMode();
    Cursor()->SetKeyRange(KeyValues(rangeLow_), KeyValues(rangeHigh_), false);
    rangeApplied_ = true;
    First();
}

void TTable::CancelRange() {
    CheckBrowseMode();
    if (!rangeApplied_) return;
    Cursor()->SetKeyRange({}, {}, false);
    rangeApplied_ = false;
    First();
}

void TTable::SetRange(const std::vector<Variant>& low, const std::vector<Variant>& high) {
    CheckBrowseMode();
    if (Cursor()->GetOrder().empty()) DatabaseError("No index is active on " + GetName());
    Cursor()->SetKeyRange(low, high, false);
    rangeApplied_ = true;
    First();
}

std::string TTable::TableFileName() const {
    std::string dir = DatabaseDirectory();
    std::string name = tableName_;
    if (!name.empty() && (name[0] == '/' || name.find(':') != std::string::npos)) return name;
    return dir + "/" + name;
}

std::unique_ptr<TDataCursor> TTable::CreateCursor() {
    if (tableName_.empty()) DatabaseError("Missing TableName property");
    if (tableType_ == ttParadox || tableType_ == ttASCII ||
        (tableType_ == ttDefault && SameText(ExtractFileExt(tableName_), ".DB")))
        DatabaseError("Table type not supported yet: " + tableName_);
    bde::TDbfOpenOptions o;
    return OpenDbfCursor(TableFileName(), readOnly_, exclusive_);
}

void TTable::InternalInitFieldDefs() {
    if (Cursor()) {
        TBDEDataSet::InternalInitFieldDefs();
        return;
    }
    auto c = OpenDbfCursor(TableFileName(), true, false);
    c->GetFieldDefs(FieldDefs());
}

void TTable::CheckClosedFilter(const std::string& text, TFilterOptions options) {
    // The expression is checked against the table's fields when the file can be read now;
    // otherwise it is checked when the table opens.
    if (Trim(text).empty() || tableName_.empty()) return;
    std::unique_ptr<TDataCursor> c;
    try {
        c = OpenDbfCursor(TableFileName(), true, false);
    } catch (const EDatabaseError&) {
        return;
    }
    c->CheckFilter(text, options);
}

// Looks for the file itself (ignoring case, with ".dbf" added to a name without extension),
// so a table that another open holds exclusively still exists.
bool TTable::Exists() const {
    if (GetActive()) return true;
    std::string path = TableFileName();
    std::string leaf = ExtractFileName(path);
    std::filesystem::path dir = ExtractFileDir(path);
    if (dir.empty()) dir = std::filesystem::current_path();
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(dir, ec)) {
        std::string n = e.path().filename().string();
        if (SameText(n, leaf) || (ExtractFileExt(leaf).empty() && SameText(n, leaf + ".dbf"))) return true;
    }
    return false;
}

void TTable::CreateTable() {
    CheckInactive();
    std::vector<bde::TDbfFieldDef> defs;
    for (int i = 0; i < FieldDefs().Count(); ++i) {
        const TFieldDef& f = FieldDefs()[i];
        bde::TDbfFieldDef d;
        d.Name = f.Name;
        switch (f.DataType) {
            case ftString: d.Type = 'C'; d.Length = f.Size > 0 ? f.Size : 20; break;
            case ftSmallint: d.Type = 'N'; d.Length = 4; break;
            case ftWord: d.Type = 'N'; d.Length = 5; break;
            case ftInteger:
            case ftAutoInc: d.Type = 'N'; d.Length = 9; break;
            case ftFloat: d.Type = 'N'; d.Length = 20; d.Decimals = f.Size > 0 ? f.Size : 4; break;
            case ftCurrency:
            case ftBCD: d.Type = 'N'; d.Length = 20; d.Decimals = 2; break;
            case ftBoolean: d.Type = 'L'; break;
            case ftDate: d.Type = 'D'; break;
            case ftMemo:
            case ftFmtMemo: d.Type = 'M'; break;
            default:
                DatabaseError("Field '" + f.Name + "': type " + FieldTypeName(f.DataType) +
                              " is not supported by dBase tables");
        }
        defs.push_back(d);
    }
    bde::TDbfCreateOptions o;
    o.Replace = true;
    bde::TDbfTable::Create(TableFileName(), defs, o);
}

void TTable::DeleteTable() {
    CheckInactive();
    std::string path = TableFileName();
    std::string actual;
    {
        auto t = bde::TDbfTable::Open(path, bde::TDbfOpenOptions{true, true, 1252, false});
        actual = t->Path();
        std::string memo = t->MemoPath();
        t.reset();
        if (!memo.empty()) ::unlink(memo.c_str());
    }
    if (::unlink(actual.c_str()) != 0) DatabaseError("Cannot delete table " + path);
}

void TTable::EmptyTable() {
    if (GetActive()) {
        CheckBrowseMode();
        Cursor()->Empty();
        First();
        return;
    }
    auto c = OpenDbfCursor(TableFileName(), false, true);
    c->Empty();
}

}  // namespace vcl
