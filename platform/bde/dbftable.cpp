#include "bde/dbftable.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "bde/errors.h"
#include "bde/index.h"
#include "bde/index_impl.h"
#include "bde/osfile.h"

namespace bde {

namespace {

// Lock bytes far beyond any real data: one held by every open (shared or exclusive), one held
// by a writer for the duration of one write.
constexpr uint64_t kOpenLock = 0x7FFFFFF0;
constexpr uint64_t kWriteLock = 0x7FFFFFF1;
constexpr size_t kCacheBytes = 64 * 1024;
constexpr size_t kJumpBytes = 4 * 1024;

uint32_t GetLE32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }
uint16_t GetLE16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
void PutLE32(uint8_t* p, uint32_t v) { p[0] = uint8_t(v); p[1] = uint8_t(v >> 8); p[2] = uint8_t(v >> 16); p[3] = uint8_t(v >> 24); }
void PutLE16(uint8_t* p, uint16_t v) { p[0] = uint8_t(v); p[1] = uint8_t(v >> 8); }

std::string Hex2(unsigned v) {
    char b[8];
    std::snprintf(b, sizeof b, "0x%02X", v & 0xFF);
    return b;
}

bool Exists(const std::string& p) {
    struct stat st;
    return ::stat(p.c_str(), &st) == 0;
}

std::string DirOf(const std::string& p) {
    size_t s = p.find_last_of('/');
    return s == std::string::npos ? "." : (s == 0 ? "/" : p.substr(0, s));
}

bool SameNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        unsigned char x = a[i], y = b[i];
        if (x >= 'a' && x <= 'z') x -= 32;
        if (y >= 'a' && y <= 'z') y -= 32;
        if (x != y) return false;
    }
    return true;
}


std::string ChangeExt(const std::string& path, const char* ext) {
    size_t slash = path.find_last_of('/');
    size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return path + ext;
    return path.substr(0, dot) + ext;
}

std::string BaseName(const std::string& path) {
    size_t slash = path.find_last_of('/');
    std::string n = slash == std::string::npos ? path : path.substr(slash + 1);
    size_t dot = n.find_last_of('.');
    return dot == std::string::npos ? n : n.substr(0, dot);
}

TDbfDate Today() {
    std::time_t t = std::time(nullptr);
    std::tm tm;
    localtime_r(&t, &tm);
    return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday};
}

bool IsFoxProVersion(uint8_t v) { return v == 0x30 || v == 0x31 || v == 0x32 || v == 0xF5 || v == 0xFB; }

std::string_view TrimBlanks(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\0')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\0')) s.remove_suffix(1);
    return s;
}

// Several writers fill a numeric field with '*' for a null or a value that overflowed.
// Plain decimal text ("-123.45", at most 15 digits) as a double without the general parser:
// the digits and the power of ten are exact doubles, so one division rounds exactly as
// from_chars does. Anything else (exponents, long digit runs, stray bytes) is left to it.
std::optional<double> QuickDecimal(std::string_view t) {
    static constexpr double kPow10[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    size_t i = 0;
    const bool neg = !t.empty() && t[0] == '-';
    if (neg) ++i;
    uint64_t m = 0;
    int digits = 0, frac = 0;
    bool dot = false;
    for (; i < t.size(); ++i) {
        char c = t[i];
        if (c >= '0' && c <= '9') {
            m = m * 10 + uint64_t(c - '0');
            ++digits;
            if (dot) ++frac;
        } else if (c == '.' && !dot) {
            dot = true;
        } else {
            return std::nullopt;
        }
    }
    if (digits == 0 || digits > 15) return std::nullopt;
    double v = double(m) / kPow10[frac];
    return neg ? -v : v;
}

bool AllStars(std::string_view s) {
    if (s.empty()) return false;
    for (char c : s)
        if (c != '*') return false;
    return true;
}

bool AllDigits(std::string_view s) {
    if (s.empty()) return false;
    for (char c : s)
        if (c < '0' || c > '9') return false;
    return true;
}

// A memo pointer in a record buffer: ten ASCII digits (blank = none) or FoxPro's 4-byte form.
uint32_t ParseMemoPointer(const TDbfFieldDesc& f, const uint8_t* rec, uint32_t recNo) {
    const uint8_t* p = rec + f.Offset;
    if (f.BinaryMemoPointer) return GetLE32(p);
    std::string_view s = TrimBlanks(std::string_view(reinterpret_cast<const char*>(p), f.Length));
    if (s.empty()) return 0;
    uint32_t v = 0;
    auto r = std::from_chars(s.data(), s.data() + s.size(), v);
    if (r.ec != std::errc() || r.ptr != s.data() + s.size())
        RaiseError(DBIERR_MEMOCORRUPT, "Memo field " + f.Name + (recNo ? " of record " + std::to_string(recNo) : std::string()) +
                                           " holds an invalid block number '" + PrintableBytes(s) + "'");
    return v;
}

void StoreMemoPointer(const TDbfFieldDesc& f, uint8_t* rec, uint32_t block) {
    uint8_t* p = rec + f.Offset;
    if (f.BinaryMemoPointer) {
        PutLE32(p, block);
        return;
    }
    std::memset(p, ' ', f.Length);
    if (block == 0) return;
    std::string s = std::to_string(block);
    if (s.size() > f.Length) RaiseError(DBIERR_MEMOCORRUPT, "Memo block number too large for field " + f.Name);
    std::memcpy(p + f.Length - s.size(), s.data(), s.size());
}

}  // namespace

// Table files are found ignoring case inside their directory; "" when absent.
std::string FindNoCase(const std::string& path) {
    if (Exists(path)) return path;
    size_t s = path.find_last_of('/');
    std::string dir = DirOf(path), name = s == std::string::npos ? path : path.substr(s + 1);
    DIR* d = ::opendir(dir.c_str());
    if (!d) return "";
    std::string found;
    while (dirent* e = ::readdir(d)) {
        if (SameNoCase(e->d_name, name)) {
            found = (s == std::string::npos ? std::string() : path.substr(0, s + 1)) + e->d_name;
            break;
        }
    }
    ::closedir(d);
    return found;
}

bool IsValidCalendarDate(int y, int m, int d) {
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (y < 1 || y > 9999 || m < 1 || m > 12 || d < 1) return false;
    int dim = days[m - 1];
    if (m == 2 && ((y % 4 == 0 && y % 100 != 0) || y % 400 == 0)) dim = 29;
    return d <= dim;
}

// The state of one open table and the steps behind the public calls.
struct TDbfTable::TImpl {
    std::string path_;
    TOsFile file_;
    TDbfOpenOptions options_;
    bool readOnly_ = true;
    bool exclusive_ = false;
    bool hasUnsupported_ = false;
    uint8_t version_ = 0;
    TDbfDate lastUpdate_;
    uint32_t count_ = 0;
    uint16_t headerLength_ = 0;
    uint16_t recordLength_ = 0;
    uint8_t tableFlags_ = 0;
    uint8_t language_ = 0;
    std::vector<TDbfFieldDesc> fields_;
    std::vector<std::string> report_;
    TMemoKind memoKind_ = TMemoKind::None;
    std::unique_ptr<TMemoFile> memo_;
    std::unique_ptr<TCodePageConverter> converter_;
    int lockDepth_ = 0;
    std::unique_ptr<idx::TIndexSet> indexes_;
    // A batch: appended records not yet written, from record batchFirst_ on.
    bool batch_ = false;
    std::vector<uint8_t> batchBuf_;
    uint32_t batchFirst_ = 0;
    void FlushBatch() {
        if (batchBuf_.empty()) return;
        file_.WriteAt(RecordOffset(batchFirst_), batchBuf_.data(), batchBuf_.size());
        batchBuf_.clear();
    }
    void BeginBatch();
    void EndBatch();

    // Consecutive records read ahead: records cacheFirst_ .. cacheFirst_ + cacheCount_ - 1.
    std::vector<uint8_t> cache_;
    uint32_t cacheFirst_ = 0;
    uint32_t cacheCount_ = 0;
    uint64_t recordReads_ = 0;
    // The file as the last full refresh of a shared open saw it, and whether that look proves
    // that the file is unchanged for as long as the stamp stays the same.
    TFileStamp stamp_;
    bool stampVouches_ = false;

