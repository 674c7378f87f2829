#include "tree/check_state.h"

namespace vostrel {

int CheckState::Insert(int parent, bool separator) {
  const int id = static_cast<int>(nodes_.size());
  Node n;
  n.parent = parent;
  n.separator = separator;
  nodes_.push_back(n);
  if (parent != kNone) nodes_[parent].children.push_back(id);
  for (int a = parent; a != kNone; a = nodes_[a].parent) {
    ++nodes_[a].descendants;
    if (separator) ++nodes_[a].separators;
  }
  return id;
}

bool CheckState::GetCheck(int node) const {
  const Node& n = nodes_[node];
  if (n.descendants > 0)
    return n.checked_descendants != 0 && n.checked_descendants == Countable(node);
  return n.checked;
}

bool CheckState::IsMixed(int node) const {
  const Node& n = nodes_[node];
  return n.descendants > 0 && n.checked_descendants > 0 && n.checked_descendants < Countable(node);
}

void CheckState::SetSubtree(int node, bool checked, std::vector<int>& changed) {
  for (int c : nodes_[node].children) {
    Node& n = nodes_[c];
    if (!n.separator) n.checked = checked;
    n.checked_descendants = checked ? Countable(c) : 0;
    changed.push_back(c);
    SetSubtree(c, checked, changed);
  }
}

std::vector<int> CheckState::SetCheck(int node, bool checked) {
  std::vector<int> changed;
  Node& n = nodes_[node];
  if (!n.enabled || n.separator) return changed;
  const bool before = GetCheck(node);
  // How many checked nodes this subtree gains or loses, itself included.
  const int delta_here = checked ? (Countable(node) - n.checked_descendants + (before ? 0 : 1))
                                 : -(n.checked_descendants + (before ? 1 : 0));
  n.checked = checked;
  n.checked_descendants = checked ? Countable(node) : 0;
  changed.push_back(node);
  SetSubtree(node, checked, changed);
  int delta = delta_here;
  for (int a = n.parent; a != kNone && delta != 0; a = nodes_[a].parent) {
    Node& p = nodes_[a];
    const bool was = GetCheck(a);
    p.checked_descendants += delta;
    if (p.checked_descendants < 0) p.checked_descendants = 0;
    if (p.checked_descendants > Countable(a)) p.checked_descendants = Countable(a);
    const bool now = GetCheck(a);
    p.checked = now;
    changed.push_back(a);
    if (now != was) delta += now ? 1 : -1;
  }
  return changed;
}

int CheckState::NextInOrder(int node) const {
  if (node == kNone) return nodes_.empty() ? kNone : 0;
  if (!nodes_[node].children.empty()) return nodes_[node].children.front();
  for (int n = node; n != kNone; n = nodes_[n].parent) {
    const int p = nodes_[n].parent;
    const std::vector<int>& siblings = p == kNone ? std::vector<int>{} : nodes_[p].children;
    if (p == kNone) {
      // Roots follow each other in id order.
      for (int r = n + 1; r < static_cast<int>(nodes_.size()); ++r) {
        if (nodes_[r].parent == kNone) return r;
      }
      return kNone;
    }
    for (size_t i = 0; i + 1 < siblings.size(); ++i) {
      if (siblings[i] == n) return siblings[i + 1];
    }
  }
  return kNone;
}

int CheckState::NextChecked(int node) const {
  for (int n = NextInOrder(node); n != kNone; n = NextInOrder(n)) {
    if (GetCheck(n)) return n;
  }
  return kNone;
}

int CheckState::CheckedCount() const {
  int count = 0;
  for (int n = 0; n < static_cast<int>(nodes_.size()); ++n) count += GetCheck(n);
  return count;
}

}  // namespace vostrel
