#include "LoggerManager.h"

#include "LogAppender.h"
#include "LogBuffer.h"
#include "LogFormatter.h"
#include "Logger.h"
#include "LoggingKey.h"
#include "UniqueHandle.h"

#include <shlobj.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

constexpr const char* kRootName = "root";
constexpr const char* kLevelNames[] = {"DEBUG", "INFO", "WARN", "ERROR"};

int normalizedLevel(int level) noexcept {
  return std::clamp(level, Logger::kDebug, Logger::kError);
}

bool validLevel(long long level) noexcept {
  return level >= Logger::kDebug && level <= Logger::kError;
}

// MIRDEX_LOG_LEVEL: a level number or name; 0 when absent or not one.
int environmentLevel() noexcept {
  wchar_t text[32];
  const DWORD length = ::GetEnvironmentVariableW(L"MIRDEX_LOG_LEVEL", text, 32);
  if (length == 0 || length >= 32) return 0;

  std::wstring_view value(text, length);
  while (!value.empty() && value.front() == L' ') value.remove_prefix(1);
  while (!value.empty() && value.back() == L' ') value.remove_suffix(1);
  if (value.empty()) return 0;

  if (std::all_of(value.begin(), value.end(), [](wchar_t c) { return c >= L'0' && c <= L'9'; })) {
    long long number = 0;
    for (wchar_t c : value) number = std::min(number * 10 + (c - L'0'), 1000LL);
    return validLevel(number) ? static_cast<int>(number) : 0;
  }
  static const struct {
    const wchar_t* name;
    int level;
  } kNames[] = {{L"debug", Logger::kDebug}, {L"info", Logger::kInfo},    {L"warn", Logger::kWarn},
                {L"warning", Logger::kWarn}, {L"error", Logger::kError}};
  for (const auto& entry : kNames) {
    if (::CompareStringOrdinal(value.data(), static_cast<int>(value.size()), entry.name, -1, TRUE) ==
        CSTR_EQUAL) {
      return entry.level;
    }
  }
  return 0;
}

// HKCU\Software\Mirdex\Log "Level"; 0 when absent or not a level.
int registryLevel() noexcept {
  RegKey key;
  if (::RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Mirdex\\Log", 0, KEY_QUERY_VALUE, key.put()) !=
      ERROR_SUCCESS) {
    return 0;
  }
  DWORD type = 0;
  DWORD value = 0;
  DWORD size = sizeof value;
  if (::RegQueryValueExW(key.get(), L"Level", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) !=
          ERROR_SUCCESS ||
      type != REG_DWORD || size != sizeof value) {
    return 0;
  }
  return validLevel(value) ? static_cast<int>(value) : 0;
}

int configuredThreshold() noexcept {
  if (const int level = environmentLevel()) return level;
  if (const int level = registryLevel()) return level;
  return LoggerManager::kDefaultLevel;
}

std::wstring environmentVariable(const wchar_t* name) {
  std::wstring value(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = ::GetEnvironmentVariableW(name, value.data(), static_cast<DWORD>(value.size()));
    if (length == 0) return {};
    if (length < value.size()) {
      value.resize(length);
      return value;
    }
    value.resize(length);
  }
}

std::wstring localAppData() {
  std::wstring folder = environmentVariable(L"LOCALAPPDATA");
  if (folder.empty()) {
    wchar_t path[MAX_PATH];
    if (SUCCEEDED(::SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, path))) {
      folder = path;
    }
  }
  while (!folder.empty() && (folder.back() == L'\\' || folder.back() == L'/')) folder.pop_back();
  return folder;
}

// The executable's file name without directory and extension.
std::wstring programBaseName() {
  std::wstring module(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = ::GetModuleFileNameW(nullptr, module.data(), static_cast<DWORD>(module.size()));
    if (length == 0) return L"Mirdex";
    if (length < module.size()) {
      module.resize(length);
      break;
    }
    module.resize(module.size() * 2);
  }
  const std::size_t slash = module.find_last_of(L"\\/");
  std::wstring name = slash == std::wstring::npos ? module : module.substr(slash + 1);
  const std::size_t dot = name.find_last_of(L'.');
  if (dot != std::wstring::npos && dot > 0) name.resize(dot);
  return name.empty() ? L"Mirdex" : name;
}

std::wstring defaultLogFilePath() {
  const std::wstring folder = localAppData();
  // Without a folder to write to, the library keeps only its appenders.
  if (folder.empty()) return {};
  return folder + L"\\Mirdex\\logs\\" + programBaseName() + L".log";
}

