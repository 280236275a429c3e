#include "TestDirectory.h"

#include "UniqueHandle.h"

#include <atomic>
#include <string>
#include <vector>

namespace {

struct Entry {
  std::wstring name;
  bool folder;
};

std::vector<Entry> entries(const std::wstring& directory) {
  std::vector<Entry> found;
  WIN32_FIND_DATAW data;
  FindHandle search(::FindFirstFileW((directory + L"\\*").c_str(), &data));
  if (!search) return found;
  do {
    const std::wstring name = data.cFileName;
    if (name != L"." && name != L"..") found.push_back({name, (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0});
  } while (::FindNextFileW(search.get(), &data));
  return found;
}

void removeTree(const std::wstring& directory) {
  for (const Entry& entry : entries(directory)) {
    const std::wstring path = directory + L"\\" + entry.name;
    if (entry.folder) {
      removeTree(path);
    } else {
      ::DeleteFileW(path.c_str());
    }
  }
  ::RemoveDirectoryW(directory.c_str());
}

}  // namespace

TestDirectory::TestDirectory() {
  static std::atomic<unsigned> counter{0};
  wchar_t temp[MAX_PATH];
  ::GetTempPathW(MAX_PATH, temp);
  m_path = std::wstring(temp) + L"mirdex-logging-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
           std::to_wstring(::GetTickCount64()) + L"-" + std::to_wstring(counter++);
  ::CreateDirectoryW(m_path.c_str(), nullptr);
}

TestDirectory::~TestDirectory() {
  removeTree(m_path);
}

std::vector<std::wstring> TestDirectory::files() const {
  std::vector<std::wstring> names;
  for (const Entry& entry : entries(m_path)) {
    if (!entry.folder) names.push_back(entry.name);
  }
  return names;
}
