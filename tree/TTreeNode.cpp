#include "tree/TTreeNode.h"

#include <QTreeView>

#include <algorithm>
#include <utility>

#include "tree/TTreeNodeModel.h"

namespace tindrel {

TTreeNode::~TTreeNode() {
  if (parent_) {
    const int at = parent_->indexOfChild(this);
    if (at >= 0) parent_->takeChild(at);
  }
  FreeChildren();
}

bool TTreeNode::operator<(const TTreeNode& other) const { return text_ < other.text_; }

TTreeNode* TTreeNode::clone() const {
  auto copyOne = [](const TTreeNode& from) {
    auto* to = new TTreeNode(from.type_);
    to->text_ = from.text_;
    to->flags_ = from.flags_;
    if (from.roles_) to->roles_ = std::make_unique<std::map<int, QVariant>>(*from.roles_);
    return to;
  };
  TTreeNode* top = copyOne(*this);
  std::vector<std::pair<const TTreeNode*, TTreeNode*>> pending{{this, top}};
  while (!pending.empty()) {
    auto [from, to] = pending.back();
    pending.pop_back();
    for (const TTreeNode* c : from->children_) {
      TTreeNode* copy = copyOne(*c);
      to->addChild(copy);
      pending.emplace_back(c, copy);
    }
  }
  return top;
}

TTreeNode* TTreeNode::parent() const {
  // A top-level node hangs under the model's invisible root, which nobody outside sees.
  if (!parent_ || (model_ && parent_ == model_->Root())) return nullptr;
  return parent_;
}

TTreeNode* TTreeNode::child(int index) const {
  return index >= 0 && index < childCount() ? children_[static_cast<size_t>(index)] : nullptr;
}

int TTreeNode::indexOfChild(const TTreeNode* node) const {
  if (!node || node->parent_ != this) return -1;
  const int at = node->row_;
  return at >= 0 && at < childCount() && children_[static_cast<size_t>(at)] == node ? at : -1;
}

void TTreeNode::insertChild(int index, TTreeNode* node) {
  if (node) insertChildren(index, {node});
}

void TTreeNode::insertChildren(int index, std::vector<TTreeNode*> nodes) {
  std::erase_if(nodes, [this](const TTreeNode* n) { return !n || n->parent_ || n == this; });  // a node sits in one place only
  if (nodes.empty()) return;
  index = std::clamp(index, 0, childCount());
  if (!model_) {
    Adopt(index, std::move(nodes));
    return;
  }
  const int first = index;
  const int last = index + static_cast<int>(nodes.size()) - 1;
  model_->BeginInsert(this, first, last);
  Adopt(index, std::move(nodes));
  for (int row = first; row <= last; ++row) children_[static_cast<size_t>(row)]->SetModelOfSubtree(model_);
  model_->EndInsert(this, first, last);
  if (reopen_) {
    reopen_ = false;
    setExpanded(true);
  }
}

void TTreeNode::Adopt(int index, std::vector<TTreeNode*>&& nodes) {
  for (TTreeNode* n : nodes) n->parent_ = this;
  if (children_.empty()) children_ = std::move(nodes);
  else children_.insert(children_.begin() + index, nodes.begin(), nodes.end());
  Renumber(index);
}

TTreeNode* TTreeNode::takeChild(int index) {
  TTreeNode* node = child(index);
  if (!node) return nullptr;
  TTreeNodeModel* model = model_;
  // The view lays out a node without children as closed (the model marks leaves so), yet would
  // go on calling it open and so hide the next child it gets: an open node losing its last
  // child is closed first, and opened again when a child comes.
  if (model && childCount() == 1 && this != model->Root() && isExpanded()) {
    setExpanded(false);
    reopen_ = true;
  }
  if (model) model->BeginTake(this);
  children_.erase(children_.begin() + index);
  Renumber(index);
  node->parent_ = nullptr;
  if (model) model->EndTake(this, index, node);
  node->row_ = 0;
  node->SetModelOfSubtree(nullptr);
  return node;
}

void TTreeNode::sortChildren() {
  auto before = [](const TTreeNode* a, const TTreeNode* b) { return *a < *b; };
  if (std::is_sorted(children_.begin(), children_.end(), before)) return;  // nothing moves
  const std::vector<TTreeNode*> old = children_;
  if (model_) model_->BeginSort(this);
  std::stable_sort(children_.begin(), children_.end(), before);
  Renumber(0);
  if (model_) model_->EndSort(this, old);
}

void TTreeNode::setText(int column, const QString& text) {
  if (column != 0 || text_ == text) return;
  text_ = text;
  if (model_) model_->NodeChanged(this);
}

QVariant TTreeNode::data(int column, int role) const {
  if (column != 0) return {};
  if (role == Qt::DisplayRole || role == Qt::EditRole) return text_;
  if (!roles_) return {};
  const auto it = roles_->find(role);
  return it == roles_->end() ? QVariant() : it->second;
}

void TTreeNode::setData(int column, int role, const QVariant& value) {
  if (column != 0) return;
  if (role == Qt::DisplayRole || role == Qt::EditRole) {
    setText(0, value.toString());
    return;
  }
  if (!value.isValid()) {
    if (!roles_ || !roles_->erase(role)) return;
  } else {
    if (!roles_) roles_ = std::make_unique<std::map<int, QVariant>>();
    (*roles_)[role] = value;
  }
  if (model_) model_->NodeChanged(this);
}

QIcon TTreeNode::icon(int column) const { return data(column, Qt::DecorationRole).value<QIcon>(); }

void TTreeNode::setFlags(Qt::ItemFlags flags) {
  if (flags_ == flags) return;
  flags_ = flags;
  if (model_) model_->NodeChanged(this);
}

bool TTreeNode::isExpanded() const {
  QTreeView* view = model_ ? model_->View() : nullptr;
  return view && view->isExpanded(model_->IndexOf(this));
}

void TTreeNode::setExpanded(bool open) {
  if (QTreeView* view = model_ ? model_->View() : nullptr) view->setExpanded(model_->IndexOf(this), open);
}

void TTreeNode::SetModelOfSubtree(TTreeNodeModel* model) {
  std::vector<TTreeNode*> pending{this};
  while (!pending.empty()) {
    TTreeNode* n = pending.back();
    pending.pop_back();
    n->model_ = model;
    pending.insert(pending.end(), n->children_.begin(), n->children_.end());
  }
}

void TTreeNode::Renumber(int from) {
  for (size_t i = static_cast<size_t>(std::max(from, 0)); i < children_.size(); ++i)
    children_[i]->row_ = static_cast<int>(i);
}

void TTreeNode::FreeChildren() {
  std::vector<TTreeNode*> pending;
  pending.swap(children_);
  while (!pending.empty()) {
    TTreeNode* n = pending.back();
    pending.pop_back();
    pending.insert(pending.end(), n->children_.begin(), n->children_.end());
    n->children_.clear();
    n->parent_ = nullptr;
    n->model_ = nullptr;
    delete n;
  }
}

// ---------------------------------------------------------------------------------------------

TTreeNodeIterator::TTreeNodeIterator(TTreeNode* root) : root_(root), current_(root ? root->child(0) : nullptr) {}

TTreeNodeIterator& TTreeNodeIterator::operator++() {
  if (!current_) return *this;
  if (current_->childCount() > 0) {
    current_ = current_->child(0);
    return *this;
  }
  // Up until an ancestor (below the root) has a next sibling. The walk uses the stored parent,
  // so the invisible root of a model ends it like any other root.
  TTreeNode* n = current_;
  while (n && n != root_) {
    TTreeNode* up = n->parent() ? n->parent() : (n->model() ? n->model()->Root() : nullptr);
    if (!up) break;
    if (TTreeNode* next = up->child(up->indexOfChild(n) + 1)) {
      current_ = next;
      return *this;
    }
    n = up;
  }
  current_ = nullptr;
  return *this;
}

}  // namespace tindrel
