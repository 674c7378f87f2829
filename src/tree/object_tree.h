// The object tree: databases, tables, keys, views and triggers with
// three-state check boxes.
#pragma once

#include <QTreeWidget>
#include <map>
#include <vector>

#include "scan/recovery_report.h"
#include "scan/scan.h"
#include "scan/selection.h"
#include "tree/check_state.h"

namespace vostrel::gui {

// What a node is, from its place in the tree.
enum class NodeKind {
  kRoot,
  kDataPath,
  kDatabase,
  kTables,
  kViews,
  kTriggers,
  kTable,
  kView,
  kTrigger,
  kKeys,
  kOther
};

class ObjectTree : public QTreeWidget {
  Q_OBJECT
 public:
  explicit ObjectTree(QWidget* parent = nullptr);

  // Replaces the tree; nodes open before stay open.
  void Populate(const TreeNode& root);
  // Adds one database while a scan runs (the root and data path come first).
  void AppendDatabase(const QString& root_text, const QString& path_text, const TreeNode& database);
  void ClearAll();
  // Width the open nodes need, check boxes and pictures included.
  int ContentWidth() const { return sizeHintForColumn(0); }

  static int64_t ItemData(const QTreeWidgetItem* item);
  static NodeKind KindOf(const QTreeWidgetItem* item);
  QTreeWidgetItem* FirstChecked() const;
  QTreeWidgetItem* NextChecked(QTreeWidgetItem* item) const;
  int CheckedCount() const { return state_.CheckedCount(); }
  // The checked items in display order, as the save runs take them.
  std::vector<SelectedItem> CheckedItems() const;
  void SetChecked(QTreeWidgetItem* item, bool checked);
  // Finds a node by its path of texts from the root ("MYSQL database", path, db, ...).
  QTreeWidgetItem* FindByPath(const QStringList& texts) const;

  // The table node of scan entry `index` (0-based), or null.
  QTreeWidgetItem* TableItem(size_t index) const;
  // Marks a table with the picture of `state` and a tooltip (plain text).
  void MarkTable(size_t index, TableState state, const QString& tip);
  // The mark a table carries, when it has one.
  bool TableMark(size_t index, TableState* state) const;

 signals:
  // A click on a node's text (not on its box), or Enter on the current node.
  void NodeClicked(QTreeWidgetItem* item);

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void Refresh(const std::vector<int>& nodes);
  QTreeWidgetItem* AddNode(const TreeNode& node, QTreeWidgetItem* parent, int parent_id);
  int NodeId(const QTreeWidgetItem* item) const;
  QStringList PathOf(const QTreeWidgetItem* item) const;

  CheckState state_;
  std::vector<QTreeWidgetItem*> items_;
  std::map<size_t, QTreeWidgetItem*> tables_;
  std::map<size_t, TableState> marks_;
  std::map<NodeKind, QIcon> icons_;
  std::map<TableState, QIcon> mark_icons_;
  bool toggled_in_click_ = false;
  bool updating_ = false;
};

}  // namespace vostrel::gui
