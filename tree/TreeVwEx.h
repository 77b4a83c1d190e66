#pragma once
// TCustomTreeViewEx: the data-independent tree view, a QTreeView over its own node model
// (TTreeNodeModel), with the node calls of an item view (topLevelItem, currentItem, itemAt...).
// It owns the option word ExOptions, insert and delete (with the delete question), drag-move
// with auto-scroll inside the one widget, mouse-move selection, the OnMouseSelect event with its
// double-click discrimination, right clicks (RightClickNode and the pop-up menu), the drag image
// choice and the window timers that these use. The data-bound view derives from it and
// overrides its virtual operations.
//
// Re-entrance: BusyCount counts the view's own operations in progress; every operation that
// would otherwise react to notifications it causes itself raises it (BusyGuard).
//
// Timers are platform timers (Platform::Instance().Clock()), so tests drive them with a
// scripted clock; tick counts are the platform's 64-bit monotonic milliseconds.

#include <QPixmap>
#include <QPersistentModelIndex>
#include <QPointer>
#include <QString>
#include <QTreeView>

#include <cstdint>
#include <functional>
#include <memory>

#include "tree/TTreeNode.h"

class QMenu;
class QMimeData;

namespace tindrel {

class PlatformTimer;
class TTreeNodeModel;

// A node of the extended view: siblings sort by text without regard to case.
class TTreeNodeEx : public TTreeNode {
 public:
  static constexpr int NodeType = TTreeNode::UserType + 1;
  explicit TTreeNodeEx(int type = NodeType) : TTreeNode(type) {}
  bool operator<(const TTreeNode& other) const override;
};

// The options of the base view, bit n for the n-th value.
enum TTreeViewExOption : std::uint16_t {
  txAllowDelete = 1u << 0,
  txAllowInsert = 1u << 1,
  txAutoDragMove = 1u << 2,
  txConfirmDelete = 1u << 3,
  txInsertAsChild = 1u << 4,
  txNoLabelEdit = 1u << 5,
  txMouseMoveSelect = 1u << 6,
  txTopLevelDrop = 1u << 7,
  txRootItemReadOnly = 1u << 8,
};
using TTreeViewExOptions = std::uint16_t;
inline constexpr TTreeViewExOptions kDefaultExOptions = 271;

enum TTVDragImageShow { tvdisDefault = 0, tvdisAlways = 1, tvdisNever = 2 };

enum TSortType { stNone, stData, stText, stBoth };

// MoveNode's attach modes.
enum TNodeAttachMode { naAdd, naAddChild };

// Where a point lies relative to the node row under it.
// haOnButton is the node's expand button (the column just left of it, when it has children);
// haOnIndent is the rest of the space left of the node.
enum THitArea { haNowhere, haOnItem, haOnRight, haOnIndent, haOnButton };

// Bits of MouseStateFlags.
enum TMouseStateFlag : std::uint8_t {
  msSwallowNextChar = 1u << 0,
  msDoubleClicked = 1u << 1,
  msRightButtonDown = 1u << 2,
  msUpdateLocked = 1u << 3,
};

// Names of the view's logical timers.
inline constexpr int kScrollTimerId = 1001;
inline constexpr int kReloadTimerId = 1002;
inline constexpr int kSelectTimerId = 1003;
inline constexpr int kScrollIntervalMs = 200;
inline constexpr int kEdgeZone = 16;

// The base view's delete question.
extern QString DeleteItemQuestion;

class TCustomTreeViewEx : public QTreeView {
  Q_OBJECT
 public:
  using TNotifyEvent = std::function<void(TCustomTreeViewEx& sender)>;
  using TNodeAllowEvent = std::function<void(TCustomTreeViewEx& sender, TTreeNode* node, bool& allow)>;
  using TEditedEvent = std::function<void(TCustomTreeViewEx& sender, TTreeNode* node, QString& text)>;
  using TNodeEvent = std::function<void(TCustomTreeViewEx& sender, TTreeNode* node)>;
  using TKeyEvent = std::function<void(TCustomTreeViewEx& sender, int& key, Qt::KeyboardModifiers shift)>;
  using TMouseEvent = std::function<void(TCustomTreeViewEx& sender, Qt::MouseButton button, QPoint pos)>;
  using TDragOverEvent = std::function<void(TCustomTreeViewEx& sender, QPoint pos, bool& accept)>;

  explicit TCustomTreeViewEx(QWidget* parent = nullptr);
  ~TCustomTreeViewEx() override;

  // Nodes. The view owns every node attached to it; `clear` frees them all.
  TTreeNodeModel* NodeModel() const { return nodeModel_; }
  TTreeNode* invisibleRootItem() const;
  int topLevelItemCount() const;
  TTreeNode* topLevelItem(int index) const;
  void addTopLevelItem(TTreeNode* node);
  void addTopLevelItems(const QList<TTreeNode*>& nodes);
  void clear();
  TTreeNode* currentItem() const;
  void setCurrentItem(TTreeNode* node);
  TTreeNode* itemAt(QPoint pos) const;
  QRect visualItemRect(const TTreeNode* node) const;
  // The visible row above or below the node's row.
  TTreeNode* itemAbove(const TTreeNode* node) const;
  TTreeNode* itemBelow(const TTreeNode* node) const;
  void scrollToItem(const TTreeNode* node, ScrollHint hint = EnsureVisible);
  void editItem(TTreeNode* node, int column = 0);
  TTreeNode* itemFromIndex(const QModelIndex& index) const;
  QModelIndex indexFromItem(const TTreeNode* node) const;
  // Nodes whose title matches, in the whole tree (flags as for QAbstractItemModel::match).
  QList<TTreeNode*> findItems(const QString& text, Qt::MatchFlags flags) const;

