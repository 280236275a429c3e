#pragma once
// A value under HKEY_CURRENT_USER\Software\Mirdex (or another key) changed
// for one test: saved when made, put back (or removed) when it goes.
#include <windows.h>

#include <optional>
#include <string>
#include <vector>

class UserSetting {
public:
  explicit UserSetting(const wchar_t* name, const wchar_t* subKey = L"Software\\Mirdex");
  ~UserSetting();
  UserSetting(const UserSetting&) = delete;
  UserSetting& operator=(const UserSetting&) = delete;

  bool setNumber(DWORD value);
  bool setText(const std::wstring& value);
  // Any type and any bytes, for values of the wrong form.
  bool setRaw(DWORD type, const std::vector<BYTE>& bytes);
  void remove();

private:
  struct Saved {
    DWORD type;
    std::vector<BYTE> bytes;
  };

  std::wstring m_subKey;
  std::wstring m_name;
  std::optional<Saved> m_saved;
};
