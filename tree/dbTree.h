#pragma once
// The data-bound tree view: every record of the bound dataset is one node (TTreeIDNode, which
// remembers the record's ID), the shape comes from the parent field, and the selection and the
// dataset's current record follow each other.
//
// The tree is never edited into shape from notifications alone: Reload reads all records into a
// fresh snapshot (TTVRecordList), compares it with the previous one and then does nothing,
// renames nodes, or rebuilds every node while carrying over expansion, top item and selection.
// Work that cannot be done safely at once is kept in StateFlags (Dirty, ReloadAfterPost...) and
// done at the next safe moment or by the reload timer.
//
// Placing it on a window: construct a TDBTreeView, call ApplyMainWindowSettings() (or set the
// properties one by one), then SetDataSource(). It builds when the dataset opens.

#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "tree/ECDataLink.h"
#include "tree/TreeVwEx.h"
#include "tree/dbTvRecordList.h"

namespace tindrel {

class TDataSet;
class TDataSource;
class TField;
class TCustomDBTreeView;
class TNodeIDIndex;

// A node that carries the ID of the record it shows.
class TTreeIDNode : public TTreeNodeEx {
 public:
  static constexpr int IDNodeType = TTreeNode::UserType + 2;
  TTreeIDNode() : TTreeNodeEx(IDNodeType) {}
  ~TTreeIDNode() override;
  // Copies the node's data, and RecordID when the source is a TTreeIDNode (cleared otherwise).
  void Assign(const TTreeNode& source);
  TTreeNode* clone() const override;

  QString RecordID;

 private:
  friend class TNodeIDIndex;
  TNodeIDIndex* index_ = nullptr;  // the view's index this node is registered in
};

// The node's RecordID; empty for none or for a node that is not a TTreeIDNode.
QString NodeID(const TTreeNode* node);

enum TDBTreeOption : std::uint16_t {
  dtAllowDelete = 1u << 0,
  dtAllowInsert = 1u << 1,
  dtAutoDragMove = 1u << 2,
  dtAutoExpand = 1u << 3,
  dtAutoShowRoot = 1u << 4,
  dtCancelOnExit = 1u << 5,
  dtConfirmDelete = 1u << 6,
  dtFocusOnEdit = 1u << 7,
  dtInsertAsChild = 1u << 8,
  dtMouseMoveSelect = 1u << 9,
  dtRebuildFocusedOnly = 1u << 10,
  dtRootItemReadOnly = 1u << 11,
  dtSynchronizeDataSet = 1u << 12,
};
using TDBTreeOptions = std::uint16_t;
inline constexpr TDBTreeOptions kDefaultDBTreeOptions = 6271;
// The main window's set, and the same with mouse-move selection.
inline constexpr TDBTreeOptions kMainWindowTreeOptions = 4223;
inline constexpr TDBTreeOptions kMainWindowMouseMoveOptions = 4735;

// Bits of StateFlags.
enum TDBTreeState : std::uint16_t {
  sfLoading = 1u << 0,
  sfEditPending = 1u << 1,
  sfEditAfterReload = 1u << 2,
  sfInsertPending = 1u << 3,
  sfTextRefreshPending = 1u << 4,
  sfSkipDataSetChange = 1u << 5,
  sfReloadAfterPost = 1u << 6,
  sfDirty = 1u << 7,
  sfResyncNeeded = 1u << 8,
};

inline constexpr int kReloadIntervalMs = 500;

// The tree view's own link: after the hooking link's part, everything goes to the view.
class TTreeViewLink : public TECDataLink {
 public:
  explicit TTreeViewLink(TCustomDBTreeView& view) : view_(view) {}

 protected:
  void NotifyActiveChange() override;
  void NotifyDataSetChange() override;
  void NotifyScroll(int shift) override;
  void NotifyRecordChange(TField* field) override;
  void NotifyEditingChange() override;
  void TableChanged() override;
  void BeforePost(TDataSet& dataSet) override;
  void AfterPost(TDataSet& dataSet) override;
  void AfterCancel(TDataSet& dataSet) override;
  void BeforeDelete(TDataSet& dataSet) override;
  void AfterDelete(TDataSet& dataSet) override;
  void BeforeEdit(TDataSet& dataSet) override;
  void BeforeInsert(TDataSet& dataSet) override;

 private:
  TCustomDBTreeView& view_;
};

class TCustomDBTreeView : public TCustomTreeViewEx {
  Q_OBJECT
 public:
  using TDBTVGetNextIDEvent = std::function<QString(TCustomDBTreeView& sender, TDataSet& dataSet)>;
  using TDBNotifyEvent = std::function<void(TCustomDBTreeView& sender)>;

  explicit TCustomDBTreeView(QWidget* parent = nullptr);
  ~TCustomDBTreeView() override;

  // Properties.
  TDataSource* DataSource() const;
  void SetDataSource(TDataSource* source);
  TDataSet* DataSet() const;
  const QString& TableIDField() const { return tableIDField_; }
  void SetTableIDField(const QString& name);
  const QString& TableParentField() const { return tableParentField_; }
  void SetTableParentField(const QString& name);
  const QString& TableTextField() const { return tableTextField_; }
  void SetTableTextField(const QString& name);
  const QString& RootID() const { return rootID_; }
  void SetRootID(const QString& id);
  TDBTreeOptions Options() const { return options_; }
  void SetOptions(TDBTreeOptions options);
  bool HasOption(TDBTreeOption o) const { return (options_ & o) != 0; }

