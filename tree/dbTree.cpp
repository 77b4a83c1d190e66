#include "tree/dbTree.h"

#include <QFocusEvent>
#include <QMetaObject>
#include <QSet>
#include <QSignalBlocker>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <optional>
#include <vector>

#include "platform/ErrorBox.h"
#include "platform/Errors.h"
#include "platform/Platform.h"
#include "store/TDataSet.h"
#include "store/TDataSource.h"
#include "store/TField.h"
#include "store/TTable.h"
#include "store/engine/Table.h"
#include "tree/HeapAhead.h"
#include "tree/TNodeIDIndex.h"
#include "tree/TreeRowPatch.h"
#include "tree/TreeStrings.h"

namespace tindrel {

namespace {

// From this many records on (some 25 MB of snapshot and nodes), a reload has a second thread make
// the heap's growth resident ahead of it.
constexpr std::uint32_t kHeapAheadRecords = 50000;

// Runs `body`, then `final` also when `body` throws (the exception then goes on).
template <typename Body, typename Final>
void WithFinally(Body&& body, Final&& final) {
  try {
    body();
  } catch (...) {
    final();
    throw;
  }
  final();
}

// The standard integer conversion of an ID text: leading blanks and a sign allowed, "$" or "0x"
// introduce hexadecimal. `complete` tells whether the whole text converted; otherwise the value
// is that of the digits before the first character that failed. 64-bit, saturating.
qint64 ConvertID(const QString& text, bool& complete) {
  int i = 0;
  const int n = text.size();
  while (i < n && text[i] == u' ') ++i;
  bool negative = false;
  if (i < n && (text[i] == u'-' || text[i] == u'+')) negative = text[i++] == u'-';
  int base = 10;
  if (i < n && text[i] == u'$') {
    base = 16;
    ++i;
  } else if (i + 1 < n && text[i] == u'0' && (text[i + 1] == u'x' || text[i + 1] == u'X')) {
    base = 16;
    i += 2;
  }
  constexpr qint64 kLimit = std::numeric_limits<qint64>::max() / 32;
  qint64 value = 0;
  int digits = 0;
  for (; i < n; ++i) {
    const int d = base == 16 ? QChar(text[i]).toLatin1() : text[i].digitValue();
    int digit = -1;
    if (base == 10) digit = (text[i] >= u'0' && text[i] <= u'9') ? text[i].unicode() - u'0' : -1;
    else if (d >= '0' && d <= '9') digit = d - '0';
    else if (d >= 'a' && d <= 'f') digit = d - 'a' + 10;
    else if (d >= 'A' && d <= 'F') digit = d - 'A' + 10;
    if (digit < 0) break;
    if (value < kLimit) value = value * base + digit;
    ++digits;
  }
  complete = digits > 0 && i == n;
  return negative ? -value : value;
}

// True when the node and every descendant that has children are expanded.
bool IsSubtreeExpanded(TTreeNode* node) {
  std::vector<TTreeNode*> pending{node};
  while (!pending.empty()) {
    TTreeNode* n = pending.back();
    pending.pop_back();
    if (n->childCount() == 0) continue;
    if (!n->isExpanded()) return false;
    for (int i = 0; i < n->childCount(); ++i) pending.push_back(n->child(i));
  }
  return true;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// TTreeIDNode

void TTreeIDNode::Assign(const TTreeNode& source) {
  for (int role : {int(Qt::DisplayRole), int(Qt::DecorationRole), int(Qt::ToolTipRole), int(Qt::UserRole)})
    setData(0, role, source.data(0, role));
  setFlags(source.flags());
  TNodeIDIndex* index = index_;
  if (index) index->Forget(this);
  index_ = nullptr;
  RecordID = source.type() == IDNodeType ? static_cast<const TTreeIDNode&>(source).RecordID : QString();
  if (index) index->Register(this);
}

TTreeIDNode::~TTreeIDNode() {
  if (index_) index_->Forget(this);
}

TTreeNode* TTreeIDNode::clone() const {
  auto* copy = new TTreeIDNode();
  copy->Assign(*this);
  for (int i = 0; i < childCount(); ++i) copy->addChild(child(i)->clone());
  return copy;
}

QString NodeID(const TTreeNode* node) {
  if (!node || node->type() != TTreeIDNode::IDNodeType) return {};
  return static_cast<const TTreeIDNode*>(node)->RecordID;
}

// ---------------------------------------------------------------------------------------------
// TTreeViewLink: the hooking link's part first, then the view's reaction.

void TTreeViewLink::NotifyActiveChange() {
  TECDataLink::NotifyActiveChange();
  view_.ActiveChanged(Active());
}

void TTreeViewLink::NotifyDataSetChange() {
  // Without the engine's change callback any data change may be a change of the table. The one
  // that a reload releases when it resumes notifications is its own echo, not a change.
  if (!HasEngineRegistration() && !view_.HasState(sfLoading)) view_.SetState(sfDirty);
  view_.DataSetChanged();
}

void TTreeViewLink::NotifyScroll(int) { view_.SyncOrReload(); }
void TTreeViewLink::NotifyRecordChange(TField* field) { view_.RecordChanged(field); }
void TTreeViewLink::NotifyEditingChange() { view_.EditingChanged(); }
void TTreeViewLink::TableChanged() { view_.ScheduleReload(); }

void TTreeViewLink::BeforePost(TDataSet& dataSet) {
  TECDataLink::BeforePost(dataSet);
  view_.BeforePostReaction();
}

void TTreeViewLink::AfterPost(TDataSet& dataSet) {
  TECDataLink::AfterPost(dataSet);
  view_.AfterPostReaction();
}

void TTreeViewLink::AfterCancel(TDataSet& dataSet) {
  TECDataLink::AfterCancel(dataSet);
  view_.AfterCancelReaction();
}

void TTreeViewLink::BeforeDelete(TDataSet& dataSet) {
  TECDataLink::BeforeDelete(dataSet);
  view_.BeforeDeleteReaction();
}

void TTreeViewLink::AfterDelete(TDataSet& dataSet) {
  TECDataLink::AfterDelete(dataSet);
  view_.AfterDeleteReaction();
}

void TTreeViewLink::BeforeEdit(TDataSet& dataSet) {
  TECDataLink::BeforeEdit(dataSet);
  view_.ReloadIfDirty();
}

void TTreeViewLink::BeforeInsert(TDataSet& dataSet) {
  TECDataLink::BeforeInsert(dataSet);
  view_.ReloadIfDirty();
}

// ---------------------------------------------------------------------------------------------
// Construction and properties

TCustomDBTreeView::TCustomDBTreeView(QWidget* parent) : TCustomTreeViewEx(parent) {
  link_ = std::make_unique<TTreeViewLink>(*this);
  link_->SetVisualControl(true);
  idIndex_ = std::make_unique<TNodeIDIndex>(*NodeModel());
  reloadTimer_ = Platform::Instance().Clock().CreateTimer(
      [this] { RunGuarded([&] { TimerFired(kReloadTimerId); }); });
  SetOptions(kDefaultDBTreeOptions);
}

TCustomDBTreeView::~TCustomDBTreeView() {
  // The link goes first, so that no notification reaches a half-destroyed view.
  link_.reset();
  if (reloadTimer_) reloadTimer_->Stop();
  snapshot_.reset();
  // The nodes go while the index they are registered in still exists.
  QSignalBlocker quiet(this);
  ForgetRightClickNode();
  clear();
}

TDataSource* TCustomDBTreeView::DataSource() const { return link_ ? link_->DataSource() : nullptr; }

void TCustomDBTreeView::SetDataSource(TDataSource* source) {
  if (source == DataSource()) return;
  link_->SetDataSource(source);
}

TDataSet* TCustomDBTreeView::DataSet() const { return link_ ? link_->DataSet() : nullptr; }

void TCustomDBTreeView::SetTableIDField(const QString& name) {
  if (name == tableIDField_) return;
  tableIDField_ = name;
  Reload();
}

void TCustomDBTreeView::SetTableParentField(const QString& name) {
  if (name == tableParentField_) return;
  tableParentField_ = name;
  Reload();
}

void TCustomDBTreeView::SetTableTextField(const QString& name) {
  if (name == tableTextField_) return;
  tableTextField_ = name;
  Reload();
}

void TCustomDBTreeView::SetRootID(const QString& id) {
  if (id == rootID_) return;
  rootID_ = id;
  if (link_->Active()) Reload();
}

void TCustomDBTreeView::SetOptions(TDBTreeOptions options) {
  if ((options & dtSynchronizeDataSet) && !(options_ & dtSynchronizeDataSet)) MoveToSelectedRecord();
  TTreeViewExOptions ex = 0;
  if (options & dtAllowDelete) ex |= txAllowDelete;
  if (options & dtAllowInsert) ex |= txAllowInsert;
  if (options & dtAutoDragMove) ex |= txAutoDragMove;
  if (options & dtConfirmDelete) ex |= txConfirmDelete;
  if (options & dtInsertAsChild) ex |= txInsertAsChild;
  if (options & dtMouseMoveSelect) ex |= txMouseMoveSelect;
  if (options & dtRootItemReadOnly) ex |= txRootItemReadOnly;
  if (rootID_.isEmpty()) ex |= txTopLevelDrop;
  SetExOptions(ex);
  options_ = options;
}

void TCustomDBTreeView::ApplyMainWindowSettings() {
  SetSortType(stBoth);
  SetIndent(19);
  SetRootID(QString());
  SetOptions(kMainWindowTreeOptions);
  SetTableIDField(QStringLiteral("ID"));
  SetTableParentField(QStringLiteral("Parent"));
  SetTableTextField(QStringLiteral("Text"));
}

bool TCustomDBTreeView::ReloadTimerRunning() const { return reloadTimer_ && reloadTimer_->IsActive(); }

TField& TCustomDBTreeView::IDField() const { return DataSet()->FieldNamed(tableIDField_); }
TField& TCustomDBTreeView::TextField() const { return DataSet()->FieldNamed(tableTextField_); }
TField* TCustomDBTreeView::ParentField() const {
  return tableParentField_.isEmpty() ? nullptr : &DataSet()->FieldNamed(tableParentField_);
}

TTreeNode* TCustomDBTreeView::CreateNode() {
  auto* node = new TTreeIDNode();
  node->setFlags(node->flags() | Qt::ItemIsEditable);
  return node;
}

// ---------------------------------------------------------------------------------------------
// Node helpers

TTreeNode* TCustomDBTreeView::FindNodeByID(const QString& id) const { return idIndex_->Find(id); }

TTreeNode* TCustomDBTreeView::FindCurrentRecordNode() const {
  TDataSet* ds = DataSet();
  if (!ds || !ds->Active() || tableIDField_.isEmpty()) return nullptr;
  TField* id = ds->FindFieldNamed(tableIDField_);
  return id ? FindNodeByID(id->AsString()) : nullptr;
}

QString TCustomDBTreeView::SelectedID() const { return Selected() ? NodeID(Selected()) : rootID_; }

void TCustomDBTreeView::UpdateShowRoot() {
  if (!HasOption(dtAutoShowRoot)) return;
  if (topLevelItemCount() == 0) SetShowRoot(false);
  else SetShowRoot(!IsOnlyRoot(topLevelItem(0)));
}

bool TCustomDBTreeView::IsDuplicateID(const QString& id) const {
  return snapshot_ && snapshot_->CountOfID(id) > 1;
}

void TCustomDBTreeView::ReportDuplicateID(const QString& id, const char* action) const {
  throw EInvalidOperation(QStringLiteral("The note cannot be %1 here: more than one record has the ID '%2'")
                              .arg(QString::fromUtf8(action), id)
                              .toStdString());
}

bool TCustomDBTreeView::FocusedOnlyDefers() const { return HasOption(dtRebuildFocusedOnly) && !ControlHasFocus(); }

// ---------------------------------------------------------------------------------------------
// Reloading

bool TCustomDBTreeView::CanReload() const {
  TDataSet* ds = DataSet();
  return !tableIDField_.isEmpty() && !tableTextField_.isEmpty() && ds && !HasState(sfLoading) && busyCount_ <= 0 &&
         ds->State() == DataSetState::Browse && DeleteWalkDepth() == 0 && !reloading_;
}

void TCustomDBTreeView::RebuildTree() {
  SetState(sfDirty);
  Reload();
}

void TCustomDBTreeView::Reload() {
  ForgetRightClickNode();
  StopTimers();
  pendingDeleteID_.clear();
  if (!CanReload()) return;
  ClearState(sfDirty);
  TDataSet* ds = DataSet();
  // A large tree's snapshot and nodes take memory the heap may not have yet (all of it, the
  // first time).
  std::optional<HeapAhead> ahead;
  if (const engine::Table* table = ds->IsEngineDataSet() ? ds->EngineTableBeneath() : nullptr;
      table && table->RecordCount() >= kHeapAheadRecords)
    ahead.emplace();
  reloading_ = true;
  BeginNodeUpdate();
  WithFinally(
      [&] {
        ds->SuspendNotifications();
        SetState(sfLoading);
        if (HasState(sfResyncNeeded)) {
          if (auto* table = dynamic_cast<TTable*>(ds); table && ds->IsEngineDataSet()) {
            table->SyncEngineCursor();
            if (table->ForceReread() == engine::ResultCode::Ok) table->RefetchWindow(false, false);
          }
          ClearState(sfResyncNeeded);
        }
        std::unique_ptr<TTVRecordList> fresh = ReadSnapshot();
        WithFinally(
            [&] {
              switch (fresh->CompareSnapshots(snapshot_.get())) {
                case scSame:
                  if (topLevelItemCount() > 0 && NodeID(topLevelItem(0)) != rootID_) FullRebuild(*fresh);
                  break;
                case scTextsChanged: UpdateTexts(*fresh); break;
                case scCountChanged:
                case scStructureChanged: FullRebuild(*fresh); break;
              }
            },
            [&] { snapshot_ = std::move(fresh); });
      },
      [&] {
        SetState(sfLoading);
        WithFinally([&] { ds->ResumeNotifications(); },
                    [&] {
                      ClearState(sfLoading);
                      EndNodeUpdate();
                      reloading_ = false;
                    });
        if (TTreeNode* sel = Selected()) {
          MakeVisible(sel);
          if (HasState(sfEditAfterReload)) StartLabelEdit(sel);
        }
        ClearState(sfEditAfterReload);
      });
}

std::unique_ptr<TTVRecordList> TCustomDBTreeView::ReadSnapshot() {
  TDataSet& ds = *DataSet();
  auto list = std::make_unique<TTVRecordList>();
  TField& id = IDField();
  TField* parent = ParentField();
  TField& text = TextField();
  TBookmark bookmark = ds.TakeBookmark();
  auto returnToStart = [&] {
    // The record may be gone (changed by someone else): then stay where the walk left off.
    if (bookmark && ds.IsBookmarkLive(bookmark)) ds.ReturnToBookmark(bookmark);
    ds.ReleaseBookmark(bookmark);
  };
  const engine::Table* table = ds.IsEngineDataSet() ? ds.EngineTableBeneath() : nullptr;
  if (table && ds.State() == DataSetState::Browse) {
    // The records are read as stored, without making each current in turn; the table's count
    // of records is room enough under any filter (counting those that pass would be one more
    // pass of the filter's test over every record).
    WithFinally(
        [&] {
          list->Reserve(static_cast<int>(table->RecordCount()));
          ds.VisitStoredRecords([&](const engine::Record& record) {
            list->AddRecord(ds.StoredText(record, id), parent ? ds.StoredText(record, *parent) : QString(),
                            ds.StoredText(record, text));
          });
        },
        [&] {
          // Where a walk through the records would have ended: on the last, past the end (with
          // none, the dataset is empty already unless its record has gone meanwhile).
          if (!bookmark || !ds.IsBookmarkLive(bookmark)) {
            if (list->Count() > 0) ds.Last();
            else if (!ds.IsEmpty()) ds.First();
          }
          returnToStart();
        });
    return list;
  }
  WithFinally(
      [&] {
        list->Reserve(static_cast<int>(ds.RecordCount()));
        ds.First();
        while (!ds.Eof()) {
          list->AddRecord(id.AsString(), parent ? parent->AsString() : QString(), text.AsString());
          ds.Next();
        }
      },
      returnToStart);
  return list;
}

TTreeNode* TCustomDBTreeView::MakeNode(const TTvRecordInfo& info) {
  auto* node = new TTreeIDNode();
  node->setFlags(node->flags() | Qt::ItemIsEditable);
  node->setText(0, info.Text);
  node->RecordID = info.RecordID;
  idIndex_->Register(node);
  return node;
}

void TCustomDBTreeView::FullRebuild(TTVRecordList& fresh) {
  const bool autoExpand = HasOption(dtAutoExpand);
  const TTreeNode* top = TopItem();
  const QString topID = top ? NodeID(top) : rootID_;
  const QString selID = SelectedID();
  // A node of the new tree opens as the node of the same ID did (one that had children; of
  // several such, the last in depth-first order), any other as the auto-expand option says. Only
  // the IDs whose state differs from the option are kept: usually none, and then the whole tree
  // is opened, or left closed, in one layout.
  QSet<QString> otherwise;
  if (snapshot_ && !OpenStateIsUniform(autoExpand)) {
    for (TTreeNodeIterator it(invisibleRootItem()); *it; ++it) {
      if ((*it)->childCount() == 0) continue;
      if ((*it)->isExpanded() != autoExpand) otherwise.insert(NodeID(*it));
      else if (!otherwise.isEmpty()) otherwise.remove(NodeID(*it));
    }
  }
  {
    QSignalBlocker quiet(this);  // no selection reactions while the nodes are replaced
    ForgetRightClickNode();
    // Every node goes: the index is dropped whole instead of node by node, and the previous
    // snapshot before the new nodes are made (the reload keeps the new one).
    idIndex_ = std::make_unique<TNodeIDIndex>(*NodeModel());
    snapshot_.reset();
    clear();
    BuildNodes(fresh);
  }
  ClearState(sfLoading);
  if (topLevelItemCount() == 0) return;
  if (otherwise.isEmpty()) {
    if (autoExpand) expandAll();
  } else {
    // The view lays its rows out later, once: each node's state is only noted now.
    for (TTreeNodeIterator it(invisibleRootItem()); *it; ++it)
      if ((*it)->childCount() > 0 && autoExpand != otherwise.contains(NodeID(*it))) (*it)->setExpanded(true);
  }
  if (TTreeNode* node = FindNodeByID(topID)) SetTopItem(node);
  if (HasOption(dtSynchronizeDataSet)) {
    if (TTreeNode* current = FindCurrentRecordNode()) {
      Select(current);
    } else if (!Selected() && TopItem()) {
      Select(TopItem());
      if (Selected()) MoveToSelectedRecord();
    }
  } else {
    TTreeNode* node = selID.isEmpty() ? nullptr : FindNodeByID(selID);
    if (node) Select(node);
    else if (TopItem()) Select(TopItem());
  }
}

bool TCustomDBTreeView::OpenStateIsUniform(bool open) {
  const qsizetype openParents = OpenParentCount(this);
  if (openParents < 0) return false;
  if (!open) return openParents == 0;
  qsizetype parents = 0;
  for (TTreeNodeIterator it(invisibleRootItem()); *it; ++it)
    if ((*it)->childCount() > 0) ++parents;
  return parents == openParents;
}

void TCustomDBTreeView::BuildNodes(TTVRecordList& s) {
  QList<TTreeNode*> topLevel;
  idIndex_->Reserve(s.Count());
  if (tableParentField_.isEmpty()) {
    for (int i = 0; i < s.Count(); ++i) topLevel.append(MakeNode(s.At(i)));
  } else {
    TSnapshotShape shape = s.Shape();
    if (!rootID_.isEmpty()) {
      int at = 0;
      if (s.FindByID(rootID_, at)) {
        TTreeNode* root = MakeNode(s.At(at));
        topLevel.append(root);
        AddChildNodes(s, shape, root, at, topLevel);
        if (HasOption(dtAutoShowRoot)) SetShowRoot(false);
      } else if (s.Count() > 0) {
        if (OnRootNotFound) OnRootNotFound(*this);
        int first = 0;
        if (s.FindFirstChild(rootID_, first)) {
          if (HasOption(dtAutoShowRoot)) {
            const TTvRecordInfo* second = s.ChildAt(first + 1);
            SetShowRoot(second && second->ParentID == rootID_);
          }
          int end = first;
          while (s.ChildAt(end) && s.ChildAt(end)->ParentID == rootID_) ++end;
          AddChildNodes(s, shape, nullptr, -1, topLevel, first, end);
        }
      }
    } else {
      int count = 0;
      for (int i = 0; i < s.Count(); ++i) {
        if (!shape.Records[static_cast<size_t>(i)].NoParent) continue;
        ++count;
        TTreeNode* node = MakeNode(s.At(i));
        topLevel.append(node);
        AddChildNodes(s, shape, node, i, topLevel);
      }
      if (HasOption(dtAutoShowRoot)) SetShowRoot(count > 1);
    }
  }
  // Children come in text order already (the parent order); with text sorting the top level is
  // put in that order too, so the tree is sorted once, here, and not once per added node.
  if (SortsByText()) {
    // One collation key per node: comparing keys is far cheaper than collating titles pairwise.
    struct Keyed {
      QCollatorSortKey key;
      TTreeNode* node;
    };
    std::vector<Keyed> keyed;
    keyed.reserve(static_cast<size_t>(topLevel.size()));
    for (TTreeNode* node : topLevel) keyed.push_back({NodeTextKey(node->text(0)), node});
    std::stable_sort(keyed.begin(), keyed.end(),
                     [](const Keyed& a, const Keyed& b) { return a.key.compare(b.key) < 0; });
    for (size_t i = 0; i < keyed.size(); ++i) topLevel[static_cast<qsizetype>(i)] = keyed[i].node;
  }
  // The nodes were built detached from the control; handing them over at once costs one insert.
  addTopLevelItems(topLevel);
}

void TCustomDBTreeView::AddChildNodes(TTVRecordList& s, TSnapshotShape& shape, TTreeNode* parentNode, int parent,
                                      QList<TTreeNode*>& topLevel, int first, int end) {
  // An explicit stack instead of recursion (chains can be many thousands deep), and a mark on
  // every ID of the current path: a child whose ID is on the path closes a loop, also when IDs
  // repeat. Each node gets its children in one insert, once they are all made.
  struct Frame {
    TTreeNode* node;
    int id;  // the first position of the node's ID in ID order; -1 above the top level
    int next, end;
    std::vector<TTreeNode*> children;
  };
  std::vector<TSnapshotShape::Record>& of = shape.Records;
  if (parent >= 0) {
    first = of[static_cast<size_t>(parent)].FirstChild;
    end = first + of[static_cast<size_t>(parent)].ChildCount;
  }
  if (first >= end) return;
  std::vector<Frame> stack;
  const int parentID = parent >= 0 ? of[static_cast<size_t>(parent)].FirstOfID : -1;
  if (parentID >= 0) of[static_cast<size_t>(parentID)].OnPath = true;
  stack.push_back({parentNode, parentID, first, end, {}});
  stack.back().children.reserve(static_cast<size_t>(end - first));
  while (!stack.empty()) {
    Frame& frame = stack.back();
    if (frame.next == frame.end) {
      if (frame.id >= 0) of[static_cast<size_t>(frame.id)].OnPath = false;
      if (frame.node) frame.node->insertChildren(0, std::move(frame.children));
      else for (TTreeNode* node : frame.children) topLevel.append(node);
      stack.pop_back();
      continue;
    }
    const TTvRecordInfo& child = *s.ChildAt(frame.next++);
    const TSnapshotShape::Record& at = of[static_cast<size_t>(child.IDOrder)];
    const int id = at.FirstOfID;
    if (of[static_cast<size_t>(id)].OnPath) {
      if (OnClosedLoop) OnClosedLoop(*this);
      continue;
    }
    TTreeNode* node = MakeNode(child);
    frame.children.push_back(node);
    if (at.ChildCount > 0) {
      of[static_cast<size_t>(id)].OnPath = true;
      stack.push_back({node, id, at.FirstChild, at.FirstChild + at.ChildCount, {}});  // `frame` is not used after this
      stack.back().children.reserve(static_cast<size_t>(at.ChildCount));
    }
  }
}

void TCustomDBTreeView::UpdateTexts(TTVRecordList& fresh) {
  TTVRecordList* old = snapshot_.get();
  if (!old) return;
  fresh.SetSortedByID(true);
  old->SetSortedByID(true);
  for (int i = 0; i < fresh.Count() && i < old->Count(); ++i) {
    const TTvRecordInfo& now = fresh.At(i);
    if (now.Text == old->At(i).Text) continue;
    TTreeNode* node = FindNodeByID(now.RecordID);
    if (node && node->text(0) != now.Text) SetNodeText(node, now.Text);
  }
}

void TCustomDBTreeView::ReloadSoon() {
  SetState(sfDirty);
  if (reloadQueued_) return;
  reloadQueued_ = true;
  QMetaObject::invokeMethod(
      this,
      [this] {
        reloadQueued_ = false;
        RunGuarded([&] {
          if (HasState(sfDirty)) Reload();
        });
      },
      Qt::QueuedConnection);
}

// ---------------------------------------------------------------------------------------------
// Synchronisation

void TCustomDBTreeView::MoveToSelectedRecord() {
  TDataSet* ds = DataSet();
  if (!Selected() || !ds || !ds->Active() || tableIDField_.isEmpty()) return;
  const QString id = SelectedID();
  // A node whose record cannot be reached (filtered out, or gone) is stale: the tree must not
  // show it selected while the memo shows another note.
  if (!LocateRecordByID(id) && !id.isEmpty()) ReloadSoon();
}

bool TCustomDBTreeView::LocateRecordByID(const QString& id) {
  TDataSet* ds = DataSet();
  if (!ds || !ds->Active()) return false;
  if (IDField().AsString() == id) return true;
  if (id.isEmpty()) return false;
  SetState(sfSkipDataSetChange);
  bool found = false;
  {
    BusyGuard busy(*this);
    found = ds->LocateByValues(tableIDField_, QStringList{id});
  }
  if (!found) ClearState(sfSkipDataSetChange);
  return found;
}

void TCustomDBTreeView::SelectCurrentRecordNode() {
  TTreeNode* node = FindCurrentRecordNode();
  if (!node) return;
  Select(node);
  MakeVisible(node);
  // Expanding a subtree makes the control lay out every open row again; when the subtree is
  // open already (browsing an expanded tree) there is nothing to do.
  if (HasOption(dtAutoExpand) && node->childCount() > 0 && !IsSubtreeExpanded(node)) {
    BusyGuard busy(*this);
    expandRecursively(indexFromItem(node));
    Select(node);
  }
}

void TCustomDBTreeView::ActiveChanged(bool active) {
  if (active) {
    Reload();
    return;
  }
  StopTimers();
  {
    QSignalBlocker quiet(this);
    ForgetRightClickNode();
    idIndex_ = std::make_unique<TNodeIDIndex>(*NodeModel());  // every node goes
    clear();
  }
  stateFlags_ = 0;
  pendingDeleteID_.clear();
  snapshot_.reset();
}

void TCustomDBTreeView::DataSetChanged() {
  if (HasState(sfSkipDataSetChange) || HasState(sfLoading)) {
    ClearState(sfSkipDataSetChange);
    return;
  }
  SyncOrReload();
}

void TCustomDBTreeView::SyncOrReload() {
  if (busyCount_ > 0 || HasState(sfLoading) || IsEditingLabel() || !pendingDeleteID_.isEmpty()) return;
  if (HasState(sfDirty) && !FocusedOnlyDefers()) Reload();
  else if (HasOption(dtSynchronizeDataSet)) SelectCurrentRecordNode();
}

void TCustomDBTreeView::RecordChanged(TField* field) {
  TDataSet* ds = DataSet();
  if (!field || !ds) return;
  const QString name = field->FieldName().toUpper();
  const bool treeField = name == tableTextField_.toUpper() || name == tableParentField_.toUpper() ||
                         name == tableIDField_.toUpper();
  if (!treeField && IsEditState(ds->State())) otherFieldsChanged_ = true;
  if (busyCount_ > 0 || HasState(sfLoading)) return;
  if (!tableTextField_.isEmpty() && name == tableTextField_.toUpper()) {
    if (TTreeNode* node = FindCurrentRecordNode()) {
      SetState(sfSkipDataSetChange);
      SetNodeText(node, field->AsString());
    }
    return;
  }
  bool structural = (!tableParentField_.isEmpty() && name == tableParentField_.toUpper()) ||
                    (!tableIDField_.isEmpty() && name == tableIDField_.toUpper());
  if (!structural) {
    if (auto* table = dynamic_cast<TTable*>(ds); table && ds->IsTable())
      structural = table->MasterFields().toUpper().contains(name);
    if (!structural && ds->Filtered()) structural = ds->Filter().toUpper().contains(name);
  }
  if (!structural) return;
  if (IsEditState(ds->State())) SetState(sfReloadAfterPost);
  else if (FocusedOnlyDefers()) SetState(sfDirty);
  else Reload();
}

void TCustomDBTreeView::ScheduleReload() {
  SetState(sfDirty);
  SetState(sfResyncNeeded);
  if (ReloadTimerRunning() || FocusedOnlyDefers()) return;
  reloadTimer_->Start(kReloadIntervalMs);
}

void TCustomDBTreeView::ReloadIfDirty() {
  TDataSet* ds = DataSet();
  if (HasState(sfDirty) && busyCount_ == 0 && !HasState(sfLoading) && ds && ds->State() == DataSetState::Browse &&
      pendingDeleteID_.isEmpty() && !FocusedOnlyDefers())
    Reload();
}

void TCustomDBTreeView::AfterPostReaction() {
  if (!HasState(sfReloadAfterPost)) return;
  ClearState(sfReloadAfterPost);
  if (FocusedOnlyDefers()) SetState(sfDirty);
  else Reload();
}

void TCustomDBTreeView::AfterDeleteReaction() {
  if (busyCount_ > 0) return;
  if (!pendingDeleteID_.isEmpty()) {
    if (TTreeNode* node = FindNodeByID(pendingDeleteID_)) {
      TTreeNode* parent = node->parent() ? node->parent() : invisibleRootItem();
      const int at = parent->indexOfChild(node);
      TTreeNode* next = at + 1 < parent->childCount() ? parent->child(at + 1)
                              : at > 0                      ? parent->child(at - 1)
                                                            : node->parent();
      {
        BusyGuard busy(*this);  // the record is gone already: selecting moves nothing
        if (next) Select(next);
        RemoveNode(node);
      }
      UpdateShowRoot();
      if (HasOption(dtSynchronizeDataSet) && Selected()) MoveToSelectedRecord();
    }
    pendingDeleteID_.clear();
    return;
  }
  if (FocusedOnlyDefers()) SetState(sfDirty);
  else Reload();
}

void TCustomDBTreeView::SelectionChanged(TTreeNode* current) {
  if (busyCount_ == 0) {
    link_->PollTableChanges();
    // The rebuild waits until the control has finished the event that changed the selection:
    // rebuilding under a mouse press would free the nodes the press is still working on, and
    // would select the old current record's node instead of the one the person picked.
    if (HasState(sfDirty)) ReloadSoon();
  }
  if (!HasState(sfLoading) && busyCount_ == 0 && HasOption(dtSynchronizeDataSet)) MoveToSelectedRecord();
  // The reload may have replaced every node: report the node selected now.
  TCustomTreeViewEx::SelectionChanged(currentItem());
}

void TCustomDBTreeView::KeyPrologue() {
  StopTimers();
  if (busyCount_ != 0) return;
  link_->PollTableChanges();
  if (HasState(sfDirty) && !HasState(sfLoading) && !IsEditingLabel() && pendingDeleteID_.isEmpty()) Reload();
}

void TCustomDBTreeView::TimerFired(int timerId) {
  if (timerId != kReloadTimerId) {
    TCustomTreeViewEx::TimerFired(timerId);
    return;
  }
  if (!HasState(sfDirty)) {
    reloadTimer_->Stop();
    return;
  }
  if (busyCount_ > 0 || HasState(sfLoading) || IsEditingLabel() || !pendingDeleteID_.isEmpty() ||
      DeleteWalkDepth() > 0)
    return;  // tried again at the next tick
  reloadTimer_->Stop();
  Reload();
}

void TCustomDBTreeView::StopTimers() {
  TCustomTreeViewEx::StopTimers();
  if (reloadTimer_) reloadTimer_->Stop();
}

void TCustomDBTreeView::DeleteWalkEnded() {
  if (HasState(sfDirty)) Reload();
}

// ---------------------------------------------------------------------------------------------
// Editing: insert

QString TCustomDBTreeView::GenerateNextID() {
  TDataSet& ds = *DataSet();
  if (OnGetNextID) return OnGetNextID(*this, ds);
  qint64 result = 0;
  BusyGuard busy(*this);
  ds.SuspendNotifications();
  const bool filtered = ds.Filtered();
  auto* table = ds.IsTable() ? dynamic_cast<TTable*>(&ds) : nullptr;
  const QString oldFieldNames = table ? table->IndexFieldNames() : QString();
  const QString oldIndexName = table ? table->IndexName() : QString();
  bool orderChanged = false;
  QString candidate;
  WithFinally(
      [&] {
        if (filtered) ds.SetFiltered(false);
        if (table && table->IndexFieldNames().compare(tableIDField_, Qt::CaseInsensitive) != 0) {
          orderChanged = true;
          table->SetIndexFieldNames(tableIDField_);
        }
        TField& id = IDField();
        if (id.DataType() != ftString && table &&
            table->IndexFieldNames().left(tableIDField_.size()).compare(tableIDField_, Qt::CaseInsensitive) == 0) {
          ds.Last();
          if (!ds.IsEmpty()) result = id.AsInteger() + 1;
        } else {
          ds.First();
          while (!ds.Eof()) {
            bool complete = false;
            qint64 v = ConvertID(id.AsString(), complete);
            if (complete) ++v;
            if (v > result) result = v;
            ds.Next();
          }
        }
        // A new ID must be unique and must not adopt an orphan whose parent it would name; it
        // must also fit the field, or the stored value would be cut.
        TField* parent = ParentField();
        for (;;) {
          candidate = QString::number(result);
          if (id.Size() > 0 && candidate.size() > id.Size())
            throw EInvalidOperation(QStringLiteral("The next ID '%1' does not fit the field '%2'")
                                        .arg(candidate, id.FieldName())
                                        .toStdString());
          const bool taken = ds.LocateByValues(tableIDField_, QStringList{candidate}) ||
                             (parent && IsSomeonesParent(candidate, filtered));
          if (!taken) break;
          ++result;
        }
      },
      [&] {
        if (table && orderChanged) {
          if (!oldIndexName.isEmpty()) table->SetIndexName(oldIndexName);
          else table->SetIndexFieldNames(oldFieldNames);
        }
        if (filtered) ds.SetFiltered(true);
        ds.ResumeNotifications();
      });
  return candidate;
}

bool TCustomDBTreeView::IsSomeonesParent(const QString& id, bool filtered) {
  // The snapshot of an unfiltered, up-to-date read holds every record's parent (records the
  // tree added since only name existing notes as parents), so its "no" is final. Its "yes" is
  // checked in the table: records the tree deleted since are still in it.
  if (snapshot_ && !filtered && !HasState(sfDirty)) {
    int at = 0;
    if (!snapshot_->FindFirstChild(id, at)) return false;
  }
  return DataSet()->LocateByValues(tableParentField_, QStringList{id});
}

TTreeNode* TCustomDBTreeView::AddRecordNode(TTreeNode* node, bool asChild) {
  auto* created = static_cast<TTreeIDNode*>(CreateNode());
  created->setText(0, TextField().AsString());
  created->RecordID = IDField().AsString();
  idIndex_->Register(created);
  AttachNode(asChild && node ? node : (node ? node->parent() : nullptr), created);
  return created;
}

void TCustomDBTreeView::InsertNode(bool asChild) {
  TDataSet* ds = DataSet();
  if (!ds) {
    TCustomTreeViewEx::InsertNode(asChild);
    return;
  }
  if (busyCount_ == 0) {
    link_->PollTableChanges();
    if (HasState(sfDirty)) Reload();
  }
  if (!ds->CanModify()) return;
  TTreeNode* node = nullptr;
  {
    BusyGuard busy(*this);
    const QString selID = SelectedID();
    const QString newID = GenerateNextID();
    TTreeNode* selected = Selected();
    ds->Append();
    IDField().SetAsString(newID);
    TField* parent = ParentField();
    if (asChild && selected) {
      if (parent && !selID.isEmpty() && selID != newID) parent->SetAsString(selID);
      node = AddRecordNode(selected, true);
    } else {
      const QString parentID = selected ? NodeID(selected->parent()) : QString();
      if (parent && selected && selected->parent() && selected->parent()->type() == TTreeIDNode::IDNodeType &&
          !parentID.isEmpty() && parentID != newID)
        parent->SetAsString(parentID);
      node = AddRecordNode(selected, false);
    }
    insertedID_ = newID;
    if (node) {
      Select(node);
      MakeVisible(node);
      if (HasOption(dtAutoShowRoot) && topLevelItemCount() == 2 && IsTopLevel(node)) SetShowRoot(true);
    }
    if (node) {
      if (HasOption(dtFocusOnEdit)) setFocus();
      if (ControlHasFocus()) StartLabelEdit(node);
    }
  }
}

// ---------------------------------------------------------------------------------------------
// Editing: labels

bool TCustomDBTreeView::CanEditLabel(TTreeNode* node) {
  if (!TCustomTreeViewEx::CanEditLabel(node)) return false;
  TDataSet* ds = DataSet();
  if (!ds) return true;
  if (!ds->CanModify()) return false;
  return tableTextField_.isEmpty() || TextField().CanModify();
}

int TCustomDBTreeView::MaxLabelLength() const {
  TDataSet* ds = DataSet();
  if (!ds || !ds->Active() || tableTextField_.isEmpty()) return 0;
  TField* text = ds->FindFieldNamed(tableTextField_);
  return text && text->DataType() == ftString ? text->Size() : 0;
}

bool TCustomDBTreeView::BeginLabelEdit(TTreeNode* node) {
  TDataSet* ds = DataSet();
  if (!ds) return true;
  if (IsDuplicateID(NodeID(node))) ReportDuplicateID(NodeID(node), "renamed");
  if (ds->State() != DataSetState::Browse) return true;
  if (!HasOption(dtSynchronizeDataSet)) MoveToSelectedRecord();
  auto refuseAndRetry = [&] {
    SetState(sfEditAfterReload);
    ScheduleReload();
    return false;
  };
  if (HasState(sfDirty)) return refuseAndRetry();
  // Never open the editor over a record other than the node's.
  if (IDField().AsString() != NodeID(node)) return false;
  BusyGuard busy(*this);
  ds->Edit();
  if (HasState(sfDirty)) {
    ds->Cancel();
    return refuseAndRetry();
  }
  return true;
}

void TCustomDBTreeView::EditedText(TTreeNode* node, QString& text) {
  if (savedOnEditedInUse_) return;  // re-entered from inside the edit's own end
  savedOnEditedInUse_ = true;
  bool store = true;
  WithFinally(
      [&] {
        if (OnEdited) OnEdited(*this, node, text);
        TDataSet* ds = DataSet();
        if (busyCount_ > 0 || !node || !ds || !ds->Active()) return;
        if (!IsEditState(ds->State()) || IDField().AsString() != NodeID(node)) {
          store = false;  // the record is not the node's: nothing was written, keep the old label
          return;
        }
        BusyGuard busy(*this);
        if (TextField().AsString() != text) TextField().SetAsString(text);
        if (ControlHasFocus()) {
          try {
            ds->Post();
          } catch (...) {
            // The record keeps the typed title: the node shows it, so it stays in view and the
            // label editor opens on it again.
            store = false;
            editPostFailed_ = true;
            SetNodeText(node, text);
            throw;
          }
          // The posted record may have left the dataset (a filter): the node is stale then.
          if (IDField().AsString() != NodeID(node)) ReloadSoon();
        }
      },
      [&] { savedOnEditedInUse_ = false; });
  if (store) SetNodeText(node, text);
}

void TCustomDBTreeView::DeleteWithoutAsking(TTreeNode* node) {
  if (!node) return;
  DeleteState state;
  state.yesToAll = true;
  DeleteSubtree(node, false, state);
}

void TCustomDBTreeView::LabelEditEnded() {
  TDataSet* ds = DataSet();
  if (busyCount_ >= 1 || !ds || !ds->Active()) return;
  if (ControlHasFocus()) {
    ClearState(sfEditPending);
    ClearState(sfInsertPending);
    if (editPostFailed_) {
      // The post failed and was reported: the record stays pending with what was typed.
      editPostFailed_ = false;
      SetState(sfTextRefreshPending);
      return;
    }
    if (ds->State() == DataSetState::Inserting) {
      if (otherFieldsChanged_) {
        // Memo text is waiting in the record: it stays pending, and a later cancel still takes
        // its node away.
        SetState(sfInsertPending);
        SetState(sfTextRefreshPending);
        return;
      }
      DeleteWithoutAsking(Selected());
    } else if (ds->State() == DataSetState::Editing) {
      if (otherFieldsChanged_) {
        // The same for an edit: a later cancel gives the node its stored title back.
        SetState(sfEditPending);
        SetState(sfTextRefreshPending);
        return;
      }
      BusyGuard busy(*this);
      ds->Cancel();
    }
    return;
  }
  editPostFailed_ = false;
  if (HasOption(dtCancelOnExit) && ds->State() == DataSetState::Inserting && !ds->Modified()) {
    ClearState(sfEditPending);
    ClearState(sfInsertPending);
    DeleteWithoutAsking(Selected());
  } else {
    SetState(sfTextRefreshPending);
  }
}

void TCustomDBTreeView::EditingChanged() {
  TDataSet* ds = DataSet();
  if (!ds) return;
  const DataSetState state = ds->State();
  if (state == DataSetState::Editing) {
    otherFieldsChanged_ = false;
    if (busyCount_ == 0 && !ReadOnly() && !IsEditingLabel()) {
      if (HasOption(dtFocusOnEdit)) setFocus();
      if (ControlHasFocus()) {
        if (!HasOption(dtSynchronizeDataSet)) SelectCurrentRecordNode();
        if (Selected()) StartLabelEdit(Selected());
      }
    }
    SetState(sfEditPending);
  } else if (state == DataSetState::Inserting) {
    otherFieldsChanged_ = false;
    if (busyCount_ == 0 && !ReadOnly()) {
      const bool hadFocus = ControlHasFocus();
      BusyGuard busy(*this);
      ds->Cancel();
      InsertNode(HasOption(dtInsertAsChild));
      if (!hadFocus) {
        if (HasOption(dtFocusOnEdit)) {
          setFocus();
        } else {
          EndLabelEdit(true);
          SetState(sfTextRefreshPending);
        }
      }
    }
    SetState(sfInsertPending);
  }
}

void TCustomDBTreeView::focusInEvent(QFocusEvent* event) {
  TCustomTreeViewEx::focusInEvent(event);
  RunGuarded([&] {
    if (busyCount_ == 0) {
      link_->PollTableChanges();
      if (HasState(sfDirty)) Reload();
    }
    if (!(HasOption(dtFocusOnEdit) || HasState(sfTextRefreshPending)) || IsEditingLabel()) return;
    ClearState(sfTextRefreshPending);
    TDataSet* ds = DataSet();
    if (ds && IsEditState(ds->State())) {
      if (!HasOption(dtSynchronizeDataSet)) SelectCurrentRecordNode();
      if (Selected()) StartLabelEdit(Selected());
    }
  });
}

void TCustomDBTreeView::BeforePostReaction() {
  auto acceptOpenLabel = [&] {
    BusyGuard busy(*this);
    EndLabelEdit(true);
    if (TTreeNode* sel = Selected(); sel && TextField().AsString() != sel->text(0))
      TextField().SetAsString(sel->text(0));
  };
  if (HasState(sfEditPending)) {
    ClearState(sfEditPending);
    if (busyCount_ == 0 && IsEditingLabel()) acceptOpenLabel();
  } else if (HasState(sfInsertPending)) {
    ClearState(sfInsertPending);
    if (busyCount_ == 0) {
      if (IsEditingLabel()) acceptOpenLabel();
      else SetState(sfReloadAfterPost);
    }
  }
  ClearState(sfTextRefreshPending);
}

void TCustomDBTreeView::RemoveUnpostedNode(TTreeNode* node) {
  TTreeNode* parent = node->parent() ? node->parent() : invisibleRootItem();
  const int at = parent->indexOfChild(node);
  TTreeNode* next = at + 1 < parent->childCount() ? parent->child(at + 1)
                          : at > 0                      ? parent->child(at - 1)
                                                        : node->parent();
  {
    BusyGuard busy(*this);
    if (next) Select(next);
    RemoveNode(node);
  }
  UpdateShowRoot();
  // The cancel left some other record current: the one now selected becomes it.
  if (HasOption(dtSynchronizeDataSet) && Selected()) MoveToSelectedRecord();
}

void TCustomDBTreeView::AfterCancelReaction() {
  ClearState(sfReloadAfterPost);
  const bool insertCancelled = HasState(sfInsertPending);
  if (HasState(sfTextRefreshPending)) {
    // After a cancelled insert the current record is another note; the new node goes below.
    if (TTreeNode* sel = Selected(); sel && !IsEditingLabel() && !insertCancelled)
      SetNodeText(sel, TextField().AsString());
    ClearState(sfTextRefreshPending);
  }
  if (HasState(sfEditPending)) {
    ClearState(sfEditPending);
    if (busyCount_ == 0 && IsEditingLabel()) EndLabelEdit(false);
  } else if (insertCancelled) {
    ClearState(sfInsertPending);
    if (busyCount_ == 0) {
      if (IsEditingLabel() && Selected()) {
        TTreeNode* node = Selected();
        EndLabelEdit(false);
        RemoveUnpostedNode(node);
      } else if (!IsEditingLabel()) {
        // The node made for the record that was never stored; failing that, the tree is read
        // again from scratch (the snapshot never held the new record, so it would see no change).
        TTreeNode* node = insertedID_.isEmpty() ? nullptr : FindNodeByID(insertedID_);
        if (node && node->childCount() == 0) {
          RemoveUnpostedNode(node);
        } else {
          snapshot_.reset();
          Reload();
        }
      }
    }
  }
}

// ---------------------------------------------------------------------------------------------
// Editing: delete

bool TCustomDBTreeView::CanDeleteNode(TTreeNode* node) {
  StopTimers();
  if (!TCustomTreeViewEx::CanDeleteNode(node)) return false;
  TDataSet* ds = DataSet();
  return !ds || ds->CanModify();
}

QString TCustomDBTreeView::GetDeleteConfirmText(TTreeNode* node) {
  QString text = ProgramString(sDeleteRecordQuestion);
  if (text.contains(QStringLiteral("%s"))) text.replace(QStringLiteral("%s"), node ? node->text(0) : QString());
  return text;
}

void TCustomDBTreeView::DeleteSelected() {
  if (TDataSet* ds = DataSet()) {
    if (busyCount_ == 0) {
      link_->PollTableChanges();
      if (HasState(sfDirty)) Reload();
    }
    if (!ds->CanModify()) return;
  }
  TCustomTreeViewEx::DeleteSelected();
}

bool TCustomDBTreeView::DeleteNode(TTreeNode* node) {
  TDataSet* ds = DataSet();
  if (!ds) return TCustomTreeViewEx::DeleteNode(node);
  const QString id = NodeID(node);
  if (IsDuplicateID(id)) {
    // Reported, and the walk goes on: which of the twins is this node's record is unknown.
    RunGuarded([&] { ReportDuplicateID(id, "deleted"); });
    return false;
  }
  if (!LocateRecordByID(id)) return false;
  if (IDField().AsString() != id) return false;
  {
    BusyGuard busy(*this);
    if (ds->State() == DataSetState::Inserting) ds->Cancel();
    else ds->Delete();
  }
  // Children still here are records the walk could not delete: they stay in the table, so the
  // tree is rebuilt once the walk is over and shows them where they now belong.
  if (node->childCount() > 0) SetState(sfDirty);
  RemoveNode(node);
  UpdateShowRoot();
  return true;
}

void TCustomDBTreeView::BeforeDeleteReaction() {
  TDataSet* ds = DataSet();
  if (!ds) return;
  if (busyCount_ == 0 && !ReadOnly()) {
    if (TTreeNode* node = FindCurrentRecordNode()) {
      if (HasOption(dtRootItemReadOnly) && IsTopLevel(node)) throw SilentAbort("RootItem is ReadOnly");
      if (HasOption(dtConfirmDelete) || node->childCount() > 0) {
        DeleteWithConfirmAndSettle(node);
        throw SilentAbort();
      }
    } else if (HasOption(dtConfirmDelete)) {
      // A record without a node (in a parent cycle, or not yet in the tree): ask as for any
      // other record instead of refusing without a word.
      const MessageButton answer = Platform::Instance().MessageBoxes().Show(
          QString::fromUtf8(kApplicationTitle), GetDeleteConfirmText(nullptr), MessageIcon::Confirmation,
          mbOK | mbCancel);
      if (answer != mbOK) throw SilentAbort();
    }
  }
  if (busyCount_ == 0) {
    TField* id = ds->FindFieldNamed(tableIDField_);
    pendingDeleteID_ = id ? id->AsString() : QString();
  }
}

// ---------------------------------------------------------------------------------------------
// Drag-move

bool TCustomDBTreeView::CanDragNode(TTreeNode* node) {
  if (!TCustomTreeViewEx::CanDragNode(node)) return false;
  TDataSet* ds = DataSet();
  if (!ds) return true;
  if (!ds->CanModify()) return false;
  return tableParentField_.isEmpty() || ParentField()->CanModify();
}

bool TCustomDBTreeView::WouldCycle(const QString& movedID, const QString& newParentID) {
  // Walks the new parent's chain in the whole table (not only what a filter lets the tree see).
  if (newParentID.isEmpty()) return false;
  TDataSet& ds = *DataSet();
  TField* parent = ParentField();
  if (!parent) return false;
  bool cycle = false;
  ds.SuspendNotifications();
  const bool filtered = ds.Filtered();
  WithFinally(
      [&] {
        if (filtered) ds.SetFiltered(false);
        QSet<QString> visited;
        QString current = newParentID;
        while (!current.isEmpty() && !visited.contains(current)) {
          if (current == movedID) {
            cycle = true;
            break;
          }
          visited.insert(current);
          if (!ds.LocateByValues(tableIDField_, QStringList{current})) break;
          current = parent->AsString();
        }
      },
      [&] {
        if (filtered) ds.SetFiltered(true);
        ds.ResumeNotifications();
      });
  return cycle;
}

bool TCustomDBTreeView::MoveNodeInDataSet(TTreeNode* node, TTreeNode* target, TNodeAttachMode mode) {
  TDataSet& ds = *DataSet();
  BusyGuard busy(*this);
  const QString id = NodeID(node);
  if (IsDuplicateID(id)) ReportDuplicateID(id, "moved");
  const QString intendedParent = (mode == naAddChild && target) ? NodeID(target) : rootID_;
  if (WouldCycle(id, intendedParent))
    throw EInvalidOperation(
        QStringLiteral("The note cannot be moved under one of its own descendants").toStdString());
  if (!LocateRecordByID(id)) return false;
  ds.Edit();
  bool ok = false;
  try {
    ok = TCustomTreeViewEx::MoveNode(node, target, mode);
    if (ok) {
      if (SortType() == stNone) {
        SortChildrenOf(target);
        MakeVisible(node);
      }
      const QString newParentID = node->parent() ? NodeID(node->parent()) : rootID_;
      if (TField* parent = ParentField()) {
        if (!newParentID.isEmpty()) parent->SetAsString(newParentID);
        else parent->Clear();
      }
      ds.Post();
      if (snapshot_) snapshot_->SetParentID(id, newParentID);
      UpdateShowRoot();
    } else {
      ds.Cancel();
    }
  } catch (...) {
    if (ds.State() == DataSetState::Editing) ds.Cancel();
    throw;
  }
  return ok;
}

bool TCustomDBTreeView::MoveNode(TTreeNode* node, TTreeNode* target, TNodeAttachMode mode) {
  TDataSet* ds = DataSet();
  if (!ds || !ds->Active()) return TCustomTreeViewEx::MoveNode(node, target, mode);
  if (!node) return false;
  TTreeNode* oldParent = node->parent();
  try {
    return MoveNodeInDataSet(node, target, mode);
  } catch (...) {
    // When the node already sits under its new parent, put the tree back into the table's shape.
    if (node->parent() != oldParent) RebuildTree();
    throw;
  }
}

}  // namespace tindrel
