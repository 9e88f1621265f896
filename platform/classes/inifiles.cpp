// INI files edited in place, in memory, and over the registry.
#include "classes/inifiles.h"

#include <sys/stat.h>

#include "classes/lists.h"
#include "classes/registry.h"
#include "rtl/sysutils.h"

namespace vcl {

DBV_IMPLEMENT_CLASS(TCustomIniFile)
DBV_IMPLEMENT_CLASS(TIniFile)
DBV_IMPLEMENT_CLASS(TMemIniFile)
DBV_IMPLEMENT_CLASS(TRegIniFile)

// ================= TCustomIniFile =================

int TCustomIniFile::ReadInteger(const std::string& Section, const std::string& Ident, int Default) {
    return StrToIntDef(Trim(ReadString(Section, Ident, "")), Default);
}

void TCustomIniFile::WriteInteger(const std::string& Section, const std::string& Ident, int Value) {
    WriteString(Section, Ident, IntToStr(Value));
}

bool TCustomIniFile::ReadBool(const std::string& Section, const std::string& Ident, bool Default) {
    return ReadInteger(Section, Ident, Default ? 1 : 0) != 0;
}

void TCustomIniFile::WriteBool(const std::string& Section, const std::string& Ident, bool Value) {
    WriteString(Section, Ident, Value ? "1" : "0");
}

double TCustomIniFile::ReadFloat(const std::string& Section, const std::string& Ident, double Default) {
    return StrToFloatDef(ReadString(Section, Ident, ""), Default);
}

void TCustomIniFile::WriteFloat(const std::string& Section, const std::string& Ident, double Value) {
    WriteString(Section, Ident, FloatToStr(Value));
}

TDateTime TCustomIniFile::ReadDate(const std::string& Section, const std::string& Ident, TDateTime Default) {
    TDateTime d;
    return TryStrToDate(ReadString(Section, Ident, ""), d) ? d : Default;
}

void TCustomIniFile::WriteDate(const std::string& Section, const std::string& Ident, TDateTime Value) {
    WriteString(Section, Ident, DateToStr(Value));
}

TDateTime TCustomIniFile::ReadDateTime(const std::string& Section, const std::string& Ident,
                                       TDateTime Default) {
    std::string s = ReadString(Section, Ident, "");
    if (s.empty()) return Default;
    try {
        return StrToDateTime(s);
    } catch (const EConvertError&) {
        return Default;
    }
}

void TCustomIniFile::WriteDateTime(const std::string& Section, const std::string& Ident, TDateTime Value) {
    WriteString(Section, Ident, DateTimeToStr(Value));
}

bool TCustomIniFile::SectionExists(const std::string& Section) {
    TStringList keys;
    ReadSection(Section, &keys);
    return keys.GetCount() > 0;
}

bool TCustomIniFile::ValueExists(const std::string& Section, const std::string& Ident) {
    TStringList keys;
    ReadSection(Section, &keys);
    return keys.IndexOf(Ident) >= 0;
}

// ================= write errors while freeing =================

namespace {
TIniWriteErrorHandler& ErrorHandler() {
    static TIniWriteErrorHandler h;
    return h;
}
std::string& LastError() {
    static std::string e;
    return e;
}

// ---- one line of an INI file ----
bool IsSpace(char c) { return c == ' ' || c == '\t'; }

std::string_view SkipBom(std::string_view s) {
    if (s.size() >= 3 && (unsigned char)s[0] == 0xEF && (unsigned char)s[1] == 0xBB && (unsigned char)s[2] == 0xBF)
        s.remove_prefix(3);
    return s;
}

std::string TrimBlanks(std::string_view s) {
    size_t b = 0, e = s.size();
    while (b < e && IsSpace(s[b])) ++b;
    while (e > b && IsSpace(s[e - 1])) --e;
    return std::string(s.substr(b, e - b));
}

enum class Kind { Other, Section, Key };

struct Parsed {
    Kind kind = Kind::Other;
    std::string name;    // section name or key name
    std::string value;   // key value, blanks and one pair of enclosing quotes removed
    size_t valueStart = 0;  // where the value text begins in the line
};

Parsed ParseLine(std::string_view text) {
    Parsed p;
    std::string_view t = SkipBom(text);
    size_t offset = text.size() - t.size();
    size_t b = 0;
    while (b < t.size() && IsSpace(t[b])) ++b;
    if (b == t.size()) return p;
    if (t[b] == '[') {
        size_t close = t.find(']', b + 1);
        p.kind = Kind::Section;
        p.name = TrimBlanks(t.substr(b + 1, close == std::string_view::npos ? std::string_view::npos : close - b - 1));
        return p;
    }
    if (t[b] == ';' || t[b] == '#') return p;
    size_t eq = t.find('=', b);
    if (eq == std::string_view::npos) return p;
    p.name = TrimBlanks(t.substr(b, eq - b));
    if (p.name.empty()) return p;
    p.kind = Kind::Key;
    size_t v = eq + 1;
    while (v < t.size() && IsSpace(t[v])) ++v;
    p.valueStart = offset + v;
    std::string value = TrimBlanks(t.substr(v));
    if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0])
        value = value.substr(1, value.size() - 2);
    p.value = std::move(value);
    return p;
}

