#pragma once
// The window messages the host shares with other programs and with the
// shell, registered by name once while the process starts.
#include <windows.h>

class RegisteredMessages {
public:
  RegisteredMessages() = delete;

  // "miRdexAPPBAR": application-bar notifications of a docked window.
  static UINT appBar() noexcept;
  // "MirdexRestoreFromTray": another start asks the main window back.
  static UINT restoreFromTray() noexcept;
  // "MirdexGetViewerHwnd": look up the embedded viewer window.
  static UINT getViewerHwnd() noexcept;
  // "TaskbarCreated": the system's taskbar (re)appeared.
  static UINT taskbarCreated() noexcept;
};
