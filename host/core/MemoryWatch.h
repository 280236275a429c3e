#pragma once
// The memory monitor's record: the working-set limit and the pool timer that
// checks the process against it. The monitor fires at most once per
// process, so the record is claimed by the first tick that finds the working
// set at or above the limit; every later or overlapping tick sees it taken.
#include <windows.h>

#include <atomic>
#include <cstdint>

class MemoryWatch {
public:
  constexpr MemoryWatch() noexcept = default;
  MemoryWatch(const MemoryWatch&) = delete;
  MemoryWatch& operator=(const MemoryWatch&) = delete;

  // Sets the limit, once: false when the watch was armed before (the
  // monitor is never armed twice in one process).
  bool arm(std::uint64_t thresholdBytes) noexcept {
    if (m_armed.exchange(true)) return false;
    m_threshold = thresholdBytes;
    return true;
  }

  std::uint64_t threshold() const noexcept { return m_threshold; }

  // The timer is created after arming and read by the pool thread that
  // runs the tick.
  void setTimer(HANDLE timer) noexcept { m_timer.store(timer); }
  HANDLE timer() const noexcept { return m_timer.load(); }

  // True for exactly one caller: the first whose working set reaches the
  // limit. Ticks of a timer queue can overlap when one is slow, and only
  // one of them may delete the timer and write the dump.
  bool claim(std::uint64_t workingSetBytes) noexcept {
    if (workingSetBytes < m_threshold) return false;
    return !m_fired.exchange(true);
  }

  bool fired() const noexcept { return m_fired.load(); }

private:
  // 64 bits: the setting is in millions of bytes and a 32-bit count of
  // bytes would wrap above 4294 of them.
  std::uint64_t m_threshold = 0;
  std::atomic<HANDLE> m_timer{nullptr};
  std::atomic<bool> m_armed{false};
  std::atomic<bool> m_fired{false};
};
