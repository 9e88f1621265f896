// The registry store and TRegistry.
//
// The file is plain text, one key per header line and one value per line below it:
//
//   DBVANTOR REGISTRY 1
//   [HKEY_LOCAL_MACHINE\SOFTWARE\Engine]
//   "DLLPATH"=string:"C:\\ENGINE"
//   "Count"=integer:42
//   "Data"=binary:0a0b0c
//   @=string:"the key's default value"
//
// Key names escape control characters, '%', '[' and ']' as %XX; strings and value names use
// C-style escapes (\\ \" \n \r \t \xHH).
#include "classes/registry.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "classes/lists.h"
#include "rtl/sysutils.h"

namespace vcl {

DBV_IMPLEMENT_CLASS(TRegistry)

namespace detail {

struct RegValue {
    std::string name;
    TRegDataType type = rdString;
    std::string data;  // string text or binary bytes
    int32_t i = 0;
};

struct RegKey {
    std::string name;
    std::vector<RegValue> values;
    std::vector<std::unique_ptr<RegKey>> keys;

    RegKey* Child(const std::string& n) const {
        for (auto& k : keys)
            if (SameText(k->name, n)) return k.get();
        return nullptr;
    }
    RegValue* Value(const std::string& n) {
        for (auto& v : values)
            if (SameText(v.name, n)) return &v;
        return nullptr;
    }
};

struct RegStore {
    RegKey top;  // its children are the root keys by name
    bool damaged = false;
    bool readFailed = false;  // the file exists but could not be read: never overwrite it
    // The file this snapshot was read from and its identity then.
    std::string file;
    bool loaded = false;
    TFileStamp stamp;

