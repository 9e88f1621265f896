// Console demo of the object model: builds a small component tree with a collection, a string
// list and a custom defined property, writes it as a form file, reads it back and prints both.
#include <cstdio>
#include <string>
#include <vector>

#include "classes/collection.h"
#include "classes/component.h"
#include "classes/filer.h"
#include "classes/lists.h"
#include "rtl/sysutils.h"

namespace vcl {

DBV_ENUM(TDemoAlign, daLeft, daRight, daCenter);

// One column of a demo grid.
class TDemoColumn : public TCollectionItem {
    DBV_CLASS(TDemoColumn, TCollectionItem)
public:
    using TCollectionItem::TCollectionItem;
    std::string GetFieldName() const { return field_; }
    void SetFieldName(const std::string& v) { field_ = v; }
    int GetWidth() const { return width_; }
    void SetWidth(int v) { width_ = v; }
    TDemoAlign GetAlignment() const { return align_; }
    void SetAlignment(TDemoAlign v) { align_ = v; }

private:
    std::string field_;
    int width_ = 64;
    TDemoAlign align_ = daLeft;
};

// A non-visual component with published properties and a custom list property.
class TDemoGrid : public TComponent {
    DBV_CLASS(TDemoGrid, TComponent)
public:
    explicit TDemoGrid(TComponent* AOwner)
        : TComponent(AOwner), columns_(Create<TCollection>(TDemoColumn::StaticClass())),
          hints_(Create<TStringList>()) {}
    ~TDemoGrid() override {
        columns_->Free();
        hints_->Free();
    }
    TCollection* GetColumns() const { return columns_; }
    void SetColumns(TCollection* v) { columns_->Assign(v); }
    TStringList* GetHints() const { return hints_; }
    void SetHints(TStringList* v) { hints_->Assign(v); }
    bool GetReadOnly() const { return readOnly_; }
    void SetReadOnly(bool v) { readOnly_ = v; }
    TDemoGrid* GetMaster() const { return master_; }
    void SetMaster(TDemoGrid* v) { master_ = v; }

    // Row heights are not a published property; they stream as a list of integers.
    std::vector<int> rowHeights;
    void DefineProperties(TFiler& f) override {
        TComponent::DefineProperties(f);
        f.DefineProperty(
            "RowHeights",
            [this](TReader& r) {
                rowHeights.clear();
                r.ReadListBegin();
                while (!r.EndOfList()) rowHeights.push_back(int(r.ReadInteger()));
                r.ReadListEnd();
            },
            [this](TWriter& w) {
                w.WriteListBegin();
                for (int h : rowHeights) w.WriteInteger(h);
                w.WriteListEnd();
            },
            !rowHeights.empty());
    }
    void Notification(TComponent* c, TOperation op) override {
        TComponent::Notification(c, op);
        if (op == opRemove && c == master_) master_ = nullptr;
    }

private:
    TCollection* columns_;
    TStringList* hints_;
    bool readOnly_ = false;
    TDemoGrid* master_ = nullptr;
};

DBV_PUBLISHED(TDemoColumn) {
    b.String("FieldName", &TDemoColumn::GetFieldName, &TDemoColumn::SetFieldName);
    b.Int("Width", &TDemoColumn::GetWidth, &TDemoColumn::SetWidth, 64);
    b.Enum("Alignment", &TDemoColumn::GetAlignment, &TDemoColumn::SetAlignment, daLeft);
}
DBV_PUBLISHED(TDemoGrid) {
    b.Object("Columns", &TDemoGrid::GetColumns, &TDemoGrid::SetColumns);
    b.Object("Hints", &TDemoGrid::GetHints, &TDemoGrid::SetHints);
    b.Bool("ReadOnly", &TDemoGrid::GetReadOnly, &TDemoGrid::SetReadOnly, false);
    b.Component("Master", &TDemoGrid::GetMaster, &TDemoGrid::SetMaster);
}

}  // namespace vcl

int main() {
    using namespace vcl;
    RegisterClasses({&TDemoGrid::StaticClass(), &TDemoColumn::StaticClass(),
                     &TDataModule::StaticClass()});
    try {
        auto* module = Create<TDataModule>(nullptr);
        module->SetName("Orders");
        auto* master = Create<TDemoGrid>(module);
        master->SetName("CustomerGrid");
        auto* detail = Create<TDemoGrid>(module);
        detail->SetName("OrderGrid");
        detail->SetMaster(master);
        detail->SetReadOnly(true);
        auto* c = static_cast<TDemoColumn*>(detail->GetColumns()->Add());
        c->SetFieldName("ORDERNO");
        c->SetWidth(80);
        c = static_cast<TDemoColumn*>(detail->GetColumns()->Add());
        c->SetFieldName("AMOUNT");
        c->SetAlignment(daRight);
        detail->GetHints()->Add("First record");
        detail->GetHints()->Add("Last record");
        detail->rowHeights = {18, 18, 24};

        const std::string text = ComponentToText(module);
        std::printf("--- written ---\n%s", text.c_str());

        auto* copy = Create<TDataModule>(nullptr);
        ReadComponentFromText(text, copy);
        const std::string again = ComponentToText(copy);
        std::printf("--- read back and written again ---\n%s", again.c_str());
        std::printf("--- %s ---\n", again == text ? "identical" : "DIFFERENT");
        auto* g = static_cast<TDemoGrid*>(copy->FindComponent("OrderGrid"));
        std::printf("OrderGrid.Master = %s, %d columns, %d hints, %zu row heights\n",
                    g->GetMaster() ? g->GetMaster()->GetName().c_str() : "nil",
                    g->GetColumns()->GetCount(), g->GetHints()->GetCount(), g->rowHeights.size());
        bool same = again == text;
        copy->Free();
        module->Free();
        return same ? 0 : 1;
    } catch (const Exception& e) {
        std::fprintf(stderr, "demo: %s\n", e.what());
        return 1;
    }
}
