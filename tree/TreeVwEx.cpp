#include "tree/TreeVwEx.h"

#include <QApplication>
#include <QCursor>
#include <QDrag>
#include <QDragEnterEvent>
#include <QDragLeaveEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QFocusEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyledItemDelegate>

#include <sys/resource.h>

#include <algorithm>
#include <vector>

#include "platform/ErrorBox.h"
#include "platform/Errors.h"
#include "platform/Platform.h"
#include "tree/TTreeNodeModel.h"
#include "tree/dbTvRecordList.h"

namespace tindrel {

QString DeleteItemQuestion = QStringLiteral("Delete item ?");

namespace {

const QString kNodeDragFormat = QStringLiteral("application/x-tindrel-tree-node");

// A QLineEdit limited to the length the view allows.
}  // namespace

class TCustomTreeViewEx::LabelDelegate : public QStyledItemDelegate {
 public:
  explicit LabelDelegate(TCustomTreeViewEx* view) : QStyledItemDelegate(view), view_(view) {}

  QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
    if (auto* line = qobject_cast<QLineEdit*>(editor)) {
      const int limit = view_->MaxLabelLength();
      if (limit > 0) line->setMaxLength(limit);
    }
    view_->openEditor_ = editor;
    return editor;
  }

 private:
  TCustomTreeViewEx* view_;
};

bool TTreeNodeEx::operator<(const TTreeNode& other) const {
  return CompareNodeText(text(0), other.text(0)) < 0;
}

namespace {

// Qt lays out the open rows of a tree view with one nested call per level, about 320 bytes of
// stack each: a chain of 30,000 open notes needs some 10 MB of the main thread's stack, more
// than the usual limit of 8 MB. That limit is a soft one, checked by the kernel each time the
// stack grows, so raising it once (up to the hard limit) lets open chains of 100,000 notes and
// more be laid out.
void AllowDeepLayouts() {
  static const bool raised = [] {
    constexpr rlim_t kWanted = rlim_t{64} << 20;
    rlimit limit{};
    if (getrlimit(RLIMIT_STACK, &limit) != 0) return false;
    if (limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur >= kWanted) return true;
    limit.rlim_cur = limit.rlim_max == RLIM_INFINITY ? kWanted : std::min(kWanted, limit.rlim_max);
    return setrlimit(RLIMIT_STACK, &limit) == 0;
  }();
  (void)raised;
}

}  // namespace

TCustomTreeViewEx::TCustomTreeViewEx(QWidget* parent) : QTreeView(parent), nodeModel_(new TTreeNodeModel(this)) {
  AllowDeepLayouts();
  setModel(nodeModel_);
  setHeaderHidden(true);
  header()->setSortIndicator(0, Qt::AscendingOrder);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setUniformRowHeights(true);
  setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked);
  setDragEnabled(false);  // drags start from our own press rules
  setAcceptDrops(true);
  viewport()->setAcceptDrops(true);
  setDropIndicatorShown(false);
  setMouseTracking(true);
  setItemDelegate(new LabelDelegate(this));

  ClockService& clock = Platform::Instance().Clock();
  scrollTimer_ = clock.CreateTimer([this] { RunGuarded([&] { TimerFired(kScrollTimerId); }); });
  selectTimer_ = clock.CreateTimer([this] { RunGuarded([&] { TimerFired(kSelectTimerId); }); });

  connect(this, &TCustomTreeViewEx::currentItemChanged, this, [this](TTreeNode* current, TTreeNode*) {
    RunGuarded([&] { SelectionChanged(current); });
  });
}

TCustomTreeViewEx::~TCustomTreeViewEx() {
  StopTimers();
  QSignalBlocker block(this);
  rightClickNode_ = nullptr;
  dropTargetNode_ = nullptr;
  clear();
}

// ---------------------------------------------------------------------------------------------
// Nodes

TTreeNode* TCustomTreeViewEx::invisibleRootItem() const { return nodeModel_->Root(); }
int TCustomTreeViewEx::topLevelItemCount() const { return nodeModel_->Root()->childCount(); }
TTreeNode* TCustomTreeViewEx::topLevelItem(int index) const { return nodeModel_->Root()->child(index); }
void TCustomTreeViewEx::addTopLevelItem(TTreeNode* node) { nodeModel_->Root()->addChild(node); }

void TCustomTreeViewEx::addTopLevelItems(const QList<TTreeNode*>& nodes) {
  nodeModel_->Root()->insertChildren(topLevelItemCount(), std::vector<TTreeNode*>(nodes.begin(), nodes.end()));
}

void TCustomTreeViewEx::clear() {
  selectionModel()->clear();
  nodeModel_->Clear();
}

