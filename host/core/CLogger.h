#pragma once
// The logger service: pages and plug-ins log through it into the logging
// library. The class's object (and so the "Logger" service) writes to the
// root logger; CreateLogger makes objects for named categories. Each object
// has its own prefix, put in front of every message.
#include "FrameworkLib.h"
#include "IFrameworkPluginImpl.h"
#include "InterfaceMap.h"
#include "ObjectSafetyImpl.h"

#include <span>
#include <string>

class Logger;

class CLogger : public IFrameworkPluginImpl<ILogger, &IID_ILogger>, public ObjectSafetyImpl {
public:
  static constexpr bool aggregatable = true;

  // Writes to the root logger.
  CLogger() noexcept;
  // Writes to logger, which the logging library owns.
  explicit CLogger(Logger* logger) noexcept;

  static std::span<const InterfaceEntry<CLogger>> interfaceMap() noexcept;

  // IFrameworkPlugin
  STDMETHODIMP get_PluginName(BSTR* name) noexcept override;
  STDMETHODIMP get_PluginDesc(BSTR* desc) noexcept override;

  // ILogger
  STDMETHODIMP CreateLogger(BSTR name, ILogger** logger) noexcept override;
  STDMETHODIMP get_Name(BSTR* name) noexcept override;
  STDMETHODIMP get_prefix(BSTR* prefix) noexcept override;
  STDMETHODIMP put_prefix(BSTR prefix) noexcept override;
  STDMETHODIMP Log(LONG level, BSTR text) noexcept override;
  STDMETHODIMP Enabled(LONG level, VARIANT_BOOL* enabled) noexcept override;
  STDMETHODIMP LogDebug(BSTR text) noexcept override;
  STDMETHODIMP LogInfo(BSTR text) noexcept override;
  STDMETHODIMP LogWarn(BSTR text) noexcept override;
  STDMETHODIMP LogError(BSTR text) noexcept override;

private:
  Logger* m_logger;
  // In the thread's ANSI code page, as the library takes it.
  std::string m_prefix;
};
