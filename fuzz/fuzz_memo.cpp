// links: dbv_bde
// Fuzzes the memo readers and the dBase IV free-block chain: the input is a memo file (first
// byte: 0 dBase III, 1 dBase IV, 2 FoxPro; next four: one more block pointer) beside a small
// table whose records point into it. Every memo is read, then on the same files memos are
// replaced and cleared, which walks and rewrites the free chain.
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "bde/dbftable.h"
#include "rtl/exceptions.h"

namespace {

std::string Dir() {
    static std::string dir = [] {
        char tmpl[] = "/tmp/fuzz-memo-XXXXXX";
        return std::string(mkdtemp(tmpl));
    }();
    return dir;
}

void Put(const std::string& name, const std::string& bytes) {
    FILE* f = std::fopen(name.c_str(), "wb");
    if (!f) abort();
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}

// A table with one 10-byte memo field and records pointing at the given blocks.
std::string Table(uint8_t version, const uint32_t* blocks, int n) {
    std::string h(32, '\0');
    h[0] = char(version);
    h[4] = char(n);
    uint16_t hl = 32 + 32 + 1, rl = 11;
    h[8] = char(hl);
    h[10] = char(rl);
    h[29] = 0x03;
    std::string d(32, '\0');
    d.replace(0, 5, "NOTES");
    d[11] = 'M';
    d[16] = 10;
    std::string t = h + d + "\x0D";
    for (int i = 0; i < n; ++i) {
        char rec[16];
        std::snprintf(rec, sizeof rec, " %10u", blocks[i] % 4000000000u);
        t += rec;
    }
    return t + "\x1A";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 5) return 0;
    static const uint8_t versions[] = {0x83, 0x8B, 0xF5};
    static const char* exts[] = {".dbt", ".dbt", ".fpt"};
    int kind = data[0] % 3;
    uint32_t extra = uint32_t(data[1]) | uint32_t(data[2]) << 8 | uint32_t(data[3]) << 16 | uint32_t(data[4]) << 24;
    const uint32_t blocks[] = {1, 2, 3, 8, 9, extra};
    const std::string dbf = Dir() + "/m.dbf";
    ::unlink((Dir() + "/m.dbt").c_str());
    ::unlink((Dir() + "/m.fpt").c_str());
    Put(dbf, Table(versions[kind], blocks, 6));
    Put(Dir() + "/m" + exts[kind], std::string(reinterpret_cast<const char*>(data + 5), size - 5));
    try {
        auto t = bde::TDbfTable::Open(dbf);
        bde::TDbfRecord r(t);
        for (uint32_t i = 1; i <= t->RecordCount(); ++i) {
            r.Load(i);
            try {
                (void)r.GetMemoRaw(0);
            } catch (const vcl::Exception&) {
            }
        }
        const uint32_t count = t->RecordCount();
        for (uint32_t i = 1; i <= count; ++i) {
            try {
                r.Load(i);
                if (i % 2) r.SetMemoRaw(0, std::string(1 + i * 97, char('a' + i)));
                else r.SetNull(0);
                t->Post(r);
                bde::TDbfRecord n(t);
                n.SetMemoRaw(0, std::string(700, 'n'));
                t->Post(n);
                r.Load(i);
                (void)r.GetMemoRaw(0);
            } catch (const vcl::Exception&) {
            }
        }
    } catch (const vcl::Exception&) {
    }
    return 0;
}