TTreeNode* TCustomTreeViewEx::currentItem() const { return itemFromIndex(currentIndex()); }
void TCustomTreeViewEx::setCurrentItem(TTreeNode* node) { setCurrentIndex(indexFromItem(node)); }
TTreeNode* TCustomTreeViewEx::itemAt(QPoint pos) const { return itemFromIndex(indexAt(pos)); }
QRect TCustomTreeViewEx::visualItemRect(const TTreeNode* node) const { return visualRect(indexFromItem(node)); }
TTreeNode* TCustomTreeViewEx::itemAbove(const TTreeNode* node) const { return itemFromIndex(indexAbove(indexFromItem(node))); }
TTreeNode* TCustomTreeViewEx::itemBelow(const TTreeNode* node) const { return itemFromIndex(indexBelow(indexFromItem(node))); }

void TCustomTreeViewEx::scrollToItem(const TTreeNode* node, ScrollHint hint) {
  if (const QModelIndex at = indexFromItem(node); at.isValid()) scrollTo(at, hint);
}

void TCustomTreeViewEx::editItem(TTreeNode* node, int column) {
  if (column == 0) QTreeView::edit(indexFromItem(node));  // reaches edit(index, AllEditTriggers, ...)
}

TTreeNode* TCustomTreeViewEx::itemFromIndex(const QModelIndex& index) const {
  return index.model() == nodeModel_ ? TTreeNodeModel::NodeOf(index) : nullptr;
}

QModelIndex TCustomTreeViewEx::indexFromItem(const TTreeNode* node) const { return nodeModel_->IndexOf(node); }

QList<TTreeNode*> TCustomTreeViewEx::findItems(const QString& text, Qt::MatchFlags flags) const {
  QList<TTreeNode*> found;
  if (topLevelItemCount() == 0) return found;
  const QModelIndexList hits = nodeModel_->match(nodeModel_->index(0, 0), Qt::DisplayRole, text, -1, flags);
  for (const QModelIndex& hit : hits) found.append(itemFromIndex(hit));
  return found;
}

void TCustomTreeViewEx::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
  QTreeView::currentChanged(current, previous);
  emit currentItemChanged(itemFromIndex(current), itemFromIndex(previous));
}

// ---------------------------------------------------------------------------------------------
// Properties and node helpers

void TCustomTreeViewEx::SetSortType(TSortType value) {
  const bool wasByText = SortsByText();
  sortType_ = value;
  if (SortsByText() && !wasByText) SortAllByText();
}

void TCustomTreeViewEx::AttachNode(TTreeNode* parent, TTreeNode* node) {
  TTreeNode* owner = parent ? parent : invisibleRootItem();
  if (!SortsByText()) {
    owner->addChild(node);
    return;
  }
  // Siblings are in text order: insert after the last one that does not sort after the node.
  int lo = 0;
  int hi = owner->childCount();
  while (lo < hi) {
    const int mid = (lo + hi) / 2;
    if (*node < *owner->child(mid)) hi = mid;
    else lo = mid + 1;
  }
  owner->insertChild(lo, node);
}

void TCustomTreeViewEx::SortChildrenOf(TTreeNode* parent) {
  (parent ? parent : invisibleRootItem())->sortChildren();
}

void TCustomTreeViewEx::SortAllByText() {
  std::vector<TTreeNode*> pending{invisibleRootItem()};
  while (!pending.empty()) {
    TTreeNode* node = pending.back();
    pending.pop_back();
    if (node->childCount() < 1) continue;
    node->sortChildren();
    for (int i = 0; i < node->childCount(); ++i) pending.push_back(node->child(i));
  }
}

bool TCustomTreeViewEx::ScrollTimerRunning() const { return scrollTimer_ && scrollTimer_->IsActive(); }
bool TCustomTreeViewEx::SelectTimerRunning() const { return selectTimer_ && selectTimer_->IsActive(); }

bool TCustomTreeViewEx::IsOnlyRoot(const TTreeNode* node) const {
  return IsTopLevel(node) && topLevelItemCount() == 1;
}

void TCustomTreeViewEx::Select(TTreeNode* node) {
  if (node) setCurrentItem(node);
}

void TCustomTreeViewEx::MakeVisible(TTreeNode* node) {
  if (!node) return;
  for (TTreeNode* p = node->parent(); p; p = p->parent())
    if (!p->isExpanded()) p->setExpanded(true);
  scrollToItem(node);
}

TTreeNode* TCustomTreeViewEx::TopItem() const { return itemAt(QPoint(1, 1)); }

void TCustomTreeViewEx::SetTopItem(TTreeNode* node) {
  if (node) scrollToItem(node, QAbstractItemView::PositionAtTop);
}

THitArea TCustomTreeViewEx::HitTest(QPoint pos) const {
  TTreeNode* node = itemAt(pos);
  if (!node) return haNowhere;
  const QRect rect = visualItemRect(node);
  if (pos.x() < rect.left()) {
    const bool onButtonColumn = pos.x() >= rect.left() - indentation();
    return onButtonColumn && node->childCount() > 0 ? haOnButton : haOnIndent;
  }
  const int margin = style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1;
  int width = fontMetrics().horizontalAdvance(node->text(0)) + 2 * margin;
  if (!node->icon(0).isNull()) width += iconSize().width() + margin;
  return pos.x() <= rect.left() + width ? haOnItem : haOnRight;
}

