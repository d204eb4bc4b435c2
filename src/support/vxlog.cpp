// CVXLogger: one open, seek, up to four writes and one close per line.
#include "kaldorn/vxlog.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "support/fileio.h"
#include "support/path.h"

namespace {

// Copies src, cutting it to what fits with its NUL.
void copy_cut(char* dst, size_t cap, const char* src) {
    size_t n = std::strlen(src);
    if (n >= cap) n = cap - 1;
    std::memcpy(dst, src, n);
    dst[n] = '\0';
}

}  // namespace

CVXLogger::CVXLogger(const char* logFile, const char* moduleName, const char* linePrefix) {
    SetLogVariables(logFile, moduleName, linePrefix);
}

CVXLogger::CVXLogger(const char* linePrefix) { SetLogVariables(nullptr, nullptr, linePrefix); }

void CVXLogger::SetLogVariables(const char* logFile, const char* moduleName, const char* linePrefix) {
    // A cut path would name another file: refuse it instead.
    kaldorn::detail::copy_bounded(szLogFile, sizeof szLogFile, logFile != nullptr ? logFile : "/kaldorn.log");
    copy_cut(szModuleName, sizeof szModuleName, moduleName != nullptr ? moduleName : "kaldorn");
    copy_cut(szLinePrefix, sizeof szLinePrefix, linePrefix != nullptr ? linePrefix : "UNKNOWN");
}

void CVXLogger::WriteToLog(unsigned int /*level*/, const char* format, ...) {
    if (format == nullptr || szLogFile[0] == '\0') return;
    char message[1024];
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(message, sizeof message, format, args);
    va_end(args);
    if (n < 0) return;
    size_t length = std::strlen(message);

    using namespace kaldorn::detail;
    FdGuard fd(::access(szLogFile, F_OK) == 0 ? open_read_write(szLogFile) : open_create(szLogFile, 0));
    if (!fd.valid()) return;
    if (!seek_to(fd.get(), file_size(fd.get()))) return;  // append behind what the file holds
    write_full(fd.get(), szLinePrefix, std::strlen(szLinePrefix));
    write_full(fd.get(), " ", 1);
    if (write_full(fd.get(), message, length)) write_full(fd.get(), "\r\n", 2);
}
