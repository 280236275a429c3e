#pragma once
// The launch parameters the controller hands out (string maps whose values
// are strings or lists of strings), flattened to text a test can compare.
#include "FrameworkLib.h"
#include "Variant.h"

#include <map>
#include <string>

// A string as it is, a list as [a,b], anything else as "?".
std::wstring parameterText(const VARIANT& value);

// Every entry of a string map, keys sorted; entries whose key is not a
// string are skipped. Empty for a null map.
std::map<std::wstring, Variant> mapEntries(IStringObjectMap* map);

// A query map as "name=value;name=[a,b]", or `whenNoMap` when the value
// holds no string map.
std::wstring queryText(const VARIANT& query, const wchar_t* whenNoMap);