    // A root key always exists, even before anything was written below it.
    bool Exists(const std::vector<std::string>& parts) { return parts.size() == 1 || Find(parts); }
    RegKey* Find(const std::vector<std::string>& parts) {
        RegKey* k = &top;
        for (const std::string& p : parts) {
            k = k->Child(p);
            if (!k) return nullptr;
        }
        return k;
    }
    RegKey* Make(const std::vector<std::string>& parts) {
        RegKey* k = &top;
        for (const std::string& p : parts) {
            RegKey* c = k->Child(p);
            if (!c) {
                k->keys.push_back(std::make_unique<RegKey>());
                c = k->keys.back().get();
                c->name = p;
            }
            k = c;
        }
        return k;
    }
};

struct RegOp {
    enum Kind { CreateKey, SetValue, DeleteValue, DeleteKey } kind;
    std::vector<std::string> path;
    RegValue value;
};

}  // namespace detail

using detail::RegKey;
using detail::RegOp;
using detail::RegStore;
using detail::RegValue;

namespace {

const char kHeader[] = "DBVANTOR REGISTRY 1";

void Apply(RegStore& s, const RegOp& op) {
    switch (op.kind) {
    case RegOp::CreateKey:
        s.Make(op.path);
        break;
    case RegOp::SetValue: {
        RegKey* k = s.Make(op.path);
        if (RegValue* v = k->Value(op.value.name)) {
            std::string keepName = v->name;
            *v = op.value;
            v->name = keepName;
        } else {
            k->values.push_back(op.value);
        }
        break;
    }
    case RegOp::DeleteValue:
        if (RegKey* k = s.Find(op.path))
            std::erase_if(k->values, [&](const RegValue& v) { return SameText(v.name, op.value.name); });
        break;
    case RegOp::DeleteKey: {
        if (op.path.empty()) break;
        std::vector<std::string> parent(op.path.begin(), op.path.end() - 1);
        if (RegKey* k = s.Find(parent))
            std::erase_if(k->keys, [&](const std::unique_ptr<RegKey>& c) { return SameText(c->name, op.path.back()); });
        break;
    }
    }
}

// ---- text format ----

const char kHex[] = "0123456789abcdef";

std::string EscapeKeyName(const std::string& s) {
    std::string r;
    for (char c : s) {
        unsigned char u = (unsigned char)c;
        if (u < 0x20 || u == 0x7f || c == '%' || c == '[' || c == ']') {
            r += '%';
            r += kHex[u >> 4];
            r += kHex[u & 15];
        } else {
            r += c;
        }
    }
    return r;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool UnescapeKeyName(std::string_view s, std::string& out) {
    out.clear();
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '%') {
            out += s[i];
            continue;
        }
        if (i + 2 >= s.size()) return false;
        int h = HexDigit(s[i + 1]), l = HexDigit(s[i + 2]);
        if (h < 0 || l < 0) return false;
        out += char(h * 16 + l);
        i += 2;
    }
    return true;
}

std::string Quote(const std::string& s) {
    std::string r = "\"";
    for (char c : s) {
        unsigned char u = (unsigned char)c;
        switch (c) {
        case '\\': r += "\\\\"; break;
        case '"': r += "\\\""; break;
        case '\n': r += "\\n"; break;
        case '\r': r += "\\r"; break;
        case '\t': r += "\\t"; break;
        default:
            if (u < 0x20 || u == 0x7f) {
                r += "\\x";
                r += kHex[u >> 4];
                r += kHex[u & 15];
            } else {
                r += c;
            }
        }
    }
    return r + "\"";
}

// Reads a quoted string starting at s[i] == '"'; i ends after the closing quote.
bool Unquote(std::string_view s, size_t& i, std::string& out) {
    out.clear();
    if (i >= s.size() || s[i] != '"') return false;
    ++i;
    while (i < s.size()) {
        char c = s[i++];
        if (c == '"') return true;
        if (c != '\\') {
            out += c;
            continue;
        }
        if (i >= s.size()) return false;
        char e = s[i++];
        switch (e) {
        case '\\': out += '\\'; break;
        case '"': out += '"'; break;
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 't': out += '\t'; break;
        case 'x': {
            if (i + 1 >= s.size()) return false;
            int h = HexDigit(s[i]), l = HexDigit(s[i + 1]);
            if (h < 0 || l < 0) return false;
            out += char(h * 16 + l);
            i += 2;
            break;
        }
        default: return false;
        }
    }
    return false;
}

void WriteKey(std::string& out, const RegKey& k, const std::string& path) {
    out += "[" + path + "]\n";
    for (const RegValue& v : k.values) {
        out += v.name.empty() ? std::string("@") : Quote(v.name);
        switch (v.type) {
        case rdInteger: out += "=integer:" + IntToStr(v.i); break;
        case rdBinary:
            out += "=binary:";
            for (unsigned char b : v.data) {
                out += kHex[b >> 4];
                out += kHex[b & 15];
            }
            break;
        case rdExpandString: out += "=expand:" + Quote(v.data); break;
        default: out += "=string:" + Quote(v.data); break;
        }
        out += '\n';
    }
    for (const auto& c : k.keys) WriteKey(out, *c, path + "\\" + EscapeKeyName(c->name));
}

std::string StoreText(const RegStore& s) {
    std::string out = std::string(kHeader) + "\n";
    for (const auto& root : s.top.keys) {
        out += '\n';
        WriteKey(out, *root, EscapeKeyName(root->name));
    }
    return out;
}

bool ParseValueLine(std::string_view line, RegValue& v) {
    size_t i = 0;
    if (line.empty()) return false;
    if (line[0] == '@') {
        v.name.clear();
        i = 1;
    } else if (!Unquote(line, i, v.name)) {
        return false;
    }
    if (i >= line.size() || line[i] != '=') return false;
    ++i;
    std::string_view rest = line.substr(i);
    auto starts = [&](std::string_view p) { return rest.substr(0, p.size()) == p; };
    if (starts("string:") || starts("expand:")) {
        v.type = starts("string:") ? rdString : rdExpandString;
        size_t j = 7;
        if (!Unquote(rest, j, v.data) || j != rest.size()) return false;
        return true;
    }
    if (starts("integer:")) {
        long long n;
        if (!TryStrToInt64(rest.substr(8), n) || n < INT32_MIN || n > UINT32_MAX) return false;
        v.type = rdInteger;
        v.i = int32_t(uint32_t(n));
        return true;
    }
    if (starts("binary:")) {
        std::string_view hex = rest.substr(7);
        if (hex.size() % 2) return false;
        v.type = rdBinary;
        v.data.clear();
        for (size_t k = 0; k < hex.size(); k += 2) {
            int h = HexDigit(hex[k]), l = HexDigit(hex[k + 1]);
            if (h < 0 || l < 0) return false;
            v.data += char(h * 16 + l);
        }
        return true;
    }
    return false;
}

// Parses the file; lines that do not parse are skipped and mark the store as damaged (the
// damaged file is kept as a backup before it is next written).
void ParseStore(std::string_view text, RegStore& s) {
    s.top = RegKey();
    s.damaged = false;
    RegKey* cur = nullptr;
    size_t pos = 0;
    bool first = true;
    while (pos < text.size()) {
        size_t e = text.find('\n', pos);
        std::string_view line = text.substr(pos, e == std::string_view::npos ? std::string_view::npos : e - pos);
        pos = e == std::string_view::npos ? text.size() : e + 1;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (first) {
            first = false;
            if (line == kHeader) continue;
            s.damaged = true;
        }
        if (line.empty() || line[0] == ';') continue;
        if (line[0] == '[') {
            cur = nullptr;
            if (line.back() != ']') {
                s.damaged = true;
                continue;
            }
            std::string_view inner = line.substr(1, line.size() - 2);
            std::vector<std::string> parts;
            bool ok = true;
            size_t st = 0;
            while (st <= inner.size()) {
                size_t sep = inner.find('\\', st);
                std::string_view comp = inner.substr(st, sep == std::string_view::npos ? std::string_view::npos : sep - st);
                std::string name;
                if (comp.empty() || !UnescapeKeyName(comp, name)) {
                    ok = false;
                    break;
                }
                parts.push_back(name);
                if (sep == std::string_view::npos) break;
                st = sep + 1;
            }
            if (!ok || parts.empty()) {
                s.damaged = true;
                continue;
            }
            cur = s.Make(parts);
            continue;
        }
        RegValue v;
        if (!cur || !ParseValueLine(line, v)) {
            s.damaged = true;
            continue;
        }
        if (RegValue* old = cur->Value(v.name)) *old = v;
        else cur->values.push_back(v);
    }
}

void Remember(RegStore& s, const std::string& file, const TFileStamp& f) {
    s.file = file;
    s.loaded = true;
    s.stamp = f;
}

std::vector<std::string> SplitKey(const std::string& key) {
    std::vector<std::string> parts;
    size_t st = 0;
    while (st <= key.size()) {
        size_t sep = key.find('\\', st);
        std::string comp = key.substr(st, sep == std::string::npos ? std::string::npos : sep - st);
        if (!comp.empty()) parts.push_back(comp);
        if (sep == std::string::npos) break;
        st = sep + 1;
    }
    return parts;
}

std::string JoinKey(const std::vector<std::string>& parts, size_t from) {
    std::string r;
    for (size_t i = from; i < parts.size(); ++i) {
        if (!r.empty()) r += '\\';
        r += parts[i];
    }
    return r;
}
}  // namespace

