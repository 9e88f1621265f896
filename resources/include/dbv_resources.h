// The runtime library's bitmaps, compiled in. Registering them makes
// TBitmap::LoadFromResourceName("KR_CHECKON") find them.
#pragma once
#include "graphics/resources.h"

namespace dbv {
// Registers the "VDBVantor" resource module once and returns its handle.
vcl::HMODULE RegisterRuntimeResources();
}  // namespace dbv
