#include "bde/index.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <ctime>
#include <functional>
#include <numeric>

#include "bde/index_impl.h"
#include "rtl/sysutils.h"
#include "bde/osfile.h"

namespace bde {

static_assert(std::endian::native == std::endian::little, "index keys hold little-endian doubles");

namespace {

// ---------------------------------------------------------------- layout constants

// .MDX: 512-byte pages, blocks of two pages; the file header and the tag table fill pages 0..3.
constexpr uint32_t kPage = 512;
constexpr uint32_t kMdxBlock = 1024;
constexpr uint32_t kMdxFirstTreePage = 4;
constexpr uint32_t kMdxTagTable = 544;
constexpr uint32_t kMdxTagEntry = 32;
constexpr int kMdxMaxTags = 47;
constexpr size_t kMdxWriteMark = 47;  // reserved header byte: 1 while a write is under way
constexpr size_t kMdxKeyExpr = 24, kMdxForExpr = 512, kMaxExpr = 220;
// .NDX: 512-byte blocks, the header in block 0.
constexpr uint32_t kNdxBlock = 512;
constexpr size_t kNdxWriteMark = 22;
constexpr size_t kNdxKeyExpr = 24;
constexpr int kMaxKeyLength = 100;
constexpr int kMaxDepth = 40;

uint32_t Get32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }
uint16_t Get16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
void Put32(uint8_t* p, uint32_t v) { p[0] = uint8_t(v); p[1] = uint8_t(v >> 8); p[2] = uint8_t(v >> 16); p[3] = uint8_t(v >> 24); }
void Put16(uint8_t* p, uint16_t v) { p[0] = uint8_t(v); p[1] = uint8_t(v >> 8); }

[[noreturn]] void Corrupt(const std::string& where, const std::string& what) {
    RaiseError(DBIERR_INDEXCORRUPT, "Index " + where + " is damaged: " + what);
}

std::string Upper(std::string_view s) {
    std::string r(s);
    for (char& c : r)
        if (c >= 'a' && c <= 'z') c = char(c - 32);
    return r;
}

bool SameNoCase(std::string_view a, std::string_view b) { return Upper(a) == Upper(b); }

TDbfDate Today() {
    std::time_t t = std::time(nullptr);
    std::tm tm;
    localtime_r(&t, &tm);
    return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday};
}

// ---------------------------------------------------------------- key encodings

// .MDX numbers: 12 bytes. Byte 0 is 0x34 plus the decimal exponent e of the value written as
// 0.d1d2... x 10^e; byte 1 holds the count of significant digits in bits 2..6 and the sign in
// bit 7; bytes 2..11 hold up to 20 digits, two to a byte, the first in the high half.
void EncodeBcd(double v, uint8_t* out) {
    std::memset(out, 0, 12);
    if (v == 0 || !std::isfinite(v)) {
        out[0] = 0x34;
        out[1] = 1 << 2;
        return;
    }
    // The shortest decimal that reads back as v: "d.ddde+XX".
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, std::fabs(v), std::chars_format::scientific);
    const char* end = r.ptr;
    const char* e = std::find(static_cast<const char*>(buf), end, 'e');
    char digits[24];
    size_t n = 0;
    for (const char* c = buf; c < e && n < 20; ++c)
        if (*c != '.') digits[n++] = *c;
    while (n > 1 && digits[n - 1] == '0') --n;
    int exp10 = 0;
    std::from_chars(e + 1 + (e + 1 < end && e[1] == '+'), end, exp10);
    int biased = std::clamp(0x34 + exp10 + 1, 1, 255);
    out[0] = uint8_t(biased);
    out[1] = uint8_t(n << 2) | (v < 0 ? 0x80 : 0);
    for (size_t i = 0; i < n; ++i)
        out[2 + i / 2] |= uint8_t((digits[i] - '0') << (i % 2 ? 0 : 4));
}

bool BcdIsZero(const uint8_t* p) {
    for (int i = 2; i < 12; ++i)
        if (p[i]) return false;
    return true;
}

int CompareBcd(const uint8_t* a, const uint8_t* b) {
    int sa = BcdIsZero(a) ? 0 : (a[1] & 0x80) ? -1 : 1;
    int sb = BcdIsZero(b) ? 0 : (b[1] & 0x80) ? -1 : 1;
    if (sa != sb) return sa < sb ? -1 : 1;
    if (sa == 0) return 0;
    int c = a[0] != b[0] ? (a[0] < b[0] ? -1 : 1) : std::memcmp(a + 2, b + 2, 10);
    c = c < 0 ? -1 : c > 0 ? 1 : 0;
    return sa * c;
}

double DecodeBcd(const uint8_t* p) {
    if (BcdIsZero(p)) return 0;
    int n = std::min(20, (p[1] >> 2) & 0x1F);
    double v = 0;
    for (int i = 0; i < n; ++i) v = v * 10 + ((p[2 + i / 2] >> (i % 2 ? 0 : 4)) & 0xF);
    v *= std::pow(10.0, double(int(p[0]) - 0x34 - n));
    return (p[1] & 0x80) ? -v : v;
}

double GetDouble(const uint8_t* p) {
    double d;
    std::memcpy(&d, p, 8);
    return d;
}

int CompareDouble(const uint8_t* a, const uint8_t* b) {
    double x = GetDouble(a), y = GetDouble(b);
    return x < y ? -1 : x > y ? 1 : 0;
}

}  // namespace

// While a tag loads, a refresh of the table must not reread the index files under it.
thread_local bool tSyncSuppressed = false;

// ====================================================================== tags

struct TIndexTag::TImpl {
    TIndexFile* file = nullptr;
    TIndexTagDef def;
    TKeyType type = TKeyType::Character;
    bool mdx = true;
    int keyLen = 0;
    std::unique_ptr<TExpr> key, cond;
    // On disk (from the header).
    uint32_t root = 0;
    uint32_t headerPage = 0;
    bool dropped = false;
    // In memory: every entry (key bytes, then the record number), sorted in tag order. A unique
    // tag keeps every candidate here once they are known and shows the first of each key.
    bool loaded = false;
    bool candidatesKnown = false;
    std::vector<uint8_t> entries;
    std::vector<uint8_t> visible;
    bool visibleDirty = false;
    // Changes of a batch, in order (entry, then 1 for an insertion or 0 for a removal), merged
    // into the run in one pass when the batch ends or the tag is read.
    std::vector<uint8_t> pending;

