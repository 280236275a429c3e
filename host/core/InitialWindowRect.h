#pragma once
// Where the main window first appears: a rectangle of about 300 x 500
// centred on the desktop, or a fixed one when the desktop cannot be read.
#include <windows.h>

class InitialWindowRect {
public:
  InitialWindowRect() = delete;

  static constexpr LONG kWidth = 300;
  static constexpr LONG kHeight = 500;
  static constexpr RECT kFallback = {200, 100, 500, 600};

  // The desktop rectangle inset left and right by (width - 300) / 2 and top
  // and bottom by (height - 500) / 2, each halved towards zero; a desktop
  // smaller than that gives a negative inset, which enlarges the rectangle.
  static RECT centredOn(const RECT& desktop) noexcept;

  // centredOn the desktop window's rectangle, or kFallback.
  static RECT forDesktop() noexcept;
};
