#include "glext/entry_points.h"

#include <cstring>
#include <iterator>

namespace glext {

#define GLEXT_ROW(extension)
#define GLEXT_ENTRY(type, entryPoint) type entryPoint = nullptr;
#define GLEXT_END_ROW(extension)
#include "glext/entry_point_table.inc"
#undef GLEXT_ROW
#undef GLEXT_ENTRY
#undef GLEXT_END_ROW

namespace {

template <typename Slot, Slot* slot>
void StoreInSlot(platform::GlProc proc) {
    *slot = reinterpret_cast<Slot>(proc);
}

// One entry array per row, each closed by a null entry so that rows without entry points still
// form a valid array.
#define GLEXT_ROW(extension) constexpr EntryPoint row_##extension[] = {
#define GLEXT_ENTRY(type, entryPoint) {#entryPoint, &StoreInSlot<type, &entryPoint>},
#define GLEXT_END_ROW(extension) \
    { nullptr, nullptr }         \
    }                            \
    ;
#include "glext/entry_point_table.inc"
#undef GLEXT_ROW
#undef GLEXT_ENTRY
#undef GLEXT_END_ROW

}  // namespace

const ExtensionRow entryPointTable[] = {
#define GLEXT_ROW(extension) {#extension, row_##extension, std::size(row_##extension) - 1},
#define GLEXT_ENTRY(type, entryPoint)
#define GLEXT_END_ROW(extension)
#include "glext/entry_point_table.inc"
#undef GLEXT_ROW
#undef GLEXT_ENTRY
#undef GLEXT_END_ROW
};

const std::size_t entryPointTableRows = std::size(entryPointTable);

bool LoadEntryPoints(const char* name) {
    if (name == nullptr) return false;
    for (const ExtensionRow& row : entryPointTable) {
        if (std::strcmp(row.name, name) != 0) continue;
        for (std::size_t i = 0; i < row.count; ++i) {
            platform::GlProc proc = platform::LookupGlProc(row.entryPoints[i].name);
            // A missing entry point ends the load; slots filled earlier keep their addresses.
            if (proc == nullptr) return false;
            row.entryPoints[i].store(proc);
        }
        return true;
    }
    return false;
}

}  // namespace glext
