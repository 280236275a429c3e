#include "InProcessDump.h"

#include "UniqueHandle.h"

#include <dbghelp.h>

namespace {

bool writeDump(const std::wstring& path, EXCEPTION_POINTERS* exception) {
  KernelHandle file(::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                  CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  MINIDUMP_EXCEPTION_INFORMATION information{};
  information.ThreadId = ::GetCurrentThreadId();
  information.ExceptionPointers = exception;
  information.ClientPointers = TRUE;
  return ::MiniDumpWriteDump(::GetCurrentProcess(), ::GetCurrentProcessId(), file.get(),
                             MiniDumpNormal, exception ? &information : nullptr, nullptr,
                             nullptr) != FALSE;
}

// The request the vectored handler serves; set only around RaiseException
// on the requesting thread.
struct Request {
  const std::wstring* path = nullptr;
  DWORD threadId = 0;
  bool written = false;
  std::uint64_t address = 0;
};
Request* g_request = nullptr;

LONG CALLBACK onException(EXCEPTION_POINTERS* exception) {
  Request* request = g_request;
  if (!request || request->threadId != ::GetCurrentThreadId() ||
      exception->ExceptionRecord->ExceptionCode != InProcessDump::kExceptionCode) {
    return EXCEPTION_CONTINUE_SEARCH;
  }
  request->address = reinterpret_cast<std::uintptr_t>(exception->ExceptionRecord->ExceptionAddress);
  request->written = writeDump(*request->path, exception);
  return EXCEPTION_CONTINUE_EXECUTION;
}

using VectoredHandler = UniqueHandle<ZeroInvalidTraits<void*, &::RemoveVectoredExceptionHandler>>;

}  // namespace

bool InProcessDump::write(const std::wstring& path) { return writeDump(path, nullptr); }

bool InProcessDump::writeForException(const std::wstring& path, Raised& raised) {
  Request request;
  request.path = &path;
  request.threadId = ::GetCurrentThreadId();
  g_request = &request;
  {
    VectoredHandler handler(::AddVectoredExceptionHandler(1, &onException));
    if (handler) {
      const ULONG_PTR parameters[2] = {kFirstParameter, kSecondParameter};
      ::RaiseException(kExceptionCode, 0, 2, parameters);
    }
  }
  g_request = nullptr;
  raised.threadId = request.threadId;
  raised.address = request.address;
  return request.written;
}
