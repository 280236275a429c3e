#pragma once
// Text (type 2), encoded as UTF-8 with one terminating 00 byte; a null or
// empty text has an empty payload.
//
// The text is kept in the form it was given, wide or narrow (ANSI code
// page); the other form is made on first use. A text can be null (neither
// form), empty or non-empty. The encoded size is cached until the text
// changes.
#include <memory>
#include <optional>
#include <string>

#include "RegValue.h"

class RegStrValue : public RegValue {
public:
  RegStrValue() noexcept : RegValue(type_str) {}
  // Narrow text; a negative length means NUL-terminated, null gives null.
  explicit RegStrValue(const char* text, int length = -1);
  // Wide text, likewise.
  explicit RegStrValue(const wchar_t* text, int length = -1);
  RegStrValue(const RegStrValue& other);

  int data_size() const override;
  void write_data(RegBuf& buf) const override;
  int parse_data(RegBuf& buf, int length) override;
  ~RegStrValue() override;
  void clear() override;
  bool assign(const RegValue& other) override;
  std::unique_ptr<RegValue> clone() const override;
  std::string& format(std::string& s, bool clear_first) const override;

  // Replace the text and discard the other form; a negative length means
  // NUL-terminated, a null pointer makes the text null.
  virtual void set_str(const char* text, int length);
  virtual void set_wstr(const wchar_t* text, int length);

  bool is_null() const noexcept { return !m_wide && !m_narrow; }
  // The narrow form (null for a null text) and its length in bytes.
  const char* str() const;
  int str_len() const;
  // The wide form (null for a null text) and its length in characters.
  const wchar_t* wstr() const;
  int wstr_len() const;

private:
  const std::optional<std::string>& narrow() const;
  const std::optional<std::wstring>& wide() const;

  mutable std::optional<std::wstring> m_wide;
  mutable std::optional<std::string> m_narrow;
  mutable int m_size = -1;
};
