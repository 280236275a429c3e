#pragma once
// The class objects of the host's configuration and logger services, for
// the module to register with the rest of its classes while it runs.
#include "ClassFactory.h"

#include <span>

class ServiceClasses {
public:
  // Config and Logger: creatable from outside, aggregatable.
  static std::span<const ClassEntry> entries() noexcept;
};
