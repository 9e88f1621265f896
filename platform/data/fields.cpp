// Fields, field lists, field and index definitions.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "data/db.h"
#include "rtl/sysutils.h"

namespace vcl {

DBV_IMPLEMENT_CLASS(TField)
DBV_IMPLEMENT_CLASS(TStringField)
DBV_IMPLEMENT_CLASS(TNumericField)
DBV_IMPLEMENT_CLASS(TIntegerField)
DBV_IMPLEMENT_CLASS(TSmallintField)
DBV_IMPLEMENT_CLASS(TWordField)
DBV_IMPLEMENT_CLASS(TAutoIncField)
DBV_IMPLEMENT_CLASS(TFloatField)
DBV_IMPLEMENT_CLASS(TCurrencyField)
DBV_IMPLEMENT_CLASS(TBCDField)
DBV_IMPLEMENT_CLASS(TBooleanField)
DBV_IMPLEMENT_CLASS(TDateTimeField)
DBV_IMPLEMENT_CLASS(TDateField)
DBV_IMPLEMENT_CLASS(TTimeField)
DBV_IMPLEMENT_CLASS(TBytesField)
DBV_IMPLEMENT_CLASS(TVarBytesField)
DBV_IMPLEMENT_CLASS(TBlobField)
DBV_IMPLEMENT_CLASS(TMemoField)
DBV_IMPLEMENT_CLASS(TGraphicField)

// ---- values ----

std::string VarToStr(const Variant& v) {
    switch (v.index()) {
        case 1: return std::get<bool>(v) ? "True" : "False";
        case 2: return IntToStr(std::get<int64_t>(v));
        case 3: return FloatToStr(std::get<double>(v));
        case 4: return std::get<std::string>(v);
        default: return {};
    }
}

bool VarEquals(const Variant& a, const Variant& b, bool caseInsensitive) {
    if (VarIsNull(a) || VarIsNull(b)) return VarIsNull(a) && VarIsNull(b);
    auto num = [](const Variant& v, double& out) {
        if (auto* i = std::get_if<int64_t>(&v)) return out = double(*i), true;
        if (auto* d = std::get_if<double>(&v)) return out = *d, true;
        if (auto* b = std::get_if<bool>(&v)) return out = *b ? 1 : 0, true;
        return false;
    };
    double x, y;
    if (num(a, x) && num(b, y)) return x == y;
    std::string s = VarToStr(a), t = VarToStr(b);
    return caseInsensitive ? SameText(s, t) : s == t;
}

const char* FieldTypeName(TFieldType t) {
    static const char* names[] = {"Unknown", "String",  "SmallInt", "Integer", "Word",     "Boolean",
                                  "Float",   "Currency", "BCD",      "Date",    "Time",     "DateTime",
                                  "Bytes",   "VarBytes", "AutoInc",  "Blob",    "Memo",     "Graphic",
                                  "FmtMemo", "ParadoxOle", "DBaseOle", "TypedBinary", "Cursor"};
    return int(t) >= 0 && int(t) <= int(ftCursor) ? names[int(t)] : "Unknown";
}

const TClassInfo* FieldClassOf(TFieldType t) {
    switch (t) {
        case ftString: return &TStringField::StaticClass();
        case ftSmallint: return &TSmallintField::StaticClass();
        case ftInteger: return &TIntegerField::StaticClass();
        case ftWord: return &TWordField::StaticClass();
        case ftBoolean: return &TBooleanField::StaticClass();
        case ftFloat: return &TFloatField::StaticClass();
        case ftCurrency: return &TCurrencyField::StaticClass();
        case ftBCD: return &TBCDField::StaticClass();
        case ftDate: return &TDateField::StaticClass();
        case ftTime: return &TTimeField::StaticClass();
        case ftDateTime: return &TDateTimeField::StaticClass();
        case ftBytes: return &TBytesField::StaticClass();
        case ftVarBytes: return &TVarBytesField::StaticClass();
        case ftAutoInc: return &TAutoIncField::StaticClass();
        case ftMemo: return &TMemoField::StaticClass();
        case ftGraphic: return &TGraphicField::StaticClass();
        case ftBlob:
        case ftFmtMemo:
        case ftParadoxOle:
        case ftDBaseOle:
        case ftTypedBinary: return &TBlobField::StaticClass();
        default: return nullptr;
    }
}

// ---- TField ----

TField::TField(TComponent* AOwner) : TComponent(AOwner) {}

TField::~TField() = default;

// A field freed before its dataset leaves the dataset's list (closing the dataset first).
void TField::BeforeDestruction() {
    if (dataSet_) {
        TDataSet* ds = dataSet_;
        if (!ds->IsDestroying()) {
            try {
                ds->Close();
            } catch (...) {
            }
        }
        ds->RemoveField(this);
    }
    if (lookupDataSet_) lookupDataSet_->RemoveFreeNotification(this);
    inherited::BeforeDestruction();
}

void TField::Notification(TComponent* AComponent, TOperation Operation) {
    inherited::Notification(AComponent, Operation);
    if (Operation == opRemove && AComponent == lookupDataSet_) lookupDataSet_ = nullptr;
}

void TField::SetDataSet(TDataSet* ds) {
    if (ds == dataSet_) return;
    if (dataSet_) dataSet_->CheckInactive(), dataSet_->RemoveField(this);
    if (ds) ds->CheckInactive(), ds->AddField(this);
}

void TField::SetFieldName(const std::string& v) {
    if (dataSet_) dataSet_->CheckInactive();
    fieldName_ = v;
}

void TField::SetSize(int v) {
    if (dataSet_) dataSet_->CheckInactive();
    size_ = v;
}

void TField::PropertyChanged(bool layout) {
    if (dataSet_ && dataSet_->GetActive()) dataSet_->DataEvent(layout ? deLayoutChange : deDataSetChange, 0);
}

void TField::SetDisplayLabel(const std::string& v) {
    displayLabel_ = v == fieldName_ ? std::string() : v;
    PropertyChanged(true);
}

int TField::GetDisplayWidth() const { return displayWidth_ > 0 ? displayWidth_ : DefaultWidth(); }
void TField::SetDisplayWidth(int v) {
    displayWidth_ = v;
    PropertyChanged(true);
}
void TField::SetAlignment(TAlignment v) {
    alignment_ = v;
    PropertyChanged(false);
}
void TField::SetVisible(bool v) {
    visible_ = v;
    PropertyChanged(true);
}

int TField::GetIndex() const { return dataSet_ ? dataSet_->Fields().IndexOf(this) : -1; }
void TField::SetIndex(int v) {
    if (!dataSet_) return;
    dataSet_->Fields().Move(GetIndex(), std::clamp(v, 0, dataSet_->GetFieldCount() - 1));
    PropertyChanged(true);
}

void TField::SetFieldKind(TFieldKind v) {
    if (dataSet_) dataSet_->CheckInactive();
    fieldKind_ = v;
}

void TField::SetLookupDataSet(TDataSet* v) {
    if (dataSet_) dataSet_->CheckInactive();
    if (v && v == dataSet_) DatabaseError("Circular datalinks are not allowed");
    if (lookupDataSet_) lookupDataSet_->RemoveFreeNotification(this);
    lookupDataSet_ = v;
    if (v) v->FreeNotification(this);
}

bool TField::GetCanModify() const {
    if (readOnly_ || !dataSet_) return false;
    if (fieldKind_ == fkCalculated) return dataSet_->GetState() == dsCalcFields;
    if (fieldKind_ == fkLookup) return false;
    return dataSet_->GetCanModify();
}

void TField::FocusControl() {
    if (!dataSet_) return;
    TField* f = this;
    dataSet_->DataEvent(deFocusControl, reinterpret_cast<intptr_t>(&f));
}

bool TField::GetData(Variant& out) const {
    if (!dataSet_) DatabaseError("Field '" + GetDisplayName() + "' has no dataset");
    return dataSet_->GetFieldData(const_cast<TField*>(this), out);
}

void TField::SetData(const Variant& v) {
    if (!dataSet_) DatabaseError("Field '" + GetDisplayName() + "' has no dataset");
    dataSet_->SetFieldData(this, v);
}

bool TField::IsNull() const {
    Variant v;
    return !GetData(v);
}

Variant TField::GetValue() const {
    Variant v;
    GetData(v);
    return v;
}

void TField::Validate() {
    if (OnValidate) OnValidate(this);
}

void TField::Change() {
    if (OnChange) OnChange(this);
}

void TField::SetValue(const Variant& raw) {
    if (!dataSet_) DatabaseError("Field '" + GetDisplayName() + "' has no dataset");
    TDataSetState st = dataSet_->GetState();
    bool calc = st == dsCalcFields && fieldKind_ != fkData;
    if (!calc) {
        if (st != dsEdit && st != dsInsert && st != dsSetKey) DatabaseError("Dataset not in edit or insert mode");
        if (readOnly_ || fieldKind_ == fkLookup || (fieldKind_ == fkCalculated))
            DatabaseError("Field '" + GetDisplayName() + "' cannot be modified");
    }
    Variant v = VarIsNull(raw) ? raw : Normalize(raw);
    if (calc) {
        dataSet_->SetFieldData(this, v);
        return;
    }
    Variant old = GetValue();
    dataSet_->SetFieldData(this, v);
    try {
        Validate();
    } catch (...) {
        dataSet_->SetFieldData(this, old);
        throw;
    }
    dataSet_->DataEvent(deFieldChange, reinterpret_cast<intptr_t>(this));
}

void TField::AccessError(const char* typeName) const {
    DatabaseError("Cannot access field '" + GetDisplayName() + "' as type " + typeName);
}

std::string TField::GetAsString() const {
    Variant v = GetValue();
    return VarToStr(v);
}
void TField::SetAsString(const std::string&) { AccessError("String"); }
int TField::GetAsInteger() const { AccessError("Integer"); }
void TField::SetAsInteger(int) { AccessError("Integer"); }
double TField::GetAsFloat() const { AccessError("Float"); }
void TField::SetAsFloat(double) { AccessError("Float"); }
bool TField::GetAsBoolean() const { AccessError("Boolean"); }
void TField::SetAsBoolean(bool) { AccessError("Boolean"); }
TDateTime TField::GetAsDateTime() const { AccessError("DateTime"); }
void TField::SetAsDateTime(TDateTime) { AccessError("DateTime"); }

std::string TField::GetTextOf(bool) const { return GetAsString(); }

std::string TField::GetText() const {
    std::string s;
    if (OnGetText) OnGetText(const_cast<TField*>(this), s, false);
    else s = GetTextOf(false);
    return s;
}

std::string TField::GetDisplayText() const {
    std::string s;
    if (OnGetText) OnGetText(const_cast<TField*>(this), s, true);
    else s = GetTextOf(true);
    return s;
}

void TField::SetText(const std::string& v) {
    if (OnSetText) OnSetText(this, v);
    else SetTextOf(v);
}

bool TField::IsValidChar(char c) const { return c != 0; }

// ---- string ----

TStringField::TStringField(TComponent* AOwner) : TField(AOwner) {
    SetDataType(ftString);
    SetSize(20);
}

std::string TStringField::GetAsString() const {
    Variant v = GetValue();
    return VarToStr(v);
}

int TStringField::GetAsInteger() const {
    std::string s = Trim(GetAsString());
    long long n;
    if (!TryStrToInt64(s, n) || n < INT32_MIN || n > INT32_MAX)
        throw EConvertError("'" + s + "' is not a valid integer value");
    return int(n);
}

double TStringField::GetAsFloat() const {
    std::string s = Trim(GetAsString());
    double d;
    if (!TryStrToFloat(s, d)) throw EConvertError("'" + s + "' is not a valid floating point value");
    return d;
}
void TStringField::SetAsFloat(double v) { SetAsString(FloatToStr(v)); }

bool TStringField::GetAsBoolean() const {
    std::string s = GetAsString();
    return !s.empty() && (UpCase(s[0]) == 'T' || UpCase(s[0]) == 'Y');
}

TDateTime TStringField::GetAsDateTime() const {
    std::string s = Trim(GetAsString());
    TDateTime d;
    if (TryStrToDate(s, d)) return d;
    try {
        return StrToDateTime(s);
    } catch (const EConvertError&) {
        throw EConvertError("'" + s + "' is not a valid date and time");
    }
}
void TStringField::SetAsDateTime(TDateTime v) { SetAsString(DateTimeToStr(v)); }

Variant TStringField::Normalize(const Variant& v) const {
    std::string s = VarToStr(v);
    if (GetSize() > 0 && int(s.size()) > GetSize()) s.resize(size_t(GetSize()));
    if (s.empty()) return Variant{};
    return s;
}


// ---- numbers ----

TNumericField::TNumericField(TComponent* AOwner) : TField(AOwner) { SetAlignment(taRightJustify); }
void TNumericField::SetDisplayFormat(const std::string& v) {
    displayFormat_ = v;
    PropertyChanged(false);
}
void TNumericField::SetEditFormat(const std::string& v) {
    editFormat_ = v;
    PropertyChanged(false);
}
bool TNumericField::IsValidChar(char c) const {
    return (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.' || c == 'e' || c == 'E' ||
           c == FormatSettings().DecimalSeparator;
}

TIntegerField::TIntegerField(TComponent* AOwner) : TNumericField(AOwner) { SetDataType(ftInteger); SetSize(0); }
TSmallintField::TSmallintField(TComponent* AOwner) : TIntegerField(AOwner) {
    SetDataType(ftSmallint);
    typeMin_ = -32768;
    typeMax_ = 32767;
}
TWordField::TWordField(TComponent* AOwner) : TIntegerField(AOwner) {
    SetDataType(ftWord);
    typeMin_ = 0;
    typeMax_ = 65535;
}
TAutoIncField::TAutoIncField(TComponent* AOwner) : TIntegerField(AOwner) { SetDataType(ftAutoInc); }

std::string TIntegerField::GetAsString() const {
    Variant v = GetValue();
    if (VarIsNull(v)) return {};
    return IntToStr(GetAsInteger());
}

int TIntegerField::GetAsInteger() const {
    Variant v = GetValue();
    if (auto* i = std::get_if<int64_t>(&v)) return int(*i);
    if (auto* d = std::get_if<double>(&v)) return int(*d);
    if (auto* b = std::get_if<bool>(&v)) return *b ? 1 : 0;
    return 0;
}

void TIntegerField::SetAsString(const std::string& v) {
    std::string s = Trim(v);
    if (s.empty()) {
        Clear();
        return;
    }
    long long n;
    if (!TryStrToInt64(s, n)) throw EConvertError("'" + s + "' is not a valid integer value");
    SetValue(int64_t(n));
}

void TIntegerField::SetAsFloat(double v) { SetValue(int64_t(std::llround(v))); }

Variant TIntegerField::Normalize(const Variant& v) const {
    int64_t n = 0;
    if (auto* i = std::get_if<int64_t>(&v)) n = *i;
    else if (auto* d = std::get_if<double>(&v)) {
        if (*d != std::floor(*d)) throw EConvertError("'" + FloatToStr(*d) + "' is not a valid integer value");
        n = int64_t(*d);
    } else if (auto* b = std::get_if<bool>(&v)) n = *b ? 1 : 0;
    else if (auto* s = std::get_if<std::string>(&v)) {
        std::string t = Trim(*s);
        if (t.empty()) return Variant{};
        long long x;
        if (!TryStrToInt64(t, x)) throw EConvertError("'" + t + "' is not a valid integer value");
        n = x;
    }
    int64_t lo = typeMin_, hi = typeMax_;
    if (min_ != 0 || max_ != 0) lo = min_, hi = max_;
    if (n < lo || n > hi)
        DatabaseError(IntToStr(n) + " is not a valid value for field '" + GetDisplayName() +
                      "'. The allowed range is " + IntToStr(lo) + " to " + IntToStr(hi));
    return n;
}

TFloatField::TFloatField(TComponent* AOwner) : TNumericField(AOwner) { SetDataType(ftFloat); SetSize(0); }
TCurrencyField::TCurrencyField(TComponent* AOwner) : TFloatField(AOwner) {
    SetDataType(ftCurrency);
    currency_ = true;
}
TBCDField::TBCDField(TComponent* AOwner) : TFloatField(AOwner) { SetDataType(ftBCD); }

double TFloatField::GetAsFloat() const {
    Variant v = GetValue();
    if (auto* d = std::get_if<double>(&v)) return *d;
    if (auto* i = std::get_if<int64_t>(&v)) return double(*i);
    return 0;
}

int TFloatField::GetAsInteger() const { return int(std::llround(GetAsFloat())); }

std::string TFloatField::GetAsString() const {
    Variant v = GetValue();
    if (VarIsNull(v)) return {};
    return FloatToStr(GetAsFloat());
}

std::string TFloatField::GetTextOf(bool display) const {
    Variant v = GetValue();
    if (VarIsNull(v)) return {};
    const std::string& fmt = display || editFormat_.empty() ? displayFormat_ : editFormat_;
    if (!fmt.empty()) return FormatFloat(fmt, GetAsFloat());
    if (currency_ && display) return Format("%.2f", GetAsFloat());
    return FloatToStr(GetAsFloat());
}

std::string TNumericField::GetTextOf(bool display) const {
    Variant v = GetValue();
    if (VarIsNull(v)) return {};
    const std::string& fmt = display || editFormat_.empty() ? displayFormat_ : editFormat_;
    if (!fmt.empty()) return FormatFloat(fmt, GetAsFloat());
    return GetAsString();
}

void TFloatField::SetAsString(const std::string& v) {
    std::string s = Trim(v);
    if (s.empty()) {
        Clear();
        return;
    }
    double d;
    if (!TryStrToFloat(s, d)) throw EConvertError("'" + s + "' is not a valid floating point value");
    SetValue(d);
}

void TFloatField::SetAsFloat(double v) { SetValue(v); }

Variant TFloatField::Normalize(const Variant& v) const {
    if (auto* d = std::get_if<double>(&v)) return *d;
    if (auto* i = std::get_if<int64_t>(&v)) return double(*i);
    if (auto* b = std::get_if<bool>(&v)) return *b ? 1.0 : 0.0;
    std::string s = Trim(VarToStr(v));
    if (s.empty()) return Variant{};
    double d;
    if (!TryStrToFloat(s, d)) throw EConvertError("'" + s + "' is not a valid floating point value");
    return d;
}

// ---- Boolean ----

TBooleanField::TBooleanField(TComponent* AOwner) : TField(AOwner) { SetDataType(ftBoolean); }

void TBooleanField::SetDisplayValues(const std::string& v) {
    int p = Pos(";", v);
    if (p == 0) {
        trueText_ = v;
        falseText_.clear();
    } else {
        trueText_ = v.substr(0, size_t(p - 1));
        falseText_ = v.substr(size_t(p));
    }
    if (v.empty()) trueText_ = "True", falseText_ = "False";
    displayValues_ = v;
    PropertyChanged(false);
}

bool TBooleanField::GetAsBoolean() const {
    Variant v = GetValue();
    if (auto* b = std::get_if<bool>(&v)) return *b;
    return false;  // null reads False
}

std::string TBooleanField::GetAsString() const {
    Variant v = GetValue();
    if (VarIsNull(v)) return {};
    return GetAsBoolean() ? trueText_ : falseText_;
}

void TBooleanField::SetAsString(const std::string& v) {
    std::string s = Trim(v);
    if (s.empty()) {
        Clear();
        return;
    }
    auto prefixOf = [&](const std::string& text) {
        return !text.empty() && s.size() <= text.size() && SameText(text.substr(0, s.size()), s);
    };
    if (prefixOf(trueText_)) SetValue(true);
    else if (prefixOf(falseText_)) SetValue(false);
    else throw EConvertError("'" + s + "' is not a valid boolean value for field '" + GetDisplayName() + "'");
}

Variant TBooleanField::Normalize(const Variant& v) const {
    if (auto* b = std::get_if<bool>(&v)) return *b;
    if (auto* i = std::get_if<int64_t>(&v)) return *i != 0;
    if (auto* d = std::get_if<double>(&v)) return *d != 0;
    std::string s = Trim(VarToStr(v));
    if (s.empty()) return Variant{};
    if (SameText(s, trueText_) || SameText(s, "True") || SameText(s, "T") || SameText(s, "Y")) return true;
    if (SameText(s, falseText_) || SameText(s, "False") || SameText(s, "F") || SameText(s, "N")) return false;
    throw EConvertError("'" + s + "' is not a valid boolean value for field '" + GetDisplayName() + "'");
}

// ---- dates ----

TDateTimeField::TDateTimeField(TComponent* AOwner) : TField(AOwner) { SetDataType(ftDateTime); }
TDateField::TDateField(TComponent* AOwner) : TDateTimeField(AOwner) { SetDataType(ftDate); }
TTimeField::TTimeField(TComponent* AOwner) : TDateTimeField(AOwner) { SetDataType(ftTime); }

void TDateTimeField::SetDisplayFormat(const std::string& v) {
    displayFormat_ = v;
    PropertyChanged(false);
}

TDateTime TDateTimeField::GetAsDateTime() const {
    Variant v = GetValue();
    if (auto* d = std::get_if<double>(&v)) return *d;
    return 0;  // null reads 0
}

void TDateTimeField::SetAsDateTime(TDateTime v) { SetValue(v); }

std::string TDateTimeField::GetAsString() const { return GetTextOf(false); }

std::string TDateTimeField::GetTextOf(bool display) const {
    Variant v = GetValue();
    if (VarIsNull(v)) return {};
    TDateTime d = GetAsDateTime();
    if (display && !displayFormat_.empty()) return FormatDateTime(displayFormat_, d);
    switch (GetDataType()) {
        case ftDate: return DateToStr(d);
        case ftTime: return TimeToStr(d);
        default: return DateTimeToStr(d);
    }
}

void TDateTimeField::SetAsString(const std::string& v) {
    std::string s = Trim(v);
    if (s.empty()) {
        Clear();
        return;
    }
    SetValue(Normalize(s));
}

Variant TDateTimeField::Normalize(const Variant& v) const {
    if (auto* d = std::get_if<double>(&v)) return GetDataType() == ftDate ? std::floor(*d) : *d;
    if (auto* i = std::get_if<int64_t>(&v)) return double(*i);
    std::string s = Trim(VarToStr(v));
    if (s.empty()) return Variant{};
    TDateTime d;
    switch (GetDataType()) {
        case ftDate:
            if (!TryStrToDate(s, d)) throw EConvertError("'" + s + "' is not a valid date");
            return d;
        case ftTime:
            if (!TryStrToTime(s, d)) throw EConvertError("'" + s + "' is not a valid time");
            return d;
        default:
            try {
                return StrToDateTime(s);
            } catch (const EConvertError&) {
                throw EConvertError("'" + s + "' is not a valid date and time");
            }
    }
}

// ---- bytes and blobs ----

TBytesField::TBytesField(TComponent* AOwner) : TField(AOwner) {
    SetDataType(ftBytes);
    SetSize(16);
}
TVarBytesField::TVarBytesField(TComponent* AOwner) : TBytesField(AOwner) { SetDataType(ftVarBytes); }

TBlobField::TBlobField(TComponent* AOwner) : TField(AOwner) { SetDataType(ftBlob); }
TMemoField::TMemoField(TComponent* AOwner) : TBlobField(AOwner) { SetDataType(ftMemo); }
TGraphicField::TGraphicField(TComponent* AOwner) : TBlobField(AOwner) { SetDataType(ftGraphic); }

std::string TBlobField::GetAsString() const {
    Variant v = GetValue();
    return VarToStr(v);
}

void TBlobField::SetAsString(const std::string& v) { SetValue(v.empty() ? Variant{} : Variant{v}); }

std::string TBlobField::GetTextOf(bool display) const {
    if (!display) return GetAsString();
    // A blob shows its kind, in capitals when it holds data.
    std::string kind = GetDataType() == ftMemo ? "(Memo)" : GetDataType() == ftGraphic ? "(Graphic)" : "(Blob)";
    return IsNull() ? kind : UpperCase(kind);
}

// ---- TFields ----

TField* TFields::FindField(std::string_view name) const {
    for (TField* f : list_)
        if (SameText(f->GetFieldName(), name)) return f;
    return nullptr;
}

TField* TFields::FieldByName(std::string_view name) const {
    TField* f = FindField(name);
    if (!f) DatabaseError("Field '" + std::string(name) + "' not found");
    return f;
}

TField* TFields::FieldByNumber(int fieldNo) const {
    for (TField* f : list_)
        if (f->GetFieldNo() == fieldNo) return f;
    return nullptr;
}

int TFields::IndexOf(const TField* f) const {
    auto it = std::find(list_.begin(), list_.end(), f);
    return it == list_.end() ? -1 : int(it - list_.begin());
}

void TFields::Add(TField* f) { list_.push_back(f); }
void TFields::Remove(TField* f) {
    auto it = std::find(list_.begin(), list_.end(), f);
    if (it != list_.end()) list_.erase(it);
}
void TFields::Move(int from, int to) {
    if (from < 0 || from == to) return;
    TField* f = list_[size_t(from)];
    list_.erase(list_.begin() + from);
    list_.insert(list_.begin() + to, f);
}

// ---- definitions ----

TField* TFieldDef::CreateField(TComponent* owner, TDataSet* dataSet) const {
    const TClassInfo* c = FieldClass();
    if (!c) return nullptr;
    auto* f = static_cast<TField*>(c->CreateInstance(owner));
    try {
        f->SetFieldName(Name);
        if (DataType == ftString || DataType == ftBytes || DataType == ftVarBytes || f->IsBlob()) f->SetSize(Size);
        if (auto* b = dynamic_cast<TBlobField*>(f); b && !dynamic_cast<TMemoField*>(f) && !dynamic_cast<TGraphicField*>(f))
            b->SetBlobType(DataType);
        if (auto* fl = dynamic_cast<TFloatField*>(f); fl && Precision > 0) fl->SetPrecision(Precision);
        f->SetRequired(Required);
        f->SetFieldNoInternal(FieldNo);
        dataSet->AddField(f);
    } catch (...) {
        f->Free();
        throw;
    }
    return f;
}

void TFieldDefs::Add(const std::string& name, TFieldType type, int size, bool required) {
    if (IndexOf(name) >= 0) DatabaseError("Duplicate field name '" + name + "'");
    TFieldDef d;
    d.Name = name;
    d.DataType = type;
    d.Size = size;
    d.Required = required;
    d.FieldNo = Count() + 1;
    items_.push_back(d);
}

int TFieldDefs::IndexOf(std::string_view name) const {
    for (size_t i = 0; i < items_.size(); ++i)
        if (SameText(items_[i].Name, name)) return int(i);
    return -1;
}

TFieldDef* TFieldDefs::Find(std::string_view name) {
    int i = IndexOf(name);
    if (i < 0) DatabaseError("Field '" + std::string(name) + "' not found");
    return &items_[size_t(i)];
}

void TIndexDefs::Add(const std::string& name, const std::string& fields, TIndexOptions options) {
    TIndexDef d;
    d.Name = name;
    if (options.Contains(ixExpression)) d.Expression = fields;
    else d.Fields = fields;
    d.Options = options;
    items_.push_back(d);
}

int TIndexDefs::IndexOf(std::string_view name) const {
    for (size_t i = 0; i < items_.size(); ++i)
        if (SameText(items_[i].Name, name)) return int(i);
    return -1;
}

TIndexDef* TIndexDefs::FindIndexForFields(std::string_view fields) {
    for (auto& d : items_)
        if (SameText(d.Fields, fields) || (!d.Expression.empty() && SameText(d.Expression, fields))) return &d;
    DatabaseError("No index for fields '" + std::string(fields) + "'");
}

// Datasets without indexes have none to read; a table fills the list from its index files.
void TIndexDefs::Update() {
    if (Reader) Reader(*this);
    updated_ = true;
}

}  // namespace vcl
