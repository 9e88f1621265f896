// links: dbv_bde dbv_rtl
// Fuzzes the index page reader: the first byte picks .MDX or .NDX, the rest is the file. Its
// header, tag headers and every page of every tree are read and checked against a fixed field
// list. A damaged file must be reported as such (or its key expression refused); any other
// exception, crash, sanitizer report or hang is a fault.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "bde/index.h"

#include "fuzz_fields.h"

namespace {

std::vector<bde::TDbfFieldDesc> Fields() {
    using K = bde::TDbfFieldKind;
    return fuzzutil::TFieldListBuilder()
        .Add("NAME", 'C', K::Character, 10)
        .Add("QTY", 'N', K::Numeric, 8, 2)
        .Add("BORN", 'D', K::Date, 8)
        .Fields();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    static const std::vector<bde::TDbfFieldDesc> fields = Fields();
    const std::string image(reinterpret_cast<const char*>(data + 1), size - 1);
    const auto format = data[0] & 1 ? bde::TIndexFormat::Ndx : bde::TIndexFormat::Mdx;
    try {
        bde::CheckIndexImage(image, format, fields);
    } catch (const vcl::EDBEngineError& e) {
        switch (e.ErrorCode()) {
            case bde::DBIERR_INDEXCORRUPT:
            case bde::DBIERR_INDEXLIMIT:
            case bde::DBIERR_INVALIDEXPR:
                break;
            default:
                std::abort();
        }
    }
    return 0;
}