  TDBNotifyEvent OnClosedLoop;
  TDBNotifyEvent OnRootNotFound;
  TDBTVGetNextIDEvent OnGetNextID;

  // State.
  std::uint16_t StateFlags() const { return stateFlags_; }
  bool HasState(TDBTreeState s) const { return (stateFlags_ & s) != 0; }
  const QString& PendingDeleteID() const { return pendingDeleteID_; }
  TTVRecordList* Snapshot() const { return snapshot_.get(); }
  bool ReloadTimerRunning() const;
  TTreeViewLink& Link() const { return *link_; }

  // Commands of the main window.
  void RebuildTree();
  void FullExpand() { expandAll(); }
  void FullCollapse() { collapseAll(); }

  // Virtual operations.
  bool CanDeleteNode(TTreeNode* node) override;
  void StopTimers() override;
  bool CanDragNode(TTreeNode* node) override;
  QString GetDeleteConfirmText(TTreeNode* node) override;
  bool DeleteNode(TTreeNode* node) override;
  void InsertNode(bool asChild) override;
  void DeleteSelected() override;
  bool MoveNode(TTreeNode* node, TTreeNode* target, TNodeAttachMode mode) override;
  virtual QString GenerateNextID();
  virtual void Reload();

  bool CanReload() const;

  // Synchronisation.
  void MoveToSelectedRecord();
  bool LocateRecordByID(const QString& id);
  void SelectCurrentRecordNode();
  TTreeNode* FindNodeByID(const QString& id) const;
  TTreeNode* FindCurrentRecordNode() const;
  QString SelectedID() const;
  void UpdateShowRoot();

  // The main window's settings: text sort, indent 19, the fields ID, Parent and Text, the
  // options 4223, RootID empty.
  void ApplyMainWindowSettings();

 protected:
  TTreeNode* CreateNode() override;
  bool CanEditLabel(TTreeNode* node) override;
  bool BeginLabelEdit(TTreeNode* node) override;
  void LabelEditEnded() override;
  int MaxLabelLength() const override;
  void EditedText(TTreeNode* node, QString& text) override;
  void SelectionChanged(TTreeNode* current) override;
  void KeyPrologue() override;
  void TimerFired(int timerId) override;
  void DeleteWalkEnded() override;
  void focusInEvent(QFocusEvent* event) override;

 private:
  friend class TTreeViewLink;

  void SetState(TDBTreeState s) { stateFlags_ |= s; }
  void ClearState(TDBTreeState s) { stateFlags_ &= static_cast<std::uint16_t>(~s); }

  TField& IDField() const;
  TField* ParentField() const;
  TField& TextField() const;

  // Building.
  std::unique_ptr<TTVRecordList> ReadSnapshot();
  // Whether every node with children is open (`open`) or none is, read from the view's own set of
  // open rows: then a rebuild need not look at the nodes' states one by one.
  bool OpenStateIsUniform(bool open);
  void FullRebuild(TTVRecordList& fresh);
  void BuildNodes(TTVRecordList& s);
  // Makes the subtree below `parent` (a position in ID order), or below the children of
  // [first, end) in parent order when `parent` is -1.
  void AddChildNodes(TTVRecordList& s, TSnapshotShape& shape, TTreeNode* parentNode, int parent,
                     QList<TTreeNode*>& topLevel, int first = 0, int end = 0);
  TTreeNode* MakeNode(const TTvRecordInfo& info);
  void UpdateTexts(TTVRecordList& fresh);
  TTreeNode* AddRecordNode(TTreeNode* node, bool asChild);
  bool IsSomeonesParent(const QString& id, bool filtered);
  void ReloadSoon();
  void ReportDuplicateID(const QString& id, const char* action) const;
  bool IsDuplicateID(const QString& id) const;
  bool WouldCycle(const QString& movedID, const QString& newParentID);
  bool MoveNodeInDataSet(TTreeNode* node, TTreeNode* target, TNodeAttachMode mode);
  void DeleteWithoutAsking(TTreeNode* node);
  // Takes away the node of a new record that was cancelled, selecting its neighbour.
  void RemoveUnpostedNode(TTreeNode* node);

  // Reactions routed by the link.
  void ActiveChanged(bool active);
  void DataSetChanged();
  void SyncOrReload();
  void RecordChanged(TField* field);
  void EditingChanged();
  void ScheduleReload();
  void ReloadIfDirty();
  void BeforePostReaction();
  void AfterPostReaction();
  void AfterCancelReaction();
  void BeforeDeleteReaction();
  void AfterDeleteReaction();
  bool FocusedOnlyDefers() const;

  TDBTreeOptions options_ = 0;
  std::unique_ptr<TTreeViewLink> link_;
  QString tableIDField_, tableParentField_, tableTextField_, rootID_;
  QString pendingDeleteID_;
  QString insertedID_;  // the ID the last tree insert gave its new record
  std::uint16_t stateFlags_ = 0;
  std::unique_ptr<TTVRecordList> snapshot_;
  std::unique_ptr<TNodeIDIndex> idIndex_;
  std::unique_ptr<PlatformTimer> reloadTimer_;
  bool savedOnEditedInUse_ = false;
  bool reloading_ = false;
  bool reloadQueued_ = false;
  bool otherFieldsChanged_ = false;  // a field other than ID, Parent, Text changed in this edit
  bool editPostFailed_ = false;
};

// The class the main window places: the data-bound view with its published face.
class TDBTreeView : public TCustomDBTreeView {
  Q_OBJECT
 public:
  explicit TDBTreeView(QWidget* parent = nullptr) : TCustomDBTreeView(parent) {}
};

}  // namespace tindrel