    size_t Stride() const { return size_t(keyLen) + 4; }
    int Cmp(const uint8_t* a, const uint8_t* b, size_t prefix = 0) const {
        int c;
        if (type == TKeyType::Character) {
            c = std::memcmp(a, b, prefix ? prefix : size_t(keyLen));
            c = c < 0 ? -1 : c > 0 ? 1 : 0;
        } else if (type == TKeyType::Numeric && mdx) {
            c = CompareBcd(a, b);
        } else {
            c = CompareDouble(a, b);
        }
        return def.Descending ? -c : c;
    }
    // Full order: key, then record number.
    int CmpEntry(const uint8_t* a, const uint8_t* b) const {
        int c = Cmp(a, b);
        if (c) return c;
        uint32_t ra, rb;
        std::memcpy(&ra, a + keyLen, 4);
        std::memcpy(&rb, b + keyLen, 4);
        return ra < rb ? -1 : ra > rb ? 1 : 0;
    }
    const std::vector<uint8_t>& Visible() {
        if (!def.Unique || !candidatesKnown) return entries;
        if (visibleDirty) {
            visible.clear();
            size_t s = Stride();
            for (size_t at = 0; at < entries.size(); at += s)
                if (visible.empty() || Cmp(&visible[visible.size() - s], &entries[at]) != 0)
                    visible.insert(visible.end(), entries.begin() + long(at), entries.begin() + long(at + s));
            visibleDirty = false;
        }
        return visible;
    }
    void EncodeValueInto(const TExprValue& v, uint8_t* out) const {
        switch (type) {
            case TKeyType::Character: {
                size_t n = std::min(v.Text.size(), size_t(keyLen));
                std::memcpy(out, v.Text.data(), n);
                std::memset(out + n, ' ', size_t(keyLen) - n);
                break;
            }
            case TKeyType::Numeric:
                if (mdx) EncodeBcd(v.Number, out);
                else std::memcpy(out, &v.Number, 8);
                break;
            case TKeyType::Date: {
                double d = v.Julian;
                std::memcpy(out, &d, 8);
                break;
            }
        }
    }
    // The entry of a record (key bytes and record number) when the record belongs in the tag.
    bool MakeEntry(const uint8_t* rec, uint32_t recNo, uint8_t* out) {
        if (cond && !cond->Matches(rec, recNo)) return false;
        EncodeValueInto(key->Evaluate(rec, recNo), out);
        std::memcpy(out + keyLen, &recNo, 4);
        return true;
    }
    size_t Lower(const uint8_t* entry) const {
        size_t s = Stride(), lo = 0, hi = entries.size() / s;
        while (lo < hi) {
            size_t mid = (lo + hi) / 2;
            if (CmpEntry(&entries[mid * s], entry) < 0) lo = mid + 1;
            else hi = mid;
        }
        return lo;
    }
    void Insert(const uint8_t* entry) {
        size_t s = Stride(), at = Lower(entry) * s;
        entries.insert(entries.begin() + long(at), entry, entry + s);
        visibleDirty = true;
    }
    void Erase(const uint8_t* entry, uint32_t recNo) {
        size_t s = Stride(), at = Lower(entry) * s;
        if (at < entries.size() && std::memcmp(&entries[at], entry, s) == 0) {
            entries.erase(entries.begin() + long(at), entries.begin() + long(at + s));
        } else {
            // The stored key differs from what the old record gives now: find it by number.
            for (at = 0; at < entries.size(); at += s) {
                uint32_t r;
                std::memcpy(&r, &entries[at + size_t(keyLen)], 4);
                if (r == recNo) {
                    entries.erase(entries.begin() + long(at), entries.begin() + long(at + s));
                    break;
                }
            }
        }
        visibleDirty = true;
    }
    void Defer(const uint8_t* entry, bool insert) {
        pending.insert(pending.end(), entry, entry + Stride());
        pending.push_back(insert ? 1 : 0);
    }
    void ApplyPending() {
        if (pending.empty()) return;
        const size_t s = Stride(), ps = s + 1, m = pending.size() / ps;
        // The last change of each entry decides; a stable sort keeps them in order.
        std::vector<uint32_t> order(m);
        std::iota(order.begin(), order.end(), 0u);
        std::stable_sort(order.begin(), order.end(),
                         [&](uint32_t a, uint32_t b) { return CmpEntry(&pending[a * ps], &pending[b * ps]) < 0; });
        std::vector<uint8_t> merged;
        merged.reserve(entries.size() + m * s);
        size_t at = 0;
        for (size_t i = 0; i < m; ++i) {
            const uint8_t* e = &pending[order[i] * ps];
            if (i + 1 < m && std::memcmp(e, &pending[order[i + 1] * ps], s) == 0) continue;
            while (at < entries.size() && CmpEntry(&entries[at], e) < 0) {
                merged.insert(merged.end(), entries.begin() + long(at), entries.begin() + long(at + s));
                at += s;
            }
            bool present = at < entries.size() && std::memcmp(&entries[at], e, s) == 0;
            if (present) at += s;
            if (e[s]) merged.insert(merged.end(), e, e + s);
        }
        merged.insert(merged.end(), entries.begin() + long(at), entries.end());
        entries.swap(merged);
        pending.clear();
        pending.shrink_to_fit();
        visibleDirty = true;
    }
    // An order-preserving 64-bit prefix of a key: the first 8 bytes of text, or the bits of the
    // number, so that most comparisons of a sort are one integer comparison.
    uint64_t Prefix(const uint8_t* key, int from = 0) const {
        uint64_t p = 0;
        if (type == TKeyType::Character) {
            for (int i = from; i < from + 8; ++i) p = p << 8 | (i < keyLen ? key[i] : 0);
        } else if (type == TKeyType::Numeric && mdx) {
            // Sign, exponent and the first 13 digits: zero in the middle, negatives below it
            // with larger magnitudes lower.
            if (BcdIsZero(key)) {
                p = 0x8000000000000000ull;
            } else {
                uint64_t m = uint64_t(key[0]) << 52;
                for (int i = 0; i < 13; ++i) m |= uint64_t((key[2 + i / 2] >> (i % 2 ? 0 : 4)) & 0xF) << (48 - 4 * i);
                p = (key[1] & 0x80) ? 0x7FFFFFFFFFFFFFFFull - m : 0x8000000000000000ull | m;
            }
        } else {
            double d = GetDouble(key);
            if (d == 0) d = 0;  // no negative zero
            uint64_t bits = std::bit_cast<uint64_t>(d);
            p = (bits & 0x8000000000000000ull) ? ~bits : bits ^ 0x8000000000000000ull;
        }
        return def.Descending ? ~p : p;
    }
    // Sorts entries that were appended in record-number order.
    void SortEntries() {
        const size_t s = Stride(), n = entries.size() / s;
        struct TItem {
            uint64_t prefix, prefix2;
            uint32_t at;
        };
        std::vector<TItem> items(n);
        const bool text = type == TKeyType::Character;
        for (size_t i = 0; i < n; ++i)
            items[i] = {Prefix(&entries[i * s]), text && keyLen > 8 ? Prefix(&entries[i * s], 8) : 0, uint32_t(i)};
        // Entries arrive in record order. A double's prefix is its whole value, and so are 16
        // bytes of text for keys no longer: equal prefixes are equal keys, kept in arrival order.
        // Equal key bytes are equal keys too.
        const bool exact = (!text && !(type == TKeyType::Numeric && mdx)) || (text && keyLen <= 16);
        std::sort(items.begin(), items.end(), [&](const TItem& a, const TItem& b) {
            if (a.prefix != b.prefix) return a.prefix < b.prefix;
            if (a.prefix2 != b.prefix2) return a.prefix2 < b.prefix2;
            if (exact) return a.at < b.at;
            const uint8_t* x = &entries[size_t(a.at) * s];
            const uint8_t* y = &entries[size_t(b.at) * s];
            if (std::memcmp(x, y, size_t(keyLen)) == 0) return a.at < b.at;
            return CmpEntry(x, y) < 0;
        });
        // Permute in place, cycle by cycle: position i takes the entry from items[i].at.
        std::vector<uint8_t> hold(s);
        for (size_t i = 0; i < n; ++i) {
            if (items[i].at == i || items[i].at == UINT32_MAX) continue;
            std::memcpy(hold.data(), &entries[i * s], s);
            size_t j = i;
            for (;;) {
                size_t from = items[j].at;
                items[j].at = UINT32_MAX;
                if (from == i) {
                    std::memcpy(&entries[j * s], hold.data(), s);
                    break;
                }
                std::memcpy(&entries[j * s], &entries[from * s], s);
                j = from;
            }
        }
        visibleDirty = true;
    }
};

TIndexTag::TIndexTag(std::unique_ptr<TImpl> impl) : impl_(std::move(impl)) {}
TIndexTag::~TIndexTag() = default;
const std::string& TIndexTag::GetName() const { return impl_->def.Name; }
const TIndexTagDef& TIndexTag::GetDef() const { return impl_->def; }
TKeyType TIndexTag::GetKeyType() const { return impl_->type; }
int TIndexTag::GetKeyLength() const { return impl_->keyLen; }
TIndexFile& TIndexTag::GetFile() const {
    if (impl_->dropped) RaiseError(DBIERR_NOSUCHINDEX, "Tag " + impl_->def.Name + " has been deleted");
    if (!impl_->file) RaiseError(DBIERR_INVALIDPARAM, "The table of index tag " + impl_->def.Name + " is closed");
    return *impl_->file;
}

// ====================================================================== files

struct TIndexFile::TImpl {
    TDbfTable* table = nullptr;  // null for an image checked on its own
    const std::vector<TDbfFieldDesc>* fields = nullptr;
    std::string path;
    TIndexFormat format = TIndexFormat::Mdx;
    TOsFile file;
    std::string_view image;  // an image in memory (or the file mapped while a tag loads)
    bool useImage = false;
    bool writable = false;
    bool durable = false;  // sync before the rename (power loss), not only order the steps
    std::vector<std::shared_ptr<TIndexTag>> tags;
    std::string problem;
    bool rebuilt = false;
    bool stale = false;    // held rebuilt in memory only
    bool marked = false;   // our write mark is on the file
    bool changed = false;  // entries changed since the file was written
    uint8_t created[3] = {0, 1, 1};
    uint64_t fileSize = 0;

