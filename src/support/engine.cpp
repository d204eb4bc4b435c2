// The engine directory lookup: the sibling library is loaded, asked and
// unloaded on every call, so no handle outlives a lookup.
#include <dlfcn.h>
#include <elf.h>

#include <cstring>

#include "kaldorn/support.h"
#include "support/fileio.h"
#include "support/path.h"

namespace {

constexpr const char* kSiblingFileName = "orlenmap.dll";
constexpr const char* kSiblingExport = "GetEngnMapCurrentEngineLocation";

// The call contract of the sibling's export.
using EngineLocationFn = int (*)(const char*, unsigned int, char*, unsigned int, unsigned int*);

// The loader maps each loadable segment of a shared object without checking
// that the file holds it, and faults on the first page past the end of a
// truncated file. True unless the file at path is a 64-bit object whose
// program headers or loadable segments reach past its end; every other
// defect is left to the loader, which refuses it cleanly.
bool segments_within_file(const char* path) {
    using namespace kaldorn::detail;
    FdGuard fd(open_read(path));
    const int64_t size = fd.valid() ? file_size(fd.get()) : -1;
    Elf64_Ehdr head;
    if (size < 0 || pread_full(fd.get(), &head, sizeof head, 0) != sizeof head ||
        std::memcmp(head.e_ident, ELFMAG, SELFMAG) != 0 || head.e_ident[EI_CLASS] != ELFCLASS64)
        return true;
    const uint64_t end = static_cast<uint64_t>(size);
    if (head.e_phentsize != sizeof(Elf64_Phdr) || head.e_phoff > end ||
        uint64_t{head.e_phnum} * sizeof(Elf64_Phdr) > end - head.e_phoff)
        return false;
    for (uint64_t i = 0; i < head.e_phnum; ++i) {
        Elf64_Phdr ph;
        const uint64_t at = head.e_phoff + i * sizeof ph;
        if (pread_full(fd.get(), &ph, sizeof ph, static_cast<int64_t>(at)) != sizeof ph) return false;
        if (ph.p_type == PT_LOAD && (ph.p_offset > end || ph.p_filesz > end - ph.p_offset)) return false;
    }
    return true;
}

}  // namespace

unsigned char MakeFilePath(const char* directory, const char* fileName, char* destination, unsigned int capacity) {
    if (directory == nullptr || fileName == nullptr || destination == nullptr) return 0;
    return kaldorn::detail::join_path(destination, capacity, directory, fileName) ? 1 : 0;
}

// A path with a "/" names the very file the loader opens, so it can be
// checked first; a bare name is searched for by the loader alone.
void* VXLoadLibrary(const char* path) {
    if (path == nullptr || (std::strchr(path, '/') != nullptr && !segments_within_file(path))) return nullptr;
    return ::dlopen(path, RTLD_NOW);
}

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
