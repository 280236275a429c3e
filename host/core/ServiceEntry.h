#pragma once
// The value of the controller's service table: the records registered
// under one service key, in the order that decides which one a lookup
// uses. Only the first candidate is ever used. Direct records come first,
// newest first, so a later registration hides an earlier one (user level
// over machine level, AddService over both) and a direct record always
// wins over an alias; alias records follow, newest first.
//
// Each candidate is the entry's own copy of the record it was given. It is
// held through a shared pointer so that a caller working on a record (the
// controller while it creates and attaches the plug-in, which may call
// back into the controller and add or remove services meanwhile) keeps that
// record alive and in place whatever happens to the list.
#include "PluginInfo.h"

#include <memory>
#include <vector>

class ServiceEntry {
public:
  using Candidate = std::shared_ptr<PluginInfo>;

  ServiceEntry() = default;
  ServiceEntry(ServiceEntry&&) noexcept = default;
  ServiceEntry& operator=(ServiceEntry&&) noexcept = default;
  ServiceEntry(const ServiceEntry&) = delete;
  ServiceEntry& operator=(const ServiceEntry&) = delete;

  // Adds a copy of record in its place: a direct record at the front; an
  // alias record before the first alias, unless an equal alias is already
  // there (then nothing is added). Raises std::bad_alloc.
  void add(const PluginInfo& record);

  // Removes the first candidate equal to probe that, when instance is not
  // null, holds exactly that instance, and hands it back (null when none
  // matched): the caller decides when its instance is released, which may
  // call back into the caller.
  Candidate remove(const PluginInfo& probe, IFrameworkPlugin* instance) noexcept;

  // The candidate a lookup uses; null when there is none.
  Candidate first() const noexcept { return m_candidates.empty() ? nullptr : m_candidates.front(); }

  const std::vector<Candidate>& candidates() const noexcept { return m_candidates; }
  bool empty() const noexcept { return m_candidates.empty(); }

private:
  std::vector<Candidate> m_candidates;
};
