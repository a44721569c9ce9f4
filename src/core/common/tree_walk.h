#pragma once
// A depth-first walk over any tree whose nodes hold their `children` in a
// container. It keeps its own stack instead of recursing: a hostile image
// may nest folders tens of thousands deep, far deeper than a thread's stack.
#include <cstddef>
#include <utility>
#include <vector>

namespace dudorazu {

enum class WalkStep {
  Descend,  // go on with the node's children
  Skip,     // pass over its children
  Stop,     // end the whole walk at once
};

// Depth first in children order, `top` first at depth 0, over any tree whose
// nodes hold their `children` in a container. `enter(node, depth)` says
// whether to go below the node; `leave(node, depth)` follows the last child
// of every node `enter` descended into (at once when it has none). A stopped
// walk leaves nothing more. False when stopped.
template <class Node, class Enter, class Leave>
bool walkTree(Node& top, Enter&& enter, Leave&& leave) {
  using It = decltype(top.children.begin());
  struct Level {
    Node* node;
    It next, end;
  };
  WalkStep step = enter(top, size_t{0});
  if (step == WalkStep::Stop) return false;
  if (step == WalkStep::Skip) return true;
  std::vector<Level> stack{{&top, top.children.begin(), top.children.end()}};
  while (!stack.empty()) {
    Level& level = stack.back();
    if (level.next == level.end) {
      Node& done = *level.node;
      stack.pop_back();
      leave(done, stack.size());
      continue;
    }
    Node& node = *level.next++;
    step = enter(node, stack.size());
    if (step == WalkStep::Stop) return false;
    if (step == WalkStep::Descend) stack.push_back({&node, node.children.begin(), node.children.end()});
  }
  return true;
}

template <class Node, class Enter>
bool walkTree(Node& top, Enter&& enter) {
  return walkTree(top, std::forward<Enter>(enter), [](Node&, size_t) {});
}

}  // namespace dudorazu
