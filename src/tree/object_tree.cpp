#include "tree/object_tree.h"

#include <QHeaderView>

#include "app/icons.h"

namespace vostrel::gui {

namespace {

constexpr int kDataRole = Qt::UserRole;
constexpr int kIdRole = Qt::UserRole + 1;

QIcon IconFor(int image) {
  switch (image) {
    case kImageKeys:
      return DrawIcon(IconKind::kKeys, 16);
    case kImageViews:
      return DrawIcon(IconKind::kViews, 16);
    case kImageTriggers:
      return DrawIcon(IconKind::kTriggers, 16);
    default:
      return DrawIcon(IconKind::kFolder, 16);
  }
}

}  // namespace

ObjectTree::ObjectTree(QWidget* parent) : QTreeWidget(parent) {
  setHeaderHidden(true);
  setColumnCount(1);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setRootIsDecorated(true);
  connect(this, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem* item, int) {
    if (updating_) return;
    const int id = NodeId(item);
    if (id < 0) return;
    toggled_in_click_ = true;
    Refresh(state_.SetCheck(id, item->checkState(0) != Qt::Unchecked));
  });
  connect(this, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* item, int) {
    if (toggled_in_click_) {
      toggled_in_click_ = false;
      return;
    }
    emit NodeClicked(item);
  });
  connect(this, &QTreeWidget::itemPressed, this, [this](QTreeWidgetItem*, int) { toggled_in_click_ = false; });
}

int64_t ObjectTree::ItemData(const QTreeWidgetItem* item) {
  return item ? item->data(0, kDataRole).toLongLong() : ITEMDATA_NODE;
}

int ObjectTree::NodeId(const QTreeWidgetItem* item) const {
  if (item == nullptr) return -1;
  bool ok = false;
  const int id = item->data(0, kIdRole).toInt(&ok);
  return ok && id >= 0 && id < static_cast<int>(items_.size()) ? id : -1;
}

void ObjectTree::ClearAll() {
  updating_ = true;
  clear();
  items_.clear();
  state_.Clear();
  updating_ = false;
}

void ObjectTree::AddNode(const TreeNode& node, QTreeWidgetItem* parent, int parent_id) {
  auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(this);
  item->setText(0, QString::fromStdString(node.text));
  item->setIcon(0, IconFor(node.image));
  item->setData(0, kDataRole, QVariant::fromValue<qlonglong>(node.item_data));
  const int id = state_.Insert(parent_id);
  item->setData(0, kIdRole, id);
  item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
  item->setCheckState(0, Qt::Unchecked);
  items_.push_back(item);
  for (const TreeNode& c : node.children) AddNode(c, item, id);
}

void ObjectTree::Populate(const TreeNode& root) {
  ClearAll();
  updating_ = true;
  AddNode(root, nullptr, CheckState::kNone);
  updating_ = false;
  // Root and data path open, as the scan leaves them.
  if (!items_.empty()) {
    items_[0]->setExpanded(true);
    if (items_.size() > 1) items_[1]->setExpanded(true);
  }
}

void ObjectTree::Refresh(const std::vector<int>& nodes) {
  updating_ = true;
  for (int n : nodes) {
    const Qt::CheckState s = state_.GetCheck(n)  ? Qt::Checked
                             : state_.IsMixed(n) ? Qt::PartiallyChecked
                                                 : Qt::Unchecked;
    items_[static_cast<size_t>(n)]->setCheckState(0, s);
  }
  updating_ = false;
}

void ObjectTree::SetChecked(QTreeWidgetItem* item, bool checked) {
  const int id = NodeId(item);
  if (id >= 0) Refresh(state_.SetCheck(id, checked));
}

QTreeWidgetItem* ObjectTree::FirstChecked() const {
  const int n = state_.FirstChecked();
  return n < 0 ? nullptr : items_[static_cast<size_t>(n)];
}

QTreeWidgetItem* ObjectTree::NextChecked(QTreeWidgetItem* item) const {
  const int n = state_.NextChecked(NodeId(item));
  return n < 0 ? nullptr : items_[static_cast<size_t>(n)];
}

std::vector<SelectedItem> ObjectTree::CheckedItems() const {
  std::vector<SelectedItem> out;
  for (QTreeWidgetItem* i = FirstChecked(); i != nullptr; i = NextChecked(i)) {
    out.push_back(SelectedItem{ItemData(i), ItemData(i->parent())});
  }
  return out;
}

QTreeWidgetItem* ObjectTree::FindByPath(const QStringList& texts) const {
  QTreeWidgetItem* cur = nullptr;
  for (const QString& t : texts) {
    QTreeWidgetItem* next = nullptr;
    const int count = cur ? cur->childCount() : topLevelItemCount();
    for (int i = 0; i < count; ++i) {
      QTreeWidgetItem* c = cur ? cur->child(i) : topLevelItem(i);
      if (c->text(0) == t) {
        next = c;
        break;
      }
    }
    if (next == nullptr) return nullptr;
    cur = next;
  }
  return cur;
}

}  // namespace vostrel::gui
