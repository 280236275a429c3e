#pragma once
// The automation collection classes (ObjectList, StringList, ObjectPair,
// StringObjectMap, IntegerObjectMap, ErrorObject) as seen by class: the
// entries from which the module registers their class objects, and the
// creation by class through which the maps make the lists they hand out.
#include "ClassFactory.h"
#include "ComPtr.h"
#include "FrameworkLib.h"

#include <span>

class CollectionClasses {
public:
  // One entry per class, for ClassObjectRegistration::registerAll (the
  // module registers them for multiple use as a local server, which also
  // makes them creatable inside the host itself).
  static std::span<const ClassEntry> classEntries() noexcept;

  // A new ObjectList, ObjectPair or StringObjectMap created through COM by
  // class id, so that it is an object of its own wherever the class is
  // served from. Null when it cannot be created; the failure is logged as
  // "<owner>::<method>: ...".
  static ComPtr<IObjectList> newObjectList(const char* owner, const char* method) noexcept;
  static ComPtr<IObjectPair> newObjectPair(const char* owner, const char* method) noexcept;
  static ComPtr<IStringObjectMap> newStringObjectMap(const char* owner, const char* method) noexcept;
};
