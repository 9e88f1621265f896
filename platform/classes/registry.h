// The registry: a small hierarchical store of string, integer and binary values, kept in one
// text file in the system directory, and the TRegistry class that reads and writes it.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "classes/object.h"

namespace vcl {

class TStrings;

using HKEY = uint32_t;
constexpr HKEY HKEY_CLASSES_ROOT = 0x80000000u;
constexpr HKEY HKEY_CURRENT_USER = 0x80000001u;
constexpr HKEY HKEY_LOCAL_MACHINE = 0x80000002u;
constexpr HKEY HKEY_USERS = 0x80000003u;
constexpr HKEY HKEY_CURRENT_CONFIG = 0x80000005u;

enum TRegDataType { rdUnknown, rdString, rdExpandString, rdInteger, rdBinary };

struct TRegDataInfo {
    TRegDataType RegData = rdUnknown;
    int DataSize = 0;  // bytes of the value (strings without a terminator)
};

// The file the registry lives in: "registry.dat" in the system directory.
std::string RegistryFileName();
// The text of a root key ("HKEY_LOCAL_MACHINE"); "" for an unknown handle.
std::string RootKeyName(HKEY Key);

namespace detail {
struct RegStore;
struct RegOp;
}  // namespace detail

// Key names are compared ignoring ASCII case and keep the case they were created with; '\'
// separates them. A key path starting with '\' is taken from the root key, any other from the
// open key. Reads see the file as it is (re-read when another writer replaced it) together with
// this object's own changes; changes reach the file, and so other objects and processes, at
// CloseKey (also run by OpenKey and when the object is freed). Writing applies the changes to the
// file's current contents under a lock, so concurrent writers do not undo each other.
class TRegistry : public TObject {
    DBV_CLASS(TRegistry, TObject)
public:
    TRegistry();
    ~TRegistry() override;

    HKEY GetRootKey() const { return root_; }
    void SetRootKey(HKEY Value);  // closes the open key

    bool OpenKey(const std::string& Key, bool CanCreate);
    bool OpenKeyReadOnly(const std::string& Key);
    // Writes pending changes; raises ERegistryException when the file cannot be written.
    void CloseKey();
    bool KeyOpen() const { return open_; }
    bool CreateKey(const std::string& Key);
    bool DeleteKey(const std::string& Key);  // with its subkeys
    bool KeyExists(const std::string& Key);
    bool HasSubKeys();
    // "Software\Vendor" below the root key; "" when no key is open.
    std::string CurrentPath() const { return path_; }

    bool ValueExists(const std::string& Name);
    bool DeleteValue(const std::string& Name);
    bool GetDataInfo(const std::string& Name, TRegDataInfo& Info);
    TRegDataType GetDataType(const std::string& Name);  // rdUnknown when absent
    int GetDataSize(const std::string& Name);           // -1 when absent

    // A missing value reads as ""; a value of another type raises ERegistryException
    // "Invalid data type for 'X'".
    std::string ReadString(const std::string& Name);
    void WriteString(const std::string& Name, const std::string& Value);
    void WriteExpandString(const std::string& Name, const std::string& Value);
    // A missing value or one of another type raises "Invalid data type for 'X'".
    int ReadInteger(const std::string& Name);
    void WriteInteger(const std::string& Name, int Value);
    bool ReadBool(const std::string& Name) { return ReadInteger(Name) != 0; }
    void WriteBool(const std::string& Name, bool Value) { WriteInteger(Name, Value ? 1 : 0); }
    double ReadFloat(const std::string& Name);  // 8 bytes of binary data
    void WriteFloat(const std::string& Name, double Value);
    // Copies the value into Buffer and returns its size (0 when absent); a value larger than
    // BufSize raises "Invalid data type for 'X'".
    int ReadBinaryData(const std::string& Name, void* Buffer, int BufSize);
    void WriteBinaryData(const std::string& Name, const void* Buffer, int BufSize);
    std::vector<uint8_t> ReadBinary(const std::string& Name);

    // Subkeys and values of the open key (of the root key when none is open), in creation order.
    void GetKeyNames(TStrings* Strings);
    void GetValueNames(TStrings* Strings);

    void BeforeDestruction() override;

private:
    std::vector<std::string> Resolve(const std::string& Key) const;
    std::vector<std::string> CurrentParts() const;
    void Refresh();
    void Change(const detail::RegOp& op);
    void Flush();
    void PutValue(const std::string& Name, TRegDataType Type, std::string Data, int32_t Int);
    [[noreturn]] void ReadError(const std::string& Name) const;

    HKEY root_ = HKEY_CURRENT_USER;
    bool open_ = false;
    bool readOnly_ = false;
    std::string path_;
    std::unique_ptr<detail::RegStore> store_;
    std::vector<detail::RegOp> pending_;
};

}  // namespace vcl
