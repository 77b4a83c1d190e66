#pragma once
// One control's (or component's) connection to a data source. The events of the source become
// the overridable notifications below; a link that is not active receives only the state
// change.

#include <QString>

#include "store/DataSetTypes.h"

namespace tindrel {

class TDataSet;
class TDataSource;

class TDataLink {
 public:
  TDataLink();
  virtual ~TDataLink();
  TDataLink(const TDataLink&) = delete;
  TDataLink& operator=(const TDataLink&) = delete;

  TDataSource* DataSource() const { return dataSource_; }
  void SetDataSource(TDataSource* source);  // "DataSource cannot be changed" once fixed
  bool DataSourceFixed() const { return dataSourceFixed_; }
  void SetDataSourceFixed(bool on) { dataSourceFixed_ = on; }
  TDataSet* DataSet() const;

  bool Active() const { return active_; }
  bool Editing() const { return editing_; }
  bool ReadOnly() const { return readOnly_; }
  void SetReadOnly(bool on);
  int BufferCount() const { return 1; }
  bool VisualControl() const { return visualControl_; }
  void SetVisualControl(bool on) { visualControl_ = on; }

  // Starts an edit through the data source's automatic edit; returns whether the link is editing.
  bool Edit();

 protected:
  virtual void NotifyActiveChange() {}
  virtual void NotifyEditingChange() {}
  virtual void NotifyDataSetChange() { NotifyRecordChange(nullptr); }
  virtual void NotifyScroll(int shift) { NotifyDataSetChange(); }
  virtual void NotifyRecordChange(TField* field) {}
  virtual void NotifyLayoutChange() { NotifyDataSetChange(); }
  virtual void NotifyUpdateData() {}
  virtual void NotifyCheckBrowseMode() {}
  // Clear `field` when this link's control took the focus.
  virtual void NotifyFocusControl(TField*& field) {}
  // The dataset can no longer be modified, in whatever state it is: stop offering changes.
  virtual void NotifyReadOnlyChange() {}

 private:
  friend class TDataSource;
  void DataEvent(DataEventKind kind, DataEventArgs args);
  void UpdateState();
  void SourceDestroyed();

  TDataSource* dataSource_ = nullptr;
  bool dataSourceFixed_ = false;
  bool active_ = false;
  bool editing_ = false;
  bool readOnly_ = false;
  bool visualControl_ = false;
  bool updating_ = false;  // inside its own NotifyUpdateData
};

}  // namespace tindrel
