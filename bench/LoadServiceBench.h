#pragma once
// LoadService of a service the controller has already loaded: the lookup
// every page and plug-in call goes through.
class LoadServiceBench {
public:
  // Prints one line; false when the service could not be loaded.
  static bool run();
};
