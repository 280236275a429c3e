#include "LaunchObserverRecord.h"

#include "BuildPath.h"
#include "HostProcess.h"
#include "LaunchObserver.h"

#include <fstream>
#include <new>
#include <sstream>

namespace {

using E = RegistryEntry;
using R = RegistryRoot;

const RegistryEntry kEntries[] = {
    E::string(R::ClassesRoot, L"CLSID\\%CLSID%", L"", L"Mirdex launch observer", E::kDeleteTree),
    E::string(R::ClassesRoot, L"CLSID\\%CLSID%\\InprocServer32", L"", L"%MODULE%"),
    E::string(R::ClassesRoot, L"CLSID\\%CLSID%\\InprocServer32", L"ThreadingModel", L"Apartment"),
    E::string(R::LocalMachine, L"SOFTWARE\\Mirdex\\Startup", L"LaunchObserver", L"CLSID:%CLSID%", E::kKeepKey),
};

constexpr const wchar_t* kFileVariable = L"MIRDEX_LAUNCH_OBSERVER_LOG";

}  // namespace

LaunchObserverRecord::LaunchObserverRecord(const char* dllPath) {
  m_registrar.addReplacement(L"MODULE", BuildPath::windows(dllPath));
  m_registrar.addReplacement(L"CLSID", LaunchObserver::kClassIdText);
  m_registration = m_registrar.write(kEntries);
  wchar_t folder[MAX_PATH] = {};
  ::GetTempPathW(MAX_PATH, folder);
  m_file = std::wstring(folder) + L"mirdex-launch-observer-" + std::to_wstring(::GetCurrentProcessId()) + L".txt";
  ::DeleteFileW(m_file.c_str());
  ::SetEnvironmentVariableW(kFileVariable, m_file.c_str());
}

LaunchObserverRecord::~LaunchObserverRecord() {
  ::SetEnvironmentVariableW(kFileVariable, nullptr);
  m_registrar.remove(kEntries);
  ::DeleteFileW(m_file.c_str());
}

std::vector<LaunchObserverRecord::Announcement> LaunchObserverRecord::announcements() const {
  std::vector<Announcement> out;
  std::ifstream in(m_file.c_str(), std::ios::binary);
  std::string line;
  while (std::getline(in, line)) {
    std::vector<std::string> fields;
    std::stringstream split(line);
    std::string field;
    while (std::getline(split, field, '\t')) fields.push_back(field);
    if (fields.size() != 8) continue;  // a line still being written
    Announcement announcement;
    announcement.kind = fields[0];
    announcement.counter = std::stoll(fields[1]);
    announcement.thread = fields[2];
    announcement.url = fields[3];
    announcement.scheme = fields[4];
    announcement.path = fields[5];
    announcement.query = fields[6];
    announcement.ageType = fields[7];
    out.push_back(std::move(announcement));
  }
  return out;
}

bool LaunchObserverRecord::waitFor(size_t count) const {
  const ULONGLONG end = ::GetTickCount64() + HostProcess::kLongWait;
  while (announcements().size() < count) {
    if (::GetTickCount64() > end) return false;
    ::Sleep(1);
  }
  return true;
}