void TCustomTreeViewEx::BeginNodeUpdate() {
  if (updateCount_++ == 0) setUpdatesEnabled(false);
}

void TCustomTreeViewEx::EndNodeUpdate() {
  if (updateCount_ > 0 && --updateCount_ == 0) setUpdatesEnabled(true);
}

void TCustomTreeViewEx::SetNodeText(TTreeNode* node, const QString& text) {
  if (!node) return;
  node->setText(0, text);
  if (SortsByText()) SortChildrenOf(node->parent());
}

void TCustomTreeViewEx::RemoveNode(TTreeNode* node) {
  if (!node) return;
  // References into the subtree go first: the items are freed below.
  for (TTreeNode* p = rightClickNode_; p; p = p->parent())
    if (p == node) rightClickNode_ = nullptr;
  for (TTreeNode* p = dropTargetNode_; p; p = p->parent())
    if (p == node) dropTargetNode_ = nullptr;
  delete node;
}

TTreeNode* TCustomTreeViewEx::CreateNode() {
  auto* node = new TTreeNodeEx();
  node->setFlags(node->flags() | Qt::ItemIsEditable);
  return node;
}

void TCustomTreeViewEx::StartLabelEdit(TTreeNode* node) {
  if (node && !IsEditingLabel()) editItem(node, 0);
}

void TCustomTreeViewEx::EndLabelEdit(bool accept) {
  QWidget* editor = openEditor_;
  if (!IsEditingLabel() || !editor) return;
  if (accept) {
    commitData(editor);
    closeEditor(editor, QAbstractItemDelegate::SubmitModelCache);
  } else {
    closeEditor(editor, QAbstractItemDelegate::RevertModelCache);
  }
}

bool TCustomTreeViewEx::ControlHasFocus() const {
  QWidget* focus = QApplication::focusWidget();
  return focus && (focus == this || isAncestorOf(focus));
}

std::uint64_t TCustomTreeViewEx::Now() const { return Platform::Instance().Clock().TickCount(); }

// ---------------------------------------------------------------------------------------------
// Virtual operations

void TCustomTreeViewEx::StopTimers() {
  if (scrollTimer_) scrollTimer_->Stop();
  if (selectTimer_) selectTimer_->Stop();
}

bool TCustomTreeViewEx::CanDeleteOneNode(TTreeNode* node) {
  if (!node || readOnly_ || !HasExOption(txAllowDelete)) return false;
  if (HasExOption(txRootItemReadOnly) && IsTopLevel(node)) return false;
  bool allow = true;
  if (OnCanDeleteNode) OnCanDeleteNode(*this, node, allow);
  return allow;
}

bool TCustomTreeViewEx::CanDeleteNode(TTreeNode* node) {
  // The node, then every descendant in order (each child before the next one's subtree); the
  // first refusal decides. An explicit stack: chains can be many thousands deep.
  std::vector<TTreeNode*> pending{node};
  while (!pending.empty()) {
    TTreeNode* n = pending.back();
    pending.pop_back();
    if (!CanDeleteOneNode(n)) return false;
    for (int i = n->childCount() - 1; i >= 0; --i) pending.push_back(n->child(i));
  }
  return true;
}

bool TCustomTreeViewEx::CanDragNode(TTreeNode* node) {
  BusyGuard busy(*this);
  if (!node || readOnly_) return false;
  if (HasExOption(txRootItemReadOnly) && IsTopLevel(node)) return false;
  bool allow = !IsOnlyRoot(node);
  if (allow && OnCanDragNode) OnCanDragNode(*this, node, allow);
  return allow;
}

QString TCustomTreeViewEx::GetDeleteConfirmText(TTreeNode* node) {
  QString text = DeleteItemQuestion;
  if (text.contains(QStringLiteral("%s"))) text.replace(QStringLiteral("%s"), node ? node->text(0) : QString());
  return text;
}

bool TCustomTreeViewEx::DeleteNode(TTreeNode* node) {
  RemoveNode(node);
  return true;
}

void TCustomTreeViewEx::InsertNode(bool asChild) {
  StopTimers();
  BusyGuard busy(*this);
  TTreeNode* selected = Selected();
  TTreeNode* node = CreateNode();
  if (asChild && selected) {
    AttachNode(selected, node);
    selected->setExpanded(true);
  } else if (selected && SortsByText()) {
    AttachNode(selected->parent(), node);
  } else if (selected) {
    TTreeNode* parent = selected->parent() ? selected->parent() : invisibleRootItem();
    parent->insertChild(parent->indexOfChild(selected), node);
  } else {
    addTopLevelItem(node);
  }
  if (ControlHasFocus()) StartLabelEdit(node);
}

void TCustomTreeViewEx::DeleteSelected() {
  StopTimers();
  DeleteWithConfirmAndSettle(Selected());
}

