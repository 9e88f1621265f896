// INI files: TIniFile edits a file in place, keeping every line it does not change byte for
// byte; TMemIniFile works on a copy in memory; TRegIniFile keeps its sections in the registry.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "classes/object.h"
#include "rtl/datetime.h"
#include "rtl/sysutils.h"

namespace vcl {

class TStrings;
class TRegistry;

// The read and write calls every INI flavour offers. Sections and keys are compared ignoring
// ASCII case. Reads of a missing key return the default.
class TCustomIniFile : public TObject {
    DBV_CLASS(TCustomIniFile, TObject)
public:
    explicit TCustomIniFile(std::string FileName) : fileName_(std::move(FileName)) {}
    // The name as given (a bare name is looked up in the system directory).
    const std::string& GetFileName() const { return fileName_; }

    virtual std::string ReadString(const std::string& Section, const std::string& Ident,
                                   const std::string& Default) = 0;
    virtual void WriteString(const std::string& Section, const std::string& Ident,
                             const std::string& Value) = 0;
    // Decimal or hexadecimal ("0x1F", "$1F"); anything else gives the default.
    virtual int ReadInteger(const std::string& Section, const std::string& Ident, int Default);
    virtual void WriteInteger(const std::string& Section, const std::string& Ident, int Value);
    // A number other than 0 is true; written as "1" / "0".
    virtual bool ReadBool(const std::string& Section, const std::string& Ident, bool Default);
    virtual void WriteBool(const std::string& Section, const std::string& Ident, bool Value);
    virtual double ReadFloat(const std::string& Section, const std::string& Ident, double Default);
    virtual void WriteFloat(const std::string& Section, const std::string& Ident, double Value);
    // Dates and times as text through the format settings.
    TDateTime ReadDate(const std::string& Section, const std::string& Ident, TDateTime Default);
    void WriteDate(const std::string& Section, const std::string& Ident, TDateTime Value);
    TDateTime ReadDateTime(const std::string& Section, const std::string& Ident, TDateTime Default);
    void WriteDateTime(const std::string& Section, const std::string& Ident, TDateTime Value);

    // Key names of a section, in file order.
    virtual void ReadSection(const std::string& Section, TStrings* Strings) = 0;
    // Section names, in file order.
    virtual void ReadSections(TStrings* Strings) = 0;
    // "key=value" lines of a section.
    virtual void ReadSectionValues(const std::string& Section, TStrings* Strings) = 0;
    virtual void EraseSection(const std::string& Section) = 0;
    virtual void DeleteKey(const std::string& Section, const std::string& Ident) = 0;
    virtual bool SectionExists(const std::string& Section);
    virtual bool ValueExists(const std::string& Section, const std::string& Ident);
    // Writes pending changes; raises EIniFileException when the file cannot be written.
    virtual void UpdateFile() = 0;

private:
    std::string fileName_;
};

// Called when changes could not be written while an INI object was being freed (where no
// exception may leave). Also kept as the process's last INI write error.
// True when the INI file exists; a bare name is looked up in the system directory, as the
// INI classes open it.
bool IniFileExists(const std::string& FileName);

using TIniWriteErrorHandler = std::function<void(const std::string& FileName, const std::string& Message)>;
void SetIniWriteErrorHandler(TIniWriteErrorHandler Handler);
// The message of the last write failure of a freed INI object ("" when none); Clear resets it.
std::string LastIniWriteError();
void ClearLastIniWriteError();

// An INI file edited in place. Reads see the file as it is on disk (re-read when another writer
// replaced it) with this object's pending changes applied. Changes reach the disk at UpdateFile
// and when the object is freed, written to a temporary file and renamed over the original; the
// pending changes are applied to the file's current contents, so changes that another writer
// made meanwhile are kept. A bare file name lives in the system directory.
class TIniFile : public TCustomIniFile {
    DBV_CLASS(TIniFile, TCustomIniFile)
public:
    explicit TIniFile(const std::string& FileName);
    ~TIniFile() override;

