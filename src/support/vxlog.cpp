// CVXLogger: one open, one write and one close per line.
#include "kaldorn/vxlog.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "support/fileio.h"
#include "support/path.h"

namespace {

constexpr size_t kMessageSize = 1024;  // a message is cut to 1023 characters

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
    // The whole line in one buffer: prefix, blank, message (cut to 1023
    // characters), CR LF.
    char line[sizeof szLinePrefix + 1 + kMessageSize + 2];
    size_t prefix = std::strlen(szLinePrefix);
    std::memcpy(line, szLinePrefix, prefix);
    line[prefix] = ' ';
    char* message = line + prefix + 1;
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(message, kMessageSize, format, args);
    va_end(args);
    if (n < 0) return;
    size_t length = prefix + 1 + std::strlen(message);
    line[length++] = '\r';
    line[length++] = '\n';

    // One write on a descriptor opened for appending: the kernel places the
    // line at the end as it writes it, so lines from several processes or
    // threads never overwrite one another.
    using namespace kaldorn::detail;
    FdGuard fd(open_create(szLogFile, O_APPEND));
    if (fd.valid()) write_full(fd.get(), line, length);
}
