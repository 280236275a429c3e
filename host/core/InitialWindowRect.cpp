#include "InitialWindowRect.h"

RECT InitialWindowRect::centredOn(const RECT& desktop) noexcept {
  // Integer division truncates towards zero, also for negative insets.
  const LONG insetX = (desktop.right - desktop.left - kWidth) / 2;
  const LONG insetY = (desktop.bottom - desktop.top - kHeight) / 2;
  return RECT{desktop.left + insetX, desktop.top + insetY, desktop.right - insetX,
              desktop.bottom - insetY};
}

RECT InitialWindowRect::forDesktop() noexcept {
  RECT desktop{};
  if (!::GetWindowRect(::GetDesktopWindow(), &desktop)) return kFallback;
  return centredOn(desktop);
}
