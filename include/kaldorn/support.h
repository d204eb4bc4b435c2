// Path joining for the solo planners, the engine directory lookup through
// the product's sibling library "orlenmap.dll", and the thin wrappers over
// the dynamic loader that the lookup uses.
#pragma once

#include "kaldorn/base.h"

// dst = directory + "/" (only when it does not already end in "/") + fileName.
// 1, or 0 for a null pointer or a result that with its NUL needs more than
// capacity bytes (dst then holds an empty string). An empty directory gives
// "/" + fileName.
KALDORN_EXPORT unsigned char MakeFilePath(const char* directory, const char* fileName, char* destination,
                                          unsigned int capacity);

// Asks "orlenmap.dll" in clientDirectory for the engine directory: loads it,
// calls its GetEngnMapCurrentEngineLocation(clientDirectory, 0, destination,
// capacity, error) and unloads it again. 1 when the export returned
// non-zero; else 0, with the error code the export wrote (untouched when the
// sibling is absent, not loadable or lacks the export). `unused` is ignored.
KALDORN_EXPORT int GetCurrentEngineLocation(const char* clientDirectory, unsigned int unused, char* destination,
                                            unsigned int capacity, unsigned int* error);

// dlopen(path, RTLD_NOW); null for a null path, a file that does not load,
// or a path holding "/" whose 64-bit object is cut short before the end of
// a loadable segment (the loader would fault on it rather than refuse it).
KALDORN_EXPORT void* VXLoadLibrary(const char* path);
// dlsym; null when either argument is null or the export is missing.
KALDORN_EXPORT void* VXGetProcAddress(void* module, const char* name);
// dlclose; a null handle is ignored.
KALDORN_EXPORT void VXFreeLibrary(void* module);
