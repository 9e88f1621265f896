// Lists: TList (pointers), TStrings (the abstract string list) and TStringList.
#pragma once
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "classes/object.h"
#include "rtl/events.h"

namespace vcl {

class TStream;

enum TListNotification { lnAdded, lnExtracted, lnDeleted };

// A list of untyped pointers. The list does not own what it points to; a subclass that does
// frees its items in Notify(lnDeleted) and calls Clear in its own destructor (the base
// destructor can no longer reach the subclass's Notify).
class TList : public TObject {
    DBV_CLASS(TList, TObject)
public:
    using TListSortCompare = std::function<int(void* Item1, void* Item2)>;

    TList() = default;
    ~TList() override;

    int Add(void* Item);
    void Insert(int Index, void* Item);
    void Delete(int Index);
    int Remove(void* Item);  // index the item had, -1 when absent
    void* Extract(void* Item);  // removes without the deletion notification
    int IndexOf(void* Item) const;
    void Move(int CurIndex, int NewIndex);
    void Exchange(int Index1, int Index2);
    int GetCount() const { return int(items_.size()); }
    void SetCount(int NewCount);  // grows with nulls or deletes from the end
    void* Items(int Index) const;
    void Put(int Index, void* Item);
    void* First() const { return Items(0); }
    void* Last() const { return Items(GetCount() - 1); }
    void Pack();  // drops the null entries
    virtual void Clear();
    // Stable sort (equal items keep their order).
    void Sort(const TListSortCompare& Compare);
    const std::vector<void*>& List() const { return items_; }

protected:
    virtual void Notify(void* Ptr, TListNotification Action) { (void)Ptr; (void)Action; }
    [[noreturn]] static void Error(int Index);

private:
    void CheckIndex(int Index) const;
    std::vector<void*> items_;
};

enum TDuplicates { dupIgnore, dupAccept, dupError };

class TStringList;
using TStringListSortCompare = std::function<int(TStringList& List, int Index1, int Index2)>;

// The abstract string list: every operation is built on a few primitives (Get, GetCount,
// Insert, Delete, Clear and the object slots) that descendants provide.
class TStrings : public TPersistent {
    DBV_CLASS(TStrings, TPersistent)
public:
    TStrings() = default;

    // ---- primitives ----
    virtual int GetCount() const = 0;
    virtual std::string Get(int Index) const = 0;
    virtual void Put(int Index, const std::string& S);
    virtual TObject* GetObject(int Index) const;
    virtual void PutObject(int Index, TObject* AObject);
    virtual void Insert(int Index, const std::string& S) = 0;
    virtual void InsertObject(int Index, const std::string& S, TObject* AObject);
    virtual void Delete(int Index) = 0;
    virtual void Clear() = 0;

    std::string Strings(int Index) const { return Get(Index); }
    TObject* Objects(int Index) const { return GetObject(Index); }

    virtual int Add(const std::string& S);
    virtual int AddObject(const std::string& S, TObject* AObject);
    void AddStrings(const TStrings& Strings);
    void Append(const std::string& S) { Add(S); }
    virtual int IndexOf(const std::string& S) const;  // ignoring case unless CaseSensitive
    int IndexOfName(const std::string& Name) const;
    int IndexOfObject(TObject* AObject) const;
    virtual void Exchange(int Index1, int Index2);
    virtual void Move(int CurIndex, int NewIndex);
    bool Equals(const TStrings& Other) const;  // same strings, same order

    // ---- name=value pairs ----
    std::string Names(int Index) const;  // "" when the line has no separator
    std::string Values(const std::string& Name) const;
    // Setting "" deletes the pair; a new name is added at the end.
    void SetValue(const std::string& Name, const std::string& Value);
    std::string ValueFromIndex(int Index) const;  // "" when the line has no separator
    void SetValueFromIndex(int Index, const std::string& Value);
    char GetNameValueSeparator() const { return nameValueSeparator_; }
    void SetNameValueSeparator(char c) { nameValueSeparator_ = c; }

    // ---- whole-list text ----
    // Lines each followed by "\n"; reading splits on "\r\n", "\n" and "\r".
    virtual std::string GetText() const;
    virtual void SetText(std::string_view Text);
    // Comma-separated, items quoted with '"' when they hold blanks, commas or quotes.
    std::string GetCommaText() const;
    void SetCommaText(std::string_view Text);
    // Like CommaText with Delimiter and QuoteChar. Without StrictDelimiter blanks also separate
    // items when reading, and items holding blanks or control characters are quoted.
    std::string GetDelimitedText() const;
    void SetDelimitedText(std::string_view Text);
    char GetDelimiter() const { return delimiter_; }
    void SetDelimiter(char c) { delimiter_ = c; }
    char GetQuoteChar() const { return quoteChar_; }
    void SetQuoteChar(char c) { quoteChar_ = c; }
    bool GetStrictDelimiter() const { return strictDelimiter_; }
    void SetStrictDelimiter(bool b) { strictDelimiter_ = b; }