    void OpenFiles(const std::string& path, const TDbfOpenOptions& options);
    void ParseHeader(const std::vector<uint8_t>& head, uint64_t fileSize);
    void OpenMemo();
    std::string MemoPath() const { return memo_ ? memo_->File().Path() : std::string(); }
    uint32_t CountOnDisk();
    uint32_t Refresh();
    void WriteHeaderCount(uint32_t count);
    // Writes record n + 1 with the end-of-file mark after it, then the header count.
    void WriteAppended(uint32_t n, const uint8_t* buffer);
    void CheckWritable() const;
    void CheckExclusive(const char* what) const;
    void WriteLock();
    void WriteUnlock();
    uint64_t RecordOffset(uint32_t recNo) const { return headerLength_ + uint64_t(recNo - 1) * recordLength_; }
    void InvalidateCache() { cacheCount_ = 0; }
    std::vector<uint8_t> pointerScratch_;  // MemoPointerOnDisk's record buffer

    void ReadRecord(uint32_t recNo, uint8_t* buffer);
    void WriteRecord(uint32_t recNo, const uint8_t* buffer);
    uint32_t AppendRecord(const uint8_t* buffer);
    void SetDeleted(uint32_t recNo, bool deleted);
    bool IsDeleted(uint32_t recNo);
    std::string ReadMemo(uint32_t block);
    uint32_t MemoPointerOnDisk(uint32_t recNo, int field);
    uint32_t Post(TDbfRecord& r);
    void Pack(const TProgressCallback& progress);
    void Zap();
    void SetProductionFlag(bool on);
    // The record as the file holds it now (for the keys it had before a write).
    std::vector<uint8_t> RecordOnDisk(uint32_t recNo) {
        std::vector<uint8_t> b(recordLength_, ' ');
        file_.ReadAt(RecordOffset(recNo), b.data(), b.size());
        return b;
    }

    // Holds the table's write lock for one write (nothing to do in an exclusive open).
    class TWriteGuard {
    public:
        explicit TWriteGuard(TImpl& t) : t_(t) { t_.WriteLock(); }
        ~TWriteGuard() { t_.WriteUnlock(); }
        TWriteGuard(const TWriteGuard&) = delete;
        TWriteGuard& operator=(const TWriteGuard&) = delete;

    private:
        TImpl& t_;
    };
};

// ====================================================================== opening

std::shared_ptr<TDbfTable> TDbfTable::Open(const std::string& path, const TDbfOpenOptions& options) {
    std::shared_ptr<TDbfTable> t(new TDbfTable);
    t->impl_->OpenFiles(path, options);
    auto& impl = *t->impl_;
    impl.indexes_ = std::make_unique<idx::TIndexSet>(*t, options.Durable);
    if (t->ProductionIndexFlag()) {
        if (impl.readOnly_) {
            impl.indexes_->OpenProduction(false, impl.report_);
        } else {
            TImpl::TWriteGuard g(impl);  // a stale index is rebuilt by one writer at a time
            impl.indexes_->OpenProduction(true, impl.report_);
        }
    }
    return t;
}

TDbfTable::TDbfTable() : impl_(std::make_unique<TImpl>()) {}
TDbfTable::~TDbfTable() {
    if (impl_ && impl_->batch_) {
        try {
            impl_->EndBatch();
        } catch (...) {
            // the batch's records stay past the count; the indexes stay marked stale
        }
    }
}

void TDbfTable::BeginBatch() { impl_->BeginBatch(); }
void TDbfTable::EndBatch() { impl_->EndBatch(); }

void TDbfTable::TImpl::BeginBatch() {
    CheckWritable();
    if (batch_) RaiseError(DBIERR_INVALIDPARAM, "A batch is already open on " + path_);
    WriteLock();
    try {
        if (!exclusive_) Refresh();  // under our lock: the count no one else can change now
    } catch (...) {
        WriteUnlock();
        throw;
    }
    batch_ = true;
    indexes_->BeginBatch();
}

void TDbfTable::TImpl::EndBatch() {
    if (!batch_) return;
    batch_ = false;
    struct TUnlock {
        TImpl& t;
        ~TUnlock() { t.WriteUnlock(); }
    } unlock{*this};
    FlushBatch();
    uint8_t eof = 0x1A;
    file_.WriteAt(RecordOffset(count_ + 1), &eof, 1);
    if (options_.Durable) file_.Sync();
    WriteHeaderCount(count_);
    if (options_.Durable) file_.Sync();
    indexes_->EndBatch();
}

const std::string& TDbfTable::Path() const { return impl_->path_; }
std::string TDbfTable::MemoPath() const { return impl_->MemoPath(); }
uint8_t TDbfTable::Version() const { return impl_->version_; }
bool TDbfTable::IsFoxPro() const { return IsFoxProVersion(impl_->version_); }
TDbfDate TDbfTable::LastUpdate() const { return impl_->lastUpdate_; }
uint16_t TDbfTable::HeaderLength() const { return impl_->headerLength_; }
uint16_t TDbfTable::RecordLength() const { return impl_->recordLength_; }
uint8_t TDbfTable::LanguageByte() const { return impl_->language_; }
int TDbfTable::CodePage() const { return impl_->converter_->CodePage(); }
bool TDbfTable::ProductionIndexFlag() const { return (impl_->tableFlags_ & 0x01) != 0; }
const std::vector<TDbfFieldDesc>& TDbfTable::Fields() const { return impl_->fields_; }
int TDbfTable::FieldCount() const { return int(impl_->fields_.size()); }
TMemoKind TDbfTable::MemoKind() const { return impl_->memoKind_; }
TMemoFile* TDbfTable::Memo() { return impl_->memo_.get(); }
const TCodePageConverter& TDbfTable::Converter() const { return *impl_->converter_; }
bool TDbfTable::ReadOnly() const { return impl_->readOnly_; }
bool TDbfTable::Exclusive() const { return impl_->exclusive_; }
const std::vector<std::string>& TDbfTable::OpenReport() const { return impl_->report_; }
uint32_t TDbfTable::RecordCount() const { return impl_->count_; }
uint32_t TDbfTable::Refresh() { return impl_->Refresh(); }
uint64_t TDbfTable::RecordReads() const { return impl_->recordReads_; }
void TDbfTable::ReadRecord(uint32_t recNo, uint8_t* buffer) { impl_->ReadRecord(recNo, buffer); }
void TDbfTable::WriteRecord(uint32_t recNo, const uint8_t* buffer) { impl_->WriteRecord(recNo, buffer); }
uint32_t TDbfTable::AppendRecord(const uint8_t* buffer) { return impl_->AppendRecord(buffer); }
void TDbfTable::SetDeleted(uint32_t recNo, bool deleted) { impl_->SetDeleted(recNo, deleted); }
bool TDbfTable::IsDeleted(uint32_t recNo) { return impl_->IsDeleted(recNo); }
uint32_t TDbfTable::Post(TDbfRecord& record) { return impl_->Post(record); }
std::string TDbfTable::ReadMemo(uint32_t block) { return impl_->ReadMemo(block); }
uint32_t TDbfTable::MemoPointerOnDisk(uint32_t recNo, int field) { return impl_->MemoPointerOnDisk(recNo, field); }
void TDbfTable::Pack(const TProgressCallback& progress) { impl_->Pack(progress); }
void TDbfTable::Zap() { impl_->Zap(); }

static void RecoverPack(const std::string& marker) {
    // The marker lists "from\tto" renames and ends with "end"; without that last line the pack
    // had not finished writing it, the old files are intact and the new ones are dropped.
    std::string text;
    {
        TOsFile m;
        m.Open(marker, false);
        text.resize(size_t(std::min<uint64_t>(m.Size(), 65536)));
        text.resize(m.ReadAt(0, text.data(), text.size()));
    }
    std::vector<std::pair<std::string, std::string>> moves;
    bool complete = false;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t nl = text.find('\n', pos);
        if (nl == std::string::npos) break;
        std::string line = text.substr(pos, nl - pos);
        pos = nl + 1;
        if (line == "end") {
            complete = true;
            break;
        }
        size_t tab = line.find('\t');
        if (tab != std::string::npos) moves.emplace_back(line.substr(0, tab), line.substr(tab + 1));
    }
    for (auto& [from, to] : moves) {
        if (!Exists(from)) continue;
        if (complete) {
            if (::rename(from.c_str(), to.c_str()) != 0)
                RaiseError(DBIERR_WRITEERR, "Cannot finish the interrupted pack of " + to);
        } else {
            ::unlink(from.c_str());
        }
    }
    SyncDirectoryOf(marker);
    ::unlink(marker.c_str());
    SyncDirectoryOf(marker);
}

