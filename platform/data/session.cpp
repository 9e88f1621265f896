// Sessions, their aliases and databases.
#include "data/session.h"

#include <algorithm>
#include <filesystem>

#include "data/dbtables.h"
#include "rtl/sysutils.h"

namespace vcl {

DBV_IMPLEMENT_CLASS(TDatabase)
DBV_IMPLEMENT_CLASS(TSession)

namespace {
std::vector<TSession*>& SessionList() {
    static std::vector<TSession*> list;
    return list;
}
int32_t NextDatabaseHandle() {
    static int32_t next = 0x100;
    return next++;
}
}  // namespace

bool IsDirectoryName(const std::string& name) {
    return name.find_first_of("/\\:") != std::string::npos || name == ".";
}

TSession* Session() {
    static TOwned<TSession> session = [] {
        auto s = MakeOwned<TSession>(nullptr);
        s->SetSessionName("Default");
        return s;
    }();
    return session.get();
}

int SessionCount() {
    Session();
    return int(SessionList().size());
}

TSession* Sessions(int i) {
    Session();
    return SessionList().at(size_t(i));
}

// ---- TDatabase ----

TDatabase::TDatabase(TComponent* AOwner) : TComponent(AOwner), params_(Create<TStringList>()) {
    Session()->AddDatabase(this);
}

TDatabase::~TDatabase() = default;

void TDatabase::BeforeDestruction() {
    SetConnected(false);
    for (TSession* s : SessionList()) s->RemoveDatabase(this);
    inherited::BeforeDestruction();
}

TSession* TDatabase::Session() const { return vcl::Session(); }

void TDatabase::SetDatabaseName(const std::string& v) {
    if (connected_) DatabaseError("Cannot perform this operation on an open database");
    databaseName_ = v;
}
void TDatabase::SetAliasName(const std::string& v) {
    if (connected_) DatabaseError("Cannot perform this operation on an open database");
    aliasName_ = v;
    if (!v.empty()) driverName_.clear();
}
void TDatabase::SetDriverName(const std::string& v) {
    if (connected_) DatabaseError("Cannot perform this operation on an open database");
    driverName_ = v;
    if (!v.empty()) aliasName_.clear();
}
void TDatabase::SetDirectory(const std::string& v) { directory_ = v; }

std::string TDatabase::GetDirectory() const {
    if (!directory_.empty()) return directory_;
    if (!aliasName_.empty()) return Session()->DirectoryOf(aliasName_);
    std::string p = params_->Values("PATH");
    return p;
}

void TDatabase::SetConnected(bool v) {
    if (v == connected_) return;
    if (v) {
        if (!aliasName_.empty() && !Session()->IsAlias(aliasName_))
            DatabaseError("Unknown database: " + aliasName_);
        handle_ = NextDatabaseHandle();
        connected_ = true;
    } else {
        for (TDBDataSet* ds : std::vector<TDBDataSet*>(dataSets_)) ds->Close();
        connected_ = false;
        handle_ = 0;
    }
}

void TDatabase::AddDataSet(TDBDataSet* ds) {
    if (std::find(dataSets_.begin(), dataSets_.end(), ds) == dataSets_.end()) dataSets_.push_back(ds);
}

void TDatabase::RemoveDataSet(TDBDataSet* ds) {
    dataSets_.erase(std::remove(dataSets_.begin(), dataSets_.end(), ds), dataSets_.end());
}

// ---- TSession ----

TSession::TSession(TComponent* AOwner) : TComponent(AOwner) { SessionList().push_back(this); }

TSession::~TSession() {
    auto& l = SessionList();
    l.erase(std::remove(l.begin(), l.end(), this), l.end());
}

void TSession::AddDatabase(TDatabase* db) { databases_.push_back(db); }
void TSession::RemoveDatabase(TDatabase* db) {
    databases_.erase(std::remove(databases_.begin(), databases_.end(), db), databases_.end());
}

const TSession::TAlias* TSession::FindAlias(const std::string& name) const {
    for (const TAlias& a : aliases_)
        if (SameText(a.Name, name)) return &a;
    return nullptr;
}

void TSession::AddStandardAlias(const std::string& name, const std::string& path, const std::string& defaultDriver) {
    if (name.empty() || IsDirectoryName(name)) DatabaseError("Invalid alias name " + name);
    if (FindAlias(name)) DatabaseError("Alias " + name + " already exists");
    aliases_.push_back({name, path, defaultDriver.empty() ? "DBASE" : defaultDriver});
}

void TSession::DeleteAlias(const std::string& name) {
    auto it = std::find_if(aliases_.begin(), aliases_.end(), [&](const TAlias& a) { return SameText(a.Name, name); });
    if (it == aliases_.end()) DatabaseError("Unknown database: " + name);
    aliases_.erase(it);
}

bool TSession::IsAlias(const std::string& name) const { return FindAlias(name) != nullptr; }

void TSession::GetAliasNames(TStrings* list) const {
    list->Clear();
    std::vector<std::string> names;
    for (const TAlias& a : aliases_) names.push_back(a.Name);
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) { return CompareText(a, b) < 0; });
    for (const std::string& n : names) list->Add(n);
}

