#include "store/TDataLink.h"

#include "store/DataSetError.h"
#include "store/TDataSet.h"
#include "store/TDataSource.h"

namespace tindrel {

TDataLink::TDataLink() = default;

TDataLink::~TDataLink() {
  if (dataSource_) dataSource_->RemoveDataLink(this);
}

TDataSet* TDataLink::DataSet() const { return dataSource_ ? dataSource_->DataSet() : nullptr; }

void TDataLink::SetDataSource(TDataSource* source) {
  if (source == dataSource_) return;
  if (dataSourceFixed_) throw DataSetError(QString(), QStringLiteral("DataSource cannot be changed"));
  if (dataSource_) dataSource_->RemoveDataLink(this);
  dataSource_ = source;
  if (dataSource_) dataSource_->AddDataLink(this);
  UpdateState();
}

void TDataLink::SourceDestroyed() {
  dataSource_ = nullptr;
  UpdateState();
}

void TDataLink::SetReadOnly(bool on) {
  if (on == readOnly_) return;
  readOnly_ = on;
  UpdateState();
}

bool TDataLink::Edit() {
  if (!readOnly_ && dataSource_) dataSource_->Edit();
  return editing_;
}

void TDataLink::UpdateState() {
  const DataSetState state = dataSource_ ? dataSource_->State() : DataSetState::Inactive;
  const bool active = state != DataSetState::Inactive;
  if (active != active_) {
    active_ = active;
    NotifyActiveChange();
  }
  const bool editing = IsEditState(state) && !readOnly_;
  if (editing != editing_) {
    editing_ = editing;
    NotifyEditingChange();
  }
}

void TDataLink::DataEvent(DataEventKind kind, DataEventArgs args) {
  if (kind == DataEventKind::UpdateState) {
    UpdateState();
    return;
  }
  if (!active_) return;
  switch (kind) {
    case DataEventKind::FieldChange:
    case DataEventKind::RecordChange:
      if (!updating_) NotifyRecordChange(args.field);
      break;
    // With a window of one record the link's own window always holds the current record.
    case DataEventKind::DataSetChange: NotifyDataSetChange(); break;
    case DataEventKind::DataSetScroll: NotifyScroll(args.shift); break;
    case DataEventKind::LayoutChange: NotifyLayoutChange(); break;
    case DataEventKind::UpdateRecord: {
      updating_ = true;
      try {
        NotifyUpdateData();
      } catch (...) {
        updating_ = false;
        throw;
      }
      updating_ = false;
      break;
    }
    case DataEventKind::CheckBrowseMode: NotifyCheckBrowseMode(); break;
    case DataEventKind::FocusControl:
      if (args.focusField) NotifyFocusControl(*args.focusField);
      break;
    case DataEventKind::ReadOnlyChange: NotifyReadOnlyChange(); break;
    case DataEventKind::UpdateState: break;
  }
}

}  // namespace tindrel
