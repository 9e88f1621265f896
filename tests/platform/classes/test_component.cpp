// Ownership, names, notifications, construction-time dispatch and the loading protocol.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "classes/component.h"

using namespace vcl;

namespace {

std::vector<std::string> g_log;

class TProbe : public TComponent {
    DBV_CLASS(TProbe, TComponent)
public:
    explicit TProbe(TComponent* AOwner) : TComponent(AOwner) {
        designingInCtor = IsDesigning();
        ownerHadMeInCtor = AOwner && !AOwner->ComponentList().empty() &&
                           AOwner->ComponentList().back() == this;
    }
    ~TProbe() override { g_log.push_back("~" + GetName()); }
    void AfterConstruction() override {
        TComponent::AfterConstruction();
        Setup();  // reaches the most-derived override
    }
    void BeforeDestruction() override {
        TComponent::BeforeDestruction();
        Save();
    }
    virtual void Setup() { g_log.push_back("TProbe.Setup"); }
    virtual void Save() { g_log.push_back("TProbe.Save " + GetName()); }
    void Loaded() override {
        TComponent::Loaded();
        g_log.push_back("Loaded " + GetName());
    }
    void Notification(TComponent* AComponent, TOperation Operation) override {
        TComponent::Notification(AComponent, Operation);
        if (AComponent != this)
            g_log.push_back(GetName() + (Operation == opInsert ? " +" : " -") +
                            (AComponent ? AComponent->GetName() : std::string("?")) +
                            (AComponent && Operation == opInsert ? "(" + AComponent->ClassName() + ")" : ""));
        if (Operation == opRemove && AComponent == peer) peer = nullptr;
    }
    bool designingInCtor = false;
    bool ownerHadMeInCtor = false;
    TComponent* peer = nullptr;
};

class TDerivedProbe : public TProbe {
    DBV_CLASS(TDerivedProbe, TProbe)
public:
    using TProbe::TProbe;
    void Setup() override { g_log.push_back("TDerivedProbe.Setup"); }
    void Save() override { g_log.push_back("TDerivedProbe.Save " + GetName()); }
};

DBV_IMPLEMENT_CLASS(TProbe)
DBV_IMPLEMENT_CLASS(TDerivedProbe)

TProbe* Make(TComponent* owner, const std::string& name) {
    auto* p = Create<TProbe>(owner);
    p->SetName(name);
    return p;
}

}  // namespace

TEST(Component, ClassIdentity) {
    auto* d = Create<TDerivedProbe>(nullptr);
    EXPECT_EQ(d->ClassName(), "TDerivedProbe");
    EXPECT_STREQ(d->ClassParent()->Name(), "TProbe");
    EXPECT_TRUE(d->InheritsFrom(TComponent::StaticClass()));
    EXPECT_TRUE(d->ClassType().InheritsFrom("tpersistent"));
    EXPECT_FALSE(TProbe::StaticClass().InheritsFrom(TDerivedProbe::StaticClass()));
    d->Free();
}

TEST(Component, OwnerListAndDesignStateBeforeDescendantConstructor) {
    auto* form = Create<TComponent>(nullptr);
    form->SetDesigning(true);
    auto* p = Create<TProbe>(form);
    EXPECT_TRUE(p->designingInCtor);
    EXPECT_TRUE(p->ownerHadMeInCtor);
    EXPECT_EQ(form->ComponentCount(), 1);
    EXPECT_EQ(form->Components(0), p);
    EXPECT_THROW(form->Components(1), EListError);
    try {
        form->Components(5);
    } catch (const EListError& e) {
        EXPECT_STREQ(e.what(), "List index out of bounds (5)");
    }
    form->Free();
}

TEST(Component, VirtualStepsReachMostDerivedDuringConstructionAndDestruction) {
    g_log.clear();
    auto* d = Create<TDerivedProbe>(nullptr);
    d->SetName("D");
    d->Free();
    std::vector<std::string> want{"TDerivedProbe.Setup", "TDerivedProbe.Save D", "~D"};
    EXPECT_EQ(g_log, want);
}

