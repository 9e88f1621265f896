// A file descriptor with positioned reads and writes, syncing and advisory byte-range locks.
// Locks are open-file-description locks (F_OFD_*): they belong to one open of the file, so two
// opens inside one process conflict just as two processes do.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace bde {

// What fstat tells about an open file: which file it is, its size, and when its data and its
// inode last changed (nanoseconds since the epoch).
struct TFileStamp {
    uint64_t Device = 0, Inode = 0, Size = 0;
    int64_t ModifiedNs = 0, ChangedNs = 0;
    bool operator==(const TFileStamp&) const = default;
    // True when any write after the moment nowNs (read from FileClockNs) must give the file
    // another change time. File systems keep times in units (a nanosecond, 100 ns, 10 ms, a
    // second, two seconds ...) and the kernel's clock moves in ticks, so a write within the unit
    // or tick of the last change can leave the time as it was. The unit is not reported: it is
    // guessed from the trailing zeros of the change time, a whole second counting as two.
    bool SettledAt(int64_t nowNs) const;
};

// The clock the kernel stamps files with (its coarse real-time clock), in nanoseconds.
int64_t FileClockNs();

class TOsFile {
public:
    TOsFile() = default;
    ~TOsFile();
    TOsFile(TOsFile&& other) noexcept;
    TOsFile& operator=(TOsFile&& other) noexcept;
    TOsFile(const TOsFile&) = delete;
    TOsFile& operator=(const TOsFile&) = delete;

    // Opens an existing file; raises DBIERR_NOSUCHFILE or DBIERR_FILENOACCESS.
    void Open(const std::string& path, bool writable);
    // Creates the file, which must not exist yet (DBIERR_FILEEXISTS), or replaces it.
    void Create(const std::string& path, bool replace);
    void Close();
    bool IsOpen() const { return fd_ >= 0; }
    const std::string& Path() const { return path_; }
    bool Writable() const { return writable_; }

    // Reads up to n bytes at off; returns the count (short only at the end of the file).
    size_t ReadAt(uint64_t off, void* buf, size_t n) const;
    // Writes all n bytes at off or raises DBIERR_WRITEERR.
    void WriteAt(uint64_t off, const void* buf, size_t n);
    uint64_t Size() const;
    TFileStamp Stamp() const;
    void Truncate(uint64_t size);
    void Sync();  // data and size on stable storage (fdatasync)
    // True when path names the very file this descriptor has open.
    bool IsFileAt(const std::string& path) const;

    // Non-blocking shared or exclusive lock of one byte at pos; false when another open holds a
    // conflicting lock.
    bool TryLock(uint64_t pos, bool exclusive);
    // Blocking exclusive lock of one byte at pos.
    void LockWait(uint64_t pos);
    void Unlock(uint64_t pos);

private:
    int fd_ = -1;
    bool writable_ = false;
    std::string path_;
};

// Syncs the directory that holds path, so renames and creations in it are durable.
void SyncDirectoryOf(const std::string& path);

}  // namespace bde
