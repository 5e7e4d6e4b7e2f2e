#include "sources/session/ChromiumSession.h"

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <map>
#include <set>
#include <vector>

namespace tavimo {
namespace {

// Command ids of the log that matter for the current page. The payloads (little endian, ids are
// the browser's i32 session ids):
enum Command : std::uint8_t {
  kSetTabWindow = 0,                // window, tab
  kSetTabIndexInWindow = 2,         // tab, position in the tab strip
  kUpdateTabNavigation = 6,         // pickle: u32 size, tab, history index, url (i32 length + bytes), ...
  kSetSelectedNavigationIndex = 7,  // tab, history index
  kSetSelectedTabInIndex = 8,       // window, tab strip position
  kTabClosed = 16,                  // tab, padding, close time
  kWindowClosed = 17,               // window, padding, close time
  kSetActiveWindow = 20,            // window
  kTabNavigationPathPruned = 24,    // tab, first history index removed, count
};

class Reader {
 public:
  explicit Reader(std::string_view bytes) : bytes_(bytes) {}
  std::optional<std::int32_t> I32() {
    if (bytes_.size() - pos_ < 4) return std::nullopt;
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(bytes_[pos_ + i]);
    pos_ += 4;
    return static_cast<std::int32_t>(v);
  }
  std::optional<std::uint16_t> U16() {
    if (bytes_.size() - pos_ < 2) return std::nullopt;
    const auto v = static_cast<std::uint16_t>(static_cast<unsigned char>(bytes_[pos_]) |
                                              static_cast<unsigned char>(bytes_[pos_ + 1]) << 8);
    pos_ += 2;
    return v;
  }
  std::optional<std::string_view> Bytes(std::size_t n) {
    if (bytes_.size() - pos_ < n) return std::nullopt;
    const std::string_view v = bytes_.substr(pos_, n);
    pos_ += n;
    return v;
  }
  bool AtEnd() const { return pos_ == bytes_.size(); }

 private:
  std::string_view bytes_;
  std::size_t pos_ = 0;
};

// A tab's history: URLs by position. A prune removes a range of positions and moves every later
// entry down by its length, so a log of many navigations and many prunes would cost their
// product with a plain map. A treap whose nodes carry a pending move for their subtrees makes
// every command logarithmic.
class History {
 public:
  void Set(std::int64_t index, std::string url) {
    int before, rest, same, after;
    Split(root_, index, before, rest);
    Split(rest, index + 1, same, after);
    Drop(same);
    int node;
    if (!free_.empty()) {
      node = free_.back();
      free_.pop_back();
      nodes_[node] = {index, 0, NextPriority(), -1, -1, std::move(url)};
    } else {
      node = static_cast<int>(nodes_.size());
      nodes_.push_back({index, 0, NextPriority(), -1, -1, std::move(url)});
    }
    root_ = Merge(Merge(before, node), after);
  }
  // Removes positions [first, first + count) and closes the gap.
  void Prune(std::int64_t first, std::int64_t count) {
    int before, rest, gone, after;
    Split(root_, first, before, rest);
    Split(rest, first + count, gone, after);
    Drop(gone);
    Move(after, -count);
    root_ = Merge(before, after);
  }
  // The entry at index, else the nearest one before it (pruned history), else the first one;
  // nullptr when there is none.
  const std::string* Near(std::int64_t index) {
    int best = -1, t = root_;
    while (t >= 0) {
      Push(t);
      if (nodes_[t].key <= index) {
        best = t;
        t = nodes_[t].right;
      } else {
        t = nodes_[t].left;
      }
    }
    for (t = root_; best < 0 && t >= 0; t = nodes_[t].left) {
      Push(t);
      if (nodes_[t].left < 0) best = t;
    }
    return best < 0 ? nullptr : &nodes_[best].url;
  }