// Set on a thread while it calls the appenders: a line logged from inside an
// appender still goes to the file but does not go round the appenders again.
thread_local bool t_inAppender = false;

}  // namespace

LoggerManager::LoggerManager()
    : m_threshold(configuredThreshold()), m_file(defaultLogFilePath(), kMaxFileBytes, kKeepFiles) {
  auto root = std::unique_ptr<Logger>(new Logger(kRootName));
  m_root = root.get();
  m_loggers.emplace(kRootName, std::move(root));
}

LoggerManager& LoggerManager::instance() noexcept {
  // Never destroyed: loggers are used from static destructors and from
  // threads that outlive main, and the file needs no closing to be complete.
  static LoggerManager* const manager = new LoggerManager();
  return *manager;
}

bool LoggerManager::setkey(const void* key, int length) noexcept {
  const bool matches = key != nullptr && length == static_cast<int>(kLoggingKeyLength) &&
                       std::memcmp(key, kLoggingKey, kLoggingKeyLength) == 0;
  if (!matches) get(nullptr)->warn("LoggerManager::setkey: the key given is not the library's key");
  return matches;
}

Logger* LoggerManager::get(const char* category) noexcept {
  LoggerManager& manager = instance();
  if (category == nullptr || *category == '\0') return manager.m_root;
  CriticalSectionLock lock(manager.m_loggersLock);
  try {
    auto found = manager.m_loggers.find(std::string_view(category));
    if (found == manager.m_loggers.end()) {
      found = manager.m_loggers.emplace(category, std::unique_ptr<Logger>(new Logger(category))).first;
    }
    return found->second.get();
  } catch (...) {
    // Out of memory: the root logger still gets the message out.
    return manager.m_root;
  }
}

std::wstring LoggerManager::logFilePath() {
  return instance().m_file.path();
}

void LoggerManager::addAppender(LogAppender* appender) {
  if (!appender) return;
  LoggerManager& manager = instance();
  CriticalSectionLock lock(manager.m_appendersLock);
  manager.m_appenders.push_back(appender);
  manager.m_appenderCount.store(manager.m_appenders.size());
}

void LoggerManager::removeAppender(LogAppender* appender) noexcept {
  LoggerManager& manager = instance();
  CriticalSectionLock lock(manager.m_appendersLock);
  auto& appenders = manager.m_appenders;
  appenders.erase(std::remove(appenders.begin(), appenders.end(), appender), appenders.end());
  manager.m_appenderCount.store(appenders.size());
}

void LoggerManager::reloadConfiguration() noexcept {
  instance().m_threshold.store(configuredThreshold());
}

int LoggerManager::threshold() noexcept {
  return instance().m_threshold.load();
}

bool LoggerManager::levelEnabled(int level) noexcept {
  return normalizedLevel(level) >= threshold();
}

void LoggerManager::write(const Logger& logger, int level, const char* format, va_list args) noexcept {
  // Logger::vlog has checked the threshold.
  level = normalizedLevel(level);

  LogRecord record{};
  ::GetLocalTime(&record.time);
  record.level = level;
  record.threadId = ::GetCurrentThreadId();
  record.category = logger.name();

  const SYSTEMTIME& t = record.time;
  char head[96];
  const int headLength = std::snprintf(
      head, sizeof head, "%04u-%02u-%02u %02u:%02u:%02u.%03u %-5s [%lu] ", unsigned{t.wYear},
      unsigned{t.wMonth}, unsigned{t.wDay}, unsigned{t.wHour}, unsigned{t.wMinute}, unsigned{t.wSecond},
      unsigned{t.wMilliseconds}, kLevelNames[level - 1], record.threadId);

  LogBuffer line;
  if (headLength > 0) line.append(std::string_view(head, static_cast<std::size_t>(headLength)));
  line.append(record.category);
  line.append(" - ");
  const std::size_t messageStart = line.size();
  LogFormatter::format(line, format, args);
  const std::size_t messageEnd = line.size();
  line.finishLine();

  // No lock of the manager is held: the file orders its writers itself.
  m_file.append(line.view());

  if (m_appenderCount.load() == 0 || t_inAppender) return;
  const std::string_view text = line.view();
  record.message = text.substr(messageStart, messageEnd - messageStart);
  record.line = text.substr(0, text.size() - 2);
  dispatch(record);
}

void LoggerManager::dispatch(const LogRecord& record) noexcept {
  t_inAppender = true;
  {
    CriticalSectionLock lock(m_appendersLock);
    for (LogAppender* appender : m_appenders) {
      try {
        appender->append(record);
      } catch (...) {
        // An appender's failure is its own; the others still get the record.
      }
    }
  }
  t_inAppender = false;
}
