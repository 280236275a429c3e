// The second program of the logging tests: writes numbered lines, either
// straight through a LogFile or through the library's loggers, so the tests
// can have several processes write the same files at once.
//
//   logging_test_writer file <path> <maxBytes> <keep> <lines> <tag> <gate>
//   logging_test_writer manager <lines> <tag> <gate>
//
// <gate> names an event to wait for before writing ("-": none). Exit code 0
// when everything was written (the manager form cannot tell and gives 0).
#include "LogFile.h"
#include "Logger.h"
#include "LoggerManager.h"
#include "UniqueHandle.h"

#include <shellapi.h>

#include <memory>
#include <string>

namespace {

struct LocalFreeDeleter {
  void operator()(wchar_t** p) const noexcept { ::LocalFree(p); }
};

std::string narrow(const wchar_t* text) {
  std::string result;
  for (; *text; ++text) result.push_back(static_cast<char>(*text));
  return result;
}

bool waitForGate(const wchar_t* name) {
  if (std::wstring(name) == L"-") return true;
  KernelHandle gate(::OpenEventW(SYNCHRONIZE, FALSE, name));
  return gate && ::WaitForSingleObject(gate.get(), 60000) == WAIT_OBJECT_0;
}

int writeFile(wchar_t** argv) {
  LogFile file(argv[2], std::stoull(argv[3]), std::stoi(argv[4]));
  const int lines = std::stoi(argv[5]);
  const std::string tag = narrow(argv[6]);
  if (!waitForGate(argv[7])) return 3;
  int failures = 0;
  for (int i = 0; i < lines; ++i) {
    std::string line = tag + " " + std::to_string(i) + " ";
    line.append(64 - line.size() % 64, 'x');
    line += "\r\n";
    if (!file.append(line)) ++failures;
  }
  return failures == 0 ? 0 : 4;
}

int writeThroughLoggers(wchar_t** argv) {
  Logger* logger = LoggerManager::get("writer");
  const int lines = std::stoi(argv[2]);
  const std::string tag = narrow(argv[3]);
  if (!waitForGate(argv[4])) return 3;
  for (int i = 0; i < lines; ++i) {
    logger->debug("%s %d debug", tag.c_str(), i);
    logger->info("%s %d info", tag.c_str(), i);
    logger->warn("%s %d warn", tag.c_str(), i);
    logger->error("%s %d error", tag.c_str(), i);
  }
  return 0;
}

}  // namespace

int main() {
  int argc = 0;
  std::unique_ptr<wchar_t*, LocalFreeDeleter> args(::CommandLineToArgvW(::GetCommandLineW(), &argc));
  if (!args) return 2;
  wchar_t** argv = args.get();
  const std::wstring mode = argc > 1 ? argv[1] : L"";
  try {
    if (mode == L"file" && argc == 8) return writeFile(argv);
    if (mode == L"manager" && argc == 5) return writeThroughLoggers(argv);
  } catch (const std::exception&) {
  }
  return 2;
}
