#include "LaunchStringThread.h"

#include "Bstr.h"
#include "ComApartment.h"
#include "Logger.h"
#include "LoggerManager.h"
#include "RegWaitList.h"
#include "RegistryText.h"
#include "StatusText.h"
#include "UniqueHandle.h"

#include <new>
#include <string>

namespace {

constexpr const wchar_t* kUserKey = L"Software\\Mirdex";
constexpr const wchar_t* kValueName = L"LaunchString";

}  // namespace

LaunchStringThread::LaunchStringThread() : RegKillThread(false), m_logger(LoggerManager::get("controller")) {}

LaunchStringThread::~LaunchStringThread() {
  stop(true, INFINITE);
  ComPtr<IStream> stream;
  {
    CriticalSectionLock lock(m_handOverLock);
    stream = std::move(m_stream);
  }
  discard(stream);
}

void LaunchStringThread::setLogger(Logger* logger) noexcept {
  if (logger) m_logger = logger;
}

HRESULT LaunchStringThread::setController(IFrameworkController* controller) noexcept {
  ComPtr<IStream> stream;
  HRESULT hr = S_OK;
  if (controller) {
    hr = ::CoMarshalInterThreadInterfaceInStream(IID_IFrameworkController, controller, stream.put());
    if (FAILED(hr)) stream.reset();
  }
  {
    CriticalSectionLock lock(m_handOverLock);
    std::swap(stream, m_stream);
  }
  discard(stream);
  return hr;
}

void LaunchStringThread::releaseController() noexcept {
  ComPtr<IStream> stream;
  {
    CriticalSectionLock lock(m_handOverLock);
    stream = std::move(m_stream);
  }
  discard(stream);
  HANDLE handles[] = {m_released.handle()};
  DWORD signalled = 0;
  ::CoWaitForMultipleHandles(0, INFINITE, 1, handles, &signalled);
}

void LaunchStringThread::discard(ComPtr<IStream>& stream) noexcept {
  if (!stream) return;
  // The marshalled reference holds the controller until it is released.
  const LARGE_INTEGER start = {};
  stream->Seek(start, STREAM_SEEK_SET, nullptr);
  ::CoReleaseMarshalData(stream.get());
  stream.reset();
}

ComPtr<IFrameworkController> LaunchStringThread::takeController() {
  ComPtr<IStream> stream;
  {
    CriticalSectionLock lock(m_handOverLock);
    stream = std::move(m_stream);
    if (stream) m_released.reset();
  }
  ComPtr<IFrameworkController> controller;
  if (!stream) return controller;
  const HRESULT hr =
      ::CoGetInterfaceAndReleaseStream(stream.detach(), IID_IFrameworkController, controller.putVoid());
  if (FAILED(hr)) {
    controller.reset();
    m_released.set();
    m_logger->error("LaunchStringThread::onThreadRun: can't unmarshal the controller: %s", StatusText(hr).c_str());
  }
  return controller;
}

void LaunchStringThread::onThreadRun() {
  m_logger->info("LaunchStringThread::onThreadRun: enter");
  RegKey key;
  RegAutoEvent changed;
  {
    ComApartment apartment(COINIT_MULTITHREADED);
    ComPtr<IFrameworkController> controller = takeController();
    // Without the key every registry call below fails, the notification is
    // never armed, and the thread only waits for the stop request.
    ::RegOpenKeyExW(HKEY_CURRENT_USER, kUserKey, 0, KEY_READ | KEY_WRITE, key.put());
    // The stop request comes first, so it wins when both are signalled.
    RegWaitList waits(2, &m_killEvent, &changed);
    // The first round runs at once: a value written before the thread
    // started is taken too.
    do {
      checkValue(key.get(), changed, controller.get());
    } while (waits.waitAny(INFINITE) == 1);
    if (controller) {
      controller.reset();
      m_released.set();
    }
  }
  m_logger->info("LaunchStringThread::onThreadRun: leave");
}

void LaunchStringThread::checkValue(HKEY key, RegEvent& changed, IFrameworkController* controller) {
  m_logger->info("LaunchStringThread::onThreadRun: registry changed");
  std::wstring text;
  LONG read = ERROR_OUTOFMEMORY;
  try {
    read = RegistryText::read(key, kValueName, kMaxLength, text);
  } catch (const std::bad_alloc&) {
    // Reported below as any other failed read.
  }
  if (read != ERROR_SUCCESS && read != ERROR_FILE_NOT_FOUND) {
    try {
      m_logger->error("LaunchStringThread::onThreadRun: %s", StatusText(read).c_str());
    } catch (const std::bad_alloc&) {
    }
  }
  // Taken or unreadable, the value goes: an unreadable one would otherwise
  // be met again on every change of the key.
  bool gone = read == ERROR_FILE_NOT_FOUND;
  if (!gone) gone = ::RegDeleteValueW(key, kValueName) == ERROR_SUCCESS;

  ::RegNotifyChangeKeyValue(key, FALSE, REG_NOTIFY_CHANGE_LAST_SET, changed.handle(), TRUE);
  // A value written between the read and the re-arming raised no
  // notification; without another round it would wait for some unrelated
  // change of the key, or be lost when the program ends.
  if (gone && ::RegQueryValueExW(key, kValueName, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS) {
    changed.set();
  }

  if (read == ERROR_SUCCESS && !text.empty()) {
    m_logger->info("LaunchStringThread::onThreadRun: received: %S", text.c_str());
    if (controller) {
      try {
        controller->SetLaunchString(Bstr(text).get());
      } catch (const std::bad_alloc&) {
        // The string is lost, as one that could not be read.
      }
    }
  }
  m_logger->info("LaunchStringThread::onThreadRun: wait for registry change");
}
