#pragma once
// LaunchObserver.dll set up for the hosts started from now on: its class
// and its start-up entry registered for the machine (Wine reads no per-user
// classes; the start-up key itself belongs to the installation), and a
// fresh record file named to them through the environment they inherit.
// Everything is removed again when the object goes.
#include "Registrar.h"

#include <windows.h>

#include <string>
#include <vector>

class LaunchObserverRecord {
public:
  // One line of the record (see LaunchObserverSink.h).
  struct Announcement {
    std::string kind;        // "event" or "handler"
    long long counter = 0;   // performance counter at the call
    std::string thread;
    std::string url;
    std::string scheme;
    std::string path;
    std::string query;
    std::string ageType;
  };

  // dllPath as the build machine names the file.
  explicit LaunchObserverRecord(const char* dllPath);
  ~LaunchObserverRecord();
  LaunchObserverRecord(const LaunchObserverRecord&) = delete;
  LaunchObserverRecord& operator=(const LaunchObserverRecord&) = delete;

  // The result of the registration.
  HRESULT registration() const noexcept { return m_registration; }

  std::vector<Announcement> announcements() const;
  // Waits (generously) until at least count announcements are recorded.
  bool waitFor(size_t count) const;

private:
  Registrar m_registrar;
  HRESULT m_registration = E_FAIL;
  std::wstring m_file;
};
