#pragma once
// Objects that hold references outside the host (other processes, pages) and
// must drop them when the controller goes away, before COM shuts down. Each
// instance enrols itself for its whole life; the controller's destroy runs
// every enrolled object's cleanup, newest first.
#include <cstddef>

class InternalCleanup {
public:
  virtual ~InternalCleanup();
  virtual void cleanup() = 0;

  InternalCleanup(const InternalCleanup&) = delete;
  InternalCleanup& operator=(const InternalCleanup&) = delete;

  // Number of enrolled objects.
  static size_t count();
  // Calls cleanup on every enrolled object from the last to the first. A
  // member may leave the list (be destroyed) during its own cleanup.
  static void cleanupAll();

protected:
  InternalCleanup();
};
