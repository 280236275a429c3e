#include "RegWait.h"

#include "RegTimer.h"

RegWait::RegWait(HANDLE handle) noexcept : m_handle(handle) {}

bool RegWait::wait(DWORD timeout) {
  return m_handle && ::WaitForSingleObject(m_handle.get(), timeout) == WAIT_OBJECT_0;
}

bool RegWait::msgWait(DWORD timeout) {
  if (timeout == 0) return wait(0);
  if (!m_handle) return false;

  HANDLE handles[2] = {m_handle.get(), nullptr};
  DWORD count = 1;
  // A finite wait needs its own deadline: the message wait below itself
  // waits without limit, because each batch of messages restarts it.
  RegManualTimer deadline(0);
  if (timeout != INFINITE) {
    // Without an armed deadline the wait could never end: report failure.
    if (!deadline.set(timeout)) return false;
    handles[count++] = deadline.handle();
  }

  for (;;) {
    DWORD result = ::MsgWaitForMultipleObjects(count, handles, FALSE, INFINITE, QS_ALLINPUT);
    if (result == WAIT_OBJECT_0) return true;
    if (result != WAIT_OBJECT_0 + count) return false;  // deadline, failure

    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) {
        // The quit belongs to the thread's own message loop: put it back
        // for that loop and give up waiting instead of swallowing it.
        ::PostQuitMessage(static_cast<int>(msg.wParam));
        return false;
      }
      ::TranslateMessage(&msg);
      ::DispatchMessageW(&msg);
      // A window that stays invalid would make the queue yield WM_PAINT
      // forever; go back to the wait so the object and deadline are seen.
      if (msg.message == WM_PAINT) break;
    }
  }
}
