#pragma once
// A fresh directory under the temporary folder, removed with its files.
#include <string>
#include <vector>

class TestDirectory {
public:
  TestDirectory();
  ~TestDirectory();
  TestDirectory(const TestDirectory&) = delete;
  TestDirectory& operator=(const TestDirectory&) = delete;

  const std::wstring& path() const { return m_path; }
  std::wstring file(const std::wstring& name) const { return m_path + L"\\" + name; }
  // The names of the files in it (not of folders).
  std::vector<std::wstring> files() const;

private:
  std::wstring m_path;
};
