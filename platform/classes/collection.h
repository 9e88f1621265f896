// Collections: a list of items of one class, owned by the collection, each knowing its index.
#pragma once
#include <string>
#include <vector>

#include "classes/object.h"

namespace vcl {

class TCollection;

enum TCollectionNotification { cnAdded, cnExtracting, cnDeleting };

// One entry of a collection. The constructor puts the item at the end of its collection; the
// collection hears of it (Notify cnAdded, Update) once construction has finished, so create
// items with Collection->Add() or Create<TItem>(collection). Freeing an item takes it out of
// its collection.
class TCollectionItem : public TPersistent {
    DBV_CLASS(TCollectionItem, TPersistent)
public:
    explicit TCollectionItem(TCollection* Collection);
    ~TCollectionItem() override;

    TCollection* Collection() const { return collection_; }
    // Moves the item to another collection (null takes it out of any).
    void SetCollection(TCollection* Value);
    int GetIndex() const;
    // Moves the item to Value; raises EListError "List index out of bounds (n)" when outside.
    virtual void SetIndex(int Value);
    // Unique within its collection and increasing in creation order; never reused.
    int ID() const { return id_; }
    virtual std::string GetDisplayName() const;  // the class name unless overridden
    virtual void SetDisplayName(const std::string& Value);
    std::string GetNamePath() const override;  // "Grid1.Columns[2]"
    TPersistent* GetOwner() const override;

    // Tells the collection that this item (or, with AllItems, every item) changed.
    void Changed(bool AllItems);

    void AfterConstruction() override;
    void BeforeDestruction() override;

private:
    friend class TCollection;
    TCollection* collection_ = nullptr;
    int id_ = -1;
    bool announced_ = false;  // the collection has been told of this item
};

// A collection of items of one class. It owns its items: Delete, Clear and its own
// destruction free them.
class TCollection : public TPersistent {
    DBV_CLASS(TCollection, TPersistent)
public:
    // ItemClass must describe a TCollectionItem descendant whose factory takes the collection.
    explicit TCollection(const TClassInfo& ItemClass);
    ~TCollection() override;

    TCollectionItem* Add();
    TCollectionItem* Insert(int Index);
    void Delete(int Index);
    void Clear();
    int GetCount() const { return int(items_.size()); }
    TCollectionItem* Items(int Index) const;  // EListError "List index out of bounds (n)"
    template <class T>
    T* ItemAs(int Index) const { return static_cast<T*>(Items(Index)); }
    const TClassInfo& ItemClass() const { return *itemClass_; }
    TCollectionItem* FindItemID(int ID) const;

    // Clears, then adds one item per source item and assigns it from that item.
    void Assign(TPersistent* Source) override;
    void BeginUpdate();
    void EndUpdate();
    int UpdateCount() const { return updateCount_; }

    std::string GetNamePath() const override;
    // The property of the owner that holds this collection ("Columns"), for name paths.
    const std::string& PropName() const { return propName_; }
    void SetPropName(std::string Name) { propName_ = std::move(Name); }

    void BeforeDestruction() override;

protected:
    // A change of Item, or of every item when Item is null. Not called inside
    // BeginUpdate/EndUpdate; the outer EndUpdate calls it once with null.
    virtual void Update(TCollectionItem* Item) { (void)Item; }
    // An item was added (after its construction), is being taken out, or is about to be freed
    // by Delete.
    virtual void Notify(TCollectionItem* Item, TCollectionNotification Action) { (void)Item; (void)Action; }
    void Changed();

private:
    friend class TCollectionItem;
    void InsertItem(TCollectionItem* Item);
    void Announce(TCollectionItem* Item);
    void RemoveItem(TCollectionItem* Item, bool notify);

    const TClassInfo* itemClass_;
    std::vector<TCollectionItem*> items_;
    int nextId_ = 0;
    int updateCount_ = 0;
    std::string propName_;
};

// A collection whose owner is known (a grid for its columns), so name paths and designers can
// reach the owner.
class TOwnedCollection : public TCollection {
    DBV_CLASS(TOwnedCollection, TCollection)
public:
    TOwnedCollection(TPersistent* AOwner, const TClassInfo& ItemClass)
        : TCollection(ItemClass), owner_(AOwner) {}
    TPersistent* GetOwner() const override { return owner_; }

private:
    TPersistent* owner_;
};

}  // namespace vcl
