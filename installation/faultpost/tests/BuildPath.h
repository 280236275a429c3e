#pragma once
// Paths of the build's own programs, given to the tests by the build as the
// build machine sees them.
#include <string>

class BuildPath {
public:
  BuildPath() = delete;
  // Under Wine a path from the file-system root is on drive Z:.
  static std::wstring windows(const char* buildMachinePath);
  // The folder part of a Windows path, without the trailing '\'.
  static std::wstring folder(const std::wstring& path);
};
