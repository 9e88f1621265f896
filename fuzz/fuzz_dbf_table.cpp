// links: dbv_bde
// Fuzzes the table header and record reader: any bytes as a .DBF file are opened, every record
// and field is read, and on a copy the writers run (append, update, delete, pack). Errors are
// fine; crashes and sanitizer reports are not.
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "bde/cursor.h"
#include "bde/dbftable.h"
#include "rtl/exceptions.h"

namespace {

std::string Dir() {
    static std::string dir = [] {
        char tmpl[] = "/tmp/fuzz-dbf-XXXXXX";
        return std::string(mkdtemp(tmpl));
    }();
    return dir;
}

void Put(const std::string& name, const uint8_t* data, size_t size) {
    FILE* f = std::fopen(name.c_str(), "wb");
    if (!f) abort();
    if (size) std::fwrite(data, 1, size, f);
    std::fclose(f);
}

void ReadAll(const std::shared_ptr<bde::TDbfTable>& t) {
    bde::TDbfCursor c(t);
    c.SetShowDeleted(true);
    bde::TDbfRecord r(t);
    c.SetToBegin();
    int n = 0;
    while (c.Next() == bde::DBIERR_NONE && n++ < 2000) {
        c.GetRecord(r);
        for (int f = 0; f < t->FieldCount(); ++f) {
            try {
                (void)r.IsNull(f);
                (void)r.GetText(f);
            } catch (const vcl::Exception&) {
            }
        }
    }
    c.Last();
    c.SetToRecordNo(t->RecordCount() / 2 + 1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string path = Dir() + "/t.dbf";
    Put(path, data, size);
    ::unlink((Dir() + "/t.dbt").c_str());
    try {
        ReadAll(bde::TDbfTable::Open(path, {.ReadOnly = true}));
    } catch (const vcl::Exception&) {
    }
    try {
        auto t = bde::TDbfTable::Open(path, {.Exclusive = true});
        if (t->RecordCount() > 0) {
            bde::TDbfRecord r(t);
            r.Load(1);
            if (t->FieldCount() > 0) {
                try {
                    r.SetText(0, "x");
                } catch (const vcl::Exception&) {
                }
            }
            t->Post(r);
            t->SetDeleted(1, true);
        }
        bde::TDbfRecord blank(t);
        t->Post(blank);
        t->Pack();
        ReadAll(t);
    } catch (const vcl::Exception&) {
    }
    return 0;
}
