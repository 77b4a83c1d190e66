#include "store/TDataSource.h"

#include <algorithm>

#include "store/FirstFailure.h"
#include "store/TDataLink.h"
#include "store/TDataSet.h"

namespace tindrel {

TDataSource::TDataSource(const QString& name) : name_(name) {}

TDataSource::~TDataSource() {
  const std::vector<TDataLink*> links = links_;
  links_.clear();
  for (TDataLink* link : links) link->SourceDestroyed();
  if (dataSet_) dataSet_->RemoveDataSource(this);
}

void TDataSource::SetDataSet(TDataSet* dataSet) {
  if (dataSet == dataSet_) return;
  if (dataSet_) dataSet_->RemoveDataSource(this);
  dataSet_ = dataSet;
  if (dataSet_) dataSet_->AddDataSource(this);
  UpdateState();
}

void TDataSource::SetEnabled(bool on) {
  if (on == enabled_) return;
  enabled_ = on;
  UpdateState();
}

void TDataSource::Edit() {
  if (autoEdit_ && state_ == DataSetState::Browse && dataSet_) dataSet_->Edit();
}

void TDataSource::AddDataLink(TDataLink* link) {
  if (std::find(links_.begin(), links_.end(), link) == links_.end()) links_.push_back(link);
}

void TDataSource::RemoveDataLink(TDataLink* link) {
  links_.erase(std::remove(links_.begin(), links_.end(), link), links_.end());
}

void TDataSource::NotifyLinks(DataEventKind kind, DataEventArgs args) {
  // Non-visual links first, then visual ones; within each pass the last attached first. A change
  // of state reaches every link even when one of them fails on it (a control whose field is
  // missing): the others would otherwise keep the old state. The first failure goes on after.
  const bool toEveryLink = kind == DataEventKind::UpdateState;
  FirstFailure failure;
  const std::vector<TDataLink*> snapshot = links_;
  for (int pass = 0; pass < 2; ++pass) {
    for (auto it = snapshot.rbegin(); it != snapshot.rend(); ++it) {
      TDataLink* link = *it;
      if (link->VisualControl() != (pass == 1)) continue;
      if (std::find(links_.begin(), links_.end(), link) == links_.end()) continue;  // detached meanwhile
      if (toEveryLink) failure.Run([&] { link->DataEvent(kind, args); });
      else link->DataEvent(kind, args);
    }
  }
  failure.Raise();
}

void TDataSource::UpdateState() {
  DataSetState state = (dataSet_ && enabled_) ? dataSet_->State() : DataSetState::Inactive;
  if (state == state_) return;
  const DataSetState old = state_;
  state_ = state;
  FirstFailure failure;
  failure.Run([this] { NotifyLinks(DataEventKind::UpdateState, {}); });
  TNotifyEvent onState = OnStateChange;
  if (onState) onState(*this);
  if (old == DataSetState::Inactive) {
    TDataChangeEvent onData = OnDataChange;
    if (onData) onData(*this, nullptr);
  }
  failure.Raise();
}

void TDataSource::DataEvent(DataEventKind kind, DataEventArgs args) {
  if (kind == DataEventKind::UpdateState) {
    UpdateState();
    return;
  }
  if (state_ == DataSetState::Inactive) return;
  NotifyLinks(kind, args);
  switch (kind) {
    case DataEventKind::FieldChange:
    case DataEventKind::RecordChange:
    case DataEventKind::DataSetChange:
    case DataEventKind::DataSetScroll:
    case DataEventKind::LayoutChange: {
      TDataChangeEvent onData = OnDataChange;
      if (onData) onData(*this, kind == DataEventKind::FieldChange ? args.field : nullptr);
      break;
    }
    case DataEventKind::UpdateRecord: {
      TNotifyEvent onUpdate = OnUpdateData;
      if (onUpdate) onUpdate(*this);
      break;
    }
    default:
      break;
  }
}

}  // namespace tindrel
