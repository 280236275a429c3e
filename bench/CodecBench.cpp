#include "CodecBench.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "RegBuf.h"
#include "RegIntValue.h"
#include "RegListValue.h"
#include "RegRawValue.h"
#include "RegStrMapValue.h"
#include "RegStrValue.h"
#include "Stopwatch.h"

namespace {

// The annotation "Clear" message body as a presenter sends it.
std::unique_ptr<RegValue> clearMessage() {
  auto map = std::make_unique<RegStrMapValue>();
  map->set_value("Message", std::make_unique<RegStrValue>("Clear"));
  map->set_value("Target", std::make_unique<RegStrValue>(""));
  map->set_value("SessionID", std::make_unique<RegStrValue>("42"));
  return map;
}

// 1,000 values of every kind, a few of them nested lists.
std::unique_ptr<RegValue> mixedList() {
  auto list = std::make_unique<RegListValue>();
  const unsigned char bytes[12] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
  for (int i = 0; i < 1000; ++i) {
    switch (i % 5) {
      case 0: list->append(std::make_unique<RegIntValue>(int64_t{i} * 7919 - 300000)); break;
      case 1: list->append(std::make_unique<RegStrValue>(L"annotation text \u00e9\u4e16")); break;
      case 2: list->append(std::make_unique<RegRawValue>(bytes, int{sizeof bytes})); break;
      case 3: list->append(std::make_unique<RegIntValue>(int64_t{1} << (i % 63))); break;
      default: {
        auto inner = std::make_unique<RegListValue>();
        inner->append(std::make_unique<RegIntValue>(i));
        inner->append(std::make_unique<RegStrValue>("Color"));
        list->append(std::move(inner));
      }
    }
  }
  return list;
}

std::unique_ptr<RegValue> bigRaw() {
  std::vector<unsigned char> bytes(64 * 1024);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<unsigned char>(i * 31);
  return std::make_unique<RegRawValue>(bytes.data(), static_cast<int>(bytes.size()));
}

// Measures encode, decode and both for one value; the decode target is a
// fresh value of the same class each time, as a receiver would use.
bool measure(const char* name, const RegValue& value) {
  RegBuf encoded;
  value.write_value(encoded);
  const int bytes = encoded.length();

  std::unique_ptr<RegValue> target = value.clone();
  RegBuf out;
  double encodeNs = Stopwatch::nsPerOp([&] {
    out.reset();
    value.write_value(out);
  });
  double decodeNs = Stopwatch::nsPerOp([&] {
    encoded.set_position(0);
    target->parse_value(encoded, encoded.length());
  });
  double bothNs = Stopwatch::nsPerOp([&] {
    out.reset();
    value.write_value(out);
    target->parse_value(out, out.length());
  });

  RegBuf check;
  target->write_value(check);
  bool same = check.length() == bytes &&
              std::equal(check.data(), check.data() + bytes, encoded.data());

  auto mbps = [bytes](double ns) { return bytes / ns * 1e9 / (1024.0 * 1024.0); };
  std::printf("%-28s %8d bytes  encode %10.1f ns (%8.1f MB/s)  decode %10.1f ns (%8.1f MB/s)  "
              "encode+decode %10.1f ns%s\n",
              name, bytes, encodeNs, mbps(encodeNs), decodeNs, mbps(decodeNs), bothNs,
              same ? "" : "  ROUND TRIP MISMATCH");
  return same;
}

}  // namespace

bool CodecBench::run() {
  bool ok = true;
  ok &= measure("\"Clear\" message map", *clearMessage());
  ok &= measure("list of 1,000 mixed values", *mixedList());
  ok &= measure("64 KB raw value", *bigRaw());
  return ok;
}
