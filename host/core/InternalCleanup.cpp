#include "InternalCleanup.h"

#include <algorithm>
#include <vector>

namespace {

// Lives on the main thread only, like the controller that drains it.
std::vector<InternalCleanup*>& members() {
  static std::vector<InternalCleanup*> list;
  return list;
}

}  // namespace

InternalCleanup::InternalCleanup() { members().push_back(this); }

InternalCleanup::~InternalCleanup() {
  auto& list = members();
  auto it = std::find(list.rbegin(), list.rend(), this);
  if (it != list.rend()) list.erase(std::next(it).base());
}

size_t InternalCleanup::count() { return members().size(); }

void InternalCleanup::cleanupAll() {
  auto& list = members();
  // A cleanup may destroy its own object (or another member), so walk a
  // snapshot and skip whoever has left the list meanwhile.
  const std::vector<InternalCleanup*> snapshot = list;
  for (auto it = snapshot.rbegin(); it != snapshot.rend(); ++it) {
    if (std::find(list.begin(), list.end(), *it) != list.end()) (*it)->cleanup();
  }
}
