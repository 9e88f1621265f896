// The resource module registry.
#include "graphics/resources.h"

#include "rtl/sysutils.h"

namespace vcl {

namespace {
struct Module {
    std::string name;
    const TResourceEntry* entries;
    size_t count;
};
std::vector<Module>& Modules() {
    static std::vector<Module> m;
    return m;
}
}  // namespace

HMODULE RegisterResourceModule(const char* moduleName, const TResourceEntry* entries, size_t count) {
    if (HMODULE h = FindResourceModule(moduleName)) return h;
    Modules().push_back({moduleName, entries, count});
    return HMODULE(Modules().size());
}

HMODULE FindResourceModule(std::string_view moduleName) {
    auto& m = Modules();
    for (size_t i = 0; i < m.size(); ++i)
        if (SameText(m[i].name, moduleName)) return HMODULE(i + 1);
    return 0;
}

const TResourceEntry* FindResourceEntry(HMODULE module, std::string_view name) {
    auto& m = Modules();
    for (size_t i = 0; i < m.size(); ++i) {
        if (module != 0 && module != HMODULE(i + 1)) continue;
        for (size_t k = 0; k < m[i].count; ++k)
            if (SameText(m[i].entries[k].Name, name)) return &m[i].entries[k];
    }
    return nullptr;
}

std::vector<std::string> ResourceNames(HMODULE module) {
    std::vector<std::string> out;
    auto& m = Modules();
    for (size_t i = 0; i < m.size(); ++i) {
        if (module != 0 && module != HMODULE(i + 1)) continue;
        for (size_t k = 0; k < m[i].count; ++k) out.push_back(m[i].entries[k].Name);
    }
    return out;
}

}  // namespace vcl
