#include <gtest/gtest.h>

#include "classes/collection.h"
#include "rtl/sysutils.h"

using namespace vcl;

namespace {

class TTestItem : public TCollectionItem {
    DBV_CLASS(TTestItem, TCollectionItem)
public:
    explicit TTestItem(TCollection* c) : TCollectionItem(c) {}
    std::string Caption;
    int Width = 64;
    void Assign(TPersistent* Source) override {
        if (auto* s = dynamic_cast<TTestItem*>(Source)) {
            Caption = s->Caption;
            Width = s->Width;
            Changed(false);
            return;
        }
        inherited::Assign(Source);
    }
    std::string GetDisplayName() const override { return Caption.empty() ? inherited::GetDisplayName() : Caption; }
};

// Records what the collection hears, in order.
class TTestCollection : public TOwnedCollection {
    DBV_CLASS(TTestCollection, TOwnedCollection)
public:
    explicit TTestCollection(TPersistent* owner) : TOwnedCollection(owner, TTestItem::StaticClass()) {}
    std::vector<std::string> log;
    TTestItem* At(int i) const { return ItemAs<TTestItem>(i); }

protected:
    void Update(TCollectionItem* Item) override {
        log.push_back(Item ? "update:" + static_cast<TTestItem*>(Item)->Caption : "update:all");
    }
    void Notify(TCollectionItem* Item, TCollectionNotification a) override {
        static const char* names[] = {"added", "extracting", "deleting"};
        // The item is complete when it is announced: its own members are readable.
        log.push_back(std::string(names[a]) + ":" + std::to_string(static_cast<TTestItem*>(Item)->Width));
    }
};

class TOwnerThing : public TPersistent {
    DBV_CLASS(TOwnerThing, TPersistent)
public:
    std::string GetNamePath() const override { return "Form1.Grid1"; }
};

std::vector<std::string> Captions(const TTestCollection& c) {
    std::vector<std::string> v;
    for (int i = 0; i < c.GetCount(); ++i) v.push_back(c.At(i)->Caption);
    return v;
}
using V = std::vector<std::string>;

}  // namespace

DBV_IMPLEMENT_CLASS(TTestItem)
DBV_IMPLEMENT_CLASS(TTestCollection)
DBV_IMPLEMENT_CLASS(TOwnerThing)

TEST(Collection, AddInsertIndexMovesAndIds) {
    TOwnerThing owner;
    auto* c = Create<TTestCollection>(&owner);
    for (const char* s : {"a", "b", "c"}) static_cast<TTestItem*>(c->Add())->Caption = s;
    EXPECT_EQ(c->log, (V{"added:64", "update:all", "added:64", "update:all", "added:64", "update:all"}));
    EXPECT_EQ(&c->ItemClass(), &TTestItem::StaticClass());
    TTestItem* a = c->At(0);
    TTestItem* cc = c->At(2);
    EXPECT_EQ(a->Collection(), c);
    EXPECT_EQ(a->ID(), 0);
    EXPECT_EQ(cc->ID(), 2);
    cc->SetIndex(0);
    EXPECT_EQ(Captions(*c), (V{"c", "a", "b"}));
    EXPECT_EQ(cc->GetIndex(), 0);
    EXPECT_EQ(a->GetIndex(), 1);
    try {
        a->SetIndex(3);
        FAIL();
    } catch (const EListError& e) {
        EXPECT_STREQ(e.what(), "List index out of bounds (3)");
    }
    EXPECT_EQ(Captions(*c), (V{"c", "a", "b"}));
    auto* ins = static_cast<TTestItem*>(c->Insert(1));
    ins->Caption = "i";
    EXPECT_EQ(Captions(*c), (V{"c", "i", "a", "b"}));
    EXPECT_EQ(ins->ID(), 3);
    // IDs are never reused, even after a delete.
    c->Delete(3);
    auto* next = static_cast<TTestItem*>(c->Add());
    EXPECT_EQ(next->ID(), 4);
    EXPECT_EQ(c->FindItemID(3), ins);
    EXPECT_EQ(c->FindItemID(2), cc);
    EXPECT_EQ(c->FindItemID(1), nullptr);
    EXPECT_THROW(c->Items(5), EListError);
    EXPECT_THROW(c->Insert(9), EListError);
    EXPECT_EQ(c->GetOwner(), &owner);
    c->SetPropName("Columns");
    EXPECT_EQ(c->GetNamePath(), "Form1.Grid1.Columns");
    EXPECT_EQ(ins->GetNamePath(), "Form1.Grid1.Columns[1]");
    EXPECT_EQ(ins->GetDisplayName(), "i");
    EXPECT_EQ(next->GetDisplayName(), "TTestItem");
    c->Free();
}

TEST(Collection, FreeingAnItemRemovesItAndUpdatesBatch) {
    auto* c = Create<TTestCollection>(nullptr);
    auto* x = static_cast<TTestItem*>(c->Add());
    auto* y = static_cast<TTestItem*>(c->Add());
    x->Caption = "x";
    y->Caption = "y";
    c->log.clear();
    y->Width = 7;
    y->Free();
    EXPECT_EQ(c->GetCount(), 1);
    EXPECT_EQ(c->log, (V{"extracting:7", "update:all"}));
    c->log.clear();
    c->Delete(0);
    EXPECT_EQ(c->log, (V{"deleting:64", "extracting:64", "update:all"}));
    c->log.clear();
    c->BeginUpdate();
    c->Add();
    c->Add();
    c->Clear();
    EXPECT_EQ(c->log, (V{"added:64", "added:64", "extracting:64", "extracting:64"}));
    c->EndUpdate();
    EXPECT_EQ(c->log.back(), "update:all");
    EXPECT_EQ(c->GetCount(), 0);
    // Moving an item to another collection.
    auto* d = Create<TTestCollection>(nullptr);
    auto* m = static_cast<TTestItem*>(c->Add());
    m->SetCollection(d);
    EXPECT_EQ(c->GetCount(), 0);
    EXPECT_EQ(d->GetCount(), 1);
    EXPECT_EQ(m->Collection(), d);
    c->Free();
    d->Free();  // frees m
}

TEST(Collection, AssignCopiesItemsThroughTheirAssign) {
    auto* src = Create<TTestCollection>(nullptr);
    auto* dst = Create<TTestCollection>(nullptr);
    for (int i = 0; i < 3; ++i) {
        auto* it = static_cast<TTestItem*>(src->Add());
        it->Caption = "c" + std::to_string(i);
        it->Width = 10 * i;
    }
    dst->Add();
    dst->log.clear();
    dst->Assign(src);
    EXPECT_EQ(Captions(*dst), (V{"c0", "c1", "c2"}));
    EXPECT_EQ(dst->At(2)->Width, 20);
    EXPECT_NE(dst->At(0), src->At(0));
    // One update for the whole assignment.
    EXPECT_EQ(std::count(dst->log.begin(), dst->log.end(), "update:all"), 1);
    EXPECT_EQ(dst->log.back(), "update:all");
    // Items that cannot assign say so with the platform's text.
    auto* plain = Create<TCollection>(TCollectionItem::StaticClass());
    plain->Add();
    auto* other = Create<TCollection>(TCollectionItem::StaticClass());
    try {
        other->Assign(plain);
        ADD_FAILURE();
    } catch (const EConvertError& e) {
        EXPECT_STREQ(e.what(), "Cannot assign a TCollectionItem to a TCollectionItem");
    }
    other->Free();
    EXPECT_THROW(Create<TCollection>(TOwnerThing::StaticClass()), EInvalidOperation);
    plain->Free();
    src->Free();
    dst->Free();
}
