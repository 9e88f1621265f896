// Strings, conversions, file names, files and the system directory.
#include "rtl/sysutils.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "rtl/datetime.h"

namespace vcl {

// ---- case and comparison ----

char UpCase(char c) { return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c; }
static char LoCase(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

std::string UpperCase(std::string_view s) {
    std::string r(s);
    for (char& c : r) c = UpCase(c);
    return r;
}

std::string LowerCase(std::string_view s) {
    std::string r(s);
    for (char& c : r) c = LoCase(c);
    return r;
}

int CompareText(std::string_view a, std::string_view b) {
    size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        unsigned char x = (unsigned char)UpCase(a[i]), y = (unsigned char)UpCase(b[i]);
        if (x != y) return int(x) - int(y);
    }
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
}

int CompareStr(std::string_view a, std::string_view b) {
    int c = a.compare(b);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

bool SameText(std::string_view a, std::string_view b) {
    return a.size() == b.size() && CompareText(a, b) == 0;
}

// ---- trims ----

static bool IsBlank(char c) { return (unsigned char)c <= ' '; }

std::string Trim(std::string_view s) { return TrimLeft(TrimRight(s)); }

std::string TrimLeft(std::string_view s) {
    size_t i = 0;
    while (i < s.size() && IsBlank(s[i])) ++i;
    return std::string(s.substr(i));
}

std::string TrimRight(std::string_view s) {
    size_t n = s.size();
    while (n > 0 && IsBlank(s[n - 1])) --n;
    return std::string(s.substr(0, n));
}

// ---- 1-based helpers ----

std::string Copy(std::string_view s, int index, int count) {
    if (index < 1) index = 1;
    if (count <= 0 || size_t(index) > s.size()) return {};
    return std::string(s.substr(size_t(index - 1), size_t(count)));
}

int Pos(std::string_view sub, std::string_view s) {
    if (sub.empty()) return 0;
    size_t p = s.find(sub);
    return p == std::string_view::npos ? 0 : int(p) + 1;
}

std::string StringOfChar(char c, int count) { return count > 0 ? std::string(size_t(count), c) : std::string(); }

std::string StringReplaceAll(std::string_view s, std::string_view from, std::string_view to) {
    if (from.empty()) return std::string(s);
    std::string r;
    size_t i = 0;
    for (;;) {
        size_t p = s.find(from, i);
        if (p == std::string_view::npos) break;
        r.append(s.substr(i, p - i));
        r.append(to);
        i = p + from.size();
    }
    r.append(s.substr(i));
    return r;
}

std::string QuotedStr(std::string_view s, char quote) {
    std::string r(1, quote);
    for (char c : s) {
        r += c;
        if (c == quote) r += c;
    }
    r += quote;
    return r;
}

std::string ExtractFieldName(std::string_view fields, int& pos) {
    if (pos < 1) pos = 1;
    int i = pos;
    int len = int(fields.size());
    while (i <= len && fields[size_t(i - 1)] != ';') ++i;
    std::string r = Trim(Copy(fields, pos, i - pos));
    if (i <= len && fields[size_t(i - 1)] == ';') ++i;
    pos = i;
    return r;
}

std::vector<std::string> SplitFieldNames(std::string_view fields) {
    std::vector<std::string> out;
    int pos = 1;
    while (pos <= int(fields.size())) {
        std::string n = ExtractFieldName(fields, pos);
        if (!n.empty()) out.push_back(n);
    }
    return out;
}

// ---- formatting and conversions ----

std::string FormatV(const char* fmt, va_list ap) {
    va_list copy;
    va_copy(copy, ap);
    char buf[256];
    int n = vsnprintf(buf, sizeof buf, fmt, copy);
    va_end(copy);
    if (n < 0) return {};
    if (size_t(n) < sizeof buf) return std::string(buf, size_t(n));
    std::string r(size_t(n) + 1, '\0');
    vsnprintf(r.data(), r.size(), fmt, ap);
    r.resize(size_t(n));
    return r;
}

std::string Format(const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    std::string r = FormatV(fmt, ap);
    va_end(ap);
    return r;
}

std::string IntToStr(long long v) { return std::to_string(v); }

std::string IntToHex(long long v, int digits) {
    char buf[32];
    snprintf(buf, sizeof buf, "%0*llX", digits < 0 ? 0 : digits, (unsigned long long)v);
    return buf;
}

// Integers as the platform reads them: leading blanks, an optional sign, then decimal digits or
// a hexadecimal number written "$1F" or "0x1F". Nothing may follow.
bool TryStrToInt64(std::string_view s, long long& out) {
    size_t i = 0;
    while (i < s.size() && s[i] == ' ') ++i;
    bool neg = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
        neg = s[i] == '-';
        ++i;
    }
    int base = 10;
    if (i < s.size() && s[i] == '$') {
        base = 16;
        ++i;
    } else if (i + 1 < s.size() && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    if (i >= s.size()) return false;
    unsigned long long mag = 0;
    const unsigned long long limit = neg ? 9223372036854775808ULL : 9223372036854775807ULL;
    for (; i < s.size(); ++i) {
        char c = s[i];
        int d;
        if (c >= '0' && c <= '9') d = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f') d = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F') d = c - 'A' + 10;
        else return false;
        if (base == 16) {
            // Hexadecimal text spells a bit pattern: up to 16 digits are accepted.
            if (mag >> 60) return false;
            mag = mag * 16 + unsigned(d);
        } else {
            if (mag > (limit - unsigned(d)) / 10) return false;
            mag = mag * 10 + unsigned(d);
        }
    }
    if (base == 16) {
        long long v = (long long)mag;
        out = neg ? (long long)(0ULL - mag) : v;
        return true;
    }
    out = neg ? (long long)(0ULL - mag) : (long long)mag;
    return true;
}

bool TryStrToInt(std::string_view s, int& out) {
    long long v;
    if (!TryStrToInt64(s, v)) return false;
    // Hexadecimal text up to 8 digits is a 32-bit pattern ($FFFFFFFF == -1).
    std::string t = Trim(s);
    bool hex = t.find('$') != std::string::npos || t.find("0x") != std::string::npos ||
               t.find("0X") != std::string::npos;
    if (hex && v >= 0 && v <= 0xFFFFFFFFLL) {
        out = int32_t(uint32_t(v));
        return true;
    }
    if (v < INT32_MIN || v > INT32_MAX) return false;
    out = int(v);
    return true;
}

int StrToInt(std::string_view s) {
    int v;
    if (!TryStrToInt(s, v)) throw EConvertError("'" + std::string(s) + "' is not a valid integer value");
    return v;
}

long long StrToInt64(std::string_view s) {
    long long v;
    if (!TryStrToInt64(s, v)) throw EConvertError("'" + std::string(s) + "' is not a valid integer value");
    return v;
}

int StrToIntDef(std::string_view s, int def) {
    int v;
    return TryStrToInt(s, v) ? v : def;
}

// Floats: blanks around, optional sign, digits with one decimal separator, optional exponent.
bool TryStrToFloat(std::string_view s, double& out) {
    char dec = FormatSettings().DecimalSeparator;
    std::string t = Trim(s);
    std::string n;
    size_t i = 0;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) n += t[i++];
    bool digits = false, point = false;
    for (; i < t.size(); ++i) {
        char c = t[i];
        if (c >= '0' && c <= '9') {
            n += c;
            digits = true;
        } else if (c == dec && !point) {
            n += '.';
            point = true;
        } else {
            break;
        }
    }
    if (!digits) return false;
    if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
        n += 'e';
        ++i;
        if (i < t.size() && (t[i] == '+' || t[i] == '-')) n += t[i++];
        bool expDigits = false;
        for (; i < t.size() && t[i] >= '0' && t[i] <= '9'; ++i) {
            n += t[i];
            expDigits = true;
        }
        if (!expDigits) return false;
    }
    if (i != t.size()) return false;
    const char* b = n.data();
    if (*b == '+') ++b;
    double v = 0;
    auto res = std::from_chars(b, n.data() + n.size(), v);
    if (res.ec != std::errc() || res.ptr != n.data() + n.size()) return false;
    if (!std::isfinite(v)) return false;
    out = v;
    return true;
}

