// "orlenmap.dll", the product's sibling library that names the engine
// directory of an installation. It reads the one-line text file
// "orlenmap.loc" in the client directory: an absolute engine directory, or
// one relative to the client directory. Trailing blanks and line ends are
// ignored. It depends on libc only and keeps no state.
#include <fcntl.h>
#include <unistd.h>

#include <cstring>

namespace {

// Error codes the export writes (0 on success).
constexpr unsigned int kBadArgument = 1;     // a null pointer or a capacity of 0
constexpr unsigned int kNoLocationFile = 2;  // the location file is missing or unreadable
constexpr unsigned int kEmptyLocation = 3;   // it names no directory
constexpr unsigned int kTooLong = 4;         // the engine directory does not fit the caller's capacity

constexpr size_t kLocationMax = 4096;

// Reads the first line of the location file into text (NUL-terminated);
// false when the file cannot be opened or read, or holds more than fits.
bool read_location(const char* clientDirectory, char* text, size_t cap) {
    char path[kLocationMax];
    size_t dn = std::strlen(clientDirectory);
    const char* name = "orlenmap.loc";
    bool slash = dn == 0 || clientDirectory[dn - 1] != '/';
    if (dn + 1 + std::strlen(name) + 1 > sizeof path) return false;
    std::memcpy(path, clientDirectory, dn);
    if (slash) path[dn++] = '/';
    std::strcpy(path + dn, name);
    int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    size_t got = 0;
    ssize_t n = 0;
    while (got < cap && (n = ::read(fd, text + got, cap - got)) > 0) got += static_cast<size_t>(n);
    ::close(fd);
    if (n < 0 || got == cap) return false;
    text[got] = '\0';
    text[std::strcspn(text, "\r\n")] = '\0';
    size_t len = std::strlen(text);
    while (len > 0 && (text[len - 1] == ' ' || text[len - 1] == '\t')) text[--len] = '\0';
    return true;
}

}  // namespace

// Writes the engine directory of clientDirectory into destination (capacity
// bytes with the NUL). Non-zero on success; else 0 with one of the codes above.
extern "C" __attribute__((visibility("default"))) int GetEngnMapCurrentEngineLocation(const char* clientDirectory,
                                                                                      unsigned int /*reserved*/,
                                                                                      char* destination,
                                                                                      unsigned int capacity,
                                                                                      unsigned int* error) {
    unsigned int ignored = 0;
    unsigned int* code = error != nullptr ? error : &ignored;
    if (clientDirectory == nullptr || destination == nullptr || capacity == 0) {
        *code = kBadArgument;
        return 0;
    }
    char location[kLocationMax];
    if (!read_location(clientDirectory, location, sizeof location - 1)) {
        *code = kNoLocationFile;
        return 0;
    }
    if (location[0] == '\0') {
        *code = kEmptyLocation;
        return 0;
    }
    // A relative location hangs below the client directory.
    size_t dn = location[0] == '/' ? 0 : std::strlen(clientDirectory);
    bool slash = dn > 0 && clientDirectory[dn - 1] != '/';
    size_t total = dn + (slash ? 1 : 0) + std::strlen(location);
    if (total + 1 > capacity) {
        *code = kTooLong;
        return 0;
    }
    std::memcpy(destination, clientDirectory, dn);
    if (slash) destination[dn++] = '/';
    std::strcpy(destination + dn, location);
    *code = 0;
    return 1;
}