 private:
  struct Node {
    std::int64_t key;
    std::int64_t pending;  // still to be added to the keys of both subtrees
    std::uint32_t priority;
    int left, right;
    std::string url;
  };
  std::uint32_t NextPriority() {  // xorshift: the log cannot shape the tree
    seed_ ^= seed_ << 13;
    seed_ ^= seed_ >> 17;
    seed_ ^= seed_ << 5;
    return seed_;
  }
  void Move(int t, std::int64_t by) {
    if (t < 0) return;
    nodes_[t].key += by;
    nodes_[t].pending += by;
  }
  void Push(int t) {
    if (nodes_[t].pending == 0) return;
    Move(nodes_[t].left, nodes_[t].pending);
    Move(nodes_[t].right, nodes_[t].pending);
    nodes_[t].pending = 0;
  }
  // Keys below k go to l, the others to r.
  void Split(int t, std::int64_t k, int& l, int& r) {
    if (t < 0) {
      l = r = -1;
      return;
    }
    Push(t);
    if (nodes_[t].key < k) {
      int right;
      Split(nodes_[t].right, k, right, r);
      nodes_[t].right = right;
      l = t;
    } else {
      int left;
      Split(nodes_[t].left, k, l, left);
      nodes_[t].left = left;
      r = t;
    }
  }
  // Every key of a is below every key of b.
  int Merge(int a, int b) {
    if (a < 0) return b;
    if (b < 0) return a;
    if (nodes_[a].priority > nodes_[b].priority) {
      Push(a);
      nodes_[a].right = Merge(nodes_[a].right, b);
      return a;
    }
    Push(b);
    nodes_[b].left = Merge(a, nodes_[b].left);
    return b;
  }
  // Frees the nodes of a cut-off subtree for reuse (each node is dropped once, so this stays
  // linear over the log).
  void Drop(int t) {
    std::vector<int> todo;
    if (t >= 0) todo.push_back(t);
    while (!todo.empty()) {
      Node& n = nodes_[todo.back()];
      free_.push_back(todo.back());
      todo.pop_back();
      std::string().swap(n.url);
      if (n.left >= 0) todo.push_back(n.left);
      if (n.right >= 0) todo.push_back(n.right);
    }
  }

  std::vector<Node> nodes_;
  std::vector<int> free_;
  int root_ = -1;
  std::uint32_t seed_ = 2463534242u;
};

struct Tab {
  std::int32_t window = 0;
  bool hasWindow = false;
  std::int32_t stripIndex = 0;
  std::int32_t currentEntry = 0;
  std::uint64_t order = 0;  // when the tab was first seen: breaks ties between equal positions
  History entries;
};

struct Window {
  std::int32_t selectedIndex = 0;
  std::uint64_t touched = 0;  // last command that named the window
};

class SessionState {
 public:
  // False for a malformed payload of a command we rely on.
  bool Apply(std::uint8_t id, std::string_view payload);
  std::optional<std::string> CurrentAddress();

 private:
  Tab& TabFor(std::int32_t id) {
    auto [it, added] = tabs_.try_emplace(id);
    if (added) it->second.order = ++clock_;
    return it->second;
  }
  Window* WindowFor(std::int32_t id) {
    if (closedWindows_.count(id)) return nullptr;
    Window& w = windows_[id];
    w.touched = ++clock_;
    return &w;
  }
  bool UpdateNavigation(std::string_view payload);
  std::optional<std::int32_t> FrontWindow() const;

