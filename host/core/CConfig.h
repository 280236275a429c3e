#pragma once
// The configuration service: named values of one registry section, with
// typed getters that take a default and convert tolerantly between texts,
// numbers and booleans. The root object (the class's, and so the "Config"
// service) is the machine-level configuration key; CreateConfig opens
// sections below the configuration key of either level.
//
// Registry failures never surface: a section that cannot be opened reads
// as empty and ignores writes. The section key is opened (or, by the first
// writer, created) lazily and cached until Flush(false), ClearConfig or the
// object's end.
#include "FrameworkLib.h"
#include "IFrameworkPluginImpl.h"
#include "InterfaceMap.h"
#include "ObjectSafetyImpl.h"
#include "UniqueHandle.h"

#include <optional>
#include <span>
#include <string>

class CConfig : public IFrameworkPluginImpl<IConfig, &IID_IConfig>, public ObjectSafetyImpl {
public:
  static constexpr bool aggregatable = true;

  // The root object: the whole configuration key at machine level.
  CConfig() = default;
  // The section name (empty for the root) at user or machine level.
  CConfig(std::wstring name, bool user);

  static std::span<const InterfaceEntry<CConfig>> interfaceMap() noexcept;

  // IFrameworkPlugin
  STDMETHODIMP get_PluginName(BSTR* name) noexcept override;
  STDMETHODIMP get_PluginDesc(BSTR* desc) noexcept override;

  // IConfig
  STDMETHODIMP CreateConfig(BSTR name, VARIANT_BOOL user, IConfig** config) noexcept override;
  STDMETHODIMP get_Name(BSTR* name) noexcept override;
  STDMETHODIMP get_user(VARIANT_BOOL* user) noexcept override;
  STDMETHODIMP ClearConfig() noexcept override;
  STDMETHODIMP ClearValue(BSTR key) noexcept override;
  STDMETHODIMP Flush(VARIANT_BOOL heavy) noexcept override;
  STDMETHODIMP GetValue(BSTR key, VARIANT* value) noexcept override;
  STDMETHODIMP GetValue2(BSTR key, VARIANT def, VARIANT* value) noexcept override;
  STDMETHODIMP SetValue(BSTR key, VARIANT value) noexcept override;
  STDMETHODIMP GetString(BSTR key, BSTR def, BSTR* value) noexcept override;
  STDMETHODIMP SetString(BSTR key, BSTR value) noexcept override;
  STDMETHODIMP GetInteger(BSTR key, LONG def, LONG* value) noexcept override;
  STDMETHODIMP SetInteger(BSTR key, LONG value) noexcept override;
  STDMETHODIMP GetBoolean(BSTR key, VARIANT_BOOL def, VARIANT_BOOL* value) noexcept override;
  STDMETHODIMP SetBoolean(BSTR key, VARIANT_BOOL value) noexcept override;

  // The longest text a value may hold to be readable.
  static constexpr DWORD kMaxTextLength = 1022;

private:
  // A value as the getters see it: a text (REG_SZ), a number (REG_DWORD or
  // REG_QWORD), or nothing usable (absent, another type, unreadable).
  struct StoredValue {
    enum class Kind { Nothing, Text, Number32, Number64 };
    Kind kind = Kind::Nothing;
    std::wstring text;
    ULONGLONG number = 0;
  };

  HKEY rootKey() const noexcept;
  std::wstring sectionPath() const;
  // The cached key, or the existing section opened (and cached); null when
  // it cannot be opened for reading and writing.
  HKEY readerKey() noexcept;
  // The cached key, or the section opened or created (and cached); null
  // when that fails.
  HKEY writerKey() noexcept;

  // Raise std::bad_alloc.
  StoredValue read(BSTR key);
  static std::optional<std::wstring> textOf(const StoredValue& stored);
  static std::optional<LONG> integerOf(const StoredValue& stored);
  static std::optional<bool> booleanOf(const StoredValue& stored);

  static void writeText(HKEY section, BSTR key, const wchar_t* text, UINT length) noexcept;
  static void writeNumber(HKEY section, BSTR key, DWORD number) noexcept;

  std::wstring m_name;
  bool m_user = false;
  RegKey m_key;
};
