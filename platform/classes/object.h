// The object model: TObject with platform-style class identity, two-phase construction and
// destruction, and the class registry.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "rtl/exceptions.h"

namespace vcl {

class TObject;
class TComponent;
class TCollection;
class TPropInfo;
class TClassInfo;

// Collects the published properties of one class (implemented in rtti.h).
template <class T>
class TPropBuilder;

namespace detail {
// A factory that builds an instance of a class from the single argument its constructor takes
// (an owner component, a collection, or nothing). Null for abstract classes.
using FactoryFn = TObject* (*)(TObject* arg);
template <class T>
FactoryFn FactoryFor();
}  // namespace detail

// What the platform keeps per class: its declared name, its parent, a factory and the table of
// published properties (inherited ones first, in declaration order).
class TClassInfo {
public:
    using PropsFn = void (*)(TClassInfo&);
    TClassInfo(const char* name, const TClassInfo* parent, detail::FactoryFn factory,
               PropsFn describe);
    TClassInfo(const TClassInfo&) = delete;
    ~TClassInfo();

    const char* Name() const { return name_; }
    const TClassInfo* Parent() const { return parent_; }
    bool InheritsFrom(const TClassInfo& other) const;
    bool InheritsFrom(std::string_view className) const;  // ignoring case
    bool CanCreate() const { return factory_ != nullptr; }
    // Builds an instance (construction plus AfterConstruction). arg is the owner for
    // components, the collection for collection items, unused otherwise.
    TObject* CreateInstance(TObject* arg = nullptr) const;

    // Published properties, the parent's first; built on first use. A property a class
    // publishes again keeps its inherited place; newly published ones follow in declaration
    // order.
    const std::vector<const TPropInfo*>& Properties() const;
    const TPropInfo* FindProperty(std::string_view name) const;  // ignoring case
    // Any property this class or an ancestor declares, published or not (ignoring case).
    const TPropInfo* FindDeclaredProperty(std::string_view name) const;
    // Properties declared by this class only, in declaration order.
    const std::vector<TPropInfo*>& OwnProperties() const;
    // Used while describing: a new property of this class (the class information owns it),
    // publishing an inherited declaration, taking an inherited published property out.
    TPropInfo& AddOwnProperty();
    void AddPublish(std::string name);
    void AddHide(std::string name);

private:
    void Describe() const;
    struct TEntry {
        enum { Own, Publish, Hide } Op;
        const TPropInfo* Prop;
        std::string Name;
    };
    const char* name_;
    const TClassInfo* parent_;
    detail::FactoryFn factory_;
    PropsFn describe_;
    std::vector<TPropInfo*> own_;
    std::vector<TEntry> entries_;
    mutable std::vector<const TPropInfo*> all_;
    mutable bool described_ = false, built_ = false;
};

// Declares the class identity inside a class body:
//   class TFoo : public TComponent { DBV_CLASS(TFoo, TComponent) ... };
// and in one .cpp file, in the namespace that declares the class:
//   DBV_IMPLEMENT_CLASS(TFoo)                  -- no published properties of its own
//   DBV_PUBLISHED(TFoo) { b.Int("Width", &TFoo::GetWidth, &TFoo::SetWidth, 100); ... }
#define DBV_CLASS(T, P)                                                        \
public:                                                                        \
    using inherited = P;                                                       \
    using DeclaredClass = T;                                                   \
    static const ::vcl::TClassInfo& StaticClass();                             \
    const ::vcl::TClassInfo& ClassType() const override { return StaticClass(); }

// The same for a class defined inside a function (tests, local helpers): the class identity
// is defined in place and the class has no published properties of its own.
#define DBV_LOCAL_CLASS(T, P)                                                     \
public:                                                                           \
    using inherited [[maybe_unused]] = P;                                         \
    using DeclaredClass [[maybe_unused]] = T;                                     \
    static const ::vcl::TClassInfo& StaticClass() {                               \
        static const ::vcl::TClassInfo info(#T, &P::StaticClass(),                \
                                            ::vcl::detail::FactoryFor<T>(), nullptr); \
        return info;                                                              \
    }                                                                             \
    const ::vcl::TClassInfo& ClassType() const override { return StaticClass(); }

// True when T declares its own class identity with DBV_CLASS. A class without it would report
// its base's name, and form files would then write the wrong class.
template <class T>
concept DeclaresClass = std::is_same_v<typename T::DeclaredClass, T>;
#define DBV_ASSERT_DECLARED(T)                                                    \
    static_assert(::vcl::DeclaresClass<T>,                                        \
                  "this class lacks DBV_CLASS(Self, Parent) in its body")

#define DBV_IMPLEMENT_CLASS(T)                                                    \
    const ::vcl::TClassInfo& T::StaticClass() {                                   \
        DBV_ASSERT_DECLARED(T);                                                   \
        static const ::vcl::TClassInfo info(#T, &T::inherited::StaticClass(),     \
                                            ::vcl::detail::FactoryFor<T>(), nullptr); \
        return info;                                                              \
    }

#define DBV_PUBLISHED(T)                                                          \
    static void T##_DescribeProps(::vcl::TPropBuilder<T>& b);                     \
    const ::vcl::TClassInfo& T::StaticClass() {                                   \
        DBV_ASSERT_DECLARED(T);                                                   \
        static const ::vcl::TClassInfo info(                                      \
            #T, &T::inherited::StaticClass(), ::vcl::detail::FactoryFor<T>(),     \
            [](::vcl::TClassInfo& c) {                                            \
                ::vcl::TPropBuilder<T> b(c);                                      \
                T##_DescribeProps(b);                                             \
            });                                                                   \
        return info;                                                              \
    }                                                                             \
    static void T##_DescribeProps([[maybe_unused]] ::vcl::TPropBuilder<T>& b)

// The root of every platform class.
class TObject {
public:
    using DeclaredClass = TObject;
    TObject() = default;
    TObject(const TObject&) = delete;
    TObject& operator=(const TObject&) = delete;
    virtual ~TObject() = default;

