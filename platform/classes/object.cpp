#include "classes/object.h"

#include <execinfo.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <map>
#include <mutex>

#include "classes/rtti.h"
#include "rtl/sysutils.h"

namespace vcl {

TClassInfo::TClassInfo(const char* name, const TClassInfo* parent, detail::FactoryFn factory,
                       PropsFn describe)
    : name_(name), parent_(parent), factory_(factory), describe_(describe) {}

TClassInfo::~TClassInfo() {
    for (TPropInfo* p : own_) delete p;
}

TPropInfo& TClassInfo::AddOwnProperty() {
    auto* p = new TPropInfo;
    p->NameIndex = int(own_.size());
    p->Owner = this;
    own_.push_back(p);
    entries_.push_back({TEntry::Own, p, {}});
    return *p;
}

void TClassInfo::AddPublish(std::string name) {
    entries_.push_back({TEntry::Publish, nullptr, std::move(name)});
}

void TClassInfo::AddHide(std::string name) {
    entries_.push_back({TEntry::Hide, nullptr, std::move(name)});
}

void TClassInfo::Describe() const {
    // Describing happens once per class; the class information lives for the process.
    if (described_) return;
    described_ = true;
    if (describe_) describe_(*const_cast<TClassInfo*>(this));
}

const std::vector<TPropInfo*>& TClassInfo::OwnProperties() const {
    Describe();
    return own_;
}

bool TClassInfo::InheritsFrom(const TClassInfo& other) const {
    for (const TClassInfo* c = this; c; c = c->parent_)
        if (c == &other) return true;
    return false;
}

bool TClassInfo::InheritsFrom(std::string_view className) const {
    for (const TClassInfo* c = this; c; c = c->parent_)
        if (SameText(c->name_, className)) return true;
    return false;
}

TObject* TClassInfo::CreateInstance(TObject* arg) const {
    if (!factory_) throw EInvalidOperation(Format("Cannot create an instance of %s", name_));
    return factory_(arg);
}

const std::vector<const TPropInfo*>& TClassInfo::Properties() const {
    if (!built_) {
        Describe();
        std::vector<const TPropInfo*> all;
        if (parent_) all = parent_->Properties();
        auto find = [&](std::string_view n) {
            return std::find_if(all.begin(), all.end(),
                                [&](const TPropInfo* q) { return SameText(q->Name, n); });
        };
        for (const TEntry& e : entries_) {
            switch (e.Op) {
                case TEntry::Own: {
                    if (!e.Prop->Published) break;
                    // A redeclared property replaces the inherited one in place.
                    auto it = find(e.Prop->Name);
                    if (it != all.end())
                        *it = e.Prop;
                    else
                        all.push_back(e.Prop);
                    break;
                }
                case TEntry::Publish: {
                    const TPropInfo* p = parent_ ? parent_->FindDeclaredProperty(e.Name) : nullptr;
                    if (!p)
                        throw EPropertyError(Format("%s publishes %s, which no ancestor declares",
                                                    name_, e.Name.c_str()));
                    if (find(e.Name) == all.end()) all.push_back(p);
                    break;
                }
                case TEntry::Hide: {
                    auto it = find(e.Name);
                    if (it != all.end()) all.erase(it);
                    break;
                }
            }
        }
        all_ = std::move(all);
        built_ = true;
    }
    return all_;
}

const TPropInfo* TClassInfo::FindProperty(std::string_view name) const {
    for (const TPropInfo* p : Properties())
        if (SameText(p->Name, name)) return p;
    return nullptr;
}

const TPropInfo* TClassInfo::FindDeclaredProperty(std::string_view name) const {
    for (const TClassInfo* c = this; c; c = c->parent_)
        for (const TPropInfo* p : c->OwnProperties())
            if (SameText(p->Name, name)) return p;
    return nullptr;
}

const TClassInfo& TObject::StaticClass() {
    static const TClassInfo info("TObject", nullptr, detail::FactoryFor<TObject>(), nullptr);
    return info;
}

void detail::LifecycleFault(const std::string& what) {
    std::fprintf(stderr, "fatal: %s\n", what.c_str());
    void* frames[32];
    int n = backtrace(frames, 32);
    backtrace_symbols_fd(frames, n, 2);
    std::abort();
}

void TObject::Free() {
    lifeFlags_ |= lfFreeing;
    BeforeDestruction();
    delete this;
}

// ---- TPersistent ----
DBV_IMPLEMENT_CLASS(TPersistent)

void TPersistent::Assign(TPersistent* Source) {
    if (Source)
        Source->AssignTo(this);
    else
        AssignError(nullptr);
}

void TPersistent::AssignTo(TPersistent* Dest) {
    Dest->AssignError(this);
}

void TPersistent::AssignError(TPersistent* Source) {
    std::string src = Source ? Source->ClassName() : std::string("nil");
    throw EConvertError(Format("Cannot assign a %s to a %s", src.c_str(), ClassName().c_str()));
}

std::string TPersistent::GetNamePath() const {
    return ClassName();
}

void TPersistent::DefineProperties(TFiler&) {}

// ---- class registry ----
namespace {
std::map<std::string, const TClassInfo*>& Registry() {
    static std::map<std::string, const TClassInfo*> r;
    return r;
}
}  // namespace

void RegisterClass(const TClassInfo& c) {
    Registry()[UpperCase(c.Name())] = &c;
}

void RegisterClasses(std::initializer_list<const TClassInfo*> classes) {
    for (const TClassInfo* c : classes) RegisterClass(*c);
}

void UnRegisterClass(const TClassInfo& c) {
    auto it = Registry().find(UpperCase(c.Name()));
    if (it != Registry().end() && it->second == &c) Registry().erase(it);
}

const TClassInfo* GetClass(std::string_view name) {
    auto it = Registry().find(UpperCase(name));
    return it == Registry().end() ? nullptr : it->second;
}

const TClassInfo& FindClass(std::string_view name) {
    const TClassInfo* c = GetClass(name);
    if (!c) throw EClassNotFound(Format("Class %.*s not found", int(name.size()), name.data()));
    return *c;
}

}  // namespace vcl
