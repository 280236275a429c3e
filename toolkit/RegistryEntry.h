#pragma once
// One line of a registration table, written by Registrar::write and undone
// by Registrar::remove. Key paths, value names and texts may contain
// %NAME% replacements (see Registrar).
#include <windows.h>

enum class RegistryRoot {
  ClassesRoot,   // HKEY_CLASSES_ROOT, or the user's classes for per-user registration
  LocalMachine,  // HKEY_LOCAL_MACHINE
  CurrentUser,   // HKEY_CURRENT_USER
};

struct RegistryEntry {
  // The key is never deleted on removal (values the table names in it are).
  static constexpr unsigned kKeepKey = 1;
  // The key is deleted with everything beneath it on removal, and an
  // existing one is deleted before writing, so nothing stale survives.
  static constexpr unsigned kDeleteTree = 2;

  RegistryRoot root;
  const wchar_t* key;        // path under the root
  const wchar_t* valueName;  // null: the entry is the key alone; L"": the default value
  DWORD type;                // REG_NONE for a key alone, REG_SZ, REG_EXPAND_SZ or REG_DWORD
  const wchar_t* text;       // data of REG_SZ and REG_EXPAND_SZ
  DWORD number;              // data of REG_DWORD
  unsigned flags;

  static constexpr RegistryEntry keyOnly(RegistryRoot root, const wchar_t* key,
                                         unsigned flags = 0) noexcept {
    return {root, key, nullptr, REG_NONE, nullptr, 0, flags};
  }
  static constexpr RegistryEntry string(RegistryRoot root, const wchar_t* key,
                                        const wchar_t* name, const wchar_t* text,
                                        unsigned flags = 0) noexcept {
    return {root, key, name, REG_SZ, text, 0, flags};
  }
  static constexpr RegistryEntry expandString(RegistryRoot root, const wchar_t* key,
                                              const wchar_t* name, const wchar_t* text,
                                              unsigned flags = 0) noexcept {
    return {root, key, name, REG_EXPAND_SZ, text, 0, flags};
  }
  static constexpr RegistryEntry dword(RegistryRoot root, const wchar_t* key,
                                       const wchar_t* name, DWORD number,
                                       unsigned flags = 0) noexcept {
    return {root, key, name, REG_DWORD, nullptr, number, flags};
  }
};
