#include "RegWaitList.h"

#include <atomic>

namespace {

// One thread-pool registration of the wait over more than
// MAXIMUM_WAIT_OBJECTS handles.
struct PooledWait {
  HANDLE anyFired = nullptr;  // the call's local event, not owned
  HANDLE registration = nullptr;
  std::atomic<bool> fired{false};
};

VOID CALLBACK onPooledWait(PVOID context, BOOLEAN timedOut) {
  if (timedOut) return;
  auto* record = static_cast<PooledWait*>(context);
  record->fired.store(true);
  ::SetEvent(record->anyFired);
}

// Unregisters from the last registration to the first, each time blocking
// until a callback that is already running has returned, so no callback
// touches the records once the wait is over.
class PooledWaits {
public:
  explicit PooledWaits(int count) : m_records(std::make_unique<PooledWait[]>(count)) {}
  PooledWaits(const PooledWaits&) = delete;
  PooledWaits& operator=(const PooledWaits&) = delete;
  ~PooledWaits() { unregisterAll(); }

  bool add(HANDLE object, HANDLE anyFired, DWORD timeout) {
    PooledWait& record = m_records[m_registered];
    record.anyFired = anyFired;
    if (!::RegisterWaitForSingleObject(&record.registration, object, onPooledWait, &record,
                                       timeout, WT_EXECUTEONLYONCE)) {
      return false;
    }
    ++m_registered;
    return true;
  }

  // Ends every registration, then reports the lowest entry that fired.
  int finish() {
    int registered = m_registered;
    unregisterAll();
    for (int i = 0; i < registered; ++i) {
      if (m_records[i].fired.load()) return i;
    }
    return -1;
  }

private:
  std::unique_ptr<PooledWait[]> m_records;
  int m_registered = 0;

  void unregisterAll() {
    while (m_registered > 0) {
      --m_registered;
      ::UnregisterWaitEx(m_records[m_registered].registration, INVALID_HANDLE_VALUE);
    }
  }
};

}  // namespace

RegWaitList::RegWaitList(int count, RegWait* const* waits) {
  if (count < 0 || waits == nullptr) count = 0;
  m_waits = std::make_unique<RegWait*[]>(count);
  m_handles = std::make_unique<HANDLE[]>(count);
  for (int i = 0; i < count; ++i) {
    if (waits[i] == nullptr) continue;
    m_waits[m_count] = waits[i];
    m_handles[m_count] = waits[i]->handle();
    ++m_count;
  }
}

RegWait* RegWaitList::at(int index) const noexcept {
  return index >= 0 && index < m_count ? m_waits[index] : nullptr;
}

int RegWaitList::waitAny(DWORD timeout) {
  if (m_count == 0) return -1;  // nothing could ever be signalled
  if (m_count <= MAXIMUM_WAIT_OBJECTS) {
    DWORD result =
        ::WaitForMultipleObjects(static_cast<DWORD>(m_count), m_handles.get(), FALSE, timeout);
    return result < WAIT_OBJECT_0 + static_cast<DWORD>(m_count)
               ? static_cast<int>(result - WAIT_OBJECT_0)
               : -1;
  }
  // The pool reports signalled objects asynchronously, so a zero wait on it
  // could miss an object that is already signalled: look at each directly.
  if (timeout == 0) return pollInOrder();
  return waitAnyPooled(timeout);
}

RegWait* RegWaitList::waitAnyObject(DWORD timeout) {
  return at(waitAny(timeout));
}

int RegWaitList::pollInOrder() {
  for (int i = 0; i < m_count; ++i) {
    DWORD result = ::WaitForSingleObject(m_handles[i], 0);
    if (result == WAIT_OBJECT_0) return i;
    if (result != WAIT_TIMEOUT) return -1;
  }
  return -1;
}

int RegWaitList::waitAnyPooled(DWORD timeout) {
  KernelHandle anyFired(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!anyFired) return -1;
  // Declared after the event: registrations end before the event closes.
  PooledWaits waits(m_count);
  for (int i = 0; i < m_count; ++i) {
    // An entry that fired before the failure has been consumed: report it
    // rather than lose it.
    if (!waits.add(m_handles[i], anyFired.get(), timeout)) return waits.finish();
  }
  ::WaitForSingleObject(anyFired.get(), timeout);
  return waits.finish();
}
