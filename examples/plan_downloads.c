/* plan_downloads: a host written in C that asks kaldorn.so which update files
 * an installation of product 1 must fetch, and prints them.
 *
 *   plan_downloads CLIENT SOURCE            source filled from the internet
 *   plan_downloads CLIENT SOURCE UPDATES    a local directory of update files
 *
 * Only the plain entry points of <kaldorn.h> are used: the 8-bit extended
 * forms, one file name per record, and the free function beside them. */
#include <stdio.h>

#include <kaldorn.h>
#include <kaldorn/version.h>

static const char* kind_name(unsigned int type) {
    switch (type) {
    case KALDORN_UPDATE_DAILY: return "daily";
    case KALDORN_UPDATE_WEEKLY: return "weekly";
    case KALDORN_UPDATE_MONTHLY: return "monthly";
    default: return "?";
    }
}

/* The client's version lives in the caller's node: nothing to free. */
static int print_client_version(const char* client) {
    KAL_DORN_VERSION_LISTEXA node = {0};
    unsigned int error = 0;
    if (!KalDornGetCurrentClientVersionForUpdateManagerExA(1, client, &node, &error)) {
        fprintf(stderr, "%s: no readable client version (error %u)\n", client, error);
        return 0;
    }
    printf("client at %u.%u (%s)\n", node.stInfo.dwMajorVersion, node.stInfo.dwMinorVersion,
           node.stInfo.szFileName);
    return 1;
}

int main(int argc, char** argv) {
    if (argc != 3 && argc != 4) {
        fprintf(stderr, "usage: %s CLIENT SOURCE [UPDATES]   (kaldorn %s)\n", argv[0], KALDORN_VERSION_STRING);
        return 2;
    }
    if (!print_client_version(argv[1]))
        return 1;

    KAL_DORN_VERSION_LISTEXA* list = NULL;
    unsigned int error = 0;
    int ok = argc == 4 ? KalDornGetDownloadVersionListForPathExA(1, argv[1], argv[2], argv[3], &list, &error)
                       : KalDornGetDownloadVersionListForInternetExA(1, argv[1], argv[2], &list, &error);
    if (!ok) {
        fprintf(stderr, "%s: no download list (error %u)\n", argv[2], error);
        return 1;
    }
    /* 1003, 1004 and 1006 are answers, not failures: the list is then empty. */
    if (error == KALDORN_E_CLIENT_NEWER)
        printf("the client is newer than the source\n");
    else if (error == KALDORN_E_SAME_VERSION)
        printf("the client is up to date\n");

    unsigned int count = 0;
    for (const KAL_DORN_VERSION_LISTEXA* node = list; node; node = node->pNext, ++count)
        printf("%-24s %4u.%-3u %s\n", node->stInfo.szFileName, node->stInfo.dwMajorVersion,
               node->stInfo.dwMinorVersion, kind_name(node->stInfo.dwUpdateType));
    printf("%u file(s) to fetch\n", count);
    KalDornFreeDownloadVersionListExA(list);
    return 0;
}