    bool Mdx() const { return format == TIndexFormat::Mdx; }
    void ReadAt(uint64_t off, uint8_t* buf, size_t n) const {
        if (useImage) {
            if (off > image.size() || image.size() - off < n) Corrupt(path, "a page lies past the end of the file");
            std::memcpy(buf, image.data() + off, n);
            return;
        }
        // Pages come through a 256 KB window: a tree written in key order is read in a few
        // large reads instead of one read per page.
        if (!windowed) {
            if (file.ReadAt(off, buf, n) != n) Corrupt(path, "a page lies past the end of the file");
            return;
        }
        if (off < chunkOff || off + n > chunkOff + chunk.size()) {
            chunkOff = off & ~uint64_t(kChunk - 1);
            chunk.resize(kChunk);
            chunk.resize(file.ReadAt(chunkOff, chunk.data(), kChunk));
            if (off + n > chunkOff + chunk.size()) Corrupt(path, "a page lies past the end of the file");
        }
        std::memcpy(buf, chunk.data() + (off - chunkOff), n);
    }
    static constexpr size_t kChunk = 256 * 1024;
    bool windowed = false;  // only while a tag loads: the file cannot change under it
    mutable std::vector<uint8_t> chunk;
    mutable uint64_t chunkOff = 0;
    std::unique_ptr<TExpr> Compile(const std::string& text) {
        if (table) return TExpr::Compile(text, *table);
        return TExpr::Compile(text, *fields, nullptr);
    }
    std::shared_ptr<TIndexTag> MakeTag(const TIndexTagDef& def, char keyTypeOnDisk);
    void Parse();
    void ParseMdx(const uint8_t* h);
    void ParseNdx(const uint8_t* h);
    void Load(TIndexTag::TImpl& t);
    void Walk(TIndexTag::TImpl& t, uint32_t page, int depth, int& leafDepth, std::vector<bool>& seen,
              std::vector<uint8_t>& out);
    void Build(TIndexTag::TImpl& t, const TProgressCallback& progress);
    void Ensure(TIndexTag::TImpl& t) {
        if (!problem.empty()) RaiseError(DBIERR_INDEXCORRUPT, problem);
        if (t.dropped) RaiseError(DBIERR_NOSUCHINDEX, "Tag " + t.def.Name + " has been deleted");
        if (!t.loaded) Load(t);
        t.ApplyPending();
    }
    void KnowCandidates(TIndexTag::TImpl& t) {
        Ensure(t);
        if (t.def.Unique && !t.candidatesKnown) Build(t, {});
    }
    std::string Image();
    void Write();
    void Mark();
    void Unmark();
    void Reopen();
};

TIndexFile::TIndexFile(std::unique_ptr<TImpl> impl) : impl_(std::move(impl)) {}
TIndexFile::~TIndexFile() = default;
const std::string& TIndexFile::GetPath() const { return impl_->path; }
TIndexFormat TIndexFile::GetFormat() const { return impl_->format; }
const std::vector<std::shared_ptr<TIndexTag>>& TIndexFile::Tags() const { return impl_->tags; }
const std::string& TIndexFile::GetProblem() const { return impl_->problem; }
bool TIndexFile::WasRebuilt() const { return impl_->rebuilt; }

std::shared_ptr<TIndexTag> TIndexFile::FindTag(std::string_view name) const {
    for (auto& t : impl_->tags)
        if (SameNoCase(t->GetName(), name)) return t;
    return nullptr;
}

std::shared_ptr<TIndexTag> TIndexFile::TImpl::MakeTag(const TIndexTagDef& def, char keyTypeOnDisk) {
    auto impl = std::make_unique<TIndexTag::TImpl>();
    impl->file = nullptr;
    impl->def = def;
    impl->mdx = Mdx();
    impl->key = Compile(def.Expression);
    if (!def.ForCondition.empty()) {
        impl->cond = Compile(def.ForCondition);
        if (impl->cond->GetResultType().Type != TExprType::Logical)
            throw EExprError(1, "The FOR condition of " + def.Name + " is not a logical expression");
    }
    const TExprTypeInfo& rt = impl->key->GetResultType();
    switch (rt.Type) {
        case TExprType::Character:
            impl->type = TKeyType::Character;
            impl->keyLen = rt.Length;
            if (rt.Length <= 0) throw EExprError(1, "The key " + def.Expression + " has no fixed length");
            if (rt.Length > kMaxKeyLength)
                RaiseError(DBIERR_INDEXLIMIT, "The key " + def.Expression + " is " + std::to_string(rt.Length) +
                                                  " bytes long; keys are at most " + std::to_string(kMaxKeyLength));
            break;
        case TExprType::Numeric:
            impl->type = TKeyType::Numeric;
            impl->keyLen = Mdx() ? 12 : 8;
            break;
        case TExprType::Date:
            impl->type = TKeyType::Date;
            impl->keyLen = 8;
            break;
        case TExprType::Logical: throw EExprError(1, "The key " + def.Expression + " is logical; keys are text, numbers or dates");
    }
    char want = impl->type == TKeyType::Character ? 'C' : impl->type == TKeyType::Numeric ? 'N' : 'D';
    if (keyTypeOnDisk && keyTypeOnDisk != want && !(!Mdx() && keyTypeOnDisk == 'N' && want == 'D'))
        Corrupt(path, "tag " + def.Name + " says its keys are of type '" + PrintableBytes(std::string_view(&keyTypeOnDisk, 1)) +
                          "' but its expression gives '" + want + "'");
    auto tag = std::make_shared<TIndexTag>(std::move(impl));
    return tag;
}

// ---------------------------------------------------------------- reading headers

static std::string CString(const uint8_t* p, size_t max) {
    size_t n = 0;
    while (n < max && p[n]) ++n;
    std::string s(reinterpret_cast<const char*>(p), n);
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
}

void TIndexFile::TImpl::Parse() {
    tags.clear();
    problem.clear();
    fileSize = useImage ? image.size() : file.Size();
    try {
        std::vector<uint8_t> h(Mdx() ? 2048 : kNdxBlock);
        if (fileSize < h.size()) Corrupt(path, "the file is too short to hold its header");
        ReadAt(0, h.data(), h.size());
        if (Mdx()) ParseMdx(h.data());
        else ParseNdx(h.data());
    } catch (const EExprError& e) {
        problem = "Index " + path + " is damaged: a key expression does not compile (" + e.what() + ")";
        tags.clear();
    } catch (const vcl::EDBEngineError& e) {
        if (e.ErrorCode() != DBIERR_INDEXCORRUPT && e.ErrorCode() != DBIERR_INDEXLIMIT) throw;
        problem = e.what();
        tags.clear();
    }
}

