#pragma once
// The UI language of the host: the "Language" text configured under
// HKEY_LOCAL_MACHINE\SOFTWARE\Mirdex\Config\User, its language id, and the
// id applied to the main thread.
#include <windows.h>

#include <string>
#include <string_view>

class LanguageSelection {
public:
  LanguageSelection() = delete;

  // Longer texts are not a language: they are read as empty.
  static constexpr size_t kMaxTextLength = 8;

  // The "Language" text of the configuration key; empty when the key cannot
  // be opened for reading and writing, or the value is missing, not a string
  // (REG_SZ or REG_EXPAND_SZ) or longer than kMaxTextLength.
  static std::wstring configuredText();
  // The same, read from an open key (the tests give one of their own).
  static std::wstring readText(HKEY key);

  // The language id a text names: "EN", "ZH_CN" and "ZH_TW" (with case), or
  // a decimal number (blanks before it allowed, the end or a blank after
  // it) whose low 16 bits are not 0. 0 for every other text.
  static LANGID languageId(std::wstring_view text) noexcept;

  // Applies a language id to the calling thread: as its UI language on
  // Windows 6.0 and later (the call is looked up at run time and skipped
  // when the system lacks it), as its locale before. Also records it for
  // the string loading of the thread. False when nothing was applied.
  static bool apply(LANGID id, bool vistaOrLater) noexcept;

  // The whole selection: reads the text, applies its id if it names one,
  // and returns the text (possibly empty).
  static std::wstring select(bool vistaOrLater);
};
