#include "CLogger.h"

#include "ComObject.h"
#include "Logger.h"
#include "LoggerManager.h"

#include <climits>
#include <new>

namespace {

// Texts cross into the logging library in the thread's ANSI code page.
std::string toThreadAnsi(BSTR text) {
  const UINT length = ::SysStringLen(text);
  if (length == 0 || length > static_cast<UINT>(INT_MAX)) return {};
  const int bytes = ::WideCharToMultiByte(CP_THREAD_ACP, 0, text, static_cast<int>(length), nullptr,
                                          0, nullptr, nullptr);
  if (bytes <= 0) return {};
  std::string narrow(static_cast<size_t>(bytes), '\0');
  ::WideCharToMultiByte(CP_THREAD_ACP, 0, text, static_cast<int>(length), narrow.data(), bytes,
                        nullptr, nullptr);
  return narrow;
}

HRESULT copyFromThreadAnsi(const std::string& text, BSTR* out) noexcept {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (text.size() > static_cast<size_t>(INT_MAX)) return E_OUTOFMEMORY;
  const int inLength = static_cast<int>(text.size());
  const int length = inLength == 0 ? 0
                                   : ::MultiByteToWideChar(CP_THREAD_ACP, 0, text.data(), inLength,
                                                           nullptr, 0);
  *out = ::SysAllocStringLen(nullptr, static_cast<UINT>(length > 0 ? length : 0));
  if (!*out) return E_OUTOFMEMORY;
  if (length > 0) ::MultiByteToWideChar(CP_THREAD_ACP, 0, text.data(), inLength, *out, length);
  return S_OK;
}

}  // namespace

CLogger::CLogger() noexcept : CLogger(LoggerManager::get(nullptr)) {}

CLogger::CLogger(Logger* logger) noexcept : m_logger(logger) {}

std::span<const InterfaceEntry<CLogger>> CLogger::interfaceMap() noexcept {
  static constexpr InterfaceEntry<CLogger> map[] = {
      interfaceEntry<CLogger, ILogger>(IID_ILogger),
      interfaceEntry<CLogger, IFrameworkPlugin, ILogger>(IID_IFrameworkPlugin),
      interfaceEntry<CLogger, IDispatch, ILogger>(IID_IDispatch),
      interfaceEntry<CLogger, IObjectSafety>(IID_IObjectSafety),
  };
  return map;
}

STDMETHODIMP CLogger::get_PluginName(BSTR* name) noexcept { return copyText(L"Logger,1.0", name); }

STDMETHODIMP CLogger::get_PluginDesc(BSTR* desc) noexcept { return copyText(L"Simple Logger", desc); }

STDMETHODIMP CLogger::CreateLogger(BSTR name, ILogger** logger) noexcept {
  if (!logger) return E_POINTER;
  *logger = nullptr;
  try {
    // A null (or empty) name is the root logger's.
    const std::string category = toThreadAnsi(name);
    Logger* target = LoggerManager::get(category.empty() ? nullptr : category.c_str());
    return ComObject<CLogger>::createInstance(IID_ILogger, reinterpret_cast<void**>(logger), target);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

STDMETHODIMP CLogger::get_Name(BSTR* name) noexcept {
  try {
    return copyFromThreadAnsi(m_logger->name(), name);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

STDMETHODIMP CLogger::get_prefix(BSTR* prefix) noexcept {
  return copyFromThreadAnsi(m_prefix, prefix);
}

STDMETHODIMP CLogger::put_prefix(BSTR prefix) noexcept {
  try {
    m_prefix = toThreadAnsi(prefix);
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

STDMETHODIMP CLogger::Log(LONG level, BSTR text) noexcept {
  try {
    // The text is an argument, never the format: a '%' in it stays as it is.
    const std::string message = toThreadAnsi(text);
    const int numeric = static_cast<int>(level);
    if (m_prefix.empty()) {
      m_logger->log(numeric, "%s", message.c_str());
    } else {
      m_logger->log(numeric, "%s%s", m_prefix.c_str(), message.c_str());
    }
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

STDMETHODIMP CLogger::Enabled(LONG level, VARIANT_BOOL* enabled) noexcept {
  if (!enabled) return E_POINTER;
  *enabled = m_logger->enabled(static_cast<int>(level)) ? VARIANT_TRUE : VARIANT_FALSE;
  return S_OK;
}

STDMETHODIMP CLogger::LogDebug(BSTR text) noexcept { return Log(Logger::kDebug, text); }

STDMETHODIMP CLogger::LogInfo(BSTR text) noexcept { return Log(Logger::kInfo, text); }

STDMETHODIMP CLogger::LogWarn(BSTR text) noexcept { return Log(Logger::kWarn, text); }

STDMETHODIMP CLogger::LogError(BSTR text) noexcept { return Log(Logger::kError, text); }