void CheckName(const std::string& what, const std::string& s, const char* forbidden) {
    if (s.find_first_of(forbidden) != std::string::npos || s.find('\0') != std::string::npos)
        throw EIniFileException("Invalid INI " + what + " \"" + s + "\"");
}
}  // namespace

bool IniFileExists(const std::string& FileName) { return FileExists(ResolveInSystemDirectory(FileName)); }

void SetIniWriteErrorHandler(TIniWriteErrorHandler Handler) { ErrorHandler() = std::move(Handler); }
std::string LastIniWriteError() { return LastError(); }
void ClearLastIniWriteError() { LastError().clear(); }

// ================= TIniFile =================

TIniFile::TIniFile(const std::string& FileName)
    : TCustomIniFile(FileName), path_(ResolveInSystemDirectory(FileName)) {}

TIniFile::~TIniFile() { SaveOnFree(); }

void TIniFile::BeforeDestruction() {
    SaveOnFree();
    inherited::BeforeDestruction();
}

void TIniFile::SaveOnFree() noexcept {
    if (freeSaveDone_) return;
    freeSaveDone_ = true;
    if (saveOnFree_ && !pending_.empty() && !writeFailed_) {
        try {
            UpdateFile();
        } catch (const std::exception& e) {
            LastError() = e.what();
            if (ErrorHandler()) {
                try {
                    ErrorHandler()(GetFileName(), e.what());
                } catch (...) {
                }
            }
        } catch (...) {
            LastError() = "Unable to write to " + path_;
        }
    }
}

void TIniFile::LoadText(const std::string& text) {
    lines_.clear();
    size_t i = 0;
    while (i < text.size()) {
        size_t e = text.find_first_of("\r\n", i);
        if (e == std::string::npos) {
            lines_.push_back({text.substr(i), ""});
            break;
        }
        size_t next = e + 1;
        if (text[e] == '\r' && next < text.size() && text[next] == '\n') ++next;
        lines_.push_back({text.substr(i, e - i), text.substr(e, next - e)});
        i = next;
    }
}

void TIniFile::Refresh() {
    if (loaded_ && !followDisk_) return;
    TFileStamp now = DiskStamp();
    if (loaded_ && now == stamp_) return;
    std::string text;
    readFailed_ = false;
    if (now.exists) {
        try {
            text = ReadFileBytes(path_);
        } catch (const EStreamError&) {
            // Unreadable: reads give the defaults, and the file is never overwritten.
            text.clear();
            readFailed_ = true;
        }
    }
    LoadText(text);
    stamp_ = now;
    loaded_ = true;
    for (const Op& op : pending_) Apply(op);
}

std::string TIniFile::DefaultEol() const {
    for (const Line& l : lines_)
        if (!l.eol.empty()) return l.eol;
    return "\n";
}

std::string TIniFile::ContentText() {
    Refresh();
    std::string out;
    for (const Line& l : lines_) {
        out += l.text;
        out += l.eol;
    }
    return out;
}