bool TCustomTreeViewEx::MoveNode(TTreeNode* node, TTreeNode* target, TNodeAttachMode mode) {
  if (!node) return false;
  // Taking a node out of the tree forgets the expansion of its subtree: note it and put it back.
  std::vector<TTreeNode*> expanded;
  std::vector<TTreeNode*> pending{node};
  while (!pending.empty()) {
    TTreeNode* n = pending.back();
    pending.pop_back();
    if (n->isExpanded()) expanded.push_back(n);
    for (int i = 0; i < n->childCount(); ++i) pending.push_back(n->child(i));
  }
  // The current node goes out with the subtree it is in: it is made current again after.
  TTreeNode* current = currentItem();
  bool currentMoves = false;
  for (TTreeNode* p = current; p && !currentMoves; p = p->parent()) currentMoves = p == node;
  TTreeNode* oldParent = node->parent() ? node->parent() : invisibleRootItem();
  oldParent->takeChild(oldParent->indexOfChild(node));
  TTreeNode* newParent = (mode == naAddChild && target) ? target : nullptr;
  AttachNode(newParent, node);
  if (newParent) newParent->setExpanded(true);
  for (TTreeNode* n : expanded) n->setExpanded(true);
  if (currentMoves) setCurrentItem(current);
  MakeVisible(node);
  return true;
}

// ---------------------------------------------------------------------------------------------
// The delete walk

void TCustomTreeViewEx::DeleteWithConfirm(TTreeNode* node) {
  if (!CanDeleteNode(node)) return;
  DeleteState state;
  state.buttonsIndex = node->childCount() > 0 ? 1 : 0;
  ++deleteWalkDepth_;
  struct Lower {
    TCustomTreeViewEx* v;
    ~Lower() { --v->deleteWalkDepth_; }
  } lower{this};
  DeleteSubtree(node, false, state);
}

void TCustomTreeViewEx::DeleteWithConfirmAndSettle(TTreeNode* node) {
  DeleteWithConfirm(node);
  if (deleteWalkDepth_ == 0) DeleteWalkEnded();
}

void TCustomTreeViewEx::DeleteSubtree(TTreeNode* node, bool nested, DeleteState& state) {
  // Descendants first, deepest first and last child first, then the node itself. An explicit
  // stack of (node, next child to visit): chains can be many thousands deep.
  if (state.stop || !node) return;
  struct Frame {
    TTreeNode* node;
    int nextChild;
  };
  std::vector<Frame> stack{{node, node->childCount() - 1}};
  while (!stack.empty()) {
    Frame& frame = stack.back();
    if (frame.nextChild >= 0) {
      const int i = frame.nextChild--;
      if (i >= frame.node->childCount()) continue;
      TTreeNode* child = frame.node->child(i);
      stack.push_back({child, child->childCount() - 1});  // `frame` is not used after this
      continue;
    }
    TTreeNode* current = frame.node;
    stack.pop_back();
    DeleteOneNode(current, nested || !stack.empty(), state);
    if (state.stop) return;
  }
}

void TCustomTreeViewEx::DeleteOneNode(TTreeNode* node, bool nested, DeleteState& state) {
  TTreeNode* prev = nullptr;
  TTreeNode* next = nullptr;
  if (!nested) {
    prev = Selected();
    // The selection may lie inside the subtree: on the node itself, or on a descendant the walk
    // could not delete (and left selected). It goes with the node, so the next one is outside.
    bool prevInside = false;
    for (TTreeNode* p = prev; p && !prevInside; p = p->parent()) prevInside = p == node;
    if (prevInside || !prev) {
      TTreeNode* parent = node->parent() ? node->parent() : invisibleRootItem();
      const int at = parent->indexOfChild(node);
      if (at + 1 < parent->childCount()) next = parent->child(at + 1);
      else if (at > 0) next = parent->child(at - 1);
      else next = node->parent();
    } else {
      next = prev;
    }
  }
  // Once the answers are known (All, or no questions at all) a descendant is not selected
  // first: that would only make its record current, which DeleteNode does itself, and each
  // selection makes the control lay out every open row again (quadratic on a long open chain).
  const bool asking = !state.yesToAll && HasExOption(txConfirmDelete);
  if (!nested || asking) Select(node);
  const bool ok = ConfirmDeleteNode(node, state);
  state.stop = !ok;
  if (ok) {
    DeleteNode(node);
    if (!nested && next) Select(next);
  } else if (!nested && prev) {
    Select(prev);
  }
}

bool TCustomTreeViewEx::ConfirmDeleteNode(TTreeNode* node, DeleteState& state) {
  if (state.yesToAll || !HasExOption(txConfirmDelete)) {
    state.yesToAll = true;
    return true;
  }
  const MessageButtons buttons = state.buttonsIndex == 1 ? (mbOK | mbCancel | mbAll) : (mbOK | mbCancel);
  const MessageButton answer = Platform::Instance().MessageBoxes().Show(
      QString::fromUtf8(kApplicationTitle), GetDeleteConfirmText(node), MessageIcon::Confirmation, buttons);
  if (answer == mbOK) return true;
  if (answer == mbAll) {
    state.yesToAll = true;
    return true;
  }
  return false;
}

