#include "bde/memofile.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "bde/errors.h"

namespace bde {

namespace {

uint32_t GetLE32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }
uint16_t GetLE16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
uint32_t GetBE32(const uint8_t* p) { return uint32_t(p[3]) | uint32_t(p[2]) << 8 | uint32_t(p[1]) << 16 | uint32_t(p[0]) << 24; }
uint16_t GetBE16(const uint8_t* p) { return uint16_t(p[1] | p[0] << 8); }
void PutLE32(uint8_t* p, uint32_t v) { p[0] = uint8_t(v); p[1] = uint8_t(v >> 8); p[2] = uint8_t(v >> 16); p[3] = uint8_t(v >> 24); }
void PutLE16(uint8_t* p, uint16_t v) { p[0] = uint8_t(v); p[1] = uint8_t(v >> 8); }
void PutBE32(uint8_t* p, uint32_t v) { p[3] = uint8_t(v); p[2] = uint8_t(v >> 8); p[1] = uint8_t(v >> 16); p[0] = uint8_t(v >> 24); }
void PutBE16(uint8_t* p, uint16_t v) { p[1] = uint8_t(v); p[0] = uint8_t(v >> 8); }

constexpr uint32_t kHeaderBytes = 512;
constexpr uint64_t kMaxMemo = uint64_t(1) << 31;  // no single memo beyond 2 GB
// A dBase III memo has no length; its end marker is looked for this far at most.
constexpr uint64_t kMaxDbt3Scan = uint64_t(16) << 20;

uint32_t BlocksFor(uint64_t bytes, uint32_t bs) { return uint32_t((bytes + bs - 1) / bs); }

// ---------------------------------------------------------------- dBase III
class TDbt3Memo final : public TMemoFile {
public:
    TDbt3Memo(TOsFile f) : TMemoFile(TMemoKind::Dbt3, std::move(f)) { blockSize_ = 512; }

    std::string Read(uint32_t block) override {
        if (block == 0) Corrupt(block, "lies past the end of the memo file");
        uint64_t off = uint64_t(block) * blockSize_;
        std::string out;
        char buf[4096];
        for (bool first = true;; first = false) {
            size_t n = file_.ReadAt(off, buf, sizeof buf);
            if (n == 0) {
                if (first) Corrupt(block, "lies past the end of the memo file");
                break;  // the file ended before the marker: the text up to the end is the memo
            }
            const char* end = static_cast<const char*>(std::memchr(buf, 0x1A, n));
            if (end) {
                out.append(buf, size_t(end - buf));
                break;
            }
            out.append(buf, n);
            off += n;
            if (out.size() > kMaxDbt3Scan) Corrupt(block, "has no end marker");
        }
        return out;
    }

    uint32_t Write(std::string_view data) override {
        if (data.find('\x1A') != std::string_view::npos)
            RaiseError(DBIERR_INVALIDFLDXFORM, "A dBase III memo cannot hold the byte 0x1A");
        // Append after whatever the file holds: the header's pointer may lag behind or be
        // damaged, the end of the file is always free.
        uint32_t start = std::max(FileBlocks(), 1u);
        uint32_t blocks = BlocksFor(data.size() + 2, blockSize_);
        std::string bytes(data);
        bytes.append("\x1A\x1A", 2);
        bytes.resize(size_t(blocks) * blockSize_, '\0');
        file_.WriteAt(uint64_t(start) * blockSize_, bytes.data(), bytes.size());
        uint8_t hdr[4];
        PutLE32(hdr, start + blocks);
        file_.WriteAt(0, hdr, 4);
        return start;
    }

    void Reset() override {
        std::vector<uint8_t> hdr(kHeaderBytes, 0);
        PutLE32(hdr.data(), 1);
        hdr[16] = 0x03;
        // The new header first, so a crash in between leaves a readable file.
        file_.WriteAt(0, hdr.data(), hdr.size());
        file_.Truncate(hdr.size());
    }
};

// ---------------------------------------------------------------- dBase IV
// A used block starts with FF FF 08 00 and the memo length; a freed run of blocks starts with
// the number of the next free run and its own length in blocks. The header's first word heads
// that chain, whose last link points at the end of the file.
class TDbt4Memo final : public TMemoFile {
public:
    TDbt4Memo(TOsFile f) : TMemoFile(TMemoKind::Dbt4, std::move(f)) {
        uint8_t hdr[24] = {};
        if (file_.ReadAt(0, hdr, sizeof hdr) < sizeof hdr)
            RaiseError(DBIERR_MEMOCORRUPT, "Memo file " + file_.Path() + " has no complete header");
        blockSize_ = GetLE16(hdr + 20);
        if (blockSize_ < 2)
            RaiseError(DBIERR_MEMOCORRUPT, "Memo file " + file_.Path() + " has a block size of " +
                                               std::to_string(blockSize_));
    }