// The line of a key (the first one when it appears more than once), -1 when absent.
int TIniFile::FindKey(const std::string& Section, const std::string& Ident, std::string* value) {
    bool in = false;
    for (size_t i = 0; i < lines_.size(); ++i) {
        Parsed p = ParseLine(lines_[i].text);
        if (p.kind == Kind::Section) in = SameText(p.name, Section);
        else if (in && p.kind == Kind::Key && SameText(p.name, Ident)) {
            if (value) *value = p.value;
            return int(i);
        }
    }
    return -1;
}

void TIniFile::Apply(const Op& op) {
    switch (op.kind) {
    case Op::Write: {
        int k = FindKey(op.section, op.key, nullptr);
        if (k >= 0) {
            // Keep everything up to the value (key spelling, blanks around '=') and the line end.
            Line& l = lines_[size_t(k)];
            Parsed p = ParseLine(l.text);
            l.text = l.text.substr(0, p.valueStart) + op.value;
            return;
        }
        // After the last key of the first matching section, or after its header.
        int header = -1, last = -1;
        bool in = false;
        for (size_t i = 0; i < lines_.size(); ++i) {
            Parsed p = ParseLine(lines_[i].text);
            if (p.kind == Kind::Section) {
                if (in) break;
                in = SameText(p.name, op.section);
                if (in) header = last = int(i);
            } else if (in && p.kind == Kind::Key) {
                last = int(i);
            }
        }
        std::string eol = DefaultEol();
        std::vector<Line> add;
        if (header < 0) {
            if (!lines_.empty() && !TrimBlanks(lines_.back().text).empty()) add.push_back({"", eol});
            add.push_back({"[" + op.section + "]", eol});
            last = int(lines_.size()) - 1;
        }
        add.push_back({op.key + "=" + op.value, eol});
        size_t at = size_t(last + 1);
        // A last line without a line break gets one; the file keeps ending without one.
        if (at == lines_.size() && !lines_.empty() && lines_.back().eol.empty()) {
            lines_.back().eol = eol;
            add.back().eol = "";
        }
        lines_.insert(lines_.begin() + std::ptrdiff_t(at), add.begin(), add.end());
        return;
    }
    case Op::DeleteKey: {
        bool in = false;
        for (size_t i = 0; i < lines_.size();) {
            Parsed p = ParseLine(lines_[i].text);
            if (p.kind == Kind::Section) in = SameText(p.name, op.section);
            if (in && p.kind == Kind::Key && SameText(p.name, op.key)) {
                // Removing a last line without a break: the file keeps ending without one.
                if (i + 1 == lines_.size() && i > 0 && lines_[i].eol.empty()) lines_[i - 1].eol.clear();
                lines_.erase(lines_.begin() + std::ptrdiff_t(i));
                continue;
            }
            ++i;
        }
        return;
    }
    case Op::EraseSection: {
        // The header and everything up to the next header go; so do the section's comments.
        bool in = false;
        for (size_t i = 0; i < lines_.size();) {
            Parsed p = ParseLine(lines_[i].text);
            if (p.kind == Kind::Section) in = SameText(p.name, op.section);
            if (in) {
                lines_.erase(lines_.begin() + std::ptrdiff_t(i));
                continue;
            }
            ++i;
        }
        return;
    }
    case Op::Replace:
        LoadText(op.value);
        return;
    }
}

void TIniFile::Change(Op op) {
    Refresh();
    Apply(op);
    pending_.push_back(std::move(op));
    writeFailed_ = false;
}

std::string TIniFile::ReadString(const std::string& Section, const std::string& Ident,
                                 const std::string& Default) {
    Refresh();
    std::string v;
    return FindKey(Section, Ident, &v) >= 0 ? v : Default;
}

