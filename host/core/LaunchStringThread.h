#pragma once
// The launch-string monitor: a worker thread of the controller that
// watches HKEY_CURRENT_USER\Software\Mirdex for the value "LaunchString",
// which a second start of the program writes, takes the value (deleting
// it) and hands it to the controller's SetLaunchString.
//
// Embedded in the controller, not auto-deleting. The controller gives it
// its logger and, before the start, its own interface, marshalled here for
// the thread, which joins the multithreaded apartment and unmarshals it:
// every delivery is a call carried to the controller's thread. At shut-down
// the controller asks the thread to stop without waiting and lets go of
// the thread's reference (releaseController); the destruction waits for
// the thread's end.
#include "ComPtr.h"
#include "CriticalSection.h"
#include "FrameworkLib.h"
#include "RegEvent.h"
#include "RegKillThread.h"

#include <windows.h>

#include <objidl.h>

class Logger;

class LaunchStringThread : public RegKillThread {
public:
  // The longest launch string taken, in characters; a longer value is
  // discarded.
  static constexpr DWORD kMaxLength = 999;

  LaunchStringThread();
  // Stops the thread and waits for it while the members it uses still exist.
  ~LaunchStringThread() override;

  // The logger of the thread's lines; set before the start.
  void setLogger(Logger* logger) noexcept;

  // Marshals controller for the thread; called before the start, in the
  // controller's apartment. A stream the thread has not picked up is
  // replaced.
  HRESULT setController(IFrameworkController* controller) noexcept;

  // Lets go of the thread's controller reference; called after stop, in the
  // apartment that called setController. A stream the thread has not
  // picked up is released here. A reference the thread holds is a proxy
  // that only the thread can release, and releasing it is a call into this
  // apartment: this waits, serving the apartment's incoming calls, until the
  // thread has done so. Afterwards the thread holds nothing that keeps the
  // controller alive or needs its apartment.
  void releaseController() noexcept;

  void onThreadRun() override;

private:
  // The controller from the stream handed over, or null (nothing handed
  // over, or released already).
  ComPtr<IFrameworkController> takeController();
  // One round of the loop: take the value, re-arm the notification on
  // changed, deliver what was taken.
  void checkValue(HKEY key, RegEvent& changed, IFrameworkController* controller);
  static void discard(ComPtr<IStream>& stream) noexcept;

  Logger* m_logger;
  CriticalSection m_handOverLock;
  ComPtr<IStream> m_stream;          // guarded by m_handOverLock
  RegManualEvent m_released{true};   // signalled while the thread holds no reference
};