    std::string Read(uint32_t block) override {
        uint64_t off = uint64_t(block) * blockSize_;
        if (block == 0 || off < std::min<uint32_t>(kHeaderBytes, blockSize_))
            Corrupt(block, "lies past the end of the memo file");
        // One read covers the block header and, for most memos, the data and the byte after it.
        std::string buf(std::max<size_t>(blockSize_, 512), '\0');
        uint64_t got = file_.ReadAt(off, buf.data(), buf.size());
        if (got < 8) Corrupt(block, "lies past the end of the memo file");
        const uint8_t* bh = reinterpret_cast<const uint8_t*>(buf.data());
        if (!(bh[0] == 0xFF && bh[1] == 0xFF && bh[2] == 0x08 && bh[3] == 0x00))
            Corrupt(block, "does not start a memo");
        uint64_t len = GetLE32(bh + 4);
        // Enough for the data under either length convention and the byte after it, but never
        // more than the file holds.
        uint64_t want = 8 + len + 1;
        if (want > got && got == buf.size()) {
            want = std::min<uint64_t>(want, file_.Size() - off);
            if (want > got) {
                buf.resize(size_t(want));
                got += file_.ReadAt(off + got, buf.data() + got, size_t(want - got));
            }
        }
        bool atEnd = got < 8 + len + 1;  // the file ends within what was wanted
        uint64_t avail = got - 8;         // exact when atEnd, else at least len + 1
        // Writers differ on whether the length counts the 8-byte block header. With the header
        // counted, the byte after the data is a terminator (0x1F or 0x1A) or padding (0), or
        // the uncounted reading would run past the end of the file.
        uint64_t n = len;
        if (len >= 8) {
            uint64_t withHeader = len - 8;
            bool haveAfter = withHeader < avail;
            uint8_t after = haveAfter ? uint8_t(buf[size_t(8 + withHeader)]) : 0;
            if ((atEnd && (len > avail || withHeader == avail)) ||
                (haveAfter && (after == 0x1F || after == 0x1A || after == 0)))
                n = withHeader;
        }
        if (n > avail) Corrupt(block, "claims " + std::to_string(len) + " bytes, beyond the end of the memo file");
        buf.erase(0, 8);  // in place: no second buffer for the data
        buf.resize(size_t(n));
        return buf;
    }

    uint32_t Write(std::string_view data) override {
        if (blockSize_ < 64)
            RaiseError(DBIERR_NOTSUPPORTED, "Memo file " + file_.Path() + " has a block size of " +
                                                std::to_string(blockSize_) + ", too small to write to");
        if (data.size() + 10 > kMaxMemo) RaiseError(DBIERR_RECTOOBIG, "Memo too large");
        // The length counts the block header; two 0x1F bytes follow the data.
        uint32_t need = BlocksFor(data.size() + 10, blockSize_);
        uint32_t start = Allocate(need);
        std::string bytes(8, '\0');
        bytes[0] = char(0xFF); bytes[1] = char(0xFF); bytes[2] = 0x08; bytes[3] = 0x00;
        PutLE32(reinterpret_cast<uint8_t*>(bytes.data()) + 4, uint32_t(data.size() + 8));
        bytes.append(data);
        bytes.append("\x1F\x1F", 2);
        bytes.resize(size_t(need) * blockSize_, '\0');
        file_.WriteAt(uint64_t(start) * blockSize_, bytes.data(), bytes.size());
        return start;
    }

