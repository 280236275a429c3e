#pragma once
// Serves the calling thread's messages (and with them the calls that other
// apartments make into it) until a condition holds.
#include <windows.h>

#include <functional>

class MessagePump {
public:
  // Generous: Wine runs threads and processes slowly on a busy machine.
  static constexpr DWORD kLongWait = 30000;

  // True as soon as done() holds; false when it still does not after
  // timeoutMs.
  static bool until(const std::function<bool()>& done, DWORD timeoutMs = kLongWait) {
    const ULONGLONG end = ::GetTickCount64() + timeoutMs;
    for (;;) {
      if (done()) return true;
      const ULONGLONG now = ::GetTickCount64();
      if (now >= end) return false;
      const DWORD left = static_cast<DWORD>(end - now);
      ::MsgWaitForMultipleObjects(0, nullptr, FALSE, left < 20 ? left : 20, QS_ALLINPUT);
      MSG msg;
      while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
      }
    }
  }

  // Serves messages for about ms milliseconds.
  static void serve(DWORD ms) {
    until([] { return false; }, ms);
  }
};
