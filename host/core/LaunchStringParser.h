#pragma once
// How a launch string (a URL such as mirdex://open/chat?id=42#top) is taken
// apart for the pages: the fragment is dropped; the text before the first
// ':' is the scheme and the rest the path, both as written; the query is
// split into name=value pieces at every '&', names and values
// percent-decoded. Names are case-sensitive and may repeat.
//
// Percent-decoding: "%hh" escapes give bytes, and each run of them is read
// as UTF-8 (a run that is not valid UTF-8 keeps its bytes as the
// characters of the same code values); "%uXXXX" gives one UTF-16 code
// unit; anything else, '+' and malformed escapes included, is copied as it
// is.
#include "FrameworkLib.h"

#include <string>
#include <string_view>
#include <utility>
#include <vector>

class LaunchStringParser {
public:
  LaunchStringParser() = delete;

  struct Parts {
    std::wstring scheme;
    std::wstring path;
    // (name, value) decoded, in order of occurrence; pieces with neither
    // name nor value are left out.
    std::vector<std::pair<std::wstring, std::wstring>> query;
  };

  // Raises std::bad_alloc.
  static Parts split(std::wstring_view text);

  // The decoded text; malformed (may be null) tells whether a '%' was not
  // followed by what an escape needs. Raises std::bad_alloc.
  static std::wstring percentDecode(std::wstring_view text, bool* malformed = nullptr);

  // Sets "query" (a new StringObjectMap: a name that occurs once maps to
  // its value, a repeated one to a new ObjectList of its values in order),
  // "path" and "scheme" in params. A part whose objects cannot be created
  // is left out.
  static void addTo(std::wstring_view text, IStringObjectMap* params) noexcept;

private:
  static void addQueryValue(IStringObjectMap* query, const std::wstring& name, const std::wstring& value);
};
