#pragma once
// TCustomTreeViewEx: the data-independent tree view on a QTreeWidget. It owns the option word
// ExOptions, insert and delete (with the delete question), drag-move with auto-scroll inside the
// one widget, mouse-move selection, the OnMouseSelect event with its double-click
// discrimination, right clicks (RightClickNode and the pop-up menu), the drag image choice and
// the window timers that these use. The data-bound view derives from it and overrides its
// virtual operations.
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
#include <QTreeWidget>

#include <cstdint>
#include <functional>
#include <memory>

class QMenu;
class QMimeData;

namespace tindrel {

class PlatformTimer;

// A node of the extended view: siblings sort by text without regard to case.
class TTreeNodeEx : public QTreeWidgetItem {
 public:
  static constexpr int NodeType = QTreeWidgetItem::UserType + 1;
  explicit TTreeNodeEx(int type = NodeType) : QTreeWidgetItem(type) {}
  bool operator<(const QTreeWidgetItem& other) const override;
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
enum THitArea { haNowhere, haOnItem, haOnRight, haOnIndent };

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

class TCustomTreeViewEx : public QTreeWidget {
  Q_OBJECT
 public:
  using TNotifyEvent = std::function<void(TCustomTreeViewEx& sender)>;
  using TNodeAllowEvent = std::function<void(TCustomTreeViewEx& sender, QTreeWidgetItem* node, bool& allow)>;
  using TEditedEvent = std::function<void(TCustomTreeViewEx& sender, QTreeWidgetItem* node, QString& text)>;
  using TNodeEvent = std::function<void(TCustomTreeViewEx& sender, QTreeWidgetItem* node)>;
  using TKeyEvent = std::function<void(TCustomTreeViewEx& sender, int& key, Qt::KeyboardModifiers shift)>;
  using TMouseEvent = std::function<void(TCustomTreeViewEx& sender, Qt::MouseButton button, QPoint pos)>;
  using TDragOverEvent = std::function<void(TCustomTreeViewEx& sender, QPoint pos, bool& accept)>;

  explicit TCustomTreeViewEx(QWidget* parent = nullptr);
  ~TCustomTreeViewEx() override;

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
  QTreeWidgetItem* DropTargetNode() const { return dropTargetNode_; }
  bool DropAtTopLevel() const { return dropAtTopLevel_; }
  const QPixmap& DragImage() const { return dragImage_; }  // empty: no drag image
  // Makes the drag image of the selected node as a drag start does.
  void PrepareDragImage() { MakeDragImage(Selected()); }
  QTreeWidgetItem* RightClickNode() const { return rightClickNode_; }
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
  virtual bool CanDeleteNode(QTreeWidgetItem* node);
  virtual void StopTimers();
  virtual bool CanDragNode(QTreeWidgetItem* node);
  virtual QString GetDeleteConfirmText(QTreeWidgetItem* node);
  virtual bool DeleteNode(QTreeWidgetItem* node);
  virtual void InsertNode(bool asChild);
  virtual void DeleteSelected();
  virtual bool MoveNode(QTreeWidgetItem* node, QTreeWidgetItem* target, TNodeAttachMode mode);

  void DeleteWithConfirm(QTreeWidgetItem* node);
  // DeleteWithConfirm, then the work that waited for the walk.
  void DeleteWithConfirmAndSettle(QTreeWidgetItem* node);

  // Node helpers.
  static bool IsTopLevel(const QTreeWidgetItem* node) { return node && !node->parent(); }
  bool IsOnlyRoot(const QTreeWidgetItem* node) const;
  QTreeWidgetItem* Selected() const { return currentItem(); }
  void Select(QTreeWidgetItem* node);
  // Expands the ancestors and scrolls the node into view.
  void MakeVisible(QTreeWidgetItem* node);
  QTreeWidgetItem* TopItem() const;
  void SetTopItem(QTreeWidgetItem* node);
  THitArea HitTest(QPoint pos) const;
  // Begin and end of node update (nested): no repaint in between.
  void BeginNodeUpdate();
  void EndNodeUpdate();
  // With text sorting on (stText, stBoth) siblings are kept in text order by the view itself;
  // Qt's own sorting recurses once per tree level and cannot take very deep trees.
  bool SortsByText() const { return sortType_ == stText || sortType_ == stBoth; }
  // Adds `node` as the last child of `parent` (the top level for none), or at its place in the
  // text order when sorting by text.
  void AttachNode(QTreeWidgetItem* parent, QTreeWidgetItem* node);
  // Sorts the children of `parent` (the top level for none), one level only.
  void SortChildrenOf(QTreeWidgetItem* parent);
  // Sorts every level of the tree, without recursion.
  void SortAllByText();
  // Sets the node's text; with text sorting on, its siblings are sorted again.
  void SetNodeText(QTreeWidgetItem* node, const QString& text);
  // Removes the node with its subtree.
  void RemoveNode(QTreeWidgetItem* node);
  void StartLabelEdit(QTreeWidgetItem* node);
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
  virtual QTreeWidgetItem* CreateNode();

  // Label-edit hooks.
  virtual bool CanEditLabel(QTreeWidgetItem* node);
  virtual bool BeginLabelEdit(QTreeWidgetItem* node) { return true; }
  virtual void LabelEditEnded() {}
  virtual int MaxLabelLength() const { return 0; }  // 0: no limit
  // Calls OnEdited(Sender, Node, S) and stores S as the node's text.
  virtual void EditedText(QTreeWidgetItem* node, QString& text);

  virtual void SelectionChanged(QTreeWidgetItem* current);
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
  void DeleteSubtree(QTreeWidgetItem* node, bool nested, DeleteState& state);
  bool ConfirmDeleteNode(QTreeWidgetItem* node, DeleteState& state);
  // Set while a delete walk runs.
  int DeleteWalkDepth() const { return deleteWalkDepth_; }

  void AutoScroll(QTreeWidgetItem* node, int x, int y);
  QTreeWidgetItem* NodeAtClamped(QPoint pos) const;
  QTreeWidgetItem* VisibleNodeAbove(QTreeWidgetItem* node) const;
  QTreeWidgetItem* VisibleNodeBelow(QTreeWidgetItem* node) const;
  void ClearDropTarget();
  void StartNodeDrag();
  void MakeDragImage(QTreeWidgetItem* node);
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

  void ForgetRightClickNode() { rightClickNode_ = nullptr; dropTargetNode_ = nullptr; }

  // Raised around the view's own operations.
  int busyCount_ = 0;

 private:
  friend class BusyGuard;
  class LabelDelegate;

  TTreeViewExOptions exOptions_ = kDefaultExOptions;
  TTVDragImageShow dragImageShow_ = tvdisDefault;
  TSortType sortType_ = stNone;
  bool readOnly_ = false;
  bool hasImages_ = false;
  QMenu* popupMenu_ = nullptr;

  std::uint8_t mouseStateFlags_ = 0;
  QTreeWidgetItem* dropTargetNode_ = nullptr;
  bool dropAtTopLevel_ = false;
  QPixmap dragImage_;
  std::uint64_t lastScrollTick_ = 0;
  bool scrolledOnce_ = false;
  std::uint64_t mouseDownTick_ = 0;
  std::unique_ptr<PlatformTimer> scrollTimer_;
  std::unique_ptr<PlatformTimer> selectTimer_;
  QTreeWidgetItem* rightClickNode_ = nullptr;
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
