#pragma once
// A list of alternating keys (texts) and values: key, value, key, value...
// Lookups compare keys exactly, code unit by code unit, in the width of the
// key given; the last pair with a key wins.
#include <memory>

#include "RegListValue.h"

class RegStrMapValue : public RegListValue {
public:
  RegStrMapValue() noexcept = default;
  RegStrMapValue(const RegStrMapValue& other) = default;

  int parse_data(RegBuf& buf, int length) override;
  ~RegStrMapValue() override;
  bool assign(const RegValue& other) override;
  std::unique_ptr<RegValue> clone() const override;
  std::string& format(std::string& s, bool clear_first) const override;

  // Stores the value (owned, null allowed) under the key, replacing what
  // was there. False, and the value deleted, for a null key.
  virtual bool set_value(const char* key, std::unique_ptr<RegValue> value);
  virtual bool set_value(const wchar_t* key, std::unique_ptr<RegValue> value);

  // Index of the value stored under the key, or -1.
  int find(const char* key) const;
  int find(const wchar_t* key) const;
  // The value stored under the key, or null.
  RegValue* get(const wchar_t* key) const { return item(find(key)); }
  RegValue* get(const char* key) const { return item(find(key)); }

private:
  template <typename Char>
  int find_key(const Char* key) const;
  template <typename Char>
  bool store(const Char* key, std::unique_ptr<RegValue> value);
  // Null when the items have the map's shape, else the reason.
  const char* shape_error() const noexcept;
};
