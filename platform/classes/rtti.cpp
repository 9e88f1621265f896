#include "classes/rtti.h"

#include "rtl/sysutils.h"

namespace vcl {

namespace {
std::vector<std::string> SplitNames(const char* comma) {
    std::vector<std::string> out;
    std::string cur;
    for (const char* p = comma; *p; ++p) {
        if (*p == ',') {
            out.push_back(Trim(cur));
            cur.clear();
        } else {
            cur += *p;
        }
    }
    if (!Trim(cur).empty()) out.push_back(Trim(cur));
    // "alNone = 0" style entries keep only the name.
    for (std::string& s : out) {
        auto eq = s.find('=');
        if (eq != std::string::npos) s = Trim(s.substr(0, eq));
    }
    return out;
}

[[noreturn]] void Unknown(std::string_view name) {
    throw EPropertyError(Format("Unknown property: %.*s", int(name.size()), name.data()));
}

const TPropInfo& Need(TObject* obj, std::string_view name) {
    const TPropInfo* p = GetPropInfo(obj, name);
    if (!p) Unknown(name);
    return *p;
}

const TPropInfo& NeedWritable(TObject* obj, std::string_view name) {
    const TPropInfo& p = Need(obj, name);
    if (!p.IsWritable())
        throw EPropertyError(Format("Property %s is read-only", p.Name.c_str()));
    return p;
}
}  // namespace

TEnumInfo::TEnumInfo(const char* typeName, const char* commaNames, int minValue)
    : typeName_(typeName), names_(SplitNames(commaNames)), min_(minValue) {}

TEnumInfo::TEnumInfo(const char* typeName, std::vector<std::string> names, int minValue)
    : typeName_(typeName), names_(std::move(names)), min_(minValue) {}

std::string TEnumInfo::NameOf(int value) const {
    int i = value - min_;
    if (i < 0 || i >= int(names_.size())) return {};
    return names_[size_t(i)];
}

int TEnumInfo::ValueOf(std::string_view name) const {
    for (size_t i = 0; i < names_.size(); ++i)
        if (SameText(names_[i], name)) return min_ + int(i);
    return min_ - 1;
}

const TEnumInfo& BooleanTypeInfo() {
    static const TEnumInfo info("Boolean", "False, True");
    return info;
}

std::string SetToString(const TEnumInfo& elem, uint64_t bits, bool brackets) {
    std::string s;
    for (int v = elem.MinValue(); v <= elem.MaxValue() && v < 64; ++v) {
        if (v < 0 || !(bits & (uint64_t(1) << v))) continue;
        if (!s.empty()) s += ',';
        s += elem.NameOf(v);
    }
    return brackets ? "[" + s + "]" : s;
}

uint64_t StringToSet(const TEnumInfo& elem, std::string_view text) {
    std::string t = Trim(text);
    if (!t.empty() && t.front() == '[') t.erase(0, 1);
    if (!t.empty() && t.back() == ']') t.pop_back();
    uint64_t bits = 0;
    size_t start = 0;
    while (start <= t.size()) {
        size_t comma = t.find(',', start);
        std::string name = Trim(t.substr(start, comma == std::string::npos ? std::string::npos
                                                                           : comma - start));
        if (!name.empty()) {
            int v = elem.ValueOf(name);
            if (v < elem.MinValue() || v < 0 || v >= 64)
                throw EPropertyError("Invalid property value");
            bits |= uint64_t(1) << v;
        }
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return bits;
}

bool TPropInfo::IsReadable() const {
    return GetOrd || GetFloat || GetStr || GetObj || EventAssigned;
}

bool TPropInfo::IsWritable() const {
    return SetOrd || SetFloat || SetStr || SetObj || ClearEvent;
}

bool TPropInfo::IsStoredProp(TObject* obj) const {
    switch (Stored) {
        case TStoredRule::Never: return false;
        case TStoredRule::Always: return true;
        case TStoredRule::Predicate:
            if (!StoredFn(obj)) return false;
            break;  // and then the default still decides
        case TStoredRule::Default: break;
    }
    switch (Kind) {
        case tkInteger:
        case tkChar:
        case tkEnumeration:
        case tkSet: return !HasDefault || GetOrd(obj) != Default;
        case tkFloat: return GetFloat(obj) != 0.0;
        case tkString: return !GetStr(obj).empty();
        case tkComponent: return GetObj(obj) != nullptr;
        case tkClass: return true;
        case tkMethod: return EventAssigned(obj);
        case tkUnknown: break;
    }
    return false;
}

const std::vector<const TPropInfo*>& GetPropList(const TObject* obj) {
    return obj->ClassType().Properties();
}

const TPropInfo* GetPropInfo(const TObject* obj, std::string_view name) {
    return obj->ClassType().FindProperty(name);
}

int64_t GetOrdProp(TObject* obj, std::string_view name) {
    const TPropInfo& p = Need(obj, name);
    if (!p.GetOrd) throw EPropertyError(Format("Property %s is not ordinal", p.Name.c_str()));
    return p.GetOrd(obj);
}

void SetOrdProp(TObject* obj, std::string_view name, int64_t v) {
    const TPropInfo& p = NeedWritable(obj, name);
    if (!p.SetOrd) throw EPropertyError(Format("Property %s is not ordinal", p.Name.c_str()));
    p.SetOrd(obj, v);
}

std::string GetEnumProp(TObject* obj, std::string_view name) {
    const TPropInfo& p = Need(obj, name);
    if (p.Kind != tkEnumeration || !p.EnumType)
        throw EPropertyError(Format("Property %s is not an enumeration", p.Name.c_str()));
    return p.EnumType->NameOf(int(p.GetOrd(obj)));
}

void SetEnumProp(TObject* obj, std::string_view name, std::string_view ident) {
    const TPropInfo& p = NeedWritable(obj, name);
    if (p.Kind != tkEnumeration || !p.EnumType)
        throw EPropertyError(Format("Property %s is not an enumeration", p.Name.c_str()));
    int v = p.EnumType->ValueOf(ident);
    if (v < p.EnumType->MinValue()) throw EPropertyError("Invalid property value");
    p.SetOrd(obj, v);
}

std::string GetSetProp(TObject* obj, std::string_view name, bool brackets) {
    const TPropInfo& p = Need(obj, name);
    if (p.Kind != tkSet) throw EPropertyError(Format("Property %s is not a set", p.Name.c_str()));
    return SetToString(*p.EnumType, uint64_t(p.GetOrd(obj)), brackets);
}

void SetSetProp(TObject* obj, std::string_view name, std::string_view text) {
    const TPropInfo& p = NeedWritable(obj, name);
    if (p.Kind != tkSet) throw EPropertyError(Format("Property %s is not a set", p.Name.c_str()));
    p.SetOrd(obj, int64_t(StringToSet(*p.EnumType, text)));
}

std::string GetStrProp(TObject* obj, std::string_view name) {
    const TPropInfo& p = Need(obj, name);
    if (!p.GetStr) throw EPropertyError(Format("Property %s is not a string", p.Name.c_str()));
    return p.GetStr(obj);
}

void SetStrProp(TObject* obj, std::string_view name, const std::string& v) {
    const TPropInfo& p = NeedWritable(obj, name);
    if (!p.SetStr) throw EPropertyError(Format("Property %s is not a string", p.Name.c_str()));
    p.SetStr(obj, v);
}

double GetFloatProp(TObject* obj, std::string_view name) {
    const TPropInfo& p = Need(obj, name);
    if (!p.GetFloat) throw EPropertyError(Format("Property %s is not a float", p.Name.c_str()));
    return p.GetFloat(obj);
}

void SetFloatProp(TObject* obj, std::string_view name, double v) {
    const TPropInfo& p = NeedWritable(obj, name);
    if (!p.SetFloat) throw EPropertyError(Format("Property %s is not a float", p.Name.c_str()));
    p.SetFloat(obj, v);
}

TObject* GetObjectProp(TObject* obj, std::string_view name) {
    const TPropInfo& p = Need(obj, name);
    if (!p.GetObj) throw EPropertyError(Format("Property %s is not an object", p.Name.c_str()));
    return p.GetObj(obj);
}

void SetObjectProp(TObject* obj, std::string_view name, TObject* v) {
    const TPropInfo& p = NeedWritable(obj, name);
    if (!p.SetObj) throw EPropertyError(Format("Property %s is not an object", p.Name.c_str()));
    p.SetObj(obj, v);
}

bool IsStoredProp(TObject* obj, std::string_view name) {
    return Need(obj, name).IsStoredProp(obj);
}

void EnumRangeError(const TEnumInfo& info, int64_t value) {
    throw ERangeError(Format("Range check error: %lld is not a value of %s", (long long)value,
                             info.TypeName().c_str()));
}

bool IdentToOrd(const TPropInfo& p, std::string_view ident, int64_t& value) {
    if (p.Idents) return p.Idents->FromIdent(ident, value);
    if ((p.Kind == tkEnumeration) && p.EnumType) {
        int v = p.EnumType->ValueOf(ident);
        if (v < p.EnumType->MinValue()) return false;
        value = v;
        return true;
    }
    return false;
}

void SetPropValueText(TObject* obj, const TPropInfo& p, std::string_view text) {
    if (!p.IsWritable()) throw EPropertyError(Format("Property %s is read-only", p.Name.c_str()));
    auto invalid = [] { return EPropertyError("Invalid property value"); };
    switch (p.Kind) {
        case tkInteger: {
            int64_t v;
            if (IdentToOrd(p, Trim(text), v)) return p.SetOrd(obj, v);
            try {
                v = StrToInt64(Trim(text));
            } catch (const EConvertError&) {
                throw invalid();
            }
            return p.SetOrd(obj, v);
        }
        case tkChar:
            if (text.size() != 1) throw invalid();
            return p.SetOrd(obj, (unsigned char)text[0]);
        case tkEnumeration: {
            int64_t v;
            if (!IdentToOrd(p, Trim(text), v)) throw invalid();
            return p.SetOrd(obj, v);
        }
        case tkSet: return p.SetOrd(obj, int64_t(StringToSet(*p.EnumType, text)));
        case tkFloat:
            try {
                return p.SetFloat(obj, StrToFloat(Trim(text)));
            } catch (const EConvertError&) {
                throw invalid();
            }
        case tkString: return p.SetStr(obj, std::string(text));
        default: throw EPropertyError(Format("Property %s cannot be set from text", p.Name.c_str()));
    }
}

std::string GetPropValueText(TObject* obj, const TPropInfo& p) {
    switch (p.Kind) {
        case tkInteger: {
            int64_t v = p.GetOrd(obj);
            std::string ident;
            if (p.Idents && p.Idents->ToIdent(v, ident)) return ident;
            return IntToStr(v);
        }
        case tkChar: return std::string(1, char(p.GetOrd(obj)));
        case tkEnumeration: return p.EnumType ? p.EnumType->NameOf(int(p.GetOrd(obj)))
                                              : IntToStr(p.GetOrd(obj));
        case tkSet: return SetToString(*p.EnumType, uint64_t(p.GetOrd(obj)));
        case tkFloat: return FloatToStr(p.GetFloat(obj));
        case tkString: return p.GetStr(obj);
        case tkClass: return "(" + p.TypeName + ")";
        case tkComponent: {
            TObject* c = p.GetObj(obj);
            if (!c) return {};
            if (auto* pers = dynamic_cast<TPersistent*>(c)) return pers->GetNamePath();
            return c->ClassName();
        }
        case tkMethod: return p.EventAssigned(obj) ? "(assigned)" : "";
        case tkUnknown: break;
    }
    return {};
}

}  // namespace vcl