// ---------------------------------------------------------------------------------------------
// Selection, label editing, timers

void TCustomTreeViewEx::SelectionChanged(TTreeNode* current) {
  if (OnChange) OnChange(*this, current);
}

bool TCustomTreeViewEx::CanEditLabel(TTreeNode* node) {
  StopTimers();
  if (readOnly_ || HasExOption(txNoLabelEdit)) return false;
  if (HasExOption(txRootItemReadOnly) && IsTopLevel(node)) return false;
  bool allow = true;
  if (OnEditing) OnEditing(*this, node, allow);
  return allow;
}

void TCustomTreeViewEx::EditedText(TTreeNode* node, QString& text) {
  if (OnEdited) OnEdited(*this, node, text);
  SetNodeText(node, text);
}

bool TCustomTreeViewEx::edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) {
  const bool opening =
      trigger == QAbstractItemView::AllEditTriggers ||
      ((editTriggers() & trigger) && trigger != QAbstractItemView::SelectedClicked);
  if (!opening || IsEditingLabel()) return QTreeView::edit(index, trigger, event);
  TTreeNode* node = itemFromIndex(index);
  bool allowed = false;
  RunGuarded([&] { allowed = node && CanEditLabel(node) && BeginLabelEdit(node); });
  if (!allowed) return false;
  committed_ = false;
  // The begin step may have rebuilt the nodes; open the editor only on a node that still exists.
  const QModelIndex again = indexFromItem(node == currentItem() ? node : currentItem());
  if (!again.isValid()) return false;
  const QModelIndex target = index.isValid() ? index : again;
  editIndex_ = target;
  return QTreeView::edit(target, trigger, event);
}

void TCustomTreeViewEx::commitData(QWidget* editor) {
  auto* line = qobject_cast<QLineEdit*>(editor);
  TTreeNode* node = editIndex_.isValid() ? itemFromIndex(editIndex_) : currentItem();
  if (!line || !node || committed_) return;
  committed_ = true;
  QString text = line->text();
  RunGuarded([&] { EditedText(node, text); });
}

void TCustomTreeViewEx::closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) {
  if (!IsEditingLabel()) return;  // closed already (an editor can report twice)
  QTreeView::closeEditor(editor, hint);
  openEditor_ = nullptr;
  RunGuarded([&] { LabelEditEnded(); });
}

void TCustomTreeViewEx::TimerFired(int timerId) {
  if (timerId == kSelectTimerId) {
    selectTimer_->Stop();
    RaiseMouseSelect();
    return;
  }
  if (timerId != kScrollTimerId) return;
  scrollTimer_->Stop();
  const QPoint p = viewport()->mapFromGlobal(QCursor::pos());
  TTreeNode* node = NodeAtClamped(p);
  if (!node) return;
  AutoScroll(node, p.x(), p.y());
  if (HasExOption(txMouseMoveSelect) || dragInProgress_) {
    // The node now under the pointer is selected only when wholly in view: making a half
    // visible edge row visible would scroll a second row in the same tick.
    TTreeNode* after = NodeAtClamped(p);
    if (after) {
      const QRect rect = visualItemRect(after);
      if (rect.top() >= 0 && rect.top() + rect.height() <= viewport()->height() &&
          HasExOption(txMouseMoveSelect))
        Select(after);
    }
  }
}

void TCustomTreeViewEx::RaiseMouseSelect() {
  if (OnMouseSelect) OnMouseSelect(*this);
}

void TCustomTreeViewEx::StartSelectTimer(std::uint64_t elapsed) {
  if (selectTimer_->IsActive()) return;
  const std::int64_t rest = static_cast<std::int64_t>(Platform::Instance().Clock().DoubleClickTime()) -
                            static_cast<std::int64_t>(elapsed);
  selectTimer_->Start(static_cast<int>(std::max<std::int64_t>(rest, 1)));
}

// ---------------------------------------------------------------------------------------------
// Keys

void TCustomTreeViewEx::keyPressEvent(QKeyEvent* event) {
  RunGuarded([&] {
    if (event->key() == Qt::Key_Escape && dragInProgress_) {
      CancelDrag();
      mouseStateFlags_ |= msSwallowNextChar;
      event->accept();
      return;
    }
    if ((mouseStateFlags_ & msSwallowNextChar) && event->key() == Qt::Key_Escape) {
      // The Escape that cancelled a drag repeats: its character never reaches the control.
      event->accept();
      return;
    }
    KeyPrologue();
    StopTimers();
    int key = event->key();
    if (OnKeyDown) OnKeyDown(*this, key, event->modifiers());
    if (key == 0) {
      event->accept();
      return;
    }
    if (key == Qt::Key_Insert && HasExOption(txAllowInsert) && !IsEditingLabel() && !readOnly_) {
      const bool child = HasExOption(txInsertAsChild) ||
                         (event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier));
      event->accept();
      InsertNode(child);
      return;
    }
    if (key == Qt::Key_Delete && HasExOption(txAllowDelete) && !IsEditingLabel() && !readOnly_) {
      event->accept();
      DeleteSelected();
      return;
    }
    QTreeView::keyPressEvent(event);
  });
}