double StrToFloat(std::string_view s) {
    double v;
    if (!TryStrToFloat(s, v))
        throw EConvertError("'" + std::string(s) + "' is not a valid floating point value");
    return v;
}

double StrToFloatDef(std::string_view s, double def) {
    double v;
    return TryStrToFloat(s, v) ? v : def;
}

std::string FloatToStr(double v) {
    if (std::isnan(v)) return "NAN";
    if (std::isinf(v)) return v > 0 ? "INF" : "-INF";
    char buf[64];
    snprintf(buf, sizeof buf, "%.15G", v);
    std::string r = buf;
    // "1E+20" -> "1E20", "1E-05" -> "1E-5"
    size_t e = r.find('E');
    if (e != std::string::npos) {
        std::string mant = r.substr(0, e);
        std::string ex = r.substr(e + 1);
        bool neg = !ex.empty() && ex[0] == '-';
        if (!ex.empty() && (ex[0] == '+' || ex[0] == '-')) ex.erase(0, 1);
        while (ex.size() > 1 && ex[0] == '0') ex.erase(0, 1);
        r = mant + "E" + (neg ? "-" : "") + ex;
    }
    char dec = FormatSettings().DecimalSeparator;
    if (dec != '.') std::replace(r.begin(), r.end(), '.', dec);
    return r;
}