 signals:
  void currentItemChanged(TTreeNode* current, TTreeNode* previous);

 public:
  // Options and published properties.
  TTreeViewExOptions ExOptions() const { return exOptions_; }
  void SetExOptions(TTreeViewExOptions options) { exOptions_ = options; }
  bool HasExOption(TTreeViewExOption o) const { return (exOptions_ & o) != 0; }
  TTVDragImageShow DragImageShow() const { return dragImageShow_; }
  void SetDragImageShow(TTVDragImageShow value) { dragImageShow_ = value; }
  TSortType SortType() const { return sortType_; }
  void SetSortType(TSortType value);
  bool ShowRoot() const { return rootIsDecorated(); }
  void SetShowRoot(bool on) { setRootIsDecorated(on); }
  bool ReadOnly() const { return readOnly_; }
  void SetReadOnly(bool on) { readOnly_ = on; }
  int Indent() const { return indentation(); }
  void SetIndent(int pixels) { setIndentation(pixels); }
  QMenu* PopupMenu() const { return popupMenu_; }
  void SetPopupMenu(QMenu* menu) { popupMenu_ = menu; }
  // The image list the control shows beside the nodes (none: no icons).
  bool HasImages() const { return hasImages_; }
  void SetHasImages(bool on) { hasImages_ = on; }

  // State.
  std::uint8_t MouseStateFlags() const { return mouseStateFlags_; }
  TTreeNode* DropTargetNode() const { return dropTargetNode_; }
  bool DropAtTopLevel() const { return dropAtTopLevel_; }
  const QPixmap& DragImage() const { return dragImage_; }  // empty: no drag image
  // Makes the drag image of the selected node as a drag start does.
  void PrepareDragImage() { MakeDragImage(Selected()); }
  TTreeNode* RightClickNode() const { return rightClickNode_; }
  int BusyCount() const { return busyCount_; }
  bool DragInProgress() const { return dragInProgress_; }
  bool IsEditingLabel() const { return state() == QAbstractItemView::EditingState; }
  bool ScrollTimerRunning() const;
  bool SelectTimerRunning() const;

  // Events.
  TNotifyEvent OnMouseSelect;
  TNodeAllowEvent OnCanDragNode;
  TNodeAllowEvent OnCanDeleteNode;
  TNodeAllowEvent OnEditing;
  TEditedEvent OnEdited;
  TNodeEvent OnChange;
  TKeyEvent OnKeyDown;
  TMouseEvent OnMouseDown;
  TMouseEvent OnMouseUp;
  TDragOverEvent OnDragOver;

  // Virtual operations, in slot order.
  virtual bool CanDeleteNode(TTreeNode* node);
  virtual void StopTimers();
  virtual bool CanDragNode(TTreeNode* node);
  virtual QString GetDeleteConfirmText(TTreeNode* node);
  virtual bool DeleteNode(TTreeNode* node);
  virtual void InsertNode(bool asChild);
  virtual void DeleteSelected();
  virtual bool MoveNode(TTreeNode* node, TTreeNode* target, TNodeAttachMode mode);

  void DeleteWithConfirm(TTreeNode* node);
  // DeleteWithConfirm, then the work that waited for the walk.
  void DeleteWithConfirmAndSettle(TTreeNode* node);

  // Node helpers.
  static bool IsTopLevel(const TTreeNode* node) { return node && !node->parent(); }
  bool IsOnlyRoot(const TTreeNode* node) const;
  TTreeNode* Selected() const { return currentItem(); }
  void Select(TTreeNode* node);
  // Expands the ancestors and scrolls the node into view.
  void MakeVisible(TTreeNode* node);
  TTreeNode* TopItem() const;
  void SetTopItem(TTreeNode* node);
  THitArea HitTest(QPoint pos) const;
  // Begin and end of node update (nested): no repaint in between.
  void BeginNodeUpdate();
  void EndNodeUpdate();
  // With text sorting on (stText, stBoth) siblings are kept in text order by the view itself;
  // Qt's own sorting recurses once per tree level and cannot take very deep trees.
  bool SortsByText() const { return sortType_ == stText || sortType_ == stBoth; }
  // Adds `node` as the last child of `parent` (the top level for none), or at its place in the
  // text order when sorting by text.
  void AttachNode(TTreeNode* parent, TTreeNode* node);
  // Sorts the children of `parent` (the top level for none), one level only.
  void SortChildrenOf(TTreeNode* parent);
  // Sorts every level of the tree, without recursion.
  void SortAllByText();
  // Sets the node's text; with text sorting on, its siblings are sorted again.
  void SetNodeText(TTreeNode* node, const QString& text);
  // Removes the node with its subtree.
  void RemoveNode(TTreeNode* node);
  void StartLabelEdit(TTreeNode* node);
  // Ends an open label edit, keeping (accept) or discarding the typed text.
  void EndLabelEdit(bool accept);
  // True while the label editor or the view itself has the keyboard focus.
  bool ControlHasFocus() const;