    static const TClassInfo& StaticClass();
    virtual const TClassInfo& ClassType() const { return StaticClass(); }
    // The declared class name ("TkrDBGrid"), never a mangled one.
    std::string ClassName() const { return ClassType().Name(); }
    const TClassInfo* ClassParent() const { return ClassType().Parent(); }
    bool InheritsFrom(const TClassInfo& c) const { return ClassType().InheritsFrom(c); }
    template <class T>
    bool Is() const { return dynamic_cast<const T*>(this) != nullptr; }

    // Run once the most-derived constructor has finished (virtual calls reach overrides) and
    // once before the destructors start. Create<T>() and Free() call them.
    virtual void AfterConstruction() {}
    virtual void BeforeDestruction() {}

    // Runs BeforeDestruction and deletes the object.
    void Free();

protected:
    // Whether Create built this object, and whether Free is destroying it. Components check
    // both in debug builds: their AfterConstruction and BeforeDestruction steps (notifications,
    // an INI save) must not be skipped without a sound.
    bool BuiltByCreate() const { return lifeFlags_ & lfCreated; }
    bool FreeStarted() const { return lifeFlags_ & lfFreeing; }

private:
    template <class T, class... A>
    friend T* Create(A&&... args);
    enum : uint8_t { lfCreated = 1, lfFreeing = 2 };
    uint8_t lifeFlags_ = 0;
};

// Frees an object that may be null (the platform's Obj.Free on a nil reference is a no-op).
inline void Free(TObject* obj) {
    if (obj) obj->Free();
}
template <class T>
inline void FreeAndNil(T*& obj) {
    T* p = obj;
    obj = nullptr;
    Free(p);
}

// Builds an object in two phases: the constructor, then AfterConstruction.
template <class T, class... A>
T* Create(A&&... args) {
    DBV_ASSERT_DECLARED(T);
    T* obj = new T(std::forward<A>(args)...);
    obj->lifeFlags_ |= TObject::lfCreated;
    try {
        obj->AfterConstruction();
    } catch (...) {
        obj->Free();
        throw;
    }
    return obj;
}

// Owns an object that no component owns (an INI file, a bitmap, a string list) and frees it
// through Free on every path: auto ini = MakeOwned<TIniFile>("app.ini");
struct TFreeDeleter {
    void operator()(TObject* obj) const {
        if (obj) obj->Free();
    }
};
template <class T>
using TOwned = std::unique_ptr<T, TFreeDeleter>;
template <class T, class... A>
TOwned<T> MakeOwned(A&&... args) {
    return TOwned<T>(Create<T>(std::forward<A>(args)...));
}

// Persistent objects can copy themselves from one another and take part in streaming.
class TFiler;
class TPersistent : public TObject {
    DBV_CLASS(TPersistent, TObject)
public:
    // Copies from Source. The base asks Source to AssignTo this and raises
    // "Cannot assign a TX to a TY" when neither side knows how.
    virtual void Assign(TPersistent* Source);
    // The name path used in messages and by the designer ("Form1.Grid1.Font").
    virtual std::string GetNamePath() const;
    // Properties that are not published but still streamed (see filer.h).
    virtual void DefineProperties(TFiler& Filer);
    // The persistent object that owns this one (a font's control, a collection's owner).
    virtual TPersistent* GetOwner() const { return nullptr; }

protected:
    virtual void AssignTo(TPersistent* Dest);
    [[noreturn]] void AssignError(TPersistent* Source);
};

// ---- class registry ----
void RegisterClass(const TClassInfo& c);
void RegisterClasses(std::initializer_list<const TClassInfo*> classes);
void UnRegisterClass(const TClassInfo& c);
// Null when unknown. FindClass raises EClassNotFound "Class TX not found".
const TClassInfo* GetClass(std::string_view name);
const TClassInfo& FindClass(std::string_view name);

namespace detail {
// Reports a misuse of the object life cycle with the call stack and stops the program.
[[noreturn]] void LifecycleFault(const std::string& what);
template <class B>
B* As(TObject* a) {
    return static_cast<B*>(a);
}
template <class T>
TObject* MakeInstance(TObject* arg) {
    if constexpr (std::is_constructible_v<T, TComponent*>) {
        return ::vcl::Create<T>(As<TComponent>(arg));
    } else if constexpr (std::is_constructible_v<T, TCollection*>) {
        return ::vcl::Create<T>(As<TCollection>(arg));
    } else {
        (void)arg;
        return ::vcl::Create<T>();
    }
}
template <class T>
FactoryFn FactoryFor() {
    DBV_ASSERT_DECLARED(T);
    if constexpr (std::is_abstract_v<T>) {
        return nullptr;
    } else if constexpr (std::is_constructible_v<T, TComponent*> ||
                         std::is_constructible_v<T, TCollection*> ||
                         std::is_default_constructible_v<T>) {
        return &MakeInstance<T>;
    } else {
        return nullptr;
    }
}
}  // namespace detail

}  // namespace vcl
