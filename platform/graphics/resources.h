// Named resources compiled into a library: each library registers its table of named byte
// blocks (bitmap files) as a resource module and looks them up by name.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "graphics/graphics.h"

namespace vcl {

struct TResourceEntry {
    const char* Name;  // upper case, e.g. "KR_CHECKON"
    const unsigned char* Data;
    size_t Size;
};

// Registers a module's table (the entries must outlive the process, as static data does).
// Registering a module name again returns its handle. Handles start at 1.
HMODULE RegisterResourceModule(const char* moduleName, const TResourceEntry* entries, size_t count);
// 0 when no module of that name is registered (names compared without case).
HMODULE FindResourceModule(std::string_view moduleName);
// Names compared without case; module 0 searches every module in registration order.
const TResourceEntry* FindResourceEntry(HMODULE module, std::string_view name);
std::vector<std::string> ResourceNames(HMODULE module);

}  // namespace vcl
