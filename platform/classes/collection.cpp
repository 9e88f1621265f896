// TCollection and TCollectionItem.
#include "classes/collection.h"

#include <algorithm>

#include "rtl/sysutils.h"

namespace vcl {

DBV_IMPLEMENT_CLASS(TCollectionItem)
DBV_IMPLEMENT_CLASS(TCollection)
DBV_IMPLEMENT_CLASS(TOwnedCollection)

[[noreturn]] static void IndexError(int Index) {
    throw EListError(Format("List index out of bounds (%d)", Index));
}

// ================= TCollectionItem =================

TCollectionItem::TCollectionItem(TCollection* Collection) {
    if (Collection) Collection->InsertItem(this);
}

TCollectionItem::~TCollectionItem() {
    // Freed without Free(): leave the collection quietly, the virtual steps are gone already.
    if (collection_) collection_->RemoveItem(this, false);
}

void TCollectionItem::AfterConstruction() {
    inherited::AfterConstruction();
    if (collection_ && !announced_) collection_->Announce(this);
}

void TCollectionItem::BeforeDestruction() {
    if (collection_) collection_->RemoveItem(this, true);
    inherited::BeforeDestruction();
}

void TCollectionItem::SetCollection(TCollection* Value) {
    if (Value == collection_) return;
    if (collection_) collection_->RemoveItem(this, true);
    if (Value) {
        Value->InsertItem(this);
        Value->Announce(this);
    }
}

int TCollectionItem::GetIndex() const {
    if (!collection_) return -1;
    auto& v = collection_->items_;
    auto it = std::find(v.begin(), v.end(), this);
    return it == v.end() ? -1 : int(it - v.begin());
}

void TCollectionItem::SetIndex(int Value) {
    int cur = GetIndex();
    if (cur < 0 || cur == Value) return;
    auto& v = collection_->items_;
    if (Value < 0 || Value >= int(v.size())) IndexError(Value);
    v.erase(v.begin() + cur);
    v.insert(v.begin() + Value, this);
    Changed(true);
}

std::string TCollectionItem::GetDisplayName() const { return ClassName(); }

void TCollectionItem::SetDisplayName(const std::string&) { Changed(false); }

std::string TCollectionItem::GetNamePath() const {
    if (!collection_) return ClassName();
    return Format("%s[%d]", collection_->GetNamePath().c_str(), GetIndex());
}

TPersistent* TCollectionItem::GetOwner() const { return collection_; }

void TCollectionItem::Changed(bool AllItems) {
    if (collection_ && collection_->updateCount_ == 0) collection_->Update(AllItems ? nullptr : this);
}

// ================= TCollection =================

TCollection::TCollection(const TClassInfo& ItemClass) : itemClass_(&ItemClass) {
    if (!ItemClass.InheritsFrom(TCollectionItem::StaticClass()))
        throw EInvalidOperation(std::string("Class ") + ItemClass.Name() + " is not a collection item class");
}

TCollection::~TCollection() {
    // Freed without Free(): free the items without calling back into this object.
    std::vector<TCollectionItem*> items;
    items.swap(items_);
    for (TCollectionItem* it : items) {
        it->collection_ = nullptr;
        it->Free();
    }
}

void TCollection::BeforeDestruction() {
    updateCount_ = 1;  // no Update calls while the items go
    Clear();
    inherited::BeforeDestruction();
}

void TCollection::InsertItem(TCollectionItem* Item) {
    items_.push_back(Item);
    Item->collection_ = this;
    Item->id_ = nextId_++;
    Item->announced_ = false;
}

void TCollection::Announce(TCollectionItem* Item) {
    Item->announced_ = true;
    Notify(Item, cnAdded);
    Changed();
}

void TCollection::RemoveItem(TCollectionItem* Item, bool notify) {
    auto it = std::find(items_.begin(), items_.end(), Item);
    if (it == items_.end()) return;
    if (notify && Item->announced_) Notify(Item, cnExtracting);
    // Notify may have changed the list; look again.
    it = std::find(items_.begin(), items_.end(), Item);
    if (it != items_.end()) items_.erase(it);
    Item->collection_ = nullptr;
    if (notify) Changed();
}

TCollectionItem* TCollection::Add() {
    TObject* obj = itemClass_->CreateInstance(this);
    auto* item = dynamic_cast<TCollectionItem*>(obj);
    if (!item) {
        vcl::Free(obj);
        throw EInvalidOperation(std::string("Cannot create an item of class ") + itemClass_->Name());
    }
    if (item->collection_ != this) {
        // An item class whose constructor did not pass the collection on.
        item->SetCollection(this);
    }
    return item;
}

TCollectionItem* TCollection::Insert(int Index) {
    if (Index < 0 || Index > GetCount()) IndexError(Index);
    TCollectionItem* item = Add();
    item->SetIndex(Index);
    return item;
}

void TCollection::Delete(int Index) {
    TCollectionItem* item = Items(Index);
    Notify(item, cnDeleting);
    item->Free();
}

void TCollection::Clear() {
    if (items_.empty()) return;
    BeginUpdate();
    try {
        while (!items_.empty()) items_.back()->Free();
    } catch (...) {
        EndUpdate();
        throw;
    }
    EndUpdate();
}

TCollectionItem* TCollection::Items(int Index) const {
    if (Index < 0 || Index >= GetCount()) IndexError(Index);
    return items_[size_t(Index)];
}

TCollectionItem* TCollection::FindItemID(int ID) const {
    for (TCollectionItem* it : items_)
        if (it->id_ == ID) return it;
    return nullptr;
}

void TCollection::Assign(TPersistent* Source) {
    if (auto* src = dynamic_cast<TCollection*>(Source)) {
        if (src == this) return;
        BeginUpdate();
        try {
            Clear();
            for (int i = 0; i < src->GetCount(); ++i) Add()->Assign(src->Items(i));
        } catch (...) {
            EndUpdate();
            throw;
        }
        EndUpdate();
        return;
    }
    inherited::Assign(Source);
}

void TCollection::BeginUpdate() { ++updateCount_; }

void TCollection::EndUpdate() {
    if (updateCount_ > 0) --updateCount_;
    Changed();
}

void TCollection::Changed() {
    if (updateCount_ == 0) Update(nullptr);
}

std::string TCollection::GetNamePath() const {
    TPersistent* owner = GetOwner();
    if (!owner || propName_.empty()) return ClassName();
    std::string path = owner->GetNamePath();
    return path.empty() ? propName_ : path + "." + propName_;
}

}  // namespace vcl