void TIndexFile::TImpl::ParseMdx(const uint8_t* h) {
    if (h[0] != 2) Corrupt(path, "the version byte is " + std::to_string(h[0]) + ", not 2");
    uint16_t pagesPerBlock = Get16(h + 20), blockBytes = Get16(h + 22);
    if (pagesPerBlock != 2 || blockBytes != kMdxBlock)
        RaiseError(DBIERR_INDEXCORRUPT, "Index " + path + " uses blocks of " + std::to_string(blockBytes) +
                                            " bytes; this engine reads blocks of 1024");
    if (h[26] != kMdxTagEntry) Corrupt(path, "tag entries are " + std::to_string(h[26]) + " bytes, not 32");
    uint16_t inUse = Get16(h + 28);
    if (inUse > kMdxMaxTags) Corrupt(path, std::to_string(inUse) + " tags are in use; the file has room for 47");
    uint32_t pages = Get32(h + 32);
    if (uint64_t(pages) * kPage > fileSize) Corrupt(path, "the header counts more pages than the file holds");
    std::memcpy(created, h + 1, 3);
    if (h[kMdxWriteMark] != 0) stale = true;
    for (int i = 0; i < inUse; ++i) {
        const uint8_t* e = h + kMdxTagTable + size_t(i) * kMdxTagEntry;
        uint32_t headerPage = Get32(e);
        std::string name = CString(e + 4, 11);
        if (name.empty()) Corrupt(path, "tag " + std::to_string(i + 1) + " has no name");
        if (headerPage < kMdxFirstTreePage || uint64_t(headerPage) * kPage + kMdxBlock > fileSize)
            Corrupt(path, "tag " + PrintableBytes(name) + " has its header at page " + std::to_string(headerPage) +
                              ", outside the file");
        uint8_t th[kMdxBlock];
        ReadAt(uint64_t(headerPage) * kPage, th, sizeof th);
        TIndexTagDef def;
        def.Name = PrintableBytes(name);
        def.Expression = CString(th + kMdxKeyExpr, kMaxExpr);
        def.ForCondition = CString(th + kMdxForExpr, kMaxExpr);
        def.Descending = (th[8] & 0x08) != 0;
        def.Unique = (th[8] & 0x40) != 0;
        if (def.Expression.empty()) Corrupt(path, "tag " + def.Name + " has no key expression");
        auto tag = MakeTag(def, char(th[9]));
        auto& t = tag->Impl();
        if (Get16(th + 12) != t.keyLen)
            Corrupt(path, "tag " + def.Name + " has keys of " + std::to_string(Get16(th + 12)) + " bytes; its expression gives " +
                              std::to_string(t.keyLen));
        uint16_t item = Get16(th + 18);
        if (item != ((t.keyLen + 4 + 3) & ~3)) Corrupt(path, "tag " + def.Name + " has key entries of " + std::to_string(item) + " bytes");
        t.root = Get32(th);  // checked with the pages, so that a damaged tree can still be rebuilt
        t.headerPage = headerPage;
        tags.push_back(tag);
    }
}

void TIndexFile::TImpl::ParseNdx(const uint8_t* h) {
    uint32_t root = Get32(h), blocks = Get32(h + 4);
    if (uint64_t(blocks) * kNdxBlock > fileSize) Corrupt(path, "the header counts more blocks than the file holds");
    if (h[kNdxWriteMark] != 0) stale = true;
    TIndexTagDef def;
    std::string base = path.substr(path.find_last_of('/') + 1);
    def.Name = Upper(base.substr(0, base.find_last_of('.')));
    def.Expression = CString(h + kNdxKeyExpr, 488);
    def.Unique = h[23] != 0;
    if (def.Expression.empty()) Corrupt(path, "it has no key expression");
    auto tag = MakeTag(def, Get16(h + 16) == 0 ? 'C' : 'N');
    auto& t = tag->Impl();
    if ((Get16(h + 16) == 0) != (t.type == TKeyType::Character))
        Corrupt(path, "its key type does not match its expression " + def.Expression);
    if (Get16(h + 12) != t.keyLen)
        Corrupt(path, "its keys are " + std::to_string(Get16(h + 12)) + " bytes; the expression gives " + std::to_string(t.keyLen));
    if (Get32(h + 18) != uint32_t((t.keyLen + 8 + 3) & ~3)) Corrupt(path, "its key groups have the wrong length");
    t.root = root;
    tags.push_back(tag);
}

// ---------------------------------------------------------------- reading trees

void TIndexFile::TImpl::Walk(TIndexTag::TImpl& t, uint32_t page, int depth, int& leafDepth, std::vector<bool>& seen,
                             std::vector<uint8_t>& out) {
    const bool mdx = Mdx();
    const uint32_t bytes = mdx ? kMdxBlock : kNdxBlock;
    const size_t item = mdx ? size_t((t.keyLen + 4 + 3) & ~3) : size_t((t.keyLen + 8 + 3) & ~3);
    const size_t head = mdx ? 8 : 4;
    const size_t maxKeys = (bytes - head) / item - 1;
    const std::string where = "tag " + t.def.Name + ", page " + std::to_string(page);
    if (depth > kMaxDepth) Corrupt(path, where + " lies deeper than any tree this size");
    if (page < (mdx ? kMdxFirstTreePage : 1) || uint64_t(page) * kPage + bytes > fileSize)
        Corrupt(path, where + " lies outside the file");
    if (seen[page]) Corrupt(path, where + " is reached twice");
    seen[page] = true;
    uint8_t p[kMdxBlock];
    ReadAt(uint64_t(page) * (mdx ? kPage : kNdxBlock), p, bytes);
    uint32_t n = Get32(p);
    if (n > maxKeys) Corrupt(path, where + " counts " + std::to_string(n) + " keys; it has room for " + std::to_string(maxKeys));
    const uint8_t* items = p + head;
    auto child = [&](uint32_t i) { return Get32(items + i * item); };
    bool leaf = mdx ? Get32(items + n * item) == 0 : (n == 0 || child(0) == 0);
    const size_t s = t.Stride();
    if (leaf) {
        if (leafDepth < 0) leafDepth = depth;
        if (leafDepth != depth) Corrupt(path, where + " is a leaf at another depth than the first leaf");
        if (n == 0 && depth > 0) Corrupt(path, where + " is an empty leaf below the root");
        for (uint32_t i = 0; i < n; ++i) {
            const uint8_t* e = items + i * item;
            uint32_t rec = mdx ? Get32(e) : Get32(e + 4);
            if (!mdx && Get32(e) != 0) Corrupt(path, where + " mixes leaf and branch entries");
            if (rec == 0) Corrupt(path, where + " has an entry for record 0");
            size_t at = out.size();
            const uint8_t* key = e + (mdx ? 4 : 8);
            out.insert(out.end(), key, key + t.keyLen);
            const uint8_t* rp = reinterpret_cast<const uint8_t*>(&rec);
            out.insert(out.end(), rp, rp + 4);
            if (at > 0 && t.CmpEntry(&out[at - s], &out[at]) >= 0)
                Corrupt(path, where + " holds its keys out of order");
            if (at > 0 && t.def.Unique && t.Cmp(&out[at - s], &out[at]) == 0)
                Corrupt(path, where + " repeats a key of a unique tag");
        }
        return;
    }
    if (n == 0 && mdx) Corrupt(path, where + " is a branch without keys");
    for (uint32_t i = 0; i <= n; ++i) {
        uint32_t c = child(i);
        if (c == 0) Corrupt(path, where + " has a branch entry without a page");
        size_t before = out.size();
        Walk(t, c, depth + 1, leafDepth, seen, out);
        if (out.size() == before) continue;
        if (i < n) {
            const uint8_t* sep = items + i * item + (mdx ? 4 : 8);
            if (t.Cmp(&out[out.size() - s], sep) > 0) Corrupt(path, where + " has a separator below the keys it covers");
        }
        if (i > 0) {
            const uint8_t* sep = items + (i - 1) * item + (mdx ? 4 : 8);
            if (t.Cmp(&out[before], sep) < 0) Corrupt(path, where + " has a separator above the keys after it");
        }
    }
}

void TIndexFile::TImpl::Load(TIndexTag::TImpl& t) {
    std::vector<uint8_t> out;
    if (stale) {
        Build(t, {});
        return;
    }
    std::vector<bool> seen(size_t(fileSize / kPage + 2), false);
    int leafDepth = -1;
    out.reserve(std::min<uint64_t>(fileSize, uint64_t(table ? table->RecordCount() + 1 : 1) * t.Stride()));
    windowed = true;
    chunk.clear();
    try {
        Walk(t, t.root, 0, leafDepth, seen, out);
    } catch (const vcl::EDBEngineError& e) {
        windowed = false;
        problem = e.what();  // the whole file is unusable from now on
        throw;
    }
    windowed = false;
    chunk.clear();
    chunk.shrink_to_fit();
    if (table) {
        uint32_t count = table->RecordCount();
        size_t s = t.Stride();
        // A shared open may not have seen the records another open appended with these keys.
        uint32_t highest = 0;
        for (size_t at = 0; at < out.size(); at += s) {
            uint32_t r;
            std::memcpy(&r, &out[at + size_t(t.keyLen)], 4);
            highest = std::max(highest, r);
        }
        if (highest > count && !table->Exclusive()) {
            tSyncSuppressed = true;
            try {
                count = table->Refresh();
            } catch (...) {
                tSyncSuppressed = false;
                throw;
            }
            tSyncSuppressed = false;
        }
        for (size_t at = 0; at < out.size(); at += s) {
            uint32_t r;
            std::memcpy(&r, &out[at + size_t(t.keyLen)], 4);
            if (r > count) {
                problem = "Index " + path + " is damaged: tag " + t.def.Name + " points at record " + std::to_string(r) +
                          " of a table of " + std::to_string(count) + " records";
                RaiseError(DBIERR_INDEXCORRUPT, problem);
            }
        }
    }
    t.entries.swap(out);
    t.loaded = true;
    t.candidatesKnown = !t.def.Unique;
    t.visibleDirty = true;
}

