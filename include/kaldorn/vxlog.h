// CVXLogger: appends "prefix message\r\n" lines to a log file.
#pragma once

#include "kaldorn/base.h"

class KALDORN_EXPORT CVXLogger {
public:
    // Calls SetLogVariables with the three strings.
    CVXLogger(const char* logFile, const char* moduleName, const char* linePrefix);
    // Default log file and module name, the given line prefix.
    explicit CVXLogger(const char* linePrefix);

    // Copies each string into its member; null selects the default
    // ("/kaldorn.log", "kaldorn", "UNKNOWN"). A log path of 260 bytes or more
    // is refused (the logger then writes nothing); a longer module name or
    // prefix is cut to 259 bytes.
    void SetLogVariables(const char* logFile, const char* moduleName, const char* linePrefix);

    // Formats one message (cut to 1023 characters) and appends
    // "<prefix> <message>\r\n", creating the file with mode 0600. The first
    // argument takes no part. Nothing is reported; a short message write
    // leaves the line without its line end.
    void WriteToLog(unsigned int level, const char* format, ...) __attribute__((format(printf, 3, 4)));

private:
    char szLogFile[KALDORN_MAX_PATH];    /*!< path of the log file */
    char szModuleName[KALDORN_MAX_PATH]; /*!< module name; stored, never written */
    char szLinePrefix[KALDORN_MAX_PATH]; /*!< text that opens every line */
};

static_assert(sizeof(CVXLogger) == 3 * KALDORN_MAX_PATH, "logger is its three 260-byte members");
