// The engine's names beside the platform's: a file may open both namespaces and still use the
// platform's names unqualified. The data-access classes are not written yet; the namespace below
// stands in for the names they will declare, so any engine type taking one of them fails here.
#include <tuple>
#include <type_traits>

#include "bde_test_util.h"
#include "bde/codepage.h"
#include "bde/fields.h"
#include "bde/memofile.h"
#include "bde/osfile.h"
#include "controls/controls.h"

namespace dataaccess {
struct TBlobField;
struct TBlobStream;
struct TBookmark;
struct TDatabase;
struct TDataLink;
struct TDataSet;
struct TDataSource;
struct TDate;
struct TDateField;
struct TField;
struct TFieldDataLink;
struct TFieldDef;
struct TFieldDefs;
struct TFieldKind;
struct TFieldType;
struct TIndexDef;
struct TIndexDefs;
struct TMemoField;
struct TOpenOptions;
struct TQuery;
struct TSession;
struct TStringField;
struct TTable;
}  // namespace dataaccess

using namespace vcl;
using namespace dataaccess;
using namespace bde;

// Each name here would be ambiguous if the engine declared it too.
using DataAccessNames = std::tuple<TBlobField*, TBlobStream*, TBookmark*, TDatabase*, TDataLink*, TDataSet*,
                                   TDataSource*, TDate*, TDateField*, TField*, TFieldDataLink*, TFieldDef*,
                                   TFieldDefs*, TFieldKind*, TFieldType*, TIndexDef*, TIndexDefs*, TMemoField*,
                                   TOpenOptions*, TQuery*, TSession*, TStringField*, TTable*>;
static_assert(std::tuple_size_v<DataAccessNames> == 23);

TEST(Names, EngineTypesLeaveThePlatformNamesFree) {
    TCursor busy = crHourGlass;  // the platform's cursor id
    static_assert(std::is_same_v<TCursor, int>);
    EXPECT_EQ(busy, -11);

    // The engine's own types, unqualified in the same file.
    bdetest::TempDir dir;
    TDbfTable::Create(dir / "n.dbf", {TDbfFieldDef{"D", 'D'}, TDbfFieldDef{"M", 'M'}});
    TDbfOpenOptions options;
    auto table = TDbfTable::Open(dir / "n.dbf", options);
    TDbfRecord r(table);
    r.SetDate(0, TDbfDate{2024, 2, 29});
    r.SetMemo(1, "memo");
    TDbfCursor c(table);
    c.Append(r);
    EXPECT_EQ(table->Fields()[0].Kind, TDbfFieldKind::Date);
    TDbfBlob blob = c.OpenBlob(r, 1);
    EXPECT_EQ(blob.Size(), 4u);
}
