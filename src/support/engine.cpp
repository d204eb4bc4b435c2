// The engine directory lookup: the sibling library is loaded, asked and
// unloaded on every call, so no handle outlives a lookup.
#include <dlfcn.h>

#include "kaldorn/support.h"
#include "support/path.h"

namespace {

constexpr const char* kSiblingFileName = "orlenmap.dll";
constexpr const char* kSiblingExport = "GetEngnMapCurrentEngineLocation";

// The call contract of the sibling's export.
using EngineLocationFn = int (*)(const char*, unsigned int, char*, unsigned int, unsigned int*);

}  // namespace

unsigned char MakeFilePath(const char* directory, const char* fileName, char* destination, unsigned int capacity) {
    if (directory == nullptr || fileName == nullptr || destination == nullptr) return 0;
    return kaldorn::detail::join_path(destination, capacity, directory, fileName) ? 1 : 0;
}

void* VXLoadLibrary(const char* path) { return path == nullptr ? nullptr : ::dlopen(path, RTLD_NOW); }

void* VXGetProcAddress(void* module, const char* name) {
    if (module == nullptr || name == nullptr) return nullptr;
    return ::dlsym(module, name);
}

void VXFreeLibrary(void* module) {
    if (module != nullptr) ::dlclose(module);
}

int GetCurrentEngineLocation(const char* clientDirectory, unsigned int /*unused*/, char* destination,
                             unsigned int capacity, unsigned int* error) {
    if (clientDirectory == nullptr || destination == nullptr || error == nullptr) return 0;
    char sibling[KALDORN_MAX_PATH];
    if (!MakeFilePath(clientDirectory, kSiblingFileName, sibling, sizeof sibling)) return 0;
    // The joined path holds a "/", so the loader opens exactly this file.
    void* module = VXLoadLibrary(sibling);
    if (module == nullptr) return 0;
    auto locate = reinterpret_cast<EngineLocationFn>(VXGetProcAddress(module, kSiblingExport));
    int found = locate != nullptr && locate(clientDirectory, 0, destination, capacity, error) != 0;
    VXFreeLibrary(module);
    return found ? 1 : 0;
}
