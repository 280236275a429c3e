#include "LocalServerClasses.h"

#include "CollectionClasses.h"
#include "FrameworkLib.h"
#include "ServiceClasses.h"

namespace {

struct ClassNames {
  const CLSID* clsid;
  const wchar_t* progId;
  const wchar_t* description;
};

// %APPNAME% is replaced at registration.
constexpr ClassNames kNames[] = {
    {&CLSID_ObjectList, L"%APPNAME%.ObjectList", L"ObjectList Class"},
    {&CLSID_StringList, L"%APPNAME%.StringList", L"StringList Class"},
    {&CLSID_ObjectPair, L"%APPNAME%.ObjectPair", L"ObjectPair Class"},
    {&CLSID_StringObjectMap, L"%APPNAME%.StringObjectMap", L"StringObjectMap Class"},
    {&CLSID_IntegerObjectMap, L"%APPNAME%.IntegerObjectMap", L"IntegerObjectMap Class"},
    {&CLSID_ErrorObject, L"%APPNAME%.ErrorObject", L"ErrorObject Class"},
    {&CLSID_Config, L"%APPNAME%.Config", L"Config Class"},
    {&CLSID_Logger, L"%APPNAME%.Logger", L"Logger Class"},
    {&CLSID_MirdexAccessServer, L"Mirdex.AccessServer", L"MirdexAccessServer Class"},
};

// The providers of class objects. A class is served (and registered) only
// once its provider is listed here.
std::vector<std::span<const ClassEntry>> providers() {
  return {
      CollectionClasses::classEntries(),
      ServiceClasses::entries(),
      // The access server's class object: its provider is added here when
      // the access server exists; until then its class is neither served
      // nor registered.
  };
}

std::vector<LocalServerClasses::Class> collect() {
  std::vector<LocalServerClasses::Class> classes;
  const auto sources = providers();
  for (const ClassNames& names : kNames) {
    for (const auto& entries : sources) {
      for (const ClassEntry& entry : entries) {
        if (*entry.clsid == *names.clsid) {
          classes.push_back({entry, names.progId, names.description});
        }
      }
    }
  }
  return classes;
}

}  // namespace

std::span<const LocalServerClasses::Class> LocalServerClasses::all() {
  static const std::vector<Class> classes = collect();
  return classes;
}

std::vector<ClassEntry> LocalServerClasses::classEntries() {
  std::vector<ClassEntry> entries;
  for (const Class& c : all()) entries.push_back(c.entry);
  return entries;
}
