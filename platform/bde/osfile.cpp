#include "bde/osfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>

#include "bde/errors.h"

namespace bde {

namespace {
std::string SysText() { return std::strerror(errno); }
}  // namespace

TOsFile::~TOsFile() { Close(); }

TOsFile::TOsFile(TOsFile&& o) noexcept : fd_(o.fd_), writable_(o.writable_), path_(std::move(o.path_)) {
    o.fd_ = -1;
}

TOsFile& TOsFile::operator=(TOsFile&& o) noexcept {
    if (this != &o) {
        Close();
        fd_ = o.fd_;
        writable_ = o.writable_;
        path_ = std::move(o.path_);
        o.fd_ = -1;
    }
    return *this;
}

void TOsFile::Open(const std::string& path, bool writable) {
    Close();
    // Non-blocking, so that a named pipe or device in place of a table is refused at once
    // instead of waiting for a writer; regular files ignore the flag, which is then cleared.
    int fd = ::open(path.c_str(), (writable ? O_RDWR : O_RDONLY) | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        if (errno == ENOENT) RaiseError(DBIERR_NOSUCHFILE, "File not found: " + path);
        RaiseError(DBIERR_FILENOACCESS, "Cannot open " + path + ": " + SysText());
    }
    struct stat st;
    if (::fstat(fd, &st) == 0 && !S_ISREG(st.st_mode)) {
        ::close(fd);
        RaiseError(DBIERR_FILENOACCESS, "Not a regular file: " + path);
    }
    int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    fd_ = fd;
    writable_ = writable;
    path_ = path;
}

void TOsFile::Create(const std::string& path, bool replace) {
    Close();
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | (replace ? O_TRUNC : O_EXCL), 0644);
    if (fd < 0) {
        if (errno == EEXIST) RaiseError(DBIERR_FILEEXISTS, "File already exists: " + path);
        RaiseError(DBIERR_FILENOACCESS, "Cannot create " + path + ": " + SysText());
    }
    fd_ = fd;
    writable_ = true;
    path_ = path;
}

void TOsFile::Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

size_t TOsFile::ReadAt(uint64_t off, void* buf, size_t n) const {
    size_t done = 0;
    while (done < n) {
        ssize_t r = ::pread(fd_, static_cast<char*>(buf) + done, n - done, off_t(off + done));
        if (r < 0) {
            if (errno == EINTR) continue;
            RaiseError(DBIERR_READERR, "Read error in " + path_ + ": " + SysText());
        }
        if (r == 0) break;
        done += size_t(r);
    }
    return done;
}

void TOsFile::WriteAt(uint64_t off, const void* buf, size_t n) {
    size_t done = 0;
    while (done < n) {
        ssize_t r = ::pwrite(fd_, static_cast<const char*>(buf) + done, n - done, off_t(off + done));
        if (r < 0) {
            if (errno == EINTR) continue;
            RaiseError(DBIERR_WRITEERR, "Write error in " + path_ + ": " + SysText());
        }
        done += size_t(r);
    }
}

uint64_t TOsFile::Size() const {
    struct stat st;
    if (::fstat(fd_, &st) != 0) RaiseError(DBIERR_READERR, "Cannot read the size of " + path_);
    return uint64_t(st.st_size);
}

TFileStamp TOsFile::Stamp() const {
    struct stat st;
    if (::fstat(fd_, &st) != 0) RaiseError(DBIERR_READERR, "Cannot read the state of " + path_);
    auto ns = [](const struct timespec& t) { return int64_t(t.tv_sec) * 1000000000 + t.tv_nsec; };
    return {uint64_t(st.st_dev), uint64_t(st.st_ino), uint64_t(st.st_size), ns(st.st_mtim), ns(st.st_ctim)};
}

bool TFileStamp::SettledAt(int64_t nowNs) const {
    int64_t fraction = ChangedNs % 1000000000;
    int64_t unit = 1;
    if (fraction == 0) unit = 2000000000;
    else
        while (fraction % (unit * 10) == 0) unit *= 10;
    return ChangedNs + unit <= nowNs;
}

