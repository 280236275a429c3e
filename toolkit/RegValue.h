#pragma once
// Base of the self-describing values: each encodes itself as
//   type (1 byte) | payload length (1-4 bytes, see RegBuf) | payload
// and decodes itself from that encoding, raising RegError on bad input.
#include <memory>
#include <string>

#include "RegBuf.h"
#include "RegError.h"

class RegValue {
public:
  static constexpr int type_raw = 0;
  static constexpr int type_int = 1;
  static constexpr int type_str = 2;
  static constexpr int type_list = 3;

  RegValue& operator=(const RegValue&) = delete;

  // Payload length in bytes.
  virtual int data_size() const = 0;
  // Appends the payload.
  virtual void write_data(RegBuf& buf) const = 0;
  // Reads a payload of exactly `length` bytes; returns the count it did not
  // consume (0 on success). Starts from the empty state.
  virtual int parse_data(RegBuf& buf, int length) = 0;
  virtual ~RegValue();
  // Back to the empty state.
  virtual void clear();
  // Converts from another value; false when it cannot (never raises).
  virtual bool assign(const RegValue& other) = 0;
  // Deep copy of the same class.
  virtual std::unique_ptr<RegValue> clone() const = 0;
  // Appends a readable line for the log.
  virtual std::string& format(std::string& s, bool clear_first) const;

  int type() const noexcept { return m_type; }

  // Type, length field and payload.
  void write_value(RegBuf& buf) const;
  // Decodes one encoded value of this type from at most `limit` bytes of the
  // buffer; returns the limit left. Raises RegError.
  int parse_value(RegBuf& buf, int limit);

protected:
  explicit RegValue(int type) noexcept : m_type(type) {}
  RegValue(const RegValue&) = default;

  // Conversion through the encoding: other's payload parsed as this type's.
  bool round_trip(const RegValue& other);

private:
  int m_type;
};
