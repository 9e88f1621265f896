// Shared helpers of the data-access tests: small tables in a temporary directory, a table
// component, and a data link that records what it is told.
#pragma once
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bde/dbftable.h"
#include "data/db.h"
#include "data/dbtables.h"
#include "support/tempdir.h"

namespace datatest {

using TempDir = dbvtest::TTempDir;

inline std::string Name(int i) {
    char b[8];
    std::snprintf(b, sizeof b, "R%02d", i);
    return b;
}

// "people.dbf": NAME C(10) = R01.., NUM N(6) = i, AMT N(10,2) = i * 1.5, BORN D, OK L = odd.
inline void MakePeople(const TempDir& dir, int count, const std::string& file = "people.dbf") {
    bde::TDbfTable::Create(dir / file, {{"NAME", 'C', 10}, {"NUM", 'N', 6}, {"AMT", 'N', 10, 2},
                                        {"BORN", 'D'}, {"OK", 'L'}});
    auto t = bde::TDbfTable::Open(dir / file, {.Exclusive = true});
    for (int i = 1; i <= count; ++i) {
        bde::TDbfRecord r(t);
        r.SetText(0, Name(i));
        r.SetNumber(1, i);
        r.SetNumber(2, i * 1.5);
        r.SetDate(3, bde::TDbfDate{2000, 1 + (i % 12), 1 + (i % 28)});
        r.SetLogical(4, i % 2 == 1);
        t->Post(r);
    }
}

// An owner for the components of one test.
struct TFixture {
    vcl::TOwned<vcl::TComponent> Owner = vcl::MakeOwned<vcl::TComponent>(nullptr);
    vcl::TTable* Table(const TempDir& dir, const std::string& name = "people.dbf") {
        auto* t = vcl::Create<vcl::TTable>(Owner.get());
        t->SetDatabaseName(dir.Path());
        t->SetTableName(name);
        return t;
    }
    vcl::TDataSource* Source(vcl::TDataSet* ds) {
        auto* s = vcl::Create<vcl::TDataSource>(Owner.get());
        s->SetDataSet(ds);
        return s;
    }
};

// A link that writes each notification into a shared log.
class TLogLink : public vcl::TDataLink {
    DBV_LOCAL_CLASS(TLogLink, vcl::TDataLink)
public:
    explicit TLogLink(std::vector<std::string>* log = nullptr) : log_(log) {}
    std::vector<int> Scrolls;
    int Changes = 0;
    std::vector<std::string>* log_;

protected:
    void Log(const std::string& s) {
        if (log_) log_->push_back(s);
    }
    void ActiveChanged() override { Log("ActiveChanged"); }
    void CheckBrowseMode() override { Log("CheckBrowseMode"); }
    void DataSetChanged() override {
        ++Changes;
        Log("DataSetChanged");
    }
    void DataSetScrolled(int d) override {
        Scrolls.push_back(d);
        Log("DataSetScrolled(" + std::to_string(d) + ")");
    }
    void EditingChanged() override { Log("EditingChanged"); }
    void LayoutChanged() override { Log("LayoutChanged"); }
    void RecordChanged(vcl::TField* f) override { Log(f ? "RecordChanged(" + f->GetFieldName() + ")" : "RecordChanged"); }
    void UpdateData() override { Log("UpdateData"); }
};

// A logging link on a new data source of ds that asks for a window of the given size.
inline vcl::TOwned<TLogLink> NewLink(TFixture& fx, vcl::TDataSet* ds, int buffers) {
    auto link = vcl::MakeOwned<TLogLink>();
    link->SetBufferCount(buffers);
    link->SetDataSource(fx.Source(ds));
    return link;
}

// The NAME values of the link's window, in buffer order; the active record is left as it was.
inline std::string WindowNames(vcl::TDataLink& link, vcl::TDataSet* ds) {
    std::string s;
    int old = link.GetActiveRecord();
    for (int i = 0; i < link.GetRecordCount(); ++i) {
        link.SetActiveRecord(i);
        if (!s.empty()) s += ' ';
        s += ds->FieldByName("NAME")->GetAsString();
    }
    link.SetActiveRecord(old);
    return s;
}

}  // namespace datatest
