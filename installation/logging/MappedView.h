#pragma once
// Owning wrapper for a view of a file mapping, in the toolkit's handle style.
#include "UniqueHandle.h"

struct MappedViewTraits {
  using handle_type = void*;
  static void* invalid() noexcept { return nullptr; }
  static bool valid(void* view) noexcept { return view != nullptr; }
  static void close(void* view) noexcept { ::UnmapViewOfFile(view); }
};
using MappedView = UniqueHandle<MappedViewTraits>;
