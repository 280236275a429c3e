#include "ServiceEntry.h"

#include <algorithm>

void ServiceEntry::add(const PluginInfo& record) {
  auto copy = std::make_shared<PluginInfo>(record);
  if (m_candidates.empty()) {
    m_candidates.push_back(std::move(copy));
    return;
  }
  if (!record.isAlias()) {
    m_candidates.insert(m_candidates.begin(), std::move(copy));
    return;
  }
  const auto firstAlias =
      std::ranges::find_if(m_candidates, [](const Candidate& c) { return c->isAlias(); });
  if (firstAlias != m_candidates.end() &&
      std::any_of(firstAlias, m_candidates.end(), [&](const Candidate& c) { return *c == record; })) {
    return;
  }
  m_candidates.insert(firstAlias, std::move(copy));
}

ServiceEntry::Candidate ServiceEntry::remove(const PluginInfo& probe, IFrameworkPlugin* instance) noexcept {
  const auto match = std::ranges::find_if(m_candidates, [&](const Candidate& c) {
    return *c == probe && (!instance || c->instance().get() == instance);
  });
  if (match == m_candidates.end()) return nullptr;
  Candidate removed = std::move(*match);
  m_candidates.erase(match);
  return removed;
}
