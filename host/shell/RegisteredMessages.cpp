#include "RegisteredMessages.h"

namespace {
struct MessageIds {
  UINT appBar;
  UINT restoreFromTray;
  UINT getViewerHwnd;
  UINT taskbarCreated;
};

const MessageIds& ids() noexcept {
  static const MessageIds registered = {
      ::RegisterWindowMessageW(L"miRdexAPPBAR"),
      ::RegisterWindowMessageW(L"MirdexRestoreFromTray"),
      ::RegisterWindowMessageW(L"MirdexGetViewerHwnd"),
      ::RegisterWindowMessageW(L"TaskbarCreated"),
  };
  return registered;
}

// Registered during start-up, before any window can receive one of them.
[[maybe_unused]] const MessageIds& g_registeredAtStart = ids();
}  // namespace

UINT RegisteredMessages::appBar() noexcept { return ids().appBar; }
UINT RegisteredMessages::restoreFromTray() noexcept { return ids().restoreFromTray; }
UINT RegisteredMessages::getViewerHwnd() noexcept { return ids().getViewerHwnd; }
UINT RegisteredMessages::taskbarCreated() noexcept { return ids().taskbarCreated; }