void TIndexFile::TImpl::Build(TIndexTag::TImpl& t, const TProgressCallback& progress) {
    if (!table) RaiseError(DBIERR_INVALIDPARAM, "An index image has no table to build from");
    uint32_t count = table->RecordCount();
    std::vector<uint8_t> rec(table->RecordLength());
    size_t s = t.Stride();
    t.entries.clear();
    t.entries.reserve(size_t(count) * s);
    t.entries.resize(size_t(count) * s);
    size_t used = 0;
    uint32_t step = std::max<uint32_t>(1, count / 100);
    for (uint32_t r = 1; r <= count; ++r) {
        table->ReadRecord(r, rec.data());
        if (t.MakeEntry(rec.data(), r, &t.entries[used])) used += s;
        if (progress && (r % step == 0 || r == count))
            if (!progress(int(uint64_t(r) * 90 / count), "Indexing " + t.def.Name))
                RaiseError(DBIERR_USERABORT, "Building the index " + t.def.Name + " was cancelled");
    }
    t.entries.resize(used);
    t.SortEntries();
    t.loaded = true;
    t.candidatesKnown = true;
}

// ---------------------------------------------------------------- writing

namespace {

// Splits n items into the fewest runs of at most cap, as even as possible.
std::vector<size_t> Runs(size_t n, size_t cap) {
    size_t count = std::max<size_t>(1, (n + cap - 1) / cap);
    std::vector<size_t> r(count, n / count);
    for (size_t i = 0; i < n % count; ++i) ++r[i];
    return r;
}

struct TTreeOut {
    uint32_t root = 0;
    uint32_t pages = 0;  // pages used
};

// Pages a tag's tree takes: leaves and every level of branches, blockPages pages each.
uint32_t TreePages(size_t n, size_t maxKeys, uint32_t blockPages) {
    size_t nodes = Runs(n, maxKeys).size(), total = nodes;
    while (nodes > 1) {
        nodes = Runs(nodes, maxKeys + 1).size();
        total += nodes;
    }
    return uint32_t(total) * blockPages;
}

// Writes a tag's B-tree into out from page first on: the leaves in key order, then each level
// of branches above them, the root last. Every page is a block of blockPages pages.
TTreeOut WriteTree(std::string& out, uint32_t first, TIndexTag::TImpl& t, const std::vector<uint8_t>& entries, bool mdx) {
    const uint32_t bytes = mdx ? kMdxBlock : kNdxBlock, pagesPer = mdx ? 2 : 1, unit = mdx ? kPage : kNdxBlock;
    const size_t item = mdx ? size_t((t.keyLen + 4 + 3) & ~3) : size_t((t.keyLen + 8 + 3) & ~3);
    const size_t head = mdx ? 8 : 4, keyAt = mdx ? 4 : 8;
    const size_t maxKeys = (bytes - head) / item - 1;
    const size_t s = t.Stride(), n = entries.size() / s;
    uint32_t next = first;
    auto page = [&](uint32_t no) -> uint8_t* {
        size_t end = size_t(no + pagesPer) * unit;
        if (out.size() < end) out.resize(end, '\0');
        return reinterpret_cast<uint8_t*>(out.data()) + size_t(no) * unit;
    };
    struct TNode {
        uint32_t page;
        size_t lastEntry;  // the entry whose key is the highest below this node
    };
    std::vector<TNode> level;
    size_t at = 0;
    uint32_t prev = 0;
    for (size_t run : Runs(n, maxKeys)) {
        uint32_t no = next;
        next += pagesPer;
        uint8_t* p = page(no);
        Put32(p, uint32_t(run));
        if (mdx) Put32(p + 4, prev);
        for (size_t i = 0; i < run; ++i, ++at) {
            uint8_t* e = p + head + i * item;
            uint32_t rec;
            std::memcpy(&rec, &entries[at * s + size_t(t.keyLen)], 4);
            Put32(e + (mdx ? 0 : 4), rec);
            std::memcpy(e + keyAt, &entries[at * s], size_t(t.keyLen));
        }
        level.push_back({no, at ? at - 1 : 0});
        prev = no;
    }
    while (level.size() > 1) {
        std::vector<TNode> up;
        size_t c = 0;
        prev = 0;
        for (size_t run : Runs(level.size(), maxKeys + 1)) {
            uint32_t no = next;
            next += pagesPer;
            uint8_t* p = page(no);
            Put32(p, uint32_t(run - 1));
            if (mdx) Put32(p + 4, prev);
            for (size_t i = 0; i < run; ++i, ++c) {
                uint8_t* e = p + head + i * item;
                Put32(e, level[c].page);
                if (i + 1 < run) std::memcpy(e + keyAt, &entries[level[c].lastEntry * s], size_t(t.keyLen));
            }
            up.push_back({no, level[c - 1].lastEntry});
            prev = no;
        }
        level.swap(up);
    }
    return {level[0].page, next - first};
}

// The tag table's search tree over tag names: each entry names the entries with smaller and
// larger names and the one above it.
void ThreadTags(const std::vector<std::string>& names, std::vector<std::array<uint8_t, 3>>& links) {
    links.assign(names.size(), {0, 0, 0});
    for (size_t i = 1; i < names.size(); ++i) {
        size_t at = 0;
        for (;;) {
            int side = names[i] < names[at] ? 0 : 1;
            if (links[at][size_t(side)] == 0) {
                links[at][size_t(side)] = uint8_t(i + 1);
                links[i][2] = uint8_t(at + 1);
                break;
            }
            at = links[at][size_t(side)] - 1u;
        }
    }
}

}  // namespace