    std::string ReadString(const std::string& Section, const std::string& Ident,
                           const std::string& Default) override;
    void WriteString(const std::string& Section, const std::string& Ident,
                     const std::string& Value) override;
    void ReadSection(const std::string& Section, TStrings* Strings) override;
    void ReadSections(TStrings* Strings) override;
    void ReadSectionValues(const std::string& Section, TStrings* Strings) override;
    void EraseSection(const std::string& Section) override;
    void DeleteKey(const std::string& Section, const std::string& Ident) override;
    bool SectionExists(const std::string& Section) override;
    bool ValueExists(const std::string& Section, const std::string& Ident) override;
    void UpdateFile() override;

    // The path the file is read from and written to.
    const std::string& Path() const { return path_; }
    bool Modified() const { return !pending_.empty(); }
    // The whole text as it would be written now.
    std::string ContentText();

    // Writes pending changes, reporting a failure through the INI write error handler. The
    // destructor does the same for an object that was not freed with Free (one on the stack).
    // Changes whose write already failed (and raised) are not written or reported again here;
    // a change made after the failure makes them due once more.
    void BeforeDestruction() override;
    // True when the last write raised and no change was made since.
    bool WriteFailed() const { return writeFailed_; }

protected:
    void ListOnce(const std::string* section, bool withValues, TStrings* Strings);
    struct Line {
        std::string text;
        std::string eol;  // "\r\n", "\n", "\r" or "" for a last line without a break
    };
    struct Op {
        enum Kind { Write, DeleteKey, EraseSection, Replace } kind;  // Replace: value is the text
        std::string section, key, value;
    };
    // TMemIniFile keeps its first reading and writes it back whole.
    bool followDisk_ = true;
    bool saveOnFree_ = true;
    void Refresh();
    void LoadText(const std::string& text);
    void Apply(const Op& op);
    void Change(Op op);

private:
    TFileStamp DiskStamp() const { return FileStampOf(path_); }
    std::string DefaultEol() const;
    int FindKey(const std::string& Section, const std::string& Ident, std::string* value);

    void SaveOnFree() noexcept;

    std::string path_;
    bool readFailed_ = false;  // the file exists but could not be read: never overwrite it
    bool freeSaveDone_ = false;
    bool writeFailed_ = false;
    std::vector<Line> lines_;
    std::vector<Op> pending_;
    TFileStamp stamp_;
    bool loaded_ = false;
};

// An INI file read once into memory. Changes are written, whole, only by UpdateFile (or when
// AutoSave is set, also when the object is freed); unchanged lines keep their bytes.
class TMemIniFile : public TIniFile {
    DBV_CLASS(TMemIniFile, TIniFile)
public:
    explicit TMemIniFile(const std::string& FileName);
    bool GetAutoSave() const { return saveOnFree_; }
    void SetAutoSave(bool Value) { saveOnFree_ = Value; }
    // The text of the file as lines, and replacing it with other lines.
    void GetStrings(TStrings* List);
    void SetStrings(TStrings* List);
};

// INI calls over the registry: the file name is a key below HKEY_CURRENT_USER, sections are its
// subkeys and entries their values. Integers and Booleans are stored as text, as INI files do.
class TRegIniFile : public TCustomIniFile {
    DBV_CLASS(TRegIniFile, TCustomIniFile)
public:
    explicit TRegIniFile(const std::string& FileName);
    ~TRegIniFile() override;

    std::string ReadString(const std::string& Section, const std::string& Ident,
                           const std::string& Default) override;
    void WriteString(const std::string& Section, const std::string& Ident,
                     const std::string& Value) override;
    int ReadInteger(const std::string& Section, const std::string& Ident, int Default) override;
    void ReadSection(const std::string& Section, TStrings* Strings) override;
    void ReadSections(TStrings* Strings) override;
    void ReadSectionValues(const std::string& Section, TStrings* Strings) override;
    void EraseSection(const std::string& Section) override;
    void DeleteKey(const std::string& Section, const std::string& Ident) override;
    bool SectionExists(const std::string& Section) override;
    bool ValueExists(const std::string& Section, const std::string& Ident) override;
    void UpdateFile() override;

    TRegistry& Registry() { return *reg_; }

private:
    bool OpenSection(const std::string& Section, bool create);
    std::string base_;
    TRegistry* reg_ = nullptr;
};

}  // namespace vcl
