#pragma once
// TTreeNode: one node of the tree views, with its title, its children and whether it is open.
// The nodes of one view belong to that view's TTreeNodeModel; a node built while detached (no
// model) can take children freely, and joins the model with its whole subtree when attached.
//
// Every change to an attached node goes through the model, so the view learns of exactly the
// rows that came, went or changed; a row's position is stored in the node, so finding a node's
// place costs nothing however many siblings it has.
//
// Deleting a node removes it from its parent (the view is told) and frees its subtree without
// recursion (chains of many thousand generations are allowed).

#include <QIcon>
#include <QString>
#include <QVariant>
#include <Qt>

#include <map>
#include <memory>
#include <vector>

namespace tindrel {

class TTreeNodeModel;

class TTreeNode {
 public:
  static constexpr int Type = 0;
  static constexpr int UserType = 1000;

  explicit TTreeNode(int type = Type) : type_(type) {}
  virtual ~TTreeNode();
  TTreeNode(const TTreeNode&) = delete;
  TTreeNode& operator=(const TTreeNode&) = delete;

  // Sibling order when the view sorts: by title.
  virtual bool operator<(const TTreeNode& other) const;
  // A detached copy of the node and its subtree.
  virtual TTreeNode* clone() const;

  int type() const { return type_; }
  // The parent node; none for a top-level node (and for a detached one).
  TTreeNode* parent() const;
  int childCount() const { return static_cast<int>(children_.size()); }
  TTreeNode* child(int index) const;
  int indexOfChild(const TTreeNode* node) const;

  void addChild(TTreeNode* node) { insertChild(childCount(), node); }
  void insertChild(int index, TTreeNode* node);
  // Inserts several nodes at once: the view hears of one block of rows. A detached node without
  // children keeps the vector itself as its children (a large build makes each family's once).
  void insertChildren(int index, std::vector<TTreeNode*> nodes);
  // Detaches the child at `index` and hands it to the caller (none for a bad index).
  TTreeNode* takeChild(int index);
  // Sorts the children by operator< (stable), one level only.
  void sortChildren();

  // Column 0 is the only column; the title is the display and edit value.
  QString text(int column = 0) const { return column == 0 ? text_ : QString(); }
  void setText(int column, const QString& text);
  QVariant data(int column, int role) const;
  void setData(int column, int role, const QVariant& value);
  QIcon icon(int column = 0) const;
  QString toolTip(int column = 0) const { return data(column, Qt::ToolTipRole).toString(); }

  Qt::ItemFlags flags() const { return flags_; }
  void setFlags(Qt::ItemFlags flags);

  // Open state, kept by the view; a detached node is never open.
  bool isExpanded() const;
  void setExpanded(bool open);

  TTreeNodeModel* model() const { return model_; }

 private:
  friend class TTreeNodeModel;

  void Adopt(int index, std::vector<TTreeNode*>&& nodes);
  // Sets the model of the node and of its whole subtree.
  void SetModelOfSubtree(TTreeNodeModel* model);
  void Renumber(int from);
  // Deletes every descendant without recursion and without telling anyone (they are detached).
  void FreeChildren();

  int type_;
  int row_ = 0;
  TTreeNode* parent_ = nullptr;  // for a top-level node: the model's invisible root
  TTreeNodeModel* model_ = nullptr;
  std::vector<TTreeNode*> children_;
  QString text_;
  Qt::ItemFlags flags_ = Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsDragEnabled | Qt::ItemIsDropEnabled;
  std::unique_ptr<std::map<int, QVariant>> roles_;  // roles other than the title, rarely used
  bool reopen_ = false;  // was open when it lost its last child: open again with the next one
};

// Walks a subtree depth-first, parents before children, closed nodes included: the root given
// is not visited, its descendants are.
class TTreeNodeIterator {
 public:
  explicit TTreeNodeIterator(TTreeNode* root);
  TTreeNode* operator*() const { return current_; }
  TTreeNodeIterator& operator++();

 private:
  TTreeNode* root_;
  TTreeNode* current_;
};

}  // namespace tindrel
