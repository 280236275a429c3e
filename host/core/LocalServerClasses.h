#pragma once
// The classes the program serves to other processes while it runs: their
// class objects, registered for multiple use as a local server, and the
// names under which the registration makes them known (ProgIDs and
// description).
#include "ClassFactory.h"

#include <span>
#include <vector>

class LocalServerClasses {
public:
  LocalServerClasses() = delete;

  struct Class {
    ClassEntry entry;
    const wchar_t* progId;  // version-independent; the versioned one adds ".1"
    const wchar_t* description;
  };

  // Every class with a class object, in registration order. Raises
  // std::bad_alloc on first use.
  static std::span<const Class> all();

  // The class objects alone, for ClassObjectRegistration::registerAll.
  // Raises std::bad_alloc.
  static std::vector<ClassEntry> classEntries();
};