// Both separators name directories; the operating system wants '/'.
static std::string NativePath(std::string p) {
    for (char& c : p)
        if (c == '\\') c = '/';
    return p;
}

void TDbfTable::TImpl::OpenFiles(const std::string& requestedName, const TDbfOpenOptions& options) {
    const std::string requested = NativePath(requestedName);
    std::string path = FindNoCase(requested);
    size_t slash = requested.find_last_of('/');
    std::string leaf = slash == std::string::npos ? requested : requested.substr(slash + 1);
    if (path.empty() && leaf.find('.') == std::string::npos) path = FindNoCase(requested + ".dbf");
    if (path.empty()) RaiseError(DBIERR_NOSUCHFILE, "Table does not exist: " + requested);
    options_ = options;
    exclusive_ = options.Exclusive;
    bool writable = !options.ReadOnly || options.Exclusive;

    for (int attempt = 0;; ++attempt) {
        file_.Open(path, writable);
        if (!file_.TryLock(kOpenLock, exclusive_)) {
            file_.Close();
            if (exclusive_) RaiseError(DBIERR_FILELOCKED, "Table is in use by another user: " + path);
            RaiseError(DBIERR_FILELOCKED, "Table is open exclusively by another user: " + path);
        }
        // A pack may have renamed a new file over the name between our open and our lock.
        if (!file_.IsFileAt(path) && attempt < 3) {
            file_.Close();
            continue;
        }
        std::string marker = path + ".pack-commit";
        if (Exists(marker)) {
            file_.Close();
            RecoverPack(marker);
            if (attempt < 3) continue;
        }
        break;
    }
    path_ = path;
    readOnly_ = options.ReadOnly;

    uint8_t first[32];
    uint64_t size = file_.Size();
    if (file_.ReadAt(0, first, 32) < 32)
        RaiseError(DBIERR_HEADERCORRUPT, "Table " + path_ + " is too short to have a header");
    uint16_t hl = GetLE16(first + 8);
    if (hl < 33 || hl > size)
        RaiseError(DBIERR_HEADERCORRUPT, "Table " + path_ + " has a header length of " + std::to_string(hl) +
                                             " in a file of " + std::to_string(size) + " bytes");
    std::vector<uint8_t> head(hl);
    file_.ReadAt(0, head.data(), hl);
    ParseHeader(head, size);
    int cp = CodePageOfLanguageByte(language_);
    converter_ = std::make_unique<TCodePageConverter>(cp ? cp : options.FallbackCodePage);
    // Field names as the API speaks: through the table's code page, anything unprintable escaped.
    for (TDbfFieldDesc& f : fields_) {
        try {
            f.Name = PrintableText(converter_->ToUtf8(f.Name));
        } catch (const vcl::EDBEngineError&) {
            f.Name = PrintableBytes(f.Name);
        }
    }
    OpenMemo();
    if (hasUnsupported_) readOnly_ = true;
    // Left-overs of a pack that died before it committed (no pack runs: we hold our lock).
    if (!readOnly_) {
        ::unlink((path_ + ".packing").c_str());
        if (memo_) ::unlink((MemoPath() + ".packing").c_str());
    }
}

void TDbfTable::TImpl::ParseHeader(const std::vector<uint8_t>& head, uint64_t fileSize) {
    const uint8_t* h = head.data();
    version_ = h[0];
    switch (version_) {
        case 0x03: case 0x83: case 0x8B: case 0x30: case 0x31: case 0x32: case 0xF5: case 0xFB:
            break;
        default:
            RaiseError(DBIERR_NOTSUPPORTED, "Table " + path_ + " has the unsupported version byte " + Hex2(version_));
    }
    // Years since 1900; writers that keep only two digits give values below 80 for 20xx.
    lastUpdate_ = {h[1] < 80 ? 2000 + h[1] : 1900 + h[1], h[2], h[3]};
    uint32_t count = GetLE32(h + 4);
    headerLength_ = GetLE16(h + 8);
    recordLength_ = GetLE16(h + 10);
    if (h[15] != 0) RaiseError(DBIERR_NOTSUPPORTED, "Table " + path_ + " is encrypted");
    tableFlags_ = h[28];
    language_ = h[29];
    if (recordLength_ < 1) RaiseError(DBIERR_HEADERCORRUPT, "Table " + path_ + " has a record length of 0");

    fields_.clear();
    hasUnsupported_ = false;
    bool fox = IsFoxProVersion(version_);
    uint32_t offset = 1;
    size_t pos = 32;
    for (; pos + 32 <= head.size() && h[pos] != 0x0D; pos += 32) {
        const uint8_t* d = h + pos;
        TDbfFieldDesc f;
        size_t n = 0;
        while (n < 11 && d[n] != 0) ++n;
        f.Name.assign(reinterpret_cast<const char*>(d), n);
        while (!f.Name.empty() && f.Name.back() == ' ') f.Name.pop_back();
        f.Type = char(d[11]);
        f.Length = d[16];
        f.Decimals = d[17];
        f.Offset = offset;
        const std::string shown = "Field " + PrintableBytes(f.Name);
        auto badLength = [&](const char* kind, const char* want) {
            f.Kind = TDbfFieldKind::Unsupported;
            f.Problem = shown + " is a " + kind + " field of " + std::to_string(f.Length) + " bytes; " + want;
        };
        switch (f.Type) {
            case 'C': f.Kind = TDbfFieldKind::Character; break;
            case 'N': f.Kind = TDbfFieldKind::Numeric; break;
            case 'F': f.Kind = TDbfFieldKind::Float; break;
            case 'D':
                f.Kind = TDbfFieldKind::Date;
                if (f.Length != 8) badLength("date", "date fields are 8 bytes");
                break;
            case 'L':
                f.Kind = TDbfFieldKind::Logical;
                if (f.Length != 1) badLength("logical", "logical fields are 1 byte");
                break;
            case 'M':
                if (f.Length == 10) f.Kind = TDbfFieldKind::Memo;
                else if (fox && f.Length == 4) { f.Kind = TDbfFieldKind::Memo; f.BinaryMemoPointer = true; }
                else badLength("memo", fox ? "memo pointers are 10 or 4 bytes" : "memo pointers are 10 bytes");
                break;
            default:
                f.Kind = TDbfFieldKind::Unsupported;
                f.Problem = shown + " has the type '" + PrintableBytes(std::string_view(&f.Type, 1)) +
                            "', which this engine does not read";
                break;
        }
        if (f.Type == '0' || (fox && (d[18] & 0x01))) f.Hidden = true;
        if (f.Kind == TDbfFieldKind::Unsupported || f.Hidden) hasUnsupported_ = true;
        if (f.Length == 0)
            RaiseError(DBIERR_HEADERCORRUPT, shown + " of table " + path_ + " has a length of 0");
        if (offset + f.Length > recordLength_)
            RaiseError(DBIERR_HEADERCORRUPT, shown + " of table " + path_ +
                                                 " reaches beyond the record length of " + std::to_string(recordLength_));
        offset += f.Length;
        fields_.push_back(std::move(f));
    }
    if (fields_.empty()) RaiseError(DBIERR_HEADERCORRUPT, "Table " + path_ + " describes no fields");

    memoKind_ = TMemoKind::None;
    bool anyMemo = std::any_of(fields_.begin(), fields_.end(), [](const TDbfFieldDesc& f) { return f.Kind == TDbfFieldKind::Memo; });
    if (anyMemo) memoKind_ = fox ? TMemoKind::Fpt : (version_ == 0x8B ? TMemoKind::Dbt4 : TMemoKind::Dbt3);

    // The reader's view never trusts a count the file cannot hold.
    uint64_t data = fileSize > headerLength_ ? fileSize - headerLength_ : 0;
    uint64_t fileRecords = data / recordLength_;
    report_.clear();
    if (count > fileRecords) {
        report_.push_back("The header counts " + std::to_string(count) + " records but the file holds " +
                          std::to_string(fileRecords) + " complete records; reading " + std::to_string(fileRecords));
        count = uint32_t(fileRecords);
        uint64_t rest = data - fileRecords * recordLength_;
        if (rest > 1) report_.push_back("A short last record of " + std::to_string(rest) + " bytes is ignored");
    } else if (fileRecords > count) {
        uint64_t extra = data - uint64_t(count) * recordLength_;
        uint8_t eof = 0;
        if (!(extra == 1 && file_.ReadAt(fileSize - 1, &eof, 1) == 1 && eof == 0x1A))
            report_.push_back(std::to_string(extra) + " bytes after the last counted record are ignored");
    }
    count_ = count;
    InvalidateCache();
}

