#pragma once
// The storage of the automation lists: an array of pointers to separately
// allocated values, with a count and a capacity. Scripts build lists one
// element at a time, so the array grows geometrically: a list without an
// array gets room for max(count + 2n, 8) when n more are needed, an
// existing array grows to 2 x capacity + n. Moving elements moves only
// their pointers. Positions are 32-bit, as at the automation boundary.
//
// Growth raises std::bad_alloc when the array cannot be allocated or would
// exceed 32-bit positions; the list is then unchanged.
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <new>
#include <utility>

template <typename Value>
class ElementArray {
public:
  using Element = std::unique_ptr<Value>;

  static constexpr LONG kFirstCapacity = 8;
  static constexpr LONG kMaxCount = 0x7fffffff;

  ElementArray() noexcept = default;
  ElementArray(const ElementArray&) = delete;
  ElementArray& operator=(const ElementArray&) = delete;

  LONG count() const noexcept { return m_count; }
  LONG capacity() const noexcept { return m_capacity; }
  bool contains(LONG pos) const noexcept { return pos >= 0 && pos < m_count; }

  // The element at pos, which must be inside the list.
  Value& at(LONG pos) noexcept { return *m_slots[pos]; }
  const Value& at(LONG pos) const noexcept { return *m_slots[pos]; }

  // Makes room for n more elements (see the growth rule above).
  void reserveMore(LONG n) {
    const std::int64_t needed = std::int64_t{m_count} + n;
    if (needed > kMaxCount) throw std::bad_alloc();
    if (needed <= m_capacity) return;
    const std::int64_t grown = m_capacity == 0
                                   ? std::max<std::int64_t>(std::int64_t{m_count} + 2 * std::int64_t{n},
                                                            kFirstCapacity)
                                   : 2 * std::int64_t{m_capacity} + n;
    const LONG capacity = static_cast<LONG>(std::min<std::int64_t>(grown, kMaxCount));
    std::unique_ptr<Element[]> slots(new Element[static_cast<size_t>(capacity)]);
    std::move(m_slots.get(), m_slots.get() + m_count, slots.get());
    m_slots = std::move(slots);
    m_capacity = capacity;
  }

  // Appends value; returns its position.
  LONG append(Element value) {
    reserveMore(1);
    m_slots[m_count] = std::move(value);
    return m_count++;
  }

  // Puts value at pos (0...count), moving the elements from pos on up by one.
  void insert(LONG pos, Element value) {
    reserveMore(1);
    std::move_backward(m_slots.get() + pos, m_slots.get() + m_count, m_slots.get() + m_count + 1);
    m_slots[pos] = std::move(value);
    ++m_count;
  }

  // Frees the elements first...end-1 (0 <= first <= end <= count) and moves
  // the ones after them down, keeping their order.
  void erase(LONG first, LONG end) noexcept {
    Element* const begin = m_slots.get();
    std::move(begin + end, begin + m_count, begin + first);
    const LONG newCount = m_count - (end - first);
    // Past the new end lie moved-from (null) slots and, when fewer elements
    // followed the range than it held, removed ones not yet overwritten.
    for (LONG i = newCount; i < m_count; ++i) begin[i].reset();
    m_count = newCount;
  }

  // Frees every element and the array itself.
  void clear() noexcept {
    m_slots.reset();
    m_count = 0;
    m_capacity = 0;
  }

private:
  std::unique_ptr<Element[]> m_slots;
  LONG m_count = 0;
  LONG m_capacity = 0;
};
