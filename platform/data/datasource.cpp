// Data sources and data links: how a dataset's events reach controls.
#include <algorithm>

#include "data/db.h"

namespace vcl {

DBV_PUBLISHED(TDataSource) {
    b.Bool("AutoEdit", &TDataSource::GetAutoEdit, &TDataSource::SetAutoEdit, true);
    b.Component("DataSet", &TDataSource::GetDataSet, &TDataSource::SetDataSet);
    b.Bool("Enabled", &TDataSource::GetEnabled, &TDataSource::SetEnabled, true);
    b.Event("OnStateChange", "TNotifyEvent", &TDataSource::OnStateChange);
    b.Event("OnUpdateData", "TNotifyEvent", &TDataSource::OnUpdateData);
}
DBV_IMPLEMENT_CLASS(TDataLink)
DBV_IMPLEMENT_CLASS(TFieldDataLink)

// ---- TDataSource ----

TDataSource::TDataSource(TComponent* AOwner) : TComponent(AOwner) {}
TDataSource::~TDataSource() = default;

void TDataSource::BeforeDestruction() {
    if (!IsDestroying()) Destroying();
    // The links forget this source: their DataSource reads null afterwards.
    while (!links_.empty()) links_.back()->SetDataSource(nullptr);
    SetDataSet(nullptr);
    inherited::BeforeDestruction();
}

void TDataSource::Notification(TComponent* AComponent, TOperation Operation) {
    inherited::Notification(AComponent, Operation);
    if (Operation == opRemove && AComponent == dataSet_) SetDataSet(nullptr);
}

void TDataSource::SetDataSet(TDataSet* ds) {
    if (ds == dataSet_) return;
    if (dataSet_) {
        dataSet_->RemoveDataSource(this);
        dataSet_->RemoveFreeNotification(this);
    }
    dataSet_ = ds;
    if (ds) {
        ds->FreeNotification(this);
        ds->AddDataSource(this);
    }
    UpdateState();
}

void TDataSource::SetEnabled(bool v) {
    if (enabled_ == v) return;
    enabled_ = v;
    UpdateState();
}

void TDataSource::UpdateState() {
    TDataSetState s = enabled_ && dataSet_ ? dataSet_->GetState() : dsInactive;
    // Links see the state change first (active, editing), then the source's own event.
    bool changed = s != state_;
    TDataSetState prior = state_;
    state_ = s;
    for (TDataLink* l : std::vector<TDataLink*>(links_)) l->UpdateState();
    if (!changed || IsDestroying()) return;
    if (OnStateChange) OnStateChange(this);
    // Data appears when the source becomes active.
    if (prior == dsInactive && OnDataChange) OnDataChange(this, nullptr);
}

void TDataSource::Edit() {
    if (autoEdit_ && state_ == dsBrowse && dataSet_) dataSet_->Edit();
}

bool TDataSource::IsLinkedTo(TDataSet* ds) const { return dataSet_ == ds; }

void TDataSource::AddLink(TDataLink* link) {
    links_.push_back(link);
    if (dataSet_) dataSet_->UpdateBufferCount();
    link->UpdateState();
}

void TDataSource::RemoveLink(TDataLink* link) {
    links_.erase(std::remove(links_.begin(), links_.end(), link), links_.end());
    link->UpdateState();
    if (dataSet_) dataSet_->UpdateBufferCount();
}

int TDataSource::MaxBufferCount() const {
    int n = 1;
    for (TDataLink* l : links_) n = std::max(n, l->GetBufferCount());
    return n;
}

void TDataSource::DataEvent(TDataEvent event, intptr_t info) {
    if (event == deUpdateState) {
        UpdateState();
        return;
    }
    if (state_ == dsInactive) return;
    // A link that detaches itself (or is freed) in its handler does not make the next one
    // miss the event.
    for (size_t i = 0; i < links_.size();) {
        TDataLink* l = links_[i];
        l->DataEvent(event, info);
        if (i < links_.size() && links_[i] == l) ++i;
    }
    switch (event) {
        case deFieldChange:
            if (OnDataChange) OnDataChange(this, reinterpret_cast<TField*>(info));
            break;
        case deRecordChange:
        case deDataSetChange:
        case deDataSetScroll:
        case deLayoutChange:
            if (OnDataChange) OnDataChange(this, nullptr);
            break;
        case deUpdateRecord:
            if (OnUpdateData) OnUpdateData(this);
            break;
        default: break;
    }
}

// ---- TDataLink ----

TDataLink::TDataLink() = default;
TDataLink::~TDataLink() = default;

void TDataLink::BeforeDestruction() {
    SetDataSource(nullptr);
    inherited::BeforeDestruction();
}

void TDataLink::SetDataSource(TDataSource* ds) {
    if (ds == dataSource_) return;
    if (dataSource_) {
        TDataSource* old = dataSource_;
        dataSource_ = nullptr;
        old->RemoveLink(this);
    }
    dataSource_ = ds;
    if (ds) ds->AddLink(this);
    else UpdateState();
}

TDataSet* TDataLink::GetDataSet() const { return dataSource_ ? dataSource_->GetDataSet() : nullptr; }

void TDataLink::UpdateState() {
    bool active = dataSource_ && dataSource_->GetState() != dsInactive;
    SetActive(active);
    SetEditing(active && (dataSource_->GetState() == dsEdit || dataSource_->GetState() == dsInsert ||
                          dataSource_->GetState() == dsSetKey) && !readOnly_);
}

void TDataLink::SetActive(bool v) {
    if (active_ == v) return;
    active_ = v;
    if (v) {
        // The window starts where the dataset's buffers start, with the active record inside.
        TDataSet* ds = GetDataSet();
        firstRecord_ = 0;
        if (ds && ds->GetActiveRecord() >= bufferCount_) firstRecord_ = ds->GetActiveRecord() - bufferCount_ + 1;
    } else {
        firstRecord_ = 0;
    }
    ActiveChanged();
}

void TDataLink::SetEditing(bool v) {
    if (editing_ == v) return;
    editing_ = v;
    EditingChanged();
}

void TDataLink::SetReadOnly(bool v) {
    if (readOnly_ == v) return;
    readOnly_ = v;
    UpdateState();
}

int TDataLink::GetActiveRecord() const {
    TDataSet* ds = GetDataSet();
    if (!active_ || !ds || dataSource_->GetState() == dsSetKey) return 0;
    return ds->GetActiveRecord() - firstRecord_;
}

void TDataLink::SetActiveRecord(int v) {
    TDataSet* ds = GetDataSet();
    if (!active_ || !ds || dataSource_->GetState() == dsSetKey) return;
    ds->SetActiveRecordInternal(v + firstRecord_);
}

void TDataLink::SetBufferCount(int v) {
    if (v < 1) v = 1;
    if (v == bufferCount_) return;
    bufferCount_ = v;
    if (TDataSet* ds = GetDataSet()) {
        ds->UpdateBufferCount();
        // Keep the dataset's active record inside this link's window.
        int active = ds->GetActiveRecord();
        if (active < firstRecord_) firstRecord_ = active;
        if (active > firstRecord_ + bufferCount_ - 1) firstRecord_ = active - bufferCount_ + 1;
        if (firstRecord_ > 0 && firstRecord_ + bufferCount_ > ds->BufferedRecordCount())
            firstRecord_ = std::max(0, std::min(active, ds->BufferedRecordCount() - bufferCount_));
    }
}

int TDataLink::GetRecordCount() const {
    TDataSet* ds = GetDataSet();
    if (!active_ || !ds) return 0;
    int n = ds->BufferedRecordCount();
    if (ds->GetState() == dsInsert && n == 0) n = 1;
    n -= firstRecord_;
    return std::clamp(n, 0, bufferCount_);
}

bool TDataLink::Edit() {
    if (!readOnly_ && dataSource_) dataSource_->Edit();
    return editing_;
}

void TDataLink::UpdateRecord() {
    updating_ = true;
    try {
        UpdateData();
    } catch (...) {
        updating_ = false;
        throw;
    }
    updating_ = false;
}

int TDataLink::MoveBy(int distance) {
    TDataSet* ds = GetDataSet();
    return ds ? ds->MoveBy(distance) : 0;
}

void TDataLink::DataEvent(TDataEvent event, intptr_t info) {
    switch (event) {
        case deFieldChange:
        case deRecordChange:
            if (!updating_) RecordChanged(reinterpret_cast<TField*>(info));
            break;
        case deDataSetChange:
        case deDataSetScroll:
        case deLayoutChange: {
            int count = 0;
            if (dataSource_->GetState() != dsSetKey) {
                int active = GetDataSet()->GetActiveRecord();
                int first = firstRecord_ + int(info);
                int last = first + bufferCount_ - 1;
                if (active > last) count = active - last;
                else if (active < first) count = active - first;
                firstRecord_ = first + count;
            }
            if (event == deDataSetChange) DataSetChanged();
            else if (event == deDataSetScroll) DataSetScrolled(count);
            else LayoutChanged();
            break;
        }
        case deUpdateRecord: UpdateRecord(); break;
        case deCheckBrowseMode: CheckBrowseMode(); break;
        case deFocusControl: FocusControl(reinterpret_cast<TField**>(info)); break;
        default: break;
    }
}

// ---- TFieldDataLink ----

void TFieldDataLink::SetFieldName(const std::string& v) {
    if (fieldName_ == v) return;
    std::string old = fieldName_;
    fieldName_ = v;
    try {
        UpdateField();
    } catch (...) {
        fieldName_ = old;
        UpdateField();
        throw;
    }
}

void TFieldDataLink::UpdateField() {
    TField* f = nullptr;
    if (GetActive() && !fieldName_.empty()) {
        TDataSet* ds = GetDataSet();
        f = ds->FieldByName(fieldName_);  // an unknown name raises here
    }
    SetField(f);
}

void TFieldDataLink::SetField(TField* f) {
    if (f == field_) return;
    field_ = f;
    EditingChanged();
    RecordChanged(nullptr);
}

bool TFieldDataLink::GetCanModify() const { return !GetReadOnly() && field_ && field_->GetCanModify(); }

bool TFieldDataLink::Edit() {
    if (GetCanModify()) TDataLink::Edit();
    return editing_;
}

void TFieldDataLink::Reset() { RecordChanged(nullptr); }

void TFieldDataLink::ActiveChanged() {
    UpdateField();
    if (OnActiveChange) OnActiveChange(this);
}

void TFieldDataLink::EditingChanged() {
    bool v = TDataLink::GetEditing() && GetCanModify();
    if (editing_ == v) return;
    editing_ = v;
    modified_ = false;
    if (OnEditingChange) OnEditingChange(this);
}

namespace {
TFieldDataLink::TFocusHook& FocusHook() {
    static TFieldDataLink::TFocusHook hook;
    return hook;
}
}  // namespace

void TFieldDataLink::SetFocusHook(TFocusHook hook) { FocusHook() = std::move(hook); }

// The first link whose control takes the focus clears the request, so no other link acts on it.
void TFieldDataLink::FocusControl(TField** field) {
    if (field && *field && *field == field_ && control_ && FocusHook() && FocusHook()(control_)) *field = nullptr;
}

void TFieldDataLink::LayoutChanged() { UpdateField(); }

void TFieldDataLink::RecordChanged(TField* field) {
    if (field == nullptr || field == field_) {
        if (OnDataChange) OnDataChange(this);
        modified_ = false;
    }
}

void TFieldDataLink::UpdateData() {
    if (modified_) {
        if (field_ && OnUpdateData) OnUpdateData(this);
        modified_ = false;
    }
}

}  // namespace vcl
