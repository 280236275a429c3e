#pragma once
// Ordered list of values (type 3); the payload is the items' encodings one
// after another. Items are owned; null items are allowed and are written as
// an empty raw value (00 00).
#include <memory>
#include <vector>

#include "RegValue.h"

class RegListValue : public RegValue {
public:
  // Deepest nesting of lists a decode accepts; deeper input is refused
  // rather than recursed into.
  static constexpr int max_depth = 64;

  RegListValue() noexcept : RegValue(type_list) {}
  RegListValue(const RegListValue& other);

  int data_size() const override;
  void write_data(RegBuf& buf) const override;
  int parse_data(RegBuf& buf, int length) override;
  ~RegListValue() override;
  void clear() override;
  bool assign(const RegValue& other) override;
  std::unique_ptr<RegValue> clone() const override;
  std::string& format(std::string& s, bool clear_first) const override;

  // New empty value for a decoded item of the given type code (null for an
  // unknown code). `index` is the number of items decoded so far.
  virtual std::unique_ptr<RegValue> create_item(int index, int type);
  // Takes ownership; null is allowed.
  virtual void append(std::unique_ptr<RegValue> value);
  // Replaces the item at index (deleting the old one); false, and the value
  // deleted, for an index outside the list.
  virtual bool set_item(int index, std::unique_ptr<RegValue> value);
  // Removes count items from index; a negative count, or one reaching past
  // the end, removes everything from index on.
  virtual void erase(int index, int count);

  int count() const noexcept { return static_cast<int>(m_items.size()); }
  // Null for a null item or an index outside the list.
  RegValue* item(int index) const noexcept;

protected:
  // Deep copy of another list's items, replacing ours; false when other is
  // not a list.
  bool copy_items(const RegValue& other);
  // Formats items [first, count()) with "; " between them.
  void format_items(std::string& s, int first) const;
  static void format_item(std::string& s, const RegValue* value);

private:
  std::vector<std::unique_ptr<RegValue>> m_items;
};