void TCustomTreeViewEx::keyReleaseEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape) mouseStateFlags_ &= static_cast<std::uint8_t>(~msSwallowNextChar);
  QTreeView::keyReleaseEvent(event);
}

// ---------------------------------------------------------------------------------------------
// Pointer

void TCustomTreeViewEx::mouseDoubleClickEvent(QMouseEvent* event) {
  RunGuarded([&] {
    selectTimer_->Stop();
    mouseStateFlags_ |= msDoubleClicked;
    dragStartArmed_ = false;
    QTreeView::mouseDoubleClickEvent(event);
  });
}

void TCustomTreeViewEx::mousePressEvent(QMouseEvent* event) {
  RunGuarded([&] {
    const QPoint pos = event->position().toPoint();
    if (event->button() == Qt::RightButton) {
      mouseStateFlags_ |= msRightButtonDown;
      rightClickNode_ = itemAt(pos);
      if (OnMouseDown) OnMouseDown(*this, event->button(), pos);
      event->accept();
      return;
    }
    if (event->button() == Qt::LeftButton) mouseDownTick_ = Now();
    TTreeNode* wasSelected = Selected();
    if (OnMouseDown) OnMouseDown(*this, event->button(), pos);
    QTreeView::mousePressEvent(event);
    dragStartArmed_ = false;
    TTreeNode* selected = Selected();
    if (event->button() != Qt::LeftButton || dragInProgress_ || !selected || itemAt(pos) != selected ||
        selected != wasSelected)
      return;
    if (HasExOption(txAutoDragMove) && CanDragNode(selected)) {
      dragStartArmed_ = true;
      dragStartPos_ = pos;
    }
    if (OnMouseSelect && !HasExOption(txMouseMoveSelect)) {
      if (HitTest(pos) != haOnItem) return;
      if (selected->childCount() > 0) StartSelectTimer(TicksBetween(mouseDownTick_, Now()));
      else RaiseMouseSelect();
    }
  });
}

TTreeNode* TCustomTreeViewEx::NodeAtClamped(QPoint pos) const {
  const int w = viewport()->width();
  const int h = viewport()->height();
  QPoint pc = pos;
  if (pc.x() <= 0) pc.setX(1);
  else if (pc.x() >= w) pc.setX(w - 1);
  if (pc.y() <= 0) pc.setY(1);
  else if (pc.y() >= h) pc.setY(h - 1);
  return itemAt(pc);
}

void TCustomTreeViewEx::mouseMoveEvent(QMouseEvent* event) {
  RunGuarded([&] {
    const QPoint pos = event->position().toPoint();
    const bool leftHeld = event->buttons() & Qt::LeftButton;
    if (dragStartArmed_ && leftHeld &&
        (pos - dragStartPos_).manhattanLength() >= QApplication::startDragDistance()) {
      dragStartArmed_ = false;
      StartNodeDrag();
      return;
    }
    // Moves with a button held never drag a selection along (the selection changes only by
    // the rules below).
    if (!(event->buttons() & (Qt::LeftButton | Qt::RightButton))) QTreeView::mouseMoveEvent(event);
    if (!HasExOption(txMouseMoveSelect) && !dragInProgress_) return;
    TTreeNode* node = nullptr;
    if (leftHeld) {
      node = NodeAtClamped(pos);
      if (node) {
        AutoScroll(node, pos.x(), pos.y());
        node = NodeAtClamped(pos);
      }
    } else {
      node = itemAt(pos);
    }
    if (!node) return;
    const QRect rect = visualItemRect(node);
    if (rect.top() >= 0 && rect.top() + rect.height() <= viewport()->height()) {
      MakeVisible(node);
      if (!dragInProgress_) Select(node);
    }
  });
}

void TCustomTreeViewEx::mouseReleaseEvent(QMouseEvent* event) {
  RunGuarded([&] {
    const QPoint pos = event->position().toPoint();
    scrollTimer_->Stop();
    dragStartArmed_ = false;
    if (event->button() == Qt::RightButton) {
      // The pop-up menu comes with the context-menu event that follows.
      if (OnMouseUp && !(mouseStateFlags_ & msRightButtonDown)) OnMouseUp(*this, event->button(), pos);
      event->accept();
      return;
    }
    if (OnMouseUp) OnMouseUp(*this, event->button(), pos);
    QTreeView::mouseReleaseEvent(event);
    if (mouseStateFlags_ & msDoubleClicked) {
      mouseStateFlags_ &= static_cast<std::uint8_t>(~msDoubleClicked);
      return;
    }
    TTreeNode* selected = Selected();
    if (event->button() != Qt::LeftButton || dragInProgress_ || !selected || itemAt(pos) != selected) return;
    const std::uint64_t elapsed = TicksBetween(mouseDownTick_, Now());
    if (elapsed >= static_cast<std::uint64_t>(Platform::Instance().Clock().DoubleClickTime())) return;
    if (!OnMouseSelect) return;
    const THitArea hit = HitTest(pos);
    if (HasExOption(txMouseMoveSelect) ? (hit != haOnItem && hit != haOnRight) : hit != haOnItem) return;
    if (selected->childCount() > 0) StartSelectTimer(elapsed);
    else RaiseMouseSelect();
  });
}

