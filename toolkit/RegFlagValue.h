#pragma once
// A list of at most two items: an integer flag and an optional value.
#include <cstdint>
#include <memory>

#include "RegListValue.h"

class RegFlagValue : public RegListValue {
public:
  // Empty, as a decode target.
  RegFlagValue() noexcept = default;
  // The flag (sign-extended) and, when not null, the value (owned).
  explicit RegFlagValue(int flag, std::unique_ptr<RegValue> value = nullptr);
  RegFlagValue(const RegFlagValue& other) = default;

  int parse_data(RegBuf& buf, int length) override;
  ~RegFlagValue() override;
  bool assign(const RegValue& other) override;
  std::unique_ptr<RegValue> clone() const override;
  std::string& format(std::string& s, bool clear_first) const override;

  // The flag, 0 when there is none.
  int64_t flag() const noexcept;
  // The second item, or null.
  RegValue* value() const noexcept { return item(1); }

private:
  // Null when the items have the flag list's shape, else the reason.
  const char* shape_error() const noexcept;
};
