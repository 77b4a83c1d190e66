#pragma once
// Stands between a dataset and its data links: keeps its own copy of the dataset's state
// (Inactive when disabled), hands each event to its links (non-visual links first, then visual
// ones, each pass from the last attached to the first) and calls its own hooks after them.

#include <functional>
#include <vector>
#include <QString>

#include "store/DataSetTypes.h"

namespace tindrel {

class TDataSet;
class TDataLink;

class TDataSource {
 public:
  using TNotifyEvent = std::function<void(TDataSource& sender)>;
  using TDataChangeEvent = std::function<void(TDataSource& sender, TField* field)>;

  explicit TDataSource(const QString& name = QStringLiteral("DataSource"));
  ~TDataSource();
  TDataSource(const TDataSource&) = delete;
  TDataSource& operator=(const TDataSource&) = delete;

  const QString& Name() const { return name_; }
  TDataSet* DataSet() const { return dataSet_; }
  void SetDataSet(TDataSet* dataSet);
  bool AutoEdit() const { return autoEdit_; }
  void SetAutoEdit(bool on) { autoEdit_ = on; }
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool on);
  DataSetState State() const { return state_; }
  // The automatic edit: puts a browsing dataset into Editing when AutoEdit is on.
  void Edit();

  const std::vector<TDataLink*>& DataLinks() const { return links_; }

  TNotifyEvent OnStateChange;
  TDataChangeEvent OnDataChange;
  TNotifyEvent OnUpdateData;

 private:
  friend class TDataSet;
  friend class TDataLink;

  void AddDataLink(TDataLink* link);
  void RemoveDataLink(TDataLink* link);
  void DataEvent(DataEventKind kind, DataEventArgs args);
  void NotifyLinks(DataEventKind kind, DataEventArgs args);
  void UpdateState();

  QString name_;
  TDataSet* dataSet_ = nullptr;
  bool autoEdit_ = true;
  bool enabled_ = true;
  DataSetState state_ = DataSetState::Inactive;
  std::vector<TDataLink*> links_;
};

}  // namespace tindrel