void TCustomTreeViewEx::contextMenuEvent(QContextMenuEvent* event) {
  RunGuarded([&] {
    QPoint p = viewport()->mapFromGlobal(event->globalPos());
    if (event->reason() == QContextMenuEvent::Mouse) {
      rightClickNode_ = itemAt(p);
    } else {
      rightClickNode_ = Selected();
      if (rightClickNode_) p.setX(visualItemRect(rightClickNode_).left());
    }
    if (rightClickNode_) p.setY(visualItemRect(rightClickNode_).bottom());
    mouseStateFlags_ &= static_cast<std::uint8_t>(~(msRightButtonDown | msUpdateLocked));
    if (OnMouseUp) OnMouseUp(*this, Qt::RightButton, p);
    if (popupMenu_) popupMenu_->popup(viewport()->mapToGlobal(p));
    event->accept();
  });
}

void TCustomTreeViewEx::focusOutEvent(QFocusEvent* event) {
  mouseStateFlags_ &= static_cast<std::uint8_t>(~(msRightButtonDown | msUpdateLocked));
  QTreeView::focusOutEvent(event);
}

// ---------------------------------------------------------------------------------------------
// Drag and drop

QMimeData* TCustomTreeViewEx::CreateDragData() const {
  auto* data = new QMimeData();
  data->setData(kNodeDragFormat, QByteArray::number(reinterpret_cast<quintptr>(this)));
  return data;
}

bool TCustomTreeViewEx::IsOwnDrag(const QMimeData* data) const {
  return data && data->hasFormat(kNodeDragFormat) &&
         data->data(kNodeDragFormat) == QByteArray::number(reinterpret_cast<quintptr>(this));
}

void TCustomTreeViewEx::MakeDragImage(TTreeNode* node) {
  dragImage_ = QPixmap();
  if (dragImageShow_ == tvdisNever || !node) return;
  // The control makes an image of a node only with an image list attached; "always" attaches a
  // temporary one, which comes to the same picture of the node's text.
  if (!hasImages_ && dragImageShow_ != tvdisAlways) return;
  const QString text = node->text(0);
  const QFontMetrics metrics = fontMetrics();
  QPixmap image(std::max(1, metrics.horizontalAdvance(text) + 8), metrics.height() + 4);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  painter.setFont(font());
  painter.setPen(palette().color(QPalette::Text));
  painter.drawText(image.rect(), Qt::AlignCenter, text);
  painter.end();
  dragImage_ = image;
}

void TCustomTreeViewEx::StartNodeDrag() {
  TTreeNode* node = Selected();
  if (!node) return;
  MakeDragImage(node);
  auto* drag = new QDrag(this);
  drag->setMimeData(CreateDragData());
  if (!dragImage_.isNull()) drag->setPixmap(dragImage_);
  dragInProgress_ = true;
  const Qt::DropAction result = drag->exec(Qt::MoveAction);
  if (dragInProgress_ && result == Qt::IgnoreAction) {
    dragInProgress_ = false;
    DragCancelled();
  }
  dragInProgress_ = false;
}

void TCustomTreeViewEx::CancelDrag() {
  if (!dragInProgress_) return;
  dragInProgress_ = false;
  QDrag::cancel();
  DragCancelled();
}

void TCustomTreeViewEx::DragCancelled() {
  StopTimers();
  ClearDropTarget();
  if (Selected()) MakeVisible(Selected());
}

void TCustomTreeViewEx::ClearDropTarget() {
  if (!dropTargetNode_) return;
  dropTargetNode_ = nullptr;
  viewport()->update();
}

bool TCustomTreeViewEx::DragOverAccepts(QPoint pos) {
  dropAtTopLevel_ = false;
  TTreeNode* node = itemAt(pos);
  bool accept = false;
  if (OnDragOver) {
    OnDragOver(*this, pos, accept);
    if (!accept) return false;
  }
  if (!HasExOption(txAutoDragMove)) return accept;
  accept = false;
  TTreeNode* sel = Selected();
  if (!sel || readOnly_) return false;
  if (HasExOption(txTopLevelDrop) && !IsTopLevel(sel)) {
    if (!node || HitTest(pos) == haOnIndent) {
      dropAtTopLevel_ = true;
      return true;
    }
  }
  if (!node) return false;
  if (node == sel || node == sel->parent()) return false;
  for (TTreeNode* p = node->parent(); p; p = p->parent())
    if (p == sel) return false;  // a drop onto a descendant would make a cycle
  const THitArea hit = HitTest(pos);
  return hit == haOnItem || hit == haOnRight;
}