TEST(Component, NamesAreIdentifiersUniqueWithinOwnerIgnoringCase) {
    auto* form = Create<TComponent>(nullptr);
    auto* a = Make(form, "Grid1");
    auto* b = Create<TProbe>(form);
    try {
        b->SetName("GRID1");
        FAIL();
    } catch (const EComponentError& e) {
        EXPECT_STREQ(e.what(), "A component named GRID1 already exists");
    }
    EXPECT_THROW(b->SetName("1abc"), EComponentError);
    EXPECT_THROW(b->SetName("a b"), EComponentError);
    b->SetName("Grid2");
    a->SetName("grid1");  // renaming itself with other case is fine
    EXPECT_EQ(form->FindComponent("GRID2"), b);
    EXPECT_EQ(form->FindComponent("nope"), nullptr);
    auto* other = Create<TComponent>(nullptr);
    Make(other, "Grid1");  // another owner may reuse the name
    other->Free();
    form->Free();
}

TEST(Component, InsertAndRemoveNotificationsReachEveryComponentOfOwner) {
    auto* form = Create<TComponent>(nullptr);
    form->SetName("Form");
    auto* a = Make(form, "A");
    g_log.clear();
    auto* b = Create<TProbe>(form);  // announced after construction, still unnamed
    b->SetName("B");
    EXPECT_EQ(g_log, (std::vector<std::string>{"A +(TProbe)", "TProbe.Setup"}));
    g_log.clear();
    a->peer = b;
    b->Free();
    EXPECT_EQ(a->peer, nullptr);
    EXPECT_EQ(g_log, (std::vector<std::string>{"TProbe.Save B", "~B", "A -B"}));
    g_log.clear();
    form->Free();
    // Owned components are freed last-first.
    EXPECT_EQ(g_log, (std::vector<std::string>{"TProbe.Save A", "~A"}));
}

TEST(Component, OwnerFreesInReverseOrderAndSiblingsHearOfIt) {
    auto* form = Create<TComponent>(nullptr);
    auto* a = Make(form, "A");
    auto* b = Make(form, "B");
    Make(form, "C");
    a->peer = b;
    g_log.clear();
    form->Free();
    // Siblings hear of each removal before the removed component's own destruction steps.
    std::vector<std::string> want{"A -C", "B -C", "TProbe.Save C", "~C", "A -B",
                                  "TProbe.Save B", "~B", "TProbe.Save A", "~A"};
    EXPECT_EQ(g_log, want);
}

TEST(Component, FreeNotificationAcrossOwners) {
    auto* f1 = Create<TComponent>(nullptr);
    auto* f2 = Create<TComponent>(nullptr);
    auto* grid = Make(f1, "Grid");
    auto* src = Make(f2, "Src");
    grid->peer = src;
    src->FreeNotification(grid);
    src->Free();
    EXPECT_EQ(grid->peer, nullptr);
    // The link is mutual and gone with either side: freeing grid later must not touch src.
    f2->Free();
    f1->Free();
}

TEST(Component, DestroyingStateReachesOwnedComponentsBeforeAnyIsFreed) {
    static bool sawOwnerDestroying = false, sawSelfDestroying = false;
    class TWatcher : public TComponent {
        DBV_LOCAL_CLASS(TWatcher, TComponent)
        using TComponent::TComponent;
        ~TWatcher() override { sawSelfDestroying = IsDestroying(); }
    };
    class TForm : public TComponent {
        DBV_LOCAL_CLASS(TForm, TComponent)
        using TComponent::TComponent;
        ~TForm() override {
            // The derived destructor body runs before owned components are freed.
            sawOwnerDestroying = ComponentCount() == 1 && Components(0)->IsDestroying();
        }
    };
    auto* form = Create<TForm>(nullptr);
    Create<TWatcher>(form);
    form->Free();
    EXPECT_TRUE(sawOwnerDestroying);
    EXPECT_TRUE(sawSelfDestroying);
}