std::string TIndexFile::TImpl::Image() {
    std::string out;
    TDbfDate d = Today();
    if (Mdx()) {
        uint32_t pages = kMdxFirstTreePage;
        for (auto& tag : tags) {
            auto& t = tag->Impl();
            size_t item = size_t((t.keyLen + 4 + 3) & ~3);
            pages += 2 + TreePages(t.Visible().size() / t.Stride(), (kMdxBlock - 8) / item - 1, 2);
        }
        out.assign(size_t(pages) * kPage, '\0');
        uint32_t next = kMdxFirstTreePage;
        std::vector<std::string> names;
        for (auto& tag : tags) names.push_back(tag->GetName());
        std::vector<std::array<uint8_t, 3>> links;
        ThreadTags(names, links);
        for (size_t i = 0; i < tags.size(); ++i) {
            auto& t = tags[i]->Impl();
            uint32_t headerPage = next;
            next += 2;
            TTreeOut tree = WriteTree(out, next, t, t.Visible(), true);
            next += tree.pages;
            t.root = tree.root;
            t.headerPage = headerPage;
            uint8_t* th = reinterpret_cast<uint8_t*>(out.data()) + size_t(headerPage) * kPage;
            uint8_t format = uint8_t((t.def.Descending ? 0x08 : 0) | (t.def.Unique ? 0x40 : 0));
            if (t.key->GetText().find_first_of("()+-*/ $") == std::string::npos) format |= 0x10;  // a plain field
            Put32(th, tree.root);
            Put32(th + 4, tree.pages + 2);
            th[8] = format;
            th[9] = uint8_t(t.type == TKeyType::Character ? 'C' : t.type == TKeyType::Numeric ? 'N' : 'D');
            Put16(th + 12, uint16_t(t.keyLen));
            Put16(th + 14, uint16_t((kMdxBlock - 8) / ((t.keyLen + 4 + 3) & ~3) - 1));
            Put16(th + 18, uint16_t((t.keyLen + 4 + 3) & ~3));
            th[23] = t.def.Unique ? 1 : 0;
            std::memcpy(th + kMdxKeyExpr, t.def.Expression.data(), std::min(t.def.Expression.size(), kMaxExpr - 1));
            std::memcpy(th + kMdxForExpr, t.def.ForCondition.data(), std::min(t.def.ForCondition.size(), kMaxExpr - 1));
            uint8_t* e = reinterpret_cast<uint8_t*>(out.data()) + kMdxTagTable + i * kMdxTagEntry;
            Put32(e, headerPage);
            std::memcpy(e + 4, names[i].data(), std::min<size_t>(names[i].size(), 10));
            e[15] = format;
            e[16] = links[i][0];
            e[17] = links[i][1];
            e[18] = links[i][2];
            e[20] = th[9];
        }
        uint8_t* h = reinterpret_cast<uint8_t*>(out.data());
        h[0] = 2;
        std::memcpy(h + 1, created, 3);
        std::string base = table ? table->Path() : path;
        base = base.substr(base.find_last_of('/') + 1);
        base = Upper(base.substr(0, base.find_last_of('.')));
        std::memcpy(h + 4, base.data(), std::min<size_t>(base.size(), 16));
        Put16(h + 20, 2);
        Put16(h + 22, uint16_t(kMdxBlock));
        h[24] = 1;
        h[25] = 0x30;
        h[26] = kMdxTagEntry;
        Put16(h + 28, uint16_t(tags.size()));
        Put32(h + 32, next);
        h[44] = uint8_t(std::clamp(d.Year - 1900, 0, 255));
        h[45] = uint8_t(d.Month);
        h[46] = uint8_t(d.Day);
        return out;
    }
    auto& t = tags.at(0)->Impl();
    out.assign(size_t(1 + TreePages(t.Visible().size() / t.Stride(), (kNdxBlock - 4) / size_t((t.keyLen + 8 + 3) & ~3) - 1, 1)) *
                   kNdxBlock,
               '\0');
    TTreeOut tree = WriteTree(out, 1, t, t.Visible(), false);
    t.root = tree.root;
    uint8_t* h = reinterpret_cast<uint8_t*>(out.data());
    uint32_t group = uint32_t((t.keyLen + 8 + 3) & ~3);
    Put32(h, tree.root);
    Put32(h + 4, tree.pages + 1);
    Put16(h + 12, uint16_t(t.keyLen));
    Put16(h + 14, uint16_t((kNdxBlock - 4) / group - 1));
    Put16(h + 16, t.type == TKeyType::Character ? 0 : 1);
    Put32(h + 18, group);
    h[23] = t.def.Unique ? 1 : 0;
    std::memcpy(h + kNdxKeyExpr, t.def.Expression.data(), std::min<size_t>(t.def.Expression.size(), 487));
    return out;
}

void TIndexFile::TImpl::Mark() {
    if (marked || !file.IsOpen()) return;
    uint8_t one = 1;
    file.WriteAt(Mdx() ? kMdxWriteMark : kNdxWriteMark, &one, 1);
    if (durable) file.Sync();  // on disk before the table changes
    marked = true;
}

void TIndexFile::TImpl::Unmark() {
    uint8_t zero = 0;
    if (durable) file.Sync();
    file.WriteAt(Mdx() ? kMdxWriteMark : kNdxWriteMark, &zero, 1);
    marked = false;
}

void TIndexFile::TImpl::Reopen() {
    file.Close();
    file.Open(path, writable);
    fileSize = file.Size();
}

void TIndexFile::TImpl::Write() {
    for (auto& tag : tags) KnowCandidates(tag->Impl());
    std::string img = Image();
    std::string tmp = path + ".writing";
    {
        TOsFile out;
        out.Create(tmp, true);
        out.WriteAt(0, img.data(), img.size());
        if (durable) out.Sync();
    }
    if (::rename(tmp.c_str(), path.c_str()) != 0) {
        ::unlink(tmp.c_str());
        RaiseError(DBIERR_WRITEERR, "Cannot replace " + path);
    }
    if (durable) SyncDirectoryOf(path);
    Reopen();
    marked = false;
    changed = false;
    stale = false;
}

void TIndexFile::CheckStructure() {
    TImpl& f = *impl_;
    if (!f.problem.empty()) RaiseError(DBIERR_INDEXCORRUPT, f.problem);
    if (f.stale) RaiseError(DBIERR_INDEXCORRUPT, "Index " + f.path + " is stale: a write to it was interrupted");
    std::vector<bool> seen(size_t(f.fileSize / kPage + 2), false);
    for (auto& tag : f.tags) {
        auto& t = tag->Impl();
        std::vector<uint8_t> out;
        int leafDepth = -1;
        f.Walk(t, t.root, 0, leafDepth, seen, out);
        // Inside a batch the file is the one from before it (and marked): only its pages count.
        if (f.table && t.loaded && !f.marked && out != t.Visible())
            Corrupt(f.path, "tag " + t.def.Name + " on disk differs from the maintained one");
    }
}

void CheckIndexImage(const std::string& image, TIndexFormat format, const std::vector<TDbfFieldDesc>& fields) {
    auto impl = std::make_unique<TIndexFile::TImpl>();
    impl->fields = &fields;
    impl->path = "image";
    impl->format = format;
    impl->image = image;
    impl->useImage = true;
    impl->Parse();
    if (!impl->problem.empty()) RaiseError(DBIERR_INDEXCORRUPT, impl->problem);
    TIndexFile f(std::move(impl));
    f.CheckStructure();
}

// ====================================================================== tag queries

uint32_t TIndexTag::KeyCount() {
    GetFile().Impl().Ensure(*impl_);
    return uint32_t(impl_->Visible().size() / impl_->Stride());
}

uint32_t TIndexTag::RecNoAt(uint32_t pos) {
    GetFile().Impl().Ensure(*impl_);
    const auto& v = impl_->Visible();
    size_t at = size_t(pos) * impl_->Stride();
    if (at >= v.size()) RaiseError(DBIERR_INVALIDPARAM, "Key position " + std::to_string(pos) + " is out of range");
    uint32_t r;
    std::memcpy(&r, &v[at + size_t(impl_->keyLen)], 4);
    return r;
}

std::string_view TIndexTag::KeyAt(uint32_t pos) {
    GetFile().Impl().Ensure(*impl_);
    const auto& v = impl_->Visible();
    size_t at = size_t(pos) * impl_->Stride();
    if (at >= v.size()) RaiseError(DBIERR_INVALIDPARAM, "Key position " + std::to_string(pos) + " is out of range");
    return std::string_view(reinterpret_cast<const char*>(&v[at]), size_t(impl_->keyLen));
}

int TIndexTag::Compare(std::string_view a, std::string_view b, bool prefix) const {
    const TImpl& t = *impl_;
    if (t.type == TKeyType::Character) {
        std::string x(a), y(b);
        size_t n = prefix ? b.size() : size_t(t.keyLen);
        x.resize(std::max(n, x.size()), ' ');
        y.resize(std::max(n, y.size()), ' ');
        return t.Cmp(reinterpret_cast<const uint8_t*>(x.data()), reinterpret_cast<const uint8_t*>(y.data()), n);
    }
    if (a.size() < size_t(t.keyLen) || b.size() < size_t(t.keyLen)) RaiseError(DBIERR_INVALIDPARAM, "Key too short");
    return t.Cmp(reinterpret_cast<const uint8_t*>(a.data()), reinterpret_cast<const uint8_t*>(b.data()));
}

uint32_t TIndexTag::LowerBound(std::string_view key, bool prefix, uint32_t recNo) {
    TImpl& t = *impl_;
    GetFile().Impl().Ensure(t);
    const auto& v = t.Visible();
    size_t s = t.Stride(), lo = 0, hi = v.size() / s;
    std::string k(key);
    size_t n = size_t(t.keyLen);
    if (t.type == TKeyType::Character) {
        if (prefix) n = std::min(k.size(), n);
        k.resize(size_t(t.keyLen), ' ');
    } else if (k.size() != size_t(t.keyLen)) {
        RaiseError(DBIERR_INVALIDPARAM, "A key of " + std::to_string(k.size()) + " bytes for keys of " + std::to_string(t.keyLen));
    }
    const uint8_t* kp = reinterpret_cast<const uint8_t*>(k.data());
    while (lo < hi) {
        size_t mid = (lo + hi) / 2;
        const uint8_t* e = &v[mid * s];
        int c = t.type == TKeyType::Character ? t.Cmp(e, kp, n) : t.Cmp(e, kp);
        if (c == 0) {
            uint32_t r;
            std::memcpy(&r, e + t.keyLen, 4);
            c = recNo == UINT32_MAX ? -1 : (r < recNo ? -1 : 1);
            if (recNo == 0) c = 1;
        }
        if (c < 0) lo = mid + 1;
        else hi = mid;
    }
    return uint32_t(lo);
}

