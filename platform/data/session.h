// Sessions and databases: the names a dataset's DatabaseName can carry. A name containing
// '/', '\' or ':' is a directory; otherwise it is a database of the session (a TDatabase of that
// name) or an alias of the session. Aliases live in the session until the engine keeps them.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "classes/component.h"
#include "classes/lists.h"

namespace vcl {

class TDBDataSet;
class TSession;

class TDatabase : public TComponent {
    DBV_CLASS(TDatabase, TComponent)
public:
    explicit TDatabase(TComponent* AOwner);
    ~TDatabase() override;
    void BeforeDestruction() override;

    const std::string& GetDatabaseName() const { return databaseName_; }
    void SetDatabaseName(const std::string& v);
    const std::string& GetAliasName() const { return aliasName_; }
    void SetAliasName(const std::string& v);
    const std::string& GetDriverName() const { return driverName_; }
    void SetDriverName(const std::string& v);
    TStringList* Params() const { return params_.get(); }
    bool GetConnected() const { return connected_; }
    void SetConnected(bool v);
    void Open() { SetConnected(true); }
    void Close() { SetConnected(false); }
    // The directory the database stands for: the alias's path, else the PATH parameter.
    std::string GetDirectory() const;
    void SetDirectory(const std::string& v);
    // Nonzero while connected.
    int32_t GetHandle() const { return connected_ ? handle_ : 0; }
    bool GetTemporary() const { return temporary_; }
    void SetTemporary(bool v) { temporary_ = v; }
    bool GetKeepConnection() const { return keepConnection_; }
    void SetKeepConnection(bool v) { keepConnection_ = v; }
    int DataSetCount() const { return int(dataSets_.size()); }
    TDBDataSet* DataSets(int i) const { return dataSets_.at(size_t(i)); }
    TSession* Session() const;

    // Used by datasets opening and closing on this database.
    void AddDataSet(TDBDataSet* ds);
    void RemoveDataSet(TDBDataSet* ds);

private:
    std::string databaseName_, aliasName_, driverName_, directory_;
    std::unique_ptr<TStringList, TFreeDeleter> params_;
    std::vector<TDBDataSet*> dataSets_;
    int32_t handle_ = 0;
    bool connected_ = false, temporary_ = false, keepConnection_ = true;
};

class TSession : public TComponent {
    DBV_CLASS(TSession, TComponent)
public:
    explicit TSession(TComponent* AOwner);
    ~TSession() override;

    const std::string& GetSessionName() const { return sessionName_; }
    void SetSessionName(const std::string& v) { sessionName_ = v; }
    const std::string& GetNetFileDir() const { return netFileDir_; }
    void SetNetFileDir(const std::string& v) { netFileDir_ = v; }
    const std::string& GetPrivateDir() const { return privateDir_; }
    void SetPrivateDir(const std::string& v) { privateDir_ = v; }
    bool GetKeepConnections() const { return keepConnections_; }
    void SetKeepConnections(bool v) { keepConnections_ = v; }

    void AddStandardAlias(const std::string& name, const std::string& path, const std::string& defaultDriver);
    void DeleteAlias(const std::string& name);
    bool IsAlias(const std::string& name) const;
    void GetAliasNames(TStrings* list) const;
    // First line "PATH=directory", then "DEFAULT DRIVER=..."; an unknown alias raises.
    void GetAliasParams(const std::string& alias, TStrings* list) const;
    void GetDriverNames(TStrings* list) const;
    void GetDriverParams(const std::string& driver, TStrings* list) const;
    // Table files of a database (a directory or an alias), sorted; pattern "" or "*" = all.
    void GetTableNames(const std::string& databaseName, const std::string& pattern, bool extensions,
                       bool systemTables, TStrings* list) const;

    int DatabaseCount() const { return int(databases_.size()); }
    TDatabase* Databases(int i) const { return databases_.at(size_t(i)); }
    TDatabase* FindDatabase(const std::string& name) const;
    // The database of that name, made (temporary) when there is none, and connected.
    TDatabase* OpenDatabase(const std::string& name);
    void CloseDatabase(TDatabase* db);
    // The directory a DatabaseName stands for; an unknown name raises.
    std::string DirectoryOf(const std::string& databaseName) const;

    // Used by TDatabase.
    void AddDatabase(TDatabase* db);
    void RemoveDatabase(TDatabase* db);

private:
    struct TAlias {
        std::string Name, Path, Driver;
    };
    const TAlias* FindAlias(const std::string& name) const;
    std::string sessionName_, netFileDir_, privateDir_;
    std::vector<TAlias> aliases_;
    std::vector<TDatabase*> databases_;
    bool keepConnections_ = true;
};

// The default session ("Default"), made on first use.
TSession* Session();
// All sessions; the default one first.
int SessionCount();
TSession* Sessions(int i);

// True when a DatabaseName is a directory rather than a database or alias name.
bool IsDirectoryName(const std::string& name);

}  // namespace vcl