  // The drag data of a node drag that starts in this view.
  QMimeData* CreateDragData() const;
  bool IsOwnDrag(const QMimeData* data) const;
  // Cancels the drag in progress (as Escape does).
  void CancelDrag();

 protected:
  // Raises BusyCount for one scope.
  class BusyGuard {
   public:
    explicit BusyGuard(TCustomTreeViewEx& view) : view_(view) { ++view_.busyCount_; }
    ~BusyGuard() { --view_.busyCount_; }
    BusyGuard(const BusyGuard&) = delete;
    BusyGuard& operator=(const BusyGuard&) = delete;

   private:
    TCustomTreeViewEx& view_;
  };

  // The node factory: every node of this view is made here.
  virtual TTreeNode* CreateNode();

  // Label-edit hooks.
  virtual bool CanEditLabel(TTreeNode* node);
  virtual bool BeginLabelEdit(TTreeNode* node) { return true; }
  virtual void LabelEditEnded() {}
  virtual int MaxLabelLength() const { return 0; }  // 0: no limit
  // Calls OnEdited(Sender, Node, S) and stores S as the node's text.
  virtual void EditedText(TTreeNode* node, QString& text);

  virtual void SelectionChanged(TTreeNode* current);
  // Runs first in the key handler, before the base view's own key rules.
  virtual void KeyPrologue() {}
  // After a delete walk has finished (work deferred during it can run now).
  virtual void DeleteWalkEnded() {}
  virtual void TimerFired(int timerId);
  virtual void DragCancelled();

  // The delete walk.
  struct DeleteState {
    bool stop = false;
    bool yesToAll = false;
    int buttonsIndex = 0;
  };
  void DeleteSubtree(TTreeNode* node, bool nested, DeleteState& state);
  // One node of the walk: select it, ask, delete it; the top node also restores the selection.
  void DeleteOneNode(TTreeNode* node, bool nested, DeleteState& state);
  // The base test of one node, without its descendants.
  bool CanDeleteOneNode(TTreeNode* node);
  bool ConfirmDeleteNode(TTreeNode* node, DeleteState& state);
  // Set while a delete walk runs.
  int DeleteWalkDepth() const { return deleteWalkDepth_; }

  void AutoScroll(TTreeNode* node, int x, int y);
  TTreeNode* NodeAtClamped(QPoint pos) const;
  TTreeNode* VisibleNodeAbove(TTreeNode* node) const;
  TTreeNode* VisibleNodeBelow(TTreeNode* node) const;
  void ClearDropTarget();
  void StartNodeDrag();
  void MakeDragImage(TTreeNode* node);
  bool DragOverAccepts(QPoint pos);
  void DropAt(QPoint pos);
  std::uint64_t Now() const;
  void RaiseMouseSelect();
  void StartSelectTimer(std::uint64_t elapsed);

  // Qt entry points.
  bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override;
  void commitData(QWidget* editor) override;
  void closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) override;
  void keyPressEvent(QKeyEvent* event) override;
  void keyReleaseEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dragLeaveEvent(QDragLeaveEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  void drawRow(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
  void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;

  void ForgetRightClickNode() { rightClickNode_ = nullptr; dropTargetNode_ = nullptr; }

  // Raised around the view's own operations.
  int busyCount_ = 0;

 private:
  friend class BusyGuard;
  class LabelDelegate;

  TTreeNodeModel* nodeModel_ = nullptr;

  TTreeViewExOptions exOptions_ = kDefaultExOptions;
  TTVDragImageShow dragImageShow_ = tvdisDefault;
  TSortType sortType_ = stNone;
  bool readOnly_ = false;
  bool hasImages_ = false;
  QMenu* popupMenu_ = nullptr;

  std::uint8_t mouseStateFlags_ = 0;
  TTreeNode* dropTargetNode_ = nullptr;
  bool dropAtTopLevel_ = false;
  QPixmap dragImage_;
  std::uint64_t lastScrollTick_ = 0;
  bool scrolledOnce_ = false;
  std::uint64_t mouseDownTick_ = 0;
  std::unique_ptr<PlatformTimer> scrollTimer_;
  std::unique_ptr<PlatformTimer> selectTimer_;
  TTreeNode* rightClickNode_ = nullptr;
  int updateCount_ = 0;
  int deleteWalkDepth_ = 0;
  bool dragInProgress_ = false;
  bool dragStartArmed_ = false;
  QPoint dragStartPos_;
  bool committed_ = false;  // the open label edit was accepted
  QPointer<QWidget> openEditor_;
  QPersistentModelIndex editIndex_;  // the node whose label is open
};

}  // namespace tindrel
