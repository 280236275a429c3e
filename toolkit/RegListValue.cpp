#include "RegListValue.h"

#include "RegIntValue.h"
#include "RegRawValue.h"
#include "RegStrValue.h"

namespace {

// Nesting of list decodes on this thread. Bounding it keeps hostile input
// (03 xx 03 xx ...) from exhausting the stack.
thread_local int decode_depth = 0;

class DepthGuard {
public:
  DepthGuard() {
    if (decode_depth >= RegListValue::max_depth)
      throw RegError("RegListValue::parse_data", "nesting too deep");
    ++decode_depth;
  }
  ~DepthGuard() { --decode_depth; }
  DepthGuard(const DepthGuard&) = delete;
  DepthGuard& operator=(const DepthGuard&) = delete;
};

std::vector<std::unique_ptr<RegValue>> deep_copy(const std::vector<std::unique_ptr<RegValue>>& items) {
  std::vector<std::unique_ptr<RegValue>> copy;
  copy.reserve(items.size());
  for (const auto& item : items) copy.push_back(item ? item->clone() : nullptr);
  return copy;
}

}  // namespace

RegListValue::RegListValue(const RegListValue& other)
    : RegValue(other), m_items(deep_copy(other.m_items)) {}

RegListValue::~RegListValue() = default;

RegValue* RegListValue::item(int index) const noexcept {
  return index >= 0 && index < count() ? m_items[static_cast<size_t>(index)].get() : nullptr;
}

int RegListValue::data_size() const {
  int size = 0;
  for (const auto& item : m_items) {
    if (!item) {
      size += 2;
      continue;
    }
    const int n = item->data_size();
    size += 1 + RegBuf::size_length(n) + n;
  }
  return size;
}

void RegListValue::write_data(RegBuf& buf) const {
  for (const auto& item : m_items) {
    if (!item) {
      buf.write_byte(RegValue::type_raw);
      buf.write_byte(0);
      continue;
    }
    // Written field by field rather than through write_value, so each
    // item's size is measured once at this level.
    const int n = item->data_size();
    buf.write_byte(static_cast<unsigned char>(item->type()));
    buf.write_size(n);
    item->write_data(buf);
  }
}

int RegListValue::parse_data(RegBuf& buf, int length) {
  clear();
  const DepthGuard depth;
  if (length < 1) return 0;
  int left = length;
  while (left > 0) {
    if (buf.remaining() < left) throw RegError("RegListValue::parse_data");
    std::unique_ptr<RegValue> item = create_item(count(), buf.peek());
    if (!item) throw RegError("RegListValue::parse_data", "invalid value type");
    // The item may use only what is left of this payload; if it raises, it
    // is deleted on the way out.
    left = item->parse_value(buf, left);
    m_items.push_back(std::move(item));
  }
  return 0;
}

void RegListValue::clear() { m_items.clear(); }

std::unique_ptr<RegValue> RegListValue::create_item(int, int type) {
  switch (type) {
    case type_raw:
      return std::make_unique<RegRawValue>();
    case type_int:
      return std::make_unique<RegIntValue>();
    case type_str:
      return std::make_unique<RegStrValue>();
    case type_list:
      return std::make_unique<RegListValue>();
    default:
      return nullptr;
  }
}

void RegListValue::append(std::unique_ptr<RegValue> value) { m_items.push_back(std::move(value)); }

bool RegListValue::set_item(int index, std::unique_ptr<RegValue> value) {
  if (index < 0 || index >= count()) return false;
  auto& slot = m_items[static_cast<size_t>(index)];
  if (slot.get() == value.get()) {
    // Storing the item already there: it must not end up owned twice.
    (void)value.release();
    return true;
  }
  slot = std::move(value);
  return true;
}

void RegListValue::erase(int index, int count) {
  const int size = this->count();
  if (index < 0 || index >= size || count == 0) return;
  const int end = count < 0 || count > size - index ? size : index + count;
  m_items.erase(m_items.begin() + index, m_items.begin() + end);
}

bool RegListValue::copy_items(const RegValue& other) {
  const auto* list = dynamic_cast<const RegListValue*>(&other);
  if (!list) return false;
  // Copied before the old items go: other may be one of them.
  auto items = deep_copy(list->m_items);
  m_items = std::move(items);
  return true;
}

bool RegListValue::assign(const RegValue& other) {
  if (&other == this) return true;
  bool done = false;
  switch (other.type()) {
    case type_list:
      done = copy_items(other);
      break;
    case type_raw:
      return round_trip(other);
    default:
      break;
  }
  if (!done) clear();
  return done;
}

std::unique_ptr<RegValue> RegListValue::clone() const { return std::make_unique<RegListValue>(*this); }

void RegListValue::format_item(std::string& s, const RegValue* value) {
  if (value)
    value->format(s, false);
  else
    s += "<null>";
}

void RegListValue::format_items(std::string& s, int first) const {
  for (int i = first; i < count(); ++i) {
    if (i > first) s += "; ";
    format_item(s, item(i));
  }
}

std::string& RegListValue::format(std::string& s, bool clear_first) const {
  RegValue::format(s, clear_first);
  s += "{ ";
  format_items(s, 0);
  s += " }";
  return s;
}
