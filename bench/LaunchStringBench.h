#pragma once
// Hand-off figure of launch strings: from starting a second Mirdex.exe with
// launch and a URL until the running host announces the URL (the
// onLaunchString event, seen by the LaunchObserver plug-in inside the
// host), less the second process's own start: the time until it has
// written the URL to the registry, which the benchmark watches.
class LaunchStringBench {
public:
  // Prints one line; false when the host could not be started or a launch
  // string was not delivered.
  static bool run();
};