    // ---- files and streams ----
    // Files are read whole (a leading UTF-8 byte order mark is dropped) and written atomically.
    virtual void LoadFromFile(const std::string& FileName);
    virtual void SaveToFile(const std::string& FileName) const;
    virtual void LoadFromStream(TStream& Stream);
    virtual void SaveToStream(TStream& Stream) const;

    // ---- batching ----
    void BeginUpdate();
    void EndUpdate();
    int UpdateCount() const { return updateCount_; }

    // Copies the strings and objects of another TStrings (and its separators).
    void Assign(TPersistent* Source) override;
    // Streams the lines as the defined property "Strings".
    void DefineProperties(TFiler& Filer) override;

    // Compares two strings the way IndexOf and sorting do.
    virtual int CompareStrings(const std::string& S1, const std::string& S2) const;

protected:
    using TLines = std::vector<std::pair<std::string, TObject*>>;
    // Adds many lines (text, object) at the end; the default adds them one by one. Text,
    // CommaText, DelimitedText, AddStrings and Assign go through it.
    virtual void AddLines(const TLines& Lines);
    // Clears the list and adds Lines, as one update.
    void ReplaceLines(const TLines& Lines);
    virtual void SetUpdateState(bool Updating) { (void)Updating; }
    [[noreturn]] static void Error(const char* Fmt, int Index);

private:
    std::string DelimitedTextWith(char delim, char quote, bool strict) const;
    void SetDelimitedTextWith(std::string_view text, char delim, char quote, bool strict);

    int updateCount_ = 0;
    char delimiter_ = ',';
    char quoteChar_ = '"';
    char nameValueSeparator_ = '=';
    bool strictDelimiter_ = false;
};

class TStringList : public TStrings {
    DBV_CLASS(TStringList, TStrings)
public:
    TStringList() = default;
    ~TStringList() override;

    int GetCount() const override { return int(items_.size()); }
    std::string Get(int Index) const override;
    void Put(int Index, const std::string& S) override;
    TObject* GetObject(int Index) const override;
    void PutObject(int Index, TObject* AObject) override;
    void Insert(int Index, const std::string& S) override;
    void InsertObject(int Index, const std::string& S, TObject* AObject) override;
    void Delete(int Index) override;
    void Clear() override;
    int Add(const std::string& S) override;
    int AddObject(const std::string& S, TObject* AObject) override;
    int IndexOf(const std::string& S) const override;
    void Exchange(int Index1, int Index2) override;
    void Move(int CurIndex, int NewIndex) override;

    // Binary search of a sorted list (a linear search otherwise). Index receives the match (the
    // first of equal lines) or the place where S would be inserted.
    virtual bool Find(const std::string& S, int& Index) const;
    // Sorts with CompareStrings; stable.
    virtual void Sort();
    // Sorts with a comparison of two positions; stable. The comparison sees the list as it was
    // before sorting began.
    virtual void CustomSort(const TStringListSortCompare& Compare);

    bool GetSorted() const { return sorted_; }
    void SetSorted(bool Value);
    TDuplicates GetDuplicates() const { return duplicates_; }
    void SetDuplicates(TDuplicates Value) { duplicates_ = Value; }
    bool GetCaseSensitive() const { return caseSensitive_; }
    void SetCaseSensitive(bool Value);
    // With OwnsObjects the list frees its objects when their lines are deleted or cleared.
    bool GetOwnsObjects() const { return ownsObjects_; }
    void SetOwnsObjects(bool Value) { ownsObjects_ = Value; }

    int CompareStrings(const std::string& S1, const std::string& S2) const override;

    TNotifyEvent OnChange;
    TNotifyEvent OnChanging;

protected:
    void AddLines(const TLines& Lines) override;
    void SetUpdateState(bool Updating) override;
    virtual void Changed();
    virtual void Changing();

private:
    struct Item {
        std::string s;
        TObject* obj = nullptr;
    };
    void CheckIndex(int Index) const;
    void InsertItem(int Index, const std::string& S, TObject* AObject);
    void CheckNotSorted() const;
    std::vector<Item> items_;
    TDuplicates duplicates_ = dupIgnore;
    bool sorted_ = false;
    bool caseSensitive_ = false;
    bool ownsObjects_ = false;
    bool changedInUpdate_ = false;
    bool changingSent_ = false;
};

}  // namespace vcl