void TDbfTable::TImpl::OpenMemo() {
    memo_.reset();
    if (memoKind_ == TMemoKind::None) return;
    std::string want = ChangeExt(path_, MemoExtension(memoKind_));
    std::string found = FindNoCase(want);
    if (found.empty()) RaiseError(DBIERR_BLOBFILEMISSING, "Memo file is missing: " + want);
    memo_ = TMemoFile::Open(memoKind_, found, !readOnly_);
}

int TDbfTable::FieldIndex(std::string_view name) const {
    const auto& fields = impl_->fields_;
    for (size_t i = 0; i < fields.size(); ++i)
        if (SameNoCase(fields[i].Name, name)) return int(i);
    return -1;
}

// ====================================================================== locking and header

void TDbfTable::TImpl::CheckWritable() const {
    if (hasUnsupported_)
        RaiseError(DBIERR_TABLEREADONLY, "Table " + path_ + " has fields of types this engine cannot write; it is read-only");
    if (readOnly_) RaiseError(DBIERR_TABLEREADONLY, "Table is open read-only: " + path_);
}

void TDbfTable::TImpl::CheckExclusive(const char* what) const {
    if (!exclusive_) RaiseError(DBIERR_NEEDEXCLACCESS, std::string("Table must be open exclusively to ") + what + ": " + path_);
}

void TDbfTable::TImpl::WriteLock() {
    if (!exclusive_ && lockDepth_ == 0) file_.LockWait(kWriteLock);
    ++lockDepth_;
}

void TDbfTable::TImpl::WriteUnlock() {
    if (--lockDepth_ == 0 && !exclusive_) file_.Unlock(kWriteLock);
}

uint32_t TDbfTable::TImpl::CountOnDisk() {
    uint8_t c[4];
    if (file_.ReadAt(4, c, 4) < 4) return 0;
    uint64_t size = file_.Size();
    uint64_t fileRecords = size > headerLength_ ? (size - headerLength_) / recordLength_ : 0;
    return uint32_t(std::min<uint64_t>(GetLE32(c), fileRecords));
}

uint32_t TDbfTable::TImpl::Refresh() {
    // An exclusive open is the only writer: its own writes keep the read-ahead current; so is
    // an open inside its batch.
    if (exclusive_ || batch_) return count_;
    if (indexes_ && indexes_->Active()) indexes_->SyncWithDisk();
    // A write changes the file's times before its data. When the times are as they were at a
    // look that no write was inside of and that no later write can leave unchanged, nothing
    // has been written since: the count and the records read ahead are current.
    if (stampVouches_ && file_.Stamp() == stamp_) return count_;

    // Look again, with the read lock on the write byte so that no writer is inside a write
    // (under our own write lock no other writer can be).
    const bool ownLock = lockDepth_ > 0;
    const bool quiet = ownLock || file_.TryLock(kWriteLock, false);
    int64_t now = 0;
    uint8_t c[4] = {};
    size_t got = 0;
    try {
        now = FileClockNs();
        stamp_ = file_.Stamp();
        got = file_.ReadAt(4, c, 4);
    } catch (...) {
        if (quiet && !ownLock) file_.Unlock(kWriteLock);
        stampVouches_ = false;
        throw;
    }
    if (quiet && !ownLock) file_.Unlock(kWriteLock);
    InvalidateCache();
    stampVouches_ = quiet && stamp_.SettledAt(now);
    uint64_t fileRecords = stamp_.Size > headerLength_ ? (stamp_.Size - headerLength_) / recordLength_ : 0;
    count_ = uint32_t(std::min<uint64_t>(got == 4 ? GetLE32(c) : 0, fileRecords));
    return count_;
}

void TDbfTable::TImpl::WriteHeaderCount(uint32_t count) {
    TDbfDate d = Today();
    uint8_t h[7];
    h[0] = uint8_t(std::clamp(d.Year - 1900, 0, 255));
    h[1] = uint8_t(d.Month);
    h[2] = uint8_t(d.Day);
    PutLE32(h + 3, count);
    file_.WriteAt(1, h, sizeof h);
    lastUpdate_ = d;
}

// ====================================================================== raw records

void TDbfTable::TImpl::ReadRecord(uint32_t recNo, uint8_t* buffer) {
    if (recNo < 1 || recNo > count_)
        RaiseError(DBIERR_INVALIDRECNO, "Record " + std::to_string(recNo) + " does not exist (the table has " +
                                            std::to_string(count_) + ")");
    if (!batchBuf_.empty() && recNo >= batchFirst_) FlushBatch();
    if (recNo < cacheFirst_ || recNo >= cacheFirst_ + cacheCount_) {
        uint32_t chunk = std::max<uint32_t>(1, uint32_t(kCacheBytes / recordLength_));
        // Reading ahead goes forwards; a reader that went back before what it had (a cursor
        // moving to prior records, a grid scrolled up) gets the records on both sides. A jump
        // far from what was read (a seek, an index order, a key-number jump) reads only a few
        // kilobytes: the records around it are no likelier to be wanted than any others.
        const bool far = cacheCount_ > 0 && (recNo + chunk < cacheFirst_ || recNo > cacheFirst_ + cacheCount_ + chunk);
        if (far) chunk = std::max<uint32_t>(1, uint32_t(kJumpBytes / recordLength_));
        uint32_t first = recNo < cacheFirst_ && !far ? recNo - std::min(recNo - 1, chunk / 2) : recNo;
        uint32_t n = std::min(chunk, count_ - first + 1);
        cache_.resize(size_t(n) * recordLength_);
        size_t got = file_.ReadAt(RecordOffset(first), cache_.data(), cache_.size());
        ++recordReads_;
        cacheFirst_ = first;
        cacheCount_ = uint32_t(got / recordLength_);
        if (recNo >= first + cacheCount_)
            RaiseError(DBIERR_READERR, "Record " + std::to_string(recNo) + " is missing from " + path_ +
                                           " (the file has been shortened)");
    }
    std::memcpy(buffer, cache_.data() + size_t(recNo - cacheFirst_) * recordLength_, recordLength_);
}

void TDbfTable::TImpl::WriteRecord(uint32_t recNo, const uint8_t* buffer) {
    CheckWritable();
    TWriteGuard g(*this);
    FlushBatch();
    if (recNo < 1 || recNo > std::max(count_, exclusive_ ? count_ : CountOnDisk()))
        RaiseError(DBIERR_INVALIDRECNO, "Record " + std::to_string(recNo) + " does not exist");
    const bool indexed = indexes_->Active();
    std::vector<uint8_t> old;
    if (indexed) {
        indexes_->BeforeWrite();
        old = RecordOnDisk(recNo);
    }
    file_.WriteAt(RecordOffset(recNo), buffer, recordLength_);
    if (options_.Durable) file_.Sync();
    if (indexed) {
        indexes_->RecordChanged(recNo, old.data(), buffer);
        indexes_->AfterWrite();
    }
    if (recNo >= cacheFirst_ && recNo < cacheFirst_ + cacheCount_)
        std::memcpy(cache_.data() + size_t(recNo - cacheFirst_) * recordLength_, buffer, recordLength_);
}

uint32_t TDbfTable::TImpl::AppendRecord(const uint8_t* buffer) {
    CheckWritable();
    TWriteGuard g(*this);
    uint32_t n = exclusive_ || batch_ ? count_ : CountOnDisk();
    const bool indexed = indexes_->Active();
    if (indexed) indexes_->BeforeWrite();
    WriteAppended(n, buffer);
    if (indexed) {
        indexes_->RecordChanged(n + 1, nullptr, buffer);
        indexes_->AfterWrite();
    }
    return n + 1;
}

void TDbfTable::TImpl::WriteAppended(uint32_t n, const uint8_t* buffer) {
    if (batch_) {
        if (batchBuf_.empty()) batchFirst_ = n + 1;
        batchBuf_.insert(batchBuf_.end(), buffer, buffer + recordLength_);
        count_ = n + 1;
        if (batchBuf_.size() >= (1u << 20)) FlushBatch();
        return;
    }
    // The record reaches the file before the count that makes it visible.
    std::vector<uint8_t> out(buffer, buffer + recordLength_);
    out.push_back(0x1A);
    file_.WriteAt(RecordOffset(n + 1), out.data(), out.size());
    if (options_.Durable) file_.Sync();
    WriteHeaderCount(n + 1);
    if (options_.Durable) file_.Sync();
    count_ = n + 1;
}

