// Memo files beside a table: dBase III .DBT (512-byte blocks, text ended by 0x1A), dBase IV .DBT
// (block size from the header, block headers with lengths, freed blocks reused) and FoxPro .FPT
// (big-endian block headers). Every read is checked against the file: a damaged pointer,
// length or block size raises DBIERR_MEMOCORRUPT for that value and nothing outside the file is
// read.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "bde/osfile.h"

namespace bde {

enum class TMemoKind { None, Dbt3, Dbt4, Fpt };

class TMemoFile {
public:
    virtual ~TMemoFile() = default;

    // Opens an existing memo file of the given kind.
    static std::unique_ptr<TMemoFile> Open(TMemoKind kind, const std::string& path, bool writable);
    // Creates an empty memo file (replacing one that exists when replace is set).
    // blockSize is used by dBase IV and FoxPro files; dBaseName is recorded in a dBase IV header.
    static void CreateEmpty(TMemoKind kind, const std::string& path, uint32_t blockSize,
                            const std::string& dbfBaseName, bool replace);

    TMemoKind Kind() const { return kind_; }
    uint32_t BlockSize() const { return blockSize_; }
    TOsFile& File() { return file_; }

    // The bytes of the memo that starts at block (block >= 1).
    virtual std::string Read(uint32_t block) = 0;
    // Stores a memo in free blocks and returns its first block. The data is written before any
    // pointer to it, so a crash leaves at worst unused blocks.
    virtual uint32_t Write(std::string_view data) = 0;
    // Gives the blocks of a memo back for reuse (dBase IV); other kinds keep them until a pack.
    virtual void Free(uint32_t block) { (void)block; }
    // Empties the file (zap).
    virtual void Reset() = 0;

protected:
    TMemoFile(TMemoKind kind, TOsFile file) : kind_(kind), file_(std::move(file)) {}
    [[noreturn]] void Corrupt(uint32_t block, const std::string& what) const;
    uint32_t FileBlocks() const;  // blocks the file holds, a partial last block counting as one

    TMemoKind kind_;
    TOsFile file_;
    uint32_t blockSize_ = 512;
};

// The extension a memo kind uses (".dbt" or ".fpt").
const char* MemoExtension(TMemoKind kind);

}  // namespace bde
