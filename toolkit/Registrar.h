#pragma once
// Writes and removes registration tables (see RegistryEntry).
//
// Replacements: %NAME% in key paths, value names and texts is replaced by
// the value given for NAME (names compared without case); "%%" stands for
// one '%'; any other '%' is kept, so shell command lines keep their "%1".
//
// Removal deletes every value the table names, then the table's keys,
// deepest first: a kDeleteTree key with all beneath it, a kKeepKey key
// never, any other key only when nothing is left in it (so values and
// subkeys that others put there survive). Keys created on the way to a
// table key below another table key count as the table's (and go when
// empty); other keys, such as the parents of the table's top keys, are not
// touched.
#include "RegistryEntry.h"

#include <array>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class Registrar {
public:
  Registrar();

  // Adds or replaces the value of %name%. Raises std::bad_alloc.
  void addReplacement(std::wstring_view name, std::wstring_view value);
  // The text with the replacements made. Raises std::bad_alloc.
  std::wstring expand(std::wstring_view text) const;

  // Per-user registration: ClassesRoot entries go to
  // HKEY_CURRENT_USER\Software\Classes instead of HKEY_CLASSES_ROOT.
  // Raises std::bad_alloc.
  void setPerUserClasses(bool perUser);
  // Sends a root somewhere else: the key base plus the path prefix (tests
  // use this to keep machine-wide entries out of the machine's hive).
  // Raises std::bad_alloc.
  void mapRoot(RegistryRoot root, HKEY base, std::wstring_view prefix);

  // Writes the entries in order; stops at the first failure and returns it
  // (entries already written stay). Never throws.
  HRESULT write(std::span<const RegistryEntry> entries) const noexcept;
  // Removes what the entries describe; keys or values already gone are not
  // failures. Goes on after a failure and returns the first. Never throws.
  HRESULT remove(std::span<const RegistryEntry> entries) const noexcept;

  // The type library embedded in the module file at path (resource 1),
  // registered for all users or for the current user only.
  static HRESULT registerTypeLibrary(const std::wstring& path, bool perUser) noexcept;
  static HRESULT unregisterTypeLibrary(const std::wstring& path, bool perUser) noexcept;

private:
  struct Location {
    HKEY base;
    std::wstring path;
  };

  Location locate(const RegistryEntry& entry) const;
  HRESULT writeOne(const RegistryEntry& entry) const;
  HRESULT removeAll(std::span<const RegistryEntry> entries) const;

  std::vector<std::pair<std::wstring, std::wstring>> m_replacements;
  std::array<Location, 3> m_roots;
};