uint32_t TIndexTag::PositionOfRecord(uint32_t recNo) {
    TImpl& t = *impl_;
    GetFile().Impl().Ensure(t);
    uint32_t count = KeyCount();
    if (recNo < 1 || recNo > t.file->Impl().table->RecordCount()) return count;
    std::vector<uint8_t> rec(t.file->Impl().table->RecordLength());
    t.file->Impl().table->ReadRecord(recNo, rec.data());
    std::vector<uint8_t> e(t.Stride());
    if (!t.MakeEntry(rec.data(), recNo, e.data())) return count;
    uint32_t pos = LowerBound(std::string_view(reinterpret_cast<const char*>(e.data()), size_t(t.keyLen)), false, recNo);
    return pos < count && RecNoAt(pos) == recNo ? pos : count;
}

std::string TIndexTag::EncodeValue(const TExprValue& v) const {
    std::string out(size_t(impl_->keyLen), '\0');
    impl_->EncodeValueInto(v, reinterpret_cast<uint8_t*>(out.data()));
    return out;
}

std::string TIndexTag::EncodeText(std::string_view text) const {
    const TImpl& t = *impl_;
    TExprValue v;
    switch (t.type) {
        case TKeyType::Character: {
            const TDbfTable* table = t.file ? t.file->Impl().table : nullptr;
            std::string bytes = table ? table->Converter().FromUtf8(text) : std::string(text);
            if (bytes.size() > size_t(t.keyLen)) bytes.resize(size_t(t.keyLen));
            return bytes;
        }
        case TKeyType::Numeric: {
            std::string s(text);
            while (!s.empty() && s.back() == ' ') s.pop_back();
            size_t i = s.find_first_not_of(' ');
            s = i == std::string::npos ? "" : s.substr(i);
            const char* b = s.data() + (!s.empty() && s[0] == '+');
            auto r = std::from_chars(b, s.data() + s.size(), v.Number);
            if (s.empty() || r.ec != std::errc() || r.ptr != s.data() + s.size())
                RaiseError(DBIERR_INVALIDPARAM, "'" + PrintableText(text) + "' is not a number");
            v.Type = TExprType::Numeric;
            break;
        }
        case TKeyType::Date: {
            std::string d;
            for (char c : text)
                if (c != '-') d += c;
            int y = 0, m = 0, dd = 0;
            bool ok = d.size() == 8 && std::all_of(d.begin(), d.end(), [](char c) { return c >= '0' && c <= '9'; });
            if (ok) {
                std::from_chars(d.data(), d.data() + 4, y);
                std::from_chars(d.data() + 4, d.data() + 6, m);
                std::from_chars(d.data() + 6, d.data() + 8, dd);
                ok = IsValidCalendarDate(y, m, dd);
            }
            if (!ok) RaiseError(DBIERR_INVALIDPARAM, "'" + PrintableText(text) + "' is not a date (YYYY-MM-DD)");
            v.Type = TExprType::Date;
            v.Julian = JulianOfDate(y, m, dd);
            break;
        }
    }
    return EncodeValue(v);
}

std::string TIndexTag::KeyText(std::string_view key) const {
    const TImpl& t = *impl_;
    const uint8_t* p = reinterpret_cast<const uint8_t*>(key.data());
    switch (t.type) {
        case TKeyType::Character: {
            std::string_view s = key;
            while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
            const TDbfTable* table = t.file ? t.file->Impl().table : nullptr;
            try {
                return table ? table->Converter().ToUtf8(s) : PrintableBytes(s);
            } catch (const vcl::EDBEngineError&) {
                return PrintableBytes(s);
            }
        }
        case TKeyType::Numeric: {
            double v = t.mdx ? DecodeBcd(p) : GetDouble(p);
            char b[64];
            auto r = std::to_chars(b, b + sizeof b, v);
            return std::string(b, r.ptr);
        }
        case TKeyType::Date: {
            TDbfDate d = DateOfJulian(int32_t(GetDouble(p)));
            if (d.Year == 0) return "";
            char b[16];
            std::snprintf(b, sizeof b, "%04d-%02d-%02d", d.Year, d.Month, d.Day);
            return b;
        }
    }
    return "";
}

// ====================================================================== the table's index set