void TCustomTreeViewEx::dragEnterEvent(QDragEnterEvent* event) {
  RunGuarded([&] {
    if (!IsOwnDrag(event->mimeData())) {
      event->ignore();
      return;
    }
    dragInProgress_ = true;
    event->setDropAction(Qt::MoveAction);
    event->accept();
  });
}

void TCustomTreeViewEx::dragMoveEvent(QDragMoveEvent* event) {
  RunGuarded([&] {
    if (!IsOwnDrag(event->mimeData())) {
      event->ignore();
      return;
    }
    dragInProgress_ = true;
    const QPoint pos = event->position().toPoint();
    const bool accepted = DragOverAccepts(pos);
    TTreeNode* node = itemAt(pos);
    if (node) {
      TTreeNode* before = dropTargetNode_;
      dropTargetNode_ = accepted ? node : nullptr;
      if (before != dropTargetNode_) viewport()->update();
      AutoScroll(node, pos.x(), pos.y());
    }
    if (dropTargetNode_ && (dropAtTopLevel_ || !accepted)) ClearDropTarget();
    if (accepted) {
      event->setDropAction(Qt::MoveAction);
      event->accept();
    } else {
      event->ignore();
    }
  });
}

void TCustomTreeViewEx::dragLeaveEvent(QDragLeaveEvent* event) {
  RunGuarded([&] {
    ClearDropTarget();
    StopTimers();
    event->accept();
  });
}

void TCustomTreeViewEx::dropEvent(QDropEvent* event) {
  RunGuarded([&] {
    StopTimers();
    ClearDropTarget();
    const bool own = IsOwnDrag(event->mimeData());
    dragInProgress_ = false;
    if (!own) {
      event->ignore();
      return;
    }
    event->setDropAction(Qt::MoveAction);
    event->accept();
    DropAt(event->position().toPoint());
  });
}

void TCustomTreeViewEx::DropAt(QPoint pos) {
  TTreeNode* sel = Selected();
  if (!sel || !HasExOption(txAutoDragMove)) return;
  const THitArea hit = HitTest(pos);
  TTreeNode* node = itemAt(pos);
  if (node) {
    if (HasExOption(txTopLevelDrop) && hit == haOnIndent && !IsTopLevel(sel)) {
      MoveNode(sel, nullptr, naAdd);
    } else if (hit == haOnItem || hit == haOnRight) {
      if (node == sel || node == sel->parent()) return;
      for (TTreeNode* p = node->parent(); p; p = p->parent())
        if (p == sel) return;
      MoveNode(sel, node, naAddChild);
    }
  } else if (HasExOption(txTopLevelDrop) && !IsTopLevel(sel)) {
    MoveNode(sel, nullptr, naAdd);
  }
}

TTreeNode* TCustomTreeViewEx::VisibleNodeAbove(TTreeNode* node) const { return itemAbove(node); }
TTreeNode* TCustomTreeViewEx::VisibleNodeBelow(TTreeNode* node) const { return itemBelow(node); }

void TCustomTreeViewEx::AutoScroll(TTreeNode* node, int x, int y) {
  if (!node) return;
  const int h = viewport()->height();
  const bool d = dragInProgress_;
  const bool up = y < kEdgeZone && (y >= 0 || (!d && y > -kEdgeZone));
  const bool down = !up && y > h - kEdgeZone && (y <= h || (!d && y < h + kEdgeZone));
  if (!up && !down) return;
  const std::uint64_t now = Now();
  if (scrolledOnce_ && TicksBetween(lastScrollTick_, now) < static_cast<std::uint64_t>(kScrollIntervalMs)) return;
  TTreeNode* target = up ? VisibleNodeAbove(node) : VisibleNodeBelow(node);
  if (!target) return;
  lastScrollTick_ = now;
  scrolledOnce_ = true;
  // One row towards the edge, when the target is not already wholly in view.
  const QRect rect = visualItemRect(target);
  if (rect.top() < 0 || rect.top() + rect.height() > h) {
    QScrollBar* bar = verticalScrollBar();
    const int step = verticalScrollMode() == QAbstractItemView::ScrollPerItem ? 1 : rect.height();
    bar->setValue(bar->value() + (up ? -step : step));
  }
  if (up) viewport()->update();
  if (!scrollTimer_->IsActive()) scrollTimer_->Start(kScrollIntervalMs);
}

void TCustomTreeViewEx::drawRow(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
  if (dropTargetNode_ && itemFromIndex(index) == dropTargetNode_) {
    QStyleOptionViewItem highlighted = option;
    highlighted.state |= QStyle::State_Selected;
    QTreeView::drawRow(painter, highlighted, index);
    return;
  }
  QTreeView::drawRow(painter, option, index);
}

}  // namespace tindrel