int64_t FileClockNs() {
    struct timespec t;
    ::clock_gettime(CLOCK_REALTIME_COARSE, &t);
    return int64_t(t.tv_sec) * 1000000000 + t.tv_nsec;
}

void TOsFile::Truncate(uint64_t size) {
    if (::ftruncate(fd_, off_t(size)) != 0)
        RaiseError(DBIERR_WRITEERR, "Cannot truncate " + path_ + ": " + SysText());
}

void TOsFile::Sync() {
    if (::fdatasync(fd_) != 0) RaiseError(DBIERR_WRITEERR, "Cannot flush " + path_ + ": " + SysText());
}

bool TOsFile::IsFileAt(const std::string& path) const {
    struct stat a, b;
    if (::stat(path.c_str(), &a) != 0 || ::fstat(fd_, &b) != 0) return false;
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

static struct flock MakeLock(short type, uint64_t pos) {
    struct flock fl;
    std::memset(&fl, 0, sizeof fl);
    fl.l_type = type;
    fl.l_whence = SEEK_SET;
    fl.l_start = off_t(pos);
    fl.l_len = 1;
    return fl;
}

bool TOsFile::TryLock(uint64_t pos, bool exclusive) {
    struct flock fl = MakeLock(exclusive ? F_WRLCK : F_RDLCK, pos);
    if (::fcntl(fd_, F_OFD_SETLK, &fl) == 0) return true;
    if (errno == EAGAIN || errno == EACCES) return false;
    RaiseError(DBIERR_LOCKED, "Cannot lock " + path_ + ": " + SysText());
}

void TOsFile::LockWait(uint64_t pos) {
    struct flock fl = MakeLock(F_WRLCK, pos);
    while (::fcntl(fd_, F_OFD_SETLKW, &fl) != 0) {
        if (errno == EINTR) continue;
        RaiseError(DBIERR_LOCKED, "Cannot lock " + path_ + ": " + SysText());
    }
}

void TOsFile::Unlock(uint64_t pos) {
    struct flock fl = MakeLock(F_UNLCK, pos);
    ::fcntl(fd_, F_OFD_SETLK, &fl);
}

void SyncDirectoryOf(const std::string& path) {
    std::string dir = path;
    size_t slash = dir.find_last_of('/');
    dir = slash == std::string::npos ? "." : (slash == 0 ? "/" : dir.substr(0, slash));
    int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

void RaiseError(DBIResult code, const std::string& message) {
    throw vcl::EDBEngineError(code, message);
}

static void AppendEscaped(std::string& out, unsigned char c) {
    static const char* hex = "0123456789ABCDEF";
    out += "\\x";
    out += hex[c >> 4];
    out += hex[c & 15];
}

std::string PrintableBytes(std::string_view bytes) {
    std::string out;
    for (unsigned char c : bytes) {
        if (c >= 0x20 && c < 0x7F) out += char(c);
        else AppendEscaped(out, c);
    }
    return out;
}

std::string PrintableText(std::string_view s) {
    std::string out;
    size_t i = 0;
    while (i < s.size()) {
        unsigned char c = s[i];
        if (c < 0x80) {
            if (c >= 0x20 && c != 0x7F) out += char(c);
            else AppendEscaped(out, c);
            ++i;
            continue;
        }
        // A complete, shortest-form UTF-8 sequence is kept; anything else is escaped bytewise.
        size_t n = c >= 0xF0 && c <= 0xF4 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 && c < 0xE0 ? 2 : 0;
        bool ok = n > 0 && i + n <= s.size();
        for (size_t k = 1; ok && k < n; ++k) ok = (static_cast<unsigned char>(s[i + k]) & 0xC0) == 0x80;
        if (ok && n == 3) {
            unsigned char d = s[i + 1];
            ok = !(c == 0xE0 && d < 0xA0) && !(c == 0xED && d >= 0xA0);
        }
        if (ok && n == 4) {
            unsigned char d = s[i + 1];
            ok = !(c == 0xF0 && d < 0x90) && !(c == 0xF4 && d >= 0x90);
        }
        if (!ok) {
            AppendEscaped(out, c);
            ++i;
            continue;
        }
        out.append(s.substr(i, n));
        i += n;
    }
    return out;
}

}  // namespace bde
