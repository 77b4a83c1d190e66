#pragma once
// TECDataLink: a data link that also takes over ten of the dataset's before/after hooks (calling
// the handler it found in each slot) and, for engine tables, registers for the engine's
// table-changed callback, so changes made to the table other than through this dataset reach it.
//
// OwnChangePending is set from a BeforePost or BeforeDelete of the bound dataset until the
// matching After hook, AfterCancel or the next table-changed callback: the callback that follows
// our own post or delete is its echo and is swallowed.

#include <functional>
#include <memory>

#include "store/TDataLink.h"
#include "store/TDataSet.h"

namespace tindrel {

class TTable;

class TECDataLink : public TDataLink {
 public:
  TECDataLink();
  ~TECDataLink() override;

  bool OwnChangePending() const { return ownChangePending_; }
  // Whether the table-changed callback is registered (engine tables only).
  bool HasEngineRegistration() const { return registration_ != nullptr; }
  // The dataset whose hooks are held, or none.
  TDataSet* HookedDataSet() const { return hooked_; }

  // Asks the engine for changes made by others; any table-changed callback arrives from inside
  // this call. Only for an engine table in browse state.
  void PollTableChanges();

  // The hooked events, in slot order.
  enum HookSlot {
    hsBeforePost, hsAfterPost, hsAfterCancel, hsBeforeDelete, hsAfterDelete,
    hsBeforeEdit, hsBeforeInsert, hsAfterEdit, hsAfterInsert, hsBeforeCancel, kHookCount
  };

 protected:
  void NotifyActiveChange() override;

  virtual void TableChanged() {}
  virtual void BeforePost(TDataSet& dataSet);
  virtual void AfterPost(TDataSet& dataSet);
  virtual void AfterCancel(TDataSet& dataSet);
  virtual void BeforeDelete(TDataSet& dataSet);
  virtual void AfterDelete(TDataSet& dataSet);
  virtual void BeforeEdit(TDataSet& dataSet);
  virtual void BeforeInsert(TDataSet& dataSet);
  virtual void AfterEdit(TDataSet& dataSet);
  virtual void AfterInsert(TDataSet& dataSet);
  virtual void BeforeCancel(TDataSet& dataSet);

  // Calls the handler that was in the slot before the link took it over.
  void CallSaved(HookSlot slot, TDataSet& dataSet);

 private:
  class EngineRegistration;

  void TakeOverHooks();
  void GiveBackHooks();
  void Dispatch(HookSlot slot, TDataSet& dataSet);
  void EngineTableChanged();

  std::unique_ptr<EngineRegistration> registration_;
  TDataSet* hooked_ = nullptr;
  TDataSet::TDataSetNotifyEvent saved_[kHookCount];
  bool ownChangePending_ = false;
};

}  // namespace tindrel