bool StrToBool(std::string_view s) {
    std::string t = Trim(s);
    if (SameText(t, "True")) return true;
    if (SameText(t, "False")) return false;
    double d;
    if (TryStrToFloat(t, d)) return d != 0;
    throw EConvertError("'" + std::string(s) + "' is not a valid boolean value");
}

std::string BoolToStr(bool b, bool useBoolStrs) {
    if (useBoolStrs) return b ? "True" : "False";
    return b ? "-1" : "0";
}

// ---- file names ----

bool IsPathDelimiter(char c) { return c == '/' || c == '\\'; }

static size_t LastDelimiter(std::string_view name) {
    for (size_t i = name.size(); i > 0; --i)
        if (IsPathDelimiter(name[i - 1])) return i - 1;
    return std::string_view::npos;
}

std::string ExtractFilePath(std::string_view name) {
    size_t p = LastDelimiter(name);
    return p == std::string_view::npos ? std::string() : std::string(name.substr(0, p + 1));
}

std::string ExtractFileDir(std::string_view name) {
    size_t p = LastDelimiter(name);
    if (p == std::string_view::npos) return {};
    // The root keeps its separator ("/x" -> "/", "C:\x" -> "C:\").
    if (p == 0 || (p == 2 && name[1] == ':')) return std::string(name.substr(0, p + 1));
    return std::string(name.substr(0, p));
}

std::string ExtractFileName(std::string_view name) {
    size_t p = LastDelimiter(name);
    return std::string(p == std::string_view::npos ? name : name.substr(p + 1));
}

std::string ExtractFileExt(std::string_view name) {
    std::string base = ExtractFileName(name);
    size_t d = base.rfind('.');
    return d == std::string::npos ? std::string() : base.substr(d);
}

std::string ChangeFileExt(std::string_view name, std::string_view ext) {
    size_t sep = LastDelimiter(name);
    size_t start = sep == std::string_view::npos ? 0 : sep + 1;
    size_t d = name.rfind('.');
    std::string r;
    if (d != std::string_view::npos && d >= start) r = std::string(name.substr(0, d));
    else r = std::string(name);
    r += ext;
    return r;
}

// The separator a path already uses: the last one in it, '/' when it has none.
static char SeparatorOf(std::string_view path) {
    size_t p = LastDelimiter(path);
    return p == std::string_view::npos ? '/' : path[p];
}