void TIniFile::WriteString(const std::string& Section, const std::string& Ident, const std::string& Value) {
    CheckName("section name", Section, "]\r\n");
    CheckName("key name", Ident, "=\r\n");
    CheckName("value", Value, "\r\n");
    if (TrimBlanks(Section).empty() || TrimBlanks(Ident).empty() || TrimBlanks(Ident)[0] == '[' ||
        TrimBlanks(Ident)[0] == ';' || TrimBlanks(Ident)[0] == '#')
        throw EIniFileException("Invalid INI key name \"" + Ident + "\" in section \"" + Section + "\"");
    // Blanks at either end, or a pair of enclosing quotes, would be lost on reading: such a
    // value is written in double quotes, which reading removes.
    std::string stored = Value;
    if (!Value.empty() && (IsSpace(Value.front()) || IsSpace(Value.back()) ||
                           (Value.size() >= 2 && (Value[0] == '"' || Value[0] == '\'') && Value.back() == Value[0])))
        stored = "\"" + Value + "\"";
    Refresh();
    int k = FindKey(Section, Ident, nullptr);
    if (k >= 0) {
        Parsed p = ParseLine(lines_[size_t(k)].text);
        if (lines_[size_t(k)].text.substr(p.valueStart) == stored) return;  // already so
    }
    Change({Op::Write, TrimBlanks(Section), TrimBlanks(Ident), stored});
}

// Fills Strings with the sections of the file (section == nullptr) or the keys of one section,
// each name once, in file order.
void TIniFile::ListOnce(const std::string* section, bool withValues, TStrings* Strings) {
    if (!Strings) return;
    Refresh();
    Strings->BeginUpdate();
    try {
        Strings->Clear();
        TStringList seen;
        bool in = false;
        for (const Line& l : lines_) {
            Parsed p = ParseLine(l.text);
            if (section && p.kind == Kind::Section) {
                in = SameText(p.name, *section);
                continue;
            }
            bool wanted = section ? in && p.kind == Kind::Key : p.kind == Kind::Section;
            if (!wanted || seen.IndexOf(p.name) >= 0) continue;
            seen.Add(p.name);
            Strings->Add(withValues ? p.name + "=" + p.value : p.name);
        }
    } catch (...) {
        Strings->EndUpdate();
        throw;
    }
    Strings->EndUpdate();
}

void TIniFile::ReadSection(const std::string& Section, TStrings* Strings) {
    ListOnce(&Section, false, Strings);
}

void TIniFile::ReadSections(TStrings* Strings) {
    ListOnce(nullptr, false, Strings);
}

void TIniFile::ReadSectionValues(const std::string& Section, TStrings* Strings) {
    ListOnce(&Section, true, Strings);
}

void TIniFile::EraseSection(const std::string& Section) {
    if (SectionExists(Section)) Change({Op::EraseSection, Section, "", ""});
}

void TIniFile::DeleteKey(const std::string& Section, const std::string& Ident) {
    if (ValueExists(Section, Ident)) Change({Op::DeleteKey, Section, Ident, ""});
}

bool TIniFile::SectionExists(const std::string& Section) {
    Refresh();
    for (const Line& l : lines_) {
        Parsed p = ParseLine(l.text);
        if (p.kind == Kind::Section && SameText(p.name, Section)) return true;
    }
    return false;
}

bool TIniFile::ValueExists(const std::string& Section, const std::string& Ident) {
    Refresh();
    return FindKey(Section, Ident, nullptr) >= 0;
}

void TIniFile::UpdateFile() {
    if (pending_.empty()) return;
    // Apply the changes to what is on disk now, so another writer's changes survive.
    if (followDisk_) Refresh();
    std::string text;
    for (const Line& l : lines_) {
        text += l.text;
        text += l.eol;
    }
    // A failure is reported once, by this raise; Free does not report the same changes again.
    writeFailed_ = true;
    if (readFailed_)
        throw EIniFileException("Unable to write to " + path_ + ": the file exists but cannot be read");
    try {
        if (!HasPathPart(GetFileName()) && !DirectoryExists(SystemDirectory())) ForceDirectories(SystemDirectory());
        WriteFileAtomic(path_, text);
    } catch (const Exception& e) {
        throw EIniFileException("Unable to write to " + path_ + ": " + e.Message());
    }
    writeFailed_ = false;
    pending_.clear();
    stamp_ = DiskStamp();
}

// ================= TMemIniFile =================

