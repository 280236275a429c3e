#pragma once
// Signed 64-bit integer (type 1), encoded big-endian in the fewest bytes
// from which sign extension restores it.
#include <cstdint>
#include <memory>

#include "RegValue.h"

class RegIntValue : public RegValue {
public:
  explicit RegIntValue(int64_t value = 0) noexcept : RegValue(type_int), m_value(value) {}
  RegIntValue(const RegIntValue& other) noexcept = default;

  int data_size() const override;
  void write_data(RegBuf& buf) const override;
  int parse_data(RegBuf& buf, int length) override;
  ~RegIntValue() override;
  void clear() override;
  bool assign(const RegValue& other) override;
  std::unique_ptr<RegValue> clone() const override;
  std::string& format(std::string& s, bool clear_first) const override;

  virtual void set_int(int64_t value);

  int64_t value() const noexcept { return m_value; }

private:
  int64_t m_value;
};