    void Free(uint32_t block) override {
        if (blockSize_ < 64 || block == 0) return;
        uint64_t size = file_.Size();
        uint64_t off = uint64_t(block) * blockSize_;
        if (off < kHeaderBytes || off + 8 > size) return;  // nothing sound to free
        uint8_t bh[8];
        file_.ReadAt(off, bh, 8);
        if (!(bh[0] == 0xFF && bh[1] == 0xFF && bh[2] == 0x08 && bh[3] == 0x00)) return;
        uint64_t len = GetLE32(bh + 4);
        uint32_t count = BlocksFor(std::max<uint64_t>(len, 8), blockSize_);
        if (off + uint64_t(count) * blockSize_ > size) return;
        uint8_t hdr[4];
        file_.ReadAt(0, hdr, 4);
        uint8_t run[8];
        PutLE32(run, GetLE32(hdr));
        PutLE32(run + 4, count);
        file_.WriteAt(off, run, 8);  // the run first, then the link to it
        PutLE32(hdr, block);
        file_.WriteAt(0, hdr, 4);
    }

    void Reset() override {
        uint8_t hdr[24];
        file_.ReadAt(0, hdr, sizeof hdr);
        std::vector<uint8_t> h(std::max<uint32_t>(kHeaderBytes, blockSize_), 0);
        std::memcpy(h.data(), hdr, sizeof hdr);
        PutLE32(h.data(), BlocksFor(h.size(), blockSize_));
        file_.WriteAt(0, h.data(), h.size());
        file_.Truncate(h.size());
    }

private:
    // First fit in the free chain, else the end of the file. The link to the chosen run is
    // updated before the run is written, so a crash can only leak blocks.
    uint32_t Allocate(uint32_t need) {
        uint32_t fileBlocks = std::max(FileBlocks(), BlocksFor(kHeaderBytes, blockSize_));
        uint64_t prevLink = 0;
        uint8_t w[4];
        file_.ReadAt(0, w, 4);
        uint32_t cur = GetLE32(w);
        for (int steps = 0; steps < 10000; ++steps) {
            if (cur == 0 || cur >= fileBlocks || uint64_t(cur) * blockSize_ < kHeaderBytes) break;
            uint8_t run[8];
            file_.ReadAt(uint64_t(cur) * blockSize_, run, 8);
            if (run[0] == 0xFF && run[1] == 0xFF && run[2] == 0x08 && run[3] == 0x00) break;
            uint32_t next = GetLE32(run), count = GetLE32(run + 4);
            if (count == 0 || uint64_t(cur) + count > fileBlocks) break;
            if (count >= need) {
                uint32_t link = next;
                if (count > need) {
                    uint8_t rest[8];
                    PutLE32(rest, next);
                    PutLE32(rest + 4, count - need);
                    file_.WriteAt(uint64_t(cur + need) * blockSize_, rest, 8);
                    link = cur + need;
                }
                PutLE32(w, link);
                file_.WriteAt(prevLink, w, 4);
                return cur;
            }
            prevLink = uint64_t(cur) * blockSize_;
            cur = next;
        }
        PutLE32(w, fileBlocks + need);
        file_.WriteAt(prevLink, w, 4);
        return fileBlocks;
    }
};

// ---------------------------------------------------------------- FoxPro
class TFptMemo final : public TMemoFile {
public:
    TFptMemo(TOsFile f) : TMemoFile(TMemoKind::Fpt, std::move(f)) {
        uint8_t hdr[8] = {};
        if (file_.ReadAt(0, hdr, sizeof hdr) < sizeof hdr)
            RaiseError(DBIERR_MEMOCORRUPT, "Memo file " + file_.Path() + " has no complete header");
        blockSize_ = GetBE16(hdr + 6);
        // A block size of 1 is FoxPro's byte-granular allocation and is valid.
        if (blockSize_ == 0)
            RaiseError(DBIERR_MEMOCORRUPT, "Memo file " + file_.Path() + " has a block size of 0");
    }

    std::string Read(uint32_t block) override {
        uint64_t off = uint64_t(block) * blockSize_;
        if (block == 0 || off < kHeaderBytes) Corrupt(block, "lies past the end of the memo file");
        std::string buf(512, '\0');
        uint64_t got = file_.ReadAt(off, buf.data(), buf.size());
        if (got < 8) Corrupt(block, "lies past the end of the memo file");
        uint64_t len = GetBE32(reinterpret_cast<const uint8_t*>(buf.data()) + 4);
        if (8 + len > got) {
            if (got < buf.size() || len > file_.Size() - off - 8)
                Corrupt(block, "claims " + std::to_string(len) + " bytes, beyond the end of the memo file");
            buf.resize(size_t(8 + len));
            got += file_.ReadAt(off + got, buf.data() + got, size_t(8 + len - got));
            if (got < 8 + len) Corrupt(block, "claims " + std::to_string(len) + " bytes, beyond the end of the memo file");
        }
        buf.erase(0, 8);
        buf.resize(size_t(len));
        return buf;
    }

