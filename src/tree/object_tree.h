// The object tree: databases, tables, keys, views and triggers with
// three-state check boxes.
#pragma once

#include <QTreeWidget>
#include <vector>

#include "scan/scan.h"
#include "scan/selection.h"
#include "tree/check_state.h"

namespace vostrel::gui {

class ObjectTree : public QTreeWidget {
  Q_OBJECT
 public:
  explicit ObjectTree(QWidget* parent = nullptr);

  void Populate(const TreeNode& root);
  void ClearAll();

  static int64_t ItemData(const QTreeWidgetItem* item);
  QTreeWidgetItem* FirstChecked() const;
  QTreeWidgetItem* NextChecked(QTreeWidgetItem* item) const;
  int CheckedCount() const { return state_.CheckedCount(); }
  // The checked items in display order, as the save runs take them.
  std::vector<SelectedItem> CheckedItems() const;
  void SetChecked(QTreeWidgetItem* item, bool checked);
  // Finds a node by its path of texts from the root ("MYSQL database", path, db, ...).
  QTreeWidgetItem* FindByPath(const QStringList& texts) const;

 signals:
  // A click on a node's text (not on its box, not a keyboard move).
  void NodeClicked(QTreeWidgetItem* item);

 private:
  void Refresh(const std::vector<int>& nodes);
  void AddNode(const TreeNode& node, QTreeWidgetItem* parent, int parent_id);
  int NodeId(const QTreeWidgetItem* item) const;

  CheckState state_;
  std::vector<QTreeWidgetItem*> items_;
  bool toggled_in_click_ = false;
  bool updating_ = false;
};

}  // namespace vostrel::gui