void TDbfTable::TImpl::SetDeleted(uint32_t recNo, bool deleted) {
    CheckWritable();
    TWriteGuard g(*this);
    FlushBatch();
    if (recNo < 1 || recNo > (exclusive_ ? count_ : std::max(count_, CountOnDisk())))
        RaiseError(DBIERR_INVALIDRECNO, "Record " + std::to_string(recNo) + " does not exist");
    uint8_t mark = deleted ? '*' : ' ';
    const bool indexed = indexes_->Active();
    std::vector<uint8_t> old;
    if (indexed) {
        indexes_->BeforeWrite();
        old = RecordOnDisk(recNo);
    }
    file_.WriteAt(RecordOffset(recNo), &mark, 1);
    if (options_.Durable) file_.Sync();
    if (indexed) {
        std::vector<uint8_t> now = old;
        now[0] = mark;
        indexes_->RecordChanged(recNo, old.data(), now.data());
        indexes_->AfterWrite();
    }
    if (recNo >= cacheFirst_ && recNo < cacheFirst_ + cacheCount_)
        cache_[size_t(recNo - cacheFirst_) * recordLength_] = mark;
}

bool TDbfTable::TImpl::IsDeleted(uint32_t recNo) {
    std::vector<uint8_t> buf(recordLength_);
    ReadRecord(recNo, buf.data());
    return buf[0] == '*';
}

std::string TDbfTable::TImpl::ReadMemo(uint32_t block) {
    if (!memo_) RaiseError(DBIERR_BLOBFILEMISSING, "Table " + path_ + " has no memo file");
    return memo_->Read(block);
}

uint32_t TDbfTable::TImpl::MemoPointerOnDisk(uint32_t recNo, int field) {
    FlushBatch();
    const TDbfFieldDesc& f = fields_.at(size_t(field));
    // A record-sized scratch kept across calls: a scan rereads one pointer per memo.
    pointerScratch_.assign(recordLength_, ' ');
    file_.ReadAt(RecordOffset(recNo) + f.Offset, pointerScratch_.data() + f.Offset, f.Length);
    return ParseMemoPointer(f, pointerScratch_.data(), recNo);
}

uint32_t TDbfTable::TImpl::Post(TDbfRecord& r) {
    CheckWritable();
    TWriteGuard g(*this);
    bool append = r.recNo_ == 0;
    uint32_t n = append ? (exclusive_ || batch_ ? count_ : CountOnDisk()) : r.recNo_;
    if (!append) FlushBatch();
    if (!append && (n < 1 || n > std::max(count_, exclusive_ ? count_ : CountOnDisk())))
        RaiseError(DBIERR_INVALIDRECNO, "Record " + std::to_string(n) + " does not exist");
    const bool indexed = indexes_->Active();
    std::vector<uint8_t> oldRecord;
    if (indexed) {
        indexes_->BeforeWrite();
        if (!append) oldRecord = RecordOnDisk(n);
    }

    // The memo blocks the record points at on disk now, to give back after the update.
    std::vector<uint32_t> oldBlocks;
    if (!append && !r.pendingMemos_.empty()) {
        std::vector<uint8_t> cur(recordLength_);
        if (file_.ReadAt(RecordOffset(n), cur.data(), cur.size()) == cur.size())
            for (auto& [f, bytes] : r.pendingMemos_) {
                (void)bytes;
                try {
                    oldBlocks.push_back(ParseMemoPointer(fields_[f], cur.data(), n));
                } catch (const vcl::EDBEngineError&) {
                    // a damaged old pointer is simply not freed
                }
            }
    }
    // A new record copied from another carries that record's memo pointers: its memos are
    // copied, so that freeing one record's blocks never takes another's.
    if (append)
        for (int f = 0; f < int(fields_.size()); ++f)
            if (fields_[size_t(f)].Kind == TDbfFieldKind::Memo && !r.PendingMemo(f)) {
                uint32_t b = ParseMemoPointer(fields_[size_t(f)], r.bytes_.data(), 0);
                if (b != 0) r.SetPendingMemo(f, ReadMemo(b));
            }
    for (auto& [f, bytes] : r.pendingMemos_) {
        uint32_t block = 0;
        if (!bytes.empty()) {
            if (!memo_) RaiseError(DBIERR_BLOBFILEMISSING, "Table " + path_ + " has no memo file");
            block = memo_->Write(bytes);
        }
        StoreMemoPointer(fields_[f], r.bytes_.data(), block);
    }
    if (memo_ && options_.Durable && !r.pendingMemos_.empty()) memo_->File().Sync();

    if (append) {
        WriteAppended(n, r.bytes_.data());
        r.recNo_ = n + 1;
    } else {
        file_.WriteAt(RecordOffset(n), r.bytes_.data(), recordLength_);
        if (options_.Durable) file_.Sync();
        if (n >= cacheFirst_ && n < cacheFirst_ + cacheCount_)
            std::memcpy(cache_.data() + size_t(n - cacheFirst_) * recordLength_, r.bytes_.data(), recordLength_);
        if (n > count_) count_ = n;
    }
    for (uint32_t b : oldBlocks)
        if (b != 0) memo_->Free(b);
    r.pendingMemos_.clear();
    if (indexed) {
        indexes_->RecordChanged(r.recNo_, append ? nullptr : oldRecord.data(), r.bytes_.data());
        indexes_->AfterWrite();
    }
    return r.recNo_;
}

// ====================================================================== pack and zap

void TDbfTable::TImpl::Pack(const TProgressCallback& progress) {
    CheckWritable();
    CheckExclusive("pack it");
    FlushBatch();
    if (indexes_->Active()) indexes_->BeforeWrite();  // marked: a pack cut short leaves them stale
    const std::string tmpDbf = path_ + ".packing";
    const std::string memoPath = MemoPath();
    const std::string tmpMemo = memoPath + ".packing";
    const std::string marker = path_ + ".pack-commit";

    auto cleanup = [&] {
        ::unlink(tmpDbf.c_str());
        if (memo_) ::unlink(tmpMemo.c_str());
    };
    TOsFile out;
    std::unique_ptr<TMemoFile> newMemo;
    uint32_t kept = 0;
    try {
        out.Create(tmpDbf, true);
        out.TryLock(kOpenLock, true);  // held across the rename, so no one opens the new file early
        std::vector<uint8_t> head(headerLength_);
        file_.ReadAt(0, head.data(), head.size());
        if (memo_) {
            uint32_t bs = memo_->BlockSize();
            if (memoKind_ == TMemoKind::Dbt4 && (bs < 512 || bs % 512 != 0)) bs = 512;
            if (memoKind_ == TMemoKind::Fpt && bs < 32) bs = 64;
            TMemoFile::CreateEmpty(memoKind_, tmpMemo, bs, BaseName(path_), true);
            newMemo = TMemoFile::Open(memoKind_, tmpMemo, true);
        }
        std::vector<uint8_t> buf(recordLength_), pending;
        uint64_t outPos = headerLength_;
        uint32_t step = std::max<uint32_t>(1, count_ / 100);
        for (uint32_t rec = 1; rec <= count_; ++rec) {
            ReadRecord(rec, buf.data());
            if (buf[0] != '*') {
                for (const TDbfFieldDesc& f : fields_) {
                    if (f.Kind != TDbfFieldKind::Memo) continue;
                    uint32_t block = ParseMemoPointer(f, buf.data(), rec);
                    uint32_t nb = 0;
                    if (block != 0) {
                        std::string data = memo_->Read(block);
                        if (!data.empty()) nb = newMemo->Write(data);
                    }
                    StoreMemoPointer(f, buf.data(), nb);
                }
                pending.insert(pending.end(), buf.begin(), buf.end());
                ++kept;
                if (pending.size() >= (1u << 20)) {
                    out.WriteAt(outPos, pending.data(), pending.size());
                    outPos += pending.size();
                    pending.clear();
                }
            }
            if (progress && (rec % step == 0 || rec == count_))
                if (!progress(int(uint64_t(rec) * 100 / count_), "Packing " + BaseName(path_)))
                    RaiseError(DBIERR_USERABORT, "Pack of " + path_ + " was cancelled");
        }
        pending.push_back(0x1A);
        out.WriteAt(outPos, pending.data(), pending.size());
        TDbfDate d = Today();
        head[1] = uint8_t(std::clamp(d.Year - 1900, 0, 255));
        head[2] = uint8_t(d.Month);
        head[3] = uint8_t(d.Day);
        PutLE32(head.data() + 4, kept);
        out.WriteAt(0, head.data(), head.size());
        out.Sync();
        if (newMemo) newMemo->File().Sync();
        newMemo.reset();

        // Commit: the marker names the renames; once it is complete on disk, an interrupted
        // pack is finished by the next open.
        std::string m;
        if (memo_) m += tmpMemo + "\t" + memoPath + "\n";
        m += tmpDbf + "\t" + path_ + "\nend\n";
        TOsFile mk;
        mk.Create(marker, true);
        mk.WriteAt(0, m.data(), m.size());
        mk.Sync();
        mk.Close();
        SyncDirectoryOf(path_);
    } catch (...) {
        out.Close();
        newMemo.reset();
        cleanup();
        throw;
    }
    if (memo_ && ::rename(tmpMemo.c_str(), memoPath.c_str()) != 0)
        RaiseError(DBIERR_WRITEERR, "Cannot replace " + memoPath + " (the next open finishes the pack)");
    if (::rename(tmpDbf.c_str(), path_.c_str()) != 0)
        RaiseError(DBIERR_WRITEERR, "Cannot replace " + path_ + " (the next open finishes the pack)");
    SyncDirectoryOf(path_);
    ::unlink(marker.c_str());
    SyncDirectoryOf(path_);

    file_ = std::move(out);
    file_.Close();
    file_.Open(path_, true);
    if (!file_.TryLock(kOpenLock, true))
        RaiseError(DBIERR_FILELOCKED, "Table was opened by another user during the pack: " + path_);
    std::vector<uint8_t> head(headerLength_);
    file_.ReadAt(0, head.data(), head.size());
    ParseHeader(head, file_.Size());
    OpenMemo();
    if (indexes_->Active()) indexes_->TableReplaced();
}