TMemIniFile::TMemIniFile(const std::string& FileName) : TIniFile(FileName) {
    followDisk_ = false;
    saveOnFree_ = false;
    Refresh();
}

void TMemIniFile::GetStrings(TStrings* List) {
    if (List) List->SetText(ContentText());
}

void TMemIniFile::SetStrings(TStrings* List) {
    if (!List) return;
    // Replacing the whole text is a change that UpdateFile writes.
    Change({Op::Replace, "", "", List->GetText()});
}

// ================= TRegIniFile =================

TRegIniFile::TRegIniFile(const std::string& FileName) : TCustomIniFile(FileName) {
    base_ = FileName;
    while (!base_.empty() && base_.back() == '\\') base_.pop_back();
    reg_ = new TRegistry();
    reg_->SetRootKey(HKEY_CURRENT_USER);
}

TRegIniFile::~TRegIniFile() { vcl::Free(reg_); }

bool TRegIniFile::OpenSection(const std::string& Section, bool create) {
    reg_->CloseKey();
    std::string path = "\\" + base_;
    if (!Section.empty()) path += "\\" + Section;
    return create ? reg_->OpenKey(path, true) : reg_->OpenKeyReadOnly(path);
}

std::string TRegIniFile::ReadString(const std::string& Section, const std::string& Ident,
                                    const std::string& Default) {
    if (!OpenSection(Section, false) || !reg_->ValueExists(Ident)) return Default;
    TRegDataType t = reg_->GetDataType(Ident);
    if (t == rdInteger) return IntToStr(reg_->ReadInteger(Ident));
    if (t != rdString && t != rdExpandString) return Default;
    return reg_->ReadString(Ident);
}

void TRegIniFile::WriteString(const std::string& Section, const std::string& Ident, const std::string& Value) {
    if (!OpenSection(Section, true)) throw ERegistryException("Failed to create key " + base_ + "\\" + Section);
    reg_->WriteString(Ident, Value);
    reg_->CloseKey();
}

int TRegIniFile::ReadInteger(const std::string& Section, const std::string& Ident, int Default) {
    if (!OpenSection(Section, false) || !reg_->ValueExists(Ident)) return Default;
    if (reg_->GetDataType(Ident) == rdInteger) return reg_->ReadInteger(Ident);
    return StrToIntDef(Trim(ReadString(Section, Ident, "")), Default);
}

void TRegIniFile::ReadSection(const std::string& Section, TStrings* Strings) {
    if (!Strings) return;
    Strings->Clear();
    if (OpenSection(Section, false)) reg_->GetValueNames(Strings);
}

void TRegIniFile::ReadSections(TStrings* Strings) {
    if (!Strings) return;
    Strings->Clear();
    if (OpenSection("", false)) reg_->GetKeyNames(Strings);
}

void TRegIniFile::ReadSectionValues(const std::string& Section, TStrings* Strings) {
    if (!Strings) return;
    TStringList names;
    ReadSection(Section, &names);
    Strings->BeginUpdate();
    Strings->Clear();
    for (int i = 0; i < names.GetCount(); ++i)
        Strings->Add(names.Strings(i) + "=" + ReadString(Section, names.Strings(i), ""));
    Strings->EndUpdate();
}

void TRegIniFile::EraseSection(const std::string& Section) {
    reg_->CloseKey();
    reg_->DeleteKey("\\" + base_ + "\\" + Section);
    reg_->CloseKey();
}

void TRegIniFile::DeleteKey(const std::string& Section, const std::string& Ident) {
    if (OpenSection(Section, false)) {
        reg_->CloseKey();
        OpenSection(Section, true);
        reg_->DeleteValue(Ident);
        reg_->CloseKey();
    }
}

bool TRegIniFile::SectionExists(const std::string& Section) {
    reg_->CloseKey();
    return reg_->KeyExists("\\" + base_ + "\\" + Section);
}

bool TRegIniFile::ValueExists(const std::string& Section, const std::string& Ident) {
    return OpenSection(Section, false) && reg_->ValueExists(Ident);
}

void TRegIniFile::UpdateFile() { reg_->CloseKey(); }

}  // namespace vcl
