#pragma once
// Texts of a module's string tables, loaded for an explicit language.
// LoadString follows the system's own choice of table, which the thread's
// UI language does not decide everywhere; looking the block up by language
// gives the same text on every system.
#include <windows.h>

#include <string>

class ResourceStrings {
public:
  ResourceStrings() = delete;

  // The text of string id from the table of language. When that language
  // has no table holding the string, its primary language's neutral table
  // and then the system's default choice are tried. Empty when the module
  // has no such string.
  static std::wstring load(HMODULE module, UINT id, LANGID language);
  // The same in the calling thread's UI language (see threadLanguage).
  static std::wstring load(HMODULE module, UINT id);

  // The language that the calling thread's texts are loaded in: the one set
  // with setThreadLanguage, else the thread's UI language as the system
  // reports it.
  static LANGID threadLanguage() noexcept;
  // Records the UI language chosen for the calling thread (0 forgets it).
  // Start-up calls this next to applying the language to the thread, since
  // not every system reports an applied UI language back.
  static void setThreadLanguage(LANGID language) noexcept;

private:
  // The string in the block resource found for (id, language), or nothing
  // when the block is missing or does not hold it.
  static bool find(HMODULE module, UINT id, LANGID language, bool anyLanguage, std::wstring& text);
};