void TDbfTable::TImpl::Zap() {
    CheckWritable();
    CheckExclusive("zap it");
    batchBuf_.clear();
    if (indexes_->Active()) indexes_->BeforeWrite();
    WriteHeaderCount(0);
    count_ = 0;
    InvalidateCache();
    file_.Truncate(headerLength_);
    uint8_t eof = 0x1A;
    file_.WriteAt(headerLength_, &eof, 1);
    if (memo_) memo_->Reset();
    if (options_.Durable) {
        file_.Sync();
        if (memo_) memo_->File().Sync();
    }
    if (indexes_->Active()) indexes_->TableReplaced();
}

// ====================================================================== indexes

void TDbfTable::TImpl::SetProductionFlag(bool on) {
    uint8_t flags = uint8_t(on ? (tableFlags_ | 0x01) : (tableFlags_ & ~0x01));
    if (flags == tableFlags_) return;
    file_.WriteAt(28, &flags, 1);
    if (options_.Durable) file_.Sync();
    tableFlags_ = flags;
}

const std::vector<std::shared_ptr<TIndexFile>>& TDbfTable::IndexFiles() const { return impl_->indexes_->Files(); }
TIndexFile* TDbfTable::ProductionIndex() const { return impl_->indexes_->Production(); }
std::shared_ptr<TIndexTag> TDbfTable::FindTag(std::string_view name) const { return impl_->indexes_->FindTag(name); }

void TDbfTable::AddTag(const TIndexTagDef& def, const TProgressCallback& progress) {
    impl_->CheckWritable();
    impl_->CheckExclusive("change its indexes");
    impl_->indexes_->AddTag(def, progress);
    impl_->SetProductionFlag(true);
}

void TDbfTable::DropTag(std::string_view name) {
    impl_->CheckWritable();
    impl_->CheckExclusive("change its indexes");
    if (impl_->indexes_->DropTag(name)) impl_->SetProductionFlag(false);
}

void TDbfTable::Reindex(const TProgressCallback& progress) {
    impl_->CheckWritable();
    impl_->CheckExclusive("rebuild its indexes");
    impl_->indexes_->RebuildAll(progress);
}

std::shared_ptr<TIndexFile> TDbfTable::CreateNdx(const std::string& path, const TIndexTagDef& def, const TProgressCallback& progress) {
    impl_->CheckWritable();
    impl_->CheckExclusive("create an index");
    return impl_->indexes_->CreateNdx(path, def, progress);
}

std::shared_ptr<TIndexFile> TDbfTable::OpenNdx(const std::string& path) {
    if (impl_->readOnly_) return impl_->indexes_->OpenNdx(path, false);
    TImpl::TWriteGuard g(*impl_);  // a stale file is rebuilt by one writer at a time
    return impl_->indexes_->OpenNdx(path, true);
}

void TDbfTable::CloseNdx(const TIndexFile& file) { impl_->indexes_->CloseNdx(&file); }

// ====================================================================== creating

void TDbfTable::Create(const std::string& pathName, const std::vector<TDbfFieldDef>& defs, const TDbfCreateOptions& o) {
    const std::string path = NativePath(pathName);
    if (o.Level != 3 && o.Level != 4) RaiseError(DBIERR_INVALIDPARAM, "Table level must be 3 or 4");
    if (defs.empty()) RaiseError(DBIERR_INVALIDPARAM, "A table needs at least one field");
    size_t maxFields = o.Level == 3 ? 128 : 255;
    if (defs.size() > maxFields)
        RaiseError(DBIERR_TOOMANYFIELDS, "A level " + std::to_string(o.Level) + " table has at most " +
                                             std::to_string(maxFields) + " fields");
    uint8_t language = 0;
    if (o.CodePage != 0) {
        language = LanguageByteOfCodePage(o.CodePage);
        if (language == 0) RaiseError(DBIERR_NOTSUPPORTED, "Code page " + std::to_string(o.CodePage) + " has no language byte");
        TCodePageConverter check(o.CodePage);
    }
    std::vector<uint8_t> desc;
    uint32_t recLen = 1;
    bool memo = false;
    std::vector<std::string> names;
    for (const TDbfFieldDef& d : defs) {
        std::string name;
        for (char c : d.Name) name += (c >= 'a' && c <= 'z') ? char(c - 32) : c;
        bool ok = !name.empty() && name.size() <= 10 && name[0] >= 'A' && name[0] <= 'Z';
        for (char c : name) ok = ok && ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_');
        if (!ok) RaiseError(DBIERR_INVALIDFIELDNAME, "Invalid field name '" + d.Name + "'");
        for (auto& n : names)
            if (n == name) RaiseError(DBIERR_NAMENOTUNIQUE, "Duplicate field name '" + d.Name + "'");
        names.push_back(name);
        char t = d.Type >= 'a' && d.Type <= 'z' ? char(d.Type - 32) : d.Type;
        int len = d.Length, dec = d.Decimals;
        auto bad = [&](const std::string& why) {
            RaiseError(DBIERR_INVALIDFLDTYPE, "Field " + name + ": " + why);
        };
        switch (t) {
            case 'C':
                if (len < 1 || len > 254) bad("a character field is 1 to 254 bytes long");
                if (dec != 0) bad("a character field has no decimals");
                break;
            case 'N': case 'F':
                if (len < 1 || len > 20) bad("a numeric field is 1 to 20 digits long");
                if (dec < 0 || dec > 15 || (dec > 0 && dec > len - 2)) bad("invalid number of decimals");
                break;
            case 'D': if (len == 0) len = 8; if (len != 8 || dec) bad("a date field is 8 bytes"); break;
            case 'L': if (len == 0) len = 1; if (len != 1 || dec) bad("a logical field is 1 byte"); break;
            case 'M': if (len == 0) len = 10; if (len != 10 || dec) bad("a memo field is 10 bytes"); memo = true; break;
            default: bad(std::string("unknown field type '") + d.Type + "'");
        }
        uint8_t e[32] = {};
        std::memcpy(e, name.data(), name.size());
        e[11] = uint8_t(t);
        e[16] = uint8_t(len);
        e[17] = uint8_t(dec);
        desc.insert(desc.end(), e, e + 32);
        recLen += uint32_t(len);
    }
    if (recLen > 4000) RaiseError(DBIERR_RECTOOBIG, "Records of " + std::to_string(recLen) + " bytes exceed 4000 bytes");

    std::vector<uint8_t> h(32, 0);
    h[0] = memo ? (o.Level == 3 ? 0x83 : 0x8B) : 0x03;
    TDbfDate d = Today();
    h[1] = uint8_t(d.Year - 1900);
    h[2] = uint8_t(d.Month);
    h[3] = uint8_t(d.Day);
    uint16_t hl = uint16_t(32 + desc.size() + 1);
    PutLE16(h.data() + 8, hl);
    PutLE16(h.data() + 10, uint16_t(recLen));
    h[29] = language;
    h.insert(h.end(), desc.begin(), desc.end());
    h.push_back(0x0D);
    h.push_back(0x1A);

    std::string memoPath = ChangeExt(path, ".dbt");
    if (!o.Replace) {
        if (!FindNoCase(path).empty()) RaiseError(DBIERR_FILEEXISTS, "Table already exists: " + path);
        if (memo && !FindNoCase(memoPath).empty()) RaiseError(DBIERR_FILEEXISTS, "Memo file already exists: " + memoPath);
    }
    if (memo) {
        std::string base;
        for (char c : BaseName(path)) base += (c >= 'a' && c <= 'z') ? char(c - 32) : c;
        TMemoFile::CreateEmpty(o.Level == 3 ? TMemoKind::Dbt3 : TMemoKind::Dbt4, memoPath, o.MemoBlockSize, base, true);
    }
    TOsFile f;
    f.Create(path, true);
    f.WriteAt(0, h.data(), h.size());
    f.Sync();
    SyncDirectoryOf(path);
}

