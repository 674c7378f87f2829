#include "tree/object_tree.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <set>

#include "app/icons.h"
#include "view/plain_tooltip.h"

namespace vostrel::gui {

namespace {

constexpr int kDataRole = Qt::UserRole;
constexpr int kIdRole = Qt::UserRole + 1;

int Depth(const QTreeWidgetItem* item) {
  int d = 0;
  for (const QTreeWidgetItem* p = item->parent(); p != nullptr; p = p->parent()) ++d;
  return d;
}

}  // namespace

ObjectTree::ObjectTree(QWidget* parent) : QTreeWidget(parent) {
  // Drawn once: a large tree shows the same few pictures thousands of times.
  icons_ = {
      {NodeKind::kRoot, DrawIcon(IconKind::kServer, 16)},
      {NodeKind::kDataPath, DrawIcon(IconKind::kFolder, 16)},
      {NodeKind::kDatabase, DrawIcon(IconKind::kDatabase, 16)},
      {NodeKind::kTables, DrawIcon(IconKind::kFolder, 16)},
      {NodeKind::kViews, DrawIcon(IconKind::kViews, 16)},
      {NodeKind::kTriggers, DrawIcon(IconKind::kTriggers, 16)},
      {NodeKind::kTable, DrawIcon(IconKind::kTable, 16)},
      {NodeKind::kView, DrawIcon(IconKind::kView, 16)},
      {NodeKind::kTrigger, DrawIcon(IconKind::kTrigger, 16)},
      {NodeKind::kKeys, DrawIcon(IconKind::kKeys, 16)},
      {NodeKind::kOther, DrawIcon(IconKind::kFolder, 16)},
  };
  for (TableState s : {TableState::kComplete, TableState::kDamaged, TableState::kDefinitionOnly,
                       TableState::kNotRead}) {
    mark_icons_[s] = TableStateIcon(s);
  }
  setHeaderHidden(true);
  setColumnCount(1);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setRootIsDecorated(true);
  setUniformRowHeights(true);
  // One column as wide as the pane: long names lose their middle, not their end.
  header()->setStretchLastSection(true);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setTextElideMode(Qt::ElideMiddle);
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
  connect(this, &QTreeWidget::itemPressed, this,
          [this](QTreeWidgetItem*, int) { toggled_in_click_ = false; });
}

void ObjectTree::keyPressEvent(QKeyEvent* event) {
  if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
      currentItem() != nullptr) {
    emit NodeClicked(currentItem());
    return;
  }
  QTreeWidget::keyPressEvent(event);
}

int64_t ObjectTree::ItemData(const QTreeWidgetItem* item) {
  return item ? item->data(0, kDataRole).toLongLong() : ITEMDATA_NODE;
}

NodeKind ObjectTree::KindOf(const QTreeWidgetItem* item) {
  if (item == nullptr) return NodeKind::kOther;
  const int64_t d = ItemData(item);
  switch (Depth(item)) {
    case 0:
      return NodeKind::kRoot;
    case 1:
      return NodeKind::kDataPath;
    case 2:
      return NodeKind::kDatabase;
    case 3:
      return d == ITEMDATA_VIEWS      ? NodeKind::kViews
             : d == ITEMDATA_TRIGGERS ? NodeKind::kTriggers
                                      : NodeKind::kTables;
    case 4: {
      const int64_t parent = ItemData(item->parent());
      return parent == ITEMDATA_VIEWS      ? NodeKind::kView
             : parent == ITEMDATA_TRIGGERS ? NodeKind::kTrigger
                                           : NodeKind::kTable;
    }
    default:
      return d == ITEMDATA_KEYS ? NodeKind::kKeys : NodeKind::kOther;
  }
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
  tables_.clear();
  marks_.clear();
  state_.Clear();
  updating_ = false;
}

QTreeWidgetItem* ObjectTree::AddNode(const TreeNode& node, QTreeWidgetItem* parent, int parent_id) {
  auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(this);
  item->setText(0, QString::fromStdString(node.text));
  item->setData(0, kDataRole, QVariant::fromValue<qlonglong>(node.item_data));
  const NodeKind kind = KindOf(item);
  item->setIcon(0, icons_.at(kind));
  if (kind == NodeKind::kDataPath) item->setToolTip(0, PlainTooltip(item->text(0)));
  if (kind == NodeKind::kTable && node.item_data >= 1) {
    tables_[static_cast<size_t>(node.item_data - 1)] = item;
  }
  const int id = state_.Insert(parent_id);
  item->setData(0, kIdRole, id);
  item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
  item->setCheckState(0, Qt::Unchecked);
  items_.push_back(item);
  for (const TreeNode& c : node.children) AddNode(c, item, id);
  return item;
}

QStringList ObjectTree::PathOf(const QTreeWidgetItem* item) const {
  QStringList path;
  for (; item != nullptr; item = item->parent()) path.prepend(item->text(0));
  return path;
}

void ObjectTree::Populate(const TreeNode& root) {
  std::set<QStringList> open;
  for (QTreeWidgetItem* i : items_) {
    if (i->isExpanded()) open.insert(PathOf(i));
  }
  ClearAll();
  updating_ = true;
  AddNode(root, nullptr, CheckState::kNone);
  updating_ = false;
  // Root and data path open, as the scan leaves them.
  if (!items_.empty()) {
    items_[0]->setExpanded(true);
    if (items_.size() > 1) items_[1]->setExpanded(true);
  }
  if (open.empty()) return;
  for (QTreeWidgetItem* i : items_) {
    if (i->childCount() > 0 && open.count(PathOf(i))) i->setExpanded(true);
  }
}

void ObjectTree::AppendDatabase(const QString& root_text, const QString& path_text,
                                const TreeNode& database) {
  updating_ = true;
  if (items_.size() < 2 || items_[0]->text(0) != root_text || items_[1]->text(0) != path_text) {
    ClearAll();
    updating_ = true;
    QTreeWidgetItem* root =
        AddNode(TreeNode{root_text.toStdString(), kImageFolder, ITEMDATA_NODE, {}}, nullptr,
                CheckState::kNone);
    AddNode(TreeNode{path_text.toStdString(), kImageFolder, ITEMDATA_NODE, {}}, root, 0);
    items_[0]->setExpanded(true);
    items_[1]->setExpanded(true);
  }
  AddNode(database, items_[1], 1);
  updating_ = false;
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

QTreeWidgetItem* ObjectTree::TableItem(size_t index) const {
  auto it = tables_.find(index);
  return it == tables_.end() ? nullptr : it->second;
}

void ObjectTree::MarkTable(size_t index, TableState state, const QString& tip) {
  QTreeWidgetItem* item = TableItem(index);
  if (item == nullptr) return;
  updating_ = true;
  item->setIcon(0, mark_icons_.at(state));
  item->setToolTip(0, PlainTooltip(tip));
  updating_ = false;
  marks_[index] = state;
}

bool ObjectTree::TableMark(size_t index, TableState* state) const {
  auto it = marks_.find(index);
  if (it == marks_.end()) return false;
  if (state != nullptr) *state = it->second;
  return true;
}

}  // namespace vostrel::gui
