#include "classes/component.h"

#include <exception>

#include <algorithm>

#include "rtl/sysutils.h"

namespace vcl {

DBV_PUBLISHED(TComponent) {
    b.String("Name", &TComponent::GetName, &TComponent::SetName, "TComponentName").NeverStored();
    b.Int("Tag", &TComponent::GetTag, &TComponent::SetTag, 0);
}

bool IsValidIdent(std::string_view s) {
    if (s.empty()) return false;
    auto alpha = [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
    };
    if (!alpha(s[0])) return false;
    for (char c : s)
        if (!alpha(c) && !(c >= '0' && c <= '9')) return false;
    return true;
}

TComponent::TComponent(TComponent* AOwner) {
    if (AOwner) AOwner->InsertComponent(this);
}

TComponent::~TComponent() {
#ifndef NDEBUG
    // An exception leaving a constructor destroys the parts already built: no misuse.
    if (!FreeStarted() && std::uncaught_exceptions() == 0)
        detail::LifecycleFault("component '" + name_ + "' was destroyed without Free (delete or a stack object): its "
                               "BeforeDestruction did not run. Use Free, FreeAndNil or TOwned.");
#endif
    // Tell everyone who asked that this component goes away, then free what it owns (last
    // first), then leave the owner.
    state_.Include(csDestroying);
    while (!freeNotifies_.empty()) {
        TComponent* c = freeNotifies_.back();
        freeNotifies_.pop_back();
        c->RemoveFreeNotification(this);
        if (c != owner_) c->Notification(this, opRemove);
    }
    DestroyComponents();
    if (owner_) owner_->RemoveComponent(this);
}

void TComponent::AfterConstruction() {
    TPersistent::AfterConstruction();
    // Other components of the owner hear of the newcomer once it is fully built, so that
    // their handlers may look at it safely.
    if (owner_ && !insertNotified_) {
        insertNotified_ = true;
        owner_->Notification(this, opInsert);
    }
}

void TComponent::BeforeDestruction() {
#ifndef NDEBUG
    if (!BuiltByCreate())
        detail::LifecycleFault("component " + ClassName() + " '" + name_ +
                               "' was built without Create: its AfterConstruction did not run");
#endif
    if (!state_.Contains(csDestroying)) Destroying();
    TPersistent::BeforeDestruction();
}

void TComponent::Destroying() {
    if (state_.Contains(csDestroying)) return;
    state_.Include(csDestroying);
    for (TComponent* c : components_) c->Destroying();
}

TComponent* TComponent::Components(int i) const {
    if (i < 0 || i >= int(components_.size()))
        throw EListError(Format("List index out of bounds (%d)", i));
    return components_[size_t(i)];
}

int TComponent::GetComponentIndex() const {
    if (!owner_) return -1;
    auto& v = owner_->components_;
    return int(std::find(v.begin(), v.end(), this) - v.begin());
}

void TComponent::SetComponentIndex(int i) {
    if (!owner_) return;
    auto& v = owner_->components_;
    int cur = GetComponentIndex();
    if (i < 0) i = 0;
    if (i >= int(v.size())) i = int(v.size()) - 1;
    if (cur == i) return;
    v.erase(v.begin() + cur);
    v.insert(v.begin() + i, this);
}

void TComponent::SetName(const std::string& NewName) {
    if (name_ == NewName) return;
    if (!NewName.empty() && !IsValidIdent(NewName))
        throw EComponentError(Format("'%s' is not a valid component name", NewName.c_str()));
    if (owner_)
        owner_->ValidateRename(this, name_, NewName);
    else
        ValidateRename(nullptr, name_, NewName);
    name_ = NewName;
}

void TComponent::ValidateRename(TComponent* AComponent, const std::string& CurName,
                                const std::string& NewName) {
    if (AComponent && !SameText(CurName, NewName) && !NewName.empty()) {
        TComponent* other = FindComponent(NewName);
        if (other && other != AComponent)
            throw EComponentError(Format("A component named %s already exists", NewName.c_str()));
    }
}

void TComponent::ValidateInsert(TComponent*) {}

void TComponent::SetChildOrder(TComponent*, int) {}

TComponent* TComponent::FindComponent(std::string_view AName) const {
    if (AName.empty()) return nullptr;
    for (TComponent* c : components_)
        if (SameText(c->name_, AName)) return c;
    return nullptr;
}

void TComponent::Insert(TComponent* c) {
    components_.push_back(c);
    c->owner_ = this;
}

void TComponent::Remove(TComponent* c) {
    auto it = std::find(components_.begin(), components_.end(), c);
    if (it != components_.end()) components_.erase(it);
    c->owner_ = nullptr;
}

void TComponent::InsertComponent(TComponent* AComponent) {
    ValidateInsert(AComponent);
    if (AComponent->owner_) AComponent->owner_->RemoveComponent(AComponent);
    ValidateRename(AComponent, {}, AComponent->name_);
    Insert(AComponent);
    if (state_.Contains(csDesigning)) AComponent->SetDesigning(true);
    // While the newcomer is still being constructed the notification waits for
    // AfterConstruction; a component moved between owners is announced at once.
    if (AComponent->insertNotified_) Notification(AComponent, opInsert);
}

void TComponent::RemoveComponent(TComponent* AComponent) {
    ValidateRename(AComponent, AComponent->name_, {});
    Notification(AComponent, opRemove);
    Remove(AComponent);
}

void TComponent::DestroyComponents() {
    while (!components_.empty()) {
        TComponent* c = components_.back();
        // Siblings still hear of the removal; the owner itself is mid-destruction.
        Remove(c);
        for (TComponent* other : components_) other->Notification(c, opRemove);
        c->Free();
    }
}

void TComponent::SetDesigning(bool value, bool setChildren) {
    if (value)
        state_.Include(csDesigning);
    else
        state_.Exclude(csDesigning);
    if (setChildren)
        for (TComponent* c : components_) c->SetDesigning(value, true);
}

void TComponent::FreeNotification(TComponent* AComponent) {
    if (!AComponent || AComponent == this) return;
    // Components of one owner hear of each other's removal through the owner already.
    if (!owner_ || AComponent->owner_ != owner_) {
        if (std::find(freeNotifies_.begin(), freeNotifies_.end(), AComponent) ==
            freeNotifies_.end()) {
            freeNotifies_.push_back(AComponent);
            AComponent->FreeNotification(this);
        }
    }
    state_.Include(csFreeNotification);
}

void TComponent::RemoveFreeNotification(TComponent* AComponent) {
    auto it = std::find(freeNotifies_.begin(), freeNotifies_.end(), AComponent);
    if (it != freeNotifies_.end()) {
        freeNotifies_.erase(it);
        AComponent->RemoveFreeNotification(this);
    }
}

void TComponent::Notification(TComponent* AComponent, TOperation Operation) {
    if (Operation == opRemove && AComponent) RemoveFreeNotification(AComponent);
    // Every component of this owner hears of it, the affected one included. Iterate over a copy:
    // a handler may free components.
    std::vector<TComponent*> copy = components_;
    for (TComponent* c : copy) {
        if (std::find(components_.begin(), components_.end(), c) != components_.end())
            c->Notification(AComponent, Operation);
    }
}

std::string TComponent::GetNamePath() const {
    return name_;
}

void TComponent::GetChildren(const TGetChildProc&, TComponent*) {}

TComponent* TComponent::GetChildOwner() {
    return nullptr;
}

TComponent* TComponent::GetChildParent() {
    return this;
}

bool TComponent::HasParent() const {
    return false;
}

TComponent* TComponent::GetParentComponent() const {
    return nullptr;
}

void TComponent::SetParentComponent(TComponent*) {}

void TComponent::BeginLoading() {
    state_.Include(csLoading);
    state_.Include(csReading);
}

void TComponent::Loaded() {
    state_.Exclude(csLoading);
}

void TComponent::LoadAsIfStreamed(const std::function<void()>& assign) {
    std::vector<TComponent*> all{this};
    for (TComponent* c : components_) all.push_back(c);
    for (TComponent* c : all) c->BeginLoading();
    try {
        if (assign) assign();
    } catch (...) {
        for (TComponent* c : all) c->state_ -= TComponentState{csLoading, csReading};
        throw;
    }
    for (TComponent* c : all) c->state_.Exclude(csReading);
    for (TComponent* c : all) c->Loaded();
}

// ---- TDataModule ----
DBV_IMPLEMENT_CLASS(TDataModule)

namespace {
std::vector<TDataModule*>& ModuleList() {
    static std::vector<TDataModule*> list;
    return list;
}
}  // namespace

const std::vector<TDataModule*>& DataModules() {
    return ModuleList();
}

TDataModule::TDataModule(TComponent* AOwner) : TComponent(AOwner) {
    ModuleList().push_back(this);
}

TDataModule::~TDataModule() {
    auto& l = ModuleList();
    l.erase(std::remove(l.begin(), l.end(), this), l.end());
}

void TDataModule::AfterConstruction() {
    TComponent::AfterConstruction();
    if (OnCreate) OnCreate(this);
}

void TDataModule::BeforeDestruction() {
    TComponent::BeforeDestruction();
    if (OnDestroy) OnDestroy(this);
}

void TDataModule::GetChildren(const TGetChildProc& Proc, TComponent* Root) {
    (void)Root;
    for (TComponent* c : ComponentList()) Proc(c);
}

}  // namespace vcl
