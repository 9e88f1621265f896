// TList, TStrings and TStringList.
#include "classes/lists.h"

#include <algorithm>

#include "classes/filer.h"
#include "classes/streams.h"
#include "rtl/sysutils.h"

namespace vcl {

DBV_IMPLEMENT_CLASS(TList)
DBV_IMPLEMENT_CLASS(TStrings)
DBV_IMPLEMENT_CLASS(TStringList)

namespace {
// A stable merge sort of positions 0..n-1 with a comparison of two original positions. It
// never reads outside the range, whatever the comparison returns.
std::vector<int> SortedOrder(int n, const std::function<int(int, int)>& cmp) {
    std::vector<int> a(size_t(n < 0 ? 0 : n)), tmp(a.size());
    for (int i = 0; i < n; ++i) a[size_t(i)] = i;
    for (size_t width = 1; width < a.size(); width *= 2) {
        for (size_t lo = 0; lo < a.size(); lo += 2 * width) {
            size_t mid = std::min(lo + width, a.size()), hi = std::min(lo + 2 * width, a.size());
            size_t i = lo, j = mid, k = lo;
            while (i < mid && j < hi) tmp[k++] = cmp(a[j], a[i]) < 0 ? a[j++] : a[i++];
            while (i < mid) tmp[k++] = a[i++];
            while (j < hi) tmp[k++] = a[j++];
        }
        a.swap(tmp);
    }
    return a;
}
}  // namespace

// ================= TList =================

TList::~TList() { Clear(); }

void TList::Error(int Index) { throw EListError(Format("List index out of bounds (%d)", Index)); }

void TList::CheckIndex(int Index) const {
    if (Index < 0 || Index >= GetCount()) Error(Index);
}

int TList::Add(void* Item) {
    items_.push_back(Item);
    if (Item) Notify(Item, lnAdded);
    return GetCount() - 1;
}

void TList::Insert(int Index, void* Item) {
    if (Index < 0 || Index > GetCount()) Error(Index);
    items_.insert(items_.begin() + Index, Item);
    if (Item) Notify(Item, lnAdded);
}

void TList::Delete(int Index) {
    CheckIndex(Index);
    void* p = items_[size_t(Index)];
    items_.erase(items_.begin() + Index);
    if (p) Notify(p, lnDeleted);
}

int TList::Remove(void* Item) {
    int i = IndexOf(Item);
    if (i >= 0) Delete(i);
    return i;
}

void* TList::Extract(void* Item) {
    int i = IndexOf(Item);
    if (i < 0) return nullptr;
    items_.erase(items_.begin() + i);
    if (Item) Notify(Item, lnExtracted);
    return Item;
}

int TList::IndexOf(void* Item) const {
    for (size_t i = 0; i < items_.size(); ++i)
        if (items_[i] == Item) return int(i);
    return -1;
}

void TList::Move(int CurIndex, int NewIndex) {
    if (CurIndex == NewIndex) return;
    CheckIndex(CurIndex);
    CheckIndex(NewIndex);
    void* p = items_[size_t(CurIndex)];
    items_.erase(items_.begin() + CurIndex);
    items_.insert(items_.begin() + NewIndex, p);
}

void TList::Exchange(int Index1, int Index2) {
    CheckIndex(Index1);
    CheckIndex(Index2);
    std::swap(items_[size_t(Index1)], items_[size_t(Index2)]);
}

void TList::SetCount(int NewCount) {
    if (NewCount < 0) Error(NewCount);
    while (GetCount() > NewCount) Delete(GetCount() - 1);
    items_.resize(size_t(NewCount), nullptr);
}

void* TList::Items(int Index) const {
    CheckIndex(Index);
    return items_[size_t(Index)];
}

void TList::Put(int Index, void* Item) {
    CheckIndex(Index);
    void* old = items_[size_t(Index)];
    if (old == Item) return;
    items_[size_t(Index)] = Item;
    if (old) Notify(old, lnDeleted);
    if (Item) Notify(Item, lnAdded);
}

void TList::Pack() {
    std::erase(items_, nullptr);
}

void TList::Clear() {
    // Deleting from the end one by one lets Notify see a consistent list.
    while (!items_.empty()) Delete(GetCount() - 1);
}

void TList::Sort(const TListSortCompare& Compare) {
    std::vector<void*> old = items_;
    std::vector<int> order = SortedOrder(GetCount(), [&](int a, int b) {
        return Compare(old[size_t(a)], old[size_t(b)]);
    });
    for (size_t i = 0; i < order.size(); ++i) items_[i] = old[size_t(order[i])];
}

// ================= TStrings =================

void TStrings::Error(const char* Fmt, int Index) { throw EStringListError(Format(Fmt, Index)); }

void TStrings::Put(int Index, const std::string& S) {
    TObject* obj = GetObject(Index);
    BeginUpdate();
    try {
        Delete(Index);
        InsertObject(Index, S, obj);
    } catch (...) {
        EndUpdate();
        throw;
    }
    EndUpdate();
}

TObject* TStrings::GetObject(int) const { return nullptr; }

void TStrings::PutObject(int, TObject*) {}

void TStrings::InsertObject(int Index, const std::string& S, TObject* AObject) {
    Insert(Index, S);
    PutObject(Index, AObject);
}

int TStrings::Add(const std::string& S) {
    int n = GetCount();
    Insert(n, S);
    return n;
}

int TStrings::AddObject(const std::string& S, TObject* AObject) {
    int i = Add(S);
    PutObject(i, AObject);
    return i;
}

void TStrings::AddStrings(const TStrings& Strings) {
    // Copied first, so adding a list to itself does not chase its own tail.
    TLines lines;
    lines.reserve(size_t(Strings.GetCount()));
    for (int i = 0; i < Strings.GetCount(); ++i) lines.emplace_back(Strings.Get(i), Strings.GetObject(i));
    BeginUpdate();
    try {
        AddLines(lines);
    } catch (...) {
        EndUpdate();
        throw;
    }
    EndUpdate();
}

void TStrings::AddLines(const TLines& Lines) {
    for (const auto& [s, o] : Lines) AddObject(s, o);
}

int TStrings::CompareStrings(const std::string& S1, const std::string& S2) const {
    return CompareText(S1, S2);
}

int TStrings::IndexOf(const std::string& S) const {
    for (int i = 0; i < GetCount(); ++i)
        if (CompareStrings(Get(i), S) == 0) return i;
    return -1;
}

int TStrings::IndexOfName(const std::string& Name) const {
    for (int i = 0; i < GetCount(); ++i) {
        std::string s = Get(i);
        size_t p = s.find(nameValueSeparator_);
        if (p != std::string::npos && CompareStrings(s.substr(0, p), Name) == 0) return i;
    }
    return -1;
}

int TStrings::IndexOfObject(TObject* AObject) const {
    for (int i = 0; i < GetCount(); ++i)
        if (GetObject(i) == AObject) return i;
    return -1;
}

void TStrings::Exchange(int Index1, int Index2) {
    BeginUpdate();
    try {
        std::string s1 = Get(Index1), s2 = Get(Index2);
        TObject* o1 = GetObject(Index1);
        TObject* o2 = GetObject(Index2);
        Put(Index1, s2);
        PutObject(Index1, o2);
        Put(Index2, s1);
        PutObject(Index2, o1);
    } catch (...) {
        EndUpdate();
        throw;
    }
    EndUpdate();
}

void TStrings::Move(int CurIndex, int NewIndex) {
    if (CurIndex == NewIndex) return;
    if (NewIndex < 0 || NewIndex >= GetCount()) Error("List index out of bounds (%d)", NewIndex);
    BeginUpdate();
    try {
        std::string s = Get(CurIndex);
        TObject* o = GetObject(CurIndex);
        Delete(CurIndex);
        InsertObject(NewIndex, s, o);
    } catch (...) {
        EndUpdate();
        throw;
    }
    EndUpdate();
}

bool TStrings::Equals(const TStrings& Other) const {
    if (Other.GetCount() != GetCount()) return false;
    for (int i = 0; i < GetCount(); ++i)
        if (Get(i) != Other.Get(i)) return false;
    return true;
}

std::string TStrings::Names(int Index) const {
    std::string s = Get(Index);
    size_t p = s.find(nameValueSeparator_);
    return p == std::string::npos ? std::string() : s.substr(0, p);
}

std::string TStrings::ValueFromIndex(int Index) const {
    if (Index < 0) return {};
    std::string s = Get(Index);
    size_t p = s.find(nameValueSeparator_);
    return p == std::string::npos ? std::string() : s.substr(p + 1);
}

std::string TStrings::Values(const std::string& Name) const {
    int i = IndexOfName(Name);
    return i < 0 ? std::string() : ValueFromIndex(i);
}

void TStrings::SetValue(const std::string& Name, const std::string& Value) {
    int i = IndexOfName(Name);
    if (!Value.empty()) {
        std::string line = Name + nameValueSeparator_ + Value;
        if (i < 0) Add(line);
        else Put(i, line);
    } else if (i >= 0) {
        Delete(i);
    }
}

void TStrings::SetValueFromIndex(int Index, const std::string& Value) {
    if (!Value.empty()) {
        if (Index < 0) Add(nameValueSeparator_ + Value);
        else Put(Index, Names(Index) + nameValueSeparator_ + Value);
    } else if (Index >= 0) {
        Delete(Index);
    }
}

std::string TStrings::GetText() const {
    std::string r;
    for (int i = 0; i < GetCount(); ++i) {
        r += Get(i);
        r += '\n';
    }
    return r;
}

void TStrings::SetText(std::string_view Text) {
    TLines lines;
    size_t i = 0;
    while (i < Text.size()) {
        size_t e = Text.find_first_of("\r\n", i);
        if (e == std::string_view::npos) {
            lines.emplace_back(std::string(Text.substr(i)), nullptr);
            break;
        }
        lines.emplace_back(std::string(Text.substr(i, e - i)), nullptr);
        i = e + 1;
        if (Text[e] == '\r' && i < Text.size() && Text[i] == '\n') ++i;
    }
    ReplaceLines(lines);
}

void TStrings::ReplaceLines(const TLines& Lines) {
    BeginUpdate();
    try {
        Clear();
        AddLines(Lines);
    } catch (...) {
        EndUpdate();
        throw;
    }
    EndUpdate();
}

std::string TStrings::DelimitedTextWith(char delim, char quote, bool strict) const {
    int n = GetCount();
    if (n == 1 && Get(0).empty()) return std::string(2, quote);
    std::string r;
    for (int i = 0; i < n; ++i) {
        std::string s = Get(i);
        bool needQuote = false;
        for (char c : s) {
            unsigned char u = (unsigned char)c;
            if (c == delim || c == quote || u == 0 || (!strict && u <= ' ')) {
                needQuote = true;
                break;
            }
        }
        if (needQuote) r += QuotedStr(s, quote);
        else r += s;
        if (i + 1 < n) r += delim;
    }
    return r;
}

void TStrings::SetDelimitedTextWith(std::string_view text, char delim, char quote, bool strict) {
    // Without StrictDelimiter every control character and blank separates (NUL too, so that
    // the reader always moves on).
    auto isBlank = [&](size_t i) { return !strict && i < text.size() && (unsigned char)text[i] <= ' '; };
    TLines lines;
    auto add = [&](std::string item) { lines.emplace_back(std::move(item), nullptr); };
    {
        size_t i = 0;
        while (isBlank(i)) ++i;
        while (i < text.size()) {
            std::string s;
            if (text[i] == quote) {
                // A quoted item; a doubled quote stands for one quote.
                ++i;
                while (i < text.size()) {
                    if (text[i] == quote) {
                        if (i + 1 < text.size() && text[i + 1] == quote) {
                            s += quote;
                            i += 2;
                            continue;
                        }
                        ++i;
                        break;
                    }
                    s += text[i++];
                }
            } else {
                size_t st = i;
                while (i < text.size() && text[i] != delim &&
                       (strict || (unsigned char)text[i] > ' '))
                    ++i;
                s = std::string(text.substr(st, i - st));
            }
            add(std::move(s));
            while (isBlank(i)) ++i;
            if (i < text.size() && text[i] == delim) {
                if (i + 1 == text.size()) add("");
                ++i;
                while (isBlank(i)) ++i;
            }
        }
    }
    ReplaceLines(lines);
}

std::string TStrings::GetCommaText() const { return DelimitedTextWith(',', '"', false); }
void TStrings::SetCommaText(std::string_view Text) { SetDelimitedTextWith(Text, ',', '"', false); }
std::string TStrings::GetDelimitedText() const {
    return DelimitedTextWith(delimiter_, quoteChar_, strictDelimiter_);
}
void TStrings::SetDelimitedText(std::string_view Text) {
    SetDelimitedTextWith(Text, delimiter_, quoteChar_, strictDelimiter_);
}

static std::string_view WithoutBom(std::string_view s) {
    if (s.size() >= 3 && (unsigned char)s[0] == 0xEF && (unsigned char)s[1] == 0xBB &&
        (unsigned char)s[2] == 0xBF)
        s.remove_prefix(3);
    return s;
}

void TStrings::LoadFromFile(const std::string& FileName) {
    std::string data = ReadFileBytes(FileName);
    SetText(WithoutBom(data));
}

void TStrings::SaveToFile(const std::string& FileName) const { WriteFileAtomic(FileName, GetText()); }

void TStrings::LoadFromStream(TStream& Stream) {
    std::string data = Stream.ReadAll();
    SetText(WithoutBom(data));
}

void TStrings::SaveToStream(TStream& Stream) const { Stream.WriteString(GetText()); }

void TStrings::BeginUpdate() {
    if (updateCount_++ == 0) SetUpdateState(true);
}

void TStrings::EndUpdate() {
    if (updateCount_ <= 0) return;
    if (--updateCount_ == 0) SetUpdateState(false);
}

void TStrings::Assign(TPersistent* Source) {
    if (auto* src = dynamic_cast<TStrings*>(Source)) {
        if (src == this) return;
        BeginUpdate();
        try {
            Clear();
            delimiter_ = src->delimiter_;
            quoteChar_ = src->quoteChar_;
            nameValueSeparator_ = src->nameValueSeparator_;
            strictDelimiter_ = src->strictDelimiter_;
            AddStrings(*src);
        } catch (...) {
            EndUpdate();
            throw;
        }
        EndUpdate();
        return;
    }
    inherited::Assign(Source);
}

void TStrings::DefineProperties(TFiler& Filer) {
    inherited::DefineProperties(Filer);
    Filer.DefineProperty(
        "Strings",
        [this](TReader& r) {
            r.ReadListBegin();
            BeginUpdate();
            try {
                Clear();
                while (!r.EndOfList()) Add(r.ReadString());
            } catch (...) {
                EndUpdate();
                throw;
            }
            EndUpdate();
            r.ReadListEnd();
        },
        [this](TWriter& w) {
            w.WriteListBegin();
            for (int i = 0; i < GetCount(); ++i) w.WriteString(Get(i));
            w.WriteListEnd();
        },
        GetCount() > 0);
}

// ================= TStringList =================

TStringList::~TStringList() {
    OnChange = nullptr;
    OnChanging = nullptr;
    Clear();
}

void TStringList::CheckIndex(int Index) const {
    if (Index < 0 || Index >= GetCount()) Error("List index out of bounds (%d)", Index);
}

void TStringList::CheckNotSorted() const {
    if (sorted_) throw EStringListError("Operation not allowed on sorted list");
}

void TStringList::Changing() {
    if (UpdateCount() == 0) {
        if (OnChanging) OnChanging(this);
    } else if (!changingSent_) {
        // Inside BeginUpdate/EndUpdate: announce the first change of the batch only.
        changingSent_ = true;
        if (OnChanging) OnChanging(this);
    }
}

void TStringList::Changed() {
    if (UpdateCount() == 0) {
        if (OnChange) OnChange(this);
    } else {
        changedInUpdate_ = true;
    }
}

void TStringList::SetUpdateState(bool Updating) {
    if (Updating) {
        changedInUpdate_ = false;
        changingSent_ = false;
        return;
    }
    bool changed = changedInUpdate_;
    changedInUpdate_ = false;
    changingSent_ = false;
    if (changed && OnChange) OnChange(this);
}

std::string TStringList::Get(int Index) const {
    CheckIndex(Index);
    return items_[size_t(Index)].s;
}

void TStringList::Put(int Index, const std::string& S) {
    CheckNotSorted();
    CheckIndex(Index);
    Changing();
    items_[size_t(Index)].s = S;
    Changed();
}

TObject* TStringList::GetObject(int Index) const {
    CheckIndex(Index);
    return items_[size_t(Index)].obj;
}

void TStringList::PutObject(int Index, TObject* AObject) {
    CheckIndex(Index);
    Changing();
    TObject* old = items_[size_t(Index)].obj;
    items_[size_t(Index)].obj = AObject;
    if (ownsObjects_ && old && old != AObject) old->Free();
    Changed();
}

void TStringList::InsertItem(int Index, const std::string& S, TObject* AObject) {
    Changing();
    items_.insert(items_.begin() + Index, Item{S, AObject});
    Changed();
}

void TStringList::Insert(int Index, const std::string& S) { InsertObject(Index, S, nullptr); }

void TStringList::InsertObject(int Index, const std::string& S, TObject* AObject) {
    CheckNotSorted();
    if (Index < 0 || Index > GetCount()) Error("List index out of bounds (%d)", Index);
    InsertItem(Index, S, AObject);
}

int TStringList::Add(const std::string& S) { return AddObject(S, nullptr); }

int TStringList::AddObject(const std::string& S, TObject* AObject) {
    int index;
    if (!sorted_) {
        index = GetCount();
    } else if (Find(S, index)) {
        if (duplicates_ == dupIgnore) return index;
        if (duplicates_ == dupError) throw EStringListError("String list does not allow duplicates");
        // dupAccept: after the equal lines already present, so equal lines keep arrival order.
        while (index < GetCount() && CompareStrings(items_[size_t(index)].s, S) == 0) ++index;
    }
    InsertItem(index, S, AObject);
    return index;
}

// Many lines at once: appended, or for a sorted list merged in one pass, with the result that
// adding them one by one would give (equal lines keep their arrival order; dupIgnore keeps the
// first). dupError goes line by line so the error comes at the same line.
void TStringList::AddLines(const TLines& Lines) {
    if (Lines.empty()) return;
    if (sorted_ && duplicates_ == dupError) {
        TStrings::AddLines(Lines);
        return;
    }
    if (!sorted_) {
        Changing();
        items_.reserve(items_.size() + Lines.size());
        for (const auto& [s, o] : Lines) items_.push_back(Item{s, o});
        Changed();
        return;
    }
    // Plan the merge first (comparisons only), so a comparison that throws changes nothing.
    std::vector<int> order = SortedOrder(int(Lines.size()), [&](int a, int b) {
        return CompareStrings(Lines[size_t(a)].first, Lines[size_t(b)].first);
    });
    std::vector<int> plan;  // >= 0: an existing line, < 0: new line -(k + 1)
    plan.reserve(items_.size() + Lines.size());
    size_t i = 0, j = 0;
    const std::string* last = nullptr;
    bool added = false;
    while (i < items_.size() || j < order.size()) {
        if (j == order.size()) {
            plan.push_back(int(i++));
            continue;
        }
        const std::string& s = Lines[size_t(order[j])].first;
        if (i < items_.size() && CompareStrings(items_[i].s, s) <= 0) {
            last = &items_[i].s;
            plan.push_back(int(i++));
            continue;
        }
        if (duplicates_ == dupIgnore && last && CompareStrings(*last, s) == 0) {
            ++j;
            continue;
        }
        last = &s;
        plan.push_back(-(order[j] + 1));
        added = true;
        ++j;
    }
    if (!added) return;
    Changing();
    std::vector<Item> merged;
    merged.reserve(plan.size());
    for (int p : plan) {
        if (p >= 0) merged.push_back(std::move(items_[size_t(p)]));
        else merged.push_back(Item{Lines[size_t(-p - 1)].first, Lines[size_t(-p - 1)].second});
    }
    items_.swap(merged);
    Changed();
}

void TStringList::Delete(int Index) {
    CheckIndex(Index);
    Changing();
    TObject* obj = items_[size_t(Index)].obj;
    items_.erase(items_.begin() + Index);
    if (ownsObjects_ && obj) obj->Free();
    Changed();
}

void TStringList::Clear() {
    if (items_.empty()) return;
    Changing();
    std::vector<Item> old;
    old.swap(items_);
    if (ownsObjects_)
        for (Item& it : old) vcl::Free(it.obj);
    Changed();
}

bool TStringList::Find(const std::string& S, int& Index) const {
    if (!sorted_) {
        int i = IndexOf(S);
        Index = i < 0 ? GetCount() : i;
        return i >= 0;
    }
    int lo = 0, hi = GetCount() - 1;
    bool found = false;
    while (lo <= hi) {
        int mid = lo + (hi - lo) / 2;
        int c = CompareStrings(items_[size_t(mid)].s, S);
        if (c < 0) {
            lo = mid + 1;
        } else {
            hi = mid - 1;
            if (c == 0) found = true;  // keep going left to the first equal line
        }
    }
    Index = lo;
    return found;
}

int TStringList::IndexOf(const std::string& S) const {
    if (!sorted_) return TStrings::IndexOf(S);
    int i;
    return Find(S, i) ? i : -1;
}

void TStringList::Exchange(int Index1, int Index2) {
    CheckNotSorted();
    CheckIndex(Index1);
    CheckIndex(Index2);
    if (Index1 == Index2) return;
    Changing();
    std::swap(items_[size_t(Index1)], items_[size_t(Index2)]);
    Changed();
}

void TStringList::Move(int CurIndex, int NewIndex) {
    if (CurIndex == NewIndex) return;
    CheckNotSorted();
    CheckIndex(CurIndex);
    CheckIndex(NewIndex);
    Changing();
    Item it = std::move(items_[size_t(CurIndex)]);
    items_.erase(items_.begin() + CurIndex);
    items_.insert(items_.begin() + NewIndex, std::move(it));
    Changed();
}

void TStringList::CustomSort(const TStringListSortCompare& Compare) {
    if (items_.size() < 2) return;
    std::vector<int> order = SortedOrder(GetCount(), [&](int a, int b) { return Compare(*this, a, b); });
    bool same = true;
    for (size_t i = 0; i < order.size(); ++i) same = same && order[i] == int(i);
    if (same) return;
    Changing();
    std::vector<Item> sorted;
    sorted.reserve(items_.size());
    for (int i : order) sorted.push_back(std::move(items_[size_t(i)]));
    items_.swap(sorted);
    Changed();
}

void TStringList::Sort() {
    CustomSort([](TStringList& l, int a, int b) {
        return l.CompareStrings(l.items_[size_t(a)].s, l.items_[size_t(b)].s);
    });
}

void TStringList::SetSorted(bool Value) {
    if (Value == sorted_) return;
    if (Value) Sort();
    sorted_ = Value;
}

void TStringList::SetCaseSensitive(bool Value) {
    if (Value == caseSensitive_) return;
    caseSensitive_ = Value;
    if (sorted_) Sort();
}

int TStringList::CompareStrings(const std::string& S1, const std::string& S2) const {
    return caseSensitive_ ? CompareStr(S1, S2) : CompareText(S1, S2);
}

}  // namespace vcl
