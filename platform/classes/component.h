// TComponent: the owner tree, names, component state, notifications and loading.
#pragma once
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "classes/object.h"
#include "rtl/tset.h"
#include "classes/rtti.h"
#include "rtl/events.h"

namespace vcl {

DBV_ENUM(TComponentStateItem, csLoading, csReading, csWriting, csDestroying, csDesigning,
         csAncestor, csUpdating, csFixups, csFreeNotification, csInline, csDesignInstance);
using TComponentState = TSet<TComponentStateItem>;

DBV_ENUM(TOperation, opInsert, opRemove);
// Text alignment, shared by controls and the data layer's fields.
DBV_ENUM(TAlignment, taLeftJustify, taRightJustify, taCenter);

class TComponent;
using TGetChildProc = std::function<void(TComponent* Child)>;

class TComponent : public TPersistent {
    DBV_CLASS(TComponent, TPersistent)
public:
    // The component is in its owner's list (and has taken the owner's csDesigning) before the
    // descendant's constructor body runs. Other components hear of it (opInsert) once it is
    // fully built, in AfterConstruction.
    explicit TComponent(TComponent* AOwner);
    ~TComponent() override;

    void AfterConstruction() override;
    void BeforeDestruction() override;

    TComponent* Owner() const { return owner_; }
    TPersistent* GetOwner() const override { return owner_; }
    int ComponentCount() const { return int(components_.size()); }
    // Raises EListError "List index out of bounds (i)".
    TComponent* Components(int i) const;
    const std::vector<TComponent*>& ComponentList() const { return components_; }
    int GetComponentIndex() const;
    void SetComponentIndex(int i);

    const std::string& GetName() const { return name_; }
    // A valid identifier or empty; "A component named X already exists" within one owner
    // (compared without case); "'X' is not a valid component name" otherwise.
    virtual void SetName(const std::string& NewName);
    int GetTag() const { return tag_; }
    void SetTag(int v) { tag_ = v; }

    TComponentState ComponentState() const { return state_; }
    bool IsDesigning() const { return state_.Contains(csDesigning); }
    bool IsLoading() const { return state_.Contains(csLoading); }
    bool IsDestroying() const { return state_.Contains(csDestroying); }
    void SetDesigning(bool value, bool setChildren = true);

    // Null when absent; names compared without case.
    TComponent* FindComponent(std::string_view AName) const;
    void InsertComponent(TComponent* AComponent);
    void RemoveComponent(TComponent* AComponent);
    void DestroyComponents();
    void Destroying();

    // Ask to hear opRemove when AComponent is freed (also across owners).
    void FreeNotification(TComponent* AComponent);
    void RemoveFreeNotification(TComponent* AComponent);

    std::string GetNamePath() const override;
    // The components streamed as children of this one (none by default; containers such as
    // data modules and forms list what they own).
    virtual void GetChildren(const TGetChildProc& Proc, TComponent* Root);
    virtual TComponent* GetChildOwner();
    virtual TComponent* GetChildParent();
    // Controls have a parent besides their owner; the reader sets it from the nesting.
    virtual bool HasParent() const;
    virtual TComponent* GetParentComponent() const;
    virtual void SetParentComponent(TComponent* Value);

    // Loading protocol: the reader (or a test) sets csLoading, assigns properties, then calls
    // Loaded on each component once the whole tree is read.
    void BeginLoading();  // sets csLoading (and csReading)
    virtual void Loaded();
    // Convenience for forms built in code: BeginLoading on this and every owned component,
    // run 'assign', then Loaded on each in creation order.
    void LoadAsIfStreamed(const std::function<void()>& assign = {});

    virtual void Notification(TComponent* AComponent, TOperation Operation);

protected:
    virtual void ValidateRename(TComponent* AComponent, const std::string& CurName,
                                const std::string& NewName);
    virtual void ValidateInsert(TComponent* AComponent);
    virtual void SetChildOrder(TComponent* Child, int Order);
    void SetComponentState(TComponentState s) { state_ = s; }
    void IncludeState(TComponentStateItem s) { state_.Include(s); }
    void ExcludeState(TComponentStateItem s) { state_.Exclude(s); }
    friend class TReader;
    friend class TWriter;

private:
    void Insert(TComponent* c);
    void Remove(TComponent* c);

    TComponent* owner_ = nullptr;
    std::vector<TComponent*> components_;
    std::vector<TComponent*> freeNotifies_;
    std::string name_;
    int tag_ = 0;
    TComponentState state_;
    bool insertNotified_ = false;
};

// A non-visual container for components that other code can walk (Screen.DataModules).
class TDataModule : public TComponent {
    DBV_CLASS(TDataModule, TComponent)
public:
    explicit TDataModule(TComponent* AOwner);
    ~TDataModule() override;
    void GetChildren(const TGetChildProc& Proc, TComponent* Root) override;
    TNotifyEvent OnCreate;
    TNotifyEvent OnDestroy;
    void AfterConstruction() override;
    void BeforeDestruction() override;
};

// Every live data module, in creation order.
const std::vector<TDataModule*>& DataModules();

bool IsValidIdent(std::string_view s);

}  // namespace vcl
