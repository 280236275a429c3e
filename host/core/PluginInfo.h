#pragma once
// One registered or loaded plug-in of the controller's service table: the
// name it is registered under, what it stands for (a class to create, or
// the name of another service for an alias), and the instance once loaded.
//
// A record owns one reference to its instance: copies add one, destruction
// releases it.
#include "ComPtr.h"
#include "FrameworkLib.h"

#include <cguid.h>

#include <string>
#include <string_view>

class PluginInfo {
public:
  PluginInfo() = default;
  // A direct record of the given name with no class yet.
  explicit PluginInfo(std::wstring name);

  // Builds a record from a service or start-up entry: the registry value
  // name (or the name given to AddService) and its data, one of
  //   CLSID:{class identifier}   the class to create
  //   PROGID:prog.id             the class the ProgID names, resolved now
  //   SERVICE:other name         an alias of another service
  // (prefixes in any case). valid tells whether the data was understood;
  // the record is filled as far as it could be either way (a record with
  // neither class nor alias when not). Raises std::bad_alloc.
  static PluginInfo fromEntry(std::wstring_view name, std::wstring_view data, bool& valid);

  // The table key of a service name: the name with 'A' to 'Z' lower-cased
  // and every other character kept, so the key never depends on the
  // locale. Raises std::bad_alloc.
  static std::wstring serviceKey(std::wstring_view name);

  // The whole name, version suffix included ("Name,1.0").
  const std::wstring& name() const noexcept { return m_name; }
  // The service this record stands for; empty for a direct record.
  const std::wstring& alias() const noexcept { return m_alias; }
  // The class to create; all zeros when unknown.
  const CLSID& clsid() const noexcept { return m_clsid; }
  const ComPtr<IFrameworkPlugin>& instance() const noexcept { return m_instance; }

  bool isAlias() const noexcept { return !m_alias.empty(); }
  bool hasClass() const noexcept { return m_clsid != GUID_NULL; }
  std::wstring key() const { return serviceKey(m_name); }

  // Replaces the held instance (adding a reference to the new one).
  void setInstance(IFrameworkPlugin* instance) noexcept { m_instance = instance; }

  // Same name and same alias (both without regard to ASCII case) and the
  // same class. The instance does not take part.
  friend bool operator==(const PluginInfo& a, const PluginInfo& b) noexcept;

private:
  std::wstring m_name;
  std::wstring m_alias;
  CLSID m_clsid = GUID_NULL;
  ComPtr<IFrameworkPlugin> m_instance;
};
