#pragma once
// Raw bytes (type 0). The bytes may be null, which reads as empty.
#include <memory>

#include "RegValue.h"

class RegRawValue : public RegValue {
public:
  RegRawValue() noexcept : RegValue(type_raw) {}
  // Copies the bytes.
  RegRawValue(const void* bytes, int length);
  RegRawValue(const RegRawValue& other);

  int data_size() const override;
  void write_data(RegBuf& buf) const override;
  int parse_data(RegBuf& buf, int length) override;
  ~RegRawValue() override;
  void clear() override;
  bool assign(const RegValue& other) override;
  std::unique_ptr<RegValue> clone() const override;
  std::string& format(std::string& s, bool clear_first) const override;

  // Copies the bytes; null bytes or a length below 1 leave no bytes.
  virtual void set_data(const void* bytes, int length);

  const unsigned char* data() const noexcept { return m_data.get(); }
  int length() const noexcept { return m_length; }

private:
  std::unique_ptr<unsigned char[]> m_data;
  int m_length = 0;
};