std::string ExcludeTrailingPathDelimiter(std::string_view path) {
    size_t n = path.size();
    while (n > 1 && IsPathDelimiter(path[n - 1])) --n;
    return std::string(path.substr(0, n));
}

std::string IncludeTrailingPathDelimiter(std::string_view path) {
    if (!path.empty() && IsPathDelimiter(path.back())) return std::string(path);
    std::string r(path);
    r += SeparatorOf(path);
    return r;
}

std::string JoinPath(std::string_view dir, std::string_view name) {
    if (dir.empty()) return std::string(name);
    char sep = SeparatorOf(dir);
    std::string d = ExcludeTrailingPathDelimiter(dir);
    while (!name.empty() && IsPathDelimiter(name.front())) name.remove_prefix(1);
    if (d.size() == 1 && IsPathDelimiter(d[0])) return d + std::string(name);
    return d + sep + std::string(name);
}

bool HasPathPart(std::string_view name) {
    return name.find_first_of("/\\:") != std::string_view::npos;
}

std::string ToNativePath(std::string_view name) {
    std::string r(name);
    std::replace(r.begin(), r.end(), '\\', '/');
    return r;
}

// ---- files ----

bool FileExists(std::string_view name) {
    struct stat st;
    return !name.empty() && ::stat(ToNativePath(name).c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool DirectoryExists(std::string_view name) {
    struct stat st;
    return !name.empty() && ::stat(ToNativePath(name).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool ForceDirectories(std::string_view dir) {
    std::string d = ExcludeTrailingPathDelimiter(ToNativePath(dir));
    if (d.empty()) return false;
    if (DirectoryExists(d)) return true;
    std::string parent = ExtractFileDir(d);
    if (!parent.empty() && parent != d && !ForceDirectories(parent)) return false;
    return ::mkdir(d.c_str(), 0777) == 0 || (errno == EEXIST && DirectoryExists(d));
}

bool DeleteFile(std::string_view name) { return ::unlink(ToNativePath(name).c_str()) == 0; }

bool RenameFile(std::string_view from, std::string_view to) {
    return ::rename(ToNativePath(from).c_str(), ToNativePath(to).c_str()) == 0;
}

long long FileSize(std::string_view name) {
    struct stat st;
    if (::stat(ToNativePath(name).c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return -1;
    return (long long)st.st_size;
}

static std::vector<std::string> DirEntries(const std::string& dir) {
    std::vector<std::string> names;
    DIR* d = ::opendir(dir.empty() ? "." : dir.c_str());
    if (!d) return names;
    while (dirent* e = ::readdir(d)) {
        std::string n = e->d_name;
        if (n == "." || n == "..") continue;
        names.push_back(std::move(n));
    }
    ::closedir(d);
    std::sort(names.begin(), names.end());
    return names;
}

std::string FindFileNoCase(std::string_view name) {
    std::string native = ToNativePath(name);
    if (native.empty()) return {};
    struct stat st;
    if (::stat(native.c_str(), &st) == 0 && !S_ISDIR(st.st_mode)) return native;
    std::string dir = ExtractFileDir(native);
    std::string base = ExtractFileName(native);
    if (base.empty()) return {};
    for (const std::string& n : DirEntries(dir)) {
        if (!SameText(n, base)) continue;
        std::string full = dir.empty() ? n : JoinPath(dir, n);
        if (::stat(full.c_str(), &st) == 0 && !S_ISDIR(st.st_mode)) return full;
    }
    return {};
}

bool MatchesMask(std::string_view name, std::string_view mask) {
    if (mask == "*" || mask == "*.*") return true;
    // Iterative wildcard match with backtracking to the last '*'.
    size_t n = 0, m = 0, starM = std::string_view::npos, starN = 0;
    while (n < name.size()) {
        if (m < mask.size() && (mask[m] == '?' || UpCase(mask[m]) == UpCase(name[n]))) {
            ++n;
            ++m;
        } else if (m < mask.size() && mask[m] == '*') {
            starM = m++;
            starN = n;
        } else if (starM != std::string_view::npos) {
            m = starM + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (m < mask.size() && mask[m] == '*') ++m;
    return m == mask.size();
}

std::vector<std::string> ListFiles(std::string_view dir, std::string_view mask) {
    std::string d = ToNativePath(dir);
    std::vector<std::string> out;
    for (const std::string& n : DirEntries(d)) {
        struct stat st;
        std::string full = d.empty() ? n : JoinPath(d, n);
        if (::stat(full.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
        if (MatchesMask(n, mask)) out.push_back(n);
    }
    return out;
}

std::string GetCurrentDir() {
    char buf[4096];
    return ::getcwd(buf, sizeof buf) ? std::string(buf) : std::string();
}

std::string ExeName() {
    char buf[4096];
    ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    return n > 0 ? std::string(buf, size_t(n)) : std::string();
}

std::string ExeDir() { return ExtractFilePath(ExeName()); }

std::string ReadFileBytes(std::string_view name) {
    std::string native = ToNativePath(name);
    int fd = ::open(native.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        throw EFOpenError("Cannot open file \"" + std::string(name) + "\". " + std::strerror(errno));
    std::string data;
    char buf[65536];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR) continue;
            int err = errno;
            ::close(fd);
            throw EReadError("Cannot read file \"" + std::string(name) + "\". " + std::strerror(err));
        }
        if (n == 0) break;
        data.append(buf, size_t(n));
    }
    ::close(fd);
    return data;
}

void WriteFileAtomic(std::string_view name, std::string_view bytes) {
    std::string target = ToNativePath(name);
    auto fail = [&](int err) {
        throw EFCreateError("Cannot create file \"" + std::string(name) + "\". " + std::strerror(err));
    };
    struct stat st;
    bool existed = ::stat(target.c_str(), &st) == 0;
    if (existed && S_ISDIR(st.st_mode)) fail(EISDIR);
    std::string dir = ExtractFileDir(target);
    std::string tmpl = (dir.empty() ? std::string() : IncludeTrailingPathDelimiter(dir)) + "." +
                       ExtractFileName(target) + ".tmpXXXXXX";
    std::vector<char> path(tmpl.begin(), tmpl.end());
    path.push_back('\0');
    int fd = ::mkstemp(path.data());
    if (fd < 0) fail(errno);
    // Keep the permissions of the file being replaced; new files get the usual 0666 & ~umask.
    mode_t mode;
    if (existed) {
        mode = st.st_mode & 07777;
    } else {
        mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    ::fchmod(fd, mode);
    const char* p = bytes.data();
    size_t left = bytes.size();
    while (left > 0) {
        ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            int err = errno;
            ::close(fd);
            ::unlink(path.data());
            fail(err);
        }
        p += n;
        left -= size_t(n);
    }
    if (::fsync(fd) != 0) {
        int err = errno;
        ::close(fd);
        ::unlink(path.data());
        fail(err);
    }
    ::close(fd);
    if (::rename(path.data(), target.c_str()) != 0) {
        int err = errno;
        ::unlink(path.data());
        fail(err);
    }
    // Make the rename itself durable.
    int dfd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
}

// ---- the system directory ----

static std::string& SystemDirSetting() {
    static std::string dir;
    return dir;
}

static std::string DefaultSystemDirectory() {
    if (const char* h = std::getenv("DBVANTOR_HOME"); h && *h) return h;
    const char* home = std::getenv("HOME");
    std::string base = (home && *home) ? home : ".";
    return JoinPath(JoinPath(base, ".config"), "dbvantor");
}

std::string SystemDirectory() {
    std::string& d = SystemDirSetting();
    if (d.empty()) d = DefaultSystemDirectory();
    return d;
}

void SetSystemDirectory(std::string dir) { SystemDirSetting() = ExcludeTrailingPathDelimiter(dir); }

std::string ResolveInSystemDirectory(std::string_view name) {
    if (name.empty() || HasPathPart(name)) return std::string(name);
    return JoinPath(SystemDirectory(), name);
}

// ---- numbers ----

static void CheckRange(double v) {
    if (std::isnan(v) || v >= 9223372036854775808.0 || v < -9223372036854775808.0)
        throw EInvalidOperation("Invalid floating point operation");
}

long long Round(double v) {
    CheckRange(v);
    // nearbyint under the default rounding mode rounds half to even.
    double r = std::nearbyint(v);
    CheckRange(r);
    return (long long)r;
}

long long Trunc(double v) {
    CheckRange(v);
    return (long long)std::trunc(v);
}

double Frac(double v) { return v - std::trunc(v); }

}  // namespace vcl

namespace vcl {

TFileStamp FileStampOf(std::string_view name) {
    TFileStamp s;
    struct stat st;
    if (::stat(ToNativePath(name).c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return s;
    s.exists = true;
    s.dev = uint64_t(st.st_dev);
    s.ino = uint64_t(st.st_ino);
    s.size = uint64_t(st.st_size);
    s.mtimeNs = int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    return s;
}

// ---- number masks ----

namespace {
// The sections of a mask, split at ';' outside quotes.
std::vector<std::string> MaskSections(const std::string& f) {
    std::vector<std::string> out(1);
    char quote = 0;
    for (char c : f) {
        if (quote) {
            if (c == quote) quote = 0;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == ';') {
            out.emplace_back();
            continue;
        }
        out.back() += c;
    }
    return out;
}

std::string FormatSection(const std::string& sec, double value) {
    int intZeros = 0, decZeros = 0, decAll = 0;
    bool point = false, thousands = false, anyDigit = false;
    char quote = 0;
    for (char c : sec) {
        if (quote) {
            if (c == quote) quote = 0;
            continue;
        }
        if (c == '"' || c == '\'') quote = c;
        else if (c == '.') point = true;
        else if (c == ',' && !point) thousands = true;
        else if (c == '0' || c == '#') {
            anyDigit = true;
            if (point) {
                ++decAll;
                if (c == '0') decZeros = decAll;
            } else if (c == '0') {
                ++intZeros;
            }
        }
    }
    std::string number;
    if (anyDigit) {
        char buf[400];
        std::snprintf(buf, sizeof buf, "%.*f", decAll, value);
        std::string text = buf;
        std::string ip = text, fp;
        if (auto dot = text.find('.'); dot != std::string::npos) ip = text.substr(0, dot), fp = text.substr(dot + 1);
        while (int(fp.size()) > decZeros && !fp.empty() && fp.back() == '0') fp.pop_back();
        if (ip == "0" && intZeros == 0) ip.clear();
        while (int(ip.size()) < intZeros) ip.insert(ip.begin(), '0');
        if (thousands)
            for (int i = int(ip.size()) - 3; i > 0; i -= 3) ip.insert(size_t(i), 1, FormatSettings().ThousandSeparator);
        number = ip;
        if (!fp.empty()) number += FormatSettings().DecimalSeparator + fp;
        if (number.empty()) number = "0";
    }
    // Literal text before the first placeholder and after the last one; the number between.
    std::string out;
    bool placed = false;
    quote = 0;
    for (char c : sec) {
        if (quote) {
            if (c == quote) quote = 0;
            else out += c;
            continue;
        }
        if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '0' || c == '#' || c == '.' || c == ',') {
            if (!placed) out += number, placed = true;
        } else {
            out += c;
        }
    }
    return out;
}
}  // namespace

std::string FormatFloat(const std::string& format, double value) {
    if (format.empty()) return FloatToStr(value);
    std::vector<std::string> secs = MaskSections(format);
    if (value < 0 && secs.size() >= 2 && !secs[1].empty()) return FormatSection(secs[1], -value);
    if (value == 0 && secs.size() >= 3 && !secs[2].empty()) return FormatSection(secs[2], 0);
    std::string s = FormatSection(secs[0], std::fabs(value));
    // A value that rounds to zero shows no sign.
    if (value < 0 && s.find_first_of("123456789") != std::string::npos) s.insert(0, "-");
    return s;
}

}  // namespace vcl