std::string RegistryFileName() { return JoinPath(SystemDirectory(), "registry.dat"); }

std::string RootKeyName(HKEY Key) {
    switch (Key) {
    case HKEY_CLASSES_ROOT: return "HKEY_CLASSES_ROOT";
    case HKEY_CURRENT_USER: return "HKEY_CURRENT_USER";
    case HKEY_LOCAL_MACHINE: return "HKEY_LOCAL_MACHINE";
    case HKEY_USERS: return "HKEY_USERS";
    case HKEY_CURRENT_CONFIG: return "HKEY_CURRENT_CONFIG";
    default: return "";
    }
}

// ================= TRegistry =================

TRegistry::TRegistry() : store_(std::make_unique<RegStore>()) {}

TRegistry::~TRegistry() {
    if (!pending_.empty()) {
        try {
            Flush();
        } catch (...) {
        }
    }
}

void TRegistry::BeforeDestruction() {
    try {
        CloseKey();
    } catch (...) {
        // Nothing may leave a destructor; the changes stay unwritten.
    }
    inherited::BeforeDestruction();
}

void TRegistry::ReadError(const std::string& Name) const {
    throw ERegistryException("Invalid data type for '" + Name + "'");
}

void TRegistry::Refresh() {
    RegStore& st = *store_;
    std::string file = RegistryFileName();
    TFileStamp now = FileStampOf(file);
    if (st.loaded && st.file == file && now == st.stamp) return;
    std::string text;
    bool failed = false;
    if (now.exists) {
        try {
            text = ReadFileBytes(file);
        } catch (const EStreamError&) {
            text.clear();
            failed = true;
        }
    }
    ParseStore(text, st);
    st.readFailed = failed;
    Remember(st, file, now);
    for (const RegOp& op : pending_) Apply(*store_, op);
}

void TRegistry::Change(const RegOp& op) {
    Refresh();
    Apply(*store_, op);
    pending_.push_back(op);
}