void TSession::GetAliasParams(const std::string& alias, TStrings* list) const {
    const TAlias* a = FindAlias(alias);
    if (!a) DatabaseError("Unknown database: " + alias);
    list->Clear();
    list->Add("PATH=" + a->Path);
    list->Add("DEFAULT DRIVER=" + a->Driver);
    list->Add("ENABLE BCD=FALSE");
}

void TSession::GetDriverNames(TStrings* list) const {
    list->Clear();
    list->Add("STANDARD");
}

void TSession::GetDriverParams(const std::string& driver, TStrings* list) const {
    list->Clear();
    if (!SameText(driver, "STANDARD")) DatabaseError("Driver not found: " + driver);
    list->Add("PATH=");
    list->Add("DEFAULT DRIVER=DBASE");
    list->Add("ENABLE BCD=FALSE");
}

TDatabase* TSession::FindDatabase(const std::string& name) const {
    for (TDatabase* d : databases_)
        if (SameText(d->GetDatabaseName(), name)) return d;
    return nullptr;
}

TDatabase* TSession::OpenDatabase(const std::string& name) {
    TDatabase* db = FindDatabase(name);
    if (!db) {
        if (!IsDirectoryName(name) && !name.empty() && !IsAlias(name)) DatabaseError("Unknown database: " + name);
        db = Create<TDatabase>(this);
        db->SetDatabaseName(name);
        db->SetTemporary(true);
        db->SetKeepConnection(keepConnections_);
        if (IsDirectoryName(name) || name.empty()) db->SetDirectory(name.empty() ? "." : name);
        else db->SetAliasName(name);
    }
    db->Open();
    return db;
}

// A temporary database goes with its last dataset unless connections are kept.
void TSession::CloseDatabase(TDatabase* db) {
    if (!db) return;
    if (db->GetTemporary() && db->DataSetCount() == 0 && !db->GetKeepConnection()) db->Free();
}

std::string TSession::DirectoryOf(const std::string& databaseName) const {
    std::string d;
    if (databaseName.empty()) d = ".";
    else if (IsDirectoryName(databaseName)) d = databaseName;
    else if (TDatabase* db = FindDatabase(databaseName); db && !db->GetTemporary()) d = db->GetDirectory();
    else if (const TAlias* a = FindAlias(databaseName)) d = a->Path;
    else DatabaseError("Unknown database: " + databaseName);
    while (d.size() > 1 && (d.back() == '/' || d.back() == '\\')) d.pop_back();
    return d.empty() ? "." : d;
}

void TSession::GetTableNames(const std::string& databaseName, const std::string& pattern, bool extensions,
                             bool /*systemTables*/, TStrings* list) const {
    list->Clear();
    std::string dir = DirectoryOf(databaseName);
    std::string pat = pattern.empty() || pattern == "*" || pattern == "*.*" ? "" : UpperCase(pattern);
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(dir, ec)) {
        std::string n = e.path().filename().string();
        if (!SameText(ExtractFileExt(n), ".dbf")) continue;
        std::string base = n.substr(0, n.size() - 4);
        if (!pat.empty()) {
            std::string p = pat;
            if (SameText(ExtractFileExt(p), ".dbf")) p = p.substr(0, p.size() - 4);
            bool prefix = !p.empty() && p.back() == '*';
            if (prefix) p.pop_back();
            std::string ub = UpperCase(base);
            if (prefix ? ub.compare(0, p.size(), p) != 0 : ub != p) continue;
        }
        names.push_back(extensions ? n : base);
    }
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) { return CompareText(a, b) < 0; });
    for (const std::string& n : names) list->Add(n);
}

}  // namespace vcl
