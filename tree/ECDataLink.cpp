#include "tree/ECDataLink.h"

#include "store/TTable.h"

namespace tindrel {

namespace {

using HookMember = TDataSet::TDataSetNotifyEvent TDataSet::*;

constexpr HookMember kHookMembers[TECDataLink::kHookCount] = {
    &TDataSet::BeforePost, &TDataSet::AfterPost, &TDataSet::AfterCancel, &TDataSet::BeforeDelete,
    &TDataSet::AfterDelete, &TDataSet::BeforeEdit, &TDataSet::BeforeInsert, &TDataSet::AfterEdit,
    &TDataSet::AfterInsert, &TDataSet::BeforeCancel,
};

TTable* EngineTableOf(TDataSet* dataSet) {
  if (!dataSet || !dataSet->IsEngineDataSet()) return nullptr;
  return dynamic_cast<TTable*>(dataSet);
}

}  // namespace

// The table-changed callback on one table's cursor, removed again when this goes.
class TECDataLink::EngineRegistration {
 public:
  EngineRegistration(TTable& table, std::function<void()> callback) : table_(table) {
    table_.RegisterTableChanged(std::move(callback));
  }
  ~EngineRegistration() { table_.RegisterTableChanged({}); }

 private:
  TTable& table_;
};

TECDataLink::TECDataLink() = default;

TECDataLink::~TECDataLink() {
  registration_.reset();
  GiveBackHooks();
}

void TECDataLink::NotifyActiveChange() {
  registration_.reset();
  if (Active()) {
    ownChangePending_ = false;
    if (TTable* table = EngineTableOf(DataSet()))
      registration_ = std::make_unique<EngineRegistration>(*table, [this] { EngineTableChanged(); });
    TakeOverHooks();
  } else {
    GiveBackHooks();
  }
}

void TECDataLink::TakeOverHooks() {
  TDataSet* dataSet = DataSet();
  if (!dataSet) return;
  if (hooked_) GiveBackHooks();
  for (int i = 0; i < kHookCount; ++i) {
    saved_[i] = dataSet->*kHookMembers[i];
    const auto slot = static_cast<HookSlot>(i);
    dataSet->*kHookMembers[i] = [this, slot](TDataSet& ds) { Dispatch(slot, ds); };
  }
  hooked_ = dataSet;
}

void TECDataLink::GiveBackHooks() {
  if (hooked_ && !hooked_->Destroying())
    for (int i = 0; i < kHookCount; ++i) hooked_->*kHookMembers[i] = saved_[i];
  for (auto& saved : saved_) saved = nullptr;
  hooked_ = nullptr;
}

void TECDataLink::CallSaved(HookSlot slot, TDataSet& dataSet) {
  // A copy: the saved handler may replace hooks while it runs.
  const TDataSet::TDataSetNotifyEvent handler = saved_[slot];
  if (handler) handler(dataSet);
}

void TECDataLink::Dispatch(HookSlot slot, TDataSet& dataSet) {
  switch (slot) {
    case hsBeforePost: BeforePost(dataSet); break;
    case hsAfterPost: AfterPost(dataSet); break;
    case hsAfterCancel: AfterCancel(dataSet); break;
    case hsBeforeDelete: BeforeDelete(dataSet); break;
    case hsAfterDelete: AfterDelete(dataSet); break;
    case hsBeforeEdit: BeforeEdit(dataSet); break;
    case hsBeforeInsert: BeforeInsert(dataSet); break;
    case hsAfterEdit: AfterEdit(dataSet); break;
    case hsAfterInsert: AfterInsert(dataSet); break;
    case hsBeforeCancel: BeforeCancel(dataSet); break;
    case kHookCount: break;
  }
}

void TECDataLink::BeforePost(TDataSet& dataSet) {
  CallSaved(hsBeforePost, dataSet);
  ownChangePending_ = true;
}

void TECDataLink::AfterPost(TDataSet& dataSet) {
  PollTableChanges();
  ownChangePending_ = false;
  CallSaved(hsAfterPost, dataSet);
}

void TECDataLink::AfterCancel(TDataSet& dataSet) {
  CallSaved(hsAfterCancel, dataSet);
  ownChangePending_ = false;
}

void TECDataLink::BeforeDelete(TDataSet& dataSet) {
  CallSaved(hsBeforeDelete, dataSet);
  ownChangePending_ = true;
}

void TECDataLink::AfterDelete(TDataSet& dataSet) {
  PollTableChanges();
  ownChangePending_ = false;
  CallSaved(hsAfterDelete, dataSet);
}

void TECDataLink::BeforeEdit(TDataSet& dataSet) {
  PollTableChanges();
  CallSaved(hsBeforeEdit, dataSet);
}

void TECDataLink::BeforeInsert(TDataSet& dataSet) {
  PollTableChanges();
  CallSaved(hsBeforeInsert, dataSet);
}

void TECDataLink::AfterEdit(TDataSet& dataSet) { CallSaved(hsAfterEdit, dataSet); }
void TECDataLink::AfterInsert(TDataSet& dataSet) { CallSaved(hsAfterInsert, dataSet); }
void TECDataLink::BeforeCancel(TDataSet& dataSet) { CallSaved(hsBeforeCancel, dataSet); }

void TECDataLink::PollTableChanges() {
  TTable* table = EngineTableOf(DataSet());
  if (!table || !registration_ || table->State() != DataSetState::Browse) return;
  table->CheckRefresh();
}

void TECDataLink::EngineTableChanged() {
  if (ownChangePending_) {
    ownChangePending_ = false;  // the echo of a post or delete made through this dataset
    return;
  }
  TableChanged();
}

}  // namespace tindrel
