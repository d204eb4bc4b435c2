// repair_components: a host written in C++ that verifies an installation
// against its component list and repairs the list.
//
//   repair_components LIST INSTALL_DIR [--refresh]
//
// Prints every component that is missing or damaged. With --refresh, each
// damaged file that is present is taken as the new truth: its entry in the
// list is rebuilt from the file (size and MD5 digest), and the list is
// verified again. Exit status: 0 all components sound, 1 repair still
// needed or an error, 2 usage.
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <kaldorn/version.h>
#include <kaldorn/vxcminfo.h>

namespace {

// Record arrays go back through ReleaseCompnList; this holds one until then.
struct Records {
    tagVX_COMPONENT_FILE_MEM_RECORD_INFO* data = nullptr;
    unsigned int count = 0;
    Records() = default;
    Records(const Records&) = delete;
    Records& operator=(const Records&) = delete;
    ~Records() {
        unsigned int ignored = 0;
        if (data)
            ReleaseCompnList(data, count, &ignored);
    }
};

// The components that need repair, or false with the error code reported.
bool verify(const char* list, const char* dir, Records& out) {
    unsigned int error = 0;
    if (!VerifyCompnsFileRecords(list, dir, nullptr, &out.data, &out.count, &error)) {
        std::fprintf(stderr, "%s: cannot verify against %s (error %u)\n", list, dir, error);
        return false;
    }
    return true;
}

bool exists(const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f)
        std::fclose(f);
    return f != nullptr;
}

// Rebuilds the entry of each present file from the file itself; missing
// files stay listed, since only a fresh copy can repair them.
int refresh(const char* list, const char* dir, const Records& damaged) {
    int refreshed = 0;
    for (unsigned int i = 0; i < damaged.count; ++i) {
        std::string path = std::string(dir) + "/" + damaged.data[i].szFileName;
        if (!exists(path))
            continue;
        unsigned int reserved = 0;
        unsigned int error = 0;
        if (!AddEntrytoCompnLstFile(path.c_str(), damaged.data[i].dwFlag, 0, list, &reserved, &error)) {
            std::fprintf(stderr, "%s: cannot refresh the entry of %s (error %u)\n", list, path.c_str(), error);
            continue;
        }
        std::printf("refreshed %s\n", damaged.data[i].szFileName);
        ++refreshed;
    }
    return refreshed;
}

void report(const char* dir, const Records& damaged) {
    for (unsigned int i = 0; i < damaged.count; ++i) {
        std::string path = std::string(dir) + "/" + damaged.data[i].szFileName;
        std::printf("%-8s %s\n", exists(path) ? "damaged" : "missing", damaged.data[i].szFileName);
    }
    std::printf("%u component(s) need repair\n", damaged.count);
}

}  // namespace

int main(int argc, char** argv) {
    bool refresh_list = argc == 4 && std::strcmp(argv[3], "--refresh") == 0;
    if (argc != 3 && !refresh_list) {
        std::fprintf(stderr, "usage: %s LIST INSTALL_DIR [--refresh]   (kaldorn %s)\n", argv[0],
                     KALDORN_VERSION_STRING);
        return 2;
    }
    const char* list = argv[1];
    const char* dir = argv[2];
    auto damaged = std::make_unique<Records>();
    if (!verify(list, dir, *damaged))
        return 1;
    report(dir, *damaged);
    if (!refresh_list || damaged->count == 0 || refresh(list, dir, *damaged) == 0)
        return damaged->count == 0 ? 0 : 1;

    damaged = std::make_unique<Records>();
    if (!verify(list, dir, *damaged))
        return 1;
    report(dir, *damaged);
    return damaged->count == 0 ? 0 : 1;
}