// ====================================================================== records with values

TDbfRecord::TDbfRecord(std::shared_ptr<TDbfTable> table) : table_(std::move(table)) {
    bytes_.assign(table_->RecordLength(), ' ');
}

void TDbfRecord::Load(uint32_t recNo) {
    table_->ReadRecord(recNo, bytes_.data());
    recNo_ = recNo;
    pendingMemos_.clear();
}

void TDbfRecord::Clear() {
    std::fill(bytes_.begin(), bytes_.end(), ' ');
    recNo_ = 0;
    pendingMemos_.clear();
}

const TDbfFieldDesc& TDbfRecord::Field(int field) const {
    const std::vector<TDbfFieldDesc>& fields = table_->Fields();
    if (field < 0 || size_t(field) >= fields.size())
        RaiseError(DBIERR_INVALIDPARAM, "Field number " + std::to_string(field + 1) + " is out of range");
    return fields[size_t(field)];
}

const std::string* TDbfRecord::PendingMemo(int field) const {
    for (auto& [f, bytes] : pendingMemos_)
        if (f == field) return &bytes;
    return nullptr;
}

void TDbfRecord::SetPendingMemo(int field, std::string bytes) {
    auto at = std::lower_bound(pendingMemos_.begin(), pendingMemos_.end(), field,
                               [](const auto& p, int f) { return p.first < f; });
    if (at != pendingMemos_.end() && at->first == field) at->second = std::move(bytes);
    else pendingMemos_.emplace(at, field, std::move(bytes));
}

void TDbfRecord::BadValue(int field, const std::string& what) const {
    std::string where = "field " + table_->Fields()[size_t(field)].Name;
    if (recNo_) where += " of record " + std::to_string(recNo_);
    where += " of table " + table_->Path();
    RaiseError(DBIERR_INVALIDFLDXFORM, "Invalid value in " + where + ": " + what);
}

std::string TDbfRecord::GetRaw(int field) const {
    const TDbfFieldDesc& f = Field(field);
    return std::string(reinterpret_cast<const char*>(bytes_.data() + f.Offset), f.Length);
}

bool TDbfRecord::IsNull(int field) const {
    const TDbfFieldDesc& f = Field(field);
    if (f.Kind == TDbfFieldKind::Memo) {
        if (const std::string* p = PendingMemo(field)) return p->empty();
        return MemoBlock(field) == 0;
    }
    std::string_view raw(reinterpret_cast<const char*>(bytes_.data() + f.Offset), f.Length);
    if (f.Kind == TDbfFieldKind::Logical) return raw[0] == ' ' || raw[0] == '?' || raw[0] == '\0';
    if (f.Kind == TDbfFieldKind::Date && raw == "00000000") return true;
    std::string_view t = TrimBlanks(raw);
    if ((f.Kind == TDbfFieldKind::Numeric || f.Kind == TDbfFieldKind::Float) && AllStars(t)) return true;
    return t.empty();
}

std::string TDbfRecord::GetText(int field) const {
    const TDbfFieldDesc& f = Field(field);
    std::string_view raw(reinterpret_cast<const char*>(bytes_.data() + f.Offset), f.Length);
    switch (f.Kind) {
        case TDbfFieldKind::Character: {
            while (!raw.empty() && (raw.back() == ' ' || raw.back() == '\0')) raw.remove_suffix(1);
            return ToUtf8(field, raw);
        }
        case TDbfFieldKind::Numeric:
        case TDbfFieldKind::Float: {
            // Checked, so that only number text leaves the engine.
            if (!GetNumber(field)) return "";
            std::string_view t = TrimBlanks(raw);
            if (t[0] == '+') t.remove_prefix(1);
            return std::string(t);
        }
        case TDbfFieldKind::Date: {
            auto d = GetDate(field);
            if (!d) return "";
            char b[16];
            std::snprintf(b, sizeof b, "%04d-%02d-%02d", d->Year, d->Month, d->Day);
            return b;
        }
        case TDbfFieldKind::Logical: {
            auto l = GetLogical(field);
            return l ? (*l ? "T" : "F") : "";
        }
        case TDbfFieldKind::Memo: return GetMemo(field);
        case TDbfFieldKind::Unsupported: break;
    }
    RaiseError(DBIERR_NOTSUPPORTED, f.Problem.empty() ? "Field " + f.Name + " cannot be read" : f.Problem);
}

std::string TDbfRecord::ToUtf8(int field, std::string_view stored) const {
    try {
        return table_->Converter().ToUtf8(stored);
    } catch (const vcl::EDBEngineError& e) {
        BadValue(field, e.what());
    }
}

std::optional<double> TDbfRecord::GetNumber(int field) const {
    const TDbfFieldDesc& f = Field(field);
    if (f.Kind != TDbfFieldKind::Numeric && f.Kind != TDbfFieldKind::Float)
        RaiseError(DBIERR_INVALIDFLDXFORM, "Field " + f.Name + " is not numeric");
    std::string_view s = TrimBlanks(std::string_view(reinterpret_cast<const char*>(bytes_.data() + f.Offset), f.Length));
    if (s.empty() || AllStars(s)) return std::nullopt;
    std::string_view t = s;
    if (!t.empty() && t[0] == '+') t.remove_prefix(1);
    if (auto quick = QuickDecimal(t)) return *quick;
    double v = 0;
    auto r = std::from_chars(t.data(), t.data() + t.size(), v);
    if (r.ec != std::errc() || (r.ptr != t.data() + t.size() && std::string_view(r.ptr, size_t(t.data() + t.size() - r.ptr)) != "."))
        BadValue(field, "'" + PrintableBytes(s) + "' is not a number");
    return v;
}

std::optional<TDbfDate> TDbfRecord::GetDate(int field) const {
    const TDbfFieldDesc& f = Field(field);
    if (f.Kind != TDbfFieldKind::Date) RaiseError(DBIERR_INVALIDFLDXFORM, "Field " + f.Name + " is not a date");
    std::string_view raw(reinterpret_cast<const char*>(bytes_.data() + f.Offset), 8);
    if (TrimBlanks(raw).empty() || raw == "00000000") return std::nullopt;
    if (!AllDigits(raw)) BadValue(field, "'" + PrintableBytes(raw) + "' is not a date");
    TDbfDate d;
    std::from_chars(raw.data(), raw.data() + 4, d.Year);
    std::from_chars(raw.data() + 4, raw.data() + 6, d.Month);
    std::from_chars(raw.data() + 6, raw.data() + 8, d.Day);
    if (!IsValidCalendarDate(d.Year, d.Month, d.Day)) BadValue(field, "'" + std::string(raw) + "' is not a date");
    return d;
}

std::optional<bool> TDbfRecord::GetLogical(int field) const {
    const TDbfFieldDesc& f = Field(field);
    if (f.Kind != TDbfFieldKind::Logical) RaiseError(DBIERR_INVALIDFLDXFORM, "Field " + f.Name + " is not logical");
    char c = char(bytes_[f.Offset]);
    switch (c) {
        case 'T': case 't': case 'Y': case 'y': return true;
        case 'F': case 'f': case 'N': case 'n': return false;
        case ' ': case '?': case '\0': return std::nullopt;
    }
    BadValue(field, "'" + PrintableBytes(std::string_view(&c, 1)) + "' is not a logical value");
}

