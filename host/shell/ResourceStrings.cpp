#include "ResourceStrings.h"

namespace {
// Strings live in blocks of 16; a block is a run of length-prefixed UTF-16
// texts, an empty slot having length 0.
constexpr UINT kStringsPerBlock = 16;

thread_local LANGID t_language = 0;
}  // namespace

bool ResourceStrings::find(HMODULE module, UINT id, LANGID language, bool anyLanguage,
                           std::wstring& text) {
  const LPCWSTR block = MAKEINTRESOURCEW(id / kStringsPerBlock + 1);
  HRSRC info = anyLanguage ? ::FindResourceW(module, block, RT_STRING)
                           : ::FindResourceExW(module, RT_STRING, block, language);
  if (!info) return false;
  HGLOBAL loaded = ::LoadResource(module, info);
  const auto* data = static_cast<const WCHAR*>(loaded ? ::LockResource(loaded) : nullptr);
  if (!data) return false;
  // Walk to the slot without reading past the end of the block, whatever
  // the lengths in it claim.
  const size_t total = ::SizeofResource(module, info) / sizeof(WCHAR);
  size_t at = 0;
  for (UINT slot = 0; slot < id % kStringsPerBlock; ++slot) {
    if (at >= total) return false;
    at += 1 + static_cast<size_t>(data[at]);
  }
  if (at >= total) return false;
  const size_t length = data[at];
  if (length == 0 || length > total - at - 1) return false;
  text.assign(data + at + 1, length);
  return true;
}

std::wstring ResourceStrings::load(HMODULE module, UINT id, LANGID language) {
  std::wstring text;
  if (find(module, id, language, false, text)) return text;
  const LANGID neutral = MAKELANGID(PRIMARYLANGID(language), SUBLANG_NEUTRAL);
  if (neutral != language && find(module, id, neutral, false, text)) return text;
  find(module, id, 0, true, text);
  return text;
}

std::wstring ResourceStrings::load(HMODULE module, UINT id) {
  return load(module, id, threadLanguage());
}

LANGID ResourceStrings::threadLanguage() noexcept {
  return t_language != 0 ? t_language : ::GetThreadUILanguage();
}

void ResourceStrings::setThreadLanguage(LANGID language) noexcept { t_language = language; }
