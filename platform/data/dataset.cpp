// TDataSet: states, the record-buffer window, navigation, editing, bookmarks and searching.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "data/db.h"
#include "rtl/sysutils.h"

namespace vcl {

DBV_IMPLEMENT_CLASS(TDataSet)

void DatabaseError(const std::string& message) { throw EDatabaseError(message); }

TDataSet::TDataSet(TComponent* AOwner) : TComponent(AOwner) {}

TDataSet::~TDataSet() = default;

void TDataSet::BeforeDestruction() {
    if (!IsDestroying()) Destroying();
    try {
        SetActive(false);
    } catch (...) {
        // Freeing never fails because an edit could not be posted: the pending edit is dropped.
    }
    while (!dataSources_.empty()) dataSources_.back()->SetDataSet(nullptr);
    for (TField* f : std::vector<TField*>(fields_.List())) f->dataSet_ = nullptr;
    fields_.Clear();
    inherited::BeforeDestruction();
}

void TDataSet::CheckActive() const {
    if (state_ == dsInactive) DatabaseError("Cannot perform this operation on a closed dataset");
}
void TDataSet::CheckInactive() const {
    if (state_ != dsInactive) DatabaseError("Cannot perform this operation on an open dataset");
}

void TDataSet::SetReadOnly(bool v) {
    readOnly_ = v;
}

// ---- open and close ----

void TDataSet::SetActive(bool v) {
    if (v == (state_ != dsInactive)) return;
    if (IsLoading() && v) return;
    if (v) {
        Do(BeforeOpen);
        opening_ = true;
        try {
            OpenCursorAndBuffers();
            // The first window is read before the state changes, so links that become
            // active already see the first records.
            ClearBuffers();
            InternalFirst();
            GetNextRecords();
            bof_ = true;
            eof_ = recordCount_ == 0;
        } catch (...) {
            opening_ = false;
            CloseAll();
            throw;
        }
        opening_ = false;
        SetState(dsBrowse);
        Do(AfterOpen);
        if (!IsEmpty()) Do(AfterScroll);
    } else {
        if (!IsDestroying()) Do(BeforeClose);
        SetState(dsInactive);
        CloseAll();
        if (!IsDestroying()) Do(AfterClose);
    }
}

void TDataSet::OpenCursorAndBuffers() {
    InternalOpen();
    if (fields_.Count() == 0) {
        CreateFields();
        defaultFields_ = true;
    } else {
        defaultFields_ = false;
    }
    calcFieldCount_ = 0;
    for (TField* f : fields_.List()) {
        if (f->GetFieldKind() != fkData) f->SetCalcIndex(calcFieldCount_++);
        else {
            // Persistent fields bind to the definition of the same name.
            int i = fieldDefs_.IndexOf(f->GetFieldName());
            if (i < 0) DatabaseError("Field '" + f->GetFieldName() + "' not found");
            f->SetFieldNoInternal(fieldDefs_[i].FieldNo);
        }
    }
    bufferCount_ = 0;
    SetBufferCount(std::max(1, [&] {
        int n = 1;
        for (TDataSource* ds : dataSources_) n = std::max(n, ds->MaxBufferCount());
        return n;
    }()));
}

void TDataSet::CloseAll() {
    for (TSlot* s : slots_) {
        FreeRecordBuffer(s->Data);
        delete s;
    }
    slots_.clear();
    bufferCount_ = recordCount_ = activeRecord_ = 0;
    currentRecord_ = -1;
    bof_ = eof_ = true;
    if (IsCursorOpen()) InternalClose();
    if (defaultFields_) DestroyDefaultFields();
    defaultFields_ = false;
}

void TDataSet::DestroyDefaultFields() {
    for (TField* f : std::vector<TField*>(fields_.List())) {
        fields_.Remove(f);
        f->dataSet_ = nullptr;
        f->Free();
    }
}

void TDataSet::CreateFields() {
    for (int i = 0; i < fieldDefs_.Count(); ++i) fieldDefs_[i].CreateField(this, this);
}

TRecordBuffer TDataSet::AllocRecordBuffer() {
    auto* b = static_cast<char*>(std::calloc(size_t(GetBufferSize()) + 1, 1));
    if (!b) throw EOutOfMemory("Out of memory");
    return b;
}

void TDataSet::FreeRecordBuffer(TRecordBuffer& buffer) {
    std::free(buffer);
    buffer = nullptr;
}

// ---- buffers ----

void TDataSet::SetBufferCount(int n) {
    if (n == bufferCount_) return;
    if (n > bufferCount_) {
        // Grow: the spare slot stays last.
        size_t old = slots_.size();
        slots_.resize(size_t(n) + 1);
        for (size_t i = old; i < slots_.size(); ++i) {
            slots_[i] = new TSlot;
            slots_[i]->Data = AllocRecordBuffer();
            slots_[i]->Calc.assign(size_t(calcFieldCount_), Variant{});
        }
        bufferCount_ = n;
        if (recordCount_ > 0 && state_ == dsBrowse) {
            GetNextRecords();
            int added = GetPriorRecords();
            activeRecord_ += added;
            ShiftLinks(added);
        }
    } else {
        // Shrink: keep the active record inside the window by dropping records in front of it.
        int drop = std::max(0, activeRecord_ - (n - 1));
        for (int i = 0; i < drop; ++i) MoveBuffer(0, int(slots_.size()) - 1);
        recordCount_ = std::max(0, recordCount_ - drop);
        activeRecord_ -= drop;
        if (currentRecord_ >= 0) currentRecord_ = currentRecord_ - drop;
        if (recordCount_ > n) recordCount_ = n;
        if (currentRecord_ < 0 || currentRecord_ >= recordCount_) currentRecord_ = -1;
        for (size_t i = size_t(n) + 1; i < slots_.size(); ++i) {
            FreeRecordBuffer(slots_[i]->Data);
            delete slots_[i];
        }
        slots_.resize(size_t(n) + 1);
        bufferCount_ = n;
        ShiftLinks(-drop);
    }
}

// Records added in front of the window (or dropped from it) move every link's window with them.
void TDataSet::ShiftLinks(int by) {
    if (by == 0) return;
    for (TDataSource* ds : dataSources_)
        for (TDataLink* l : ds->Links()) {
            l->firstRecord_ = std::max(0, l->firstRecord_ + by);
            int last = l->firstRecord_ + l->bufferCount_ - 1;
            if (activeRecord_ > last) l->firstRecord_ = activeRecord_ - l->bufferCount_ + 1;
            if (activeRecord_ < l->firstRecord_) l->firstRecord_ = activeRecord_;
        }
}

void TDataSet::UpdateBufferCount() {
    if (!IsCursorOpen() || state_ == dsInactive) return;
    int n = 1;
    for (TDataSource* ds : dataSources_) n = std::max(n, ds->MaxBufferCount());
    SetBufferCount(n);
}

void TDataSet::MoveBuffer(int from, int to) {
    if (from == to) return;
    if (from < to) std::rotate(slots_.begin() + from, slots_.begin() + from + 1, slots_.begin() + to + 1);
    else std::rotate(slots_.begin() + to, slots_.begin() + from, slots_.begin() + from + 1);
    // The cursor's record follows its buffer.
    if (currentRecord_ >= 0) {
        if (currentRecord_ == from) currentRecord_ = to;
        else if (from < to && currentRecord_ > from && currentRecord_ <= to) --currentRecord_;
        else if (from > to && currentRecord_ >= to && currentRecord_ < from) ++currentRecord_;
    }
}

void TDataSet::ClearBuffers() {
    recordCount_ = 0;
    activeRecord_ = 0;
    currentRecord_ = -1;
    bof_ = eof_ = true;
}

void TDataSet::ActivateBuffers() {
    recordCount_ = 1;
    activeRecord_ = 0;
    currentRecord_ = 0;
    bof_ = eof_ = false;
}

void TDataSet::SetCurrentRecord(int index) {
    if (currentRecord_ == index) return;
    TRecordBuffer b = slots_[size_t(index)]->Data;
    switch (GetBookmarkFlag(b)) {
        case bfCurrent:
        case bfInserted: InternalSetToRecord(b); break;
        case bfBOF: InternalFirst(); break;
        case bfEOF: InternalLast(); break;
    }
    currentRecord_ = index;
}

void TDataSet::UpdateCursorPos() {
    if (recordCount_ > 0) SetCurrentRecord(activeRecord_);
}

bool TDataSet::GetNextRecord() {
    if (recordCount_ > 0) SetCurrentRecord(recordCount_ - 1);
    int spare = bufferCount_;
    TGetResult r = GetRecord(slots_[size_t(spare)]->Data, gmNext, true);
    if (r != grOK) {
        // The cursor went past the last buffered record.
        currentRecord_ = -1;
        if (recordCount_ > 0) SetCurrentRecord(recordCount_ - 1);
        return false;
    }
    if (recordCount_ == 0) ActivateBuffers(), MoveBuffer(spare, 0);
    else if (recordCount_ < bufferCount_) MoveBuffer(spare, recordCount_), ++recordCount_;
    else {
        // The window is full: the first record leaves and the new one takes the end.
        MoveBuffer(spare, recordCount_);
        MoveBuffer(0, bufferCount_);
    }
    currentRecord_ = recordCount_ - 1;
    GetCalcFields(currentRecord_);
    return true;
}

bool TDataSet::GetPriorRecord() {
    if (recordCount_ > 0) SetCurrentRecord(0);
    int spare = bufferCount_;
    TGetResult r = GetRecord(slots_[size_t(spare)]->Data, gmPrior, true);
    if (r != grOK) {
        currentRecord_ = -1;
        if (recordCount_ > 0) SetCurrentRecord(0);
        return false;
    }
    if (recordCount_ == 0) {
        ActivateBuffers();
        MoveBuffer(spare, 0);
    } else {
        MoveBuffer(spare, 0);  // the last record falls into the spare slot when the window is full
        if (recordCount_ < bufferCount_) ++recordCount_;
    }
    currentRecord_ = 0;
    GetCalcFields(0);
    return true;
}

int TDataSet::GetNextRecords() {
    int n = 0;
    while (recordCount_ < bufferCount_ && GetNextRecord()) ++n;
    return n;
}

int TDataSet::GetPriorRecords() {
    int n = 0;
    while (recordCount_ < bufferCount_ && GetPriorRecord()) ++n;
    return n;
}

TRecordBuffer TDataSet::ActiveBuffer() const {
    if (recordCount_ == 0 && state_ != dsInsert) return slots_.empty() ? nullptr : slots_[0]->Data;
    return slots_.empty() ? nullptr : slots_[size_t(activeRecord_)]->Data;
}

TRecordBuffer TDataSet::GetActiveRecBuf() const {
    switch (state_) {
        case dsCalcFields: return calcBuffer_;
        case dsFilter: return filterBuffer_;
        case dsInactive: return nullptr;
        default:
            if (recordCount_ == 0 && state_ == dsBrowse) return nullptr;
            return ActiveBuffer();
    }
}

Variant* TDataSet::CalcSlotValue(TField* field) {
    int i = field->CalcIndex();
    if (i < 0) return nullptr;
    int slot = state_ == dsCalcFields ? calcSlot_ : activeRecord_;
    if (state_ == dsFilter || slot < 0 || slot >= int(slots_.size())) return nullptr;
    auto& calc = slots_[size_t(slot)]->Calc;
    if (calc.size() < size_t(calcFieldCount_)) calc.resize(size_t(calcFieldCount_));
    return &calc[size_t(i)];
}

void TDataSet::SetActiveRecordInternal(int i) {
    if (i >= 0 && i < std::max(1, recordCount_)) activeRecord_ = i;
}

bool TDataSet::GetCurrentRecord(char* buffer) {
    if (recordCount_ == 0 || state_ != dsBrowse) return false;
    UpdateCursorPos();
    // The caller's buffer holds RecordSize bytes: the record is read into a whole buffer
    // (record plus the dataset's own trailer) and only the record is copied out.
    TRecordBuffer tmp = AllocRecordBuffer();
    bool ok = false;
    try {
        ok = GetRecord(tmp, gmCurrent, false) == grOK;
        if (ok) std::memcpy(buffer, tmp, size_t(GetRecordSizeValue()));
    } catch (...) {
        FreeRecordBuffer(tmp);
        throw;
    }
    FreeRecordBuffer(tmp);
    return ok;
}

// ---- state and events ----

void TDataSet::SetState(TDataSetState v) {
    if (state_ == v) return;
    state_ = v;
    modified_ = false;
    DataEvent(deUpdateState, 0);
}

TDataSetState TDataSet::SetTempState(TDataSetState v) {
    TDataSetState old = state_;
    state_ = v;
    return old;
}

void TDataSet::RestoreState(TDataSetState v) { state_ = v; }

void TDataSet::DataEvent(TDataEvent event, intptr_t info) {
    switch (event) {
        case deFieldChange: {
            auto* f = reinterpret_cast<TField*>(info);
            if (f && f->GetFieldKind() == fkData && state_ != dsSetKey) {
                // A changed data field recalculates the record's calculated fields.
                if (HasCalcFields() && (state_ == dsEdit || state_ == dsInsert)) GetCalcFields(activeRecord_);
                modified_ = true;
            }
            if (f) f->Change();
            break;
        }
        case dePropertyChange:
        case deFieldListChange: break;
        default: break;
    }
    DataEventHook(event, info);
    if (disableCount_ > 0) {
        // While controls are disabled only the inactive state and the writes of pending edits
        // reach the links; a layout change is remembered for EnableControls.
        if (event == deUpdateRecord || (event == deUpdateState && state_ == dsInactive)) NotifySources(event, info);
        else if (event == deLayoutChange || (event == deUpdateState && state_ == dsInactive)) enableEvent_ = deLayoutChange;
        return;
    }
    NotifySources(event, info);
}

void TDataSet::NotifySources(TDataEvent event, intptr_t info) {
    // A source that detaches itself in its handler does not make the next one miss the event.
    for (size_t i = 0; i < dataSources_.size();) {
        TDataSource* ds = dataSources_[i];
        ds->DataEvent(event, info);
        if (i < dataSources_.size() && dataSources_[i] == ds) ++i;
    }
}

void TDataSet::DisableControls() {
    if (disableCount_++ == 0) {
        disableState_ = state_;
        enableEvent_ = deDataSetChange;
    }
}

void TDataSet::EnableControls() {
    if (disableCount_ == 0) return;
    if (--disableCount_ == 0) {
        if (state_ != disableState_) NotifySources(deUpdateState, 0);
        if (disableState_ != dsInactive && state_ != dsInactive) NotifySources(enableEvent_, 0);
    }
}

void TDataSet::AddDataSource(TDataSource* ds) {
    dataSources_.push_back(ds);
    UpdateBufferCount();
}

void TDataSet::RemoveDataSource(TDataSource* ds) {
    dataSources_.erase(std::remove(dataSources_.begin(), dataSources_.end(), ds), dataSources_.end());
    UpdateBufferCount();
}

void TDataSet::AddField(TField* f) {
    if (fields_.IndexOf(f) >= 0) return;
    if (state_ != dsInactive && !opening_) DatabaseError("Cannot perform this operation on an open dataset");
    fields_.Add(f);
    f->dataSet_ = this;
}

void TDataSet::RemoveField(TField* f) {
    fields_.Remove(f);
    f->dataSet_ = nullptr;
}

// ---- navigation ----

void TDataSet::First() {
    CheckBrowseMode();
    Do(BeforeScroll);
    ClearBuffers();
    try {
        InternalFirst();
        if (GetNextRecord()) {
            GetNextRecords();
        }
    } catch (...) {
        bof_ = true;
        DataEvent(deDataSetChange, 0);
        throw;
    }
    bof_ = true;
    eof_ = recordCount_ == 0;
    DataEvent(deDataSetChange, 0);
    Do(AfterScroll);
}

void TDataSet::Last() {
    CheckBrowseMode();
    Do(BeforeScroll);
    ClearBuffers();
    try {
        InternalLast();
        if (GetPriorRecord()) {
            activeRecord_ += GetPriorRecords();
        }
    } catch (...) {
        eof_ = true;
        DataEvent(deDataSetChange, 0);
        throw;
    }
    eof_ = true;
    bof_ = recordCount_ == 0;
    DataEvent(deDataSetChange, 0);
    Do(AfterScroll);
}

int TDataSet::MoveBy(int distance) {
    CheckBrowseMode();
    int result = 0;
    Do(BeforeScroll);
    if ((distance > 0 && !eof_) || (distance < 0 && !bof_)) {
        bof_ = eof_ = false;
        int oldCount = recordCount_;
        int scroll = 0;
        try {
            while (distance > 0) {
                if (activeRecord_ < recordCount_ - 1) {
                    ++activeRecord_;
                } else {
                    int shift = recordCount_ < bufferCount_ ? 0 : 1;
                    if (GetNextRecord()) {
                        scroll -= shift;
                        activeRecord_ = recordCount_ - 1;
                    } else {
                        eof_ = true;
                        break;
                    }
                }
                --distance;
                ++result;
            }
            while (distance < 0) {
                if (activeRecord_ > 0) {
                    --activeRecord_;
                } else {
                    int shift = recordCount_ < bufferCount_ ? 0 : 1;
                    if (GetPriorRecord()) {
                        scroll += shift;
                        activeRecord_ = 0;
                    } else {
                        bof_ = true;
                        break;
                    }
                }
                ++distance;
                --result;
            }
        } catch (...) {
            if (recordCount_ != oldCount) DataEvent(deDataSetChange, 0);
            else DataEvent(deDataSetScroll, scroll);
            throw;
        }
        if (recordCount_ == 0) bof_ = eof_ = true;
        if (recordCount_ != oldCount) DataEvent(deDataSetChange, 0);
        else DataEvent(deDataSetScroll, scroll);
        Do(AfterScroll);
    }
    return result;
}

bool TDataSet::IsEmpty() const {
    return state_ != dsInsert && bof_ && eof_;
}

void TDataSet::Resync(TResyncModes mode) {
    int spare = bufferCount_;
    TRecordBuffer b = slots_[size_t(spare)]->Data;
    if (mode.Contains(rmExact)) {
        CursorPosChanged();
        if (GetRecord(b, gmCurrent, true) != grOK) DatabaseError("Record not found or changed by another user");
    } else if (GetRecord(b, gmCurrent, false) != grOK && GetRecord(b, gmNext, false) != grOK &&
               GetRecord(b, gmPrior, false) != grOK) {
        ClearBuffers();
        DataEvent(deDataSetChange, 0);
        return;
    }
    int count = mode.Contains(rmCenter) ? (bufferCount_ - 1) / 2 : activeRecord_;
    MoveBuffer(spare, 0);
    ActivateBuffers();
    GetCalcFields(0);
    try {
        while (count > 0 && GetPriorRecord()) {
            ++activeRecord_;
            --count;
        }
        GetNextRecords();
        activeRecord_ += GetPriorRecords();
    } catch (...) {
        DataEvent(deDataSetChange, 0);
        throw;
    }
    DataEvent(deDataSetChange, 0);
}

void TDataSet::Refresh() {
    CheckBrowseMode();
    // A cursor that someone moved (CursorPosChanged) stays where it was put; otherwise it
    // is first brought to the active record.
    if (currentRecord_ >= 0) UpdateCursorPos();
    InternalRefresh();
    Resync(TResyncModes{});
}

// ---- editing ----

void TDataSet::CheckOperation(void (TDataSet::*op)(), const TDataSetErrorEvent& handler) {
    for (;;) {
        try {
            (this->*op)();
            return;
        } catch (EDatabaseError& e) {
            TDataAction action = daFail;
            if (handler) handler(this, e, action);
            if (action == daFail) throw;
            if (action == daAbort) Abort();
        }
    }
}

void TDataSet::Edit() {
    if (state_ == dsEdit || state_ == dsInsert) return;
    if (recordCount_ == 0) {
        Insert();
        return;
    }
    CheckBrowseMode();
    if (!GetCanModify()) DatabaseError("Cannot modify a read-only dataset");
    Do(BeforeEdit);
    UpdateCursorPos();
    CheckOperation(&TDataSet::InternalEdit, OnEditError);
    GetCalcFields(activeRecord_);
    SetState(dsEdit);
    DataEvent(deRecordChange, 0);
    Do(AfterEdit);
}

void TDataSet::BeginInsertAppend() {
    CheckBrowseMode();
    if (!GetCanModify()) DatabaseError("Cannot modify a read-only dataset");
    Do(BeforeInsert);
    Do(BeforeScroll);
}

void TDataSet::EndInsertAppend() {
    SetState(dsInsert);
    try {
        DoOnNewRecord();
    } catch (...) {
        UpdateCursorPos();
        SetState(dsBrowse);
        Resync(TResyncModes{});
        throw;
    }
    modified_ = false;
    DataEvent(deDataSetChange, 0);
    Do(AfterInsert);
    Do(AfterScroll);
}

void TDataSet::DoOnNewRecord() { Do(OnNewRecord); }

void TDataSet::InitRecord(TRecordBuffer buffer) {
    InternalInitRecord(buffer);
    int slot = -1;
    for (size_t i = 0; i < slots_.size(); ++i)
        if (slots_[i]->Data == buffer) slot = int(i);
    if (slot >= 0) slots_[size_t(slot)]->Calc.assign(size_t(calcFieldCount_), Variant{});
    SetBookmarkFlag(buffer, bfInserted);
}

void TDataSet::Insert() {
    BeginInsertAppend();
    TBookmark old = recordCount_ > 0 ? GetBookmarkData(ActiveBuffer()) : TBookmark{};
    TBookmarkFlag oldFlag = recordCount_ > 0 ? GetBookmarkFlag(ActiveBuffer()) : bfBOF;
    UpdateCursorPos();
    // The new record takes the active position; the records below move down one buffer.
    MoveBuffer(bufferCount_, activeRecord_);
    if (currentRecord_ >= bufferCount_) currentRecord_ = -1;
    TRecordBuffer b = ActiveBuffer();
    if (recordCount_ == 0) activeRecord_ = 0, b = slots_[0]->Data;
    InitRecord(b);
    if (recordCount_ == 0) {
        SetBookmarkFlag(b, bfBOF);
    } else {
        SetBookmarkData(b, old);
        SetBookmarkFlag(b, oldFlag == bfCurrent ? bfInserted : oldFlag);
    }
    if (recordCount_ < bufferCount_) ++recordCount_;
    InternalInsert();
    EndInsertAppend();
}

void TDataSet::Append() {
    BeginInsertAppend();
    ClearBuffers();
    InternalLast();
    TRecordBuffer b = slots_[0]->Data;
    InitRecord(b);
    SetBookmarkFlag(b, bfEOF);
    recordCount_ = 1;
    activeRecord_ = 0;
    currentRecord_ = 0;
    bof_ = false;
    eof_ = false;
    activeRecord_ += GetPriorRecords();
    InternalInsert();
    EndInsertAppend();
}

void TDataSet::UpdateRecord() {
    if (state_ != dsEdit && state_ != dsInsert && state_ != dsSetKey)
        DatabaseError("Dataset not in edit or insert mode");
    DataEvent(deUpdateRecord, 0);
}

void TDataSet::CheckRequiredFields() {
    for (TField* f : fields_.List())
        if (f->GetRequired() && !f->GetReadOnly() && f->GetFieldKind() == fkData && f->IsNull()) {
            f->FocusControl();
            DatabaseError("Field '" + f->GetDisplayName() + "' must have a value");
        }
}

void TDataSet::Post() {
    UpdateRecord();
    if (state_ == dsEdit || state_ == dsInsert) {
        DataEvent(deCheckBrowseMode, 0);
        Do(BeforePost);
        if (state_ == dsEdit) UpdateCursorPos();
        CheckOperation(&TDataSet::InternalPost, OnPostError);
        FreeFieldBuffers();
        SetState(dsBrowse);
        Resync(TResyncModes{});
        Do(AfterPost);
    } else if (state_ == dsSetKey) {
        SetState(dsBrowse);
    }
}

void TDataSet::Cancel() {
    if (state_ == dsEdit || state_ == dsInsert) {
        DataEvent(deCheckBrowseMode, 0);
        Do(BeforeCancel);
        bool wasEdit = state_ == dsEdit;
        if (wasEdit) UpdateCursorPos();
        InternalCancel();  // also for an insert: the cursor drops its new record
        FreeFieldBuffers();
        if (!wasEdit) {
            // The inserted buffer leaves the window; the cursor stands on the record it was
            // inserted before (or at an end).
            CursorPosChanged();
            TRecordBuffer b = ActiveBuffer();
            TBookmarkFlag flag = GetBookmarkFlag(b);
            if (flag == bfEOF) InternalLast();
            else if (flag == bfBOF) InternalFirst();
            else InternalSetToRecord(b);
        }
        SetState(dsBrowse);
        Resync(TResyncModes{});
        Do(AfterCancel);
    } else if (state_ == dsSetKey) {
        InternalCancel();  // a key buffer goes back to what it held before
        SetState(dsBrowse);
    }
}

void TDataSet::Delete() {
    CheckActive();
    if (state_ == dsInsert || state_ == dsSetKey) {
        Cancel();
        return;
    }
    if (recordCount_ == 0) DatabaseError("Cannot perform this operation on an empty dataset");
    DataEvent(deCheckBrowseMode, 0);
    Do(BeforeDelete);
    Do(BeforeScroll);
    UpdateCursorPos();
    CheckOperation(&TDataSet::InternalDelete, OnDeleteError);
    FreeFieldBuffers();
    SetState(dsBrowse);
    Resync(TResyncModes{});
    Do(AfterDelete);
    Do(AfterScroll);
}

void TDataSet::CheckBrowseMode() {
    CheckActive();
    DataEvent(deCheckBrowseMode, 0);
    switch (state_) {
        case dsEdit:
        case dsInsert:
            UpdateRecord();
            if (modified_) Post();
            else Cancel();
            break;
        case dsSetKey: Post(); break;
        default: break;
    }
}

// ---- calculated fields ----

void TDataSet::GetCalcFields(int slot) {
    if (calcFieldCount_ == 0 || slot < 0) return;
    TDataSetState old = SetTempState(dsCalcFields);
    TRecordBuffer oldBuf = calcBuffer_;
    int oldSlot = calcSlot_;
    calcBuffer_ = slots_[size_t(slot)]->Data;
    calcSlot_ = slot;
    try {
        CalculateFields(slot);
    } catch (...) {
        calcBuffer_ = oldBuf;
        calcSlot_ = oldSlot;
        RestoreState(old);
        throw;
    }
    calcBuffer_ = oldBuf;
    calcSlot_ = oldSlot;
    RestoreState(old);
}

void TDataSet::CalculateFields(int slot) {
    auto& calc = slots_[size_t(slot)]->Calc;
    calc.assign(size_t(calcFieldCount_), Variant{});
    for (TField* f : fields_.List()) {
        if (f->GetFieldKind() != fkLookup) continue;
        TDataSet* lds = f->GetLookupDataSet();
        if (!lds || !lds->GetActive()) continue;
        std::vector<Variant> keys;
        bool anyNull = false;
        for (const std::string& n : SplitFieldNames(f->GetKeyFields())) {
            Variant v = FieldByName(n)->GetValue();
            anyNull = anyNull || VarIsNull(v);
            keys.push_back(v);
        }
        if (anyNull || keys.empty()) continue;
        calc[size_t(f->CalcIndex())] = lds->Lookup(f->GetLookupKeyFields(), keys, f->GetLookupResultField());
    }
    Do(OnCalcFields);
}

// ---- bookmarks ----

TBookmark TDataSet::GetBookmark() {
    if (state_ == dsInactive || recordCount_ == 0) return {};
    TRecordBuffer b = ActiveBuffer();
    if (GetBookmarkFlag(b) != bfCurrent) return {};
    return GetBookmarkData(b);
}

void TDataSet::GotoBookmark(const TBookmark& bookmark) {
    if (bookmark.empty()) return;
    CheckBrowseMode();
    Do(BeforeScroll);
    InternalGotoBookmark(bookmark);
    Resync(TResyncModes{rmExact, rmCenter});
    Do(AfterScroll);
}

bool TDataSet::BookmarkValid(const TBookmark&) { return false; }
int TDataSet::CompareBookmarks(const TBookmark& a, const TBookmark& b) {
    if (a.empty() && b.empty()) return 0;
    if (a.empty()) return -1;
    if (b.empty()) return 1;
    int c = std::memcmp(a.data(), b.data(), std::min(a.size(), b.size()));
    if (c == 0) c = int(a.size()) - int(b.size());
    return c < 0 ? -1 : c > 0 ? 1 : 0;
}

// ---- searching ----

// Walks the cursor from the first record, reading each into a scratch buffer under the filter
// state, until matches answers true. The cursor stays on the match; the buffered window is
// not touched (the caller resyncs or puts the cursor back).
bool TDataSet::FindRecordWhere(const std::function<bool()>& matches) {
    TRecordBuffer scratch = AllocRecordBuffer();
    TDataSetState old = SetTempState(dsFilter);
    TRecordBuffer oldFilter = filterBuffer_;
    filterBuffer_ = scratch;
    bool found = false;
    try {
        CursorPosChanged();
        InternalFirst();
        while (GetRecord(scratch, gmNext, true) == grOK) {
            if (matches()) {
                found = true;
                break;
            }
        }
    } catch (...) {
        filterBuffer_ = oldFilter;
        RestoreState(old);
        FreeRecordBuffer(scratch);
        throw;
    }
    filterBuffer_ = oldFilter;
    RestoreState(old);
    FreeRecordBuffer(scratch);
    return found;
}

namespace {

bool MatchValue(TField* f, const Variant& want, TLocateOptions options) {
    Variant have = f->GetValue();
    if (VarIsNull(want) || VarIsNull(have)) return VarIsNull(want) && VarIsNull(have);
    bool ci = options.Contains(loCaseInsensitive);
    if (f->GetDataType() == ftString || f->IsBlob() || std::holds_alternative<std::string>(want)) {
        std::string a = f->GetAsString(), b = VarToStr(want);
        if (options.Contains(loPartialKey)) a = a.substr(0, std::min(a.size(), b.size()));
        return ci ? SameText(a, b) : a == b;
    }
    return VarEquals(have, f->Normalize(want), ci);
}
}  // namespace

bool TDataSet::Locate(const std::string& keyFields, const std::vector<Variant>& keyValues,
                      TLocateOptions options) {
    CheckBrowseMode();
    std::vector<TField*> fields;
    for (const std::string& n : SplitFieldNames(keyFields)) fields.push_back(FieldByName(n));
    if (fields.size() != keyValues.size()) DatabaseError("Wrong number of key values");
    UpdateCursorPos();
    bool ok = FindRecordWhere([&] {
        for (size_t i = 0; i < fields.size(); ++i)
            if (!MatchValue(fields[i], keyValues[i], options)) return false;
        return true;
    });
    found_ = ok;
    if (ok) {
        Do(BeforeScroll);
        Resync(TResyncModes{rmExact, rmCenter});
        Do(AfterScroll);
    } else {
        // Nothing matched: the dataset stays on its record.
        CursorPosChanged();
        UpdateCursorPos();
    }
    return ok;
}

Variant TDataSet::Lookup(const std::string& keyFields, const std::vector<Variant>& keyValues,
                         const std::string& resultFields) {
    CheckActive();
    if (state_ == dsEdit || state_ == dsInsert) CheckBrowseMode();
    std::vector<TField*> fields;
    for (const std::string& n : SplitFieldNames(keyFields)) fields.push_back(FieldByName(n));
    if (fields.size() != keyValues.size()) DatabaseError("Wrong number of key values");
    TField* result = FieldByName(resultFields);
    Variant value;
    UpdateCursorPos();
    bool ok = FindRecordWhere([&] {
        for (size_t i = 0; i < fields.size(); ++i)
            if (!MatchValue(fields[i], keyValues[i], TLocateOptions{})) return false;
        value = result->GetValue();
        return true;
    });
    (void)ok;
    // The cursor goes back to the dataset's record; the window is unchanged.
    CursorPosChanged();
    UpdateCursorPos();
    return value;
}

// ---- field access ----

Variant TDataSet::GetFieldValues(std::string_view names) const { return FieldByName(names)->GetValue(); }
void TDataSet::SetFieldValues(std::string_view names, const Variant& v) { FieldByName(names)->SetValue(v); }

void TDataSet::GetFieldNames(std::vector<std::string>& out) {
    out.clear();
    if (fields_.Count() > 0) {
        for (TField* f : fields_.List()) out.push_back(f->GetFieldName());
    } else {
        if (fieldDefs_.Count() == 0 && state_ == dsInactive) InternalInitFieldDefs();
        for (int i = 0; i < fieldDefs_.Count(); ++i) out.push_back(fieldDefs_[i].Name);
    }
}

bool TDataSet::GetFieldData(TField* field, Variant& value) {
    if (Variant* v = CalcSlotValue(field)) {
        value = *v;
        return !VarIsNull(value);
    }
    value = Variant{};
    return false;
}

void TDataSet::SetFieldData(TField* field, const Variant& value) {
    if (Variant* v = CalcSlotValue(field)) *v = value;
}

void TDataSet::GetBlobData(TField* field, std::string& out) {
    Variant v;
    GetFieldData(field, v);
    out = VarToStr(v);
}

void TDataSet::SetBlobData(TField* field, const std::string& data) { field->SetValue(data); }

std::unique_ptr<TBlobStream> TDataSet::CreateBlobStream(TField* field, TBlobStreamMode mode) {
    return std::make_unique<TBlobStream>(field, mode);
}

// ---- filters ----

void TDataSet::SetFilter(const std::string& text) {
    filterText_ = text;
    if (state_ != dsInactive && filtered_) {
        FilterChanged();
        First();
    }
}

void TDataSet::SetFiltered(bool v) {
    if (filtered_ == v) return;
    filtered_ = v;
    if (state_ != dsInactive) {
        FilterChanged();
        First();
    }
}

void TDataSet::SetFilterOptions(TFilterOptions v) {
    filterOptions_ = v;
    if (state_ != dsInactive && filtered_) {
        FilterChanged();
        First();
    }
}

// ---- blob stream ----

TBlobStream::TBlobStream(TField* field, TBlobStreamMode mode) : field_(field), mode_(mode) {
    TDataSet* ds = field->GetDataSet();
    if (mode != bmRead) {
        if (field->GetReadOnly()) DatabaseError("Field '" + field->GetDisplayName() + "' cannot be modified");
        if (ds->GetState() != dsEdit && ds->GetState() != dsInsert)
            DatabaseError("Dataset not in edit or insert mode");
    }
    if (mode != bmWrite) data_ = field->GetAsString();
    else modified_ = true;
}

TBlobStream::~TBlobStream() {
    if (modified_ && mode_ != bmRead) {
        try {
            field_->SetAsString(data_);
        } catch (...) {
        }
    }
}

int TBlobStream::Read(void* buffer, int count) {
    if (count <= 0 || pos_ >= int64_t(data_.size())) return 0;
    int n = int(std::min<int64_t>(count, int64_t(data_.size()) - pos_));
    std::memcpy(buffer, data_.data() + pos_, size_t(n));
    pos_ += n;
    return n;
}

int TBlobStream::Write(const void* buffer, int count) {
    if (mode_ == bmRead) throw EStreamError("Stream write error");
    if (count <= 0) return 0;
    if (size_t(pos_) + size_t(count) > data_.size()) data_.resize(size_t(pos_) + size_t(count));
    std::memcpy(data_.data() + pos_, buffer, size_t(count));
    pos_ += count;
    modified_ = true;
    return count;
}

}  // namespace vcl
