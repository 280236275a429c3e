#include "LogBuffer.h"

#include <algorithm>
#include <cstring>
#include <new>

LogBuffer::LogBuffer() noexcept : m_data(m_inline) {}

std::size_t LogBuffer::prepare(std::size_t wanted) noexcept {
  if (wanted > room() && m_capacity < kMaxSize) {
    const std::size_t needed = m_size + wanted + kTailSize;
    const std::size_t capacity = std::min(kMaxSize, std::max(needed, 2 * m_capacity));
    std::unique_ptr<char[]> heap(new (std::nothrow) char[capacity]);
    if (heap) {
      std::memcpy(heap.get(), m_data, m_size);
      m_heap = std::move(heap);
      m_data = m_heap.get();
      m_capacity = capacity;
    }
  }
  return std::min(wanted, room());
}

void LogBuffer::commit(std::size_t bytes) noexcept {
  m_size += std::min(bytes, room());
}

void LogBuffer::append(std::string_view text) noexcept {
  const std::size_t fits = prepare(text.size());
  if (fits != 0) std::memcpy(end(), text.data(), fits);
  commit(fits);
  if (fits < text.size()) markTruncated();
}

void LogBuffer::append(char c) noexcept {
  append(std::string_view(&c, 1));
}

void LogBuffer::finishLine() noexcept {
  // The tail was kept back from the start, so this always fits.
  if (m_finished) return;
  if (m_truncated) {
    std::memcpy(end(), kTruncatedMark.data(), kTruncatedMark.size());
    m_size += kTruncatedMark.size();
  }
  m_data[m_size++] = '\r';
  m_data[m_size++] = '\n';
  m_finished = true;
}
