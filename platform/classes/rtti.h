// Run-time type information for published properties: per class, a table of properties in
// declaration order (inherited first) with kind, type name, accessors, default and stored rule.
// Streaming, the design-time interface and tests all walk properties through this one API.
#pragma once
#include <climits>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "classes/object.h"
#include "rtl/tset.h"

namespace vcl {

enum TTypeKind : int {
    tkUnknown,
    tkInteger,
    tkChar,
    tkEnumeration,  // Boolean included
    tkFloat,
    tkString,
    tkSet,
    tkClass,      // a persistent sub-object the component owns (Font, Lines, Columns)
    tkComponent,  // a reference to another component (DataSource)
    tkMethod,     // an event
};

// Names of an enumeration's values, in ordinal order from MinValue.
class TEnumInfo {
public:
    // names: "alNone, alTop, alBottom" (a comma-separated list) or separate strings.
    TEnumInfo(const char* typeName, const char* commaNames, int minValue = 0);
    TEnumInfo(const char* typeName, std::vector<std::string> names, int minValue = 0);
    const std::string& TypeName() const { return typeName_; }
    int MinValue() const { return min_; }
    int MaxValue() const { return min_ + int(names_.size()) - 1; }
    const std::vector<std::string>& Names() const { return names_; }
    // "" when the value has no name.
    std::string NameOf(int value) const;
    // -1 (or MinValue-1 when MinValue is not 0) when unknown; compared ignoring case.
    int ValueOf(std::string_view name) const;
    bool Has(std::string_view name) const { return ValueOf(name) >= min_; }

private:
    std::string typeName_;
    std::vector<std::string> names_;
    int min_;
};

const TEnumInfo& BooleanTypeInfo();

// Declares an enumeration together with the names of its values:
//   DBV_ENUM(TAlign, alNone, alTop, alBottom, alLeft, alRight, alClient);
// defines `enum TAlign : int { ... }` and `TypeInfoOf(TAlign)`, found by argument lookup.
#define DBV_ENUM(E, ...)                                              \
    enum E : int { __VA_ARGS__ };                                     \
    inline const ::vcl::TEnumInfo& TypeInfoOf(E) {                    \
        static const ::vcl::TEnumInfo info(#E, #__VA_ARGS__);         \
        return info;                                                  \
    }
// For an enumeration declared elsewhere (names listed in ordinal order).
#define DBV_ENUM_NAMES(E, ...)                                        \
    inline const ::vcl::TEnumInfo& TypeInfoOf(E) {                    \
        static const ::vcl::TEnumInfo info(#E, #__VA_ARGS__);         \
        return info;                                                  \
    }

// The enumeration names of a value, in both directions.
template <class E>
std::string EnumToIdent(E v) { return TypeInfoOf(E{}).NameOf(int(v)); }
template <class E>
bool IdentToEnum(std::string_view s, E& out) {
    const TEnumInfo& i = TypeInfoOf(E{});
    int v = i.ValueOf(s);
    if (v < i.MinValue()) return false;
    out = E(v);
    return true;
}
// "[alTop,alLeft]" from set bits of the element enumeration, and back (raises EPropertyError
// "Invalid property value" on an unknown name).
std::string SetToString(const TEnumInfo& elem, uint64_t bits, bool brackets = true);
uint64_t StringToSet(const TEnumInfo& elem, std::string_view text);

enum class TStoredRule { Default, Always, Never, Predicate };

// Names for some values of an integer type (colours, cursors): form files, the property-value
// text and the inspector show "clBtnFace" instead of -2147483633 and read either form back.
struct TIdentMap {
    // False when the value has no name.
    bool (*ToIdent)(int64_t value, std::string& ident);
    // False when the name is unknown (compared without case).
    bool (*FromIdent)(std::string_view ident, int64_t& value);
};

// The identifier map of an integer type from its pair of name functions (ColorToIdent, ...).
template <class V, bool (*ToIdentFn)(V, std::string&), bool (*FromIdentFn)(std::string_view, V&)>
const TIdentMap& IdentMapOf() {
    static const TIdentMap map{
        [](int64_t v, std::string& ident) { return ToIdentFn(V(v), ident); },
        [](std::string_view ident, int64_t& v) {
            V x{};
            if (!FromIdentFn(ident, x)) return false;
            v = x;
            return true;
        }};
    return map;
}

// A checked conversion of a stored or streamed integer to an enumeration declared with
// DBV_ENUM: raises ERangeError "Value N is out of range for TX" outside its values.
[[noreturn]] void EnumRangeError(const TEnumInfo& info, int64_t value);
template <class E>
E ToEnum(int64_t value) {
    const TEnumInfo& info = TypeInfoOf(E{});
    if (value < info.MinValue() || value > info.MaxValue()) EnumRangeError(info, value);
    return E(value);
}

class TPropInfo {
public:
    std::string Name;
    TTypeKind Kind = tkUnknown;
    std::string TypeName;              // "Integer", "Boolean", "TAlign", "TFont", "TNotifyEvent"
    const TEnumInfo* EnumType = nullptr;  // enumeration, or the element type of a set
    const TClassInfo* ClassType = nullptr;  // tkClass / tkComponent (may be null)
    int Index = INT_MIN;               // the index argument of indexed accessors
    int NameIndex = 0;                 // declaration position among the class's properties
    const TClassInfo* Owner = nullptr; // the class that declared it
    // Published properties are streamed and shown by the inspector. A property declared
    // unpublished (a Custom class's) becomes visible when a descendant publishes it.
    bool Published = true;
    const TIdentMap* Idents = nullptr;  // integer kinds: names for some values

    int64_t Default = 0;
    bool HasDefault = true;            // false: 'nodefault' (ordinal always stored)
    TStoredRule Stored = TStoredRule::Default;
    std::function<bool(TObject*)> StoredFn;

    std::function<int64_t(TObject*)> GetOrd;  // integer, char, enumeration, set bits
    std::function<void(TObject*, int64_t)> SetOrd;
    std::function<double(TObject*)> GetFloat;
    std::function<void(TObject*, double)> SetFloat;
    std::function<std::string(TObject*)> GetStr;
    std::function<void(TObject*, const std::string&)> SetStr;
    std::function<TObject*(TObject*)> GetObj;   // class and component kinds
    std::function<void(TObject*, TObject*)> SetObj;
    std::function<bool(TObject*)> EventAssigned;
    std::function<void(TObject*)> ClearEvent;

    bool IsReadable() const;
    bool IsWritable() const;
    // The stored rule applied to obj: Never, Always, or a predicate that must hold before the
    // default rule decides. By default an ordinal is stored when
    // it differs from its default (always with nodefault), a float when non-zero, a string when
    // non-empty, a component reference when set, a sub-object always (its own properties decide).
    bool IsStoredProp(TObject* obj) const;

    // Fluent modifiers used while describing a class.
    TPropInfo& AlwaysStored() { Stored = TStoredRule::Always; return *this; }
    TPropInfo& NeverStored() { Stored = TStoredRule::Never; return *this; }
    TPropInfo& NoDefault() { HasDefault = false; return *this; }
    template <class T>
    TPropInfo& StoredIf(bool (T::*pred)() const) {
        Stored = TStoredRule::Predicate;
        StoredFn = [pred](TObject* o) { return (static_cast<T*>(o)->*pred)(); };
        return *this;
    }
};

// Adds the properties of class T in declaration order. Getters and setters are member functions
// of T or of a base; a null setter makes the property read-only.
//
// Visibility follows the platform's pattern of a Custom class that declares and a concrete class
// that publishes: after Protected() the builder declares properties without publishing them;
// Published() switches back. A descendant publishes inherited declarations by name with
// Publish({...}) and can take an inherited published property out again with Hide({...}).
template <class T>
class TPropBuilder {
    DBV_ASSERT_DECLARED(T);

public:
    explicit TPropBuilder(TClassInfo& c) : c_(c) {}

    void Protected() { published_ = false; }
    void Published() { published_ = true; }
    void Publish(std::initializer_list<const char*> names) {
        for (const char* n : names) c_.AddPublish(n);
    }
    void Hide(std::initializer_list<const char*> names) {
        for (const char* n : names) c_.AddHide(n);
    }

    // An integer with names for some of its values (see TIdentMap).
    template <class G, class S>
    TPropInfo& IntIdent(const char* name, const char* typeName, const TIdentMap& idents, G get,
                        S set, int64_t def = 0) {
        TPropInfo& p = Ordinal(name, tkInteger, typeName, nullptr, get, set, def);
        p.Idents = &idents;
        return p;
    }

    template <class G, class S>
    TPropInfo& Int(const char* name, G get, S set, int64_t def = 0) {
        return Ordinal(name, tkInteger, "Integer", nullptr, get, set, def);
    }
    template <class G, class S>
    TPropInfo& Char(const char* name, G get, S set, char def = 0) {
        return Ordinal(name, tkChar, "Char", nullptr, get, set, def);
    }
    template <class G, class S>
    TPropInfo& Bool(const char* name, G get, S set, bool def = false) {
        return Ordinal(name, tkEnumeration, "Boolean", &BooleanTypeInfo(), get, set, def);
    }
    // get: E (T::*)() const with E declared by DBV_ENUM.
    template <class G, class S, class E>
    TPropInfo& Enum(const char* name, G get, S set, E def) {
        const TEnumInfo& e = TypeInfoOf(E{});
        return Ordinal(name, tkEnumeration, e.TypeName().c_str(), &e, get, set, int64_t(def));
    }
    // get: TSet<E> (B::*)() const, with B this class or a base.
    template <class E, class B, class S>
    TPropInfo& Set(const char* name, const char* typeName, TSet<E> (B::*get)() const, S set,
                   TSet<E> def = {}) {
        static_assert(std::is_base_of_v<B, T>, "the getter belongs to an unrelated class");
        TPropInfo& p = Add(name, tkSet, typeName);
        p.EnumType = &TypeInfoOf(E{});
        p.Default = int64_t(def.Bits());
        p.GetOrd = [get](TObject* o) { return int64_t((static_cast<T*>(o)->*get)().Bits()); };
        if constexpr (!std::is_null_pointer_v<S>)
            p.SetOrd = [set](TObject* o, int64_t v) {
                (static_cast<T*>(o)->*set)(TSet<E>::FromBits(uint64_t(v)));
            };
        return p;
    }
    // Indexed accessor pairs: get(index) / set(index, value), e.g. GetButton(i)/SetButton(i, v).
    template <class G, class S>
    TPropInfo& BoolAt(const char* name, int index, G get, S set, bool def = false) {
        TPropInfo& p = Add(name, tkEnumeration, "Boolean");
        p.EnumType = &BooleanTypeInfo();
        p.Index = index;
        p.Default = def;
        p.GetOrd = [get, index](TObject* o) { return int64_t((static_cast<T*>(o)->*get)(index)); };
        if constexpr (!std::is_null_pointer_v<S>)
            p.SetOrd = [set, index](TObject* o, int64_t v) { (static_cast<T*>(o)->*set)(index, v != 0); };
        return p;
    }
    template <class G, class S>
    TPropInfo& IntAt(const char* name, int index, G get, S set, int64_t def = 0) {
        TPropInfo& p = Add(name, tkInteger, "Integer");
        p.Index = index;
        p.Default = def;
        p.GetOrd = [get, index](TObject* o) { return int64_t((static_cast<T*>(o)->*get)(index)); };
        if constexpr (!std::is_null_pointer_v<S>)
            p.SetOrd = [set, index](TObject* o, int64_t v) { (static_cast<T*>(o)->*set)(index, v); };
        return p;
    }
    template <class G, class S>
    TPropInfo& Float(const char* name, G get, S set, const char* typeName = "Double") {
        TPropInfo& p = Add(name, tkFloat, typeName);
        p.GetFloat = [get](TObject* o) { return double((static_cast<T*>(o)->*get)()); };
        if constexpr (!std::is_null_pointer_v<S>)
            p.SetFloat = [set](TObject* o, double v) { (static_cast<T*>(o)->*set)(v); };
        return p;
    }
    template <class G, class S>
    TPropInfo& String(const char* name, G get, S set, const char* typeName = "string") {
        TPropInfo& p = Add(name, tkString, typeName);
        p.GetStr = [get](TObject* o) { return std::string((static_cast<T*>(o)->*get)()); };
        if constexpr (!std::is_null_pointer_v<S>)
            p.SetStr = [set](TObject* o, const std::string& v) { (static_cast<T*>(o)->*set)(v); };
        return p;
    }
    // A persistent sub-object (TFont, TStrings, TCollection, TBitmap ...). The setter, when
    // given, copies the value (Assign); streaming reads into the object the getter returns.
    template <class C, class B, class S>
    TPropInfo& Object(const char* name, C* (B::*get)() const, S set) {
        static_assert(std::is_base_of_v<B, T>, "the getter belongs to an unrelated class");
        TPropInfo& p = Add(name, tkClass, C::StaticClass().Name());
        p.ClassType = &C::StaticClass();
        p.GetObj = [get](TObject* o) -> TObject* { return (static_cast<T*>(o)->*get)(); };
        if constexpr (!std::is_null_pointer_v<S>)
            p.SetObj = [set](TObject* o, TObject* v) {
                (static_cast<T*>(o)->*set)(dynamic_cast<C*>(v));
            };
        return p;
    }
    // A reference to another component (resolved by name after a whole form is read).
    template <class C, class B, class S>
    TPropInfo& Component(const char* name, C* (B::*get)() const, S set) {
        static_assert(std::is_base_of_v<B, T>, "the getter belongs to an unrelated class");
        TPropInfo& p = Add(name, tkComponent, C::StaticClass().Name());
        p.ClassType = &C::StaticClass();
        p.GetObj = [get](TObject* o) -> TObject* { return (static_cast<T*>(o)->*get)(); };
        if constexpr (!std::is_null_pointer_v<S>)
            p.SetObj = [set](TObject* o, TObject* v) {
                C* c = dynamic_cast<C*>(v);
                if (v && !c) throw EPropertyError("Invalid property value");
                (static_cast<T*>(o)->*set)(c);
            };
        return p;
    }
    // An event held in a std::function member.
    template <class F, class Base>
    TPropInfo& Event(const char* name, const char* typeName, std::function<F> Base::*member) {
        static_assert(std::is_base_of_v<Base, T>, "the event belongs to an unrelated class");
        TPropInfo& p = Add(name, tkMethod, typeName);
        p.EventAssigned = [member](TObject* o) {
            return static_cast<bool>(static_cast<T*>(o)->*member);
        };
        p.ClearEvent = [member](TObject* o) { static_cast<T*>(o)->*member = nullptr; };
        p.Stored = TStoredRule::Never;
        return p;
    }

private:
    TPropInfo& Add(const char* name, TTypeKind kind, const char* typeName) {
        TPropInfo& p = c_.AddOwnProperty();
        p.Published = published_;
        p.Name = name;
        p.Kind = kind;
        p.TypeName = typeName;
        return p;
    }
    template <class G, class S>
    TPropInfo& Ordinal(const char* name, TTypeKind kind, const char* typeName,
                       const TEnumInfo* e, G get, S set, int64_t def) {
        TPropInfo& p = Add(name, kind, typeName);
        p.EnumType = e;
        p.Default = def;
        p.GetOrd = [get](TObject* o) { return int64_t((static_cast<T*>(o)->*get)()); };
        if constexpr (!std::is_null_pointer_v<S>)
            p.SetOrd = [set](TObject* o, int64_t v) {
                using Arg = typename SetterArg<S>::type;
                (static_cast<T*>(o)->*set)(static_cast<Arg>(v));
            };
        return p;
    }
    template <class S>
    struct SetterArg;
    template <class R, class C, class A>
    struct SetterArg<R (C::*)(A)> {
        using type = std::remove_cvref_t<A>;
    };

    TClassInfo& c_;
    bool published_ = true;
};

// ---- the property walk ----
// Published properties of an object's class, inherited first, in declaration order.
const std::vector<const TPropInfo*>& GetPropList(const TObject* obj);
// Null when absent (names compared ignoring case).
const TPropInfo* GetPropInfo(const TObject* obj, std::string_view name);
// These raise EPropertyError "Unknown property: X" / "Property X is read-only" on misuse.
int64_t GetOrdProp(TObject* obj, std::string_view name);
void SetOrdProp(TObject* obj, std::string_view name, int64_t v);
std::string GetEnumProp(TObject* obj, std::string_view name);
void SetEnumProp(TObject* obj, std::string_view name, std::string_view ident);
std::string GetSetProp(TObject* obj, std::string_view name, bool brackets = true);
void SetSetProp(TObject* obj, std::string_view name, std::string_view text);
std::string GetStrProp(TObject* obj, std::string_view name);
void SetStrProp(TObject* obj, std::string_view name, const std::string& v);
double GetFloatProp(TObject* obj, std::string_view name);
void SetFloatProp(TObject* obj, std::string_view name, double v);
TObject* GetObjectProp(TObject* obj, std::string_view name);
void SetObjectProp(TObject* obj, std::string_view name, TObject* v);
bool IsStoredProp(TObject* obj, std::string_view name);
// Any property's value as the text a person (or the object inspector) sees.
std::string GetPropValueText(TObject* obj, const TPropInfo& p);
// Sets an ordinal, float or string property from such a text (integers with names accept
// either form). Raises EPropertyError "Invalid property value" when the text does not fit.
void SetPropValueText(TObject* obj, const TPropInfo& p, std::string_view text);
// The ordinal value of an identifier for property p (an enumeration name, a named integer).
bool IdentToOrd(const TPropInfo& p, std::string_view ident, int64_t& value);

}  // namespace vcl