uint32_t TDbfRecord::MemoBlock(int field) const {
    const TDbfFieldDesc& f = Field(field);
    if (f.Kind != TDbfFieldKind::Memo) RaiseError(DBIERR_INVALIDFLDXFORM, "Field " + f.Name + " is not a memo");
    return ParseMemoPointer(f, bytes_.data(), recNo_);
}

std::string TDbfRecord::GetMemoRaw(int field) const {
    if (const std::string* p = PendingMemo(field)) return *p;
    uint32_t block = MemoBlock(field);
    // In a shared open the record may have been rewritten since it was read: follow the pointer
    // the file holds now, never one whose blocks may already belong to another record.
    if (block && recNo_ && !table_->Exclusive()) block = table_->MemoPointerOnDisk(recNo_, field);
    return block ? table_->ReadMemo(block) : std::string();
}

std::string TDbfRecord::GetMemo(int field) const {
    std::string raw = GetMemoRaw(field);
    try {
        return table_->Converter().ToUtf8(std::move(raw));
    } catch (const vcl::EDBEngineError& e) {
        BadValue(field, e.what());
    }
}

void TDbfRecord::Store(const TDbfFieldDesc& f, std::string_view s, bool rightAlign) {
    uint8_t* p = bytes_.data() + f.Offset;
    std::memset(p, ' ', f.Length);
    std::memcpy(p + (rightAlign ? f.Length - s.size() : 0), s.data(), s.size());
}

void TDbfRecord::SetNull(int field) {
    const TDbfFieldDesc& f = Field(field);
    if (f.Kind == TDbfFieldKind::Unsupported) RaiseError(DBIERR_NOTSUPPORTED, "Field " + f.Name + " cannot be written");
    if (f.Kind == TDbfFieldKind::Memo) {
        SetPendingMemo(field, std::string());
        return;
    }
    std::memset(bytes_.data() + f.Offset, ' ', f.Length);
}

void TDbfRecord::SetNumber(int field, double v) {
    const TDbfFieldDesc& f = Field(field);
    if (f.Kind != TDbfFieldKind::Numeric && f.Kind != TDbfFieldKind::Float)
        RaiseError(DBIERR_INVALIDFLDXFORM, "Field " + f.Name + " is not numeric");
    if (!std::isfinite(v)) BadValue(field, "not a finite number");
    if (v == 0) v = 0;  // no "-0"
    char b[400];
    std::snprintf(b, sizeof b, "%.*f", int(f.Decimals), v);
    std::string_view s(b);
    if (s.size() > f.Length)
        BadValue(field, std::string(s) + " does not fit in " + std::to_string(f.Length) + " digits");
    Store(f, s, true);
}

void TDbfRecord::SetDate(int field, const TDbfDate& d) {
    const TDbfFieldDesc& f = Field(field);
    if (f.Kind != TDbfFieldKind::Date) RaiseError(DBIERR_INVALIDFLDXFORM, "Field " + f.Name + " is not a date");
    if (!IsValidCalendarDate(d.Year, d.Month, d.Day)) BadValue(field, "not a valid date");
    char b[16];
    std::snprintf(b, sizeof b, "%04d%02d%02d", d.Year, d.Month, d.Day);
    Store(f, b, false);
}

void TDbfRecord::SetLogical(int field, bool v) {
    const TDbfFieldDesc& f = Field(field);
    if (f.Kind != TDbfFieldKind::Logical) RaiseError(DBIERR_INVALIDFLDXFORM, "Field " + f.Name + " is not logical");
    bytes_[f.Offset] = v ? 'T' : 'F';
}

void TDbfRecord::SetMemoRaw(int field, std::string_view bytes) {
    const TDbfFieldDesc& f = Field(field);
    if (f.Kind != TDbfFieldKind::Memo) RaiseError(DBIERR_INVALIDFLDXFORM, "Field " + f.Name + " is not a memo");
    if (table_->MemoKind() == TMemoKind::Dbt3 && bytes.find('\x1A') != std::string_view::npos)
        BadValue(field, "a dBase III memo cannot hold the byte 0x1A");
    SetPendingMemo(field, std::string(bytes));
}

void TDbfRecord::SetMemo(int field, std::string_view utf8) { SetMemoRaw(field, table_->Converter().FromUtf8(utf8)); }

void TDbfRecord::SetText(int field, std::string_view s) {
    const TDbfFieldDesc& f = Field(field);
    switch (f.Kind) {
        case TDbfFieldKind::Character: {
            std::string stored = table_->Converter().FromUtf8(s);
            if (stored.size() > f.Length)
                BadValue(field, "text of " + std::to_string(stored.size()) + " bytes does not fit in " +
                                    std::to_string(f.Length) + " bytes");
            Store(f, stored, false);
            return;
        }
        case TDbfFieldKind::Numeric:
        case TDbfFieldKind::Float: {
            std::string_view t = TrimBlanks(s);
            if (t.empty()) return SetNull(field);
            // Plain decimal text with no more decimals than the field keeps is stored exactly;
            // anything else goes through a double (rounding to the field's decimals).
            std::string_view body = t;
            bool neg = false;
            if (body[0] == '-' || body[0] == '+') {
                neg = body[0] == '-';
                body.remove_prefix(1);
            }
            size_t dot = body.find('.');
            std::string_view ip = body.substr(0, dot), fp = dot == std::string_view::npos ? std::string_view() : body.substr(dot + 1);
            bool plain = (!ip.empty() || !fp.empty()) && (ip.empty() || AllDigits(ip)) && (fp.empty() || AllDigits(fp));
            if (plain && fp.size() <= f.Decimals) {
                while (ip.size() > 1 && ip[0] == '0') ip.remove_prefix(1);
                std::string out = neg ? "-" : "";
                out += ip.empty() ? "0" : std::string(ip);
                if (f.Decimals > 0) out += "." + std::string(fp) + std::string(f.Decimals - fp.size(), '0');
                bool zero = out.find_first_not_of("-0.") == std::string::npos;
                if (zero && neg) out.erase(0, 1);
                if (out.size() > f.Length)
                    BadValue(field, std::string(t) + " does not fit in " + std::to_string(f.Length) + " digits");
                Store(f, out, true);
                return;
            }
            std::string_view u = t[0] == '+' ? t.substr(1) : t;
            double v = 0;
            auto r = std::from_chars(u.data(), u.data() + u.size(), v);
            if (r.ec != std::errc() || r.ptr != u.data() + u.size()) BadValue(field, "'" + std::string(t) + "' is not a number");
            return SetNumber(field, v);
        }
        case TDbfFieldKind::Date: {
            std::string_view t = TrimBlanks(s);
            if (t.empty()) return SetNull(field);
            std::string digits;
            if (t.size() == 10 && t[4] == '-' && t[7] == '-')
                digits = std::string(t.substr(0, 4)) + std::string(t.substr(5, 2)) + std::string(t.substr(8, 2));
            else
                digits = std::string(t);
            if (digits.size() != 8 || !AllDigits(digits)) BadValue(field, "'" + std::string(t) + "' is not a date (YYYY-MM-DD)");
            TDbfDate d;
            std::from_chars(digits.data(), digits.data() + 4, d.Year);
            std::from_chars(digits.data() + 4, digits.data() + 6, d.Month);
            std::from_chars(digits.data() + 6, digits.data() + 8, d.Day);
            if (!IsValidCalendarDate(d.Year, d.Month, d.Day)) BadValue(field, "'" + std::string(t) + "' is not a date");
            return SetDate(field, d);
        }
        case TDbfFieldKind::Logical: {
            std::string_view t = TrimBlanks(s);
            if (t.empty() || t == "?") return SetNull(field);
            std::string u;
            for (char c : t) u += (c >= 'a' && c <= 'z') ? char(c - 32) : c;
            if (u == "T" || u == "Y" || u == "TRUE" || u == ".T.") return SetLogical(field, true);
            if (u == "F" || u == "N" || u == "FALSE" || u == ".F.") return SetLogical(field, false);
            BadValue(field, "'" + std::string(t) + "' is not a logical value (T or F)");
        }
        case TDbfFieldKind::Memo: return SetMemo(field, s);
        case TDbfFieldKind::Unsupported: break;
    }
    RaiseError(DBIERR_NOTSUPPORTED, "Field " + f.Name + " cannot be written");
}

}  // namespace bde
