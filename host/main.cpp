// Mirdex.exe: the desktop host and local automation server.
#include "CFrameworkModule.h"
#include "RegisteredMessages.h"

#include <windows.h>

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
  // The shared window messages are registered while the process starts,
  // before this entry; referring to them keeps that registration linked in.
  (void)RegisteredMessages::restoreFromTray();
  CFrameworkModule module(instance, showCommand);
  return module.run(::GetCommandLineW());
}