namespace idx {

namespace {

std::shared_ptr<TIndexFile> NewFile(TDbfTable& table, const std::string& path, TIndexFormat format, bool writable, bool durable) {
    auto impl = std::make_unique<TIndexFile::TImpl>();
    impl->durable = durable;
    impl->table = &table;
    impl->path = path;
    impl->format = format;
    impl->writable = writable;
    return std::make_shared<TIndexFile>(std::move(impl));
}

void Adopt(TIndexFile& f) {
    for (auto& t : f.Impl().tags) t->Impl().file = &f;
}

void CheckTagName(const std::string& name) {
    bool ok = !name.empty() && name.size() <= 10 && std::isalpha(static_cast<unsigned char>(name[0]));
    for (char c : name) ok = ok && (std::isalnum(static_cast<unsigned char>(c)) || c == '_');
    if (!ok) RaiseError(DBIERR_INVALIDPARAM, "Invalid tag name '" + PrintableText(name) + "' (up to 10 letters, digits and _)");
}

}  // namespace

std::string ProductionPath(const std::string& tablePath, bool mustExist) {
    size_t slash = tablePath.find_last_of('/');
    size_t dot = tablePath.find_last_of('.');
    std::string base = dot == std::string::npos || (slash != std::string::npos && dot < slash) ? tablePath : tablePath.substr(0, dot);
    std::string want = base + ".mdx";
    if (!mustExist) {
        std::string found = FindNoCase(want);
        return found.empty() ? want : found;
    }
    return FindNoCase(want);
}

TIndexSet::~TIndexSet() {
    for (auto& f : files_)
        for (auto& t : f->Impl().tags) t->Impl().file = nullptr;
}

TIndexFile* TIndexSet::Production() const { return production_.get(); }

std::shared_ptr<TIndexTag> TIndexSet::FindTag(std::string_view name) const {
    for (auto& f : files_)
        if (auto t = f->FindTag(name)) return t;
    return nullptr;
}

void TIndexSet::OpenProduction(bool writable, std::vector<std::string>& report) {
    std::string path = ProductionPath(table_.Path(), true);
    if (path.empty()) {
        report.push_back("The production index " + ProductionPath(table_.Path(), false) + " is missing");
        return;
    }
    auto f = NewFile(table_, path, TIndexFormat::Mdx, writable, durable_);
    auto& fi = f->Impl();
    try {
        fi.file.Open(path, writable);
        fi.Parse();
    } catch (const vcl::EDBEngineError& e) {
        // The table stays readable; the index is unusable and the table is not written.
        fi.problem = std::string("The production index cannot be read: ") + e.what();
    }
    Adopt(*f);
    if (!fi.problem.empty()) report.push_back(fi.problem);
    if (fi.problem.empty() && fi.stale) {
        for (auto& t : fi.tags) fi.Build(t->Impl(), {});
        fi.rebuilt = true;
        if (writable) fi.Write();
        report.push_back("The production index " + path + " was stale (a write to it was interrupted) and has been rebuilt" +
                         (writable ? "" : " in memory"));
    }
    production_ = f;
    files_.insert(files_.begin(), f);
}

std::shared_ptr<TIndexFile> TIndexSet::OpenNdx(const std::string& path, bool writable) {
    std::string found = FindNoCase(path);
    if (found.empty()) RaiseError(DBIERR_NOSUCHFILE, "Index does not exist: " + path);
    for (auto& f : files_)
        if (f->GetPath() == found) return f;
    auto f = NewFile(table_, found, TIndexFormat::Ndx, writable, durable_);
    auto& fi = f->Impl();
    fi.file.Open(found, writable);
    fi.Parse();
    Adopt(*f);
    if (fi.problem.empty() && fi.stale) {
        for (auto& t : fi.tags) fi.Build(t->Impl(), {});
        fi.rebuilt = true;
        if (writable) fi.Write();
    }
    files_.push_back(f);
    return f;
}

std::shared_ptr<TIndexFile> TIndexSet::CreateNdx(const std::string& path, const TIndexTagDef& def, const TProgressCallback& progress) {
    if (def.Descending || !def.ForCondition.empty())
        RaiseError(DBIERR_NOTSUPPORTED, "An .NDX index has neither descending order nor a FOR condition");
    auto f = NewFile(table_, path, TIndexFormat::Ndx, true, durable_);
    auto& fi = f->Impl();
    TIndexTagDef d = def;
    std::string base = path.substr(path.find_last_of('/') + 1);
    d.Name = Upper(base.substr(0, base.find_last_of('.')));
    fi.tags.push_back(fi.MakeTag(d, 0));
    Adopt(*f);
    fi.Build(fi.tags[0]->Impl(), progress);
    fi.Write();
    CloseNdx(f.get());
    files_.push_back(f);
    return f;
}

void TIndexSet::CloseNdx(const TIndexFile* file) {
    for (auto it = files_.begin(); it != files_.end(); ++it)
        if (it->get() == file && file != production_.get()) {
            for (auto& t : (*it)->Impl().tags) t->Impl().file = nullptr;
            files_.erase(it);
            return;
        }
}

void TIndexSet::AddTag(const TIndexTagDef& def, const TProgressCallback& progress) {
    TIndexTagDef d = def;
    d.Name = Upper(d.Name);
    CheckTagName(d.Name);
    if (!production_) {
        std::string path = ProductionPath(table_.Path(), false);
        auto f = NewFile(table_, path, TIndexFormat::Mdx, true, durable_);
        TDbfDate t = Today();
        f->Impl().created[0] = uint8_t(std::clamp(t.Year - 1900, 0, 255));
        f->Impl().created[1] = uint8_t(t.Month);
        f->Impl().created[2] = uint8_t(t.Day);
        production_ = f;
        files_.insert(files_.begin(), f);
    }
    auto& fi = production_->Impl();
    if (!fi.problem.empty()) RaiseError(DBIERR_INDEXCORRUPT, fi.problem + " (reindex rebuilds it)");
    if (production_->FindTag(d.Name)) RaiseError(DBIERR_NAMENOTUNIQUE, "The index already has a tag " + d.Name);
    if (fi.tags.size() >= size_t(kMdxMaxTags)) RaiseError(DBIERR_INDEXLIMIT, "An .MDX index holds at most 47 tags");
    for (auto& t : fi.tags) fi.KnowCandidates(t->Impl());
    auto tag = fi.MakeTag(d, 0);
    tag->Impl().file = production_.get();
    fi.Build(tag->Impl(), progress);
    fi.tags.push_back(tag);
    fi.Write();
}

bool TIndexSet::DropTag(std::string_view name) {
    if (!production_) RaiseError(DBIERR_NOSUCHINDEX, "The table has no production index");
    auto& fi = production_->Impl();
    if (!fi.problem.empty()) RaiseError(DBIERR_INDEXCORRUPT, fi.problem + " (reindex rebuilds it)");
    auto tag = production_->FindTag(name);
    if (!tag) RaiseError(DBIERR_NOSUCHINDEX, "The index has no tag " + PrintableText(name));
    for (auto& t : fi.tags) fi.KnowCandidates(t->Impl());
    fi.tags.erase(std::find(fi.tags.begin(), fi.tags.end(), tag));
    tag->Impl().dropped = true;
    tag->Impl().file = nullptr;
    if (fi.tags.empty()) {
        ::unlink(fi.path.c_str());
        SyncDirectoryOf(fi.path);
        files_.erase(files_.begin());
        production_.reset();
        return true;
    }
    fi.Write();
    return false;
}

void TIndexSet::RebuildAll(const TProgressCallback& progress) {
    for (auto& f : files_) {
        auto& fi = f->Impl();
        if (!fi.problem.empty()) {
            // The header and tag definitions must be readable to rebuild; pages need not be.
            fi.problem.clear();
            fi.stale = true;
            fi.Parse();
            Adopt(*f);
            if (!fi.problem.empty()) RaiseError(DBIERR_INDEXCORRUPT, fi.problem + "; its tag definitions cannot be read");
        }
        for (auto& t : fi.tags) fi.Build(t->Impl(), progress);
        fi.Write();
    }
}

void TIndexSet::SyncWithDisk() {
    if (tSyncSuppressed) return;
    for (auto& f : files_) {
        auto& fi = f->Impl();
        // Another open may have written the index since: its renamed file replaces ours.
        if (fi.file.IsOpen() && !fi.file.IsFileAt(fi.path) && vcl::FileExists(fi.path)) {
            fi.Reopen();
            auto old = fi.tags;
            fi.Parse();
            for (auto& t : old) {
                auto now = f->FindTag(t->GetName());
                if (!now) {
                    t->Impl().dropped = true;
                    t->Impl().file = nullptr;
                    continue;
                }
                // Keep the objects callers hold: move the reread definition into them.
                std::swap(t->Impl(), now->Impl());
            }
            fi.tags.clear();
            for (auto& t : old)
                if (!t->Impl().dropped) fi.tags.push_back(t);
            Adopt(*f);
            if (fi.problem.empty() && fi.stale && fi.writable) fi.changed = true;
        }
    }
}

void TIndexSet::BeginBatch() { batch_ = true; }

void TIndexSet::EndBatch() {
    if (!batch_) return;
    batch_ = false;
    batchChecked_ = false;
    for (auto& f : files_)
        for (auto& t : f->Impl().tags) t->Impl().ApplyPending();
    AfterWrite();
}

void TIndexSet::BeforeWrite() {
    // Within a batch the table's write lock is held throughout: one look at the files serves.
    if (batch_ && batchChecked_) return;
    batchChecked_ = batch_;
    if (!table_.Exclusive()) table_.Refresh();
    SyncWithDisk();
    for (auto& f : files_) {
        auto& fi = f->Impl();
        if (!fi.writable) continue;
        if (!fi.problem.empty())
            RaiseError(DBIERR_INDEXCORRUPT, fi.problem + "; the table is not written until it is rebuilt (reindex)");
        for (auto& t : fi.tags) fi.KnowCandidates(t->Impl());
        fi.Mark();
    }
}

void TIndexSet::RecordChanged(uint32_t recNo, const uint8_t* oldRec, const uint8_t* newRec) {
    for (auto& f : files_) {
        auto& fi = f->Impl();
        if (!fi.writable) continue;
        for (auto& tag : fi.tags) {
            auto& t = tag->Impl();
            size_t s = t.Stride();
            std::vector<uint8_t> a(s), b(s);
            bool oldIn = oldRec && t.MakeEntry(oldRec, recNo, a.data());
            bool newIn = t.MakeEntry(newRec, recNo, b.data());
            if (oldIn && newIn && a == b) continue;
            if (batch_) {
                if (oldIn) t.Defer(a.data(), false);
                if (newIn) t.Defer(b.data(), true);
            } else {
                if (oldIn) t.Erase(a.data(), recNo);
                if (newIn) t.Insert(b.data());
            }
            fi.changed = true;
        }
    }
}

void TIndexSet::AfterWrite() {
    if (batch_) return;  // the batch's end writes the files once
    for (auto& f : files_) {
        auto& fi = f->Impl();
        if (!fi.writable) continue;
        if (fi.changed) fi.Write();
        else if (fi.marked) fi.Unmark();  // no key changed: the file as it is stays current
    }
}

void TIndexSet::TableReplaced() {
    for (auto& f : files_) {
        auto& fi = f->Impl();
        if (!fi.writable || !fi.problem.empty()) continue;
        for (auto& t : fi.tags) fi.Build(t->Impl(), {});
        fi.Write();
    }
}

}  // namespace idx

}  // namespace bde
