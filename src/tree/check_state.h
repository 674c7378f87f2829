// Three-state check boxes of the object tree: per-node counts, propagation
// down and up, and the walk over checked nodes in display order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vostrel {

class CheckState {
 public:
  static constexpr int kNone = -1;

  // Appends a node as the last child of `parent` (kNone for a root); returns its id.
  int Insert(int parent, bool separator = false);
  void Clear() { nodes_.clear(); }
  size_t size() const { return nodes_.size(); }

  // A node with descendants is checked when all its countable descendants are.
  bool GetCheck(int node) const;
  // Partly checked: some, not all, descendants checked.
  bool IsMixed(int node) const;
  // Returns the nodes whose box may have changed.
  std::vector<int> SetCheck(int node, bool checked);
  void SetEnabled(int node, bool enabled) { nodes_[node].enabled = enabled; }

  int FirstChecked() const { return NextChecked(kNone); }
  int NextChecked(int node) const;  // display order: depth first, parents first
  int CheckedCount() const;

  int parent(int node) const { return nodes_[node].parent; }
  int descendants(int node) const { return nodes_[node].descendants; }
  int checked_descendants(int node) const { return nodes_[node].checked_descendants; }

 private:
  struct Node {
    int parent = kNone;
    std::vector<int> children;
    bool checked = false;
    bool enabled = true;
    bool separator = false;
    int descendants = 0;
    int checked_descendants = 0;
    int separators = 0;
  };
  void SetSubtree(int node, bool checked, std::vector<int>& changed);
  int Countable(int node) const { return nodes_[node].descendants - nodes_[node].separators; }
  int NextInOrder(int node) const;

  std::vector<Node> nodes_;
};

}  // namespace vostrel
