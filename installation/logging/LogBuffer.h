#pragma once
// The text of one log line while it is built: on the stack for ordinary
// lines, on the heap for long ones, never beyond kMaxSize. Nothing here
// throws: when memory or the limit runs out the text is cut, and the line
// says so at its end instead of being shortened silently.
#include <cstddef>
#include <memory>
#include <string_view>

class LogBuffer {
public:
  static constexpr std::size_t kInlineSize = 1024;
  // The longest line written, line end included.
  static constexpr std::size_t kMaxSize = 64 * 1024;
  // Put at the end of a line whose text was cut.
  static constexpr std::string_view kTruncatedMark = " [truncated]";

  LogBuffer() noexcept;
  LogBuffer(const LogBuffer&) = delete;
  LogBuffer& operator=(const LogBuffer&) = delete;

  // Appends what fits; whatever does not is dropped and marks the line.
  void append(std::string_view text) noexcept;
  void append(char c) noexcept;

  // Makes room for `wanted` more bytes where the limit and memory allow and
  // returns how many bytes may now be written at end(). One byte past those
  // is always writable too, for the terminating null of the C formatting
  // functions.
  std::size_t prepare(std::size_t wanted) noexcept;
  char* end() noexcept { return m_data + m_size; }
  void commit(std::size_t bytes) noexcept;
  void markTruncated() noexcept { m_truncated = true; }
  bool truncated() const noexcept { return m_truncated; }

  // Ends the line: the mark when text was cut, then CR LF. Nothing can be
  // added after it.
  void finishLine() noexcept;

  std::size_t size() const noexcept { return m_size; }
  std::string_view view() const noexcept { return {m_data, m_size}; }

private:
  // Bytes always kept back behind the text for finishLine.
  static constexpr std::size_t kTailSize = kTruncatedMark.size() + 2;

  std::size_t room() const noexcept {
    return m_finished || m_size + kTailSize >= m_capacity ? 0 : m_capacity - kTailSize - m_size;
  }

  char m_inline[kInlineSize];
  std::unique_ptr<char[]> m_heap;
  char* m_data;
  std::size_t m_size = 0;
  std::size_t m_capacity = kInlineSize;
  bool m_truncated = false;
  bool m_finished = false;
};
