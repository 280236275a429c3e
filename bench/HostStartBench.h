#pragma once
// Start-up figure of the host program: from starting Mirdex.exe until its
// main window is visible, with Wine already warm; each run is then ended
// with the quit switch.
class HostStartBench {
public:
  // Prints one line; false when the host could not be started or shown.
  static bool run();
};
