/* The embedding parent's host: the installed header names alone reach it.
 * Prints the version and the internet download list of product 1. */
#include <stdio.h>

#include <kaldorn.h>
#include <kaldorn/version.h>

#if __has_include("support/bytes.h")
#error "the library's internal headers reach the parent"
#endif

int main(int argc, char** argv) {
    KAL_DORN_VERSION_LISTEXA* list = NULL;
    unsigned int error = 0;
    if (argc != 3 || !KalDornGetDownloadVersionListForInternetExA(1, argv[1], argv[2], &list, &error)) return 1;
    printf("kaldorn %s:", KALDORN_VERSION_STRING);
    for (KAL_DORN_VERSION_LISTEXA* n = list; n; n = n->pNext) printf(" %s", n->stInfo.szFileName);
    printf("\n");
    KalDornFreeDownloadVersionListExA(list);
    return 0;
}