TEST(Component, LoadedRunsOnEveryComponentInCreationOrderAfterAssignments) {
    auto* form = Create<TProbe>(nullptr);
    form->SetName("F");
    Make(form, "X");
    Make(form, "Y");
    g_log.clear();
    bool sawLoading = false;
    form->LoadAsIfStreamed([&] { sawLoading = form->Components(1)->IsLoading(); });
    EXPECT_TRUE(sawLoading);
    EXPECT_EQ(g_log, (std::vector<std::string>{"Loaded F", "Loaded X", "Loaded Y"}));
    EXPECT_FALSE(form->Components(0)->IsLoading());
    form->Free();
}

TEST(Component, ClassRegistryCreatesByName) {
    RegisterClasses({&TProbe::StaticClass(), &TDerivedProbe::StaticClass()});
    EXPECT_EQ(GetClass("tderivedprobe"), &TDerivedProbe::StaticClass());
    EXPECT_EQ(GetClass("TMissing"), nullptr);
    try {
        FindClass("TMissing");
        FAIL();
    } catch (const EClassNotFound& e) {
        EXPECT_STREQ(e.what(), "Class TMissing not found");
    }
    auto* owner = Create<TComponent>(nullptr);
    g_log.clear();
    TObject* o = FindClass("TDerivedProbe").CreateInstance(owner);
    EXPECT_EQ(o->ClassName(), "TDerivedProbe");
    EXPECT_EQ(g_log.front(), "TDerivedProbe.Setup");
    EXPECT_EQ(owner->ComponentCount(), 1);
    EXPECT_FALSE(TComponent::StaticClass().InheritsFrom(TProbe::StaticClass()));
    owner->Free();
}

TEST(Component, DataModulesAreListedWhileAlive) {
    auto* dm = Create<TDataModule>(nullptr);
    dm->SetName("DM1");
    auto* c = Create<TComponent>(dm);
    c->SetName("Src");
    ASSERT_FALSE(DataModules().empty());
    EXPECT_EQ(DataModules().back(), dm);
    std::vector<TComponent*> kids;
    dm->GetChildren([&](TComponent* k) { kids.push_back(k); }, dm);
    EXPECT_EQ(kids, std::vector<TComponent*>{c});
    dm->Free();
    EXPECT_TRUE(DataModules().empty());
}

TEST(Persistent, AssignErrorNamesBothClasses) {
    auto* a = Create<TProbe>(nullptr);
    auto* b = Create<TDerivedProbe>(nullptr);
    try {
        b->Assign(a);
        FAIL();
    } catch (const EConvertError& e) {
        EXPECT_STREQ(e.what(), "Cannot assign a TProbe to a TDerivedProbe");
    }
    a->Free();
    b->Free();
}

TEST(Component, OwnedPointerFreesThroughTheDestructionStep) {
    g_log.clear();
    {
        auto p = MakeOwned<TDerivedProbe>(nullptr);
        p->SetName("P");
        auto moved = std::move(p);  // ownership moves; the object is freed once
    }
    EXPECT_EQ(g_log, (std::vector<std::string>{"TDerivedProbe.Setup", "TDerivedProbe.Save P", "~P"}));
    TOwned<TProbe> none;  // empty: nothing to free
}

#ifndef NDEBUG
// Skipping either step of the life cycle stops a debug build with a message instead of
// silently losing a save or a notification.
TEST(ComponentDeathTest, SkippedLifeCycleStepsAreLoud) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH({ TProbe stackProbe(nullptr); }, "destroyed without Free");
    EXPECT_DEATH(
        {
            auto* p = Create<TProbe>(nullptr);
            delete p;
        },
        "destroyed without Free");
    EXPECT_DEATH((new TProbe(nullptr))->Free(), "built without Create");
}
#endif