void TRegistry::Flush() {
    if (pending_.empty()) return;
    std::string dir = SystemDirectory();
    if (!DirectoryExists(dir) && !ForceDirectories(dir))
        throw ERegistryException("Cannot create the registry directory " + dir + ". " + std::strerror(errno));
    // One writer at a time: re-read under the lock and apply the pending changes to that.
    int lockFd = ::open(ToNativePath(dir).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (lockFd >= 0) ::flock(lockFd, LOCK_EX);
    try {
        store_->loaded = false;
        Refresh();
        std::string file = RegistryFileName();
        if (store_->readFailed) throw ERegistryException("the file exists but cannot be read");
        if (store_->damaged && FileExists(file)) {
            try {
                WriteFileAtomic(file + ".bak", ReadFileBytes(file));
            } catch (const Exception&) {
            }
        }
        WriteFileAtomic(file, StoreText(*store_));
        store_->damaged = false;
        Remember(*store_, file, FileStampOf(file));
        pending_.clear();
    } catch (const Exception& e) {
        if (lockFd >= 0) ::close(lockFd);
        throw ERegistryException("Cannot write the registry file " + RegistryFileName() + ": " + e.Message());
    }
    if (lockFd >= 0) ::close(lockFd);
}

std::vector<std::string> TRegistry::CurrentParts() const {
    std::vector<std::string> parts{RootKeyName(root_)};
    if (open_)
        for (auto& p : SplitKey(path_)) parts.push_back(p);
    return parts;
}

std::vector<std::string> TRegistry::Resolve(const std::string& Key) const {
    std::vector<std::string> parts;
    if (!Key.empty() && Key[0] == '\\') parts.push_back(RootKeyName(root_));
    else parts = CurrentParts();
    for (auto& p : SplitKey(Key)) parts.push_back(p);
    return parts;
}

void TRegistry::SetRootKey(HKEY Value) {
    if (RootKeyName(Value).empty()) throw ERegistryException(Format("Invalid root key %u", Value));
    CloseKey();
    root_ = Value;
}

bool TRegistry::OpenKey(const std::string& Key, bool CanCreate) {
    std::vector<std::string> parts = Resolve(Key);
    Refresh();
    if (!store_->Exists(parts)) {
        if (!CanCreate) return false;
        Change({RegOp::CreateKey, parts, {}});
    }
    // Changes of the key left behind go to the file first.
    bool wasOpen = open_;
    open_ = false;
    try {
        Flush();
    } catch (...) {
        open_ = wasOpen;
        throw;
    }
    open_ = true;
    readOnly_ = false;
    path_ = JoinKey(parts, 1);
    return true;
}

bool TRegistry::OpenKeyReadOnly(const std::string& Key) {
    std::vector<std::string> parts = Resolve(Key);
    Refresh();
    if (!store_->Exists(parts)) return false;
    Flush();
    open_ = true;
    readOnly_ = true;
    path_ = JoinKey(parts, 1);
    return true;
}

void TRegistry::CloseKey() {
    Flush();
    open_ = false;
    readOnly_ = false;
    path_.clear();
}

bool TRegistry::CreateKey(const std::string& Key) {
    std::vector<std::string> parts = Resolve(Key);
    Refresh();
    if (!store_->Exists(parts)) Change({RegOp::CreateKey, parts, {}});
    return true;
}

bool TRegistry::DeleteKey(const std::string& Key) {
    std::vector<std::string> parts = Resolve(Key);
    if (parts.size() < 2) return false;  // a root key cannot go
    Refresh();
    if (!store_->Find(parts)) return false;
    // Deleting the open key (or one above it) closes it.
    std::vector<std::string> cur = CurrentParts();
    bool inside = open_ && cur.size() >= parts.size();
    for (size_t i = 0; inside && i < parts.size(); ++i) inside = SameText(cur[i], parts[i]);
    Change({RegOp::DeleteKey, parts, {}});
    if (inside) CloseKey();
    return true;
}

bool TRegistry::KeyExists(const std::string& Key) {
    std::vector<std::string> parts = Resolve(Key);
    Refresh();
    return store_->Exists(parts);
}

bool TRegistry::HasSubKeys() {
    Refresh();
    RegKey* k = store_->Find(CurrentParts());
    return k && !k->keys.empty();
}

bool TRegistry::ValueExists(const std::string& Name) {
    TRegDataInfo info;
    return GetDataInfo(Name, info);
}

bool TRegistry::DeleteValue(const std::string& Name) {
    if (!open_ || readOnly_) return false;
    if (!ValueExists(Name)) return false;
    RegOp op{RegOp::DeleteValue, CurrentParts(), {}};
    op.value.name = Name;
    Change(op);
    return true;
}

bool TRegistry::GetDataInfo(const std::string& Name, TRegDataInfo& Info) {
    Info = TRegDataInfo();
    Refresh();
    RegKey* k = store_->Find(CurrentParts());
    RegValue* v = k ? k->Value(Name) : nullptr;
    if (!v) return false;
    Info.RegData = v->type;
    Info.DataSize = v->type == rdInteger ? 4 : int(v->data.size());
    return true;
}

TRegDataType TRegistry::GetDataType(const std::string& Name) {
    TRegDataInfo info;
    GetDataInfo(Name, info);
    return info.RegData;
}

int TRegistry::GetDataSize(const std::string& Name) {
    TRegDataInfo info;
    return GetDataInfo(Name, info) ? info.DataSize : -1;
}

void TRegistry::PutValue(const std::string& Name, TRegDataType Type, std::string Data, int32_t Int) {
    if (!open_ || readOnly_) throw ERegistryException("Failed to set data for '" + Name + "'");
    RegOp op{RegOp::SetValue, CurrentParts(), {}};
    op.value.name = Name;
    op.value.type = Type;
    op.value.data = std::move(Data);
    op.value.i = Int;
    Change(op);
}

std::string TRegistry::ReadString(const std::string& Name) {
    Refresh();
    RegKey* k = store_->Find(CurrentParts());
    RegValue* v = k ? k->Value(Name) : nullptr;
    if (!v) return "";
    if (v->type != rdString && v->type != rdExpandString) ReadError(Name);
    return v->data;
}

void TRegistry::WriteString(const std::string& Name, const std::string& Value) {
    PutValue(Name, rdString, Value, 0);
}

void TRegistry::WriteExpandString(const std::string& Name, const std::string& Value) {
    PutValue(Name, rdExpandString, Value, 0);
}

int TRegistry::ReadInteger(const std::string& Name) {
    Refresh();
    RegKey* k = store_->Find(CurrentParts());
    RegValue* v = k ? k->Value(Name) : nullptr;
    if (!v || v->type != rdInteger) ReadError(Name);
    return v->i;
}

void TRegistry::WriteInteger(const std::string& Name, int Value) { PutValue(Name, rdInteger, "", Value); }

double TRegistry::ReadFloat(const std::string& Name) {
    double d = 0;
    if (GetDataSize(Name) != int(sizeof d)) ReadError(Name);
    ReadBinaryData(Name, &d, int(sizeof d));
    return d;
}

void TRegistry::WriteFloat(const std::string& Name, double Value) {
    WriteBinaryData(Name, &Value, int(sizeof Value));
}

int TRegistry::ReadBinaryData(const std::string& Name, void* Buffer, int BufSize) {
    Refresh();
    RegKey* k = store_->Find(CurrentParts());
    RegValue* v = k ? k->Value(Name) : nullptr;
    if (!v) return 0;
    if (v->type != rdBinary || int(v->data.size()) > BufSize) ReadError(Name);
    if (!v->data.empty()) std::memcpy(Buffer, v->data.data(), v->data.size());
    return int(v->data.size());
}

std::vector<uint8_t> TRegistry::ReadBinary(const std::string& Name) {
    Refresh();
    RegKey* k = store_->Find(CurrentParts());
    RegValue* v = k ? k->Value(Name) : nullptr;
    if (!v) return {};
    if (v->type != rdBinary) ReadError(Name);
    return std::vector<uint8_t>(v->data.begin(), v->data.end());
}

void TRegistry::WriteBinaryData(const std::string& Name, const void* Buffer, int BufSize) {
    if (BufSize < 0) throw ERegistryException("Failed to set data for '" + Name + "'");
    PutValue(Name, rdBinary, std::string(static_cast<const char*>(Buffer), size_t(BufSize)), 0);
}

void TRegistry::GetKeyNames(TStrings* Strings) {
    if (!Strings) return;
    Refresh();
    Strings->BeginUpdate();
    Strings->Clear();
    if (RegKey* k = store_->Find(CurrentParts()))
        for (auto& c : k->keys) Strings->Add(c->name);
    Strings->EndUpdate();
}

void TRegistry::GetValueNames(TStrings* Strings) {
    if (!Strings) return;
    Refresh();
    Strings->BeginUpdate();
    Strings->Clear();
    if (RegKey* k = store_->Find(CurrentParts()))
        for (auto& v : k->values) Strings->Add(v.name);
    Strings->EndUpdate();
}

}  // namespace vcl
