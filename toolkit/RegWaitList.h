#pragma once
// Wait for any of a set of waitable objects. The list does not own them.
#include "RegWait.h"

#include <windows.h>

#include <array>
#include <memory>
#include <type_traits>

class RegWaitList {
  template <typename... Waits>
  static constexpr int kGiven = static_cast<int>(sizeof...(Waits));

public:
  // A count followed by that many pointers, e.g. RegWaitList(2, &kill, &timer).
  // Null pointers are skipped; pointers beyond `count` are ignored.
  template <typename... Waits>
    requires(sizeof...(Waits) > 0 && (std::is_convertible_v<Waits, RegWait*> && ...))
  RegWaitList(int count, Waits... waits)
      : RegWaitList(count < kGiven<Waits...> ? count : kGiven<Waits...>,
                    std::array<RegWait*, sizeof...(Waits)>{static_cast<RegWait*>(waits)...}.data()) {
  }
  // `count` pointers read from `waits`; null pointers are skipped.
  RegWaitList(int count, RegWait* const* waits);
  RegWaitList(const RegWaitList&) = delete;
  RegWaitList& operator=(const RegWaitList&) = delete;

  // Index of a signalled entry (the lowest when several are), or -1 on
  // time-out, failure or abandonment.
  int waitAny(DWORD timeout);
  // The entry waitAny reports, or null.
  RegWait* waitAnyObject(DWORD timeout);

  int count() const noexcept { return m_count; }
  RegWait* at(int index) const noexcept;

private:
  int waitAnyPooled(DWORD timeout);
  int pollInOrder();

  std::unique_ptr<RegWait*[]> m_waits;
  std::unique_ptr<HANDLE[]> m_handles;
  int m_count = 0;
};
