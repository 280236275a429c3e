#include "RegFlagValue.h"

#include "RegIntValue.h"

RegFlagValue::RegFlagValue(int flag, std::unique_ptr<RegValue> value) {
  append(std::make_unique<RegIntValue>(flag));
  if (value) append(std::move(value));
}

RegFlagValue::~RegFlagValue() = default;

const char* RegFlagValue::shape_error() const noexcept {
  if (count() > 0 && (!item(0) || item(0)->type() != type_int)) return "invalid flag type";
  if (count() > 2) return "extra value";
  return nullptr;
}

int64_t RegFlagValue::flag() const noexcept {
  const auto* integer = dynamic_cast<const RegIntValue*>(item(0));
  return integer ? integer->value() : 0;
}

int RegFlagValue::parse_data(RegBuf& buf, int length) {
  const int left = RegListValue::parse_data(buf, length);
  if (const char* error = shape_error()) throw RegError("RegFlagValue::parse_data", error);
  return left;
}

bool RegFlagValue::assign(const RegValue& other) {
  if (!RegListValue::assign(other)) return false;
  if (!shape_error()) return true;
  clear();
  return false;
}

std::unique_ptr<RegValue> RegFlagValue::clone() const { return std::make_unique<RegFlagValue>(*this); }

std::string& RegFlagValue::format(std::string& s, bool clear_first) const {
  RegValue::format(s, clear_first);
  s += "{ ";
  if (count() > 0) format_item(s, item(0));
  if (count() > 1) {
    s += " : ";
    format_item(s, item(1));
  }
  if (count() > 2) {
    s += "; ";
    format_items(s, 2);
  }
  s += " }";
  return s;
}