  std::map<std::int32_t, Tab> tabs_;
  std::map<std::int32_t, Window> windows_;
  std::set<std::int32_t> closedWindows_;
  std::optional<std::int32_t> activeWindow_;
  std::uint64_t clock_ = 0;
};

bool SessionState::Apply(std::uint8_t id, std::string_view payload) {
  switch (id) {
    case kUpdateTabNavigation: return UpdateNavigation(payload);
    case kSetTabWindow:
    case kSetTabIndexInWindow:
    case kSetSelectedNavigationIndex:
    case kSetSelectedTabInIndex:
    case kTabClosed:
    case kWindowClosed:
    case kSetActiveWindow:
    case kTabNavigationPathPruned: break;
    default: return true;  // not a command that shapes the current page
  }
  Reader r(payload);
  const auto a = r.I32();
  if (!a) return false;
  if (id == kTabClosed) {
    tabs_.erase(*a);
    return true;
  }
  if (id == kWindowClosed) {
    windows_.erase(*a);
    closedWindows_.insert(*a);
    return true;
  }
  if (id == kSetActiveWindow) {
    activeWindow_ = *a;
    WindowFor(*a);
    return true;
  }
  const auto b = r.I32();
  if (!b) return false;
  switch (id) {
    case kSetTabWindow: {
      Tab& t = TabFor(*b);
      t.window = *a;
      t.hasWindow = true;
      WindowFor(*a);
      return true;
    }
    case kSetTabIndexInWindow: TabFor(*a).stripIndex = *b; return true;
    case kSetSelectedNavigationIndex: TabFor(*a).currentEntry = *b; return true;
    case kSetSelectedTabInIndex:
      if (Window* w = WindowFor(*a)) w->selectedIndex = *b;
      return true;
    default: break;
  }
  // kTabNavigationPathPruned: removes history entries [first, first + count), closing the gap.
  const auto count = r.I32();
  if (!count) return false;
  const auto it = tabs_.find(*a);
  if (*count <= 0 || it == tabs_.end()) return true;
  it->second.entries.Prune(*b, *count);
  return true;
}

bool SessionState::UpdateNavigation(std::string_view payload) {
  Reader outer(payload);
  const auto size = outer.I32();
  if (!size || *size < 0) return false;
  const auto body = outer.Bytes(static_cast<std::size_t>(*size));
  if (!body) return false;
  Reader r(*body);
  const auto tab = r.I32();
  const auto index = tab ? r.I32() : std::nullopt;
  const auto length = index ? r.I32() : std::nullopt;
  if (!length || *length < 0) return false;
  const auto url = r.Bytes(static_cast<std::size_t>(*length));
  if (!url) return false;
  TabFor(*tab).entries.Set(*index, std::string(*url));
  return true;
}

// The window last made active, else the open window named most recently by any command.
std::optional<std::int32_t> SessionState::FrontWindow() const {
  std::set<std::int32_t> withTabs;
  for (const auto& [id, t] : tabs_) {
    if (t.hasWindow && windows_.count(t.window)) withTabs.insert(t.window);
  }
  if (activeWindow_ && withTabs.count(*activeWindow_)) return activeWindow_;
  std::optional<std::int32_t> best;
  std::uint64_t bestTouched = 0;
  for (const std::int32_t id : withTabs) {
    if (const std::uint64_t touched = windows_.at(id).touched; touched >= bestTouched) {
      best = id;
      bestTouched = touched;
    }
  }
  return best;
}

std::optional<std::string> SessionState::CurrentAddress() {
  const auto windowId = FrontWindow();
  if (!windowId) return std::nullopt;
  std::vector<Tab*> strip;
  for (auto& [id, t] : tabs_) {
    if (t.hasWindow && t.window == *windowId) strip.push_back(&t);
  }
  std::sort(strip.begin(), strip.end(), [](const Tab* x, const Tab* y) {
    return x->stripIndex != y->stripIndex ? x->stripIndex < y->stripIndex : x->order < y->order;
  });
  // The selected position names a tab-strip index; when no tab carries it (a stale record),
  // the position is clamped into the strip as the browser does on restore.
  const std::int32_t selected = windows_.at(*windowId).selectedIndex;
  auto tab = std::find_if(strip.begin(), strip.end(),
                          [selected](const Tab* t) { return t->stripIndex == selected; });
  if (tab == strip.end()) {
    const auto last = static_cast<std::int64_t>(strip.size()) - 1;
    tab = strip.begin() + std::clamp<std::int64_t>(selected, 0, last);
  }
  const std::string* url = (*tab)->entries.Near((*tab)->currentEntry);
  if (!url || url->empty()) return std::nullopt;
  return *url;
}

}  // namespace

std::optional<std::string> ChromiumSessionAddress(std::string_view fileBytes) {
  Reader file(fileBytes);
  const auto magic = file.Bytes(4);
  const auto version = magic ? file.I32() : std::nullopt;
  // Version 1 and 3 are plain logs; the encrypted log (version 5) cannot be read without the
  // user's key ring and gives nothing.
  if (!version || *magic != "SNSS" || (*version != 1 && *version != 3)) return std::nullopt;
  SessionState state;
  while (!file.AtEnd()) {
    const auto size = file.U16();
    if (!size || *size == 0) return std::nullopt;
    const auto record = file.Bytes(*size);
    if (!record) return std::nullopt;  // the last command is cut: the file is being written
    if (!state.Apply(static_cast<std::uint8_t>((*record)[0]), record->substr(1))) {
      return std::nullopt;
    }
  }
  return state.CurrentAddress();
}

}  // namespace tavimo
