// Streams: the TStream helpers, memory, string and file streams.
#include "classes/streams.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "rtl/sysutils.h"

namespace vcl {

DBV_IMPLEMENT_CLASS(TStream)
DBV_IMPLEMENT_CLASS(TCustomMemoryStream)
DBV_IMPLEMENT_CLASS(TMemoryStream)
DBV_IMPLEMENT_CLASS(TStringStream)
DBV_IMPLEMENT_CLASS(TFileStream)

// ================= TStream =================

int64_t TStream::GetSize() {
    int64_t pos = Seek(0, soCurrent);
    int64_t size = Seek(0, soEnd);
    Seek(pos, soBeginning);
    return size;
}

void TStream::SetSize(int64_t) { throw EStreamError("Stream size cannot be changed"); }

void TStream::ReadBuffer(void* buffer, int64_t count) {
    if (count < 0 || (count != 0 && Read(buffer, count) != count)) throw EReadError("Stream read error");
}

void TStream::WriteBuffer(const void* buffer, int64_t count) {
    if (count < 0 || (count != 0 && Write(buffer, count) != count)) throw EWriteError("Stream write error");
}

int64_t TStream::CopyFrom(TStream& source, int64_t count) {
    if (count == 0) {
        source.SetPosition(0);
        count = source.GetSize();
    }
    if (count < 0) throw EReadError("Stream read error");
    char buf[65536];
    int64_t left = count;
    while (left > 0) {
        int64_t n = std::min<int64_t>(left, int64_t(sizeof buf));
        source.ReadBuffer(buf, n);
        WriteBuffer(buf, n);
        left -= n;
    }
    return count;
}

std::string TStream::ReadAll() {
    std::string out;
    char buf[65536];
    for (;;) {
        int64_t n = Read(buf, int64_t(sizeof buf));
        if (n <= 0) break;
        out.append(buf, size_t(n));
    }
    return out;
}

// ================= memory streams =================

namespace {
int64_t SeekIn(int64_t pos, int64_t size, int64_t offset, TSeekOrigin origin) {
    int64_t base = origin == soBeginning ? 0 : origin == soCurrent ? pos : size;
    int64_t r = base + offset;
    if (r < 0) throw EStreamError("Invalid stream position");
    return r;
}

// Copies up to count bytes of an in-memory buffer from pos on, and moves pos past them.
int64_t ReadIn(const void* data, int64_t size, int64_t& pos, void* buffer, int64_t count) {
    if (count <= 0 || pos >= size) return 0;
    int64_t n = std::min(count, size - pos);
    std::memcpy(buffer, static_cast<const char*>(data) + pos, size_t(n));
    pos += n;
    return n;
}
}  // namespace

int64_t TCustomMemoryStream::Read(void* buffer, int64_t count) {
    return ReadIn(data_.data(), int64_t(data_.size()), pos_, buffer, count);
}

int64_t TCustomMemoryStream::Seek(int64_t offset, TSeekOrigin origin) {
    pos_ = SeekIn(pos_, int64_t(data_.size()), offset, origin);
    return pos_;
}

void TCustomMemoryStream::SaveToStream(TStream& s) {
    if (!data_.empty()) s.WriteBuffer(data_.data(), int64_t(data_.size()));
}

void TCustomMemoryStream::SaveToFile(const std::string& name) {
    WriteFileAtomic(name, std::string_view(reinterpret_cast<const char*>(data_.data()), data_.size()));
}

int64_t TMemoryStream::Write(const void* buffer, int64_t count) {
    if (count <= 0) return 0;
    size_t end = size_t(pos_ + count);
    if (end > data_.size()) data_.resize(end);  // a gap after a seek past the end reads as zeros
    std::memcpy(data_.data() + pos_, buffer, size_t(count));
    pos_ += count;
    return count;
}

void TMemoryStream::SetSize(int64_t newSize) {
    if (newSize < 0) throw EStreamError("Invalid stream size");
    data_.resize(size_t(newSize));
    if (pos_ > newSize) pos_ = newSize;
}

void TMemoryStream::Clear() {
    data_.clear();
    pos_ = 0;
}

void TMemoryStream::LoadFromStream(TStream& s) {
    s.SetPosition(0);
    int64_t size = s.GetSize();
    SetSize(size);
    if (size > 0) s.ReadBuffer(data_.data(), size);
    pos_ = 0;
}

void TMemoryStream::LoadFromFile(const std::string& name) {
    TFileStream f(name, fmOpenRead | fmShareDenyWrite);
    LoadFromStream(f);
}

// ================= TStringStream =================

int64_t TStringStream::Read(void* buffer, int64_t count) {
    return ReadIn(data_.data(), int64_t(data_.size()), pos_, buffer, count);
}

int64_t TStringStream::Write(const void* buffer, int64_t count) {
    if (count <= 0) return 0;
    size_t end = size_t(pos_ + count);
    if (end > data_.size()) data_.resize(end, '\0');
    std::memcpy(data_.data() + pos_, buffer, size_t(count));
    pos_ += count;
    return count;
}

int64_t TStringStream::Seek(int64_t offset, TSeekOrigin origin) {
    pos_ = SeekIn(pos_, int64_t(data_.size()), offset, origin);
    return pos_;
}

void TStringStream::SetSize(int64_t newSize) {
    if (newSize < 0) throw EStreamError("Invalid stream size");
    data_.resize(size_t(newSize), '\0');
    if (pos_ > newSize) pos_ = newSize;
}

// ================= TFileStream =================

TFileStream::TFileStream(const std::string& fileName, uint16_t mode) : name_(fileName) {
    std::string native = ToNativePath(fileName);
    bool create = (mode & 0xFF00) == fmCreate;
    uint16_t share = mode & 0x00F0;
    if (create) {
        // Truncate only once the lock is ours, so a refused create leaves the file alone.
        fd_ = ::open(native.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
        if (fd_ < 0)
            throw EFCreateError("Cannot create file \"" + fileName + "\". " + std::strerror(errno));
    } else {
        int flags = O_CLOEXEC;
        switch (mode & 0x0003) {
        case fmOpenWrite: flags |= O_WRONLY; break;
        case fmOpenReadWrite: flags |= O_RDWR; break;
        default: flags |= O_RDONLY; break;
        }
        fd_ = ::open(native.c_str(), flags);
        if (fd_ < 0) throw EFOpenError("Cannot open file \"" + fileName + "\". " + std::strerror(errno));
        struct stat st;
        if (::fstat(fd_, &st) == 0 && S_ISDIR(st.st_mode)) {
            ::close(fd_);
            fd_ = -1;
            throw EFOpenError("Cannot open file \"" + fileName + "\". " + std::strerror(EISDIR));
        }
    }
    int lock = 0;
    if (share == fmShareExclusive) lock = LOCK_EX | LOCK_NB;
    else if (share == fmShareDenyWrite) lock = LOCK_SH | LOCK_NB;
    else if (create) lock = LOCK_EX | LOCK_NB;  // creating replaces the contents: nobody else may hold it
    if (lock && ::flock(fd_, lock) != 0) {
        int err = errno;
        ::close(fd_);
        fd_ = -1;
        std::string why = (err == EWOULDBLOCK)
                              ? "The process cannot access the file because it is being used by another process."
                              : std::string(std::strerror(err));
        if (create) throw EFCreateError("Cannot create file \"" + fileName + "\". " + why);
        throw EFOpenError("Cannot open file \"" + fileName + "\". " + why);
    }
    if (create) {
        if (::ftruncate(fd_, 0) != 0) {
            int err = errno;
            ::close(fd_);
            fd_ = -1;
            throw EFCreateError("Cannot create file \"" + fileName + "\". " + std::strerror(err));
        }
        // Keep only the lock the share mode asked for.
        if (share != fmShareExclusive) {
            if (share == fmShareDenyWrite) ::flock(fd_, LOCK_SH | LOCK_NB);
            else ::flock(fd_, LOCK_UN);
        }
    }
}

TFileStream::~TFileStream() {
    if (fd_ >= 0) ::close(fd_);  // closing drops the lock
}

int64_t TFileStream::Read(void* buffer, int64_t count) {
    if (count <= 0) return 0;
    char* p = static_cast<char*>(buffer);
    int64_t done = 0;
    while (done < count) {
        ssize_t n = ::read(fd_, p + done, size_t(count - done));
        if (n < 0) {
            if (errno == EINTR) continue;
            if (done == 0) return -1;
            break;
        }
        if (n == 0) break;
        done += n;
    }
    return done;
}

int64_t TFileStream::Write(const void* buffer, int64_t count) {
    if (count <= 0) return 0;
    const char* p = static_cast<const char*>(buffer);
    int64_t done = 0;
    while (done < count) {
        ssize_t n = ::write(fd_, p + done, size_t(count - done));
        if (n < 0) {
            if (errno == EINTR) continue;
            if (done == 0) return -1;
            break;
        }
        done += n;
    }
    return done;
}

int64_t TFileStream::Seek(int64_t offset, TSeekOrigin origin) {
    int whence = origin == soBeginning ? SEEK_SET : origin == soCurrent ? SEEK_CUR : SEEK_END;
    off_t r = ::lseek(fd_, off_t(offset), whence);
    if (r < 0) throw EStreamError("Invalid stream position");
    return int64_t(r);
}

void TFileStream::SetSize(int64_t newSize) {
    if (newSize < 0 || ::ftruncate(fd_, off_t(newSize)) != 0) throw EWriteError("Stream write error");
    if (GetPosition() > newSize) Seek(newSize, soBeginning);
}

void TFileStream::Flush() {
    if (::fsync(fd_) != 0) throw EWriteError("Stream write error");
}

}  // namespace vcl
