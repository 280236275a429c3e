// The COM tests' program. Started with -Embedding (by COM, for the
// cross-process test) it is instead a local server of the test library's
// Calc class, and ends when its last object is released.
#include "CCalc.h"
#include "ClassObjectRegistration.h"
#include "ComApartment.h"
#include "ComCreator.h"
#include "ComModule.h"

#include <gtest/gtest.h>

namespace {

bool isEmbedding(const char* arg) {
  return ::lstrcmpiA(arg, "-Embedding") == 0 || ::lstrcmpiA(arg, "/Embedding") == 0;
}

int runLocalServer() {
  ComApartment apartment;
  if (!apartment.ok()) return 1;
  // The last client letting go ends the message loop.
  ComModule::instance().setIdleHandler(
      [](void* thread) noexcept {
        ::PostThreadMessageW(static_cast<DWORD>(reinterpret_cast<UINT_PTR>(thread)), WM_QUIT, 0, 0);
      },
      reinterpret_cast<void*>(static_cast<UINT_PTR>(::GetCurrentThreadId())));
  static const ClassEntry kClasses[] = {{&CLSID_Calc, &ComCreator<CCalc>::createInstance}};
  ClassObjectRegistration registration;
  if (FAILED(registration.registerAll(kClasses))) return 2;
  // A server that no client reaches does not linger.
  const UINT_PTR timer = ::SetTimer(nullptr, 0, 60000, nullptr);
  MSG msg;
  while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (msg.message == WM_TIMER && msg.hwnd == nullptr && msg.wParam == timer) break;
    ::DispatchMessageW(&msg);
  }
  ::KillTimer(nullptr, timer);
  registration.revokeAll();
  ComModule::instance().setIdleHandler(nullptr, nullptr);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (isEmbedding(argv[i])) return runLocalServer();
  }
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
