#pragma once
// Owning wrapper for a view of a file mapping, in the toolkit's handle style.
#include "UniqueHandle.h"

using MappedView = UniqueHandle<ZeroInvalidTraits<void*, &::UnmapViewOfFile>>;