    uint32_t Write(std::string_view data) override {
        if (data.size() + 8 > kMaxMemo) RaiseError(DBIERR_RECTOOBIG, "Memo too large");
        uint8_t hdr[4];
        uint32_t start = std::max(FileBlocks(), BlocksFor(kHeaderBytes, blockSize_));
        uint32_t blocks = BlocksFor(data.size() + 8, blockSize_);
        std::string bytes(8, '\0');
        PutBE32(reinterpret_cast<uint8_t*>(bytes.data()), 1);  // text
        PutBE32(reinterpret_cast<uint8_t*>(bytes.data()) + 4, uint32_t(data.size()));
        bytes.append(data);
        bytes.resize(size_t(blocks) * blockSize_, '\0');
        file_.WriteAt(uint64_t(start) * blockSize_, bytes.data(), bytes.size());
        PutBE32(hdr, start + blocks);
        file_.WriteAt(0, hdr, 4);
        return start;
    }

    void Reset() override {
        std::vector<uint8_t> h(kHeaderBytes, 0);
        PutBE32(h.data(), BlocksFor(kHeaderBytes, blockSize_));
        PutBE16(h.data() + 6, uint16_t(blockSize_));
        file_.WriteAt(0, h.data(), h.size());
        file_.Truncate(h.size());
    }
};

}  // namespace

void TMemoFile::Corrupt(uint32_t block, const std::string& what) const {
    RaiseError(DBIERR_MEMOCORRUPT, "Memo block " + std::to_string(block) + " in " + file_.Path() + " " + what);
}

uint32_t TMemoFile::FileBlocks() const {
    return uint32_t(std::min<uint64_t>(BlocksFor(file_.Size(), blockSize_), 0xFFFFFFF0u));
}

std::unique_ptr<TMemoFile> TMemoFile::Open(TMemoKind kind, const std::string& path, bool writable) {
    TOsFile f;
    f.Open(path, writable);
    switch (kind) {
        case TMemoKind::Dbt3: return std::make_unique<TDbt3Memo>(std::move(f));
        case TMemoKind::Dbt4: return std::make_unique<TDbt4Memo>(std::move(f));
        case TMemoKind::Fpt: return std::make_unique<TFptMemo>(std::move(f));
        case TMemoKind::None: break;
    }
    RaiseError(DBIERR_INVALIDPARAM, "No memo file kind given");
}

void TMemoFile::CreateEmpty(TMemoKind kind, const std::string& path, uint32_t blockSize,
                            const std::string& dbfBaseName, bool replace) {
    TOsFile f;
    f.Create(path, replace);
    std::vector<uint8_t> h(kHeaderBytes, 0);
    switch (kind) {
        case TMemoKind::Dbt3:
            PutLE32(h.data(), 1);
            h[16] = 0x03;
            break;
        case TMemoKind::Dbt4: {
            if (blockSize < 512 || blockSize % 512 != 0 || blockSize > 32768)
                RaiseError(DBIERR_INVALIDPARAM, "A dBase IV memo block size must be a multiple of 512 up to 32768");
            h.resize(blockSize, 0);
            PutLE32(h.data(), 1);
            for (size_t i = 0; i < 8 && i < dbfBaseName.size(); ++i) h[8 + i] = uint8_t(dbfBaseName[i]);
            PutLE16(h.data() + 20, uint16_t(blockSize));
            break;
        }
        case TMemoKind::Fpt:
            if (blockSize == 0 || blockSize > 65535) RaiseError(DBIERR_INVALIDPARAM, "Invalid memo block size");
            PutBE32(h.data(), BlocksFor(kHeaderBytes, blockSize));
            PutBE16(h.data() + 6, uint16_t(blockSize));
            break;
        case TMemoKind::None:
            RaiseError(DBIERR_INVALIDPARAM, "No memo file kind given");
    }
    f.WriteAt(0, h.data(), h.size());
}

const char* MemoExtension(TMemoKind kind) { return kind == TMemoKind::Fpt ? ".fpt" : ".dbt"; }

}  // namespace bde
